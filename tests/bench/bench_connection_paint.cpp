// Times the connection diagram with a full strip table (128 strips) from the
// in-process simulated daemon: building the panel, and one paint of each
// route painter into an image of its size. Prints its figures.
#include <QApplication>
#include <QElapsedTimer>
#include <QImage>
#include <QTest>
#include <QTimer>
#include <algorithm>
#include <cstdio>
#include <vector>

#include "app/zarn_main_window.h"
#include "routing/zarn_connect.h"
#include "routing/zarn_dev_connections.h"
#include "routing/zarn_loop_connections.h"
#include "sim/test_daemon.h"
#include "strip/zarn_controller.h"

namespace {

double median(std::vector<double> v) {
    std::sort(v.begin(), v.end());
    return v[v.size() / 2];
}

double worst(const std::vector<double> &v) {
    return *std::max_element(v.begin(), v.end());
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
    ZARNConnect *panel = window->connect_panel;
    const int paints = 200;
    const std::vector<double> dev = time_paints(panel->dev_connections, paints);
    const std::vector<double> loop = time_paints(panel->loop_connections, paints);

    std::printf("strips: %d; device painter %dx%d, loopback painter %dx%d\n", strips,
                panel->dev_connections->width(), panel->dev_connections->height(),
                panel->loop_connections->width(), panel->loop_connections->height());
    std::printf("panel construction: median %.3f ms, worst %.3f ms (20 runs)\n", median(builds),
                worst(builds));
    std::printf("device painter paint: median %.3f ms, worst %.3f ms (%d paints)\n", median(dev),
                worst(dev), paints);
    std::printf("loopback painter paint: median %.3f ms, worst %.3f ms (%d paints)\n", median(loop),
                worst(loop), paints);
    // The window is never destroyed, as in the program itself.
    return 0;
}
