// SPDX-License-Identifier: BSD-2-Clause

#pragma once

#include <cstdint>
#include <mutex>
#include <string>
#include <thread>
#include <unistd.h>
#include <vector>

#include "bridge/bridge.h"
#include "sim/server.h"
#include "support/test_daemon.h"

// The bridge in-process, on the character device that the linked preload
// library serves from a simulated daemon: the daemon's log shows exactly
// what reached the device.
namespace bridge_rig {

// A character device whose ioctl the preload library takes over.
constexpr const char *DEVICE = "/dev/zero";

struct Rig {
    zarn::sim::TestDaemon daemon;
    std::string directory;
    std::string path;
    zarn::bridge::Bridge bridge;
    zarn::sim::Server server;
    int wake[2] = {-1, -1};
    std::thread thread;
    std::mutex log_mutex;
    std::vector<std::string> log;

    explicit Rig(bool read_only, const zarn::sim::Topology &topology = zarn::sim::Topology{})
        : daemon(topology), directory(make_directory()), path(directory + "/ctl.sock"),
          bridge(DEVICE, read_only, [this](const std::string &line) { note(line); }),
          server([this](std::uint32_t code, unsigned char *record, std::vector<double> &payload,
                        zarn::sim::ReplyFault &) { return bridge.handle(code, record, payload); },
                 limits()) {
        ::setenv("ZARN_PRELOAD_DEVICE", DEVICE, 1);
        ::setenv("ZARN_PRELOAD_SOCKET", daemon.path(), 1);
        std::string error;
        if (server.listen(path, error) && ::pipe(wake) == 0)
            thread = std::thread([this] { server.run(wake[0]); });
    }

    ~Rig() {
        if (thread.joinable()) {
            const char byte = 0;
            if (::write(wake[1], &byte, 1) == 1)
                thread.join();
            else
                thread.detach();
        }
        server.close();
        ::close(wake[0]);
        ::close(wake[1]);
        ::rmdir(directory.c_str());
    }

    bool serving() const { return thread.joinable(); }

    zarn::sim::ServerLimits limits() {
        zarn::sim::ServerLimits l;
        l.max_connections = 16;
        l.any_code = true;
        l.batch = [this](std::vector<zarn::sim::PendingRequest> &run) { bridge.handle_run(run); };
        return l;
    }

    void note(const std::string &line) {
        std::lock_guard<std::mutex> lock(log_mutex);
        log.push_back(line);
    }

    static std::string make_directory() {
        char name[] = "/tmp/zarnbridge-XXXXXX";
        return ::mkdtemp(name) ? name : "";
    }
};

} // namespace bridge_rig
