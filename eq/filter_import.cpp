// SPDX-License-Identifier: BSD-2-Clause

#include "eq/filter_import.h"

#include <algorithm>
#include <cerrno>
#include <charconv>
#include <cmath>
#include <cstring>

#include "eq/constants.h"
#include "eq/freq_response.h"
#include "files/bounded_reader.h"

namespace zarn {

namespace {

// Limits that keep every value the arithmetic meets finite and every number
// written short.
constexpr double MAX_GAIN_DB = 100.0;
constexpr double MAX_GRAPHIC_HZ = 1e6;
constexpr double MIN_Q = 0.001;
constexpr double MAX_Q = 1000.0;
// A shelf's or pass filter's Q when the file gives none: the cookbook's
// shelf slope of 1, a Butterworth pass filter.
constexpr double DEFAULT_Q = 0.70710678118654752440;

bool same_word(std::string_view a, std::string_view b) {
    return a.size() == b.size() && std::equal(a.begin(), a.end(), b.begin(), [](char x, char y) {
               const auto lower = [](char c) {
                   return c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c;
               };
               return lower(x) == lower(y);
           });
}

bool is_blank(char c) {
    return c == ' ' || c == '\t';
}

std::vector<std::string_view> words(std::string_view line) {
    std::vector<std::string_view> out;
    std::size_t i = 0;
    while (i < line.size()) {
        while (i < line.size() && is_blank(line[i]))
            ++i;
        const std::size_t start = i;
        while (i < line.size() && !is_blank(line[i]))
            ++i;
        if (i > start)
            out.push_back(line.substr(start, i - start));
    }
    return out;
}

// A whole word as a finite decimal number, with an optional sign; the C
// library's parsers would follow the user's locale.
bool parse_number(std::string_view word, double &value) {
    if (!word.empty() && word.front() == '+') {
        word.remove_prefix(1);
        if (!word.empty() && word.front() == '-')
            return false;
    }
    // Only digits, signs, points and exponents: no "inf", "nan" or hex.
    for (char c : word)
        if (!((c >= '0' && c <= '9') || c == '.' || c == '-' || c == '+' || c == 'e' || c == 'E'))
            return false;
    double v = 0.0;
    const auto [end, ec] =
        std::from_chars(word.data(), word.data() + word.size(), v, std::chars_format::general);
    if (ec != std::errc() || end != word.data() + word.size() || !std::isfinite(v))
        return false;
    value = v;
    return true;
}

// The lines of a file, with their numbers, without line ends and without a
// byte-order mark at the start.
struct Line {
    std::uint64_t number;
    std::string_view text;
};

std::vector<Line> lines_of(std::string_view file) {
    if (file.substr(0, 3) == "\xef\xbb\xbf")
        file.remove_prefix(3);
    std::vector<Line> out;
    std::uint64_t number = 0;
    while (!file.empty()) {
        const std::size_t end = file.find('\n');
        std::string_view text = file.substr(0, end);
        if (!text.empty() && text.back() == '\r')
            text.remove_suffix(1);
        out.push_back({++number, text});
        file.remove_prefix(end == std::string_view::npos ? file.size() : end + 1);
    }
    return out;
}

enum class LineKind { skipped, preamp, graphic_eq, filter, other };

// What a line is, from its first words; rest is what follows the keyword.
LineKind classify(std::string_view text, std::vector<std::string_view> &rest) {
    const std::vector<std::string_view> w = words(text);
    rest.clear();
    if (w.empty() || w.front().front() == '#')
        return LineKind::skipped;
    std::size_t used = 1;
    LineKind kind = LineKind::other;
    if (same_word(w[0], "Preamp:")) {
        kind = LineKind::preamp;
    } else if (same_word(w[0], "GraphicEQ:")) {
        kind = LineKind::graphic_eq;
    } else if (same_word(w[0], "Filter:")) {
        kind = LineKind::filter;
    } else if (same_word(w[0], "Filter") && w.size() > 1 && w[1].size() > 1 && w[1].back() == ':' &&
               std::all_of(w[1].begin(), w[1].end() - 1,
                           [](char c) { return c >= '0' && c <= '9'; })) {
        kind = LineKind::filter;
        used = 2;
    }
    rest.assign(w.begin() + static_cast<std::ptrdiff_t>(used), w.end());
    return kind;
}

bool fail(ImportError &error, std::uint64_t line, std::string reason) {
    error.line = line;
    error.reason = std::move(reason);
    return false;
}

bool gain_in_range(double db) {
    return std::fabs(db) <= MAX_GAIN_DB;
}

const char GAIN_RANGE[] = "gain out of range: at most 100 dB either way";

// "Preamp: X [dB]", added to what came before.
bool parse_preamp(const std::vector<std::string_view> &rest, std::uint64_t line, double &preamp,
                  ImportError &error) {
    double db = 0.0;
    if (rest.empty() || rest.size() > 2 || !parse_number(rest[0], db) ||
        (rest.size() == 2 && !same_word(rest[1], "dB")))
        return fail(error, line, "expected \"Preamp: gain dB\"");
    if (!gain_in_range(db) || !gain_in_range(preamp + db))
        return fail(error, line, GAIN_RANGE);
    preamp += db;
    return true;
}

// Lines other tools write before their first filter (a room-measurement
// tool's header) are skipped; after it, every line must be one of ours.
bool skip_header_or_fail(LineKind kind, bool started, std::uint64_t line, ImportError &error) {
    if (kind == LineKind::other && started)
        return fail(error, line, "not a Preamp, Filter or GraphicEQ line");
    return true;
}

bool parse_graphic_points(std::string_view list, std::uint64_t line, GraphicEq &out,
                          ImportError &error) {
    double previous = 0.0;
    while (!list.empty()) {
        const std::size_t end = list.find(';');
        const std::string_view item = list.substr(0, end);
        list.remove_prefix(end == std::string_view::npos ? list.size() : end + 1);
        const std::vector<std::string_view> w = words(item);
        // The list may end in a semicolon.
        if (w.empty() && list.find_first_not_of(" \t") == std::string_view::npos &&
            !out.points.empty())
            break;
        double hz = 0.0;
        double db = 0.0;
        if (w.size() != 2 || !parse_number(w[0], hz) || !parse_number(w[1], db))
            return fail(error, line,
                        "expected points \"frequency gain\" separated by semicolons, point " +
                            std::to_string(out.points.size() + 1));
        if (hz < 0.0 || hz > MAX_GRAPHIC_HZ)
            return fail(error, line,
                        "frequency out of range: 0 to 1000000 Hz, point " +
                            std::to_string(out.points.size() + 1));
        if (hz < previous)
            return fail(error, line,
                        "frequency below the previous point, point " +
                            std::to_string(out.points.size() + 1));
        if (!gain_in_range(db))
            return fail(error, line,
                        std::string(GAIN_RANGE) + ", point " +
                            std::to_string(out.points.size() + 1));
        previous = hz;
        out.points.emplace_back(hz, db);
    }
    if (out.points.empty())
        return fail(error, line, "a GraphicEQ line without points");
    return true;
}

struct TypeName {
    const char *name;
    BiquadType type;
};

const TypeName TYPES[] = {
    {"PK", BiquadType::peaking},   {"LSC", BiquadType::low_shelf}, {"HSC", BiquadType::high_shelf},
    {"LS", BiquadType::low_shelf}, {"HS", BiquadType::high_shelf}, {"LP", BiquadType::low_pass},
    {"HP", BiquadType::high_pass}, {"NO", BiquadType::notch},      {"BP", BiquadType::band_pass},
};

bool takes_gain(BiquadType type) {
    return type == BiquadType::peaking || type == BiquadType::low_shelf ||
           type == BiquadType::high_shelf;
}

bool parse_filter(const std::vector<std::string_view> &rest, std::uint64_t line, ParametricEq &out,
                  ImportError &error) {
    if (rest.empty() || !(same_word(rest[0], "ON") || same_word(rest[0], "OFF")))
        return fail(error, line, "expected ON or OFF after \"Filter:\"");
    if (same_word(rest[0], "OFF"))
        return true;
    if (rest.size() < 2)
        return fail(error, line, "expected a filter type after ON");
    const TypeName *type = nullptr;
    for (const TypeName &t : TYPES)
        if (same_word(rest[1], t.name))
            type = &t;
    if (!type)
        return fail(error, line,
                    "unknown filter type \"" + std::string(rest[1]) +
                        "\": expected PK, LSC, HSC, LS, HS, LP, HP, NO or BP");

    bool have_fc = false, have_gain = false, have_q = false;
    ParametricFilter f{type->type, 0.0, 0.0, DEFAULT_Q, line};
    const std::string name = type->name;
    for (std::size_t i = 2; i < rest.size();) {
        const std::string_view key = rest[i];
        double value = 0.0;
        if (i + 1 >= rest.size() || !parse_number(rest[i + 1], value))
            return fail(error, line, "expected a number after \"" + std::string(key) + "\"");
        i += 2;
        const auto unit = [&](const char *u) {
            if (i < rest.size() && same_word(rest[i], u))
                ++i;
        };
        if (same_word(key, "Fc") && !have_fc) {
            unit("Hz");
            if (!(value > 0.0))
                return fail(error, line, "Fc must be above 0 Hz");
            f.fc = value;
            have_fc = true;
        } else if (same_word(key, "Gain") && !have_gain) {
            unit("dB");
            if (!takes_gain(f.type))
                return fail(error, line, name + " takes no gain");
            if (!gain_in_range(value))
                return fail(error, line, GAIN_RANGE);
            f.gain_db = value;
            have_gain = true;
        } else if (same_word(key, "Q") && !have_q) {
            if (!(value >= MIN_Q && value <= MAX_Q))
                return fail(error, line, "Q out of range: 0.001 to 1000");
            f.q = value;
            have_q = true;
        } else {
            return fail(error, line,
                        "unexpected \"" + std::string(key) +
                            "\": expected Fc, Gain and Q, once each");
        }
    }
    if (!have_fc)
        return fail(error, line, name + " needs Fc");
    if (takes_gain(f.type) && !have_gain)
        return fail(error, line, name + " needs a gain");
    if (f.type == BiquadType::peaking && !have_q)
        return fail(error, line, "PK needs a Q");
    out.filters.push_back(f);
    return true;
}

// Appends "frequency amplitude" for a level in dB; false above the limit
// or for a level that is not a number.
bool append_point(std::string &text, double hz, double db) {
    if (!(db <= MAX_LEVEL_DB))
        return false;
    text += spec_number(hz);
    text += ' ';
    text += spec_number(std::pow(10.0, db / 20.0));
    text += '\n';
    return true;
}

std::string level_reason(double hz) {
    return "the gains add up to more than 200 dB, or to no number, at " + spec_number(hz) + " Hz";
}

} // namespace

bool read_import_file(const std::string &path, std::string &contents, std::string &error) {
    std::string data;
    int system = 0;
    switch (files::read_bounded(path.c_str(), MAX_IMPORT_BYTES, data, system)) {
    case files::ReadFault::none:
        contents = std::move(data);
        return true;
    case files::ReadFault::system:
        error = std::strerror(system);
        break;
    case files::ReadFault::not_regular:
        error = "not a regular file";
        break;
    case files::ReadFault::too_large:
        error = "larger than 1 MiB";
        break;
    }
    return false;
}

namespace {

// The walk both formats share: header lines before the first line of either
// format are passed over, Preamp lines add up, and each Filter or GraphicEQ
// line goes to take, which refuses it or reads it.
template <typename Take>
bool walk_lines(std::string_view file, double &preamp_db, bool &started, ImportError &error,
                Take take) {
    std::vector<std::string_view> rest;
    for (const Line &l : lines_of(file)) {
        const LineKind kind = classify(l.text, rest);
        if (!skip_header_or_fail(kind, started, l.number, error))
            return false;
        if (kind == LineKind::preamp && !parse_preamp(rest, l.number, preamp_db, error))
            return false;
        if ((kind == LineKind::filter || kind == LineKind::graphic_eq) && !take(kind, l, rest))
            return false;
        started = started || (kind != LineKind::skipped && kind != LineKind::other);
    }
    return true;
}

} // namespace

bool parse_graphic_eq(std::string_view file, GraphicEq &out, ImportError &error) {
    GraphicEq eq;
    bool started = false;
    const auto take = [&](LineKind kind, const Line &l, const std::vector<std::string_view> &) {
        if (kind == LineKind::filter)
            return fail(error, l.number, "a Filter line in a file with a GraphicEQ line");
        if (!eq.points.empty())
            return fail(error, l.number, "a second GraphicEQ line");
        const std::size_t colon = l.text.find(':');
        return parse_graphic_points(l.text.substr(colon + 1), l.number, eq, error);
    };
    if (!walk_lines(file, eq.preamp_db, started, error, take))
        return false;
    if (eq.points.empty())
        return fail(error, 0, "no GraphicEQ line");
    out = std::move(eq);
    return true;
}

bool parse_parametric_eq(std::string_view file, ParametricEq &out, ImportError &error) {
    ParametricEq eq;
    bool started = false;
    const auto take = [&](LineKind kind, const Line &l, const std::vector<std::string_view> &rest) {
        if (kind == LineKind::graphic_eq)
            return fail(error, l.number, "a GraphicEQ line in a file of filters");
        return parse_filter(rest, l.number, eq, error);
    };
    if (!walk_lines(file, eq.preamp_db, started, error, take))
        return false;
    if (!started)
        return fail(error, 0, "no Preamp, Filter or GraphicEQ line");
    out = std::move(eq);
    return true;
}

bool import_filter_text(std::string_view file, double sample_rate, std::string &text,
                        ImportError &error) {
    if (!(sample_rate > 0.0) || !std::isfinite(sample_rate))
        return fail(error, 0, "the sample rate is not known");
    std::string out;
    std::vector<std::string_view> rest;
    bool graphic = false;
    for (const Line &l : lines_of(file))
        graphic = graphic || classify(l.text, rest) == LineKind::graphic_eq;

    if (graphic) {
        GraphicEq eq;
        if (!parse_graphic_eq(file, eq, error))
            return false;
        for (const auto &[hz, db] : eq.points)
            if (!append_point(out, hz, db + eq.preamp_db))
                return fail(error, 0, level_reason(hz));
        text = std::move(out);
        return true;
    }

    ParametricEq eq;
    if (!parse_parametric_eq(file, eq, error))
        return false;
    const double nyquist = sample_rate / 2.0;
    std::vector<Biquad> biquads;
    for (const ParametricFilter &f : eq.filters) {
        if (!(f.fc < nyquist))
            return fail(error, f.line,
                        "Fc must lie below half the sample rate, " + spec_number(nyquist) + " Hz");
        biquads.push_back(cookbook_biquad(f, sample_rate));
    }
    const auto point = [&](double hz) {
        double db = eq.preamp_db;
        for (const Biquad &b : biquads)
            db += 20.0 * std::log10(biquad_magnitude(b, 2.0 * PI * hz / sample_rate));
        return append_point(out, hz, db);
    };
    for (int k = 0;; ++k) {
        const double hz =
            IMPORT_LOWEST_HZ * std::exp2(static_cast<double>(k) / IMPORT_POINTS_PER_OCTAVE);
        if (!(hz < nyquist))
            break;
        if (!point(hz))
            return fail(error, 0, level_reason(hz));
    }
    if (!point(nyquist))
        return fail(error, 0, level_reason(nyquist));
    text = std::move(out);
    return true;
}

} // namespace zarn
