#include <QImage>
#include <QPainter>
#include <QTest>
#include <limits>

#include "../app/window_fixture.h"
#include "strip/zarn_controller.h"
#include "strip/zarn_volume_bar.h"

using fixture::as;
using fixture::with_code;
using zarn::sim::Engine;
using zarn::sim::TestDaemon;

namespace {

const QRgb SENTINEL = qRgb(1, 2, 3);
const QRgb BLACK = qRgb(0, 0, 0);
const QRgb SEPARATOR = qRgb(192, 192, 0);

QRgb segment(int k) {
    return qRgb(96 + 16 * k, 192 - 16 * k, 96);
}
QRgb tick_mark(int j) {
    return qRgb(192, 192, 192 - 16 * j);
}

QImage paint(ZARNVolumeBar *bar) {
    QImage image(ZARNVolumeBar::WIDTH, ZARNVolumeBar::HEIGHT, QImage::Format_RGB32);
    image.fill(SENTINEL);
    QPainter painter(&image);
    bar->draw(painter);
    painter.end();
    return image;
}

bool is_segment(QRgb pixel) {
    for (int k = 0; k < 8; ++k)
        if (pixel == segment(k))
            return true;
    return false;
}

// Lit width seen in one row: one past the rightmost segment-coloured pixel.
// (A tick mark hides the column it covers, so widths of 16k + 1 read as 16k.)
int lit_run(const QImage &image, int y) {
    int n = 0;
    for (int x = 0; x < image.width(); ++x)
        if (is_segment(image.pixel(x, y)))
            n = x + 1;
    return n;
}

int count_pixels(const QImage &image, QRgb colour) {
    int n = 0;
    for (int y = 0; y < image.height(); ++y)
        for (int x = 0; x < image.width(); ++x)
            n += image.pixel(x, y) == colour;
    return n;
}

zarn::sim::Topology one_of_each() {
    zarn::sim::Topology t = fixture::empty_topology();
    t.device_channels = {2};
    t.loop_channels = {1};
    t.input_monitors = 2;
    t.main_output_channels = 3;
    t.main_input_channels = 1;
    return t;
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
    void lit_width_scaling();
    void lit_width_faults();
    void two_bar_picture();
    void single_bar_paints_upper_half_only();
    void requests_carry_selectors_then_echo_reply();
    void one_request_per_tick();
    void failed_request_paints_background_only();
    void strip_shows_under_a_single_bar();
    void unknown_kind_paints_nothing();
};

void TestVolumeBar::lit_width_scaling() {
    for (unsigned b : {8u, 16u, 24u, 32u})
        QCOMPARE(ZARNVolumeBar::lit_width(std::int64_t{1} << (b - 1), b), 128);
    QCOMPARE(ZARNVolumeBar::lit_width(0, 16), 0);
    QCOMPARE(ZARNVolumeBar::lit_width(255, 16), 0);
    QCOMPARE(ZARNVolumeBar::lit_width(256, 16), 1);
    QCOMPARE(ZARNVolumeBar::lit_width(511, 16), 1);
    QCOMPARE(ZARNVolumeBar::lit_width(512, 16), 2);
    QCOMPARE(ZARNVolumeBar::lit_width(32767, 16), 127);
    QCOMPARE(ZARNVolumeBar::lit_width(1, 8), 1);
    QCOMPARE(ZARNVolumeBar::lit_width(127, 8), 127);
    QCOMPARE(ZARNVolumeBar::lit_width(65535, 16), 128);
    // Only the low byte of sample_bits counts: 0x118 is 24 bits.
    QCOMPARE(ZARNVolumeBar::lit_width(1 << 16, 0x118), 1);
    QCOMPARE(ZARNVolumeBar::lit_width(1 << 16, 0xffffff18u), 1);
    QCOMPARE(ZARNVolumeBar::lit_width((1 << 16) - 1, 0x118), 0);
    // Wider samples are shifted right, 64-bit ones by 32, before the threshold.
    QCOMPARE(ZARNVolumeBar::lit_width((std::int64_t{1} << 56) - 1, 64), 0);
    QCOMPARE(ZARNVolumeBar::lit_width(std::int64_t{1} << 56, 64), 1);
    QCOMPARE(ZARNVolumeBar::lit_width(std::int64_t{1} << 62, 64), 64);
    QCOMPARE(ZARNVolumeBar::lit_width(std::int64_t{5} << 32, 40), 5);
}

void TestVolumeBar::lit_width_faults() {
    const std::int64_t max = std::numeric_limits<std::int64_t>::max();
    const std::int64_t min = std::numeric_limits<std::int64_t>::min();
    // From 96 bits on a shift would pass the 64-bit width: nothing is lit for
    // any non-negative level.
    for (unsigned b : {95u, 96u, 97u, 200u, 255u}) {
        QCOMPARE(ZARNVolumeBar::lit_width(max, b), 0);
        QCOMPARE(ZARNVolumeBar::lit_width(std::int64_t{1} << 40, b), 0);
    }
    // A negative level counts as above full scale at every width.
    for (unsigned b : {8u, 16u, 24u, 32u, 64u, 96u, 255u}) {
        QCOMPARE(ZARNVolumeBar::lit_width(-1, b), 128);
        QCOMPARE(ZARNVolumeBar::lit_width(min, b), 128);
    }
    // Levels too big to scale up are above full scale, never wrapped: 2^48 at
    // 16 bits would wrap to 0 and 2^47 to a negative number.
    QCOMPARE(ZARNVolumeBar::lit_width(std::int64_t{1} << 48, 16), 128);
    QCOMPARE(ZARNVolumeBar::lit_width(std::int64_t{1} << 47, 16), 128);
    QCOMPARE(ZARNVolumeBar::lit_width(max, 16), 128);
    QCOMPARE(ZARNVolumeBar::lit_width(max, 0), 128);
    QCOMPARE(ZARNVolumeBar::lit_width(1, 0), 128);
    QCOMPARE(ZARNVolumeBar::lit_width(max >> 16, 16), 128);
}

void TestVolumeBar::two_bar_picture() {
    TestDaemon d(one_of_each());
    // Full scale above, a lit width of 40 below.
    d.with_engine([](Engine &e) {
        pin(e.devices[0].channels[1].meter, 24, std::int64_t{1} << 23, std::int64_t{40} << 16);
    });
    auto w = fixture::make_window(d.path());
    ZARNVolumeBar *bar = w->strips[1]->meter;
    QCOMPARE(bar->minimumSize(), QSize(128, 32));
    QCOMPARE(bar->maximumSize(), QSize(128, 32));
    w->tick = 1;
    const QImage image = paint(bar);

    for (int y : {0, 7, 15}) {
        for (int k = 0; k < 8; ++k) {
            QCOMPARE(image.pixel(16 * k + 1, y), segment(k));
            QCOMPARE(image.pixel(16 * k + 15, y), segment(k));
        }
        QCOMPARE(image.pixel(0, y), segment(0));
        for (int j = 1; j < 8; ++j)
            QCOMPARE(image.pixel(16 * j, y), tick_mark(j));
    }
    for (int x = 0; x < 128; ++x)
        QCOMPARE(image.pixel(x, 16), SEPARATOR);
    for (int y : {17, 24, 31}) {
        QCOMPARE(image.pixel(0, y), segment(0));
        QCOMPARE(image.pixel(15, y), segment(0));
        QCOMPARE(image.pixel(16, y), tick_mark(1));
        QCOMPARE(image.pixel(31, y), segment(1));
        QCOMPARE(image.pixel(32, y), tick_mark(2));
        QCOMPARE(image.pixel(33, y), segment(2));
        QCOMPARE(image.pixel(39, y), segment(2));
        QCOMPARE(image.pixel(40, y), BLACK);
        QCOMPARE(image.pixel(47, y), BLACK);
        QCOMPARE(image.pixel(48, y), tick_mark(3));
        QCOMPARE(image.pixel(112, y), tick_mark(7));
        QCOMPARE(image.pixel(127, y), BLACK);
    }
    QCOMPARE(count_pixels(image, SENTINEL), 0);
}

void TestVolumeBar::single_bar_paints_upper_half_only() {
    TestDaemon d(one_of_each());
    d.with_engine([](Engine &e) { pin(e.main_outputs[2], 16, 300, 0); });
    auto w = fixture::make_window(d.path());
    ZARNController *strip = w->strips[7];
    QCOMPARE(strip->kind, int(zarn::KIND_MAIN_OUTPUT));
    QCOMPARE(strip->channel, 2);
    QCOMPARE(strip->meter->minimumSize(), QSize(128, 32));
    w->tick = 1;
    const QImage image = paint(strip->meter);
    QCOMPARE(lit_run(image, 0), 1);
    QCOMPARE(image.pixel(0, 15), segment(0));
    QCOMPARE(image.pixel(1, 15), BLACK);
    QCOMPARE(image.pixel(16, 15), tick_mark(1));
    QCOMPARE(image.pixel(16, 8), tick_mark(1));
    QCOMPARE(count_pixels(image, SENTINEL), 128 * 16);
    for (int x = 0; x < 128; ++x)
        QCOMPARE(image.pixel(x, 16), SENTINEL);
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
    const auto second = as<zarn::TargetPeak>(peaks[1]);
    QCOMPARE(second.number, 0);
    QCOMPARE(second.channel, 1);
    for (int i = 0; i < 32; ++i)
        QCOMPARE(int(second.reserved0[i]), 0xa0 + i);
    QCOMPARE(int(second.reserved1[0]), 0x5a);
    QCOMPARE(int(second.reserved1[3]), 0xa5);
    QCOMPARE(second.sample_bits, 0x118u);
    QCOMPARE(second.rx_level, std::int64_t{7});
    QCOMPARE(second.tx_level, std::int64_t{9});

    const auto monitor = with_code(d, zarn::REQ_INPUT_MON_PEAK);
    QCOMPARE(monitor.size(), std::size_t{1});
    QCOMPARE(monitor[0].record,
             (std::vector<unsigned char>{1, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0}));
    const auto main = with_code(d, zarn::REQ_MAIN_OUTPUT_PEAK);
    QCOMPARE(main.size(), std::size_t{1});
    QCOMPARE(main[0].record,
             (std::vector<unsigned char>{2, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0}));
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
    QCOMPARE(lit_run(image, 0), 0);
    QCOMPARE(image.pixel(16, 0), tick_mark(1));

    w->tick = 1;
    bar->repaint();
    bar->repaint();
    image = paint(bar);
    QCOMPARE(d.count(zarn::REQ_LOOP_PEAK), std::size_t{1});
    // The stored reading is drawn again without a request.
    QCOMPARE(lit_run(image, 0), 64);
    QCOMPARE(lit_run(image, 20), 32);
    QCOMPARE(image.pixel(16, 20), tick_mark(1));

    w->tick = 2;
    paint(bar);
    bar->update();
    QApplication::processEvents();
    bar->repaint();
    QCOMPARE(d.count(zarn::REQ_LOOP_PEAK), std::size_t{2});
}

void TestVolumeBar::failed_request_paints_background_only() {
    TestDaemon d(one_of_each());
    d.with_engine([](Engine &e) { pin(e.devices[0].channels[0].meter, 16, 1 << 15, 1 << 14); });
    auto w = fixture::make_window(d.path());
    ZARNVolumeBar *bar = w->strips[0]->meter;
    ZARNVolumeBar *monitor = w->strips[3]->meter;
    w->tick = 1;
    QCOMPARE(lit_run(paint(bar), 0), 128);

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
    QCOMPARE(lit_run(image, 0), 128);
    QCOMPARE(lit_run(image, 20), 64);
    QCOMPARE(image.pixel(127, 0), segment(7));

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

void TestVolumeBar::strip_shows_under_a_single_bar() {
    TestDaemon d(one_of_each());
    d.with_engine([](Engine &e) {
        pin(e.main_inputs[0], 16, 1 << 15, 0);
        pin(e.devices[0].channels[0].meter, 16, 1 << 15, 0);
    });
    auto w = fixture::make_window(d.path());
    fixture::show_whole(*w);
    w->tick = 1;

    // Main input: only a meter, aligned left; the strip's own background is
    // what shows under the bar and to its right.
    ZARNController *single = w->strips[8];
    QCOMPARE(single->kind, int(zarn::KIND_MAIN_INPUT));
    QImage image = single->grab().toImage();
    QPoint origin = single->meter->mapTo(single, QPoint(0, 0));
    QCOMPARE(image.pixel(origin + QPoint(60, 8)), segment(3));
    const QRgb beside = image.pixel(origin + QPoint(128 + 4, 24));
    QVERIFY(beside != BLACK);
    QCOMPARE(image.pixel(origin + QPoint(60, 24)), beside);
    QCOMPARE(image.pixel(origin + QPoint(16, 24)), beside);

    // A device meter covers its whole area.
    ZARNController *two = w->strips[0];
    image = two->grab().toImage();
    origin = two->meter->mapTo(two, QPoint(0, 0));
    QCOMPARE(image.pixel(origin + QPoint(60, 8)), segment(3));
    QCOMPARE(image.pixel(origin + QPoint(60, 16)), SEPARATOR);
    QCOMPARE(image.pixel(origin + QPoint(60, 24)), BLACK);
    QCOMPARE(image.pixel(origin + QPoint(16, 24)), tick_mark(1));
}

QTEST_MAIN(TestVolumeBar)
#include "test_volume_bar.moc"
