// SPDX-License-Identifier: BSD-2-Clause

#include <QTest>

#include <QDir>
#include <QTemporaryDir>

#include <chrono>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <fcntl.h>
#include <string>
#include <sys/stat.h>
#include <sys/syscall.h>
#include <sys/wait.h>
#include <unistd.h>
#include <vector>

#include "files/safe_writer.h"

namespace {

// Another user's id for the cases that need one (only root can take it).
uid_t other_user() {
    const char *given = std::getenv("ZARN_RACE_UID");
    return given ? static_cast<uid_t>(std::strtoul(given, nullptr, 10)) : 65534;
}

std::string contents(const std::string &path) {
    std::string text;
    if (FILE *f = std::fopen(path.c_str(), "rb")) {
        char buffer[256];
        std::size_t n;
        while ((n = std::fread(buffer, 1, sizeof buffer, f)) > 0)
            text.append(buffer, n);
        std::fclose(f);
    }
    return text;
}

bool put(const std::string &path, const char *text) {
    FILE *f = std::fopen(path.c_str(), "wb");
    return f && std::fputs(text, f) >= 0 && std::fclose(f) == 0;
}

} // namespace

class TestSafeWriter : public QObject {
    Q_OBJECT

private slots:
    void refusals_and_writes_data();
    void refusals_and_writes();
    void swapped_link_never_reaches_the_target();
};

void TestSafeWriter::refusals_and_writes_data() {
    QTest::addColumn<int>("dir_mode");
    QTest::addColumn<QString>("there");   // what is at the name beforehand
    QTest::addColumn<QString>("refusal"); // empty: written

    QTest::newRow("absent, own dir") << 0700 << ""
                                     << "";
    QTest::newRow("own file, own dir") << 0700 << "own"
                                       << "";
    QTest::newRow("absent, sticky dir") << 01777 << ""
                                        << "";
    QTest::newRow("own file, sticky dir") << 01777 << "own"
                                          << "";
    QTest::newRow("world-writable dir") << 0777 << ""
                                        << "is not sticky";
    QTest::newRow("group-writable dir") << 0770 << "own"
                                        << "is not sticky";
    QTest::newRow("someone else's file, sticky dir") << 01777 << "other"
                                                     << "belongs to another user";
    QTest::newRow("symbolic link") << 0700 << "link"
                                   << "a symbolic link";
    QTest::newRow("FIFO") << 0700 << "fifo"
                          << "not a regular file";
    QTest::newRow("directory is a link") << 0700 << "dirlink"
                                         << "its directory is a symbolic link";
}

void TestSafeWriter::refusals_and_writes() {
    QFETCH(int, dir_mode);
    QFETCH(QString, there);
    QFETCH(QString, refusal);
    if (there == QLatin1String("other") && ::geteuid() != 0)
        QSKIP("giving a file to another user needs root");
    QTemporaryDir base;
    const std::string root = base.path().toStdString();
    const std::string dir = root + "/d";
    const std::string victim = root + "/victim";
    QVERIFY(put(victim, "victim"));
    QCOMPARE(::mkdir(dir.c_str(), 0700), 0);
    QCOMPARE(::chmod(dir.c_str(), static_cast<mode_t>(dir_mode)), 0);
    std::string path = dir + "/file";
    if (there == QLatin1String("own") || there == QLatin1String("other")) {
        QVERIFY(put(path, "old"));
        QCOMPARE(::chmod(path.c_str(), 0640), 0);
    }
    if (there == QLatin1String("other"))
        QCOMPARE(::chown(path.c_str(), other_user(), other_user()), 0);
    if (there == QLatin1String("link"))
        QCOMPARE(::symlink(victim.c_str(), path.c_str()), 0);
    if (there == QLatin1String("fifo"))
        QCOMPARE(::mkfifo(path.c_str(), 0600), 0);
    if (there == QLatin1String("dirlink")) {
        QCOMPARE(::symlink(dir.c_str(), (root + "/link").c_str()), 0);
        path = root + "/link/file";
    }

    std::string error;
    std::vector<std::string> warnings;
    const bool written = zarn::files::write_file(
        path, [](int fd, std::string &why) { return zarn::files::write_all(fd, "new", 3, why); },
        zarn::files::WriteOptions{true}, error, warnings);
    QVERIFY2(written == refusal.isEmpty(), error.c_str());
    QVERIFY2(QString::fromStdString(error).contains(refusal), error.c_str());
    QCOMPARE(contents(victim), std::string("victim"));
    struct stat st {};
    if (!written) {
        // Nothing was left behind: the old file, and no temporary one.
        QCOMPARE(::lstat((dir + "/file.prev").c_str(), &st), -1);
        if (there == QLatin1String("own") || there == QLatin1String("other"))
            QCOMPARE(contents(path), std::string("old"));
        return;
    }
    QCOMPARE(contents(path), std::string("new"));
    QCOMPARE(::stat(path.c_str(), &st), 0);
    // A replaced file keeps its mode; a new one is the caller's alone.
    QCOMPARE(st.st_mode & 07777, mode_t(there.isEmpty() ? 0600 : 0640));
    QCOMPARE(contents(path + ".prev"), std::string(there.isEmpty() ? "" : "old"));
}

// Another user swaps the name between a file of theirs and a link to a file
// only root may touch (renameat2 with RENAME_EXCHANGE) while root writes
// there again and again: the target must stay as it was, and no file may
// appear in root's directory.
void TestSafeWriter::swapped_link_never_reaches_the_target() {
#ifndef SYS_renameat2
    QSKIP("no renameat2 to exchange names with");
#else
    if (::geteuid() != 0)
        QSKIP("the racing user needs root to become one");
    const char *given = std::getenv("ZARN_RACE_SECONDS");
    const double seconds = given ? std::atof(given) : 2.0;
    QTemporaryDir base;
    const std::string root = base.path().toStdString();
    const std::string secret = root + "/secret";
    const std::string shared = root + "/shared";
    QCOMPARE(::chmod(root.c_str(), 0711), 0);
    QCOMPARE(::mkdir(secret.c_str(), 0700), 0);
    QCOMPARE(::mkdir(shared.c_str(), 0700), 0);
    QCOMPARE(::chmod(shared.c_str(), 01777), 0);
    QVERIFY(put(secret + "/victim", "root only"));
    const std::string name = shared + "/setup";
    const std::string link = shared + "/link";
    int ready[2];
    QCOMPARE(::pipe(ready), 0);

    const pid_t racer = ::fork();
    if (racer == 0) {
        ::close(ready[0]);
        const uid_t user = other_user();
        if (::setgid(user) != 0 || ::setuid(user) != 0)
            ::_exit(2);
        const int fd = ::open(name.c_str(), O_WRONLY | O_CREAT | O_EXCL, 0666);
        if (fd < 0 || ::symlink((secret + "/victim").c_str(), link.c_str()) != 0)
            ::_exit(3);
        ::close(fd);
        if (::write(ready[1], "r", 1) != 1)
            ::_exit(4);
        for (;;)
            ::syscall(SYS_renameat2, AT_FDCWD, name.c_str(), AT_FDCWD, link.c_str(), 2);
    }
    ::close(ready[1]);
    char byte = 0;
    QCOMPARE(::read(ready[0], &byte, 1), ssize_t{1});
    ::close(ready[0]);

    int writes = 0;
    int refused = 0;
    int links = 0; // refusals that met the link: the name was being swapped
    const auto end = std::chrono::steady_clock::now() + std::chrono::duration<double>(seconds);
    while (std::chrono::steady_clock::now() < end) {
        std::string error;
        std::vector<std::string> warnings;
        refused += !zarn::files::write_file(
            name,
            [](int fd, std::string &why) { return zarn::files::write_all(fd, "root's", 6, why); },
            zarn::files::WriteOptions{true}, error, warnings);
        links += error.find("symbolic link") != std::string::npos;
        ++writes;
    }
    ::kill(racer, SIGKILL);
    int status = 0;
    QCOMPARE(::waitpid(racer, &status, 0), racer);
    QVERIFY(WIFSIGNALED(status));
    qInfo("%d writes in %.1f s, %d refused, %d of them at a link", writes, seconds, refused, links);
    QVERIFY(links > 0);
    // The name was always the other user's file or a link: never written.
    QCOMPARE(refused, writes);

    QCOMPARE(contents(secret + "/victim"), std::string("root only"));
    struct stat st {};
    QCOMPARE(::stat((secret + "/victim").c_str(), &st), 0);
    QCOMPARE(st.st_uid, uid_t{0});
    QCOMPARE(st.st_nlink, nlink_t{1});
    // Only the victim in root's directory, nothing left in the shared one.
    QCOMPARE(QDir(QString::fromStdString(secret))
                 .entryList(QDir::AllEntries | QDir::Hidden | QDir::NoDotAndDotDot),
             QStringList{QStringLiteral("victim")});
    QCOMPARE(QDir(QString::fromStdString(shared))
                 .entryList(QDir::AllEntries | QDir::Hidden | QDir::System | QDir::NoDotAndDotDot)
                 .size(),
             2);
#endif
}

QTEST_GUILESS_MAIN(TestSafeWriter)
#include "test_safe_writer.moc"
