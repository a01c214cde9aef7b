// SPDX-License-Identifier: BSD-2-Clause

#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

namespace zarn {

// Filters from other tools: GraphicEQ lines and parametric EQ files, turned
// into the equalizer's own filter text; and the response of a filter written
// back as a GraphicEQ line.

// The largest file an import reads.
constexpr std::size_t MAX_IMPORT_BYTES = std::size_t{1} << 20;

// The largest level, up or down, in dB that an import reads or an export
// writes: every value the arithmetic meets stays finite.
constexpr double MAX_LEVEL_DB = 200.0;

// Why a file was refused.
struct ImportError {
    // Line of the file at fault, counting from 1; 0 when no one line is.
    std::uint64_t line = 0;
    std::string reason;
};

// Reads the whole file at path, which must be a regular file of at most
// MAX_IMPORT_BYTES. False, with the reason, otherwise.
bool read_import_file(const std::string &path, std::string &contents, std::string &error);

// "GraphicEQ: 20 -1.2; 21 -1.3; ...": frequencies in Hz, gains in dB, with
// any "Preamp: X dB" lines added to every gain.
struct GraphicEq {
    double preamp_db = 0.0;
    std::vector<std::pair<double, double>> points;
};

bool parse_graphic_eq(std::string_view file, GraphicEq &out, ImportError &error);

enum class BiquadType { peaking, low_shelf, high_shelf, low_pass, high_pass, notch, band_pass };

struct ParametricFilter {
    BiquadType type;
    double fc;
    double gain_db;
    double q;
    std::uint64_t line;
};

// "Preamp: X dB" and "Filter N: ON TYPE Fc F Hz [Gain G dB] [Q Q]" lines;
// filters that are OFF are skipped.
struct ParametricEq {
    double preamp_db = 0.0;
    std::vector<ParametricFilter> filters;
};

bool parse_parametric_eq(std::string_view file, ParametricEq &out, ImportError &error);

// The biquad cookbook's coefficients of a filter at a sample rate, divided by
// a0. The filter's fc must lie between 0 and half the rate.
struct Biquad {
    double b0, b1, b2, a1, a2;
};

Biquad cookbook_biquad(const ParametricFilter &filter, double sample_rate);

// |H(e^(i omega))| of a biquad.
double biquad_magnitude(const Biquad &biquad, double omega);

// Log grid on which a parametric file is sampled.
constexpr int IMPORT_POINTS_PER_OCTAVE = 48;
constexpr double IMPORT_LOWEST_HZ = 10.0;

// Turns a GraphicEQ or parametric file into filter text for sample_rate:
// one point "frequency amplitude" a line, amplitudes linear. A GraphicEQ
// gives its own points; a parametric file is sampled on the log grid from
// IMPORT_LOWEST_HZ to half the sample rate, preamp included. False, and
// text untouched, for a file that is refused.
bool import_filter_text(std::string_view file, double sample_rate, std::string &text,
                        ImportError &error);

// A number as the filter language reads it: digits and a full stop, no sign
// and no exponent. v must be finite and not negative.
std::string spec_number(double v);

// The magnitude response of coefficients at sample_rate as a GraphicEQ line,
// at twelve points an octave from 20 Hz to 20 kHz or half the rate. False
// when the response is not finite or the rate leaves no point.
bool graphic_eq_text(double sample_rate, int filter_length, const double *coefficients,
                     std::string &text);

} // namespace zarn
