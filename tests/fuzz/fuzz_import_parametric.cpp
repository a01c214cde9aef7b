// SPDX-License-Identifier: BSD-2-Clause
// Imported parametric EQ files from the fuzzer: the parser, the cookbook
// biquads of what it accepts, and the filter text sampled from them, which
// the filter language must read.
#include "fuzz_import_check.h"

#include <cmath>

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t *data, std::size_t size) {
    if (size < 1)
        return 0;
    const std::string_view file(reinterpret_cast<const char *>(data + 1), size - 1);
    zarn::ParametricEq eq;
    zarn::ImportError error;
    if (!zarn::parse_parametric_eq(file, eq, error)) {
        fuzz_import::check(!error.reason.empty());
        return 0;
    }
    for (const zarn::ParametricFilter &f : eq.filters)
        fuzz_import::check(f.fc > 0.0 && f.q > 0.0 && std::isfinite(f.gain_db));
    fuzz_import::check_text(file, data[0]);
    return 0;
}
