// SPDX-License-Identifier: BSD-2-Clause

#include <QDialog>
#include <QDialogButtonBox>
#include <QFile>
#include <QLabel>
#include <QMessageBox>
#include <QPushButton>
#include <QSettings>
#include <QTableWidget>
#include <QTemporaryDir>
#include <QTreeWidget>
#include <QtTest>

#include <set>

#include "app/zarn_status_line.h"
#include "eq/zarn_eq_source_table.h"
#include "panels/zarn_setup_panel.h"
#include "settings/settings_store.h"
#include "support/eq_fixture.h"
#include "support/panel_rig.h"
#include "tools/state_file_device.h"
#include "tools/state_file_json.h"

namespace {

zarn::sim::Topology small(int filter_length = 8) {
    zarn::sim::Topology t;
    t.filter_length = filter_length;
    return t;
}

std::size_t writes(const zarn::sim::TestDaemon &d) {
    const std::set<std::uint32_t> codes = {
        zarn::REQ_DEV_CONFIG_SET,    zarn::REQ_LOOP_CONFIG_SET,    zarn::REQ_INPUT_MON_SET,
        zarn::REQ_OUTPUT_MON_SET,    zarn::REQ_LOCAL_MON_SET,      zarn::REQ_MAIN_COMP_SET,
        zarn::REQ_DEV_COMP_SET,      zarn::REQ_LOOP_COMP_SET,      zarn::REQ_DEV_RX_FILTER_SET,
        zarn::REQ_DEV_TX_FILTER_SET, zarn::REQ_LOOP_RX_FILTER_SET, zarn::REQ_LOOP_TX_FILTER_SET};
    std::size_t n = 0;
    for (const auto &r : d.requests())
        n += codes.count(r.code);
    return n;
}

// Answers the preview of a load with Load or Cancel, keeping its rows and
// notes, and closes any message box, keeping its text.
class PreviewCloser : public QObject {
public:
    PreviewCloser(ZARNSetupPanel *panel, bool confirm) {
        connect(&timer, &QTimer::timeout, this, [this, panel, confirm] {
            if (auto *box = qobject_cast<QMessageBox *>(QApplication::activeModalWidget())) {
                boxes << box->text();
                box->done(0);
                return;
            }
            auto *dialog = qobject_cast<QDialog *>(QApplication::activeModalWidget());
            if (!dialog || dialog != panel->preview)
                return;
            for (int i = 0; i < panel->preview_list->topLevelItemCount(); ++i)
                rows << panel->preview_list->topLevelItem(i)->text(0);
            if (auto *label = dialog->findChild<QLabel *>("setup_preview_notes"))
                notes = label->text();
            auto *buttons = dialog->findChild<QDialogButtonBox *>();
            buttons->button(confirm ? QDialogButtonBox::Ok : QDialogButtonBox::Cancel)->click();
        });
        timer.start(5);
    }
    QStringList rows;
    QString notes;
    QStringList boxes;
    QTimer timer;
};

// Where the source of the kept text of device 0, channel 0, receive, lies.
QString kept_source_key(const char *device_path) {
    return QStringLiteral("filter_texts/") +
           zarn::settings::device_key(QString::fromLocal8Bit(device_path)) +
           QStringLiteral("/device_0_0_rx/source");
}

QByteArray contents(const QString &path) {
    QFile f(path);
    return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
}

} // namespace

class TestSetupPanel : public QObject {
    Q_OBJECT

private slots:
    void save_then_load_round_trip();
    void load_sends_nothing_data();
    void load_sends_nothing();
    void other_filter_lengths_keep_the_other_fields();
    void daemon_back_offers_the_last_setup_when_it_differs();
    void kept_text_shown_only_while_the_filter_is_its_own();
};

void TestSetupPanel::save_then_load_round_trip() {
    QTemporaryDir dir;
    PanelRig rig(small());
    ZARNSetupPanel *panel = rig.window->setup_panel;
    {
        eqfix::Equalizer eq = eqfix::make_equalizer(rig.window.get(), eqfix::RX_DEVICE, 0, 1);
        eqfix::set_text(eq.get(), "0 1\n4000 0.5");
        eqfix::release_on(eq.get());
    }
    rig.daemon.with_engine(
        [](zarn::sim::Engine &e) { e.devices[1].channels[2].config.rx_amp = 5; });
    const QString file = dir.filePath("setup.zarnmix-state");
    QVERIFY2(panel->save_to(file), qPrintable(panel->status->text()));
    const QByteArray saved = contents(file);
    QVERIFY(saved.contains("\"text\": \"0 1\\n4000 0.5\""));

    // Changed since, and the text forgotten: the load puts both back.
    rig.daemon.with_engine([](zarn::sim::Engine &e) {
        e.devices[1].channels[2].config.rx_amp = -4;
        e.devices[0].channels[1].rx_filter.active = false;
        e.main_compressor.knee = 9;
    });
    QSettings(QSettings::IniFormat, QSettings::UserScope, "zarnmix", "zarnmix_ctl").clear();
    rig.daemon.clear_requests();
    PreviewCloser closer(panel, true);
    QVERIFY2(panel->load_from(file), qPrintable(panel->status->text()));
    // One row for each write, in the words of the strips and windows.
    QCOMPARE(closer.rows, QStringList({"dsp0 - Ch1, RX equalizer: off → on (8 taps)",
                                       "dsp1 - Ch2, RX gain: -4 → 5",
                                       "Main Output - Ch0, compressor knee: 9 → 128"}));
    QCOMPARE(writes(rig.daemon), std::size_t{3});
    // The panel shows the daemon as it now is: strips were built and read.
    QVERIFY(rig.window->strips[0] != nullptr);
    const QString again = dir.filePath("again.zarnmix-state");
    QVERIFY(panel->save_to(again));
    QCOMPARE(contents(again), saved);
}

void TestSetupPanel::load_sends_nothing_data() {
    QTest::addColumn<QByteArray>("from");
    QTest::addColumn<QByteArray>("to");
    QTest::addColumn<bool>("confirm");
    QTest::addColumn<QString>("status");
    QTest::addColumn<bool>("box"); // a warning box asks for an OK
    QTest::newRow("cancelled") << QByteArray() << QByteArray() << false
                               << "Not loaded: cancelled; nothing sent" << false;
    QTest::newRow("a fault after good targets")
        << QByteArray("\"knee\": 128") << QByteArray("\"knee\": 300") << true
        << "targets[0].compressor.knee: out of range (0 to 255); nothing sent" << true;
    QTest::newRow("a key twice") << QByteArray("\"tx_mute\": 0")
                                 << QByteArray("\"tx_mute\": 0, \"tx_mute\": 1") << true
                                 << "targets[0].config.tx_mute: appears twice in one object"
                                 << true;
}

void TestSetupPanel::load_sends_nothing() {
    QFETCH(QByteArray, from);
    QFETCH(QByteArray, to);
    QFETCH(bool, confirm);
    QFETCH(QString, status);
    QFETCH(bool, box);
    QTemporaryDir dir;
    PanelRig rig(small());
    ZARNSetupPanel *panel = rig.window->setup_panel;
    const QString file = dir.filePath("setup.zarnmix-state");
    QVERIFY(panel->save_to(file));
    QByteArray text = contents(file).replace("\"rx_amp\": 0", "\"rx_amp\": 7");
    if (!from.isEmpty())
        text.replace(text.indexOf(from), from.size(), to);
    QFile out(file);
    QVERIFY(out.open(QIODevice::WriteOnly) && out.write(text) == text.size());
    out.close();
    rig.daemon.clear_requests();
    PreviewCloser closer(panel, confirm);
    panel->load_and_tell(file);
    QVERIFY2(panel->status->text().contains(status), qPrintable(panel->status->text()));
    QCOMPARE(closer.boxes.size(), box ? 1 : 0);
    QCOMPARE(writes(rig.daemon), std::size_t{0});
}

void TestSetupPanel::other_filter_lengths_keep_the_other_fields() {
    QTemporaryDir dir;
    const QString file = dir.filePath("setup.zarnmix-state");
    {
        PanelRig old(small(8));
        old.daemon.with_engine([](zarn::sim::Engine &e) {
            zarn::sim::ChannelState &c = e.devices[0].channels[1];
            c.rx_filter.active = true;
            c.rx_filter.coefficients.assign(8, 0.125);
            c.config.rx_amp = 3;
            c.config.tx_mute = 1;
        });
        QVERIFY(old.window->setup_panel->save_to(file));
    }
    PanelRig rig(small(16));
    ZARNSetupPanel *panel = rig.window->setup_panel;
    PreviewCloser closer(panel, true);
    QVERIFY2(panel->load_from(file), qPrintable(panel->status->text()));
    QCOMPARE(closer.rows,
             QStringList({"dsp0 - Ch1, RX gain: 0 → 3", "dsp0 - Ch1, TX mute: off → on"}));
    QCOMPARE(closer.notes, QString("Skipped: dsp0 - Ch1, RX equalizer: not loaded, it takes 16 "
                                   "taps here, 8 in the file"));
    QCOMPARE(writes(rig.daemon), std::size_t{2});
    QCOMPARE(rig.daemon.with_engine(
                 [](zarn::sim::Engine &e) { return e.devices[0].channels[1].config.tx_mute; }),
             1);
}

void TestSetupPanel::daemon_back_offers_the_last_setup_when_it_differs() {
    QTemporaryDir dir;
    PanelRig rig(small());
    ZARNSetupPanel *panel = rig.window->setup_panel;
    ZARNStatusLine *line = rig.window->status_line;
    // Nothing saved or loaded yet: nothing to offer.
    panel->handle_daemon_back();
    QVERIFY(!line->offering());
    rig.daemon.with_engine(
        [](zarn::sim::Engine &e) { e.devices[0].channels[0].config.rx_amp = 4; });
    const QString file = dir.filePath("setup.zarnmix-state");
    QVERIFY(panel->save_to(file));
    panel->handle_daemon_back();
    QVERIFY(!line->offering());

    // Back at its defaults: offered, not done.
    rig.daemon.with_engine(
        [](zarn::sim::Engine &e) { e.devices[0].channels[0].config.rx_amp = 0; });
    rig.daemon.clear_requests();
    panel->handle_daemon_back();
    QVERIFY(line->offering());
    QCOMPARE(line->action_button->text(), QString("Load the last setup again"));
    QCOMPARE(writes(rig.daemon), std::size_t{0});
    // Taken, it loads through the preview.
    PreviewCloser closer(panel, true);
    line->action_button->click();
    QCOMPARE(closer.rows, QStringList{"dsp0 - Ch0, RX gain: 0 → 4"});
    QCOMPARE(writes(rig.daemon), std::size_t{1});
    QVERIFY(!line->offering());
}

void TestSetupPanel::kept_text_shown_only_while_the_filter_is_its_own() {
    PanelRig rig(eqfix::topology(64));
    {
        eqfix::Equalizer eq = eqfix::make_equalizer(rig.window.get(), eqfix::RX_DEVICE);
        eqfix::set_text(eq.get(), "0 1\n1000 0.25\n");
        eqfix::release_on(eq.get());
    }
    // A new panel on the same device: the text of the filter in force.
    PanelRig again(eqfix::topology(64));
    const std::vector<double> applied = eqfix::daemon_filter(rig.daemon, true);
    eqfix::put_filter(again.daemon, true, applied);
    // Same device path, another daemon: the settings are keyed by the path.
    QCOMPARE(QString::fromLatin1(again.window->device_path),
             QString::fromLatin1(rig.window->device_path));
    eqfix::Equalizer shown = eqfix::make_equalizer(again.window.get(), eqfix::RX_DEVICE);
    QCOMPARE(eqfix::text_of(shown.get()), QString("0 1\n1000 0.25\n"));
    // Another client's filter: the text no longer made it, and is not shown.
    std::vector<double> other = applied;
    other[3] += 1e-9;
    eqfix::put_filter(again.daemon, true, other);
    eqfix::Equalizer changed = eqfix::make_equalizer(again.window.get(), eqfix::RX_DEVICE);
    QCOMPARE(eqfix::text_of(changed.get()), QString());
    // A window that showed the kept text drops it once the filter changes.
    shown->show();
    shown->read_filter();
    QCOMPARE(eqfix::text_of(shown.get()), QString());

    // An imported file's filters, edited and applied, come back with the text;
    // a damaged kept source leaves the table hidden.
    QTemporaryDir dir;
    const QString path = dir.filePath(QStringLiteral("eq.txt"));
    QFile file(path);
    QVERIFY(file.open(QIODevice::WriteOnly));
    file.write("Preamp: -6.2 dB\nFilter 1: ON PK Fc 105 Hz Gain 3.4 dB Q 0.70\n");
    file.close();
    {
        eqfix::Equalizer eq = eqfix::make_equalizer(rig.window.get(), eqfix::RX_DEVICE);
        QString why;
        QVERIFY(eq->editor->import_file(path, eq->sample_rate, &why));
        eq->editor->source_table->table->item(0, 2)->setText(QStringLiteral("-2"));
        eqfix::apply(eq.get());
    }
    for (const QString &damage : {QString(), QStringLiteral("Filter 1: ON PK Fc x Hz")}) {
        PanelRig later(eqfix::topology(64));
        eqfix::put_filter(later.daemon, true, eqfix::daemon_filter(rig.daemon, true));
        if (!damage.isNull())
            QSettings(zarn::settings::file_path(), QSettings::IniFormat)
                .setValue(kept_source_key(later.window->device_path), damage);
        eqfix::Equalizer back = eqfix::make_equalizer(later.window.get(), eqfix::RX_DEVICE);
        const ZARNEQSourceTable *table = back->editor->source_table;
        QVERIFY(!eqfix::text_of(back.get()).isEmpty());
        QCOMPARE(table->isHidden(), !damage.isNull());
        if (damage.isNull())
            QCOMPARE(table->file_text(), std::string("Preamp: -6.2 dB\nFilter 1: ON PK Fc 105 Hz "
                                                     "Gain -2 dB Q 0.7\n"));
    }
}

QTEST_MAIN(TestSetupPanel)
#include "test_setup_panel.moc"
