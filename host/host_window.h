// The host's own window: resizable, nothing drawn by the host itself, so that what shows in the
// client area is what the plugin drew.
#pragma once

#include <windows.h>

#include <cstdint>
#include <string>
#include <vector>

HWND create_host_window(int clientWidth, int clientHeight);
void resize_client(HWND window, int clientWidth, int clientHeight);

// Handles pending messages; false once the window has been closed.
bool pump_messages();

// The client area as it shows, 8-bit RGB, rows top to bottom.
std::vector<uint8_t> read_client_rgb(HWND window, int& width, int& height);

bool write_png(const std::string& path, const std::vector<uint8_t>& rgb, int width, int height);
