#include <QProcess>
#include <QProcessEnvironment>
#include <QTest>

#include "ctl/requests.h"
#include "sim/test_daemon.h"

using zarn::sim::TestDaemon;

namespace {

const QByteArray USAGE = "usage: zarnmix_ctl -f /dev/zmix.ctl\n";

QProcessEnvironment panel_environment() {
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.insert(QStringLiteral("QT_QPA_PLATFORM"), QStringLiteral("offscreen"));
    // The window is meant to live until the process ends.
    env.insert(QStringLiteral("ASAN_OPTIONS"), QStringLiteral("detect_leaks=0"));
    return env;
}

struct Outcome {
    int status;
    QByteArray error;
};

Outcome run_to_end(const QStringList &arguments) {
    QProcess p;
    p.setProcessEnvironment(panel_environment());
    p.start(QStringLiteral(ZARNMIX_CTL_PROGRAM), arguments);
    if (!p.waitForFinished(20000)) {
        p.kill();
        p.waitForFinished();
        return {-1, "still running"};
    }
    return {p.exitStatus() == QProcess::NormalExit ? p.exitCode() : -2, p.readAllStandardError()};
}

// Starts the panel, waits until one of the daemons is probed, and stops it.
void run_until_probed(const QStringList &arguments, TestDaemon &a, TestDaemon &b) {
    QProcess p;
    p.setProcessEnvironment(panel_environment());
    p.start(QStringLiteral(ZARNMIX_CTL_PROGRAM), arguments);
    QVERIFY(p.waitForStarted());
    QTRY_VERIFY_WITH_TIMEOUT(a.count(zarn::REQ_PROBE) + b.count(zarn::REQ_PROBE) > 0, 20000);
    p.kill();
    p.waitForFinished();
}

} // namespace

class TestCommandLine : public QObject {
    Q_OBJECT

private slots:
    void usage_cases_data();
    void usage_cases();
    void last_f_wins();
    void arguments_after_the_options_are_ignored();
    void toolkit_options_are_removed_first();
};

void TestCommandLine::usage_cases_data() {
    QTest::addColumn<QStringList>("arguments");
    QTest::newRow("nothing") << QStringList();
    QTest::newRow("-h") << QStringList({"-h"});
    QTest::newRow("-?") << QStringList({"-?"});
    QTest::newRow("unknown option") << QStringList({"-x"});
    QTest::newRow("-f without path") << QStringList({"-f"});
    QTest::newRow("-f a -h") << QStringList({"-f", "a", "-h"});
    QTest::newRow("x -f a") << QStringList({"x", "-f", "a"});
    QTest::newRow("-- only") << QStringList({"--"});
}

void TestCommandLine::usage_cases() {
    QFETCH(QStringList, arguments);
    const Outcome o = run_to_end(arguments);
    QCOMPARE(o.status, 64);
    QVERIFY2(o.error.endsWith(USAGE), o.error.constData());
}

void TestCommandLine::last_f_wins() {
    TestDaemon a, b;
    run_until_probed({"-f", a.path(), "-f", b.path()}, a, b);
    QVERIFY(b.count(zarn::REQ_PROBE) > 0);
    QCOMPARE(a.requests().size(), std::size_t{0});
}

void TestCommandLine::arguments_after_the_options_are_ignored() {
    TestDaemon a, b;
    run_until_probed({"-f", a.path(), "x", "-f", b.path()}, a, b);
    QVERIFY(a.count(zarn::REQ_PROBE) > 0);
    QCOMPARE(b.requests().size(), std::size_t{0});
}

void TestCommandLine::toolkit_options_are_removed_first() {
    TestDaemon a, b;
    QProcess p;
    QProcessEnvironment env = panel_environment();
    env.remove(QStringLiteral("QT_QPA_PLATFORM"));
    p.setProcessEnvironment(env);
    p.start(QStringLiteral(ZARNMIX_CTL_PROGRAM), {"-platform", "offscreen", "-f", a.path()});
    QVERIFY(p.waitForStarted());
    QTRY_VERIFY_WITH_TIMEOUT(a.count(zarn::REQ_PROBE) > 0, 20000);
    p.kill();
    p.waitForFinished();
}

QTEST_MAIN(TestCommandLine)
#include "test_command_line.moc"
