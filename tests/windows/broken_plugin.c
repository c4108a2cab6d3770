/* A video output plugin of its own, written from the manual alone, for the test of the self-check:
 * built once with FAULT=NONE, which keeps every promise of the manual that the self-check checks,
 * and once for each fault, which breaks one (broken_plugin_swapped.dll and so on):
 *   NOTHING        never draws, yet reports the lines drawn
 *   SWAPPED        red and blue swapped
 *   UPSIDE_DOWN    the rows bottom to top
 *   MIRRORED       the columns right to left
 *   SHIFTED        the picture two rows down and three columns right
 *   PITCH          rows read 257 bytes apart, not 256
 *   UNSCALED       at the frame's own size in the window's corner, not stretched over it
 *   ONE_SHORT          stretched one pixel short of the window's width
 *   WINDOW_RECT    stretched over the window's outer size, border and title bar included
 *   GREEN_LOST     every colour without its green
 *   SIX_BITS       each component shown as a 6-bit value
 *   ROWS_SKIPPED   every second row of the frame left black
 *   MONOCHROME     the window DC's monochrome stretching mode kept
 *   HIGH_VALUES    pixel values 64 to 255 black: only the first copy of the palette filled
 *   NOT_CLEARED    VideoInit keeps the colours set before it
 *   INDEX_WRAPS    an index of 64 or more stored as its low six bits
 *   APPLY_ONLY     colours take effect only at VideoApplyPalette
 *   FRAME_LATE     each VideoBlit shows the frame before
 *   FIXED_SIZE     every frame taken for 256 x 240
 *   WRITES_FRAME   clears the program's frame buffer once it has read it
 *   MAPPING_MODE   leaves the window's device context in MM_ANISOTROPIC
 *   DC_PER_FRAME   takes a device context at every VideoBlit and never gives it back
 *   DC_KEPT        gives back no device context at VideoShutdown
 *   COLOURS_OFF    stores each colour one number too high
 *   TEXT_COLOUR    leaves a text colour of its own in the window's device context
 *   OBJECT_PER_FRAME makes a brush at every VideoBlit and never deletes it
 *   OBJECT_KEPT    makes a brush at VideoInit and never deletes it
 *   REOPEN_IGNORED a VideoInit on an open display changes nothing
 *   SLOW           takes 50 ms a frame
 *   CRASH          writes through a null pointer in VideoBlit
 *   HANG           never returns from VideoInit
 *   EXIT           ends the program in VideoShutdown
 *   DLLMAIN_FAILS  its start-up code refuses to load
 *   LOAD_CRASH     its start-up code writes through a null pointer
 *   DEPENDENCY     needs a DLL that is not there */
#include <stdint.h>
#include <string.h>
#include <windows.h>

enum {
    NONE,
    NOTHING,
    SWAPPED,
    UPSIDE_DOWN,
    MIRRORED,
    SHIFTED,
    PITCH,
    UNSCALED,
    ONE_SHORT,
    WINDOW_RECT,
    GREEN_LOST,
    SIX_BITS,
    ROWS_SKIPPED,
    MONOCHROME,
    HIGH_VALUES,
    NOT_CLEARED,
    INDEX_WRAPS,
    APPLY_ONLY,
    FRAME_LATE,
    FIXED_SIZE,
    WRITES_FRAME,
    MAPPING_MODE,
    DC_PER_FRAME,
    DC_KEPT,
    COLOURS_OFF,
    TEXT_COLOUR,
    OBJECT_PER_FRAME,
    OBJECT_KEPT,
    REOPEN_IGNORED,
    SLOW,
    CRASH,
    HANG,
    EXIT,
    DLLMAIN_FAILS,
    LOAD_CRASH,
    DEPENDENCY
};

#ifdef NEEDS_ABSENT_DLL /* the DEPENDENCY build's */
__declspec(dllimport) int gdivideo_test_dependency(void);
#endif

static int32_t open, frameWidth, frameHeight;
static HWND target;
static HDC dc;
static const uint8_t* frameBuffer;
static uint32_t table[256], pending[256];
static uint32_t pixels[256 * 240];

BOOL WINAPI DllMain(HINSTANCE instance, DWORD reason, LPVOID reserved) {
    (void)instance, (void)reserved;
    if (FAULT == LOAD_CRASH && reason == DLL_PROCESS_ATTACH)
        *(volatile int*)0 = 1;
    return FAULT != DLLMAIN_FAILS;
}

/* The DC as the program left it, while the frame is drawn unmirrored in a colour mode. */
static DWORD programLayout;
static int programMode;

static void prepare(void) {
    if (FAULT == DC_PER_FRAME)
        dc = GetDC(target);
    else if (WindowFromDC(dc) != target) /* a class DC that another window took */
        dc = GetDC(target);
    programLayout = GetLayout(dc);
    if (programLayout != 0 && programLayout != GDI_ERROR)
        SetLayout(dc, 0);
    programMode = GetStretchBltMode(dc);
    if (FAULT != MONOCHROME && (programMode == BLACKONWHITE || programMode == WHITEONBLACK))
        SetStretchBltMode(dc, COLORONCOLOR);
    if (FAULT == MAPPING_MODE)
        SetMapMode(dc, MM_ANISOTROPIC);
    if (FAULT == TEXT_COLOUR)
        SetTextColor(dc, RGB(255, 0, 0));
    if (FAULT == OBJECT_PER_FRAME)
        CreateSolidBrush(RGB(1, 2, 3));
}

static void put_back(void) {
    const int mapping = GetMapMode(dc);
    SetStretchBltMode(dc, programMode);
    if (programLayout != 0 && programLayout != GDI_ERROR) {
        SetLayout(dc, programLayout);
        SetMapMode(dc, mapping);
    }
}

int32_t __cdecl VideoShutdown(void) {
    if (!open)
        return 0;
    open = 0;
    if (FAULT == EXIT)
        ExitProcess(0);
    if (!IsWindow(target))
        return 0;
    return FAULT == DC_KEPT ? 1 : ReleaseDC(target, dc);
}

int32_t __cdecl VideoInit(int32_t width, int32_t height, HWND window, int32_t reserved,
                          const uint8_t* frame) {
    (void)reserved;
    if (FAULT == REOPEN_IGNORED && open)
        return 1;
    VideoShutdown();
    while (FAULT == HANG)
        Sleep(1000);
    frameWidth = FAULT == FIXED_SIZE ? 256 : width;
    frameHeight = FAULT == FIXED_SIZE ? 240 : height;
    target = window;
    frameBuffer = frame;
    dc = GetDC(window);
    if (FAULT == OBJECT_KEPT)
        CreateSolidBrush(RGB(1, 2, 3));
    if (FAULT != NOT_CLEARED)
        memset(table, 0, sizeof(table)), memset(pending, 0, sizeof(pending));
    open = 1;
    return 1;
}

int32_t __cdecl VideoSetPalette(int32_t index, int32_t red, int32_t green, int32_t blue) {
    const uint32_t colour =
        (uint32_t)(red & 0xFF) << 16 | (uint32_t)(green & 0xFF) << 8 | (uint32_t)(blue & 0xFF);
    uint32_t shown = colour;
    if (FAULT == SWAPPED)
        shown = (colour & 0xFF00) | (colour >> 16) | (colour & 0xFF) << 16;
    if (FAULT == GREEN_LOST)
        shown = colour & 0xFF00FF;
    if (FAULT == SIX_BITS)
        shown = colour >> 2 & 0x3F3F3F;
    if (FAULT == INDEX_WRAPS)
        index &= 63;
    if (FAULT == COLOURS_OFF && index >= 0 && index < 63)
        ++index;
    if (index < 0 || index > 63)
        return (int32_t)colour;
    uint32_t* into = FAULT == APPLY_ONLY ? pending : table;
    for (int copy = 0; copy < (FAULT == HIGH_VALUES ? 1 : 4); ++copy)
        into[index + 64 * copy] = shown;
    return (int32_t)colour;
}

int32_t __cdecl VideoApplyPalette(void) {
    if (FAULT == APPLY_ONLY)
        memcpy(table, pending, sizeof(table));
    return 1;
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
    return at < 256 * (frameHeight - 1) + frameWidth ? frameBuffer[at] : 0;
}

static void convert(void) {
    for (int32_t y = 0; y < frameHeight; ++y)
        for (int32_t x = 0; x < frameWidth; ++x)
            pixels[y * frameWidth + x] = FAULT == ROWS_SKIPPED && y % 2 ? 0 : table[pixel(x, y)];
    if (FAULT == WRITES_FRAME)
        memset((void*)frameBuffer, 0, (size_t)(frameHeight - 1) * 256 + (size_t)frameWidth);
}

int32_t __cdecl VideoBlit(void) {
    if (!open || !IsWindow(target))
        return 0;
    if (FAULT == CRASH)
        *(volatile int*)0 = 1;
    if (FAULT == SLOW)
        Sleep(50);
    if (FAULT == NOTHING)
        return frameHeight;
    if (FAULT != FRAME_LATE)
        convert();
    BITMAPINFO info = {{sizeof(BITMAPINFOHEADER), frameWidth, -frameHeight, 1, 32, BI_RGB, 0, 0, 0, 0, 0},
                       {{0}}};
    RECT client;
    GetClientRect(target, &client);
    if (FAULT == UNSCALED)
        client.right = frameWidth, client.bottom = frameHeight;
    if (FAULT == ONE_SHORT)
        client.right -= 1;
    if (FAULT == WINDOW_RECT) {
        RECT outer;
        GetWindowRect(target, &outer);
        client.right = outer.right - outer.left, client.bottom = outer.bottom - outer.top;
    }
    prepare();
    const int32_t lines = StretchDIBits(dc, 0, 0, client.right, client.bottom, 0, 0, frameWidth, frameHeight,
                                        pixels, &info, DIB_RGB_COLORS, SRCCOPY);
    put_back();
    if (FAULT == FRAME_LATE)
        convert();
    return lines;
}

int32_t __cdecl VideoCfg(void) {
#ifdef NEEDS_ABSENT_DLL
    return gdivideo_test_dependency();
#else
    return 0;
#endif
}

int32_t __cdecl VideoFullscreen(void) { return 0; }
