// SPDX-License-Identifier: BSD-2-Clause

#include "files/bounded_reader.h"

#include <cerrno>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace zarn::files {

BoundedReader::BoundedReader(const char *path, std::uint64_t limit) : limit_(limit) {
    fd_ = path ? ::open(path, O_RDONLY | O_NONBLOCK | O_NOCTTY | O_CLOEXEC) : 0;
    own_ = path != nullptr && fd_ >= 0;
    if (fd_ < 0) {
        fault_ = ReadFault::system;
        error_ = errno;
        return;
    }
    struct stat st {};
    if (::fstat(fd_, &st) != 0) {
        fault_ = ReadFault::system;
        error_ = errno;
        return;
    }
    if (path && !S_ISREG(st.st_mode)) {
        fault_ = ReadFault::not_regular;
        return;
    }
    if (S_ISREG(st.st_mode)) {
        expected_ = static_cast<std::uint64_t>(st.st_size);
        if (expected_ > limit_) {
            fault_ = ReadFault::too_large;
            return;
        }
    }
    // A regular file reads at once; only standard input may be a stream.
    if (own_)
        ::fcntl(fd_, F_SETFL, ::fcntl(fd_, F_GETFL) & ~O_NONBLOCK);
}

BoundedReader::~BoundedReader() {
    if (own_)
        ::close(fd_);
}

long BoundedReader::read(char *buffer, std::size_t n) {
    if (fault_ != ReadFault::none)
        return -1;
    for (;;) {
        const ssize_t got = ::read(fd_, buffer, n);
        if (got < 0 && errno == EINTR)
            continue;
        if (got < 0) {
            fault_ = ReadFault::system;
            error_ = errno;
            return -1;
        }
        return static_cast<long>(got);
    }
}

} // namespace zarn::files
