// A 32-bit host may call with the stack aligned to 4 bytes only, and expects the vector state
// left as the calling convention says: the conversion kernels must cope with the one and keep
// the other.

#include <cpuid.h>

#include "test_support.h"

namespace {

// Calls blit with the stack pointer `offset` bytes below a 64-byte boundary.
int32_t blit_with_stack_offset(VideoBlitProc blit, int32_t offset) {
    int32_t result;
    __asm__ volatile("mov %%esp, %%esi\n\t"
                     "and $-64, %%esp\n\t"
                     "sub %%edi, %%esp\n\t"
                     "call *%%ebx\n\t"
                     "mov %%esi, %%esp"
                     : "=a"(result)
                     : "b"(blit), "D"(offset)
                     : "esi", "ecx", "edx", "cc", "memory");
    return result;
}

bool avx_state_in_use(bool& known) {
    unsigned eax, ebx, ecx, edx;
    known = __get_cpuid_count(0xD, 1, &eax, &ebx, &ecx, &edx) && (eax & (1u << 2)) != 0;
    if (!known)
        return false;
    unsigned low, high;
    __asm__ volatile("xgetbv" : "=a"(low), "=d"(high) : "c"(1));
    // The upper halves of the YMM registers, and the upper 256 bits of the ZMM registers.
    return (low & (1u << 2 | 1u << 6)) != 0;
}

TEST_F(PluginTest, BlitWorksWithAnyStackAlignmentAndLeavesTheUpperVectorStateClean) {
    GuardedFrame frame(256, 240);
    for (int32_t y = 0; y < 240; ++y)
        for (int32_t x = 0; x < 256; ++x)
            frame.at(x, y) = static_cast<uint8_t>(x ^ y);
    TestWindow window(256, 240);
    plugin.init(256, 240, window.handle(), 0, frame.data());
    set_test_palette(plugin);
    for (int32_t offset = 0; offset < 64; offset += 4) {
        EXPECT_EQ(blit_with_stack_offset(plugin.blit, offset), 240) << "offset " << offset;
        bool known = false;
        EXPECT_FALSE(avx_state_in_use(known)) << "no vzeroupper after the conversion, offset " << offset;
    }
    const std::vector<uint32_t> shown = window.read_client();
    for (int32_t y = 0; y < 240; ++y)
        for (int32_t x = 0; x < 256; ++x)
            ASSERT_EQ(shown[y * 256 + x], test_colour((x ^ y) % 64)) << "at " << x << "," << y;
    plugin.shutdown();
}

} // namespace
