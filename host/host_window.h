// The host's own window: resizable, nothing drawn by the host itself, so that what shows in the
// client area is what the plugin drew.
#pragma once

#include <windows.h>

#include <cstdint>
#include <string>
#include <vector>

// A window class of this program with the class style and the procedure, registered once and named
// after the prefix and the style; returns its name.
std::string register_window_class(const std::string& prefix, UINT classStyle, WNDPROC procedure);

// `repaintWith` (the plugin's VideoBlit) redraws the picture whenever the window needs painting.
HWND create_host_window(int clientWidth, int clientHeight, int32_t(__cdecl* repaintWith)());
// False, with a message in `error`, when a window with that client area would not fit the screen.
bool window_fits_screen(int clientWidth, int clientHeight, std::string& error);
void resize_client(HWND window, int clientWidth, int clientHeight);

// Handles pending messages; false once the window has been closed.
bool pump_messages();

// The client area as it shows, read back from the window, one 0x00RRGGBB value per pixel, rows
// top to bottom.
std::vector<uint32_t> read_client_pixels(HWND window, int& width, int& height);
// The same of the whole window, its title bar and border included.
std::vector<uint32_t> read_window_pixels(HWND window, int& width, int& height);
