// SPDX-License-Identifier: BSD-2-Clause
// Arbitrary bytes as one zarnmix_mixer argument. What the parser accepts
// names a known control and a value its range allows; every message prints
// without control characters.

#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string>

#include "tools/mixer_args.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t *data, std::size_t size) {
    // An argument is a C string: it ends at the first NUL.
    const std::string text(reinterpret_cast<const char *>(data), size);
    zarn::mixer::Argument argument;
    std::string error;
    if (!zarn::mixer::parse_argument(text.c_str(), argument, error)) {
        for (const char c : error) {
            if (static_cast<unsigned char>(c) < 0x20)
                std::abort();
        }
        return 0;
    }
    if (argument.target.empty() ||
        (!argument.control.empty() && !zarn::mixer::known_control(argument.control)))
        std::abort();
    if (argument.op == zarn::mixer::Op::set && argument.control != "delay") {
        const zarn::mixer::Control *c = nullptr;
        for (const auto home : {zarn::mixer::Home::two_way, zarn::mixer::Home::monitor,
                                zarn::mixer::Home::compressor}) {
            if (!c)
                c = zarn::mixer::find_control(argument.control, home);
        }
        std::int32_t low;
        std::int32_t high;
        zarn::mixer::control_range(*c, 0, low, high);
        if (argument.value < low || argument.value > high)
            std::abort();
    }
    return 0;
}
