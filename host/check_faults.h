// What the self-check compares a window with, and the faults it can name from what it sees: one
// table of the faults of a picture's geometry, one of its colours. A fault is named only where it
// accounts for nearly every wrong pixel, and better than any other; otherwise the first wrong
// pixel is given.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

// A frame as the plugin is given it: palette indices in rows 256 bytes apart, and the colours set.
struct FrameImage {
    int width, height;
    const uint8_t* buffer;
    uint32_t palette[64];
    // A row holds 256 bytes: the columns of a wider frame beyond them are black.
    uint32_t colour(int x, int y) const { return x < 256 ? palette[buffer[y * 256 + x] % 64] : 0; }
};

// A window's client area as read back, 0x00RRGGBB a pixel.
struct Shown {
    int width = 0, height = 0;
    std::vector<uint32_t> pixels;
    uint32_t at(int x, int y) const { return pixels[static_cast<size_t>(y) * width + x]; }
};

// The check paints a window in this colour before the frame it compares: a pixel that still shows
// it was not drawn.
constexpr uint32_t NOT_DRAWN = 0x00C0FFEE;

// What else is known of the frame that was drawn: what VideoBlit answered, and a size the picture
// may have been stretched to by mistake, with its name.
struct DrawnBy {
    int32_t result = 0;
    int otherWidth = 0, otherHeight = 0;
    std::string otherSize;
};

// Colours may be off by this much a channel on a screen with fewer bits than 24 a pixel.
extern int colourTolerance;
bool close_enough(uint32_t shown, uint32_t wanted);
std::string hex(uint32_t colour); // 0x00RRGGBB

// True when the window shows the frame stretched over all of it.
bool shows_frame(const Shown& shown, const FrameImage& frame);

// Empty when the window shows the frame stretched over all of it; otherwise what is wrong.
std::string compare_picture(const Shown& shown, const FrameImage& frame, const DrawnBy& drawn);

// What is wrong with a window that the frame, of `colours` only, was shrunk into, where some pixels
// show other colours; empty when all show those colours.
std::string compare_colours_only(const Shown& shown, const FrameImage& frame,
                                 const std::vector<uint32_t>& colours, const DrawnBy& drawn);
