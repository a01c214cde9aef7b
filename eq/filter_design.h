// SPDX-License-Identifier: BSD-2-Clause

#pragma once

#include <cstdint>
#include <string>
#include <string_view>

#include <fftw3.h>

namespace zarn {

// Longest filter the daemon can hold, and so the longest design.
constexpr std::uint64_t MAX_FILTER_LENGTH = 65536;

// Workspace of one FIR design. The caller sets sample_rate and size,
// allocates taps and spectrum (size doubles each), creates the plan
// (fftw_plan_r2r_1d(size, spectrum, taps, FFTW_HC2R, FFTW_MEASURE)) before
// writing anything into them, runs design_filter, copies the coefficients out
// of taps and then destroys the plan and frees both buffers.
struct FilterDesign {
    double sample_rate;
    std::uint64_t size;
    bool normalize;
    double *taps;
    double *spectrum;
    fftw_plan plan;
};

// Why a specification was refused.
enum class SpecFault {
    none,
    // The sample rate or the length is one no design can use.
    no_design,
    // A point does not start with a number where its frequency belongs.
    expected_numbers,
    // The frequency is not followed by an amplitude on its own line.
    expected_amplitude,
    // A frequency below the one of the point before it.
    frequency_below_previous,
    // The numbers are too large: the coefficients would not be finite.
    not_finite,
};

struct SpecError {
    SpecFault fault = SpecFault::none;
    // Line of the text at fault, counting from 1; 0 when no one line is.
    std::uint64_t line = 0;
};

// Reads the NUL-terminated specification text, sets normalize and writes the
// sampled amplitudes into spectrum[0] ... spectrum[size / 2]. Returns true
// when the text is invalid, and also for a sample rate that is not a
// positive finite number small enough for the bin frequencies, or a size of
// 0, where the bin walk could not end. When it returns true and error is not
// null, error says why and on which line.
bool parse_filter_spec(FilterDesign *design, const char *text, SpecError *error = nullptr);

// Designs the coefficients into taps: the zero-phase response of the sampled
// curve, Hann-tapered, centred at tap size / 2 (a linear-phase filter with a
// delay of size / 2 samples) and normalized when the text asks for it. An
// even length keeps tap 0 at 0; an odd one uses every tap, symmetric about
// the centre. Returns true when the text is invalid or when the design does
// not give finite coefficients.
bool design_filter(FilterDesign *design, const char *text);

// The whole calling order above for one design: a new workspace and a new
// measured plan, the design, the size coefficients copied into coefficients
// on success, and the workspace disposed of in every case. Returns true for
// an invalid text. size must be 1 to MAX_FILTER_LENGTH.
bool design_coefficients(double sample_rate, std::uint64_t size, const char *text,
                         double *coefficients);

// FFTW's measurements of the sizes planned so far ("wisdom"), kept in a file
// between runs: with it a new process plans a size measured before at once.
// The designs agree with freshly measured ones to rounding.

// Imports the wisdom in the file at path. False, and nothing imported, when
// the file is missing, unreadable, too large or not wisdom.
bool import_wisdom(const std::string &path);

// Writes all wisdom gathered so far to path, atomically: a temporary file
// beside it, renamed over it. False on failure; the file at path is then as
// it was.
bool export_wisdom(const std::string &path);

// Imports the wisdom at path, then has design_coefficients write it back
// there each time it plans a size not planned before in this process and the
// wisdom has grown. An empty path stops the writing.
void keep_wisdom_in(const std::string &path);

// Why design_coefficients refused text at this rate and length: the parse
// is run once more, without a transform, to find the line at fault. A text
// the parser accepts was refused for its coefficients (not_finite).
SpecError find_spec_error(double sample_rate, std::uint64_t size, const char *text);

// The specification text with white space removed at both ends, as the
// equalizer's editor trims it: ASCII white space and the Unicode spaces and
// separators, the latter in their UTF-8 form.
std::string trim_white_space(std::string_view text);

} // namespace zarn
