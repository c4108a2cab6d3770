// What the CPU reports (CPUID) and what the operating system saves on a context switch (XCR0).
#pragma once

#include <stdint.h>

struct CpuFeatures {
    uint32_t leaf1Ecx;
    uint32_t leaf7Ebx;
    uint32_t leaf7Ecx;
    uint32_t xcr0;
};

// The bits that the conversion kernels ask for.
constexpr uint32_t CPU_SSSE3 = 1u << 9;      // leaf 1, ECX
constexpr uint32_t CPU_SSE41 = 1u << 19;     // leaf 1, ECX
constexpr uint32_t CPU_OSXSAVE = 1u << 27;   // leaf 1, ECX: XGETBV reads XCR0
constexpr uint32_t CPU_AVX = 1u << 28;       // leaf 1, ECX
constexpr uint32_t CPU_AVX2 = 1u << 5;       // leaf 7, EBX
constexpr uint32_t CPU_AVX512F = 1u << 16;   // leaf 7, EBX
constexpr uint32_t CPU_AVX512BW = 1u << 30;  // leaf 7, EBX
constexpr uint32_t CPU_AVX512VBMI = 1u << 1; // leaf 7, ECX
// The register state saved: SSE and AVX; for AVX-512 also the opmask registers and both halves of
// the ZMM state.
constexpr uint32_t XCR0_AVX_STATE = 0x06;
constexpr uint32_t XCR0_AVX512_STATE = 0xE6;

// Zero where not known.
CpuFeatures cpu_features();

// True when `features` has every bit of `needs`.
bool cpu_features_include(const CpuFeatures& features, const CpuFeatures& needs);

// Every bit of both.
constexpr CpuFeatures operator|(const CpuFeatures& a, const CpuFeatures& b) {
    return {a.leaf1Ecx | b.leaf1Ecx, a.leaf7Ebx | b.leaf7Ebx, a.leaf7Ecx | b.leaf7Ecx, a.xcr0 | b.xcr0};
}
