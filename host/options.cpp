#include "options.h"

#include <cerrno>
#include <cstdlib>

const char* const USAGE = R"(Usage: gdivideo_host [options]
Shows a test card through a video output plugin, at 60 frames per second.

  --plugin PATH       the plugin DLL (default: gdivideo.dll beside this program)
  --frames N          show N frames, then exit (default: until the window is closed)
  --scale K           open the window at K times 256 x 240, K from 1 to 8 (default: 3)
  --screenshot FILE   at the end, write the window's client area to FILE as PNG
  --bench             time VideoBlit at 1x, 2x and 3x against a bare StretchDIBits, after one
                      second of frames (takes neither --frames nor --scale)
  --check             check that the plugin works on this machine: run it through the cases a
                      host meets in real windows, one line each, and a verdict (takes only
                      --plugin)
  -h, --help          show this text

Exit status: 0 done, or the plugin works: every case of --check held; 1 the plugin does not work:
a case of --check failed; 2 bad arguments, or a window too large for the screen; 3 the host itself
failed (no window, the screenshot could not be written, or --check could not run); 4 the plugin
cannot be used: it cannot be loaded, or is not a video output plugin.
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

std::string check_value(const std::string& option, const std::string& value, HostOptions& options) {
    if (option == "--plugin" || option == "--screenshot") {
        if (value.empty())
            return option + " needs a file name, not an empty one";
        (option == "--plugin" ? options.plugin : options.screenshot) = value;
    } else if (option == "--frames" && !parse_int(value, 0, 100000000, options.frames)) {
        return "--frames needs a whole number of frames, 0 or more, not '" + value + "'";
    } else if (option == "--scale" && !parse_int(value, 1, 8, options.scale)) {
        return "--scale needs a whole number from 1 to 8, not '" + value + "'";
    }
    return "";
}

} // namespace

bool parse_options(int argc, const char* const* argv, HostOptions& options, std::string& error) {
    bool framesOrScale = false, screenshot = false;
    for (int i = 1; i < argc; ++i) {
        const std::string option = argv[i];
        if (option == "--help" || option == "-h") {
            options.help = true;
            continue;
        }
        if (option == "--bench" || option == "--check") {
            (option == "--bench" ? options.bench : options.check) = true;
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
        framesOrScale = framesOrScale || option == "--frames" || option == "--scale";
        screenshot = screenshot || option == "--screenshot";
        error = check_value(option, argv[++i], options);
        if (!error.empty())
            return false;
    }
    if (options.check && (options.bench || framesOrScale || screenshot)) {
        error = "--check runs its own windows and frames: it takes only --plugin";
        return false;
    }
    if (options.bench && framesOrScale) {
        error = "--bench sets its own frames and scales: it takes neither --frames nor --scale";
        return false;
    }
    return true;
}
