// SPDX-License-Identifier: BSD-2-Clause

#pragma once

#include <QElapsedTimer>

// The watchdog's view of the link to the daemon: opening the device, the
// probe, the back-off from a daemon that accepts requests but never answers,
// and whether what the window shows must be read again.
class ConnectionWatch {
public:
    enum class Link { Answering, NotConnected, NotAnswering };

    ConnectionWatch();

    // One watchdog tick: reopens the device when it is closed and may be
    // tried, probes it, and closes it after a failed probe or a request that
    // ran out of time. True when the daemon answered the probe.
    bool poll(int &fd, const char *path);
    Link link() const { return link_; }
    // Whether the daemon came back (or first answered) since the window last
    // read everything from it; taken once.
    bool take_refresh();
    // Asks for a read of everything at the next answering tick.
    void want_refresh() { refresh_pending = true; }
    // How long the back-off from a hung daemon still lasts, 0 when none.
    int backoff_left_ms() const;
    // Ends the back-off: the next poll tries at once.
    void retry_now() { backoff_ms = 0; }

private:
    void drop(int &fd, bool hung);

    Link link_;
    bool refresh_pending;
    unsigned long timeouts_seen;
    int backoff_ms;
    QElapsedTimer backoff_clock;
};
