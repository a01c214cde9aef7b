// SPDX-License-Identifier: BSD-2-Clause

#include <QAccessible>
#include <QImage>
#include <QPainter>
#include <QTest>
#include <QToolTip>
#include <limits>

#include "ctl/transport.h"
#include "strip/zarn_controller.h"
#include "strip/zarn_volume_bar.h"
#include "support/window_fixture.h"

using fixture::as;
using fixture::with_code;
using zarn::sim::Engine;
using zarn::sim::TestDaemon;

namespace {

const QRgb SENTINEL = qRgb(1, 2, 3);
const QRgb BLACK = qRgb(0, 0, 0);
const QRgb SEPARATOR = qRgb(192, 192, 0);
const QRgb RED = qRgb(255, 0, 0);

QRgb segment(int k) {
    return qRgb(96 + 16 * k, 192 - 16 * k, 96);
}
QRgb tick_mark(int j) {
    return qRgb(192, 192, 192 - 16 * j);
}

// At a pixel ratio, as on a high-density screen: the image has ratio times
// the meter's pixels each way.
QImage paint(ZARNVolumeBar *bar, qreal ratio = 1.0) {
    QImage image(QSize(ZARNVolumeBar::WIDTH, ZARNVolumeBar::HEIGHT) * ratio, QImage::Format_RGB32);
    image.setDevicePixelRatio(ratio);
    image.fill(SENTINEL);
    QPainter painter(&image);
    bar->draw(painter);
    painter.end();
    return image;
}

// One pixel row as text: segment k as 'a' + k, tick mark j as '0' + j, black
// 'K', the separator '=', red 'R', untouched '.', anything else '?'.
QString row(const QImage &image, int y) {
    QString out;
    for (int x = 0; x < image.width(); ++x) {
        const QRgb p = image.pixel(x, y);
        QChar c = '?';
        for (int k = 0; k < 8; ++k) {
            if (p == segment(k))
                c = QChar('a' + k);
            if (p == tick_mark(k) && k > 0)
                c = QChar('0' + k);
        }
        out += p == BLACK       ? QChar('K')
               : p == SEPARATOR ? QChar('=')
               : p == SENTINEL  ? QChar('.')
               : p == RED       ? QChar('R')
                                : c;
    }
    return out;
}

// The row expected for a lit width: tick marks at every 16th column but the first.
QString lit_row(int lit) {
    QString out;
    for (int x = 0; x < 128; ++x)
        out += x % 16 == 0 && x > 0 ? QChar('0' + x / 16)
               : x < lit            ? QChar('a' + x / 16)
                                    : QChar('K');
    return out;
}

int count_pixels(const QImage &image, QRgb colour) {
    int n = 0;
    for (int y = 0; y < image.height(); ++y)
        for (int x = 0; x < image.width(); ++x)
            n += image.pixel(x, y) == colour;
    return n;
}

using Readings = QList<QPair<qint64, qint64>>;

zarn::sim::Topology one_of_each() {
    return zarn::sim::mixer({2}, {1}, 2, 0, 0, 3, 1);
}

void pin(zarn::sim::Meter &m, std::uint32_t bits, std::int64_t rx, std::int64_t tx) {
    m.pinned = true;
    m.sample_bits = bits;
    m.rx_level = rx;
    m.tx_level = tx;
}

} // namespace

class TestVolumeBar : public QObject {
    Q_OBJECT

private slots:
    void lit_width();
    void bar_pictures();
    void requests_carry_selectors_then_echo_reply();
    void one_request_per_tick();
    void watchdog_tick_paints_the_batched_answer();
    void failed_request_paints_background_only();
    void unknown_kind_paints_nothing();
    void dbfs_data();
    void dbfs();
    void peak_hold_data();
    void peak_hold();
    void marks_of_readings_that_fell_and_the_readout();
};

void TestVolumeBar::lit_width() {
    const std::int64_t max = std::numeric_limits<std::int64_t>::max();
    const std::int64_t min = std::numeric_limits<std::int64_t>::min();
    struct Row {
        std::int64_t level;
        unsigned bits;
        int lit;
    };
    // clang-format off
    const Row rows[] = {
        {1 << 7, 8, 128}, {1 << 15, 16, 128}, {1 << 23, 24, 128}, {std::int64_t{1} << 31, 32, 128},
        {0, 16, 0}, {255, 16, 0}, {256, 16, 1}, {511, 16, 1}, {512, 16, 2}, {32767, 16, 127},
        {1, 8, 1}, {127, 8, 127}, {65535, 16, 128},
        // Only the low byte of sample_bits counts: 0x118 is 24 bits.
        {1 << 16, 0x118, 1}, {1 << 16, 0xffffff18u, 1}, {(1 << 16) - 1, 0x118, 0},
        // Wider samples are shifted right, 64-bit ones by 32, before the threshold.
        {(std::int64_t{1} << 56) - 1, 64, 0}, {std::int64_t{1} << 56, 64, 1},
        {std::int64_t{1} << 62, 64, 64}, {std::int64_t{5} << 32, 40, 5},
        // From 96 bits a shift would pass the 64-bit width: nothing is lit.
        {max, 95, 0}, {max, 96, 0}, {std::int64_t{1} << 40, 96, 0}, {max, 255, 0},
        // A negative level counts as above full scale at every width.
        {-1, 8, 128}, {min, 16, 128}, {-1, 255, 128},
        // Levels too big to scale up are above full scale, never wrapped.
        {std::int64_t{1} << 48, 16, 128}, {std::int64_t{1} << 47, 16, 128}, {max, 16, 128},
        {max, 0, 128}, {1, 0, 128}};
    // clang-format on
    for (const Row &r : rows) {
        const int lit = ZARNVolumeBar::lit_width(r.level, r.bits);
        if (lit != r.lit)
            QFAIL(qPrintable(QStringLiteral("level %1 bits %2: %3, expected %4")
                                 .arg(r.level)
                                 .arg(r.bits)
                                 .arg(lit)
                                 .arg(r.lit)));
    }
}

void TestVolumeBar::bar_pictures() {
    TestDaemon d(one_of_each());
    // Full scale above, a lit width of 40 below; a main output lit 1 wide.
    d.with_engine([](Engine &e) {
        pin(e.devices[0].channels[1].meter, 24, std::int64_t{1} << 23, std::int64_t{40} << 16);
        pin(e.main_outputs[2], 16, 300, 0);
    });
    auto w = fixture::make_window(d.path());
    ZARNVolumeBar *bar = w->strips[1]->meter;
    QCOMPARE(bar->minimumSize(), QSize(128, 32));
    QCOMPARE(bar->maximumSize(), QSize(128, 32));
    w->tick = 1;
    QImage image = paint(bar);
    for (int y : {0, 7, 15})
        QCOMPARE(row(image, y), lit_row(128));
    QCOMPARE(row(image, 16), QString(128, '='));
    for (int y : {17, 24, 31})
        QCOMPARE(row(image, y), lit_row(40));
    // At pixel ratio 2, within the same tick: every pixel a block of 2 x 2
    // device pixels, no edge blended.
    QImage doubled = image.scaled(256, 64);
    doubled.setDevicePixelRatio(2.0);
    QCOMPARE(paint(bar, 2.0), doubled);

    // A single bar paints the upper half only.
    ZARNController *strip = w->strips[7];
    QCOMPARE(std::make_pair(strip->kind, strip->channel),
             std::make_pair(int(zarn::KIND_MAIN_OUTPUT), 2));
    QCOMPARE(strip->meter->minimumSize(), QSize(128, 32));
    image = paint(strip->meter);
    for (int y : {0, 8, 15})
        QCOMPARE(row(image, y), lit_row(1));
    QCOMPARE(count_pixels(image, SENTINEL), 128 * 16);
    QCOMPARE(row(image, 16), QString(128, '.'));
    // What the bar leaves is painted in the strip's colour, dark palettes too.
    QPalette dark = strip->meter->palette();
    dark.setColor(QPalette::Window, QColor(30, 32, 34));
    strip->meter->setPalette(dark);
    image.fill(SENTINEL);
    strip->meter->render(&image, QPoint(), QRegion(), QWidget::RenderFlags());
    QCOMPARE(QColor(image.pixel(64, 24)), QColor(30, 32, 34));
}

void TestVolumeBar::requests_carry_selectors_then_echo_reply() {
    TestDaemon d(one_of_each());
    d.with_engine([](Engine &e) {
        zarn::sim::Meter &m = e.devices[0].channels[1].meter;
        pin(m, 0x118, 7, 9);
        for (int i = 0; i < 32; ++i)
            m.reserved0[i] = static_cast<unsigned char>(0xa0 + i);
        m.reserved1[0] = 0x5a;
        m.reserved1[3] = 0xa5;
    });
    auto w = fixture::make_window(d.path());
    d.clear_requests();
    w->tick = 1;
    paint(w->strips[1]->meter);
    w->tick = 2;
    paint(w->strips[1]->meter);
    paint(w->strips[4]->meter); // input monitor 1
    paint(w->strips[7]->meter); // main output channel 2

    const auto peaks = with_code(d, zarn::REQ_DEV_PEAK);
    QCOMPARE(peaks.size(), std::size_t{2});
    std::vector<unsigned char> first(64, 0);
    first[4] = 1;
    QCOMPARE(peaks[0].record, first);
    // The second carries the first reply back, the daemon's bytes untouched.
    zarn::TargetPeak echo{0, 1, {}, 0x118u, {0x5a, 0, 0, 0xa5}, 7, 9};
    for (int i = 0; i < 32; ++i)
        echo.reserved0[i] = static_cast<unsigned char>(0xa0 + i);
    const auto *p = reinterpret_cast<const unsigned char *>(&echo);
    QCOMPARE(peaks[1].record, std::vector<unsigned char>(p, p + sizeof echo));

    std::vector<unsigned char> selector(16, 0);
    selector[0] = 1;
    QCOMPARE(d.count(zarn::REQ_INPUT_MON_PEAK), std::size_t{1});
    QCOMPARE(with_code(d, zarn::REQ_INPUT_MON_PEAK)[0].record, selector);
    selector[0] = 2;
    QCOMPARE(d.count(zarn::REQ_MAIN_OUTPUT_PEAK), std::size_t{1});
    QCOMPARE(with_code(d, zarn::REQ_MAIN_OUTPUT_PEAK)[0].record, selector);
}

void TestVolumeBar::one_request_per_tick() {
    TestDaemon d(one_of_each());
    d.with_engine([](Engine &e) { pin(e.loops[0].channels[0].meter, 16, 1 << 14, 1 << 13); });
    auto w = fixture::make_window(d.path());
    fixture::show_whole(*w);
    d.clear_requests();
    ZARNVolumeBar *bar = w->strips[2]->meter;
    QCOMPARE(w->strips[2]->kind, int(zarn::KIND_LOOP));

    // Before the first tick nothing is asked, and the bars are empty.
    QImage image = paint(bar);
    QCOMPARE(d.count(zarn::REQ_LOOP_PEAK), std::size_t{0});
    QCOMPARE(row(image, 0), lit_row(0));

    w->tick = 1;
    bar->repaint();
    bar->repaint();
    image = paint(bar);
    QCOMPARE(d.count(zarn::REQ_LOOP_PEAK), std::size_t{1});
    // The stored reading is drawn again without a request.
    QCOMPARE(row(image, 0), lit_row(64));
    QCOMPARE(row(image, 20), lit_row(32));

    w->tick = 2;
    paint(bar);
    bar->update();
    QApplication::processEvents();
    bar->repaint();
    QCOMPARE(d.count(zarn::REQ_LOOP_PEAK), std::size_t{2});
}

void TestVolumeBar::watchdog_tick_paints_the_batched_answer() {
    TestDaemon d(one_of_each());
    d.with_engine([](Engine &e) {
        pin(e.devices[0].channels[1].meter, 16, 1 << 15, 1 << 14);
        pin(e.loops[0].channels[0].meter, 16, 1 << 14, 1 << 13);
    });
    auto w = fixture::make_window(d.path());
    fixture::show_whole(*w);
    d.clear_requests();
    const unsigned long trips = zarn::ctl_round_trips();
    w->handle_watchdog();
    // The probe, then every meter's, compressor's and the locator's read and
    // the live view's fetches of one strip's two filters together.
    QCOMPARE(zarn::ctl_round_trips() - trips, 2ul);
    QCOMPARE(d.count(zarn::REQ_DEV_PEAK), std::size_t{2});
    QCOMPARE(d.count(zarn::REQ_LOOP_PEAK), std::size_t{1});
    // What the watchdog's repaint drew came from the batch: painting again in
    // the same tick asks nothing and shows the same answer.
    const QImage device = paint(w->strips[1]->meter);
    const QImage loop = paint(w->strips[2]->meter);
    QCOMPARE(row(device, 0), lit_row(128));
    QCOMPARE(row(device, 20), lit_row(64));
    QCOMPARE(row(loop, 0), lit_row(64));
    QCOMPARE(d.count(zarn::REQ_DEV_PEAK) + d.count(zarn::REQ_LOOP_PEAK), std::size_t{3});
}

void TestVolumeBar::failed_request_paints_background_only() {
    TestDaemon d(one_of_each());
    d.with_engine([](Engine &e) { pin(e.devices[0].channels[0].meter, 16, 1 << 15, 1 << 14); });
    auto w = fixture::make_window(d.path());
    ZARNVolumeBar *bar = w->strips[0]->meter;
    ZARNVolumeBar *monitor = w->strips[3]->meter;
    w->tick = 1;
    QCOMPARE(row(paint(bar), 0), lit_row(128));

    d.set_hook([](std::uint32_t code, unsigned char *, std::vector<double> &) {
        return fixture::is_peak(code) ? std::optional<int>(-1) : std::nullopt;
    });
    w->tick = 2;
    QImage image = paint(bar);
    QCOMPARE(count_pixels(image, BLACK), 128 * 32);
    image = paint(monitor);
    QCOMPARE(count_pixels(image, BLACK), 128 * 16);
    QCOMPARE(count_pixels(image, SENTINEL), 128 * 16);

    // Later paints in the same tick draw the reading kept from before.
    d.clear_hook();
    const std::size_t asked = d.count(zarn::REQ_DEV_PEAK);
    image = paint(bar);
    QCOMPARE(d.count(zarn::REQ_DEV_PEAK), asked);
    QCOMPARE(row(image, 0), lit_row(128));
    QCOMPARE(row(image, 20), lit_row(64));

    // A closed descriptor fails the same way.
    zarn::ctl_close(w->fd);
    w->fd = -1;
    w->tick = 3;
    QCOMPARE(count_pixels(paint(bar), BLACK), 128 * 32);
}

void TestVolumeBar::unknown_kind_paints_nothing() {
    TestDaemon d(one_of_each());
    auto w = fixture::make_window(d.path());
    d.clear_requests();
    for (int kind : {7, 0x100, -1}) {
        auto *bar = new ZARNVolumeBar(w->strips[0], kind, 0, 0);
        ++w->tick;
        QCOMPARE(count_pixels(paint(bar), SENTINEL), 128 * 32);
        delete bar;
    }
    QCOMPARE(d.requests().size(), std::size_t{0});
}

void TestVolumeBar::dbfs_data() {
    QTest::addColumn<qint64>("level");
    QTest::addColumn<uint>("bits");
    QTest::addColumn<QString>("text");
    QTest::addColumn<bool>("full");
    QTest::newRow("16-bit full scale") << (qint64{1} << 15) << 16u << "0.0" << true;
    QTest::newRow("24-bit full scale") << (qint64{1} << 23) << 24u << "0.0" << true;
    QTest::newRow("32-bit full scale") << (qint64{1} << 31) << 32u << "0.0" << true;
    QTest::newRow("16-bit half") << (qint64{1} << 14) << 16u << "-6.0" << false;
    QTest::newRow("24-bit half") << (qint64{1} << 22) << 24u << "-6.0" << false;
    QTest::newRow("32-bit half") << (qint64{1} << 30) << 32u << "-6.0" << false;
    QTest::newRow("16-bit zero") << qint64{0} << 16u << "-inf" << false;
    QTest::newRow("24-bit zero") << qint64{0} << 24u << "-inf" << false;
    QTest::newRow("32-bit zero") << qint64{0} << 32u << "-inf" << false;
    // The largest positive samples are where a clipping signal peaks; one
    // step lower is not.
    QTest::newRow("16-bit largest") << qint64{32767} << 16u << "0.0" << true;
    QTest::newRow("16-bit below largest") << qint64{32766} << 16u << "0.0" << false;
    QTest::newRow("24-bit largest") << qint64{8388607} << 24u << "0.0" << true;
    QTest::newRow("32-bit largest") << (qint64{1} << 31) - 1 << 32u << "0.0" << true;
    QTest::newRow("64-bit largest") << std::numeric_limits<qint64>::max() << 64u << "0.0" << true;
    QTest::newRow("8-bit over") << qint64{200} << 8u << "3.9" << true;
    QTest::newRow("negative") << qint64{-5} << 24u << "0.0" << true;
    QTest::newRow("64-bit shifted out") << (qint64{1} << 31) << 64u << "-inf" << false;
}

void TestVolumeBar::dbfs() {
    QFETCH(qint64, level);
    QFETCH(uint, bits);
    QFETCH(QString, text);
    QFETCH(bool, full);
    QCOMPARE(ZARNVolumeBar::dbfs_text(ZARNVolumeBar::normalised(level, bits)), text);
    QCOMPARE(ZARNVolumeBar::reaches_full_scale(level, bits), full);
}

void TestVolumeBar::peak_hold_data() {
    // Readings as (ms, level); what is held after the last, and the clip.
    QTest::addColumn<Readings>("readings");
    QTest::addColumn<qint64>("held");
    QTest::addColumn<bool>("clipped");
    const qint64 fs = qint64{1} << 31;
    QTest::newRow("none") << Readings{} << qint64{0} << false;
    QTest::newRow("rising") << Readings{{0, 5}, {100, 9}} << qint64{9} << false;
    QTest::newRow("fell within 2 s") << Readings{{0, 9}, {100, 3}, {1999, 2}} << qint64{9} << false;
    QTest::newRow("fell back after 2 s")
        << Readings{{0, 9}, {100, 3}, {2000, 2}} << qint64{3} << false;
    QTest::newRow("fell back to the next highest")
        << Readings{{0, 9}, {500, 7}, {1000, 3}, {2200, 1}} << qint64{7} << false;
    QTest::newRow("clip latched") << Readings{{0, fs}, {5000, 1}} << qint64{1} << true;
}

void TestVolumeBar::peak_hold() {
    QFETCH(Readings, readings);
    QFETCH(qint64, held);
    QFETCH(bool, clipped);
    ZARNPeakHold hold;
    for (const auto &[ms, level] : readings)
        hold.add(level, ms, level >= (qint64{1} << 31));
    QCOMPARE(qint64{hold.held()}, held);
    QCOMPARE(hold.clipped(), clipped);
    hold.clear_clip();
    QVERIFY(!hold.clipped());
}

void TestVolumeBar::marks_of_readings_that_fell_and_the_readout() {
    TestDaemon d(one_of_each());
    d.with_engine([](Engine &e) { pin(e.devices[0].channels[1].meter, 16, 1 << 15, 1 << 14); });
    auto w = fixture::make_window(d.path());
    ZARNVolumeBar *bar = w->strips[1]->meter;
    w->tick = 1;
    // A full bar covers its clip mark.
    QCOMPARE(row(paint(bar), 0), lit_row(128));
    QVERIFY(bar->clipped(0));

    // Lower readings: the clip mark at the right end above, the peak of the
    // last 2 s below.
    d.with_engine([](Engine &e) { pin(e.devices[0].channels[1].meter, 16, 1 << 13, 1 << 12); });
    w->tick = 2;
    QImage image = paint(bar);
    QString clipped = lit_row(32);
    clipped.replace(124, 4, QStringLiteral("RRRR"));
    QCOMPARE(row(image, 0), clipped);
    QString held = lit_row(16);
    held[63] = QChar('d');
    QCOMPARE(row(image, 20), held);
    QCOMPARE(row(image, 16), QString(128, '='));
    const QString readout = QStringLiteral("RX -12.0 dBFS, peak 0.0 dBFS\n"
                                           "TX -18.1 dBFS, peak -6.0 dBFS");
    QCOMPARE(bar->readout(), readout);
    QCOMPARE(QAccessible::queryAccessibleInterface(bar)->text(QAccessible::Description), readout);

    // The tip opened on the meter follows the next reading.
    fixture::show_whole(*w);
    QHelpEvent hover(QEvent::ToolTip, QPoint(5, 5), bar->mapToGlobal(QPoint(5, 5)));
    QApplication::sendEvent(bar, &hover);
    QTRY_VERIFY(QToolTip::text().startsWith(readout + QLatin1Char('\n')));
    QVERIFY(QToolTip::text().endsWith(bar->toolTip()));
    d.with_engine([](Engine &e) { pin(e.devices[0].channels[1].meter, 16, 0, 1 << 12); });
    w->tick = 3;
    paint(bar);
    QVERIFY2(QToolTip::text().startsWith(QStringLiteral("RX -inf dBFS, peak 0.0 dBFS\n")),
             qPrintable(QToolTip::text()));
    QToolTip::hideText();

    // A click clears the clip mark and uncovers the peak it hid; the held
    // peak below stays.
    QTest::mousePress(bar, Qt::LeftButton);
    QVERIFY(!bar->clipped(0));
    image = paint(bar);
    QString peak_only = lit_row(0);
    peak_only[127] = QChar('h');
    QCOMPARE(row(image, 0), peak_only);
    QCOMPARE(row(image, 20), held);
}

QTEST_MAIN(TestVolumeBar)
#include "test_volume_bar.moc"
