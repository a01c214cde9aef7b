// SPDX-License-Identifier: BSD-2-Clause

#include <QAbstractSpinBox>
#include <QAccessible>
#include <QAction>
#include <QApplication>
#include <QCheckBox>
#include <QElapsedTimer>
#include <QIcon>
#include <QLabel>
#include <QLineEdit>
#include <QPointer>
#include <QProcess>
#include <QPushButton>
#include <QScreen>
#include <QScrollBar>
#include <QSpinBox>
#include <QSystemTrayIcon>
#include <QTest>
#include <QTimer>
#include <QToolButton>
#include <QWindow>
#include <algorithm>
#include <limits>
#include <tuple>

#include "app/kept_settings.h"
#include "app/opening_size.h"
#include "app/window_places.h"
#include "app/zarn_fold.h"
#include "app/zarn_status_line.h"
#include "app/zarn_tray.h"
#include "compressor/zarn_compressor.h"
#include "ctl/catalogue.h"
#include "eq/zarn_button_map.h"
#include "eq/zarn_equalizer.h"
#include "panels/zarn_add_options.h"
#include "panels/zarn_audio_delay_locator.h"
#include "panels/zarn_record_status.h"
#include "panels/zarn_setup_panel.h"
#include "panels/zarn_sys_info_options.h"
#include "routing/zarn_connect.h"
#include "strip/zarn_controller.h"
#include "support/window_fixture.h"

using fixture::as;
using fixture::with_code;
using zarn::sim::TestDaemon;
using Target = std::tuple<int, int, int>; // kind, channel, number

namespace {

// Peak requests in the order received, as (code, first int, second int).
std::vector<std::tuple<std::uint32_t, int, int>> peak_sequence(const TestDaemon &d) {
    std::vector<std::tuple<std::uint32_t, int, int>> out;
    for (auto &r : d.requests()) {
        if (!fixture::is_peak(r.code))
            continue;
        std::int32_t a, b;
        std::memcpy(&a, r.record.data(), 4);
        std::memcpy(&b, r.record.data() + 4, 4);
        out.emplace_back(r.code, a, b);
    }
    return out;
}

// The peak reads of the last tick: those after a discovery, whose walk
// ends with a probe that fails.
std::size_t tick_peaks(const TestDaemon &d) {
    std::size_t count = 0;
    for (auto &r : d.requests()) {
        if (fixture::is_peak(r.code))
            count = r.result == 0 ? count + 1 : 0;
    }
    return count;
}

std::vector<Target> targets(const ZARNMainWindow &w) {
    std::vector<Target> out;
    for (ZARNController *s : w.strips)
        if (s)
            out.emplace_back(s->kind, s->channel, s->number);
    return out;
}

zarn::sim::Topology example_topology() {
    return zarn::sim::mixer({2, 3}, {2}, 2, 0, 1, 2, 2);
}

} // namespace

class TestMainWindow : public QObject {
    Q_OBJECT

private slots:
    void discovery_order_and_probes();
    void discovery_stops_at_128_strips();
    void window_layout_title_icon_timer_data();
    void window_layout_title_icon_timer();
    void no_daemon_at_start_then_discovery();
    void daemon_restarted_with_other_state_is_read_again();
    void daemon_stops_answering();
    void message_bar_moves_nothing();
    void hung_daemon_is_backed_off_data();
    void hung_daemon_is_backed_off();
    void closing_the_window_closes_its_windows();
    void strip_windows_stand_alone();
    void watchdog_walks_past_null_entries();
    void tick_order();
    void live_view_reads_what_is_in_view();
    void diagram_keeps_live_only_the_routes_in_view();
    void targets_that_come_and_go_are_followed();
    void a_rebuild_keeps_the_view_in_place();
    void ctrl_f_filters_the_strips();
    void folding_is_kept_for_a_new_window();
    void strips_flow_into_columns_data();
    void strips_flow_into_columns();
    void a_folded_diagram_takes_its_strips_out_of_view();
    void steady_targets_are_checked_in_one_exchange();
    void keyboard_goes_strip_by_strip_row_by_row();
    void windows_come_back_where_they_were();
    void every_control_has_its_own_accessible_name();
    void no_strips_no_layout_warning();
    void opens_wide_enough_for_the_strips();
    void tray_turns_and_mutes_the_chosen_target();
    void tray_icon_takes_the_wheel_and_the_middle_click();
};

void TestMainWindow::discovery_order_and_probes() {
    TestDaemon d(example_topology());
    auto w = fixture::make_window(d.path());
    const std::vector<Target> expected = {{0, 0, 0}, {0, 1, 0}, {0, 0, 1}, {0, 1, 1}, {0, 2, 1},
                                          {1, 0, 0}, {1, 1, 0}, {2, 0, 0}, {2, 0, 1}, {4, 0, 0},
                                          {5, 0, 0}, {5, 1, 0}, {6, 0, 0}, {6, 1, 0}};
    QCOMPARE(targets(*w), expected);
    for (int i = 14; i < MAX_STRIPS; ++i)
        QCOMPARE(w->strips[i], nullptr);

    using zarn::REQ_DEV_PEAK, zarn::REQ_LOOP_PEAK, zarn::REQ_INPUT_MON_PEAK,
        zarn::REQ_OUTPUT_MON_PEAK, zarn::REQ_LOCAL_MON_PEAK, zarn::REQ_MAIN_OUTPUT_PEAK,
        zarn::REQ_MAIN_INPUT_PEAK;
    // clang-format off
    const std::vector<std::tuple<std::uint32_t, int, int>> probes = {
        {REQ_DEV_PEAK, 0, 0}, {REQ_DEV_PEAK, 0, 1}, {REQ_DEV_PEAK, 0, 2}, {REQ_DEV_PEAK, 1, 0},
        {REQ_DEV_PEAK, 1, 1}, {REQ_DEV_PEAK, 1, 2}, {REQ_DEV_PEAK, 1, 3}, {REQ_DEV_PEAK, 2, 0},
        {REQ_LOOP_PEAK, 0, 0}, {REQ_LOOP_PEAK, 0, 1}, {REQ_LOOP_PEAK, 0, 2}, {REQ_LOOP_PEAK, 1, 0},
        {REQ_INPUT_MON_PEAK, 0, 0}, {REQ_INPUT_MON_PEAK, 1, 0}, {REQ_INPUT_MON_PEAK, 2, 0},
        {REQ_OUTPUT_MON_PEAK, 0, 0}, {REQ_LOCAL_MON_PEAK, 0, 0}, {REQ_LOCAL_MON_PEAK, 1, 0},
        {REQ_MAIN_OUTPUT_PEAK, 0, 0}, {REQ_MAIN_OUTPUT_PEAK, 1, 0}, {REQ_MAIN_OUTPUT_PEAK, 2, 0},
        {REQ_MAIN_INPUT_PEAK, 0, 0}, {REQ_MAIN_INPUT_PEAK, 1, 0}, {REQ_MAIN_INPUT_PEAK, 2, 0}};
    // clang-format on
    QCOMPARE(peak_sequence(d), probes);

    // Every probe record is zero apart from its selecting fields.
    for (auto &r : d.requests())
        if (fixture::is_peak(r.code))
            QCOMPARE(std::count(r.record.begin() + 8, r.record.end(), 0),
                     long(r.record.size() - 8));
    // Strip i sits in row i of the strip grid.
    for (int i = 0; i < 14; ++i)
        QCOMPARE(w->strip_grid->itemAtPosition(i, 0)->widget(), w->strips[i]);
    QCOMPARE(w->strip_grid->QGridLayout::count(), 14);
}

void TestMainWindow::discovery_stops_at_128_strips() {
    for (int devices : {64, 70}) {
        zarn::sim::Topology t = fixture::empty_topology();
        t.device_channels.assign(devices, 2);
        t.loop_channels = {2};
        t.main_output_channels = 2;
        TestDaemon d(t);
        auto w = fixture::make_window(d.path());
        QCOMPARE(fixture::strip_count(*w), 128);
        // The main output keeps its strips; the device channels make room.
        QCOMPARE(targets(*w)[125], Target(0, 1, 62));
        QCOMPARE(targets(*w)[126], Target(5, 0, 0));
        QCOMPARE(targets(*w)[127], Target(5, 1, 0));
        // And the window says what is left out.
        fixture::show_whole(*w);
        const QLabel *limit = w->findChild<QLabel *>(QStringLiteral("limit"));
        QVERIFY(limit->isVisible());
        QCOMPARE(limit->text(), QStringLiteral("Showing 128 of %1 targets").arg(devices * 2 + 4));
        QCOMPARE(limit->toolTip(),
                 QStringLiteral("Left out: device channels (%1), loopback channels (2)")
                     .arg(devices * 2 - 126));
    }

    // Exactly at the limit: every target has its strip, and nothing is said.
    zarn::sim::Topology t = fixture::empty_topology();
    t.device_channels.assign(63, 2);
    t.loop_channels = {1, 1};
    TestDaemon d(t);
    auto w = fixture::make_window(d.path());
    QCOMPARE(fixture::strip_count(*w), 128);
    QCOMPARE(targets(*w).back(), Target(1, 0, 1));
    fixture::show_whole(*w);
    QVERIFY(w->findChild<QLabel *>(QStringLiteral("limit"))->isHidden());
}

void TestMainWindow::window_layout_title_icon_timer_data() {
    QTest::addColumn<bool>("device");
    QTest::newRow("socket") << false;
    QTest::newRow("character device") << true;
}

void TestMainWindow::window_layout_title_icon_timer() {
    QFETCH(bool, device);
    TestDaemon d(example_topology());
    qputenv("ZARN_PRELOAD_DEVICE", "/dev/zero");
    qputenv("ZARN_PRELOAD_SOCKET", d.path());
    const char *const path = device ? "/dev/zero" : d.path();
    auto w = fixture::make_window(path, true);
    // A socket may lead to another machine: the window names it.
    QCOMPARE(w->windowTitle(), device ? QStringLiteral("Zarnmix Control")
                                      : QStringLiteral("Zarnmix Control - %1").arg(path));
    QCOMPARE(w->status_line->isHidden(), device);
    if (!device) {
        QCOMPARE(w->status_line->label->text(), QStringLiteral("Connected to %1").arg(path));
        // An offer shows over it, and once dismissed the line names the socket again.
        w->status_line->offer(QStringLiteral("Offer"), QStringLiteral("Take"));
        w->status_line->close_button->click();
        QCOMPARE(w->status_line->label->text(), QStringLiteral("Connected to %1").arg(path));
        QVERIFY(w->status_line->close_button->isHidden());
    }
    QVERIFY(!w->windowIcon().isNull());
    QCOMPARE(QIcon(QStringLiteral(":/zarnmix_ctl.png")).availableSizes(),
             QList<QSize>({QSize(48, 48)}));
    QCOMPARE(w->widget(), static_cast<QWidget *>(w->main_grid));
    QVERIFY(!w->widgetResizable());
    QCOMPARE(w->main_grid->itemAtPosition(1, 0)->widget(), static_cast<QWidget *>(w->strip_grid));
    QCOMPARE(w->main_grid->itemAtPosition(1, 0)->alignment(), Qt::Alignment());
    // The rows (see the panel wiring test).
    QCOMPARE(w->main_grid->QGridLayout::count(), 7);
    QVERIFY(!w->eq_copy_source);
    QVERIFY(!w->compressor_copy_source);
    QVERIFY(w->fd >= 0);
    QCOMPARE(w->device_path, path);
    QCOMPARE(std::make_tuple(w->tick, w->watchdog_timer->parent(), w->watchdog_timer->interval()),
             std::make_tuple(0, static_cast<QObject *>(w.get()), 100));
    QVERIFY(w->watchdog_timer->isActive());

    // Running free, each tick is one probe.
    fixture::show_whole(*w);
    d.clear_requests();
    const int before = w->tick;
    QTRY_VERIFY(w->tick >= before + 3);
    w->watchdog_timer->stop();
    QCOMPARE(d.count(zarn::REQ_PROBE), std::size_t(w->tick - before));
}

namespace {

bool controls_enabled(const ZARNMainWindow &w) {
    return static_cast<QWidget *>(w.strip_grid)->isEnabled() && w.delay_locator->isEnabled() &&
           w.record_status->isEnabled() && w.add_options->isEnabled() && w.sys_info->isEnabled();
}

bool controls_disabled(const ZARNMainWindow &w) {
    return !static_cast<QWidget *>(w.strip_grid)->isEnabled() && !w.delay_locator->isEnabled() &&
           !w.record_status->isEnabled() && !w.add_options->isEnabled() && !w.sys_info->isEnabled();
}

bool is_write(std::uint32_t code) {
    using namespace zarn;
    for (std::uint32_t c :
         {REQ_DEV_CONFIG_SET, REQ_LOOP_CONFIG_SET, REQ_INPUT_MON_SET, REQ_OUTPUT_MON_SET,
          REQ_LOCAL_MON_SET, REQ_DEV_COMP_SET, REQ_LOOP_COMP_SET, REQ_MAIN_COMP_SET,
          REQ_DEV_RX_FILTER_SET, REQ_DEV_TX_FILTER_SET, REQ_LOOP_RX_FILTER_SET,
          REQ_LOOP_TX_FILTER_SET, REQ_DELAY_LOCATOR_SET, REQ_RECORDING_SET})
        if (code == c)
            return true;
    return false;
}

} // namespace

void TestMainWindow::no_daemon_at_start_then_discovery() {
    TestDaemon d(example_topology());
    d.stop();
    auto w = fixture::make_window(d.path(), true);
    QCOMPARE(w->fd, -1);
    QCOMPARE(fixture::strip_count(*w), 0);
    QCOMPARE(w->strip_grid->QGridLayout::count(), 0);
    QCOMPARE(w->windowTitle(),
             QStringLiteral("Zarnmix Control - not connected (%1)").arg(QString(d.path())));
    QVERIFY(controls_disabled(*w));
    fixture::show_whole(*w);
    QTest::qWait(350);
    QCOMPARE(w->tick, 0);
    QCOMPARE(w->fd, -1);
    // The window itself says what it waits for.
    const QLabel *waiting = w->findChild<QLabel *>(QStringLiteral("waiting"));
    QVERIFY(waiting != nullptr);
    QVERIFY(waiting->isVisible());
    QCOMPARE(waiting->text(), QStringLiteral("Waiting for the mixer daemon at %1").arg(d.path()));

    // Once the daemon is there, the first successful probe discovers the
    // strips and builds them, their windows and the diagram as at start.
    d.start();
    QTRY_VERIFY(w->tick > 0);
    w->watchdog_timer->stop();
    QVERIFY(w->fd >= 0);
    QCOMPARE(targets(*w).size(), std::size_t{14});
    QCOMPARE(targets(*w).back(), Target(6, 1, 0));
    QCOMPARE(w->strip_grid->QGridLayout::count(), 14);
    QVERIFY(w->strips[0]->compressor != nullptr);
    QVERIFY(w->strips[0]->rx_equalizer != nullptr);
    QCOMPARE(w->strips[0]->connect_row, 4);
    QLayoutItem *top = static_cast<QGridLayout *>(w->main_grid)->itemAtPosition(0, 0);
    QVERIFY(top != nullptr);
    QVERIFY(top->widget() == w->connect_panel);
    QCOMPARE(w->windowTitle(), QStringLiteral("Zarnmix Control - %1").arg(d.path()));
    QVERIFY(controls_enabled(*w));
    for (auto &r : d.requests())
        QVERIFY(!is_write(r.code));
    // The size the window would have opened at with these strips, not the
    // empty window's.
    QVERIFY(!waiting->isVisible());
    QCOMPARE(w->size(), zarn::opening_size(*w, w->screen()->availableGeometry()));
}

void TestMainWindow::daemon_restarted_with_other_state_is_read_again() {
    TestDaemon d(example_topology());
    auto w = fixture::make_window(d.path());
    fixture::show_whole(*w);
    ZARNController *s = w->strips[1]; // device 0, channel 1
    ZARNEqualizer *shown_eq = s->tx_equalizer;
    shown_eq->show();
    d.clear_requests();

    w->handle_watchdog();
    QCOMPARE(w->tick, 1);
    QCOMPARE(d.count(zarn::REQ_PROBE), std::size_t{1});
    QCOMPARE(peak_sequence(d).size(), std::size_t{14}); // one per meter
    QCOMPARE(w->windowTitle(), QStringLiteral("Zarnmix Control - %1").arg(d.path()));

    // Gone: the controls grey out and the title says so; nothing is sent.
    d.stop();
    for (int i = 0; i < 2; ++i) {
        w->handle_watchdog();
        QCOMPARE(std::make_pair(w->fd, w->tick), std::make_pair(-1, 1));
    }
    QVERIFY(controls_disabled(*w));
    QVERIFY(!shown_eq->isEnabled());
    QVERIFY(!s->isEnabled());
    QVERIFY(w->windowTitle().startsWith(QStringLiteral("Zarnmix Control - not connected (")));

    // Back with other settings, as after a restart of the daemon.
    d.with_engine([](zarn::sim::Engine &e) {
        zarn::ChannelConfig &c = e.devices[0].channels[1].config;
        std::strcpy(c.name, "Guitar");
        c.rx_amp = 40;
        c.tx_mute = 0;
        c.rx_polarity = 1;
        c.delay = 90;
        c.delay_limit = 64;
        e.devices[0].channels[1].tx_filter.active = false;
        e.devices[0].compressor.knee = 77;
        e.recording = 1;
        e.system_info.sample_rate = 44100;
    });
    s->tx_mute_box->setChecked(true); // stale before the restart
    d.clear_requests();
    d.start();
    w->handle_watchdog();
    QVERIFY(w->fd >= 0);
    QCOMPARE(w->tick, 2);
    QCOMPARE(tick_peaks(d), std::size_t{14});
    // One read per record (a filter's length, then its coefficients), then
    // the tick's reads, with the live view's reads of one strip (device 1,
    // channel 0: its record, two filter lengths and the two filters, which
    // hidden windows fetch too); nothing written.
    using namespace zarn;
    QCOMPARE(d.requests().front().code, REQ_PROBE);
    for (auto &r : d.requests())
        QVERIFY2(!is_write(r.code), qPrintable(QString::number(r.code, 16)));
    QCOMPARE(std::make_tuple(d.count(REQ_DEV_CONFIG_GET), d.count(REQ_LOOP_CONFIG_GET),
                             d.count(REQ_INPUT_MON_GET), d.count(REQ_LOCAL_MON_GET),
                             d.count(REQ_DEV_TX_FILTER_GET), d.count(REQ_DEV_RX_FILTER_GET),
                             d.count(REQ_RECORDING_GET), d.count(REQ_SYSTEM_INFO)),
             std::make_tuple(std::size_t{5 + 1}, std::size_t{2}, std::size_t{2}, std::size_t{1},
                             std::size_t{2 + 2}, std::size_t{0 + 2}, std::size_t{1},
                             std::size_t{1}));
    QCOMPARE(w->windowTitle(), QStringLiteral("Zarnmix Control - %1").arg(d.path()));
    QVERIFY(controls_enabled(*w));
    QVERIFY(shown_eq->isEnabled());

    // The strip, its windows and the panels show the daemon's new state.
    QCOMPARE(s->title(), QStringLiteral("Guitar - Ch1"));
    QCOMPARE(std::make_tuple(s->rx_gain_label->text(), s->tx_mute_box->isChecked(),
                             s->rx_polarity_box->isChecked(), s->delay_box->value()),
             std::make_tuple(QString("31"), false, true, 64));
    QCOMPARE(shown_eq->state_map->selected, 0);
    QCOMPARE(w->strips[0]->compressor->knee_box->value(), 77);
    QVERIFY(!w->record_status->start_button->isEnabled());
    QVERIFY(w->record_status->stop_button->isEnabled());
    QVERIFY(w->sys_info->label->text().startsWith(QStringLiteral("44100 Hz")));

    // The next change sends the daemon's new record with one field changed.
    const auto daemon_copy =
        d.with_engine([](zarn::sim::Engine &e) { return e.devices[0].channels[1].config; });
    d.clear_requests();
    s->tx_polarity_box->setChecked(true);
    auto expected = daemon_copy;
    expected.tx_polarity = 1;
    const auto writes = with_code(d, REQ_DEV_CONFIG_SET);
    QCOMPARE(writes.size(), std::size_t{1});
    QCOMPARE(writes[0].record,
             std::vector<unsigned char>(reinterpret_cast<const unsigned char *>(&expected),
                                        reinterpret_cast<const unsigned char *>(&expected + 1)));

    // A hidden equalizer window fetches its filter only when shown.
    d.clear_requests();
    s->rx_equalizer->show();
    QCOMPARE(d.count(REQ_DEV_RX_FILTER_GET), std::size_t{2}); // length, then coefficients
    s->rx_equalizer->hide();
    shown_eq->hide();

    // Years of ticks later the count wraps, and the meters still see it move.
    w->tick = std::numeric_limits<int>::max();
    d.clear_requests();
    w->handle_watchdog();
    QCOMPARE(w->tick, std::numeric_limits<int>::min());
    QCOMPARE(peak_sequence(d).size(), std::size_t{14});
}

void TestMainWindow::daemon_stops_answering() {
    TestDaemon d(example_topology());
    auto w = fixture::make_window(d.path());
    fixture::show_whole(*w);
    w->handle_watchdog();
    QCOMPARE(w->tick, 1);

    // A reply cut halfway fails the probe and closes the device at once; the
    // next tick reopens, reads everything again and the meters move again.
    d.clear_requests();
    d.cut_next_reply();
    w->handle_watchdog();
    QCOMPARE(std::make_tuple(w->fd, w->tick, d.requests().size()),
             std::make_tuple(-1, 1, std::size_t{1}));
    QCOMPARE(w->windowTitle(),
             QStringLiteral("Zarnmix Control - %1 - daemon not answering").arg(d.path()));
    QVERIFY(controls_disabled(*w));
    w->handle_watchdog();
    QVERIFY(w->fd >= 0);
    QCOMPARE(w->tick, 2);
    QCOMPARE(tick_peaks(d), std::size_t{14});
    // Every record read again, and one strip's by the live view.
    QCOMPARE(d.count(zarn::REQ_DEV_CONFIG_GET), std::size_t{5 + 1});
    QVERIFY(controls_enabled(*w));

    // An unanswered probe runs into the time limit: closed, and left alone
    // for the next ticks instead of being reopened at once.
    d.clear_requests();
    d.silence_next_reply();
    w->handle_watchdog();
    QCOMPARE(std::make_tuple(w->fd, w->tick, d.requests().size()),
             std::make_tuple(-1, 2, std::size_t{1}));
    for (int i = 0; i < 3; ++i)
        w->handle_watchdog();
    QCOMPARE(std::make_tuple(w->fd, d.requests().size()), std::make_tuple(-1, std::size_t{1}));
}

void TestMainWindow::hung_daemon_is_backed_off_data() {
    QTest::addColumn<bool>("device");
    QTest::newRow("socket") << false;
    // A character device whose ioctl the linked preload library serves from
    // the daemon, and which blocks while the daemon does not answer.
    QTest::newRow("character device") << true;
}

void TestMainWindow::hung_daemon_is_backed_off() {
    QFETCH(bool, device);
    TestDaemon d(example_topology());
    qputenv("ZARN_PRELOAD_DEVICE", "/dev/zero");
    qputenv("ZARN_PRELOAD_SOCKET", d.path());
    auto w = fixture::make_window(device ? "/dev/zero" : d.path());
    QCOMPARE(fixture::strip_count(*w), 14);
    // From now on the daemon takes every request and never answers.
    d.set_hook([&d](std::uint32_t, unsigned char *, std::vector<double> &) {
        d.silence_next_reply();
        return std::optional<int>();
    });
    d.clear_requests();
    QElapsedTimer clock;
    qint64 blocked = 0;
    clock.start();
    while (clock.elapsed() < 6500) {
        QElapsedTimer tick;
        tick.start();
        w->handle_watchdog();
        blocked += tick.elapsed();
        QTest::qWait(100);
    }
    // Attempts at 0 s and after 1 s + 3 s; the next would come 5 s later.
    QCOMPARE(d.count(zarn::REQ_PROBE), std::size_t{2});
    QVERIFY2(blocked < 2500, qPrintable(QString::number(blocked)));
    const QString named = device ? QString() : QStringLiteral(" - ") + d.path();
    QCOMPARE(w->windowTitle(),
             QStringLiteral("Zarnmix Control%1 - daemon not answering").arg(named));
    // The window says so too, with the wait left, and a button that ends it.
    const QLabel *line = w->findChild<QLabel *>(QStringLiteral("waiting"));
    QVERIFY(line->isVisibleTo(w.get()));
    QVERIFY2(line->text().startsWith(QStringLiteral("The daemon is not answering, next try in ")),
             qPrintable(line->text()));
    d.clear_hook();
    auto *try_now = line->parentWidget()->findChild<QPushButton *>();
    try_now->click();
    QCOMPARE(w->windowTitle(), QStringLiteral("Zarnmix Control") + named);
    QVERIFY(!line->isVisibleTo(w.get()));
}

namespace {

// Where every strip is, in the window and in what scrolls.
std::vector<std::pair<QPoint, QPoint>> strip_places(const ZARNMainWindow &w) {
    std::vector<std::pair<QPoint, QPoint>> out;
    for (ZARNController *s : w.strips)
        if (s)
            out.emplace_back(s->mapTo(&w, QPoint()), s->pos());
    return out;
}

} // namespace

// Scrolled to the middle of the strips, the daemon goes and comes back: the
// bar at the top says so, over the window's whole width, and no strip moves,
// on the screen or in the view.
void TestMainWindow::message_bar_moves_nothing() {
    TestDaemon d(example_topology());
    auto w = fixture::make_window(d.path());
    fixture::show_whole(*w);
    w->watchdog_timer->stop();
    w->resize(w->width(), 400);
    QScrollBar *bar = w->verticalScrollBar();
    bar->setValue(bar->maximum() / 2);
    w->handle_watchdog();
    const auto before = strip_places(*w);
    const QWidget *message = w->findChild<QWidget *>(QStringLiteral("message_bar"));
    QVERIFY(message->isHidden());
    d.stop();
    w->handle_watchdog();
    QVERIFY(message->isVisible());
    QCOMPARE(message->geometry().top(), w->viewport()->geometry().top() - message->height());
    QCOMPARE(strip_places(*w), before);
    // The bar runs the whole width, and the scroll bar starts below it.
    QCOMPARE(message->geometry().right(), w->contentsRect().right());
    QCoreApplication::sendPostedEvents();
    QCOMPARE(bar->mapTo(w.get(), QPoint()).y(), message->geometry().bottom() + 1);
    d.start();
    w->handle_watchdog();
    QVERIFY(message->isHidden());
    QCOMPARE(strip_places(*w), before);
}

void TestMainWindow::closing_the_window_closes_its_windows() {
    TestDaemon d(example_topology());
    auto w = fixture::make_window(d.path(), true);
    fixture::show_whole(*w);
    w->strips[0]->compressor->show();
    w->strips[2]->tx_equalizer->show();
    QVERIFY(w->close());
    QVERIFY(!w->watchdog_timer->isActive());
    for (QWidget *top : QApplication::topLevelWidgets())
        QVERIFY2(!top->isVisible(), qPrintable(top->windowTitle()));
}

void TestMainWindow::strip_windows_stand_alone() {
    TestDaemon d(example_topology());
    auto w = fixture::make_window(d.path());
    fixture::show_whole(*w);
    // Qt children of their strip, yet not kept above the main window.
    for (QWidget *window : {static_cast<QWidget *>(w->strips[0]->compressor),
                            static_cast<QWidget *>(w->strips[2]->tx_equalizer)}) {
        window->show();
        QVERIFY(window->isWindow());
        QCOMPARE(window->windowHandle()->transientParent(), nullptr);
    }
}

void TestMainWindow::watchdog_walks_past_null_entries() {
    zarn::sim::Topology t = fixture::empty_topology();
    t.input_monitors = 3;
    TestDaemon d(t);
    auto w = fixture::make_window(d.path());
    fixture::show_whole(*w);
    d.clear_requests();
    ZARNController *middle = w->strips[1];
    w->strips[1] = nullptr;
    w->handle_watchdog();
    w->strips[1] = middle;
    using zarn::REQ_INPUT_MON_PEAK;
    const std::vector<std::tuple<std::uint32_t, int, int>> expected = {{REQ_INPUT_MON_PEAK, 0, 0},
                                                                       {REQ_INPUT_MON_PEAK, 2, 0}};
    QCOMPARE(peak_sequence(d), expected);
}

// One tick: the probe, then strip by strip its meter and its compressor
// window, then the delay locator.
void TestMainWindow::tick_order() {
    TestDaemon d(example_topology());
    auto w = fixture::make_window(d.path());
    fixture::show_whole(*w);
    using namespace zarn;
    // The live view's reads of this tick's tenth of the strips ride along.
    const auto tick_codes = [&d, &w] {
        d.clear_requests();
        w->handle_watchdog();
        std::vector<std::uint32_t> codes;
        for (auto &r : d.requests()) {
            if (!is_filter_get(r.code) && r.code != REQ_DEV_CONFIG_GET &&
                r.code != REQ_LOOP_CONFIG_GET && r.code != REQ_INPUT_MON_GET &&
                r.code != REQ_OUTPUT_MON_GET && r.code != REQ_LOCAL_MON_GET)
                codes.push_back(r.code);
        }
        return codes;
    };
    // Hidden compressor windows are not read.
    // clang-format off
    const std::vector<std::uint32_t> hidden = {
        REQ_PROBE, REQ_DEV_PEAK, REQ_DEV_PEAK, REQ_DEV_PEAK, REQ_DEV_PEAK, REQ_DEV_PEAK,
        REQ_LOOP_PEAK, REQ_LOOP_PEAK, REQ_INPUT_MON_PEAK, REQ_INPUT_MON_PEAK, REQ_LOCAL_MON_PEAK,
        REQ_MAIN_OUTPUT_PEAK, REQ_MAIN_OUTPUT_PEAK, REQ_MAIN_INPUT_PEAK, REQ_MAIN_INPUT_PEAK,
        REQ_DELAY_LOCATOR_GET};
    QCOMPARE(tick_codes(), hidden);
    for (int i : {0, 2, 5, 10})
        w->strips[i]->compressor->show();
    const std::vector<std::uint32_t> shown = {
        REQ_PROBE, REQ_DEV_PEAK, REQ_DEV_COMP_GET, REQ_DEV_PEAK, REQ_DEV_PEAK, REQ_DEV_COMP_GET,
        REQ_DEV_PEAK, REQ_DEV_PEAK, REQ_LOOP_PEAK, REQ_LOOP_COMP_GET, REQ_LOOP_PEAK,
        REQ_INPUT_MON_PEAK, REQ_INPUT_MON_PEAK, REQ_LOCAL_MON_PEAK, REQ_MAIN_OUTPUT_PEAK,
        REQ_MAIN_COMP_GET, REQ_MAIN_OUTPUT_PEAK, REQ_MAIN_INPUT_PEAK, REQ_MAIN_INPUT_PEAK,
        REQ_DELAY_LOCATOR_GET};
    // clang-format on
    QCOMPARE(tick_codes(), shown);
}

namespace {

std::size_t config_reads(const TestDaemon &d) {
    std::size_t n = 0;
    for (auto &r : d.requests()) {
        for (int kind = 0; kind < zarn::KIND_COUNT; ++kind)
            if (zarn::kind_info(kind)->has_config() && r.code == zarn::kind_info(kind)->config_get)
                ++n;
    }
    return n;
}

std::size_t strips_in_view_with_config(const ZARNMainWindow &w) {
    std::size_t n = 0;
    for (ZARNController *s : w.strips)
        if (s && !s->visibleRegion().isEmpty() && zarn::kind_info(s->kind)->has_config())
            ++n;
    return n;
}

} // namespace

// With the diagram scrolled away, the live view reads only the strips in
// view, and a strip is read as it comes into view.
void TestMainWindow::live_view_reads_what_is_in_view() {
    TestDaemon d(example_topology());
    auto w = fixture::make_window(d.path());
    fixture::show_whole(*w);
    w->resize(w->width(), 300);
    QWidget *content = static_cast<QWidget *>(w->main_grid);
    w->verticalScrollBar()->setValue(w->strips[0]->mapTo(content, QPoint()).y());
    const std::size_t in_view = strips_in_view_with_config(*w);
    QVERIFY(in_view > 0);
    QVERIFY(in_view < 10);
    d.clear_requests();
    for (int i = 0; i < 10; ++i)
        w->handle_watchdog();
    QCOMPARE(config_reads(d), in_view);

    d.clear_requests();
    w->verticalScrollBar()->setValue(w->strips[9]->mapTo(content, QPoint()).y());
    QVERIFY(w->strips[0]->visibleRegion().isEmpty());
    QVERIFY(config_reads(d) > 0);
    QCOMPARE(config_reads(d), strips_in_view_with_config(*w));
}

namespace {

// The strips whose configuration was read, by index, in the order read.
std::vector<int> strips_read(const TestDaemon &d, const ZARNMainWindow &w) {
    std::vector<int> out;
    for (auto &r : fixture::with_code(d, zarn::REQ_DEV_CONFIG_GET)) {
        const auto rec = as<zarn::ChannelConfig>(r);
        for (int i = 0; i < MAX_STRIPS && w.strips[i]; ++i)
            if (w.strips[i]->kind == zarn::KIND_DEVICE &&
                w.strips[i]->target() == zarn::Target{0, rec.number, rec.channel})
                out.push_back(i);
    }
    return out;
}

} // namespace

// With only the lower part of the diagram in view, the devices whose rows
// lie above it draw nothing there and are left alone; those whose routes
// cross it are read, their record only, as soon as they come into view.
void TestMainWindow::diagram_keeps_live_only_the_routes_in_view() {
    TestDaemon d(example_topology());
    auto w = fixture::make_window(d.path());
    fixture::show_whole(*w);
    w->resize(w->width(), 120);
    QWidget *content = static_cast<QWidget *>(w->main_grid);
    w->verticalScrollBar()->setValue(w->strips[0]->mapTo(content, QPoint()).y());
    QVERIFY(w->connect_panel->visibleRegion().isEmpty());
    const QLineEdit *above = w->strips[1]->input_edit;
    d.clear_requests();
    w->verticalScrollBar()->setValue(above->mapTo(content, QPoint(0, above->height())).y() + 8);
    QVERIFY(w->strips[0]->visibleRegion().isEmpty());
    QVERIFY(!w->connect_panel->visibleRegion().isEmpty());
    const std::vector<int> second_device = {2, 3, 4};
    QCOMPARE(strips_read(d, *w), second_device);

    d.clear_requests();
    for (int i = 0; i < 10; ++i)
        w->handle_watchdog();
    QCOMPARE(strips_read(d, *w), second_device);
    QCOMPARE(config_reads(d), second_device.size());
    const auto log = d.requests();
    QVERIFY(
        std::none_of(log.begin(), log.end(), [](auto &r) { return zarn::is_filter_get(r.code); }));
}

namespace {

QStringList *layout_messages = nullptr;

void keep_layout_messages(QtMsgType, const QMessageLogContext &, const QString &message) {
    if (message.contains(QLatin1String("Layout")))
        layout_messages->append(message);
}

} // namespace

// Targets added and removed while the panel runs, through the daemon's own
// options: surviving strips keep their widgets and open windows.
// A device added in front of the strip at the top of the view: that strip
// stays where it was on the screen.
void TestMainWindow::a_rebuild_keeps_the_view_in_place() {
    TestDaemon d(example_topology());
    auto w = fixture::make_window(d.path());
    fixture::show_whole(*w);
    w->resize(w->width(), 400);
    QWidget *content = static_cast<QWidget *>(w->main_grid);
    ZARNController *loop = w->strips[5];
    w->verticalScrollBar()->setValue(loop->mapTo(content, QPoint()).y() + 5);
    const QPoint before = loop->mapTo(w.get(), QPoint());
    const int old_y = loop->mapTo(content, QPoint()).y();
    w->add_options->line_edit->setText(QStringLiteral("-add_device=1"));
    w->add_options->add_button->click();
    QCOMPARE(targets(*w).size(), std::size_t{15});
    QCOMPARE(w->strips[6], loop);
    QVERIFY(loop->mapTo(content, QPoint()).y() > old_y);
    QCOMPARE(loop->mapTo(w.get(), QPoint()), before);
}

void TestMainWindow::ctrl_f_filters_the_strips() {
    TestDaemon d(example_topology());
    auto w = fixture::make_window(d.path());
    fixture::show_whole(*w);
    const QList<QAction *> actions = w->actions();
    const auto find = std::find_if(actions.begin(), actions.end(), [](QAction *a) {
        return a->shortcut() == QKeySequence(QKeySequence::Find);
    });
    QVERIFY(find != actions.end());
    (*find)->trigger();
    auto *filter = w->findChild<QLineEdit *>(QStringLiteral("strip_filter"));
    QVERIFY(filter->isVisible());
    const auto shown = [&w] {
        QStringList titles;
        for (ZARNController *s : w->strips)
            if (s && s->isVisible())
                titles << s->title();
        return titles;
    };
    const QString dsp1 = w->strips[2]->title().section(QLatin1Char(' '), 0, 0);
    filter->setText(dsp1.toUpper());
    QCOMPARE(shown(),
             QStringList({w->strips[2]->title(), w->strips[3]->title(), w->strips[4]->title()}));
    // Kept across a rebuild.
    w->add_options->line_edit->setText(QStringLiteral("-add_device=1"));
    w->add_options->add_button->click();
    QCOMPARE(shown().size(), 3);
    QTest::keyClick(filter, Qt::Key_Escape);
    QVERIFY(filter->text().isEmpty());
    QVERIFY(!filter->isVisible());
    QCOMPARE(shown().size(), 15);
}

namespace {

ZARNFold *fold_of(const ZARNMainWindow &w, const char *key) {
    return w.findChild<ZARNFold *>(QStringLiteral("fold_") + QLatin1String(key));
}

// The settings are shared by the whole suite: no panel stays folded.
struct Unfolded {
    Unfolded() { clear(); }
    ~Unfolded() { clear(); }
    static void clear() {
        for (const char *key : {"diagram", "setup"})
            zarn::kept::set_value(ZARNFold::settings_key(QLatin1String(key)), QVariant());
    }
};

} // namespace

void TestMainWindow::folding_is_kept_for_a_new_window() {
    const Unfolded unfolded;
    TestDaemon d(example_topology());
    {
        auto w = fixture::make_window(d.path());
        fixture::show_whole(*w);
        QVERIFY(w->connect_panel->isVisible());
        // By keyboard, as a user without a mouse would.
        fold_of(*w, "diagram")->setFocus(Qt::TabFocusReason);
        QTest::keyClick(fold_of(*w, "diagram"), Qt::Key_Space);
        QVERIFY(w->connect_panel->isHidden());
        QTest::mouseClick(fold_of(*w, "setup"), Qt::LeftButton);
        QVERIFY(w->setup_panel->isHidden());
        // The header stays where the panel began.
        QTRY_COMPARE(fold_of(*w, "setup")->y(), w->main_grid->cellRect(6, 0).top());
    }
    // A value the panel never wrote is no fold.
    zarn::kept::set_value(ZARNFold::settings_key(QStringLiteral("delay_locator")),
                          QStringLiteral("yes"));
    auto w = fixture::make_window(d.path());
    fixture::show_whole(*w);
    QVERIFY(w->connect_panel->isHidden());
    QVERIFY(w->setup_panel->isHidden());
    QVERIFY(w->delay_locator->isVisible());
    QVERIFY(fold_of(*w, "diagram")->isVisible());
    // The diagram made anew for other targets stays folded.
    w->add_options->line_edit->setText(QStringLiteral("-add_device=1"));
    w->add_options->add_button->click();
    QCOMPARE(targets(*w).size(), std::size_t{15});
    QVERIFY(w->connect_panel->isHidden());
    zarn::kept::set_value(ZARNFold::settings_key(QStringLiteral("delay_locator")), QVariant());
}

void TestMainWindow::strips_flow_into_columns_data() {
    QTest::addColumn<double>("strips_wide");
    QTest::addColumn<int>("columns");
    QTest::newRow("one") << 1.4 << 1;
    QTest::newRow("two") << 2.5 << 2;
    QTest::newRow("four, filtered") << 4.5 << 4;
}

// Row by row in discovery order, as many columns as the view holds; the
// strip at the top of the view stays where it was.
void TestMainWindow::strips_flow_into_columns() {
    QFETCH(double, strips_wide);
    QFETCH(int, columns);
    const Unfolded unfolded;
    TestDaemon d(example_topology());
    auto w = fixture::make_window(d.path());
    fixture::show_whole(*w);
    const bool filtered = QByteArray(QTest::currentDataTag()).contains("filtered");
    if (filtered)
        w->findChild<QLineEdit *>(QStringLiteral("strip_filter"))->setText(QStringLiteral("dsp"));
    int widest = 0;
    for (ZARNController *s : w->strips)
        widest = s ? std::max(widest, s->sizeHint().width()) : widest;
    w->resize(w->width(), 500);
    QWidget *content = static_cast<QWidget *>(w->main_grid);
    ZARNController *top = w->strips[3];
    w->verticalScrollBar()->setValue(top->mapTo(content, QPoint()).y() + 5);
    const int at = top->mapTo(w.get(), QPoint()).y();

    w->resize(static_cast<int>(strips_wide * widest) + 60, 500);
    std::vector<ZARNController *> shown;
    for (ZARNController *s : w->strips)
        if (s && (!filtered || s->title().contains(QStringLiteral("dsp"))))
            shown.push_back(s);
    QCOMPARE(static_cast<std::size_t>(w->strip_grid->QGridLayout::count()), shown.size());
    for (std::size_t i = 0; i < shown.size(); ++i) {
        QLayoutItem *item = w->strip_grid->itemAtPosition(static_cast<int>(i) / columns,
                                                          static_cast<int>(i) % columns);
        QVERIFY(item);
        QCOMPARE(item->widget(), shown[i]);
    }
    QVERIFY(!w->horizontalScrollBar()->isVisible());
    QCOMPARE(top->mapTo(w.get(), QPoint()).y(), at);
}

// The diagram draws from every strip; folded, only the strips in view are
// read, and unfolded it shows every strip read anew.
void TestMainWindow::a_folded_diagram_takes_its_strips_out_of_view() {
    const Unfolded unfolded;
    TestDaemon d(example_topology());
    auto w = fixture::make_window(d.path());
    fixture::show_whole(*w);
    w->resize(w->width(), 300);
    w->verticalScrollBar()->setValue(0);
    const auto tick_reads = [&d, &w] {
        d.clear_requests();
        for (int i = 0; i < 10; ++i)
            w->handle_watchdog();
        return config_reads(d);
    };
    std::size_t with_config = 0;
    for (ZARNController *s : w->strips)
        with_config += s && zarn::kind_info(s->kind)->has_config();
    // Open, the diagram keeps live the strips whose routes it shows.
    const std::size_t open_reads = tick_reads();
    fold_of(*w, "diagram")->click();
    const std::size_t in_view = strips_in_view_with_config(*w);
    QVERIFY(in_view < open_reads);
    QCOMPARE(tick_reads(), in_view);
    d.clear_requests();
    fold_of(*w, "diagram")->click();
    QCOMPARE(config_reads(d), with_config);
}

void TestMainWindow::targets_that_come_and_go_are_followed() {
    TestDaemon d(example_topology());
    auto w = fixture::make_window(d.path());
    ZARNController *kept = w->strips[1];
    kept->rx_equalizer->show();
    QPointer<ZARNEqualizer> loop_eq = w->strips[5]->rx_equalizer;
    loop_eq->show();

    w->add_options->line_edit->setText(QStringLiteral("-add_device=1 -remove_loop=0"));
    w->add_options->add_button->click();
    const std::vector<Target> expected = {{0, 0, 0}, {0, 1, 0}, {0, 0, 1}, {0, 1, 1}, {0, 2, 1},
                                          {0, 0, 2}, {2, 0, 0}, {2, 0, 1}, {4, 0, 0}, {5, 0, 0},
                                          {5, 1, 0}, {6, 0, 0}, {6, 1, 0}};
    QCOMPARE(targets(*w), expected);
    QCOMPARE(w->strips[1], kept);
    QVERIFY(kept->rx_equalizer->isVisible());
    QVERIFY(loop_eq.isNull());

    // A change behind the panel's back shows within 2 s of ticks.
    d.with_engine([](zarn::sim::Engine &e) {
        unsigned char options[1024] = "-remove_device=2";
        std::vector<double> none;
        e.handle(zarn::REQ_ADD_OPTIONS, options, none);
    });
    for (int i = 0; i < 20; ++i)
        w->handle_watchdog();
    QCOMPARE(targets(*w).size(), expected.size() - 1);
    QCOMPARE(w->strips[1], kept);

    // F5 looks at once.
    d.with_engine([](zarn::sim::Engine &e) {
        unsigned char options[1024] = "-add_loop=1";
        std::vector<double> none;
        e.handle(zarn::REQ_ADD_OPTIONS, options, none);
    });
    const QList<QAction *> actions = w->actions();
    const auto f5 = std::find_if(actions.begin(), actions.end(), [](QAction *a) {
        return a->shortcut() == QKeySequence(Qt::Key_F5);
    });
    QVERIFY(f5 != actions.end());
    (*f5)->trigger();
    QCOMPARE(targets(*w).size(), expected.size());
    d.with_engine([](zarn::sim::Engine &e) {
        unsigned char options[1024] = "-remove_loop=0";
        std::vector<double> none;
        e.handle(zarn::REQ_ADD_OPTIONS, options, none);
    });
    (*f5)->trigger();

    // Rebuilt a hundred times, the strips and their windows leave nothing
    // behind (the sanitizer run checks the memory too).
    const int windows = QApplication::topLevelWidgets().size();
    for (int i = 0; i < 100; ++i) {
        w->add_options->line_edit->setText(i % 2 ? QStringLiteral("-remove_device=2")
                                                 : QStringLiteral("-add_device=2"));
        w->add_options->add_button->click();
    }
    QCOMPARE(QApplication::topLevelWidgets().size(), windows);
    QCOMPARE(targets(*w).size(), expected.size() - 1);
}

void TestMainWindow::steady_targets_are_checked_in_one_exchange() {
    TestDaemon d(example_topology());
    auto w = fixture::make_window(d.path());
    const auto exchanges_of_tick = [&w](int tick) {
        w->tick = tick - 1;
        const unsigned long before = zarn::ctl_round_trips();
        w->handle_watchdog();
        return zarn::ctl_round_trips() - before;
    };
    exchanges_of_tick(1); // the first answer reads everything
    // Ticks 10 and 20 read the same slice of the live view; the 20th also
    // checks the targets, which changed in nothing: one more exchange, and
    // no discovery walk.
    const unsigned long plain = exchanges_of_tick(10);
    QCOMPARE(exchanges_of_tick(20), plain + 1);
}

void TestMainWindow::keyboard_goes_strip_by_strip_row_by_row() {
    TestDaemon d(example_topology());
    auto w = fixture::make_window(d.path());
    fixture::show_whole(*w);
    w->activateWindow();
    QVERIFY(QTest::qWaitForWindowActive(w.get()));
    ZARNController *s = w->strips[0];
    const std::vector<QWidget *> expected = {
        s->rx_mute_box,    s->rx_polarity_box,   s->src_channel_box, s->rx_up_button,
        s->rx_down_button, s->compressor_button, s->rx_eq_button,    s->delay_box,
        s->tx_mute_box,    s->tx_polarity_box,   s->dst_channel_box, s->tx_up_button,
        s->tx_down_button, s->tx_eq_button,      s->link_box,        w->strips[1]->rx_mute_box};
    s->rx_mute_box->setFocus(Qt::TabFocusReason);
    std::vector<QWidget *> visited = {QApplication::focusWidget()};
    for (std::size_t i = 1; i < expected.size(); ++i) {
        QTest::keyClick(QApplication::focusWidget(), Qt::Key_Tab);
        visited.push_back(QApplication::focusWidget());
    }
    QCOMPARE(visited, expected);
    // The diagram's fields take a click, not a Tab.
    QCOMPARE(s->input_edit->focusPolicy(), Qt::ClickFocus);
}

void TestMainWindow::windows_come_back_where_they_were() {
    TestDaemon d(example_topology());
    QRect eq_place;
    {
        auto w = fixture::make_window(d.path());
        w->setGeometry(40, 50, 700, 500);
        w->show();
        ZARNEqualizer *eq = w->strips[1]->tx_equalizer;
        eq->show();
        eq->move(300, 200);
        eq_place = eq->geometry();
        w->strips[2]->rx_equalizer->show(); // device 1, channel 0
        w->close();
    }
    // Device 1 is gone by the next start: its window does not come back.
    d.with_engine([](zarn::sim::Engine &e) { e.devices.pop_back(); });
    auto w = fixture::make_window(d.path());
    QVERIFY(zarn::window_places::restore(*w));
    QCOMPARE(w->geometry().size(), QSize(700, 500));
    QVERIFY(w->strips[1]->tx_equalizer->isVisible());
    QCOMPARE(w->strips[1]->tx_equalizer->geometry(), eq_place);
    const QWidgetList windows = QApplication::topLevelWidgets();
    QCOMPARE(
        std::count_if(windows.begin(), windows.end(), [](QWidget *t) { return t->isVisible(); }),
        1);
}

void TestMainWindow::every_control_has_its_own_accessible_name() {
    TestDaemon d(example_topology());
    auto w = fixture::make_window(d.path());
    fixture::show_whole(*w);
    ZARNController *s = w->strips[0];
    s->rx_equalizer->show();
    s->compressor->show();
    for (QWidget *window :
         {static_cast<QWidget *>(w.get()), static_cast<QWidget *>(s->rx_equalizer),
          static_cast<QWidget *>(s->compressor)}) {
        QStringList names;
        for (QWidget *c : window->findChildren<QWidget *>()) {
            // A spin box's line edit is reached through the box.
            if (!(c->focusPolicy() & Qt::TabFocus) || !c->isVisibleTo(window) ||
                qobject_cast<QAbstractSpinBox *>(c->parentWidget()))
                continue;
            QAccessibleInterface *a = QAccessible::queryAccessibleInterface(c);
            QVERIFY(a != nullptr);
            const QString name = a->text(QAccessible::Name);
            QVERIFY2(!name.isEmpty(), c->metaObject()->className());
            names << name;
        }
        names.sort();
        const QStringList unique(names.begin(), std::unique(names.begin(), names.end()));
        QCOMPARE(names.size(), unique.size());
    }
    QVERIFY(w->connect_panel->accessibleDescription().contains(QStringLiteral("from channel")));
}

void TestMainWindow::no_strips_no_layout_warning() {
    QStringList messages;
    layout_messages = &messages;
    const QtMessageHandler previous = qInstallMessageHandler(keep_layout_messages);
    {
        // No daemon, so no strips; shown, so the layouts are set up.
        auto w = fixture::make_window("/nonexistent/zmix.ctl");
        fixture::show_whole(*w);
    }
    qInstallMessageHandler(previous);
    layout_messages = nullptr;
    QCOMPARE(messages, QStringList());
}

void TestMainWindow::opens_wide_enough_for_the_strips() {
    TestDaemon d(example_topology());
    auto w = fixture::make_window(d.path());
    const QSize content = static_cast<QWidget *>(w->main_grid)->sizeHint();
    const QRect screen(0, 0, 1920, 4000);

    // Everything fits: the content's own size, no scroll bar at all.
    const QSize whole = zarn::opening_size(*w, screen);
    QVERIFY2(whole.width() < 1920 && whole.height() < 4000 * 85 / 100 &&
                 whole.width() >= content.width() && whole.height() >= content.height(),
             qPrintable(QStringLiteral("%1x%2").arg(whole.width()).arg(whole.height())));
    w->resize(whole);
    w->show();
    QVERIFY(QTest::qWaitForWindowExposed(w.get()));
    QVERIFY(!w->horizontalScrollBar()->isVisible());
    QVERIFY(!w->verticalScrollBar()->isVisible());

    // A lower screen cuts the height at 85% of it; the vertical scroll bar
    // then takes its room beside the strips, not from them.
    const QRect low(0, 0, 1920, content.height() / 2);
    const QSize cut = zarn::opening_size(*w, low);
    QCOMPARE(cut.height(), low.height() * 85 / 100);
    QVERIFY(cut.width() > whole.width());
    w->resize(cut);
    QTRY_VERIFY(w->verticalScrollBar()->isVisible());
    QVERIFY(!w->horizontalScrollBar()->isVisible());

    // Never wider than the screen.
    QCOMPARE(zarn::opening_size(*w, QRect(0, 0, 300, 200)).width(), 300);
}

namespace {

// The device writes received, as (channel, tx_amp, tx_mute, rx_amp).
std::vector<std::tuple<int, int, int, int>> device_writes(const TestDaemon &d) {
    std::vector<std::tuple<int, int, int, int>> out;
    for (const auto &r : with_code(d, zarn::REQ_DEV_CONFIG_SET)) {
        const auto c = as<zarn::ChannelConfig>(r);
        out.emplace_back(c.channel, c.tx_amp, c.tx_mute, c.rx_amp);
    }
    return out;
}

} // namespace

// The tray's actions as functions: there is usually no tray offscreen.
void TestMainWindow::tray_turns_and_mutes_the_chosen_target() {
    TestDaemon d(example_topology());
    auto w = fixture::make_window(d.path());
    auto *tray = new ZARNTray(w.get());
    // The first device's transmit direction unless chosen otherwise.
    QCOMPARE(tray->chosen_strip(), w->strips[0]);
    QVERIFY(!tray->chosen_rx);
    d.clear_requests();

    // Two notches down, then one up: a step a notch on each linked channel.
    tray->turn(-2);
    tray->turn(1);
    using W = std::tuple<int, int, int, int>;
    QCOMPARE(device_writes(d), (std::vector<W>{{0, -1, 0, 0},
                                               {1, -1, 0, 0},
                                               {0, -2, 0, 0},
                                               {1, -2, 0, 0},
                                               {0, -1, 0, 0},
                                               {1, -1, 0, 0}}));
    tray->toggle_mute();
    QCOMPARE(device_writes(d).size(), std::size_t{8});
    QVERIFY(w->strips[1]->tx_mute_box->isChecked());
    QCOMPARE(tray->tool_tip(), QStringLiteral("Zarnmix Control\ndsp0 TX, channels linked\n"
                                              "Gain -1 of -31 to 31\nMuted"));
    tray->toggle_mute();
    QVERIFY(!w->strips[0]->tx_mute_box->isChecked());

    // Unlinked, the chosen channel alone; the choice is kept.
    w->strips[0]->link_box->setChecked(false);
    tray->choose({zarn::KIND_DEVICE, 0, 1}, true);
    d.clear_requests();
    tray->turn(1);
    QCOMPARE(device_writes(d), (std::vector<W>{{1, -1, 0, 1}}));
    auto *again = new ZARNTray(w.get());
    QCOMPARE(again->chosen_strip(), w->strips[1]);
    QVERIFY(again->chosen_rx);
}

void TestMainWindow::tray_icon_takes_the_wheel_and_the_middle_click() {
    if (!QSystemTrayIcon::isSystemTrayAvailable())
        QSKIP("the desktop has no system tray");
    TestDaemon d(example_topology());
    auto w = fixture::make_window(d.path());
    auto *tray = new ZARNTray(w.get());
    QVERIFY(tray->icon);
    tray->choose({zarn::KIND_DEVICE, 0, 0}, false);
    d.clear_requests();
    // A notch in two halves is one step; a wheel that reports two notches
    // at once makes two.
    for (int delta : {60, 60, -240}) {
        QWheelEvent wheel(QPointF(), QPointF(), QPoint(), QPoint(0, delta), Qt::NoButton,
                          Qt::NoModifier, Qt::NoScrollPhase, false);
        QCoreApplication::sendEvent(tray->icon, &wheel);
    }
    QCOMPARE(w->strips[1]->tx_amp, -1);
    QCOMPARE(device_writes(d).size(), std::size_t{6});
    emit tray->icon->activated(QSystemTrayIcon::MiddleClick);
    QVERIFY(w->strips[0]->tx_mute_box->isChecked());
    QVERIFY(w->strips[1]->tx_mute_box->isChecked());
}

QTEST_MAIN(TestMainWindow)
#include "test_main_window.moc"
