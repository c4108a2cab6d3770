// Conversion of the host's frame of palette indices into 32-bit packed colours.
//
// Source: one byte per pixel, `height` rows, top row first, rows FRAME_PITCH bytes apart; only
// the first min(width, FRAME_PITCH) bytes of each row are read.
// Destination: `height` rows of `width` packed colours, top row first, with no gap between rows.
#pragma once

#include <stdint.h>

#include "palette.h"

constexpr int32_t FRAME_PITCH = 256;

// The ways to convert a frame. All give the same pixels; Plain is the portable one and the
// reference, the others use vector instructions that not every CPU has.
// Listed from the slowest to the fastest.
enum class FrameKernel : int32_t { Plain, Sse41, Avx2, Avx512 };
constexpr FrameKernel FRAME_KERNELS[] = {FrameKernel::Plain, FrameKernel::Sse41, FrameKernel::Avx2,
                                         FrameKernel::Avx512};

const char* frame_kernel_name(FrameKernel kernel);

// True when both the CPU and the operating system (which must save the registers) allow it.
bool frame_kernel_supported(FrameKernel kernel);

// The fastest kernel that this machine runs.
FrameKernel frame_kernel_best();

// True when a width x height surface of 32-bit pixels is non-empty and its byte size fits a
// signed 32-bit integer, so that no size or offset computed for it can overflow.
bool frame_size_valid(int32_t width, int32_t height);

// Converts nothing when either address is null or either size is zero or negative. The kernel
// must be one that frame_kernel_supported accepts.
void frame_convert(FrameKernel kernel, const uint8_t* frame, int32_t width, int32_t height,
                   const PaletteTable& palette, uint32_t* pixels);
