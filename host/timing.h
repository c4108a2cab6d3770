// Times many runs of a call, after some runs to warm up: the median and the 10th and 90th
// percentiles, in microseconds.
#pragma once

#include <algorithm>
#include <chrono>
#include <vector>

struct Timing {
    double median, low, high;
};

template <typename Call> Timing time_runs(int warmUp, int runs, Call call) {
    for (int i = 0; i < warmUp; ++i)
        call();
    std::vector<double> samples(runs);
    for (double& sample : samples) {
        const auto start = std::chrono::steady_clock::now();
        call();
        sample = std::chrono::duration<double, std::micro>(std::chrono::steady_clock::now() - start).count();
    }
    std::sort(samples.begin(), samples.end());
    return {samples[runs / 2], samples[runs / 10], samples[runs * 9 / 10]};
}
