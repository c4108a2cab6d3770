// 16 pixels at a time, as the AVX2 kernel but in one 128-bit lane: three byte-plane look-ups of
// the 64 colours with pshufb, chosen by bits 4 and 5 of the index, then interleaved into packed
// colours. The remaining columns of a row go through the plain loop.

#include "frame_kernels.h"

#if defined(__i386__) || defined(__x86_64__)
#include <immintrin.h>

#define KERNEL_TARGET __attribute__((target("sse4.1"), force_align_arg_pointer))

namespace {

struct PlaneTables {
    __m128i group[4];
};

KERNEL_TARGET inline PlaneTables plane_tables(const uint8_t* plane) {
    PlaneTables tables;
    for (int32_t group = 0; group < 4; ++group)
        tables.group[group] = _mm_load_si128(reinterpret_cast<const __m128i*>(plane + 16 * group));
    return tables;
}

KERNEL_TARGET inline __m128i look_up(const PlaneTables& tables, __m128i index, __m128i bit4, __m128i bit5) {
    const __m128i low = _mm_blendv_epi8(_mm_shuffle_epi8(tables.group[0], index),
                                        _mm_shuffle_epi8(tables.group[1], index), bit4);
    const __m128i high = _mm_blendv_epi8(_mm_shuffle_epi8(tables.group[2], index),
                                         _mm_shuffle_epi8(tables.group[3], index), bit4);
    return _mm_blendv_epi8(low, high, bit5);
}

} // namespace

KERNEL_TARGET void convert_sse41(const uint8_t* frame, int32_t columns, int32_t height, int32_t width,
                                 const PaletteTable& palette, uint32_t* pixels) {
    PalettePlanes planes;
    palette_planes(palette, planes);
    const PlaneTables blue = plane_tables(planes.blue);
    const PlaneTables green = plane_tables(planes.green);
    const PlaneTables red = plane_tables(planes.red);
    const __m128i low6 = _mm_set1_epi8(0x3F);
    const __m128i zero = _mm_setzero_si128();
    const int32_t blocks = columns / 16 * 16;

    for (int32_t y = 0; y < height; ++y) {
        for (int32_t x = 0; x < blocks; x += 16) {
            const __m128i index =
                _mm_and_si128(_mm_loadu_si128(reinterpret_cast<const __m128i*>(frame + x)), low6);
            const __m128i twice = _mm_add_epi8(index, index);
            const __m128i bit5 = _mm_add_epi8(twice, twice);
            const __m128i bit4 = _mm_add_epi8(bit5, bit5);
            const __m128i b = look_up(blue, index, bit4, bit5);
            const __m128i g = look_up(green, index, bit4, bit5);
            const __m128i r = look_up(red, index, bit4, bit5);
            const __m128i bgLow = _mm_unpacklo_epi8(b, g), bgHigh = _mm_unpackhi_epi8(b, g);
            const __m128i rLow = _mm_unpacklo_epi8(r, zero), rHigh = _mm_unpackhi_epi8(r, zero);
            auto* out = reinterpret_cast<__m128i*>(pixels + x);
            _mm_storeu_si128(out, _mm_unpacklo_epi16(bgLow, rLow));
            _mm_storeu_si128(out + 1, _mm_unpackhi_epi16(bgLow, rLow));
            _mm_storeu_si128(out + 2, _mm_unpacklo_epi16(bgHigh, rHigh));
            _mm_storeu_si128(out + 3, _mm_unpackhi_epi16(bgHigh, rHigh));
        }
        for (int32_t x = blocks; x < columns; ++x)
            pixels[x] = palette.entries[frame[x]];
        frame += FRAME_PITCH;
        pixels += width;
    }
}

#else

void convert_sse41(const uint8_t* frame, int32_t columns, int32_t height, int32_t width,
                   const PaletteTable& palette, uint32_t* pixels) {
    convert_plain(frame, columns, height, width, palette, pixels);
}

#endif
