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

// The picture is the frame as drawn. A right-to-left window gives a mirrored device context,
// which would flip it; and the monochrome stretching modes, a window DC's default, AND or OR
// neighbouring pixels together whenever the window is smaller than the frame. Any other mode was
// set by the host on a DC of its own (CS_OWNDC) and is kept. A host's own use of an own DC
// (GetDC, BeginPaint, RestoreDC) can bring either back between frames, so every frame asks.
static void prepare_device_context(Surface& surface) {
    const DWORD layout = GetLayout(surface.deviceContext);
    if (layout != 0 && layout != GDI_ERROR) {
        SetLayout(surface.deviceContext, 0);
        surface.replacedLayout = layout;
    }
    const int mode = GetStretchBltMode(surface.deviceContext);
    if (mode == BLACKONWHITE || mode == WHITEONBLACK) {
        SetStretchBltMode(surface.deviceContext, COLORONCOLOR);
        surface.replacedStretchMode = mode;
    }
}

// A class DC serves whichever window of the class took it last, and a common DC goes back to the
// system with the thread that took it or with its window. A null window's is the screen's, which
// belongs to no window.
static bool serves(HDC deviceContext, HWND window) {
    return !window || WindowFromDC(deviceContext) == window;
}

void gdi_open_surface(Surface& surface, HWND window, int32_t width, int32_t height, bool withSection) {
    surface.deviceContext = GetDC(window);
    surface.window = window;
    if (surface.deviceContext && window) {
        if (HWND named = WindowFromDC(surface.deviceContext))
            surface.window = named;
    }
    surface.replacedLayout = 0;
    surface.replacedStretchMode = 0;
    if (surface.deviceContext)
        prepare_device_context(surface);
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
    // Only a DC that serves another window now, or none, is taken again; the lost one is not
    // released, as it is no longer the plugin's.
    if (!serves(surface.deviceContext, surface.window)) {
        surface.deviceContext = GetDC(surface.window);
        if (!surface.deviceContext)
            return 0;
    }
    prepare_device_context(surface);
    return StretchDIBits(surface.deviceContext, 0, 0, clientRect.right, clientRect.bottom, 0, 0, width,
                         height, surface.pixels, &surface.bitmapInfo, DIB_RGB_COLORS, SRCCOPY);
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
    // Only what the plugin replaced goes back, and only where the DC still has what the plugin set:
    // a layout or mode set since is the host's (or another display's) and stays.
    if (surface.replacedLayout && GetLayout(deviceContext) == 0)
        SetLayout(deviceContext, surface.replacedLayout);
    if (surface.replacedStretchMode && GetStretchBltMode(deviceContext) == COLORONCOLOR)
        SetStretchBltMode(deviceContext, surface.replacedStretchMode);
    return ReleaseDC(surface.window, deviceContext);
}
