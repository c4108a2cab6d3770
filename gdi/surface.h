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
    BITMAPINFO bitmapInfo;
    HBITMAP bitmap;
    uint32_t* pixels;
    // What the plugin replaced on the device context, the latest of each (0: nothing). An own or
    // class DC is the host's too, and gets these back when the display closes.
    DWORD replacedLayout;
    int replacedStretchMode;
};

// Acquires the window's device context, unmirrored and with a colour stretching mode, and, when
// `withSection`, creates a width x height DIB section. What is not obtained stays null.
void gdi_open_surface(Surface& surface, HWND window, int32_t width, int32_t height, bool withSection);

// False when the window's client rectangle cannot be read (for example, no such window).
bool gdi_read_client_rect(const Surface& surface, RECT& clientRect);

// Stretches the whole frame over the client rectangle; returns the result of StretchDIBits, or 0
// when the window's device context cannot be had.
int32_t gdi_present(Surface& surface, const RECT& clientRect, int32_t width, int32_t height);

// Deletes the DIB section, gives the device context back what the plugin replaced on it and
// releases it.
// Nulls what it releases. Returns the result of ReleaseDC, or 0 when nothing was released.
int32_t gdi_close_surface(Surface& surface);
