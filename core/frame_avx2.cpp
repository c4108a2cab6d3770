// 32 pixels at a time. Each of the blue, green and red byte planes of the 64 colours is four
// 16-entry tables that vpshufb looks up; bit 4 of an index picks between two tables by zeroing
// the other's result (vpshufb gives 0 where the control byte's top bit is set), bit 5 between the
// two pairs by a blend. The three planes are then interleaved into packed colours. The columns
// left over at the end of a row go through the plain loop, so no byte past a row's last column
// is read.

#include "frame.h"

#if defined(__i386__) || defined(__x86_64__)
#include <immintrin.h>

#define KERNEL_TARGET __attribute__((target("avx2")))
#include "frame_planes.h"

namespace {

struct PlaneTables {
    __m256i group[4]; // entries 0-15, 16-31, 32-47, 48-63, the same 16 bytes in both lanes
};

KERNEL_TARGET inline PlaneTables both_lanes(const __m128i (&groups)[4]) {
    PlaneTables tables;
    for (int32_t group = 0; group < 4; ++group)
        tables.group[group] =
            _mm256_inserti128_si256(_mm256_castsi128_si256(groups[group]), groups[group], 1);
    return tables;
}

// `even` selects tables 0 and 2 (index bit 4 clear), `odd` tables 1 and 3; `bit5` is all ones
// where index bit 5 is set.
KERNEL_TARGET inline __m256i look_up(const PlaneTables& tables, __m256i even, __m256i odd, __m256i bit5) {
    const __m256i low = _mm256_or_si256(_mm256_shuffle_epi8(tables.group[0], even),
                                        _mm256_shuffle_epi8(tables.group[1], odd));
    const __m256i high = _mm256_or_si256(_mm256_shuffle_epi8(tables.group[2], even),
                                         _mm256_shuffle_epi8(tables.group[3], odd));
    return _mm256_blendv_epi8(low, high, bit5);
}

} // namespace

KERNEL_TARGET __attribute__((force_align_arg_pointer)) void
convert_avx2(const uint8_t* frame, int32_t columns, int32_t height, int32_t pixelPitch,
             const PaletteTable& palette, uint32_t* pixels) {
    const PalettePlanes planes = split_planes(palette);
    const PlaneTables blue = both_lanes(planes.blue);
    const PlaneTables green = both_lanes(planes.green);
    const PlaneTables red = both_lanes(planes.red);
    const __m256i low5 = _mm256_set1_epi8(0x1F);
    const __m256i bit5 = _mm256_set1_epi8(0x20);
    // Adding 0x70 to a 5-bit value carries its bit 4 into the top bit and keeps the low four.
    const __m256i carry4 = _mm256_set1_epi8(0x70);
    const __m256i top = _mm256_set1_epi8(static_cast<char>(0x80));
    const __m256i zero = _mm256_setzero_si256();
    // Unpacking works within 128-bit lanes; spreading groups of four pixels over the lanes
    // beforehand makes the unpacked colours come out in order.
    const __m256i spread = _mm256_setr_epi32(0, 2, 4, 6, 1, 3, 5, 7);
    const int32_t blocks = columns / 32 * 32;

    for (int32_t y = 0; y < height; ++y) {
        for (int32_t x = 0; x < blocks; x += 32) {
            const __m256i index = _mm256_permutevar8x32_epi32(
                _mm256_loadu_si256(reinterpret_cast<const __m256i*>(frame + x)), spread);
            const __m256i even = _mm256_add_epi8(_mm256_and_si256(index, low5), carry4);
            const __m256i odd = _mm256_xor_si256(even, top);
            const __m256i high = _mm256_cmpeq_epi8(_mm256_and_si256(index, bit5), bit5);
            const __m256i b = look_up(blue, even, odd, high);
            const __m256i g = look_up(green, even, odd, high);
            const __m256i r = look_up(red, even, odd, high);
            const __m256i bgLow = _mm256_unpacklo_epi8(b, g), bgHigh = _mm256_unpackhi_epi8(b, g);
            const __m256i rLow = _mm256_unpacklo_epi8(r, zero), rHigh = _mm256_unpackhi_epi8(r, zero);
            auto* out = reinterpret_cast<__m256i*>(pixels + x);
            _mm256_storeu_si256(out, _mm256_unpacklo_epi16(bgLow, rLow));
            _mm256_storeu_si256(out + 1, _mm256_unpackhi_epi16(bgLow, rLow));
            _mm256_storeu_si256(out + 2, _mm256_unpacklo_epi16(bgHigh, rHigh));
            _mm256_storeu_si256(out + 3, _mm256_unpackhi_epi16(bgHigh, rHigh));
        }
        for (int32_t x = blocks; x < columns; ++x)
            pixels[x] = palette.entries[frame[x]];
        frame += FRAME_PITCH;
        pixels += pixelPitch;
    }
}

#else

void convert_avx2(const uint8_t* frame, int32_t columns, int32_t height, int32_t pixelPitch,
                  const PaletteTable& palette, uint32_t* pixels) {
    convert_plain(frame, columns, height, pixelPitch, palette, pixels);
}

#endif
