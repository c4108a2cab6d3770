// The reference host, run as the program it is: its picture through the plugin and its errors.

#include <stb_image.h>

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
    WaitForSingleObject(process.hProcess, 30000);
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
    EXPECT_EQ(run.exitCode, 1u);
    EXPECT_NE(run.output.find("cannot load the plugin 'no_such_plugin.dll' (Windows error 126: "),
              std::string::npos)
        << run.output;

    const std::string notADll = temporary_file("not_a_dll.dll");
    HANDLE file = CreateFileA(notADll.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, 0, nullptr);
    DWORD written = 0;
    WriteFile(file, "MZ not a DLL", 12, &written, nullptr);
    CloseHandle(file);
    run = run_host("--frames 1 --plugin \"" + notADll + "\"");
    EXPECT_EQ(run.exitCode, 1u);
    EXPECT_NE(run.output.find("it is not a 32-bit Windows DLL (Windows error 193"), std::string::npos)
        << run.output;
    DeleteFileA(notADll.c_str());

    run = run_host("--frames 1 --plugin version.dll");
    EXPECT_EQ(run.exitCode, 1u);
    EXPECT_NE(run.output.find("does not export VideoInit"), std::string::npos) << run.output;
}

// One line that says what is wrong and where to look, and exit status 2.
TEST(Host, RejectsBadArgumentsInOneLine) {
    for (const char* arguments : {"--frames abc", "--frames -1", "--scale 0", "--scale 9", "--plugin",
                                  "--plugin \"\"", "--screenshot \"\"", "--bogus", "--bench --frames 5",
                                  "--scale 2 --bench", "--scale 5", "--check --bench", "--check --scale 2"}) {
        const HostRun run = run_host(arguments);
        EXPECT_EQ(run.exitCode, 2u) << arguments;
        EXPECT_EQ(run.output.find("Usage:"), std::string::npos) << arguments << ": " << run.output;
        EXPECT_EQ(run.output.find('\n'), run.output.size() - 1) << arguments << ": " << run.output;
        EXPECT_NE(run.output.find("gdivideo_host --help"), std::string::npos)
            << arguments << ": " << run.output;
    }
    EXPECT_NE(run_host("--scale 5").output.find("larger than the screen"), std::string::npos);
    for (const char* help : {"--help", "-h"}) {
        const HostRun run = run_host(help);
        EXPECT_EQ(run.exitCode, 0u) << help;
        EXPECT_NE(run.output.find("--screenshot FILE"), std::string::npos) << help;
        EXPECT_NE(run.output.find("Exit status"), std::string::npos) << help;
    }
}

// The self-check holds for the plugin and for its checked build; it fails each plugin broken on
// purpose, naming the fault, and ends with what to do; it says why a plugin cannot be used at all.
TEST(Host, SelfCheckPassesThePluginAndNamesTheFaultOfABrokenOne) {
    const std::string directory = plugin_path().substr(0, plugin_path().find_last_of('\\') + 1);
    for (const std::string& plugin : {plugin_path(), checked_plugin_path()}) {
        const HostRun run = run_host("--check --plugin \"" + plugin + "\"");
        EXPECT_EQ(run.exitCode, 0u) << run.output;
        EXPECT_NE(run.output.find("verdict: 11 of 11 cases hold: the plugin works on this machine"),
                  std::string::npos)
            << run.output;
    }
    const struct {
        const char* fault;
        const char* named; // in the line of the picture enlarged twice
    } BROKEN[] = {
        {"nothing", "nothing drawn: the window shows #000000 only"},
        {"swapped", "red and blue swapped (that explains 100% of the picture)"},
        {"upside_down", "upside down (that explains 100% of the picture)"},
        {"mirrored", "mirrored left to right (that explains 100% of the picture)"},
        {"shifted", "shifted by 2 rows and 3 columns (that explains 98% of the picture)"},
        {"pitch", "its rows read 257 bytes apart, not 256 (a wrong row pitch)"},
        {"unscaled", "drawn at the frame's own size in the corner, not stretched over the window (that explains 25%"},
    };
    for (const auto& broken : BROKEN) {
        const HostRun run = run_host("--check --plugin \"" + directory + "broken_plugin_" + broken.fault + ".dll\"");
        EXPECT_EQ(run.exitCode, 1u) << run.output;
        const size_t line = run.output.find("FAILED  a picture enlarged twice, 512 x 480: ");
        EXPECT_NE(run.output.find(broken.named, line), std::string::npos) << broken.fault << ":\n" << run.output;
        EXPECT_NE(run.output.find("ok      calls a program makes out of the usual order"), std::string::npos)
            << run.output;
        EXPECT_NE(run.output.find("\nwhat to do: "), std::string::npos) << run.output;
    }
    for (const char* plugin : {"no_such_plugin.dll", "version.dll"}) {
        const HostRun run = run_host(std::string("--check --plugin ") + plugin);
        EXPECT_EQ(run.exitCode, 2u) << run.output;
        EXPECT_NE(run.output.find("not run, as the plugin cannot be used"), std::string::npos) << run.output;
        EXPECT_NE(run.output.find("\nlikely: "), std::string::npos) << run.output;
    }
}

TEST(Host, ScreenshotThatCannotBeWrittenIsTheHostsOwnFailure) {
    const HostRun run = run_host("--frames 1 --scale 1 --screenshot Z:\\no\\such\\folder\\shot.png");
    EXPECT_EQ(run.exitCode, 3u) << run.output;
    EXPECT_NE(run.output.find("cannot write the screenshot"), std::string::npos) << run.output;
}

} // namespace
