// SPDX-License-Identifier: BSD-2-Clause

#include <QApplication>
#include <QCheckBox>
#include <QLabel>
#include <QLocale>
#include <QRegularExpression>
#include <QTemporaryDir>
#include <QTest>
#include <QTranslator>

#include "app/translations.h"
#include "app/zarn_status_line.h"
#include "eq/zarn_eq_editor.h"
#include "eq/zarn_equalizer.h"
#include "routing/zarn_connect.h"
#include "strip/zarn_controller.h"
#include "support/window_fixture.h"

using zarn::sim::TestDaemon;

class TestTranslations : public QObject {
    Q_OBJECT

private slots:
    void window_speaks_the_locales_language_data();
    void window_speaks_the_locales_language();
    void file_that_is_not_a_catalogue_is_passed_over_data();
    void file_that_is_not_a_catalogue_is_passed_over();
    void cleanup() { qDeleteAll(qApp->findChildren<QTranslator *>()); }
};

void TestTranslations::window_speaks_the_locales_language_data() {
    QTest::addColumn<QLocale>("locale");
    QTest::addColumn<bool>("found");
    QTest::addColumn<QString>("diagram");
    QTest::addColumn<QString>("mute_tip");
    QTest::addColumn<QString>("editor");
    QTest::addColumn<QString>("connected");

    QTest::newRow("German") << QLocale(QLocale::German, QLocale::Germany) << true
                            << "Verbindungsdiagramm"
                            << "Richtung Empfang (RX) stummschalten"
                            << "Filterbeschreibung"
                            << "Verbunden mit %1";
    QTest::newRow("French") << QLocale(QLocale::French, QLocale::Canada) << true
                            << "Schéma des connexions"
                            << "Couper le son du sens réception (RX)"
                            << "Description du filtre"
                            << "Connecté à %1";
    // No catalogue: the texts as written.
    QTest::newRow("English") << QLocale(QLocale::English, QLocale::UnitedStates) << false
                             << "Connection diagram"
                             << "Mute the receive (RX) direction"
                             << "Filter specification"
                             << "Connected to %1";
}

void TestTranslations::window_speaks_the_locales_language() {
    QFETCH(QLocale, locale);
    QFETCH(bool, found);
    QCOMPARE(zarn::install_translations(locale, {QStringLiteral(ZARN_BUILD_TRANSLATIONS)}), found);

    TestDaemon d;
    auto w = fixture::make_window(d.path());
    ZARNController *device = w->strips[0];
    QVERIFY(device != nullptr);
    QTEST(w->connect_panel->title(), "diagram");
    QTEST(device->rx_mute_box->toolTip(), "mute_tip");
    // Looked up under QGroupBox, as the editor has no meta-object of its own.
    QTEST(device->rx_equalizer->editor->title(), "editor");
    QFETCH(QString, connected);
    QCOMPARE(w->status_line->label->text(), connected.arg(d.path()));
    // The window's title is never translated.
    QCOMPARE(w->windowTitle(), QStringLiteral("Zarnmix Control - %1").arg(d.path()));
}

void TestTranslations::file_that_is_not_a_catalogue_is_passed_over_data() {
    QTest::addColumn<QByteArray>("contents");
    QFile good(QStringLiteral(ZARN_BUILD_TRANSLATIONS "/zarnmix_ctl_de.qm"));
    QVERIFY(good.open(QIODevice::ReadOnly));
    const QByteArray catalogue = good.readAll();
    QTest::newRow("empty") << QByteArray();
    QTest::newRow("no magic") << QByteArray("<TS version=\"2.1\">") + catalogue;
    QTest::newRow("magic alone") << catalogue.left(16);
    QTest::newRow("too large") << catalogue +
                                      QByteArray(zarn::MAX_CATALOGUE_SIZE - catalogue.size() + 1,
                                                 '\0');
}

// A corrupted catalogue once crashed the toolkit's reader at start.
void TestTranslations::file_that_is_not_a_catalogue_is_passed_over() {
    QFETCH(QByteArray, contents);
    QTemporaryDir dir;
    QFile bad(dir.filePath(QStringLiteral("zarnmix_ctl_de.qm")));
    QVERIFY(bad.open(QIODevice::WriteOnly) && bad.write(contents) == contents.size());
    bad.close();
    const QLocale german(QLocale::German, QLocale::Germany);
    QTest::ignoreMessage(QtWarningMsg, QRegularExpression(QStringLiteral("is not a catalogue")));
    QVERIFY(!zarn::install_translations(german, {dir.path()}));
}

QTEST_MAIN(TestTranslations)
#include "test_translations.moc"
