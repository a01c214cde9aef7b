// SPDX-License-Identifier: BSD-2-Clause

#include "sim/server.h"

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <poll.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/un.h>
#include <unistd.h>

#include "ctl/filter_record.h"
#include "ctl/requests.h"

namespace zarn::sim {

namespace {

constexpr std::size_t READ_CHUNK = 64 * 1024;

bool make_address(const std::string &path, sockaddr_un &address) {
    address = sockaddr_un{};
    address.sun_family = AF_UNIX;
    if (path.empty() || path.size() >= sizeof address.sun_path) {
        return false;
    }
    std::memcpy(address.sun_path, path.c_str(), path.size() + 1);
    return true;
}

// Only codes of the daemon's group with a real direction are requests at
// all; anything else means the client is not speaking the protocol.
bool plausible(std::uint32_t code) {
    const std::uint32_t direction = code & 0xe0000000u;
    const bool known_direction = direction == DIR_VOID || direction == DIR_OUT ||
                                 direction == DIR_IN || direction == DIR_INOUT;
    return known_direction && ((code >> 8) & 0xffu) == IOC_GROUP;
}

} // namespace

Server::Server(Handler handler) : handler_(std::move(handler)), chunk_(READ_CHUNK) {}

Server::~Server() {
    close();
}

bool Server::listen(const std::string &path, std::string &error) {
    close();
    sockaddr_un address;
    if (!make_address(path, address)) {
        error = "socket path is empty or too long: " + path;
        return false;
    }
    struct stat st;
    if (::lstat(path.c_str(), &st) == 0) {
        if (!S_ISSOCK(st.st_mode)) {
            error = path + " exists and is not a socket";
            return false;
        }
        const int probe = ::socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0);
        if (probe < 0) {
            error = std::string("socket: ") + std::strerror(errno);
            return false;
        }
        const int connected =
            ::connect(probe, reinterpret_cast<const sockaddr *>(&address), sizeof address);
        const int connect_error = errno;
        ::close(probe);
        if (connected == 0) {
            error = path + " is in use by a running daemon";
            return false;
        }
        if (connect_error != ECONNREFUSED && connect_error != ENOENT) {
            error = path + ": " + std::strerror(connect_error);
            return false;
        }
        ::unlink(path.c_str()); // stale: nobody listens behind it
    }

    listener_ = ::socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC | SOCK_NONBLOCK, 0);
    if (listener_ < 0) {
        error = std::string("socket: ") + std::strerror(errno);
        return false;
    }
    if (::bind(listener_, reinterpret_cast<const sockaddr *>(&address), sizeof address) != 0 ||
        ::listen(listener_, SOMAXCONN) != 0) {
        error = path + ": " + std::strerror(errno);
        ::close(listener_);
        listener_ = -1;
        return false;
    }
    path_ = path;
    if (::lstat(path.c_str(), &st) == 0) {
        device_ = st.st_dev;
        inode_ = st.st_ino;
    }
    return true;
}

void Server::close() {
    for (Connection &connection : connections_) {
        ::close(connection.fd);
    }
    connections_.clear();
    if (listener_ >= 0) {
        ::close(listener_);
        listener_ = -1;
        // Remove the file only while it is still ours, not a successor's.
        struct stat st;
        if (::lstat(path_.c_str(), &st) == 0 && st.st_dev == device_ && st.st_ino == inode_) {
            ::unlink(path_.c_str());
        }
    }
}

bool Server::busy(const Connection &connection) const {
    return connection.in_pos < connection.in.size() || connection.out_pos < connection.out.size();
}

void Server::accept_all() {
    for (;;) {
        const int fd = ::accept4(listener_, nullptr, nullptr, SOCK_NONBLOCK | SOCK_CLOEXEC);
        if (fd < 0) {
            return; // EAGAIN, or a client that went away before it was accepted
        }
        Connection connection;
        connection.fd = fd;
        connection.last_progress = Clock::now();
        connections_.push_back(std::move(connection));
    }
}

bool Server::receive(Connection &connection) {
    const ssize_t n = ::recv(connection.fd, chunk_.data(), chunk_.size(), 0);
    if (n <= 0) {
        return n < 0 && (errno == EAGAIN || errno == EWOULDBLOCK || errno == EINTR);
    }
    connection.in.insert(connection.in.end(), chunk_.begin(), chunk_.begin() + n);
    connection.last_progress = Clock::now();
    return true;
}

bool Server::flush(Connection &connection) {
    while (connection.out_pos < connection.out.size()) {
        const ssize_t n =
            ::send(connection.fd, connection.out.data() + connection.out_pos,
                   connection.out.size() - connection.out_pos, MSG_NOSIGNAL | MSG_DONTWAIT);
        if (n > 0) {
            connection.out_pos += static_cast<std::size_t>(n);
            connection.last_progress = Clock::now();
            continue;
        }
        if (n < 0 && errno == EINTR) {
            continue;
        }
        return n < 0 && (errno == EAGAIN || errno == EWOULDBLOCK);
    }
    connection.out.clear();
    connection.out_pos = 0;
    return !connection.close_after_reply;
}

// Answers the complete requests waiting in the input, in order, as long as
// every reply goes out at once; returns false to drop the connection.
bool Server::serve(Connection &connection) {
    while (connection.out.empty()) {
        const std::size_t available = connection.in.size() - connection.in_pos;
        const unsigned char *begin = connection.in.data() + connection.in_pos;
        std::uint32_t code;
        if (available < sizeof code) {
            break;
        }
        std::memcpy(&code, begin, sizeof code);
        if (!plausible(code)) {
            return false;
        }
        const std::size_t length = ioc_size(code);
        if (available < sizeof code + length) {
            break;
        }
        const unsigned char *record_bytes = begin + sizeof code;
        std::size_t doubles = 0;
        if (is_filter_set(code)) {
            doubles = carried_doubles(record_bytes);
        }
        const std::size_t total = sizeof code + length + doubles * sizeof(double);
        if (available < total) {
            break;
        }

        std::vector<unsigned char> record(record_bytes, record_bytes + length);
        std::vector<double> payload(doubles);
        if (doubles > 0) {
            std::memcpy(payload.data(), record_bytes + length, doubles * sizeof(double));
        }
        // A filter read sends back as many doubles as the request asked for.
        const std::size_t wanted = is_filter_get(code) ? carried_doubles(record.data()) : 0;
        connection.in_pos += total;

        ReplyFault fault = ReplyFault::none;
        const std::int32_t result = handler_(code, record.data(), payload, fault);
        if (fault == ReplyFault::silent) {
            continue;
        }
        std::vector<unsigned char> &out = connection.out;
        out.resize(sizeof result + length);
        std::memcpy(out.data(), &result, sizeof result);
        if (length > 0) {
            std::memcpy(out.data() + sizeof result, record.data(), length);
        }
        if (result == 0 && wanted > 0) {
            payload.resize(wanted);
            const auto *bytes = reinterpret_cast<const unsigned char *>(payload.data());
            out.insert(out.end(), bytes, bytes + wanted * sizeof(double));
        }
        if (fault == ReplyFault::cut) {
            out.resize(std::max<std::size_t>(out.size() / 2, 1));
            connection.close_after_reply = true;
        }
        connection.out_pos = 0;
        if (!flush(connection)) {
            return false;
        }
    }
    if (connection.in_pos == connection.in.size()) {
        connection.in.clear();
        connection.in_pos = 0;
    } else if (connection.in_pos > READ_CHUNK) {
        connection.in.erase(connection.in.begin(),
                            connection.in.begin() + static_cast<std::ptrdiff_t>(connection.in_pos));
        connection.in_pos = 0;
    }
    return true;
}

void Server::run(int wake_fd) {
    std::vector<pollfd> fds;
    for (;;) {
        fds.clear();
        fds.push_back({wake_fd, POLLIN, 0});
        fds.push_back({listener_, POLLIN, 0});
        int timeout = -1;
        const auto now = Clock::now();
        for (const Connection &connection : connections_) {
            // A client that does not read its replies is not read from either,
            // so its pipelined requests cannot pile up here.
            const short events = connection.out.empty() ? POLLIN : POLLOUT;
            fds.push_back({connection.fd, events, 0});
            if (busy(connection)) {
                const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(
                                      connection.last_progress + STALL_LIMIT - now)
                                      .count();
                const int wait = static_cast<int>(std::max<long long>(left, 0) + 1);
                timeout = timeout < 0 ? wait : std::min(timeout, wait);
            }
        }
        const int ready = ::poll(fds.data(), fds.size(), timeout);
        if (ready < 0 && errno != EINTR) {
            return;
        }
        if (fds[0].revents != 0) {
            return;
        }

        const auto checked = Clock::now();
        std::vector<bool> keep(connections_.size(), true);
        for (std::size_t i = 0; i < connections_.size(); ++i) {
            Connection &connection = connections_[i];
            const short revents = ready > 0 ? fds[i + 2].revents : 0;
            if (revents & POLLNVAL) {
                keep[i] = false;
                continue;
            }
            if (!connection.out.empty()) {
                if (revents & (POLLOUT | POLLERR | POLLHUP)) {
                    keep[i] = flush(connection) && serve(connection);
                }
            } else if (revents & (POLLIN | POLLERR | POLLHUP)) {
                keep[i] = receive(connection) && serve(connection);
            }
            if (keep[i] && busy(connection) && checked - connection.last_progress >= STALL_LIMIT) {
                keep[i] = false;
            }
        }
        std::size_t kept = 0;
        for (std::size_t i = 0; i < connections_.size(); ++i) {
            if (keep[i]) {
                if (kept != i) {
                    connections_[kept] = std::move(connections_[i]);
                }
                ++kept;
            } else {
                ::close(connections_[i].fd);
            }
        }
        connections_.resize(kept);

        if (ready > 0 && (fds[1].revents & POLLIN)) {
            accept_all();
        }
    }
}

} // namespace zarn::sim
