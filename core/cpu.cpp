// What this CPU and operating system run, from CPUID and XGETBV.

#include "frame_kernels.h"

#if defined(__i386__) || defined(__x86_64__)
#include <cpuid.h>

namespace {

constexpr unsigned LEAF1_ECX_SSE41 = 1u << 19;
constexpr unsigned LEAF1_ECX_OSXSAVE = 1u << 27;
constexpr unsigned LEAF1_ECX_AVX = 1u << 28;
constexpr unsigned LEAF7_EBX_AVX2 = 1u << 5;
constexpr unsigned XCR0_SSE_AND_AVX_STATE = 0x6;

unsigned leaf1_ecx() {
    unsigned eax, ebx, ecx, edx;
    return __get_cpuid(1, &eax, &ebx, &ecx, &edx) ? ecx : 0;
}

// The register state the operating system saves on a context switch.
unsigned xcr0() {
    unsigned eax, edx;
    __asm__ volatile("xgetbv" : "=a"(eax), "=d"(edx) : "c"(0));
    return eax;
}

} // namespace

bool cpu_runs_sse41() { return (leaf1_ecx() & LEAF1_ECX_SSE41) != 0; }

bool cpu_runs_avx2() {
    const unsigned ecx = leaf1_ecx();
    if ((ecx & (LEAF1_ECX_OSXSAVE | LEAF1_ECX_AVX)) != (LEAF1_ECX_OSXSAVE | LEAF1_ECX_AVX))
        return false;
    if ((xcr0() & XCR0_SSE_AND_AVX_STATE) != XCR0_SSE_AND_AVX_STATE)
        return false;
    unsigned eax, ebx, ecx7, edx;
    return __get_cpuid_count(7, 0, &eax, &ebx, &ecx7, &edx) && (ebx & LEAF7_EBX_AVX2) != 0;
}

#else

bool cpu_runs_sse41() { return false; }
bool cpu_runs_avx2() { return false; }

#endif
