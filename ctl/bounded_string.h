#pragma once

#include <cstddef>
#include <cstring>
#include <string>

namespace zarn {

// Length of a fixed-size byte field up to its first NUL, never past the
// field: the daemon may fill a name to the last byte without terminating it.
inline std::size_t bounded_length(const char *field, std::size_t capacity) {
    const void *nul = std::memchr(field, '\0', capacity);
    return nul ? static_cast<std::size_t>(static_cast<const char *>(nul) - field) : capacity;
}

inline std::string bounded_string(const char *field, std::size_t capacity) {
    return std::string(field, bounded_length(field, capacity));
}

} // namespace zarn
