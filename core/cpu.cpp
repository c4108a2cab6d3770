// What this CPU and operating system run, from CPUID and XGETBV.

#include "frame_kernels.h"

#if defined(__i386__) || defined(__x86_64__)
#include <cpuid.h>
#endif

namespace {

constexpr uint32_t LEAF1_ECX_SSSE3 = 1u << 9;
constexpr uint32_t LEAF1_ECX_SSE41 = 1u << 19;
constexpr uint32_t LEAF1_ECX_OSXSAVE = 1u << 27;
constexpr uint32_t LEAF1_ECX_AVX = 1u << 28;
constexpr uint32_t LEAF7_EBX_AVX2 = 1u << 5;
constexpr uint32_t LEAF7_EBX_AVX512F = 1u << 16;
constexpr uint32_t LEAF7_EBX_AVX512BW = 1u << 30;
constexpr uint32_t LEAF7_ECX_AVX512VBMI = 1u << 1;
// The register state the operating system saves on a context switch: SSE and AVX; for AVX-512
// also the opmask registers and both halves of the ZMM state.
constexpr uint32_t XCR0_AVX_STATE = 0x06;
constexpr uint32_t XCR0_AVX512_STATE = 0xE6;

bool all(uint32_t bits, uint32_t wanted) { return (bits & wanted) == wanted; }

} // namespace

CpuFeatures cpu_features() {
    CpuFeatures features = {};
#if defined(__i386__) || defined(__x86_64__)
    unsigned eax, ebx, ecx, edx;
    if (__get_cpuid(1, &eax, &ebx, &ecx, &edx))
        features.leaf1Ecx = ecx;
    if (__get_cpuid_count(7, 0, &eax, &ebx, &ecx, &edx)) {
        features.leaf7Ebx = ebx;
        features.leaf7Ecx = ecx;
    }
    // XGETBV faults unless the operating system has enabled it.
    if (features.leaf1Ecx & LEAF1_ECX_OSXSAVE) {
        __asm__ volatile("xgetbv" : "=a"(eax), "=d"(edx) : "c"(0));
        features.xcr0 = eax;
    }
#endif
    return features;
}

bool cpu_features_run(const CpuFeatures& features, FrameKernel kernel) {
    const bool avxState = all(features.leaf1Ecx, LEAF1_ECX_OSXSAVE) && all(features.xcr0, XCR0_AVX_STATE);
    switch (kernel) {
    case FrameKernel::Plain:
        return true;
    case FrameKernel::Sse41:
        // pshufb, the kernel's look-up, is an SSSE3 instruction.
        return all(features.leaf1Ecx, LEAF1_ECX_SSSE3 | LEAF1_ECX_SSE41);
    case FrameKernel::Avx2:
        return avxState && all(features.leaf1Ecx, LEAF1_ECX_AVX) && all(features.leaf7Ebx, LEAF7_EBX_AVX2);
    case FrameKernel::Avx512:
        return avxState && all(features.xcr0, XCR0_AVX512_STATE) &&
               all(features.leaf7Ebx, LEAF7_EBX_AVX512F | LEAF7_EBX_AVX512BW) &&
               all(features.leaf7Ecx, LEAF7_ECX_AVX512VBMI);
    }
    return false;
}
