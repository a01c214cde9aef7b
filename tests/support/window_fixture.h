// SPDX-License-Identifier: BSD-2-Clause

#pragma once

#include <QApplication>
#include <QTest>
#include <QTimer>
#include <cstring>
#include <memory>
#include <vector>

#include "app/zarn_grid_layout.h"
#include "app/zarn_main_window.h"
#include "compressor/zarn_compressor.h"
#include "ctl/requests.h"
#include "ctl/transport.h"
#include "strip/zarn_controller.h"
#include "support/test_daemon.h"

// Shared by the window and strip tests: windows against the in-process
// daemon, and views of what the daemon received.
namespace fixture {

struct WindowDeleter {
    void operator()(ZARNMainWindow *w) const {
        if (w->fd >= 0)
            zarn::ctl_close(w->fd);
        delete w;
    }
};
using Window = std::unique_ptr<ZARNMainWindow, WindowDeleter>;

// The watchdog timer is stopped unless asked for, so that each test drives
// the ticks itself.
inline Window make_window(const char *path, bool keep_timer = false) {
    Window w(new ZARNMainWindow(path));
    if (!keep_timer)
        w->watchdog_timer->stop();
    return w;
}

// Shows the window large enough that every strip lies in the viewport, so
// that a repaint reaches every meter.
inline void show_whole(ZARNMainWindow &w) {
    QWidget *content = static_cast<QWidget *>(w.main_grid);
    content->adjustSize();
    w.resize(content->size() + QSize(40, 40));
    w.show();
    QVERIFY(QTest::qWaitForWindowExposed(&w));
}

inline int strip_count(const ZARNMainWindow &w) {
    int n = 0;
    for (ZARNController *s : w.strips)
        n += s != nullptr;
    return n;
}

inline bool is_peak(std::uint32_t code) {
    return code == zarn::REQ_DEV_PEAK || code == zarn::REQ_LOOP_PEAK ||
           code == zarn::REQ_INPUT_MON_PEAK || code == zarn::REQ_OUTPUT_MON_PEAK ||
           code == zarn::REQ_LOCAL_MON_PEAK || code == zarn::REQ_MAIN_OUTPUT_PEAK ||
           code == zarn::REQ_MAIN_INPUT_PEAK;
}

inline std::vector<zarn::sim::ReceivedRequest> with_code(const zarn::sim::TestDaemon &d,
                                                         std::uint32_t code) {
    std::vector<zarn::sim::ReceivedRequest> out;
    for (auto &r : d.requests())
        if (r.code == code)
            out.push_back(r);
    return out;
}

template <typename Record> Record as(const zarn::sim::ReceivedRequest &r) {
    Record record;
    std::memset(&record, 0, sizeof record);
    std::memcpy(&record, r.record.data(), std::min(r.record.size(), sizeof record));
    return record;
}

// A topology with nothing in it, to be filled by the test.
inline zarn::sim::Topology empty_topology() {
    return zarn::sim::devices_only({});
}

} // namespace fixture
