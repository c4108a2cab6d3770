/* A video output plugin broken on purpose, for the test of the self-check: its bitmap header says
 * bottom-up, so every frame shows upside down; its results are those a plugin gives. Frames up to
 * 256 x 256. */
#include <stdint.h>
#include <windows.h>

static int32_t frameWidth, frameHeight;
static HWND shownWindow;
static const uint8_t* frameBuffer;
static HDC deviceContext;
static uint32_t palette[64];
static uint32_t pixels[256 * 256];

int32_t __cdecl VideoInit(int32_t width, int32_t height, HWND window, int32_t reserved,
                          const uint8_t* frame) {
    (void)reserved;
    frameWidth = width > 256 ? 256 : width;
    frameHeight = height > 256 ? 256 : height;
    shownWindow = window;
    frameBuffer = frame;
    if (deviceContext)
        ReleaseDC(shownWindow, deviceContext);
    deviceContext = GetDC(window);
    return 1;
}

int32_t __cdecl VideoSetPalette(int32_t index, int32_t red, int32_t green, int32_t blue) {
    const uint32_t colour =
        (uint32_t)(red & 0xFF) << 16 | (uint32_t)(green & 0xFF) << 8 | (uint32_t)(blue & 0xFF);
    if (index >= 0 && index < 64)
        palette[index] = colour;
    return (int32_t)colour;
}

int32_t __cdecl VideoApplyPalette(void) { return 1; }

int32_t __cdecl VideoBlit(void) {
    RECT client;
    if (!deviceContext || !IsWindow(shownWindow) || !GetClientRect(shownWindow, &client))
        return 0;
    for (int32_t y = 0; y < frameHeight; ++y)
        for (int32_t x = 0; x < frameWidth; ++x)
            pixels[y * frameWidth + x] = palette[frameBuffer[y * 256 + x] % 64];
    BITMAPINFO info = {{sizeof(BITMAPINFOHEADER), frameWidth, frameHeight, 1, 32, BI_RGB, 0, 0, 0, 0, 0},
                       {{0}}};
    SetStretchBltMode(deviceContext, COLORONCOLOR);
    return StretchDIBits(deviceContext, 0, 0, client.right, client.bottom, 0, 0, frameWidth, frameHeight,
                         pixels, &info, DIB_RGB_COLORS, SRCCOPY);
}

int32_t __cdecl VideoShutdown(void) {
    HDC held = deviceContext;
    deviceContext = NULL;
    return held && IsWindow(shownWindow) ? ReleaseDC(shownWindow, held) : 0;
}

int32_t __cdecl VideoCfg(void) { return 0; }

int32_t __cdecl VideoFullscreen(void) { return 0; }
