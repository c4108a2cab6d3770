// What the checked DLL costs against the release DLL, in the same run and window: VideoInit with
// VideoShutdown, in a process whose heaps hold a million blocks, and VideoBlit, for a frame buffer
// from malloc. Median microseconds, and the checked DLL's as a ratio to the release DLL's.
//   checked_bench_win32.exe    (beside gdivideo.dll and checked\gdivideo.dll)

#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

#include "../host/plugin_api.h"
#include "../host/timing.h"

int main() {
    char self[MAX_PATH];
    GetModuleFileNameA(nullptr, self, MAX_PATH);
    std::string folder(self);
    folder.resize(folder.find_last_of("\\/") + 1);
    constexpr int BLOCKS = 1000000;
    std::vector<void*> blocks(BLOCKS);
    for (void*& block : blocks)
        block = HeapAlloc(GetProcessHeap(), 0, 16);
    auto* frame = static_cast<uint8_t*>(std::malloc(256 * 240));
    for (int i = 0; i < 256 * 240; ++i)
        frame[i] = static_cast<uint8_t>(i * 7);
    HWND window = CreateWindowExA(0, "STATIC", "", WS_POPUP | WS_VISIBLE, 40, 40, 256, 240, nullptr, nullptr,
                                  nullptr, nullptr);

    struct Figures {
        Timing open, blit;
    } figures[2];
    const char* const names[2] = {"gdivideo.dll", "checked\\gdivideo.dll"};
    for (int dll = 0; dll < 2; ++dll) {
        PluginApi plugin;
        std::string error;
        if (!load_plugin(folder + names[dll], plugin, error)) {
            std::fprintf(stderr, "%s\n", error.c_str());
            return 1;
        }
        figures[dll].open = time_runs(10, 200, [&] {
            plugin.init(256, 240, window, 0, frame);
            plugin.shutdown();
        });
        plugin.init(256, 240, window, 0, frame);
        for (int n = 0; n < 64; ++n)
            plugin.setPalette(n, n * 4, 255 - n * 3, n * 37);
        figures[dll].blit = time_runs(30, 600, [&] {
            plugin.blit();
            GdiFlush();
        });
        plugin.shutdown();
        FreeLibrary(plugin.module);
    }
    std::printf("%d blocks in the process heap; microseconds: median (10th-90th percentile)\n", BLOCKS);
    std::printf("%-28s %-26s %-26s %s\n", "", "release", "checked", "checked/release");
    const struct {
        const char* name;
        Timing Figures::*timing;
    } rows[] = {{"VideoInit + VideoShutdown", &Figures::open},
                {"VideoBlit, 256 x 240 at 1x", &Figures::blit}};
    for (const auto& row : rows) {
        const Timing& release = figures[0].*row.timing;
        const Timing& checked = figures[1].*row.timing;
        std::printf("%-28s %8.1f (%6.1f-%7.1f)   %8.1f (%6.1f-%7.1f)   %6.2f\n", row.name, release.median,
                    release.low, release.high, checked.median, checked.low, checked.high,
                    checked.median / release.median);
    }
    DestroyWindow(window);
    return 0;
}
