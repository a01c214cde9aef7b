// SPDX-License-Identifier: BSD-2-Clause

#pragma once

#include <atomic>
#include <cstddef>
#include <cstdint>
#include <functional>
#include <mutex>
#include <optional>
#include <string>
#include <thread>
#include <vector>

#include "sim/engine.h"
#include "sim/server.h"
#include "sim/topology.h"

namespace zarn::sim {

// One request as the daemon received it, and what it answered.
struct ReceivedRequest {
    std::uint32_t code = 0;
    std::vector<unsigned char> record; // ioc_size(code) bytes exactly as received
    std::vector<double> payload;       // coefficients that came with a filter write
    int result = 0;                    // the result answered (or meant, when silenced)
    bool answered = true;              // false when the reply was silenced
};

// The simulated daemon running in-process for tests: the engine's server on
// its own thread, listening on a fresh private socket path.
//
//     zarn::sim::TestDaemon d;                       // default topology
//     int fd = zarn::ctl_open(d.path());
//     ... exercise the panel ...
//     QCOMPARE(d.count(zarn::REQ_DEV_CONFIG_SET), 1u);
//     auto r = d.requests().back();                  // exact bytes received
//     d.with_engine([](zarn::sim::Engine &e) { e.recording = 2; });
//
// A request is logged before its reply is sent, so once ctl_request has
// returned its entry is in requests(). Every member may be called from any
// thread; the hook runs on the server thread.
class TestDaemon {
public:
    // Called before the engine for every request with the record and payload
    // as received. A value answers with that result and the record (and, for
    // a filter read, the payload) as the hook left them; std::nullopt lets
    // the engine answer.
    using Hook = std::function<std::optional<int>(std::uint32_t code, unsigned char *record,
                                                  std::vector<double> &payload)>;

    explicit TestDaemon(const Topology &topology = Topology{});
    ~TestDaemon();
    TestDaemon(const TestDaemon &) = delete;
    TestDaemon &operator=(const TestDaemon &) = delete;

    // The socket path; the same for the daemon's whole life, across stop/start.
    const char *path() const { return path_.c_str(); }

    // stop(): closes the listener and every connection and removes the socket;
    // the engine keeps its state. start(): listens again on the same path.
    void stop();
    void start();
    bool running() const { return thread_.joinable(); }

    std::vector<ReceivedRequest> requests() const;
    void clear_requests();
    std::size_t count(std::uint32_t code) const;

    // Runs f on the engine with the server held off; returns what f returns.
    template <typename F> auto with_engine(F &&f) {
        std::lock_guard<std::recursive_mutex> lock(engine_mutex_);
        return f(engine_);
    }

    void set_hook(Hook hook);
    void clear_hook() { set_hook(nullptr); }

    // The most input buffer one connection has held (Server::peak_input).
    std::size_t peak_input() const { return server_.peak_input(); }

    // The next request gets no reply at all; the connection stays open.
    void silence_next_reply();
    // The next reply stops halfway and the connection is closed.
    void cut_next_reply();

private:
    int handle(std::uint32_t code, unsigned char *record, std::vector<double> &payload,
               ReplyFault &fault);

    std::string directory_;
    std::string path_;
    Engine engine_;
    mutable std::recursive_mutex engine_mutex_;
    mutable std::mutex log_mutex_;
    std::vector<ReceivedRequest> log_;
    std::mutex hook_mutex_;
    Hook hook_;
    std::atomic<int> next_fault_{0};
    Server server_;
    int wake_[2] = {-1, -1};
    std::thread thread_;
};

} // namespace zarn::sim
