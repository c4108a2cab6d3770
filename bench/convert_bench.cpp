// The frame conversion on one 256 x 240 frame: each kernel this machine runs, libswscale and SDL2
// doing the same palette-8 to packed-32 conversion, and as the floor a loop that reads every index
// and stores a constant per pixel. Prints times, then each as a ratio to the best library and to
// the floor; with --chart-data FILE also writes the figures as tab-separated values.

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <iterator>
#include <memory>
#include <string>
#include <vector>

#include <benchmark/benchmark.h>

extern "C" {
#include <libavutil/pixfmt.h>
#include <libswscale/swscale.h>
}
#include <SDL2/SDL.h>

#include "../core/frame.h"
#include "floor.h"
#include "scene.h"

namespace {

constexpr int32_t WIDTH = Scene::WIDTH, HEIGHT = Scene::HEIGHT;

Scene& scene() {
    static Scene instance;
    return instance;
}

void set_pixels_processed(benchmark::State& state) {
    state.SetItemsProcessed(state.iterations() * WIDTH * HEIGHT);
}

void BM_Kernel(benchmark::State& state, const FrameKernel* kernel) {
    Scene& s = scene();
    if (!frame_kernel_supported(*kernel)) {
        state.SkipWithError("not supported on this machine");
        return;
    }
    for (auto _ : state) {
        frame_convert(*kernel, s.frame.data(), WIDTH, HEIGHT, s.palette, s.pixels);
        benchmark::DoNotOptimize(s.pixels);
        benchmark::ClobberMemory();
    }
    set_pixels_processed(state);
}

void BM_Swscale(benchmark::State& state) {
    Scene& s = scene();
    SwsContext* context = sws_getContext(WIDTH, HEIGHT, AV_PIX_FMT_PAL8, WIDTH, HEIGHT, AV_PIX_FMT_BGR0,
                                         SWS_POINT, nullptr, nullptr, nullptr);
    const uint8_t* source[4] = {s.frame.data(), reinterpret_cast<const uint8_t*>(s.palette.entries), nullptr,
                                nullptr};
    const int sourceStride[4] = {FRAME_PITCH, 0, 0, 0};
    uint8_t* destination[4] = {reinterpret_cast<uint8_t*>(s.pixels), nullptr, nullptr, nullptr};
    const int destinationStride[4] = {WIDTH * 4, 0, 0, 0};
    for (auto _ : state) {
        sws_scale(context, source, sourceStride, 0, HEIGHT, destination, destinationStride);
        benchmark::ClobberMemory();
    }
    sws_freeContext(context);
    set_pixels_processed(state);
}

void BM_Sdl2(benchmark::State& state) {
    Scene& s = scene();
    SDL_Surface* source = SDL_CreateRGBSurfaceWithFormatFrom(s.frame.data(), WIDTH, HEIGHT, 8, FRAME_PITCH,
                                                             SDL_PIXELFORMAT_INDEX8);
    SDL_Color colours[256];
    for (int32_t i = 0; i < 256; ++i) {
        const uint32_t c = s.palette.entries[i];
        colours[i] = {static_cast<Uint8>(c >> 16), static_cast<Uint8>(c >> 8), static_cast<Uint8>(c), 255};
    }
    SDL_SetPaletteColors(source->format->palette, colours, 0, 256);
    SDL_Surface* destination =
        SDL_CreateRGBSurfaceWithFormatFrom(s.pixels, WIDTH, HEIGHT, 32, WIDTH * 4, SDL_PIXELFORMAT_RGB888);
    for (auto _ : state) {
        SDL_BlitSurface(source, nullptr, destination, nullptr);
        benchmark::ClobberMemory();
    }
    SDL_FreeSurface(destination);
    SDL_FreeSurface(source);
    set_pixels_processed(state);
}

void BM_Floor(benchmark::State& state, ReadAndStoreFloor floor) {
    Scene& s = scene();
    for (auto _ : state) {
        benchmark::DoNotOptimize(floor.run(s.frame.data(), WIDTH, HEIGHT, s.pixels));
        benchmark::ClobberMemory();
    }
    set_pixels_processed(state);
}

// Gathers the times per frame so that the ratios can be printed after the usual report.
class RatioReporter : public benchmark::ConsoleReporter {
  public:
    void ReportRuns(const std::vector<Run>& runs) override {
        for (const Run& run : runs)
            if (!run.error_occurred && run.run_type == Run::RT_Aggregate && run.aggregate_name == "median")
                microseconds_.emplace_back(run.run_name.function_name, run.GetAdjustedRealTime());
        ConsoleReporter::ReportRuns(runs);
    }
    // In the order they ran.
    const std::vector<std::pair<std::string, double>>& microseconds() const { return microseconds_; }

  private:
    std::vector<std::pair<std::string, double>> microseconds_;
};

} // namespace

int main(int argc, char** argv) {
    std::string chartData;
    std::vector<char*> arguments;
    for (int i = 0; i < argc; ++i) {
        if (std::strcmp(argv[i], "--chart-data") == 0 && i + 1 < argc)
            chartData = argv[++i];
        else
            arguments.push_back(argv[i]);
    }
    for (auto kernel = std::rbegin(FRAME_KERNELS); kernel != std::rend(FRAME_KERNELS); ++kernel)
        benchmark::RegisterBenchmark((std::string("kernel ") + kernel->name).c_str(), BM_Kernel, &*kernel)
            ->Unit(benchmark::kMicrosecond);
    benchmark::RegisterBenchmark("libswscale", BM_Swscale)->Unit(benchmark::kMicrosecond);
    benchmark::RegisterBenchmark("SDL2", BM_Sdl2)->Unit(benchmark::kMicrosecond);
    const ReadAndStoreFloor floor = read_and_store_floor();
    benchmark::RegisterBenchmark(floor.name, BM_Floor, floor)->Unit(benchmark::kMicrosecond);

    int count = static_cast<int>(arguments.size());
    benchmark::Initialize(&count, arguments.data());
    RatioReporter reporter;
    benchmark::RunSpecifiedBenchmarks(&reporter);

    const auto& us = reporter.microseconds();
    const auto time = [&](const std::string& name) {
        for (const auto& [runName, value] : us)
            if (runName == name)
                return value;
        return 0.0;
    };
    const double library = std::min(time("libswscale"), time("SDL2"));
    const double floorTime = time(floor.name);
    std::printf("\nOne %dx%d frame, median microseconds; ratios: time / best library, time / floor (reading\n"
                "every index and storing a constant per pixel)\n",
                WIDTH, HEIGHT);
    std::printf("%-16s %10s %12s %10s\n", "", "us", "vs library", "vs floor");
    FILE* data = chartData.empty() ? nullptr : std::fopen(chartData.c_str(), "w");
    for (const auto& [name, value] : us) {
        std::printf("%-16s %10.2f %11.2fx %9.2fx\n", name.c_str(), value, value / library, value / floorTime);
        if (data)
            std::fprintf(data, "\"%s\"\t%.3f\n", name.c_str(), value);
    }
    if (data)
        std::fclose(data);
    return 0;
}
