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

// The kernels from the slowest to the fastest: the fastest that a machine runs is its choice.
inline constexpr FrameKernel FRAME_KERNELS[] = {
    {"plain", convert_plain, {}},
    // pshufb, the look-up, is an SSSE3 instruction.
    {"sse4.1", convert_sse41, {CPU_SSSE3 | CPU_SSE41, 0, 0, 0}},
    {"avx2", convert_avx2, {CPU_OSXSAVE | CPU_AVX, CPU_AVX2, 0, XCR0_AVX_STATE}},
    {FRAME_AVX512_NAME,
     convert_avx512,
     {CPU_OSXSAVE, CPU_AVX512F | CPU_AVX512BW, CPU_AVX512VBMI, XCR0_AVX512_STATE}},
};

// True when this machine runs the kernel.
bool frame_kernel_supported(const FrameKernel& kernel);

// The fastest kernel that this machine runs.
const FrameKernel& frame_kernel_best();

// True when a width x height surface of 32-bit pixels is non-empty and its byte size fits a
// signed 32-bit integer, so that no size or offset computed for it can overflow.
bool frame_size_valid(int32_t width, int32_t height);

// Converts nothing when either address is null or either size is zero or negative. The kernel
// must be one that frame_kernel_supported accepts.
void frame_convert(const FrameKernel& kernel, const uint8_t* frame, int32_t width, int32_t height,
                   const PaletteTable& palette, uint32_t* pixels);
