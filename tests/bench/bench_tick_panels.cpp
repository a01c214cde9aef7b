// SPDX-License-Identifier: BSD-2-Clause
// Times the watchdog tick with 128 strips of 64 two-channel devices, their
// 64 compressor windows and the delay locator, against the in-process
// simulated daemon, and the compressor and locator share of it.
#include <QApplication>
#include <QCheckBox>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QPainter>
#include <QPushButton>
#include <QScreen>
#include <QScrollArea>
#include <QSpinBox>
#include <QTest>
#include <QTimer>
#include <QVBoxLayout>
#include <algorithm>
#include <chrono>
#include <cstdio>
#include <memory>
#include <vector>

#include "app/opening_size.h"
#include "app/zarn_grid_layout.h"
#include "app/zarn_main_window.h"
#include "app/zarn_tray.h"
#include "compressor/zarn_compressor.h"
#include "ctl/requests.h"
#include "ctl/target_peak.h"
#include "ctl/transport.h"
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

// The baseline: a bare Qt program with the same number of meters, each
// reading its levels from the same daemon every tick and painting two bars.
class BareMeter : public QWidget {
public:
    explicit BareMeter(int index) {
        peak.number = index / 2;
        peak.channel = index % 2;
        setFixedSize(40, 128);
    }
    zarn::TargetPeak peak{};
    int result = -1;

protected:
    void paintEvent(QPaintEvent *) override {
        QPainter p(this);
        p.fillRect(rect(), Qt::black);
        const int rx = static_cast<int>(peak.rx_level % 128);
        const int tx = static_cast<int>(peak.tx_level % 128);
        p.fillRect(2, height() - rx, 16, rx, Qt::green);
        p.fillRect(22, height() - tx, 16, tx, Qt::green);
    }
};

struct BareProgram {
    QScrollArea window;
    std::vector<BareMeter *> meters;
    int fd;

    BareProgram(const char *path, int count) : fd(zarn::ctl_open(path)) {
        auto *content = new QWidget;
        auto *layout = new QVBoxLayout(content);
        for (int i = 0; i < count; ++i) {
            meters.push_back(new BareMeter(i));
            layout->addWidget(meters.back());
        }
        window.setWidget(content);
    }
    ~BareProgram() { zarn::ctl_close(fd); }
    void tick() {
        std::vector<zarn::BatchedRequest> batch;
        for (BareMeter *m : meters)
            batch.push_back({zarn::REQ_DEV_PEAK, &m->peak, &m->result});
        zarn::ctl_request_batch(fd, batch.data(), static_cast<int>(batch.size()));
        for (BareMeter *m : meters)
            m->repaint();
    }
};

// The widgets of one strip, counted by class, made again bare.
struct WidgetCounts {
    int boxes = 0, checks = 0, spins = 0, buttons = 0, labels = 0, edits = 0;
};

WidgetCounts count_widgets(const QWidget *strip) {
    WidgetCounts c;
    c.boxes = 1 + static_cast<int>(strip->findChildren<QGroupBox *>().size());
    c.checks = static_cast<int>(strip->findChildren<QCheckBox *>().size());
    c.spins = static_cast<int>(strip->findChildren<QSpinBox *>().size());
    c.buttons = static_cast<int>(strip->findChildren<QPushButton *>().size());
    c.labels = static_cast<int>(strip->findChildren<QLabel *>().size());
    c.edits = static_cast<int>(strip->findChildren<QLineEdit *>().size());
    return c;
}

QWidget *bare_strip(const WidgetCounts &c) {
    auto *box = new QGroupBox(QStringLiteral("strip"));
    auto *layout = new QVBoxLayout(box);
    for (int i = 1; i < c.boxes; ++i)
        layout->addWidget(new QGroupBox);
    for (int i = 0; i < c.checks; ++i)
        layout->addWidget(new QCheckBox(QStringLiteral("check")));
    for (int i = 0; i < c.spins; ++i)
        layout->addWidget(new QSpinBox);
    for (int i = 0; i < c.buttons; ++i)
        layout->addWidget(new QPushButton(QStringLiteral("button")));
    for (int i = 0; i < c.labels; ++i)
        layout->addWidget(new QLabel(QStringLiteral("label")));
    for (int i = 0; i < c.edits; ++i)
        layout->addWidget(new QLineEdit);
    layout->addWidget(new BareMeter(0));
    return box;
}

double elapsed_ms(std::chrono::steady_clock::time_point since) {
    return std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - since)
        .count();
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
    delete tray;

    // Cost against a bare Qt program with polling meters, in this run. A
    // tick here is the timer's work and the paints it leaves to the loop.
    const QRect screen = w.screen() ? w.screen()->availableGeometry() : QRect(0, 0, 1366, 768);
    w.resize(zarn::opening_size(w, screen));
    QApplication::processEvents();
    const auto panel_tick = [](ZARNMainWindow &window) {
        window.handle_watchdog();
        QApplication::processEvents();
    };
    time_runs(20, [&] { panel_tick(w); });
    daemon.clear_requests();
    const auto opening = time_runs(ticks, [&] { panel_tick(w); });
    print("panel, 128 strips at the opening size", opening);
    std::printf("requests a tick: %.1f in all, %.1f compressor, %.1f record reads\n",
                double(daemon.requests().size()) / ticks,
                double(daemon.count(zarn::REQ_DEV_COMP_GET)) / ticks,
                double(daemon.count(zarn::REQ_DEV_CONFIG_GET)) / ticks);

    zarn::sim::TestDaemon small_daemon(zarn::sim::devices_only(std::vector<int>(7, 2)));
    ZARNMainWindow small(small_daemon.path());
    small.watchdog_timer->stop();
    small.show();
    if (!QTest::qWaitForWindowExposed(&small))
        std::printf("window not exposed\n");
    static_cast<QWidget *>(small.main_grid)->adjustSize();
    small.resize(static_cast<QWidget *>(small.main_grid)->size() + QSize(40, 40));
    QApplication::processEvents();
    time_runs(20, [&] { panel_tick(small); });
    const auto small_all = time_runs(ticks, [&] { panel_tick(small); });
    print("panel, 14 strips all in view", small_all);

    BareProgram bare(small_daemon.path(), 14);
    bare.window.show();
    if (!QTest::qWaitForWindowExposed(&bare.window))
        std::printf("window not exposed\n");
    bare.window.widget()->adjustSize();
    bare.window.resize(bare.window.widget()->size() + QSize(40, 40));
    QApplication::processEvents();
    const auto bare_tick = [&] {
        bare.tick();
        QApplication::processEvents();
    };
    time_runs(20, bare_tick);
    const auto bare14 = time_runs(ticks, bare_tick);
    print("bare Qt, 14 polling meters", bare14);
    const double base = bench::median(bare14);
    std::printf("budget: 128 strips at the opening size %.2fx the bare 14 (at most 1), "
                "14 strips %.2fx (at most 1.5)\n",
                bench::median(opening) / base, bench::median(small_all) / base);

    // Start-up to the first tick, against a bare program that makes the
    // same widgets as 128 strips, without reading anything.
    const WidgetCounts counts = count_widgets(w.strips[0]);
    std::vector<double> panel_start, bare_start;
    unsigned long start_trips = 0;
    for (int round = 0; round < 7; ++round) {
        auto start = std::chrono::steady_clock::now();
        const unsigned long trips_before = zarn::ctl_round_trips();
        {
            auto window = std::make_unique<ZARNMainWindow>(daemon.path());
            window->watchdog_timer->stop();
            window->show();
            QApplication::processEvents();
            window->handle_watchdog();
            panel_start.push_back(elapsed_ms(start));
            start_trips = zarn::ctl_round_trips() - trips_before;
        }
        start = std::chrono::steady_clock::now();
        {
            QScrollArea window;
            auto *content = new QWidget;
            auto *layout = new QVBoxLayout(content);
            for (int i = 0; i < 128; ++i)
                layout->addWidget(bare_strip(counts));
            window.setWidget(content);
            window.show();
            QApplication::processEvents();
            bare_start.push_back(elapsed_ms(start));
        }
    }
    print("panel start-up to the first tick, 128 strips", panel_start);
    print("bare start-up, 128 strips' widgets", bare_start);
    std::printf("round trips to the daemon up to the first tick: %lu\n", start_trips);
    std::printf("budget: start-up %.2fx the bare program (at most 1.5)\n",
                bench::median(panel_start) / bench::median(bare_start));
    daemon.clear_requests();
    return 0;
}
