// SPDX-License-Identifier: BSD-2-Clause

#include <QBuffer>
#include <QCheckBox>
#include <QFile>
#include <QGridLayout>
#include <QLabel>
#include <QLineEdit>
#include <QSpinBox>
#include <QTemporaryDir>
#include <QToolTip>
#include <QtTest>
#include <cstddef>
#include <cstring>

#include "app/zarn_grid_layout.h"
#include "app/zarn_main_window.h"
#include "ctl/requests.h"
#include "routing/zarn_connect.h"
#include "routing/zarn_dev_connections.h"
#include "routing/zarn_loop_connections.h"
#include "strip/zarn_controller.h"
#include "support/routing_rig.h"
#include "support/test_daemon.h"
#include "tools/state_file_json.h"
#include "tools/state_file_store.h"
#include "tools/state_file_texts.h"

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
    void drag_sets_the_route_it_draws_data();
    void drag_sets_the_route_it_draws();
    void hover_tells_the_route();
    void channel_names_are_kept_shown_and_stored();
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

namespace {

void daemon_routes(zarn::sim::TestDaemon &daemon) {
    daemon.with_engine([](zarn::sim::Engine &e) {
        auto &dev = e.devices[0].channels;
        std::strcpy(dev[0].config.name, "dsp1");
        std::strcpy(dev[1].config.name, "dsp1");
        route(dev[0].config, 1, 0, 0, 0);
        route(dev[1].config, 0, 1, 1, 1);
        auto &loop = e.loops[0].channels;
        std::strcpy(loop[0].config.name, "rec");
        std::strcpy(loop[1].config.name, "rec");
        route(loop[0].config, 0, 0, 0, 0);
        route(loop[1].config, 1, 0, 1, 0);
    });
}

// Where a channel's end lies on a painter's edge.
QPoint end_at(const ZARNRoutePainter *painter, int side, int row) {
    return QPoint(side == 0 ? 2 : painter->width() - 3,
                  zarn::row_middle(painter->panel->grid, row));
}

void move_to(QWidget *widget, QPoint pos) {
    QMouseEvent move(QEvent::MouseMove, pos, widget->mapToGlobal(pos), Qt::NoButton, Qt::LeftButton,
                     Qt::NoModifier);
    QApplication::sendEvent(widget, &move);
}

} // namespace

// A drag from one channel to another: the painter, its start (side, row) and
// where it ends; then the request the daemon gets (0 for none), the strip
// whose record it carries and the field, by its offset, that changes to the
// value. Every other byte is the record as the daemon had it.
void TestRoutingWithDaemon::drag_sets_the_route_it_draws_data() {
    QTest::addColumn<bool>("loop");
    QTest::addColumn<QPoint>("from");
    QTest::addColumn<QPoint>("to");
    QTest::addColumn<bool>("escape");
    QTest::addColumn<uint>("code");
    QTest::addColumn<int>("strip");
    QTest::addColumn<int>("offset");
    QTest::addColumn<int>("value");
    const int dst = offsetof(zarn::ChannelConfig, dst_channel);
    const int src = offsetof(zarn::ChannelConfig, src_channel);
    // Rows: main channels 1 and 2, device channels 4 and 5; loopback 1 and 2.
    QTest::newRow("device transmit to main output")
        << false << QPoint(0, 4) << QPoint(1, 2) << false << zarn::REQ_DEV_CONFIG_SET << 0 << dst
        << 1;
    QTest::newRow("main output to device transmit")
        << false << QPoint(1, 2) << QPoint(0, 4) << false << zarn::REQ_DEV_CONFIG_SET << 0 << dst
        << 1;
    QTest::newRow("main input to device receive") << false << QPoint(0, 1) << QPoint(1, 4) << false
                                                  << zarn::REQ_DEV_CONFIG_SET << 0 << src << 0;
    QTest::newRow("device receive to main input") << false << QPoint(1, 5) << QPoint(0, 2) << false
                                                  << zarn::REQ_DEV_CONFIG_SET << 1 << src << 1;
    QTest::newRow("loopback to main output") << true << QPoint(1, 1) << QPoint(0, 2) << false
                                             << zarn::REQ_LOOP_CONFIG_SET << 2 << src << 1;
    QTest::newRow("main output to loopback") << true << QPoint(0, 1) << QPoint(1, 2) << false
                                             << zarn::REQ_LOOP_CONFIG_SET << 3 << src << 0;
    QTest::newRow("device to device")
        << false << QPoint(0, 4) << QPoint(1, 5) << false << 0u << 0 << 0 << 0;
    QTest::newRow("same edge") << false << QPoint(0, 4) << QPoint(0, 1) << false << 0u << 0 << 0
                               << 0;
    QTest::newRow("far away") << false << QPoint(0, 4) << QPoint(9, 2) << false << 0u << 0 << 0
                              << 0;
    QTest::newRow("escape") << false << QPoint(0, 4) << QPoint(1, 2) << true << 0u << 0 << 0 << 0;
}

void TestRoutingWithDaemon::drag_sets_the_route_it_draws() {
    QFETCH(bool, loop);
    QFETCH(QPoint, from);
    QFETCH(QPoint, to);
    QFETCH(bool, escape);
    QFETCH(uint, code);
    QFETCH(int, strip);
    QFETCH(int, offset);
    QFETCH(int, value);

    zarn::sim::TestDaemon daemon(small_mixer());
    daemon_routes(daemon);
    RoutingRig rig(daemon.path());
    ZARNMainWindow &window = *rig.window;
    window.resize(1400, 900);
    window.show();
    QVERIFY(QTest::qWaitForWindowExposed(&window));
    ZARNConnect *panel = window.connect_panel;
    ZARNRoutePainter *painter =
        loop ? static_cast<ZARNRoutePainter *>(panel->loop_connections) : panel->dev_connections;
    zarn::ChannelConfig before{};
    if (code != 0)
        before = window.strips[strip]->channel_config;

    daemon.clear_requests();
    const QPoint start = end_at(painter, from.x(), from.y());
    const QPoint end =
        to.x() > 1 ? QPoint(painter->width() * 4, start.y()) : end_at(painter, to.x(), to.y());
    QTest::mousePress(painter, Qt::LeftButton, Qt::NoModifier, start);
    move_to(painter, (start + end) / 2);
    move_to(painter, end);
    if (escape)
        QTest::keyClick(painter, Qt::Key_Escape);
    QTest::mouseRelease(painter, Qt::LeftButton, Qt::NoModifier, end);

    const std::vector<zarn::sim::ReceivedRequest> sent = daemon.requests();
    std::size_t writes = 0;
    for (const auto &r : sent)
        writes += r.code == zarn::REQ_DEV_CONFIG_SET || r.code == zarn::REQ_LOOP_CONFIG_SET;
    QCOMPARE(writes, std::size_t(code != 0 ? 1 : 0));
    if (code == 0)
        return;
    QCOMPARE(sent.back().code, std::uint32_t(code));
    zarn::ChannelConfig expected = before;
    std::memcpy(reinterpret_cast<unsigned char *>(&expected) + offset, &value, sizeof value);
    QCOMPARE(sent.back().record.size(), sizeof expected);
    QCOMPARE(std::memcmp(sent.back().record.data(), &expected, sizeof expected), 0);
    // The strip shows the daemon's answer, and so does the line.
    QCOMPARE(window.strips[strip]->channel_config.src_channel, expected.src_channel);
    QCOMPARE(window.strips[strip]->channel_config.dst_channel, expected.dst_channel);
}

void TestRoutingWithDaemon::hover_tells_the_route() {
    zarn::sim::TestDaemon daemon(small_mixer());
    daemon_routes(daemon);
    RoutingRig rig(daemon.path());
    ZARNMainWindow &window = *rig.window;
    window.resize(1400, 900);
    window.show();
    QVERIFY(QTest::qWaitForWindowExposed(&window));
    ZARNDevConnections *dev = window.connect_panel->dev_connections;
    // On device channel 0's transmit end, and then in the middle of its line.
    const QPoint a = end_at(dev, 0, 4);
    const QPoint b = end_at(dev, 1, 1);
    QCOMPARE(dev->tell(a), QString::fromUtf8("dsp1 channel 0 \u2192 main output channel 0"));
    QCOMPARE(dev->tell((a + b) / 2),
             QString::fromUtf8("dsp1 channel 0 \u2192 main output channel 0"));
    QCOMPARE(dev->tell(QPoint(dev->width() / 2, 2 * dev->height())), QString());
    // A route to a channel that does not exist says so.
    window.strips[0]->dst_channel_box->setValue(5);
    QCOMPARE(dev->tell(a),
             QString::fromUtf8("dsp1 channel 0 \u2192 main output channel 5 (no such channel)"));
    // So do the strip's box and the end left on the painter, crossed out.
    QCOMPARE(window.strips[0]->dst_channel_box->suffix(), QString(" (none)"));
    QCOMPARE(window.strips[0]->src_channel_box->suffix(), QString());
    const QImage shot = dev->grab().toImage();
    const QColor cross = shot.pixelColor(3, a.y() + 3);
    QVERIFY2(cross.red() > 150 && cross.green() < 100, qPrintable(cross.name()));
    // The name field of the transmit end tells the same words as its end.
    QHelpEvent help(QEvent::ToolTip, QPoint(4, 4),
                    window.strips[0]->input_edit->mapToGlobal(QPoint(4, 4)));
    QApplication::sendEvent(window.strips[0]->input_edit, &help);
    QCOMPARE(QToolTip::text(), dev->tell(a));
    // A click on the row marks its strip for a moment.
    QTest::mouseClick(dev, Qt::LeftButton, Qt::NoModifier, a);
    QVERIFY(window.strips[0]->autoFillBackground());
    QTRY_VERIFY_WITH_TIMEOUT(!window.strips[0]->autoFillBackground(), 3000);
}

void TestRoutingWithDaemon::channel_names_are_kept_shown_and_stored() {
    QTemporaryDir config;
    const QByteArray suite_config = qgetenv("XDG_CONFIG_HOME");
    qputenv("XDG_CONFIG_HOME", QFile::encodeName(config.path()));
    zarn::sim::TestDaemon daemon(small_mixer());
    daemon_routes(daemon);
    const auto name = [](QLineEdit *edit, const QString &text) {
        edit->setText(text);
        QMetaObject::invokeMethod(edit, "editingFinished");
    };
    const QString route = QString::fromUtf8("dsp1 channel 0 \"Mic\" \u2192 main output channel 0 "
                                            "\"Speakers L\"");
    QByteArray file;
    {
        RoutingRig rig(daemon.path());
        ZARNMainWindow &window = *rig.window;
        window.resize(1400, 900);
        window.show();
        QVERIFY(QTest::qWaitForWindowExposed(&window));
        // Discovery order: device channels 0 and 1, loopback channels, three
        // monitors, then main output 0.
        ZARNController *dev = window.strips[0];
        ZARNController *out0 = window.strips[7];
        QCOMPARE(out0->kind, zarn::KIND_MAIN_OUTPUT);
        name(dev->output_edit, "  Mic ");
        name(out0->output_edit, "Speakers L");
        QCOMPARE(dev->input_edit->text(), QString("Mic"));
        QCOMPARE(dev->title(), QString::fromUtf8("dsp1 - Ch0 \u2013 Mic"));
        ZARNDevConnections *painter = window.connect_panel->dev_connections;
        QCOMPARE(painter->tell(end_at(painter, 0, 4)), route);

        QBuffer out(&file);
        QVERIFY(out.open(QIODevice::WriteOnly));
        std::vector<std::string> warnings;
        std::string error;
        QVERIFY2(
            zarn::state::store_setup(window.connection->fd, daemon.path(), out, warnings, error),
            error.c_str());
    }
    {
        // After a restart, the names are there again; an emptied field goes
        // back to the default and forgets the name.
        RoutingRig rig(daemon.path());
        ZARNController *dev = rig.window->strips[0];
        QCOMPARE(dev->output_edit->text(), QString("Mic"));
        QCOMPARE(dev->title(), QString::fromUtf8("dsp1 - Ch0 \u2013 Mic"));
        name(dev->input_edit, "");
        QCOMPARE(dev->output_edit->text(), QString("Channel 0"));
        QCOMPARE(dev->title(), QString("dsp1 - Ch0"));
        name(rig.window->strips[7]->output_edit, "Channel 0");
    }
    // The setup file carries both names, and loading it keeps them again.
    zarn::state::Setup setup;
    std::string error;
    QVERIFY2(zarn::state::decode_setup(file, setup, error), error.c_str());
    QStringList names;
    for (const zarn::state::TargetState &t : setup.targets)
        if (t.channel_name)
            names << QString::fromStdString(zarn::state::describe(t.target) + ": " +
                                            *t.channel_name);
    QCOMPARE(names, QStringList({"device 0 channel 0: Mic", "main output channel 0: Speakers L"}));
    {
        // Loaded while the panel runs, the names show at once.
        RoutingRig rig(daemon.path());
        zarn::state::keep_texts(setup, {}, daemon.path());
        QCOMPARE(rig.window->connect_panel->reload_names(), 2);
        QCOMPARE(rig.window->strips[0]->input_edit->text(), QString("Mic"));
        QCOMPARE(rig.window->strips[7]->title(),
                 QString::fromUtf8("Main Output - Ch0 \u2013 Speakers L"));
    }
    RoutingRig rig(daemon.path());
    rig.window->resize(1400, 900);
    rig.window->show();
    QVERIFY(QTest::qWaitForWindowExposed(rig.window));
    ZARNDevConnections *painter = rig.window->connect_panel->dev_connections;
    QCOMPARE(painter->tell(end_at(painter, 0, 4)), route);
    qputenv("XDG_CONFIG_HOME", suite_config);
}

QTEST_MAIN(TestRoutingWithDaemon)
#include "test_routing_with_daemon.moc"
