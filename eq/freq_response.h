// SPDX-License-Identifier: BSD-2-Clause

#pragma once

#include <atomic>
#include <string>
#include <thread>
#include <vector>

namespace zarn {

// The equalizer's response plot: 256 columns of 128 pixels.
constexpr int RESPONSE_COLUMNS = 256;
constexpr int RESPONSE_HEIGHT = 128;

// Frequency (Hz) and linear magnitude of the response of each plot column.
struct ResponseColumns {
    double freq[RESPONSE_COLUMNS];
    double mag[RESPONSE_COLUMNS];
};

// Fills freq and mag for a filter at sample_rate. The axis runs from 0 Hz to
// just below F, F = 8000 for sample rates of 16000 and above, else half the
// sample rate: freq[x] = 2^(x/256) * F - F. mag[x] is |sum c[k] e^(-i k w)|
// with w = freq[x] * 2 pi / sample_rate, the angle advanced by repeated
// addition. A sample rate that is not above 0 (or NaN) gives 0 in every freq
// and mag; a filter_length not above 0 or null coefficients give mag 0.
// Coefficients come from the daemon and may be NaN or infinite; so may the
// magnitudes then. Columns are computed in parallel, each exactly as the
// plain column loop computes it.
void evaluate_response(double sample_rate, int filter_length, const double *coefficients,
                       ResponseColumns *columns);

// The magnitude at one frequency, as a column's is summed.
double response_magnitude(double freq, double sample_rate, int filter_length,
                          const double *coefficients);

// The frequency axis alone: freq[x] as evaluate_response gives it.
void response_frequencies(double sample_rate, double freq[RESPONSE_COLUMNS]);

// The same spread over time: start() takes a copy of the filter, and work()
// evaluates columns on the calling thread for a while, helper threads taking
// columns meanwhile, in between calls too, until every column is done. Each
// column is computed whole by one thread, in the plain loop's order, so the
// result is bit for bit that of evaluate_response however the work falls.
class ResponseJob {
public:
    ResponseJob() = default;
    ResponseJob(const ResponseJob &) = delete;
    ResponseJob &operator=(const ResponseJob &) = delete;
    ~ResponseJob();

    // Starts over with this filter; what was under way is dropped.
    void start(double sample_rate, int filter_length, const double *coefficients);
    // Evaluates columns until all are done, or, with budget_ns >= 0, until
    // that many nanoseconds have passed (by at most one column); starts the
    // helpers when they are not running. True once every column is done.
    bool work(long long budget_ns);
    // Stops the helpers once their current column is done; work() goes on.
    void pause();
    // Columns done or being evaluated, 0 ... 256.
    int columns_taken() const;
    // The result, complete once work() has returned true.
    const ResponseColumns &columns() const { return columns_; }

private:
    // Takes the next column and evaluates it; false when none is left.
    bool take_column();
    void help();

    double sample_rate_ = 0.0;
    std::vector<double> coefficients_;
    ResponseColumns columns_{};
    std::atomic<int> next_{RESPONSE_COLUMNS};
    std::atomic<bool> pausing_{false};
    std::vector<std::thread> helpers_;
};

// The vertical scale: lo is the smallest magnitude, range the largest
// + 1.0 - lo, so that 0 to 1 fills only the lower half. Magnitudes that are
// NaN or infinite take no part; without any finite one, lo = 0 and range = 1.
struct ResponseScale {
    double lo;
    double range;
};

ResponseScale response_scale(const double mag[RESPONSE_COLUMNS]);

// Height of a column, 0 to 127: (mag - lo) * 127 / range truncated towards
// zero and limited to 0 ... 127. A NaN magnitude has height 0 and an infinite
// one 127, so no non-finite value reaches an integer conversion.
int column_height(double mag, ResponseScale scale);

// Height of every column from the scale of all their magnitudes.
void response_heights(const ResponseColumns &columns, int heights[RESPONSE_COLUMNS]);

// Label of the frequency of a labelled column: "700" (whole hundreds) below
// 2000 Hz, else "2k" (whole thousands).
std::string frequency_label(double freq);

// Everything a plot needs in one call: the columns of evaluate_response, the
// scale of their magnitudes and each column's height.
void response_columns(double sample_rate, const double *coefficients, int filter_length,
                      double freq[RESPONSE_COLUMNS], double mag[RESPONSE_COLUMNS],
                      int heights[RESPONSE_COLUMNS]);

} // namespace zarn
