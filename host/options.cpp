#include "options.h"

#include <cerrno>
#include <cstdlib>

const char* const USAGE = R"(Usage: gdivideo_host [options]
Shows a test card through a video output plugin, at 60 frames per second.

  --plugin PATH       the plugin DLL (default: gdivideo.dll beside this program)
  --frames N          show N frames, then exit (default: until the window is closed)
  --scale K           open the window at K times 256 x 240, K from 1 to 8 (default: 3)
  --screenshot FILE   at the end, write the window's client area to FILE as PNG
  --bench             time VideoBlit at 1x, 2x and 3x against a bare StretchDIBits
  --help              show this text
)";

namespace {

bool parse_int(const std::string& text, int low, int high, int& value) {
    if (text.empty())
        return false;
    char* end = nullptr;
    errno = 0;
    const long parsed = std::strtol(text.c_str(), &end, 10);
    if (errno || *end || parsed < low || parsed > high)
        return false;
    value = static_cast<int>(parsed);
    return true;
}

} // namespace

bool parse_options(int argc, const char* const* argv, HostOptions& options, std::string& error) {
    for (int i = 1; i < argc; ++i) {
        const std::string option = argv[i];
        if (option == "--help") {
            options.help = true;
            continue;
        }
        if (option == "--bench") {
            options.bench = true;
            continue;
        }
        if (option != "--plugin" && option != "--frames" && option != "--scale" && option != "--screenshot") {
            error = "unknown option '" + option + "'";
            return false;
        }
        if (i + 1 == argc) {
            error = option + " needs a value";
            return false;
        }
        const std::string value = argv[++i];
        if (option == "--plugin")
            options.plugin = value;
        else if (option == "--screenshot")
            options.screenshot = value;
        else if (option == "--frames" && !parse_int(value, 0, 100000000, options.frames))
            error = "--frames needs a whole number of frames, 0 or more, not '" + value + "'";
        else if (option == "--scale" && !parse_int(value, 1, 8, options.scale))
            error = "--scale needs a whole number from 1 to 8, not '" + value + "'";
        if (!error.empty())
            return false;
    }
    return true;
}
