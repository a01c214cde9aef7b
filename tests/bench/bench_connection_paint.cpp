// SPDX-License-Identifier: BSD-2-Clause
// Times the connection diagram with a full strip table (128 strips) from the
// in-process simulated daemon, the diagram in view: building the panel; the
// whole picture of each route painter drawn afresh, which every paint cost
// before the pictures were kept; a repaint from the kept pictures; and
// writes that change one route (nearby rows, and across the whole height) or
// none, each through refresh_routes(), which the strips call, and through
// the panel's update(), which repaints all of it, labels and names too.
// Prints its figures.
#include <QApplication>
#include <QElapsedTimer>
#include <QImage>
#include <QMouseEvent>
#include <QTest>
#include <QTimer>
#include <algorithm>
#include <cstdio>
#include <vector>

#include "app/zarn_main_window.h"
#include "ctl/strip_kind.h"
#include "routing/zarn_connect.h"
#include "routing/zarn_dev_connections.h"
#include "routing/zarn_loop_connections.h"
#include "strip/zarn_controller.h"
#include "support/test_daemon.h"
#include "timing.h"

using bench::median;
using bench::worst;

namespace {

// Times f() followed by the repaints it scheduled.
template <typename F> std::vector<double> time_with_repaint(int runs, F &&f) {
    std::vector<double> times;
    QElapsedTimer clock;
    for (int i = 0; i < runs; i++) {
        clock.start();
        f(i);
        QApplication::processEvents();
        times.push_back(clock.nsecsElapsed() / 1e6);
    }
    return times;
}

void print(const char *what, const std::vector<double> &t) {
    std::printf("%-62s median %8.3f ms, worst %8.3f ms (%zu runs)\n", what, median(t), worst(t),
                t.size());
}

template <typename Painter> std::vector<double> time_paints(Painter *painter, int paints) {
    QImage image(painter->size(), QImage::Format_ARGB32_Premultiplied);
    std::vector<double> times;
    QElapsedTimer clock;
    for (int i = 0; i < paints; i++) {
        clock.start();
        painter->draw(&image);
        times.push_back(clock.nsecsElapsed() / 1e6);
    }
    return times;
}

} // namespace

int main(int argc, char **argv) {
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);

    // 128 targets: 48 device and 32 loopback channels, 16 input and 16
    // output monitors, 8 main outputs and 8 main inputs.
    zarn::sim::Topology topology;
    topology.device_channels.assign(12, 4);
    topology.loop_channels.assign(8, 4);
    topology.input_monitors = 16;
    topology.output_monitors = 16;
    topology.local_monitors = 0;
    topology.main_output_channels = 8;
    topology.main_input_channels = 8;
    topology.filter_length = 0;
    zarn::sim::TestDaemon daemon(topology);
    // Half the routes muted, so both passes draw.
    daemon.with_engine([](zarn::sim::Engine &e) {
        for (auto &group : e.devices)
            for (std::size_t c = 0; c < group.channels.size(); c++)
                group.channels[c].config.rx_mute = c % 2;
        for (auto &monitor : e.input_monitors)
            monitor.config.mute = monitor.config.number % 2;
    });

    auto *window = new ZARNMainWindow(daemon.path());
    window->watchdog_timer->stop();
    int strips = 0;
    while (strips < MAX_STRIPS && window->strips[strips] != nullptr)
        strips++;

    std::vector<double> builds;
    QElapsedTimer clock;
    for (int i = 0; i < 20; i++) {
        clock.start();
        delete new ZARNConnect(window);
        builds.push_back(clock.nsecsElapsed() / 1e6);
    }
    // The strips keep pointers to the last panel's line edits; that one stays.
    new ZARNConnect(window);

    window->resize(1600, 1200);
    window->show();
    if (!QTest::qWaitForWindowExposed(window))
        return 1;
    QApplication::processEvents();
    ZARNConnect *panel = window->connect_panel;
    const int paints = 100;
    std::printf("strips: %d; device painter %dx%d, loopback painter %dx%d\n", strips,
                panel->dev_connections->width(), panel->dev_connections->height(),
                panel->loop_connections->width(), panel->loop_connections->height());
    print("panel construction", builds);
    print("before: device painter, whole picture drawn afresh",
          time_paints(panel->dev_connections, paints));
    print("before: loopback painter, whole picture drawn afresh",
          time_paints(panel->loop_connections, paints));

    // Repaints for scrolling and exposure: from the kept pictures.
    print("repaint of the device painter, nothing changed",
          time_with_repaint(paints, [&](int) { panel->dev_connections->repaint(); }));
    print("repaint of the loopback painter, nothing changed",
          time_with_repaint(paints, [&](int) { panel->loop_connections->repaint(); }));

    ZARNController *monitor = nullptr;
    ZARNController *last_device = nullptr;
    for (ZARNController *s : window->strips) {
        if (s && s->kind == zarn::KIND_INPUT_MONITOR && !monitor)
            monitor = s;
        if (s && s->kind == zarn::KIND_DEVICE)
            last_device = s;
    }
    // A gain, delay or polarity write moves no route.
    print("write, no route changed: refresh_routes()", time_with_repaint(paints, [&](int i) {
              last_device->channel_config.rx_amp = i % 7;
              panel->refresh_routes();
          }));
    print("write, no route changed: whole panel repainted", time_with_repaint(paints, [&](int i) {
              last_device->channel_config.rx_amp = i % 7;
              panel->update();
          }));
    // An input monitor moves between main outputs 0 and 1: nearby rows.
    print("write, one route between nearby rows: refresh_routes()",
          time_with_repaint(paints, [&](int i) {
              monitor->monitor_config.dst_channel = (i + 1) % 2;
              panel->refresh_routes();
          }));
    print("write, one route between nearby rows: whole panel repainted",
          time_with_repaint(paints, [&](int i) {
              monitor->monitor_config.dst_channel = (i + 1) % 2;
              panel->update();
          }));
    // The last device's receive route runs from main input 0 at the top to
    // the device's row at the bottom: muting it redraws the whole height.
    print("write, one route across the whole height: refresh_routes()",
          time_with_repaint(paints, [&](int i) {
              last_device->channel_config.rx_mute = (i + 1) % 2;
              panel->refresh_routes();
          }));
    print("write, one route across the whole height: whole panel repainted",
          time_with_repaint(paints, [&](int i) {
              last_device->channel_config.rx_mute = (i + 1) % 2;
              panel->update();
          }));
    // A drag from the first device's transmit end over the far edge, from the
    // bottom of the painter's part in view up to main output 0 and back:
    // each frame is a pointer move and the repaint it schedules, the line
    // and the highlighted channel. Released where nothing joins, so the
    // daemon is not written.
    ZARNDevConnections *dev = panel->dev_connections;
    const auto send = [dev](QEvent::Type type, QPoint pos, Qt::MouseButtons buttons) {
        QMouseEvent event(type, pos, dev->mapToGlobal(pos),
                          type == QEvent::MouseMove ? Qt::NoButton : Qt::LeftButton, buttons,
                          Qt::NoModifier);
        QApplication::sendEvent(dev, &event);
    };
    ZARNController *first_device = nullptr;
    for (ZARNController *s : window->strips)
        if (s && s->kind == zarn::KIND_DEVICE && !first_device)
            first_device = s;
    const QPoint start(2, zarn::row_middle(panel->grid, first_device->connect_row));
    const int bottom = dev->visibleRegion().boundingRect().bottom();
    std::printf("drag from y %d over the rows from 0 to %d in view\n", start.y(), bottom);
    send(QEvent::MouseButtonPress, start, Qt::LeftButton);
    const int frames = 200;
    print("drag across the device painter, one pointer move a frame",
          time_with_repaint(frames, [&](int i) {
              const int step = i < frames / 2 ? i : frames - 1 - i;
              const int y = bottom - (bottom * step) / (frames / 2 - 1);
              send(QEvent::MouseMove, QPoint(dev->width() - 3, y), Qt::LeftButton);
          }));
    send(QEvent::MouseButtonRelease, QPoint(dev->width() / 2, -100), Qt::NoButton);
    // The window is never destroyed, as in the program itself.
    return 0;
}
