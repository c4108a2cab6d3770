#include "surface.h"

#include "../core/frame.h"

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
// set by the host on a DC of its own (CS_OWNDC) and is kept.
static void prepare_device_context(HDC deviceContext) {
    SetLayout(deviceContext, 0);
    const int mode = GetStretchBltMode(deviceContext);
    if (mode == BLACKONWHITE || mode == WHITEONBLACK)
        SetStretchBltMode(deviceContext, COLORONCOLOR);
}

void gdi_open_surface(HWND window, int32_t width, int32_t height, HDC& deviceContext, BITMAPINFO& bitmapInfo,
                      HBITMAP& bitmap, uint32_t*& pixels) {
    deviceContext = GetDC(window);
    if (deviceContext)
        prepare_device_context(deviceContext);
    fill_bitmap_info(bitmapInfo, width, height);
    GdiFlush();
    void* bits = nullptr;
    bitmap = frame_size_valid(width, height)
                 ? CreateDIBSection(nullptr, &bitmapInfo, DIB_RGB_COLORS, &bits, nullptr, 0)
                 : nullptr;
    pixels = bitmap ? static_cast<uint32_t*>(bits) : nullptr;
}

bool gdi_read_client_rect(HWND window, RECT& clientRect) { return GetClientRect(window, &clientRect) != 0; }

int32_t gdi_present(HDC deviceContext, const RECT& clientRect, int32_t width, int32_t height,
                    const uint32_t* pixels, const BITMAPINFO& bitmapInfo) {
    return StretchDIBits(deviceContext, 0, 0, clientRect.right, clientRect.bottom, 0, 0, width, height,
                         pixels, &bitmapInfo, DIB_RGB_COLORS, SRCCOPY);
}

int32_t gdi_close_surface(HWND window, HDC& deviceContext, HBITMAP& bitmap, uint32_t*& pixels) {
    if (bitmap)
        DeleteObject(bitmap);
    bitmap = nullptr;
    pixels = nullptr;
    // A destroyed window's device context goes back to the system, which may hand it to another
    // window: only one that still belongs to the window is released. A null window's is the
    // screen's, which belongs to no window.
    const bool ours = deviceContext && (!window || WindowFromDC(deviceContext) == window);
    const int32_t released = ours ? ReleaseDC(window, deviceContext) : 0;
    deviceContext = nullptr;
    return released;
}
