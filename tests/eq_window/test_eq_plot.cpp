// SPDX-License-Identifier: BSD-2-Clause

#include <QFile>
#include <QPainter>
#include <QRegularExpression>
#include <QTemporaryDir>
#include <QTest>
#include <QToolTip>
#include <cmath>
#include <complex>
#include <limits>

#include "eq/filter_design.h"
#include "eq/log_response.h"
#include "eq/wisdom_cache.h"
#include "eq/zarn_eq_response_view.h"
#include "support/eq_fixture.h"

using namespace eqfix;
using zarn::sim::TestDaemon;

namespace {

const QRgb BLACK = qRgb(0, 0, 0);
const QRgb GREY = qRgb(192, 192, 192);
const QRgb WHITE = qRgb(255, 255, 255);

// Row of the black pixel of column x, -1 if there is none.
int curve_row(const QImage &image, int x) {
    for (int y = 0; y < image.height(); y++)
        if (image.pixel(x, y) == BLACK)
            return y;
    return -1;
}

// The picture of a response that is the same in every column: a black line
// along the bottom row on white, no grey. Label text may stand in rows 116
// to 126 from column 32 on, up to 26 pixels after each label's start.
void verify_bottom_line(const QImage &image) {
    for (int x = 0; x < 256; x++) {
        const bool labelled = x >= 32 && x % 32 < 26;
        for (int y = 0; y < (labelled ? 116 : 127); y++)
            QVERIFY2(image.pixel(x, y) == WHITE, qPrintable(QStringLiteral("%1,%2").arg(x).arg(y)));
        if (!labelled)
            QVERIFY2(image.pixel(x, 127) == BLACK, qPrintable(QString::number(x)));
    }
}

QStringList labels(const ZARNEQFreqResponse *plot) {
    QStringList out;
    for (int k = 0; k <= ZARNEQFreqResponse::LABEL_COUNT + 1; k++)
        out << plot->label_text(k);
    return out;
}

std::vector<double> single_tap(int at, double value) {
    std::vector<double> c(2048, 0.0);
    c[static_cast<std::size_t>(at)] = value;
    return c;
}

} // namespace

class TestEqPlot : public QObject {
    Q_OBJECT

private slots:
    void bottom_line_for_no_coefficients_and_flat_filters();
    void unit_response_stays_in_lower_half();
    void labels_follow_sample_rate();
    void plot_follows_apply_off_and_paste();
    void non_finite_coefficients();
    void response_is_evaluated_on_the_first_paint_after_a_change();
    void shown_plot_evaluates_across_turns_of_the_event_loop();
    void first_apply_of_a_length_keeps_wisdom_in_the_cache_folder();
    void large_view_axes_levels_and_curve();
    void readout_of_the_column_under_the_pointer_data();
    void readout_of_the_column_under_the_pointer();
};

void TestEqPlot::bottom_line_for_no_coefficients_and_flat_filters() {
    // No filter support, a filter not in force, and no device at all.
    TestDaemon none(topology(0));
    auto w0 = fixture::make_window(none.path());
    verify_bottom_line(render(w0->strips[0]->rx_equalizer->freq_response));

    TestDaemon d(topology());
    eqfix::put_filter(d, true, single_tap(1024, 1.0));
    eqfix::put_filter(d, false, single_tap(0, -0.3));
    auto w = fixture::make_window(d.path());
    auto off = make_equalizer(w.get(), zarn::KIND_LOOP);
    QCOMPARE(off->state_map->selected, 0);
    verify_bottom_line(render(off->freq_response));
    const int fd = w->fd;
    w->fd = -1;
    auto closed = make_equalizer(w.get(), RX_DEVICE);
    w->fd = fd;
    verify_bottom_line(render(closed->freq_response));

    // A pure delay and a pure gain in force.
    auto delay = make_equalizer(w.get(), RX_DEVICE);
    auto gain = make_equalizer(w.get(), zarn::KIND_DEVICE);
    QVERIFY(delay->state_map->selected == 1);
    QVERIFY(gain->state_map->selected == 1);
    verify_bottom_line(render(delay->freq_response));
    verify_bottom_line(render(gain->freq_response));

    // The Defaults preset designs that same pure delay.
    off->presets->defaults_button->click();
    release_on(off.get());
    QVERIFY(off->coefficients != nullptr);
    verify_bottom_line(render(off->freq_response));
}

void TestEqPlot::unit_response_stays_in_lower_half() {
    TestDaemon d(topology());
    auto w = fixture::make_window(d.path());
    auto e = make_equalizer(w.get(), RX_DEVICE);
    // Normalized presets: the magnitude is at most 1 everywhere, yet not flat.
    for (QPushButton *preset :
         {e->presets->highpass_button, e->presets->bandpass_button, e->presets->lowpass_button}) {
        preset->click();
        e->state_map->selected == 0 ? release_on(e.get()) : apply(e.get());
        const QImage image = render(e->freq_response);
        int highest = 128;
        for (int x = 0; x < 256; x++) {
            QVERIFY(curve_row(image, x) >= 64);
            highest = std::min(highest, curve_row(image, x));
        }
        QVERIFY(highest < 100);
    }
    // The low pass (last) is highest at 0 Hz, a little under 1 there (its
    // normalized taps are not all positive), and falls to the bottom row.
    const QImage image = render(e->freq_response);
    for (int x = 1; x < 256; x++)
        QVERIFY(curve_row(image, x) >= curve_row(image, x - 1));
    QVERIFY(curve_row(image, 0) >= 64);
    QVERIFY(curve_row(image, 0) <= 70);
    QCOMPARE(curve_row(image, 255), 127);
    QVERIFY(image.pixel(0, 127) == GREY);
    QVERIFY(image.pixel(0, 63) == WHITE);

    // At pixel ratio 2 each pixel of the curve is a block of 2 x 2 device
    // pixels. The labels are drawn at that resolution; their rows from column
    // 32 on are left out.
    const QImage dense = render(e->freq_response, 2.0);
    QCOMPARE(dense.size(), QSize(512, 256));
    int differing = 0;
    for (int y = 0; y < 256; y++)
        for (int x = 0; x < (y < 2 * 116 ? 512 : 64); x++)
            differing += dense.pixel(x, y) != image.pixel(x / 2, y / 2);
    QCOMPARE(differing, 0);
}

void TestEqPlot::labels_follow_sample_rate() {
    const QStringList full{"", "700", "1500", "2k", "3k", "4k", "5k", "6k", ""};
    const std::pair<int, QStringList> cases[] = {
        {48000, full},
        {16000, full},
        {8000, {"", "300", "700", "1100", "1600", "2k", "2k", "3k", ""}},
        {0, {"", "0", "0", "0", "0", "0", "0", "0", ""}},
    };
    for (const auto &[rate, expected] : cases) {
        TestDaemon d(topology(2048, rate));
        auto w = fixture::make_window(d.path());
        auto e = make_equalizer(w.get(), RX_DEVICE);
        QCOMPARE(e->sample_rate, rate);
        QCOMPARE(labels(e->freq_response), expected);

        // Each label is drawn from its column on, with nothing just left of it.
        const QImage image = render(e->freq_response);
        for (int k = 1; k <= 7; k++) {
            int ink = 0;
            for (int x = 32 * k; x < 32 * k + 16; x++)
                for (int y = 116; y < 127; y++)
                    ink += qGray(image.pixel(x, y)) < 128;
            QVERIFY2(ink > 3, qPrintable(QString::number(k)));
            for (int x = 32 * k - 5; x < 32 * k - 1; x++)
                for (int y = 116; y < 127; y++)
                    QCOMPARE(image.pixel(x, y), WHITE);
        }
    }
}

void TestEqPlot::plot_follows_apply_off_and_paste() {
    TestDaemon d(topology());
    auto w = fixture::make_window(d.path());
    auto e = make_equalizer(w.get(), RX_DEVICE);
    const QImage flat = render(e->freq_response);
    set_text(e.get(), "norm\n150 1\n1000 0\n");
    release_on(e.get());
    const QImage low = render(e->freq_response);
    QVERIFY(low != flat);
    // The widget paints what draw paints, the same on every repaint.
    const QImage painted =
        e->freq_response->grab().toImage().convertToFormat(QImage::Format_ARGB32);
    QVERIFY(painted == low);
    QVERIFY(render(e->freq_response) == low);
    release_off(e.get());
    QVERIFY(render(e->freq_response) == flat);

    // Pasting ON into an OFF window redraws with the pasted filter.
    auto source = make_equalizer(w.get(), zarn::KIND_DEVICE);
    set_text(source.get(), "norm\n150 1\n1000 0\n");
    release_on(source.get());
    source->clipboard->copy_button->click();
    e->clipboard->paste_button->click();
    QVERIFY(render(e->freq_response) == low);
}

void TestEqPlot::non_finite_coefficients() {
    const double nan = std::numeric_limits<double>::quiet_NaN();
    const double inf = std::numeric_limits<double>::infinity();
    const double big = std::numeric_limits<double>::max();
    // Row of the curve in columns 0 and 128; -1 for the plain bottom line,
    // -2 for a finite lowest point at the right end.
    const struct {
        std::vector<double> head;
        int row_0, row_128;
    } cases[] = {
        {std::vector<double>(2048, nan), -1, -1},
        {{0.5, nan, 0.5}, -1, -1},
        {{inf}, -1, -1},             // inf * sin(0) is NaN in every column
        {{0.5, 0.25, -inf}, 127, 0}, // NaN at 0 Hz (sin 0 again), infinite elsewhere
        {{big, big}, 0, 0},
        // Squares that overflow at low frequencies only: infinite and finite
        // magnitudes side by side.
        {{0.7e154, 0.7e154}, 0, -2},
    };
    for (const auto &c : cases) {
        std::vector<double> taps(2048, 0.0);
        std::copy(c.head.begin(), c.head.end(), taps.begin());
        TestDaemon d(topology());
        eqfix::put_filter(d, true, taps);
        auto w = fixture::make_window(d.path());
        auto e = make_equalizer(w.get(), RX_DEVICE);
        QCOMPARE(e->state_map->selected, 1);

        const QImage image = render(e->freq_response);
        for (int x = 0; x < 256; x++) {
            const int row = curve_row(image, x);
            QVERIFY(row >= 0);
            QVERIFY(row <= 127);
            for (int y = row + 1; y < 116; y++)
                QCOMPARE(image.pixel(x, y), GREY);
        }
        if (c.row_0 < 0) {
            verify_bottom_line(image);
            continue;
        }
        QCOMPARE(curve_row(image, 0), c.row_0);
        // The smallest finite magnitude, at the right end, sits on the bottom row.
        QCOMPARE(curve_row(image, c.row_128 == -2 ? 255 : 128), c.row_128 == -2 ? 127 : c.row_128);
    }
}

void TestEqPlot::response_is_evaluated_on_the_first_paint_after_a_change() {
    TestDaemon d(topology());
    std::vector<double> dense(2048);
    for (std::size_t k = 0; k < dense.size(); k++)
        dense[k] = std::cos(0.37 * static_cast<double>(k)) / (1.0 + static_cast<double>(k));
    eqfix::put_filter(d, true, dense);
    auto w = fixture::make_window(d.path());
    auto e = make_equalizer(w.get(), RX_DEVICE);
    auto fresh = make_equalizer(w.get(), zarn::KIND_DEVICE);
    // Construction read a filter but evaluated nothing; a label asks too.
    QVERIFY(e->state_map->selected == 1);
    QVERIFY(e->freq_response->is_stale());
    QCOMPARE(labels(e->freq_response).at(1), QStringLiteral("700"));
    QVERIFY(!e->freq_response->is_stale());
    const QImage daemon_curve = render(e->freq_response);
    QVERIFY(curve_row(daemon_curve, 0) != 127);

    // Two applies without a paint between them: the paint shows the second.
    set_text(e.get(), "norm\n150 1\n1000 0\n");
    apply(e.get());
    QVERIFY(e->freq_response->is_stale());
    set_text(e.get(), "norm\n100 0\n2000 1\n4000 0\n");
    apply(e.get());
    set_text(fresh.get(), "norm\n100 0\n2000 1\n4000 0\n");
    release_on(fresh.get());
    const QImage band = render(e->freq_response);
    QVERIFY(band != daemon_curve);
    QVERIFY(band == render(fresh->freq_response));
    QVERIFY(!e->freq_response->is_stale());

    // An invalid text keeps the filter and the picture; OFF drops both.
    set_text(e.get(), "nonsense");
    {
        BoxCloser closer;
        apply(e.get());
    }
    QVERIFY(render(e->freq_response) == band);
    release_off(e.get());
    verify_bottom_line(render(e->freq_response));
}

void TestEqPlot::shown_plot_evaluates_across_turns_of_the_event_loop() {
    // Long enough that the evaluation takes many slices.
    constexpr int LENGTH = 8192;
    const auto dense = [](double a) {
        std::vector<double> c(LENGTH);
        for (std::size_t k = 0; k < c.size(); k++)
            c[k] = std::cos(a * static_cast<double>(k * k)) / (1.0 + static_cast<double>(k));
        return c;
    };
    TestDaemon d(topology(LENGTH));
    eqfix::put_filter(d, true, dense(0.37));
    auto w = fixture::make_window(d.path());
    auto e = make_equalizer(w.get(), RX_DEVICE);
    ZARNEQFreqResponse *plot = e->freq_response;
    const auto on_screen = [plot] {
        return plot->grab().toImage().convertToFormat(QImage::Format_ARGB32);
    };
    const auto synchronous = [&w] {
        return render(make_equalizer(w.get(), RX_DEVICE)->freq_response);
    };
    // Runs the event loop until a slice has evaluated some columns.
    const auto first_slice = [plot] {
        for (int turn = 0; turn < 1000 && plot->columns_ready() == 0; turn++)
            QCoreApplication::processEvents();
    };

    // The picture of a window without a filter at the daemon's rate.
    const auto no_curve = [&w] {
        return render(make_equalizer(w.get(), zarn::KIND_DEVICE)->freq_response);
    };

    // Hidden, the plot evaluates nothing however long the loop runs.
    QTest::qWait(30);
    QVERIFY(plot->is_stale());
    QVERIFY(plot->columns_ready() == 0);
    QVERIFY(e->response_view->is_stale());
    // Before the first picture: the bottom line and the labels, no curve.
    QVERIFY(on_screen() == no_curve());
    QVERIFY(plot->readout_text(100).isEmpty());

    e->show();
    QVERIFY(QTest::qWaitForWindowExposed(e.get()));
    QTRY_VERIFY(!plot->is_stale());
    // The large view too evaluates on later turns, never in its paint.
    const auto exact = [&e] {
        return zarn::log_response(e->sample_rate, e->filter_length, e->coefficients,
                                  ZARNEQResponseView::POINTS)
            .db;
    };
    QTRY_VERIFY(!e->response_view->is_stale());
    QCOMPARE(e->response_view->curve().db, exact());
    eqfix::put_filter(d, true, dense(0.5));
    e->refresh();
    e->response_view->repaint();
    QVERIFY(e->response_view->is_stale());
    QTRY_VERIFY(!e->response_view->is_stale());
    QCOMPARE(e->response_view->curve().db, exact());
    QTRY_VERIFY(!plot->is_stale());
    const QImage first = on_screen();
    QVERIFY(first == synchronous());

    // A new filter: one slice evaluates only part of it, and meanwhile the
    // plot keeps the last complete picture.
    eqfix::put_filter(d, true, dense(1.1));
    e->refresh();
    QVERIFY(plot->is_stale());
    QVERIFY(plot->columns_ready() == 0);
    first_slice();
    QVERIFY(plot->columns_ready() > 0);
    QVERIFY(plot->is_stale());
    QVERIFY(on_screen() == first);

    // Another filter midway: the evaluation starts over with it.
    eqfix::put_filter(d, true, dense(2.3));
    e->refresh();
    QCOMPARE(plot->columns_ready(), 0);
    first_slice();
    QVERIFY(plot->columns_ready() > 0);
    QVERIFY(plot->is_stale());
    QTRY_VERIFY(!plot->is_stale());
    const QImage last = on_screen();
    QVERIFY(last != first);
    QVERIFY(last == synchronous());

    // Hidden midway, the plot stops; draw finishes the rest at once.
    eqfix::put_filter(d, true, dense(1.1));
    e->refresh();
    first_slice();
    e->hide();
    const int ready = plot->columns_ready();
    QTest::qWait(30);
    QVERIFY(plot->is_stale());
    QVERIFY(plot->columns_ready() == ready);
    QVERIFY(ready < 256);
    const QImage middle = render(plot);
    QVERIFY(!plot->is_stale());
    QVERIFY(middle != first);
    QVERIFY(middle != last);
    QVERIFY(middle == synchronous());

    // At another rate the old curve is not shown under the new labels.
    d.with_engine([](zarn::sim::Engine &engine) { engine.sample_rate = 8000; });
    e->show();
    QVERIFY(QTest::qWaitForWindowExposed(e.get()));
    e->refresh();
    QVERIFY(plot->is_stale());
    QVERIFY(on_screen() == no_curve());
    QCOMPARE(labels(plot).at(1), QStringLiteral("300"));
}

void TestEqPlot::first_apply_of_a_length_keeps_wisdom_in_the_cache_folder() {
    QTemporaryDir cache;
    QVERIFY(cache.isValid());
    const QByteArray old_cache = qgetenv("XDG_CACHE_HOME");
    qputenv("XDG_CACHE_HOME", QFile::encodeName(cache.path()));
    zarn::keep_wisdom_in_cache();
    const QString path = zarn::wisdom_cache_path();
    QVERIFY2(path.startsWith(cache.path() + QLatin1Char('/')), qPrintable(path));
    QVERIFY(!QFile::exists(path));

    TestDaemon d(topology(1536));
    auto w = fixture::make_window(d.path());
    auto e = make_equalizer(w.get(), RX_DEVICE);
    set_text(e.get(), "norm\n150 1\n1000 0\n");
    release_on(e.get());
    QVERIFY(e->coefficients != nullptr);
    QFile file(path);
    QVERIFY(file.open(QIODevice::ReadOnly) && file.readAll().startsWith("(fftw-"));

    zarn::keep_wisdom_in(std::string());
    if (old_cache.isNull())
        qunsetenv("XDG_CACHE_HOME");
    else
        qputenv("XDG_CACHE_HOME", old_cache);
}

void TestEqPlot::readout_of_the_column_under_the_pointer_data() {
    QTest::addColumn<QVector<double>>("head");
    QTest::addColumn<int>("x");
    QTest::addColumn<int>("hz");
    // Column x lies at 2^(x/256) * 8000 - 8000 Hz.
    QTest::newRow("gain mid-plot") << QVector<double>{0.5} << 128 << 3314;
    QTest::newRow("average, right end") << QVector<double>{0.5, 0.5} << 255 << 7957;
    QTest::newRow("difference, low") << QVector<double>{0.5, -0.5} << 3 << 65;
    QTest::newRow("near a null at 6 kHz")
        << QVector<double>{1.0, 0.0, 0.0, 0.0, 1.0} << 206 << 5974;
}

void TestEqPlot::readout_of_the_column_under_the_pointer() {
    QFETCH(QVector<double>, head);
    QFETCH(int, x);
    QFETCH(int, hz);
    std::vector<double> taps(2048, 0.0);
    std::copy(head.begin(), head.end(), taps.begin());
    TestDaemon d(topology());
    eqfix::put_filter(d, true, taps);
    auto w = fixture::make_window(d.path());
    auto e = make_equalizer(w.get(), RX_DEVICE);
    render(e->freq_response);

    const QRegularExpressionMatch m =
        QRegularExpression(QStringLiteral("^(\\d+) Hz: gain ([^ ]+) \\(([^ ]+) dB\\)$"))
            .match(e->freq_response->readout_text(x));
    QVERIFY2(m.hasMatch(), qPrintable(e->freq_response->readout_text(x)));
    QCOMPARE(m.captured(1).toInt(), hz);
    // The magnitude summed at the column's own frequency, as a phasor sum.
    const double f = std::exp2(x / 256.0) * 8000.0 - 8000.0;
    std::complex<double> sum;
    for (int k = 0; k < head.size(); k++)
        sum += head[k] * std::polar(1.0, -2.0 * M_PI * f * k / 48000.0);
    const double mag = std::abs(sum);
    QVERIFY2(std::fabs(m.captured(2).toDouble() - mag) <= 5e-4 * std::max(mag, 1e-3),
             qPrintable(m.captured(2)));
    QVERIFY2(std::fabs(m.captured(3).toDouble() - 20.0 * std::log10(mag)) <= 0.05,
             qPrintable(m.captured(3)));

    // Hovering column x opens that readout above what the plot shows.
    e->show();
    QVERIFY(QTest::qWaitForWindowExposed(e.get()));
    ZARNEQFreqResponse *plot = e->freq_response;
    const QPoint at(x, 60);
    QHelpEvent hover(QEvent::ToolTip, at, plot->mapToGlobal(at));
    QApplication::sendEvent(plot, &hover);
    QTRY_COMPARE(QToolTip::text(), plot->readout_text(x) + QLatin1Char('\n') + plot->toolTip());
    // A screen reader hears the same readout at the labelled frequencies.
    QVERIFY(plot->accessibleDescription().startsWith(plot->readout_text(32)));

    // Left open, the tip follows the next filter's picture once it is complete.
    std::vector<double> doubled(taps);
    for (double &t : doubled)
        t *= 2.0;
    eqfix::put_filter(d, true, doubled);
    auto fresh = make_equalizer(w.get(), RX_DEVICE);
    render(fresh->freq_response);
    const QString want =
        fresh->freq_response->readout_text(x) + QLatin1Char('\n') + plot->toolTip();
    e->refresh();
    QVERIFY(QToolTip::text() != want);
    QTRY_COMPARE_WITH_TIMEOUT(QToolTip::text(), want, 500);
    QToolTip::hideText();
}

void TestEqPlot::large_view_axes_levels_and_curve() {
    using View = ZARNEQResponseView;
    const QSize size(700, 320);
    // A unit impulse: 0 dB everywhere.
    std::vector<double> unit(4096, 0.0);
    unit[0] = 1.0;
    const zarn::LogResponse flat = zarn::log_response(48000.0, 4096, unit.data(), View::POINTS);
    QCOMPARE(int(flat.db.size()), View::POINTS);
    QCOMPARE(flat.freq.front(), 20.0);
    QCOMPARE(flat.freq.back(), 24000.0);
    const View::Axes a = View::axes(size, flat);
    QCOMPARE(a.x_of(20.0), a.plot.left());
    QCOMPARE(a.x_of(24000.0), a.plot.right());
    const double t = std::log(50.0) / std::log(1200.0);
    QCOMPARE(a.x_of(1000.0), a.plot.left() + int(std::lround(t * (a.plot.width() - 1))));
    QVERIFY(std::abs(a.freq_at(a.x_of(1000.0)) - 1000.0) < 15.0);
    QCOMPARE(View::level_labels(a),
             QStringList({"+12 dB", "+6 dB", "0 dB", "-6 dB", "-12 dB", "-18 dB", "-24 dB"}));
    QCOMPARE(a.y_of(12.0), a.plot.top());
    QCOMPARE(a.y_of(-24.0), a.plot.bottom());

    // The curve is drawn on the 0 dB line, at 20 Hz, 1 kHz and the right end.
    QImage image(size, QImage::Format_ARGB32);
    {
        QPainter painter(&image);
        View::paint(painter, size, flat, QString());
    }
    const QRgb curve = qRgb(0, 64, 192);
    for (double f : {20.0, 1000.0, 23900.0}) {
        const int x = a.x_of(f);
        const int y = a.y_of(0.0);
        QVERIFY2(image.pixel(x, y) == curve || image.pixel(x, y + 1) == curve,
                 qPrintable(QString::number(f)));
    }
    QCOMPARE(View::readout_text(a, flat, a.x_of(1000.0)).section(':', 1), QString(" 0.0 dB"));

    // A halving filter at 44.1 kHz: -6 dB, the axis to 22050 Hz.
    for (double &c : unit)
        c *= 0.5;
    const zarn::LogResponse half = zarn::log_response(44100.0, 4096, unit.data(), View::POINTS);
    QCOMPARE(View::axes(size, half).x_of(22050.0), a.plot.right());
    QVERIFY(std::abs(half.db[500] + 6.0206) < 1e-3);
    // In steps, on a copy: the caller's array may change meanwhile.
    zarn::LogResponseJob job;
    std::vector<double> taps = unit;
    job.start(44100.0, 4096, taps.data(), View::POINTS);
    std::fill(taps.begin(), taps.end(), 0.0);
    int steps = 1;
    while (!job.step())
        ++steps;
    QVERIFY(steps > 1);
    QCOMPARE(job.result().db, half.db);
    // A deep cut widens the scale in whole steps, and 0 dB stays labelled.
    std::vector<double> cut(4096, 0.0);
    cut[0] = 0.01;
    const View::Axes deep = View::axes(size, zarn::log_response(48000.0, 4096, cut.data(), 64));
    QCOMPARE(deep.bottom_db, -48.0);
    QCOMPARE(View::level_labels(deep).first(), QString("+12 dB"));
    QCOMPARE(View::level_labels(deep).last(), QString("-48 dB"));
    QVERIFY(View::level_labels(deep).contains("0 dB"));
    // No filter: no curve, and no point to read out.
    const zarn::LogResponse none = zarn::log_response(48000.0, 0, nullptr, View::POINTS);
    QVERIFY(none.db.empty());
    QVERIFY(View::readout_text(View::axes(size, none), none, 300).isEmpty());
}

QTEST_MAIN(TestEqPlot)
#include "test_eq_plot.moc"
