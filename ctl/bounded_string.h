// SPDX-License-Identifier: BSD-2-Clause

#pragma once

#include <cstddef>
#include <cstring>
#include <string.h>
#include <string>

namespace zarn {

// Length of a fixed-size byte field up to its first NUL, never past the
// field: the daemon may fill a name to the last byte without terminating it.
inline std::size_t bounded_length(const char *field, std::size_t capacity) {
    return ::strnlen(field, capacity);
}

inline std::string bounded_string(const char *field, std::size_t capacity) {
    return std::string(field, bounded_length(field, capacity));
}

} // namespace zarn
