// The frame conversion in the 32-bit build, as the plugin runs it under Windows or Wine: each
// kernel this machine runs on one 256 x 240 frame, and as the floor a loop that reads every index
// and stores a constant per pixel. Median of many runs, and each as a ratio to the floor.

#include <cstdio>

#include "../core/frame.h"
#include "../host/timing.h"
#include "floor.h"
#include "scene.h"

int main() {
    constexpr int RUNS = 3000;
    constexpr int32_t WIDTH = Scene::WIDTH, HEIGHT = Scene::HEIGHT;
    Scene scene;
    volatile uint32_t sink = 0;

    const ReadAndStoreFloor floor = read_and_store_floor();
    const double floorTime = time_runs(RUNS / 10, RUNS, [&] {
                                 sink = sink + floor.run(scene.frame.data(), WIDTH, HEIGHT, scene.pixels);
                             }).median;
    std::printf("%d-bit build, one %dx%d frame, median of %d runs\n", static_cast<int>(sizeof(void*) * 8),
                WIDTH, HEIGHT, RUNS);
    std::printf("%-16s %10s %10s\n", "", "us", "vs floor");
    for (const FrameKernel& kernel : FRAME_KERNELS) {
        if (!frame_kernel_supported(kernel))
            continue;
        const double us =
            time_runs(RUNS / 10, RUNS, [&] {
                frame_convert(kernel, scene.frame.data(), WIDTH, HEIGHT, scene.palette, scene.pixels);
                sink = sink + scene.pixels[WIDTH * HEIGHT - 1];
            }).median;
        std::printf("kernel %-9s %10.2f %9.2fx\n", kernel.name, us, us / floorTime);
    }
    std::printf("%-16s %10.2f %9.2fx\n", floor.name, floorTime, 1.0);
    return sink == 42 ? 1 : 0;
}
