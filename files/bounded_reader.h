// SPDX-License-Identifier: BSD-2-Clause

#pragma once

#include <cstddef>
#include <cstdint>

namespace zarn::files {

enum class ReadFault {
    none,
    system,      // open, fstat or read failed; the error number says why
    not_regular, // the path names no regular file
    too_large,   // more than the limit, or a file that grew past it meanwhile
};

// The one reader of whole files from outside: a regular file at path, opened
// without waiting (a FIFO without a writer is refused, not waited for), or
// standard input for a null path, which may be a stream. Never more than one
// byte past limit is read.
class BoundedReader {
public:
    BoundedReader(const char *path, std::uint64_t limit);
    ~BoundedReader();
    BoundedReader(const BoundedReader &) = delete;
    BoundedReader &operator=(const BoundedReader &) = delete;

    ReadFault fault() const { return fault_; }
    int error() const { return error_; }
    // A regular file's size when it was opened, else 0: room to reserve.
    std::uint64_t expected_size() const { return expected_; }
    std::uint64_t limit() const { return limit_; }

    // Reads up to n bytes; 0 at the end; -1 after a fault.
    long read(char *buffer, std::size_t n);
    // Marks the file too large: a caller that read past the limit.
    void too_large() { fault_ = ReadFault::too_large; }

private:
    int fd_ = -1;
    bool own_ = false;
    std::uint64_t limit_;
    std::uint64_t expected_ = 0;
    ReadFault fault_ = ReadFault::none;
    int error_ = 0;
};

// Reads the whole file into data (a std::string or a QByteArray), at most
// limit bytes. data is empty after a fault.
template <typename Buffer>
ReadFault read_bounded(const char *path, std::uint64_t limit, Buffer &data, int &error) {
    using Size = decltype(data.size());
    constexpr std::uint64_t CHUNK = std::uint64_t{1} << 20;
    data.clear();
    BoundedReader in(path, limit);
    if (in.fault() == ReadFault::none) {
        data.reserve(static_cast<Size>(in.expected_size() + 1));
        // One byte beyond the limit tells a file that grew, or a stream, too large.
        while (static_cast<std::uint64_t>(data.size()) <= limit) {
            const Size at = data.size();
            const std::uint64_t left = limit + 1 - static_cast<std::uint64_t>(at);
            const std::size_t want = static_cast<std::size_t>(left < CHUNK ? left : CHUNK);
            data.resize(at + static_cast<Size>(want));
            const long n = in.read(data.data() + at, want);
            data.resize(at + static_cast<Size>(n > 0 ? n : 0));
            if (n <= 0)
                break;
        }
        if (in.fault() == ReadFault::none && static_cast<std::uint64_t>(data.size()) > limit)
            in.too_large();
    }
    error = in.error();
    if (in.fault() != ReadFault::none)
        data.clear();
    return in.fault();
}

} // namespace zarn::files
