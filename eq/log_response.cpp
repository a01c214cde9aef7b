// SPDX-License-Identifier: BSD-2-Clause

#include "eq/log_response.h"

#include <algorithm>
#include <cmath>
#include <map>

namespace zarn {

namespace {

// One estimated plan per transform size, kept for the process: a new plan
// of a size computes its twiddle factors again, which costs as much as the
// transform. Only sizes of 65536 and 131072 occur for filters the daemon
// reports, so the cache stays small.
class PlanCache {
public:
    PlanCache() = default;
    PlanCache(const PlanCache &) = delete;
    PlanCache &operator=(const PlanCache &) = delete;
    ~PlanCache() {
        for (auto &[n, plan] : plans_)
            fftw_destroy_plan(plan);
    }

    // Null when FFTW cannot plan the size. Planned on arrays of its own:
    // every job executes the plan on its own arrays, which fftw_alloc aligns
    // alike.
    fftw_plan plan(std::size_t n) {
        const auto found = plans_.find(n);
        if (found != plans_.end())
            return found->second;
        double *in = fftw_alloc_real(n);
        fftw_complex *out = fftw_alloc_complex(n / 2 + 1);
        // Estimated, not measured: planning must not cost more than the transform.
        fftw_plan plan = in && out ? fftw_plan_dft_r2c_1d(static_cast<int>(n), in, out,
                                                          FFTW_ESTIMATE | FFTW_DESTROY_INPUT)
                                   : nullptr;
        fftw_free(in);
        fftw_free(out);
        if (plan)
            plans_.emplace(n, plan);
        return plan;
    }

private:
    std::map<std::size_t, fftw_plan> plans_;
};

PlanCache &plan_cache() {
    static PlanCache cache;
    return cache;
}

} // namespace

double log_axis_frequency(double sample_rate, int i, int count) {
    const double top = 0.5 * sample_rate;
    if (count < 2)
        return LOG_RESPONSE_LOW_HZ;
    return LOG_RESPONSE_LOW_HZ *
           std::pow(top / LOG_RESPONSE_LOW_HZ, static_cast<double>(i) / (count - 1));
}

LogResponseJob::~LogResponseJob() {
    release();
}

void LogResponseJob::release() {
    fftw_free(in_);
    fftw_free(spectrum_);
    in_ = nullptr;
    spectrum_ = nullptr;
    plan_ = nullptr;
}

void LogResponseJob::start(double sample_rate, int filter_length, const double *coefficients,
                           int points) {
    release();
    out_ = LogResponse{};
    out_.sample_rate = sample_rate;
    stage_ = Stage::done;
    // NaN fails the comparison too.
    if (!(sample_rate > 2.0 * LOG_RESPONSE_LOW_HZ) || !std::isfinite(sample_rate) || points < 2)
        return;
    out_.freq.resize(static_cast<std::size_t>(points));
    for (int i = 0; i < points; ++i)
        out_.freq[static_cast<std::size_t>(i)] = log_axis_frequency(sample_rate, i, points);
    if (filter_length <= 0 || coefficients == nullptr)
        return;

    // Bins of at most sample_rate / 65536 Hz, fine enough at 20 Hz; twice
    // the taps keeps a long filter's detail.
    n_ = 65536;
    while (n_ < 2 * static_cast<std::size_t>(filter_length))
        n_ *= 2;
    in_ = fftw_alloc_real(n_);
    spectrum_ = fftw_alloc_complex(n_ / 2 + 1);
    if (!in_ || !spectrum_) {
        release();
        return;
    }
    // The copy lets the caller replace its array while the job goes on.
    std::copy(coefficients, coefficients + filter_length, in_);
    std::fill(in_ + filter_length, in_ + n_, 0.0);
    stage_ = Stage::plan;
}

bool LogResponseJob::step() {
    switch (stage_) {
    case Stage::plan:
        plan_ = plan_cache().plan(n_);
        stage_ = plan_ ? Stage::transform : Stage::done;
        if (!plan_)
            release();
        break;
    case Stage::transform:
        fftw_execute_dft_r2c(plan_, in_, spectrum_);
        stage_ = Stage::read;
        break;
    case Stage::read: {
        const std::size_t last = n_ / 2;
        const double rate = out_.sample_rate;
        auto magnitude = [&](std::size_t k) {
            return std::hypot(spectrum_[k][0], spectrum_[k][1]);
        };
        out_.db.resize(out_.freq.size());
        for (std::size_t i = 0; i < out_.freq.size(); ++i) {
            const double bin =
                std::min(out_.freq[i] * static_cast<double>(n_) / rate, static_cast<double>(last));
            const auto k = static_cast<std::size_t>(bin);
            const double t = bin - static_cast<double>(k);
            const double m =
                k >= last ? magnitude(last) : (1.0 - t) * magnitude(k) + t * magnitude(k + 1);
            out_.db[i] = 20.0 * std::log10(m);
        }
        release();
        stage_ = Stage::done;
        break;
    }
    case Stage::done:
        break;
    }
    return done();
}

LogResponse log_response(double sample_rate, int filter_length, const double *coefficients,
                         int points) {
    LogResponseJob job;
    job.start(sample_rate, filter_length, coefficients, points);
    while (!job.step()) {
    }
    return job.result();
}

} // namespace zarn
