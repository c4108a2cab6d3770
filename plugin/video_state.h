#pragma once

#include <stdint.h>
#include <windows.h>

#include "../core/frame.h"
#include "../core/palette.h"
#include "../gdi/surface.h"

// The plugin's one state record. It lives in static storage, so every field is zero when the
// module is loaded. The window and the frame buffer are the host's; the surface (device context,
// DIB section and its pixel memory) is held from VideoInit to VideoShutdown.
struct VideoState {
    int32_t width;
    int32_t height;
    HWND window;
    const uint8_t* frameBuffer;
    Surface surface;
    PaletteTable palette;
    RECT clientRect;
    const FrameKernel* kernel; // the fastest conversion this machine runs, chosen by VideoInit
};
