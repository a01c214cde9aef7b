// SPDX-License-Identifier: BSD-2-Clause

#include "sim/server.h"

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <poll.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/uio.h>
#include <sys/un.h>
#include <unistd.h>

#include "ctl/filter_record.h"
#include "ctl/requests.h"
#include "sim/socket_path.h"

namespace zarn::sim {

namespace {

// Bytes of the request at p (available bytes of it received), or 0 while its
// code and record are not complete. Only for a plausible code.
std::size_t request_size(const unsigned char *p, std::size_t available) {
    std::uint32_t code;
    if (available < sizeof code) {
        return 0;
    }
    std::memcpy(&code, p, sizeof code);
    const std::size_t length = ioc_size(code);
    if (available < sizeof code + length) {
        return 0;
    }
    const std::size_t doubles = is_filter_set(code) ? carried_doubles(p + sizeof code) : 0;
    return sizeof code + length + doubles * sizeof(double);
}

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

Server::Server(Handler handler, ServerLimits limits)
    : handler_(std::move(handler)), limits_(std::move(limits)) {
    limits_.max_connections = std::min(limits_.max_connections, MAX_CONNECTIONS);
}

void Server::tell(int fd, ConnectionEvent event) const {
    if (limits_.observer) {
        limits_.observer(fd, event);
    }
}

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
        if (!may_take_socket(path, st, error)) {
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
    // The socket file is made with the mode bind gets from the umask; the
    // umask is set around it so that nobody else can connect, whatever the
    // caller's umask is. It is process-wide, so it is held for the bind only.
    // A group gets its access only once the file has that group.
    const mode_t saved_mask = ::umask(0177);
    int bound = ::bind(listener_, reinterpret_cast<const sockaddr *>(&address), sizeof address);
    const int bind_error = errno;
    ::umask(saved_mask);
    errno = bind_error;
    if (bound == 0 && limits_.group != static_cast<gid_t>(-1)) {
        bound = ::lchown(path.c_str(), static_cast<uid_t>(-1), limits_.group);
    }
    if (bound == 0 && (limits_.socket_mode & 0777) != 0600) {
        bound = ::chmod(path.c_str(), limits_.socket_mode & 0660);
    }
    if (bound != 0 || ::listen(listener_, SOMAXCONN) != 0) {
        error = path + ": " + std::strerror(errno);
        ::close(listener_);
        listener_ = -1;
        return false;
    }
    path_ = path;
    peak_input_ = 0;
    if (::lstat(path.c_str(), &st) == 0) {
        device_ = st.st_dev;
        inode_ = st.st_ino;
    }
    return true;
}

void Server::close() {
    for (Connection &connection : connections_) {
        tell(connection.fd, ConnectionEvent::closed);
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
    return connection.in_begin < connection.in_end || connection.replying();
}

void Server::accept_all() {
    for (;;) {
        const int fd = ::accept4(listener_, nullptr, nullptr, SOCK_NONBLOCK | SOCK_CLOEXEC);
        if (fd < 0) {
            return; // EAGAIN, or a client that went away before it was accepted
        }
        const auto now = Clock::now();
        if (connections_.size() >= limits_.max_connections && !drop_longest_idle(now)) {
            tell(fd, ConnectionEvent::full);
            ::close(fd);
            continue;
        }
        tell(fd, ConnectionEvent::opened);
        Connection connection;
        connection.fd = fd;
        connection.last_progress = now;
        connection.last_served = now;
        connections_.push_back(std::move(connection));
    }
}

bool Server::drop_longest_idle(Clock::time_point now) {
    auto oldest = connections_.end();
    for (auto it = connections_.begin(); it != connections_.end(); ++it) {
        if (!busy(*it) && now - it->last_served >= IDLE_LIMIT &&
            (oldest == connections_.end() || it->last_served < oldest->last_served)) {
            oldest = it;
        }
    }
    if (oldest == connections_.end()) {
        return false;
    }
    tell(oldest->fd, ConnectionEvent::closed);
    ::close(oldest->fd);
    connections_.erase(oldest);
    return true;
}

Server::Clock::time_point Server::deadline(const Connection &connection) const {
    if (connection.replying()) {
        return connection.last_progress + STALL_LIMIT;
    }
    if (connection.in_begin < connection.in_end) {
        return connection.request_began + REQUEST_LIMIT;
    }
    return Clock::time_point{};
}

bool Server::receive(Connection &connection) {
    std::vector<unsigned char> &in = connection.in;
    if (connection.in_begin == connection.in_end) {
        connection.in_begin = connection.in_end = 0;
    }
    // The buffer doubles only when it is full, from one chunk up to the
    // largest request, so that it follows the bytes that have come and not
    // the size a request claims, and a trickle costs no copying per byte.
    // It is never full at the largest request: what is held is the start
    // of one request, as serve() answers every complete one.
    const std::size_t held = connection.in_end - connection.in_begin;
    if (connection.in_begin > 0 && in.size() - connection.in_end < READ_CHUNK) {
        std::memmove(in.data(), in.data() + connection.in_begin, held);
        connection.in_begin = 0;
        connection.in_end = held;
    }
    if (connection.in_end == in.size() && in.size() < MAX_REQUEST) {
        const std::size_t size = std::min(std::max(READ_CHUNK, 2 * in.size()), MAX_REQUEST);
        in.reserve(size); // exactly: resize alone may go past the bound
        in.resize(size);
        if (in.capacity() > peak_input_.load(std::memory_order_relaxed)) {
            peak_input_ = in.capacity();
        }
    }
    const ssize_t n =
        ::recv(connection.fd, in.data() + connection.in_end, in.size() - connection.in_end, 0);
    if (n <= 0) {
        return n < 0 && (errno == EAGAIN || errno == EWOULDBLOCK || errno == EINTR);
    }
    if (held == 0) {
        connection.request_began = Clock::now();
    }
    connection.in_end += static_cast<std::size_t>(n);
    connection.last_progress = Clock::now();
    return true;
}

bool Server::flush(Connection &connection) {
    while (connection.replying()) {
        // The part of head and payload from out_pos up to reply_size.
        const std::size_t head_size = connection.head.size();
        const std::size_t pos = connection.out_pos;
        const std::size_t end = connection.reply_size;
        iovec parts[2];
        int count = 0;
        if (pos < head_size) {
            parts[count++] = {connection.head.data() + pos, std::min(end, head_size) - pos};
        }
        if (end > head_size) {
            const std::size_t from = std::max(pos, head_size) - head_size;
            parts[count++] = {reinterpret_cast<unsigned char *>(connection.payload.data()) + from,
                              end - head_size - from};
        }
        msghdr message{};
        message.msg_iov = parts;
        message.msg_iovlen = static_cast<std::size_t>(count);
        const ssize_t n = ::sendmsg(connection.fd, &message, MSG_NOSIGNAL | MSG_DONTWAIT);
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
    connection.reply_size = 0;
    connection.out_pos = 0;
    return !connection.close_after_reply;
}

// Answers the run of complete requests without coefficients at the start
// of the input in one call of the batch handler, and puts their replies in
// head one after the other; returns how many there were (0: none, the next
// one goes alone).
std::size_t Server::serve_run(Connection &connection) {
    std::size_t pos = connection.in_begin;
    std::size_t reply_bytes = 0;
    run_offsets_.clear();
    while (run_offsets_.size() < ServerLimits::MAX_RUN) {
        const std::size_t available = connection.in_end - pos;
        const unsigned char *begin = connection.in.data() + pos;
        std::uint32_t code;
        if (available < sizeof code) {
            break;
        }
        std::memcpy(&code, begin, sizeof code);
        if ((!plausible(code) && !limits_.any_code) || is_filter_get(code) || is_filter_set(code)) {
            break;
        }
        const std::size_t total = request_size(begin, available);
        if (total == 0 || available < total) {
            break;
        }
        run_offsets_.push_back(pos);
        pos += total;
        reply_bytes += sizeof(std::int32_t) + ioc_size(code);
    }
    if (run_offsets_.empty()) {
        return 0;
    }
    std::vector<unsigned char> &head = connection.head;
    head.resize(reply_bytes);
    run_.clear();
    std::size_t at = 0;
    for (const std::size_t offset : run_offsets_) {
        std::uint32_t code;
        std::memcpy(&code, connection.in.data() + offset, sizeof code);
        const std::size_t length = ioc_size(code);
        unsigned char *slot = head.data() + at;
        if (length > 0) {
            std::memcpy(slot + sizeof(std::int32_t), connection.in.data() + offset + sizeof code,
                        length);
        }
        run_.push_back({code, slot + sizeof(std::int32_t), nullptr});
        at += sizeof(std::int32_t) + length;
    }
    // The results are written to their slots afterwards: a slot need not be
    // aligned for an int32.
    std::vector<std::int32_t> results(run_.size(), -1);
    for (std::size_t i = 0; i < run_.size(); ++i) {
        run_[i].result = &results[i];
    }
    limits_.batch(run_);
    for (std::size_t i = 0; i < run_.size(); ++i) {
        std::memcpy(run_[i].record - sizeof(std::int32_t), &results[i], sizeof(std::int32_t));
    }
    connection.payload.clear();
    connection.reply_size = head.size();
    connection.out_pos = 0;
    connection.in_begin = pos;
    return run_offsets_.size();
}

// Answers the complete requests waiting in the input, in order, as long as
// every reply goes out at once; returns false to drop the connection.
bool Server::serve(Connection &connection) {
    const std::size_t held = connection.in_end - connection.in_begin;
    while (!connection.replying()) {
        if (limits_.batch && serve_run(connection) > 0) {
            if (!flush(connection)) {
                return false;
            }
            continue;
        }
        const std::size_t available = connection.in_end - connection.in_begin;
        const unsigned char *begin = connection.in.data() + connection.in_begin;
        std::uint32_t code;
        if (available < sizeof code) {
            break;
        }
        std::memcpy(&code, begin, sizeof code);
        if (!plausible(code) && !limits_.any_code) {
            connection.why = ConnectionEvent::not_request;
            return false;
        }
        const std::size_t total = request_size(begin, available);
        if (total == 0 || available < total) {
            break;
        }
        const std::size_t length = ioc_size(code);
        const unsigned char *record_bytes = begin + sizeof code;
        const std::size_t doubles = (total - sizeof code - length) / sizeof(double);

        // The record is answered in place, after the result.
        std::int32_t result = 0;
        std::vector<unsigned char> &head = connection.head;
        head.resize(sizeof result + length);
        unsigned char *record = head.data() + sizeof result;
        if (length > 0) {
            std::memcpy(record, record_bytes, length);
        }
        // A filter read sends back as many doubles as the request asked for.
        const std::size_t wanted = is_filter_get(code) ? carried_doubles(record) : 0;
        // A read's array is sized up front, so that a handler that fills it
        // in place finds it ready and a connection's fetches of one filter
        // do not clear it each time; only an answered read sends it.
        std::vector<double> &payload = connection.payload;
        payload.resize(doubles > 0 ? doubles : wanted);
        if (doubles > 0) {
            std::memcpy(payload.data(), record_bytes + length, doubles * sizeof(double));
        }
        connection.in_begin += total;

        ReplyFault fault = ReplyFault::none;
        result = handler_(code, record, payload, fault);
        if (fault == ReplyFault::silent) {
            continue;
        }
        std::memcpy(head.data(), &result, sizeof result);
        connection.reply_size = head.size();
        if (result == 0 && wanted > 0) {
            payload.resize(wanted);
            connection.reply_size += wanted * sizeof(double);
        }
        if (fault == ReplyFault::cut) {
            connection.reply_size = std::max<std::size_t>(connection.reply_size / 2, 1);
            connection.close_after_reply = true;
        }
        connection.out_pos = 0;
        if (!flush(connection)) {
            return false;
        }
    }
    // The next request's time starts when the one before it is answered.
    if (connection.in_end - connection.in_begin < held) {
        connection.last_served = Clock::now();
        connection.request_began = connection.last_served;
    }
    if (connection.in_begin == connection.in_end) {
        connection.in_begin = connection.in_end = 0;
    }
    return true;
}

void Server::run(int wake_fd) {
    for (;;) {
        fds_.clear();
        fds_.push_back({wake_fd, POLLIN, 0});
        fds_.push_back({listener_, POLLIN, 0});
        int timeout = -1;
        const auto now = Clock::now();
        for (const Connection &connection : connections_) {
            // A client that does not read its replies is not read from either,
            // so its pipelined requests cannot pile up here.
            const short events = connection.replying() ? POLLOUT : POLLIN;
            fds_.push_back({connection.fd, events, 0});
            if (busy(connection)) {
                const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(
                                      deadline(connection) - now)
                                      .count();
                const int wait = static_cast<int>(std::max<long long>(left, 0) + 1);
                timeout = timeout < 0 ? wait : std::min(timeout, wait);
            }
        }
        const int ready = ::poll(fds_.data(), fds_.size(), timeout);
        if (ready < 0 && errno != EINTR) {
            return;
        }
        if (fds_[0].revents != 0) {
            return;
        }

        const auto checked = Clock::now();
        bool any_dropped = false;
        for (std::size_t i = 0; i < connections_.size(); ++i) {
            Connection &connection = connections_[i];
            const short revents = ready > 0 ? fds_[i + 2].revents : 0;
            bool keep = true;
            if (revents & POLLNVAL) {
                keep = false;
            } else if (connection.replying()) {
                if (revents & (POLLOUT | POLLERR | POLLHUP)) {
                    keep = flush(connection) && serve(connection);
                }
            } else if (revents & (POLLIN | POLLERR | POLLHUP)) {
                keep = receive(connection) && serve(connection);
            }
            if (keep && busy(connection) && checked >= deadline(connection)) {
                connection.why = ConnectionEvent::stalled;
                keep = false;
            }
            connection.dropped = !keep;
            any_dropped = any_dropped || !keep;
        }
        if (any_dropped) {
            std::size_t kept = 0;
            for (std::size_t i = 0; i < connections_.size(); ++i) {
                if (!connections_[i].dropped) {
                    if (kept != i) {
                        connections_[kept] = std::move(connections_[i]);
                    }
                    ++kept;
                } else {
                    tell(connections_[i].fd, connections_[i].why);
                    ::close(connections_[i].fd);
                }
            }
            connections_.resize(kept);
        }

        if (ready > 0 && (fds_[1].revents & POLLIN)) {
            accept_all();
        }
    }
}

} // namespace zarn::sim
