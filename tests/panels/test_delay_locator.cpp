// SPDX-License-Identifier: BSD-2-Clause

#include <QGridLayout>
#include <QLabel>
#include <QPushButton>
#include <QSpinBox>
#include <QtTest>

#include <climits>
#include <cstdio>

#include "app/zarn_spin_box_guard.h"
#include "panels/zarn_audio_delay_locator.h"
#include "support/input_events.h"
#include "support/panel_rig.h"
#include "support/tool_tips.h"

using zarn::DelayLocatorRecord;

namespace {

void set_locator(PanelRig &rig, const DelayLocatorRecord &rec) {
    rig.daemon.with_engine([&rec](zarn::sim::Engine &e) { e.delay_locator = rec; });
}

// The engine answers every read with this record, unchanged by writes.
void pin_locator(PanelRig &rig, const DelayLocatorRecord &rec) {
    rig.daemon.set_hook(answer_with(zarn::REQ_DELAY_LOCATOR_GET, rec));
}

QList<int> fields(const zarn::sim::ReceivedRequest &q) {
    const auto r = record_of<DelayLocatorRecord>(q);
    return {r.out_channel,   r.in_channel,  r.max_channel, r.output_level,
            r.delay_samples, r.sample_rate, r.enabled};
}

// The same without delay_samples, which the simulated daemon measures anew.
QList<int> settings(const zarn::sim::ReceivedRequest &q) {
    QList<int> f = fields(q);
    f.removeAt(4);
    return f;
}

} // namespace

class TestDelayLocator : public QObject {
    Q_OBJECT

private slots:
    void construction();
    void report();
    void failed_read_keeps_widgets_and_writes_nothing();
    void buttons_read_modify_write();
    void channels();
    void reset_sends_one_request_without_data();
    void wheel_needs_focus_and_typing_sends_once();
    void tool_tips();
};

void TestDelayLocator::construction() {
    PanelRig rig;
    set_locator(rig, {1, 2, 5, 3, 0, 48000, 0});
    ZARNAudioDelayLocator p(rig.window.get());
    // Only reads, each carrying a whole record.
    QCOMPARE(rig.codes(), (std::vector<std::uint32_t>{zarn::REQ_DELAY_LOCATOR_GET,
                                                      zarn::REQ_DELAY_LOCATOR_GET}));
    for (const auto &r : rig.daemon.requests())
        QCOMPARE(r.record.size(), std::size_t(28));
    QCOMPARE(p.title(), QString("Audio Delay Locator"));
    QStringList cells;
    for (int col = 0; col < 4; ++col)
        cells << qobject_cast<QPushButton *>(p.grid->itemAtPosition(0, col)->widget())->text();
    cells << qobject_cast<QSpinBox *>(p.grid->itemAtPosition(0, 4)->widget())->prefix()
          << qobject_cast<QSpinBox *>(p.grid->itemAtPosition(0, 5)->widget())->prefix();
    QCOMPARE(cells, QStringList({"ON/OFF", "Reset", "VOL+", "VOL-", "InCh ", "OutCh "}));
    QCOMPARE(p.grid->itemAtPosition(0, 4)->widget(), p.in_channel_box);
    int row, col, rows, cols;
    p.grid->getItemPosition(p.grid->indexOf(p.report_label), &row, &col, &rows, &cols);
    QCOMPARE((QList<int>{row, col, rows, cols}), (QList<int>{1, 0, 1, 6}));
    QCOMPARE((QList<int>{p.in_channel_box->maximum(), p.out_channel_box->maximum(),
                         p.in_channel_box->value(), p.out_channel_box->value()}),
             (QList<int>{5, 5, 2, 1}));

    // A failed read at construction keeps the range 0 to 99 until the
    // daemon is back; the range and channels then arrive and nothing is
    // written.
    rig.close();
    ZARNAudioDelayLocator closed(rig.window.get());
    QCOMPARE((QList<int>{closed.in_channel_box->minimum(), closed.in_channel_box->maximum(),
                         closed.out_channel_box->maximum()}),
             (QList<int>{0, 99, 99}));
    QCOMPARE(closed.report_label->text(), QString());
    rig.open();
    set_locator(rig, {7, 3, 9, 0, 0, 48000, 0});
    closed.refresh();
    QCOMPARE((QList<int>{closed.in_channel_box->maximum(), closed.in_channel_box->value(),
                         closed.out_channel_box->value()}),
             (QList<int>{9, 3, 7}));
    QCOMPARE(rig.sent(zarn::REQ_DELAY_LOCATOR_SET).size(), std::size_t(0));
}

void TestDelayLocator::report() {
    PanelRig rig;
    ZARNAudioDelayLocator p(rig.window.get());
    const QString head = QStringLiteral("Delay locator is %1. Output volume level is %2. Measured "
                                        "audio delay is %3 samples or %4 ms.");
    const QString samples_only = QStringLiteral("Delay locator is disabled. Output volume level is "
                                                "0. Measured audio delay is %1 samples.");
    const struct {
        DelayLocatorRecord rec;
        QString text;
    } cases[] = {
        {{0, 0, 1, 3, 480, 48000, 0}, head.arg("disabled", "3", "480", "10.000000")},
        // Single precision: double arithmetic would give 25.708333.
        {{0, 0, 1, 0, 1234, 48000, 1}, head.arg("enabled", "0", "1234", "25.708334")},
        {{0, 0, 1, -1, 0, 44100, 2}, head.arg("enabled", "-1", "0", "0.000000")},
        // Without a sample rate there are no milliseconds.
        {{0, 0, 1, 0, 480, 0, 0}, samples_only.arg(480)},
        {{0, 0, 1, 0, 0, 0, 0}, samples_only.arg(0)},
        // The 128-byte report keeps 127 characters.
        {{0, 0, 1, INT_MIN, INT_MIN, 1, 0},
         "Delay locator is disabled. Output volume level is -2147483648. Measured audio delay "
         "is -2147483648 samples or -2147483648000.00"},
    };
    for (const auto &c : cases) {
        pin_locator(rig, c.rec);
        p.refresh();
        QCOMPARE(p.report_label->text(), c.text);
    }
}

void TestDelayLocator::failed_read_keeps_widgets_and_writes_nothing() {
    PanelRig rig;
    set_locator(rig, {1, 2, 5, 3, 480, 48000, 0});
    ZARNAudioDelayLocator p(rig.window.get());
    const QString before = p.report_label->text();
    QVERIFY(!before.isEmpty());
    rig.daemon.set_hook(fail(zarn::REQ_DELAY_LOCATOR_GET));
    rig.daemon.clear_requests();
    p.refresh();
    QCOMPARE(p.report_label->text(), before);
    QCOMPARE(p.in_channel_box->value(), 2);
    p.enable_button->click();
    p.up_button->click();
    p.down_button->click();
    p.in_channel_box->setValue(3);
    QCOMPARE(rig.sent(zarn::REQ_DELAY_LOCATOR_GET).size(), std::size_t(5));
    QCOMPARE(rig.sent(zarn::REQ_DELAY_LOCATOR_SET).size(), std::size_t(0));
}

void TestDelayLocator::buttons_read_modify_write() {
    PanelRig rig;
    set_locator(rig, {1, 2, 5, 3, 480, 48000, 2});
    ZARNAudioDelayLocator p(rig.window.get());
    rig.daemon.clear_requests();

    // ON/OFF: everything but enabled goes back as the daemon returned it; no
    // read-back at once.
    p.enable_button->click();
    p.enable_button->click();
    auto writes = rig.sent(zarn::REQ_DELAY_LOCATOR_SET);
    QCOMPARE(fields(writes.at(0)), (QList<int>{1, 2, 5, 3, 480, 48000, 0}));
    QCOMPARE(record_of<DelayLocatorRecord>(writes.at(1)).enabled, 1);
    QCOMPARE(rig.codes(), (std::vector<std::uint32_t>{
                              zarn::REQ_DELAY_LOCATOR_GET, zarn::REQ_DELAY_LOCATOR_SET,
                              zarn::REQ_DELAY_LOCATOR_GET, zarn::REQ_DELAY_LOCATOR_SET}));

    // The volume steps without bounds; the largest level wraps.
    rig.daemon.clear_requests();
    pin_locator(rig, {1, 0, 5, 0, 0, 48000, 0});
    p.down_button->click();
    pin_locator(rig, {1, 0, 5, 99, 0, 48000, 0});
    p.up_button->click();
    pin_locator(rig, {1, 0, 5, INT_MAX, 0, 48000, 0});
    p.up_button->click();
    writes = rig.sent(zarn::REQ_DELAY_LOCATOR_SET);
    QCOMPARE(writes.size(), std::size_t(3));
    QCOMPARE(fields(writes[0]), (QList<int>{1, 0, 5, -1, 0, 48000, 0}));
    QCOMPARE(record_of<DelayLocatorRecord>(writes[1]).output_level, 100);
    QCOMPARE(record_of<DelayLocatorRecord>(writes[2]).output_level, INT_MIN);
}

void TestDelayLocator::channels() {
    PanelRig rig;
    set_locator(rig, {3, 1, 7, 2, 0, 48000, 1});
    ZARNAudioDelayLocator p(rig.window.get());
    rig.daemon.clear_requests();
    p.refresh(); // the same channels: nothing written
    QCOMPARE(rig.codes(), std::vector<std::uint32_t>{zarn::REQ_DELAY_LOCATOR_GET});

    // Another client moves the output channel; a change of the input channel
    // reads once and writes once, with the daemon's output channel.
    rig.daemon.with_engine([](zarn::sim::Engine &e) { e.delay_locator.out_channel = 5; });
    rig.daemon.clear_requests();
    p.in_channel_box->setValue(2);
    QCOMPARE(rig.codes(), (std::vector<std::uint32_t>{zarn::REQ_DELAY_LOCATOR_GET,
                                                      zarn::REQ_DELAY_LOCATOR_SET}));
    QCOMPARE(settings(rig.sent(zarn::REQ_DELAY_LOCATOR_SET)[0]),
             (QList<int>{5, 2, 7, 2, 48000, 1}));
    rig.daemon.clear_requests();
    p.out_channel_box->setValue(6);
    QCOMPARE(settings(rig.sent(zarn::REQ_DELAY_LOCATOR_SET).at(0)),
             (QList<int>{6, 2, 7, 2, 48000, 1}));

    // A channel changed elsewhere is shown, and one above the range is shown
    // clamped; a refresh never writes either back.
    rig.daemon.with_engine([](zarn::sim::Engine &e) { e.delay_locator.in_channel = 4; });
    rig.daemon.clear_requests();
    p.refresh();
    QCOMPARE(p.in_channel_box->value(), 4);
    pin_locator(rig, {6, 12, 7, 2, 0, 48000, 1});
    p.refresh();
    QCOMPARE(p.in_channel_box->value(), 7);
    QCOMPARE(rig.sent(zarn::REQ_DELAY_LOCATOR_SET).size(), std::size_t(0));
}

void TestDelayLocator::reset_sends_one_request_without_data() {
    PanelRig rig;
    set_locator(rig, {0, 1, 7, 2, 480, 48000, 1});
    ZARNAudioDelayLocator p(rig.window.get());
    rig.daemon.clear_requests();
    p.reset_button->click();
    const auto requests = rig.daemon.requests();
    QCOMPARE(requests.size(), std::size_t(1));
    QCOMPARE(requests[0].code, zarn::REQ_DELAY_LOCATOR_RESET);
    QCOMPARE(requests[0].record.size(), std::size_t(0));
    QCOMPARE(
        rig.daemon.with_engine([](zarn::sim::Engine &e) { return e.delay_locator.delay_samples; }),
        0);
}

void TestDelayLocator::wheel_needs_focus_and_typing_sends_once() {
    PanelRig rig;
    set_locator(rig, {3, 1, 40, 2, 0, 48000, 1});
    ZARNAudioDelayLocator p(rig.window.get());
    p.show();
    QVERIFY(QTest::qWaitForWindowExposed(&p));
    rig.daemon.clear_requests();
    turn_wheel(p.in_channel_box, 1);
    turn_wheel(p.out_channel_box, 1);
    QVERIFY(rig.daemon.requests().empty());

    // Typed digits go out once, on Return; a channel the daemon holds
    // already (set by another client) is read and not written again.
    rig.daemon.with_engine([](zarn::sim::Engine &e) { e.delay_locator.out_channel = 9; });
    for (QSpinBox *box : {p.in_channel_box, p.out_channel_box}) {
        QVERIFY(focus(box));
        box->selectAll();
        QTest::keyClicks(box, "9");
        QTest::keyClick(box, Qt::Key_Return);
    }
    QCOMPARE(rig.codes(),
             (std::vector<std::uint32_t>{zarn::REQ_DELAY_LOCATOR_GET, zarn::REQ_DELAY_LOCATOR_SET,
                                         zarn::REQ_DELAY_LOCATOR_GET}));
    QCOMPARE(settings(rig.sent(zarn::REQ_DELAY_LOCATOR_SET)[0]),
             (QList<int>{9, 9, 40, 2, 48000, 1}));

    // Digits typed one by one while the watchdog refreshes between them
    // stay in the box, and go out once, on Return.
    QVERIFY(focus(p.in_channel_box));
    p.in_channel_box->selectAll();
    for (const char *digit : {"1", "2"}) {
        QTest::keyClicks(p.in_channel_box, digit);
        p.refresh();
    }
    QCOMPARE(p.in_channel_box->cleanText(), QString("12"));
    rig.daemon.clear_requests();
    QTest::keyClick(p.in_channel_box, Qt::Key_Return);
    QCOMPARE(rig.sent(zarn::REQ_DELAY_LOCATOR_SET).size(), std::size_t(1));
    QCOMPARE(record_of<DelayLocatorRecord>(rig.sent(zarn::REQ_DELAY_LOCATOR_SET)[0]).in_channel,
             12);
}

void TestDelayLocator::tool_tips() {
    PanelRig rig;
    set_locator(rig, {3, 1, 40, 2, 0, 48000, 1});
    ZARNAudioDelayLocator p(rig.window.get());
    QCOMPARE(controls_without_tool_tips(&p), QStringList());
    // The channels' range is the daemon's.
    QCOMPARE(ZARNSpinBoxGuard::tool_tip(p.in_channel_box).section('\n', 0, 1),
             QStringLiteral("Input channel on which the test signal is measured.\n"
                            "From 0 to 40."));
    QVERIFY(!p.report_label->toolTip().isEmpty());
}

QTEST_MAIN(TestDelayLocator)
#include "test_delay_locator.moc"
