// SPDX-License-Identifier: BSD-2-Clause

#include <QApplication>
#include <QCheckBox>
#include <QGridLayout>
#include <QLabel>
#include <QPushButton>
#include <QScrollBar>
#include <QSpinBox>
#include <QTest>
#include <QToolTip>
#include <cstring>
#include <tuple>

#include "app/zarn_spin_box_guard.h"
#include "compressor/zarn_compressor.h"
#include "eq/zarn_equalizer.h"
#include "strip/zarn_controller.h"
#include "strip/zarn_gain_label.h"
#include "strip/zarn_volume_bar.h"
#include "support/input_events.h"
#include "support/records.h"
#include "support/tool_tips.h"
#include "support/window_fixture.h"

using fixture::as;
using fixture::with_code;
using zarn::sim::Engine;
using zarn::sim::TestDaemon;

namespace {

// Each grid cell as "row,column name[ RxC][ align=N]", sorted; members are
// named by their field so that the RX and TX controls cannot swap unseen.
QStringList picture(ZARNController *s) {
    // clang-format off
    const std::pair<QWidget *, const char *> members[] = {
        {s->meter, "meter"}, {s->rx_mute_box, "rx_mute"}, {s->tx_mute_box, "tx_mute"},
        {s->rx_polarity_box, "rx_pol"}, {s->tx_polarity_box, "tx_pol"},
        {s->src_channel_box, "src"}, {s->dst_channel_box, "dst"},
        {s->rx_up_button, "rx+"}, {s->tx_up_button, "tx+"}, {s->rx_gain_label, "rx_gain"},
        {s->tx_gain_label, "tx_gain"}, {s->rx_down_button, "rx-"}, {s->tx_down_button, "tx-"},
        {s->compressor_button, "comp"}, {s->rx_eq_button, "rx_eq"}, {s->tx_eq_button, "tx_eq"},
        {s->delay_box, "delay"}, {s->link_box, "link"}};
    // clang-format on
    QStringList out;
    for (int i = 0; i < s->grid->count(); ++i) {
        int r, c, rs, cs;
        s->grid->getItemPosition(i, &r, &c, &rs, &cs);
        QWidget *w = s->grid->itemAt(i)->widget();
        QString name = QStringLiteral("?");
        for (auto &m : members)
            if (m.first && m.first == w)
                name = m.second;
        if (auto *label = qobject_cast<QLabel *>(w); label && name == "?")
            name = label->text();
        QString e = QStringLiteral("%1,%2 %3").arg(r).arg(c).arg(name);
        if (rs != 1 || cs != 1)
            e += QStringLiteral(" %1x%2").arg(rs).arg(cs);
        if (s->grid->itemAt(i)->alignment() != Qt::AlignCenter)
            e += QStringLiteral(" align=%1").arg(int(s->grid->itemAt(i)->alignment()));
        out << e;
    }
    out.sort();
    return out;
}

QStringList sorted(QStringList l) {
    l.sort();
    return l;
}

void set_name(zarn::ChannelConfig &c, const char *name) {
    std::memset(c.name, 0, sizeof c.name);
    std::memcpy(c.name, name, std::strlen(name));
}

std::vector<unsigned char> bytes_of(const void *record, std::size_t size) {
    const auto *p = static_cast<const unsigned char *>(record);
    return std::vector<unsigned char>(p, p + size);
}

// Requests whose direction is panel to daemon only.
std::size_t pure_writes(const TestDaemon &d) {
    std::size_t n = 0;
    for (auto &r : d.requests())
        n += (r.code & 0xe0000000u) == zarn::DIR_IN;
    return n;
}

zarn::sim::Topology mixed() {
    return zarn::sim::mixer({2, 1}, {1}, 2, 1, 1, 2, 1);
}

// Strip indices of mixed(), in discovery order.
enum {
    DEV0_CH0,
    DEV0_CH1,
    DEV1_CH0,
    LOOP0_CH0,
    INPUT_MON0,
    INPUT_MON1,
    OUTPUT_MON0,
    LOCAL_MON0,
    MAIN_OUT0,
    MAIN_OUT1,
    MAIN_IN0,
    STRIP_TOTAL
};

} // namespace

class TestController : public QObject {
    Q_OBJECT

private slots:
    void widgets_and_cells_per_kind();
    void titles();
    void read_fills_widgets_without_writing();
    void failed_read_is_read_again_before_a_write();
    void change_sends_whole_record_as_last_read();
    void another_clients_change_is_shown_and_kept();
    void gain_shown_clamped_is_sent_as_reported();
    void compressor_button_shows_the_channel_zero_window();
    void markers_follow_another_client_and_a_second_click_raises();
    void linked_channels_move_together_data();
    void linked_channels_move_together();
    void held_gain_button_steps_at_once_and_repeats();
    void typed_gain_within_range_data();
    void typed_gain_within_range();
    void wheel_without_focus_scrolls_and_sends_nothing();
    void typed_numbers_are_sent_once();
    void every_control_says_what_it_does();
};

void TestController::widgets_and_cells_per_kind() {
    TestDaemon d(mixed());
    auto w = fixture::make_window(d.path());
    QCOMPARE(fixture::strip_count(*w), int(STRIP_TOTAL));
    ZARNController *s = w->strips[DEV0_CH1];
    QCOMPARE(std::make_tuple(s->kind, s->channel, s->number, s->main_window),
             std::make_tuple(int(zarn::KIND_DEVICE), 1, 0, w.get()));
    // clang-format off
    const QStringList device = sorted({
        "0,0 RX", "0,1 meter 2x1", "0,2 MUTE:", "0,3 rx_mute", "0,4 POL:", "0,5 rx_pol",
        "0,6 src", "0,7 rx+", "0,8 rx_gain", "0,9 rx-", "0,10 comp", "0,11 rx_eq",
        "0,12 DELAY:", "0,13 delay",
        "1,0 TX", "1,2 MUTE:", "1,3 tx_mute", "1,4 POL:", "1,5 tx_pol", "1,6 dst", "1,7 tx+",
        "1,8 tx_gain", "1,9 tx-", "1,11 tx_eq"});
    // clang-format on
    // A device of several channels has its link toggle below the delay.
    QCOMPARE(picture(s), sorted(device + QStringList{"1,12 link 1x2"}));
    QCOMPARE(picture(w->strips[LOOP0_CH0]), device);
    QCOMPARE(s->grid->columnCount(), 14);
    QCOMPARE(
        QStringList({s->rx_up_button->text(), s->rx_down_button->text(), s->tx_up_button->text(),
                     s->tx_down_button->text(), s->rx_eq_button->text(), s->tx_eq_button->text(),
                     s->compressor_button->text(), s->src_channel_box->prefix(),
                     s->dst_channel_box->prefix(), s->delay_box->suffix(), s->rx_mute_box->text()}),
        QStringList(
            {"+", "-", "+", "-", "EQ", "EQ", "Compressor", "SrcCh ", "DstCh ", " samples", ""}));
    QCOMPARE(std::make_tuple(s->src_channel_box->minimum(), s->src_channel_box->maximum(),
                             s->dst_channel_box->minimum(), s->dst_channel_box->maximum()),
             std::make_tuple(0, 63, 0, 63));

    const QStringList monitor =
        sorted({"0,0 meter", "0,1 MUTE:", "0,2 rx_mute", "0,3 POL:", "0,4 rx_pol", "0,5 src",
                "0,6 dst", "0,7 rx+", "0,8 rx_gain", "0,9 rx-"});
    for (int index : {INPUT_MON0, INPUT_MON1, OUTPUT_MON0, LOCAL_MON0}) {
        ZARNController *m = w->strips[index];
        QCOMPARE(picture(m), monitor);
        QVERIFY(!m->rx_eq_button);
        QVERIFY(!m->tx_eq_button);
        QVERIFY(!m->rx_equalizer);
        QVERIFY(!m->tx_equalizer);
        QVERIFY(!m->compressor_button);
        QVERIFY(!m->compressor);
        QVERIFY(!m->delay_box);
        QCOMPARE(m->tx_mute_box->parentWidget(), m);
        QVERIFY(m->tx_mute_box->isHidden());
        QVERIFY(m->tx_up_button->isHidden());
    }
    QCOMPARE(std::make_pair(w->strips[INPUT_MON1]->number, w->strips[INPUT_MON1]->channel),
             std::make_pair(1, 0));

    ZARNController *out = w->strips[MAIN_OUT1];
    ZARNController *in = w->strips[MAIN_IN0];
    const QString left = QStringLiteral(" align=%1").arg(int(Qt::AlignLeft));
    QCOMPARE(picture(out), QStringList({"0,0 meter" + left, "0,1 comp"}));
    QCOMPARE(picture(in), QStringList({"0,0 meter" + left}));
    QVERIFY(!out->delay_box);
    QVERIFY(!out->rx_eq_button);
    QVERIFY(!in->compressor_button);
    QVERIFY(!in->compressor);
    fixture::show_whole(*w);
    QVERIFY(in->meter->isVisible());
    QVERIFY(!in->rx_mute_box->isVisible());
    QVERIFY(!in->rx_up_button->isVisible());
    QVERIFY(!out->src_channel_box->isVisible());
}

void TestController::titles() {
    TestDaemon d(mixed());
    d.with_engine([](Engine &e) {
        set_name(e.devices[0].channels[1].config, "Line");
        set_name(e.devices[1].channels[0].config, "");
        // An unterminated name must not pick up the bytes that follow it.
        zarn::ChannelConfig &c = e.devices[0].channels[0].config;
        std::memset(c.name, 'A', sizeof c.name);
        c.rx_amp = 'B';
        c.tx_amp = 0;
    });
    auto w = fixture::make_window(d.path());
    QStringList titles;
    for (ZARNController *s : w->strips)
        if (s)
            titles << s->title();
    QCOMPARE(titles, QStringList({QString(36, 'A') + " - Ch0", "Line - Ch1", "Channel 1.0",
                                  "loop0 - Ch0", "Input Monitor - Ch0", "Input Monitor - Ch1",
                                  "Output Monitor - Ch0", "Local Monitor - Ch0",
                                  "Main Output - Ch0", "Main Output - Ch1", "Main Input - Ch0"}));

    ZARNController *s = w->strips[DEV0_CH1];
    s->set_title(std::string(80, 'x').c_str());
    QCOMPARE(s->title(), QString(63, QLatin1Char('x')));
    s->set_title("\xc3\xa9t\xc3\xa9");
    QCOMPARE(s->title(), QStringLiteral("\u00e9t\u00e9 - Ch1"));
    // The cut falls on the 63rd byte, even inside a character.
    s->set_title((std::string(62, 'x') + "\xc3\xa9").c_str());
    QCOMPARE(s->title(), QString(62, QLatin1Char('x')) + QChar(0xFFFD));
    w->strips[INPUT_MON1]->set_title("");
    QCOMPARE(w->strips[INPUT_MON1]->title(), QStringLiteral("Channel 1.0"));
}

void TestController::read_fills_widgets_without_writing() {
    TestDaemon d(mixed());
    d.with_engine([](Engine &e) {
        zarn::ChannelConfig &c = e.devices[0].channels[1].config;
        c.rx_mute = 1;
        c.tx_polarity = 7;
        c.rx_amp = -5;
        c.tx_amp = 12;
        c.src_channel = 3;
        c.dst_channel = 44;
        c.delay_limit = 300;
        c.delay = 250;
        e.local_monitors[0].config = zarn::MonitorConfig{0, 0, 5, 6, 1, 2, -31};
        e.loops[0].channels[0].config.delay_limit = 0;
        e.loops[0].channels[0].config.delay = 5;
    });
    auto w = fixture::make_window(d.path());
    QApplication::processEvents();
    QCOMPARE(pure_writes(d), std::size_t{0});

    auto shown = [](ZARNController *s) {
        QStringList l{QString::number(s->rx_mute_box->isChecked()),
                      QString::number(s->rx_polarity_box->isChecked()), s->rx_gain_label->text(),
                      QString::number(s->src_channel_box->value()),
                      QString::number(s->dst_channel_box->value())};
        if (s->delay_box)
            l << QString::number(s->tx_mute_box->isChecked())
              << QString::number(s->tx_polarity_box->isChecked()) << s->tx_gain_label->text()
              << QStringLiteral("%1/%2..%3")
                     .arg(s->delay_box->value())
                     .arg(s->delay_box->minimum())
                     .arg(s->delay_box->maximum());
        return l;
    };
    QCOMPARE(shown(w->strips[DEV0_CH1]),
             QStringList({"1", "0", "-5", "3", "44", "0", "1", "12", "250/0..300"}));
    QCOMPARE(std::make_pair(w->strips[DEV0_CH1]->rx_amp, w->strips[DEV0_CH1]->tx_amp),
             std::make_pair(-5, 12));
    QCOMPARE(shown(w->strips[LOCAL_MON0]), QStringList({"1", "1", "-31", "5", "6"}));
    // A delay limit of 0 offers only 0.
    QSpinBox *box = w->strips[LOOP0_CH0]->delay_box;
    box->setValue(10);
    QCOMPARE(std::make_pair(box->maximum(), box->value()), std::make_pair(0, 0));

    // One read per device, loopback and monitor strip, carrying only the selectors.
    const auto reads = with_code(d, zarn::REQ_DEV_CONFIG_GET);
    QCOMPARE(reads.size(), std::size_t{3});
    std::vector<unsigned char> expected(84, 0);
    expected[4] = 1;
    QCOMPARE(reads[1].record, expected);
    QCOMPARE(with_code(d, zarn::REQ_INPUT_MON_GET).at(1).record,
             std::vector<unsigned char>({1, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0,
                                         0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0}));
    QCOMPARE(std::make_tuple(d.count(zarn::REQ_LOOP_CONFIG_GET), d.count(zarn::REQ_INPUT_MON_GET),
                             d.count(zarn::REQ_OUTPUT_MON_GET), d.count(zarn::REQ_LOCAL_MON_GET)),
             std::make_tuple(std::size_t{1}, std::size_t{2}, std::size_t{1}, std::size_t{1}));
}

void TestController::failed_read_is_read_again_before_a_write() {
    TestDaemon d(mixed());
    const TestDaemon::Hook refuse_dev1 = [](std::uint32_t code, unsigned char *record,
                                            std::vector<double> &) {
        if (code == zarn::REQ_DEV_CONFIG_GET && record[0] == 1) {
            std::memset(record, 0x66, 84); // a failed reply's bytes must not be taken
            return std::optional<int>(-1);
        }
        return code == zarn::REQ_OUTPUT_MON_GET ? std::optional<int>(-1) : std::nullopt;
    };
    d.set_hook(refuse_dev1);
    auto w = fixture::make_window(d.path());
    ZARNController *s = w->strips[DEV1_CH0];
    QVERIFY(s->title().isEmpty());
    QVERIFY(w->strips[OUTPUT_MON0]->title().isEmpty());
    QVERIFY(!s->rx_mute_box->isChecked());
    QVERIFY(!s->tx_polarity_box->isChecked());
    QVERIFY(s->rx_gain_label->text().isEmpty());
    QVERIFY(s->tx_gain_label->text().isEmpty());
    QCOMPARE(std::make_tuple(s->src_channel_box->value(), s->delay_box->value(),
                             s->delay_box->maximum()),
             std::make_tuple(0, 0, QSpinBox().maximum()));

    // The read before the write fails too: nothing is sent, the box goes back.
    d.clear_requests();
    s->tx_mute_box->setChecked(true);
    QCOMPARE(d.count(zarn::REQ_DEV_CONFIG_GET), std::size_t{1});
    QCOMPARE(pure_writes(d), std::size_t{0});
    QVERIFY(!s->tx_mute_box->isChecked());
    // Still as never read: no title made up from zeros, no gain of 0.
    QVERIFY(s->title().isEmpty());
    QVERIFY(s->rx_gain_label->text().isEmpty());
    QCOMPARE(s->delay_box->maximum(), QSpinBox().maximum());

    // Once the daemon answers, the change goes out on the record it reports,
    // and the strip shows that record.
    d.clear_hook();
    d.with_engine([](Engine &e) {
        zarn::ChannelConfig &c = e.devices[1].channels[0].config;
        c.rx_amp = 7;
        c.rx_polarity = 1;
        c.delay = 12;
        c.delay_limit = 100;
    });
    const auto daemon_copy =
        d.with_engine([](Engine &e) { return e.devices[1].channels[0].config; });
    d.clear_requests();
    s->tx_mute_box->setChecked(true);
    const auto writes = with_code(d, zarn::REQ_DEV_CONFIG_SET);
    QCOMPARE(writes.size(), std::size_t{1});
    zarn::ChannelConfig expected = daemon_copy;
    expected.tx_mute = 1;
    QCOMPARE(writes[0].record,
             std::vector<unsigned char>(reinterpret_cast<const unsigned char *>(&expected),
                                        reinterpret_cast<const unsigned char *>(&expected + 1)));
    QCOMPARE(std::make_tuple(s->rx_gain_label->text(), s->rx_polarity_box->isChecked(),
                             s->delay_box->value(), s->tx_mute_box->isChecked()),
             std::make_tuple(QString("7"), true, 12, true));
}

void TestController::change_sends_whole_record_as_last_read() {
    TestDaemon d(mixed());
    zarn::ChannelConfig daemon_copy;
    d.with_engine([&](Engine &e) {
        zarn::ChannelConfig &c = e.devices[0].channels[1].config;
        set_name(c, "Mic");
        for (std::size_t i = 4; i < sizeof c.name; ++i)
            c.name[i] = static_cast<char>(0x80 + i); // the daemon's bytes after the NUL
        c.rx_amp = 3;
        c.tx_amp = -2;
        c.src_channel = 1;
        c.dst_channel = 2;
        c.rx_polarity = 1;
        c.delay_limit = 1000;
        c.delay = 17;
        daemon_copy = c;
        e.input_monitors[1].config = zarn::MonitorConfig{1, 0x12345678, 4, 5, 0, 0, 6};
    });
    auto w = fixture::make_window(d.path());
    ZARNController *s = w->strips[DEV0_CH1];
    s->link_box->setChecked(false); // each channel's strip alone
    d.clear_requests();

    s->dst_channel_box->setValue(9);
    zarn::ChannelConfig expected = daemon_copy;
    expected.dst_channel = 9;
    // The record is read first, so another client's fields are kept.
    QCOMPARE(d.requests().size(), std::size_t{2});
    QCOMPARE(d.requests().front().code, zarn::REQ_DEV_CONFIG_GET);
    QCOMPARE(with_code(d, zarn::REQ_DEV_CONFIG_SET).at(0).record,
             bytes_of(&expected, sizeof expected));

    // Every control sends the whole record, each with its own field changed.
    s->rx_mute_box->setChecked(true);
    s->tx_polarity_box->setChecked(true);
    s->rx_polarity_box->setChecked(false);
    s->src_channel_box->setValue(63);
    s->delay_box->setValue(999);
    s->tx_up_button->click();
    s->rx_down_button->click();
    expected.rx_mute = 1;
    expected.tx_polarity = 1;
    expected.rx_polarity = 0;
    expected.src_channel = 63;
    expected.delay = 999;
    expected.tx_amp = -1;
    expected.rx_amp = 2;
    const auto writes = with_code(d, zarn::REQ_DEV_CONFIG_SET);
    QCOMPARE(writes.size(), std::size_t{8});
    QCOMPARE(writes.back().record, bytes_of(&expected, sizeof expected));
    QCOMPARE(as<zarn::ChannelConfig>(writes[5]).delay, 999);

    w->strips[LOOP0_CH0]->rx_up_button->click();
    QCOMPARE(as<zarn::ChannelConfig>(with_code(d, zarn::REQ_LOOP_CONFIG_SET).at(0)).rx_amp, 1);

    // Monitors send their whole record with their own requests.
    ZARNController *m = w->strips[INPUT_MON1];
    m->rx_polarity_box->setChecked(true);
    m->rx_up_button->click();
    const auto monitor = with_code(d, zarn::REQ_INPUT_MON_SET);
    QCOMPARE(monitor.size(), std::size_t{2});
    zarn::MonitorConfig expected_monitor{1, 0x12345678, 4, 5, 1, 0, 7};
    QCOMPARE(monitor[1].record, bytes_of(&expected_monitor, sizeof expected_monitor));
    w->strips[OUTPUT_MON0]->rx_mute_box->setChecked(true);
    w->strips[LOCAL_MON0]->dst_channel_box->setValue(3);
    QCOMPARE(as<zarn::MonitorConfig>(with_code(d, zarn::REQ_OUTPUT_MON_SET).at(0)).mute, 1);
    QCOMPARE(as<zarn::MonitorConfig>(with_code(d, zarn::REQ_LOCAL_MON_SET).at(0)).dst_channel, 3);
    QCOMPARE(d.count(zarn::REQ_OUTPUT_MON_SET) + d.count(zarn::REQ_LOCAL_MON_SET), std::size_t{2});

    // Main strips have nothing to send.
    d.clear_requests();
    w->strips[MAIN_OUT0]->handle_set_config();
    w->strips[MAIN_OUT0]->rx_up_button->click();
    QCOMPARE(pure_writes(d), std::size_t{0});
}

void TestController::another_clients_change_is_shown_and_kept() {
    TestDaemon d(mixed());
    auto w = fixture::make_window(d.path());
    ZARNController *s = w->strips[DEV0_CH1];
    const auto changed = d.with_engine([](Engine &e) {
        zarn::ChannelConfig &c = e.devices[0].channels[1].config;
        c.rx_amp = -10;
        c.rx_mute = 1;
        c.dst_channel = 1;
        return c;
    });
    d.clear_requests();
    // Within a second of ticks the strip shows it, and writes nothing.
    for (int i = 0; i < 10; ++i)
        w->handle_watchdog();
    QCOMPARE(pure_writes(d), std::size_t{0});
    QCOMPARE(s->channel_config, changed);
    QCOMPARE(s->rx_gain_label->text(), QString("-10"));
    QVERIFY(s->rx_mute_box->isChecked());
    QCOMPARE(s->dst_channel_box->value(), 1);

    // Another change after that is kept too: the next click reads first and
    // sends the daemon's record with its own field alone changed.
    const auto later = d.with_engine([](Engine &e) {
        e.devices[0].channels[1].config.tx_amp = 5;
        return e.devices[0].channels[1].config;
    });
    d.clear_requests();
    s->tx_polarity_box->setChecked(true);
    zarn::ChannelConfig expected = later;
    expected.tx_polarity = 1;
    QCOMPARE(d.requests().size(), std::size_t{2});
    QCOMPARE(as<zarn::ChannelConfig>(with_code(d, zarn::REQ_DEV_CONFIG_SET).at(0)), expected);
}

void TestController::gain_shown_clamped_is_sent_as_reported() {
    TestDaemon d(mixed());
    d.with_engine([](Engine &e) {
        e.devices[0].channels[0].config.rx_amp = 31;
        e.devices[0].channels[0].config.tx_amp = -31;
        e.input_monitors[0].config.amp = 31;
        e.devices[0].channels[1].config.rx_amp = 40;
        e.devices[0].channels[1].config.tx_amp = -2147483647 - 1;
        e.output_monitors[0].config.amp = 1000;
    });
    auto w = fixture::make_window(d.path());
    w->strips[DEV0_CH0]->link_box->setChecked(false); // each channel's strip alone
    d.clear_requests();

    // Reported gains beyond the range show clamped, but a change of another
    // field sends them back as reported.
    ZARNController *far = w->strips[DEV0_CH1];
    QCOMPARE(std::make_tuple(far->rx_gain_label->text(), far->tx_gain_label->text(),
                             w->strips[OUTPUT_MON0]->rx_gain_label->text()),
             std::make_tuple(QString("31"), QString("-31"), QString("31")));
    far->rx_mute_box->setChecked(true);
    const auto written = as<zarn::ChannelConfig>(with_code(d, zarn::REQ_DEV_CONFIG_SET).at(0));
    QCOMPARE(std::make_tuple(written.rx_amp, written.tx_amp, written.rx_mute),
             std::make_tuple(40, -2147483647 - 1, 1));
    // A step from the clamped value is what the user sees and sends.
    far->rx_down_button->click();
    QCOMPARE(as<zarn::ChannelConfig>(with_code(d, zarn::REQ_DEV_CONFIG_SET).back()).rx_amp, 30);
    d.clear_requests();

    // At the limit a press changes nothing, so nothing is sent.
    ZARNController *s = w->strips[DEV0_CH0];
    s->rx_up_button->click();
    s->tx_down_button->click();
    QCOMPARE(std::make_pair(s->rx_gain_label->text(), s->tx_gain_label->text()),
             std::make_pair(QString("31"), QString("-31")));
    QCOMPARE(d.count(zarn::REQ_DEV_CONFIG_SET), std::size_t{0});

    // One press is one step.
    s->rx_down_button->click();
    s->rx_down_button->click();
    QCOMPARE(s->rx_gain_label->text(), QStringLiteral("29"));
    QCOMPARE(as<zarn::ChannelConfig>(with_code(d, zarn::REQ_DEV_CONFIG_SET).back()).rx_amp, 29);

    ZARNController *m = w->strips[INPUT_MON0];
    m->rx_up_button->click();
    QCOMPARE(m->rx_gain_label->text(), QStringLiteral("31"));
    QCOMPARE(d.count(zarn::REQ_INPUT_MON_SET), std::size_t{0});

    // Whatever a label shows, the columns after it stay where they were.
    fixture::show_whole(*w);
    const int down_x = s->rx_down_button->x();
    QVERIFY(s->rx_gain_label->width() >=
            s->rx_gain_label->fontMetrics().horizontalAdvance(QStringLiteral("-31")));
    for (int i = 0; i < 49; i++)
        s->rx_down_button->click();
    QCOMPARE(s->rx_gain_label->text(), QStringLiteral("-20"));
    s->layout()->activate();
    QCOMPARE(s->rx_down_button->x(), down_x);
    QCOMPARE(far->tx_gain_label->width(), s->rx_gain_label->width());
}

void TestController::compressor_button_shows_the_channel_zero_window() {
    zarn::sim::Topology t = fixture::empty_topology();
    t.loop_channels = {1, 2, 4};
    t.main_output_channels = 2;
    TestDaemon d(t);
    auto w = fixture::make_window(d.path());
    ZARNController *zero = w->strips[3];
    ZARNController *third = w->strips[6];
    QCOMPARE(std::make_tuple(zero->kind, zero->number, zero->channel), std::make_tuple(1, 2, 0));
    QCOMPARE(std::make_tuple(third->kind, third->number, third->channel), std::make_tuple(1, 2, 3));
    QVERIFY(zero->compressor);
    QVERIFY(!third->compressor);
    QVERIFY(third->compressor_button);
    third->compressor_button->click();
    QVERIFY(zero->compressor->isVisible());
    QVERIFY(!w->strips[1]->compressor->isVisible()); // loopback 1
    zero->compressor->hide();

    ZARNController *main_out = w->strips[7];
    QVERIFY(main_out->compressor);
    QVERIFY(!w->strips[8]->compressor);
    w->strips[8]->compressor_button->click();
    QVERIFY(main_out->compressor->isVisible());
    main_out->compressor->hide();
}

void TestController::markers_follow_another_client_and_a_second_click_raises() {
    TestDaemon d(mixed());
    auto w = fixture::make_window(d.path());
    ZARNController *s = w->strips[DEV0_CH1];
    ZARNController *zero = w->strips[DEV0_CH0];
    s->tx_eq_button->click();
    QVERIFY(s->tx_equalizer->isVisible());
    QVERIFY(!s->tx_eq_button->isChecked());
    QVERIFY(!zero->compressor_button->isChecked());

    // Another client switches a filter and the compressor on.
    d.with_engine([](Engine &e) {
        zarn::sim::Filter &f = e.devices[0].channels[1].tx_filter;
        f.active = true;
        f.coefficients.assign(static_cast<std::size_t>(f.length), 0.0);
        f.coefficients[0] = 1.0;
        e.devices[0].compressor.enabled = 1;
    });
    // A hidden compressor is read at the live view's rate: within a second.
    for (int i = 0; i < 10; ++i)
        w->handle_watchdog();
    QVERIFY(s->tx_eq_button->isChecked());
    QVERIFY(!s->rx_eq_button->isChecked());
    QVERIFY(zero->compressor_button->isChecked());
    QVERIFY(s->compressor_button->isChecked());

    // A click on a marked button opens the window and keeps the mark.
    s->tx_eq_button->click();
    QVERIFY(s->tx_eq_button->isChecked());
    // A window in view that another window covers comes to the front.
    s->compressor_button->click();
    QVERIFY(zero->compressor->isVisible());
    QVERIFY(QTest::qWaitForWindowActive(zero->compressor));
    s->tx_eq_button->click();
    QVERIFY(QTest::qWaitForWindowActive(s->tx_equalizer));
    QCOMPARE(QApplication::activeWindow(), static_cast<QWidget *>(s->tx_equalizer));

    // Windows opened from one strip are cascaded beside it, not on one spot.
    QVERIFY(s->tx_equalizer->pos() != zero->compressor->pos());

    d.with_engine([](Engine &e) { e.devices[0].compressor.enabled = 0; });
    w->handle_watchdog();
    QVERIFY(!s->compressor_button->isChecked());

    // With its window hidden, the marker follows a filter of the same length
    // switched off and on again.
    s->tx_equalizer->hide();
    for (const bool on : {false, true}) {
        d.with_engine([on](Engine &e) { e.devices[0].channels[1].tx_filter.active = on; });
        for (int i = 0; i < 10; ++i)
            w->handle_watchdog();
        QCOMPARE(s->tx_eq_button->isChecked(), on);
    }
}

namespace {

// What the user does on channel 1 of a three-channel device.
enum Act { TX_DOWN, RX_MUTE, TYPED_RX, TX_POLARITY };

zarn::Field field_named(const QByteArray &name) {
    for (const zarn::Field &f : zarn::config_fields(zarn::KIND_DEVICE))
        if (name == f.name)
            return f;
    return {};
}

} // namespace

void TestController::linked_channels_move_together_data() {
    QTest::addColumn<bool>("linked");
    QTest::addColumn<int>("act");
    QTest::addColumn<QByteArray>("field");
    QTest::addColumn<QList<int>>("written"); // channels, in the order written
    QTest::addColumn<QList<int>>("after");   // the field on channels 0, 1, 2
    // Before: rx_amp 5 -3 31, tx_amp 5 -3 -31, rx_mute 0 0 1.
    QTest::newRow("tx step, linked: each from its own, -31 stays")
        << true << int(TX_DOWN) << QByteArray("tx_amp") << QList<int>{0, 1}
        << QList<int>{4, -4, -31};
    QTest::newRow("tx step, unlinked")
        << false << int(TX_DOWN) << QByteArray("tx_amp") << QList<int>{1} << QList<int>{5, -4, -31};
    QTest::newRow("rx mute, linked: the muted one is left")
        << true << int(RX_MUTE) << QByteArray("rx_mute") << QList<int>{0, 1} << QList<int>{1, 1, 1};
    QTest::newRow("rx mute, unlinked")
        << false << int(RX_MUTE) << QByteArray("rx_mute") << QList<int>{1} << QList<int>{0, 1, 1};
    QTest::newRow("typed rx gain, linked") << true << int(TYPED_RX) << QByteArray("rx_amp")
                                           << QList<int>{0, 1, 2} << QList<int>{-7, -7, -7};
    QTest::newRow("typed rx gain, unlinked")
        << false << int(TYPED_RX) << QByteArray("rx_amp") << QList<int>{1} << QList<int>{5, -7, 31};
    QTest::newRow("polarity is never linked")
        << true << int(TX_POLARITY) << QByteArray("tx_polarity") << QList<int>{1}
        << QList<int>{0, 1, 0};
}

void TestController::linked_channels_move_together() {
    QFETCH(bool, linked);
    QFETCH(int, act);
    QFETCH(QByteArray, field);
    QFETCH(QList<int>, written);
    QFETCH(QList<int>, after);
    TestDaemon d(zarn::sim::mixer({3}, {}, 0, 0, 0, 0, 0));
    const auto before = d.with_engine([](Engine &e) {
        const int rx[] = {5, -3, 31}, tx[] = {5, -3, -31};
        std::vector<zarn::ChannelConfig> records;
        for (int c = 0; c < 3; ++c) {
            zarn::ChannelConfig &r = e.devices[0].channels[c].config;
            r.rx_amp = rx[c];
            r.tx_amp = tx[c];
            r.rx_mute = c == 2;
            r.src_channel = 10 + c;
            r.delay_limit = 100;
            r.delay = 20 + c;
            records.push_back(r);
        }
        return records;
    });
    auto w = fixture::make_window(d.path());
    ZARNController *strips[] = {w->strips[0], w->strips[1], w->strips[2]};
    QVERIFY(strips[0]->link_box->isChecked()); // on by default
    strips[1]->link_box->setChecked(linked);
    QCOMPARE(strips[2]->link_box->isChecked(), linked);
    d.clear_requests();

    ZARNController *s = strips[1];
    if (act == TX_DOWN)
        s->tx_down_button->click();
    else if (act == RX_MUTE)
        s->rx_mute_box->setChecked(true);
    else if (act == TYPED_RX)
        QVERIFY(static_cast<ZARNGainLabel *>(s->rx_gain_label)->take(QStringLiteral("-7")));
    else
        s->tx_polarity_box->setChecked(true);

    // One read-modify-write per channel, in channel order, each record as
    // the daemon had it but for the one field.
    const zarn::Field f = field_named(field);
    QList<int> channels;
    std::vector<zarn::ChannelConfig> sent;
    for (const auto &r : d.requests()) {
        const auto record = as<zarn::ChannelConfig>(r);
        if (r.code == zarn::REQ_DEV_CONFIG_GET)
            channels << record.channel;
        else if (r.code == zarn::REQ_DEV_CONFIG_SET)
            sent.push_back(record);
    }
    QCOMPARE(channels, written);
    QCOMPARE(int(sent.size()), written.size());
    for (std::size_t i = 0; i < sent.size(); ++i) {
        const int c = written[int(i)];
        zarn::ChannelConfig expected = before[std::size_t(c)];
        zarn::set_field(&expected, f, after[c]);
        QCOMPARE(sent[i], expected);
    }
    // Every strip shows what its channel now has.
    for (int c = 0; c < 3; ++c) {
        const QString label =
            (act == TYPED_RX ? strips[c]->rx_gain_label : strips[c]->tx_gain_label)->text();
        const int showing = act == RX_MUTE       ? strips[c]->rx_mute_box->isChecked()
                            : act == TX_POLARITY ? strips[c]->tx_polarity_box->isChecked()
                                                 : label.toInt();
        QCOMPARE(showing, after[c]);
    }
    // Kept for the next start.
    auto again = fixture::make_window(d.path());
    QCOMPARE(again->strips[0]->link_box->isChecked(), linked);
}

void TestController::held_gain_button_steps_at_once_and_repeats() {
    TestDaemon d(mixed());
    auto w = fixture::make_window(d.path());
    fixture::show_whole(*w);
    ZARNController *s = w->strips[DEV1_CH0];
    d.clear_requests();
    QTest::mousePress(s->tx_down_button, Qt::LeftButton);
    QCOMPARE(s->tx_gain_label->text(), QString("-1"));
    QCOMPARE(d.count(zarn::REQ_DEV_CONFIG_SET), std::size_t{1});
    QTRY_VERIFY(s->tx_gain_label->text().toInt() <= -3);
    QTest::mouseRelease(s->tx_down_button, Qt::LeftButton);
    // One write a step, and none more at the release.
    const int steps = -s->tx_gain_label->text().toInt();
    QCOMPARE(d.count(zarn::REQ_DEV_CONFIG_SET), std::size_t(steps));
    QCOMPARE(as<zarn::ChannelConfig>(with_code(d, zarn::REQ_DEV_CONFIG_SET).back()).tx_amp, -steps);
}

void TestController::typed_gain_within_range_data() {
    QTest::addColumn<QString>("typed"); // "reset": the context menu's way back to 0
    QTest::addColumn<int>("sent");      // the gain written; 3 (as read) when refused
    QTest::newRow("in range") << "-7" << -7;
    QTest::newRow("top") << "31" << 31;
    QTest::newRow("sign and spaces") << " +4 " << 4;
    QTest::newRow("beyond the top") << "32" << 3;
    QTest::newRow("beyond the bottom") << "-32" << 3;
    QTest::newRow("not a number") << "3x" << 3;
    QTest::newRow("reset to 0") << "reset" << 0;
}

void TestController::typed_gain_within_range() {
    QFETCH(QString, typed);
    QFETCH(int, sent);
    TestDaemon d(mixed());
    const auto before = d.with_engine([](Engine &e) {
        e.devices[1].channels[0].config.rx_amp = 3;
        return e.devices[1].channels[0].config;
    });
    auto w = fixture::make_window(d.path());
    fixture::show_whole(*w);
    auto *label = static_cast<ZARNGainLabel *>(w->strips[DEV1_CH0]->rx_gain_label);
    d.clear_requests();
    if (typed == "reset") {
        label->reset_to_zero();
    } else {
        QTest::mouseDClick(label, Qt::LeftButton);
        QVERIFY(label->field());
        QTest::keyClicks(label->field(), typed);
        QTest::keyClick(label->field(), Qt::Key_Return);
    }
    QVERIFY(!label->field());
    QCOMPARE(label->text(), QString::number(sent));
    if (sent == 3) {
        QCOMPARE(pure_writes(d), std::size_t{0});
        return;
    }
    zarn::ChannelConfig expected = before;
    expected.rx_amp = sent;
    QCOMPARE(with_code(d, zarn::REQ_DEV_CONFIG_SET).size(), std::size_t{1});
    QCOMPARE(as<zarn::ChannelConfig>(with_code(d, zarn::REQ_DEV_CONFIG_SET).at(0)), expected);
}

void TestController::wheel_without_focus_scrolls_and_sends_nothing() {
    TestDaemon d(mixed());
    auto w = fixture::make_window(d.path());
    // Shorter than its strips, so the window scrolls.
    w->resize(static_cast<QWidget *>(w->main_grid)->sizeHint().width() + 40, 300);
    w->show();
    QVERIFY(QTest::qWaitForWindowExposed(w.get()));
    QScrollBar *bar = w->verticalScrollBar();
    QVERIFY(bar->maximum() > 0);
    ZARNController *s = w->strips[DEV0_CH0];
    bar->setValue(s->y());
    const int top = bar->value();
    d.clear_requests();

    // Over each spin box of the strip, three notches towards the user.
    for (QSpinBox *box : {s->dst_channel_box, s->src_channel_box, s->delay_box}) {
        const int before = box->value();
        const int scrolled = bar->value();
        turn_wheel(box, -3);
        QCOMPARE(box->value(), before);
        QVERIFY(!box->hasFocus());
        QVERIFY2(bar->value() > scrolled, qPrintable(QString::number(bar->value())));
        bar->setValue(top);
    }
    // Nor does the wheel over a gain, which can be typed in.
    const int scrolled = bar->value();
    turn_wheel(s->tx_gain_label, -3);
    QVERIFY(bar->value() > scrolled);
    QCOMPARE(s->tx_gain_label->text(), QString("0"));
    bar->setValue(top);
    QCOMPARE(pure_writes(d), std::size_t{0});

    // With the keyboard focus the wheel steps the box, and each step is sent.
    QVERIFY(focus(s->dst_channel_box));
    turn_wheel(s->dst_channel_box, 1);
    turn_wheel(s->dst_channel_box, 1);
    QCOMPARE(s->dst_channel_box->value(), 2);
    QCOMPARE(bar->value(), top);
    const auto writes = with_code(d, zarn::REQ_DEV_CONFIG_SET);
    QCOMPARE(writes.size(), std::size_t{2});
    QCOMPARE(as<zarn::ChannelConfig>(writes[1]).dst_channel, 2);
}

void TestController::typed_numbers_are_sent_once() {
    TestDaemon d(mixed());
    d.with_engine([](Engine &e) { e.devices[0].channels[0].config.delay_limit = 1000; });
    auto w = fixture::make_window(d.path());
    fixture::show_whole(*w);
    ZARNController *s = w->strips[DEV0_CH0];
    QSpinBox *delay = s->delay_box;
    d.clear_requests();

    auto delays_sent = [&d] {
        QList<int> out;
        for (const auto &r : with_code(d, zarn::REQ_DEV_CONFIG_SET))
            out << as<zarn::ChannelConfig>(r).delay;
        return out;
    };

    // Typing 480 sends nothing until Return, then 480 once.
    QVERIFY(focus(delay));
    delay->selectAll();
    QTest::keyClicks(delay, "480");
    QCOMPARE(delays_sent(), QList<int>());
    QTest::keyClick(delay, Qt::Key_Return);
    QCOMPARE(delays_sent(), QList<int>({480}));

    // The same number again is not sent; an arrow key steps at once.
    delay->selectAll();
    QTest::keyClicks(delay, "480");
    QTest::keyClick(delay, Qt::Key_Return);
    QTest::keyClick(delay, Qt::Key_Up);
    QCOMPARE(delays_sent(), QList<int>({480, 481}));

    // A number beyond the limit is never cut to other digits: it stands
    // while typed, and Return takes the box back to the daemon's value.
    delay->selectAll();
    QTest::keyClicks(delay, "99999");
    QCOMPARE(delay->cleanText(), QString("99999"));
    QTest::keyClick(delay, Qt::Key_Return);
    QCOMPARE(delay->value(), 481);
    QCOMPARE(delays_sent(), QList<int>({480, 481}));

    QCOMPARE(pure_writes(d), std::size_t{2});
}

void TestController::every_control_says_what_it_does() {
    TestDaemon d(mixed());
    d.with_engine([](Engine &e) { e.devices[1].channels[0].config.delay_limit = 4800; });
    auto w = fixture::make_window(d.path());
    for (ZARNController *s : w->strips) {
        if (s)
            QVERIFY2(controls_without_tool_tips(s).isEmpty() || s->kind == zarn::KIND_MAIN_INPUT,
                     qPrintable(s->title() + ": " + controls_without_tool_tips(s).join(", ")));
    }
    // Units and ranges, as the boxes have them when the tip is shown: the
    // delay's limit is the daemon's.
    ZARNController *s = w->strips[DEV1_CH0];
    const QString delay_tip = ZARNSpinBoxGuard::tool_tip(s->delay_box);
    QVERIFY2(delay_tip.startsWith("Delay of this channel in samples, up to the largest the "
                                  "daemon accepts.\nFrom 0 to 4800 samples.\nType a number"),
             qPrintable(delay_tip));
    QVERIFY(ZARNSpinBoxGuard::tool_tip(s->dst_channel_box).contains("\nFrom 0 to 63.\n"));
    s->delay_box->setMaximum(96);
    QVERIFY(ZARNSpinBoxGuard::tool_tip(s->delay_box).contains("\nFrom 0 to 96 samples.\n"));
    // What hovering shows.
    fixture::show_whole(*w);
    QHelpEvent hover(QEvent::ToolTip, QPoint(5, 5), s->delay_box->mapToGlobal(QPoint(5, 5)));
    QApplication::sendEvent(s->delay_box, &hover);
    QTRY_COMPARE(QToolTip::text(), ZARNSpinBoxGuard::tool_tip(s->delay_box));
    QCOMPARE(s->rx_gain_label->toolTip(),
             QStringLiteral("Gain of the receive (RX) direction in the daemon's steps, from -31 "
                            "to 31"));
    QVERIFY(s->meter->toolTip().contains(QLatin1String("full scale")));
}

QTEST_MAIN(TestController)
#include "test_controller.moc"
