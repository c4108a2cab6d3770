// The reference host, run as the program it is: its picture through the plugin and its errors.

#include <stb_image.h>

#include <algorithm>
#include <cctype>
#include <cstdio>
#include <cstring>
#include <fstream>
#include <sstream>
#include <vector>

#include "../../host/check_cases.h"
#include "../../host/options.h"
#include "../../host/test_card.h"
#include "test_support.h"

namespace {

struct HostRun {
    DWORD exitCode = 0xFFFFFFFF;
    std::string output; // standard output and standard error together
};

// A file in the temporary folder of this test's own: tests that run at the same time never share one.
std::string temporary_file(const std::string& name) {
    char directory[MAX_PATH];
    GetTempPathA(MAX_PATH, directory);
    return std::string(directory) + "gdivideo_" + std::to_string(GetCurrentProcessId()) + "_" + name;
}

// The host's output goes to a file rather than a pipe: a process the host starts (Wine's desktop
// process, for one) can inherit the handle and would keep a pipe open after the host has exited.
HostRun run_host(const std::string& arguments) {
    HostRun run;
    const std::string path = plugin_path();
    const std::string directory = path.substr(0, path.find_last_of('\\') + 1);
    std::string commandLine = "\"" + directory + "gdivideo_host.exe\" " + arguments;
    const std::string outputPath = temporary_file("host_output.txt");

    SECURITY_ATTRIBUTES inherit = {sizeof(SECURITY_ATTRIBUTES), nullptr, TRUE};
    HANDLE output = CreateFileA(outputPath.c_str(), GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE,
                                &inherit, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
    STARTUPINFOA startup = {};
    startup.cb = sizeof(startup);
    startup.dwFlags = STARTF_USESTDHANDLES;
    startup.hStdOutput = output;
    startup.hStdError = output;
    PROCESS_INFORMATION process = {};
    const bool started = CreateProcessA(nullptr, &commandLine[0], nullptr, nullptr, TRUE, 0, nullptr, nullptr,
                                        &startup, &process);
    CloseHandle(output);
    if (!started)
        return run;
    const DWORD limit = scaled(120000);
    if (WaitForSingleObject(process.hProcess, limit) == WAIT_TIMEOUT) {
        TerminateProcess(process.hProcess, STILL_ACTIVE); // an exit status that no row expects
        WaitForSingleObject(process.hProcess, INFINITE);
        run.output = "(the host had not ended after " + std::to_string(limit / 1000) + " s: stopped)\n";
    }
    GetExitCodeProcess(process.hProcess, &run.exitCode);
    CloseHandle(process.hProcess);
    CloseHandle(process.hThread);

    HANDLE input = CreateFileA(outputPath.c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                               OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
    char chunk[512];
    DWORD got = 0;
    while (ReadFile(input, chunk, sizeof(chunk), &got, nullptr) && got)
        run.output.append(chunk, got);
    CloseHandle(input);
    DeleteFileA(outputPath.c_str());
    return run;
}

// `pattern` in `text`, where each % stands for any run of characters on one line.
bool says(const std::string& text, const std::string& pattern) {
    std::vector<std::string> parts(1);
    for (char c : pattern) {
        if (c == '%')
            parts.emplace_back();
        else
            parts.back().push_back(c);
    }
    for (size_t start = text.find(parts[0]); start != std::string::npos;
         start = text.find(parts[0], start + 1)) {
        size_t at = start + parts[0].size();
        bool all = true;
        for (size_t i = 1; all && i < parts.size(); ++i) {
            const size_t found = text.find(parts[i], at);
            all = found != std::string::npos && text.find('\n', at) >= found;
            at = found + parts[i].size();
        }
        if (all)
            return true;
    }
    return false;
}

uint32_t pixel_at(const unsigned char* rgb, int width, int x, int y) {
    const unsigned char* p = rgb + (y * width + x) * 3;
    return static_cast<uint32_t>(p[0]) << 16 | static_cast<uint32_t>(p[1]) << 8 | p[2];
}

TEST(Host, ScreenshotShowsTheTestCardThroughThePlugin) {
    const std::string screenshot = temporary_file("screenshot.png");
    DeleteFileA(screenshot.c_str());

    const HostRun run = run_host("--frames 8 --scale 1 --screenshot \"" + screenshot + "\"");
    ASSERT_EQ(run.exitCode, 0u) << run.output;
    int width = 0, height = 0, channels = 0;
    unsigned char* rgb = stbi_load(screenshot.c_str(), &width, &height, &channels, 3);
    ASSERT_NE(rgb, nullptr) << "no screenshot at " << screenshot;
    EXPECT_EQ(width, 256);
    EXPECT_EQ(height, 240);
    for (int32_t n = 0; n < 64 && width == 256 && height == 240; ++n) {
        int32_t x, y;
        card::swatch_centre(n, x, y);
        const uint32_t shown = pixel_at(rgb, width, x, y);
        if (n < card::FIRST_CYCLING) {
            EXPECT_EQ(shown, card::colour(n, 0)) << "swatch " << n;
            continue;
        }
        bool cycling = false;
        for (int32_t k = card::FIRST_CYCLING; k < 64; ++k)
            cycling = cycling || shown == card::colour(k, 0);
        EXPECT_TRUE(cycling) << "swatch " << n << " shows " << std::hex << shown;
    }
    stbi_image_free(rgb);
    DeleteFileA(screenshot.c_str());
}

// Each error names the Windows error with its meaning; a file that is no 32-bit DLL says so.
TEST(Host, ReportsAMissingPluginOrOneWithoutTheFunctions) {
    HostRun run = run_host("--frames 1 --plugin no_such_plugin.dll");
    EXPECT_EQ(run.exitCode, 4u);
    EXPECT_NE(run.output.find("cannot load the plugin 'no_such_plugin.dll' (Windows error 126: "),
              std::string::npos)
        << run.output;

    const std::string notADll = temporary_file("not_a_dll.dll");
    HANDLE file = CreateFileA(notADll.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, 0, nullptr);
    DWORD written = 0;
    WriteFile(file, "MZ not a DLL", 12, &written, nullptr);
    CloseHandle(file);
    run = run_host("--frames 1 --plugin \"" + notADll + "\"");
    EXPECT_EQ(run.exitCode, 4u);
    EXPECT_NE(run.output.find("it is not a 32-bit Windows DLL (Windows error 193"), std::string::npos)
        << run.output;
    DeleteFileA(notADll.c_str());

    run = run_host("--frames 1 --plugin version.dll");
    EXPECT_EQ(run.exitCode, 4u);
    EXPECT_NE(run.output.find("does not export VideoInit"), std::string::npos) << run.output;
}

// One line that says what is wrong and where to look, and exit status 2: every bad list of
// arguments is refused by the parser the host runs, and the host says one so.
TEST(Host, RejectsBadArgumentsInOneLine) {
    const std::vector<std::vector<const char*>> refused = {{"--frames", "abc"},
                                                           {"--frames", "-1"},
                                                           {"--scale", "0"},
                                                           {"--scale", "9"},
                                                           {"--plugin"},
                                                           {"--plugin", ""},
                                                           {"--screenshot", ""},
                                                           {"--bogus"},
                                                           {"--bench", "--frames", "5"},
                                                           {"--scale", "2", "--bench"},
                                                           {"--check", "--bench"},
                                                           {"--check", "--scale", "2"}};
    for (const std::vector<const char*>& arguments : refused) {
        std::vector<const char*> argv = {"gdivideo_host"};
        argv.insert(argv.end(), arguments.begin(), arguments.end());
        HostOptions options;
        std::string error;
        EXPECT_FALSE(parse_options(static_cast<int>(argv.size()), argv.data(), options, error))
            << arguments[0];
        EXPECT_FALSE(error.empty()) << arguments[0];
        EXPECT_EQ(error.find('\n'), std::string::npos) << error;
    }
    const HostRun run = run_host("--scale 5");
    EXPECT_EQ(run.exitCode, 2u);
    EXPECT_EQ(run.output.find('\n'), run.output.size() - 1) << run.output;
    EXPECT_TRUE(
        says(run.output, "larger than the screen (%): choose a smaller --scale (see gdivideo_host --help)"))
        << run.output;
    const char* help[] = {"gdivideo_host", "-h"};
    HostOptions options;
    std::string error;
    EXPECT_TRUE(parse_options(2, help, options, error) && options.help);
    const HostRun helped = run_host("--help");
    EXPECT_EQ(helped.exitCode, 0u);
    EXPECT_NE(helped.output.find("--screenshot FILE"), std::string::npos);
    EXPECT_NE(helped.output.find("Exit status"), std::string::npos);
}

// The self-check of each plugin: its exit status, what it says of the file, and the fault it
// names in the line of the case that the fault breaks first (none for a plugin that works or
// cannot be used). The broken plugins are one source, built once for each fault.
struct SelfCheckRow {
    const char* plugin; // beside the test program, or a path
    DWORD exitCode;
    const char* caseName;
    const char* said;
};

const SelfCheckRow SELF_CHECK[] = {
    {"gdivideo.dll", 0, nullptr, "SHA-256 %: the plugin released with this check"},
    {"checked\\gdivideo.dll", 0, nullptr, "SHA-256 %: the checked build released with this check"},
    {"broken_plugin_none.dll", 0, nullptr, "not the plugin released with this check"},
    {"broken_plugin_nothing.dll", 1, "a picture enlarged twice",
     "nothing drawn: VideoBlit changed no pixel of the window (VideoBlit reported 240 lines drawn)"},
    {"broken_plugin_swapped.dll", 1, "a picture enlarged twice", "pixels wrong: red and blue swapped"},
    {"broken_plugin_upside_down.dll", 1, "a picture enlarged twice", "pixels wrong: upside down"},
    {"broken_plugin_mirrored.dll", 1, "a picture enlarged twice", "pixels wrong: mirrored left to right"},
    {"broken_plugin_shifted.dll", 1, "a picture enlarged twice",
     "pixels wrong: moved 2 rows down and 3 columns right"},
    {"broken_plugin_pitch.dll", 1, "a picture enlarged twice",
     "its rows read 257 bytes apart in the frame buffer, not 256"},
    {"broken_plugin_unscaled.dll", 1, "a picture enlarged three times",
     "not stretched over the whole inside of the window (768 x 720): it drew only 256 x 240 of it, at the "
     "frame's own size"},
    {"broken_plugin_one_short.dll", 1, "a picture enlarged twice",
     "not stretched over the whole inside of the window (512 x 480): it drew only 511 x 480 of it"},
    {"broken_plugin_window_rect.dll", 1, "a window with a title bar and a border",
     "but to %, the window's outer size, with its border and title bar, so that its right or bottom edge is "
     "cut off"},
    {"broken_plugin_green_lost.dll", 1, "a picture enlarged twice",
     "green lost: every colour shows with no green"},
    {"broken_plugin_six_bits.dll", 1, "a picture enlarged twice",
     "red, green and blue shown as 6-bit values (0 to 63) rather than 8-bit ones (0 to 255)"},
    {"broken_plugin_rows_skipped.dll", 1, "a picture enlarged twice",
     "only every second row of the frame drawn, the others black"},
    {"broken_plugin_monochrome.dll", 1, "a picture shrunk into a smaller window",
     "shrunk in the stretching mode BLACKONWHITE, a window's default, which combines neighbouring pixels "
     "with AND"},
    {"broken_plugin_high_values.dll", 1, "every pixel value",
     "of the pixel values 64 to 255 do not show the colour of their low six bits"},
    {"broken_plugin_not_cleared.dll", 1, "colours set before VideoInit gone",
     "colours set before VideoInit still show: VideoInit must make all 64 black"},
    {"broken_plugin_index_wraps.dll", 1, "colour numbers outside 0 to 63",
     "VideoSetPalette(192, ...), outside 0 to 63, changed colour 0"},
    {"broken_plugin_apply_only.dll", 1, "colours set between frames",
     "colours set between frames showed only after VideoApplyPalette"},
    {"broken_plugin_frame_late.dll", 1, "each frame shown at the VideoBlit",
     "each VideoBlit showed the frame before the one just drawn: the picture is one frame late"},
    {"broken_plugin_fixed_size.dll", 1, "frames of other sizes",
     "the plugin crashed in VideoBlit (access violation reading 0x%; it read past the end of the program's "
     "frame "
     "buffer: a 160 x 100 frame has 100 rows 256 bytes apart, of which it reads the first 160 bytes"},
    {"broken_plugin_writes_frame.dll", 1, "a picture at its own size",
     "the plugin crashed in VideoBlit (access violation writing 0x%; it wrote into the program's frame "
     "buffer, which "
     "a plugin may only read"},
    {"broken_plugin_mapping_mode.dll", 1, "windows that keep their own drawing settings",
     "left to right: between two frames the window's device context has the mapping mode MM_ANISOTROPIC, "
     "not the program's MM_TEXT"},
    {"broken_plugin_dc_per_frame.dll", 1, "device contexts",
     "a device context taken at every VideoBlit (31 taken, 1 given back over 30 frames)"},
    {"broken_plugin_clipping_kept.dll", 1, "controls over the picture",
     "WS_CLIPCHILDREN set after VideoInit: the picture was drawn over the program's control, 3200 of its "
     "pixels, as by a device context taken before"},
    {"broken_plugin_dc_kept.dll", 1, "device contexts",
     "VideoShutdown did not give back 1 of the device contexts the plugin took (1 taken, 0 given back)"},
    {"broken_plugin_colours_off.dll", 1, "a picture enlarged twice",
     "pixels wrong: every colour shown at the wrong number: pixel value N shows the colour set for N - 1"},
    {"broken_plugin_text_colour.dll", 1, "windows that keep their own drawing settings",
     "left to right: between two frames the window's device context has the text colour 0x00FF0000, not "
     "the program's 0x00000000"},
    {"broken_plugin_object_per_frame.dll", 1, "bitmaps and other drawing objects",
     "30 drawing objects left behind by 30 frames (31 made, 0 deleted)"},
    {"broken_plugin_object_kept.dll", 1, "bitmaps and other drawing objects",
     "VideoShutdown did not delete 1 of the drawing objects the plugin made (1 made, 0 deleted)"},
    {"broken_plugin_reopen_ignored.dll", 1, "a VideoInit on an open display",
     "pixels of the first window drawn after VideoInit opened the display on the second; in the second "
     "window: 64000 of 64000 pixels wrong: nothing drawn"},
    {"broken_plugin_slow.dll", 1, "time per frame",
     "slow: VideoBlit takes %; at 60 frames a second a frame has 16.7 ms"},
    {"broken_plugin_crash.dll", 1, "a picture at its own size",
     "the plugin crashed in VideoBlit (access violation writing 0x00000000 at broken_plugin_crash.dll+0x"},
    {"broken_plugin_hang.dll", 1, "the seven functions' results", "VideoInit did not return within 10 s"},
    {"broken_plugin_exit.dll", 1, "a picture at its own size",
     "the plugin ended the program (exit code 0) in VideoShutdown"},
    {"broken_plugin_wide_unclamped.dll", 1, "frames wider than 256",
     "the plugin crashed in VideoBlit (access violation reading 0x%; it read past the end of the program's "
     "frame "
     "buffer: a 300 x 40 frame has 40 rows 256 bytes apart, of which it reads the first 256 bytes"},
    {"broken_plugin_tall_refused.dll", 1, "frames wider than 256",
     "256 x 480: 122880 of 122880 pixels wrong: nothing drawn"},
    {"broken_plugin_components_unmasked.dll", 1, "colour components outside 0 to 255",
     "colours set with components outside 0 to 255 show wrong: %; each component must keep only its low "
     "eight bits"},
    {"broken_plugin_high_index_stored.dll", 1, "colour numbers outside 0 to 63",
     "VideoSetPalette(64, ...), outside 0 to 63, changed what pixel value 64 shows, which must be colour 0"},
    {"broken_plugin_first_row_dirty.dll", 1, "each frame shown at the VideoBlit",
     "every VideoBlit showed the first frame again: frames whose first row is the same"},
    {"broken_plugin_reopen_leaks.dll", 1, "a VideoInit on an open display",
     "after VideoShutdown, 1 device context and 1 drawing object of the two displays were left behind"},
    {"broken_plugin_paint_storm.dll", 1, "a window that repaints through VideoBlit",
     "WM_PAINT messages in half a second after the window was made to paint once: VideoBlit from WM_PAINT "
     "makes "
     "the window paint again"},
    {"broken_plugin_thread_left.dll", 1, "the last case, as the plugin was unloaded",
     "threads that the plugin started still run after VideoShutdown"},
    {"broken_plugin_subclassed.dll", 1, "the last case, as the plugin was unloaded",
     "after VideoShutdown the window's procedure is one of the plugin's"},
    {"broken_plugin_x87_changed.dll", 1, "the seven functions' results",
     "VideoBlit: it left the x87 control word at 0x0C7F, not 0x%"},
    {"broken_plugin_mmx_no_emms.dll", 1, "the seven functions' results",
     "VideoBlit: it left the x87 registers in use (MMX without EMMS)"},
    {"broken_plugin_direction_flag.dll", 1, "the seven functions' results",
     "VideoBlit: it left the direction flag set"},
    {"broken_plugin_register_clobbered.dll", 1, "the seven functions' results",
     "VideoBlit: it changed %BX, which a function must give back as it found it"},
    {"broken_plugin_stack_overflow.dll", 1, "the seven functions' results",
     "the plugin overflowed the stack (stack overflow) in VideoBlit"},
    {"broken_plugin_dllmain_fails.dll", 4, nullptr,
     "verdict: the plugin cannot be used: its start-up code (DllMain) refused to load it"},
    {"broken_plugin_load_crash.dll", 4, nullptr,
     "verdict: the plugin cannot be used: its start-up code (DllMain) crashed as it was loaded"},
    {"broken_plugin_dependency.dll", 4, nullptr,
     "verdict: the plugin cannot be used: the file is there, but it needs broken_dependency.dll, which "
     "Windows does "
     "not find"},
    {"no_such_plugin.dll", 4, nullptr,
     "verdict: the plugin cannot be used: there is no file %no_such_plugin.dll"},
    {"version.dll", 4, nullptr,
     "verdict: the plugin cannot be used: the file is a DLL, but not a video output plugin"},
    {MANUAL_PATH, 4, nullptr, "verdict: the plugin cannot be used: the file is not a 32-bit Windows DLL"},
};

void PrintTo(const SelfCheckRow& row, std::ostream* out) { *out << row.plugin; }

class SelfCheck : public ::testing::TestWithParam<SelfCheckRow> {};

TEST_P(SelfCheck, GivesTheVerdictAndNamesTheFault) {
    const SelfCheckRow& row = GetParam();
    const std::string directory = plugin_path().substr(0, plugin_path().find_last_of('\\') + 1);
    // A path, a DLL of the system, or a file beside the test program.
    const bool beside = !std::strchr(row.plugin, ':') && std::string(row.plugin) != "version.dll";
    const std::string plugin = (beside ? directory : "") + row.plugin;
    const HostRun run = run_host("--check --plugin \"" + plugin + "\"");
    EXPECT_EQ(run.exitCode, row.exitCode) << run.output;
    // The case's own line: "12/25 NAME...", or "after the last case...".
    size_t line = row.caseName ? std::string::npos : 0;
    for (size_t at = 0; row.caseName && at < run.output.size(); at = run.output.find('\n', at) + 1) {
        const size_t name = run.output.find_first_not_of(" 0123456789/", at);
        if (run.output.compare(name, std::strlen(row.caseName), row.caseName) == 0 ||
            run.output.compare(at, 6 + std::strlen(row.caseName), std::string("after ") + row.caseName) ==
                0) {
            line = at;
            break;
        }
        if (run.output.find('\n', at) == std::string::npos)
            break;
    }
    ASSERT_NE(line, std::string::npos) << run.output;
    const std::string said =
        run.output.substr(line, row.caseName ? run.output.find('\n', line) - line : std::string::npos);
    EXPECT_TRUE(says(said, row.said)) << "wanted: " << row.said << "\n" << run.output;
    if (row.caseName) {
        EXPECT_NE(said.find(": FAILED, "), std::string::npos) << said;
    }
    EXPECT_NE(run.output.find(row.exitCode ? "\nWhat to do: " : "\nWhat this means: "), std::string::npos)
        << run.output;
    if (row.exitCode == 0) {
        const std::string cases = std::to_string(case_count());
        EXPECT_NE(run.output.find("verdict: the plugin works on this machine: " + cases + " of " + cases +
                                  " cases held."),
                  std::string::npos)
            << run.output;
        // Each case's line, as the manual shows it.
        std::ostringstream manual;
        manual << std::ifstream(MANUAL_PATH).rdbuf();
        for (int i = 0; i < case_count(); ++i) {
            char line[16];
            std::snprintf(line, sizeof(line), "%2d/%d ", i + 1, case_count());
            EXPECT_NE(run.output.find(line + std::string(case_name(i)) + ": ok, "), std::string::npos)
                << case_name(i);
            EXPECT_NE(manual.str().find(std::string(" ") + case_name(i) + ": ok, "), std::string::npos)
                << case_name(i);
        }
    }
}

// Each fault of the broken plugin has its row above.
TEST(SelfCheckRows, CoverEveryFaultOfTheBrokenPlugin) {
    for (std::string fault : {
#define BROKEN(name, what) #name,
#include "broken_plugin_faults.inc"
#undef BROKEN
         }) {
        for (char& c : fault)
            c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
        const std::string plugin = "broken_plugin_" + fault + ".dll";
        EXPECT_TRUE(std::any_of(std::begin(SELF_CHECK), std::end(SELF_CHECK), [&](const SelfCheckRow& row) {
            return plugin == row.plugin;
        })) << plugin;
    }
}

INSTANTIATE_TEST_SUITE_P(Plugins, SelfCheck, ::testing::ValuesIn(SELF_CHECK), [](const auto& info) {
    std::string name = info.param.plugin;
    name = name.substr(name.find_last_of("\\/") + 1);
    name = name.substr(0, name.find('.'));
    for (char& c : name)
        c = std::isalnum(static_cast<unsigned char>(c)) ? c : '_';
    return name + (std::strstr(info.param.plugin, "checked") ? "_checked" : "");
});

TEST(Host, ScreenshotThatCannotBeWrittenIsTheHostsOwnFailure) {
    const HostRun run = run_host("--frames 1 --scale 1 --screenshot Z:\\no\\such\\folder\\shot.png");
    EXPECT_EQ(run.exitCode, 3u) << run.output;
    EXPECT_NE(run.output.find("cannot write the screenshot"), std::string::npos) << run.output;
}

} // namespace
