/* A video output plugin broken on purpose, for the test of the self-check, which must name its
 * fault: it gives every result a plugin gives, and draws with the fault that FAULT names (built
 * once for each):
 *   NOTHING      never draws
 *   SWAPPED      red and blue swapped
 *   UPSIDE_DOWN  the rows bottom to top
 *   MIRRORED     the columns right to left
 *   SHIFTED      the picture two rows down and three columns right
 *   PITCH        rows read 257 bytes apart, not 256
 *   UNSCALED     at the frame's own size in the window's corner, not stretched over it */
#include <stdint.h>
#include <stdlib.h>
#include <windows.h>

enum { NOTHING, SWAPPED, UPSIDE_DOWN, MIRRORED, SHIFTED, PITCH, UNSCALED };

static int32_t open, frameWidth, frameHeight;
static HWND target;
static const uint8_t* frameBuffer;
static uint32_t palette[64];

int32_t __cdecl VideoInit(int32_t width, int32_t height, HWND window, int32_t reserved, const uint8_t* frame) {
    (void)reserved;
    frameWidth = width;
    frameHeight = height;
    target = window;
    frameBuffer = frame;
    open = 1;
    return 1;
}

int32_t __cdecl VideoSetPalette(int32_t index, int32_t red, int32_t green, int32_t blue) {
    const uint32_t colour = (uint32_t)(red & 0xFF) << 16 | (uint32_t)(green & 0xFF) << 8 | (uint32_t)(blue & 0xFF);
    if (index >= 0 && index < 64)
        palette[index] = FAULT == SWAPPED ? (colour & 0xFF00) | (colour >> 16) | (colour & 0xFF) << 16 : colour;
    return (int32_t)colour;
}

static uint8_t pixel(int32_t x, int32_t y) {
    if (FAULT == UPSIDE_DOWN)
        y = frameHeight - 1 - y;
    if (FAULT == MIRRORED)
        x = frameWidth - 1 - x;
    if (FAULT == SHIFTED && (x < 3 || y < 2))
        return 0;
    if (FAULT == SHIFTED)
        x -= 3, y -= 2;
    const int32_t at = y * (FAULT == PITCH ? 257 : 256) + x;
    return at < 256 * frameHeight ? frameBuffer[at] : 0;
}

int32_t __cdecl VideoBlit(void) {
    if (!open)
        return 0;
    if (FAULT == NOTHING)
        return frameHeight;
    uint32_t* pixels = malloc(sizeof(uint32_t) * (size_t)(frameWidth * frameHeight));
    for (int32_t y = 0; y < frameHeight; ++y)
        for (int32_t x = 0; x < frameWidth; ++x)
            pixels[y * frameWidth + x] = palette[pixel(x, y) % 64];
    BITMAPINFO info = {{sizeof(BITMAPINFOHEADER), frameWidth, -frameHeight, 1, 32, BI_RGB, 0, 0, 0, 0, 0}, {{0}}};
    RECT client;
    GetClientRect(target, &client);
    HDC dc = GetDC(target);
    SetStretchBltMode(dc, COLORONCOLOR);
    if (FAULT == UNSCALED)
        client.right = frameWidth, client.bottom = frameHeight;
    StretchDIBits(dc, 0, 0, client.right, client.bottom, 0, 0, frameWidth, frameHeight, pixels, &info,
                  DIB_RGB_COLORS, SRCCOPY);
    ReleaseDC(target, dc);
    free(pixels);
    return frameHeight;
}

int32_t __cdecl VideoApplyPalette(void) { return 1; }
int32_t __cdecl VideoShutdown(void) { return open ? open-- : 0; }
int32_t __cdecl VideoCfg(void) { return 0; }
int32_t __cdecl VideoFullscreen(void) { return 0; }
