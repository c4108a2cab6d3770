#include "bench.h"

#include <cstdio>
#include <vector>

#include "host_window.h"
#include "test_card.h"
#include "timing.h"

namespace {

constexpr int WARM_UP = 30;
constexpr int SAMPLES = 600;

} // namespace

void run_bench(const PluginApi& plugin, HWND window, const uint8_t* frameBuffer, int32_t frameNumber) {
    // The same frame, converted by the host, for the bare StretchDIBits.
    std::vector<uint32_t> converted(card::WIDTH * card::HEIGHT);
    for (int32_t y = 0; y < card::HEIGHT; ++y)
        for (int32_t x = 0; x < card::WIDTH; ++x)
            converted[y * card::WIDTH + x] = card::colour(frameBuffer[y * card::PITCH + x] % 64, frameNumber);
    BITMAPINFO info = {};
    info.bmiHeader.biSize = sizeof(BITMAPINFOHEADER);
    info.bmiHeader.biWidth = card::WIDTH;
    info.bmiHeader.biHeight = -card::HEIGHT;
    info.bmiHeader.biPlanes = 1;
    info.bmiHeader.biBitCount = 32;
    info.bmiHeader.biCompression = BI_RGB;
    HDC dc = GetDC(window);

    std::printf("%d calls a figure, after %d to warm up; microseconds: median (10th-90th percentile)\n",
                SAMPLES, WARM_UP);
    std::printf("scale  client     VideoBlit                  frames/s   bare StretchDIBits         "
                "VideoBlit/bare\n");
    for (int scale = 1; scale <= 3; ++scale) {
        const int width = card::WIDTH * scale, height = card::HEIGHT * scale;
        resize_client(window, width, height);
        pump_messages();
        // Each call is timed until GDI has done its work.
        const Timing blit = time_runs(WARM_UP, SAMPLES, [&] {
            plugin.blit();
            GdiFlush();
        });
        const Timing bare = time_runs(WARM_UP, SAMPLES, [&] {
            StretchDIBits(dc, 0, 0, width, height, 0, 0, card::WIDTH, card::HEIGHT, converted.data(), &info,
                          DIB_RGB_COLORS, SRCCOPY);
            GdiFlush();
        });
        std::printf("%dx     %4dx%-4d  %8.1f (%7.1f-%7.1f)  %8.0f   %8.1f (%7.1f-%7.1f)  %6.2f\n", scale,
                    width, height, blit.median, blit.low, blit.high, 1e6 / blit.median, bare.median, bare.low,
                    bare.high, blit.median / bare.median);
    }
    ReleaseDC(window, dc);
}
