// 64 pixels at a time. vpermb looks a byte up in a 64-byte table by the low six bits of the index
// alone, exactly the 64 colours, so each of the blue, green and red byte planes is one look-up.
// The planes are interleaved into packed colours by unpacking, which works within 128-bit lanes:
// transposing the index's 4-byte groups beforehand makes the colours come out in order. The last
// columns of a row are loaded and stored under masks; a masked-out byte is never read.
//
// Built a second time for the native tests with FRAME_AVX512_EMULATED, against SIMDe's portable
// implementations of the same intrinsics, so that the kernel is tested on CPUs without AVX-512.

#include "frame.h"

// GCC 12's own AVX-512 headers leave "undefined" registers uninitialised on purpose and then warn
// about them at -O2.
#if defined(__GNUC__) && !defined(__clang__)
#pragma GCC diagnostic ignored "-Wuninitialized"
#pragma GCC diagnostic ignored "-Wmaybe-uninitialized"
#endif

#if defined(FRAME_AVX512_EMULATED)
#define SIMDE_ENABLE_NATIVE_ALIASES
#include <simde/x86/avx512.h>
#define KERNEL_TARGET

// The masked memory operations SIMDe 0.7 lacks, with the instructions' meaning: a byte or
// dword outside the mask is neither read nor written.
using __mmask16 = simde__mmask16;
using __mmask64 = simde__mmask64;

static __m512i _mm512_maskz_loadu_epi8(__mmask64 mask, const void* from) {
    uint8_t bytes[64] = {};
    for (int32_t i = 0; i < 64; ++i)
        if (mask >> i & 1)
            bytes[i] = static_cast<const uint8_t*>(from)[i];
    return _mm512_loadu_si512(bytes);
}

static void _mm512_mask_storeu_epi32(void* to, __mmask16 mask, __m512i value) {
    uint32_t dwords[16];
    _mm512_storeu_si512(dwords, value);
    for (int32_t i = 0; i < 16; ++i)
        if (mask >> i & 1)
            static_cast<uint32_t*>(to)[i] = dwords[i];
}
#elif defined(__i386__) || defined(__x86_64__)
#include <immintrin.h>
#define KERNEL_TARGET __attribute__((target("avx512f,avx512bw,avx512vbmi")))
#endif

#if defined(KERNEL_TARGET)

namespace {

struct Planes {
    __m512i blue, green, red;
};

// Byte 0, 1 or 2 of each of the 64 colours, side by side: picked from two registers of 16
// colours at a time, then the two halves joined.
KERNEL_TARGET inline Planes split_planes(const PaletteTable& palette) {
    const uint32_t* entries = palette.entries;
    const __m512i colours[4] = {_mm512_loadu_si512(entries), _mm512_loadu_si512(entries + 16),
                                _mm512_loadu_si512(entries + 32), _mm512_loadu_si512(entries + 48)};
    // Byte j: byte 4j of the 128 bytes of a pair of registers (the upper 32 are not needed).
    const __m512i every4th = _mm512_setr_epi32(0x0C080400, 0x1C181410, 0x2C282420, 0x3C383430, 0x4C484440,
                                               0x5C585450, 0x6C686460, 0x7C787470, 0, 0, 0, 0, 0, 0, 0, 0);
    // The low 32 bytes of the first register, then those of the second.
    const __m512i halves = _mm512_setr_epi32(
        0x03020100, 0x07060504, 0x0B0A0908, 0x0F0E0D0C, 0x13121110, 0x17161514, 0x1B1A1918, 0x1F1E1D1C,
        0x43424140, 0x47464544, 0x4B4A4948, 0x4F4E4D4C, 0x53525150, 0x57565554, 0x5B5A5958, 0x5F5E5D5C);
    __m512i plane[3];
    for (int32_t byte = 0; byte < 3; ++byte) {
        const __m512i pick = _mm512_add_epi8(every4th, _mm512_set1_epi8(static_cast<char>(byte)));
        const __m512i low = _mm512_permutex2var_epi8(colours[0], pick, colours[1]);
        const __m512i high = _mm512_permutex2var_epi8(colours[2], pick, colours[3]);
        plane[byte] = _mm512_permutex2var_epi8(low, halves, high);
    }
    return {plane[0], plane[1], plane[2]};
}

// Stores the k-th 16 colours of a block at `out`; when masked, only those whose bits are set in
// the k-th mask.
template <bool Masked>
KERNEL_TARGET inline void store_colours(uint32_t* out, int32_t k, __m512i colours, const __mmask16* masks) {
    if (Masked)
        _mm512_mask_storeu_epi32(out + 16 * k, masks[k], colours);
    else
        _mm512_storeu_si512(out + 16 * k, colours);
}

// Writes the colours of the 64 pixels whose indexes are `index`, in order, to `out`; with
// `storeMasks`, only those of the pixels whose bits are set, 16 pixels a mask.
template <bool Masked>
KERNEL_TARGET inline void convert_block(__m512i index, const Planes& planes, __m512i transpose,
                                        const __mmask16* storeMasks, uint32_t* out) {
    const __m512i zero = _mm512_setzero_si512();
    index = _mm512_permutexvar_epi32(transpose, index);
    const __m512i b = _mm512_permutexvar_epi8(index, planes.blue);
    const __m512i g = _mm512_permutexvar_epi8(index, planes.green);
    const __m512i r = _mm512_permutexvar_epi8(index, planes.red);
    const __m512i bgLow = _mm512_unpacklo_epi8(b, g), bgHigh = _mm512_unpackhi_epi8(b, g);
    const __m512i rLow = _mm512_unpacklo_epi8(r, zero), rHigh = _mm512_unpackhi_epi8(r, zero);
    store_colours<Masked>(out, 0, _mm512_unpacklo_epi16(bgLow, rLow), storeMasks);
    store_colours<Masked>(out, 1, _mm512_unpackhi_epi16(bgLow, rLow), storeMasks);
    store_colours<Masked>(out, 2, _mm512_unpacklo_epi16(bgHigh, rHigh), storeMasks);
    store_colours<Masked>(out, 3, _mm512_unpackhi_epi16(bgHigh, rHigh), storeMasks);
}

} // namespace

KERNEL_TARGET __attribute__((force_align_arg_pointer)) void
convert_avx512(const uint8_t* frame, int32_t columns, int32_t height, int32_t pixelPitch,
               const PaletteTable& palette, uint32_t* pixels) {
    const Planes planes = split_planes(palette);
    // Dword d of lane l takes dword l of lane d: after unpacking, register k holds pixels
    // 16k to 16k + 15.
    const __m512i transpose = _mm512_setr_epi32(0, 4, 8, 12, 1, 5, 9, 13, 2, 6, 10, 14, 3, 7, 11, 15);
    const int32_t blocks = columns / 64 * 64;
    const int32_t rest = columns - blocks;
    // Built once, outside the loops: as a constant inside them, a 64-bit mask would be rebuilt
    // through the stack at every block in the 32-bit build.
    const uint64_t restMask = rest ? ~uint64_t{0} >> (64 - rest) : 0;
    const __mmask64 restLoad = restMask;
    __mmask16 restStore[4];
    for (int32_t k = 0; k < 4; ++k)
        restStore[k] = static_cast<__mmask16>(restMask >> (16 * k));

    for (int32_t y = 0; y < height; ++y) {
        for (int32_t x = 0; x < blocks; x += 64)
            convert_block<false>(_mm512_loadu_si512(frame + x), planes, transpose, nullptr, pixels + x);
        if (rest)
            convert_block<true>(_mm512_maskz_loadu_epi8(restLoad, frame + blocks), planes, transpose,
                                restStore, pixels + blocks);
        frame += FRAME_PITCH;
        pixels += pixelPitch;
    }
}

#else

void convert_avx512(const uint8_t* frame, int32_t columns, int32_t height, int32_t pixelPitch,
                    const PaletteTable& palette, uint32_t* pixels) {
    convert_plain(frame, columns, height, pixelPitch, palette, pixels);
}

#endif
