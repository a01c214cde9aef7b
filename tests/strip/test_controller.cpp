#include <QCheckBox>
#include <QGridLayout>
#include <QLabel>
#include <QPushButton>
#include <QSpinBox>
#include <QTest>
#include <cstring>
#include <tuple>

#include "../app/window_fixture.h"
#include "compressor/zarn_compressor.h"
#include "strip/zarn_controller.h"
#include "strip/zarn_volume_bar.h"

using fixture::as;
using fixture::with_code;
using zarn::sim::Engine;
using zarn::sim::TestDaemon;

namespace {

QWidget *cell(ZARNController *s, int row, int column) {
    QLayoutItem *item = s->grid->itemAtPosition(row, column);
    return item ? item->widget() : nullptr;
}

QString label_at(ZARNController *s, int row, int column) {
    auto *label = qobject_cast<QLabel *>(cell(s, row, column));
    return label ? label->text() : QStringLiteral("<no label>");
}

Qt::Alignment alignment_at(ZARNController *s, int row, int column) {
    return s->grid->itemAtPosition(row, column)->alignment();
}

void set_name(zarn::ChannelConfig &c, const char *name) {
    std::memset(c.name, 0, sizeof c.name);
    std::memcpy(c.name, name, std::strlen(name));
}

std::vector<unsigned char> bytes_of(const void *record, std::size_t size) {
    const auto *p = static_cast<const unsigned char *>(record);
    return std::vector<unsigned char>(p, p + size);
}

// Requests whose direction is panel to daemon only: the configuration,
// compressor, recording and delay-locator writes.
std::size_t pure_writes(const TestDaemon &d) {
    std::size_t n = 0;
    for (auto &r : d.requests())
        n += (r.code & 0xe0000000u) == zarn::IOC_IN;
    return n;
}

zarn::sim::Topology mixed() {
    zarn::sim::Topology t = fixture::empty_topology();
    t.device_channels = {2, 1};
    t.loop_channels = {1};
    t.input_monitors = 2;
    t.output_monitors = 1;
    t.local_monitors = 1;
    t.main_output_channels = 2;
    t.main_input_channels = 1;
    return t;
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
    void device_strip_widgets_and_cells();
    void monitor_strip_widgets_and_cells();
    void main_strips_show_meter_only();
    void titles();
    void unterminated_name_stays_in_its_field();
    void read_fills_widgets_without_writing();
    void failed_read_leaves_defaults_and_later_write_sends_preset();
    void change_sends_whole_record_as_last_read();
    void monitor_change_sends_whole_record();
    void gain_clamp_still_sends();
    void reported_gain_beyond_range_is_clamped();
    void delay_limit_zero_offers_only_zero();
    void compressor_button_shows_the_channel_zero_window();
};

void TestController::device_strip_widgets_and_cells() {
    TestDaemon d(mixed());
    d.with_engine([](Engine &e) { set_name(e.devices[0].channels[1].config, "Line"); });
    auto w = fixture::make_window(d.path());
    QCOMPARE(fixture::strip_count(*w), int(STRIP_TOTAL));
    ZARNController *s = w->strips[DEV0_CH1];
    QCOMPARE(s->kind, int(zarn::KIND_DEVICE));
    QCOMPARE(s->channel, 1);
    QCOMPARE(s->number, 0);
    QCOMPARE(s->title(), QStringLiteral("Line - Ch1"));
    QCOMPARE(s->main_window, w.get());

    QCOMPARE(label_at(s, 0, 0), QStringLiteral("RX"));
    QCOMPARE(label_at(s, 1, 0), QStringLiteral("TX"));
    int row, column, rows, columns;
    s->grid->getItemPosition(s->grid->indexOf(s->meter), &row, &column, &rows, &columns);
    QCOMPARE(QVector<int>({row, column, rows, columns}), QVector<int>({0, 1, 2, 1}));
    for (int r = 0; r < 2; ++r) {
        QCOMPARE(label_at(s, r, 2), QStringLiteral("MUTE:"));
        QCOMPARE(label_at(s, r, 4), QStringLiteral("POL:"));
    }
    QCOMPARE(cell(s, 0, 3), s->rx_mute_box);
    QCOMPARE(cell(s, 1, 3), s->tx_mute_box);
    QCOMPARE(cell(s, 0, 5), s->rx_polarity_box);
    QCOMPARE(cell(s, 1, 5), s->tx_polarity_box);
    QCOMPARE(cell(s, 0, 6), s->src_channel_box);
    QCOMPARE(cell(s, 1, 6), s->dst_channel_box);
    QCOMPARE(cell(s, 0, 7), s->rx_up_button);
    QCOMPARE(cell(s, 1, 7), s->tx_up_button);
    QCOMPARE(cell(s, 0, 8), s->rx_gain_label);
    QCOMPARE(cell(s, 1, 8), s->tx_gain_label);
    QCOMPARE(cell(s, 0, 9), s->rx_down_button);
    QCOMPARE(cell(s, 1, 9), s->tx_down_button);
    QCOMPARE(cell(s, 0, 10), s->compressor_button);
    QCOMPARE(cell(s, 1, 10), nullptr);
    QCOMPARE(cell(s, 0, 11), s->rx_eq_button);
    QCOMPARE(cell(s, 1, 11), s->tx_eq_button);
    QCOMPARE(label_at(s, 0, 12), QStringLiteral("DELAY:"));
    QCOMPARE(cell(s, 0, 13), s->delay_box);
    QCOMPARE(cell(s, 1, 12), nullptr);
    QCOMPARE(cell(s, 1, 13), nullptr);
    QCOMPARE(s->grid->count(), 24);
    QCOMPARE(s->grid->columnCount(), 14);
    for (int i = 0; i < s->grid->count(); ++i)
        QCOMPARE(s->grid->itemAt(i)->alignment(), Qt::Alignment(Qt::AlignCenter));

    QCOMPARE(s->rx_up_button->text(), QStringLiteral("+"));
    QCOMPARE(s->rx_down_button->text(), QStringLiteral("-"));
    QCOMPARE(s->tx_up_button->text(), QStringLiteral("+"));
    QCOMPARE(s->tx_down_button->text(), QStringLiteral("-"));
    QCOMPARE(s->rx_eq_button->text(), QStringLiteral("EQ"));
    QCOMPARE(s->tx_eq_button->text(), QStringLiteral("EQ"));
    QCOMPARE(s->compressor_button->text(), QStringLiteral("Compressor"));
    QCOMPARE(s->src_channel_box->prefix(), QStringLiteral("SrcCh "));
    QCOMPARE(s->dst_channel_box->prefix(), QStringLiteral("DstCh "));
    QCOMPARE(s->src_channel_box->minimum(), 0);
    QCOMPARE(s->src_channel_box->maximum(), 63);
    QCOMPARE(s->dst_channel_box->maximum(), 63);
    QCOMPARE(s->delay_box->suffix(), QStringLiteral(" samples"));
    QVERIFY(s->rx_mute_box->text().isEmpty());

    ZARNController *loop = w->strips[LOOP0_CH0];
    QCOMPARE(loop->kind, int(zarn::KIND_LOOP));
    QCOMPARE(loop->grid->count(), 24);
    QCOMPARE(cell(loop, 0, 13), loop->delay_box);
}

void TestController::monitor_strip_widgets_and_cells() {
    TestDaemon d(mixed());
    auto w = fixture::make_window(d.path());
    for (int index : {INPUT_MON0, INPUT_MON1, OUTPUT_MON0, LOCAL_MON0}) {
        ZARNController *s = w->strips[index];
        QCOMPARE(s->grid->count(), 10);
        QCOMPARE(s->grid->rowCount(), 1);
        QCOMPARE(cell(s, 0, 0), s->meter);
        QCOMPARE(label_at(s, 0, 1), QStringLiteral("MUTE:"));
        QCOMPARE(cell(s, 0, 2), s->rx_mute_box);
        QCOMPARE(label_at(s, 0, 3), QStringLiteral("POL:"));
        QCOMPARE(cell(s, 0, 4), s->rx_polarity_box);
        QCOMPARE(cell(s, 0, 5), s->src_channel_box);
        QCOMPARE(cell(s, 0, 6), s->dst_channel_box);
        QCOMPARE(cell(s, 0, 7), s->rx_up_button);
        QCOMPARE(cell(s, 0, 8), s->rx_gain_label);
        QCOMPARE(cell(s, 0, 9), s->rx_down_button);
        for (int c = 0; c < 10; ++c)
            QCOMPARE(alignment_at(s, 0, c), Qt::Alignment(Qt::AlignCenter));
        QVERIFY(!s->rx_eq_button && !s->tx_eq_button && !s->rx_equalizer && !s->tx_equalizer);
        QVERIFY(!s->compressor_button && !s->compressor && !s->delay_box);
        // The TX controls are never placed and never shown.
        QCOMPARE(s->tx_mute_box->parentWidget(), s);
        QVERIFY(s->tx_mute_box->isHidden());
        QVERIFY(s->tx_up_button->isHidden());
    }
    QCOMPARE(w->strips[INPUT_MON1]->number, 1);
    QCOMPARE(w->strips[INPUT_MON1]->channel, 0);
}

void TestController::main_strips_show_meter_only() {
    TestDaemon d(mixed());
    auto w = fixture::make_window(d.path());
    ZARNController *out = w->strips[MAIN_OUT1];
    QCOMPARE(out->kind, int(zarn::KIND_MAIN_OUTPUT));
    QCOMPARE(out->grid->count(), 2);
    QCOMPARE(cell(out, 0, 0), out->meter);
    QCOMPARE(alignment_at(out, 0, 0), Qt::Alignment(Qt::AlignLeft));
    QCOMPARE(cell(out, 0, 1), out->compressor_button);
    QCOMPARE(alignment_at(out, 0, 1), Qt::Alignment(Qt::AlignCenter));
    QVERIFY(!out->delay_box && !out->rx_eq_button);

    ZARNController *in = w->strips[MAIN_IN0];
    QCOMPARE(in->kind, int(zarn::KIND_MAIN_INPUT));
    QCOMPARE(in->grid->count(), 1);
    QCOMPARE(cell(in, 0, 0), in->meter);
    QCOMPARE(alignment_at(in, 0, 0), Qt::Alignment(Qt::AlignLeft));
    QVERIFY(!in->compressor_button && !in->compressor);
    fixture::show_whole(*w);
    QVERIFY(in->meter->isVisible());
    QVERIFY(!in->rx_mute_box->isVisible());
    QVERIFY(!in->rx_up_button->isVisible());
    QVERIFY(!out->src_channel_box->isVisible());
}

void TestController::titles() {
    TestDaemon d(mixed());
    d.with_engine([](Engine &e) { set_name(e.devices[1].channels[0].config, ""); });
    auto w = fixture::make_window(d.path());
    QCOMPARE(w->strips[DEV1_CH0]->title(), QStringLiteral("Channel 1.0"));
    QCOMPARE(w->strips[INPUT_MON1]->title(), QStringLiteral("Input Monitor - Ch1"));
    QCOMPARE(w->strips[OUTPUT_MON0]->title(), QStringLiteral("Output Monitor - Ch0"));
    QCOMPARE(w->strips[LOCAL_MON0]->title(), QStringLiteral("Local Monitor - Ch0"));
    QCOMPARE(w->strips[MAIN_OUT1]->title(), QStringLiteral("Main Output - Ch1"));
    QCOMPARE(w->strips[MAIN_IN0]->title(), QStringLiteral("Main Input - Ch0"));

    // Titles are cut to 63 bytes.
    ZARNController *s = w->strips[DEV0_CH1];
    const std::string long_text(80, 'x');
    s->set_title(long_text.c_str());
    QCOMPARE(s->title(), QString(63, QLatin1Char('x')));
    s->set_title("\xc3\xa9t\xc3\xa9");
    QCOMPARE(s->title(), QStringLiteral("\u00e9t\u00e9 - Ch1"));
    w->strips[INPUT_MON1]->set_title("");
    QCOMPARE(w->strips[INPUT_MON1]->title(), QStringLiteral("Channel 1.0"));
}

void TestController::unterminated_name_stays_in_its_field() {
    TestDaemon d(mixed());
    d.with_engine([](Engine &e) {
        zarn::ChannelConfig &c = e.devices[0].channels[0].config;
        std::memset(c.name, 'A', sizeof c.name);
        c.rx_amp = 'B'; // what a read past the field would pick up next
        c.tx_amp = 0;
    });
    auto w = fixture::make_window(d.path());
    QCOMPARE(w->strips[DEV0_CH0]->title(), QString(36, QLatin1Char('A')) + " - Ch0");
}

void TestController::read_fills_widgets_without_writing() {
    TestDaemon d(mixed());
    d.with_engine([](Engine &e) {
        zarn::ChannelConfig &c = e.devices[0].channels[1].config;
        c.rx_mute = 1;
        c.tx_mute = 0;
        c.rx_polarity = 0;
        c.tx_polarity = 7;
        c.rx_amp = -5;
        c.tx_amp = 12;
        c.src_channel = 3;
        c.dst_channel = 44;
        c.delay_limit = 300;
        c.delay = 250;
        zarn::MonitorConfig &m = e.local_monitors[0].config;
        m.mute = 2;
        m.polarity = 1;
        m.amp = -31;
        m.src_channel = 5;
        m.dst_channel = 6;
    });
    auto w = fixture::make_window(d.path());
    QApplication::processEvents();
    QCOMPARE(pure_writes(d), std::size_t{0});

    ZARNController *s = w->strips[DEV0_CH1];
    QVERIFY(s->rx_mute_box->isChecked());
    QVERIFY(!s->tx_mute_box->isChecked());
    QVERIFY(!s->rx_polarity_box->isChecked());
    QVERIFY(s->tx_polarity_box->isChecked());
    QCOMPARE(s->rx_gain_label->text(), QStringLiteral("-5"));
    QCOMPARE(s->tx_gain_label->text(), QStringLiteral("12"));
    QCOMPARE(s->rx_amp, -5);
    QCOMPARE(s->tx_amp, 12);
    QCOMPARE(s->src_channel_box->value(), 3);
    QCOMPARE(s->dst_channel_box->value(), 44);
    QCOMPARE(s->delay_box->minimum(), 0);
    QCOMPARE(s->delay_box->maximum(), 300);
    QCOMPARE(s->delay_box->value(), 250);

    ZARNController *m = w->strips[LOCAL_MON0];
    QVERIFY(m->rx_mute_box->isChecked());
    QVERIFY(m->rx_polarity_box->isChecked());
    QCOMPARE(m->rx_gain_label->text(), QStringLiteral("-31"));
    QCOMPARE(m->src_channel_box->value(), 5);
    QCOMPARE(m->dst_channel_box->value(), 6);

    // The configuration reads: one per device, loopback and monitor strip,
    // each sending only the selecting fields.
    const auto reads = with_code(d, zarn::REQ_DEV_CONFIG_GET);
    QCOMPARE(reads.size(), std::size_t{3});
    std::vector<unsigned char> expected(84, 0);
    expected[4] = 1;
    QCOMPARE(reads[1].record, expected);
    QCOMPARE(d.count(zarn::REQ_LOOP_CONFIG_GET), std::size_t{1});
    QCOMPARE(d.count(zarn::REQ_INPUT_MON_GET), std::size_t{2});
    QCOMPARE(with_code(d, zarn::REQ_INPUT_MON_GET)[1].record,
             std::vector<unsigned char>({1, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0,
                                         0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0}));
    QCOMPARE(d.count(zarn::REQ_OUTPUT_MON_GET), std::size_t{1});
    QCOMPARE(d.count(zarn::REQ_LOCAL_MON_GET), std::size_t{1});
}

void TestController::failed_read_leaves_defaults_and_later_write_sends_preset() {
    TestDaemon d(mixed());
    d.set_hook([](std::uint32_t code, unsigned char *record, std::vector<double> &) {
        if (code == zarn::REQ_DEV_CONFIG_GET && record[0] == 1) {
            std::memset(record, 0x66, 84); // a failed reply's bytes must not be taken
            return std::optional<int>(-1);
        }
        if (code == zarn::REQ_OUTPUT_MON_GET)
            return std::optional<int>(-1);
        return std::optional<int>();
    });
    auto w = fixture::make_window(d.path());
    d.clear_hook();
    ZARNController *s = w->strips[DEV1_CH0];
    QVERIFY(s->title().isEmpty());
    QVERIFY(!s->rx_mute_box->isChecked() && !s->tx_polarity_box->isChecked());
    QVERIFY(s->rx_gain_label->text().isEmpty());
    QVERIFY(s->tx_gain_label->text().isEmpty());
    QCOMPARE(s->src_channel_box->value(), 0);
    QCOMPARE(s->delay_box->value(), 0);
    QCOMPARE(s->delay_box->maximum(), QSpinBox().maximum());
    QVERIFY(w->strips[OUTPUT_MON0]->title().isEmpty());

    d.clear_requests();
    s->tx_mute_box->setChecked(true);
    const auto writes = with_code(d, zarn::REQ_DEV_CONFIG_SET);
    QCOMPARE(writes.size(), std::size_t{1});
    std::vector<unsigned char> expected(84, 0);
    expected[0] = 1;  // number
    expected[64] = 1; // tx_mute
    QCOMPARE(writes[0].record, expected);
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
    });
    auto w = fixture::make_window(d.path());
    ZARNController *s = w->strips[DEV0_CH1];
    d.clear_requests();

    s->dst_channel_box->setValue(9);
    auto writes = with_code(d, zarn::REQ_DEV_CONFIG_SET);
    QCOMPARE(writes.size(), std::size_t{1});
    zarn::ChannelConfig expected = daemon_copy;
    expected.dst_channel = 9;
    QCOMPARE(writes[0].record, bytes_of(&expected, sizeof expected));
    QCOMPARE(d.requests().size(), std::size_t{1}); // nothing is read back

    // Every control sends the whole record, each with its own field changed.
    s->rx_mute_box->setChecked(true);
    expected.rx_mute = 1;
    s->tx_polarity_box->setChecked(true);
    expected.tx_polarity = 1;
    s->rx_polarity_box->setChecked(false);
    expected.rx_polarity = 0;
    s->src_channel_box->setValue(63);
    expected.src_channel = 63;
    s->delay_box->setValue(999);
    expected.delay = 999;
    s->tx_up_button->click();
    expected.tx_amp = -1;
    s->rx_down_button->click();
    expected.rx_amp = 2;
    writes = with_code(d, zarn::REQ_DEV_CONFIG_SET);
    QCOMPARE(writes.size(), std::size_t{8});
    QCOMPARE(writes.back().record, bytes_of(&expected, sizeof expected));
    QCOMPARE(as<zarn::ChannelConfig>(writes[5]).delay, 999);

    // A loopback writes with its own request.
    w->strips[LOOP0_CH0]->rx_up_button->click();
    QCOMPARE(d.count(zarn::REQ_LOOP_CONFIG_SET), std::size_t{1});
    QCOMPARE(as<zarn::ChannelConfig>(with_code(d, zarn::REQ_LOOP_CONFIG_SET)[0]).rx_amp, 1);
}

void TestController::monitor_change_sends_whole_record() {
    TestDaemon d(mixed());
    d.with_engine([](Engine &e) {
        zarn::MonitorConfig &m = e.input_monitors[1].config;
        m.reserved = 0x12345678;
        m.src_channel = 4;
        m.dst_channel = 5;
        m.amp = 6;
    });
    auto w = fixture::make_window(d.path());
    d.clear_requests();
    ZARNController *s = w->strips[INPUT_MON1];
    s->rx_polarity_box->setChecked(true);
    s->rx_up_button->click();
    const auto writes = with_code(d, zarn::REQ_INPUT_MON_SET);
    QCOMPARE(writes.size(), std::size_t{2});
    zarn::MonitorConfig expected{1, 0x12345678, 4, 5, 1, 0, 7};
    QCOMPARE(writes[1].record, bytes_of(&expected, sizeof expected));

    w->strips[OUTPUT_MON0]->rx_mute_box->setChecked(true);
    w->strips[LOCAL_MON0]->dst_channel_box->setValue(3);
    QCOMPARE(d.count(zarn::REQ_OUTPUT_MON_SET), std::size_t{1});
    QCOMPARE(d.count(zarn::REQ_LOCAL_MON_SET), std::size_t{1});
    QCOMPARE(as<zarn::MonitorConfig>(with_code(d, zarn::REQ_OUTPUT_MON_SET)[0]).mute, 1);
    QCOMPARE(as<zarn::MonitorConfig>(with_code(d, zarn::REQ_LOCAL_MON_SET)[0]).dst_channel, 3);

    // Main strips have nothing to send.
    d.clear_requests();
    w->strips[MAIN_OUT0]->handle_set_config();
    w->strips[MAIN_OUT0]->rx_up_button->click();
    QCOMPARE(pure_writes(d), std::size_t{0});
}

void TestController::gain_clamp_still_sends() {
    TestDaemon d(mixed());
    d.with_engine([](Engine &e) {
        e.devices[0].channels[0].config.rx_amp = 31;
        e.devices[0].channels[0].config.tx_amp = -31;
        e.input_monitors[0].config.amp = 31;
    });
    auto w = fixture::make_window(d.path());
    d.clear_requests();
    ZARNController *s = w->strips[DEV0_CH0];

    s->rx_up_button->click();
    QCOMPARE(s->rx_gain_label->text(), QStringLiteral("31"));
    s->tx_down_button->click();
    QCOMPARE(s->tx_gain_label->text(), QStringLiteral("-31"));
    auto writes = with_code(d, zarn::REQ_DEV_CONFIG_SET);
    QCOMPARE(writes.size(), std::size_t{2});
    for (auto &r : writes) {
        QCOMPARE(as<zarn::ChannelConfig>(r).rx_amp, 31);
        QCOMPARE(as<zarn::ChannelConfig>(r).tx_amp, -31);
    }

    // One press is one step.
    s->rx_down_button->click();
    s->rx_down_button->click();
    QCOMPARE(s->rx_gain_label->text(), QStringLiteral("29"));
    QCOMPARE(as<zarn::ChannelConfig>(with_code(d, zarn::REQ_DEV_CONFIG_SET).back()).rx_amp, 29);

    ZARNController *m = w->strips[INPUT_MON0];
    m->rx_up_button->click();
    QCOMPARE(m->rx_gain_label->text(), QStringLiteral("31"));
    QCOMPARE(d.count(zarn::REQ_INPUT_MON_SET), std::size_t{1});
    QCOMPARE(as<zarn::MonitorConfig>(with_code(d, zarn::REQ_INPUT_MON_SET)[0]).amp, 31);
}

void TestController::reported_gain_beyond_range_is_clamped() {
    TestDaemon d(mixed());
    d.with_engine([](Engine &e) {
        e.devices[0].channels[0].config.rx_amp = 40;
        e.devices[0].channels[0].config.tx_amp = -2147483647 - 1;
        e.output_monitors[0].config.amp = 1000;
    });
    auto w = fixture::make_window(d.path());
    d.clear_requests();
    ZARNController *s = w->strips[DEV0_CH0];
    QCOMPARE(s->rx_gain_label->text(), QStringLiteral("31"));
    QCOMPARE(s->tx_gain_label->text(), QStringLiteral("-31"));
    QCOMPARE(w->strips[OUTPUT_MON0]->rx_gain_label->text(), QStringLiteral("31"));
    s->rx_mute_box->setChecked(true);
    const auto written = as<zarn::ChannelConfig>(with_code(d, zarn::REQ_DEV_CONFIG_SET).at(0));
    QCOMPARE(written.rx_amp, 31);
    QCOMPARE(written.tx_amp, -31);
}

void TestController::delay_limit_zero_offers_only_zero() {
    TestDaemon d(mixed());
    d.with_engine([](Engine &e) {
        e.loops[0].channels[0].config.delay_limit = 0;
        e.loops[0].channels[0].config.delay = 5;
    });
    auto w = fixture::make_window(d.path());
    QSpinBox *box = w->strips[LOOP0_CH0]->delay_box;
    QCOMPARE(box->maximum(), 0);
    QCOMPARE(box->value(), 0);
    box->setValue(10);
    QCOMPARE(box->value(), 0);
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
    QVERIFY(zero->compressor != nullptr);
    QVERIFY(third->compressor == nullptr);
    QVERIFY(third->compressor_button != nullptr);
    third->compressor_button->click();
    QVERIFY(zero->compressor->isVisible());
    QVERIFY(!w->strips[1]->compressor->isVisible()); // loopback 1
    zero->compressor->hide();

    ZARNController *main_out = w->strips[7];
    QVERIFY(main_out->compressor != nullptr);
    QVERIFY(w->strips[8]->compressor == nullptr);
    w->strips[8]->compressor_button->click();
    QVERIFY(main_out->compressor->isVisible());
    main_out->compressor->hide();
}

QTEST_MAIN(TestController)
#include "test_controller.moc"
