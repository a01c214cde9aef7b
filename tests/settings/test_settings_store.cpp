// SPDX-License-Identifier: BSD-2-Clause

#include <QFile>
#include <QSettings>
#include <QTemporaryDir>
#include <QtTest>
#include <pwd.h>
#include <sys/stat.h>
#include <unistd.h>

#include "app/kept_settings.h"
#include "ctl/strip_kind.h"
#include "eq/filter_texts.h"
#include "settings/settings_store.h"

namespace {

const double COEFFICIENTS[3] = {0.25, 0.5, 0.25};

QByteArray contents(const QString &path) {
    QFile f(path);
    return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray("(unreadable)");
}

} // namespace

class TestSettingsStore : public QObject {
    Q_OBJECT

    QTemporaryDir folder;
    QString config;

    void start_afresh() {
        QDir(config).removeRecursively();
        QVERIFY(QDir().mkpath(config + QStringLiteral("/zarnmix")));
    }

private slots:
    void initTestCase() {
        QVERIFY(folder.isValid());
        config = folder.path() + QStringLiteral("/config");
        qputenv("XDG_CONFIG_HOME", QFile::encodeName(config));
    }

    void refused_files_are_left_alone_data();
    void refused_files_are_left_alone();
    void a_kept_text_has_a_plain_key();
    void root_keeps_to_its_own_settings();
};

void TestSettingsStore::refused_files_are_left_alone_data() {
    QTest::addColumn<QString>("form");
    QTest::newRow("fifo") << "fifo";
    QTest::newRow("symbolic link") << "link";
    QTest::newRow("larger than the limit") << "huge";
    QTest::newRow("another user's") << "other";
}

void TestSettingsStore::refused_files_are_left_alone() {
    QFETCH(QString, form);
    start_afresh();
    const QString path = zarn::settings::file_path();
    QCOMPARE(path, config + QStringLiteral("/zarnmix/zarnmix_ctl.ini"));
    const QByteArray name = QFile::encodeName(path);
    const QString target = folder.path() + QStringLiteral("/elsewhere.ini");
    const QByteArray text("[x]\ny=1\n");
    for (const QString &file : {target, path}) {
        QFile f(file);
        QVERIFY(f.open(QIODevice::WriteOnly));
        f.write(text);
    }
    if (form == QStringLiteral("fifo")) {
        QFile::remove(path);
        QCOMPARE(::mkfifo(name.constData(), 0600), 0);
    } else if (form == QStringLiteral("link")) {
        QFile::remove(path);
        QVERIFY(QFile::link(target, path));
    } else if (form == QStringLiteral("huge")) {
        QCOMPARE(::truncate(name.constData(), zarn::settings::MAX_SETTINGS_BYTES + 1), 0);
    } else if (::geteuid() != 0 || ::chown(name.constData(), 65534, 65534) != 0) {
        QSKIP("only root can give a file to another user");
    }
    struct stat before {};
    QCOMPARE(::lstat(name.constData(), &before), 0);
    // Opened, a FIFO would hang here, and the others would be read or written.
    QVERIFY(!zarn::settings::open());
    zarn::FilterTexts(QStringLiteral("/tmp/sim.sock"))
        .keep({0, 0, 0}, true, QStringLiteral("100 1\n"), COEFFICIENTS, 3);
    struct stat after {};
    QCOMPARE(::lstat(name.constData(), &after), 0);
    QCOMPARE(after.st_ino, before.st_ino);
    QCOMPARE(after.st_size, before.st_size);
    if (form == QStringLiteral("link"))
        QCOMPARE(contents(target), text);
}

void TestSettingsStore::a_kept_text_has_a_plain_key() {
    start_afresh();
    const zarn::Target target{zarn::KIND_DEVICE, 1, 2};
    const QString text = QStringLiteral("100 1\n");
    zarn::FilterTexts texts(QStringLiteral("/tmp/x/../x/sim.sock"));
    const QString hash = QString::number(zarn::FilterTexts::hash(COEFFICIENTS, 3), 16);
    {
        // As an earlier version filed it: arg had filled the path's "%2F".
        QSettings old(zarn::settings::file_path(), QSettings::IniFormat);
        old.setValue(QStringLiteral("filter_texts/1Ftmp1Fx1Fsim.sock/device_2_rx_%5/text"), text);
        old.setValue(QStringLiteral("filter_texts/1Ftmp1Fx1Fsim.sock/device_2_rx_%5/hash"), hash);
    }
    QCOMPARE(texts.text_for(target, true, COEFFICIENTS, 3), text);
    QSettings s(zarn::settings::file_path(), QSettings::IniFormat);
    QCOMPARE(s.value(QStringLiteral("filter_texts/%2Ftmp%2Fx%2Fsim.sock/device_1_2_rx/text")),
             QVariant(text));
    QCOMPARE(s.childGroups(), QStringList{QStringLiteral("filter_texts")});
    s.beginGroup(QStringLiteral("filter_texts"));
    QCOMPARE(s.childGroups(), QStringList{QStringLiteral("%2Ftmp%2Fx%2Fsim.sock")});
    // The panel's other keys per target are joined the same way.
    QCOMPARE(zarn::kept::target_key("channel_links", QStringLiteral("/tmp/x/sim.sock"), target),
             QStringLiteral("channel_links/%2Ftmp%2Fx%2Fsim.sock/device_1"));

    // What a text was made from stays with that text, kept again without it
    // (as a restored setup keeps it), and goes with another text.
    texts.keep(target, true, text, COEFFICIENTS, 3, QStringLiteral("Preamp: 1 dB\n"));
    texts.keep(target, true, text, COEFFICIENTS, 3);
    QString source;
    texts.text_for(target, true, COEFFICIENTS, 3, &source);
    QCOMPARE(source, QStringLiteral("Preamp: 1 dB\n"));
    texts.keep(target, true, QStringLiteral("200 1\n"), COEFFICIENTS, 3);
    texts.text_for(target, true, COEFFICIENTS, 3, &source);
    QCOMPARE(source, QString());
}

void TestSettingsStore::root_keeps_to_its_own_settings() {
    if (::geteuid() != 0)
        QSKIP("runs as root only");
    const QString user = folder.path() + QStringLiteral("/user");
    QVERIFY(QDir().mkpath(user + QStringLiteral("/.config")));
    QCOMPARE(::chown(QFile::encodeName(user).constData(), 65534, 65534), 0);
    QCOMPARE(
        ::chown(QFile::encodeName(user + QStringLiteral("/.config")).constData(), 65534, 65534), 0);
    const QByteArray home = qgetenv("HOME");
    qputenv("XDG_CONFIG_HOME", QFile::encodeName(user + QStringLiteral("/.config")));
    qputenv("HOME", QFile::encodeName(user));
    const QString path = zarn::settings::file_path();
    qputenv("HOME", home);
    qputenv("XDG_CONFIG_HOME", QFile::encodeName(config));
    QCOMPARE(path, QFile::decodeName(::getpwuid(0)->pw_dir) +
                       QStringLiteral("/.config/zarnmix/zarnmix_ctl.ini"));
}

QTEST_GUILESS_MAIN(TestSettingsStore)
#include "test_settings_store.moc"
