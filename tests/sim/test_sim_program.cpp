#include <QFile>
#include <QFileInfo>
#include <QProcess>
#include <QTemporaryDir>
#include <QTest>

#include <csignal>
#include <cstdint>
#include <cstring>
#include <sys/socket.h>
#include <sys/un.h>
#include <unistd.h>

#include "ctl/requests.h"
#include "ctl/transport.h"

// The zarnmix_sim program itself, as scripts/run starts it.
namespace {

bool wait_for_socket(const QString &path, int timeout_ms = 5000) {
    for (int waited = 0; waited < timeout_ms; waited += 20) {
        if (QFileInfo(path).exists()) {
            return true;
        }
        QTest::qWait(20);
    }
    return false;
}

struct Sim {
    explicit Sim(const QStringList &arguments) {
        process.setProgram(QStringLiteral(ZARNMIX_SIM_PROGRAM));
        process.setArguments(arguments);
        process.start();
    }
    ~Sim() {
        if (process.state() != QProcess::NotRunning) {
            process.kill();
            process.waitForFinished(5000);
        }
    }
    QProcess process;
};

int target_peak(int fd, std::int32_t number, std::int32_t channel) {
    zarn::TargetPeak peak{};
    peak.number = number;
    peak.channel = channel;
    return zarn::ctl_request(fd, zarn::REQ_DEV_PEAK, &peak);
}

} // namespace

class TestSimProgram : public QObject {
    Q_OBJECT

private slots:
    void answers_peaks_and_shuts_down_cleanly() {
        QTemporaryDir dir;
        const QString socket = dir.filePath(QStringLiteral("zmix.ctl"));
        const QString trace = dir.filePath(QStringLiteral("trace.txt"));
        Sim sim({QStringLiteral("--socket"), socket, QStringLiteral("--trace"), trace});
        QVERIFY(wait_for_socket(socket));

        const int fd = zarn::ctl_open(socket.toLocal8Bit().constData());
        QVERIFY(fd >= 0);
        QCOMPARE(target_peak(fd, 0, 0), 0);
        QVERIFY(target_peak(fd, 99, 0) != 0);
        QCOMPARE(target_peak(fd, 1, 2), 0);
        zarn::ctl_close(fd);

        QVERIFY(sim.process.waitForReadyRead(5000) || sim.process.bytesAvailable() > 0);
        QVERIFY(QString::fromLocal8Bit(sim.process.readAllStandardOutput()).contains(socket));

        ::kill(static_cast<pid_t>(sim.process.processId()), SIGTERM);
        QVERIFY(sim.process.waitForFinished(5000));
        QCOMPARE(sim.process.exitStatus(), QProcess::NormalExit);
        QCOMPARE(sim.process.exitCode(), 0);
        QVERIFY(!QFileInfo::exists(socket));

        QFile file(trace);
        QVERIFY(file.open(QIODevice::ReadOnly));
        const QList<QByteArray> lines = file.readAll().trimmed().split('\n');
        QCOMPARE(lines.size(), 3);
        const QList<QByteArray> first = lines[0].split(' ');
        QCOMPARE(first.size(), 4);
        QVERIFY(first[0].endsWith('Z'));
        QCOMPARE(first[1], QByteArray("0xc0404f09"));
        QCOMPARE(first[2], QByteArray("0"));
        QCOMPARE(first[3], QByteArray(128, '0'));
        const QList<QByteArray> second = lines[1].split(' ');
        QCOMPARE(second[2], QByteArray("-1"));
        QVERIFY(second[3].startsWith("6300000000000000"));
    }

    void sigint_also_ends_it() {
        QTemporaryDir dir;
        const QString socket = dir.filePath(QStringLiteral("zmix.ctl"));
        Sim sim({QStringLiteral("--socket"), socket});
        QVERIFY(wait_for_socket(socket));
        ::kill(static_cast<pid_t>(sim.process.processId()), SIGINT);
        QVERIFY(sim.process.waitForFinished(5000));
        QCOMPARE(sim.process.exitCode(), 0);
        QVERIFY(!QFileInfo::exists(socket));
    }

    void topology_options_are_served() {
        QTemporaryDir dir;
        const QString socket = dir.filePath(QStringLiteral("zmix.ctl"));
        Sim sim({QStringLiteral("--socket"), socket, QStringLiteral("--devices"),
                 QStringLiteral("4"), QStringLiteral("--loops"), QString(),
                 QStringLiteral("--main-outputs"), QStringLiteral("8"),
                 QStringLiteral("--filter-length"), QStringLiteral("0"),
                 QStringLiteral("--sample-rate"), QStringLiteral("96000"),
                 QStringLiteral("--sample-bits"), QStringLiteral("16")});
        QVERIFY(wait_for_socket(socket));
        const int fd = zarn::ctl_open(socket.toLocal8Bit().constData());
        QCOMPARE(target_peak(fd, 0, 3), 0);
        QVERIFY(target_peak(fd, 0, 4) != 0);
        QVERIFY(target_peak(fd, 1, 0) != 0);
        zarn::TargetPeak loop{};
        QVERIFY(zarn::ctl_request(fd, zarn::REQ_LOOP_PEAK, &loop) != 0);
        zarn::MonitorPeak main{};
        main.index = 7;
        QCOMPARE(zarn::ctl_request(fd, zarn::REQ_MAIN_OUTPUT_PEAK, &main), 0);
        QCOMPARE(main.sample_bits, 16u);
        zarn::FilterRecord query{};
        QCOMPARE(zarn::ctl_request(fd, zarn::REQ_DEV_RX_FILTER_GET, &query), 0);
        QCOMPARE(query.size, 0);
        std::int32_t rate = 0;
        QCOMPARE(zarn::ctl_request(fd, zarn::REQ_SAMPLE_RATE_GET, &rate), 0);
        QCOMPARE(rate, 96000);
        zarn::ctl_close(fd);
    }

    void refuses_a_path_held_by_a_live_daemon_and_replaces_a_stale_one() {
        QTemporaryDir dir;
        const QString socket = dir.filePath(QStringLiteral("zmix.ctl"));
        Sim first({QStringLiteral("--socket"), socket});
        QVERIFY(wait_for_socket(socket));

        QProcess second;
        second.start(QStringLiteral(ZARNMIX_SIM_PROGRAM), {QStringLiteral("--socket"), socket});
        QVERIFY(second.waitForFinished(5000));
        QCOMPARE(second.exitCode(), 1);
        QVERIFY(QString::fromLocal8Bit(second.readAllStandardError()).contains("in use"));
        // The first daemon still owns and serves its socket.
        const int fd = zarn::ctl_open(socket.toLocal8Bit().constData());
        QCOMPARE(target_peak(fd, 0, 0), 0);
        zarn::ctl_close(fd);

        // A daemon that died without cleaning up leaves a stale socket file.
        first.process.kill();
        QVERIFY(first.process.waitForFinished(5000));
        QVERIFY(QFileInfo::exists(socket));
        Sim third({QStringLiteral("--socket"), socket});
        QVERIFY(third.process.waitForReadyRead(5000));
        const int again = zarn::ctl_open(socket.toLocal8Bit().constData());
        QVERIFY(again >= 0);
        QCOMPARE(target_peak(again, 0, 0), 0);
        zarn::ctl_close(again);
    }

    void refuses_a_path_that_is_not_a_socket() {
        QTemporaryDir dir;
        const QString path = dir.filePath(QStringLiteral("notes.txt"));
        QFile file(path);
        QVERIFY(file.open(QIODevice::WriteOnly));
        file.write("keep me");
        file.close();
        QProcess sim;
        sim.start(QStringLiteral(ZARNMIX_SIM_PROGRAM), {QStringLiteral("--socket"), path});
        QVERIFY(sim.waitForFinished(5000));
        QCOMPARE(sim.exitCode(), 1);
        QVERIFY(QFileInfo(path).size() == 7);
    }

    void help_and_bad_arguments() {
        QProcess help;
        help.start(QStringLiteral(ZARNMIX_SIM_PROGRAM), {QStringLiteral("--help")});
        QVERIFY(help.waitForFinished(5000));
        QCOMPARE(help.exitCode(), 0);
        const QString text = QString::fromLocal8Bit(help.readAllStandardOutput());
        for (const char *word :
             {"--socket", "--devices", "--loops", "--input-monitors", "--output-monitors",
              "--local-monitors", "--main-outputs", "--main-inputs", "--filter-length",
              "--sample-rate", "--sample-bits", "--trace", "-rate=", "-input="}) {
            QVERIFY2(text.contains(QLatin1String(word)), word);
        }

        const QStringList bad[] = {{QStringLiteral("--devices"), QStringLiteral("2,,3")},
                                   {QStringLiteral("--devices"), QStringLiteral("0")},
                                   {QStringLiteral("--filter-length"), QStringLiteral("65537")},
                                   {QStringLiteral("--sample-bits"), QStringLiteral("64")},
                                   {QStringLiteral("--input-monitors"), QStringLiteral("x")},
                                   {QStringLiteral("--frobnicate")},
                                   {QStringLiteral("stray")}};
        for (const QStringList &arguments : bad) {
            QProcess sim;
            sim.start(QStringLiteral(ZARNMIX_SIM_PROGRAM), arguments);
            QVERIFY(sim.waitForFinished(5000));
            QVERIFY2(sim.exitCode() == 64, qPrintable(arguments.join(' ')));
            QVERIFY(!sim.readAllStandardError().isEmpty());
        }
    }
};

QTEST_GUILESS_MAIN(TestSimProgram)
#include "test_sim_program.moc"
