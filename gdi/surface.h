// The display surface: the window's device context, a top-down 32-bit DIB section whose pixel
// memory the frame conversion fills, and its stretching over the window's client area.
#pragma once

#include <stdint.h>
#include <windows.h>

// Acquires the window's device context, unmirrored and with a colour stretching mode, and
// creates a width x height DIB section. What is not obtained stays null; a section is only
// attempted for a size that frame_size_valid accepts.
void gdi_open_surface(HWND window, int32_t width, int32_t height, HDC& deviceContext, BITMAPINFO& bitmapInfo,
                      HBITMAP& bitmap, uint32_t*& pixels);

// False when the window's client rectangle cannot be read (for example, no such window).
bool gdi_read_client_rect(HWND window, RECT& clientRect);

// Stretches the whole frame over the client rectangle; returns the result of StretchDIBits.
int32_t gdi_present(HDC deviceContext, const RECT& clientRect, int32_t width, int32_t height,
                    const uint32_t* pixels, const BITMAPINFO& bitmapInfo);

// Deletes the DIB section and releases the device context, whichever of them is held, and nulls
// them. Returns the result of ReleaseDC, or 0 when no device context was held or it no longer
// belongs to the window (the window was destroyed).
int32_t gdi_close_surface(HWND window, HDC& deviceContext, HBITMAP& bitmap, uint32_t*& pixels);
