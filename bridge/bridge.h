// SPDX-License-Identifier: BSD-2-Clause

#pragma once

#include <chrono>
#include <cstdint>
#include <functional>
#include <string>
#include <sys/types.h>
#include <vector>

#include "bridge/request_check.h"
#include "ctl/transport.h"
#include "sim/server.h"

namespace zarn::bridge {

// Hands the checked requests of the socket's clients to the control
// device, one at a time, through the transport and its time limit. A
// descriptor that ran out of time is abandoned by the transport, so the
// device is opened again for a later request; a daemon that keeps hanging
// is tried less and less often, so that abandoned descriptors do not pile up.
class Bridge {
public:
    using Log = std::function<void(const std::string &line)>;

    Bridge(std::string device, bool read_only, Log log);
    ~Bridge();
    Bridge(const Bridge &) = delete;
    Bridge &operator=(const Bridge &) = delete;

    // The server's handler: record holds ioc_size(code) bytes, payload the
    // doubles of a filter write; a filter read's doubles go into payload.
    // A refused request is answered with -1 and the record as it came.
    int handle(std::uint32_t code, unsigned char *record, std::vector<double> &payload);
    // The server's batch handler: a run of requests without coefficients
    // that a client sent together goes to the device in one hand-off.
    void handle_run(std::vector<sim::PendingRequest> &run);

    // Logs the refusals that the rate limit held back, if any: when a
    // client goes, so that its count is not lost.
    void flush_refusals();

    unsigned long refused() const { return refused_; }
    unsigned long passed() const { return passed_; }

    // Refusals are logged at most once in this time, with a count.
    static constexpr std::chrono::seconds LOG_INTERVAL{1};
    static constexpr std::chrono::seconds MAX_BACKOFF{8};

private:
    using Clock = std::chrono::steady_clock;

    void note_refusal(std::uint32_t code, Refusal refusal);
    int device();
    void abandon(const char *why);
    // What the outcome of requests on the device says about the device.
    void judge(unsigned long timeouts_before, bool probe_failed, bool any_succeeded);

    std::string device_path_;
    bool read_only_;
    Log log_;
    int fd_ = -1;
    unsigned long refused_ = 0;
    unsigned long passed_ = 0;
    unsigned long unlogged_ = 0;
    Clock::time_point last_logged_{};
    Clock::time_point next_open_{};
    Clock::duration backoff_{};
    std::vector<BatchedRequest> batch_;
    std::vector<int> outcomes_;
};

// Makes the socket's directory with mode 0750, or checks the one there: it
// must be this user's own directory (not a link) with that mode. With a
// group (not -1), the directory gets that group, so that its members reach
// the socket.
bool make_socket_directory(const std::string &directory, gid_t group, std::string &error);

} // namespace zarn::bridge
