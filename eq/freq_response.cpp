// SPDX-License-Identifier: BSD-2-Clause

#include "eq/freq_response.h"

#include "eq/constants.h"

#include <algorithm>
#include <chrono>
#include <cmath>
#include <iterator>
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

bool response_axis(double sample_rate, ResponseColumns *columns) {
    const bool valid = sample_rate > 0.0;
    const double span = sample_rate >= 16000.0 ? 8000.0 : 0.5 * sample_rate;
    for (int x = 0; x < RESPONSE_COLUMNS; ++x) {
        columns->freq[x] = valid ? std::exp2(static_cast<double>(x) / 256.0) * span - span : 0.0;
        columns->mag[x] = 0.0;
    }
    return valid;
}

} // namespace

ResponseJob::~ResponseJob() {
    pause();
}

void ResponseJob::start(double sample_rate, int filter_length, const double *coefficients) {
    pause();
    sample_rate_ = sample_rate;
    const bool sum = response_axis(sample_rate, &columns_) && filter_length > 0 && coefficients;
    if (sum)
        coefficients_.assign(coefficients, coefficients + filter_length);
    else
        coefficients_.clear();
    // Without a sum every magnitude stays 0: nothing is left to take.
    next_.store(sum ? 0 : RESPONSE_COLUMNS);
}

bool ResponseJob::take_column() {
    // Looking first keeps the counter from growing once every column is taken.
    if (next_.load() >= RESPONSE_COLUMNS)
        return false;
    const int x = next_.fetch_add(1);
    if (x >= RESPONSE_COLUMNS)
        return false;
    const double omega = columns_.freq[x] * 2.0 * PI / sample_rate_;
    columns_.mag[x] =
        column_magnitude(omega, static_cast<int>(coefficients_.size()), coefficients_.data());
    return true;
}

void ResponseJob::help() {
    while (!pausing_.load() && take_column()) {
    }
}

bool ResponseJob::work(long long budget_ns) {
    if (helpers_.empty() && columns_taken() < RESPONSE_COLUMNS &&
        coefficients_.size() >= static_cast<std::size_t>(PARALLEL_LENGTH)) {
        // The calling thread is a worker too. Where no thread can be
        // started, it does the work alone.
        const unsigned helpers = std::min(std::thread::hardware_concurrency(), 16u);
        for (unsigned h = 1; h < helpers; ++h) {
            try {
                helpers_.emplace_back(&ResponseJob::help, this);
            } catch (const std::system_error &) {
                break;
            }
        }
    }
    const auto started = std::chrono::steady_clock::now();
    while (budget_ns < 0 ||
           std::chrono::steady_clock::now() - started < std::chrono::nanoseconds(budget_ns)) {
        if (!take_column()) {
            // The helpers finish their last columns; the wait is at most one.
            pause();
            return true;
        }
    }
    return false;
}

void ResponseJob::pause() {
    pausing_.store(true);
    for (std::thread &t : helpers_)
        t.join();
    helpers_.clear();
    pausing_.store(false);
}

int ResponseJob::columns_taken() const {
    return std::min(next_.load(), RESPONSE_COLUMNS);
}

void evaluate_response(double sample_rate, int filter_length, const double *coefficients,
                       ResponseColumns *columns) {
    ResponseJob job;
    job.start(sample_rate, filter_length, coefficients);
    job.work(-1);
    *columns = job.columns();
}

double response_magnitude(double freq, double sample_rate, int filter_length,
                          const double *coefficients) {
    return column_magnitude(freq * 2.0 * PI / sample_rate, filter_length, coefficients);
}

void response_frequencies(double sample_rate, double freq[RESPONSE_COLUMNS]) {
    ResponseColumns columns;
    response_axis(sample_rate, &columns);
    std::copy(std::begin(columns.freq), std::end(columns.freq), freq);
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
