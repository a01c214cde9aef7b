#include <QTest>
#include <cmath>
#include <limits>

#include "eq_fixture.h"

using eqfix::make_equalizer;
using zarn::sim::TestDaemon;

namespace {

constexpr int RX_DEVICE = zarn::KIND_DEVICE | zarn::EQ_RX_FLAG;
const QRgb BLACK = qRgb(0, 0, 0);
const QRgb GREY = qRgb(192, 192, 192);
const QRgb WHITE = qRgb(255, 255, 255);

// Columns that no label text reaches: left of the first label, and the
// right end of every 32-pixel stretch after a label's start.
bool clear_of_labels(int x) {
    return x < 32 || x % 32 >= 26;
}

// Row of the black pixel of column x, -1 if there is none.
int curve_row(const QImage &image, int x) {
    for (int y = 0; y < image.height(); y++)
        if (image.pixel(x, y) == BLACK)
            return y;
    return -1;
}

// The picture of a response that is the same in every column: a black
// line along the bottom row on white, no grey.
void verify_bottom_line(const QImage &image) {
    for (int x = 0; x < 256; x++) {
        for (int y = 0; y < 116; y++)
            QVERIFY2(image.pixel(x, y) == WHITE, qPrintable(QStringLiteral("%1,%2").arg(x).arg(y)));
        if (!clear_of_labels(x))
            continue;
        for (int y = 116; y < 127; y++)
            QVERIFY2(image.pixel(x, y) == WHITE, qPrintable(QStringLiteral("%1,%2").arg(x).arg(y)));
        QVERIFY2(image.pixel(x, 127) == BLACK, qPrintable(QString::number(x)));
    }
}

QStringList labels(const ZARNEQFreqResponse *plot) {
    QStringList out;
    for (int k = 1; k <= ZARNEQFreqResponse::LABEL_COUNT; k++)
        out << plot->label_text(k);
    return out;
}

bool dark(QRgb p) {
    return qGray(p) < 128;
}

std::vector<double> single_tap(int n, int at, double value) {
    std::vector<double> c(static_cast<std::size_t>(n), 0.0);
    c[static_cast<std::size_t>(at)] = value;
    return c;
}

} // namespace

class TestEqPlot : public QObject {
    Q_OBJECT

private slots:
    void bottom_line_without_coefficients();
    void flat_filters_draw_bottom_line();
    void unit_response_stays_in_lower_half();
    void labels_follow_sample_rate_data();
    void labels_follow_sample_rate();
    void labels_drawn_at_their_columns();
    void widget_paints_what_draw_paints();
    void plot_follows_apply_and_off();
    void non_finite_coefficients_data();
    void non_finite_coefficients();
};

void TestEqPlot::bottom_line_without_coefficients() {
    // No filter support, a filter not in force, and no device at all.
    TestDaemon none(eqfix::topology(0));
    auto w0 = fixture::make_window(none.path());
    verify_bottom_line(eqfix::render(w0->strips[0]->rx_equalizer->freq_response));

    TestDaemon d(eqfix::topology());
    auto w = fixture::make_window(d.path());
    auto off = make_equalizer(w.get(), RX_DEVICE);
    QCOMPARE(off->state_map->selected, 0);
    verify_bottom_line(eqfix::render(off->freq_response));

    const int fd = w->fd;
    w->fd = -1;
    auto closed = make_equalizer(w.get(), RX_DEVICE);
    w->fd = fd;
    verify_bottom_line(eqfix::render(closed->freq_response));
    QCOMPARE(labels(closed->freq_response), QStringList({"0", "0", "0", "0", "0", "0", "0"}));
}

void TestEqPlot::flat_filters_draw_bottom_line() {
    TestDaemon d(eqfix::topology());
    eqfix::put_filter(d, true, single_tap(2048, 1024, 1.0));
    eqfix::put_filter(d, false, single_tap(2048, 0, -0.3));
    auto w = fixture::make_window(d.path());
    auto delay = make_equalizer(w.get(), RX_DEVICE);
    auto gain = make_equalizer(w.get(), zarn::KIND_DEVICE);
    QCOMPARE(delay->state_map->selected, 1);
    QCOMPARE(gain->state_map->selected, 1);
    verify_bottom_line(eqfix::render(delay->freq_response));
    verify_bottom_line(eqfix::render(gain->freq_response));

    // The Defaults preset designs that same pure delay.
    auto applied = make_equalizer(w.get(), zarn::KIND_LOOP);
    applied->presets->defaults_button->click();
    eqfix::release_on(applied.get());
    QVERIFY(applied->coefficients != nullptr);
    verify_bottom_line(eqfix::render(applied->freq_response));
}

void TestEqPlot::unit_response_stays_in_lower_half() {
    TestDaemon d(eqfix::topology());
    auto w = fixture::make_window(d.path());
    auto e = make_equalizer(w.get(), RX_DEVICE);
    // Normalized presets: the magnitude is at most 1 everywhere.
    for (QPushButton *preset :
         {e->presets->lowpass_button, e->presets->highpass_button, e->presets->bandpass_button}) {
        preset->click();
        if (e->state_map->selected == 0)
            eqfix::release_on(e.get());
        else
            eqfix::apply(e.get());
        const QImage image = eqfix::render(e->freq_response);
        int highest = 128;
        for (int x = 0; x < 256; x++) {
            const int row = curve_row(image, x);
            QVERIFY(row >= 64);
            highest = std::min(highest, row);
        }
        // Not flat: some column rises well above the bottom, with grey under it.
        QVERIFY(highest < 100);
    }
    // The low pass is highest at 0 Hz, a little under 1 there (its
    // normalized taps are not all positive), and falls to the bottom row.
    e->presets->lowpass_button->click();
    eqfix::apply(e.get());
    const QImage image = eqfix::render(e->freq_response);
    for (int x = 1; x < 256; x++)
        QVERIFY(curve_row(image, x) >= curve_row(image, x - 1));
    QVERIFY(curve_row(image, 0) >= 64 && curve_row(image, 0) <= 70);
    QCOMPARE(curve_row(image, 255), 127);
    QCOMPARE(image.pixel(0, 127), GREY);
    QCOMPARE(image.pixel(0, 63), WHITE);
}

void TestEqPlot::labels_follow_sample_rate_data() {
    QTest::addColumn<int>("rate");
    QTest::addColumn<QStringList>("expected");
    const QStringList full{"700", "1500", "2k", "3k", "4k", "5k", "6k"};
    QTest::newRow("48000") << 48000 << full;
    QTest::newRow("16000") << 16000 << full;
    QTest::newRow("8000") << 8000 << QStringList{"300", "700", "1100", "1600", "2k", "2k", "3k"};
    QTest::newRow("0") << 0 << QStringList{"0", "0", "0", "0", "0", "0", "0"};
}

void TestEqPlot::labels_follow_sample_rate() {
    QFETCH(int, rate);
    QFETCH(QStringList, expected);
    TestDaemon d(eqfix::topology(2048, rate));
    auto w = fixture::make_window(d.path());
    auto e = make_equalizer(w.get(), RX_DEVICE);
    QCOMPARE(e->sample_rate, rate);
    QCOMPARE(labels(e->freq_response), expected);
    QVERIFY(e->freq_response->label_text(0).isEmpty());
    QVERIFY(e->freq_response->label_text(8).isEmpty());
}

void TestEqPlot::labels_drawn_at_their_columns() {
    TestDaemon d(eqfix::topology());
    auto w = fixture::make_window(d.path());
    auto e = make_equalizer(w.get(), RX_DEVICE);
    const QImage image = eqfix::render(e->freq_response);
    for (int k = 1; k <= 7; k++) {
        int ink = 0;
        for (int x = 32 * k; x < 32 * k + 16; x++)
            for (int y = 116; y < 127; y++)
                ink += dark(image.pixel(x, y));
        QVERIFY2(ink > 3, qPrintable(QString::number(k)));
        // Nothing just left of where the text starts.
        for (int x = 32 * k - 5; x < 32 * k - 1; x++)
            for (int y = 116; y < 127; y++)
                QCOMPARE(image.pixel(x, y), WHITE);
    }
}

void TestEqPlot::widget_paints_what_draw_paints() {
    TestDaemon d(eqfix::topology());
    eqfix::put_filter(d, true, std::vector<double>(2048, 1.0 / 2048));
    auto w = fixture::make_window(d.path());
    auto e = make_equalizer(w.get(), RX_DEVICE);
    const QImage drawn = eqfix::render(e->freq_response);
    const QImage painted =
        e->freq_response->grab().toImage().convertToFormat(QImage::Format_ARGB32);
    QCOMPARE(painted.size(), QSize(256, 128));
    QVERIFY(painted == drawn);
    // And every repaint gives the same picture.
    QVERIFY(eqfix::render(e->freq_response) == drawn);
}

void TestEqPlot::plot_follows_apply_and_off() {
    TestDaemon d(eqfix::topology());
    auto w = fixture::make_window(d.path());
    auto e = make_equalizer(w.get(), RX_DEVICE);
    const QImage flat = eqfix::render(e->freq_response);
    eqfix::set_text(e.get(), "norm\n150 1\n1000 0\n");
    eqfix::release_on(e.get());
    const QImage low = eqfix::render(e->freq_response);
    QVERIFY(low != flat);
    eqfix::release_off(e.get());
    QVERIFY(eqfix::render(e->freq_response) == flat);

    // Pasting ON into an OFF window redraws with the pasted filter.
    auto source = make_equalizer(w.get(), zarn::KIND_DEVICE);
    eqfix::set_text(source.get(), "norm\n150 1\n1000 0\n");
    eqfix::release_on(source.get());
    source->clipboard->copy_button->click();
    e->clipboard->paste_button->click();
    QVERIFY(eqfix::render(e->freq_response) == low);
}

void TestEqPlot::non_finite_coefficients_data() {
    const double nan = std::numeric_limits<double>::quiet_NaN();
    const double inf = std::numeric_limits<double>::infinity();
    const double big = std::numeric_limits<double>::max();
    QTest::addColumn<QVector<double>>("head");
    // Row of the curve in columns 0 and 128; -1 for the plain bottom line,
    // -2 for a finite lowest point at the right end.
    QTest::addColumn<int>("row_0");
    QTest::addColumn<int>("row_128");
    QTest::newRow("all NaN") << QVector<double>(2048, nan) << -1 << -1;
    QTest::newRow("one NaN") << QVector<double>{0.5, nan, 0.5} << -1 << -1;
    // inf * sin(0) is NaN in every column.
    QTest::newRow("+inf first") << QVector<double>{inf} << -1 << -1;
    // NaN at 0 Hz (sin 0 again), infinite everywhere else.
    QTest::newRow("-inf later") << QVector<double>{0.5, 0.25, -inf} << 127 << 0;
    QTest::newRow("largest doubles") << QVector<double>{big, big} << 0 << 0;
    // Squares that overflow at low frequencies only: infinite and finite
    // magnitudes side by side.
    QTest::newRow("overflowing squares") << QVector<double>{0.7e154, 0.7e154} << 0 << -2;
}

void TestEqPlot::non_finite_coefficients() {
    QFETCH(QVector<double>, head);
    QFETCH(int, row_0);
    QFETCH(int, row_128);
    std::vector<double> c(2048, 0.0);
    std::copy(head.begin(), head.end(), c.begin());
    TestDaemon d(eqfix::topology());
    eqfix::put_filter(d, true, c);
    auto w = fixture::make_window(d.path());
    auto e = make_equalizer(w.get(), RX_DEVICE);
    QCOMPARE(e->state_map->selected, 1);

    const QImage image = eqfix::render(e->freq_response);
    for (int x = 0; x < 256; x++) {
        const int row = curve_row(image, x);
        QVERIFY(row >= 0 && row <= 127);
        for (int y = row + 1; y < 116; y++)
            QCOMPARE(image.pixel(x, y), GREY);
    }
    if (row_0 < 0) {
        verify_bottom_line(image);
        return;
    }
    QCOMPARE(curve_row(image, 0), row_0);
    if (row_128 >= 0)
        QCOMPARE(curve_row(image, 128), row_128);
    // The smallest finite magnitude, at the right end, sits on the bottom row.
    if (row_128 == -2)
        QCOMPARE(curve_row(image, 255), 127);
}

QTEST_MAIN(TestEqPlot)
#include "test_eq_plot.moc"
