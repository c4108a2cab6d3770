/* A host whose frames and colours come from a worker thread (an emulator's or a decoder's, say)
 * while the window's thread pumps messages: two seconds of a moving pattern with turning colours.
 * Every plugin call stays on the window's thread. The worker draws into a buffer of its own and
 * hands each finished frame over with its colours; the window's thread copies it into the
 * plugin's buffer, sets the colours and calls VideoBlit. Exits non-zero when a plugin call
 * reports a failure or no frame was shown. */
#include <stdio.h>
#include <string.h>
#include <windows.h>

#include "gdivideo.h"

#define WIDTH 256
#define HEIGHT 240
#define FRAMES 120 /* at 60 a second */
#define WM_FRAME_READY (WM_APP + 1)

struct Frame {
    uint8_t pixels[HEIGHT * GDIVIDEO_FRAME_PITCH];
    uint8_t colours[GDIVIDEO_PALETTE_COLOURS][3];
};

/* The plugin reads this buffer at every VideoBlit, from VideoInit to VideoShutdown: only the
 * window's thread writes it, between two VideoBlit calls. */
static uint8_t shown[HEIGHT * GDIVIDEO_FRAME_PITCH];

/* The latest finished frame, passed from the worker to the window's thread under the lock. A frame
 * not yet taken when the next is finished is replaced by it: the picture keeps up, frames drop. */
static CRITICAL_SECTION lock;
static struct Frame handoff;
static int handoffPending;

static VideoSetPaletteProc setPalette;
static VideoBlitProc blit;
static volatile LONG stopping;
static int framesMade, framesShown, failures;

static DWORD WINAPI worker(LPVOID window) {
    static struct Frame drawing;
    for (int i = 0; i < FRAMES && !stopping; ++i) {
        for (int y = 0; y < HEIGHT; ++y)
            for (int x = 0; x < WIDTH; ++x)
                drawing.pixels[y * GDIVIDEO_FRAME_PITCH + x] = (uint8_t)((x / 4 + y / 4 + i) % 64);
        for (int n = 0; n < GDIVIDEO_PALETTE_COLOURS; ++n) {
            drawing.colours[n][0] = (uint8_t)((n + i) * 4);
            drawing.colours[n][1] = (uint8_t)(255 - n * 4);
            drawing.colours[n][2] = (uint8_t)(i * 2);
        }
        EnterCriticalSection(&lock);
        handoff = drawing;
        const int posted = handoffPending;
        handoffPending = 1;
        LeaveCriticalSection(&lock);
        if (!posted)
            PostMessageA((HWND)window, WM_FRAME_READY, 0, 0);
        ++framesMade;
        Sleep(16);
    }
    PostMessageA((HWND)window, WM_CLOSE, 0, 0); /* here the worker ends the run; a user may too */
    return 0;
}

/* On the window's thread, so no VideoBlit can be reading the buffer while it is written. */
static void show_latest_frame(void) {
    static struct Frame taken;
    EnterCriticalSection(&lock);
    taken = handoff;
    handoffPending = 0;
    LeaveCriticalSection(&lock);
    memcpy(shown, taken.pixels, sizeof(shown));
    for (int n = 0; n < GDIVIDEO_PALETTE_COLOURS; ++n) {
        const uint8_t* c = taken.colours[n];
        failures += setPalette(n, c[0], c[1], c[2]) != (c[0] << 16 | c[1] << 8 | c[2]);
    }
    if (blit())
        ++framesShown;
    else
        ++failures;
}

static LRESULT CALLBACK window_procedure(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    switch (message) {
    case WM_ERASEBKGND:
        return 1;
    case WM_PAINT: {
        PAINTSTRUCT paint;
        BeginPaint(window, &paint);
        blit();
        EndPaint(window, &paint);
        return 0;
    }
    case WM_FRAME_READY:
        show_latest_frame();
        return 0;
    case WM_CLOSE: /* end the message loop; the worker stops, then the display closes */
        PostQuitMessage(0);
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
    fprintf(stderr, "threaded host: %s (Windows error %lu: %s)\n", what, error, meaning);
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
    VideoShutdownProc shutdown = (VideoShutdownProc)(void*)GetProcAddress(plugin, "VideoShutdown");
    setPalette = (VideoSetPaletteProc)(void*)GetProcAddress(plugin, "VideoSetPalette");
    blit = (VideoBlitProc)(void*)GetProcAddress(plugin, "VideoBlit");
    if (!init || !setPalette || !blit || !shutdown)
        return cannot("gdivideo.dll lacks a function of the plugin's");

    WNDCLASSA windowClass = {0};
    windowClass.style = CS_HREDRAW | CS_VREDRAW; /* repaint the whole picture after any resize */
    windowClass.lpfnWndProc = window_procedure;
    windowClass.hInstance = GetModuleHandleA(NULL);
    windowClass.hCursor = LoadCursor(NULL, IDC_ARROW);
    windowClass.lpszClassName = "threaded host";
    RegisterClassA(&windowClass);
    HWND window = CreateWindowA("threaded host", "threaded host", WS_OVERLAPPEDWINDOW | WS_VISIBLE, 0, 0, 540,
                                520, NULL, NULL, windowClass.hInstance, NULL);
    if (!window)
        return 1;

    InitializeCriticalSection(&lock);
    failures += init(WIDTH, HEIGHT, window, 0, shown) != 1;
    HANDLE thread = CreateThread(NULL, 0, worker, window, 0, NULL);
    if (!thread)
        return 1;
    MSG message;
    while (GetMessageA(&message, NULL, 0, 0) > 0)
        DispatchMessageA(&message);
    InterlockedExchange(&stopping, 1);
    WaitForSingleObject(thread, INFINITE);
    CloseHandle(thread);

    failures += shutdown() != 1; /* before the window is destroyed and the DLL unloaded */
    DestroyWindow(window);
    FreeLibrary(plugin);
    DeleteCriticalSection(&lock);
    printf("threaded host: %d frames made, %d shown, %d failures\n", framesMade, framesShown, failures);
    return failures || framesShown == 0;
}
