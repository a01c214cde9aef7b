// SPDX-License-Identifier: BSD-2-Clause

#include <QCheckBox>
#include <QGridLayout>
#include <QLabel>
#include <QSpinBox>
#include <QtTest>
#include <cstring>

#include "app/zarn_grid_layout.h"
#include "app/zarn_main_window.h"
#include "ctl/requests.h"
#include "routing/zarn_connect.h"
#include "routing/zarn_dev_connections.h"
#include "routing/zarn_loop_connections.h"
#include "support/test_daemon.h"
#include "strip/zarn_controller.h"
#include "support/routing_rig.h"

namespace {

zarn::sim::Topology small_mixer() {
    zarn::sim::Topology t = zarn::sim::mixer({2}, {2}, 1, 1, 1, 2, 2);
    t.filter_length = 0;
    return t;
}

void route(zarn::ChannelConfig &config, int src, int dst, int rx_mute, int tx_mute) {
    config.src_channel = src;
    config.dst_channel = dst;
    config.rx_mute = rx_mute;
    config.tx_mute = tx_mute;
}

void route(zarn::MonitorConfig &config, int src, int dst, int mute) {
    config.src_channel = src;
    config.dst_channel = dst;
    config.mute = mute;
}

// Colour at the centre of the half-disc an end leaves on a painter's edge.
QRgb end_colour(const QImage &image, int side, int y) {
    return image.pixel(side == 0 ? 2 : image.width() - 3, y);
}

} // namespace

// The diagram of a whole window discovered from the simulated daemon: where
// it sits, what it lists, and that it follows the strips' writes.
class TestRoutingWithDaemon : public QObject {
    Q_OBJECT

private slots:
    void diagram_shows_the_daemon_routes_and_follows_writes();
};

void TestRoutingWithDaemon::diagram_shows_the_daemon_routes_and_follows_writes() {
    zarn::sim::TestDaemon daemon(small_mixer());
    daemon.with_engine([](zarn::sim::Engine &e) {
        auto &dev = e.devices[0].channels;
        std::strcpy(dev[0].config.name, "pcm");
        std::strcpy(dev[1].config.name, "pcm");
        route(dev[0].config, 1, 0, 0, 0);
        route(dev[1].config, 0, 1, 1, 1);
        auto &loop = e.loops[0].channels;
        std::strcpy(loop[0].config.name, "rec");
        std::strcpy(loop[1].config.name, "rec");
        route(loop[0].config, 0, 0, 0, 0);
        route(loop[1].config, 1, 0, 1, 0);
        route(e.input_monitors[0].config, 0, 1, 0);
        route(e.output_monitors[0].config, 0, 1, 1);
        route(e.local_monitors[0].config, 1, 0, 0);
    });

    RoutingRig rig(daemon.path());
    ZARNMainWindow &window = *rig.window;
    ZARNConnect *panel = window.connect_panel;
    QVERIFY(panel != nullptr);
    QLayoutItem *top = static_cast<QGridLayout *>(window.main_grid)->itemAtPosition(0, 0);
    QVERIFY(top != nullptr && top->widget() == panel);

    // Discovery order: device 0 channels 0 and 1, loopback 0 channels 0 and
    // 1, the three monitors (no row), the main outputs, the main inputs.
    ZARNController *const *strips = window.strips;
    QList<int> rows;
    for (int i = 0; i < 7; i++)
        rows << strips[i]->connect_row;
    QCOMPARE(rows, QList<int>({4, 5, 1, 2, 0, 0, 0}));
    auto text = [panel](int row, int column) {
        return static_cast<QLabel *>(panel->grid->itemAtPosition(row, column)->widget())->text();
    };
    QCOMPARE(QStringList({text(3, 0), text(3, 2), text(0, 4)}),
             QStringList({"pcm - input", "pcm - output", "rec - input"}));

    window.resize(1400, 900);
    window.show();
    QVERIFY(QTest::qWaitForWindowExposed(&window));

    ZARNDevConnections *dev_painter = panel->dev_connections;
    ZARNLoopConnections *loop_painter = panel->loop_connections;
    // The colours of the ends at the given rows, left edge then right edge:
    // D dark, G grey, W white, ? other.
    auto ends = [panel](const QImage &image, const QWidget *painter, QList<int> left,
                        QList<int> right) {
        QString out;
        for (int side = 0; side < 2; side++) {
            for (int row : side == 0 ? left : right) {
                const QWidget *w = panel->grid->itemAtPosition(row, 0)->widget();
                const int y = w->mapTo(panel, w->rect().center()).y() - painter->y();
                const QRgb c = end_colour(image, side, y);
                out += is_dark(c) ? 'D' : is_grey(c) ? 'G' : is_white(c) ? 'W' : '?';
            }
            out += side == 0 ? "|" : "";
        }
        return out;
    };

    // Device channel 0: input 1 to its row 4, its row to output 0, both
    // active. Channel 1, both muted, is grey at its row 5; its muted ends at
    // input 0 and output 1 lie under the active input monitor's ends.
    QCOMPARE(ends(render(dev_painter), dev_painter, {1, 2, 4, 5}, {1, 2, 4, 5}),
             QString("DDDG|DDDG"));
    QCOMPARE(ends(render(loop_painter), loop_painter, {1, 2}, {1, 2}), QString("DG|DG"));

    // Unmuting channel 1's transmit sends the record and turns its route black.
    PaintCounter counter;
    dev_painter->installEventFilter(&counter);
    daemon.clear_requests();
    strips[1]->tx_mute_box->setChecked(false);
    QCOMPARE(daemon.count(zarn::REQ_DEV_CONFIG_SET), std::size_t(1));
    zarn::ChannelConfig sent;
    const std::vector<unsigned char> bytes = daemon.requests().back().record;
    QCOMPARE(bytes.size(), sizeof sent);
    std::memcpy(&sent, bytes.data(), sizeof sent);
    QCOMPARE(QList<int>({sent.channel, sent.tx_mute, sent.rx_mute}), QList<int>({1, 0, 1}));
    QTRY_VERIFY(counter.paints > 0);
    QCOMPARE(ends(render(dev_painter), dev_painter, {5}, {5}), QString("D|G"));

    // Moving channel 0's destination to output 1 leaves output 0 to the
    // muted output monitor.
    strips[0]->dst_channel_box->setValue(1);
    QCOMPARE(ends(render(dev_painter), dev_painter, {}, {1, 2}), QString("|GD"));
}

QTEST_MAIN(TestRoutingWithDaemon)
#include "test_routing_with_daemon.moc"
