#include "check_faults.h"

#include <algorithm>
#include <cstdio>
#include <functional>
#include <memory>

#include <windows.h>

int colourTolerance = 0;

bool close_enough(uint32_t shown, uint32_t wanted) {
    for (int shift = 0; shift < 24; shift += 8) {
        const int difference =
            static_cast<int>(shown >> shift & 0xFF) - static_cast<int>(wanted >> shift & 0xFF);
        if (difference > colourTolerance || -difference > colourTolerance)
            return false;
    }
    return true;
}

std::string hex(uint32_t colour) {
    char text[12];
    std::snprintf(text, sizeof(text), "0x%08X", colour & 0xFFFFFFu);
    return text;
}

namespace {

uint32_t channel(uint32_t colour, int shift) { return colour >> shift & 0xFF; }
uint32_t rgb(uint32_t red, uint32_t green, uint32_t blue) { return red << 16 | green << 8 | blue; }

// What a plugin with the fault shows for a colour.
struct ColourFault {
    const char* name;
    uint32_t (*shows)(uint32_t colour);
};

const ColourFault COLOUR_FAULTS[] = {
    {"red and blue swapped", [](uint32_t c) { return rgb(channel(c, 0), channel(c, 8), channel(c, 16)); }},
    {"red and green swapped", [](uint32_t c) { return rgb(channel(c, 8), channel(c, 16), channel(c, 0)); }},
    {"green and blue swapped", [](uint32_t c) { return rgb(channel(c, 16), channel(c, 0), channel(c, 8)); }},
    {"the colour channels turned round: red shows as green, green as blue, blue as red",
     [](uint32_t c) { return rgb(channel(c, 0), channel(c, 16), channel(c, 8)); }},
    {"the colour channels turned round: red shows as blue, blue as green, green as red",
     [](uint32_t c) { return rgb(channel(c, 8), channel(c, 0), channel(c, 16)); }},
    {"red lost: every colour shows with no red", [](uint32_t c) { return c & 0x00FFFF; }},
    {"green lost: every colour shows with no green", [](uint32_t c) { return c & 0xFF00FF; }},
    {"blue lost: every colour shows with no blue", [](uint32_t c) { return c & 0xFFFF00; }},
    {"the lowest bit of each colour's red, green and blue lost", [](uint32_t c) { return c & 0xFEFEFE; }},
    {"the lowest two bits of each colour's red, green and blue lost",
     [](uint32_t c) { return c & 0xFCFCFC; }},
    {"red, green and blue shown as 6-bit values (0 to 63) rather than 8-bit ones (0 to 255)",
     [](uint32_t c) { return c >> 2 & 0x3F3F3F; }},
    {"the colours inverted", [](uint32_t c) { return ~c & 0xFFFFFF; }},
};

// What a plugin with the fault shows at pixel (x, y) of the window: false where it says nothing.
struct PictureFault {
    std::string name;
    std::function<bool(int x, int y, uint32_t& colour)> shows;
};

// The frame pixel that the window's pixel (x, y) shows when the frame is stretched to w x h.
bool source(int x, int y, int w, int h, const FrameImage& frame, int& frameX, int& frameY) {
    frameX = frameY = 0;
    if (x >= w || y >= h)
        return false;
    frameX = static_cast<int>(static_cast<int64_t>(x) * frame.width / w);
    frameY = static_cast<int>(static_cast<int64_t>(y) * frame.height / h);
    return true;
}

// The frame as GDI stretches it to w x h at the top left of a W x H picture, in the mode.
std::vector<uint32_t> stretched(const FrameImage& frame, int W, int H, int w, int h, int mode) {
    std::vector<uint32_t> colours(static_cast<size_t>(frame.width) * frame.height);
    for (int y = 0; y < frame.height; ++y)
        for (int x = 0; x < frame.width; ++x)
            colours[static_cast<size_t>(y) * frame.width + x] = frame.colour(x, y);
    BITMAPINFO source = {};
    source.bmiHeader = {sizeof(BITMAPINFOHEADER), frame.width, -frame.height, 1, 32, BI_RGB, 0, 0, 0, 0, 0};
    BITMAPINFO target = source;
    target.bmiHeader.biWidth = W;
    target.bmiHeader.biHeight = -H;
    HDC dc = CreateCompatibleDC(nullptr);
    void* bits = nullptr;
    HBITMAP bitmap = CreateDIBSection(dc, &target, DIB_RGB_COLORS, &bits, nullptr, 0);
    std::vector<uint32_t> picture(static_cast<size_t>(W) * H, NOT_DRAWN);
    if (bitmap) {
        HGDIOBJ previous = SelectObject(dc, bitmap);
        std::copy(picture.begin(), picture.end(), static_cast<uint32_t*>(bits));
        SetStretchBltMode(dc, mode);
        StretchDIBits(dc, 0, 0, w, h, 0, 0, frame.width, frame.height, colours.data(), &source,
                      DIB_RGB_COLORS, SRCCOPY);
        GdiFlush();
        for (size_t i = 0; i < picture.size(); ++i)
            picture[i] = static_cast<const uint32_t*>(bits)[i] & 0xFFFFFF;
        SelectObject(dc, previous);
        DeleteObject(bitmap);
    }
    DeleteDC(dc);
    return picture;
}

std::vector<PictureFault> picture_faults(const Shown& shown, const FrameImage& frame, const DrawnBy& drawn) {
    const int W = shown.width, H = shown.height;
    // The frame seen through a change of its pixel positions; false where the change leaves it.
    const auto moved = [&frame, W, H](std::function<bool(int& fx, int& fy)> move) {
        return [&frame, W, H, move](int x, int y, uint32_t& colour) {
            int fx, fy;
            source(x, y, W, H, frame, fx, fy);
            if (!move(fx, fy) || fx < 0 || fy < 0 || fx >= frame.width || fy >= frame.height)
                return false;
            return colour = frame.colour(fx, fy), true;
        };
    };
    std::vector<PictureFault> faults;
    for (const ColourFault& fault : COLOUR_FAULTS)
        faults.push_back({fault.name, [&, fault](int x, int y, uint32_t& colour) {
                              int fx, fy;
                              source(x, y, W, H, frame, fx, fy);
                              return colour = fault.shows(frame.colour(fx, fy)), true;
                          }});
    faults.push_back({"upside down", moved([&](int&, int& fy) { return fy = frame.height - 1 - fy, true; })});
    faults.push_back(
        {"mirrored left to right", moved([&](int& fx, int&) { return fx = frame.width - 1 - fx, true; })});
    const auto count = [](int n, const char* one, const char* more, const char* forward, const char* back) {
        const int size = n < 0 ? -n : n;
        return std::to_string(size) + " " + (size == 1 ? one : more) + " " + (n < 0 ? back : forward);
    };
    for (int rows = -4; rows <= 4; ++rows)
        for (int columns = -4; columns <= 4; ++columns)
            if (rows || columns)
                faults.push_back(
                    {"moved " + (rows ? count(rows, "row", "rows", "down", "up") : "") +
                         (rows && columns ? " and " : "") +
                         (columns ? count(columns, "column", "columns", "right", "left") : ""),
                     moved([rows, columns](int& fx, int& fy) { return fx -= columns, fy -= rows, true; })});
    // A palette kept at the wrong numbers: VideoSetPalette(n, ...) stored as colour n + off.
    for (int off : {-2, -1, 1, 2})
        faults.push_back(
            {"every colour shown at the wrong number: pixel value N shows the colour set for N " +
                 std::string(off > 0 ? "- " : "+ ") + std::to_string(off > 0 ? off : -off),
             [&, off](int x, int y, uint32_t& colour) {
                 int fx, fy;
                 source(x, y, W, H, frame, fx, fy);
                 const int number = fx < 256 ? frame.buffer[fy * 256 + fx] % 64 - off : -1;
                 if (number < 0 || number > 63)
                     return false;
                 return colour = frame.palette[number], true;
             }});
    for (int pitch : {128, 255, 257, 320, 512, 1024})
        faults.push_back(
            {"its rows read " + std::to_string(pitch) + " bytes apart in the frame buffer, not 256",
             [&, pitch](int x, int y, uint32_t& colour) {
                 int fx, fy;
                 source(x, y, W, H, frame, fx, fy);
                 const int64_t at = static_cast<int64_t>(fy) * pitch + fx;
                 if (fx >= 256 ||
                     at >= static_cast<int64_t>(frame.height - 1) * 256 + std::min(frame.width, 256))
                     return false;
                 return colour = frame.palette[frame.buffer[at] % 64], true;
             }});
    const auto black_unless = [&](std::function<bool(int fy)> drawnRow) {
        return [&frame, W, H, drawnRow](int x, int y, uint32_t& colour) {
            int fx, fy;
            source(x, y, W, H, frame, fx, fy);
            return colour = drawnRow(fy) ? frame.colour(fx, fy) : 0, true;
        };
    };
    faults.push_back({"only every second row of the frame drawn, the others black",
                      black_unless([](int fy) { return fy % 2 == 0; })});
    faults.push_back(
        {"only the frame's first row drawn, the rest black", black_unless([](int fy) { return fy == 0; })});
    faults.push_back(
        {"every row shows the frame's first row", moved([](int&, int& fy) { return fy = 0, true; })});
    // Stretched larger than the window's inside, so that its right and bottom edges are cut off:
    // a little, or to the size the case names. GDI itself shows what it draws then.
    std::vector<std::pair<int, int>> sizes;
    if (drawn.otherWidth)
        sizes.push_back({drawn.otherWidth, drawn.otherHeight});
    for (int more = 1; more <= 3; ++more)
        sizes.insert(sizes.end(), {{W + more, H}, {W, H + more}, {W + more, H + more}});
    for (const auto& [w, h] : sizes) {
        std::string name = "not stretched over the inside of the window (" + std::to_string(W) + " x " +
                           std::to_string(H) + ") but to " + std::to_string(w) + " x " + std::to_string(h);
        if (w == drawn.otherWidth && h == drawn.otherHeight)
            name += ", " + drawn.otherSize;
        name += ", so that its right or bottom edge is cut off";
        auto picture = std::make_shared<std::vector<uint32_t>>(stretched(frame, W, H, w, h, COLORONCOLOR));
        faults.push_back({name, [picture, W](int x, int y, uint32_t& colour) {
                              return colour = (*picture)[static_cast<size_t>(y) * W + x], true;
                          }});
    }
    return faults;
}

// What the pixels the plugin left as the check painted them say: nothing drawn, or only a part of
// the window drawn, from its top left corner. Empty where the plugin drew all of it.
std::string not_drawn(const Shown& shown, const FrameImage& frame, const DrawnBy& drawn) {
    int right = 0, bottom = 0, drawnPixels = 0;
    for (int y = 0; y < shown.height; ++y)
        for (int x = 0; x < shown.width; ++x)
            if (shown.at(x, y) != NOT_DRAWN) {
                ++drawnPixels;
                right = std::max(right, x + 1);
                bottom = std::max(bottom, y + 1);
            }
    if (drawnPixels == shown.width * shown.height)
        return "";
    const std::string reported =
        drawn.result ? " (VideoBlit reported " + std::to_string(drawn.result) + " lines drawn)" : "";
    if (!drawnPixels)
        return "nothing drawn: VideoBlit changed no pixel of the window" + reported;
    if (drawnPixels == right * bottom) // a rectangle at the top left
        return "not stretched over the whole inside of the window (" + std::to_string(shown.width) + " x " +
               std::to_string(shown.height) + "): it drew only " + std::to_string(right) + " x " +
               std::to_string(bottom) + " of it" +
               (right == frame.width && bottom == frame.height ? ", at the frame's own size" : "");
    return std::to_string(shown.width * shown.height - drawnPixels) + " pixels of the window not drawn" +
           reported;
}

// The window shows one colour only, drawn by the plugin.
std::string one_colour(const Shown& shown, const DrawnBy& drawn) {
    if (shown.pixels.empty() || !std::all_of(shown.pixels.begin(), shown.pixels.end(),
                                             [&](uint32_t pixel) { return pixel == shown.pixels[0]; }))
        return "";
    return "the window shows one colour only, " + hex(shown.pixels[0]) + ", though VideoBlit reported " +
           std::to_string(drawn.result) + " lines drawn";
}

std::string first_wrong(const Shown& shown, int wrong, size_t first, uint32_t wanted) {
    return std::to_string(wrong) + " of " + std::to_string(shown.pixels.size()) +
           " pixels wrong, the first at (" + std::to_string(first % shown.width) + ", " +
           std::to_string(first / shown.width) + "): " + hex(shown.pixels[first]) +
           " where the picture has " + hex(wanted);
}

} // namespace

bool shows_frame(const Shown& shown, const FrameImage& frame) {
    const int W = shown.width, H = shown.height;
    for (int y = 0; y < H; ++y)
        for (int x = 0; x < W; ++x) {
            int fx, fy;
            source(x, y, W, H, frame, fx, fy);
            if (!close_enough(shown.at(x, y), frame.colour(fx, fy)))
                return false;
        }
    return W > 0 && H > 0;
}

std::string compare_picture(const Shown& shown, const FrameImage& frame, const DrawnBy& drawn) {
    const int W = shown.width, H = shown.height;
    if (W <= 0 || H <= 0)
        return "the window has no inside";
    std::vector<uint32_t> wanted(shown.pixels.size());
    int wrong = 0;
    size_t first = 0;
    for (int y = 0; y < H; ++y)
        for (int x = 0; x < W; ++x) {
            int fx, fy;
            source(x, y, W, H, frame, fx, fy);
            const size_t i = static_cast<size_t>(y) * W + x;
            wanted[i] = frame.colour(fx, fy);
            if (!close_enough(shown.pixels[i], wanted[i]) && wrong++ == 0)
                first = i;
        }
    if (!wrong)
        return "";
    if (const std::string part = not_drawn(shown, frame, drawn); !part.empty())
        return std::to_string(wrong) + " of " + std::to_string(shown.pixels.size()) +
               " pixels wrong: " + part;
    if (const std::string one = one_colour(shown, drawn); !one.empty())
        return one;
    // The fault that accounts for the most wrong pixels, where it accounts for nearly all of those
    // it speaks of and agrees with nearly all the pixels it speaks of, over a tenth of the window.
    // Where another fits about as well (a ramp of pixel values moved one column shows what colours
    // kept one number off show), both are named.
    std::string best, rival;
    int bestExplained = 0, rivalExplained = 0;
    for (const PictureFault& fault : picture_faults(shown, frame, drawn)) {
        // A fault that disagrees with more than a twentieth of the window cannot fit: given up on
        // as soon as it does.
        int spoken = 0, agreeing = 0, wrongSpoken = 0, explained = 0;
        for (int y = 0; y < H && spoken - agreeing <= W * H / 20; ++y)
            for (int x = 0; x < W; ++x) {
                uint32_t colour;
                if (!fault.shows(x, y, colour))
                    continue;
                const size_t i = static_cast<size_t>(y) * W + x;
                const bool agrees = close_enough(shown.pixels[i], colour);
                const bool isWrong = !close_enough(shown.pixels[i], wanted[i]);
                ++spoken;
                agreeing += agrees;
                wrongSpoken += isWrong;
                explained += agrees && isWrong;
            }
        if (spoken * 10 < W * H || agreeing * 20 < spoken * 19 || explained * 20 < wrongSpoken * 19)
            continue;
        if (explained > bestExplained) {
            rival = bestExplained * 20 >= explained * 19 ? best : "";
            rivalExplained = rival.empty() ? 0 : bestExplained;
            best = fault.name;
            bestExplained = explained;
        } else if (explained * 20 >= bestExplained * 19 && explained > rivalExplained) {
            rival = fault.name;
            rivalExplained = explained;
        }
    }
    if (!best.empty())
        return std::to_string(wrong) + " of " + std::to_string(shown.pixels.size()) +
               " pixels wrong: " + (rival.empty() ? best : "either " + best + ", or " + rival);
    return first_wrong(shown, wrong, first, wanted[first]);
}

std::string compare_colours_only(const Shown& shown, const FrameImage& frame,
                                 const std::vector<uint32_t>& colours, const DrawnBy& drawn) {
    const auto among = [](uint32_t pixel, const std::vector<uint32_t>& set) {
        return std::any_of(set.begin(), set.end(),
                           [&](uint32_t colour) { return close_enough(pixel, colour); });
    };
    const auto others = std::count_if(shown.pixels.begin(), shown.pixels.end(),
                                      [&](uint32_t pixel) { return !among(pixel, colours); });
    if (!others)
        return "";
    const std::string count = std::to_string(others) + " of " + std::to_string(shown.pixels.size()) +
                              " pixels are none of the picture's colours";
    if (const std::string part = not_drawn(shown, frame, drawn); !part.empty())
        return count + ": " + part;
    if (const std::string one = one_colour(shown, drawn); !one.empty())
        return count + ": " + one;
    for (const ColourFault& fault : COLOUR_FAULTS) {
        std::vector<uint32_t> faulty;
        for (uint32_t colour : colours)
            faulty.push_back(fault.shows(colour));
        if (std::all_of(shown.pixels.begin(), shown.pixels.end(),
                        [&](uint32_t pixel) { return among(pixel, faulty); }))
            return count + ": " + fault.name;
    }
    // A stretching mode that combines pixels where it shrinks: GDI itself shows what it gives.
    static const struct {
        int mode;
        const char* says;
    } MODES[] = {
        {BLACKONWHITE,
         "the picture is shrunk in the stretching mode BLACKONWHITE, a window's default, which combines "
         "neighbouring pixels with AND: the plugin must replace it with COLORONCOLOR"},
        {WHITEONBLACK,
         "the picture is shrunk in the stretching mode WHITEONBLACK, which combines neighbouring pixels "
         "with OR: the plugin must replace it with COLORONCOLOR"},
        {HALFTONE,
         "the picture is blended where it is shrunk, as the stretching mode HALFTONE does: the plugin must "
         "show whole pixels of the frame (COLORONCOLOR)"},
    };
    for (const auto& mode : MODES) {
        const std::vector<uint32_t> gdi =
            stretched(frame, shown.width, shown.height, shown.width, shown.height, mode.mode);
        size_t same = 0;
        for (size_t i = 0; i < gdi.size(); ++i)
            same += close_enough(shown.pixels[i], gdi[i]);
        if (same * 100 >= gdi.size() * 99)
            return count + ": " + mode.says;
    }
    size_t first = 0;
    while (among(shown.pixels[first], colours))
        ++first;
    return count + ", the first at (" + std::to_string(first % shown.width) + ", " +
           std::to_string(first / shown.width) + "): " + hex(shown.pixels[first]);
}
