// SPDX-License-Identifier: BSD-2-Clause

#pragma once

#include <QByteArray>
#include <QProcess>
#include <QProcessEnvironment>
#include <QString>
#include <QStringList>

// What a command-line program did: its exit status (-1 not started, -2 did
// not finish), standard output and standard error.
struct Run {
    int status;
    QByteArray out;
    QByteArray err;
};

// Runs a program to its end with the given standard input, in the given
// environment or else the test's own.
inline Run run_program(const QString &program, const QStringList &args,
                       const QByteArray &input = QByteArray(),
                       const QProcessEnvironment &environment = QProcessEnvironment()) {
    QProcess p;
    if (!environment.isEmpty())
        p.setProcessEnvironment(environment);
    p.start(program, args);
    if (!p.waitForStarted())
        return Run{-1, {}, "not started"};
    p.write(input);
    p.closeWriteChannel();
    if (!p.waitForFinished(120000) || p.exitStatus() != QProcess::NormalExit)
        return Run{-2, {}, "did not finish"};
    return Run{p.exitCode(), p.readAllStandardOutput(), p.readAllStandardError()};
}
