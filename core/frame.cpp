#include "frame.h"

bool frame_size_valid(int32_t width, int32_t height) {
    if (width <= 0 || height <= 0)
        return false;
    return static_cast<uint64_t>(width) * static_cast<uint64_t>(height) <= INT32_MAX / 4;
}

void frame_convert(const uint8_t* frame, int32_t width, int32_t height, const PaletteTable& palette,
                   uint32_t* pixels) {
    if (!frame || !pixels || width <= 0 || height <= 0)
        return;
    const int32_t columns = width < FRAME_PITCH ? width : FRAME_PITCH;
    for (int32_t y = 0; y < height; ++y) {
        for (int32_t x = 0; x < columns; ++x)
            pixels[x] = palette.entries[frame[x]];
        frame += FRAME_PITCH;
        pixels += width;
    }
}
