// The reference host, run as the program it is: its picture through the plugin and its errors.

#include <stb_image.h>

#include "../../host/test_card.h"
#include "test_support.h"

namespace {

struct HostRun {
    DWORD exitCode = 0xFFFFFFFF;
    std::string output; // standard output and standard error together
};

HostRun run_host(const std::string& arguments) {
    HostRun run;
    const std::string path = plugin_path();
    std::string commandLine =
        "\"" + path.substr(0, path.find_last_of('\\') + 1) + "gdivideo_host.exe\" " + arguments;

    SECURITY_ATTRIBUTES inherit = {sizeof(SECURITY_ATTRIBUTES), nullptr, TRUE};
    HANDLE readEnd = nullptr, writeEnd = nullptr;
    CreatePipe(&readEnd, &writeEnd, &inherit, 0);
    SetHandleInformation(readEnd, HANDLE_FLAG_INHERIT, 0);
    STARTUPINFOA startup = {};
    startup.cb = sizeof(startup);
    startup.dwFlags = STARTF_USESTDHANDLES;
    startup.hStdOutput = writeEnd;
    startup.hStdError = writeEnd;
    PROCESS_INFORMATION process = {};
    if (!CreateProcessA(nullptr, &commandLine[0], nullptr, nullptr, TRUE, 0, nullptr, nullptr, &startup,
                        &process)) {
        CloseHandle(readEnd);
        CloseHandle(writeEnd);
        return run;
    }
    CloseHandle(writeEnd);
    char chunk[512];
    DWORD got = 0;
    while (ReadFile(readEnd, chunk, sizeof(chunk), &got, nullptr) && got)
        run.output.append(chunk, got);
    WaitForSingleObject(process.hProcess, 30000);
    GetExitCodeProcess(process.hProcess, &run.exitCode);
    CloseHandle(process.hProcess);
    CloseHandle(process.hThread);
    CloseHandle(readEnd);
    return run;
}

uint32_t pixel_at(const unsigned char* rgb, int width, int x, int y) {
    const unsigned char* p = rgb + (y * width + x) * 3;
    return static_cast<uint32_t>(p[0]) << 16 | static_cast<uint32_t>(p[1]) << 8 | p[2];
}

TEST(Host, ScreenshotShowsTheTestCardThroughThePlugin) {
    char directory[MAX_PATH];
    GetTempPathA(MAX_PATH, directory);
    const std::string screenshot = std::string(directory) + "gdivideo_host_test.png";
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

TEST(Host, ReportsAMissingPluginOrOneWithoutTheFunctions) {
    HostRun run = run_host("--frames 1 --plugin no_such_plugin.dll");
    EXPECT_EQ(run.exitCode, 1u);
    EXPECT_NE(run.output.find("cannot load the plugin 'no_such_plugin.dll'"), std::string::npos)
        << run.output;

    run = run_host("--frames 1 --plugin version.dll");
    EXPECT_EQ(run.exitCode, 1u);
    EXPECT_NE(run.output.find("does not export VideoInit"), std::string::npos) << run.output;
}

TEST(Host, RejectsBadArgumentsWithUsage) {
    for (const char* arguments :
         {"--frames abc", "--frames -1", "--scale 0", "--scale 9", "--plugin", "--bogus"}) {
        const HostRun run = run_host(arguments);
        EXPECT_EQ(run.exitCode, 2u) << arguments;
        EXPECT_NE(run.output.find("Usage:"), std::string::npos) << arguments << ": " << run.output;
    }
    const HostRun help = run_host("--help");
    EXPECT_EQ(help.exitCode, 0u);
    EXPECT_NE(help.output.find("--screenshot FILE"), std::string::npos);
}

} // namespace
