#include "self_check.h"

#include <cpuid.h>

#include <algorithm>
#include <cstdio>
#include <functional>
#include <memory>
#include <vector>

#include "host_window.h"
#include "plugin_api.h"
#include "test_card.h"

namespace {

struct Outcome {
    enum Kind { HOLDS, FAILED, SKIPPED } kind;
    std::string figure;
};

Outcome holds(const std::string& figure) { return {Outcome::HOLDS, figure}; }
Outcome failed(const std::string& figure) { return {Outcome::FAILED, figure}; }

// How far a colour may be off on this screen: none at 24 bits a pixel and more, a little where the
// screen keeps fewer bits a channel; pictures cannot be compared on a palette screen.
int tolerance = 0;
bool comparable = true;

std::string hex(uint32_t colour) {
    char text[8];
    std::snprintf(text, sizeof(text), "#%06X", colour & 0xFFFFFFu);
    return text;
}

bool close_enough(uint32_t shown, uint32_t wanted) {
    for (int shift = 0; shift < 24; shift += 8) {
        const int difference =
            static_cast<int>(shown >> shift & 0xFF) - static_cast<int>(wanted >> shift & 0xFF);
        if (difference > tolerance || -difference > tolerance)
            return false;
    }
    return true;
}

LRESULT CALLBACK check_window_procedure(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    if (message == WM_ERASEBKGND)
        return 1; // keep what the plugin drew
    return DefWindowProcA(window, message, wParam, lParam);
}

// A window of the check: a popup on top of every other window, so that what it shows can be read
// back on a desktop with other windows open. One class for each class style.
class CheckWindow {
  public:
    CheckWindow(int width, int height, DWORD extendedStyle = 0, UINT classStyle = 0, int x = 40, int y = 40) {
        const std::string name =
            register_window_class("gdivideo self-check", classStyle, check_window_procedure);
        handle_ = CreateWindowExA(extendedStyle | WS_EX_TOPMOST | WS_EX_TOOLWINDOW, name.c_str(),
                                  "gdivideo self-check", WS_POPUP, x, y, width, height, nullptr, nullptr,
                                  GetModuleHandleA(nullptr), nullptr);
        ShowWindow(handle_, SW_SHOWNOACTIVATE);
        resize_client(handle_, width, height);
        pump_messages();
    }
    ~CheckWindow() { destroy(); }
    CheckWindow(const CheckWindow&) = delete;
    CheckWindow& operator=(const CheckWindow&) = delete;

    HWND handle() const { return handle_; }
    void destroy() {
        if (handle_)
            DestroyWindow(handle_);
        handle_ = nullptr;
        pump_messages();
    }

  private:
    HWND handle_ = nullptr;
};

// The test card's still frame, and its colours at frame 0.
struct Card {
    std::vector<uint8_t> frame = std::vector<uint8_t>(card::PITCH * card::HEIGHT);
    Card() {
        card::draw(frame.data());
        card::draw_moving(frame.data(), 0);
    }
    uint32_t colour_at(int x, int y) const { return card::colour(frame[y * card::PITCH + x] % 64, 0); }
};

void set_card_palette(const PluginApi& plugin) {
    for (int32_t n = 0; n < GDIVIDEO_PALETTE_COLOURS; ++n) {
        const uint32_t colour = card::colour(n, 0);
        plugin.setPalette(n, colour >> 16, colour >> 8 & 0xFF, colour & 0xFF);
    }
}

// "Nothing drawn" where the window shows one colour only; empty otherwise.
std::string nothing_drawn(const std::vector<uint32_t>& shown) {
    if (!std::all_of(shown.begin(), shown.end(), [&](uint32_t pixel) { return pixel == shown[0]; }))
        return "";
    return "nothing drawn: the window shows " + hex(shown[0]) + " only";
}

uint32_t red_and_blue_swapped(uint32_t colour) {
    return (colour & 0xFF) << 16 | (colour & 0xFF00) | (colour >> 16 & 0xFF);
}

// The faults a plugin's picture most often has, each as what it would show at a pixel of the
// frame (x, y): false where it says nothing there. Tried in this order.
struct Fault {
    std::string name;
    std::function<bool(int x, int y, uint32_t& colour)> shows;
};

std::vector<Fault> likely_faults(const Card& card) {
    std::vector<Fault> faults = {
        {"red and blue swapped",
         [&](int x, int y, uint32_t& colour) { return colour = red_and_blue_swapped(card.colour_at(x, y)), true; }},
        {"upside down",
         [&](int x, int y, uint32_t& colour) { return colour = card.colour_at(x, card::HEIGHT - 1 - y), true; }},
        {"mirrored left to right",
         [&](int x, int y, uint32_t& colour) { return colour = card.colour_at(card::WIDTH - 1 - x, y), true; }},
    };
    for (int rows = -4; rows <= 4; ++rows)
        for (int columns = -4; columns <= 4; ++columns)
            if (rows || columns)
                faults.push_back({"shifted by " + std::to_string(rows) + " rows and " + std::to_string(columns) +
                                      " columns",
                                  [&card, rows, columns](int x, int y, uint32_t& colour) {
                                      x -= columns, y -= rows;
                                      if (x < 0 || y < 0 || x >= card::WIDTH || y >= card::HEIGHT)
                                          return false;
                                      return colour = card.colour_at(x, y), true;
                                  }});
    for (int pitch : {128, 255, 257, 320, 512, 1024})
        faults.push_back({"its rows read " + std::to_string(pitch) + " bytes apart, not 256 (a wrong row pitch)",
                          [&card, pitch](int x, int y, uint32_t& colour) {
                              const int at = y * pitch + x;
                              if (at >= card::PITCH * card::HEIGHT)
                                  return false;
                              return colour = card::colour(card.frame[at] % 64, 0), true;
                          }});
    return faults;
}

// What the picture most likely has wrong, from the middle pixel of each of the frame's pixels in
// a picture enlarged `scale` times: nothing drawn, one of the likely faults, or drawn at the
// frame's size rather than stretched over the window. Empty where none explains the picture.
std::string likely_fault(const std::vector<uint32_t>& shown, int width, const Card& card, int scale) {
    const auto at = [&](int x, int y) { return shown[static_cast<size_t>(y * scale + scale / 2) * width + x * scale + scale / 2]; };
    const int pixels = card::WIDTH * card::HEIGHT;
    const auto percent = [&](int count) { return std::to_string((count * 100 + pixels / 2) / pixels) + "%"; };
    if (const std::string nothing = nothing_drawn(shown); !nothing.empty())
        return nothing;
    for (const Fault& fault : likely_faults(card)) {
        int said = 0, explained = 0;
        for (int y = 0; y < card::HEIGHT; ++y)
            for (int x = 0; x < card::WIDTH; ++x) {
                uint32_t colour;
                if (fault.shows(x, y, colour)) {
                    ++said;
                    explained += close_enough(at(x, y), colour);
                }
            }
        if (said > pixels / 2 && explained * 10 >= said * 9)
            return fault.name + " (that explains " + percent(explained) + " of the picture)";
    }
    if (scale > 1) {
        int explained = 0;
        for (int y = 0; y < card::HEIGHT; ++y)
            for (int x = 0; x < card::WIDTH; ++x)
                explained += close_enough(shown[static_cast<size_t>(y) * width + x], card.colour_at(x, y));
        if (explained * 10 >= pixels * 9)
            return "drawn at the frame's own size in the corner, not stretched over the window (that explains " +
                   percent(explained / (scale * scale)) + " of the picture)";
    }
    return "";
}

// The window shows the card enlarged `scale` times, pixel for pixel.
Outcome compare_card(HWND window, const Card& frame, int scale) {
    int width = 0, height = 0;
    const std::vector<uint32_t> shown = read_client_pixels(window, width, height);
    if (width != card::WIDTH * scale || height != card::HEIGHT * scale)
        return failed("the window's inside is " + std::to_string(width) + " x " + std::to_string(height));
    size_t wrong = 0, first = 0;
    uint32_t wanted = 0;
    for (size_t i = 0; i < shown.size(); ++i) {
        const uint32_t expected =
            frame.colour_at(static_cast<int>(i % width) / scale, static_cast<int>(i / width) / scale);
        if (!close_enough(shown[i], expected) && wrong++ == 0) {
            first = i;
            wanted = expected;
        }
    }
    if (!wrong)
        return holds(std::to_string(shown.size()) + " pixels as they should be");
    const std::string fault = likely_fault(shown, width, frame, scale);
    if (!fault.empty())
        return failed(std::to_string(wrong) + " of " + std::to_string(shown.size()) + " pixels wrong: " + fault);
    return failed(std::to_string(wrong) + " of " + std::to_string(shown.size()) +
                  " pixels wrong, the first at (" + std::to_string(first % width) + ", " +
                  std::to_string(first / width) + "): " + hex(shown[first]) + " where the picture has " +
                  hex(wanted));
}

// What a picture of red and green squares shrunk into a smaller window most likely has wrong.
std::string likely_shrunk_fault(const std::vector<uint32_t>& shown) {
    if (const std::string nothing = nothing_drawn(shown); !nothing.empty())
        return nothing;
    if (std::all_of(shown.begin(), shown.end(),
                    [](uint32_t pixel) { return close_enough(pixel, 0x0000FF) || close_enough(pixel, 0x00FF00); }))
        return "red and blue swapped (blue where red should be)";
    return "colours blended or combined rather than picked, as a shrinking that averages does";
}

std::string result_text(const char* call, int32_t result, int32_t promised) {
    return result == promised ? ""
                              : std::string(call) + " answered " + std::to_string(result) + ", not " +
                                    std::to_string(promised) + "; ";
}

// Each case opens its own display; the plugin was loaded for the first.
struct Check {
    const PluginApi& plugin;
    Card card_;

    Outcome calls_outside_the_order() {
        std::string wrong;
        wrong += result_text("VideoBlit before VideoInit", plugin.blit(), 0);
        wrong += result_text("VideoShutdown before VideoInit", plugin.shutdown(), 0);
        wrong += result_text("VideoApplyPalette", plugin.applyPalette(), 1);
        wrong += result_text("VideoCfg", plugin.cfg(), 0);
        wrong += result_text("VideoFullscreen", plugin.fullscreen(), 0);
        wrong += result_text("VideoSetPalette(64, 1, 2, 3)", plugin.setPalette(64, 1, 2, 3), 0x010203);
        wrong += result_text("VideoSetPalette(5, 0x1FF, 0x100, 0x80)",
                             plugin.setPalette(5, 0x1FF, 0x100, 0x80), 0xFF0080);
        CheckWindow window(card::WIDTH, card::HEIGHT);
        wrong += result_text(
            "VideoInit", plugin.init(card::WIDTH, card::HEIGHT, window.handle(), 0, card_.frame.data()), 1);
        wrong +=
            result_text("VideoInit on an open display",
                        plugin.init(card::WIDTH, card::HEIGHT, window.handle(), 0, card_.frame.data()), 1);
        set_card_palette(plugin);
        wrong += result_text("VideoBlit", plugin.blit(), card::HEIGHT);
        wrong += result_text("VideoShutdown", plugin.shutdown(), 1);
        wrong += result_text("a second VideoShutdown", plugin.shutdown(), 0);
        wrong += result_text("VideoBlit after VideoShutdown", plugin.blit(), 0);
        if (!wrong.empty())
            return failed(wrong.substr(0, wrong.size() - 2));
        return holds("all 13 answers as they should be");
    }

    Outcome card_at(int scale) {
        const int width = card::WIDTH * scale, height = card::HEIGHT * scale;
        std::string error;
        if (!window_fits_screen(width, height, error))
            return {Outcome::SKIPPED,
                    "the screen is smaller than " + std::to_string(width) + " x " + std::to_string(height)};
        CheckWindow window(width, height);
        return drawn(window.handle(), scale);
    }

    // Opens the display on the window and draws a frame, then, after `between` (a resize, say),
    // another; compares the picture, enlarged `scale` times, and closes the display.
    Outcome drawn(
        HWND window, int scale, const std::function<void()>& between = [] {}) {
        plugin.init(card::WIDTH, card::HEIGHT, window, 0, card_.frame.data());
        set_card_palette(plugin);
        plugin.blit();
        between();
        const int32_t result = plugin.blit();
        Outcome outcome = compare_card(window, card_, scale);
        plugin.shutdown();
        if (result != card::HEIGHT && outcome.kind == Outcome::HOLDS)
            return failed("VideoBlit answered " + std::to_string(result) + ", not the 240 lines drawn");
        return outcome;
    }

    Outcome smaller_window() {
        std::vector<uint8_t> checks(card::PITCH * card::HEIGHT);
        for (int y = 0; y < card::HEIGHT; ++y)
            for (int x = 0; x < card::WIDTH; ++x)
                checks[y * card::PITCH + x] = static_cast<uint8_t>(1 + (x + y) % 2);
        CheckWindow window(200, 150);
        plugin.init(card::WIDTH, card::HEIGHT, window.handle(), 0, checks.data());
        plugin.setPalette(1, 0xFF, 0, 0);
        plugin.setPalette(2, 0, 0xFF, 0);
        plugin.blit();
        int width = 0, height = 0;
        const std::vector<uint32_t> shown = read_client_pixels(window.handle(), width, height);
        plugin.shutdown();
        size_t other = 0;
        for (uint32_t pixel : shown)
            other += !close_enough(pixel, 0xFF0000) && !close_enough(pixel, 0x00FF00);
        if (shown.empty())
            return failed("the window has no inside");
        if (other)
            return failed(std::to_string(other) + " of " + std::to_string(shown.size()) +
                          " pixels are neither of the picture's two colours, red and green: " +
                          likely_shrunk_fault(shown));
        return holds("all " + std::to_string(shown.size()) + " pixels of the picture's two colours");
    }

    Outcome resized_window() {
        CheckWindow window(card::WIDTH, card::HEIGHT);
        return drawn(window.handle(), 2,
                     [&] { resize_client(window.handle(), card::WIDTH * 2, card::HEIGHT * 2); });
    }

    Outcome minimised_and_restored() {
        CheckWindow window(card::WIDTH, card::HEIGHT);
        return drawn(window.handle(), 1, [&] {
            ShowWindow(window.handle(), SW_MINIMIZE);
            pump_messages();
            plugin.blit(); // Windows may give 0 here, Wine the line count: nothing to see either way
            ShowWindow(window.handle(), SW_RESTORE);
            pump_messages();
        });
    }

    Outcome right_to_left() {
        CheckWindow window(card::WIDTH, card::HEIGHT, WS_EX_LAYOUTRTL);
        return drawn(window.handle(), 1);
    }

    // The host's own DC in its default monochrome mode: the picture is whole, and the DC has the
    // host's mode and layout back once the display closes.
    Outcome own_device_context() {
        CheckWindow window(card::WIDTH, card::HEIGHT, 0, CS_OWNDC);
        HDC dc = GetDC(window.handle());
        const int mode = GetStretchBltMode(dc);
        const DWORD layout = GetLayout(dc);
        ReleaseDC(window.handle(), dc);
        Outcome outcome = drawn(window.handle(), 1);
        if (outcome.kind == Outcome::HOLDS && (GetStretchBltMode(dc) != mode || GetLayout(dc) != layout))
            return failed("the plugin left the window's drawing surface changed: stretching mode " +
                          std::to_string(GetStretchBltMode(dc)) + " and layout " +
                          std::to_string(GetLayout(dc)) + ", not the program's " + std::to_string(mode) +
                          " and " + std::to_string(layout));
        return outcome;
    }

    // A sibling of the class takes the one DC between frames: the frame still goes to the window.
    Outcome class_device_context() {
        CheckWindow window(card::WIDTH, card::HEIGHT, 0, CS_CLASSDC), sibling(64, 64, 0, CS_CLASSDC, 340, 40);
        Outcome outcome = drawn(window.handle(), 1, [&] {
            HDC dc = GetDC(sibling.handle());
            PatBlt(dc, 0, 0, 64, 64, WHITENESS);
            ReleaseDC(sibling.handle(), dc);
        });
        int width = 0, height = 0;
        size_t drawnOver = 0;
        for (uint32_t pixel : read_client_pixels(sibling.handle(), width, height))
            drawnOver += !close_enough(pixel, 0xFFFFFF);
        if (outcome.kind == Outcome::HOLDS && drawnOver)
            return failed(std::to_string(drawnOver) + " pixels of the sibling window were drawn over");
        return outcome;
    }

    Outcome destroyed_first() {
        std::string wrong;
        {
            CheckWindow window(card::WIDTH, card::HEIGHT);
            plugin.init(card::WIDTH, card::HEIGHT, window.handle(), 0, card_.frame.data());
            set_card_palette(plugin);
            wrong += result_text("VideoBlit", plugin.blit(), card::HEIGHT);
            window.destroy();
            wrong += result_text("VideoBlit after DestroyWindow", plugin.blit(), 0);
            wrong += result_text("VideoShutdown after DestroyWindow", plugin.shutdown(), 0);
        }
        if (!wrong.empty())
            return failed(wrong.substr(0, wrong.size() - 2));
        if (!comparable)
            return holds("answers 240, 0, 0");
        CheckWindow next(card::WIDTH, card::HEIGHT);
        Outcome outcome = drawn(next.handle(), 1);
        if (outcome.kind == Outcome::HOLDS)
            outcome.figure = "answers 240, 0, 0; the next window's picture whole";
        return outcome;
    }
};

std::string windows_version() {
    struct VersionInfo {
        ULONG size, major, minor, build, platform;
        WCHAR servicePack[128];
    } info = {};
    info.size = sizeof(info);
    HMODULE ntdll = GetModuleHandleA("ntdll.dll");
    auto rtlGetVersion = reinterpret_cast<LONG(WINAPI*)(VersionInfo*)>(
        reinterpret_cast<void*>(GetProcAddress(ntdll, "RtlGetVersion")));
    std::string text = "Windows";
    if (rtlGetVersion && rtlGetVersion(&info) == 0)
        text += " " + std::to_string(info.major) + "." + std::to_string(info.minor) + " build " +
                std::to_string(info.build);
    // Wine says so through ntdll; Windows has no such function.
    auto wineVersion = reinterpret_cast<const char*(CDECL*)()>(
        reinterpret_cast<void*>(GetProcAddress(ntdll, "wine_get_version")));
    if (wineVersion)
        text += std::string(" (Wine ") + wineVersion() + ")";
    return text;
}

std::string cpu_name() {
    unsigned words[12] = {};
    for (unsigned leaf = 0; leaf < 3; ++leaf)
        if (!__get_cpuid(0x80000002 + leaf, &words[leaf * 4], &words[leaf * 4 + 1], &words[leaf * 4 + 2],
                         &words[leaf * 4 + 3]))
            return "unknown";
    std::string name(reinterpret_cast<const char*>(words), sizeof(words));
    name = name.c_str();
    name.erase(0, name.find_first_not_of(' '));
    name.erase(name.find_last_not_of(' ') + 1);
    return name;
}

std::string plugin_version(const std::string& path) {
    DWORD handle = 0;
    std::vector<char> data(GetFileVersionInfoSizeA(path.c_str(), &handle));
    VS_FIXEDFILEINFO* fixed = nullptr;
    char* description = nullptr;
    UINT length = 0;
    if (data.empty() || !GetFileVersionInfoA(path.c_str(), 0, static_cast<DWORD>(data.size()), data.data()) ||
        !VerQueryValueA(data.data(), "\\", reinterpret_cast<void**>(&fixed), &length))
        return "no version resource";
    std::string text = "version " + std::to_string(HIWORD(fixed->dwFileVersionMS)) + "." +
                       std::to_string(LOWORD(fixed->dwFileVersionMS)) + "." +
                       std::to_string(HIWORD(fixed->dwFileVersionLS)) + "." +
                       std::to_string(LOWORD(fixed->dwFileVersionLS));
    if (VerQueryValueA(data.data(), "\\StringFileInfo\\040904b0\\FileDescription",
                       reinterpret_cast<void**>(&description), &length))
        text += std::string(", ") + description;
    return text;
}

void print_system(const std::string& path) {
    HDC screen = GetDC(nullptr);
    const int bits = GetDeviceCaps(screen, BITSPIXEL) * GetDeviceCaps(screen, PLANES);
    const int dpi = GetDeviceCaps(screen, LOGPIXELSX);
    ReleaseDC(nullptr, screen);
    comparable = bits > 8;
    tolerance = bits >= 24 ? 0 : 8;
    std::printf("gdivideo self-check of %s (%s)\n", path.c_str(), plugin_version(path).c_str());
    std::printf("on %s; screen %d x %d, %d bits a pixel, %d DPI; CPU %s\n", windows_version().c_str(),
                GetSystemMetrics(SM_CXSCREEN), GetSystemMetrics(SM_CYSCREEN), bits, dpi, cpu_name().c_str());
}

// The likely causes of a plugin that cannot be loaded, for whoever installed it.
std::string why_it_cannot_load(DWORD error) {
    switch (error) {
    case 0:
        return "likely: the file is another DLL of the same name, or a damaged copy; install the plugin again";
    case ERROR_FILE_NOT_FOUND:
    case ERROR_PATH_NOT_FOUND:
    case ERROR_MOD_NOT_FOUND:
        return "likely: the file is not where it is named, or was removed (an antivirus program may have "
               "taken it); install the plugin again, beside the program";
    case ERROR_BAD_EXE_FORMAT:
        return "likely: the file is not the 32-bit plugin (a 64-bit build, or a damaged download); this "
               "plugin serves 32-bit programs only, and a 64-bit program cannot load it";
    case ERROR_ACCESS_DENIED:
    case 225: // ERROR_VIRUS_INFECTED
    case 226: // ERROR_VIRUS_DELETED
        return "likely: the system or an antivirus program blocks the file, as it may a file downloaded "
               "from the internet; unblock it (its Properties in Explorer) or allow it, then run this again";
    default:
        return "install the plugin again; if this comes again, attach this output to a report to the program's maker";
    }
}

} // namespace

int run_self_check(const std::string& pluginPath) {
    // Sizes in the screen's own pixels, whatever the desktop's scaling.
    if (auto aware = reinterpret_cast<BOOL(WINAPI*)()>(
            reinterpret_cast<void*>(GetProcAddress(GetModuleHandleA("user32.dll"), "SetProcessDPIAware"))))
        aware();
    PluginApi plugin;
    std::string error;
    if (!load_plugin(pluginPath, plugin, error)) {
        std::printf("gdivideo self-check of %s: not run, as the plugin cannot be used: %s\n%s\n", pluginPath.c_str(),
                    error.c_str(), why_it_cannot_load(plugin.loadError).c_str());
        return 2;
    }
    print_system(pluginPath);
    Check check{plugin, {}};
    // Each case, and whether it compares a picture, which a palette screen cannot show.
    const struct {
        const char* name;
        bool picture;
        std::function<Outcome()> run;
    } cases[] = {
        {"calls a program makes out of the usual order", false, [&] { return check.calls_outside_the_order(); }},
        {"a picture at its own size, 256 x 240", true, [&] { return check.card_at(1); }},
        {"a picture enlarged twice, 512 x 480", true, [&] { return check.card_at(2); }},
        {"a picture enlarged three times, 768 x 720", true, [&] { return check.card_at(3); }},
        {"a picture shrunk into a smaller window, 200 x 150", true, [&] { return check.smaller_window(); }},
        {"a window made larger while it shows a picture", true, [&] { return check.resized_window(); }},
        {"a window minimised, then shown again", true, [&] { return check.minimised_and_restored(); }},
        {"a window laid out right to left, as for Arabic or Hebrew", true, [&] { return check.right_to_left(); }},
        {"a window that keeps a drawing surface of its own", true, [&] { return check.own_device_context(); }},
        {"windows that share one drawing surface", true, [&] { return check.class_device_context(); }},
        {"a window closed while it still shows a picture", false, [&] { return check.destroyed_first(); }},
    };
    int held = 0, failures = 0;
    for (const auto& c : cases) {
        const Outcome outcome =
            !c.picture || comparable
                ? c.run()
                : Outcome{Outcome::SKIPPED, "a palette screen cannot show the frame's colours"};
        static const char* const WORDS[] = {"ok      ", "FAILED  ", "skipped "};
        std::printf("%s%s: %s\n", WORDS[outcome.kind], c.name, outcome.figure.c_str());
        held += outcome.kind == Outcome::HOLDS;
        failures += outcome.kind == Outcome::FAILED;
    }
    FreeLibrary(plugin.module);
    const int total = static_cast<int>(std::size(cases));
    if (failures)
        std::printf("verdict: %d of %d cases FAILED: the plugin does not work as it should on this machine\n"
                    "what to do: if a program shows its picture wrong through this plugin, tell the program's "
                    "maker, and attach this whole output; its maker can run the program with the plugin's "
                    "checked build (bin/checked/gdivideo.dll of the plugin's kit, in place of gdivideo.dll) "
                    "to see what goes wrong\n",
                    failures, total);
    else
        std::printf("verdict: %d of %d cases hold%s: the plugin works on this machine\n", held, total,
                    held < total ? " and the rest were skipped" : "");
    return failures ? 1 : 0;
}
