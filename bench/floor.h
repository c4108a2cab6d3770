// The floor of the conversion for the benchmarks: a loop that reads every index of the frame and
// stores a constant for every pixel, with the widest vector stores this CPU and operating system
// allow. No conversion can do less work than this; the C runtime's memset is no floor (Wine's is
// slower than the kernels).
#pragma once

#include <immintrin.h>

// GCC 12's own AVX-512 headers leave "undefined" registers uninitialised on purpose and then warn
// about them at -O2.
#if defined(__GNUC__) && !defined(__clang__)
#pragma GCC diagnostic ignored "-Wuninitialized"
#pragma GCC diagnostic ignored "-Wmaybe-uninitialized"
#endif

#include "../core/frame.h"

namespace floor_detail {

constexpr uint32_t COLOUR = 0x00123456;

// Returns the OR of every index read, so that no read can be left out.
__attribute__((target("avx512f"), force_align_arg_pointer)) inline uint32_t
read_and_store_avx512(const uint8_t* frame, int32_t width, int32_t height, uint32_t* pixels) {
    const __m512i colour = _mm512_set1_epi32(COLOUR);
    __m512i seen = _mm512_setzero_si512();
    for (int32_t y = 0; y < height; ++y, frame += FRAME_PITCH, pixels += width)
        for (int32_t x = 0; x < width; x += 64) {
            seen = _mm512_or_si512(seen, _mm512_loadu_si512(frame + x));
            for (int32_t k = 0; k < 64; k += 16)
                _mm512_storeu_si512(pixels + x + k, colour);
        }
    return static_cast<uint32_t>(_mm512_reduce_or_epi32(seen));
}

__attribute__((target("avx2"), force_align_arg_pointer)) inline uint32_t
read_and_store_avx2(const uint8_t* frame, int32_t width, int32_t height, uint32_t* pixels) {
    const __m256i colour = _mm256_set1_epi32(COLOUR);
    __m256i seen = _mm256_setzero_si256();
    for (int32_t y = 0; y < height; ++y, frame += FRAME_PITCH, pixels += width)
        for (int32_t x = 0; x < width; x += 32) {
            seen = _mm256_or_si256(seen, _mm256_loadu_si256(reinterpret_cast<const __m256i*>(frame + x)));
            for (int32_t k = 0; k < 32; k += 8)
                _mm256_storeu_si256(reinterpret_cast<__m256i*>(pixels + x + k), colour);
        }
    return static_cast<uint32_t>(_mm256_movemask_epi8(seen));
}

__attribute__((target("sse2"), force_align_arg_pointer)) inline uint32_t
read_and_store_sse2(const uint8_t* frame, int32_t width, int32_t height, uint32_t* pixels) {
    const __m128i colour = _mm_set1_epi32(COLOUR);
    __m128i seen = _mm_setzero_si128();
    for (int32_t y = 0; y < height; ++y, frame += FRAME_PITCH, pixels += width)
        for (int32_t x = 0; x < width; x += 16) {
            seen = _mm_or_si128(seen, _mm_loadu_si128(reinterpret_cast<const __m128i*>(frame + x)));
            for (int32_t k = 0; k < 16; k += 4)
                _mm_storeu_si128(reinterpret_cast<__m128i*>(pixels + x + k), colour);
        }
    return static_cast<uint32_t>(_mm_movemask_epi8(seen));
}

} // namespace floor_detail

struct ReadAndStoreFloor {
    const char* name;
    uint32_t (*run)(const uint8_t* frame, int32_t width, int32_t height, uint32_t* pixels);
};

// The floor with the widest stores here. The width must be a multiple of 64.
inline ReadAndStoreFloor read_and_store_floor() {
    const CpuFeatures features = cpu_features();
    if (cpu_features_include(features, {CPU_OSXSAVE, CPU_AVX512F, 0, XCR0_AVX512_STATE}))
        return {"floor (512-bit)", floor_detail::read_and_store_avx512};
    if (cpu_features_include(features, {CPU_OSXSAVE | CPU_AVX, CPU_AVX2, 0, XCR0_AVX_STATE}))
        return {"floor (256-bit)", floor_detail::read_and_store_avx2};
    return {"floor (128-bit)", floor_detail::read_and_store_sse2};
}
