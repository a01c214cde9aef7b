// SPDX-License-Identifier: BSD-2-Clause

#include <QGridLayout>
#include <QLabel>
#include <QPushButton>
#include <QtTest>

#include "panels/zarn_sys_info_options.h"
#include "support/panel_rig.h"

using zarn::SystemInfo;

namespace {

SystemInfo info_of(std::uint32_t rate, std::uint32_t bits, std::uint32_t channels,
                   const std::string &in, const std::string &out) {
    SystemInfo s{};
    s.reserved0 = 0xdeadbeef;
    s.reserved1 = 0xfeedface;
    s.sample_rate = rate;
    s.sample_bits = bits;
    s.channels = channels;
    std::memcpy(s.input_device, in.data(), std::min(in.size(), sizeof s.input_device));
    std::memcpy(s.output_device, out.data(), std::min(out.size(), sizeof s.output_device));
    return s;
}

void set_info(PanelRig &rig, const SystemInfo &s) {
    rig.daemon.with_engine([&s](zarn::sim::Engine &e) { e.system_info = s; });
}

} // namespace

class TestSysInfo : public QObject {
    Q_OBJECT

private slots:
    void construction_reads_once();
    void lines();
    void closed_at_start_stays_empty_and_a_failed_read_keeps_the_text();
};

void TestSysInfo::construction_reads_once() {
    PanelRig rig;
    set_info(rig, info_of(48000, 16, 2, "in", "out"));
    ZARNSysInfoOptions p(rig.window.get());
    QCOMPARE(p.title(), QString("System information"));
    QCOMPARE(p.grid->itemAtPosition(0, 0)->widget(), p.label);
    const auto requests = rig.daemon.requests();
    QCOMPARE(requests.size(), std::size_t(1));
    QCOMPARE(requests[0].code, zarn::REQ_SYSTEM_INFO);
    QCOMPARE(requests[0].record.size(), std::size_t(148));
    QCOMPARE(p.label->text(), QString("48000 Hz, 16 bits, 2 channels, Input: in, Output: out"));
}

void TestSysInfo::lines() {
    const struct {
        std::uint32_t rate;
        std::string in, out;
        QString text;
    } cases[] = {
        {0xffffffffu, "a", "b", "4294967295 Hz, 24 bits, 2 channels, Input: a, Output: b"},
        {44100, "", "", "44100 Hz, 24 bits, 2 channels, Input: , Output: "},
        // A marker in a name is shown as it is, never substituted.
        {48000, "x%1", "y%5", "48000 Hz, 24 bits, 2 channels, Input: x%1, Output: y%5"},
        {48000, "%3%2", "%1%4", "48000 Hz, 24 bits, 2 channels, Input: %3%2, Output: %1%4"},
        {48000, "Gr\xc3\xbc\xc3\x9f", "\xe2\x82\xac",
         QString::fromUtf8("48000 Hz, 24 bits, 2 channels, Input: Grüß, Output: €")},
        // Names filling their fields without a NUL end there.
        {48000, std::string(64, 'I'), std::string(64, 'O'),
         "48000 Hz, 24 bits, 2 channels, Input: " + QString(64, 'I') +
             ", Output: " + QString(64, 'O')},
    };
    for (const auto &c : cases) {
        PanelRig rig;
        set_info(rig, info_of(c.rate, 24, 2, c.in, c.out));
        ZARNSysInfoOptions p(rig.window.get());
        QCOMPARE(p.label->text(), c.text);
    }
}

void TestSysInfo::closed_at_start_stays_empty_and_a_failed_read_keeps_the_text() {
    PanelRig rig;
    rig.close();
    ZARNSysInfoOptions p(rig.window.get());
    QCOMPARE(p.label->text(), QString());
    p.refresh();
    QCOMPARE(p.label->text(), QString());

    rig.open();
    set_info(rig, info_of(48000, 16, 2, "in", "out"));
    p.refresh();
    const QString shown = p.label->text();
    QCOMPARE(shown, QString("48000 Hz, 16 bits, 2 channels, Input: in, Output: out"));
    rig.daemon.set_hook(fail(zarn::REQ_SYSTEM_INFO));
    set_info(rig, info_of(96000, 24, 8, "x", "y"));
    p.refresh();
    QCOMPARE(p.label->text(), shown);
}

QTEST_MAIN(TestSysInfo)
#include "test_sys_info.moc"
