// SPDX-License-Identifier: BSD-2-Clause

#include <QCheckBox>
#include <QPainter>
#include <QSpinBox>
#include <QtTest>
#include <climits>
#include <iterator>
#include <random>

#include "routing/route_picture.h"
#include "support/routing_rig.h"

namespace {

// Pixel on the straight part of a route, a fraction t of the way from one
// stub's end to the other's.
QRgb on_line(const QImage &image, QPoint from, QPoint to, double t) {
    return image.pixel(qRound(from.x() + (to.x() - from.x()) * t),
                       qRound(from.y() + (to.y() - from.y()) * t));
}

bool is_light(QRgb c) {
    return qRed(c) > 235 && qGreen(c) > 235 && qBlue(c) > 235;
}

// Area of the half-disc an end circle leaves on one edge of a painter, with
// a pixel of room for its antialiased rim and for rounding of the row middle.
QRect half_disc(const QImage &image, int side, int y) {
    return side == 0 ? QRect(0, y - 10, 10, 21) : QRect(image.width() - 10, y - 10, 10, 21);
}

int count_outside(const QImage &image, const QList<QRect> &areas) {
    int n = 0;
    for (int y = 0; y < image.height(); y++) {
        for (int x = 0; x < image.width(); x++) {
            bool inside = false;
            for (const QRect &area : areas)
                inside = inside || area.contains(x, y);
            if (!inside && !is_white(image.pixel(x, y)))
                n++;
        }
    }
    return n;
}

} // namespace

// The two route painters, checked on the pixels they render.
class TestConnectionPainting : public QObject {
    Q_OBJECT

private slots:
    void route_to_a_missing_main_channel_keeps_only_its_valid_end();
    void muted_route_lies_grey_and_dotted_under_active_ones();
    void output_monitor_on_one_channel_is_a_thick_stub();
    void loopback_source_past_the_grid_is_clipped();
    void loopback_records_a_main_output_channel();
    void targets_without_routes_leave_the_painters_white();
    void strip_change_without_daemon_keeps_the_route();
    void kept_picture_matches_a_full_redraw();
    void route_changes_repaint_only_their_rows();
};

void TestConnectionPainting::route_to_a_missing_main_channel_keeps_only_its_valid_end() {
    for (int dst_channel : {2, -1, INT_MAX}) {
        RoutingRig rig;
        rig.add_main(2, 2);
        ZARNController *dev = rig.add_device(0, 0, "pcm");
        dev->channel_config.dst_channel = dst_channel;
        // The receive route's source is missing as well, so it leaves only
        // its half-disc on the right edge at the device's row.
        dev->channel_config.src_channel = 7;
        QVERIFY(rig.build());

        ZARNDevConnections *painter = rig.panel->dev_connections;
        const QImage image = render(painter);
        const int y = rig.row_y(dev->connect_row, painter);
        QVERIFY(count(image, half_disc(image, 0, y), is_dark) > 40);
        QVERIFY(count(image, half_disc(image, 1, y), is_dark) > 40);
        // A disc, not the start of a stub: dark above and below the row, and
        // nothing just past the circle.
        QVERIFY(is_dark(image.pixel(2, y - 6)) && is_dark(image.pixel(2, y + 6)));
        QVERIFY(is_white(image.pixel(11, y)));
        QCOMPARE(count_outside(image, {half_disc(image, 0, y), half_disc(image, 1, y)}), 0);
    }
}

void TestConnectionPainting::muted_route_lies_grey_and_dotted_under_active_ones() {
    RoutingRig rig;
    rig.add_main(2, 2);
    ZARNController *dev = rig.add_device(0, 0, "pcm");
    dev->channel_config.src_channel = 0;
    dev->channel_config.rx_mute = 0;
    dev->channel_config.dst_channel = 5;
    // The monitor comes after the device in the table, so only the passes can
    // put the device's active route on top of it.
    ZARNController *monitor = rig.add(zarn::KIND_INPUT_MONITOR, 0, 0);
    monitor->monitor_config.src_channel = 0;
    monitor->monitor_config.dst_channel = 1;
    monitor->monitor_config.mute = 1;
    QVERIFY(rig.build());

    ZARNDevConnections *painter = rig.panel->dev_connections;
    const QImage image = render(painter);
    const int w = image.width();
    const int in0 = rig.row_y(1, painter);
    const int out1 = rig.row_y(2, painter);
    const int dev_y = rig.row_y(dev->connect_row, painter);

    // The shared end at main input 0 is black all through.
    QCOMPARE(count(image, QRect(0, in0 - 4, 5, 9), is_dark), 5 * 9);
    // The monitor's own end is grey.
    QCOMPARE(count(image, QRect(w - 4, out1 - 3, 4, 7), is_grey), 4 * 7);

    int grey = 0, light = 0, dark = 0, samples = 0;
    for (double t = 0.4; t <= 0.95; t += 0.01) {
        const QRgb muted = on_line(image, QPoint(16, in0), QPoint(w - 16, out1), t);
        grey += is_grey(muted);
        light += is_light(muted);
        dark += is_dark(on_line(image, QPoint(16, in0), QPoint(w - 16, dev_y), t));
        samples++;
    }
    QVERIFY2(grey > samples / 4, qPrintable(QString("grey %1 of %2").arg(grey).arg(samples)));
    QVERIFY2(light > samples / 8, qPrintable(QString("gaps %1 of %2").arg(light).arg(samples)));
    QCOMPARE(dark, samples);
}

void TestConnectionPainting::output_monitor_on_one_channel_is_a_thick_stub() {
    RoutingRig rig;
    rig.add_main(2, 2);
    ZARNController *monitor = rig.add(zarn::KIND_OUTPUT_MONITOR, 0, 0);
    monitor->monitor_config.src_channel = 1;
    monitor->monitor_config.dst_channel = 1;
    QVERIFY(rig.build());

    ZARNDevConnections *painter = rig.panel->dev_connections;
    const QImage image = render(painter);
    const int w = image.width();
    const int y = rig.row_y(2, painter);

    // An 8-pixel pen: dark 3 pixels off the axis, where a 4-pixel one is not.
    for (int x : {w - 15, w - 12, w - 9})
        QVERIFY(is_dark(image.pixel(x, y)) && is_dark(image.pixel(x, y - 3)) &&
                is_dark(image.pixel(x, y + 3)) && is_white(image.pixel(x, y + 6)));
    // The half-disc on the edge reaches further from the axis than the pen.
    QVERIFY(is_dark(image.pixel(w - 3, y + 6)) && is_dark(image.pixel(w - 3, y - 6)));
    // Sixteen pixels and a round cap, nothing further in.
    QCOMPARE(count_outside(image, {QRect(w - 22, y - 10, 22, 21)}), 0);
}

void TestConnectionPainting::loopback_source_past_the_grid_is_clipped() {
    // Only main output channels have rows a loopback may record from: any
    // other source, even one whose row number a device row has, lies past
    // the grid, above the painter.
    const int sources[] = {40, INT_MAX, 2, 3, -1, -2, INT_MIN};
    QImage pictures[std::size(sources)];
    for (std::size_t i = 0; i < std::size(sources); i++) {
        RoutingRig rig;
        rig.add_main(2, 2);
        ZARNController *dev = rig.add_device(0, 0, "pcm");
        dev->channel_config.rx_mute = 1;
        dev->channel_config.tx_mute = 1;
        ZARNController *loop = rig.add_loop(0, 0, "rec");
        loop->channel_config.src_channel = sources[i];
        QVERIFY(rig.build());
        QCOMPARE(dev->connect_row, 4);

        ZARNLoopConnections *painter = rig.panel->loop_connections;
        const QImage image = render(painter);
        const int w = image.width();
        const int y = rig.row_y(loop->connect_row, painter);

        QVERIFY(count(image, half_disc(image, 1, y), is_dark) > 40);
        // No end on the left edge anywhere; the line enters from above.
        QCOMPARE(count(image, QRect(0, 0, 8, image.height()), [](QRgb c) { return !is_white(c); }),
                 0);
        QVERIFY(count(image, QRect(16, 0, w - 32, 2), is_dark) > 0);
        pictures[i] = image;
    }
    for (const QImage &picture : pictures)
        QCOMPARE(picture, pictures[0]);
}

void TestConnectionPainting::loopback_records_a_main_output_channel() {
    RoutingRig rig;
    rig.add_main(2, 2);
    ZARNController *loop = rig.add_loop(0, 0, "rec");
    loop->channel_config.src_channel = 1;
    ZARNController *muted = rig.add_loop(1, 0, "rec");
    muted->channel_config.src_channel = 0;
    muted->channel_config.rx_mute = 1;
    QVERIFY(rig.build());

    ZARNLoopConnections *painter = rig.panel->loop_connections;
    const QImage image = render(painter);
    const int out0 = rig.row_y(1, painter);
    const int out1 = rig.row_y(2, painter);

    QVERIFY(count(image, half_disc(image, 0, out1), is_dark) > 40);
    QVERIFY(count(image, half_disc(image, 1, rig.row_y(loop->connect_row, painter)), is_dark) > 40);
    QVERIFY(count(image, QRect(0, out0 - 3, 4, 7), is_grey) == 4 * 7);
}

void TestConnectionPainting::targets_without_routes_leave_the_painters_white() {
    RoutingRig rig;
    rig.add_main(2, 2);
    ZARNController *local = rig.add(zarn::KIND_LOCAL_MONITOR, 0, 0);
    local->monitor_config.src_channel = 0;
    local->monitor_config.dst_channel = 1;
    QVERIFY(rig.build());

    QVERIFY(all_white(render(rig.panel->dev_connections)));
    QVERIFY(all_white(render(rig.panel->loop_connections)));
}

void TestConnectionPainting::strip_change_without_daemon_keeps_the_route() {
    RoutingRig rig;
    rig.add_main(2, 2);
    // With no daemon the record stays as preset: both routes go between
    // main channel 0 and the device, unmuted.
    ZARNController *dev = rig.add_device(0, 0, "pcm");
    QVERIFY(rig.build());

    ZARNDevConnections *painter = rig.panel->dev_connections;
    const int w = painter->width();
    const QRect out0(w - 4, rig.row_y(1, painter) - 3, 4, 7);
    QCOMPARE(count(render(painter), out0, is_dark), 4 * 7);

    // Nothing could be read or sent, so the change is undone and the route
    // keeps what the record says.
    dev->tx_mute_box->setChecked(true);
    dev->dst_channel_box->setValue(1);
    QCOMPARE(std::make_pair(dev->tx_mute_box->isChecked(), dev->dst_channel_box->value()),
             std::make_pair(false, 0));
    QCOMPARE(std::make_pair(dev->channel_config.tx_mute, dev->channel_config.dst_channel),
             std::make_pair(0, 0));
    QCOMPARE(count(render(painter), out0, is_dark), 4 * 7);
}

namespace {

// Devices, loopbacks and monitors over 6 main inputs and 8 main outputs.
void add_busy_mixer(RoutingRig &rig) {
    rig.add_main(6, 8);
    for (int d = 0; d < 4; d++)
        for (int c = 0; c < 3; c++)
            rig.add_device(c, d, "dev");
    for (int l = 0; l < 2; l++)
        for (int c = 0; c < 3; c++)
            rig.add_loop(c, l, "loop");
    for (int m = 0; m < 3; m++) {
        rig.add(zarn::KIND_INPUT_MONITOR, 0, m);
        rig.add(zarn::KIND_OUTPUT_MONITOR, 0, m);
    }
}

// Compares a kept picture with one drawn afresh: the largest difference in
// any colour channel, how many pixels differ, and how many of those are not
// on an antialiased edge (all their neighbours alike when drawn afresh).
struct Difference {
    int largest = 0;
    int pixels = 0;
    int inside = 0;
};

Difference compare_images(const QImage &kept_image, const QImage &full_image) {
    const QImage kept = kept_image.convertToFormat(QImage::Format_ARGB32);
    const QImage full = full_image.convertToFormat(QImage::Format_ARGB32);
    Difference d;
    if (kept.size() != full.size()) {
        d.largest = 256;
        return d;
    }
    for (int y = 0; y < full.height(); y++)
        for (int x = 0; x < full.width(); x++) {
            const QRgb a = kept.pixel(x, y);
            const QRgb b = full.pixel(x, y);
            const int diff = std::max({qAbs(qRed(a) - qRed(b)), qAbs(qGreen(a) - qGreen(b)),
                                       qAbs(qBlue(a) - qBlue(b)), qAbs(qAlpha(a) - qAlpha(b))});
            if (diff == 0)
                continue;
            d.largest = std::max(d.largest, diff);
            d.pixels++;
            bool uniform = true;
            for (int ny = std::max(0, y - 1); ny <= std::min(full.height() - 1, y + 1); ny++)
                for (int nx = std::max(0, x - 1); nx <= std::min(full.width() - 1, x + 1); nx++)
                    uniform = uniform && full.pixel(nx, ny) == b;
            if (uniform)
                d.inside++;
        }
    return d;
}

template <typename Painter> Difference compare_with_full_redraw(Painter *painter) {
    QImage full(painter->size(), QImage::Format_ARGB32_Premultiplied);
    painter->draw(&full);
    return compare_images(painter->picture(), full);
}

} // namespace

void TestConnectionPainting::kept_picture_matches_a_full_redraw() {
    RoutingRig rig;
    add_busy_mixer(rig);
    QVERIFY(rig.build());
    std::vector<ZARNController *> routed;
    for (ZARNController *s : rig.window->strips)
        if (s && s->kind != zarn::KIND_MAIN_INPUT && s->kind != zarn::KIND_MAIN_OUTPUT)
            routed.push_back(s);

    std::mt19937 random(15);
    const auto pick = [&](int lo, int hi) {
        return std::uniform_int_distribution<int>(lo, hi)(random);
    };
    // The same routes kept at the pixel ratios of high-density screens.
    zarn::RoutePicture dense[2];
    const qreal ratios[2] = {2.0, 1.5};
    Difference total;
    Difference scaled;
    int kept_bands = 0;
    for (int step = 0; step < 400; step++) {
        // One strip's route moves, mutes or unmutes; now and then two strips
        // change before the painters look.
        for (int changes = step % 7 == 0 ? 2 : 1; changes > 0; changes--) {
            ZARNController *s = routed[static_cast<std::size_t>(pick(0, int(routed.size()) - 1))];
            const bool monitor =
                s->kind == zarn::KIND_INPUT_MONITOR || s->kind == zarn::KIND_OUTPUT_MONITOR;
            std::int32_t *fields[3] = {
                monitor ? &s->monitor_config.src_channel : &s->channel_config.src_channel,
                monitor ? &s->monitor_config.dst_channel : &s->channel_config.dst_channel,
                monitor ? &s->monitor_config.mute
                        : (pick(0, 1) ? &s->channel_config.rx_mute : &s->channel_config.tx_mute)};
            const int which = pick(0, 2);
            *fields[which] = which == 2 ? pick(0, 4) / 2 : pick(-1, 9);
        }
        if (step % 2 == 0)
            rig.panel->refresh_routes();
        const Difference dev = compare_with_full_redraw(rig.panel->dev_connections);
        const Difference loop = compare_with_full_redraw(rig.panel->loop_connections);
        total.largest = std::max({total.largest, dev.largest, loop.largest});
        total.pixels += dev.pixels + loop.pixels;
        total.inside += dev.inside + loop.inside;
        if (step % 25 == 0 || step == 399) {
            const std::vector<zarn::Route> routes = rig.panel->dev_connections->routes();
            const QSize size = rig.panel->dev_connections->size();
            for (int r = 0; r < 2; r++) {
                dense[r].update(routes, size, ratios[r]);
                QImage full(size * ratios[r], QImage::Format_ARGB32_Premultiplied);
                full.setDevicePixelRatio(ratios[r]);
                full.fill(Qt::white);
                QPainter painter(&full);
                painter.setRenderHint(QPainter::Antialiasing, true);
                zarn::draw_routes(&painter, routes, QRect(QPoint(0, 0), size));
                painter.end();
                const Difference d = compare_images(dense[r].image(), full);
                scaled.largest = std::max(scaled.largest, d.largest);
                scaled.pixels += d.pixels;
                scaled.inside += d.inside;
            }
        }
        kept_bands++;
    }
    qInfo("%d steps: %d pixels differ from a full redraw, by at most %d, %d of them not on an "
          "antialiased edge",
          kept_bands, total.pixels, total.largest, total.inside);
    qInfo("at pixel ratios 2 and 1.5: %d pixels differ, by at most %d, %d of them not on an "
          "antialiased edge",
          scaled.pixels, scaled.largest, scaled.inside);
    QVERIFY2(total.largest <= 1, qPrintable(QString::number(total.largest)));
    QCOMPARE(total.inside, 0);
    QVERIFY2(scaled.largest <= 1, qPrintable(QString::number(scaled.largest)));
    QCOMPARE(scaled.inside, 0);
}

// Captures the areas a widget is asked to repaint.
class PaintAreas : public QObject {
public:
    QVector<QRect> areas;

protected:
    bool eventFilter(QObject *, QEvent *event) override {
        if (event->type() == QEvent::Paint)
            areas << static_cast<QPaintEvent *>(event)->rect();
        return false;
    }
};

void TestConnectionPainting::route_changes_repaint_only_their_rows() {
    RoutingRig rig;
    add_busy_mixer(rig);
    QVERIFY(rig.build());
    ZARNDevConnections *painter = rig.panel->dev_connections;
    ZARNController *dev = rig.window->strips[14]; // device 0, channel 0
    QCOMPARE(dev->kind, int(zarn::KIND_DEVICE));
    QApplication::processEvents();
    PaintAreas seen;
    painter->installEventFilter(&seen);
    rig.panel->loop_connections->installEventFilter(&seen);

    // Gain, delay and polarity move no route: nothing is repainted.
    dev->channel_config.rx_amp += 3;
    dev->channel_config.delay = 480;
    dev->channel_config.rx_polarity ^= 1;
    rig.panel->refresh_routes();
    QTest::qWait(50);
    QCOMPARE(seen.areas.size(), 0);

    // Main output 0 to 1: the band of rows from output 0 to the device row.
    dev->channel_config.dst_channel = 1;
    rig.panel->refresh_routes();
    QTRY_COMPARE(seen.areas.size(), 1);
    const QRect band = seen.areas[0];
    const int out0 = rig.row_y(1, painter);
    const int row = rig.row_y(dev->connect_row, painter);
    QVERIFY2(band.top() <= out0 - 8 && band.bottom() >= row + 8 && band.top() >= out0 - 12 &&
                 band.bottom() <= row + 12 && band.width() == painter->width(),
             qPrintable(QStringLiteral("%1 %2 %3").arg(band.top()).arg(band.bottom()).arg(row)));
    QVERIFY(band.height() < painter->height() / 2);

    // A repaint of the unchanged painter comes from the kept picture.
    const QImage before = painter->picture();
    painter->repaint();
    QVERIFY(painter->picture().constBits() == before.constBits());
    QCOMPARE(compare_with_full_redraw(painter).largest, 0);
}

QTEST_MAIN(TestConnectionPainting)
#include "test_connection_painting.moc"
