// SPDX-License-Identifier: BSD-2-Clause

#include <QTest>

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <cstring>
#include <limits>
#include <string>
#include <vector>

#include "ctl/bounded_string.h"
#include "ctl/catalogue.h"
#include "ctl/discovery.h"
#include "ctl/requests.h"
#include "ctl/strip_kind.h"
#include "ctl/transport.h"
#include "sim/ranges.h"
#include "support/test_daemon.h"

using zarn::sim::Engine;
using zarn::sim::TestDaemon;
using zarn::sim::Topology;

namespace {

constexpr std::int64_t FULL_SCALE = std::int64_t{1} << 23;

// One connection to an in-process daemon.
struct Client {
    explicit Client(const Topology &topology = Topology{}) : daemon(topology) {
        fd = zarn::ctl_open(daemon.path());
    }
    ~Client() { zarn::ctl_close(fd); }

    template <typename Record> int request(std::uint32_t code, Record &record) {
        return zarn::ctl_request(fd, code, &record);
    }

    // A level request of either layout; number is the monitor or main index
    // for the short one.
    int peak(std::uint32_t code, int number, int channel = 0) {
        if (zarn::ioc_size(code) == sizeof(zarn::TargetPeak)) {
            return request(code, target_peak = zarn::TargetPeak{number, channel, {}, 0, {}, 0, 0});
        }
        return request(code, monitor_peak = zarn::MonitorPeak{number, 0, 0});
    }

    TestDaemon daemon;
    int fd = -1;
    zarn::TargetPeak target_peak{};
    zarn::MonitorPeak monitor_peak{};
};

template <typename T> bool same(const T &a, const T &b) {
    return std::memcmp(&a, &b, sizeof a) == 0;
}

zarn::FilterRecord filter(int number, int channel, std::int32_t size, const double *taps) {
    return zarn::FilterRecord{number, channel, size, 0, reinterpret_cast<std::uintptr_t>(taps)};
}

zarn::OptionsBuffer options(const char *text) {
    zarn::OptionsBuffer buffer{};
    std::strncpy(buffer.text, text, sizeof buffer.text - 1);
    return buffer;
}

std::string answer_of(const zarn::OptionsBuffer &buffer) {
    return zarn::bounded_string(buffer.text, sizeof buffer.text);
}

} // namespace

class TestDaemonBehaviour : public QObject {
    Q_OBJECT

private slots:
    void peaks_and_configs_exist_exactly_for_existing_targets() {
        Client client;
        struct Row {
            std::uint32_t code;
            int number, channel;
            bool exists;
        };
        // The last of each kind that exists and the first past it.
        const auto DEV = zarn::REQ_DEV_PEAK, LOOP = zarn::REQ_LOOP_PEAK,
                   IN_MON = zarn::REQ_INPUT_MON_PEAK, OUT_MON = zarn::REQ_OUTPUT_MON_PEAK,
                   LOCAL_MON = zarn::REQ_LOCAL_MON_PEAK, MAIN_OUT = zarn::REQ_MAIN_OUTPUT_PEAK,
                   MAIN_IN = zarn::REQ_MAIN_INPUT_PEAK;
        const Row rows[] = {
            {DEV, 0, 1, true},       {DEV, 0, 2, false},       {DEV, 1, 2, true},
            {DEV, 1, 3, false},      {DEV, 2, 0, false},       {DEV, 99, 0, false},
            {DEV, -1, 0, false},     {DEV, 0, -1, false},      {LOOP, 0, 1, true},
            {LOOP, 0, 2, false},     {LOOP, 1, 0, false},      {IN_MON, 1, 0, true},
            {IN_MON, 2, 0, false},   {OUT_MON, 0, 0, true},    {OUT_MON, 1, 0, false},
            {LOCAL_MON, 0, 0, true}, {LOCAL_MON, 1, 0, false}, {MAIN_OUT, 1, 0, true},
            {MAIN_OUT, 2, 0, false}, {MAIN_IN, 1, 0, true},    {MAIN_IN, 2, 0, false},
            {MAIN_IN, -1, 0, false}};
        for (const Row &row : rows) {
            QVERIFY2((client.peak(row.code, row.number, row.channel) == 0) == row.exists,
                     qPrintable(QStringLiteral("%1 %2 %3")
                                    .arg(row.code, 0, 16)
                                    .arg(row.number)
                                    .arg(row.channel)));
        }
        // Configurations exist exactly where levels do.
        for (int number = 0; number < 3; ++number) {
            for (int channel = 0; channel < 4; ++channel) {
                zarn::ChannelConfig config{number, channel, {}, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0};
                QCOMPARE(client.request(zarn::REQ_DEV_CONFIG_GET, config) == 0,
                         client.peak(zarn::REQ_DEV_PEAK, number, channel) == 0);
                config = zarn::ChannelConfig{number, channel, {}, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0};
                QCOMPARE(client.request(zarn::REQ_LOOP_CONFIG_GET, config) == 0,
                         client.peak(zarn::REQ_LOOP_PEAK, number, channel) == 0);
            }
            for (const auto &[get, peak] :
                 {std::pair{zarn::REQ_INPUT_MON_GET, zarn::REQ_INPUT_MON_PEAK},
                  std::pair{zarn::REQ_OUTPUT_MON_GET, zarn::REQ_OUTPUT_MON_PEAK},
                  std::pair{zarn::REQ_LOCAL_MON_GET, zarn::REQ_LOCAL_MON_PEAK}}) {
                zarn::MonitorConfig config{number, 0, 0, 0, 0, 0, 0};
                QCOMPARE(client.request(get, config) == 0, client.peak(peak, number) == 0);
            }
        }
    }

    void levels_move_within_full_scale_and_follow_mute_and_gain() {
        Client client;
        std::vector<std::int64_t> seen;
        for (int i = 0; i < 20; ++i) {
            QCOMPARE(client.peak(zarn::REQ_DEV_PEAK, 1, 1), 0);
            const zarn::TargetPeak &peak = client.target_peak;
            QCOMPARE(peak.sample_bits, 24u);
            QVERIFY(peak.rx_level >= 0 && peak.rx_level < FULL_SCALE);
            QVERIFY(peak.tx_level >= 0 && peak.tx_level < FULL_SCALE);
            seen.push_back(peak.rx_level);
        }
        std::sort(seen.begin(), seen.end());
        QVERIFY(std::unique(seen.begin(), seen.end()) - seen.begin() > 10);
        zarn::ChannelConfig config{1, 1, {}, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0};
        QCOMPARE(client.request(zarn::REQ_DEV_CONFIG_GET, config), 0);
        config.rx_mute = 1;
        config.tx_amp = -31;
        QCOMPARE(client.request(zarn::REQ_DEV_CONFIG_SET, config), 0);
        for (int i = 0; i < 5; ++i) {
            QCOMPARE(client.peak(zarn::REQ_DEV_PEAK, 1, 1), 0);
            QCOMPARE(client.target_peak.rx_level, std::int64_t{0});
            QVERIFY(client.target_peak.tx_level > 0 &&
                    client.target_peak.tx_level < FULL_SCALE / 30);
        }
    }

    void pinned_levels_come_back_as_set_and_odd_widths_give_silence() {
        Client client;
        zarn::TargetPeak pinned{0, 1, {}, 0x118, {}, -5, std::int64_t{1} << 40};
        pinned.reserved0[31] = 0xab;
        pinned.reserved1[0] = 0xcd;
        client.daemon.with_engine([&pinned](Engine &engine) {
            zarn::sim::Meter &meter = engine.loops[0].channels[1].meter;
            meter.pinned = true;
            meter.sample_bits = pinned.sample_bits;
            meter.rx_level = pinned.rx_level;
            meter.tx_level = pinned.tx_level;
            std::memcpy(meter.reserved0, pinned.reserved0, sizeof meter.reserved0);
            std::memcpy(meter.reserved1, pinned.reserved1, sizeof meter.reserved1);
            engine.main_inputs[1].pinned = true;
            engine.main_inputs[1].sample_bits = 32;
            engine.main_inputs[1].rx_level = 123456;
            // Widths that would make a shift undefined.
            engine.devices[0].channels[0].meter.sample_bits = 0;
            engine.devices[0].channels[1].meter.sample_bits = 0x40;
        });
        for (int i = 0; i < 2; ++i) {
            QCOMPARE(client.peak(zarn::REQ_LOOP_PEAK, 0, 1), 0);
            QVERIFY(same(client.target_peak, pinned));
        }
        QCOMPARE(client.peak(zarn::REQ_MAIN_INPUT_PEAK, 1), 0);
        QVERIFY(same(client.monitor_peak, zarn::MonitorPeak{1, 32, 123456}));
        QCOMPARE(client.peak(zarn::REQ_DEV_PEAK, 0, 0), 0);
        QCOMPARE(client.target_peak.rx_level, std::int64_t{0});
        QCOMPARE(client.peak(zarn::REQ_DEV_PEAK, 0, 1), 0);
        QCOMPARE(client.target_peak.tx_level, std::int64_t{0});
    }

    void channel_config_write_then_read_back() {
        Client client;
        for (const auto &[get, set] :
             {std::pair{zarn::REQ_DEV_CONFIG_GET, zarn::REQ_DEV_CONFIG_SET},
              std::pair{zarn::REQ_LOOP_CONFIG_GET, zarn::REQ_LOOP_CONFIG_SET}}) {
            zarn::ChannelConfig original{0, 1, {}, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0};
            QCOMPARE(client.request(get, original), 0);
            QVERIFY(std::strlen(original.name) > 0 && original.delay_limit > 0);
            zarn::ChannelConfig config = original;
            config = {0, 1, "renamed", -7, 12, 5, 9, 1, 0, 0, 1, 100, 1};
            QCOMPARE(client.request(set, config), 0);
            // Name and limit are the daemon's own.
            zarn::ChannelConfig expected = config;
            std::memcpy(expected.name, original.name, sizeof expected.name);
            expected.delay_limit = original.delay_limit;
            zarn::ChannelConfig back{0, 1, {}, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0};
            QCOMPARE(client.request(get, back), 0);
            QVERIFY(same(back, expected));

            // Values beyond what the mixer can do are clamped, not stored.
            back.rx_amp = 40;
            back.tx_amp = -100;
            back.delay = original.delay_limit + 1;
            back.src_channel = -3;
            back.rx_mute = 7;
            QCOMPARE(client.request(set, back), 0);
            QCOMPARE(client.request(get, back), 0);
            expected.rx_amp = 31;
            expected.tx_amp = -31;
            expected.delay = original.delay_limit;
            expected.src_channel = 0;
            QVERIFY(same(back, expected));
        }
        zarn::ChannelConfig missing{5, 0, {}, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0};
        QVERIFY(client.request(zarn::REQ_DEV_CONFIG_SET, missing) != 0);
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
            // reserved is the daemon's own.
            const zarn::MonitorConfig expected{0, config.reserved, 3, 4, 1, 1, -20};
            config = {0, -1, 3, 4, 1, 1, -20};
            QCOMPARE(client.request(set, config), 0);
            zarn::MonitorConfig back{};
            QCOMPARE(client.request(get, back), 0);
            QVERIFY(same(back, expected));
        }
        zarn::MonitorConfig output{};
        QCOMPARE(client.request(zarn::REQ_OUTPUT_MON_GET, output), 0);
        QCOMPARE(output.reserved, 0x1234);
        // A muted monitor is silent.
        QCOMPARE(client.peak(zarn::REQ_LOCAL_MON_PEAK, 0), 0);
        QCOMPARE(client.monitor_peak.level, std::int64_t{0});
        zarn::MonitorConfig missing{1, 0, 0, 0, 0, 0, 0};
        QVERIFY(client.request(zarn::REQ_LOCAL_MON_SET, missing) != 0);
    }

    void compressor_reduces_gain_with_level_and_knee() {
        Client client;
        // Device 0 runs at three quarters of full scale; loopback 0 at the most
        // negative level, which counts as full scale.
        client.daemon.with_engine([](Engine &engine) {
            for (auto &state : engine.devices[0].channels) {
                state.meter.pinned = true;
                state.meter.rx_level = FULL_SCALE * 3 / 4;
                state.meter.tx_level = 0;
            }
            auto &meter = engine.loops[0].channels[0].meter;
            meter.pinned = true;
            meter.rx_level = std::numeric_limits<std::int64_t>::min();
        });
        zarn::CompressorSettings read{};
        QCOMPARE(client.request(zarn::REQ_DEV_COMP_GET, read), 0);
        QCOMPARE(read.gain, 1000); // off: no reduction

        zarn::CompressorSettings settings{0, 1, 128, 0, 0, 0}; // threshold at half scale
        QCOMPARE(client.request(zarn::REQ_DEV_COMP_SET, settings), 0);
        QCOMPARE(client.request(zarn::REQ_DEV_COMP_GET, read), 0);
        QVERIFY(same(read, zarn::CompressorSettings{0, 1, 128, 0, 0, 750}));

        settings.knee = 255; // threshold close to silence: more reduction
        QCOMPARE(client.request(zarn::REQ_DEV_COMP_SET, settings), 0);
        QCOMPARE(client.request(zarn::REQ_DEV_COMP_GET, read), 0);
        QVERIFY(read.gain < 750 && read.gain > 250);
        // A slow decay climbs back towards the target step by step.
        settings.knee = 128;
        settings.decay = 62;
        QCOMPARE(client.request(zarn::REQ_DEV_COMP_SET, settings), 0);
        const int before = read.gain;
        QCOMPARE(client.request(zarn::REQ_DEV_COMP_GET, read), 0);
        QVERIFY(read.gain > before && read.gain < 750);

        // Loopback 0 is not affected by device 0's settings.
        zarn::CompressorSettings loop{};
        QCOMPARE(client.request(zarn::REQ_LOOP_COMP_GET, loop), 0);
        QCOMPARE(loop.enabled, 0);
        QCOMPARE(loop.gain, 1000);
        loop = {0, 1, 128, 0, 0, 0};
        QCOMPARE(client.request(zarn::REQ_LOOP_COMP_SET, loop), 0);
        QCOMPARE(client.request(zarn::REQ_LOOP_COMP_GET, loop), 0);
        QCOMPARE(loop.gain, 625);

        // Settings are clamped to what the compressor takes.
        settings = {0, 5, 300, 63, -1, 0};
        QCOMPARE(client.request(zarn::REQ_DEV_COMP_SET, settings), 0);
        QCOMPARE(client.request(zarn::REQ_DEV_COMP_GET, read), 0);
        QVERIFY(read.enabled == 1 && read.knee == 255 && read.attack == 62 && read.decay == 0);

        zarn::CompressorSettings missing{2, 0, 0, 0, 0, 0};
        QVERIFY(client.request(zarn::REQ_DEV_COMP_GET, missing) != 0);
    }

    void main_compressor_follows_the_main_output() {
        Client client;
        client.daemon.with_engine([](Engine &engine) {
            engine.main_outputs[1].pinned = true;
            engine.main_outputs[1].rx_level = FULL_SCALE - 1;
        });
        zarn::MainCompressorSettings settings{1, 128, 0, 0, 0};
        QCOMPARE(client.request(zarn::REQ_MAIN_COMP_SET, settings), 0);
        zarn::MainCompressorSettings read{};
        QCOMPARE(client.request(zarn::REQ_MAIN_COMP_GET, read), 0);
        QVERIFY(same(read, zarn::MainCompressorSettings{1, 128, 0, 0, 625}));
        settings.enabled = 0;
        QCOMPARE(client.request(zarn::REQ_MAIN_COMP_SET, settings), 0);
        QCOMPARE(client.request(zarn::REQ_MAIN_COMP_GET, read), 0);
        QCOMPARE(read.gain, 1000);
    }

    void filter_set_get_and_off_at_the_largest_length() {
        constexpr int N = zarn::MAX_FILTER_SIZE;
        Topology topology;
        topology.filter_length = N;
        Client client(topology);
        zarn::FilterRecord query = filter(1, 2, 0, nullptr);
        QCOMPARE(client.request(zarn::REQ_DEV_TX_FILTER_GET, query), 0);
        QCOMPARE(query.size, N);
        // No filter in force yet: the fetch is refused.
        std::vector<double> fetched(N, -1.0);
        zarn::FilterRecord fetch = filter(1, 2, N, fetched.data());
        QVERIFY(client.request(zarn::REQ_DEV_TX_FILTER_GET, fetch) != 0);

        std::vector<double> taps(N);
        for (std::size_t i = 0; i < taps.size(); ++i) {
            taps[i] = std::sin(static_cast<double>(i));
        }
        zarn::FilterRecord put = filter(1, 2, N, taps.data());
        QCOMPARE(client.request(zarn::REQ_DEV_TX_FILTER_SET, put), 0);
        QCOMPARE(client.request(zarn::REQ_DEV_TX_FILTER_GET, fetch), 0);
        QCOMPARE(fetched, taps);
        QCOMPARE(fetch.size, N);

        // Direction and target are separate filters; a missing target has none.
        for (const auto &[code, number, channel] :
             {std::tuple{zarn::REQ_DEV_RX_FILTER_GET, 1, 2},
              std::tuple{zarn::REQ_DEV_TX_FILTER_GET, 1, 1},
              std::tuple{zarn::REQ_LOOP_TX_FILTER_GET, 1, 2},
              std::tuple{zarn::REQ_DEV_RX_FILTER_GET, 0, 2}}) {
            zarn::FilterRecord other = filter(number, channel, N, fetched.data());
            QVERIFY(client.request(code, other) != 0);
        }

        // Address 0 switches the filter off.
        zarn::FilterRecord off = filter(1, 2, N, nullptr);
        QCOMPARE(client.request(zarn::REQ_DEV_TX_FILTER_SET, off), 0);
        QVERIFY(client.request(zarn::REQ_DEV_TX_FILTER_GET, fetch) != 0);
        QVERIFY(!client.daemon.with_engine(
            [](Engine &engine) { return engine.devices[1].channels[2].tx_filter.active; }));
    }

    void filter_sizes_outside_the_range_or_length_are_refused() {
        Client client;
        std::vector<double> taps(2049, 0.5); // room for the largest size that travels
        for (const std::int32_t size : {0, -1, 2047, 2049, zarn::MAX_FILTER_SIZE + 1}) {
            zarn::FilterRecord put = filter(0, 0, size, taps.data());
            QVERIFY2(client.request(zarn::REQ_LOOP_RX_FILTER_SET, put) != 0,
                     qPrintable(QString::number(size)));
            zarn::FilterRecord get = filter(0, 0, size, taps.data());
            QVERIFY(client.request(zarn::REQ_LOOP_RX_FILTER_GET, get) != 0);
        }
        QVERIFY(!client.daemon.with_engine(
            [](Engine &engine) { return engine.loops[0].channels[0].rx_filter.active; }));
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
        QVERIFY(info.sample_rate == 44100u && info.sample_bits == 16u && info.channels == 4u);
        const std::size_t input = zarn::bounded_length(info.input_device, sizeof info.input_device);
        QVERIFY(input > 0 && input < sizeof info.input_device);
        QVERIFY(zarn::bounded_length(info.output_device, sizeof info.output_device) <
                sizeof info.output_device);
    }

    void delay_locator_read_modify_write_and_reset() {
        Client client;
        zarn::DelayLocatorRecord record{};
        QCOMPARE(client.request(zarn::REQ_DELAY_LOCATOR_GET, record), 0);
        const std::int32_t level = record.output_level;
        QVERIFY(level > 0);
        QVERIFY(same(record, zarn::DelayLocatorRecord{0, 0, 1, level, 0, 48000, 0}));

        record.enabled = 1;
        QCOMPARE(client.request(zarn::REQ_DELAY_LOCATOR_SET, record), 0);
        zarn::DelayLocatorRecord measured{};
        QCOMPARE(client.request(zarn::REQ_DELAY_LOCATOR_GET, measured), 0);
        QVERIFY(measured.enabled == 1 && measured.delay_samples > 0);

        // Other channels, another path, another delay; the daemon owns its
        // limits, rate and measurement.
        zarn::DelayLocatorRecord forged{0, 1, 50, level - 1, 7, 1, 1};
        QCOMPARE(client.request(zarn::REQ_DELAY_LOCATOR_SET, forged), 0);
        zarn::DelayLocatorRecord moved{};
        QCOMPARE(client.request(zarn::REQ_DELAY_LOCATOR_GET, moved), 0);
        QVERIFY(moved.delay_samples > 0 && moved.delay_samples != measured.delay_samples);
        QVERIFY(same(moved,
                     zarn::DelayLocatorRecord{0, 1, 1, level - 1, moved.delay_samples, 48000, 1}));

        // A channel past max_channel is refused and changes nothing.
        forged = moved;
        forged.out_channel = 2;
        forged.enabled = 0;
        QVERIFY(client.request(zarn::REQ_DELAY_LOCATOR_SET, forged) != 0);
        QCOMPARE(client.request(zarn::REQ_DELAY_LOCATOR_GET, forged), 0);
        QVERIFY(same(forged, moved));

        // Reset clears the measurement and keeps the settings.
        QCOMPARE(zarn::ctl_request(client.fd, zarn::REQ_DELAY_LOCATOR_RESET, nullptr), 0);
        zarn::DelayLocatorRecord reset{};
        QCOMPARE(client.request(zarn::REQ_DELAY_LOCATOR_GET, reset), 0);
        moved.delay_samples = 0;
        QVERIFY(same(reset, moved));

        // Output level stays within the generator's range; no signal, no measurement.
        reset.output_level = -1;
        QCOMPARE(client.request(zarn::REQ_DELAY_LOCATOR_SET, reset), 0);
        QCOMPARE(client.request(zarn::REQ_DELAY_LOCATOR_GET, reset), 0);
        QVERIFY(reset.output_level == 0 && reset.delay_samples == 0);
    }

    void recording_follows_set() {
        Client client;
        std::int32_t state = -1;
        QCOMPARE(client.request(zarn::REQ_RECORDING_GET, state), 0);
        QCOMPARE(state, 0);
        for (std::int32_t wanted : {1, 0}) {
            QCOMPARE(client.request(zarn::REQ_RECORDING_SET, wanted), 0);
            QCOMPARE(client.request(zarn::REQ_RECORDING_GET, state), 0);
            QCOMPARE(state, wanted);
        }
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
        QVERIFY(info.sample_rate == 96000u && info.sample_bits == 32u);
        QCOMPARE(std::string(info.input_device), std::string("mic"));
        QCOMPARE(std::string(info.output_device), std::string("speakers"));
        QCOMPARE(client.peak(zarn::REQ_MAIN_OUTPUT_PEAK, 0), 0);
        QCOMPARE(client.monitor_peak.sample_bits, 32u);
        std::int32_t recording = 0;
        QCOMPARE(client.request(zarn::REQ_RECORDING_GET, recording), 0);
        QCOMPARE(recording, 1);
        zarn::DelayLocatorRecord locator{};
        QCOMPARE(client.request(zarn::REQ_DELAY_LOCATOR_GET, locator), 0);
        QCOMPARE(locator.sample_rate, 96000);

        // Any error: nothing applied, the error is the answer.
        std::string crowded;
        for (int i = 0; i < 63; ++i) {
            crowded += "-add_device=1 ";
        }
        const std::pair<const char *, const char *> errors[] = {
            {"-rate=44100 -volume=3", "unknown option: -volume=3"},
            {"-rate=abc", "bad value for -rate: abc"},
            {"-rate=100", "bad value for -rate: 100"},
            {"-bits=20", "bad value for -bits: 20"},
            {"-rate", "option needs a value: -rate"},
            {"rate=44100", "unknown option: rate=44100"},
            {"-add_device=0", "bad value for -add_device: 0"},
            {"-add_loop=65", "bad value for -add_loop: 65"},
            {"-remove_device=2", "bad value for -remove_device: 2"},
            // Each number is checked against what the words before it leave.
            {"-add_device=2 -rate=44100 -remove_loop=1", "bad value for -remove_loop: 1"},
            {"-remove_loop=0 -remove_loop=0", "bad value for -remove_loop: 0"},
            {crowded.c_str(), "no room for another device: -add_device=1"},
        };
        for (const auto &[text, error] : errors) {
            buffer = options(text);
            QCOMPARE(client.request(zarn::REQ_ADD_OPTIONS, buffer), 0);
            QCOMPARE(answer_of(buffer), std::string(error));
        }
        QCOMPARE(client.request(zarn::REQ_SAMPLE_RATE_GET, rate), 0);
        QCOMPARE(rate, 96000);
        QCOMPARE(client.daemon.with_engine([](Engine &engine) {
            return std::pair{engine.devices.size(), engine.loops.size()};
        }),
                 (std::pair<std::size_t, std::size_t>{2, 1}));

        // Text that fills the buffer without a NUL is not read past it.
        std::memset(buffer.text, 'a', sizeof buffer.text);
        QCOMPARE(client.request(zarn::REQ_ADD_OPTIONS, buffer), 0);
        QCOMPARE(answer_of(buffer), std::string("option text is not terminated"));
        // A name longer than the field is refused, not cut.
        buffer = options(("-input=" + std::string(64, 'n')).c_str());
        QCOMPARE(client.request(zarn::REQ_ADD_OPTIONS, buffer), 0);
        QVERIFY(answer_of(buffer).rfind("bad value for -input", 0) == 0);
    }

    void devices_and_loopbacks_come_and_go_and_discovery_sees_them() {
        // What discovery finds: each device's and loopback's name, its
        // record's number where that is not the one it answers to ("@n"),
        // and its channels.
        const std::pair<const char *, const char *> rows[] = {
            {"", "dsp0:2 dsp1:3 | loop0:2"},
            {"-add_device=4 -add_loop=1", "dsp0:2 dsp1:3 dsp2:4 | loop0:2 loop1:1"},
            {"-add_device=64 -add_device=1", "dsp0:2 dsp1:3 dsp2:64 dsp3:1 | loop0:2"},
            {"-remove_device=0", "dsp1:3 | loop0:2"},
            {"-remove_device=0 -add_device=1", "dsp1:3 dsp2:1 | loop0:2"},
            {"-remove_loop=0 -add_loop=2 -add_loop=1", "dsp0:2 dsp1:3 | loop1:2 loop2:1"},
            {"-remove_device=1 -remove_device=0 -remove_loop=0", "|"},
        };
        for (const auto &[text, expected] : rows) {
            Client client;
            zarn::OptionsBuffer buffer = options(text);
            QCOMPARE(client.request(zarn::REQ_ADD_OPTIONS, buffer), 0);
            std::vector<zarn::Target> found;
            zarn::discover_targets(client.fd, 128,
                                   [&](const zarn::Target &t) { found.push_back(t); });
            std::string seen[2];
            for (const zarn::Target &t : found) {
                zarn::ChannelConfig config{t.number, 0, {}, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0};
                if (t.kind > zarn::KIND_LOOP || t.channel != 0 ||
                    client.request(t.kind ? zarn::REQ_LOOP_CONFIG_GET : zarn::REQ_DEV_CONFIG_GET,
                                   config) != 0) {
                    continue;
                }
                const auto channels = std::count_if(found.begin(), found.end(), [&](auto &o) {
                    return o.kind == t.kind && o.number == t.number;
                });
                seen[t.kind] +=
                    config.name +
                    (config.number == t.number ? "" : "@" + std::to_string(config.number)) + ":" +
                    std::to_string(channels) + " ";
            }
            std::string summary = seen[0] + "| " + seen[1];
            summary.erase(summary.find_last_not_of(' ') + 1);
            QCOMPARE(QString::fromStdString(summary), QString::fromLatin1(expected));
            // The batched walk finds the same, also when the limit cuts it short.
            const auto listed = [](const std::vector<zarn::Target> &targets) {
                QString text;
                for (const zarn::Target &t : targets)
                    text += QString::asprintf("%d.%d.%d ", t.kind, t.number, t.channel);
                return text;
            };
            QCOMPARE(listed(zarn::find_targets(client.fd, 128)), listed(found));
            const std::size_t some = found.size() / 2 + 1;
            QCOMPARE(listed(zarn::find_targets(client.fd, int(some))),
                     listed({found.begin(), found.begin() + std::min(some, found.size())}));
            // Every level has a waveform of its own.
            std::vector<std::uint32_t> seeds = client.daemon.with_engine([](Engine &engine) {
                std::vector<std::uint32_t> all;
                for (auto *groups : {&engine.devices, &engine.loops}) {
                    for (const auto &group : *groups) {
                        for (const auto &state : group.channels) {
                            all.push_back(state.meter.seed);
                        }
                    }
                }
                return all;
            });
            std::sort(seeds.begin(), seeds.end());
            QVERIFY(std::adjacent_find(seeds.begin(), seeds.end()) == seeds.end());
        }
    }

    void options_answer_can_be_scripted() {
        Client client;
        client.daemon.with_engine(
            [](Engine &engine) { engine.options_reply = std::vector<unsigned char>(1024, 'z'); });
        zarn::OptionsBuffer buffer = options("-rate=44100");
        QCOMPARE(client.request(zarn::REQ_ADD_OPTIONS, buffer), 0);
        QCOMPARE(answer_of(buffer), std::string(1024, 'z'));
        QCOMPARE(client.daemon.with_engine([](Engine &engine) { return engine.last_options; }),
                 std::string("-rate=44100"));
        std::int32_t rate = 0;
        QCOMPARE(client.request(zarn::REQ_SAMPLE_RATE_GET, rate), 0);
        QCOMPARE(rate, 48000);
    }

    void probe_succeeds_and_unknown_codes_fail() {
        Client client;
        std::int32_t probe = -1;
        QCOMPARE(client.request(zarn::REQ_PROBE, probe), 0);
        QCOMPARE(probe, 1);
        // Unused numbers, and a known number with the wrong direction or size.
        unsigned char record[64] = {};
        for (const std::uint32_t code :
             {zarn::ioc(zarn::DIR_INOUT, 8, 13), zarn::ioc(zarn::DIR_VOID, 0, 30),
              zarn::ioc(zarn::DIR_OUT, 64, 9), zarn::ioc(zarn::DIR_INOUT, 32, 9)}) {
            QVERIFY(zarn::ctl_request(client.fd, code, record) != 0);
        }
        QCOMPARE(client.request(zarn::REQ_PROBE, probe), 0);
        QCOMPARE(probe, 2);
        const auto log = client.daemon.requests();
        QCOMPARE(log.size(), std::size_t{6});
        QCOMPARE(log[1].result, -1);
    }

    // The daemon keeps its own ranges, as another daemon would; the panel
    // must offer no more than it takes.
    void ranges_match_the_catalogue_data() {
        QTest::addColumn<int>("daemon");
        QTest::addColumn<int>("catalogue");
        QTest::newRow("gain") << zarn::sim::MAX_AMP << int{zarn::GAIN_MAX};
        QTest::newRow("route channel")
            << zarn::sim::MAX_ROUTE_CHANNEL << int{zarn::ROUTE_CHANNEL_MAX};
        QTest::newRow("knee") << zarn::sim::MAX_KNEE << int{zarn::KNEE_MAX};
        QTest::newRow("time constant")
            << zarn::sim::MAX_TIME_CONSTANT << int{zarn::TIME_CONSTANT_MAX};
    }

    void ranges_match_the_catalogue() {
        QFETCH(int, daemon);
        QFETCH(int, catalogue);
        QCOMPARE(daemon, catalogue);
    }
};

QTEST_APPLESS_MAIN(TestDaemonBehaviour)
#include "test_daemon_behaviour.moc"
