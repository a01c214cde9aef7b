// SPDX-License-Identifier: BSD-2-Clause

#include "eq/freq_response.h"

#include "eq/constants.h"

#include <algorithm>
#include <cmath>
#include <system_error>
#include <thread>
#include <vector>

namespace zarn {

namespace {

// Below this length a column is cheaper than starting a thread.
constexpr int PARALLEL_LENGTH = 512;

double column_magnitude(double omega, int length, const double *c) {
    double angle = 0.0;
    double p = 0.0;
    double q = 0.0;
    for (int k = 0; k < length; ++k) {
        // A zero tap adds a signed zero (the angle stays finite), which leaves
        // p and q as they are: skipping its sine and cosine keeps the result
        // bit-identical and makes sparse filters, such as a pure delay, cheap.
        if (c[k] != 0.0) {
            q = q + c[k] * std::sin(angle);
            p = p + c[k] * std::cos(angle);
        }
        angle = angle + omega;
    }
    return std::sqrt(p * p + q * q);
}

// Columns first, first + stride, ... below last: every worker gets low and
// high frequencies alike, and each column is computed whole by one worker,
// in the order of the plain loop, so the result does not depend on the split.
void magnitudes(double sample_rate, int length, const double *c, ResponseColumns *columns,
                int first, int last, int stride) {
    for (int x = first; x < last; x += stride) {
        const double omega = columns->freq[x] * 2.0 * PI / sample_rate;
        columns->mag[x] = column_magnitude(omega, length, c);
    }
}

} // namespace

bool response_axis(double sample_rate, ResponseColumns *columns) {
    const bool valid = sample_rate > 0.0;
    const double span = sample_rate >= 16000.0 ? 8000.0 : 0.5 * sample_rate;
    for (int x = 0; x < RESPONSE_COLUMNS; ++x) {
        columns->freq[x] = valid ? std::exp2(static_cast<double>(x) / 256.0) * span - span : 0.0;
        columns->mag[x] = 0.0;
    }
    return valid;
}

void response_magnitudes(double sample_rate, int filter_length, const double *coefficients,
                         ResponseColumns *columns, int first, int last) {
    first = std::max(first, 0);
    last = std::min(last, RESPONSE_COLUMNS);
    if (!(sample_rate > 0.0) || filter_length <= 0 || !coefficients || first >= last)
        return;

    unsigned workers = 1;
    if (filter_length >= PARALLEL_LENGTH)
        workers = std::max(1u, std::thread::hardware_concurrency());
    workers = std::min({workers, 16u, static_cast<unsigned>(last - first)});

    // The helpers only compute columns and are joined before returning; the
    // caller's thread takes a share too. Where no thread can be started, it
    // takes the remaining shares itself.
    std::vector<std::thread> helpers;
    unsigned started = 0;
    const int stride = static_cast<int>(workers);
    for (unsigned w = 1; w < workers; ++w) {
        try {
            helpers.emplace_back(magnitudes, sample_rate, filter_length, coefficients, columns,
                                 first + static_cast<int>(w), last, stride);
            ++started;
        } catch (const std::system_error &) {
            break;
        }
    }
    magnitudes(sample_rate, filter_length, coefficients, columns, first, last, stride);
    for (unsigned w = started + 1; w < workers; ++w)
        magnitudes(sample_rate, filter_length, coefficients, columns, first + static_cast<int>(w),
                   last, stride);
    for (std::thread &t : helpers)
        t.join();
}

void evaluate_response(double sample_rate, int filter_length, const double *coefficients,
                       ResponseColumns *columns) {
    if (response_axis(sample_rate, columns))
        response_magnitudes(sample_rate, filter_length, coefficients, columns, 0, RESPONSE_COLUMNS);
}

ResponseScale response_scale(const double mag[RESPONSE_COLUMNS]) {
    int lowest = -1;
    int highest = -1;
    for (int x = 0; x < RESPONSE_COLUMNS; ++x) {
        if (!std::isfinite(mag[x]))
            continue;
        if (lowest < 0 || mag[x] < mag[lowest])
            lowest = x;
        if (highest < 0 || mag[x] > mag[highest])
            highest = x;
    }
    if (lowest < 0)
        return ResponseScale{0.0, 1.0};
    return ResponseScale{mag[lowest], mag[highest] + 1.0 - mag[lowest]};
}

int column_height(double mag, ResponseScale scale) {
    const double h = (mag - scale.lo) * 127.0 / scale.range;
    if (!(h > 0.0))
        return 0;
    if (h >= 127.0)
        return 127;
    return static_cast<int>(h);
}

std::string frequency_label(double freq) {
    if (!(freq > 0.0))
        return "0";
    if (freq < 2000.0)
        return std::to_string(static_cast<int>(freq / 100.0) * 100);
    // The axis ends below 8000 Hz; the limit only keeps the conversion
    // defined for any value.
    const double thousands = std::min(freq / 1000.0, 2147483647.0);
    return std::to_string(static_cast<int>(thousands)) + "k";
}

void response_heights(const ResponseColumns &columns, int heights[RESPONSE_COLUMNS]) {
    const ResponseScale scale = response_scale(columns.mag);
    for (int x = 0; x < RESPONSE_COLUMNS; ++x)
        heights[x] = column_height(columns.mag[x], scale);
}

void response_columns(double sample_rate, const double *coefficients, int filter_length,
                      double freq[RESPONSE_COLUMNS], double mag[RESPONSE_COLUMNS],
                      int heights[RESPONSE_COLUMNS]) {
    ResponseColumns columns;
    evaluate_response(sample_rate, filter_length, coefficients, &columns);
    response_heights(columns, heights);
    for (int x = 0; x < RESPONSE_COLUMNS; ++x) {
        freq[x] = columns.freq[x];
        mag[x] = columns.mag[x];
    }
}

} // namespace zarn
