#pragma once

#include <string>

struct HostOptions {
    std::string plugin;     // empty: gdivideo.dll beside the host
    int frames = -1;        // -1: until the window is closed
    int scale = 3;          // initial client area: 256 x 240 times this
    std::string screenshot; // PNG of the client area at the end; empty: none
    bool bench = false;
    bool check = false;
    bool help = false;
};

// False, with a message in `error`, for an unknown option, a missing or empty value, a value out of
// range, --bench with --frames or --scale, or --check with anything but --plugin.
bool parse_options(int argc, const char* const* argv, HostOptions& options, std::string& error);

extern const char* const USAGE;

// The exit status, as the usage states it.
constexpr int EXIT_FAILED = 1, EXIT_ARGUMENTS = 2, EXIT_HOST = 3, EXIT_UNUSABLE = 4;
