#include "surface.h"

static void fill_bitmap_info(BITMAPINFO& bitmapInfo, int32_t width, int32_t height) {
    const BITMAPINFO cleared = {};
    bitmapInfo = cleared;
    BITMAPINFOHEADER& header = bitmapInfo.bmiHeader;
    header.biSize = sizeof(BITMAPINFOHEADER);
    header.biWidth = width;
    // Negative height: rows run top-down, row 0 is the top of the picture. Negated as unsigned
    // so that the most negative height cannot overflow.
    header.biHeight = static_cast<LONG>(0u - static_cast<uint32_t>(height));
    header.biPlanes = 1;
    header.biBitCount = 32;
    header.biCompression = BI_RGB;
}

// A window DC clips the window's children and siblings as its style asked when the DC was taken,
// and one taken while the window was minimised clips no children; a DC held across frames keeps
// that. These bits of the style, read at every frame, tell when the DC must be taken afresh.
static LONG clipping_style(HWND window) {
    return window ? GetWindowLongA(window, GWL_STYLE) & (WS_CLIPCHILDREN | WS_CLIPSIBLINGS | WS_MINIMIZE) : 0;
}

static void take_device_context(Surface& surface, HWND window) {
    surface.takenStyle = clipping_style(window);
    surface.deviceContext = GetDC(window);
}

// A class DC serves whichever window of the class took it last, and a common DC goes back to the
// system with the thread that took it or with its window. A null window's is the screen's, which
// belongs to no window.
static bool serves(HDC deviceContext, HWND window) {
    return !window || WindowFromDC(deviceContext) == window;
}

// The picture is the frame as drawn. A right-to-left window gives a mirrored DC, which would flip
// it; and the monochrome stretching modes, a window DC's default, AND or OR neighbouring pixels
// together whenever the window is smaller than the frame. Both are changed only while the frame
// is drawn: an own or class DC is the host's too, and whenever the host looks, it holds what the
// host set. Setting a right-to-left layout again also makes the mapping mode MM_ANISOTROPIC, so
// the mapping mode goes back too.
static int32_t stretch_as_drawn(HDC dc, const RECT& clientRect, int32_t width, int32_t height,
                                const uint32_t* pixels, const BITMAPINFO& bitmapInfo) {
    const DWORD layout = GetLayout(dc);
    const bool mirrored = layout != 0 && layout != GDI_ERROR;
    const int mapping = mirrored ? GetMapMode(dc) : 0;
    if (mirrored)
        SetLayout(dc, 0);
    const int mode = GetStretchBltMode(dc);
    const bool monochrome = mode == BLACKONWHITE || mode == WHITEONBLACK;
    if (monochrome)
        SetStretchBltMode(dc, COLORONCOLOR);
    const int32_t lines = StretchDIBits(dc, 0, 0, clientRect.right, clientRect.bottom, 0, 0, width, height,
                                        pixels, &bitmapInfo, DIB_RGB_COLORS, SRCCOPY);
    if (monochrome)
        SetStretchBltMode(dc, mode);
    if (mirrored) {
        SetLayout(dc, layout);
        if (GetMapMode(dc) != mapping)
            SetMapMode(dc, mapping);
    }
    return lines;
}

void gdi_open_surface(Surface& surface, HWND window, int32_t width, int32_t height, bool withSection) {
    take_device_context(surface, window);
    surface.window = window;
    if (surface.deviceContext && window) {
        if (HWND named = WindowFromDC(surface.deviceContext))
            surface.window = named;
    }
    fill_bitmap_info(surface.bitmapInfo, width, height);
    GdiFlush();
    void* bits = nullptr;
    surface.bitmap = withSection
                         ? CreateDIBSection(nullptr, &surface.bitmapInfo, DIB_RGB_COLORS, &bits, nullptr, 0)
                         : nullptr;
    surface.pixels = surface.bitmap ? static_cast<uint32_t*>(bits) : nullptr;
}

bool gdi_read_client_rect(const Surface& surface, RECT& clientRect) {
    return GetClientRect(surface.window, &clientRect) != 0;
}

int32_t gdi_present(Surface& surface, const RECT& clientRect, int32_t width, int32_t height) {
    // A DC that serves another window now, or none, is no longer the plugin's: it is taken again
    // without a release. One that clips otherwise than the window's style now asks is given back
    // first.
    const bool lost = !serves(surface.deviceContext, surface.window);
    if (lost || clipping_style(surface.window) != surface.takenStyle) {
        if (!lost)
            ReleaseDC(surface.window, surface.deviceContext);
        take_device_context(surface, surface.window);
        if (!surface.deviceContext)
            return 0;
    }
    return stretch_as_drawn(surface.deviceContext, clientRect, width, height, surface.pixels,
                            surface.bitmapInfo);
}

int32_t gdi_close_surface(Surface& surface) {
    if (surface.bitmap)
        DeleteObject(surface.bitmap);
    surface.bitmap = nullptr;
    surface.pixels = nullptr;
    HDC deviceContext = surface.deviceContext;
    surface.deviceContext = nullptr;
    if (!deviceContext)
        return 0;
    // A destroyed window's DC went back to the system, which may have given it to another window.
    // The full handle tells: a short form may already name a newer window.
    if (surface.window && !IsWindow(surface.window))
        return 0;
    if (!serves(deviceContext, surface.window)) {
        deviceContext = GetDC(surface.window);
        if (!deviceContext)
            return 0;
    }
    return ReleaseDC(surface.window, deviceContext);
}
