#include <QGridLayout>
#include <QLabel>
#include <QPushButton>
#include <QSpinBox>
#include <QtTest>

#include <climits>
#include <cstdio>

#include "panels/panel_rig.h"
#include "panels/zarn_audio_delay_locator.h"

using zarn::DelayLocatorRecord;

namespace {

void set_locator(PanelRig &rig, const DelayLocatorRecord &rec) {
    rig.daemon.with_engine([&rec](zarn::sim::Engine &e) { e.delay_locator = rec; });
}

// The engine answers every read with this record, unchanged by writes.
void pin_locator(PanelRig &rig, const DelayLocatorRecord &rec) {
    rig.daemon.set_hook(answer_with(zarn::REQ_DELAY_LOCATOR_GET, rec));
}

QList<int> fields(const DelayLocatorRecord &r) {
    return {r.out_channel,   r.in_channel,  r.max_channel, r.output_level,
            r.delay_samples, r.sample_rate, r.enabled};
}

} // namespace

class TestDelayLocator : public QObject {
    Q_OBJECT

private slots:
    void widgets_cells_and_ranges();
    void a_failed_read_at_construction_keeps_the_default_range();
    void construction_reads_and_writes_nothing();
    void report_data();
    void report();
    void zero_sample_rate_is_not_guarded();
    void report_is_cut_at_127_characters();
    void failed_refresh_keeps_the_widgets();
    void on_off_toggles_enabled();
    void volume_steps_without_bounds();
    void a_channel_change_reads_once_and_writes_once();
    void refresh_with_the_same_channels_writes_nothing();
    void refresh_writes_back_a_channel_changed_elsewhere();
    void a_clamped_channel_is_written_back();
    void nothing_is_written_after_a_failed_read();
    void reset_sends_one_request_without_data();
};

void TestDelayLocator::widgets_cells_and_ranges() {
    PanelRig rig;
    set_locator(rig, {1, 2, 5, 3, 0, 48000, 0});
    ZARNAudioDelayLocator p(rig.window.get());
    QCOMPARE(p.title(), QString("Audio Delay Locator"));
    const char *texts[] = {"ON/OFF", "Reset", "VOL+", "VOL-"};
    for (int col = 0; col < 4; ++col) {
        auto *b = qobject_cast<QPushButton *>(p.grid->itemAtPosition(0, col)->widget());
        QVERIFY(b);
        QCOMPARE(b->text(), QString(texts[col]));
    }
    QCOMPARE(p.grid->itemAtPosition(0, 4)->widget(), p.in_channel_box);
    QCOMPARE(p.grid->itemAtPosition(0, 5)->widget(), p.out_channel_box);
    QCOMPARE(p.in_channel_box->prefix(), QString("InCh "));
    QCOMPARE(p.out_channel_box->prefix(), QString("OutCh "));
    int row, col, rows, cols;
    p.grid->getItemPosition(p.grid->indexOf(p.report_label), &row, &col, &rows, &cols);
    QCOMPARE((QList<int>{row, col, rows, cols}), (QList<int>{1, 0, 1, 6}));
    QCOMPARE(p.in_channel_box->maximum(), 5);
    QCOMPARE(p.out_channel_box->maximum(), 5);
    QCOMPARE(p.in_channel_box->value(), 2);
    QCOMPARE(p.out_channel_box->value(), 1);
}

void TestDelayLocator::a_failed_read_at_construction_keeps_the_default_range() {
    PanelRig rig;
    rig.close();
    ZARNAudioDelayLocator p(rig.window.get());
    QCOMPARE(p.in_channel_box->minimum(), 0);
    QCOMPARE(p.in_channel_box->maximum(), 99);
    QCOMPARE(p.out_channel_box->maximum(), 99);
    QCOMPARE(p.report_label->text(), QString());

    // The device opens later: the range stays, the channels arrive, and each
    // changed spin box writes its (same) channel back once.
    rig.open();
    set_locator(rig, {7, 3, 1, 0, 0, 48000, 0});
    p.refresh();
    QCOMPARE(p.in_channel_box->maximum(), 99);
    QCOMPARE(p.in_channel_box->value(), 3);
    QCOMPARE(p.out_channel_box->value(), 7);
    const auto writes = rig.sent(zarn::REQ_DELAY_LOCATOR_SET);
    QCOMPARE(writes.size(), std::size_t(2));
    QCOMPARE(record_of<DelayLocatorRecord>(writes[0]).in_channel, 3);
    QCOMPARE(record_of<DelayLocatorRecord>(writes[1]).out_channel, 7);
}

void TestDelayLocator::construction_reads_and_writes_nothing() {
    PanelRig rig;
    set_locator(rig, {1, 2, 5, 3, 100, 48000, 1});
    ZARNAudioDelayLocator p(rig.window.get());
    QCOMPARE(rig.codes(), (std::vector<std::uint32_t>{zarn::REQ_DELAY_LOCATOR_GET,
                                                      zarn::REQ_DELAY_LOCATOR_GET}));
    for (const auto &r : rig.daemon.requests())
        QCOMPARE(r.record.size(), std::size_t(28));
}

void TestDelayLocator::report_data() {
    QTest::addColumn<int>("enabled");
    QTest::addColumn<int>("level");
    QTest::addColumn<int>("samples");
    QTest::addColumn<int>("rate");
    QTest::addColumn<QString>("text");
    QTest::newRow("480 at 48000")
        << 0 << 3 << 480 << 48000
        << "Delay locator is disabled. Output volume level is 3. Measured audio delay is 480 "
           "samples or 10.000000 ms.";
    // Single precision: double arithmetic would give 25.708333.
    QTest::newRow("1234 at 48000")
        << 1 << 0 << 1234 << 48000
        << "Delay locator is enabled. Output volume level is 0. Measured audio delay is 1234 "
           "samples or 25.708334 ms.";
    QTest::newRow("enabled 2") << 2 << -1 << 0 << 44100
                               << "Delay locator is enabled. Output volume level is -1. Measured "
                                  "audio delay is 0 samples or 0.000000 ms.";
}

void TestDelayLocator::report() {
    QFETCH(int, enabled);
    QFETCH(int, level);
    QFETCH(int, samples);
    QFETCH(int, rate);
    QFETCH(QString, text);
    PanelRig rig;
    ZARNAudioDelayLocator p(rig.window.get());
    pin_locator(rig, {0, 0, 1, level, samples, rate, enabled});
    p.refresh();
    QCOMPARE(p.report_label->text(), text);
}

void TestDelayLocator::zero_sample_rate_is_not_guarded() {
    PanelRig rig;
    ZARNAudioDelayLocator p(rig.window.get());
    pin_locator(rig, {0, 0, 1, 0, 480, 0, 0});
    p.refresh();
    QVERIFY2(p.report_label->text().endsWith("samples or inf ms."),
             qPrintable(p.report_label->text()));
    pin_locator(rig, {0, 0, 1, 0, 0, 0, 0});
    p.refresh();
    QVERIFY2(p.report_label->text().endsWith("samples or nan ms."),
             qPrintable(p.report_label->text()));
}

void TestDelayLocator::report_is_cut_at_127_characters() {
    PanelRig rig;
    ZARNAudioDelayLocator p(rig.window.get());
    pin_locator(rig, {0, 0, 1, INT_MIN, INT_MIN, 1, 0});
    p.refresh();
    const QString text = p.report_label->text();
    QCOMPARE(text.size(), 127);
    QCOMPARE(text, QString("Delay locator is disabled. Output volume level is -2147483648. "
                           "Measured audio delay is -2147483648 samples or -2147483648000.00"));
}

void TestDelayLocator::failed_refresh_keeps_the_widgets() {
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
    QCOMPARE(rig.codes(), std::vector<std::uint32_t>{zarn::REQ_DELAY_LOCATOR_GET});
}

void TestDelayLocator::on_off_toggles_enabled() {
    PanelRig rig;
    set_locator(rig, {1, 2, 5, 3, 480, 48000, 2});
    ZARNAudioDelayLocator p(rig.window.get());
    rig.daemon.clear_requests();

    p.enable_button->click();
    auto writes = rig.sent(zarn::REQ_DELAY_LOCATOR_SET);
    QCOMPARE(writes.size(), std::size_t(1));
    // Everything but enabled goes back as the daemon returned it.
    QCOMPARE(fields(record_of<DelayLocatorRecord>(writes[0])),
             (QList<int>{1, 2, 5, 3, 480, 48000, 0}));

    p.enable_button->click();
    writes = rig.sent(zarn::REQ_DELAY_LOCATOR_SET);
    QCOMPARE(writes.size(), std::size_t(2));
    QCOMPARE(record_of<DelayLocatorRecord>(writes[1]).enabled, 1);
    // No read-back at once: the report follows at the next refresh.
    QCOMPARE(rig.codes(), (std::vector<std::uint32_t>{
                              zarn::REQ_DELAY_LOCATOR_GET, zarn::REQ_DELAY_LOCATOR_SET,
                              zarn::REQ_DELAY_LOCATOR_GET, zarn::REQ_DELAY_LOCATOR_SET}));
}

void TestDelayLocator::volume_steps_without_bounds() {
    PanelRig rig;
    ZARNAudioDelayLocator p(rig.window.get());
    pin_locator(rig, {1, 0, 5, 0, 0, 48000, 0});
    rig.daemon.clear_requests();
    p.down_button->click();
    pin_locator(rig, {1, 0, 5, 99, 0, 48000, 0});
    p.up_button->click();
    pin_locator(rig, {1, 0, 5, INT_MAX, 0, 48000, 0});
    p.up_button->click();
    const auto writes = rig.sent(zarn::REQ_DELAY_LOCATOR_SET);
    QCOMPARE(writes.size(), std::size_t(3));
    QCOMPARE(fields(record_of<DelayLocatorRecord>(writes[0])),
             (QList<int>{1, 0, 5, -1, 0, 48000, 0}));
    QCOMPARE(record_of<DelayLocatorRecord>(writes[1]).output_level, 100);
    // The panel sets no bound; the largest level wraps instead of overflowing.
    QCOMPARE(record_of<DelayLocatorRecord>(writes[2]).output_level, INT_MIN);
}

void TestDelayLocator::a_channel_change_reads_once_and_writes_once() {
    PanelRig rig;
    set_locator(rig, {3, 1, 7, 2, 0, 48000, 1});
    ZARNAudioDelayLocator p(rig.window.get());
    QCOMPARE(p.out_channel_box->value(), 3);
    // Another client moves the output channel; the panel has not refreshed.
    rig.daemon.with_engine([](zarn::sim::Engine &e) { e.delay_locator.out_channel = 5; });
    rig.daemon.clear_requests();

    p.in_channel_box->setValue(2);

    QCOMPARE(rig.codes(), (std::vector<std::uint32_t>{zarn::REQ_DELAY_LOCATOR_GET,
                                                      zarn::REQ_DELAY_LOCATOR_SET}));
    const auto rec = record_of<DelayLocatorRecord>(rig.sent(zarn::REQ_DELAY_LOCATOR_SET)[0]);
    QCOMPARE(rec.in_channel, 2);
    QCOMPARE(rec.out_channel, 5); // the daemon's, not the spin box's 3

    rig.daemon.clear_requests();
    p.out_channel_box->setValue(6);
    const auto out = record_of<DelayLocatorRecord>(rig.sent(zarn::REQ_DELAY_LOCATOR_SET)[0]);
    QCOMPARE(out.out_channel, 6);
    QCOMPARE(out.in_channel, 2);
}

void TestDelayLocator::refresh_with_the_same_channels_writes_nothing() {
    PanelRig rig;
    set_locator(rig, {3, 1, 7, 2, 0, 48000, 1});
    ZARNAudioDelayLocator p(rig.window.get());
    rig.daemon.clear_requests();
    p.refresh();
    QCOMPARE(rig.codes(), std::vector<std::uint32_t>{zarn::REQ_DELAY_LOCATOR_GET});
}

void TestDelayLocator::refresh_writes_back_a_channel_changed_elsewhere() {
    PanelRig rig;
    set_locator(rig, {3, 1, 7, 2, 0, 48000, 1});
    ZARNAudioDelayLocator p(rig.window.get());
    rig.daemon.with_engine([](zarn::sim::Engine &e) { e.delay_locator.in_channel = 4; });
    rig.daemon.clear_requests();
    p.refresh();
    QCOMPARE(p.in_channel_box->value(), 4);
    const auto writes = rig.sent(zarn::REQ_DELAY_LOCATOR_SET);
    QCOMPARE(writes.size(), std::size_t(1));
    QCOMPARE(record_of<DelayLocatorRecord>(writes[0]).in_channel, 4);
    QCOMPARE(record_of<DelayLocatorRecord>(writes[0]).out_channel, 3);
}

void TestDelayLocator::a_clamped_channel_is_written_back() {
    PanelRig rig;
    set_locator(rig, {0, 1, 7, 2, 0, 48000, 0});
    ZARNAudioDelayLocator p(rig.window.get());
    QCOMPARE(p.in_channel_box->maximum(), 7);
    // The daemon now reports a channel above the range fixed at start.
    pin_locator(rig, {0, 12, 7, 2, 0, 48000, 0});
    rig.daemon.clear_requests();
    p.refresh();
    QCOMPARE(p.in_channel_box->value(), 7);
    const auto writes = rig.sent(zarn::REQ_DELAY_LOCATOR_SET);
    QCOMPARE(writes.size(), std::size_t(1));
    QCOMPARE(record_of<DelayLocatorRecord>(writes[0]).in_channel, 7);

    // Once clamped, the same report changes nothing and writes nothing.
    rig.daemon.clear_requests();
    p.refresh();
    QCOMPARE(rig.sent(zarn::REQ_DELAY_LOCATOR_SET).size(), std::size_t(0));
}

void TestDelayLocator::nothing_is_written_after_a_failed_read() {
    PanelRig rig;
    ZARNAudioDelayLocator p(rig.window.get());
    rig.daemon.set_hook(fail(zarn::REQ_DELAY_LOCATOR_GET));
    rig.daemon.clear_requests();
    p.enable_button->click();
    p.up_button->click();
    p.down_button->click();
    p.in_channel_box->setValue(p.in_channel_box->value() == 0 ? 1 : 0);
    QCOMPARE(rig.sent(zarn::REQ_DELAY_LOCATOR_GET).size(), std::size_t(4));
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

QTEST_MAIN(TestDelayLocator)
#include "tst_delay_locator.moc"
