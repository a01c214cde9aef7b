// SPDX-License-Identifier: BSD-2-Clause

// The socket protocol: a request's code and record out, the result and
// record back, within REPLY_LIMIT; and batches of requests in one exchange.

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <cstring>
#include <poll.h>
#include <sched.h>
#include <sys/socket.h>
#include <sys/time.h>
#include <sys/uio.h>

#include "ctl/filter_record.h"
#include "ctl/requests.h"
#include "ctl/transport_parts.h"

namespace zarn::transport {

namespace {

// Whether a transfer may still block on the socket's own timeouts.
bool may_block(Medium medium, Clock::time_point deadline) {
    return medium == SOCKET_TIMED && deadline - Clock::now() > REPLY_LIMIT - BLOCKING_SLACK;
}

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

// Sends every byte of the buffers. Normally a single call; after a short
// one (a signal, a full socket) the rest waits with poll until the deadline.
bool send_all(int fd, iovec *iov, int count, Medium medium, Clock::time_point deadline) {
    msghdr message{};
    message.msg_iov = iov;
    message.msg_iovlen = count;
    while (message.msg_iovlen > 0) {
        const bool block = may_block(medium, deadline);
        const ssize_t n = ::sendmsg(fd, &message, MSG_NOSIGNAL | (block ? 0 : MSG_DONTWAIT));
        if (n > 0) {
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

// How long a reader waits awake for the daemon's answer before it sleeps:
// most answers come within a few microseconds, and waking a thread that
// sleeps costs more than that on a virtual machine (tens of microseconds a
// round trip, hundreds of them at start). Each turn yields, so that on a
// busy CPU the daemon runs.
constexpr auto SPIN = std::chrono::microseconds(50);

// Receives exactly size bytes, normally in a single call, as send_all.
bool recv_all(int fd, void *data, std::size_t size, Medium medium, Clock::time_point deadline) {
    auto *p = static_cast<unsigned char *>(data);
    const auto awake_until = Clock::now() + SPIN;
    while (size > 0) {
        const bool awake = Clock::now() < awake_until;
        const bool block = !awake && may_block(medium, deadline);
        const ssize_t n = ::recv(fd, p, size, block ? MSG_WAITALL : MSG_DONTWAIT);
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
            if (awake) {
                sched_yield();
            } else if (!wait_ready(fd, POLLIN, deadline)) {
                return false;
            }
            continue;
        }
        return false;
    }
    return true;
}

int fail(int fd, int error) {
    // The stream may be out of step now; every later request must fail at once.
    ::shutdown(fd, SHUT_RDWR);
    errno = error;
    return -1;
}

} // namespace

int socket_request(int fd, Medium medium, std::uint32_t code, void *record) {
    const std::size_t length = ioc_size(code);
    if (length > 0 && record == nullptr) {
        errno = EFAULT;
        return -1;
    }
    const auto deadline = Clock::now() + REPLY_LIMIT;
    auto *caller = static_cast<unsigned char *>(record);
    const bool filter = is_filter_get(code) || is_filter_set(code);

    // Code, record and any coefficients go out in one call.
    unsigned char request[sizeof code + IOC_SIZE_MASK];
    std::memcpy(request, &code, sizeof code);
    if (length > 0) {
        std::memcpy(request + sizeof code, caller, length);
    }
    iovec out[2] = {{request, sizeof code + length}, {nullptr, 0}};
    int parts = 1;
    if (is_filter_set(code)) {
        const std::size_t count = carried_doubles(caller);
        if (count > 0) {
            out[1] = {coefficient_address(caller), count * sizeof(double)};
            parts = 2;
        }
    }
    ++round_trips;
    if (!send_all(fd, out, parts, medium, deadline)) {
        return fail(fd, EIO);
    }

    // The record lands in a private buffer and reaches the caller only once
    // the whole reply has arrived and reports success. A fetched filter goes
    // straight into the caller's array, as a device's ioctl would put it:
    // a second copy of 512 KiB would cost as much as the transfer itself.
    unsigned char reply[sizeof(std::int32_t) + IOC_SIZE_MASK];
    if (!recv_all(fd, reply, sizeof(std::int32_t) + length, medium, deadline)) {
        return fail(fd, EIO);
    }
    std::int32_t result;
    std::memcpy(&result, reply, sizeof result);

    if (is_filter_get(code) && result == 0) {
        const std::size_t count = carried_doubles(caller);
        if (count > 0 &&
            !recv_all(fd, coefficient_address(caller), count * sizeof(double), medium, deadline)) {
            return fail(fd, EIO);
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
    if (length > 0) {
        std::memcpy(caller, reply_record, length);
    }
    return 0;
}

namespace {

// Requests, and replies, of one exchange of a batch stay within this many
// bytes, far below a socket's buffer, so that the daemon never waits to send
// a reply while the client is still sending. One record of any size fits.
constexpr std::size_t BATCH_BYTES = 2 * (sizeof(std::uint32_t) + IOC_SIZE_MASK);

// Whether a request can share an exchange: it sends no array of doubles.
// A filter fetch can, since its doubles come back after its reply's record,
// once everything has been sent.
bool batchable(const BatchedRequest &r) {
    if (ioc_size(r.code) != 0 && r.record == nullptr)
        return false;
    return !is_filter_set(r.code) ||
           carried_doubles(static_cast<const unsigned char *>(r.record)) == 0;
}

// How many doubles come back after a batched request's reply record.
std::size_t fetched_doubles(const BatchedRequest &r) {
    return is_filter_get(r.code) ? carried_doubles(static_cast<const unsigned char *>(r.record))
                                 : 0;
}

// Sends the batchable requests from first on, as many as fit in an
// exchange, in one send, and receives their replies in one receive. Returns
// the first request it did not take, or nullptr when the exchange failed,
// and then none of them has an outcome yet.
const BatchedRequest *socket_exchange(int fd, Medium medium, const BatchedRequest *first,
                                      const BatchedRequest *last) {
    unsigned char out[BATCH_BYTES];
    unsigned char in[BATCH_BYTES];
    std::size_t out_size = 0;
    std::size_t in_size = 0;
    bool fetches = false;
    const BatchedRequest *end = first;
    for (; end != last && batchable(*end); ++end) {
        const std::size_t length = ioc_size(end->code);
        if (out_size + sizeof end->code + length > BATCH_BYTES ||
            in_size + sizeof(std::int32_t) + length > BATCH_BYTES)
            break;
        std::memcpy(out + out_size, &end->code, sizeof end->code);
        if (length > 0)
            std::memcpy(out + out_size + sizeof end->code, end->record, length);
        out_size += sizeof end->code + length;
        in_size += sizeof(std::int32_t) + length;
        fetches = fetches || fetched_doubles(*end) > 0;
    }
    const auto deadline = Clock::now() + REPLY_LIMIT;
    iovec part{out, out_size};
    ++round_trips;
    if (!send_all(fd, &part, 1, medium, deadline))
        return nullptr;
    // Without fetches the replies are of known sizes and come in one read;
    // with them each reply is read in turn, a fetched filter straight into
    // the caller's array as for a single request.
    if (!fetches && !recv_all(fd, in, in_size, medium, deadline))
        return nullptr;
    if (fetches) {
        unsigned char *reply = in;
        for (const BatchedRequest *r = first; r != end; ++r) {
            const std::size_t length = ioc_size(r->code);
            if (!recv_all(fd, reply, sizeof(std::int32_t) + length, medium, deadline))
                return nullptr;
            std::int32_t result;
            std::memcpy(&result, reply, sizeof result);
            const std::size_t doubles = fetched_doubles(*r);
            if (result == 0 && doubles > 0 &&
                !recv_all(fd, coefficient_address(static_cast<unsigned char *>(r->record)),
                          doubles * sizeof(double), medium, deadline))
                return nullptr;
            reply += sizeof result + length;
        }
    }
    // Records reach the callers only once the whole exchange has arrived; as
    // with a single request, a failed one leaves its record untouched.
    unsigned char *reply = in;
    for (const BatchedRequest *r = first; r != end; ++r) {
        const std::size_t length = ioc_size(r->code);
        std::int32_t result;
        std::memcpy(&result, reply, sizeof result);
        auto *const caller = static_cast<unsigned char *>(r->record);
        unsigned char *const record = reply + sizeof result;
        if ((is_filter_get(r->code) || is_filter_set(r->code)) && length >= sizeof(FilterRecord))
            // The daemon's idea of the address means nothing in this process.
            std::memcpy(record + offsetof(FilterRecord, coefficients),
                        caller + offsetof(FilterRecord, coefficients), sizeof(std::uint64_t));
        if (result == 0 && length > 0)
            std::memcpy(caller, record, length);
        *r->result = result == 0 ? 0 : -1;
        reply += sizeof result + length;
    }
    return end;
}

} // namespace

int socket_batch(int fd, Medium medium, const BatchedRequest *requests, int count) {
    const BatchedRequest *const last = requests + count;
    const BatchedRequest *next = requests;
    while (next != last) {
        if (!batchable(*next)) {
            *next->result = socket_request(fd, medium, next->code, next->record);
            ++next;
            continue;
        }
        const BatchedRequest *const end = socket_exchange(fd, medium, next, last);
        if (end == nullptr) {
            fail(fd, EIO);
            for (; next != last; ++next)
                *next->result = -1;
            break;
        }
        next = end;
    }
    return static_cast<int>(
        std::count_if(requests, last, [](const BatchedRequest &r) { return *r.result != 0; }));
}

bool set_timeouts(int fd) {
    const auto seconds = std::chrono::duration_cast<std::chrono::seconds>(REPLY_LIMIT);
    timeval limit{};
    limit.tv_sec = static_cast<time_t>(seconds.count());
    limit.tv_usec = static_cast<suseconds_t>(
        std::chrono::duration_cast<std::chrono::microseconds>(REPLY_LIMIT - seconds).count());
    return ::setsockopt(fd, SOL_SOCKET, SO_RCVTIMEO, &limit, sizeof limit) == 0 &&
           ::setsockopt(fd, SOL_SOCKET, SO_SNDTIMEO, &limit, sizeof limit) == 0;
}

} // namespace zarn::transport
