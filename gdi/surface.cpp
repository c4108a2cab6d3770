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

void gdi_open_surface(HWND window, int32_t width, int32_t height, HDC& deviceContext, BITMAPINFO& bitmapInfo,
                      HBITMAP& bitmap, uint32_t*& pixels) {
    deviceContext = GetDC(window);
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
    const int32_t released = deviceContext ? ReleaseDC(window, deviceContext) : 0;
    deviceContext = nullptr;
    return released;
}
