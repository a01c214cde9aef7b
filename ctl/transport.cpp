// SPDX-License-Identifier: BSD-2-Clause

#include "ctl/transport.h"

#include <atomic>
#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/un.h>
#include <unistd.h>

#include "ctl/transport_parts.h"

namespace zarn {

namespace transport {

unsigned long timeouts = 0;
unsigned long round_trips = 0;

} // namespace transport

using namespace transport;

namespace {

// What each descriptor that ctl_open returned is, so that a request needs no
// fstat. ctl_close forgets a descriptor before closing it, and ctl_open
// records one anew, so a number the system hands out again never carries
// the old entry. Descriptors that did not come from ctl_open (or lie past
// the table) are examined on every request.
constexpr int REMEMBERED = 1024;
std::atomic<unsigned char> media[REMEMBERED];

Medium remembered(int fd) {
    return fd < REMEMBERED ? static_cast<Medium>(media[fd].load(std::memory_order_relaxed))
                           : UNKNOWN;
}

void remember(int fd, Medium medium) {
    if (fd >= 0 && fd < REMEMBERED)
        media[fd].store(medium, std::memory_order_relaxed);
}

Medium examine(int fd) {
    struct stat st;
    return ::fstat(fd, &st) == 0 && S_ISSOCK(st.st_mode) ? SOCKET_POLLED : OTHER;
}

Medium medium_of(int fd) {
    const Medium medium = remembered(fd);
    if (medium != UNKNOWN)
        return medium;
    // Past the table, a character device from ctl_open still has its helper.
    if (fd >= REMEMBERED && has_helper(fd))
        return CHARACTER_DEVICE;
    return examine(fd);
}

} // namespace

int ctl_open(const char *path) {
    if (path == nullptr) {
        errno = EFAULT;
        return -1;
    }
    struct stat st;
    const bool known = ::stat(path, &st) == 0;
    if (!known || !S_ISSOCK(st.st_mode)) {
        const int fd =
            known && S_ISCHR(st.st_mode) ? open_device(path) : ::open(path, O_RDWR | O_CLOEXEC);
        if (fd < 0)
            return -1;
        if (::fstat(fd, &st) != 0 || !S_ISCHR(st.st_mode)) {
            remember(fd, OTHER);
            return fd;
        }
        if (!start_helper(fd)) {
            ::close(fd);
            errno = EAGAIN;
            return -1;
        }
        remember(fd, CHARACTER_DEVICE);
        return fd;
    }
    sockaddr_un address{};
    address.sun_family = AF_UNIX;
    const std::size_t path_length = std::strlen(path);
    if (path_length >= sizeof address.sun_path) {
        errno = ENAMETOOLONG;
        return -1;
    }
    std::memcpy(address.sun_path, path, path_length + 1);
    // Non-blocking, so a daemon too busy to accept fails the open at once
    // (the watchdog tries again) instead of freezing the caller.
    const int fd = ::socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC | SOCK_NONBLOCK, 0);
    if (fd < 0) {
        return -1;
    }
    if (::connect(fd, reinterpret_cast<const sockaddr *>(&address), sizeof address) != 0) {
        const int error = errno;
        ::close(fd);
        errno = error;
        return -1;
    }
    const int flags = ::fcntl(fd, F_GETFL);
    if (flags < 0 || ::fcntl(fd, F_SETFL, flags & ~O_NONBLOCK) != 0) {
        const int error = errno;
        ::close(fd);
        errno = error;
        return -1;
    }
    remember(fd, set_timeouts(fd) ? SOCKET_TIMED : SOCKET_POLLED);
    return fd;
}

bool ctl_names_socket(const char *path) {
    struct stat st;
    return path != nullptr && ::stat(path, &st) == 0 && S_ISSOCK(st.st_mode);
}

int ctl_request(int fd, std::uint32_t code, void *record) {
    if (fd < 0) {
        errno = EBADF;
        return -1;
    }
    const Medium medium = medium_of(fd);
    if (medium == SOCKET_TIMED || medium == SOCKET_POLLED)
        return socket_request(fd, medium, code, record);
    int result = -1;
    const BatchedRequest one{code, record, &result};
    device_batch(fd, medium, &one, 1);
    return result;
}

int ctl_request_batch(int fd, const BatchedRequest *requests, int count) {
    const Medium medium = fd < 0 ? OTHER : medium_of(fd);
    if (medium == SOCKET_TIMED || medium == SOCKET_POLLED)
        return socket_batch(fd, medium, requests, count);
    return device_batch(fd, medium, requests, count);
}

int ctl_close(int fd) {
    remember(fd, UNKNOWN);
    if (!let_go_of_helper(fd))
        return 0;
    return ::close(fd);
}

unsigned long ctl_timeouts() {
    return timeouts;
}

unsigned long ctl_round_trips() {
    return round_trips;
}

} // namespace zarn