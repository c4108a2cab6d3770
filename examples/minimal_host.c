/* A minimal host: two seconds of moving colour bars through the plugin, in a window of its own. */
#include <stdio.h>
#include <string.h>
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

/* Says why the plugin cannot be used, with the Windows error and what it means. */
static int cannot(const char* what) {
    const DWORD error = GetLastError();
    char meaning[256] = "";
    FormatMessageA(FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS, NULL, error, 0, meaning,
                   sizeof(meaning), NULL);
    meaning[strcspn(meaning, "\r\n")] = 0;
    fprintf(stderr, "minimal host: %s (Windows error %lu: %s)\n", what, error, meaning);
    return 1;
}

/* Loads gdivideo.dll from this program's own folder and from nowhere else: LoadLibrary with the
 * bare name would go on to search the current folder and PATH, and load whatever DLL of that name
 * is planted there. */
static HMODULE load_plugin_beside_program(void) {
    char path[MAX_PATH];
    const DWORD length = GetModuleFileNameA(NULL, path, MAX_PATH);
    char* name = path + length;
    while (name > path && name[-1] != '\\')
        --name;
    if (length == 0 || length == MAX_PATH || (size_t)(name - path) + sizeof("gdivideo.dll") > MAX_PATH) {
        SetLastError(ERROR_FILENAME_EXCED_RANGE);
        return NULL;
    }
    memcpy(name, "gdivideo.dll", sizeof("gdivideo.dll"));
    return LoadLibraryA(path);
}

int main(void) {
    HMODULE plugin = load_plugin_beside_program();
    if (!plugin)
        return cannot("cannot load gdivideo.dll, which must be beside this program");
    VideoInitProc init = (VideoInitProc)(void*)GetProcAddress(plugin, "VideoInit");
    VideoSetPaletteProc setPalette = (VideoSetPaletteProc)(void*)GetProcAddress(plugin, "VideoSetPalette");
    VideoShutdownProc shutdown = (VideoShutdownProc)(void*)GetProcAddress(plugin, "VideoShutdown");
    blit = (VideoBlitProc)(void*)GetProcAddress(plugin, "VideoBlit");
    if (!init || !setPalette || !blit || !shutdown)
        return cannot("gdivideo.dll lacks a function of the plugin's");

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
