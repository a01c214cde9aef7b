// SPDX-License-Identifier: BSD-2-Clause
// zarnmix_fir: the panel's FIR design from the command line.
#include <cerrno>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <getopt.h>
#include <string>
#include <unistd.h>
#include <vector>

#include "eq/filter_design.h"
#include "eq/filter_import.h"
#include "eq/freq_response.h"
#include "tools/state_file_io.h"

namespace {

constexpr int EXIT_USAGE = 64;
constexpr int OPT_VERSION = 256;
constexpr int OPT_IMPORT = 257;

[[noreturn]] void usage() {
    std::fputs("usage: zarnmix_fir -n LENGTH -r RATE [-p] [FILE]\n"
               "       zarnmix_fir -r RATE --import FILE\n",
               stderr);
    std::exit(EXIT_USAGE);
}

// Prints the filter text of a GraphicEQ or parametric EQ file.
int import(const char *path, double rate) {
    std::string file;
    std::string reason;
    if (!zarn::read_import_file(path, file, reason)) {
        std::fprintf(stderr, "zarnmix_fir: %s: %s\n", path, reason.c_str());
        return 1;
    }
    std::string text;
    zarn::ImportError error;
    if (!zarn::import_filter_text(file, rate, text, error)) {
        if (error.line > 0)
            std::fprintf(stderr, "zarnmix_fir: %s: line %llu: %s\n", path,
                         static_cast<unsigned long long>(error.line), error.reason.c_str());
        else
            std::fprintf(stderr, "zarnmix_fir: %s: %s\n", path, error.reason.c_str());
        return 1;
    }
    if (std::fputs(text.c_str(), stdout) < 0 || std::fflush(stdout) != 0) {
        std::fputs("zarnmix_fir: write error\n", stderr);
        return 1;
    }
    return 0;
}

bool parse_length(const char *text, std::uint64_t &length) {
    char *end = nullptr;
    errno = 0;
    const long long value = std::strtoll(text, &end, 10);
    if (errno != 0 || end == text || *end != '\0' || value < 1 ||
        static_cast<unsigned long long>(value) > zarn::MAX_FILTER_LENGTH)
        return false;
    length = static_cast<std::uint64_t>(value);
    return true;
}

// The daemon reports its rate as a signed 32-bit integer; fractions are
// accepted, values beyond that range are not.
bool parse_rate(const char *text, double &rate) {
    char *end = nullptr;
    errno = 0;
    const double value = std::strtod(text, &end);
    if (errno != 0 || end == text || *end != '\0' || !(value > 0.0) || value > 2147483647.0)
        return false;
    rate = value;
    return true;
}

// A filter specification is typed; a text beyond this is none, and is
// refused rather than read on to the end of the memory.
constexpr std::size_t MAX_TEXT = zarn::MAX_IMPORT_BYTES;

// The text of a regular file at path (the state files' bounded reader, so
// that /dev/zero or a FIFO fails at once), or of standard input for a null
// path, at most MAX_TEXT bytes; false after saying why.
bool read_text(const char *path, std::string &text) {
    const char *shown = path ? path : "standard input";
    if (path) {
        QByteArray data;
        std::string error;
        if (!zarn::state::read_state_file(path, data, error)) {
            std::fprintf(stderr, "zarnmix_fir: %s\n", error.c_str());
            return false;
        }
        text.assign(data.constData(), static_cast<std::size_t>(data.size()));
    } else {
        char buffer[65536];
        std::size_t got;
        while (text.size() <= MAX_TEXT && (got = std::fread(buffer, 1, sizeof buffer, stdin)) > 0)
            text.append(buffer, got);
        if (std::ferror(stdin)) {
            std::fputs("zarnmix_fir: standard input: read error\n", stderr);
            return false;
        }
    }
    if (text.size() > MAX_TEXT) {
        std::fprintf(stderr, "zarnmix_fir: %s: longer than any filter specification\n", shown);
        return false;
    }
    return true;
}

} // namespace

int main(int argc, char **argv) {
    std::uint64_t length = 0;
    double rate = 0.0;
    bool plot = false;
    bool have_length = false;
    bool have_rate = false;
    const char *import_path = nullptr;

    static const option long_options[] = {
        {"version", no_argument, nullptr, OPT_VERSION},
        {"import", required_argument, nullptr, OPT_IMPORT},
        {nullptr, 0, nullptr, 0},
    };
    opterr = 0;
    int option;
    while ((option = getopt_long(argc, argv, "n:r:p", long_options, nullptr)) != -1) {
        switch (option) {
        case OPT_VERSION:
            std::puts("zarnmix_fir " ZARN_VERSION);
            return 0;
        case 'n':
            if (!parse_length(optarg, length))
                usage();
            have_length = true;
            break;
        case 'r':
            if (!parse_rate(optarg, rate))
                usage();
            have_rate = true;
            break;
        case 'p':
            plot = true;
            break;
        case OPT_IMPORT:
            import_path = optarg;
            break;
        default:
            usage();
        }
    }
    if (import_path) {
        if (!have_rate || have_length || plot || optind < argc)
            usage();
        return import(import_path, rate);
    }
    if (!have_length || !have_rate || argc - optind > 1)
        usage();

    std::string text;
    if (!read_text(optind < argc ? argv[optind] : nullptr, text))
        return 1;

    // As the equalizer does: trimmed, and ended by its first NUL byte.
    const std::string filter_text = zarn::trim_white_space(text);
    if (filter_text.empty()) {
        std::fputs("EQ filter specification is empty\n", stderr);
        return 1;
    }
    std::vector<double> coefficients(length);
    if (zarn::design_coefficients(rate, length, filter_text.c_str(), coefficients.data())) {
        std::fputs("Invalid EQ filter specification\n", stderr);
        return 1;
    }

    if (plot) {
        zarn::ResponseColumns columns;
        zarn::evaluate_response(rate, static_cast<int>(length), coefficients.data(), &columns);
        for (int x = 0; x < zarn::RESPONSE_COLUMNS; ++x)
            std::printf("%.17g %.17g\n", columns.freq[x], columns.mag[x]);
    } else {
        for (double c : coefficients)
            std::printf("%.17g\n", c);
    }
    if (std::fflush(stdout) != 0 || std::ferror(stdout)) {
        std::fputs("zarnmix_fir: write error\n", stderr);
        return 1;
    }
    return 0;
}
