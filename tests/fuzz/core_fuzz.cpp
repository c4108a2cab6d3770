// libFuzzer target for the core: palette writes with any index and components, then a frame of
// any size converted by every kernel this machine runs. The source holds exactly the bytes the
// conversion may read and the destination exactly its pixels, so that AddressSanitizer catches a
// read or a write past either; the result must equal a conversion done here, pixel by pixel.

#include <fuzzer/FuzzedDataProvider.h>

#include <cstdio>
#include <cstdlib>
#include <vector>

#include "../../core/frame.h"

namespace {

void require(bool condition, const char* what) {
    if (condition)
        return;
    std::fprintf(stderr, "core_fuzz: %s\n", what);
    std::abort();
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    FuzzedDataProvider input(data, size);
    const int32_t width = input.ConsumeIntegralInRange<int32_t>(-2, 300);
    const int32_t height = input.ConsumeIntegralInRange<int32_t>(-2, 40);

    PaletteTable palette;
    palette_clear(palette);
    uint32_t expected[PALETTE_COLOURS] = {};
    const int writes = input.ConsumeIntegralInRange(0, 80);
    for (int i = 0; i < writes; ++i) {
        const int32_t index = input.ConsumeBool() ? input.ConsumeIntegralInRange<int32_t>(-1, 64)
                                                  : input.ConsumeIntegral<int32_t>();
        const int32_t red = input.ConsumeIntegral<int32_t>();
        const int32_t green = input.ConsumeIntegral<int32_t>();
        const int32_t blue = input.ConsumeIntegral<int32_t>();
        const uint32_t colour = palette_pack(red, green, blue);
        require(colour == ((static_cast<uint32_t>(red) & 0xFF) << 16 |
                           (static_cast<uint32_t>(green) & 0xFF) << 8 | (static_cast<uint32_t>(blue) & 0xFF)),
                "packed colour");
        palette_set(palette, index, colour);
        if (index >= 0 && index < PALETTE_COLOURS)
            expected[index] = colour;
    }
    for (int32_t entry = 0; entry < PALETTE_ENTRIES; ++entry)
        require(palette.entries[entry] == expected[entry % PALETTE_COLOURS], "palette entry");

    const int32_t columns = width < FRAME_PITCH ? width : FRAME_PITCH;
    const bool converts = width > 0 && height > 0;
    std::vector<uint8_t> frame(converts ? static_cast<size_t>(height - 1) * FRAME_PITCH + columns : 0);
    const std::vector<uint8_t> bytes = input.ConsumeRemainingBytes<uint8_t>();
    for (size_t i = 0; i < frame.size(); ++i)
        frame[i] = bytes.empty() ? static_cast<uint8_t>(i) : bytes[i % bytes.size()];
    const size_t pixelCount = converts ? static_cast<size_t>(width) * height : 0;

    constexpr uint32_t UNTOUCHED = 0xDEADBEEF;
    for (const FrameKernel& kernel : FRAME_KERNELS) {
        if (!frame_kernel_supported(kernel))
            continue;
        std::vector<uint32_t> pixels(pixelCount, UNTOUCHED);
        // An empty vector's data() may be null: pass a real, empty allocation's address instead.
        uint32_t spare = UNTOUCHED;
        frame_convert(kernel, frame.empty() ? reinterpret_cast<const uint8_t*>(&spare) : frame.data(), width,
                      height, palette, pixels.empty() ? &spare : pixels.data());
        require(spare == UNTOUCHED, "wrote with an empty size");
        for (int32_t y = 0; converts && y < height; ++y)
            for (int32_t x = 0; x < width; ++x) {
                const uint32_t want =
                    x < FRAME_PITCH ? palette.entries[frame[y * FRAME_PITCH + x]] : UNTOUCHED;
                require(pixels[static_cast<size_t>(y) * width + x] == want, kernel.name);
            }
    }
    return 0;
}
