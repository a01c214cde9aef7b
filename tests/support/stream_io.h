// SPDX-License-Identifier: BSD-2-Clause

#pragma once

#include <cerrno>
#include <cstddef>
#include <sys/socket.h>
#include <sys/types.h>
#include <sys/uio.h>

// Blocking transfers on a stream socket for the devices and daemons that
// tests and benchmarks stand up. Kept apart from the transport's own send
// and receive, so that the other end of a test never runs the code under test.
namespace test_io {

// Sends every byte of the buffers, going on after a partial send.
inline bool send_all(int sock, iovec *iov, int count) {
    msghdr message{};
    message.msg_iov = iov;
    message.msg_iovlen = static_cast<decltype(message.msg_iovlen)>(count);
    while (message.msg_iovlen > 0) {
        const ssize_t n = ::sendmsg(sock, &message, MSG_NOSIGNAL);
        if (n < 0 && errno == EINTR)
            continue;
        if (n <= 0)
            return false;
        std::size_t sent = static_cast<std::size_t>(n);
        while (message.msg_iovlen > 0 && sent >= message.msg_iov->iov_len) {
            sent -= message.msg_iov->iov_len;
            ++message.msg_iov;
            --message.msg_iovlen;
        }
        if (message.msg_iovlen > 0) {
            message.msg_iov->iov_base = static_cast<char *>(message.msg_iov->iov_base) + sent;
            message.msg_iov->iov_len -= sent;
        }
    }
    return true;
}

inline bool send_all(int sock, const void *data, std::size_t size) {
    iovec one{const_cast<void *>(data), size};
    return send_all(sock, &one, 1);
}

inline bool recv_all(int sock, void *data, std::size_t size) {
    auto *p = static_cast<unsigned char *>(data);
    while (size > 0) {
        const ssize_t n = ::recv(sock, p, size, MSG_WAITALL);
        if (n < 0 && errno == EINTR)
            continue;
        if (n <= 0)
            return false;
        p += n;
        size -= static_cast<std::size_t>(n);
    }
    return true;
}

} // namespace test_io
