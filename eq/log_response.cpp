// SPDX-License-Identifier: BSD-2-Clause

#include "eq/log_response.h"

#include <fftw3.h>

#include <algorithm>
#include <cmath>
#include <complex>
#include <cstddef>

namespace zarn {

double log_axis_frequency(double sample_rate, int i, int count) {
    const double top = 0.5 * sample_rate;
    if (count < 2)
        return LOG_RESPONSE_LOW_HZ;
    return LOG_RESPONSE_LOW_HZ *
           std::pow(top / LOG_RESPONSE_LOW_HZ, static_cast<double>(i) / (count - 1));
}

LogResponse log_response(double sample_rate, int filter_length, const double *coefficients,
                         int points) {
    LogResponse out;
    out.sample_rate = sample_rate;
    // NaN fails the comparison too.
    if (!(sample_rate > 2.0 * LOG_RESPONSE_LOW_HZ) || !std::isfinite(sample_rate) || points < 2)
        return out;
    out.freq.resize(static_cast<std::size_t>(points));
    for (int i = 0; i < points; ++i)
        out.freq[static_cast<std::size_t>(i)] = log_axis_frequency(sample_rate, i, points);
    if (filter_length <= 0 || coefficients == nullptr)
        return out;

    // Bins of at most sample_rate / 65536 Hz, fine enough at 20 Hz; twice
    // the taps keeps a long filter's detail.
    std::size_t n = 65536;
    while (n < 2 * static_cast<std::size_t>(filter_length))
        n *= 2;
    double *in = fftw_alloc_real(n);
    fftw_complex *spectrum = fftw_alloc_complex(n / 2 + 1);
    if (!in || !spectrum) {
        fftw_free(in);
        fftw_free(spectrum);
        return out;
    }
    // Estimated, not measured: planning must not cost more than the transform.
    fftw_plan plan =
        fftw_plan_dft_r2c_1d(static_cast<int>(n), in, spectrum, FFTW_ESTIMATE | FFTW_DESTROY_INPUT);
    if (!plan) {
        fftw_free(in);
        fftw_free(spectrum);
        return out;
    }
    std::copy(coefficients, coefficients + filter_length, in);
    std::fill(in + filter_length, in + n, 0.0);
    fftw_execute(plan);

    const std::size_t last = n / 2;
    auto magnitude = [&](std::size_t k) { return std::hypot(spectrum[k][0], spectrum[k][1]); };
    out.db.resize(static_cast<std::size_t>(points));
    for (std::size_t i = 0; i < out.freq.size(); ++i) {
        const double bin =
            std::min(out.freq[i] * static_cast<double>(n) / sample_rate, static_cast<double>(last));
        const auto k = static_cast<std::size_t>(bin);
        const double t = bin - static_cast<double>(k);
        const double m =
            k >= last ? magnitude(last) : (1.0 - t) * magnitude(k) + t * magnitude(k + 1);
        out.db[i] = 20.0 * std::log10(m);
    }
    fftw_destroy_plan(plan);
    fftw_free(in);
    fftw_free(spectrum);
    return out;
}

} // namespace zarn
