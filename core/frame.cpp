// Which kernel converts, and what every conversion checks first.

#include "frame.h"

bool frame_kernel_supported(const FrameKernel& kernel) {
#if defined(FRAME_AVX512_EMULATED)
    if (kernel.convert == convert_avx512)
        return true; // SIMDe's portable code runs anywhere
#endif
    return cpu_features_include(cpu_features(), kernel.needs);
}

const FrameKernel& frame_kernel_for(const CpuFeatures& features) {
    const FrameKernel* best = FRAME_KERNELS;
    for (const FrameKernel& kernel : FRAME_KERNELS)
        if (cpu_features_include(features, kernel.needs))
            best = &kernel;
    return *best;
}

const FrameKernel& frame_kernel_best() { return frame_kernel_for(cpu_features()); }

bool frame_size_valid(int32_t width, int32_t height) {
    if (width <= 0 || height <= 0)
        return false;
    return static_cast<uint64_t>(width) * static_cast<uint64_t>(height) <= INT32_MAX / 4;
}

void frame_convert(const FrameKernel& kernel, const uint8_t* frame, int32_t width, int32_t height,
                   const PaletteTable& palette, uint32_t* pixels) {
    if (!frame || !pixels || width <= 0 || height <= 0)
        return;
    kernel.convert(frame, width < FRAME_PITCH ? width : FRAME_PITCH, height, width, palette, pixels);
}
