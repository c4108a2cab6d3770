// The 64 colours split into blue, green and red byte planes of four 16-byte groups each: the form
// a byte shuffle looks up. Included by each vector kernel, which first defines KERNEL_TARGET as its
// instruction set; rebuilt from the palette table at every frame, so that it is never stale.
#pragma once

#include <immintrin.h>

#include "palette.h"

struct PalettePlanes {
    __m128i blue[4], green[4], red[4];
};

// 16 colours at a time: a shuffle gathers the blue, green, red and zero bytes of four colours, and
// a 4 x 4 transpose puts the four gathered colours side by side.
KERNEL_TARGET static inline PalettePlanes split_planes(const PaletteTable& palette) {
    const __m128i gather = _mm_setr_epi8(0, 4, 8, 12, 1, 5, 9, 13, 2, 6, 10, 14, 3, 7, 11, 15);
    PalettePlanes planes;
    for (int32_t group = 0; group < 4; ++group) {
        const auto* colours = reinterpret_cast<const __m128i*>(palette.entries + 16 * group);
        __m128i four[4];
        for (int32_t i = 0; i < 4; ++i)
            four[i] = _mm_shuffle_epi8(_mm_loadu_si128(colours + i), gather);
        const __m128i blueGreenLow = _mm_unpacklo_epi32(four[0], four[1]);
        const __m128i blueGreenHigh = _mm_unpacklo_epi32(four[2], four[3]);
        const __m128i redLow = _mm_unpackhi_epi32(four[0], four[1]);
        const __m128i redHigh = _mm_unpackhi_epi32(four[2], four[3]);
        planes.blue[group] = _mm_unpacklo_epi64(blueGreenLow, blueGreenHigh);
        planes.green[group] = _mm_unpackhi_epi64(blueGreenLow, blueGreenHigh);
        planes.red[group] = _mm_unpacklo_epi64(redLow, redHigh);
    }
    return planes;
}
