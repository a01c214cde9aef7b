// SPDX-License-Identifier: BSD-2-Clause

#include <QtTest>

#include <QElapsedTimer>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QProcess>

#include <csignal>
#include <cstring>
#include <map>
#include <vector>

#include "ctl/catalogue.h"
#include "ctl/channel_config.h"
#include "ctl/compressor_settings.h"
#include "ctl/main_compressor_settings.h"
#include "ctl/monitor_config.h"
#include "ctl/requests.h"
#include "ctl/transport.h"
#include "support/run_program.h"
#include "support/test_daemon.h"

using zarn::sim::TestDaemon;

namespace {

using Bytes = std::vector<unsigned char>;

Run mixer(const TestDaemon &d, const QStringList &args) {
    return run_program(QStringLiteral(ZARNMIX_MIXER), QStringList{"-f", d.path()} + args);
}

// Each write code with the read of the same record.
const std::map<std::uint32_t, std::uint32_t> READ_OF = {
    {zarn::REQ_DEV_CONFIG_SET, zarn::REQ_DEV_CONFIG_GET},
    {zarn::REQ_LOOP_CONFIG_SET, zarn::REQ_LOOP_CONFIG_GET},
    {zarn::REQ_INPUT_MON_SET, zarn::REQ_INPUT_MON_GET},
    {zarn::REQ_OUTPUT_MON_SET, zarn::REQ_OUTPUT_MON_GET},
    {zarn::REQ_LOCAL_MON_SET, zarn::REQ_LOCAL_MON_GET},
    {zarn::REQ_DEV_COMP_SET, zarn::REQ_DEV_COMP_GET},
    {zarn::REQ_LOOP_COMP_SET, zarn::REQ_LOOP_COMP_GET},
    {zarn::REQ_MAIN_COMP_SET, zarn::REQ_MAIN_COMP_GET},
};

std::vector<zarn::sim::ReceivedRequest> writes(const TestDaemon &d) {
    std::vector<zarn::sim::ReceivedRequest> found;
    for (const auto &r : d.requests()) {
        if (READ_OF.count(r.code))
            found.push_back(r);
    }
    return found;
}

// The record a daemon holds for the target a write addresses, read as
// another client; the main output's compressor has no number to address.
Bytes current(const char *path, const zarn::sim::ReceivedRequest &write) {
    Bytes record(write.record.size(), 0);
    if (write.code != zarn::REQ_MAIN_COMP_SET)
        std::memcpy(
            record.data(), write.record.data(),
            write.code == zarn::REQ_DEV_CONFIG_SET || write.code == zarn::REQ_LOOP_CONFIG_SET ? 8
                                                                                              : 4);
    const int fd = zarn::ctl_open(path);
    zarn::ctl_request(fd, READ_OF.at(write.code), record.data());
    zarn::ctl_close(fd);
    return record;
}

std::int32_t int_at(const Bytes &record, int offset) {
    std::int32_t v;
    std::memcpy(&v, record.data() + offset, sizeof v);
    return v;
}

void put_int(Bytes &record, int offset, std::int32_t v) {
    std::memcpy(record.data() + offset, &v, sizeof v);
}

constexpr int TX_AMP = offsetof(zarn::ChannelConfig, tx_amp);
constexpr int RX_MUTE = offsetof(zarn::ChannelConfig, rx_mute);

void set_tx_gains(TestDaemon &d, std::int32_t first, std::int32_t second) {
    d.with_engine([&](zarn::sim::Engine &e) {
        e.devices[0].channels[0].config.tx_amp = first;
        e.devices[0].channels[1].config.tx_amp = second;
    });
}

} // namespace

class TestZarnmixMixer : public QObject {
    Q_OBJECT

private slots:
    // A good line writes one record per channel (or compressor) that differs
    // from what the daemon held in the field alone; a bad one anywhere sends
    // nothing and names itself.
    void testArgumentLine_data();
    void testArgumentLine();
    void testRelativeAndToggle_data();
    void testRelativeAndToggle();
    void testOutputFedBack();
    void testMonitorPrintsOtherClientsChange();
};

void TestZarnmixMixer::testArgumentLine_data() {
    QTest::addColumn<QStringList>("args");
    QTest::addColumn<int>("status");
    QTest::addColumn<int>("written");
    QTest::addColumn<int>("offset"); // of the field changed, in the record written
    QTest::addColumn<int>("value");
    QTest::addColumn<QString>("named"); // in the message of a bad line

    const int amp = TX_AMP;
    const int mon_amp = offsetof(zarn::MonitorConfig, amp);
    const int knee = offsetof(zarn::CompressorSettings, knee);
    const int main_on = offsetof(zarn::MainCompressorSettings, enabled);
    const int delay = offsetof(zarn::ChannelConfig, delay);
    QTest::newRow("negative gain, both channels")
        << QStringList{"dsp0.tx.gain=-6"} << 0 << 2 << amp << -6 << "";
    QTest::newRow("one channel's mute")
        << QStringList{"dsp0:1.rx.mute=on"} << 0 << 1 << RX_MUTE << 1 << "";
    QTest::newRow("three channels") << QStringList{"dsp1.tx.gain=3"} << 0 << 3 << amp << 3 << "";
    QTest::newRow("loopback delay") << QStringList{"loop0.delay=10"} << 0 << 2 << delay << 10 << "";
    QTest::newRow("monitor") << QStringList{"in-mon1.gain=4"} << 0 << 1 << mon_amp << 4 << "";
    QTest::newRow("compressor") << QStringList{"dsp0.comp.knee=100"} << 0 << 1 << knee << 100 << "";
    QTest::newRow("main output compressor")
        << QStringList{"main-out.comp.enabled=on"} << 0 << 1 << main_on << 1 << "";
    QTest::newRow("shown, not set") << QStringList{"-o", "dsp0.tx.gain"} << 0 << 0 << 0 << 0 << "";

    const QStringList good{"dsp0.tx.gain=-6"};
    QTest::newRow("gain out of range") << good + QStringList{"dsp0.rx.gain=32"} << 64 << 0 << 0 << 0
                                       << "dsp0.rx.gain=32: out of range -31..31";
    QTest::newRow("no such control")
        << good + QStringList{"dsp0.volume=3"} << 64 << 0 << 0 << 0 << "dsp0.volume=3";
    QTest::newRow("switch given a step")
        << good + QStringList{"dsp0.tx.mute+=1"} << 64 << 0 << 0 << 0 << "dsp0.tx.mute+=1";
    QTest::newRow("not a number") << good + QStringList{"dsp0.tx.gain=-"} << 64 << 0 << 0 << 0
                                  << "dsp0.tx.gain=-";
    QTest::newRow("no operator") << good + QStringList{"dsp0.tx.gain-1"} << 64 << 0 << 0 << 0
                                 << "dsp0.tx.gain-1";
    QTest::newRow("compressor of one channel")
        << good + QStringList{"dsp0:1.comp.knee=3"} << 64 << 0 << 0 << 0 << "dsp0:1.comp.knee=3";
    QTest::newRow("both formats") << QStringList{"-o", "-j"} << 64 << 0 << 0 << 0 << "usage";
    QTest::newRow("no such target")
        << good + QStringList{"dsp7.tx.gain=1"} << 1 << 0 << 0 << 0 << "dsp7.tx.gain=1";
    QTest::newRow("no such channel")
        << good + QStringList{"dsp0:2.tx.gain=1"} << 1 << 0 << 0 << 0 << "dsp0:2.tx.gain=1";
    QTest::newRow("monitor has no channels")
        << good + QStringList{"in-mon0:0.gain=1"} << 1 << 0 << 0 << 0 << "in-mon0:0.gain=1";
    QTest::newRow("kind has no such control")
        << good + QStringList{"main-out.rx.gain=1"} << 1 << 0 << 0 << 0 << "main-out.rx.gain=1";
    QTest::newRow("delay past the daemon's limit")
        << good + QStringList{"dsp0.delay=99999999"} << 1 << 0 << 0 << 0
        << "dsp0.delay=99999999: out of range 0..4800";
}

void TestZarnmixMixer::testArgumentLine() {
    QFETCH(QStringList, args);
    QFETCH(int, status);
    QFETCH(int, written);
    QFETCH(int, offset);
    QFETCH(int, value);
    QFETCH(QString, named);
    TestDaemon d;
    const Run r = mixer(d, args);
    QCOMPARE(r.status, status);
    if (!named.isEmpty())
        QVERIFY2(r.err.contains(named.toUtf8()), r.err.constData());
    const auto sent = writes(d);
    QCOMPARE(int(sent.size()), written);
    // A daemon that was not told anything holds what this one held before.
    TestDaemon before;
    for (const auto &w : sent) {
        Bytes expected = current(before.path(), w);
        put_int(expected, offset, value);
        if (w.code == zarn::REQ_DEV_COMP_SET || w.code == zarn::REQ_LOOP_COMP_SET)
            put_int(expected, offsetof(zarn::CompressorSettings, gain), 0);
        if (w.code == zarn::REQ_MAIN_COMP_SET)
            put_int(expected, offsetof(zarn::MainCompressorSettings, gain), 0);
        QCOMPARE(w.record, expected);
    }
    // A malformed line is refused before the device is opened.
    if (status == 64)
        QCOMPARE(d.requests().size(), std::size_t{0});
    if (status == 0 && args.contains("-o"))
        QCOMPARE(r.out, QByteArray("dsp0.tx.gain=0\n"));
}

void TestZarnmixMixer::testRelativeAndToggle_data() {
    QTest::addColumn<QString>("arg");
    QTest::addColumn<int>("first");
    QTest::addColumn<int>("second");
    QTest::addColumn<int>("offset");
    QTest::addColumn<QList<int>>("written"); // channel 0's value, channel 1's (or nothing)

    QTest::newRow("down") << "dsp0.tx.gain-=6" << 3 << -2 << TX_AMP << QList<int>{-3, -8};
    QTest::newRow("stops at the top")
        << "dsp0.tx.gain+=5" << 29 << 31 << TX_AMP << QList<int>{31, 31};
    QTest::newRow("stops at the bottom")
        << "dsp0.tx.gain-=6" << -28 << -30 << TX_AMP << QList<int>{-31, -31};
    QTest::newRow("toggle both") << "dsp0.rx.mute=toggle" << 0 << 0 << RX_MUTE << QList<int>{1, 1};
    QTest::newRow("toggle one channel")
        << "dsp0:1.rx.mute=toggle" << 0 << 0 << RX_MUTE << QList<int>{1};
}

void TestZarnmixMixer::testRelativeAndToggle() {
    QFETCH(QString, arg);
    QFETCH(int, first);
    QFETCH(int, second);
    QFETCH(int, offset);
    QFETCH(QList<int>, written);
    TestDaemon d;
    set_tx_gains(d, first, second);
    const Run r = mixer(d, {arg});
    QCOMPARE(r.status, 0);
    QList<int> values;
    for (const auto &w : writes(d))
        values << int_at(w.record, offset);
    QCOMPARE(values, written);
}

void TestZarnmixMixer::testOutputFedBack() {
    TestDaemon d;
    set_tx_gains(d, -5, 7);
    d.with_engine([](zarn::sim::Engine &e) {
        e.input_monitors[1].config.mute = 1;
        e.loops[0].compressor.knee = 77;
    });
    const Run saved = mixer(d, {"-o"});
    QCOMPARE(saved.status, 0);
    QVERIFY(saved.out.contains("dsp0:1.tx.gain=7\n"));

    // Everything changed away, then the saved lines given back.
    TestDaemon other;
    const QStringList lines = QString::fromUtf8(saved.out).split('\n', Qt::SkipEmptyParts);
    const Run restored =
        run_program(QStringLiteral(ZARNMIX_MIXER), QStringList{"-f", other.path()} + lines);
    QCOMPARE(restored.status, 0);
    QCOMPARE(mixer(other, {"-o"}).out, saved.out);

    const Run json = mixer(d, {"-j"});
    const QJsonObject first =
        QJsonDocument::fromJson(json.out).object().value("targets").toArray().at(0).toObject();
    QCOMPARE(first.value("controls").toObject().value("tx.gain").toArray(), (QJsonArray{-5, 7}));
}

void TestZarnmixMixer::testMonitorPrintsOtherClientsChange() {
    TestDaemon d;
    QProcess watch;
    watch.start(QStringLiteral(ZARNMIX_MIXER), {"-f", d.path(), "-m", "dsp0.tx.gain"});
    QVERIFY(watch.waitForReadyRead(5000));
    QCOMPARE(watch.readLine(), QByteArray("dsp0.tx.gain=0\n"));

    const int fd = zarn::ctl_open(d.path());
    for (std::int32_t channel = 0; channel < 2; ++channel) {
        zarn::ConfigRecord record;
        QCOMPARE(zarn::read_config(fd, {zarn::KIND_DEVICE, 0, channel}, record.bytes), 0);
        std::int32_t gain = -4;
        std::memcpy(record.bytes + TX_AMP, &gain, sizeof gain);
        QCOMPARE(zarn::write_config(fd, {zarn::KIND_DEVICE, 0, channel}, record.bytes), 0);
    }
    zarn::ctl_close(fd);
    QByteArray seen;
    QElapsedTimer clock;
    clock.start();
    while (!seen.contains("dsp0.tx.gain=-4\n") && clock.elapsed() < 5000) {
        watch.waitForReadyRead(200);
        seen += watch.readAll();
    }
    QVERIFY2(seen.contains("dsp0.tx.gain=-4\n"), seen.constData());

    ::kill(static_cast<pid_t>(watch.processId()), SIGTERM);
    QVERIFY(watch.waitForFinished(5000));
    QCOMPARE(watch.exitStatus(), QProcess::NormalExit);
    QCOMPARE(watch.exitCode(), 0);
}

QTEST_GUILESS_MAIN(TestZarnmixMixer)
#include "test_zarnmix_mixer.moc"
