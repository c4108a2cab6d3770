// The display surface: the window's device context, a top-down 32-bit DIB section whose pixel
// memory the frame conversion fills, and its stretching over the window's client area.
#pragma once

#include <stdint.h>
#include <windows.h>

struct Surface {
    HDC deviceContext;
    // The window as the system names it, read from its DC when taken. A host may pass a short form
    // of the handle (its low word), which WindowFromDC does not return and which names a newer
    // window once this one is destroyed.
    HWND window;
    // The window's style bits that fixed the DC's clipping when it was taken (see gdi_present).
    LONG takenStyle;
    BITMAPINFO bitmapInfo;
    HBITMAP bitmap;
    uint32_t* pixels;
};

// Acquires the window's device context and, when `withSection`, creates a width x height DIB
// section. What is not obtained stays null.
void gdi_open_surface(Surface& surface, HWND window, int32_t width, int32_t height, bool withSection);

// False when the window's client rectangle cannot be read (for example, no such window).
bool gdi_read_client_rect(const Surface& surface, RECT& clientRect);

// Stretches the whole frame over the client rectangle, through a DC that clips as the window's
// style now asks; returns the result of StretchDIBits, or 0 when the window's device context
// cannot be had.
int32_t gdi_present(Surface& surface, const RECT& clientRect, int32_t width, int32_t height);

// Deletes the DIB section and releases the device context. Nulls what it releases. Returns the
// result of ReleaseDC, or 0 when nothing was released.
int32_t gdi_close_surface(Surface& surface);
