// The frame conversion in the 32-bit build, as the plugin runs it under Windows or Wine: each
// kernel this machine runs on one 256 x 240 frame, and as the floor a loop that reads every index
// and stores a constant per pixel. Median of many runs, and each as a ratio to the floor.

#include <windows.h>

#include <algorithm>
#include <cstdio>
#include <functional>
#include <vector>

#include "../core/frame.h"
#include "floor.h"

namespace {

constexpr int32_t WIDTH = 256, HEIGHT = 240;
constexpr int RUNS = 3000;

double median_microseconds(const std::function<void()>& run) {
    LARGE_INTEGER frequency, start, end;
    QueryPerformanceFrequency(&frequency);
    for (int i = 0; i < RUNS / 10; ++i)
        run();
    std::vector<double> times(RUNS);
    for (double& time : times) {
        QueryPerformanceCounter(&start);
        run();
        QueryPerformanceCounter(&end);
        time = 1e6 * static_cast<double>(end.QuadPart - start.QuadPart) /
               static_cast<double>(frequency.QuadPart);
    }
    std::sort(times.begin(), times.end());
    return times[RUNS / 2];
}

} // namespace

int main() {
    PaletteTable palette;
    palette_clear(palette);
    for (int32_t n = 0; n < PALETTE_COLOURS; ++n)
        palette_set(palette, n, palette_pack(n * 4, 255 - n * 3, n * 37));
    std::vector<uint8_t> frame(FRAME_PITCH * HEIGHT);
    uint32_t state = 12345;
    for (uint8_t& value : frame) {
        state = state * 1103515245 + 12345;
        value = static_cast<uint8_t>(state >> 16);
    }
    // Page-aligned, as a DIB section's pixel memory is.
    auto* pixels = static_cast<uint32_t*>(
        VirtualAlloc(nullptr, WIDTH * HEIGHT * 4, MEM_RESERVE | MEM_COMMIT, PAGE_READWRITE));
    volatile uint32_t sink = 0;

    const ReadAndStoreFloor floor = read_and_store_floor();
    const double floorTime =
        median_microseconds([&] { sink = sink + floor.run(frame.data(), WIDTH, HEIGHT, pixels); });
    std::printf("32-bit build, one %dx%d frame, median of %d runs\n", WIDTH, HEIGHT, RUNS);
    std::printf("%-16s %10s %10s\n", "", "us", "vs floor");
    for (const FrameKernel& kernel : FRAME_KERNELS) {
        if (!frame_kernel_supported(kernel))
            continue;
        const double us = median_microseconds([&] {
            frame_convert(kernel, frame.data(), WIDTH, HEIGHT, palette, pixels);
            sink = sink + pixels[WIDTH * HEIGHT - 1];
        });
        std::printf("kernel %-9s %10.2f %9.2fx\n", kernel.name, us, us / floorTime);
    }
    std::printf("%-16s %10.2f %9.2fx\n", floor.name, floorTime, 1.0);
    VirtualFree(pixels, 0, MEM_RELEASE);
    return sink == 42 ? 1 : 0;
}
