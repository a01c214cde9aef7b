// SPDX-License-Identifier: BSD-2-Clause

#include <QFile>
#include <QFileInfo>
#include <QProcess>
#include <QTemporaryDir>
#include <QTest>

#include <csignal>
#include <cstdint>

#include "ctl/requests.h"
#include "ctl/transport.h"

// The zarnmix_sim program itself, as scripts/run starts it.
namespace {

const QString PROGRAM = QStringLiteral(ZARNMIX_SIM_PROGRAM);

struct Sim {
    explicit Sim(const QString &socket, QStringList arguments = {}) {
        process.start(PROGRAM, QStringList{QStringLiteral("--socket"), socket} + arguments);
        for (int waited = 0; waited < 5000 && !QFileInfo::exists(socket); waited += 20) {
            QTest::qWait(20);
        }
        fd = zarn::ctl_open(socket.toLocal8Bit().constData());
    }
    ~Sim() {
        zarn::ctl_close(fd);
        if (process.state() != QProcess::NotRunning) {
            process.kill();
            process.waitForFinished(5000);
        }
    }
    bool ends_cleanly_on(int signal) {
        ::kill(static_cast<pid_t>(process.processId()), signal);
        return process.waitForFinished(5000) && process.exitStatus() == QProcess::NormalExit &&
               process.exitCode() == 0;
    }
    QProcess process;
    int fd = -1;
};

int target_peak(int fd, std::uint32_t code, std::int32_t number, std::int32_t channel) {
    zarn::TargetPeak peak{};
    peak.number = number;
    peak.channel = channel;
    return zarn::ctl_request(fd, code, &peak);
}

// Exit status of the program run to its end; what it wrote to stdout and stderr.
int run(const QStringList &arguments, QByteArray *out, QByteArray *error) {
    QProcess sim;
    sim.start(PROGRAM, arguments);
    sim.waitForFinished(5000);
    *out = sim.readAllStandardOutput();
    *error = sim.readAllStandardError();
    return sim.exitCode();
}

} // namespace

class TestSimProgram : public QObject {
    Q_OBJECT

private slots:
    void answers_peaks_traces_and_shuts_down_cleanly() {
        QTemporaryDir dir;
        const QString socket = dir.filePath(QStringLiteral("zmix.ctl"));
        const QString trace = dir.filePath(QStringLiteral("trace.txt"));
        Sim sim(socket, {QStringLiteral("--trace"), trace});
        QVERIFY(sim.fd >= 0);
        QCOMPARE(target_peak(sim.fd, zarn::REQ_DEV_PEAK, 0, 0), 0);
        QVERIFY(target_peak(sim.fd, zarn::REQ_DEV_PEAK, 99, 0) != 0);
        QCOMPARE(target_peak(sim.fd, zarn::REQ_DEV_PEAK, 1, 2), 0);
        QVERIFY(sim.process.waitForReadyRead(5000) || sim.process.bytesAvailable() > 0);
        QVERIFY(QString::fromLocal8Bit(sim.process.readAllStandardOutput()).contains(socket));
        QVERIFY(sim.ends_cleanly_on(SIGTERM));
        QVERIFY(!QFileInfo::exists(socket));

        QFile file(trace);
        QVERIFY(file.open(QIODevice::ReadOnly));
        const QList<QByteArray> lines = file.readAll().trimmed().split('\n');
        QCOMPARE(lines.size(), 3);
        const QList<QByteArray> first = lines[0].split(' ');
        QCOMPARE(first.size(), 4);
        QVERIFY(first[0].endsWith('Z'));
        QCOMPARE(first.mid(1), (QList<QByteArray>{"0xc0404f09", "0", QByteArray(128, '0')}));
        const QList<QByteArray> second = lines[1].split(' ');
        QCOMPARE(second[2], QByteArray("-1"));
        QVERIFY(second[3].startsWith("6300000000000000"));

        Sim again(socket);
        QVERIFY(again.ends_cleanly_on(SIGINT));
        QVERIFY(!QFileInfo::exists(socket));
    }

    void topology_options_are_served() {
        QTemporaryDir dir;
        Sim sim(dir.filePath(QStringLiteral("zmix.ctl")),
                QStringLiteral("--devices 4 --loops  --input-monitors 0 --output-monitors 3 "
                               "--main-outputs 8 --main-inputs 0 --filter-length 0 "
                               "--sample-rate 96000 --sample-bits 16")
                    .split(QLatin1Char(' ')));
        QCOMPARE(target_peak(sim.fd, zarn::REQ_DEV_PEAK, 0, 3), 0);
        QVERIFY(target_peak(sim.fd, zarn::REQ_DEV_PEAK, 0, 4) != 0);
        QVERIFY(target_peak(sim.fd, zarn::REQ_DEV_PEAK, 1, 0) != 0);
        QVERIFY(target_peak(sim.fd, zarn::REQ_LOOP_PEAK, 0, 0) != 0);
        for (const auto &[code, index, exists] :
             {std::tuple{zarn::REQ_INPUT_MON_PEAK, 0, false},
              std::tuple{zarn::REQ_OUTPUT_MON_PEAK, 2, true},
              std::tuple{zarn::REQ_OUTPUT_MON_PEAK, 3, false},
              std::tuple{zarn::REQ_MAIN_OUTPUT_PEAK, 7, true},
              std::tuple{zarn::REQ_MAIN_OUTPUT_PEAK, 8, false},
              std::tuple{zarn::REQ_MAIN_INPUT_PEAK, 0, false}}) {
            zarn::MonitorPeak peak{index, 0, 0};
            QCOMPARE(zarn::ctl_request(sim.fd, code, &peak) == 0, exists);
            QVERIFY(!exists || peak.sample_bits == 16u);
        }
        zarn::FilterRecord query{};
        QCOMPARE(zarn::ctl_request(sim.fd, zarn::REQ_DEV_RX_FILTER_GET, &query), 0);
        QCOMPARE(query.size, 0);
        std::int32_t rate = 0;
        QCOMPARE(zarn::ctl_request(sim.fd, zarn::REQ_SAMPLE_RATE_GET, &rate), 0);
        QCOMPARE(rate, 96000);
    }

    void refuses_a_path_in_use_and_replaces_a_stale_one() {
        QTemporaryDir dir;
        const QString socket = dir.filePath(QStringLiteral("zmix.ctl"));
        Sim first(socket);
        QByteArray out, error;
        QCOMPARE(run({QStringLiteral("--socket"), socket}, &out, &error), 1);
        QVERIFY(error.contains("in use"));
        // The first daemon still owns and serves its socket.
        QCOMPARE(target_peak(first.fd, zarn::REQ_DEV_PEAK, 0, 0), 0);

        // A daemon that does not start leaves its trace file as it was, and
        // a trace never goes through a link; both were once truncated.
        const QString kept = dir.filePath(QStringLiteral("kept.txt"));
        QFile keep(kept);
        QVERIFY(keep.open(QIODevice::WriteOnly) && keep.write("keep me") == 7);
        keep.close();
        const QString link = dir.filePath(QStringLiteral("trace-link"));
        QVERIFY(QFile::link(kept, link));
        const QString other = dir.filePath(QStringLiteral("other.ctl"));
        QCOMPARE(run({QStringLiteral("--socket"), socket, QStringLiteral("--trace"), kept}, &out,
                     &error),
                 1);
        QCOMPARE(
            run({QStringLiteral("--socket"), other, QStringLiteral("--trace"), link}, &out, &error),
            1);
        QVERIFY2(error.contains("trace-link: a symbolic link"), error.constData());
        QCOMPARE(QFileInfo(kept).size(), 7);
        QVERIFY(!QFileInfo::exists(other));

        // A daemon that died without cleaning up leaves a stale socket file.
        first.process.kill();
        QVERIFY(first.process.waitForFinished(5000));
        QVERIFY(QFileInfo::exists(socket));
        Sim second(socket);
        QVERIFY(second.process.waitForReadyRead(5000));
        zarn::ctl_close(second.fd);
        second.fd = zarn::ctl_open(socket.toLocal8Bit().constData());
        QCOMPARE(target_peak(second.fd, zarn::REQ_DEV_PEAK, 0, 0), 0);

        // A path that is not a socket is left alone.
        const QString notes = dir.filePath(QStringLiteral("notes.txt"));
        QFile file(notes);
        QVERIFY(file.open(QIODevice::WriteOnly) && file.write("keep me") == 7);
        file.close();
        QCOMPARE(run({QStringLiteral("--socket"), notes}, &out, &error), 1);
        QCOMPARE(QFileInfo(notes).size(), 7);
    }

    void help_and_bad_arguments() {
        QByteArray text, error;
        QCOMPARE(run({QStringLiteral("--version")}, &text, &error), 0);
        QCOMPARE(text, QByteArray("zarnmix_sim " ZARN_VERSION "\n"));
        QCOMPARE(run({QStringLiteral("--help")}, &text, &error), 0);
        for (const char *word :
             {"--version", "--socket", "--devices", "--loops", "--input-monitors",
              "--output-monitors", "--local-monitors", "--main-outputs", "--main-inputs",
              "--filter-length", "--sample-rate", "--sample-bits", "--trace",
              "-rate=", "-input=", "-add_device=", "-remove_loop="}) {
            QVERIFY2(text.contains(word), word);
        }
        for (const char *arguments :
             {"--devices 2,,3", "--devices 0", "--filter-length 65537", "--sample-bits 64",
              "--input-monitors x", "--frobnicate", "stray", "--version=2"}) {
            QVERIFY2(run(QString::fromLatin1(arguments).split(QLatin1Char(' ')), &text, &error) ==
                         64,
                     arguments);
            QVERIFY(!error.isEmpty());
        }
    }
};

QTEST_GUILESS_MAIN(TestSimProgram)
#include "test_sim_program.moc"
