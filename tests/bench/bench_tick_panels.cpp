// SPDX-License-Identifier: BSD-2-Clause
// Times the watchdog tick with 128 strips of 64 two-channel devices, their
// 64 compressor windows and the delay locator, against the in-process
// simulated daemon, and the compressor and locator share of it.
#include <QApplication>
#include <QTest>
#include <QTimer>
#include <algorithm>
#include <cstdio>
#include <vector>

#include "app/zarn_grid_layout.h"
#include "app/zarn_main_window.h"
#include "app/zarn_tray.h"
#include "compressor/zarn_compressor.h"
#include "ctl/requests.h"
#include "panels/zarn_audio_delay_locator.h"
#include "strip/zarn_controller.h"
#include "support/test_daemon.h"
#include "timing.h"

using bench::time_runs;

namespace {

struct Figures {
    double median;
    double p95;
    double max;
};

Figures figures(const std::vector<double> &v) {
    return {bench::median(v), bench::percentile(v, 0.95), bench::worst(v)};
}

// Runs f n times; returns each run's time in ms.
void print(const char *what, const std::vector<double> &times) {
    const Figures f = figures(times);
    std::printf("%-44s median %7.3f ms  95th %7.3f ms  max %7.3f ms  (%zu runs)\n", what, f.median,
                f.p95, f.max, times.size());
}

} // namespace

int main(int argc, char **argv) {
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);

    zarn::sim::Topology topology = zarn::sim::devices_only(std::vector<int>(64, 2));
    zarn::sim::TestDaemon daemon(topology);

    ZARNMainWindow w(daemon.path());
    w.watchdog_timer->stop();
    std::vector<ZARNCompressor *> compressors;
    int strips = 0;
    for (ZARNController *s : w.strips) {
        if (!s)
            continue;
        ++strips;
        if (s->compressor)
            compressors.push_back(s->compressor);
    }
    std::printf("tick benchmark: %d strips, %zu compressor windows, delay locator; "
                "in-process simulated daemon\n",
                strips, compressors.size());

    const int ticks = 300;

    // Window not shown: meters do not paint, so the tick is the probe, the
    // 64 compressor reads and the delay locator.
    time_runs(20, [&] { w.handle_watchdog(); });
    daemon.clear_requests();
    print("tick, window hidden (probe, 64 gains, locator)",
          time_runs(ticks, [&] { w.handle_watchdog(); }));
    std::printf("requests a tick: %.1f peak, %.1f compressor, %.1f locator read\n",
                double(daemon.count(zarn::REQ_DEV_PEAK)) / ticks,
                double(daemon.count(zarn::REQ_DEV_COMP_GET)) / ticks,
                double(daemon.count(zarn::REQ_DELAY_LOCATOR_GET)) / ticks);

    // Every strip in view, so every meter repaints and reads its levels too:
    // the tick as heavy as the window can make it.
    w.show();
    if (!QTest::qWaitForWindowExposed(&w))
        std::printf("window not exposed\n");
    QWidget *content = static_cast<QWidget *>(w.main_grid);
    content->adjustSize();
    w.resize(content->size() + QSize(40, 40));
    QApplication::processEvents();

    time_runs(20, [&] { w.handle_watchdog(); });
    daemon.clear_requests();
    print("tick, all in view (+128 meter paints)", time_runs(ticks, [&] { w.handle_watchdog(); }));
    std::printf("requests a tick: %.1f probe, %.1f peak, %.1f compressor, %.1f locator read, "
                "%.1f locator write\n",
                double(daemon.count(zarn::REQ_PROBE)) / ticks,
                double(daemon.count(zarn::REQ_DEV_PEAK)) / ticks,
                double(daemon.count(zarn::REQ_DEV_COMP_GET)) / ticks,
                double(daemon.count(zarn::REQ_DELAY_LOCATOR_GET)) / ticks,
                double(daemon.count(zarn::REQ_DELAY_LOCATOR_SET)) / ticks);
    std::printf("target: whole tick at most 8 ms\n");

    daemon.clear_requests();
    print("64 compressor gain refreshes", time_runs(ticks, [&] {
              for (ZARNCompressor *c : compressors)
                  c->refresh_gain();
          }));
    print("one compressor gain refresh",
          time_runs(ticks * 10, [&] { compressors[0]->refresh_gain(); }));
    print("delay locator refresh", time_runs(ticks * 10, [&] { w.delay_locator->refresh(); }));

    // The tray follows its control from what the strips already hold, after
    // each tick as the timer calls it: the tick with it should be the tick
    // without it, in requests and in time. Taken in turns of 60 ticks (the
    // live view's and the target check's periods fit into them), so the
    // machine's drift falls on both alike.
    auto *tray = new ZARNTray(&w);
    std::vector<double> without, with;
    std::size_t requests_without = 0, requests_with = 0;
    for (int round = 0; round < ticks / 60; ++round) {
        daemon.clear_requests();
        const auto a = time_runs(60, [&] { w.handle_watchdog(); });
        requests_without += daemon.requests().size();
        daemon.clear_requests();
        const auto b = time_runs(60, [&] {
            w.handle_watchdog();
            tray->follow();
        });
        requests_with += daemon.requests().size();
        without.insert(without.end(), a.begin(), a.end());
        with.insert(with.end(), b.begin(), b.end());
    }
    std::printf("tray: %s\n",
                tray->icon ? "icon in the desktop's tray" : "no tray here, logic only");
    print("tick, all in view, no tray", without);
    print("tick, all in view, tray following", with);
    daemon.clear_requests();
    const auto follow = time_runs(ticks * 10, [&] { tray->follow(); });
    std::printf("the tray's follow alone: median %.2f us, max %.2f us, %zu requests in %d runs\n",
                bench::median(follow) * 1000, bench::worst(follow) * 1000, daemon.requests().size(),
                ticks * 10);
    std::printf("requests a tick: %.1f without the tray, %.1f with it\n",
                double(requests_without) / ticks, double(requests_with) / ticks);
    daemon.clear_requests();
    return 0;
}
