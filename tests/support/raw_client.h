// SPDX-License-Identifier: BSD-2-Clause

#pragma once

#include <QByteArray>
#include <cstdint>
#include <cstring>
#include <string>
#include <sys/socket.h>
#include <sys/time.h>
#include <sys/un.h>
#include <unistd.h>

// A client of the control socket's raw protocol, so that a test can send
// what no panel sends: a code and its record, then the result and record.
namespace raw_client {

// Connected with a 3 s limit on every reply.
inline int connect_to(const std::string &path) {
    sockaddr_un address{};
    address.sun_family = AF_UNIX;
    std::strncpy(address.sun_path, path.c_str(), sizeof address.sun_path - 1);
    const int fd = ::socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0);
    timeval limit{3, 0};
    ::setsockopt(fd, SOL_SOCKET, SO_RCVTIMEO, &limit, sizeof limit);
    if (::connect(fd, reinterpret_cast<sockaddr *>(&address), sizeof address) != 0) {
        ::close(fd);
        return -1;
    }
    return fd;
}

inline bool send_request(int fd, std::uint32_t code, const QByteArray &record) {
    QByteArray bytes(reinterpret_cast<const char *>(&code), sizeof code);
    bytes += record;
    return ::send(fd, bytes.constData(), static_cast<std::size_t>(bytes.size()), MSG_NOSIGNAL) ==
           bytes.size();
}

// Reads a reply of length record bytes; false on a short or missing one.
inline bool read_reply(int fd, int length, int &result, QByteArray &record) {
    QByteArray bytes(static_cast<int>(sizeof(std::int32_t)) + length, '\0');
    int got = 0;
    while (got < bytes.size()) {
        const ssize_t n =
            ::recv(fd, bytes.data() + got, static_cast<std::size_t>(bytes.size() - got), 0);
        if (n <= 0)
            return false;
        got += static_cast<int>(n);
    }
    std::memcpy(&result, bytes.constData(), sizeof result);
    record = bytes.mid(sizeof result);
    return true;
}

// One request and its reply; the result, or 1000 when no reply came.
inline int exchange(int fd, std::uint32_t code, const QByteArray &record,
                    QByteArray *reply = nullptr) {
    int result = 0;
    QByteArray answer;
    if (!send_request(fd, code, record) || !read_reply(fd, record.size(), result, answer))
        return 1000;
    if (reply)
        *reply = answer;
    return result;
}

} // namespace raw_client
