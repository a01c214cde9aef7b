// SPDX-License-Identifier: BSD-2-Clause
// A character device that a simulated daemon drives, for the tests of the
// transport's ioctl path: preloaded (or linked) into a program, it serves
// ioctl() on descriptors of the device that ZARN_PRELOAD_DEVICE names (for
// example /dev/zero) from the daemon listening at ZARN_PRELOAD_SOCKET, over
// the socket protocol; every other ioctl goes on to the system. Like a
// device, it has no time limit: while the daemon does not answer (stopped
// with SIGSTOP, or told to be silent), the ioctl blocks.
//
// Each descriptor gets its own connection, made by its first request and
// closed with the descriptor; a connection that failed fails every later
// request on its descriptor, as a device does once its daemon is gone.

#include <atomic>
#include <cerrno>
#include <cstdarg>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <dlfcn.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/uio.h>
#include <sys/un.h>
#include <unistd.h>

#include "ctl/filter_record.h"
#include "ctl/requests.h"
#include "support/stream_io.h"

namespace {

using IoctlFunction = int (*)(int, unsigned long, ...);
using CloseFunction = int (*)(int);

template <typename F> F next_function(const char *name) {
    void *const symbol = ::dlsym(RTLD_NEXT, name);
    F f = nullptr;
    static_assert(sizeof f == sizeof symbol);
    std::memcpy(&f, &symbol, sizeof f);
    return f;
}

IoctlFunction system_ioctl() {
    static const IoctlFunction f = next_function<IoctlFunction>("ioctl");
    return f;
}

CloseFunction system_close() {
    static const CloseFunction f = next_function<CloseFunction>("close");
    return f;
}

// Connection of each descriptor: 0 none yet, DEAD failed, else socket + 1.
// Atomics rather than a lock: close() runs in forked children too.
constexpr int SLOTS = 1024;
constexpr int DEAD = -1;
std::atomic<int> connections[SLOTS];

bool is_the_device(int fd) {
    const char *const device = std::getenv("ZARN_PRELOAD_DEVICE");
    struct stat named, opened;
    return device != nullptr && ::stat(device, &named) == 0 && S_ISCHR(named.st_mode) &&
           ::fstat(fd, &opened) == 0 && S_ISCHR(opened.st_mode) && opened.st_rdev == named.st_rdev;
}

int connect_daemon() {
    const char *const path = std::getenv("ZARN_PRELOAD_SOCKET");
    sockaddr_un address{};
    address.sun_family = AF_UNIX;
    if (path == nullptr || std::strlen(path) >= sizeof address.sun_path)
        return -1;
    std::strcpy(address.sun_path, path);
    const int sock = ::socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0);
    if (sock >= 0 && ::connect(sock, reinterpret_cast<sockaddr *>(&address), sizeof address) != 0) {
        system_close()(sock);
        return -1;
    }
    return sock;
}

using test_io::recv_all;
using test_io::send_all;

double *coefficients_of(const unsigned char *record) {
    std::uint64_t address;
    std::memcpy(&address, record + offsetof(zarn::FilterRecord, coefficients), sizeof address);
    return reinterpret_cast<double *>(static_cast<std::uintptr_t>(address));
}

// One request over the protocol. Returns 0, -1 for a refusal, or -2 when
// the connection failed.
int exchange(int sock, std::uint32_t code, unsigned char *record) {
    const std::size_t length = zarn::ioc_size(code);
    const bool filter = zarn::is_filter_get(code) || zarn::is_filter_set(code);
    const std::size_t taps = filter ? zarn::carried_doubles(record) : 0;
    unsigned char request[sizeof code + zarn::IOC_SIZE_MASK];
    std::memcpy(request, &code, sizeof code);
    if (length > 0)
        std::memcpy(request + sizeof code, record, length);
    iovec out[2] = {{request, sizeof code + length}, {nullptr, 0}};
    int parts = 1;
    if (zarn::is_filter_set(code) && taps > 0) {
        out[1] = {coefficients_of(record), taps * sizeof(double)};
        parts = 2;
    }
    unsigned char reply[sizeof(std::int32_t) + zarn::IOC_SIZE_MASK];
    if (!send_all(sock, out, parts) || !recv_all(sock, reply, sizeof(std::int32_t) + length))
        return -2;
    std::int32_t result;
    std::memcpy(&result, reply, sizeof result);
    // Like a device's ioctl, the daemon writes the array at the address the
    // record names, and the record only on success.
    if (result == 0 && zarn::is_filter_get(code) && taps > 0 &&
        !recv_all(sock, coefficients_of(record), taps * sizeof(double)))
        return -2;
    if (result != 0)
        return -1;
    if (filter)
        std::memcpy(reply + sizeof result + offsetof(zarn::FilterRecord, coefficients),
                    record + offsetof(zarn::FilterRecord, coefficients), sizeof(std::uint64_t));
    if (length > 0)
        std::memcpy(record, reply + sizeof result, length);
    return 0;
}

// The connection of a descriptor of the device, made on its first request:
// a socket, DEAD, or 0 when fd is not the device.
int connection_of(int fd) {
    const int known = connections[fd].load();
    if (known != 0)
        return known == DEAD ? DEAD : known - 1;
    if (!is_the_device(fd))
        return 0;
    const int sock = connect_daemon();
    connections[fd].store(sock < 0 ? DEAD : sock + 1);
    return sock < 0 ? DEAD : sock;
}

} // namespace

// The third argument is read as an address, as the system's own ioctl
// wrapper reads it; every request served here passes one.
extern "C" int ioctl(int fd, unsigned long request, ...) {
    va_list arguments;
    va_start(arguments, request);
    void *const argument = va_arg(arguments, void *);
    va_end(arguments);
    // Only the control device's group; a terminal or socket request on the
    // same descriptor goes to the system.
    const bool control = static_cast<std::uint64_t>(request) >> 32 == 0 &&
                         ((request >> 8) & 0xffu) == zarn::IOC_GROUP;
    const int sock = control && fd >= 0 && fd < SLOTS ? connection_of(fd) : 0;
    if (sock == 0)
        return system_ioctl()(fd, request, argument);
    if (sock == DEAD) {
        errno = ENXIO;
        return -1;
    }
    const auto code = static_cast<std::uint32_t>(request);
    if (argument == nullptr && zarn::ioc_size(code) > 0) {
        errno = EFAULT;
        return -1;
    }
    const int result = exchange(sock, code, static_cast<unsigned char *>(argument));
    if (result == -2) {
        connections[fd].store(DEAD);
        system_close()(sock);
        errno = EIO;
        return -1;
    }
    if (result != 0) {
        errno = EINVAL;
        return -1;
    }
    return 0;
}

extern "C" int close(int fd) {
    if (fd >= 0 && fd < SLOTS) {
        const int known = connections[fd].exchange(0);
        if (known > 0)
            system_close()(known - 1);
    }
    return system_close()(fd);
}
