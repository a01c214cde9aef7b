// SPDX-License-Identifier: BSD-2-Clause

#include <QProcess>
#include <QProcessEnvironment>
#include <QTemporaryDir>
#include <QTest>

#include "app/command_line.h"
#include "ctl/requests.h"
#include "support/test_daemon.h"

using zarn::sim::TestDaemon;

namespace {

const QByteArray USAGE = "usage: zarnmix_ctl -f /dev/zmix.ctl\n";

QProcessEnvironment panel_environment() {
    // The panel keeps FFTW's wisdom in the cache folder: never the user's.
    static QTemporaryDir cache;
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.insert(QStringLiteral("XDG_CACHE_HOME"), cache.path());
    env.insert(QStringLiteral("QT_QPA_PLATFORM"), QStringLiteral("offscreen"));
    // The window is meant to live until the process ends.
    env.insert(QStringLiteral("ASAN_OPTIONS"), QStringLiteral("detect_leaks=0"));
    return env;
}

struct Outcome {
    int status;
    QByteArray error;
};

Outcome run_to_end(const QStringList &arguments, const QProcessEnvironment &env) {
    QProcess p;
    p.setProcessEnvironment(env);
    p.start(QStringLiteral(ZARNMIX_CTL_PROGRAM), arguments);
    if (!p.waitForFinished(20000)) {
        p.kill();
        p.waitForFinished();
        return {-1, "still running"};
    }
    return {p.exitStatus() == QProcess::NormalExit ? p.exitCode() : -2, p.readAllStandardError()};
}

// Starts the panel, waits until one of the daemons is probed, and stops it.
void run_until_probed(const QStringList &arguments, TestDaemon &a, TestDaemon &b,
                      QProcessEnvironment env = panel_environment()) {
    QProcess p;
    p.setProcessEnvironment(env);
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
    void usage_cases();
    void the_path_chosen();
    void parsed_in_process();
};

void TestCommandLine::usage_cases() {
    // No display at all: the usage text comes before the toolkit needs one.
    QProcessEnvironment no_display = panel_environment();
    for (const char *name : {"QT_QPA_PLATFORM", "DISPLAY", "WAYLAND_DISPLAY"})
        no_display.remove(QString::fromLatin1(name));
    const QStringList cases[] = {{},
                                 {"-h"},
                                 {"-?"},
                                 {"-x"},
                                 {"-f"},
                                 {"-f", "a", "-h"},
                                 {"x", "-f", "a"},
                                 {"--"},
                                 {"-platform", "offscreen", "-h"},
                                 {"-f", "-reverse"}};
    for (const QStringList &arguments : cases) {
        const Outcome o = run_to_end(arguments, no_display);
        QCOMPARE(o.status, 64);
        QVERIFY2(o.error.endsWith(USAGE), qPrintable(arguments.join(' ') + ": " + o.error));
    }
}

void TestCommandLine::the_path_chosen() {
    {
        TestDaemon a, b; // the last -f wins
        run_until_probed({"-f", a.path(), "-f", b.path()}, a, b);
        QVERIFY(b.count(zarn::REQ_PROBE) > 0);
        QCOMPARE(a.requests().size(), std::size_t{0});
    }
    {
        TestDaemon a, b; // parsing stops at the first non-option
        run_until_probed({"-f", a.path(), "x", "-f", b.path()}, a, b);
        QVERIFY(a.count(zarn::REQ_PROBE) > 0);
        QCOMPARE(b.requests().size(), std::size_t{0});
    }
    {
        TestDaemon a, b; // toolkit options are removed first
        QProcessEnvironment env = panel_environment();
        env.remove(QStringLiteral("QT_QPA_PLATFORM"));
        run_until_probed({"-platform", "offscreen", "-f", a.path()}, a, b, env);
        QVERIFY(a.count(zarn::REQ_PROBE) > 0);
    }
}

void TestCommandLine::parsed_in_process() {
    const struct {
        QStringList arguments;
        const char *path; // null: the usage text
    } cases[] = {
        {{"-f", "a", "-f", "b"}, "b"},
        {{"-f", "a", "x", "-h"}, "a"},
        {{"x", "-f", "a"}, nullptr},
        {{"-platform", "xcb", "-f", "a"}, "a"},
        {{"-f", "a", "--platform", "offscreen"}, "a"},
        {{"-qwindowgeometry", "-f", "a"}, nullptr}, // -f is the geometry
        {{"-widgetcount", "-f", "a", "-stylesheet=x.qss"}, "a"},
        {{"-platform=offscreen", "-f", "a"}, nullptr}, // not one of the toolkit's
    };
    for (const auto &c : cases) {
        QList<QByteArray> bytes{"zarnmix_ctl"};
        for (const QString &a : c.arguments)
            bytes << a.toUtf8();
        std::vector<char *> argv;
        for (QByteArray &b : bytes)
            argv.push_back(b.data());
        argv.push_back(nullptr);
        const char *path = zarn::device_path_from(int(bytes.size()), argv.data());
        QVERIFY2(c.path ? path && QByteArray(path) == c.path : path == nullptr,
                 qPrintable(c.arguments.join(' ')));
    }
}

QTEST_MAIN(TestCommandLine)
#include "test_command_line.moc"
