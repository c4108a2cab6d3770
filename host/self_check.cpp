#include "self_check.h"

#include <cpuid.h>

#include <cstdio>

#include "check_cases.h"
#include "check_child.h"
#include "options.h"
#include "plugin_file.h"

namespace {

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

void print_identity(const std::string& path) {
    HDC screen = GetDC(nullptr);
    const int bits = GetDeviceCaps(screen, BITSPIXEL) * GetDeviceCaps(screen, PLANES);
    const int dpi = GetDeviceCaps(screen, LOGPIXELSX);
    ReleaseDC(nullptr, screen);
    const std::string sha256 = file_sha256(path);
    std::printf("gdivideo self-check %s of the plugin %s\n", GDIVIDEO_VERSION_TEXT, path.c_str());
    if (!sha256.empty())
        std::printf("plugin: %s; SHA-256 %s: %s\n", file_version(path).c_str(), sha256.c_str(),
                    release_identity(sha256).c_str());
    std::printf("system: %s; screen %d x %d at %d bits a pixel, %d DPI; CPU %s\n", windows_name().c_str(),
                GetSystemMetrics(SM_CXSCREEN), GetSystemMetrics(SM_CYSCREEN), bits, dpi, cpu_name().c_str());
    std::fflush(stdout);
}

} // namespace

int run_self_check(const std::string& pluginPath) {
    // Sizes in the screen's own pixels, whatever the desktop's scaling.
    if (auto aware = reinterpret_cast<BOOL(WINAPI*)()>(
            reinterpret_cast<void*>(GetProcAddress(GetModuleHandleA("user32.dll"), "SetProcessDPIAware"))))
        aware();
    print_identity(pluginPath);
    const int total = case_count();
    int held = 0, failures = 0, skipped = 0;
    std::string firstFailure;
    const ChildRun run = run_cases_in_children(
        pluginPath,
        [&](int index) {
            std::printf("%2d/%d %s: ", index + 1, total, case_name(index));
            std::fflush(stdout);
        },
        [&](int index, const Outcome& outcome) {
            static const char* const WORDS[] = {"", "ok", "FAILED", "skipped", "not run"};
            std::printf("%s, %s\n", WORDS[outcome.kind], outcome.figure.c_str());
            std::fflush(stdout);
            held += outcome.kind == Outcome::HOLDS;
            const bool failedHere = outcome.kind == Outcome::FAILED || outcome.kind == Outcome::NOT_RUN;
            if (failedHere && !failures)
                firstFailure = "'" + std::string(case_name(index)) + "': " + outcome.figure;
            failures += failedHere;
            skipped += outcome.kind == Outcome::SKIPPED;
        });
    if (!run.hostProblem.empty()) {
        std::printf(
            "verdict: the check could not run: %s\nWhat to do: run it again; if this comes again, send this "
            "whole output to the plugin's maker\n",
            run.hostProblem.c_str());
        return EXIT_HOST;
    }
    if (!run.loaded) {
        // What Windows said, or what the plugin did as it was loaded, then what that means.
        std::printf("loading it: %s\n", run.loadProblem.c_str());
        const bool refused = run.loadError || run.loadProblem.find("does not export") != std::string::npos;
        std::printf(
            "verdict: the plugin cannot be used: %s\n",
            refused ? why_it_cannot_load(pluginPath, run.loadError).c_str()
                    : "it failed as it was loaded\nWhat to do: send this whole output to the plugin's maker");
        return EXIT_UNUSABLE;
    }
    if (!run.afterCases.empty()) {
        std::printf("after the last case, as the plugin was unloaded: FAILED, %s\n", run.afterCases.c_str());
        if (!failures++)
            firstFailure = "after the last case: " + run.afterCases;
    }
    if (failures) {
        std::printf(
            "verdict: the plugin does NOT work as it should on this machine: %d of %d cases failed or did "
            "not "
            "run, the first %s. A program that shows its picture through it may show it wrong, or not at "
            "all.\n"
            "What to do: if the line 'plugin:' above does not say it is the plugin released with this check, "
            "install that one again and run this once more. Otherwise send this whole output to the maker of "
            "the plugin, or of the program that came with it; a program's maker can also run the program "
            "with "
            "the plugin's checked build (bin/checked/gdivideo.dll of its kit) to see what goes wrong.\n",
            failures, total, firstFailure.c_str());
        return EXIT_FAILED;
    }
    std::printf(
        "verdict: the plugin works on this machine: %d of %d cases held%s.\n"
        "What this means: the plugin works here, so if a program shows its picture wrong through it, the "
        "fault is most likely in the program: send this whole output to the program's maker, with what you "
        "see.\n",
        held, total,
        skipped ? (", " + std::to_string(skipped) + " could not be run here, as said above").c_str() : "");
    return 0;
}
