/* A minimal host: two seconds of moving colour bars through the plugin. */
#include <windows.h>

#include "gdivideo.h"

static uint8_t frame[240 * GDIVIDEO_FRAME_PITCH]; /* rows 256 bytes apart */

int main(void) {
    HMODULE plugin = LoadLibraryA("gdivideo.dll");
    if (!plugin)
        return 1;
    VideoInitProc init = (VideoInitProc)(void*)GetProcAddress(plugin, "VideoInit");
    VideoSetPaletteProc setPalette = (VideoSetPaletteProc)(void*)GetProcAddress(plugin, "VideoSetPalette");
    VideoBlitProc blit = (VideoBlitProc)(void*)GetProcAddress(plugin, "VideoBlit");
    VideoShutdownProc shutdown = (VideoShutdownProc)(void*)GetProcAddress(plugin, "VideoShutdown");
    if (!init || !setPalette || !blit || !shutdown)
        return 1;

    HWND window = CreateWindowA("STATIC", "minimal host", WS_OVERLAPPEDWINDOW | WS_VISIBLE, 0, 0, 540, 520, NULL,
                                NULL, NULL, NULL);
    init(256, 240, window, 0, frame);
    for (int n = 0; n < 64; ++n)
        setPalette(n, n * 4, 255 - n * 4, 128);
    for (int i = 0; i < 120; ++i) { /* 60 frames a second */
        for (int y = 0; y < 240; ++y)
            for (int x = 0; x < 256; ++x)
                frame[y * GDIVIDEO_FRAME_PITCH + x] = (uint8_t)((x / 4 + i) % 64);
        blit();
        MSG message;
        while (PeekMessageA(&message, NULL, 0, 0, PM_REMOVE))
            DispatchMessageA(&message);
        Sleep(16);
    }
    shutdown();
    DestroyWindow(window);
    FreeLibrary(plugin);
    return 0;
}
