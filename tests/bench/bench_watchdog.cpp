// SPDX-License-Identifier: BSD-2-Clause
// Times one watchdog tick with 128 strips against the in-process simulated
// daemon, and start-up to the first shown window. Prints its figures.
#include <QApplication>
#include <QElapsedTimer>
#include <QImage>
#include <QPainter>
#include <QTest>
#include <QTimer>
#include <algorithm>
#include <cstdio>
#include <unistd.h>
#include <vector>

#include "app/zarn_grid_layout.h"
#include "app/zarn_main_window.h"
#include "compressor/zarn_compressor.h"
#include "ctl/requests.h"
#include "ctl/transport.h"
#include "strip/zarn_controller.h"
#include "strip/zarn_volume_bar.h"
#include "support/test_daemon.h"
#include "timing.h"

using bench::median;
using bench::ms;
using bench::percentile;

namespace {

std::size_t peak_count(const zarn::sim::TestDaemon &d) {
    return d.count(zarn::REQ_DEV_PEAK);
}

// Ticks driven by hand, the timer stopped; returns per-tick times in ms.
std::vector<double> time_ticks(ZARNMainWindow &w, int ticks) {
    std::vector<double> times;
    QElapsedTimer clock;
    for (int i = 0; i < ticks; ++i) {
        clock.start();
        w.handle_watchdog();
        times.push_back(ms(clock.nsecsElapsed()));
    }
    return times;
}

} // namespace

int main(int argc, char **argv) {
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);

    zarn::sim::Topology topology = zarn::sim::devices_only(std::vector<int>(64, 2));
    zarn::sim::TestDaemon daemon(topology);

    std::printf("watchdog benchmark: 64 devices of 2 channels, in-process simulated daemon\n");
    // Other work on the machine shows in every figure; say how much there was.
    if (FILE *load = std::fopen("/proc/loadavg", "r")) {
        char line[128] = {};
        if (std::fgets(line, sizeof line, load))
            std::printf("load average at start: %s", line);
        std::fclose(load);
    }

    // Start-up: construction (discovery, 128 strips, their windows, panels)
    // until the window has been shown and painted. The first run pays for
    // the toolkit's own first use too; later windows are freed after their
    // run so that each starts among the same number of widgets.
    std::vector<double> startups;
    ZARNMainWindow *kept = nullptr;
    double first = 0;
    for (int run = 0; run < 6; ++run) {
        QElapsedTimer clock;
        clock.start();
        auto *w = new ZARNMainWindow(daemon.path());
        const double built = ms(clock.nsecsElapsed());
        w->show();
        if (!QTest::qWaitForWindowExposed(w))
            std::printf("window not exposed\n");
        QApplication::processEvents();
        const double shown = ms(clock.nsecsElapsed());
        w->watchdog_timer->stop();
        std::printf("start-up run %d: constructed in %.1f ms, shown in %.1f ms, %d strips\n", run,
                    built, shown,
                    int(std::count_if(std::begin(w->strips), std::end(w->strips),
                                      [](ZARNController *s) { return s; })));
        if (run == 0) {
            kept = w;
            first = shown;
            continue;
        }
        startups.push_back(shown);
        zarn::ctl_close(w->fd);
        delete w;
    }
    std::printf("start-up to first shown window: first %.1f ms, median of later runs %.1f ms "
                "(target 1000 ms)\n",
                first, median(startups));
    ZARNMainWindow &w = *kept;

    // As the window opens: only the strips in view are repainted.
    std::size_t before = peak_count(daemon);
    std::vector<double> times = time_ticks(w, 200);
    std::printf("tick, window at its opening size %dx%d: median %.3f ms, 90th percentile %.3f "
                "ms, %.1f peak requests a tick\n",
                w.width(), w.height(), median(times), percentile(times, 0.9),
                double(peak_count(daemon) - before) / 200);

    // Every strip in view, so every meter repaints and asks the daemon.
    QWidget *content = static_cast<QWidget *>(w.main_grid);
    content->adjustSize();
    w.resize(content->size() + QSize(40, 40));
    QApplication::processEvents();
    before = peak_count(daemon);
    times = time_ticks(w, 300);
    std::printf("tick, all 128 meters in view (%dx%d): median %.3f ms, 90th percentile %.3f ms, "
                "%.1f peak requests a tick (target median 5 ms)\n",
                w.width(), w.height(), median(times), percentile(times, 0.9),
                double(peak_count(daemon) - before) / 300);

    // Where the time of a tick goes. A descriptor ctl_open did not return
    // (a dup) is examined on every request, as every descriptor was before.
    const int examined = ::dup(w.fd);
    std::vector<double> requests, examined_requests, batched, repaints, draws;
    std::vector<zarn::TargetPeak> peaks(MAX_STRIPS);
    std::vector<int> results(MAX_STRIPS);
    std::vector<zarn::BatchedRequest> batch;
    for (int s = 0; s < MAX_STRIPS; ++s) {
        peaks[s].number = s / 2;
        peaks[s].channel = s % 2;
        batch.push_back({zarn::REQ_DEV_PEAK, &peaks[s], &results[s]});
    }
    QImage image(ZARNVolumeBar::WIDTH, ZARNVolumeBar::HEIGHT, QImage::Format_RGB32);
    for (int i = 0; i < 100; ++i) {
        QElapsedTimer clock;
        clock.start();
        for (int s = 0; s < MAX_STRIPS; ++s) {
            zarn::TargetPeak peak{};
            peak.number = s / 2;
            peak.channel = s % 2;
            zarn::ctl_request(w.fd, zarn::REQ_DEV_PEAK, &peak);
        }
        requests.push_back(ms(clock.nsecsElapsed()));
        clock.start();
        for (int s = 0; s < MAX_STRIPS; ++s) {
            zarn::TargetPeak peak{};
            peak.number = s / 2;
            peak.channel = s % 2;
            zarn::ctl_request(examined, zarn::REQ_DEV_PEAK, &peak);
        }
        examined_requests.push_back(ms(clock.nsecsElapsed()));
        clock.start();
        zarn::ctl_request_batch(w.fd, batch.data(), MAX_STRIPS);
        batched.push_back(ms(clock.nsecsElapsed()));
        clock.start();
        for (ZARNController *s : w.strips)
            s->meter->repaint(); // same tick: no request
        repaints.push_back(ms(clock.nsecsElapsed()));
        clock.start();
        for (ZARNController *s : w.strips) {
            QPainter painter(&image);
            s->meter->draw(painter);
        }
        draws.push_back(ms(clock.nsecsElapsed()));
    }
    std::printf("of which: 128 peak requests in one batch %.3f ms (before: one by one %.3f ms, "
                "and with an fstat and a poll each %.3f ms), 128 meter repaints without requests "
                "%.3f ms, 128 meter pictures into an image %.3f ms (medians)\n",
                median(batched), median(requests), median(examined_requests), median(repaints),
                median(draws));
    ::close(examined);
    return 0;
}
