#include "frame.h"

#include "frame_kernels.h"

#include <iterator>

const char* frame_kernel_name(FrameKernel kernel) {
    switch (kernel) {
    case FrameKernel::Sse41:
        return "sse4.1";
    case FrameKernel::Avx2:
        return "avx2";
    case FrameKernel::Avx512:
#if defined(FRAME_AVX512_EMULATED)
        return "avx512 (SIMDe)";
#else
        return "avx512";
#endif
    default:
        return "plain";
    }
}

bool frame_kernel_supported(FrameKernel kernel) {
#if defined(FRAME_AVX512_EMULATED)
    if (kernel == FrameKernel::Avx512)
        return true; // SIMDe's portable code runs anywhere
#endif
    return cpu_features_run(cpu_features(), kernel);
}

FrameKernel frame_kernel_best() {
    const CpuFeatures features = cpu_features();
    for (auto kernel = std::rbegin(FRAME_KERNELS); kernel != std::rend(FRAME_KERNELS); ++kernel)
        if (cpu_features_run(features, *kernel))
            return *kernel;
    return FrameKernel::Plain;
}

bool frame_size_valid(int32_t width, int32_t height) {
    if (width <= 0 || height <= 0)
        return false;
    return static_cast<uint64_t>(width) * static_cast<uint64_t>(height) <= INT32_MAX / 4;
}

void frame_convert(FrameKernel kernel, const uint8_t* frame, int32_t width, int32_t height,
                   const PaletteTable& palette, uint32_t* pixels) {
    if (!frame || !pixels || width <= 0 || height <= 0)
        return;
    const int32_t columns = width < FRAME_PITCH ? width : FRAME_PITCH;
    switch (kernel) {
    case FrameKernel::Avx512:
        convert_avx512(frame, columns, height, width, palette, pixels);
        break;
    case FrameKernel::Avx2:
        convert_avx2(frame, columns, height, width, palette, pixels);
        break;
    case FrameKernel::Sse41:
        convert_sse41(frame, columns, height, width, palette, pixels);
        break;
    default:
        convert_plain(frame, columns, height, width, palette, pixels);
        break;
    }
}

// Four pixels from one 4-byte read, with no aliasing between the frame, the table and the
// pixels: this lets the compiler keep everything in registers.
void convert_plain(const uint8_t* __restrict frame, int32_t columns, int32_t height, int32_t width,
                   const PaletteTable& __restrict palette, uint32_t* __restrict pixels) {
    static_assert(__BYTE_ORDER__ == __ORDER_LITTLE_ENDIAN__, "the first pixel of four is the lowest byte");
    const uint32_t* const table = palette.entries;
    const int32_t quads = columns / 4 * 4;
    for (int32_t y = 0; y < height; ++y) {
        for (int32_t x = 0; x < quads; x += 4) {
            uint32_t four;
            __builtin_memcpy(&four, frame + x, 4);
            pixels[x] = table[four & 0xFF];
            pixels[x + 1] = table[four >> 8 & 0xFF];
            pixels[x + 2] = table[four >> 16 & 0xFF];
            pixels[x + 3] = table[four >> 24];
        }
        for (int32_t x = quads; x < columns; ++x)
            pixels[x] = table[frame[x]];
        frame += FRAME_PITCH;
        pixels += width;
    }
}
