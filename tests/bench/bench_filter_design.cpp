// SPDX-License-Identifier: BSD-2-Clause
// Times the FIR design at 2048 and 65536 taps, the first of each length (FFTW
// measures its plan) and later ones (the plan comes from FFTW's wisdom), and
// the response evaluation at 65536 taps against the plain column loop, whose
// results it must equal bit for bit. Prints its figures.
#include <algorithm>
#include <chrono>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <vector>

#include "eq/filter_design.h"
#include "eq/freq_response.h"
#include "timing.h"

using bench::median;

namespace {

constexpr double PI = 3.14159265358979323846;
const char *const BANDPASS = "norm\n250 0\n500 1\n1000 1\n2000 0\n";

template <typename F> double time_ms(F &&f) {
    const auto start = std::chrono::steady_clock::now();
    f();
    return std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - start)
        .count();
}

void bench_design(std::uint64_t n, int runs) {
    std::vector<double> c(n);
    bool invalid = false;
    const double first =
        time_ms([&] { invalid |= zarn::design_coefficients(48000.0, n, BANDPASS, c.data()); });
    std::vector<double> later;
    for (int i = 0; i < runs; ++i)
        later.push_back(
            time_ms([&] { invalid |= zarn::design_coefficients(48000.0, n, BANDPASS, c.data()); }));
    std::printf(
        "design N=%-6llu first %8.2f ms   later median %7.2f ms  min %7.2f ms (%d runs)%s\n",
        static_cast<unsigned long long>(n), first, median(later),
        *std::min_element(later.begin(), later.end()), runs, invalid ? "  INVALID" : "");
}

void plain_response(double rate, const std::vector<double> &c, double mag[]) {
    const double span = rate >= 16000.0 ? 8000.0 : 0.5 * rate;
    for (int x = 0; x < zarn::RESPONSE_COLUMNS; ++x) {
        const double freq = std::exp2(static_cast<double>(x) / 256.0) * span - span;
        const double omega = freq * 2.0 * PI / rate;
        double angle = 0.0, p = 0.0, q = 0.0;
        for (double ck : c) {
            q = q + ck * std::sin(angle);
            p = p + ck * std::cos(angle);
            angle = angle + omega;
        }
        mag[x] = std::sqrt(p * p + q * q);
    }
}

} // namespace

int main() {
    // The machine may be shared: the figures mean little under load.
    if (std::FILE *f = std::fopen("/proc/loadavg", "r")) {
        char load[64] = {};
        if (std::fgets(load, sizeof load, f))
            std::printf("load average: %s", load);
        std::fclose(f);
    }
    bench_design(2048, 50);
    bench_design(65536, 20);

    const std::uint64_t n = 65536;
    std::vector<double> c(n);
    zarn::design_coefficients(48000.0, n, BANDPASS, c.data());

    zarn::ResponseColumns columns;
    std::vector<double> fast;
    for (int i = 0; i < 5; ++i)
        fast.push_back(
            time_ms([&] { zarn::evaluate_response(48000.0, int(n), c.data(), &columns); }));
    double plain[zarn::RESPONSE_COLUMNS];
    std::vector<double> slow;
    for (int i = 0; i < 3; ++i)
        slow.push_back(time_ms([&] { plain_response(48000.0, c, plain); }));
    const bool same = std::memcmp(plain, columns.mag, sizeof plain) == 0;
    std::printf("response N=%llu  evaluate_response median %7.2f ms  min %7.2f ms (5 runs)\n",
                static_cast<unsigned long long>(n), median(fast),
                *std::min_element(fast.begin(), fast.end()));
    std::printf("response N=%llu  plain loop        median %7.2f ms  min %7.2f ms (3 runs)\n",
                static_cast<unsigned long long>(n), median(slow),
                *std::min_element(slow.begin(), slow.end()));
    std::printf("magnitudes bit-identical to the plain loop: %s\n", same ? "yes" : "NO");
    return same ? 0 : 1;
}
