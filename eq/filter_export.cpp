// SPDX-License-Identifier: BSD-2-Clause

// A filter written back as text: numbers as the filter language takes them,
// and the response as a GraphicEQ line.

#include <algorithm>
#include <charconv>
#include <cmath>

#include "eq/filter_import.h"
#include "eq/freq_response.h"

namespace zarn {

std::string spec_number(double v) {
    if (!(v > 0.0))
        return "0";
    char buffer[400];
    const auto [end, ec] =
        std::to_chars(buffer, buffer + sizeof buffer, v, std::chars_format::fixed, 12);
    if (ec != std::errc())
        return "0";
    std::string s(buffer, end);
    // Trailing zeros say nothing; a full stop left alone would be read as
    // part of the number, which is harmless, but looks like a slip.
    s.erase(s.find_last_not_of('0') + 1);
    if (s.back() == '.')
        s.pop_back();
    return s;
}

bool graphic_eq_text(double sample_rate, int filter_length, const double *coefficients,
                     std::string &text) {
    if (!(sample_rate > 0.0) || !coefficients || filter_length <= 0)
        return false;
    const double top = std::min(20000.0, sample_rate / 2.0);
    std::string out = "GraphicEQ:";
    int count = 0;
    for (int k = 0;; ++k) {
        const double hz = 20.0 * std::exp2(k / 12.0);
        if (hz > top)
            break;
        const double mag = response_magnitude(hz, sample_rate, filter_length, coefficients);
        if (!std::isfinite(mag))
            return false;
        // Silence reads as far down as a gain is ever written.
        const double db =
            mag > 0.0 ? std::max(-MAX_LEVEL_DB, 20.0 * std::log10(mag)) : -MAX_LEVEL_DB;
        char number[32];
        const auto [end, ec] =
            std::to_chars(number, number + sizeof number, std::min(db, MAX_LEVEL_DB),
                          std::chars_format::fixed, 2);
        if (ec != std::errc())
            return false;
        out += count++ == 0 ? " " : "; ";
        out += std::to_string(static_cast<long>(std::lround(hz)));
        out += ' ';
        out.append(number, end);
    }
    if (count == 0)
        return false;
    text = out + "\n";
    return true;
}

} // namespace zarn
