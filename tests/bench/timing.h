// SPDX-License-Identifier: BSD-2-Clause

#pragma once

#include <algorithm>
#include <chrono>
#include <cstdint>
#include <vector>

// What every benchmark needs to time its runs and sum them up.
namespace bench {

// The p-quantile (0 to 1) of the figures, by nearest rank: 0.5 is the median.
inline double percentile(std::vector<double> v, double p) {
    std::sort(v.begin(), v.end());
    return v[std::min(v.size() - 1, static_cast<std::size_t>(p * static_cast<double>(v.size())))];
}

inline double median(std::vector<double> v) {
    return percentile(std::move(v), 0.5);
}

inline double worst(const std::vector<double> &v) {
    return *std::max_element(v.begin(), v.end());
}

inline double ms(std::int64_t ns) {
    return static_cast<double>(ns) / 1e6;
}

// Runs f the given number of times; returns each run's time in ms.
template <typename F> std::vector<double> time_runs(int runs, F &&f) {
    std::vector<double> times;
    times.reserve(static_cast<std::size_t>(runs));
    for (int i = 0; i < runs; ++i) {
        const auto start = std::chrono::steady_clock::now();
        f();
        times.push_back(
            std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - start)
                .count());
    }
    return times;
}

} // namespace bench
