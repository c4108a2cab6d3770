/* A video output plugin broken on purpose, for the test of the self-check: it gives every result a
 * plugin gives, but never draws. */
#include <stdint.h>
#include <windows.h>

static int32_t open, frameHeight;

int32_t __cdecl VideoInit(int32_t width, int32_t height, HWND window, int32_t reserved, const uint8_t* frame) {
    (void)width, (void)window, (void)reserved, (void)frame;
    frameHeight = height;
    open = 1;
    return 1;
}

int32_t __cdecl VideoSetPalette(int32_t index, int32_t red, int32_t green, int32_t blue) {
    (void)index;
    return (red & 0xFF) << 16 | (green & 0xFF) << 8 | (blue & 0xFF);
}

int32_t __cdecl VideoApplyPalette(void) { return 1; }
int32_t __cdecl VideoBlit(void) { return open ? frameHeight : 0; }
int32_t __cdecl VideoShutdown(void) { return open ? open-- : 0; }
int32_t __cdecl VideoCfg(void) { return 0; }
int32_t __cdecl VideoFullscreen(void) { return 0; }
