// SPDX-License-Identifier: BSD-2-Clause

#pragma once

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

} // namespace zarn
