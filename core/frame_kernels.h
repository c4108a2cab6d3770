// The conversion kernels behind frame_convert. Each converts `columns` (1 to FRAME_PITCH) columns
// of `height` (at least 1) rows; destination rows are `width` pixels apart. Only the low six bits
// of a pixel value choose its colour, so the vector kernels look up the first 64 entries alone.
#pragma once

#include <stdint.h>

#include "frame.h"
#include "palette.h"

void convert_plain(const uint8_t* frame, int32_t columns, int32_t height, int32_t width,
                   const PaletteTable& palette, uint32_t* pixels);
void convert_sse41(const uint8_t* frame, int32_t columns, int32_t height, int32_t width,
                   const PaletteTable& palette, uint32_t* pixels);
void convert_avx2(const uint8_t* frame, int32_t columns, int32_t height, int32_t width,
                  const PaletteTable& palette, uint32_t* pixels);
void convert_avx512(const uint8_t* frame, int32_t columns, int32_t height, int32_t width,
                    const PaletteTable& palette, uint32_t* pixels);

// What CPUID reports and what the operating system saves (XCR0); zero where not known.
struct CpuFeatures {
    uint32_t leaf1Ecx;
    uint32_t leaf7Ebx;
    uint32_t leaf7Ecx;
    uint32_t xcr0;
};

CpuFeatures cpu_features();

// True when a CPU and operating system with these features run every instruction the kernel uses.
bool cpu_features_run(const CpuFeatures& features, FrameKernel kernel);
