// SPDX-License-Identifier: BSD-2-Clause

#pragma once

#include <QTimer>

#include <cstdint>
#include <cstring>
#include <memory>
#include <vector>

#include "app/zarn_main_window.h"
#include "ctl/requests.h"
#include "ctl/transport.h"
#include "support/test_daemon.h"

// A main window that found no daemon at start (no strips; its own panels
// got failed reads), then given a descriptor to the in-process daemon, so a
// test builds the widget it examines itself and sees every byte it sends.
struct PanelRig {
    explicit PanelRig(const zarn::sim::Topology &topology = zarn::sim::Topology{})
        : daemon(topology), window(new ZARNMainWindow("/nonexistent/zmix.ctl")) {
        window->watchdog_timer->stop();
        open();
    }

    ~PanelRig() { close(); }

    void open() {
        if (window->fd < 0)
            window->fd = zarn::ctl_open(daemon.path());
        daemon.clear_requests();
    }

    void close() {
        if (window->fd >= 0)
            zarn::ctl_close(window->fd);
        window->fd = -1;
    }

    std::vector<zarn::sim::ReceivedRequest> sent(std::uint32_t code) const {
        std::vector<zarn::sim::ReceivedRequest> out;
        for (const auto &r : daemon.requests()) {
            if (r.code == code)
                out.push_back(r);
        }
        return out;
    }

    std::vector<std::uint32_t> codes() const {
        std::vector<std::uint32_t> out;
        for (const auto &r : daemon.requests())
            out.push_back(r.code);
        return out;
    }

    zarn::sim::TestDaemon daemon;
    std::unique_ptr<ZARNMainWindow> window;
};

// The record of a received request, as the panel sent it.
template <typename T> T record_of(const zarn::sim::ReceivedRequest &r) {
    T value;
    std::memset(&value, 0xa5, sizeof value);
    if (r.record.size() == sizeof value)
        std::memcpy(&value, r.record.data(), sizeof value);
    return value;
}

// Answers every request with code by filling the record with value, with
// result; other requests go to the engine.
template <typename T>
zarn::sim::TestDaemon::Hook answer_with(std::uint32_t code, T value, int result = 0) {
    return [code, value, result](std::uint32_t c, unsigned char *record,
                                 std::vector<double> &) -> std::optional<int> {
        if (c != code)
            return std::nullopt;
        if (result == 0)
            std::memcpy(record, &value, sizeof value);
        return result;
    };
}

// Fails every request with code; other requests go to the engine.
inline zarn::sim::TestDaemon::Hook fail(std::uint32_t code) {
    return [code](std::uint32_t c, unsigned char *, std::vector<double> &) -> std::optional<int> {
        if (c != code)
            return std::nullopt;
        return -1;
    };
}
