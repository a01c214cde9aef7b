#include <QGridLayout>
#include <QLabel>
#include <QPushButton>
#include <QtTest>

#include "panels/panel_rig.h"
#include "panels/zarn_sys_info_options.h"

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
    void line_data();
    void line();
    void a_name_filling_its_field_ends_there();
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

void TestSysInfo::line_data() {
    QTest::addColumn<quint32>("rate");
    QTest::addColumn<QByteArray>("in");
    QTest::addColumn<QByteArray>("out");
    QTest::addColumn<QString>("text");
    QTest::newRow("all ones is unsigned")
        << quint32(0xffffffffu) << QByteArray("a") << QByteArray("b")
        << "4294967295 Hz, 24 bits, 2 channels, Input: a, Output: b";
    QTest::newRow("empty names") << quint32(44100) << QByteArray() << QByteArray()
                                 << "44100 Hz, 24 bits, 2 channels, Input: , Output: ";
    // The toolkit's substitution passes: a marker in a name is substituted
    // again, and the pattern's own %5 is left standing.
    QTest::newRow("name with %1") << quint32(48000) << QByteArray("x%1") << QByteArray("y")
                                  << "48000 Hz, 24 bits, 2 channels, Input: xy, Output: %5";
    QTest::newRow("utf-8 names") << quint32(48000) << QByteArray("Gr\xc3\xbc\xc3\x9f")
                                 << QByteArray("\xe2\x82\xac")
                                 << QString::fromUtf8("48000 Hz, 24 bits, 2 channels, Input: "
                                                      "Grüß, Output: €");
}

void TestSysInfo::line() {
    QFETCH(quint32, rate);
    QFETCH(QByteArray, in);
    QFETCH(QByteArray, out);
    QFETCH(QString, text);
    PanelRig rig;
    set_info(rig, info_of(rate, 24, 2, in.toStdString(), out.toStdString()));
    ZARNSysInfoOptions p(rig.window.get());
    QCOMPARE(p.label->text(), text);
}

void TestSysInfo::a_name_filling_its_field_ends_there() {
    PanelRig rig;
    // Neither name has a NUL: read past its field, the input name would run
    // into the output name.
    set_info(rig, info_of(48000, 16, 2, std::string(64, 'I'), std::string(64, 'O')));
    ZARNSysInfoOptions p(rig.window.get());
    QCOMPARE(p.label->text(), QString("48000 Hz, 16 bits, 2 channels, Input: ") +
                                  QString(64, QChar('I')) + ", Output: " + QString(64, QChar('O')));
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
#include "tst_sys_info.moc"
