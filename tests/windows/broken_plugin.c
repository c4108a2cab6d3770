/* A video output plugin of its own, written from the manual alone, for the test of the self-check:
 * built once for each fault of broken_plugin_faults.inc (broken_plugin_swapped.dll and so on), which
 * breaks the one promise it names, and once with NONE, which keeps them all. */
#include <stdint.h>
#include <string.h>
#include <windows.h>

enum {
#define BROKEN(name, what) name,
#include "broken_plugin_faults.inc"
#undef BROKEN
};

#ifdef NEEDS_ABSENT_DLL /* the DEPENDENCY build's */
__declspec(dllimport) int gdivideo_test_dependency(void);
#endif

static int32_t open, frameWidth, frameHeight;
static HWND target;
static HDC dc;
static const uint8_t* frameBuffer;
static uint32_t table[256], pending[256];
static uint32_t pixels[512 * 512];
static uint32_t firstRow[256];

BOOL WINAPI DllMain(HINSTANCE instance, DWORD reason, LPVOID reserved) {
    (void)instance, (void)reserved;
    if (FAULT == LOAD_CRASH && reason == DLL_PROCESS_ATTACH)
        *(volatile int*)0 = 1;
    return FAULT != DLLMAIN_FAILS;
}

/* The DC as the program left it, while the frame is drawn unmirrored in a colour mode. */
static DWORD programLayout;
static int programMode;
/* The window's clipping and minimised state when the DC was taken: a window DC keeps them. */
static LONG takenClipping;

static LONG clipping(void) {
    return GetWindowLongA(target, GWL_STYLE) & (WS_CLIPCHILDREN | WS_CLIPSIBLINGS | WS_MINIMIZE);
}

static void prepare(void) {
    if (FAULT == DC_PER_FRAME)
        dc = GetDC(target);
    else if (WindowFromDC(dc) != target) /* a class DC that another window took */
        dc = GetDC(target);
    if (FAULT != CLIPPING_KEPT && clipping() != takenClipping) {
        ReleaseDC(target, dc);
        takenClipping = clipping();
        dc = GetDC(target);
    }
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

static DWORD WINAPI forever(void* unused) {
    while (unused == NULL)
        Sleep(1000);
    return 0;
}

static LRESULT CALLBACK subclass(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    return CallWindowProcA((WNDPROC)GetPropA(window, "broken_plugin"), window, message, wParam, lParam);
}

int32_t __cdecl VideoShutdown(void) {
    if (!open)
        return 0;
    open = 0;
    if (FAULT == THREAD_LEFT)
        CloseHandle(CreateThread(NULL, 0, forever, NULL, 0, NULL));
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
    if (FAULT == REOPEN_LEAKS && open)
        CreateSolidBrush(RGB(1, 2, 3)); /* as the bitmap of a plugin of its kind would stay */
    if (FAULT != REOPEN_LEAKS)
        VideoShutdown();
    while (FAULT == HANG)
        Sleep(1000);
    frameWidth = FAULT == FIXED_SIZE ? 256 : width;
    frameHeight = FAULT == FIXED_SIZE ? 240 : height;
    target = window;
    frameBuffer = frame;
    takenClipping = clipping();
    dc = GetDC(window);
    if (FAULT == SUBCLASSED && !GetPropA(window, "broken_plugin"))
        SetPropA(window, "broken_plugin",
                 (HANDLE)SetWindowLongPtrA(window, GWLP_WNDPROC, (LONG_PTR)subclass));
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
    if (FAULT == COMPONENTS_UNMASKED)
        shown = (uint32_t)red << 16 | (uint32_t)green << 8 | (uint32_t)blue;
    if (FAULT == HIGH_INDEX_STORED && index > 63 && index < 256) {
        table[index] = shown;
        return (int32_t)colour;
    }
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
    if (FAULT == WIDE_UNCLAMPED)
        return frameBuffer[at];
    return at < 256 * (frameHeight - 1) + (frameWidth < 256 ? frameWidth : 256) ? frameBuffer[at] : 0;
}

static void convert(void) {
    if (FAULT == FIRST_ROW_DIRTY) {
        if (!memcmp(firstRow, frameBuffer, frameWidth < 256 ? frameWidth : 256))
            return;
        memcpy(firstRow, frameBuffer, frameWidth < 256 ? frameWidth : 256);
    }
    for (int32_t y = 0; y < frameHeight; ++y)
        for (int32_t x = 0; x < frameWidth; ++x)
            pixels[y * frameWidth + x] =
                (FAULT == ROWS_SKIPPED && y % 2) || (x > 255 && FAULT != WIDE_UNCLAMPED) ? 0
                                                                                         : table[pixel(x, y)];
    if (FAULT == WRITES_FRAME)
        memset((void*)frameBuffer, 0, (size_t)(frameHeight - 1) * 256 + (size_t)frameWidth);
}

/* Ends only where the stack does: the bound is more than any stack holds. */
static int recurse(int depth) {
    volatile char use[256];
    use[0] = (char)depth;
    return depth > 1 << 30 ? 0 : recurse(depth + 1) + use[0];
}

int32_t __cdecl blit_frame(void) {
    if (!open || !IsWindow(target))
        return 0;
    if (FAULT == STACK_OVERFLOW)
        return recurse(0);
    if (FAULT == TALL_REFUSED && frameHeight > 240)
        return 0;
    if (FAULT == PAINT_STORM)
        InvalidateRect(target, NULL, FALSE);
    if (FAULT == X87_CHANGED) {
        const unsigned short single = 0x0C7F; /* single precision, rounding towards zero */
        __asm__ volatile("fldcw %0" : : "m"(single));
    }
    if (FAULT == MMX_NO_EMMS)
        __asm__ volatile("pxor %mm0, %mm0"); /* the x87 registers in use, as MMX leaves them */

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
    if (FAULT == DIRECTION_FLAG) /* last, as a call into the system may clear it */
        __asm__ volatile("std");
    return lines;
}

/* VideoBlit itself: the frame's work, then for REGISTER_CLOBBERED a callee-saved register changed
 * on the way out, as no compiled function would leave it. */
__attribute__((used)) const unsigned char clobber = FAULT == REGISTER_CLOBBERED;
#ifdef __i386__
__asm__(".globl _VideoBlit\n_VideoBlit:\n\tcall _blit_frame\n\tcmpb $0, _clobber\n\tje 1f\n"
        "\tmovl $0x0BADF00D, %ebx\n1:\tret\n");
#else
__asm__(".globl VideoBlit\nVideoBlit:\n\tsub $40, %rsp\n\tcall blit_frame\n\tadd $40, %rsp\n"
        "\tcmpb $0, clobber(%rip)\n\tje 1f\n\tmovl $0x0BADF00D, %ebx\n1:\tret\n");
#endif

int32_t __cdecl VideoCfg(void) {
#ifdef NEEDS_ABSENT_DLL
    return gdivideo_test_dependency();
#else
    return 0;
#endif
}

int32_t __cdecl VideoFullscreen(void) { return 0; }
