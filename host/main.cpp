// The reference host: loads a video output plugin, opens it on a window of its own and shows a
// test card through it at 60 frames per second, in the order a host calls the plugin.

#include <cstdio>
#include <vector>

#define STB_IMAGE_WRITE_IMPLEMENTATION
#include <stb_image_write.h>

#include "bench.h"
#include "check_child.h"
#include "host_window.h"
#include "options.h"
#include "plugin_api.h"
#include "self_check.h"
#include "test_card.h"

namespace {

constexpr int FRAMES_PER_SECOND = 60;

int fail(const std::string& message, int code) {
    std::fprintf(stderr, "gdivideo_host: %s\n", message.c_str());
    return code;
}

std::string default_plugin() {
    char path[MAX_PATH];
    const DWORD length = GetModuleFileNameA(nullptr, path, MAX_PATH);
    std::string directory(path, length);
    return directory.substr(0, directory.find_last_of("\\/") + 1) + "gdivideo.dll";
}

void set_palette(const PluginApi& plugin, int32_t frame, int32_t first) {
    for (int32_t n = first; n < GDIVIDEO_PALETTE_COLOURS; ++n) {
        const uint32_t colour = card::colour(n, frame);
        plugin.setPalette(n, colour >> 16, colour >> 8 & 0xFF, colour & 0xFF);
    }
    plugin.applyPalette();
}

bool write_png(const std::string& path, const std::vector<uint32_t>& pixels, int width, int height) {
    std::vector<uint8_t> rgb(pixels.size() * 3);
    for (size_t i = 0; i < pixels.size(); ++i) {
        rgb[i * 3] = static_cast<uint8_t>(pixels[i] >> 16);
        rgb[i * 3 + 1] = static_cast<uint8_t>(pixels[i] >> 8);
        rgb[i * 3 + 2] = static_cast<uint8_t>(pixels[i]);
    }
    return !rgb.empty() && stbi_write_png(path.c_str(), width, height, 3, rgb.data(), width * 3) != 0;
}

// Shows frames until the count is reached or the window is closed; returns the frames shown.
int32_t run_frames(const PluginApi& plugin, uint8_t* buffer, int frames) {
    LARGE_INTEGER frequency, start, now;
    QueryPerformanceFrequency(&frequency);
    QueryPerformanceCounter(&start);
    int32_t frame = 0;
    for (; (frames < 0 || frame < frames) && pump_messages(); ++frame) {
        card::draw_moving(buffer, frame);
        set_palette(plugin, frame, card::FIRST_CYCLING);
        plugin.blit();

        const LONGLONG due = start.QuadPart + (frame + 1) * frequency.QuadPart / FRAMES_PER_SECOND;
        QueryPerformanceCounter(&now);
        if (now.QuadPart < due)
            Sleep(static_cast<DWORD>((due - now.QuadPart) * 1000 / frequency.QuadPart));
    }
    return frame;
}

} // namespace

int main(int argc, char** argv) {
    // The self-check's own child, which runs the plugin where its death cannot take the check.
    if (argc > 1 && std::string(argv[1]) == "--check-child")
        return run_check_child(argc, argv);
    HostOptions options;
    std::string error;
    if (!parse_options(argc, argv, options, error))
        return fail(error + " (see gdivideo_host --help)", EXIT_ARGUMENTS);
    if (options.help) {
        std::fputs(USAGE, stdout);
        return 0;
    }

    const std::string pluginPath = options.plugin.empty() ? default_plugin() : options.plugin;
    if (options.check)
        return run_self_check(pluginPath);

    if (!window_fits_screen(card::WIDTH * options.scale, card::HEIGHT * options.scale, error))
        return fail(error + " (see gdivideo_host --help)", EXIT_ARGUMENTS);

    PluginApi plugin;
    if (!load_plugin(pluginPath, plugin, error))
        return fail(error, EXIT_UNUSABLE);
    HWND window = create_host_window(card::WIDTH * options.scale, card::HEIGHT * options.scale, plugin.blit);
    if (!window)
        return fail("cannot create a window", EXIT_HOST);

    // The host's frame buffer: rows 256 bytes apart. It stays put until VideoShutdown.
    std::vector<uint8_t> buffer(card::PITCH * card::HEIGHT);
    card::draw(buffer.data());

    plugin.init(card::WIDTH, card::HEIGHT, window, 0, buffer.data());
    set_palette(plugin, 0, 0);
    const int frames = options.bench && options.frames < 0 ? FRAMES_PER_SECOND : options.frames;
    const int32_t shown = run_frames(plugin, buffer.data(), frames);
    if (options.bench && IsWindow(window))
        run_bench(plugin, window, buffer.data(), shown);

    int result = 0;
    if (!options.screenshot.empty() && IsWindow(window)) {
        int width = 0, height = 0;
        const std::vector<uint32_t> pixels = read_client_pixels(window, width, height);
        if (write_png(options.screenshot, pixels, width, height))
            std::printf("Screenshot (%dx%d): %s\n", width, height, options.screenshot.c_str());
        else
            result = fail("cannot write the screenshot '" + options.screenshot + "'", EXIT_HOST);
    }
    plugin.shutdown();
    if (IsWindow(window))
        DestroyWindow(window);
    FreeLibrary(plugin.module);
    return result;
}
