#include <climits>
#include <vector>

#include <gtest/gtest.h>

#include "../../core/frame.h"

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

// Exactly the bytes the conversion may read: every row but the last is a full 256-byte row, the
// last ends at column min(width, 256) - 1, so that the sanitizer catches a read past it.
std::vector<uint8_t> make_frame(int32_t width, int32_t height, uint8_t junk) {
    const int32_t columns = width < FRAME_PITCH ? width : FRAME_PITCH;
    std::vector<uint8_t> frame((height - 1) * FRAME_PITCH + columns);
    for (size_t i = 0; i < frame.size(); ++i) {
        const int32_t x = static_cast<int32_t>(i % FRAME_PITCH);
        const int32_t y = static_cast<int32_t>(i / FRAME_PITCH);
        frame[i] = x < columns ? static_cast<uint8_t>(x * 7 + y * 13) : junk;
    }
    return frame;
}

// Destination of width x height pixels followed by a row of canaries.
std::vector<uint32_t> make_pixels(int32_t width, int32_t height) {
    return std::vector<uint32_t>(static_cast<size_t>(width) * (height + 1), CANARY);
}

void expect_converted(const std::vector<uint8_t>& frame, int32_t width, int32_t height,
                      const PaletteTable& palette, const std::vector<uint32_t>& pixels) {
    for (int32_t y = 0; y < height; ++y)
        for (int32_t x = 0; x < width; ++x) {
            const uint32_t want = x < FRAME_PITCH ? palette.entries[frame[y * FRAME_PITCH + x]] : CANARY;
            ASSERT_EQ(pixels[y * width + x], want) << "x " << x << " y " << y;
        }
    for (int32_t x = 0; x < width; ++x)
        ASSERT_EQ(pixels[height * width + x], CANARY) << "written past the last row, x " << x;
}

TEST(FrameConvert, FullWidthFrameFillsEveryPixelRowByRow) {
    const PaletteTable palette = distinct_palette();
    const std::vector<uint8_t> frame = make_frame(256, 240, 0);
    std::vector<uint32_t> pixels = make_pixels(256, 240);
    frame_convert(frame.data(), 256, 240, palette, pixels.data());
    expect_converted(frame, 256, 240, palette, pixels);
}

TEST(FrameConvert, NarrowFrameReadsOnlyItsColumnsAndPacksDestinationRows) {
    const PaletteTable palette = distinct_palette();
    for (int32_t width : {1, 3, 160, 255}) {
        const std::vector<uint8_t> frame = make_frame(width, 7, 0x00);
        const std::vector<uint8_t> other_junk = make_frame(width, 7, 0xFF);
        std::vector<uint32_t> pixels = make_pixels(width, 7);
        std::vector<uint32_t> again = make_pixels(width, 7);
        frame_convert(frame.data(), width, 7, palette, pixels.data());
        frame_convert(other_junk.data(), width, 7, palette, again.data());
        expect_converted(frame, width, 7, palette, pixels);
        EXPECT_EQ(pixels, again) << "bytes beyond the frame's columns changed the picture, width " << width;
    }
}

TEST(FrameConvert, TopTwoBitsOfAPixelValueMakeNoDifference) {
    PaletteTable palette;
    palette_clear(palette);
    palette_set(palette, 5, 0x00123456);
    const uint8_t frame[4] = {5, 69, 133, 0xC5};
    uint32_t pixels[4] = {};
    frame_convert(frame, 4, 1, palette, pixels);
    for (uint32_t pixel : pixels)
        EXPECT_EQ(pixel, 0x00123456u);
}

TEST(FrameConvert, WidthAbove256ConvertsAt256ColumnsAndKeepsTheDestinationPitch) {
    const PaletteTable palette = distinct_palette();
    const std::vector<uint8_t> frame = make_frame(300, 3, 0);
    std::vector<uint32_t> pixels = make_pixels(300, 3);
    frame_convert(frame.data(), 300, 3, palette, pixels.data());
    expect_converted(frame, 300, 3, palette, pixels);
}

TEST(FrameConvert, EmptyOrNegativeSizesAndNullAddressesConvertNothing) {
    const PaletteTable palette = distinct_palette();
    const std::vector<uint8_t> frame = make_frame(16, 4, 0);
    std::vector<uint32_t> pixels(64, CANARY);
    const int32_t sizes[][2] = {{0, 4}, {16, 0}, {-16, 4}, {16, -4}, {INT_MIN, INT_MIN}, {0, 0}};
    for (const auto& size : sizes)
        frame_convert(frame.data(), size[0], size[1], palette, pixels.data());
    frame_convert(nullptr, 16, 4, palette, pixels.data());
    for (uint32_t pixel : pixels)
        EXPECT_EQ(pixel, CANARY);
    frame_convert(frame.data(), 16, 4, palette, nullptr);
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
