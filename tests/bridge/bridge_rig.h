// SPDX-License-Identifier: BSD-2-Clause

#pragma once

#include <QByteArray>
#include <cstdint>
#include <cstring>
#include <mutex>
#include <string>
#include <sys/socket.h>
#include <sys/un.h>
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

// A client of the raw protocol, so that it can send what no panel sends.
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

} // namespace bridge_rig
