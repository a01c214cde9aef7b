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
#include "routing_rig.h"
#include "sim/test_daemon.h"
#include "strip/zarn_controller.h"

namespace {

zarn::sim::Topology small_mixer() {
    zarn::sim::Topology t;
    t.device_channels = {2};
    t.loop_channels = {2};
    t.input_monitors = 1;
    t.output_monitors = 1;
    t.local_monitors = 1;
    t.main_output_channels = 2;
    t.main_input_channels = 2;
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
    // 1, the three monitors, the main outputs, the main inputs.
    ZARNController *const *strips = window.strips;
    QCOMPARE(strips[0]->connect_row, 4);
    QCOMPARE(strips[1]->connect_row, 5);
    QCOMPARE(strips[2]->connect_row, 1);
    QCOMPARE(strips[3]->connect_row, 2);
    for (int i = 4; i < 7; i++)
        QCOMPARE(strips[i]->connect_row, 0);
    auto text = [panel](int row, int column) {
        return static_cast<QLabel *>(panel->grid->itemAtPosition(row, column)->widget())->text();
    };
    QCOMPARE(text(3, 0), QString("pcm - input"));
    QCOMPARE(text(3, 2), QString("pcm - output"));
    QCOMPARE(text(0, 4), QString("rec - input"));

    window.resize(1400, 900);
    window.show();
    QVERIFY(QTest::qWaitForWindowExposed(&window));

    ZARNDevConnections *dev_painter = panel->dev_connections;
    ZARNLoopConnections *loop_painter = panel->loop_connections;
    auto row_y = [panel](int row, const QWidget *painter) {
        const QWidget *w = panel->grid->itemAtPosition(row, 0)->widget();
        return w->mapTo(panel, w->rect().center()).y() - painter->y();
    };

    QImage image = render(dev_painter);
    // Device channel 0: input 1 to its row, its row to output 0, both active.
    QVERIFY(is_dark(end_colour(image, 0, row_y(2, dev_painter))));
    QVERIFY(is_dark(end_colour(image, 0, row_y(4, dev_painter))));
    QVERIFY(is_dark(end_colour(image, 1, row_y(4, dev_painter))));
    QVERIFY(is_dark(end_colour(image, 1, row_y(1, dev_painter))));
    // Device channel 1, both muted: grey at its own row on both edges.
    QVERIFY(is_grey(end_colour(image, 0, row_y(5, dev_painter))));
    QVERIFY(is_grey(end_colour(image, 1, row_y(5, dev_painter))));
    // Its muted ends at input 0 and output 1 lie under the active input
    // monitor's ends.
    QVERIFY(is_dark(end_colour(image, 0, row_y(1, dev_painter))));
    QVERIFY(is_dark(end_colour(image, 1, row_y(2, dev_painter))));

    image = render(loop_painter);
    QVERIFY(is_dark(end_colour(image, 0, row_y(1, loop_painter))));
    QVERIFY(is_dark(end_colour(image, 1, row_y(1, loop_painter))));
    QVERIFY(is_grey(end_colour(image, 0, row_y(2, loop_painter))));
    QVERIFY(is_grey(end_colour(image, 1, row_y(2, loop_painter))));

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
    QCOMPARE(sent.channel, 1);
    QCOMPARE(sent.tx_mute, 0);
    QCOMPARE(sent.rx_mute, 1);
    QTRY_VERIFY(counter.paints > 0);
    image = render(dev_painter);
    QVERIFY(is_dark(end_colour(image, 0, row_y(5, dev_painter))));
    QVERIFY(is_grey(end_colour(image, 1, row_y(5, dev_painter))));

    // Moving channel 0's destination to output 1 leaves output 0 to the
    // muted output monitor.
    strips[0]->dst_channel_box->setValue(1);
    image = render(dev_painter);
    QVERIFY(is_grey(end_colour(image, 1, row_y(1, dev_painter))));
    QVERIFY(is_dark(end_colour(image, 1, row_y(2, dev_painter))));
}

QTEST_MAIN(TestRoutingWithDaemon)
#include "tst_routing_with_daemon.moc"
