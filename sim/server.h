// SPDX-License-Identifier: BSD-2-Clause

#pragma once

#include <atomic>
#include <chrono>
#include <cstddef>
#include <cstdint>
#include <functional>
#include <poll.h>
#include <string>
#include <sys/types.h>
#include <vector>

#include "ctl/filter_record.h"
#include "ctl/requests.h"

namespace zarn::sim {

// How the server delivers the reply to one request; the faults exist so that
// tests can see the panel's side of a daemon that hangs or dies mid-reply.
enum class ReplyFault {
    none,
    silent, // answer nothing, keep the connection
    cut,    // send part of the reply, then close the connection
};

// Called for every complete request: record holds ioc_size(code) bytes as
// received, payload the coefficients of a filter write. Returns the result
// and leaves record (and, for a filter read, payload) as the reply carries it.
using Handler = std::function<int(std::uint32_t code, unsigned char *record,
                                  std::vector<double> &payload, ReplyFault &fault)>;

// What befalls a connection, for a server that logs its clients.
enum class ConnectionEvent {
    opened,
    closed,      // hung up, or closed with the server
    not_request, // dropped: sent a code that is no request
    stalled,     // dropped: stopped reading its reply or sending its request
    full,        // refused: every place taken
};
using Observer = std::function<void(int fd, ConnectionEvent event)>;

// One request of a run that a client sent together, for a handler that
// serves them in one go: record holds ioc_size(code) bytes, answered in
// place, and result is set to the request's outcome.
struct PendingRequest {
    std::uint32_t code;
    unsigned char *record;
    std::int32_t *result;
};
// Serves a run of requests that carry no coefficients.
using BatchHandler = std::function<void(std::vector<PendingRequest> &run)>;

// How a server differs from the simulator's: the bridge serves fewer
// clients, on a socket a group may share, and answers every code itself.
struct ServerLimits {
    std::size_t max_connections = 64;
    mode_t socket_mode = 0600;            // 0600, or 0660 with a group
    gid_t group = static_cast<gid_t>(-1); // the socket's group; -1 keeps it
    bool any_code = false;                // hand codes of no request to the handler too
    Observer observer;
    // When set, the requests without coefficients that have come together
    // (up to MAX_RUN) go to it at once and their replies out together;
    // filter requests still go to the handler one by one.
    BatchHandler batch;
    static constexpr std::size_t MAX_RUN = 256;
};

// Single-threaded poll server of the control socket protocol: up to
// MAX_CONNECTIONS connections, each request answered in order. A connection
// that sends something that is not a request, stalls mid-request or
// mid-reply, or hangs up is dropped; the others are served on.
//
// What one client can make it hold is bounded: its input buffer grows only
// with the bytes that have come, never past MAX_REQUEST (a complete request
// always fits, and what is pipelined behind it waits in the socket), and it
// is not read from while its one reply is still going out.
class Server {
public:
    explicit Server(Handler handler, ServerLimits limits = {});
    ~Server();
    Server(const Server &) = delete;
    Server &operator=(const Server &) = delete;

    // Binds and listens on path, the socket with the limits' mode and group
    // (mode 0600 by default). Refuses a path
    // held by a live daemon or by a file that is not a socket; replaces a
    // stale socket file.
    bool listen(const std::string &path, std::string &error);

    // Serves until wake_fd becomes readable.
    void run(int wake_fd);

    // Closes the listener and every connection and removes the socket file.
    void close();

    // A connection is dropped when a pending reply makes no progress for
    // this long.
    static constexpr std::chrono::milliseconds STALL_LIMIT{2000};

    // A connection is dropped when a request is not complete this long after
    // its first byte, however the bytes trickle in.
    static constexpr std::chrono::milliseconds REQUEST_LIMIT{1000};

    // With every place taken (MAX_CONNECTIONS unless the limits say
    // fewer), a new connection takes that of the one idle for longest, if
    // it has been idle for this long; else the new one is closed as soon as
    // it is accepted.
    static constexpr std::size_t MAX_CONNECTIONS = 64;
    static constexpr std::chrono::milliseconds IDLE_LIMIT{3000};

    // The largest request: a filter write with the most coefficients. Every
    // other record, options included, is shorter.
    static constexpr std::size_t MAX_REQUEST =
        sizeof(std::uint32_t) + sizeof(FilterRecord) + MAX_FILTER_SIZE * sizeof(double);
    static_assert(MAX_REQUEST >= sizeof(std::uint32_t) + 0x1fff);

    // A connection's input buffer starts at this size and doubles when it is
    // full, up to MAX_REQUEST.
    static constexpr std::size_t READ_CHUNK = 64 * 1024;

    // The most input buffer one connection has held since listen(); may be
    // read from any thread.
    std::size_t peak_input() const { return peak_input_.load(); }

private:
    using Clock = std::chrono::steady_clock;

    // Received bytes lie in in[in_begin, in_end); the rest of in is room for
    // the next receive, so that bytes go from the socket straight to where
    // they are parsed. The reply is head (result and record) followed by
    // the doubles of payload, reply_size bytes in all, sent from where they
    // lie.
    struct Connection {
        int fd = -1;
        std::vector<unsigned char> in;
        std::size_t in_begin = 0;
        std::size_t in_end = 0;
        std::vector<unsigned char> head;
        std::vector<double> payload;
        std::size_t reply_size = 0;
        std::size_t out_pos = 0;
        bool close_after_reply = false;
        bool dropped = false;
        ConnectionEvent why = ConnectionEvent::closed; // told when dropped
        Clock::time_point last_progress;
        Clock::time_point request_began; // first byte of the request held
        Clock::time_point last_served;   // accepted, or a request answered

        bool replying() const { return out_pos < reply_size; }
    };

    void accept_all();
    bool drop_longest_idle(Clock::time_point now);
    // When the connection is to be dropped for taking too long, else 0.
    Clock::time_point deadline(const Connection &connection) const;
    bool receive(Connection &connection);
    bool flush(Connection &connection);
    bool serve(Connection &connection);
    std::size_t serve_run(Connection &connection);
    bool busy(const Connection &connection) const;
    void tell(int fd, ConnectionEvent event) const;

    Handler handler_;
    ServerLimits limits_;
    int listener_ = -1;
    std::string path_;
    dev_t device_ = 0;
    ino_t inode_ = 0;
    std::vector<Connection> connections_;
    std::vector<pollfd> fds_; // kept between turns of the loop
    std::vector<PendingRequest> run_;
    std::vector<std::size_t> run_offsets_;
    std::atomic<std::size_t> peak_input_{0};
};

} // namespace zarn::sim
