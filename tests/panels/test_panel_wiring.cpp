// SPDX-License-Identifier: BSD-2-Clause

#include <QGridLayout>
#include <QLabel>
#include <QPushButton>
#include <QSpinBox>
#include <QTextEdit>
#include <QtTest>
#include <map>

#include "app/zarn_grid_layout.h"
#include "compressor/zarn_compressor.h"
#include "ctl/bounded_string.h"
#include "ctl/requests.h"
#include "ctl/strip_kind.h"
#include "eq/zarn_eq_editor.h"
#include "eq/zarn_equalizer.h"
#include "panels/zarn_add_options.h"
#include "panels/zarn_audio_delay_locator.h"
#include "panels/zarn_record_status.h"
#include "panels/zarn_setup_panel.h"
#include "panels/zarn_sys_info_options.h"
#include "routing/zarn_connect.h"
#include "strip/zarn_controller.h"
#include "support/panel_rig.h"
#include "support/tool_tips.h"

namespace {

// The main window built against the daemon, as the program builds it.
struct Running {
    explicit Running(zarn::sim::TestDaemon &daemon) : window(new ZARNMainWindow(daemon.path())) {
        window->watchdog_timer->stop();
    }

    ~Running() {
        // Strips take their equalizer and compressor windows down with them:
        // all of these reach back into the main window, so they go while it
        // still exists.
        for (ZARNController *&strip : window->strips) {
            if (!strip)
                continue;
            delete strip;
            strip = nullptr;
        }
    }

    std::vector<ZARNCompressor *> compressors() const {
        std::vector<ZARNCompressor *> out;
        for (ZARNController *strip : window->strips) {
            if (strip && strip->compressor)
                out.push_back(strip->compressor);
        }
        return out;
    }

    ZARNController *strip(int kind, int number, int channel) const {
        for (ZARNController *s : window->strips) {
            if (s && s->kind == kind && s->number == number && s->channel == channel)
                return s;
        }
        return nullptr;
    }

    std::unique_ptr<ZARNMainWindow> window;
};

QWidget *cell(ZARNMainWindow &w, int row) {
    QLayoutItem *item = static_cast<QGridLayout *>(w.main_grid)->itemAtPosition(row, 0);
    return item ? item->widget() : nullptr;
}

} // namespace

class TestPanelWiring : public QObject {
    Q_OBJECT

private slots:
    void panels_are_created_in_order_in_rows_2_to_5();
    void channel_zero_strips_of_compressor_kinds_get_a_window();
    void a_tick_refreshes_each_compressor_then_the_delay_locator();
    void no_daemon_at_start_still_shows_every_panel();
    void every_panel_control_says_what_it_does();
    void a_press_dragged_off_does_nothing_data();
    void a_press_dragged_off_does_nothing();
};

// The buttons that send something, each dragged off before its release,
// then clicked: the first sends nothing, the second what the button does.
// A gain button steps at the press, as it repeats while held (here on both
// channels of the linked device 0), and the release dragged off adds nothing.
void TestPanelWiring::a_press_dragged_off_does_nothing_data() {
    QTest::addColumn<QString>("button");
    QTest::addColumn<int>("at_press");          // requests the press alone sends
    QTest::newRow("gain up") << "gain up" << 4; // a read and a write a channel
    QTest::newRow("recording start") << "recording start" << 0;
    QTest::newRow("locator reset") << "locator reset" << 0;
    QTest::newRow("locator on/off") << "locator on/off" << 0;
    QTest::newRow("add options") << "add options" << 0;
    QTest::newRow("equalizer apply") << "equalizer apply" << 0;
}

void TestPanelWiring::a_press_dragged_off_does_nothing() {
    QFETCH(QString, button);
    QFETCH(int, at_press);
    zarn::sim::TestDaemon daemon;
    Running r(daemon);
    ZARNMainWindow &w = *r.window;
    ZARNEqualizer *eq = w.strips[0]->tx_equalizer;
    eq->editor->text_edit->setText(QStringLiteral("norm\n100 1\n"));
    const std::map<QString, QPushButton *> buttons = {
        {"gain up", w.strips[0]->rx_up_button},
        {"recording start", w.record_status->start_button},
        {"locator reset", w.delay_locator->reset_button},
        {"locator on/off", w.delay_locator->enable_button},
        {"add options", w.add_options->add_button},
        {"equalizer apply", eq->editor->apply_button},
    };
    QPushButton *b = buttons.at(button);
    b->setEnabled(true);
    const auto writes = [&daemon] {
        std::size_t n = 0;
        for (const auto &q : daemon.requests())
            n += (q.code & zarn::DIR_INOUT) != zarn::DIR_OUT && q.code != zarn::REQ_PROBE &&
                 !zarn::is_filter_get(q.code);
        return n;
    };
    daemon.clear_requests();
    QTest::mousePress(b, Qt::LeftButton);
    QTest::mouseRelease(b, Qt::LeftButton, {}, QPoint(-20, -20));
    QCOMPARE(writes(), std::size_t(at_press));
    QTest::mouseClick(b, Qt::LeftButton);
    QVERIFY(writes() > std::size_t(at_press));
}

void TestPanelWiring::panels_are_created_in_order_in_rows_2_to_5() {
    zarn::sim::TestDaemon daemon;
    Running run(daemon);
    const auto requests = daemon.requests();
    QVERIFY(requests.size() >= 4);
    std::vector<std::uint32_t> tail;
    for (std::size_t i = requests.size() - 4; i < requests.size(); ++i)
        tail.push_back(requests[i].code);
    QCOMPARE(tail,
             (std::vector<std::uint32_t>{zarn::REQ_DELAY_LOCATOR_GET, zarn::REQ_DELAY_LOCATOR_GET,
                                         zarn::REQ_RECORDING_GET, zarn::REQ_SYSTEM_INFO}));
    ZARNMainWindow &w = *run.window;
    QVERIFY(!w.sys_info->label->text().isEmpty());
    QVERIFY(w.delay_locator && w.record_status && w.add_options && w.sys_info);
    // The Setup panel, our own, comes last, below the system information.
    QCOMPARE((std::vector<QWidget *>{cell(w, 0), cell(w, 1), cell(w, 2), cell(w, 3), cell(w, 4),
                                     cell(w, 5), cell(w, 6)}),
             (std::vector<QWidget *>{w.connect_panel, w.strip_grid, w.delay_locator,
                                     w.record_status, w.add_options, w.sys_info, w.setup_panel}));
    QCOMPARE(static_cast<QGridLayout *>(w.main_grid)->rowCount(), 7);
}

void TestPanelWiring::channel_zero_strips_of_compressor_kinds_get_a_window() {
    zarn::sim::TestDaemon daemon;
    // A failed configuration read gives device 1 an empty name.
    daemon.set_hook(
        [](std::uint32_t code, unsigned char *record, std::vector<double> &) -> std::optional<int> {
            std::int32_t number = 0;
            std::memcpy(&number, record, sizeof number);
            if (code == zarn::REQ_DEV_CONFIG_GET && number == 1)
                return -1;
            return std::nullopt;
        });
    Running run(daemon);
    QStringList titles;
    for (ZARNController *s : run.window->strips) {
        if (!s)
            continue;
        const bool has_compressor = s->kind == zarn::KIND_DEVICE || s->kind == zarn::KIND_LOOP ||
                                    s->kind == zarn::KIND_MAIN_OUTPUT;
        QCOMPARE(s->compressor_button != nullptr, has_compressor);
        QCOMPARE(s->compressor != nullptr, has_compressor && s->channel == 0);
        if (!s->compressor)
            continue;
        QCOMPARE(std::make_pair(s->compressor->kind, s->compressor->number),
                 std::make_pair(s->kind, s->number));
        QVERIFY(s->compressor->isWindow() && !s->compressor->isVisible());
        titles << s->compressor->windowTitle();
    }
    // Devices 0 and 1, loopback 0 and the main output.
    const QString device0 = QString::fromStdString(
        zarn::bounded_string(run.strip(zarn::KIND_DEVICE, 0, 0)->channel_config.name,
                             sizeof(zarn::ChannelConfig::name)));
    const QString loop0 = QString::fromStdString(zarn::bounded_string(
        run.strip(zarn::KIND_LOOP, 0, 0)->channel_config.name, sizeof(zarn::ChannelConfig::name)));
    QVERIFY(!device0.isEmpty() && !loop0.isEmpty());
    const QString head = QStringLiteral("Zarnmix Compressor for ");
    QCOMPARE(titles, QStringList({head + device0, head, head + loop0, head + "Main Output"}));
}

void TestPanelWiring::a_tick_refreshes_each_compressor_then_the_delay_locator() {
    zarn::sim::TestDaemon daemon;
    Running run(daemon);
    for (ZARNCompressor *c : run.compressors())
        QCOMPARE(c->gain_label->text(), QString("1.0"));
    // Only a window that is shown has its gain read.
    for (ZARNCompressor *c : run.compressors())
        c->show();
    daemon.clear_requests();

    run.window->handle_watchdog();

    // The order of the tick's requests is checked by the main window test.
    QCOMPARE(daemon.count(zarn::REQ_DEV_COMP_GET) + daemon.count(zarn::REQ_LOOP_COMP_GET) +
                 daemon.count(zarn::REQ_MAIN_COMP_GET),
             run.compressors().size());
    for (ZARNCompressor *c : run.compressors())
        QVERIFY(c->gain_label->text() != QString("1.0"));
    QCOMPARE(daemon.count(zarn::REQ_DELAY_LOCATOR_GET), std::size_t(1));

    // A failed probe refreshes nothing.
    daemon.set_hook(fail(zarn::REQ_PROBE));
    daemon.clear_requests();
    run.window->handle_watchdog();
    QCOMPARE(daemon.requests().size(), std::size_t(1));
    QCOMPARE(run.window->fd, -1);
}

void TestPanelWiring::no_daemon_at_start_still_shows_every_panel() {
    zarn::sim::TestDaemon daemon;
    daemon.stop();
    Running run(daemon);
    ZARNMainWindow &w = *run.window;
    QCOMPARE(w.fd, -1);
    QVERIFY(w.strips[0] == nullptr);
    QCOMPARE(cell(w, 2), static_cast<QWidget *>(w.delay_locator));
    QCOMPARE(cell(w, 5), static_cast<QWidget *>(w.sys_info));
    QCOMPARE(w.delay_locator->in_channel_box->maximum(), 99);
    QCOMPARE(w.sys_info->label->text(), QString());
}

void TestPanelWiring::every_panel_control_says_what_it_does() {
    zarn::sim::TestDaemon daemon;
    Running run(daemon);
    ZARNMainWindow &w = *run.window;
    for (QWidget *panel :
         std::initializer_list<QWidget *>{w.delay_locator, w.record_status, w.add_options})
        QVERIFY2(controls_without_tool_tips(panel).isEmpty(),
                 qPrintable(controls_without_tool_tips(panel).join(", ")));
    QVERIFY(!w.sys_info->label->toolTip().isEmpty());
    QVERIFY(w.record_status->stop_button->toolTip().contains(QLatin1String("stop recording")));
}

QTEST_MAIN(TestPanelWiring)
#include "test_panel_wiring.moc"
