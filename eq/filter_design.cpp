// SPDX-License-Identifier: BSD-2-Clause

#include "eq/filter_design.h"

#include <algorithm>
#include <cerrno>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <set>
#include <unistd.h>
#include <vector>

#include "eq/constants.h"

namespace zarn {

namespace {

bool is_digit(unsigned char c) {
    return c >= '0' && c <= '9';
}

unsigned char lower(unsigned char c) {
    return (c >= 'A' && c <= 'Z') ? c + ('a' - 'A') : c;
}

// A number: optional digits, optionally a full stop and optional digits. It
// is valid when it starts with a digit or its full stop is followed by one.
bool read_number(const unsigned char *&p, double &value) {
    double v = 0.0;
    bool valid = is_digit(*p);
    while (is_digit(*p)) {
        v = v * 10.0 + static_cast<double>(*p - '0');
        ++p;
    }
    if (*p == '.') {
        ++p;
        if (is_digit(*p))
            valid = true;
        double s = 0.1;
        while (is_digit(*p)) {
            v = v + static_cast<double>(*p - '0') * s;
            s = s / 10.0;
            ++p;
        }
    }
    value = v;
    return valid;
}

enum class Read { point, ended, bad_frequency, bad_amplitude };

// The reading position, and the line it is on for error reports.
struct Cursor {
    const unsigned char *p;
    std::uint64_t line;
};

// Both numbers of a point stand on one line: a line feed is skipped only
// before the frequency.
Read read_point(Cursor &at, double &frequency, double &amplitude) {
    const unsigned char *&p = at.p;
    while (*p == '\t' || *p == '\n' || *p == '\r' || *p == ' ') {
        if (*p == '\n')
            ++at.line;
        ++p;
    }
    if (*p == '\0')
        return Read::ended;
    if (!read_number(p, frequency))
        return Read::bad_frequency;
    while (*p == '\t' || *p == '\r' || *p == ' ')
        ++p;
    if (!read_number(p, amplitude))
        return Read::bad_amplitude;
    return Read::point;
}

bool refuse(SpecError *error, SpecFault fault, std::uint64_t line) {
    if (error)
        *error = SpecError{fault, line};
    return true;
}

} // namespace

bool parse_filter_spec(FilterDesign *design, const char *text, SpecError *error) {
    const double rate = design->sample_rate;
    const std::uint64_t n = design->size;
    const std::uint64_t half = n / 2;
    // Past these limits the bin frequencies never stay below the sample rate
    // and the walk over the bins would not end.
    if (n == 0 || !(rate > 0.0) || !std::isfinite(rate) ||
        !std::isfinite(rate * static_cast<double>(half)))
        return refuse(error, SpecFault::no_design, 0);

    Cursor at{reinterpret_cast<const unsigned char *>(text), 1};
    const unsigned char *&p = at.p;

    static const char keyword[] = "norm";
    std::size_t matched = 0;
    while (matched < 4 && lower(p[matched]) == static_cast<unsigned char>(keyword[matched]))
        ++matched;
    design->normalize = matched == 4;
    if (design->normalize) {
        while (*p != '\0' && *p != '\n')
            ++p;
        if (*p == '\n') {
            ++p;
            ++at.line;
        }
    }

    double f_lo = 0.0, a_lo = 1.0;
    double f_hi = 0.0, a_hi = 1.0;
    double a_eff = 1.0;
    bool ended = false;
    const double nd = static_cast<double>(n);
    for (std::uint64_t i = 0; i <= half; ++i) {
        const double f = (static_cast<double>(i) * rate) / nd;
        if (f >= f_hi) {
            do {
                f_lo = f_hi;
                a_lo = a_hi;
                if (!ended) {
                    double frequency = 0.0, amplitude = 0.0;
                    const Read r = read_point(at, frequency, amplitude);
                    if (r == Read::bad_frequency)
                        return refuse(error, SpecFault::expected_numbers, at.line);
                    if (r == Read::bad_amplitude)
                        return refuse(error, SpecFault::expected_amplitude, at.line);
                    if (r == Read::point) {
                        if (frequency < f_lo)
                            return refuse(error, SpecFault::frequency_below_previous, at.line);
                        f_hi = frequency;
                        a_hi = amplitude;
                    } else {
                        ended = true;
                    }
                }
                if (ended) {
                    f_hi = rate;
                    a_hi = a_lo;
                }
            } while (f >= f_hi);
            a_eff = f_lo == 0.0 ? a_hi : a_lo;
        }
        design->spectrum[i] = (a_hi - a_eff) * ((f - f_lo) / (f_hi - f_lo)) + a_eff;
    }
    return false;
}

bool design_filter(FilterDesign *design, const char *text) {
    const std::uint64_t n = design->size;
    if (n == 0)
        return true;
    std::fill(design->spectrum, design->spectrum + n, 0.0);
    if (parse_filter_spec(design, text))
        return true;

    fftw_execute(design->plan);

    double *taps = design->taps;
    const std::uint64_t h = n / 2;
    const double nd = static_cast<double>(n);
    if (n % 2 == 0) {
        // Lag i goes to tap h + i; the indices read stay below h, so each
        // one still holds the transform's output.
        const double hd = static_cast<double>(h);
        for (std::uint64_t i = 0; i < h; ++i)
            taps[h + i] = ((0.5 * std::cos(static_cast<double>(i) * PI / hd) + 0.5) / nd) * taps[i];
        for (std::uint64_t j = h - 1; j >= 1; --j)
            taps[j] = taps[n - j];
        taps[0] = 0.0;
    } else {
        // An odd length has its centre at tap h and a distinct lag for every
        // tap, h on either side. The window's zeros fall just outside the
        // filter, at lag h + 1. Going down keeps the lag read (i) below every
        // tap written so far (above h + i).
        const double span = static_cast<double>(h + 1);
        for (std::uint64_t i = h + 1; i-- > 0;)
            taps[h + i] =
                ((0.5 * std::cos(static_cast<double>(i) * PI / span) + 0.5) / nd) * taps[i];
        for (std::uint64_t j = 0; j < h; ++j)
            taps[j] = taps[n - 1 - j];
    }

    // A number too long for a double is infinite, and its design would send
    // inf or NaN to the daemon.
    if (!std::all_of(taps, taps + n, [](double t) { return std::isfinite(t); }))
        return true;

    if (design->normalize) {
        double sum = 0.0;
        for (std::uint64_t j = 0; j < n; ++j)
            sum += std::fabs(taps[j]);
        if (!std::isfinite(sum))
            return true;
        if (sum != 0.0) {
            for (std::uint64_t j = 0; j < n; ++j)
                taps[j] /= sum;
        }
    }
    return false;
}

namespace {

// A wisdom file holds a few kilobytes per size; anything far larger is not one.
constexpr long MAX_WISDOM_BYTES = 4L << 20;

struct WisdomFile {
    std::string path;
    std::string written;             // what the file holds, as far as we know
    std::set<std::uint64_t> planned; // sizes planned in this process
};

WisdomFile &wisdom_file() {
    static WisdomFile file;
    return file;
}

std::string current_wisdom() {
    std::string text;
    fftw_export_wisdom([](char c, void *data) { static_cast<std::string *>(data)->push_back(c); },
                       &text);
    return text;
}

bool write_fully(int fd, const std::string &text) {
    const char *p = text.data();
    std::size_t left = text.size();
    while (left > 0) {
        const ssize_t n = ::write(fd, p, left);
        if (n < 0 && errno == EINTR)
            continue;
        if (n <= 0)
            return false;
        p += n;
        left -= static_cast<std::size_t>(n);
    }
    return true;
}

// Readers never see a half-written file: the text goes into a temporary file
// in the same folder, which then replaces the old file in one rename.
bool write_atomically(const std::string &path, const std::string &text) {
    std::vector<char> temporary(path.begin(), path.end());
    const char suffix[] = ".XXXXXX";
    temporary.insert(temporary.end(), suffix, suffix + sizeof suffix);
    const int fd = ::mkstemp(temporary.data());
    if (fd < 0)
        return false;
    const bool written = write_fully(fd, text);
    if (::close(fd) != 0 || !written || std::rename(temporary.data(), path.c_str()) != 0) {
        ::unlink(temporary.data());
        return false;
    }
    return true;
}

// After a plan of size: writes the wisdom back if this is the first plan of
// that size here and planning it taught FFTW something new.
void note_planned(std::uint64_t size) {
    WisdomFile &file = wisdom_file();
    if (file.path.empty() || !file.planned.insert(size).second)
        return;
    std::string text = current_wisdom();
    if (text != file.written && write_atomically(file.path, text))
        file.written = std::move(text);
}

} // namespace

bool import_wisdom(const std::string &path) {
    FILE *in = std::fopen(path.c_str(), "rb");
    if (in == nullptr)
        return false;
    std::string text;
    char chunk[4096];
    std::size_t n;
    while ((n = std::fread(chunk, 1, sizeof chunk, in)) > 0 &&
           text.size() + n <= static_cast<std::size_t>(MAX_WISDOM_BYTES))
        text.append(chunk, n);
    const bool complete = std::feof(in) && !std::ferror(in);
    std::fclose(in);
    // FFTW keeps the wisdom it had when the text turns out not to be wisdom.
    return complete && fftw_import_wisdom_from_string(text.c_str()) != 0;
}

bool export_wisdom(const std::string &path) {
    return write_atomically(path, current_wisdom());
}

void keep_wisdom_in(const std::string &path) {
    WisdomFile &file = wisdom_file();
    file.path = path;
    file.planned.clear();
    if (path.empty())
        return;
    import_wisdom(path);
    file.written = current_wisdom();
}

bool design_coefficients(double sample_rate, std::uint64_t size, const char *text,
                         double *coefficients) {
    if (size == 0 || size > MAX_FILTER_LENGTH)
        return true;
    FilterDesign design{};
    design.taps = fftw_alloc_real(size);
    design.spectrum = fftw_alloc_real(size);
    bool invalid = true;
    if (design.taps && design.spectrum) {
        // Measuring overwrites both buffers, so the plan comes first.
        design.plan = fftw_plan_r2r_1d(static_cast<int>(size), design.spectrum, design.taps,
                                       FFTW_HC2R, FFTW_MEASURE);
        if (design.plan) {
            note_planned(size);
            design.sample_rate = sample_rate;
            design.size = size;
            invalid = design_filter(&design, text);
            if (!invalid)
                std::copy(design.taps, design.taps + size, coefficients);
            fftw_destroy_plan(design.plan);
        }
    }
    fftw_free(design.spectrum);
    fftw_free(design.taps);
    return invalid;
}

SpecError find_spec_error(double sample_rate, std::uint64_t size, const char *text) {
    if (size == 0 || size > MAX_FILTER_LENGTH)
        return SpecError{SpecFault::no_design, 0};
    std::vector<double> spectrum(size / 2 + 1);
    FilterDesign design{};
    design.sample_rate = sample_rate;
    design.size = size;
    design.spectrum = spectrum.data();
    SpecError error;
    if (!parse_filter_spec(&design, text, &error))
        error = SpecError{SpecFault::not_finite, 0};
    return error;
}

namespace {

// Byte length of the white space character that starts at s[i], 0 if none.
std::size_t space_at(std::string_view s, std::size_t i) {
    static const std::string_view wide[] = {
        "\xC2\x85",     "\xC2\xA0",     "\xE1\x9A\x80", "\xE2\x80\x80", "\xE2\x80\x81",
        "\xE2\x80\x82", "\xE2\x80\x83", "\xE2\x80\x84", "\xE2\x80\x85", "\xE2\x80\x86",
        "\xE2\x80\x87", "\xE2\x80\x88", "\xE2\x80\x89", "\xE2\x80\x8A", "\xE2\x80\xA8",
        "\xE2\x80\xA9", "\xE2\x80\xAF", "\xE2\x81\x9F", "\xE3\x80\x80"};
    const unsigned char c = static_cast<unsigned char>(s[i]);
    if ((c >= '\t' && c <= '\r') || c == ' ')
        return 1;
    for (std::string_view w : wide)
        if (s.substr(i, w.size()) == w)
            return w.size();
    return 0;
}

// Byte length of the white space character that ends just before s[end].
std::size_t space_before(std::string_view s, std::size_t end) {
    for (std::size_t len = 1; len <= 3 && len <= end; ++len)
        if (space_at(s, end - len) == len)
            return len;
    return 0;
}

} // namespace

std::string trim_white_space(std::string_view text) {
    std::size_t begin = 0;
    while (begin < text.size()) {
        const std::size_t len = space_at(text, begin);
        if (len == 0)
            break;
        begin += len;
    }
    std::size_t end = text.size();
    while (end > begin) {
        const std::size_t len = space_before(text.substr(begin), end - begin);
        if (len == 0)
            break;
        end -= len;
    }
    return std::string(text.substr(begin, end - begin));
}

} // namespace zarn
