// SPDX-License-Identifier: BSD-2-Clause

#pragma once

#include <fftw3.h>

#include <cstddef>
#include <vector>

namespace zarn {

// The large response view's axis starts here and ends at half the rate.
constexpr double LOG_RESPONSE_LOW_HZ = 20.0;

// Magnitude in dB of a filter at frequencies spaced evenly on a logarithmic
// axis from 20 Hz to half the sample rate. db is empty when there is no
// curve to show: no filter, or a rate that leaves no axis above 20 Hz.
// Values may be -inf (a zero) or NaN (coefficients from the daemon that are
// not finite).
struct LogResponse {
    double sample_rate = 0.0;
    std::vector<double> freq;
    std::vector<double> db;
};

// The frequency of point i of count on the axis of sample_rate.
double log_axis_frequency(double sample_rate, int i, int count);

// One zero-padded FFT of the taps, read at the points: a few milliseconds
// for 65536 taps, where summing every point's sines would take seconds.
LogResponse log_response(double sample_rate, int filter_length, const double *coefficients,
                         int points);

// The same evaluation in steps of a few milliseconds each, for a window that
// must answer in between: planning the transform (the first plan of a size in
// a process costs as much as the transform), the transform, and reading the
// points. Plans are kept for the process and shared by every job; GUI thread
// only, as FFTW's planner is not thread-safe.
class LogResponseJob {
public:
    LogResponseJob() = default;
    LogResponseJob(const LogResponseJob &) = delete;
    LogResponseJob &operator=(const LogResponseJob &) = delete;
    ~LogResponseJob();

    // Starts over with a copy of this filter; what was under way is dropped.
    void start(double sample_rate, int filter_length, const double *coefficients, int points);
    // Runs the next step; true once the result is complete.
    bool step();
    bool done() const { return stage_ == Stage::done; }
    // Complete once done() is true.
    const LogResponse &result() const { return out_; }

private:
    enum class Stage { plan, transform, read, done };
    void release();

    Stage stage_ = Stage::done;
    LogResponse out_;
    std::size_t n_ = 0;
    double *in_ = nullptr;
    fftw_complex *spectrum_ = nullptr; // n_ / 2 + 1 bins
    fftw_plan plan_ = nullptr;         // owned by the shared cache
};

} // namespace zarn
