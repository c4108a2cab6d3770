#include "cpu.h"

#if defined(__i386__) || defined(__x86_64__)
#include <cpuid.h>
#endif

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
    if (features.leaf1Ecx & CPU_OSXSAVE) {
        __asm__ volatile("xgetbv" : "=a"(eax), "=d"(edx) : "c"(0));
        features.xcr0 = eax;
    }
#endif
    return features;
}

bool cpu_features_include(const CpuFeatures& features, const CpuFeatures& needs) {
    return (features.leaf1Ecx & needs.leaf1Ecx) == needs.leaf1Ecx &&
           (features.leaf7Ebx & needs.leaf7Ebx) == needs.leaf7Ebx &&
           (features.leaf7Ecx & needs.leaf7Ecx) == needs.leaf7Ecx &&
           (features.xcr0 & needs.xcr0) == needs.xcr0;
}
