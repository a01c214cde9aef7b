#include <QGridLayout>
#include <QPushButton>
#include <QtTest>

#include "panels/panel_rig.h"
#include "panels/zarn_record_status.h"

namespace {

void set_recording(PanelRig &rig, std::int32_t state) {
    rig.daemon.with_engine([state](zarn::sim::Engine &e) { e.recording = state; });
}

std::int32_t value_of(const zarn::sim::ReceivedRequest &r) {
    return record_of<std::int32_t>(r);
}

} // namespace

class TestRecordStatus : public QObject {
    Q_OBJECT

private slots:
    void widgets();
    void state_zero_enables_start_only();
    void start_sends_one_then_reads();
    void any_non_zero_state_counts_as_recording();
    void stop_sends_zero_then_reads();
    void failed_read_at_construction_leaves_both_enabled();
    void buttons_follow_the_reported_state_not_the_request();
    void failed_read_after_start_keeps_the_buttons();
    void failed_start_sends_no_read();
};

void TestRecordStatus::widgets() {
    PanelRig rig;
    ZARNRecordStatus p(rig.window.get());
    QCOMPARE(p.title(), QString("Recording status"));
    QCOMPARE(p.grid->itemAtPosition(0, 0)->widget(), p.start_button);
    QCOMPARE(p.grid->itemAtPosition(0, 1)->widget(), p.stop_button);
    QCOMPARE(p.start_button->text(), QString("START"));
    QCOMPARE(p.stop_button->text(), QString("STOP"));
}

void TestRecordStatus::state_zero_enables_start_only() {
    PanelRig rig;
    set_recording(rig, 0);
    ZARNRecordStatus p(rig.window.get());
    QVERIFY(p.start_button->isEnabled());
    QVERIFY(!p.stop_button->isEnabled());
    QCOMPARE(rig.codes(), std::vector<std::uint32_t>{zarn::REQ_RECORDING_GET});
}

void TestRecordStatus::start_sends_one_then_reads() {
    PanelRig rig;
    set_recording(rig, 0);
    ZARNRecordStatus p(rig.window.get());
    rig.daemon.clear_requests();
    p.start_button->click();
    const auto requests = rig.daemon.requests();
    QCOMPARE(requests.size(), std::size_t(2));
    QCOMPARE(requests[0].code, zarn::REQ_RECORDING_SET);
    QCOMPARE(value_of(requests[0]), 1);
    QCOMPARE(requests[1].code, zarn::REQ_RECORDING_GET);
    QVERIFY(!p.start_button->isEnabled());
    QVERIFY(p.stop_button->isEnabled());
}

void TestRecordStatus::any_non_zero_state_counts_as_recording() {
    PanelRig rig;
    set_recording(rig, 2);
    ZARNRecordStatus p(rig.window.get());
    QVERIFY(!p.start_button->isEnabled());
    QVERIFY(p.stop_button->isEnabled());
    rig.daemon.set_hook(answer_with(zarn::REQ_RECORDING_GET, std::int32_t(-7)));
    p.stop_button->click();
    QVERIFY(!p.start_button->isEnabled());
    QVERIFY(p.stop_button->isEnabled());
}

void TestRecordStatus::stop_sends_zero_then_reads() {
    PanelRig rig;
    set_recording(rig, 1);
    ZARNRecordStatus p(rig.window.get());
    rig.daemon.clear_requests();
    p.stop_button->click();
    const auto requests = rig.daemon.requests();
    QCOMPARE(requests.size(), std::size_t(2));
    QCOMPARE(requests[0].code, zarn::REQ_RECORDING_SET);
    QCOMPARE(value_of(requests[0]), 0);
    QCOMPARE(requests[1].code, zarn::REQ_RECORDING_GET);
    QVERIFY(p.start_button->isEnabled());
    QVERIFY(!p.stop_button->isEnabled());
}

void TestRecordStatus::failed_read_at_construction_leaves_both_enabled() {
    PanelRig rig;
    rig.close();
    ZARNRecordStatus p(rig.window.get());
    QVERIFY(p.start_button->isEnabled());
    QVERIFY(p.stop_button->isEnabled());

    rig.open();
    set_recording(rig, 1);
    p.stop_button->click();
    QCOMPARE(rig.codes(),
             (std::vector<std::uint32_t>{zarn::REQ_RECORDING_SET, zarn::REQ_RECORDING_GET}));
    QCOMPARE(value_of(rig.daemon.requests()[0]), 0);
    QVERIFY(p.start_button->isEnabled());
    QVERIFY(!p.stop_button->isEnabled());
}

void TestRecordStatus::buttons_follow_the_reported_state_not_the_request() {
    PanelRig rig;
    ZARNRecordStatus p(rig.window.get());
    // The daemon accepts the start but still reports that it is not recording.
    rig.daemon.set_hook(answer_with(zarn::REQ_RECORDING_GET, std::int32_t(0)));
    p.start_button->click();
    QVERIFY(p.start_button->isEnabled());
    QVERIFY(!p.stop_button->isEnabled());
}

void TestRecordStatus::failed_read_after_start_keeps_the_buttons() {
    PanelRig rig;
    set_recording(rig, 0);
    ZARNRecordStatus p(rig.window.get());
    rig.daemon.set_hook(fail(zarn::REQ_RECORDING_GET));
    p.start_button->click();
    QCOMPARE(rig.daemon.with_engine([](zarn::sim::Engine &e) { return e.recording; }), 1);
    QVERIFY(p.start_button->isEnabled());
    QVERIFY(!p.stop_button->isEnabled());
}

void TestRecordStatus::failed_start_sends_no_read() {
    PanelRig rig;
    set_recording(rig, 0);
    ZARNRecordStatus p(rig.window.get());
    rig.daemon.set_hook(fail(zarn::REQ_RECORDING_SET));
    rig.daemon.clear_requests();
    p.start_button->click();
    QCOMPARE(rig.codes(), std::vector<std::uint32_t>{zarn::REQ_RECORDING_SET});
    QVERIFY(p.start_button->isEnabled());
    QVERIFY(!p.stop_button->isEnabled());
}

QTEST_MAIN(TestRecordStatus)
#include "tst_record_status.moc"
