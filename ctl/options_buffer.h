// SPDX-License-Identifier: BSD-2-Clause

#pragma once

#include <cstddef>
#include <cstdint>
#include <type_traits>

namespace zarn {

constexpr std::size_t OPTIONS_BUFFER_SIZE = 1024;

// Option text to the daemon (Latin-1), its answer back (UTF-8); both
// NUL-terminated when the daemon behaves.
struct OptionsBuffer {
    char text[OPTIONS_BUFFER_SIZE];
};

static_assert(std::is_standard_layout_v<OptionsBuffer>);
static_assert(sizeof(OptionsBuffer) == 1024);
static_assert(offsetof(OptionsBuffer, text) == 0);

} // namespace zarn
