// SPDX-License-Identifier: BSD-2-Clause

#include <QGridLayout>
#include <QPushButton>
#include <QtTest>

#include "panels/zarn_record_status.h"
#include "support/panel_rig.h"

namespace {

void set_recording(PanelRig &rig, std::int32_t state) {
    rig.daemon.with_engine([state](zarn::sim::Engine &e) { e.recording = state; });
}

// Which buttons are enabled: "start", "stop", both or none.
QString enabled(const ZARNRecordStatus &p) {
    QStringList l;
    if (p.start_button->isEnabled())
        l << "start";
    if (p.stop_button->isEnabled())
        l << "stop";
    return l.join(',');
}

// The requests received: code names, with the value of each write.
QStringList received(const PanelRig &rig) {
    QStringList l;
    for (const auto &r : rig.daemon.requests())
        l << (r.code == zarn::REQ_RECORDING_SET
                  ? QStringLiteral("set %1").arg(record_of<std::int32_t>(r))
              : r.code == zarn::REQ_RECORDING_GET ? QStringLiteral("get")
                                                  : QStringLiteral("?"));
    return l;
}

} // namespace

class TestRecordStatus : public QObject {
    Q_OBJECT

private slots:
    void widgets();
    void start_and_stop_write_then_read();
    void buttons_follow_the_reported_state();
    void failures();
};

void TestRecordStatus::widgets() {
    PanelRig rig;
    ZARNRecordStatus p(rig.window.get());
    QCOMPARE(p.title(), QString("Recording status"));
    QCOMPARE(p.grid->itemAtPosition(0, 0)->widget(), p.start_button);
    QCOMPARE(p.grid->itemAtPosition(0, 1)->widget(), p.stop_button);
    QCOMPARE(QStringList({p.start_button->text(), p.stop_button->text()}),
             QStringList({"START", "STOP"}));
}

void TestRecordStatus::start_and_stop_write_then_read() {
    PanelRig rig;
    set_recording(rig, 0);
    ZARNRecordStatus p(rig.window.get());
    QCOMPARE(received(rig), QStringList({"get"}));
    QCOMPARE(enabled(p), QString("start"));
    rig.daemon.clear_requests();
    p.start_button->click();
    QCOMPARE(received(rig), QStringList({"set 1", "get"}));
    QCOMPARE(enabled(p), QString("stop"));
    rig.daemon.clear_requests();
    p.stop_button->click();
    QCOMPARE(received(rig), QStringList({"set 0", "get"}));
    QCOMPARE(enabled(p), QString("start"));
}

void TestRecordStatus::buttons_follow_the_reported_state() {
    PanelRig rig;
    set_recording(rig, 2); // any non-zero state counts as recording
    ZARNRecordStatus p(rig.window.get());
    QCOMPARE(enabled(p), QString("stop"));
    rig.daemon.set_hook(answer_with(zarn::REQ_RECORDING_GET, std::int32_t(-7)));
    p.stop_button->click();
    QCOMPARE(enabled(p), QString("stop"));
    // The daemon accepts the start but still reports that it is not recording.
    rig.daemon.set_hook(answer_with(zarn::REQ_RECORDING_GET, std::int32_t(0)));
    ZARNRecordStatus q(rig.window.get());
    rig.daemon.clear_requests();
    q.start_button->click();
    QCOMPARE(received(rig), QStringList({"set 1", "get"}));
    QCOMPARE(enabled(q), QString("start"));
}

void TestRecordStatus::failures() {
    PanelRig rig;
    rig.close();
    ZARNRecordStatus p(rig.window.get());
    QCOMPARE(enabled(p), QString("start,stop")); // a failed first read

    rig.open();
    set_recording(rig, 1);
    p.stop_button->click();
    QCOMPARE(received(rig), QStringList({"set 0", "get"}));
    QCOMPARE(enabled(p), QString("start"));

    // A failed read after a start keeps the buttons.
    rig.daemon.set_hook(fail(zarn::REQ_RECORDING_GET));
    p.start_button->click();
    QCOMPARE(rig.daemon.with_engine([](zarn::sim::Engine &e) { return e.recording; }), 1);
    QCOMPARE(enabled(p), QString("start"));

    // A failed start sends no read.
    set_recording(rig, 0);
    rig.daemon.set_hook(fail(zarn::REQ_RECORDING_SET));
    rig.daemon.clear_requests();
    p.start_button->click();
    QCOMPARE(received(rig), QStringList({"set 1"}));
    QCOMPARE(enabled(p), QString("start"));
}

QTEST_MAIN(TestRecordStatus)
#include "test_record_status.moc"
