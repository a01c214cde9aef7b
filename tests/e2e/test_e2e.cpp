// SPDX-License-Identifier: BSD-2-Clause

#include <QDateTime>
#include <QFile>
#include <QFileInfo>
#include <QProcess>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <QTest>
#include <random>
#include <signal.h>
#include <unistd.h>

#include "support/raw_client.h"

// The real zarnmix_sim and zarnmix_ctl processes, watched through the
// daemon's trace of every request it received.
namespace {

constexpr const char *PROBE = "0x40044f00";
const QStringList PEAKS = {"0xc0404f09", "0xc0404f0a", "0xc0104f0b", "0xc0104f0c",
                           "0xc0104f17", "0xc0104f18", "0xc0104f2d"};
const QStringList CONFIG_READS = {"0xc0544f01", "0xc0544f03", "0xc01c4f05", "0xc01c4f07",
                                  "0xc01c4f2b"};

struct Trace {
    QVector<double> probe_times; // seconds
    int discovery_peaks = 0;     // before the first probe
    int peaks = 0;               // after it
    int config_reads = 0;
};

Trace read_trace(const QString &path) {
    Trace t;
    QFile f(path);
    if (!f.open(QIODevice::ReadOnly))
        return t;
    while (!f.atEnd()) {
        const QList<QByteArray> fields = f.readLine().trimmed().split(' ');
        if (fields.size() < 4)
            continue;
        const QString code = QString::fromLatin1(fields[1]);
        if (code == QLatin1String(PROBE)) {
            // 2026-01-02T03:04:05.123456Z: whole seconds, then the fraction.
            const QByteArray stamp = fields[0];
            const int dot = stamp.indexOf('.');
            QDateTime whole = QDateTime::fromString(QString::fromLatin1(stamp.left(dot)),
                                                    QStringLiteral("yyyy-MM-ddTHH:mm:ss"));
            whole.setTimeSpec(Qt::UTC);
            const double fraction = stamp.mid(dot, 7).toDouble();
            t.probe_times.push_back(double(whole.toSecsSinceEpoch()) + fraction);
        } else if (PEAKS.contains(code)) {
            ++(t.probe_times.isEmpty() ? t.discovery_peaks : t.peaks);
        } else if (CONFIG_READS.contains(code)) {
            ++t.config_reads;
        }
    }
    return t;
}

// About ten ticks a second, with room for a loaded machine, and each tick
// asking every meter on screen once at most, 14 in all.
void check_flow(const Trace &t, const char *which) {
    const int n = t.probe_times.size();
    const double rate = n < 2 ? 0 : (n - 1) / (t.probe_times.last() - t.probe_times.first());
    qInfo("%s daemon: %d discovery probes, %d configuration reads, %d watchdog probes at %.2f a "
          "second, %d peak requests after them",
          which, t.discovery_peaks, t.config_reads, n, rate, t.peaks);
    QVERIFY2(rate > 6.0 && rate < 11.5, qPrintable(QString::number(rate)));
    QVERIFY2(t.peaks >= n - 1 && t.peaks <= n * 14, qPrintable(QString::number(t.peaks)));
}

} // namespace

class TestEndToEnd : public QObject {
    Q_OBJECT

private slots:
    void initTestCase();
    void cleanupTestCase();
    void levels_flow_and_resume_after_restart_data();
    void levels_flow_and_resume_after_restart();
    void hung_daemon_leaves_the_window_answering_data();
    void hung_daemon_leaves_the_window_answering();
    void panel_through_the_bridge_survives_a_garbage_client();

private:
    bool start_daemon(const QString &trace);
    void stop_daemon();
    void start_panel(bool device);
    QString window_titles();

    QTemporaryDir dir;
    QString socket;
    QString display; // the X server's, empty offscreen
    QProcess daemon;
    QProcess bridge;
    QProcess panel;
    QProcess xvfb;
    QProcessEnvironment panel_env = QProcessEnvironment::systemEnvironment();
};

void TestEndToEnd::initTestCase() {
    QVERIFY(dir.isValid());
    socket = dir.filePath(QStringLiteral("zmix.ctl"));
    panel_env.insert(QStringLiteral("ASAN_OPTIONS"), QStringLiteral("detect_leaks=0"));
    // The panel keeps FFTW's wisdom in the cache folder: never the user's.
    panel_env.insert(QStringLiteral("XDG_CACHE_HOME"), dir.filePath(QStringLiteral("cache")));

    // A real X server where one is installed, the offscreen platform otherwise.
    const QString xvfb_program = QStandardPaths::findExecutable(QStringLiteral("Xvfb"));
    if (!xvfb_program.isEmpty()) {
        xvfb.start(xvfb_program,
                   {"-displayfd", "1", "-screen", "0", "1400x1000x24", "-nolisten", "tcp"});
        if (xvfb.waitForStarted() && xvfb.waitForReadyRead(10000)) {
            display = ":" + QString::fromLatin1(xvfb.readLine().trimmed());
            panel_env.insert(QStringLiteral("DISPLAY"), display);
            panel_env.insert(QStringLiteral("QT_QPA_PLATFORM"), QStringLiteral("xcb"));
            qInfo("panel runs on Xvfb display %s", qPrintable(display));
            return;
        }
        xvfb.kill();
        xvfb.waitForFinished();
    }
    panel_env.insert(QStringLiteral("QT_QPA_PLATFORM"), QStringLiteral("offscreen"));
    qInfo("panel runs offscreen");
}

void TestEndToEnd::cleanupTestCase() {
    for (QProcess *p : {&panel, &bridge, &daemon, &xvfb}) {
        if (p->state() != QProcess::NotRunning) {
            p->kill();
            p->waitForFinished();
        }
    }
}

bool TestEndToEnd::start_daemon(const QString &trace) {
    // The example mixer: 14 targets, found with 24 probes.
    daemon.start(QStringLiteral(ZARNMIX_SIM_PROGRAM),
                 {"--socket", socket, "--trace", trace, "--devices", "2,3", "--loops", "2",
                  "--input-monitors", "2", "--output-monitors", "0", "--local-monitors", "1",
                  "--main-outputs", "2", "--main-inputs", "2"});
    if (!daemon.waitForStarted())
        return false;
    for (int i = 0; i < 100 && !QFileInfo(socket).exists(); ++i)
        QTest::qWait(50);
    return QFileInfo(socket).exists();
}

void TestEndToEnd::stop_daemon() {
    ::kill(static_cast<pid_t>(daemon.processId()), SIGTERM);
    if (!daemon.waitForFinished(5000)) {
        daemon.kill();
        daemon.waitForFinished();
    }
}

// The panel on the daemon's socket, or on a character device whose ioctl
// the preloaded library serves from the daemon.
void TestEndToEnd::start_panel(bool device) {
    QProcessEnvironment env = panel_env;
    if (device) {
        env.insert(QStringLiteral("LD_PRELOAD"), QStringLiteral(ZARN_DEVICE_PRELOAD));
        env.insert(QStringLiteral("ZARN_PRELOAD_DEVICE"), QStringLiteral("/dev/zero"));
        env.insert(QStringLiteral("ZARN_PRELOAD_SOCKET"), socket);
        // Under AddressSanitizer the preloaded library comes before its
        // runtime; that order is harmless here, as the library only passes
        // calls on.
        env.insert(QStringLiteral("ASAN_OPTIONS"),
                   env.value(QStringLiteral("ASAN_OPTIONS")) + ":verify_asan_link_order=0");
    }
    panel.setProcessEnvironment(env);
    // A window tall enough to show the strips: meters outside the view are
    // not repainted and so ask nothing.
    panel.start(
        QStringLiteral(ZARNMIX_CTL_PROGRAM),
        {"-qwindowgeometry", "1400x1000+0+0", "-f", device ? QStringLiteral("/dev/zero") : socket});
}

// The titles of the windows on the X server, as xwininfo lists them.
QString TestEndToEnd::window_titles() {
    QProcess x;
    x.start(QStringLiteral("xwininfo"), {"-root", "-tree", "-display", display});
    if (!x.waitForFinished(5000))
        return QString();
    return QString::fromUtf8(x.readAllStandardOutput());
}

void TestEndToEnd::levels_flow_and_resume_after_restart_data() {
    QTest::addColumn<bool>("device");
    QTest::newRow("socket") << false;
    QTest::newRow("character device") << true;
}

void TestEndToEnd::levels_flow_and_resume_after_restart() {
    QFETCH(bool, device);
    const QString tag = QString::fromLatin1(QTest::currentDataTag()).replace(' ', '_');
    const QString first = dir.filePath(tag + QStringLiteral("-first.trace"));
    const QString second = dir.filePath(tag + QStringLiteral("-second.trace"));
    QVERIFY(start_daemon(first));

    start_panel(device);
    QVERIFY(panel.waitForStarted());
    QTRY_VERIFY_WITH_TIMEOUT(read_trace(first).probe_times.size() >= 2, 20000);
    QTest::qWait(3000);
    const Trace running = read_trace(first);
    QVERIFY(panel.state() == QProcess::Running);
    check_flow(running, "first");
    QVERIFY(running.probe_times.size() >= 20);
    QCOMPARE(running.discovery_peaks, 24);
    // Ten records read at start, then again about once a second each.
    QVERIFY(running.config_reads >= 20);
    QVERIFY(running.config_reads <= 10 + 10 * 6);

    // The daemon goes away; the panel keeps running and trying.
    stop_daemon();
    QTest::qWait(1000);
    QVERIFY(panel.state() == QProcess::Running);

    QVERIFY(start_daemon(second));
    QTRY_VERIFY_WITH_TIMEOUT(read_trace(second).probe_times.size() >= 2, 20000);
    QTest::qWait(2000);
    const Trace resumed = read_trace(second);
    check_flow(resumed, "second");
    // Reopened, not rediscovered, and every strip's record read once again.
    QCOMPARE(resumed.discovery_peaks, 0);
    QVERIFY(resumed.config_reads >= 10);

    panel.kill();
    panel.waitForFinished();
    stop_daemon();
}

void TestEndToEnd::hung_daemon_leaves_the_window_answering_data() {
    levels_flow_and_resume_after_restart_data();
}

// The daemon stops (SIGSTOP) with requests on its way: the panel's requests
// run out of time, its window goes on with its title saying so, and when
// the daemon goes on, so do the panel's ticks.
void TestEndToEnd::hung_daemon_leaves_the_window_answering() {
    QFETCH(bool, device);
    const QString tag = QString::fromLatin1(QTest::currentDataTag()).replace(' ', '_');
    const QString trace = dir.filePath(tag + QStringLiteral("-hung.trace"));
    QVERIFY(start_daemon(trace));
    start_panel(device);
    QVERIFY(panel.waitForStarted());
    QTRY_VERIFY_WITH_TIMEOUT(read_trace(trace).probe_times.size() >= 5, 20000);
    // Only an X server shows the title to another process.
    const bool titles =
        !display.isEmpty() && !QStandardPaths::findExecutable(QStringLiteral("xwininfo")).isEmpty();
    // Through a socket the title names it; a device's title is plain.
    const QString named = device ? QString() : QStringLiteral(" - ") + socket;
    if (titles)
        QVERIFY(window_titles().contains(QStringLiteral("\"Zarnmix Control%1\"").arg(named)));
    else
        qInfo("no X server with xwininfo: the title is not checked");

    const auto pid = static_cast<pid_t>(daemon.processId());
    QCOMPARE(::kill(pid, SIGSTOP), 0);
    if (titles) {
        // The title changes only in the watchdog's tick, after a request ran
        // out of time: the window still handles its events.
        QTRY_VERIFY_WITH_TIMEOUT(
            window_titles().contains(
                QStringLiteral("\"Zarnmix Control%1 - daemon not answering\"").arg(named)),
            5000);
    } else {
        QTest::qWait(3000);
    }
    QVERIFY(panel.state() == QProcess::Running);
    const int probes = read_trace(trace).probe_times.size();

    QCOMPARE(::kill(pid, SIGCONT), 0);
    // Reopened after the back-off (at most 5 s), probing ten times a second.
    QTRY_VERIFY_WITH_TIMEOUT(read_trace(trace).probe_times.size() >= probes + 10, 15000);
    if (titles)
        QTRY_VERIFY_WITH_TIMEOUT(
            window_titles().contains(QStringLiteral("\"Zarnmix Control%1\"").arg(named)), 2000);
    panel.kill();
    panel.waitForFinished();
    stop_daemon();
}

// Random codes, each with as many random bytes as the code's record size:
// how many of the bridge's replies to them are refusals.
int refusals_of_garbage(const QString &path, int requests) {
    const int fd = raw_client::connect_to(path.toStdString());
    if (fd < 0)
        return -1;
    std::mt19937 random(36);
    int refused = 0;
    for (int i = 0; i < requests; ++i) {
        const quint32 code = random();
        QByteArray record;
        for (quint32 b = 0; b < ((code >> 16) & 0x1fff); ++b)
            record += static_cast<char>(random());
        QByteArray reply;
        if (raw_client::exchange(fd, code, record, &reply) == -1 && reply == record)
            ++refused;
    }
    ::close(fd);
    return refused;
}

// The panel on zarnmix_bridge, which serves the preload-served device: the
// panel finds every target through it, and a client that sends garbage is
// refused while the panel's ticks go on.
void TestEndToEnd::panel_through_the_bridge_survives_a_garbage_client() {
    const QString trace = dir.filePath(QStringLiteral("bridge.trace"));
    const QString bridge_socket = dir.filePath(QStringLiteral("bridge.sock"));
    QVERIFY(start_daemon(trace));
    QProcessEnvironment env = panel_env;
    env.insert(QStringLiteral("LD_PRELOAD"), QStringLiteral(ZARN_DEVICE_PRELOAD));
    env.insert(QStringLiteral("ZARN_PRELOAD_DEVICE"), QStringLiteral("/dev/zero"));
    env.insert(QStringLiteral("ZARN_PRELOAD_SOCKET"), socket);
    env.insert(QStringLiteral("ASAN_OPTIONS"),
               env.value(QStringLiteral("ASAN_OPTIONS")) + ":verify_asan_link_order=0");
    bridge.setProcessEnvironment(env);
    bridge.start(QStringLiteral(ZARNMIX_BRIDGE_PROGRAM), {"-f", "/dev/zero", "-s", bridge_socket});
    QVERIFY(bridge.waitForStarted());
    QTRY_VERIFY_WITH_TIMEOUT(QFileInfo::exists(bridge_socket), 5000);

    panel.setProcessEnvironment(panel_env);
    panel.start(QStringLiteral(ZARNMIX_CTL_PROGRAM),
                {"-qwindowgeometry", "1400x1000+0+0", "-f", bridge_socket});
    QVERIFY(panel.waitForStarted());
    QTRY_VERIFY_WITH_TIMEOUT(read_trace(trace).probe_times.size() >= 5, 20000);
    QCOMPARE(read_trace(trace).discovery_peaks, 24);
    if (!display.isEmpty() && !QStandardPaths::findExecutable(QStringLiteral("xwininfo")).isEmpty())
        QVERIFY(window_titles().contains(
            QStringLiteral("\"Zarnmix Control - %1\"").arg(bridge_socket)));

    QCOMPARE(refusals_of_garbage(bridge_socket, 32), 32);
    const int probes = read_trace(trace).probe_times.size();
    QTest::qWait(2000);
    QVERIFY(panel.state() == QProcess::Running);
    QVERIFY(read_trace(trace).probe_times.size() >= probes + 10);

    panel.kill();
    panel.waitForFinished();
    ::kill(static_cast<pid_t>(bridge.processId()), SIGTERM);
    QVERIFY(bridge.waitForFinished(5000));
    const QByteArray log = bridge.readAllStandardError();
    QVERIFY2(log.contains("refused 0x"), log.constData());
    QVERIFY(!QFileInfo::exists(bridge_socket));
    stop_daemon();
}

QTEST_MAIN(TestEndToEnd)
#include "test_e2e.moc"
