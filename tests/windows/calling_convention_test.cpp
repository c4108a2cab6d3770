// A 32-bit host may call with the stack aligned to 4 bytes only, and expects the vector state
// left as the calling convention says: the conversion kernels must cope with the one and keep
// the other. The 64-bit test build checks the vector state alone.

#include "../support/vector_state.h"
#include "test_support.h"

namespace {

#if defined(__i386__)
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
#else
int32_t blit_with_stack_offset(VideoBlitProc blit, int32_t) { return blit(); }
#endif

// The state is read where the converted frame reaches StretchDIBits, not after it: the platform's
// own code may use the vector registers. It may also mark them in use at any moment, so only a
// state left dirty at every try of an offset counts. Under software emulation the state means
// nothing: the picture is checked, then the test skips.
TEST_F(PluginTest, BlitWorksWithAnyStackAlignmentAndLeavesTheUpperVectorStateClean) {
    GuardedFrame frame(256, 240);
    for (int32_t y = 0; y < 240; ++y)
        for (int32_t x = 0; x < 256; ++x)
            frame.at(x, y) = static_cast<uint8_t>(x ^ y);
    TestWindow window(256, 240);
    plugin.init(256, 240, window.handle(), 0, frame.data());
    set_test_palette(plugin);
    constexpr int TRIES = 4;
    for (int32_t offset = 0; offset < 64; offset += 4) {
        int dirty = 0;
        for (int i = 0; i < TRIES; ++i) {
            EXPECT_EQ(blit_with_stack_offset(plugin.blit, offset), 240) << "offset " << offset;
            dirty += spy.upperVectorStateAtStretch == 1;
        }
        EXPECT_LT(dirty, TRIES)
            << "the conversion left the upper vector state in use (no vzeroupper), offset " << offset;
    }
    const std::vector<uint32_t> shown = window.read_client();
    for (int32_t y = 0; y < 240; ++y)
        for (int32_t x = 0; x < 256; ++x)
            ASSERT_EQ(shown[y * 256 + x], test_colour((x ^ y) % 64)) << "at " << x << "," << y;
    plugin.shutdown();
    if (cpu_is_software_emulated())
        GTEST_SKIP() << SOFTWARE_EMULATION_SKIP;
}

} // namespace
