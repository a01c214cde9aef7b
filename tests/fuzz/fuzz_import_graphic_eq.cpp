// SPDX-License-Identifier: BSD-2-Clause
// Imported GraphicEQ files from the fuzzer: the parser, and the filter text
// made from what it accepts, which the filter language must read.
#include "fuzz_import_check.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t *data, std::size_t size) {
    if (size < 1)
        return 0;
    const std::string_view file(reinterpret_cast<const char *>(data + 1), size - 1);
    zarn::GraphicEq eq;
    zarn::ImportError error;
    if (!zarn::parse_graphic_eq(file, eq, error)) {
        fuzz_import::check(!error.reason.empty());
        return 0;
    }
    fuzz_import::check(!eq.points.empty());
    for (std::size_t i = 1; i < eq.points.size(); ++i)
        fuzz_import::check(eq.points[i].first >= eq.points[i - 1].first);
    fuzz_import::check_text(file, data[0]);
    return 0;
}
