#include "check_cases.h"

#include <algorithm>
#include <climits>
#include <cstring>
#include <functional>
#include <vector>

#include "check_faults.h"
#include "check_instruments.h"
#include "host_window.h"
#include "test_card.h"

namespace {

Outcome holds(const std::string& figure) { return {Outcome::HOLDS, figure}; }
Outcome failed(const std::string& figure) { return {Outcome::FAILED, figure}; }

bool comparable = true; // a palette screen cannot show the frame's colours

std::string result_text(const char* call, int32_t result, int32_t promised) {
    return result == promised ? ""
                              : std::string(call) + " gave " + std::to_string(result) + ", not " +
                                    std::to_string(promised) + "; ";
}

// "1 device context", "2 device contexts".
std::string count(size_t n, const std::string& thing) {
    return std::to_string(n) + " " + thing + (n == 1 ? "" : "s");
}

Outcome from_wrong(const std::string& wrong, const std::string& figure) {
    return wrong.empty() ? holds(figure) : failed(wrong.substr(0, wrong.size() - 2));
}

// The plugin under check, and what the cases do with it alike.
struct Check {
    const PluginApi& plugin;

    void set_palette(const Palette& palette, bool apply = true) {
        for (int32_t n = 0; n < 64; ++n)
            plugin.setPalette(n, palette.colours[n] >> 16, palette.colours[n] >> 8 & 0xFF,
                              palette.colours[n] & 0xFF);
        if (apply)
            plugin.applyPalette();
    }

    DrawnBy drawn_by(int32_t result) {
        DrawnBy drawn;
        drawn.result = result;
        return drawn;
    }

    // Opens the display on the window, draws the frame, then, after `between` (a resize, say),
    // draws it again; compares what the window shows and closes the display.
    Outcome drawn(
        const CheckWindow& window, const Frame& frame, const std::function<void()>& between = [] {},
        const Palette& palette = card_palette()) {
        watched = Watched();
        plugin.init(frame.width(), frame.height(), window.handle(), 0, frame.data());
        set_palette(palette);
        plugin.blit();
        between();
        window.clear();
        const int32_t result = plugin.blit();
        const std::string wrong = compare_picture(window.read(), image(frame, palette), drawn_by(result));
        plugin.shutdown();
        if (!wrong.empty())
            return failed(wrong);
        if (result <= 0)
            return failed("the picture is whole, but VideoBlit gave " + std::to_string(result) +
                          ", not the " + std::to_string(frame.height()) + " lines drawn");
        return holds(std::to_string(window.read().pixels.size()) + " pixels as they should be");
    }
};

Outcome results(Check& c) {
    Frame frame(card::WIDTH, card::HEIGHT);
    frame.draw(draw_card);
    std::string wrong;
    wrong += result_text("VideoBlit before VideoInit", c.plugin.blit(), 0);
    wrong += result_text("VideoShutdown before VideoInit", c.plugin.shutdown(), 0);
    wrong += result_text("VideoApplyPalette", c.plugin.applyPalette(), 1);
    wrong += result_text("VideoCfg", c.plugin.cfg(), 0);
    wrong += result_text("VideoFullscreen", c.plugin.fullscreen(), 0);
    wrong += result_text("VideoSetPalette(64, 1, 2, 3)", c.plugin.setPalette(64, 1, 2, 3), 0x010203);
    wrong += result_text("VideoSetPalette(5, 0x1FF, 0x100, 0x80)", c.plugin.setPalette(5, 0x1FF, 0x100, 0x80),
                         0xFF0080);
    CheckWindow window(card::WIDTH, card::HEIGHT);
    wrong += result_text("VideoInit",
                         c.plugin.init(card::WIDTH, card::HEIGHT, window.handle(), 0, frame.data()), 1);
    wrong += result_text("VideoInit on an open display",
                         c.plugin.init(card::WIDTH, card::HEIGHT, window.handle(), 0, frame.data()), 1);
    c.set_palette(card_palette());
    wrong += result_text("VideoBlit", c.plugin.blit(), card::HEIGHT);
    wrong += result_text("VideoShutdown", c.plugin.shutdown(), 1);
    wrong += result_text("a second VideoShutdown", c.plugin.shutdown(), 0);
    wrong += result_text("VideoBlit after VideoShutdown", c.plugin.blit(), 0);
    return from_wrong(wrong, "all 13 as the manual gives them");
}

Outcome card_at(Check& c, int scale) {
    const int width = card::WIDTH * scale, height = card::HEIGHT * scale;
    std::string error;
    if (!window_fits_screen(width, height, error))
        return {Outcome::SKIPPED,
                "the screen is smaller than " + std::to_string(width) + " x " + std::to_string(height)};
    Frame frame(card::WIDTH, card::HEIGHT);
    frame.draw(draw_card);
    CheckWindow window(width, height);
    return c.drawn(window, frame);
}

// Every value 0 to 255 in a frame, each at its own column of the first row.
void draw_values(uint8_t* buffer) {
    for (int y = 0; y < card::HEIGHT; ++y)
        for (int x = 0; x < card::WIDTH; ++x)
            buffer[y * 256 + x] = static_cast<uint8_t>(x + y * 7);
}

// Every value 0 to 255 in the frame: each shows the colour of its low six bits.
Outcome pixel_values(Check& c) {
    Frame frame(card::WIDTH, card::HEIGHT);
    frame.draw(draw_values);
    CheckWindow window(card::WIDTH, card::HEIGHT);
    watched = Watched();
    const Palette palette = card_palette();
    c.plugin.init(card::WIDTH, card::HEIGHT, window.handle(), 0, frame.data());
    c.set_palette(palette);
    window.clear();
    const int32_t result = c.plugin.blit();
    const Shown shown = window.read();
    c.plugin.shutdown();
    const FrameImage wanted = image(frame, palette);
    // Each value wherever it is: wrong for values of 64 and more alone, as the fault that shows.
    bool wrong[256] = {};
    for (int y = 0;
         y < card::HEIGHT && shown.pixels.size() == static_cast<size_t>(card::WIDTH * card::HEIGHT); ++y)
        for (int x = 0; x < card::WIDTH; ++x)
            if (!close_enough(shown.at(x, y), wanted.colour(x, y)))
                wrong[frame.data()[y * 256 + x]] = true;
    std::string wrongValues;
    int wrongHigh = 0, wrongLow = 0;
    for (int value = 0; value < 256; ++value) {
        if (!wrong[value])
            continue;
        (value < 64 ? wrongLow : wrongHigh)++;
        const int x = value; // in the first row, at its own column
        if (value >= 64 && wrongValues.size() < 80)
            wrongValues += (wrongValues.empty() ? "" : ", ") + std::to_string(value) + " shows " +
                           hex(shown.at(x, 0)) + " (colour " + std::to_string(value % 64) + " is " +
                           hex(palette.colours[value % 64]) + ")";
    }
    if (wrongHigh && !wrongLow)
        return failed(std::to_string(wrongHigh) +
                      " of the pixel values 64 to 255 do not show the colour of their "
                      "low six bits, as the values 0 to 63 do: " +
                      wrongValues);
    if (const std::string wrong = compare_picture(shown, wanted, c.drawn_by(result)); !wrong.empty())
        return failed(wrong);
    return holds("all 256 values as the colours of their low six bits");
}

// Colours set before VideoInit are gone, and those not set since are black.
Outcome palette_cleared(Check& c) {
    Frame frame(card::WIDTH, card::HEIGHT);
    frame.draw(draw_card);
    CheckWindow window(card::WIDTH, card::HEIGHT);
    const Palette colours = card_palette();
    Palette white, half[2];
    for (int n = 0; n < 64; ++n) {
        white.colours[n] = 0xFFFFFF;
        half[0].colours[n] = n % 2 == 0 ? colours.colours[n] : 0;
        half[1].colours[n] = n % 2 == 1 ? colours.colours[n] : 0;
    }
    for (int round = 0; round < 2; ++round) {
        watched = Watched();
        // Before the first display, white; before the second, the first's colours.
        const Palette& before = round == 0 ? white : colours;
        if (round == 0)
            c.set_palette(white);
        c.plugin.init(card::WIDTH, card::HEIGHT, window.handle(), 0, frame.data());
        for (int n = round; n < 64; n += 2)
            c.plugin.setPalette(n, colours.colours[n] >> 16, colours.colours[n] >> 8 & 0xFF,
                                colours.colours[n] & 0xFF);
        c.plugin.applyPalette();
        window.clear();
        const int32_t result = c.plugin.blit();
        const Shown shown = window.read();
        if (round == 0) // the colours of this display stay set for the next round
            c.set_palette(colours);
        c.plugin.shutdown();
        const std::string wrong = compare_picture(shown, image(frame, half[round]), c.drawn_by(result));
        if (wrong.empty())
            continue;
        Palette stale = half[round];
        for (int n = 1 - round; n < 64; n += 2)
            stale.colours[n] = before.colours[n];
        if (shows_frame(shown, image(frame, stale)))
            return failed(round == 0
                              ? "colours set before VideoInit still show: VideoInit must make all 64 black"
                              : "colours of the display before still show: VideoInit must make all 64 black");
        return failed(wrong);
    }
    return holds("colours set before VideoInit gone, and those not set since black, twice");
}

// VideoSetPalette with an index outside 0 to 63 stores nothing: every pixel value, 0 to 255, still
// shows the colour of its low six bits.
Outcome outside_indexes(Check& c) {
    Frame frame(card::WIDTH, card::HEIGHT);
    frame.draw(draw_values);
    CheckWindow window(card::WIDTH, card::HEIGHT);
    watched = Watched();
    std::vector<int32_t> indexes = {-1, -64, 256, 1000, INT_MIN, INT_MAX};
    for (int32_t n = 64; n < 256; ++n)
        indexes.push_back(n);
    const auto colour_of = [](size_t k) {
        return static_cast<uint32_t>(0x010000 * (k % 200 + 20) + 0x5A00 + k % 256);
    };
    const Palette palette = card_palette();
    c.plugin.init(card::WIDTH, card::HEIGHT, window.handle(), 0, frame.data());
    c.set_palette(palette);
    for (size_t k = 0; k < indexes.size(); ++k)
        c.plugin.setPalette(indexes[k], colour_of(k) >> 16, colour_of(k) >> 8 & 0xFF, colour_of(k) & 0xFF);
    c.plugin.applyPalette();
    window.clear();
    const int32_t result = c.plugin.blit();
    const Shown shown = window.read();
    c.plugin.shutdown();
    const std::string wrong = compare_picture(shown, image(frame, palette), c.drawn_by(result));
    if (wrong.empty())
        return holds("none of " + std::to_string(indexes.size()) + " calls with indexes from " +
                     std::to_string(INT_MIN) + " to " + std::to_string(INT_MAX) +
                     " changed what a pixel value shows");
    for (int x = 0; x < 256 && shown.pixels.size() == static_cast<size_t>(card::WIDTH * card::HEIGHT); ++x) {
        const int value = frame.data()[x]; // the first row holds every value at its own column
        for (size_t k = 0; k < indexes.size(); ++k) {
            if (shown.at(x, 0) != colour_of(k))
                continue;
            const std::string call =
                "VideoSetPalette(" + std::to_string(indexes[k]) + ", ...), outside 0 to 63, ";
            if (indexes[k] == value)
                return failed(call + "changed what pixel value " + std::to_string(value) +
                              " shows, which must be colour " + std::to_string(value % 64) +
                              ", that of its low six bits: an index outside 0 to 63 must store nothing");
            return failed(call + "changed colour " + std::to_string(value % 64) +
                          ": an index outside 0 to 63 must store nothing");
        }
    }
    return failed(wrong);
}

// Colour components outside 0 to 255 (as a program that computes them may pass): each keeps its
// low eight bits, in the colour drawn as in the result.
Outcome wide_components(Check& c) {
    Frame frame(card::WIDTH, card::HEIGHT);
    frame.draw(draw_card);
    CheckWindow window(card::WIDTH, card::HEIGHT);
    watched = Watched();
    const Palette palette = card_palette();
    c.plugin.init(card::WIDTH, card::HEIGHT, window.handle(), 0, frame.data());
    std::string results;
    for (int32_t n = 0; n < 64; ++n) {
        const uint32_t colour = palette.colours[n];
        const int32_t red = static_cast<int32_t>(colour >> 16) + 0x100 * (n + 1);
        const int32_t green = static_cast<int32_t>(colour >> 8 & 0xFF) - 0x100 * (n % 5 + 1);
        const int32_t blue = static_cast<int32_t>(colour & 0xFF) | (n % 2 ? INT_MIN : 0x7FFFFF00);
        const int32_t result = c.plugin.setPalette(n, red, green, blue);
        if (static_cast<uint32_t>(result) != colour && results.empty())
            results = "VideoSetPalette(" + std::to_string(n) + ", " + std::to_string(red) + ", " +
                      std::to_string(green) + ", " + std::to_string(blue) + ") gave " +
                      hex(static_cast<uint32_t>(result)) + ", not " + hex(colour) + "; ";
    }
    c.plugin.applyPalette();
    window.clear();
    const int32_t result = c.plugin.blit();
    const Shown shown = window.read();
    c.plugin.shutdown();
    const std::string wrong = compare_picture(shown, image(frame, palette), c.drawn_by(result));
    if (wrong.empty() && results.empty())
        return holds("64 colours with components from " + std::to_string(INT_MIN) + " to " +
                     std::to_string(INT_MAX) + ", each as its low eight bits");
    return failed(results +
                  (wrong.empty() ? "" : "colours set with components outside 0 to 255 show wrong: " + wrong) +
                  (wrong.empty() ? "" : "; each component must keep only its low eight bits"));
}

// A colour set between two frames shows at the second, with or without VideoApplyPalette.
Outcome between_frames(Check& c) {
    Frame frame(card::WIDTH, card::HEIGHT);
    frame.draw(draw_card);
    CheckWindow window(card::WIDTH, card::HEIGHT);
    watched = Watched();
    Palette palettes[3] = {card_palette(), {}, {}};
    for (int n = 0; n < 64; ++n) {
        const uint32_t c = palettes[0].colours[n];
        palettes[1].colours[n] = ~c & 0xFFFFFF;
        palettes[2].colours[n] = (c & 0xFFFF) << 8 | c >> 16;
    }
    c.plugin.init(card::WIDTH, card::HEIGHT, window.handle(), 0, frame.data());
    c.set_palette(palettes[0]);
    c.plugin.blit();
    c.set_palette(palettes[1], false);
    window.clear();
    const int32_t result = c.plugin.blit();
    const Shown without = window.read();
    c.set_palette(palettes[2], true);
    window.clear();
    c.plugin.blit();
    const Shown with = window.read();
    c.plugin.shutdown();
    const auto shows = [&](const Shown& shown, int palette) {
        return shows_frame(shown, image(frame, palettes[palette]));
    };
    if (shows(without, 1) && shows(with, 2))
        return holds("both at the next VideoBlit");
    if (shows(without, 0) && shows(with, 2))
        return failed("colours set between frames showed only after VideoApplyPalette: without it, the next "
                      "VideoBlit still showed the colours before; a colour must show at the next VideoBlit "
                      "whether or not VideoApplyPalette was called");
    if (shows(without, 0) && shows(with, 1))
        return failed(
            "colours set between frames showed one VideoBlit late: each VideoBlit showed the colours "
            "set before the frame before it");
    const std::string wrong = compare_picture(without, image(frame, palettes[1]), c.drawn_by(result));
    return failed(wrong.empty() ? "after VideoApplyPalette: " +
                                      compare_picture(with, image(frame, palettes[2]), c.drawn_by(result))
                                : "without VideoApplyPalette: " + wrong);
}

// Each VideoBlit shows the frame the program drew just before it: none late, none skipped, even
// though every frame's first row is the same.
Outcome every_frame(Check& c) {
    Frame frame(card::WIDTH, card::HEIGHT);
    CheckWindow window(card::WIDTH, card::HEIGHT);
    watched = Watched();
    const Palette palette = card_palette();
    constexpr int FRAMES = 6;
    std::vector<std::vector<uint8_t>> frames(FRAMES);
    std::vector<Shown> shown(FRAMES);
    c.plugin.init(card::WIDTH, card::HEIGHT, window.handle(), 0, frame.data());
    c.set_palette(palette);
    int32_t result = 0;
    for (int k = 0; k < FRAMES; ++k) {
        frame.draw([&](uint8_t* buffer) {
            card::draw(buffer);
            card::draw_moving(buffer, k * 17);
            for (int y = 1; y < 12; ++y) // a band of the frame's own colour
                std::memset(buffer + y * 256, 16 + k * 5, card::WIDTH);
            std::memset(buffer, 7, card::WIDTH);
            frames[k].assign(buffer, buffer + card::HEIGHT * 256);
        });
        window.clear();
        result = c.plugin.blit();
        shown[k] = window.read();
    }
    c.plugin.shutdown();
    const auto wanted = [&](int drawnFrame) {
        FrameImage image{card::WIDTH, card::HEIGHT, frames[drawnFrame].data(), {}};
        std::memcpy(image.palette, palette.colours, sizeof(image.palette));
        return image;
    };
    const auto shows = [&](int k, int drawnFrame) { return shows_frame(shown[k], wanted(drawnFrame)); };
    int late = 0, right = 0, first = 0;
    for (int k = 1; k < FRAMES; ++k) {
        right += shows(k, k);
        late += shows(k, k - 1);
        first += shows(k, 0);
    }
    if (right == FRAMES - 1 && shows(0, 0))
        return holds(std::to_string(FRAMES) + " frames, each at its own VideoBlit");
    if (first == FRAMES - 1 && shows(0, 0))
        return failed("every VideoBlit showed the first frame again: frames whose first row is the same "
                      "as the frame before's were not shown, though their other rows changed");
    if (late == FRAMES - 1)
        return failed(
            "each VideoBlit showed the frame before the one just drawn: the picture is one frame late");
    if (late && late + right == FRAMES - 1)
        return failed(std::to_string(late) + " of " + std::to_string(FRAMES - 1) +
                      " VideoBlit calls showed the frame before the one just drawn: frames are skipped");
    int k = 0;
    while (k + 1 < FRAMES && shows(k, k))
        ++k;
    return failed("frame " + std::to_string(k + 1) + ": " +
                  compare_picture(shown[k], wanted(k), c.drawn_by(result)));
}

// Other frame sizes, narrow and odd widths among them, in buffers of exactly the bytes the
// frame reads: the bytes of each row beyond its width hold a colour of their own.
Outcome other_sizes(Check& c) {
    const int sizes[][2] = {{160, 100}, {37, 19}, {255, 3}, {1, 1}, {256, 1}};
    std::string said;
    for (const auto& size : sizes) {
        const int w = size[0], h = size[1];
        Frame frame(w, h);
        frame.draw([&](uint8_t* buffer) {
            for (int y = 0; y < h; ++y)
                for (int x = 0; x < 256 && static_cast<size_t>(y) * 256 + x < (h - 1) * 256u + w; ++x)
                    buffer[y * 256 + x] = x < w ? static_cast<uint8_t>(1 + (x * 3 + y * 5) % 62) : 63;
        });
        CheckWindow window(w * 2, h * 2);
        Palette palette = card_palette();
        const uint32_t beyond = palette.colours[63] = 0x00FE01FD; // a colour of these bytes alone
        const Outcome outcome = c.drawn(
            window, frame, [] {}, palette);
        const std::string name = std::to_string(w) + " x " + std::to_string(h);
        if (outcome.kind != Outcome::HOLDS) {
            const Shown shown = window.read();
            if (std::count(shown.pixels.begin(), shown.pixels.end(), beyond))
                return failed(name +
                              ": bytes of the frame buffer beyond the frame's width show: each row has " +
                              std::to_string(w) + " pixels, and the rest of its 256 bytes is not part of it");
            return failed(name + ": " + outcome.figure);
        }
        said += (said.empty() ? "" : ", ") + name;
    }
    return holds(said + ", each whole");
}

// Frames wider than the 256 bytes of a row, and taller than the 240 rows a plugin may have been
// written for, in buffers of exactly the bytes the frame reads: the first 256 columns of each row
// shown, black beyond, and every row.
Outcome large_sizes(Check& c) {
    const int sizes[][2] = {{300, 40}, {256, 480}};
    std::string said;
    for (const auto& size : sizes) {
        const int w = size[0], h = size[1];
        const std::string name = std::to_string(w) + " x " + std::to_string(h);
        std::string error;
        if (!window_fits_screen(w, h, error))
            return {Outcome::SKIPPED, "the screen is smaller than " + name};
        Frame frame(w, h);
        frame.draw([&](uint8_t* buffer) {
            for (int y = 0; y < h; ++y)
                for (int x = 0;
                     x < 256 && static_cast<size_t>(y) * 256 + x < (h - 1) * 256u + std::min(w, 256); ++x)
                    buffer[y * 256 + x] = static_cast<uint8_t>(1 + (x * 3 + y * 5) % 62);
        });
        CheckWindow window(w, h);
        const Outcome outcome = c.drawn(window, frame);
        if (outcome.kind != Outcome::HOLDS)
            return failed(name + ": " + outcome.figure);
        said += (said.empty() ? "" : ", ") + name;
    }
    return holds(said + ", each whole, black beyond the 256th column");
}

// A program that repaints from WM_PAINT through VideoBlit: once the window is painted, no more
// WM_PAINT comes, so the program's message loop can rest between frames.
Outcome repaint_rests(Check& c) {
    Frame frame(card::WIDTH, card::HEIGHT);
    frame.draw(draw_card);
    CheckWindow window(card::WIDTH, card::HEIGHT);
    watched = Watched();
    c.plugin.init(card::WIDTH, card::HEIGHT, window.handle(), 0, frame.data());
    c.set_palette(card_palette());
    int paints = 0;
    window.paint_with([&] {
        ++paints;
        c.plugin.blit();
    });
    InvalidateRect(window.handle(), nullptr, FALSE);
    // Pumped by hand for a while: a window that keeps asking to be painted never lets
    // pump_messages return.
    MSG message;
    for (const DWORD start = GetTickCount(); GetTickCount() - start < 500;) {
        if (!PeekMessageA(&message, nullptr, 0, 0, PM_REMOVE)) {
            Sleep(5);
            continue;
        }
        TranslateMessage(&message);
        DispatchMessageA(&message);
    }
    window.paint_with([] {});
    c.plugin.shutdown();
    if (paints > 3)
        return failed(
            std::to_string(paints) +
            " WM_PAINT messages in half a second after the window was made to paint once: VideoBlit "
            "from WM_PAINT makes the window paint again, so a program's message loop never rests");
    return holds(std::to_string(paints) + " WM_PAINT after the window was made to paint once, then none");
}

// A VideoInit on an open display closes it and opens the new one, as a program that changes its
// picture's size may do without a VideoShutdown between: another frame size, buffer and window.
// The new window shows the new frame, and the first is drawn no more.
Outcome reopened(Check& c) {
    Frame first(card::WIDTH, card::HEIGHT);
    first.draw(draw_card);
    CheckWindow old(card::WIDTH, card::HEIGHT);
    watched = Watched();
    c.plugin.init(card::WIDTH, card::HEIGHT, old.handle(), 0, first.data());
    c.set_palette(card_palette());
    c.plugin.blit();
    constexpr int W = 160, H = 100;
    Frame frame(W, H);
    frame.draw([&](uint8_t* buffer) {
        for (int y = 0; y < H; ++y)
            for (int x = 0; x < W; ++x)
                buffer[y * 256 + x] = static_cast<uint8_t>(1 + (x * 7 + y * 3) % 62);
    });
    CheckWindow window(W * 2, H * 2, 0, 0, card::WIDTH + 80);
    c.plugin.init(W, H, window.handle(), 0, frame.data());
    c.set_palette(card_palette());
    old.clear();
    window.clear();
    const int32_t result = c.plugin.blit();
    const std::string wrong =
        compare_picture(window.read(), image(frame, card_palette()), c.drawn_by(result));
    const Shown left = old.read();
    const auto drawnOver = std::count_if(left.pixels.begin(), left.pixels.end(),
                                         [](uint32_t pixel) { return pixel != NOT_DRAWN; });
    c.plugin.shutdown();
    if (drawnOver)
        return failed(std::to_string(drawnOver) +
                      " pixels of the first window drawn after VideoInit opened the display on the second" +
                      (wrong.empty() ? "" : "; in the second window: " + wrong));
    if (!wrong.empty())
        return failed("in the second window: " + wrong);
    if (!watched.held.empty() || !watched.kept.empty())
        return failed("after VideoShutdown, " + count(watched.held.size(), "device context") + " and " +
                      count(watched.kept.size(), "drawing object") +
                      " of the two displays were left behind (" + std::to_string(watched.taken) + " taken, " +
                      std::to_string(watched.givenBack) + " given back; " + std::to_string(watched.made) +
                      " made, " + std::to_string(watched.deleted) +
                      " deleted): a VideoInit on an open display must give back what the first took");
    return holds("the second window shows its 160 x 100 frame, the first is drawn no more, and nothing of "
                 "either is left behind");
}

// An ordinary window, with a title bar and a border: the whole of its inside filled, and
// nothing drawn outside it.
Outcome framed_window(Check& c) {
    Frame frame(card::WIDTH, card::HEIGHT);
    frame.draw(draw_card);
    CheckWindow window(card::WIDTH * 2, card::HEIGHT * 2, 0, 0, 40, 40, WS_OVERLAPPEDWINDOW);
    RECT outer;
    GetWindowRect(window.handle(), &outer);
    POINT origin = {0, 0};
    ClientToScreen(window.handle(), &origin);
    int width = 0, height = 0;
    const std::vector<uint32_t> before = read_window_pixels(window.handle(), width, height);
    watched = Watched();
    const Palette palette = card_palette();
    c.plugin.init(card::WIDTH, card::HEIGHT, window.handle(), 0, frame.data());
    c.set_palette(palette);
    c.plugin.blit();
    window.clear();
    const int32_t result = c.plugin.blit();
    const Shown shown = window.read();
    const std::vector<uint32_t> after = read_window_pixels(window.handle(), width, height);
    c.plugin.shutdown();
    DrawnBy other = c.drawn_by(result);
    other.otherWidth = width;
    other.otherHeight = height;
    other.otherSize = "the window's outer size, with its border and title bar";
    if (const std::string wrong = compare_picture(shown, image(frame, palette), other); !wrong.empty())
        return failed(wrong);
    const int left = origin.x - outer.left, top = origin.y - outer.top;
    int outside = 0;
    for (size_t i = 0; i < before.size() && i < after.size(); ++i) {
        const int x = static_cast<int>(i % width), y = static_cast<int>(i / width);
        const bool inside = x >= left && x < left + shown.width && y >= top && y < top + shown.height;
        outside += !inside && before[i] != after[i];
    }
    if (outside)
        return failed("the plugin drew outside the window's inside: " + std::to_string(outside) +
                      " pixels of its title bar or border changed");
    return holds(std::to_string(shown.pixels.size()) +
                 " pixels inside as they should be, and none outside changed");
}

Outcome smaller_window(Check& c) {
    Frame frame(card::WIDTH, card::HEIGHT);
    frame.draw([](uint8_t* buffer) {
        for (int y = 0; y < card::HEIGHT; ++y)
            for (int x = 0; x < card::WIDTH; ++x)
                buffer[y * 256 + x] = static_cast<uint8_t>(1 + (x + y) % 2);
    });
    CheckWindow window(200, 150);
    watched = Watched();
    c.plugin.init(card::WIDTH, card::HEIGHT, window.handle(), 0, frame.data());
    c.plugin.setPalette(1, 0xFF, 0, 0);
    c.plugin.setPalette(2, 0, 0xFF, 0);
    c.plugin.applyPalette();
    window.clear();
    const int32_t result = c.plugin.blit();
    const Shown shown = window.read();
    c.plugin.shutdown();
    if (shown.pixels.empty())
        return failed("the window has no inside");
    Palette palette = {};
    palette.colours[1] = 0xFF0000;
    palette.colours[2] = 0x00FF00;
    if (const std::string wrong =
            compare_colours_only(shown, image(frame, palette), {0xFF0000, 0x00FF00}, c.drawn_by(result));
        !wrong.empty())
        return failed(wrong);
    return holds("all " + std::to_string(shown.pixels.size()) +
                 " pixels of the picture's two colours, red and green");
}

Outcome resized_window(Check& c) {
    Frame frame(card::WIDTH, card::HEIGHT);
    frame.draw(draw_card);
    CheckWindow window(card::WIDTH, card::HEIGHT);
    return c.drawn(window, frame, [&] { resize_client(window.handle(), card::WIDTH * 2, card::HEIGHT * 2); });
}

Outcome minimised_and_restored(Check& c) {
    Frame frame(card::WIDTH, card::HEIGHT);
    frame.draw(draw_card);
    CheckWindow window(card::WIDTH, card::HEIGHT);
    return c.drawn(window, frame, [&] {
        ShowWindow(window.handle(), SW_MINIMIZE);
        pump_messages();
        c.plugin.blit(); // Windows may give 0 here, Wine the line count: nothing to see either way
        ShowWindow(window.handle(), SW_RESTORE);
        pump_messages();
    });
}

Outcome right_to_left(Check& c) {
    Frame frame(card::WIDTH, card::HEIGHT);
    frame.draw(draw_card);
    CheckWindow window(card::WIDTH, card::HEIGHT, WS_EX_LAYOUTRTL);
    return c.drawn(window, frame);
}

// Windows whose class gives each a device context of its own: the picture is whole, and the DC is
// as the program left it between frames and once the display closes; left to right, right to
// left, and with HALFTONE set by the program.
Outcome own_device_context(Check& c) {
    Frame frame(card::WIDTH, card::HEIGHT);
    frame.draw(draw_card);
    const struct {
        const char* name;
        DWORD extendedStyle;
        int mode; // set by the program; 0: the DC's default
    } windows[] = {
        {"left to right", 0, 0}, {"right to left", WS_EX_LAYOUTRTL, 0}, {"with HALFTONE", 0, HALFTONE}};
    for (const auto& kind : windows) {
        CheckWindow window(card::WIDTH, card::HEIGHT, kind.extendedStyle, CS_OWNDC);
        HDC dc = GetDC(window.handle());
        if (kind.mode)
            SetStretchBltMode(dc, kind.mode);
        const DCState program(dc);
        ReleaseDC(window.handle(), dc);
        std::string changedWhileOpen;
        const Outcome outcome =
            c.drawn(window, frame, [&] { changedWhileOpen = DCState(dc).changed_from(program); });
        if (outcome.kind != Outcome::HOLDS)
            return failed(std::string(kind.name) + ": " + outcome.figure);
        if (!changedWhileOpen.empty())
            return failed(std::string(kind.name) + ": between two frames the window's device context has " +
                          changedWhileOpen + "; the plugin may change it only while it draws");
        if (const std::string changes = DCState(dc).changed_from(program); !changes.empty())
            return failed(std::string(kind.name) + ": after VideoShutdown the window's device context has " +
                          changes);
    }
    return holds("the picture whole and the device context as the program left it, in 3 windows");
}

// A sibling of the class takes the one DC between frames: the frame still goes to the window.
Outcome class_device_context(Check& c) {
    Frame frame(card::WIDTH, card::HEIGHT);
    frame.draw(draw_card);
    CheckWindow window(card::WIDTH, card::HEIGHT, 0, CS_CLASSDC), sibling(64, 64, 0, CS_CLASSDC, 340, 40);
    Outcome outcome = c.drawn(window, frame, [&] {
        HDC dc = GetDC(sibling.handle());
        PatBlt(dc, 0, 0, 64, 64, WHITENESS);
        ReleaseDC(sibling.handle(), dc);
    });
    const Shown other = sibling.read();
    const auto drawnOver = std::count_if(other.pixels.begin(), other.pixels.end(),
                                         [](uint32_t pixel) { return !close_enough(pixel, 0xFFFFFF); });
    if (outcome.kind == Outcome::HOLDS && drawnOver)
        return failed(std::to_string(drawnOver) + " pixels of the other window of the class were drawn over");
    return outcome;
}

// A control of the program's over the picture, which paints itself in one colour.
constexpr uint32_t CONTROL = 0x00123456;

LRESULT CALLBACK control_procedure(HWND control, UINT message, WPARAM wParam, LPARAM lParam) {
    if (message != WM_PAINT)
        return DefWindowProcA(control, message, wParam, lParam);
    PAINTSTRUCT paint;
    HDC dc = BeginPaint(control, &paint);
    HBRUSH brush = CreateSolidBrush(RGB(CONTROL >> 16, CONTROL >> 8 & 0xFF, CONTROL & 0xFF));
    FillRect(dc, &paint.rcPaint, brush);
    DeleteObject(brush);
    EndPaint(control, &paint);
    return 0;
}

// A window with a control over the picture that asks for its children to be left alone
// (WS_CLIPCHILDREN) only after VideoInit, and one opened while minimised: the picture around the
// control, and the control as it painted itself.
Outcome controls_over_picture(Check& c) {
    Frame frame(card::WIDTH, card::HEIGHT);
    frame.draw(draw_card);
    const std::string controlClass = register_window_class("gdivideo check control", 0, control_procedure);
    const RECT place = {24, 24, 24 + 80, 24 + 40};
    const struct {
        const char* name;
        bool minimised;
    } ways[] = {{"WS_CLIPCHILDREN set after VideoInit", false}, {"VideoInit while minimised", true}};
    for (const auto& way : ways) {
        CheckWindow window(card::WIDTH, card::HEIGHT, 0, 0, 40, 40,
                           WS_POPUP | (way.minimised ? WS_CLIPCHILDREN : 0));
        CreateWindowExA(0, controlClass.c_str(), "", WS_CHILD | WS_VISIBLE, place.left, place.top,
                        place.right - place.left, place.bottom - place.top, window.handle(), nullptr,
                        GetModuleHandleA(nullptr), nullptr);
        if (way.minimised) {
            ShowWindow(window.handle(), SW_MINIMIZE);
            pump_messages();
        }
        c.plugin.init(card::WIDTH, card::HEIGHT, window.handle(), 0, frame.data());
        c.set_palette(card_palette());
        c.plugin.blit();
        if (way.minimised)
            ShowWindow(window.handle(), SW_RESTORE);
        else
            SetWindowLongA(window.handle(), GWL_STYLE,
                           GetWindowLongA(window.handle(), GWL_STYLE) | WS_CLIPCHILDREN);
        window.clear();
        RedrawWindow(window.handle(), nullptr, nullptr, RDW_INVALIDATE | RDW_UPDATENOW | RDW_ALLCHILDREN);
        pump_messages();
        const int32_t result = c.plugin.blit();
        Shown shown = window.read();
        c.plugin.shutdown();
        const FrameImage expected = image(frame, card_palette());
        int covered = 0;
        for (int y = place.top; y < place.bottom && y < shown.height; ++y)
            for (int x = place.left; x < place.right && x < shown.width; ++x) {
                uint32_t& pixel = shown.pixels[static_cast<size_t>(y) * shown.width + x];
                covered += !close_enough(pixel, CONTROL);
                pixel = expected.colour(x, y); // so that the rest compares as the picture
            }
        if (covered)
            return failed(std::string(way.name) + ": the picture was drawn over the program's control, " +
                          std::to_string(covered) + " of its pixels, as by a device context taken before");
        if (const std::string wrong = compare_picture(shown, expected, c.drawn_by(result)); !wrong.empty())
            return failed(std::string(way.name) + ": " + wrong);
    }
    return holds("the picture around the control and the control left whole, WS_CLIPCHILDREN set after "
                 "VideoInit and VideoInit while minimised");
}

Outcome destroyed_first(Check& c) {
    Frame frame(card::WIDTH, card::HEIGHT);
    frame.draw(draw_card);
    std::string wrong;
    {
        CheckWindow window(card::WIDTH, card::HEIGHT);
        c.plugin.init(card::WIDTH, card::HEIGHT, window.handle(), 0, frame.data());
        c.set_palette(card_palette());
        wrong += result_text("VideoBlit", c.plugin.blit(), card::HEIGHT);
        window.destroy();
        wrong += result_text("VideoBlit after DestroyWindow", c.plugin.blit(), 0);
        wrong += result_text("VideoShutdown after DestroyWindow", c.plugin.shutdown(), 0);
    }
    if (!wrong.empty() || !comparable)
        return from_wrong(wrong, "VideoBlit gave 240, then 0 once the window was gone, and VideoShutdown 0");
    CheckWindow next(card::WIDTH, card::HEIGHT);
    Outcome outcome = c.drawn(next, frame);
    if (outcome.kind == Outcome::HOLDS)
        outcome.figure = "VideoBlit gave 240, then 0 once the window was gone, and VideoShutdown 0; the next "
                         "window's picture whole";
    return outcome;
}

// A display of the card for `frames` frames, with what the plugin takes and makes counted from
// before VideoInit: `look(n)` sees the counts after VideoInit (n = 0) and after frame n.
void counted_frames(Check& c, int frames, const std::function<void(int n)>& look) {
    Frame frame(card::WIDTH, card::HEIGHT);
    frame.draw(draw_card);
    CheckWindow window(card::WIDTH, card::HEIGHT);
    watched = Watched();
    c.plugin.init(card::WIDTH, card::HEIGHT, window.handle(), 0, frame.data());
    look(0);
    c.set_palette(card_palette());
    for (int n = 1; n <= frames; ++n) {
        c.plugin.blit();
        pump_messages();
        look(n);
    }
    c.plugin.shutdown();
}

// Counted through the plugin's import table: the device contexts it takes are given back by
// VideoShutdown, and none is taken for a frame.
Outcome device_contexts(Check& c) {
    constexpr int FRAMES = 30;
    int atInit = 0, forFrames = 0, givenForFrames = 0;
    counted_frames(c, FRAMES, [&](int n) {
        if (n == 0)
            atInit = watched.taken;
        if (n == FRAMES)
            forFrames = watched.taken - atInit, givenForFrames = watched.givenBack;
    });
    const std::string counts =
        std::to_string(watched.taken) + " taken, " + std::to_string(watched.givenBack) + " given back";
    if (watched.taken == 0)
        return {Outcome::SKIPPED, "the plugin takes no device context through GetDC, GetDCEx or GetWindowDC, "
                                  "which the check counts"};
    if (forFrames >= FRAMES)
        return failed(std::string(givenForFrames >= FRAMES ? "a device context taken and given back"
                                                           : "a device context taken") +
                      " at every VideoBlit (" + counts + " over " + std::to_string(FRAMES) +
                      " frames): the plugin must take one at VideoInit and keep it until VideoShutdown");
    if (!watched.held.empty())
        return failed("VideoShutdown did not give back " + std::to_string(watched.held.size()) +
                      " of the device "
                      "contexts the plugin took (" +
                      counts + ")");
    if (forFrames)
        return failed(
            std::to_string(forFrames) + " device contexts taken during " + std::to_string(FRAMES) +
            " frames in a window that kept its own: the plugin must keep the one it took at VideoInit");
    return holds(std::to_string(atInit) + " taken at VideoInit, none for " + std::to_string(FRAMES) +
                 " frames, all given back at VideoShutdown");
}

// Counted through the plugin's import table: what it makes to draw with is deleted by
// VideoShutdown, and nothing made for a frame is left behind. A process may hold 10,000 such
// objects on Windows; one left a frame uses them up in under three minutes at 60 Hz.
Outcome drawing_objects(Check& c) {
    constexpr int FRAMES = 30; // after the first, at which a plugin may make its bitmap
    size_t atStart = 0, leftByFrames = 0;
    counted_frames(c, 1 + FRAMES, [&](int n) {
        if (n == 1)
            atStart = watched.kept.size();
        if (n == 1 + FRAMES)
            leftByFrames = watched.kept.size() > atStart ? watched.kept.size() - atStart : 0;
    });
    const std::string counts =
        std::to_string(watched.made) + " made, " + std::to_string(watched.deleted) + " deleted";
    if (leftByFrames)
        return failed(std::to_string(leftByFrames) + " drawing objects left behind by " +
                      std::to_string(FRAMES) + " frames (" + counts +
                      "): a program that shows 60 frames a second runs out of them "
                      "within minutes, and then draws nothing");
    if (!watched.kept.empty())
        return failed("VideoShutdown did not delete " + std::to_string(watched.kept.size()) +
                      " of the drawing objects the plugin made (" + counts +
                      "): each display the program opens and closes leaves them behind");
    if (!watched.made)
        return holds("the plugin makes none through CreateDIBSection or the other calls the check counts");
    return holds(std::to_string(atStart) + " made by VideoInit and the first frame, none left behind by " +
                 std::to_string(FRAMES) + " more, all deleted at VideoShutdown");
}

// VideoBlit against a bare StretchDIBits of the same picture, in the same window.
Outcome time_per_frame(Check& c) {
    Frame frame(card::WIDTH, card::HEIGHT);
    frame.draw(draw_card);
    CheckWindow window(card::WIDTH * 2, card::HEIGHT * 2);
    const Palette palette = card_palette();
    std::vector<uint32_t> converted(card::WIDTH * card::HEIGHT);
    for (int y = 0; y < card::HEIGHT; ++y)
        for (int x = 0; x < card::WIDTH; ++x)
            converted[y * card::WIDTH + x] = palette.colours[frame.data()[y * 256 + x] % 64];
    BITMAPINFO info = {};
    info.bmiHeader = {sizeof(BITMAPINFOHEADER), card::WIDTH, -card::HEIGHT, 1, 32, BI_RGB, 0, 0, 0, 0, 0};
    c.plugin.init(card::WIDTH, card::HEIGHT, window.handle(), 0, frame.data());
    c.set_palette(palette);
    constexpr int RUNS = 31;
    const auto blit = [&] {
        c.plugin.blit();
        GdiFlush();
    };
    for (int i = 0; i < 5; ++i)
        blit();
    const double plugin_ms = median_milliseconds(RUNS, blit);
    c.plugin.shutdown();
    HDC dc = GetDC(window.handle());
    SetStretchBltMode(dc, COLORONCOLOR);
    const double bare_ms = median_milliseconds(RUNS, [&] {
        StretchDIBits(dc, 0, 0, card::WIDTH * 2, card::HEIGHT * 2, 0, 0, card::WIDTH, card::HEIGHT,
                      converted.data(), &info, DIB_RGB_COLORS, SRCCOPY);
        GdiFlush();
    });
    ReleaseDC(window.handle(), dc);
    const double ratio = plugin_ms / std::max(bare_ms, 0.001);
    const std::string said = figure(plugin_ms) + " ms a frame at 512 x 480, " + figure(ratio) +
                             " times a bare StretchDIBits of the same picture (" + figure(bare_ms) + " ms)";
    constexpr double FRAME_AT_60_HZ = 1000.0 / 60;
    if (plugin_ms > FRAME_AT_60_HZ && ratio > 4)
        return failed("slow: VideoBlit takes " + said + "; at 60 frames a second a frame has " +
                      figure(FRAME_AT_60_HZ) + " ms");
    return holds("VideoBlit takes " + said);
}

struct Case {
    const char* name;
    bool picture; // compares what a window shows
    Outcome (*run)(Check& check);
};

const Case CASES[] = {
    {"the seven functions' results, in the usual order and out of it", false,
     [](Check& c) { return results(c); }},
    {"a picture at its own size, 256 x 240", true, [](Check& c) { return card_at(c, 1); }},
    {"a picture enlarged twice, 512 x 480", true, [](Check& c) { return card_at(c, 2); }},
    {"a picture enlarged three times, 768 x 720", true, [](Check& c) { return card_at(c, 3); }},
    {"every pixel value, 0 to 255, as the colour of its low six bits", true,
     [](Check& c) { return pixel_values(c); }},
    {"colours set before VideoInit gone, and the rest black until set", true,
     [](Check& c) { return palette_cleared(c); }},
    {"colour numbers outside 0 to 63 changing nothing", true, [](Check& c) { return outside_indexes(c); }},
    {"colour components outside 0 to 255, each as its low eight bits", true,
     [](Check& c) { return wide_components(c); }},
    {"colours set between frames, with and without VideoApplyPalette", true,
     [](Check& c) { return between_frames(c); }},
    {"each frame shown at the VideoBlit that follows it", true, [](Check& c) { return every_frame(c); }},
    {"frames of other sizes, only their own columns of each row read", true,
     [](Check& c) { return other_sizes(c); }},
    {"frames wider than 256 and taller than 240", true, [](Check& c) { return large_sizes(c); }},
    {"a VideoInit on an open display, for another window and frame size", true,
     [](Check& c) { return reopened(c); }},
    {"a window with a title bar and a border, filled inside and nothing drawn outside", true,
     [](Check& c) { return framed_window(c); }},
    {"a picture shrunk into a smaller window, 200 x 150", true, [](Check& c) { return smaller_window(c); }},
    {"a window made larger while it shows a picture", true, [](Check& c) { return resized_window(c); }},
    {"a window minimised, then shown again", true, [](Check& c) { return minimised_and_restored(c); }},
    {"a window laid out right to left, as for Arabic or Hebrew", true,
     [](Check& c) { return right_to_left(c); }},
    {"windows that keep their own drawing settings (CS_OWNDC), the program's settings kept", true,
     [](Check& c) { return own_device_context(c); }},
    {"windows that share their drawing settings (CS_CLASSDC)", true,
     [](Check& c) { return class_device_context(c); }},
    {"controls over the picture, in a window whose clipping changes after VideoInit", true,
     [](Check& c) { return controls_over_picture(c); }},
    {"a window closed while it still shows a picture", false, [](Check& c) { return destroyed_first(c); }},
    {"a window that repaints through VideoBlit, then rests", false,
     [](Check& c) { return repaint_rests(c); }},
    {"device contexts, one kept from VideoInit to VideoShutdown and then given back", false,
     [](Check& c) { return device_contexts(c); }},
    {"bitmaps and other drawing objects, none left behind by a frame or by VideoShutdown", false,
     [](Check& c) { return drawing_objects(c); }},
    {"time per frame", false, [](Check& c) { return time_per_frame(c); }},
};

} // namespace

int case_count() { return static_cast<int>(std::size(CASES)); }

const char* case_name(int index) { return CASES[index].name; }

Outcome run_case(int index, const PluginApi& plugin) {
    HDC screen = GetDC(nullptr);
    const int bits = GetDeviceCaps(screen, BITSPIXEL) * GetDeviceCaps(screen, PLANES);
    ReleaseDC(nullptr, screen);
    comparable = bits > 8;
    colourTolerance = bits >= 24 ? 0 : 8;
    if (CASES[index].picture && !comparable)
        return {Outcome::SKIPPED, "a screen of 256 colours cannot show the frame's colours"};
    Check check{plugin};
    return CASES[index].run(check);
}
