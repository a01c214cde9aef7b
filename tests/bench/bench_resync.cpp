// SPDX-License-Identifier: BSD-2-Clause
// Times the watchdog tick that brings the panel back after the daemon was
// gone: every strip, compressor and panel read again, with 128 strips whose
// 256 equalizer filters are active and 65536 taps long. Prints its figures.

#include <QApplication>
#include <QElapsedTimer>
#include <QTest>
#include <QTimer>
#include <algorithm>
#include <cstdio>
#include <vector>

#include "app/zarn_main_window.h"
#include "compressor/zarn_compressor.h"
#include "ctl/transport.h"
#include "eq/zarn_equalizer.h"
#include "strip/zarn_controller.h"
#include "support/test_daemon.h"
#include "timing.h"

using bench::ms;

namespace {} // namespace

int main(int argc, char **argv) {
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);

    constexpr int TAPS = 65536;
    zarn::sim::Topology topology = zarn::sim::devices_only(std::vector<int>(64, 2));
    topology.filter_length = TAPS;
    zarn::sim::TestDaemon daemon(topology);
    daemon.with_engine([](zarn::sim::Engine &e) {
        for (auto &device : e.devices)
            for (auto &channel : device.channels)
                for (auto *filter : {&channel.rx_filter, &channel.tx_filter}) {
                    filter->active = true;
                    filter->coefficients.assign(TAPS, 0.0);
                    for (int i = 0; i < TAPS; ++i)
                        filter->coefficients[i] = 1.0 / (1.0 + i);
                }
    });
    std::printf("resynchronisation benchmark: 64 devices of 2 channels, 256 active %d-tap "
                "filters, in-process simulated daemon\n",
                TAPS);

    QElapsedTimer clock;
    clock.start();
    ZARNMainWindow w(daemon.path());
    w.watchdog_timer->stop();
    std::printf("start-up (discovery, strips, windows, every filter fetched): %.1f ms\n",
                ms(clock.nsecsElapsed()));
    w.show();
    if (!QTest::qWaitForWindowExposed(&w))
        std::printf("window not exposed\n");
    w.handle_watchdog();

    std::vector<double> resyncs;
    for (int run = 0; run < 5; ++run) {
        daemon.stop();
        w.handle_watchdog();
        daemon.start();
        daemon.clear_requests();
        clock.start();
        w.handle_watchdog();
        resyncs.push_back(ms(clock.nsecsElapsed()));
        std::printf("reconnection tick %d: %.1f ms, %zu requests\n", run, resyncs.back(),
                    daemon.requests().size());
    }
    std::printf("reconnection tick (resynchronisation and the tick's own reads): median %.1f ms, "
                "worst %.1f ms (target at most 1000 ms)\n",
                bench::median(resyncs), bench::worst(resyncs));

    // A window that was hidden during the reconnection fetches its filter
    // when it is next shown.
    ZARNEqualizer *eq = w.strips[0]->rx_equalizer;
    clock.start();
    eq->show();
    if (!QTest::qWaitForWindowExposed(eq))
        std::printf("equalizer window not exposed\n");
    QApplication::processEvents();
    std::printf("showing a stale equalizer window (fetch of %d taps and its plot): %.1f ms\n", TAPS,
                ms(clock.nsecsElapsed()));
    eq->hide();
    zarn::ctl_close(w.fd);
    return 0;
}
