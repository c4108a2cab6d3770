#include <cctype>
#include <climits>
#include <cstdio>
#include <cstring>
#include <fstream>
#include <iterator>
#include <random>
#include <set>
#include <sstream>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#if defined(__i386__) || defined(__x86_64__)
#include "../support/vector_state.h"
#endif

#include "../../core/frame.h"
#include "../support/guarded_frame.h"

void PrintTo(const FrameKernel& kernel, std::ostream* out) { *out << kernel.name; }

namespace {

constexpr uint32_t CANARY = 0xCAFEF00D;

// A palette whose 64 colours all differ, spread over the four copies.
PaletteTable distinct_palette() {
    PaletteTable table;
    palette_clear(table);
    for (int32_t n = 0; n < PALETTE_COLOURS; ++n)
        palette_set(table, n, palette_pack(n * 4, 255 - n * 3, n * 37));
    return table;
}

// Pattern values inside the frame's columns, `junk` in the rest of each row.
void fill(GuardedFrame& frame, int32_t width, int32_t height, uint8_t junk) {
    frame.fill_outside_columns(junk);
    for (int32_t y = 0; y < height; ++y)
        for (int32_t x = 0; x < width && x < FRAME_PITCH; ++x)
            frame.at(x, y) = static_cast<uint8_t>(x * 7 + y * 13);
}

// Destination of width x height pixels followed by a row of canaries.
std::vector<uint32_t> make_pixels(int32_t width, int32_t height) {
    return std::vector<uint32_t>(static_cast<size_t>(width) * (height + 1), CANARY);
}

void expect_converted(const uint8_t* frame, int32_t width, int32_t height, const PaletteTable& palette,
                      const std::vector<uint32_t>& pixels) {
    for (int32_t y = 0; y < height; ++y)
        for (int32_t x = 0; x < width; ++x) {
            const uint32_t want = x < FRAME_PITCH ? palette.entries[frame[y * FRAME_PITCH + x]] : CANARY;
            ASSERT_EQ(pixels[y * width + x], want) << "x " << x << " y " << y;
        }
    for (int32_t x = 0; x < width; ++x)
        ASSERT_EQ(pixels[height * width + x], CANARY) << "written past the last row, x " << x;
}

class FrameConvert : public testing::TestWithParam<FrameKernel> {
  protected:
    void SetUp() override {
        if (!frame_kernel_supported(GetParam()))
            GTEST_SKIP() << GetParam().name << " does not run on this machine";
    }
    void convert(const uint8_t* frame, int32_t width, int32_t height, const PaletteTable& palette,
                 uint32_t* pixels) {
        frame_convert(GetParam(), frame, width, height, palette, pixels);
    }
};

TEST_P(FrameConvert, FullWidthFrameFillsEveryPixelRowByRow) {
    const PaletteTable palette = distinct_palette();
    GuardedFrame frame(256, 240);
    fill(frame, 256, 240, 0);
    std::vector<uint32_t> pixels = make_pixels(256, 240);
    convert(frame.data(), 256, 240, palette, pixels.data());
    expect_converted(frame.data(), 256, 240, palette, pixels);
}

TEST_P(FrameConvert, NarrowFrameReadsOnlyItsColumnsAndPacksDestinationRows) {
    const PaletteTable palette = distinct_palette();
    for (int32_t width : {1, 3, 15, 16, 17, 31, 33, 160, 255}) {
        GuardedFrame frame(width, 7);
        fill(frame, width, 7, 0x00);
        std::vector<uint32_t> pixels = make_pixels(width, 7);
        convert(frame.data(), width, 7, palette, pixels.data());
        expect_converted(frame.data(), width, 7, palette, pixels);

        fill(frame, width, 7, 0xFF);
        std::vector<uint32_t> again = make_pixels(width, 7);
        convert(frame.data(), width, 7, palette, again.data());
        EXPECT_EQ(pixels, again) << "bytes beyond the frame's columns changed the picture, width " << width;
    }
}

TEST_P(FrameConvert, TopTwoBitsOfAPixelValueMakeNoDifference) {
    PaletteTable palette;
    palette_clear(palette);
    palette_set(palette, 5, 0x00123456);
    GuardedFrame frame(64, 1);
    for (int32_t x = 0; x < 64; ++x)
        frame.data()[x] = static_cast<uint8_t>(5 + 64 * (x % 4));
    std::vector<uint32_t> pixels(64);
    convert(frame.data(), 64, 1, palette, pixels.data());
    for (uint32_t pixel : pixels)
        EXPECT_EQ(pixel, 0x00123456u);
}

TEST_P(FrameConvert, WidthAbove256ConvertsAt256ColumnsAndKeepsTheDestinationPitch) {
    const PaletteTable palette = distinct_palette();
    GuardedFrame frame(300, 3);
    fill(frame, 300, 3, 0);
    std::vector<uint32_t> pixels = make_pixels(300, 3);
    convert(frame.data(), 300, 3, palette, pixels.data());
    expect_converted(frame.data(), 300, 3, palette, pixels);
}

TEST_P(FrameConvert, EmptyOrNegativeSizesAndNullAddressesConvertNothing) {
    const PaletteTable palette = distinct_palette();
    GuardedFrame frame(16, 4);
    fill(frame, 16, 4, 0);
    std::vector<uint32_t> pixels(64, CANARY);
    const int32_t sizes[][2] = {{0, 4}, {16, 0}, {-16, 4}, {16, -4}, {INT_MIN, INT_MIN}, {0, 0}};
    for (const auto& size : sizes)
        convert(frame.data(), size[0], size[1], palette, pixels.data());
    convert(nullptr, 16, 4, palette, pixels.data());
    for (uint32_t pixel : pixels)
        EXPECT_EQ(pixel, CANARY);
    convert(frame.data(), 16, 4, palette, nullptr);
}

// Random frames and palettes, every width a host can have and a range of heights: each kernel
// gives exactly one table look-up per pixel.
TEST_P(FrameConvert, EqualsATableLookUpForEveryWidth) {
    std::mt19937 random(20261208);
    PaletteTable palette;
    for (int32_t width = 1; width <= 256; ++width) {
        for (int32_t height : {1, 2, 5, 16}) {
            for (uint32_t& entry : palette.entries)
                entry = random() & 0x00FFFFFF;
            for (int32_t n = 0; n < PALETTE_COLOURS; ++n)
                palette_set(palette, n, palette.entries[n]);
            GuardedFrame frame(width, height);
            const size_t bytes = static_cast<size_t>(height - 1) * FRAME_PITCH + width;
            for (size_t i = 0; i < bytes; ++i)
                frame.data()[i] = static_cast<uint8_t>(random());
            std::vector<uint32_t> pixels = make_pixels(width, height);
            convert(frame.data(), width, height, palette, pixels.data());
            SCOPED_TRACE(testing::Message() << "width " << width << " height " << height);
            expect_converted(frame.data(), width, height, palette, pixels);
            if (HasFatalFailure())
                return;
        }
    }
}

#if defined(__i386__) || defined(__x86_64__)
// A kernel's six arguments as they lie on the stack, then a word of the test's that it never reads.
struct KernelArguments {
    const uint8_t* frame;
    int32_t columns, height, pitch;
    const PaletteTable* palette;
    uint32_t* pixels;
    int32_t readState;
};

#if defined(__i386__)
// Calls the kernel with the stack pointer `offset` bytes below a 64-byte boundary (a 32-bit host
// may align it to 4 bytes only) and, if asked, reads XGETBV(1) with the next instruction after it
// returns, before any other code can touch a vector register. Returns the bits in use of the upper
// halves of the YMM registers (2) and of the upper 256 bits of the ZMM registers (6).
uint32_t call_at_stack_offset(ConvertRows* convert, const KernelArguments& arguments, int32_t offset) {
    uintptr_t result = reinterpret_cast<uintptr_t>(convert);
    const KernelArguments* from = &arguments;
    __asm__ volatile("mov %%esp, %%ebx\n\t"
                     "and $-64, %%esp\n\t"
                     "sub $64, %%esp\n\t"
                     "sub %%edx, %%esp\n\t"
                     "mov %%esp, %%edi\n\t"
                     "mov $7, %%ecx\n\t"
                     "rep movsl\n\t"
                     "call *%%eax\n\t"
                     "mov $0, %%eax\n\t"
                     "cmpl $0, 24(%%esp)\n\t"
                     "je 1f\n\t"
                     "mov $1, %%ecx\n\t"
                     "xgetbv\n"
                     "1:\n\t"
                     "mov %%ebx, %%esp"
                     : "+a"(result), "+S"(from), "+d"(offset)
                     :
                     : "ebx", "ecx", "edi", "cc", "memory");
    return result & UPPER_VECTOR_STATE;
}
#else
// A 64-bit caller keeps the stack aligned as the kernels' compiler expects, so only the state is
// read: with the first instruction after the call, as above.
uint32_t call_at_stack_offset(ConvertRows* convert, const KernelArguments& arguments, int32_t) {
    const bool read = arguments.readState != 0;
    convert(arguments.frame, arguments.columns, arguments.height, arguments.pitch, *arguments.palette,
            arguments.pixels);
    unsigned low = 0, high = 0;
    if (read)
        __asm__ volatile("xgetbv" : "=a"(low), "=d"(high) : "c"(1));
    return low & UPPER_VECTOR_STATE;
}
#endif

// A kernel with vector registers of 256 bits or more must leave their upper halves clean
// (vzeroupper), or every later legacy SSE instruction of the host pays for it. The platform may
// mark the state in use at any moment (the AMD machines do under Wine), so only a state left
// dirty at every try of an offset counts. Kernels without the AVX state cannot dirty it, and on
// those machines a legacy SSE instruction itself can mark it in use: their pixels alone are checked.
// Under software emulation the state means nothing: the pixels are checked, then the test skips.
TEST_P(FrameConvert, WorksWithAnyStackAlignmentAndLeavesTheUpperVectorStateClean) {
    const bool usesAvxState = (GetParam().needs.xcr0 & XCR0_AVX_STATE) == XCR0_AVX_STATE;
    const bool emulated = cpu_is_software_emulated();
    const bool read = usesAvxState && reports_vector_state_in_use() && !emulated;
    const PaletteTable palette = distinct_palette();
    GuardedFrame frame(200, 3);
    fill(frame, 200, 3, 0);
    constexpr int TRIES = 4;
    for (int32_t offset = 0; offset < 64; offset += 4) {
        int dirty = 0;
        for (int i = 0; i < TRIES; ++i) {
            std::vector<uint32_t> pixels = make_pixels(200, 3);
            if (usesAvxState)
                __asm__ volatile("vzeroupper"); // what is in use after the call is then the kernel's
            const KernelArguments arguments = {frame.data(), 200, 3, 200, &palette, pixels.data(), read};
            dirty += call_at_stack_offset(GetParam().convert, arguments, offset) != 0;
            expect_converted(frame.data(), 200, 3, palette, pixels);
        }
        EXPECT_LT(dirty, TRIES) << "no vzeroupper after the kernel, stack offset " << offset;
    }
    if (usesAvxState && emulated)
        GTEST_SKIP() << SOFTWARE_EMULATION_SKIP;
}
#endif

// Named after the kernel, "avx512 (SIMDe)" as avx512_SIMDe, so that the output says which ran.
INSTANTIATE_TEST_SUITE_P(Kernels, FrameConvert, testing::ValuesIn(FRAME_KERNELS),
                         [](const testing::TestParamInfo<FrameKernel>& info) {
                             std::string name;
                             for (const char* c = info.param.name; *c; ++c) {
                                 if (std::isalnum(static_cast<unsigned char>(*c)))
                                     name += *c;
                                 else if (*c == ' ')
                                     name += '_';
                             }
                             return name;
                         });

std::string family(const FrameKernel& kernel) {
    return std::string(kernel.name, std::strcspn(kernel.name, " "));
}

// The kernels from the slowest to the fastest, each with the CPU flags that Linux lists for it
// beyond those of the kernels before it, which it needs too.
const std::pair<std::string, std::set<std::string>> SPEED_ORDER[] = {
    {"plain", {}},
    {"sse4.1", {"ssse3", "sse4_1"}},
    {"avx2", {"avx", "avx2"}},
    {"avx512", {"avx512f", "avx512bw", "avx512vbmi"}},
};

size_t speed_rank(const std::string& name) {
    size_t rank = 0;
    while (rank < std::size(SPEED_ORDER) && SPEED_ORDER[rank].first != name)
        ++rank;
    return rank;
}

// Dispatch takes the last row that a CPU runs, so the rows' order is the speed model: the portable
// loop first, needing nothing, then each row needing all that the one before it needs, and more.
TEST(FrameKernelTable, RunsFromThePortableLoopToTheKernelThatNeedsMost) {
    EXPECT_EQ(family(FRAME_KERNELS[0]), "plain");
    EXPECT_TRUE(cpu_features_include({}, FRAME_KERNELS[0].needs));
    for (size_t i = 1; i < std::size(FRAME_KERNELS); ++i) {
        const CpuFeatures &before = FRAME_KERNELS[i - 1].needs, &needs = FRAME_KERNELS[i].needs;
        EXPECT_TRUE(cpu_features_include(needs, before)) << FRAME_KERNELS[i].name;
        EXPECT_FALSE(cpu_features_include(before, needs)) << FRAME_KERNELS[i].name << " needs nothing more";
        EXPECT_EQ(speed_rank(family(FRAME_KERNELS[i])), i) << FRAME_KERNELS[i].name;
    }
}

// Each kernel needs every instruction set it uses, and the register state saved by the operating
// system: a 32-bit Windows 7 saves no AVX-512 state (XCR0 0x7) even on a CPU that has AVX-512.
// For each CPU, the kernel chosen there; it and every slower one run, no faster one does.
TEST(FrameKernelSupport, NeedsEveryInstructionSetItUsesAndTheSavedState) {
    const CpuFeatures full = {CPU_SSSE3 | CPU_SSE41 | CPU_OSXSAVE | CPU_AVX,
                              CPU_AVX2 | CPU_AVX512F | CPU_AVX512BW, CPU_AVX512VBMI, 0xE7};
    const uint32_t avx512 = CPU_AVX512F | CPU_AVX512BW;
    const struct {
        const char* what;
        CpuFeatures features;
        std::string chosen;
    } cases[] = {
        {"everything", full, "avx512"},
        {"nothing", {}, "plain"},
        {"SSE4.1 without SSSE3", {CPU_SSE41, 0, 0, 0}, "plain"},
        {"SSSE3 and SSE4.1", {CPU_SSSE3 | CPU_SSE41, 0, 0, 0}, "sse4.1"},
        {"AVX2 without SSE4.1", {CPU_SSSE3 | CPU_OSXSAVE | CPU_AVX, CPU_AVX2, 0, 0x7}, "plain"},
        {"no AVX-512 state saved", {full.leaf1Ecx, full.leaf7Ebx, CPU_AVX512VBMI, 0x7}, "avx2"},
        {"no upper ZMM state saved", {full.leaf1Ecx, full.leaf7Ebx, CPU_AVX512VBMI, 0x67}, "avx2"},
        {"no YMM state saved", {full.leaf1Ecx, full.leaf7Ebx, CPU_AVX512VBMI, 0x3}, "sse4.1"},
        {"XSAVE not enabled",
         {CPU_SSSE3 | CPU_SSE41 | CPU_AVX, full.leaf7Ebx, CPU_AVX512VBMI, 0xE7},
         "sse4.1"},
        {"no AVX512BW", {full.leaf1Ecx, CPU_AVX2 | CPU_AVX512F, CPU_AVX512VBMI, 0xE7}, "avx2"},
        {"no AVX512F", {full.leaf1Ecx, CPU_AVX2 | CPU_AVX512BW, CPU_AVX512VBMI, 0xE7}, "avx2"},
        {"no VBMI", {full.leaf1Ecx, full.leaf7Ebx, 0, 0xE7}, "avx2"},
        {"AVX-512 without AVX2", {full.leaf1Ecx, avx512, CPU_AVX512VBMI, 0xE7}, "sse4.1"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        EXPECT_EQ(family(frame_kernel_for(c.features)), c.chosen);
        for (const FrameKernel& kernel : FRAME_KERNELS)
            EXPECT_EQ(cpu_features_include(c.features, kernel.needs),
                      speed_rank(family(kernel)) <= speed_rank(c.chosen))
                << kernel.name;
    }
}

// Where Linux lists the CPU's flags (it lists only what the kernel has enabled), they agree with
// what CPUID and XGETBV gave, the kernel tests run every kernel they allow (SIMDe's build of the
// AVX-512 kernel runs anywhere), and this machine converts with the fastest kernel they allow.
TEST(FrameKernelSupport, AgreesWithTheFlagsLinuxReports) {
    std::ifstream cpuinfo("/proc/cpuinfo");
    std::string line;
    while (std::getline(cpuinfo, line) && line.rfind("flags", 0) != 0) {
    }
    if (line.empty())
        GTEST_SKIP() << "no /proc/cpuinfo here";
    std::set<std::string> flags;
    std::istringstream words(line.substr(line.find(':') + 1));
    for (std::string word; words >> word;)
        flags.insert(word);
    std::string fastest;
    bool listed = true;
    for (const auto& [name, flagNames] : SPEED_ORDER) {
        for (const std::string& flag : flagNames)
            listed = listed && flags.count(flag) == 1;
        if (listed)
            fastest = name;
        for (const FrameKernel& kernel : FRAME_KERNELS) {
            if (family(kernel) == name) {
                EXPECT_EQ(cpu_features_include(cpu_features(), kernel.needs), listed) << name;
                EXPECT_EQ(frame_kernel_supported(kernel), listed || std::strstr(kernel.name, "SIMDe"))
                    << name;
            }
        }
    }
    EXPECT_EQ(family(frame_kernel_best()), fastest);
    std::printf("this machine converts with %s\n", frame_kernel_best().name);
}

TEST(FrameSizeValid, AcceptsNonEmptySurfacesWhoseBytesFitInt32) {
    EXPECT_TRUE(frame_size_valid(1, 1));
    EXPECT_TRUE(frame_size_valid(256, 240));
    EXPECT_TRUE(frame_size_valid(INT32_MAX / 4, 1));
    EXPECT_TRUE(frame_size_valid(1, INT32_MAX / 4));

    EXPECT_FALSE(frame_size_valid(0, 240));
    EXPECT_FALSE(frame_size_valid(256, 0));
    EXPECT_FALSE(frame_size_valid(-256, 240));
    EXPECT_FALSE(frame_size_valid(256, -240));
    EXPECT_FALSE(frame_size_valid(INT32_MAX / 4 + 1, 1));
    EXPECT_FALSE(frame_size_valid(65536, 65536));
    EXPECT_FALSE(frame_size_valid(INT32_MAX, INT32_MAX));
    EXPECT_FALSE(frame_size_valid(INT32_MIN, INT32_MIN));
}

} // namespace
