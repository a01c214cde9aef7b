#include <QTest>

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <cstring>
#include <limits>
#include <string>
#include <vector>

#include "ctl/bounded_string.h"
#include "ctl/requests.h"
#include "ctl/transport.h"
#include "sim/test_daemon.h"

using zarn::sim::Engine;
using zarn::sim::TestDaemon;
using zarn::sim::Topology;

namespace {

// One connection to an in-process daemon.
struct Client {
    explicit Client(const Topology &topology = Topology{}) : daemon(topology) {
        fd = zarn::ctl_open(daemon.path());
    }
    ~Client() { zarn::ctl_close(fd); }

    template <typename Record> int request(std::uint32_t code, Record &record) {
        return zarn::ctl_request(fd, code, &record);
    }

    int target_peak(std::uint32_t code, int number, int channel, zarn::TargetPeak *out = nullptr) {
        zarn::TargetPeak peak{};
        peak.number = number;
        peak.channel = channel;
        const int result = request(code, peak);
        if (out) {
            *out = peak;
        }
        return result;
    }

    int monitor_peak(std::uint32_t code, int index, zarn::MonitorPeak *out = nullptr) {
        zarn::MonitorPeak peak{};
        peak.index = index;
        const int result = request(code, peak);
        if (out) {
            *out = peak;
        }
        return result;
    }

    TestDaemon daemon;
    int fd = -1;
};

zarn::FilterRecord filter(int number, int channel, std::int32_t size, const double *taps) {
    zarn::FilterRecord record{};
    record.number = number;
    record.channel = channel;
    record.size = size;
    record.coefficients = reinterpret_cast<std::uintptr_t>(taps);
    return record;
}

std::string answer_of(const zarn::OptionsBuffer &buffer) {
    return zarn::bounded_string(buffer.text, sizeof buffer.text);
}

zarn::OptionsBuffer options(const char *text) {
    zarn::OptionsBuffer buffer{};
    std::strncpy(buffer.text, text, sizeof buffer.text - 1);
    return buffer;
}

} // namespace

class TestDaemonBehaviour : public QObject {
    Q_OBJECT

private slots:
    void peak_answers_exactly_for_existing_targets_data() {
        QTest::addColumn<std::uint32_t>("code");
        QTest::addColumn<int>("number");
        QTest::addColumn<int>("channel");
        QTest::addColumn<bool>("exists");
        const auto dev = zarn::REQ_DEV_PEAK;
        const auto loop = zarn::REQ_LOOP_PEAK;
        QTest::newRow("device 0 ch 0") << dev << 0 << 0 << true;
        QTest::newRow("device 0 ch 1") << dev << 0 << 1 << true;
        QTest::newRow("device 0 ch 2") << dev << 0 << 2 << false;
        QTest::newRow("device 1 ch 2") << dev << 1 << 2 << true;
        QTest::newRow("device 1 ch 3") << dev << 1 << 3 << false;
        QTest::newRow("device 2 ch 0") << dev << 2 << 0 << false;
        QTest::newRow("device 99") << dev << 99 << 0 << false;
        QTest::newRow("device -1") << dev << -1 << 0 << false;
        QTest::newRow("device 0 ch -1") << dev << 0 << -1 << false;
        QTest::newRow("loop 0 ch 1") << loop << 0 << 1 << true;
        QTest::newRow("loop 0 ch 2") << loop << 0 << 2 << false;
        QTest::newRow("loop 1 ch 0") << loop << 1 << 0 << false;
        // Monitors and main channels: the index goes in number.
        QTest::newRow("input monitor 1") << zarn::REQ_INPUT_MON_PEAK << 1 << 0 << true;
        QTest::newRow("input monitor 2") << zarn::REQ_INPUT_MON_PEAK << 2 << 0 << false;
        QTest::newRow("output monitor 0") << zarn::REQ_OUTPUT_MON_PEAK << 0 << 0 << true;
        QTest::newRow("output monitor 1") << zarn::REQ_OUTPUT_MON_PEAK << 1 << 0 << false;
        QTest::newRow("local monitor 0") << zarn::REQ_LOCAL_MON_PEAK << 0 << 0 << true;
        QTest::newRow("local monitor 1") << zarn::REQ_LOCAL_MON_PEAK << 1 << 0 << false;
        QTest::newRow("main output 1") << zarn::REQ_MAIN_OUTPUT_PEAK << 1 << 0 << true;
        QTest::newRow("main output 2") << zarn::REQ_MAIN_OUTPUT_PEAK << 2 << 0 << false;
        QTest::newRow("main input 1") << zarn::REQ_MAIN_INPUT_PEAK << 1 << 0 << true;
        QTest::newRow("main input 2") << zarn::REQ_MAIN_INPUT_PEAK << 2 << 0 << false;
        QTest::newRow("main input -1") << zarn::REQ_MAIN_INPUT_PEAK << -1 << 0 << false;
    }

    void peak_answers_exactly_for_existing_targets() {
        QFETCH(std::uint32_t, code);
        QFETCH(int, number);
        QFETCH(int, channel);
        QFETCH(bool, exists);
        Client client;
        const int result = zarn::ioc_size(code) == sizeof(zarn::TargetPeak)
                               ? client.target_peak(code, number, channel)
                               : client.monitor_peak(code, number);
        QCOMPARE(result == 0, exists);
    }

    void configs_exist_exactly_where_peaks_do() {
        Client client;
        for (int number = 0; number < 3; ++number) {
            for (int channel = 0; channel < 4; ++channel) {
                zarn::ChannelConfig config{};
                config.number = number;
                config.channel = channel;
                QCOMPARE(client.request(zarn::REQ_DEV_CONFIG_GET, config) == 0,
                         client.target_peak(zarn::REQ_DEV_PEAK, number, channel) == 0);
                config = zarn::ChannelConfig{};
                config.number = number;
                config.channel = channel;
                QCOMPARE(client.request(zarn::REQ_LOOP_CONFIG_GET, config) == 0,
                         client.target_peak(zarn::REQ_LOOP_PEAK, number, channel) == 0);
            }
        }
        const std::pair<std::uint32_t, std::uint32_t> monitors[] = {
            {zarn::REQ_INPUT_MON_GET, zarn::REQ_INPUT_MON_PEAK},
            {zarn::REQ_OUTPUT_MON_GET, zarn::REQ_OUTPUT_MON_PEAK},
            {zarn::REQ_LOCAL_MON_GET, zarn::REQ_LOCAL_MON_PEAK}};
        for (const auto &[get, peak] : monitors) {
            for (int number = 0; number < 3; ++number) {
                zarn::MonitorConfig config{};
                config.number = number;
                QCOMPARE(client.request(get, config) == 0, client.monitor_peak(peak, number) == 0);
            }
        }
    }

    void topology_options_shape_what_exists() {
        Topology topology;
        topology.device_channels = {1};
        topology.loop_channels = {};
        topology.input_monitors = 0;
        topology.output_monitors = 3;
        topology.main_output_channels = 6;
        topology.main_input_channels = 0;
        Client client(topology);
        QCOMPARE(client.target_peak(zarn::REQ_DEV_PEAK, 0, 0), 0);
        QVERIFY(client.target_peak(zarn::REQ_DEV_PEAK, 0, 1) != 0);
        QVERIFY(client.target_peak(zarn::REQ_DEV_PEAK, 1, 0) != 0);
        QVERIFY(client.target_peak(zarn::REQ_LOOP_PEAK, 0, 0) != 0);
        QVERIFY(client.monitor_peak(zarn::REQ_INPUT_MON_PEAK, 0) != 0);
        QCOMPARE(client.monitor_peak(zarn::REQ_OUTPUT_MON_PEAK, 2), 0);
        QCOMPARE(client.monitor_peak(zarn::REQ_MAIN_OUTPUT_PEAK, 5), 0);
        QVERIFY(client.monitor_peak(zarn::REQ_MAIN_OUTPUT_PEAK, 6) != 0);
        QVERIFY(client.monitor_peak(zarn::REQ_MAIN_INPUT_PEAK, 0) != 0);
    }

    void levels_move_within_full_scale_and_follow_mute_and_gain() {
        Client client;
        zarn::TargetPeak peak;
        std::vector<std::int64_t> seen;
        for (int i = 0; i < 20; ++i) {
            QCOMPARE(client.target_peak(zarn::REQ_DEV_PEAK, 1, 1, &peak), 0);
            QCOMPARE(peak.sample_bits, 24u);
            QVERIFY(peak.rx_level >= 0 && peak.rx_level < (1 << 23));
            QVERIFY(peak.tx_level >= 0 && peak.tx_level < (1 << 23));
            seen.push_back(peak.rx_level);
        }
        std::sort(seen.begin(), seen.end());
        QVERIFY(std::unique(seen.begin(), seen.end()) - seen.begin() > 10);

        // Another target has a waveform of its own.
        zarn::TargetPeak other;
        QCOMPARE(client.target_peak(zarn::REQ_DEV_PEAK, 0, 0, &other), 0);
        QVERIFY(other.rx_level != peak.rx_level || other.tx_level != peak.tx_level);

        zarn::ChannelConfig config{};
        config.number = 1;
        config.channel = 1;
        QCOMPARE(client.request(zarn::REQ_DEV_CONFIG_GET, config), 0);
        config.rx_mute = 1;
        config.tx_amp = -31;
        QCOMPARE(client.request(zarn::REQ_DEV_CONFIG_SET, config), 0);
        for (int i = 0; i < 5; ++i) {
            QCOMPARE(client.target_peak(zarn::REQ_DEV_PEAK, 1, 1, &peak), 0);
            QCOMPARE(peak.rx_level, std::int64_t{0});
            QVERIFY(peak.tx_level > 0 && peak.tx_level < (1 << 23) / 30);
        }
    }

    void pinned_levels_and_reserved_bytes_come_back_as_set() {
        Client client;
        client.daemon.with_engine([](Engine &engine) {
            zarn::sim::Meter &meter = engine.loops[0].channels[1].meter;
            meter.pinned = true;
            meter.sample_bits = 0x118;
            meter.rx_level = -5;
            meter.tx_level = std::int64_t{1} << 40;
            std::memset(meter.reserved0, 0xab, sizeof meter.reserved0);
            std::memset(meter.reserved1, 0xcd, sizeof meter.reserved1);
            engine.main_inputs[1].pinned = true;
            engine.main_inputs[1].sample_bits = 32;
            engine.main_inputs[1].rx_level = 123456;
        });
        zarn::TargetPeak peak;
        for (int i = 0; i < 2; ++i) {
            QCOMPARE(client.target_peak(zarn::REQ_LOOP_PEAK, 0, 1, &peak), 0);
            QCOMPARE(peak.number, 0);
            QCOMPARE(peak.channel, 1);
            QCOMPARE(peak.sample_bits, 0x118u);
            QCOMPARE(peak.rx_level, std::int64_t{-5});
            QCOMPARE(peak.tx_level, std::int64_t{1} << 40);
            QCOMPARE(peak.reserved0[31], std::uint8_t{0xab});
            QCOMPARE(peak.reserved1[0], std::uint8_t{0xcd});
        }
        zarn::MonitorPeak main;
        QCOMPARE(client.monitor_peak(zarn::REQ_MAIN_INPUT_PEAK, 1, &main), 0);
        QCOMPARE(main.index, 1);
        QCOMPARE(main.sample_bits, 32u);
        QCOMPARE(main.level, std::int64_t{123456});
    }

    void odd_sample_widths_give_silence_not_undefined_shifts() {
        Client client;
        client.daemon.with_engine([](Engine &engine) {
            engine.devices[0].channels[0].meter.sample_bits = 0;
            engine.devices[0].channels[1].meter.sample_bits = 0x40; // 64 bits
        });
        zarn::TargetPeak peak;
        QCOMPARE(client.target_peak(zarn::REQ_DEV_PEAK, 0, 0, &peak), 0);
        QCOMPARE(peak.rx_level, std::int64_t{0});
        QCOMPARE(client.target_peak(zarn::REQ_DEV_PEAK, 0, 1, &peak), 0);
        QCOMPARE(peak.tx_level, std::int64_t{0});
    }

    void channel_config_write_then_read_back() {
        Client client;
        for (const auto &[get, set] :
             {std::pair{zarn::REQ_DEV_CONFIG_GET, zarn::REQ_DEV_CONFIG_SET},
              std::pair{zarn::REQ_LOOP_CONFIG_GET, zarn::REQ_LOOP_CONFIG_SET}}) {
            zarn::ChannelConfig config{};
            config.channel = 1;
            QCOMPARE(client.request(get, config), 0);
            QVERIFY(std::strlen(config.name) > 0);
            QVERIFY(config.delay_limit > 0);
            const std::string name = config.name;
            const std::int32_t limit = config.delay_limit;

            config.rx_amp = -7;
            config.tx_amp = 12;
            config.src_channel = 5;
            config.dst_channel = 9;
            config.rx_mute = 1;
            config.tx_mute = 0;
            config.rx_polarity = 0;
            config.tx_polarity = 1;
            config.delay = 100;
            std::strcpy(config.name, "renamed");
            config.delay_limit = 1;
            QCOMPARE(client.request(set, config), 0);

            zarn::ChannelConfig back{};
            back.channel = 1;
            QCOMPARE(client.request(get, back), 0);
            QCOMPARE(back.number, 0);
            QCOMPARE(back.channel, 1);
            QCOMPARE(back.rx_amp, -7);
            QCOMPARE(back.tx_amp, 12);
            QCOMPARE(back.src_channel, 5);
            QCOMPARE(back.dst_channel, 9);
            QCOMPARE(back.rx_mute, 1);
            QCOMPARE(back.tx_mute, 0);
            QCOMPARE(back.rx_polarity, 0);
            QCOMPARE(back.tx_polarity, 1);
            QCOMPARE(back.delay, 100);
            // Name and limit are the daemon's own.
            QCOMPARE(std::string(back.name), name);
            QCOMPARE(back.delay_limit, limit);

            // Values beyond what the mixer can do are clamped, not stored.
            back.rx_amp = 40;
            back.tx_amp = -100;
            back.delay = limit + 1;
            back.src_channel = -3;
            back.rx_mute = 7;
            QCOMPARE(client.request(set, back), 0);
            QCOMPARE(client.request(get, back), 0);
            QCOMPARE(back.rx_amp, 31);
            QCOMPARE(back.tx_amp, -31);
            QCOMPARE(back.delay, limit);
            QCOMPARE(back.src_channel, 0);
            QCOMPARE(back.rx_mute, 1);
        }
        // A write for a target that does not exist is refused.
        zarn::ChannelConfig missing{};
        missing.number = 5;
        QVERIFY(client.request(zarn::REQ_DEV_CONFIG_SET, missing) != 0);
    }

    void a_name_without_nul_is_answered_as_set() {
        Client client;
        client.daemon.with_engine([](Engine &engine) {
            std::memset(engine.devices[1].channels[0].config.name, 'x', zarn::CHANNEL_NAME_SIZE);
            engine.devices[1].channels[0].config.rx_amp = 40;
        });
        zarn::ChannelConfig config{};
        config.number = 1;
        QCOMPARE(client.request(zarn::REQ_DEV_CONFIG_GET, config), 0);
        QCOMPARE(zarn::bounded_string(config.name, sizeof config.name),
                 std::string(zarn::CHANNEL_NAME_SIZE, 'x'));
        QCOMPARE(config.rx_amp, 40);
    }

    void monitor_config_write_then_read_back() {
        Client client;
        client.daemon.with_engine(
            [](Engine &engine) { engine.output_monitors[0].config.reserved = 0x1234; });
        for (const auto &[get, set] :
             {std::pair{zarn::REQ_INPUT_MON_GET, zarn::REQ_INPUT_MON_SET},
              std::pair{zarn::REQ_OUTPUT_MON_GET, zarn::REQ_OUTPUT_MON_SET},
              std::pair{zarn::REQ_LOCAL_MON_GET, zarn::REQ_LOCAL_MON_SET}}) {
            zarn::MonitorConfig config{};
            QCOMPARE(client.request(get, config), 0);
            const std::int32_t reserved = config.reserved;
            config.reserved = -1;
            config.src_channel = 3;
            config.dst_channel = 4;
            config.polarity = 1;
            config.mute = 1;
            config.amp = -20;
            QCOMPARE(client.request(set, config), 0);
            zarn::MonitorConfig back{};
            QCOMPARE(client.request(get, back), 0);
            QCOMPARE(back.number, 0);
            QCOMPARE(back.reserved, reserved);
            QCOMPARE(back.src_channel, 3);
            QCOMPARE(back.dst_channel, 4);
            QCOMPARE(back.polarity, 1);
            QCOMPARE(back.mute, 1);
            QCOMPARE(back.amp, -20);
        }
        zarn::MonitorConfig output{};
        QCOMPARE(client.request(zarn::REQ_OUTPUT_MON_GET, output), 0);
        QCOMPARE(output.reserved, 0x1234);
        // A muted monitor is silent.
        zarn::MonitorPeak peak;
        QCOMPARE(client.monitor_peak(zarn::REQ_LOCAL_MON_PEAK, 0, &peak), 0);
        QCOMPARE(peak.level, std::int64_t{0});
        zarn::MonitorConfig missing{};
        missing.number = 1;
        QVERIFY(client.request(zarn::REQ_LOCAL_MON_SET, missing) != 0);
    }

    void compressor_reduces_gain_with_level_and_knee() {
        Client client;
        // Device 0 runs at three quarters of full scale.
        client.daemon.with_engine([](Engine &engine) {
            for (auto &state : engine.devices[0].channels) {
                state.meter.pinned = true;
                state.meter.rx_level = (std::int64_t{1} << 23) * 3 / 4;
                state.meter.tx_level = 0;
            }
        });
        zarn::CompressorSettings settings{};
        QCOMPARE(client.request(zarn::REQ_DEV_COMP_GET, settings), 0);
        QCOMPARE(settings.gain, 1000); // off: no reduction

        settings = zarn::CompressorSettings{};
        settings.enabled = 1;
        settings.knee = 128; // threshold at half scale
        settings.attack = 0;
        settings.decay = 0;
        QCOMPARE(client.request(zarn::REQ_DEV_COMP_SET, settings), 0);
        zarn::CompressorSettings read{};
        QCOMPARE(client.request(zarn::REQ_DEV_COMP_GET, read), 0);
        QCOMPARE(read.enabled, 1);
        QCOMPARE(read.knee, 128);
        // (0.5 + 0.25 / 4) / 0.75
        QCOMPARE(read.gain, 750);

        settings.knee = 255; // threshold close to silence: more reduction
        QCOMPARE(client.request(zarn::REQ_DEV_COMP_SET, settings), 0);
        QCOMPARE(client.request(zarn::REQ_DEV_COMP_GET, read), 0);
        QVERIFY(read.gain < 750 && read.gain > 250);

        // A slow attack approaches the target step by step.
        settings.knee = 128;
        settings.decay = 62;
        QCOMPARE(client.request(zarn::REQ_DEV_COMP_SET, settings), 0);
        const int before = read.gain;
        QCOMPARE(client.request(zarn::REQ_DEV_COMP_GET, read), 0);
        QVERIFY(read.gain > before && read.gain < 750);

        // Loopback 0 is quiet and not affected by device 0's settings.
        zarn::CompressorSettings loop{};
        QCOMPARE(client.request(zarn::REQ_LOOP_COMP_GET, loop), 0);
        QCOMPARE(loop.gain, 1000);
        QCOMPARE(loop.enabled, 0);

        // Settings are clamped to what the compressor takes.
        settings.knee = 300;
        settings.attack = 63;
        settings.decay = -1;
        settings.enabled = 5;
        QCOMPARE(client.request(zarn::REQ_DEV_COMP_SET, settings), 0);
        QCOMPARE(client.request(zarn::REQ_DEV_COMP_GET, read), 0);
        QCOMPARE(read.knee, 255);
        QCOMPARE(read.attack, 62);
        QCOMPARE(read.decay, 0);
        QCOMPARE(read.enabled, 1);

        zarn::CompressorSettings missing{};
        missing.number = 2;
        QVERIFY(client.request(zarn::REQ_DEV_COMP_GET, missing) != 0);
        missing.number = 1;
        QVERIFY(client.request(zarn::REQ_LOOP_COMP_SET, missing) != 0);
    }

    void compressor_takes_the_most_negative_level_as_full_scale() {
        Client client;
        client.daemon.with_engine([](Engine &engine) {
            auto &meter = engine.loops[0].channels[0].meter;
            meter.pinned = true;
            meter.rx_level = std::numeric_limits<std::int64_t>::min();
            engine.loops[0].compressor.enabled = 1;
            engine.loops[0].compressor.knee = 128;
            engine.loops[0].compressor.attack = 0;
        });
        zarn::CompressorSettings read{};
        QCOMPARE(client.request(zarn::REQ_LOOP_COMP_GET, read), 0);
        QCOMPARE(read.gain, 625);
    }

    void main_compressor_follows_the_main_output() {
        Client client;
        client.daemon.with_engine([](Engine &engine) {
            engine.main_outputs[1].pinned = true;
            engine.main_outputs[1].rx_level = (std::int64_t{1} << 23) - 1;
        });
        zarn::MainCompressorSettings settings{};
        settings.enabled = 1;
        settings.knee = 128;
        QCOMPARE(client.request(zarn::REQ_MAIN_COMP_SET, settings), 0);
        zarn::MainCompressorSettings read{};
        QCOMPARE(client.request(zarn::REQ_MAIN_COMP_GET, read), 0);
        QCOMPARE(read.enabled, 1);
        QCOMPARE(read.knee, 128);
        QCOMPARE(read.attack, 0);
        QCOMPARE(read.gain, 625); // full scale: (0.5 + 0.5 / 4) / 1

        settings.enabled = 0;
        QCOMPARE(client.request(zarn::REQ_MAIN_COMP_SET, settings), 0);
        QCOMPARE(client.request(zarn::REQ_MAIN_COMP_GET, read), 0);
        QCOMPARE(read.gain, 1000);
    }

    void filter_set_get_and_off() {
        Client client;
        zarn::FilterRecord query = filter(1, 2, 0, nullptr);
        QCOMPARE(client.request(zarn::REQ_DEV_TX_FILTER_GET, query), 0);
        QCOMPARE(query.size, 2048);

        // No filter in force yet: the fetch is refused.
        std::vector<double> fetched(2048, -1.0);
        zarn::FilterRecord fetch = filter(1, 2, 2048, fetched.data());
        QVERIFY(client.request(zarn::REQ_DEV_TX_FILTER_GET, fetch) != 0);

        std::vector<double> taps(2048);
        for (std::size_t i = 0; i < taps.size(); ++i) {
            taps[i] = std::sin(static_cast<double>(i));
        }
        zarn::FilterRecord put = filter(1, 2, 2048, taps.data());
        QCOMPARE(client.request(zarn::REQ_DEV_TX_FILTER_SET, put), 0);
        QCOMPARE(client.request(zarn::REQ_DEV_TX_FILTER_GET, fetch), 0);
        QCOMPARE(fetched, taps);
        QCOMPARE(fetch.size, 2048);

        // Direction and target are separate filters.
        zarn::FilterRecord rx = filter(1, 2, 2048, fetched.data());
        QVERIFY(client.request(zarn::REQ_DEV_RX_FILTER_GET, rx) != 0);
        zarn::FilterRecord other = filter(1, 1, 2048, fetched.data());
        QVERIFY(client.request(zarn::REQ_DEV_TX_FILTER_GET, other) != 0);
        zarn::FilterRecord loop = filter(1, 2, 2048, fetched.data());
        QVERIFY(client.request(zarn::REQ_LOOP_TX_FILTER_GET, loop) != 0);

        // Address 0 switches the filter off.
        zarn::FilterRecord off = filter(1, 2, 2048, nullptr);
        QCOMPARE(client.request(zarn::REQ_DEV_TX_FILTER_SET, off), 0);
        QVERIFY(client.request(zarn::REQ_DEV_TX_FILTER_GET, fetch) != 0);
        QCOMPARE(client.daemon.with_engine(
                     [](Engine &engine) { return engine.devices[1].channels[2].tx_filter.active; }),
                 false);

        // A nonexistent target has no filter to ask about.
        zarn::FilterRecord missing = filter(0, 2, 0, nullptr);
        QVERIFY(client.request(zarn::REQ_DEV_RX_FILTER_GET, missing) != 0);
    }

    void filter_sizes_outside_the_range_or_length_are_refused() {
        Client client;
        std::vector<double> taps(2049, 0.5); // room for the largest size that travels
        for (const std::int32_t size : {0, -1, -2048, 2047, 2049, zarn::MAX_FILTER_SIZE + 1}) {
            zarn::FilterRecord put = filter(0, 0, size, taps.data());
            QVERIFY2(client.request(zarn::REQ_LOOP_RX_FILTER_SET, put) != 0,
                     qPrintable(QString::number(size)));
            zarn::FilterRecord get = filter(0, 0, size, taps.data());
            QVERIFY(client.request(zarn::REQ_LOOP_RX_FILTER_GET, get) != 0);
        }
        QCOMPARE(client.daemon.with_engine(
                     [](Engine &engine) { return engine.loops[0].channels[0].rx_filter.active; }),
                 false);
        // The connection stayed in step through all of it.
        zarn::FilterRecord put = filter(0, 0, 2048, taps.data());
        QCOMPARE(client.request(zarn::REQ_LOOP_RX_FILTER_SET, put), 0);
    }

    void no_filter_support_reports_length_zero() {
        Topology topology;
        topology.filter_length = 0;
        Client client(topology);
        zarn::FilterRecord query = filter(0, 1, 0, nullptr);
        QCOMPARE(client.request(zarn::REQ_DEV_RX_FILTER_GET, query), 0);
        QCOMPARE(query.size, 0);
        double tap = 1.0;
        zarn::FilterRecord put = filter(0, 1, 1, &tap);
        QVERIFY(client.request(zarn::REQ_DEV_RX_FILTER_SET, put) != 0);

        // A test may give one channel a length of its own.
        client.daemon.with_engine(
            [](Engine &engine) { engine.devices[0].channels[1].tx_filter.length = -5; });
        query = filter(0, 1, 0, nullptr);
        QCOMPARE(client.request(zarn::REQ_DEV_TX_FILTER_GET, query), 0);
        QCOMPARE(query.size, -5);
    }

    void sample_rate_and_system_information() {
        Topology topology;
        topology.sample_rate = 44100;
        topology.sample_bits = 16;
        topology.main_output_channels = 4;
        Client client(topology);
        std::int32_t rate = 0;
        QCOMPARE(client.request(zarn::REQ_SAMPLE_RATE_GET, rate), 0);
        QCOMPARE(rate, 44100);

        zarn::SystemInfo info;
        std::memset(&info, 0xff, sizeof info);
        QCOMPARE(client.request(zarn::REQ_SYSTEM_INFO, info), 0);
        QCOMPARE(info.sample_rate, 44100u);
        QCOMPARE(info.sample_bits, 16u);
        QCOMPARE(info.channels, 4u);
        QVERIFY(zarn::bounded_length(info.input_device, sizeof info.input_device) <
                sizeof info.input_device);
        QVERIFY(zarn::bounded_length(info.output_device, sizeof info.output_device) <
                sizeof info.output_device);
        QVERIFY(std::strlen(info.input_device) > 0);

        client.daemon.with_engine([](Engine &engine) {
            std::memset(engine.system_info.output_device, 'o', zarn::DEVICE_NAME_SIZE);
            engine.system_info.sample_rate = 0xffffffffu;
        });
        QCOMPARE(client.request(zarn::REQ_SYSTEM_INFO, info), 0);
        QCOMPARE(info.sample_rate, 0xffffffffu);
        QCOMPARE(zarn::bounded_string(info.output_device, sizeof info.output_device),
                 std::string(zarn::DEVICE_NAME_SIZE, 'o'));
    }

    void delay_locator_read_modify_write_and_reset() {
        Client client;
        zarn::DelayLocatorRecord record{};
        QCOMPARE(client.request(zarn::REQ_DELAY_LOCATOR_GET, record), 0);
        QCOMPARE(record.enabled, 0);
        QCOMPARE(record.max_channel, 1);
        QCOMPARE(record.sample_rate, 48000);
        QCOMPARE(record.delay_samples, 0);
        QVERIFY(record.output_level > 0);

        record.enabled = 1;
        QCOMPARE(client.request(zarn::REQ_DELAY_LOCATOR_SET, record), 0);
        zarn::DelayLocatorRecord measured{};
        QCOMPARE(client.request(zarn::REQ_DELAY_LOCATOR_GET, measured), 0);
        QCOMPARE(measured.enabled, 1);
        QVERIFY(measured.delay_samples > 0);

        // Other channels, another path, another delay.
        measured.in_channel = 1;
        QCOMPARE(client.request(zarn::REQ_DELAY_LOCATOR_SET, measured), 0);
        zarn::DelayLocatorRecord moved{};
        QCOMPARE(client.request(zarn::REQ_DELAY_LOCATOR_GET, moved), 0);
        QCOMPARE(moved.in_channel, 1);
        QCOMPARE(moved.out_channel, 0);
        QVERIFY(moved.delay_samples != measured.delay_samples);
        QVERIFY(moved.delay_samples > 0);

        // The daemon owns its limits, rate and measurement.
        zarn::DelayLocatorRecord forged = moved;
        forged.max_channel = 50;
        forged.sample_rate = 1;
        forged.delay_samples = 7;
        forged.output_level = moved.output_level - 1;
        QCOMPARE(client.request(zarn::REQ_DELAY_LOCATOR_SET, forged), 0);
        zarn::DelayLocatorRecord kept{};
        QCOMPARE(client.request(zarn::REQ_DELAY_LOCATOR_GET, kept), 0);
        QCOMPARE(kept.max_channel, 1);
        QCOMPARE(kept.sample_rate, 48000);
        QCOMPARE(kept.delay_samples, moved.delay_samples);
        QCOMPARE(kept.output_level, moved.output_level - 1);

        // A channel past max_channel is refused and changes nothing.
        forged = kept;
        forged.out_channel = 2;
        forged.enabled = 0;
        QVERIFY(client.request(zarn::REQ_DELAY_LOCATOR_SET, forged) != 0);
        QCOMPARE(client.request(zarn::REQ_DELAY_LOCATOR_GET, forged), 0);
        QCOMPARE(forged.out_channel, 0);
        QCOMPARE(forged.enabled, 1);

        // Reset clears the measurement and keeps the settings.
        QCOMPARE(zarn::ctl_request(client.fd, zarn::REQ_DELAY_LOCATOR_RESET, nullptr), 0);
        zarn::DelayLocatorRecord reset{};
        QCOMPARE(client.request(zarn::REQ_DELAY_LOCATOR_GET, reset), 0);
        QCOMPARE(reset.delay_samples, 0);
        QCOMPARE(reset.enabled, 1);
        QCOMPARE(reset.in_channel, 1);
        QCOMPARE(reset.output_level, kept.output_level);

        // Output level stays within the generator's range.
        reset.output_level = -1;
        QCOMPARE(client.request(zarn::REQ_DELAY_LOCATOR_SET, reset), 0);
        QCOMPARE(client.request(zarn::REQ_DELAY_LOCATOR_GET, reset), 0);
        QCOMPARE(reset.output_level, 0);
        QCOMPARE(reset.delay_samples, 0); // no signal, no measurement
    }

    void recording_follows_set() {
        Client client;
        std::int32_t state = -1;
        QCOMPARE(client.request(zarn::REQ_RECORDING_GET, state), 0);
        QCOMPARE(state, 0);
        std::int32_t start = 1;
        QCOMPARE(client.request(zarn::REQ_RECORDING_SET, start), 0);
        QCOMPARE(client.request(zarn::REQ_RECORDING_GET, state), 0);
        QCOMPARE(state, 1);
        std::int32_t stop = 0;
        QCOMPARE(client.request(zarn::REQ_RECORDING_SET, stop), 0);
        QCOMPARE(client.request(zarn::REQ_RECORDING_GET, state), 0);
        QCOMPARE(state, 0);
        client.daemon.with_engine([](Engine &engine) { engine.recording = 2; });
        QCOMPARE(client.request(zarn::REQ_RECORDING_GET, state), 0);
        QCOMPARE(state, 2);
    }

    void options_are_applied_or_answered_with_an_error() {
        Client client;
        zarn::OptionsBuffer buffer = options("");
        QCOMPARE(client.request(zarn::REQ_ADD_OPTIONS, buffer), 0);
        QCOMPARE(answer_of(buffer), std::string());

        buffer = options("  -rate=96000 -input=mic -output=speakers\t-bits=32 -record=1 ");
        QCOMPARE(client.request(zarn::REQ_ADD_OPTIONS, buffer), 0);
        QCOMPARE(answer_of(buffer), std::string());
        std::int32_t rate = 0;
        QCOMPARE(client.request(zarn::REQ_SAMPLE_RATE_GET, rate), 0);
        QCOMPARE(rate, 96000);
        zarn::SystemInfo info{};
        QCOMPARE(client.request(zarn::REQ_SYSTEM_INFO, info), 0);
        QCOMPARE(info.sample_rate, 96000u);
        QCOMPARE(info.sample_bits, 32u);
        QCOMPARE(std::string(info.input_device), std::string("mic"));
        QCOMPARE(std::string(info.output_device), std::string("speakers"));
        zarn::MonitorPeak peak{};
        QCOMPARE(client.request(zarn::REQ_MAIN_OUTPUT_PEAK, peak), 0);
        QCOMPARE(peak.sample_bits, 32u);
        std::int32_t recording = 0;
        QCOMPARE(client.request(zarn::REQ_RECORDING_GET, recording), 0);
        QCOMPARE(recording, 1);
        zarn::DelayLocatorRecord locator{};
        QCOMPARE(client.request(zarn::REQ_DELAY_LOCATOR_GET, locator), 0);
        QCOMPARE(locator.sample_rate, 96000);

        // Any error: nothing applied, the error is the answer.
        const std::pair<const char *, const char *> errors[] = {
            {"-rate=44100 -volume=3", "unknown option: -volume=3"},
            {"-rate=abc", "bad value for -rate: abc"},
            {"-rate=100", "bad value for -rate: 100"},
            {"-bits=20", "bad value for -bits: 20"},
            {"-rate", "option needs a value: -rate"},
            {"rate=44100", "unknown option: rate=44100"},
        };
        for (const auto &[text, error] : errors) {
            buffer = options(text);
            QCOMPARE(client.request(zarn::REQ_ADD_OPTIONS, buffer), 0);
            QCOMPARE(answer_of(buffer), std::string(error));
        }
        QCOMPARE(client.request(zarn::REQ_SAMPLE_RATE_GET, rate), 0);
        QCOMPARE(rate, 96000);

        // Text that fills the buffer without a NUL is not read past it.
        std::memset(buffer.text, 'a', sizeof buffer.text);
        QCOMPARE(client.request(zarn::REQ_ADD_OPTIONS, buffer), 0);
        QCOMPARE(answer_of(buffer), std::string("option text is not terminated"));

        // A name longer than the field is refused, not cut.
        const std::string long_name = "-input=" + std::string(64, 'n');
        buffer = options(long_name.c_str());
        QCOMPARE(client.request(zarn::REQ_ADD_OPTIONS, buffer), 0);
        QVERIFY(answer_of(buffer).rfind("bad value for -input", 0) == 0);
    }

    void options_answer_can_be_scripted() {
        Client client;
        client.daemon.with_engine(
            [](Engine &engine) { engine.options_reply = std::vector<unsigned char>(1024, 'z'); });
        zarn::OptionsBuffer buffer = options("-rate=44100");
        QCOMPARE(client.request(zarn::REQ_ADD_OPTIONS, buffer), 0);
        QCOMPARE(zarn::bounded_string(buffer.text, sizeof buffer.text), std::string(1024, 'z'));
        QCOMPARE(client.daemon.with_engine([](Engine &engine) { return engine.last_options; }),
                 std::string("-rate=44100"));
        std::int32_t rate = 0;
        QCOMPARE(client.request(zarn::REQ_SAMPLE_RATE_GET, rate), 0);
        QCOMPARE(rate, 48000);

        client.daemon.with_engine([](Engine &engine) {
            engine.options_reply = std::vector<unsigned char>{'n', 'o'};
            engine.options_result = -1;
        });
        buffer = options("x");
        QVERIFY(client.request(zarn::REQ_ADD_OPTIONS, buffer) != 0);
        QCOMPARE(answer_of(buffer), std::string("x"));
    }

    void probe_succeeds_and_unknown_codes_fail() {
        Client client;
        std::int32_t probe = -1;
        QCOMPARE(client.request(zarn::REQ_PROBE, probe), 0);
        QCOMPARE(probe, 1);
        QCOMPARE(client.request(zarn::REQ_PROBE, probe), 0);
        QCOMPARE(probe, 2);

        // Unused numbers, and a known number with the wrong direction or size.
        const std::uint32_t unknown[] = {
            zarn::ioc(zarn::IOC_INOUT, 8, 13), zarn::ioc(zarn::IOC_VOID, 0, 30),
            zarn::ioc(zarn::IOC_OUT, 64, 9), zarn::ioc(zarn::IOC_INOUT, 32, 9)};
        unsigned char record[64];
        for (const std::uint32_t code : unknown) {
            std::memset(record, 0x42, sizeof record);
            QVERIFY(zarn::ctl_request(client.fd, code, record) != 0);
        }
        QCOMPARE(client.request(zarn::REQ_PROBE, probe), 0);
        QCOMPARE(client.daemon.requests().size(), std::size_t{7});
        QCOMPARE(client.daemon.requests()[2].result, -1);
    }
};

QTEST_APPLESS_MAIN(TestDaemonBehaviour)
#include "test_daemon_behaviour.moc"
