/* A host that calls the plugin's functions directly, linked with the kit's import library, so
 * that Windows loads gdivideo.dll with the program (it must be beside it): one second of a colour
 * wheel that turns by changing the palette alone, drawn once. Checks every result the manual
 * promises and exits with the number that were not as promised. */
#include <stdio.h>
#include <windows.h>

#include "gdivideo.h"

static uint8_t frame[240 * GDIVIDEO_FRAME_PITCH]; /* rows 256 bytes apart, kept until VideoShutdown */
static int failures;

static void expect(int32_t result, int32_t promised, const char* call) {
    if (result != promised) {
        fprintf(stderr, "linked host: %s returned %ld, not %ld\n", call, (long)result, (long)promised);
        ++failures;
    }
}

static LRESULT CALLBACK window_procedure(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    switch (message) {
    case WM_ERASEBKGND:
        return 1;
    case WM_PAINT: {
        PAINTSTRUCT paint;
        BeginPaint(window, &paint);
        VideoBlit();
        EndPaint(window, &paint);
        return 0;
    }
    }
    return DefWindowProcA(window, message, wParam, lParam);
}

int main(void) {
    WNDCLASSA windowClass = {0};
    windowClass.style = CS_HREDRAW | CS_VREDRAW;
    windowClass.lpfnWndProc = window_procedure;
    windowClass.hInstance = GetModuleHandleA(NULL);
    windowClass.hCursor = LoadCursor(NULL, IDC_ARROW);
    windowClass.lpszClassName = "linked host";
    RegisterClassA(&windowClass);
    HWND window = CreateWindowA("linked host", "linked host", WS_OVERLAPPEDWINDOW | WS_VISIBLE, 0, 0, 540,
                                520, NULL, NULL, windowClass.hInstance, NULL);
    if (!window)
        return 1;

    for (int y = 0; y < 240; ++y)
        for (int x = 0; x < 256; ++x)
            frame[y * GDIVIDEO_FRAME_PITCH + x] = (uint8_t)((x + y) / 8 % GDIVIDEO_PALETTE_COLOURS);
    expect(VideoInit(256, 240, window, 0, frame), 1, "VideoInit");
    for (int i = 0; i < 60; ++i) { /* 60 frames a second */
        for (int n = 0; n < GDIVIDEO_PALETTE_COLOURS; ++n) {
            const int hue = (n + i) % GDIVIDEO_PALETTE_COLOURS * 4;
            expect(VideoSetPalette(n, hue, 255 - hue, 128), hue << 16 | (255 - hue) << 8 | 128,
                   "VideoSetPalette");
        }
        expect(VideoApplyPalette(), 1, "VideoApplyPalette");
        expect(VideoBlit() != 0, 1, "VideoBlit");
        MSG message;
        while (PeekMessageA(&message, NULL, 0, 0, PM_REMOVE))
            DispatchMessageA(&message);
        Sleep(16);
    }
    expect(VideoCfg(), 0, "VideoCfg");
    expect(VideoFullscreen(), 0, "VideoFullscreen");
    expect(VideoShutdown(), 1, "VideoShutdown"); /* before the window is destroyed */
    DestroyWindow(window);
    printf("linked host: gdivideo %s, %d results not as promised\n", GDIVIDEO_VERSION_TEXT, failures);
    return failures;
}
