#pragma once

#include <cstdint>

#include "plugin_api.h"

// Times VideoBlit at 1x, 2x and 3x and, in the same window, a bare StretchDIBits of an already
// converted frame of the same size; prints the figures. The display must be open on `window`.
void run_bench(const PluginApi& plugin, HWND window, const uint8_t* frameBuffer, int32_t frameNumber);
