// What the benchmarks convert: one 256 x 240 frame of pseudo-random indexes through 64 distinct
// colours, into a destination that starts on a page boundary, as a DIB section's pixel memory does.
#pragma once

#include <cstdint>
#include <vector>

#include "../core/frame.h"

struct Scene {
    static constexpr int32_t WIDTH = 256, HEIGHT = 240;
    static constexpr uintptr_t PAGE = 4096;

    PaletteTable palette;
    std::vector<uint8_t> frame = std::vector<uint8_t>(FRAME_PITCH * HEIGHT);
    std::vector<uint32_t> memory = std::vector<uint32_t>(WIDTH * HEIGHT + PAGE / 4);
    uint32_t* pixels =
        reinterpret_cast<uint32_t*>((reinterpret_cast<uintptr_t>(memory.data()) + PAGE - 1) / PAGE * PAGE);

    Scene() {
        palette_clear(palette);
        for (int32_t n = 0; n < PALETTE_COLOURS; ++n)
            palette_set(palette, n, palette_pack(n * 4, 255 - n * 3, n * 37));
        uint32_t state = 12345;
        for (uint8_t& value : frame) {
            state = state * 1103515245 + 12345;
            value = static_cast<uint8_t>(state >> 16);
        }
    }
};
