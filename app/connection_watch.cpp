// SPDX-License-Identifier: BSD-2-Clause

#include "app/connection_watch.h"

#include <algorithm>

#include "ctl/catalogue.h"
#include "ctl/transport.h"

namespace {

// A daemon that accepts requests and never answers costs the whole reply
// limit (1 s) per attempt. Waiting at least three times that before the
// next attempt keeps the window responsive for 70% of any 10 s.
constexpr int FIRST_BACKOFF_MS = 3000;
constexpr int MAX_BACKOFF_MS = 5000;

} // namespace

ConnectionWatch::ConnectionWatch()
    : link_(Link::Answering), refresh_pending(false), timeouts_seen(zarn::ctl_timeouts()),
      backoff_ms(0) {}

bool ConnectionWatch::take_refresh() {
    const bool pending = refresh_pending;
    refresh_pending = false;
    return pending;
}

int ConnectionWatch::backoff_left_ms() const {
    if (backoff_ms == 0 || !backoff_clock.isValid())
        return 0;
    return static_cast<int>(std::max<qint64>(0, backoff_ms - backoff_clock.elapsed()));
}

void ConnectionWatch::drop(int &fd, bool hung) {
    zarn::ctl_close(fd);
    fd = -1;
    refresh_pending = true;
    if (hung) {
        backoff_ms = backoff_ms == 0 ? FIRST_BACKOFF_MS : std::min(2 * backoff_ms, MAX_BACKOFF_MS);
        backoff_clock.start();
    }
    link_ = Link::NotAnswering;
}

bool ConnectionWatch::poll(int &fd, const char *path) {
    // A request that ran out of time (here or in a user action) has shut the
    // connection down; the daemon is hung rather than gone.
    const unsigned long timeouts = zarn::ctl_timeouts();
    const bool hung = timeouts != timeouts_seen;
    timeouts_seen = timeouts;
    if (fd >= 0 && hung) {
        drop(fd, true);
        return false;
    }
    if (fd < 0) {
        if (backoff_ms > 0 && !backoff_clock.hasExpired(backoff_ms))
            return false;
        fd = zarn::ctl_open(path);
        if (fd < 0) {
            link_ = Link::NotConnected;
            refresh_pending = true;
            return false;
        }
    }
    if (!zarn::probe(fd)) {
        const bool probe_hung = zarn::ctl_timeouts() != timeouts_seen;
        timeouts_seen = zarn::ctl_timeouts();
        drop(fd, probe_hung);
        return false;
    }
    backoff_ms = 0;
    return true;
}
