/* A minimal host: two seconds of moving colour bars through the plugin, in a window of its own. */
#include <windows.h>

#include "gdivideo.h"

static uint8_t frame[240 * GDIVIDEO_FRAME_PITCH]; /* rows 256 bytes apart, kept until VideoShutdown */
static VideoBlitProc blit;
static int closed;

static LRESULT CALLBACK window_procedure(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    switch (message) {
    case WM_ERASEBKGND: /* the plugin fills the whole client area: nothing to erase */
        return 1;
    case WM_PAINT: { /* uncovered, resized or restored: show the frame again */
        PAINTSTRUCT paint;
        BeginPaint(window, &paint);
        blit();
        EndPaint(window, &paint);
        return 0;
    }
    case WM_CLOSE: /* end the loop; the display closes before the window goes */
        closed = 1;
        return 0;
    }
    return DefWindowProcA(window, message, wParam, lParam);
}

int main(void) {
    HMODULE plugin = LoadLibraryA("gdivideo.dll");
    if (!plugin)
        return 1;
    VideoInitProc init = (VideoInitProc)(void*)GetProcAddress(plugin, "VideoInit");
    VideoSetPaletteProc setPalette = (VideoSetPaletteProc)(void*)GetProcAddress(plugin, "VideoSetPalette");
    VideoShutdownProc shutdown = (VideoShutdownProc)(void*)GetProcAddress(plugin, "VideoShutdown");
    blit = (VideoBlitProc)(void*)GetProcAddress(plugin, "VideoBlit");
    if (!init || !setPalette || !blit || !shutdown)
        return 1;

    WNDCLASSA windowClass = {0};
    windowClass.style = CS_HREDRAW | CS_VREDRAW; /* repaint the whole picture after any resize */
    windowClass.lpfnWndProc = window_procedure;
    windowClass.hInstance = GetModuleHandleA(NULL);
    windowClass.hCursor = LoadCursor(NULL, IDC_ARROW);
    windowClass.lpszClassName = "minimal host";
    RegisterClassA(&windowClass);
    HWND window = CreateWindowA("minimal host", "minimal host", WS_OVERLAPPEDWINDOW | WS_VISIBLE, 0, 0, 540,
                                520, NULL, NULL, windowClass.hInstance, NULL);
    if (!window)
        return 1;

    init(256, 240, window, 0, frame);
    for (int n = 0; n < 64; ++n)
        setPalette(n, n * 4, 255 - n * 4, 128);
    for (int i = 0; i < 120 && !closed; ++i) { /* 60 frames a second */
        for (int y = 0; y < 240; ++y)
            for (int x = 0; x < 256; ++x)
                frame[y * GDIVIDEO_FRAME_PITCH + x] = (uint8_t)((x / 4 + i) % 64);
        blit();
        MSG message;
        while (PeekMessageA(&message, NULL, 0, 0, PM_REMOVE))
            DispatchMessageA(&message);
        Sleep(16);
    }
    shutdown(); /* before the window is destroyed */
    DestroyWindow(window);
    FreeLibrary(plugin);
    return 0;
}
