// SPDX-License-Identifier: BSD-2-Clause
// What both import fuzz targets check of the filter text an import makes.
#pragma once

#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string>
#include <string_view>
#include <vector>

#include "eq/filter_design.h"
#include "eq/filter_import.h"

namespace fuzz_import {

inline void check(bool ok) {
    if (!ok)
        std::abort();
}

// Converts the file at a rate picked by the selector; accepted text holds
// only digits, full stops, spaces and line ends, and the filter language
// reads all of it.
inline void check_text(std::string_view file, std::uint8_t selector) {
    static const double RATES[] = {48000.0, 44100.0, 8000.0, 96000.0, 22.0, 1.0};
    const double rate = RATES[selector % (sizeof RATES / sizeof RATES[0])];
    std::string text = "kept";
    zarn::ImportError error;
    if (!zarn::import_filter_text(file, rate, text, error)) {
        check(text == "kept" && !error.reason.empty());
        return;
    }
    check(!text.empty());
    for (char c : text)
        check((c >= '0' && c <= '9') || c == '.' || c == ' ' || c == '\n');
    std::vector<double> spectrum(9);
    zarn::FilterDesign design{};
    // Bins up to the rate itself, so the parser reads every point.
    design.sample_rate = rate * 2.0;
    design.size = 16;
    design.spectrum = spectrum.data();
    check(!zarn::parse_filter_spec(&design, text.c_str()));
}

} // namespace fuzz_import
