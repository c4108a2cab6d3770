// 16 pixels at a time, as the AVX2 kernel but in one 128-bit register: four pshufb look-ups per
// byte plane, bit 4 of an index choosing by zeroing and bit 5 by a blend, then the planes
// interleaved into packed colours. The columns left over at the end of a row go through the
// plain loop.

#include "frame.h"

#if defined(__i386__) || defined(__x86_64__)
#include <immintrin.h>

#define KERNEL_TARGET __attribute__((target("sse4.1")))
#include "frame_planes.h"

namespace {

KERNEL_TARGET inline __m128i look_up(const __m128i (&groups)[4], __m128i even, __m128i odd, __m128i bit5) {
    const __m128i low = _mm_or_si128(_mm_shuffle_epi8(groups[0], even), _mm_shuffle_epi8(groups[1], odd));
    const __m128i high = _mm_or_si128(_mm_shuffle_epi8(groups[2], even), _mm_shuffle_epi8(groups[3], odd));
    return _mm_blendv_epi8(low, high, bit5);
}

} // namespace

KERNEL_TARGET __attribute__((force_align_arg_pointer)) void
convert_sse41(const uint8_t* frame, int32_t columns, int32_t height, int32_t pixelPitch,
              const PaletteTable& palette, uint32_t* pixels) {
    const PalettePlanes planes = split_planes(palette);
    const __m128i low5 = _mm_set1_epi8(0x1F);
    const __m128i bit5 = _mm_set1_epi8(0x20);
    const __m128i carry4 = _mm_set1_epi8(0x70);
    const __m128i top = _mm_set1_epi8(static_cast<char>(0x80));
    const __m128i zero = _mm_setzero_si128();
    const int32_t blocks = columns / 16 * 16;

    for (int32_t y = 0; y < height; ++y) {
        for (int32_t x = 0; x < blocks; x += 16) {
            const __m128i index = _mm_loadu_si128(reinterpret_cast<const __m128i*>(frame + x));
            const __m128i even = _mm_add_epi8(_mm_and_si128(index, low5), carry4);
            const __m128i odd = _mm_xor_si128(even, top);
            const __m128i high = _mm_cmpeq_epi8(_mm_and_si128(index, bit5), bit5);
            const __m128i b = look_up(planes.blue, even, odd, high);
            const __m128i g = look_up(planes.green, even, odd, high);
            const __m128i r = look_up(planes.red, even, odd, high);
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
        pixels += pixelPitch;
    }
}

#else

void convert_sse41(const uint8_t* frame, int32_t columns, int32_t height, int32_t pixelPitch,
                   const PaletteTable& palette, uint32_t* pixels) {
    convert_plain(frame, columns, height, pixelPitch, palette, pixels);
}

#endif
