// Conversion of the host's frame of palette indices into 32-bit packed colours.
//
// Source: one byte per pixel, `height` rows, top row first, rows FRAME_PITCH bytes apart; only
// the first min(width, FRAME_PITCH) bytes of each row are read.
// Destination: `height` rows of `width` packed colours, top row first, with no gap between rows.
#pragma once

#include <stdint.h>

#include "cpu.h"
#include "palette.h"

constexpr int32_t FRAME_PITCH = 256;

// A conversion kernel: converts `columns` (1 to FRAME_PITCH) columns of `height` (at least 1)
// rows; destination rows are `pixelPitch` pixels apart. Only the low six bits of a pixel value
// choose its colour, so the vector kernels look up the first 64 entries alone.
using ConvertRows = void(const uint8_t* frame, int32_t columns, int32_t height, int32_t pixelPitch,
                         const PaletteTable& palette, uint32_t* pixels);

// Each in a source file of its own. All give the same pixels; plain is the portable one and the
// reference, the others use vector instructions that not every CPU has.
ConvertRows convert_plain, convert_sse41, convert_avx2, convert_avx512;

struct FrameKernel {
    const char* name;
    ConvertRows* convert;
    CpuFeatures needs; // what the CPU and the operating system must have for it to run
};

// The AVX-512 kernel's source is built against SIMDe's portable intrinsics too, for native tests.
#if defined(FRAME_AVX512_EMULATED)
#define FRAME_AVX512_NAME "avx512 (SIMDe)"
#else
#define FRAME_AVX512_NAME "avx512"
#endif

// What each instruction set asks of the CPU and the operating system. A compiler that targets one
// may use the ones below it as well (AVX2 code any SSE, AVX-512 code any AVX2), so each needs what
// the one below it needs. pshufb, the look-up of the SSE4.1 kernel, is an SSSE3 instruction.
constexpr CpuFeatures NEEDS_SSE41 = {CPU_SSSE3 | CPU_SSE41, 0, 0, 0};
constexpr CpuFeatures NEEDS_AVX2 =
    NEEDS_SSE41 | CpuFeatures{CPU_OSXSAVE | CPU_AVX, CPU_AVX2, 0, XCR0_AVX_STATE};
constexpr CpuFeatures NEEDS_AVX512 =
    NEEDS_AVX2 | CpuFeatures{0, CPU_AVX512F | CPU_AVX512BW, CPU_AVX512VBMI, XCR0_AVX512_STATE};

// The kernels from the slowest to the fastest: the fastest that a machine runs is its choice.
inline constexpr FrameKernel FRAME_KERNELS[] = {
    {"plain", convert_plain, {}},
    {"sse4.1", convert_sse41, NEEDS_SSE41},
    {"avx2", convert_avx2, NEEDS_AVX2},
    {FRAME_AVX512_NAME, convert_avx512, NEEDS_AVX512},
};

// True when this machine runs the kernel.
bool frame_kernel_supported(const FrameKernel& kernel);

// The fastest kernel that a CPU with `features` runs.
const FrameKernel& frame_kernel_for(const CpuFeatures& features);

// The fastest kernel that this machine runs.
const FrameKernel& frame_kernel_best();

// True when a width x height surface of 32-bit pixels is non-empty and its byte size fits a
// signed 32-bit integer, so that no size or offset computed for it can overflow.
bool frame_size_valid(int32_t width, int32_t height);

// Converts nothing when either address is null or either size is zero or negative. The kernel
// must be one that frame_kernel_supported accepts.
void frame_convert(const FrameKernel& kernel, const uint8_t* frame, int32_t width, int32_t height,
                   const PaletteTable& palette, uint32_t* pixels);
