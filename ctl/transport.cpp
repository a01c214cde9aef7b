#include "ctl/transport.h"

#include "ctl/filter_record.h"
#include "ctl/requests.h"

#include <cerrno>
#include <chrono>
#include <cstring>
#include <fcntl.h>
#include <memory>
#include <poll.h>
#include <sys/ioctl.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/un.h>
#include <unistd.h>

namespace zarn {

namespace {

using Clock = std::chrono::steady_clock;

// The whole exchange, request and reply, must finish within this time.
constexpr auto REPLY_LIMIT = std::chrono::seconds(1);

bool is_socket(int fd) {
    struct stat st;
    return ::fstat(fd, &st) == 0 && S_ISSOCK(st.st_mode);
}

unsigned long timeouts = 0;

// Waits until fd is ready for events or the deadline passes.
bool wait_ready(int fd, short events, Clock::time_point deadline) {
    for (;;) {
        const auto left =
            std::chrono::duration_cast<std::chrono::milliseconds>(deadline - Clock::now()).count();
        if (left <= 0) {
            ++timeouts;
            return false;
        }
        pollfd p{fd, events, 0};
        const int n = ::poll(&p, 1, static_cast<int>(left) + 1);
        if (n < 0 && errno == EINTR) {
            continue;
        }
        if (n == 0) {
            ++timeouts;
            return false;
        }
        if (n < 0) {
            return false;
        }
        // Hang-up or error still lets recv/send report what happened.
        return true;
    }
}

bool send_all(int fd, const void *data, std::size_t size, Clock::time_point deadline) {
    const auto *p = static_cast<const unsigned char *>(data);
    while (size > 0) {
        const ssize_t n = ::send(fd, p, size, MSG_NOSIGNAL | MSG_DONTWAIT);
        if (n > 0) {
            p += n;
            size -= static_cast<std::size_t>(n);
            continue;
        }
        if (n < 0 && errno == EINTR) {
            continue;
        }
        if (n < 0 && (errno == EAGAIN || errno == EWOULDBLOCK)) {
            if (!wait_ready(fd, POLLOUT, deadline)) {
                return false;
            }
            continue;
        }
        return false;
    }
    return true;
}

bool recv_all(int fd, void *data, std::size_t size, Clock::time_point deadline) {
    auto *p = static_cast<unsigned char *>(data);
    while (size > 0) {
        const ssize_t n = ::recv(fd, p, size, MSG_DONTWAIT);
        if (n > 0) {
            p += n;
            size -= static_cast<std::size_t>(n);
            continue;
        }
        if (n == 0) {
            return false; // closed mid-reply
        }
        if (errno == EINTR) {
            continue;
        }
        if (errno == EAGAIN || errno == EWOULDBLOCK) {
            if (!wait_ready(fd, POLLIN, deadline)) {
                return false;
            }
            continue;
        }
        return false;
    }
    return true;
}

double *coefficient_address(const unsigned char *record) {
    std::uint64_t address;
    std::memcpy(&address, record + offsetof(FilterRecord, coefficients), sizeof address);
    return reinterpret_cast<double *>(static_cast<std::uintptr_t>(address));
}

int fail(int fd, int error) {
    // The stream may be out of step now; every later request must fail at once.
    ::shutdown(fd, SHUT_RDWR);
    errno = error;
    return -1;
}

int socket_request(int fd, std::uint32_t code, void *record) {
    const std::size_t length = ioc_size(code);
    if (length > 0 && record == nullptr) {
        errno = EFAULT;
        return -1;
    }
    const auto deadline = Clock::now() + REPLY_LIMIT;
    auto *caller = static_cast<unsigned char *>(record);
    const bool filter = is_filter_get(code) || is_filter_set(code);

    // The request goes out as one buffer, so a small request is one send.
    unsigned char request[sizeof code + IOC_SIZE_MASK];
    std::memcpy(request, &code, sizeof code);
    if (length > 0) {
        std::memcpy(request + sizeof code, caller, length);
    }
    if (!send_all(fd, request, sizeof code + length, deadline)) {
        return fail(fd, EIO);
    }
    if (is_filter_set(code)) {
        const std::size_t count = carried_doubles(caller);
        if (count > 0 &&
            !send_all(fd, coefficient_address(caller), count * sizeof(double), deadline)) {
            return fail(fd, EIO);
        }
    }

    // The reply lands in private buffers: the caller's memory changes only
    // once the whole reply has arrived and reports success.
    unsigned char reply[sizeof(std::int32_t) + IOC_SIZE_MASK];
    if (!recv_all(fd, reply, sizeof(std::int32_t) + length, deadline)) {
        return fail(fd, EIO);
    }
    std::int32_t result;
    std::memcpy(&result, reply, sizeof result);

    std::unique_ptr<double[]> doubles;
    std::size_t count = 0;
    if (is_filter_get(code) && result == 0) {
        count = carried_doubles(caller);
        if (count > 0) {
            doubles.reset(new double[count]);
            if (!recv_all(fd, doubles.get(), count * sizeof(double), deadline)) {
                return fail(fd, EIO);
            }
        }
    }
    if (result != 0) {
        errno = EINVAL;
        return -1;
    }

    unsigned char *const reply_record = reply + sizeof result;
    if (filter && length >= sizeof(FilterRecord)) {
        // The daemon's idea of the address means nothing in this process.
        std::memcpy(reply_record + offsetof(FilterRecord, coefficients),
                    caller + offsetof(FilterRecord, coefficients), sizeof(std::uint64_t));
    }
    if (count > 0) {
        std::memcpy(coefficient_address(caller), doubles.get(), count * sizeof(double));
    }
    if (length > 0) {
        std::memcpy(caller, reply_record, length);
    }
    return 0;
}

} // namespace

int ctl_open(const char *path) {
    if (path == nullptr) {
        errno = EFAULT;
        return -1;
    }
    struct stat st;
    if (::stat(path, &st) != 0 || !S_ISSOCK(st.st_mode)) {
        return ::open(path, O_RDWR | O_CLOEXEC);
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
    return fd;
}

int ctl_request(int fd, std::uint32_t code, void *record) {
    if (fd < 0) {
        errno = EBADF;
        return -1;
    }
    if (is_socket(fd)) {
        return socket_request(fd, code, record);
    }
    return ::ioctl(fd, static_cast<unsigned long>(code), record);
}

int ctl_close(int fd) {
    return ::close(fd);
}

unsigned long ctl_timeouts() {
    return timeouts;
}

} // namespace zarn
