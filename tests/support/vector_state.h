// The upper vector state for the tests that check the kernels leave it clean: whether this CPU
// reports it, and whether the report means anything here.
#pragma once

#include <cpuid.h>
#include <cstring>

// XGETBV(1) reports the register states in use: bit 2 the upper halves of the YMM registers,
// bit 6 the upper 256 bits of the ZMM registers.
constexpr unsigned UPPER_VECTOR_STATE = 1u << 2 | 1u << 6;

// True where the CPU reports the states in use.
inline bool reports_vector_state_in_use() {
    unsigned eax, ebx, ecx, edx;
    return __get_cpuid_count(0xD, 1, &eax, &ebx, &ecx, &edx) && (eax & 1u << 2) != 0;
}

// QEMU's software emulation offers XGETBV(1) but does not track the states in use: it reports
// the upper halves in use even straight after a vzeroupper. Its hypervisor leaf names it.
inline bool cpu_is_software_emulated() {
    unsigned top, vendor[3];
    __cpuid(0x40000000, top, vendor[0], vendor[1], vendor[2]);
    return std::memcmp(vendor, "TCGTCGTCGTCG", 12) == 0;
}

// Why a test of the state skips there, after checking all else.
constexpr const char* SOFTWARE_EMULATION_SKIP =
    "this CPU is QEMU's software emulation, whose XGETBV(1) does not track the upper vector state: "
    "the kernels' vzeroupper is checked on a 64-bit build, natively";
