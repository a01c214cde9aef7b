#include <QIcon>
#include <QProcess>
#include <QScrollBar>
#include <QTest>
#include <QTimer>
#include <algorithm>
#include <limits>
#include <tuple>

#include "panels/zarn_add_options.h"
#include "panels/zarn_audio_delay_locator.h"
#include "panels/zarn_record_status.h"
#include "panels/zarn_sys_info_options.h"
#include "routing/zarn_connect.h"
#include "strip/zarn_controller.h"
#include "window_fixture.h"

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

std::vector<Target> targets(const ZARNMainWindow &w) {
    std::vector<Target> out;
    for (ZARNController *s : w.strips)
        if (s)
            out.emplace_back(s->kind, s->channel, s->number);
    return out;
}

zarn::sim::Topology example_topology() {
    zarn::sim::Topology t = fixture::empty_topology();
    t.device_channels = {2, 3};
    t.loop_channels = {2};
    t.input_monitors = 2;
    t.output_monitors = 0;
    t.local_monitors = 1;
    t.main_output_channels = 2;
    t.main_input_channels = 2;
    return t;
}

} // namespace

class TestMainWindow : public QObject {
    Q_OBJECT

private slots:
    void discovery_order_and_probes();
    void discovery_stops_at_128_strips();
    void window_layout_title_icon_timer();
    void no_daemon_at_start();
    void daemon_lost_and_back();
    void daemon_stops_answering();
    void watchdog_walks_past_null_entries();
    void tick_order();
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
        const auto probes = peak_sequence(d);
        // Three probes a device (the third channel fails), except the last:
        // nothing is probed after the 128th strip.
        QCOMPARE(probes.size(), std::size_t{64 * 3 - 1});
        QCOMPARE(probes.back(), std::make_tuple(zarn::REQ_DEV_PEAK, 63, 1));
        QCOMPARE(w->strips[127]->number, 63);
        QCOMPARE(w->strips[127]->channel, 1);
    }

    // One strip short of the limit: discovery goes on to the end.
    zarn::sim::Topology t = fixture::empty_topology();
    t.device_channels.assign(63, 2);
    t.loop_channels = {1, 1};
    TestDaemon d(t);
    auto w = fixture::make_window(d.path());
    QCOMPARE(fixture::strip_count(*w), 128);
    QCOMPARE(d.count(zarn::REQ_LOOP_PEAK), std::size_t{3}); // 0.0, 0.1 fails, 1.0
    QCOMPARE(d.count(zarn::REQ_INPUT_MON_PEAK), std::size_t{0});
}

void TestMainWindow::window_layout_title_icon_timer() {
    TestDaemon d(example_topology());
    auto w = fixture::make_window(d.path(), true);
    QCOMPARE(w->windowTitle(), QStringLiteral("Zarnmix Control"));
    QVERIFY(!w->windowIcon().isNull());
    QCOMPARE(QIcon(QStringLiteral(":/zarnmix_ctl.png")).availableSizes(),
             QList<QSize>({QSize(48, 48)}));
    QCOMPARE(w->widget(), static_cast<QWidget *>(w->main_grid));
    QVERIFY(!w->widgetResizable());
    QCOMPARE(w->main_grid->itemAtPosition(1, 0)->widget(), static_cast<QWidget *>(w->strip_grid));
    QCOMPARE(w->main_grid->itemAtPosition(1, 0)->alignment(), Qt::Alignment());
    QCOMPARE(w->main_grid->QGridLayout::count(), 6); // the rows: see the panel wiring test
    QVERIFY(!w->eq_copy_source && !w->compressor_copy_source && w->fd >= 0);
    QCOMPARE(w->device_path, d.path());
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

void TestMainWindow::no_daemon_at_start() {
    TestDaemon d(example_topology());
    d.stop();
    auto w = fixture::make_window(d.path(), true);
    QCOMPARE(w->fd, -1);
    QCOMPARE(fixture::strip_count(*w), 0);
    QCOMPARE(w->strip_grid->QGridLayout::count(), 0);
    fixture::show_whole(*w);
    QTest::qWait(350);
    QCOMPARE(w->tick, 0);
    QCOMPARE(w->fd, -1);

    // The watchdog opens the device once it is there, without discovery.
    d.start();
    QTRY_VERIFY(w->tick > 0);
    QVERIFY(w->fd >= 0);
    QCOMPARE(fixture::strip_count(*w), 0);
    w->watchdog_timer->stop();
    for (auto &r : d.requests())
        QVERIFY(r.code == zarn::REQ_PROBE || r.code == zarn::REQ_DELAY_LOCATOR_GET);
    QCOMPARE(d.count(zarn::REQ_PROBE), std::size_t(w->tick));
}

void TestMainWindow::daemon_lost_and_back() {
    TestDaemon d(example_topology());
    auto w = fixture::make_window(d.path());
    fixture::show_whole(*w);
    d.clear_requests();

    w->handle_watchdog();
    QCOMPARE(w->tick, 1);
    QCOMPARE(d.count(zarn::REQ_PROBE), std::size_t{1});
    QCOMPARE(peak_sequence(d).size(), std::size_t{14}); // one per meter

    d.stop();
    for (int i = 0; i < 2; ++i) {
        w->handle_watchdog();
        QCOMPARE(std::make_pair(w->fd, w->tick), std::make_pair(-1, 1));
    }

    d.clear_requests();
    d.start();
    w->handle_watchdog();
    QVERIFY(w->fd >= 0);
    QCOMPARE(w->tick, 2);
    QCOMPARE(peak_sequence(d).size(), std::size_t{14});
    // No rediscovery: only the probe and the tick's reads.
    QCOMPARE(d.requests().size(), std::size_t{14 + 1 + 4 + 1});
    QCOMPARE(d.requests().front().code, zarn::REQ_PROBE);
    QCOMPARE(fixture::strip_count(*w), 14);

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

    // The probe goes unanswered: it fails and the device is closed at once.
    d.clear_requests();
    d.silence_next_reply();
    w->handle_watchdog();
    QCOMPARE(std::make_tuple(w->fd, w->tick, d.requests().size()),
             std::make_tuple(-1, 1, std::size_t{1}));

    // Next tick: reopened, probed, and the meters read again.
    w->handle_watchdog();
    QVERIFY(w->fd >= 0);
    QCOMPARE(w->tick, 2);
    QCOMPARE(peak_sequence(d).size(), std::size_t{14});

    // A reply cut halfway does the same.
    d.cut_next_reply();
    w->handle_watchdog();
    QCOMPARE(w->fd, -1);
    w->handle_watchdog();
    QCOMPARE(w->tick, 3);
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
    d.clear_requests();
    w->handle_watchdog();
    using namespace zarn;
    // clang-format off
    const std::vector<std::uint32_t> expected = {
        REQ_PROBE, REQ_DEV_PEAK, REQ_DEV_COMP_GET, REQ_DEV_PEAK, REQ_DEV_PEAK, REQ_DEV_COMP_GET,
        REQ_DEV_PEAK, REQ_DEV_PEAK, REQ_LOOP_PEAK, REQ_LOOP_COMP_GET, REQ_LOOP_PEAK,
        REQ_INPUT_MON_PEAK, REQ_INPUT_MON_PEAK, REQ_LOCAL_MON_PEAK, REQ_MAIN_OUTPUT_PEAK,
        REQ_MAIN_COMP_GET, REQ_MAIN_OUTPUT_PEAK, REQ_MAIN_INPUT_PEAK, REQ_MAIN_INPUT_PEAK,
        REQ_DELAY_LOCATOR_GET};
    // clang-format on
    std::vector<std::uint32_t> codes;
    for (auto &r : d.requests())
        codes.push_back(r.code);
    QCOMPARE(codes, expected);
}

QTEST_MAIN(TestMainWindow)
#include "test_main_window.moc"
