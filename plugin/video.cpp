// The seven entry points. Each runs to completion on the host's thread; the host calls them one
// at a time, so the state needs no lock.

#include "../include/gdivideo.h"

#include "../core/frame.h"
#include "../core/palette.h"
#include "video_state.h"

static VideoState state;

static int32_t close_display() { return gdi_close_surface(state.surface); }

extern "C" {

int32_t GDIVIDEO_CALL VideoInit(int32_t width, int32_t height, HWND window, int32_t,
                                const uint8_t* frameBuffer) {
    close_display(); // a display still open would otherwise leak its device context and bitmap
    state.width = width;
    state.window = window;
    state.height = height;
    state.frameBuffer = frameBuffer;
    // A section only for a frame the conversion can fill: not empty, its offsets within 32 bits.
    gdi_open_surface(state.surface, window, width, height, frame_size_valid(width, height));
    palette_clear(state.palette);
    state.kernel = &frame_kernel_best();
    return 1;
}

int32_t GDIVIDEO_CALL VideoSetPalette(int32_t index, int32_t red, int32_t green, int32_t blue) {
    const uint32_t colour = palette_pack(red, green, blue);
    palette_set(state.palette, index, colour);
    return static_cast<int32_t>(colour);
}

int32_t GDIVIDEO_CALL VideoApplyPalette() { return 1; }

int32_t GDIVIDEO_CALL VideoBlit() {
    // No display open, or it could not be made: nothing to draw with or to convert into.
    if (!state.surface.deviceContext || !state.surface.pixels)
        return 0;
    if (!gdi_read_client_rect(state.surface, state.clientRect))
        return 0;
    frame_convert(*state.kernel, state.frameBuffer, state.width, state.height, state.palette,
                  state.surface.pixels);
    return gdi_present(state.surface, state.clientRect, state.width, state.height);
}

int32_t GDIVIDEO_CALL VideoShutdown() { return close_display(); }

int32_t GDIVIDEO_CALL VideoCfg() { return 0; }

int32_t GDIVIDEO_CALL VideoFullscreen() { return 0; }

// The module's entry point, in place of the C runtime's: loading and unloading do no work.
BOOL WINAPI DllEntry(HINSTANCE, DWORD, LPVOID) { return TRUE; }
}
