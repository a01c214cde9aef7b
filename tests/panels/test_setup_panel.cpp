// SPDX-License-Identifier: BSD-2-Clause

#include <QDialog>
#include <QDialogButtonBox>
#include <QFile>
#include <QLabel>
#include <QPushButton>
#include <QSettings>
#include <QTemporaryDir>
#include <QTreeWidget>
#include <QtTest>

#include <set>

#include "panels/zarn_setup_panel.h"
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

// Answers the preview of a load with Load or Cancel, keeping its rows as
// "target|field|from|to".
class PreviewCloser : public QObject {
public:
    PreviewCloser(ZARNSetupPanel *panel, bool confirm) {
        connect(&timer, &QTimer::timeout, this, [this, panel, confirm] {
            auto *dialog = qobject_cast<QDialog *>(QApplication::activeModalWidget());
            if (!dialog || dialog != panel->preview)
                return;
            for (int i = 0; i < panel->preview_list->topLevelItemCount(); ++i) {
                const QTreeWidgetItem *item = panel->preview_list->topLevelItem(i);
                rows << QStringList{item->text(0), item->text(1), item->text(2), item->text(3)}
                            .join(QLatin1Char('|'));
            }
            auto *buttons = dialog->findChild<QDialogButtonBox *>();
            buttons->button(confirm ? QDialogButtonBox::Ok : QDialogButtonBox::Cancel)->click();
        });
        timer.start(5);
    }
    QStringList rows;
    QTimer timer;
};

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
    PreviewCloser closer(panel, true);
    QVERIFY2(panel->load_from(file), qPrintable(panel->status->text()));
    QCOMPARE(closer.rows, QStringList({"device 0 channel 1|rx_filter|off|on (8 taps)",
                                       "device 1 channel 2|rx_amp|-4|5",
                                       "main output channel 0|compressor.knee|9|128"}));
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
    QTest::newRow("cancelled") << QByteArray() << QByteArray() << false
                               << "Not loaded: cancelled; nothing sent";
    QTest::newRow("a fault after good targets")
        << QByteArray("\"knee\": 128") << QByteArray("\"knee\": 300") << true
        << "targets[0].compressor.knee: out of range (0 to 255); nothing sent";
    QTest::newRow("a key twice") << QByteArray("\"tx_mute\": 0")
                                 << QByteArray("\"tx_mute\": 0, \"tx_mute\": 1") << true
                                 << "targets[0].config.tx_mute: appears twice in one object";
}

void TestSetupPanel::load_sends_nothing() {
    QFETCH(QByteArray, from);
    QFETCH(QByteArray, to);
    QFETCH(bool, confirm);
    QFETCH(QString, status);
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
    QVERIFY(!panel->load_from(file));
    QVERIFY2(panel->status->text().contains(status), qPrintable(panel->status->text()));
    QCOMPARE(writes(rig.daemon), std::size_t{0});
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
}

QTEST_MAIN(TestSetupPanel)
#include "test_setup_panel.moc"
