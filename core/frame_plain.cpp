// The portable conversion, and the reference of the others.

#include "frame.h"

// Four pixels from one 4-byte read, with no aliasing between the frame, the table and the
// pixels: this lets the compiler keep everything in registers.
void convert_plain(const uint8_t* __restrict frame, int32_t columns, int32_t height, int32_t pixelPitch,
                   const PaletteTable& __restrict palette, uint32_t* __restrict pixels) {
    static_assert(__BYTE_ORDER__ == __ORDER_LITTLE_ENDIAN__, "the first pixel of four is the lowest byte");
    const uint32_t* const table = palette.entries;
    const int32_t quads = columns / 4 * 4;
    for (int32_t y = 0; y < height; ++y) {
        for (int32_t x = 0; x < quads; x += 4) {
            uint32_t four;
            __builtin_memcpy(&four, frame + x, 4);
            pixels[x] = table[four & 0xFF];
            pixels[x + 1] = table[four >> 8 & 0xFF];
            pixels[x + 2] = table[four >> 16 & 0xFF];
            pixels[x + 3] = table[four >> 24];
        }
        for (int32_t x = quads; x < columns; ++x)
            pixels[x] = table[frame[x]];
        frame += FRAME_PITCH;
        pixels += pixelPitch;
    }
}
