// SPDX-License-Identifier: BSD-2-Clause

#include "sim/engine.h"
#include "sim/option_parser.h"
#include "sim/ranges.h"

#include <algorithm>
#include <cerrno>
#include <cmath>
#include <cstddef>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <sstream>

#include "ctl/bounded_string.h"
#include "ctl/filter_record.h"
#include "ctl/monitor_peak.h"
#include "ctl/options_buffer.h"
#include "ctl/requests.h"
#include "ctl/target_peak.h"

namespace zarn::sim {

namespace {

constexpr int DEFAULT_LOCATOR_LEVEL = 50;

template <typename T> T load(const unsigned char *record) {
    T value;
    std::memcpy(&value, record, sizeof value);
    return value;
}

template <typename T> void store(unsigned char *record, const T &value) {
    std::memcpy(record, &value, sizeof value);
}

// Fills a fixed-size name field, always NUL-terminated.
template <std::size_t N> void set_name(char (&field)[N], const std::string &name) {
    std::memset(field, 0, N);
    std::memcpy(field, name.data(), std::min(name.size(), N - 1));
}

// Full scale of a sample_bits-wide signed sample; 0 when the width makes no sense.
std::int64_t full_scale(std::uint32_t sample_bits) {
    const unsigned bits = sample_bits & 0xffu;
    if (bits < 2 || bits > 63) {
        return 0;
    }
    return (std::int64_t{1} << (bits - 1)) - 1;
}

// A peak level that moves: two slow sines per target, scaled by the gain
// step (one step is 1 dB) and silenced by mute.
std::int64_t waveform(std::uint32_t seed, std::uint32_t step, int amp, bool mute,
                      std::uint32_t sample_bits) {
    const std::int64_t scale = full_scale(sample_bits);
    if (mute || scale == 0) {
        return 0;
    }
    const double phase = step * 0.11 + seed * 0.731;
    double fraction = 0.4 + 0.25 * std::sin(phase) + 0.1 * std::sin(phase * 2.7 + seed);
    fraction *= std::pow(10.0, std::clamp(amp, -MAX_AMP, MAX_AMP) / 20.0);
    fraction = std::min(std::max(fraction, 0.0), 1.0);
    return static_cast<std::int64_t>(std::llround(fraction * static_cast<double>(scale)));
}

double level_fraction(const Meter &meter) {
    const std::int64_t scale = full_scale(meter.sample_bits);
    if (scale == 0) {
        return 0.0;
    }
    // In double: the magnitude of INT64_MIN does not fit an int64.
    const double level = std::max(std::fabs(static_cast<double>(meter.rx_level)),
                                  std::fabs(static_cast<double>(meter.tx_level)));
    return std::min(level / static_cast<double>(scale), 1.0);
}

template <typename T> T *find(std::vector<T> &items, std::int32_t index) {
    if (index < 0 || static_cast<std::size_t>(index) >= items.size()) {
        return nullptr;
    }
    return &items[static_cast<std::size_t>(index)];
}

ChannelState *find_channel(std::vector<Group> &groups, std::int32_t number, std::int32_t channel) {
    Group *group = find(groups, number);
    return group ? find(group->channels, channel) : nullptr;
}

void fill_monitors(std::vector<MonitorState> &monitors, int count, const Topology &topology,
                   std::uint32_t &next_seed) {
    for (int n = 0; n < count; ++n) {
        MonitorState monitor;
        monitor.config.number = n;
        monitor.config.src_channel = n;
        monitor.config.dst_channel = n;
        monitor.meter.seed = next_seed++;
        monitor.meter.sample_bits = static_cast<std::uint32_t>(topology.sample_bits);
        monitors.push_back(monitor);
    }
}

void fill_mains(std::vector<Meter> &meters, int count, const Topology &topology,
                std::uint32_t &next_seed) {
    for (int c = 0; c < count; ++c) {
        Meter meter;
        meter.seed = next_seed++;
        meter.sample_bits = static_cast<std::uint32_t>(topology.sample_bits);
        meters.push_back(meter);
    }
}

} // namespace

Engine::Engine(const Topology &topology)
    : filter_length_(topology.filter_length), delay_limit_(std::max(topology.sample_rate / 10, 0)) {
    sample_rate = topology.sample_rate;
    system_info.sample_bits = static_cast<std::uint32_t>(topology.sample_bits);
    // The main channels first: a device's routes are spread over them.
    fill_mains(main_outputs, topology.main_output_channels, topology, next_seed_);
    fill_mains(main_inputs, topology.main_input_channels, topology, next_seed_);
    for (const int channels : topology.device_channels) {
        add_group(devices, channels);
    }
    for (const int channels : topology.loop_channels) {
        add_group(loops, channels);
    }
    fill_monitors(input_monitors, topology.input_monitors, topology, next_seed_);
    fill_monitors(output_monitors, topology.output_monitors, topology, next_seed_);
    fill_monitors(local_monitors, topology.local_monitors, topology, next_seed_);

    main_compressor.knee = 128;
    main_compressor.attack = 10;
    main_compressor.decay = 30;
    main_compressor.gain = 1000;

    delay_locator.max_channel =
        std::max(std::max(topology.main_output_channels, topology.main_input_channels) - 1, 0);
    delay_locator.output_level = DEFAULT_LOCATOR_LEVEL;
    delay_locator.sample_rate = topology.sample_rate;

    system_info.reserved0 = 1; // version of the record
    system_info.reserved1 = static_cast<std::uint32_t>(devices.size());
    system_info.sample_rate = static_cast<std::uint32_t>(topology.sample_rate);
    system_info.channels = static_cast<std::uint32_t>(std::max(topology.main_output_channels, 0));
    set_name(system_info.input_device, "sim-capture");
    set_name(system_info.output_device, "sim-playback");
}

// A new device or loopback takes the next number of its kind. Its name comes
// from how many of its kind were ever set up, so that one added after a
// removal does not repeat a remaining one's.
void Engine::add_group(std::vector<Group> &groups, int channels) {
    const bool device = &groups == &devices;
    std::uint32_t &serial = device ? devices_set_up_ : loops_set_up_;
    const std::string name = (device ? "dsp" : "loop") + std::to_string(serial);
    const auto number = static_cast<std::int32_t>(groups.size());
    const auto main_inputs_count = static_cast<int>(main_inputs.size());
    const auto main_outputs_count = static_cast<int>(main_outputs.size());

    Group group;
    group.compressor.number = number;
    group.compressor.knee = 128;
    group.compressor.attack = 10;
    group.compressor.decay = 30;
    group.compressor.gain = 1000;
    for (int c = 0; c < std::max(channels, 0); ++c) {
        ChannelState state;
        ChannelConfig &config = state.config;
        config.number = number;
        config.channel = c;
        set_name(config.name, name);
        config.src_channel = main_inputs_count > 0 ? c % main_inputs_count : 0;
        config.dst_channel = main_outputs_count > 0 ? c % main_outputs_count : 0;
        config.delay_limit = delay_limit_;
        state.meter.seed = next_seed_++;
        state.meter.sample_bits = system_info.sample_bits;
        state.rx_filter.length = filter_length_;
        state.tx_filter.length = filter_length_;
        group.channels.push_back(state);
    }
    groups.push_back(std::move(group));
    ++serial;
}

// The later ones move down one number: discovery stops at the first number
// that does not answer, so numbers stay without gaps.
void Engine::remove_group(std::vector<Group> &groups, std::size_t index) {
    groups.erase(groups.begin() + static_cast<std::ptrdiff_t>(index));
    for (std::size_t n = index; n < groups.size(); ++n) {
        const auto number = static_cast<std::int32_t>(n);
        groups[n].compressor.number = number;
        for (ChannelState &state : groups[n].channels) {
            state.config.number = number;
        }
    }
}

int Engine::peak(Meter &meter, int amp_rx, int amp_tx, bool mute_rx, bool mute_tx) {
    if (!meter.pinned) {
        ++meter.steps;
        meter.rx_level = waveform(meter.seed * 2, meter.steps, amp_rx, mute_rx, meter.sample_bits);
        meter.tx_level =
            waveform(meter.seed * 2 + 1, meter.steps, amp_tx, mute_tx, meter.sample_bits);
    }
    return 0;
}

// Gain of a compressor over the loudest of its meters: above the threshold
// set by knee the signal is reduced 4:1; the gain moves toward that target
// at a rate set by attack (falling) or decay (rising).
std::int32_t Engine::compressor_gain(double &gain, const std::vector<const Meter *> &meters,
                                     std::int32_t enabled, std::int32_t knee, std::int32_t attack,
                                     std::int32_t decay) const {
    double target = 1.0;
    if (enabled != 0) {
        double level = 0.0;
        for (const Meter *meter : meters) {
            level = std::max(level, level_fraction(*meter));
        }
        const double threshold = 1.0 - std::clamp(knee, 0, MAX_KNEE) / 256.0;
        if (level > threshold && level > 0.0) {
            target = (threshold + (level - threshold) / 4.0) / level;
        }
    }
    const int rate = target < gain ? std::clamp(attack, 0, MAX_TIME_CONSTANT)
                                   : std::clamp(decay, 0, MAX_TIME_CONSTANT);
    gain += (target - gain) / (1.0 + rate);
    if (!std::isfinite(gain)) {
        gain = 1.0;
    }
    return static_cast<std::int32_t>(std::lround(gain * 1000.0));
}

std::int32_t Engine::measure_delay() const {
    if (delay_locator.output_level <= 0) {
        return 0; // no test signal, nothing to measure
    }
    return 240 + 32 * delay_locator.out_channel + 48 * delay_locator.in_channel;
}

int Engine::add_options(unsigned char *record) {
    char *text = reinterpret_cast<char *>(record);
    last_options = bounded_string(text, OPTIONS_BUFFER_SIZE);
    if (options_reply) {
        std::memset(record, 0, OPTIONS_BUFFER_SIZE);
        if (!options_reply->empty())
            std::memcpy(record, options_reply->data(),
                        std::min(options_reply->size(), OPTIONS_BUFFER_SIZE));
        return options_result;
    }

    std::string error;
    AddedOptions options;
    if (bounded_length(text, OPTIONS_BUFFER_SIZE) == OPTIONS_BUFFER_SIZE) {
        error = "option text is not terminated";
    } else {
        error = parse_added_options(last_options, devices.size(), loops.size(), options);
    }
    const long rate = options.rate, bits = options.bits, delay_limit = options.delay_limit,
               record_state = options.record_state;
    const std::optional<std::string> &input = options.input, &output = options.output;
    const std::vector<AddedOptions::Change> &changes = options.changes;

    std::memset(record, 0, OPTIONS_BUFFER_SIZE);
    if (!error.empty()) {
        std::memcpy(record, error.data(), std::min(error.size(), OPTIONS_BUFFER_SIZE - 1));
        return 0;
    }
    if (rate >= 0) {
        sample_rate = static_cast<std::int32_t>(rate);
        delay_locator.sample_rate = sample_rate;
        system_info.sample_rate = static_cast<std::uint32_t>(rate);
    }
    if (bits >= 0) {
        system_info.sample_bits = static_cast<std::uint32_t>(bits);
        for (auto *groups : {&devices, &loops}) {
            for (Group &group : *groups) {
                for (ChannelState &state : group.channels) {
                    state.meter.sample_bits = static_cast<std::uint32_t>(bits);
                }
            }
        }
        for (auto *monitors : {&input_monitors, &output_monitors, &local_monitors}) {
            for (MonitorState &monitor : *monitors) {
                monitor.meter.sample_bits = static_cast<std::uint32_t>(bits);
            }
        }
        for (auto *mains : {&main_outputs, &main_inputs}) {
            for (Meter &meter : *mains) {
                meter.sample_bits = static_cast<std::uint32_t>(bits);
            }
        }
    }
    if (delay_limit >= 0) {
        for (auto *groups : {&devices, &loops}) {
            for (Group &group : *groups) {
                for (ChannelState &state : group.channels) {
                    state.config.delay_limit = static_cast<std::int32_t>(delay_limit);
                    state.config.delay = std::min(state.config.delay, state.config.delay_limit);
                }
            }
        }
        delay_limit_ = static_cast<std::int32_t>(delay_limit);
    }
    if (record_state >= 0) {
        recording = static_cast<std::int32_t>(record_state);
    }
    if (input) {
        set_name(system_info.input_device, *input);
    }
    if (output) {
        set_name(system_info.output_device, *output);
    }
    for (const AddedOptions::Change &change : changes) {
        std::vector<Group> &groups = change.device ? devices : loops;
        if (change.add) {
            add_group(groups, static_cast<int>(change.value));
        } else {
            remove_group(groups, static_cast<std::size_t>(change.value));
        }
    }
    system_info.reserved1 = static_cast<std::uint32_t>(devices.size());
    return 0;
}

int Engine::channel_config(std::uint32_t code, unsigned char *record) {
    const bool get = code == REQ_DEV_CONFIG_GET || code == REQ_LOOP_CONFIG_GET;
    auto &groups = (code == REQ_DEV_CONFIG_GET || code == REQ_DEV_CONFIG_SET) ? devices : loops;
    const auto in = load<ChannelConfig>(record);
    ChannelState *state = find_channel(groups, in.number, in.channel);
    if (!state) {
        return -1;
    }
    ChannelConfig &config = state->config;
    if (get) {
        store(record, config);
        return 0;
    }
    // Name and delay limit belong to the daemon; the rest is clamped to what it can do.
    config.rx_amp = std::clamp(in.rx_amp, -MAX_AMP, MAX_AMP);
    config.tx_amp = std::clamp(in.tx_amp, -MAX_AMP, MAX_AMP);
    config.src_channel = std::clamp(in.src_channel, 0, MAX_ROUTE_CHANNEL);
    config.dst_channel = std::clamp(in.dst_channel, 0, MAX_ROUTE_CHANNEL);
    config.rx_mute = in.rx_mute != 0;
    config.tx_mute = in.tx_mute != 0;
    config.rx_polarity = in.rx_polarity != 0;
    config.tx_polarity = in.tx_polarity != 0;
    config.delay = std::clamp(in.delay, 0, std::max(config.delay_limit, 0));
    return 0;
}

int Engine::monitor_config(std::uint32_t code, unsigned char *record) {
    auto &monitors = (code == REQ_INPUT_MON_GET || code == REQ_INPUT_MON_SET)     ? input_monitors
                     : (code == REQ_OUTPUT_MON_GET || code == REQ_OUTPUT_MON_SET) ? output_monitors
                                                                                  : local_monitors;
    const auto in = load<MonitorConfig>(record);
    MonitorState *monitor = find(monitors, in.number);
    if (!monitor) {
        return -1;
    }
    if (code == REQ_INPUT_MON_GET || code == REQ_OUTPUT_MON_GET || code == REQ_LOCAL_MON_GET) {
        store(record, monitor->config);
        return 0;
    }
    MonitorConfig &config = monitor->config;
    config.src_channel = std::clamp(in.src_channel, 0, MAX_ROUTE_CHANNEL);
    config.dst_channel = std::clamp(in.dst_channel, 0, MAX_ROUTE_CHANNEL);
    config.polarity = in.polarity != 0;
    config.mute = in.mute != 0;
    config.amp = std::clamp(in.amp, -MAX_AMP, MAX_AMP);
    return 0;
}

int Engine::target_peak(std::uint32_t code, unsigned char *record) {
    auto &groups = code == REQ_DEV_PEAK ? devices : loops;
    auto out = load<TargetPeak>(record);
    ChannelState *state = find_channel(groups, out.number, out.channel);
    if (!state) {
        return -1;
    }
    Meter &meter = state->meter;
    const ChannelConfig &config = state->config;
    peak(meter, config.rx_amp, config.tx_amp, config.rx_mute != 0, config.tx_mute != 0);
    std::memcpy(out.reserved0, meter.reserved0, sizeof out.reserved0);
    std::memcpy(out.reserved1, meter.reserved1, sizeof out.reserved1);
    out.sample_bits = meter.sample_bits;
    out.rx_level = meter.rx_level;
    out.tx_level = meter.tx_level;
    store(record, out);
    return 0;
}

int Engine::monitor_peak(std::uint32_t code, unsigned char *record) {
    auto out = load<MonitorPeak>(record);
    Meter *meter = nullptr;
    int amp = 0;
    bool mute = false;
    if (code == REQ_MAIN_OUTPUT_PEAK || code == REQ_MAIN_INPUT_PEAK) {
        meter = find(code == REQ_MAIN_OUTPUT_PEAK ? main_outputs : main_inputs, out.index);
    } else {
        auto &monitors = code == REQ_INPUT_MON_PEAK    ? input_monitors
                         : code == REQ_OUTPUT_MON_PEAK ? output_monitors
                                                       : local_monitors;
        MonitorState *monitor = find(monitors, out.index);
        if (monitor) {
            meter = &monitor->meter;
            amp = monitor->config.amp;
            mute = monitor->config.mute != 0;
        }
    }
    if (!meter) {
        return -1;
    }
    peak(*meter, amp, amp, mute, mute);
    out.sample_bits = meter->sample_bits;
    out.level = meter->rx_level;
    store(record, out);
    return 0;
}

int Engine::compressor(std::uint32_t code, unsigned char *record) {
    const bool get = code == REQ_DEV_COMP_GET || code == REQ_LOOP_COMP_GET;
    auto &groups = (code == REQ_DEV_COMP_GET || code == REQ_DEV_COMP_SET) ? devices : loops;
    const auto in = load<CompressorSettings>(record);
    Group *group = find(groups, in.number);
    if (!group) {
        return -1;
    }
    CompressorSettings &settings = group->compressor;
    if (get) {
        std::vector<const Meter *> meters;
        for (const ChannelState &state : group->channels) {
            meters.push_back(&state.meter);
        }
        settings.gain = compressor_gain(group->gain, meters, settings.enabled, settings.knee,
                                        settings.attack, settings.decay);
        settings.number = in.number;
        store(record, settings);
        return 0;
    }
    settings.enabled = in.enabled != 0;
    settings.knee = std::clamp(in.knee, 0, MAX_KNEE);
    settings.attack = std::clamp(in.attack, 0, MAX_TIME_CONSTANT);
    settings.decay = std::clamp(in.decay, 0, MAX_TIME_CONSTANT);
    return 0;
}

int Engine::main_compressor_request(std::uint32_t code, unsigned char *record) {
    if (code == REQ_MAIN_COMP_GET) {
        std::vector<const Meter *> meters;
        for (const Meter &meter : main_outputs) {
            meters.push_back(&meter);
        }
        main_compressor.gain =
            compressor_gain(main_gain, meters, main_compressor.enabled, main_compressor.knee,
                            main_compressor.attack, main_compressor.decay);
        store(record, main_compressor);
        return 0;
    }
    const auto in = load<MainCompressorSettings>(record);
    main_compressor.enabled = in.enabled != 0;
    main_compressor.knee = std::clamp(in.knee, 0, MAX_KNEE);
    main_compressor.attack = std::clamp(in.attack, 0, MAX_TIME_CONSTANT);
    main_compressor.decay = std::clamp(in.decay, 0, MAX_TIME_CONSTANT);
    return 0;
}

int Engine::delay_locator_request(std::uint32_t code, unsigned char *record) {
    if (code == REQ_DELAY_LOCATOR_GET) {
        store(record, delay_locator);
        return 0;
    }
    if (code == REQ_DELAY_LOCATOR_RESET) {
        delay_locator.delay_samples = 0;
        return 0;
    }
    const auto in = load<DelayLocatorRecord>(record);
    const int max_channel = delay_locator.max_channel;
    if (in.out_channel < 0 || in.out_channel > max_channel || in.in_channel < 0 ||
        in.in_channel > max_channel) {
        return -1;
    }
    // The limits, the rate and the measurement are the daemon's own.
    delay_locator.out_channel = in.out_channel;
    delay_locator.in_channel = in.in_channel;
    delay_locator.output_level = std::clamp(in.output_level, 0, MAX_LOCATOR_LEVEL);
    delay_locator.enabled = in.enabled != 0;
    if (delay_locator.enabled) {
        delay_locator.delay_samples = measure_delay();
    }
    return 0;
}

int Engine::filter(std::uint32_t code, unsigned char *record, std::vector<double> &payload) {
    const bool rx = code == REQ_DEV_RX_FILTER_GET || code == REQ_DEV_RX_FILTER_SET ||
                    code == REQ_LOOP_RX_FILTER_GET || code == REQ_LOOP_RX_FILTER_SET;
    const bool device = code == REQ_DEV_RX_FILTER_GET || code == REQ_DEV_RX_FILTER_SET ||
                        code == REQ_DEV_TX_FILTER_GET || code == REQ_DEV_TX_FILTER_SET;
    const auto in = load<FilterRecord>(record);
    ChannelState *state = find_channel(device ? devices : loops, in.number, in.channel);
    if (!state) {
        return -1;
    }
    Filter &filter = rx ? state->rx_filter : state->tx_filter;
    const bool sized = in.size >= 1 && in.size <= MAX_FILTER_SIZE;
    if (is_filter_get(code)) {
        if (in.coefficients == 0) {
            // The length query: how many taps this channel and direction takes.
            FilterRecord out = in;
            out.size = filter.length;
            store(record, out);
            return 0;
        }
        if (!sized || !filter.active || in.size != filter.length ||
            filter.coefficients.size() != static_cast<std::size_t>(in.size)) {
            return -1;
        }
        payload = filter.coefficients;
        return 0;
    }
    if (in.coefficients == 0) {
        filter.active = false;
        filter.coefficients.clear();
        return 0;
    }
    if (!sized || in.size != filter.length || payload.size() != static_cast<std::size_t>(in.size)) {
        return -1;
    }
    filter.coefficients = payload;
    filter.active = true;
    return 0;
}

int Engine::handle(std::uint32_t code, unsigned char *record, std::vector<double> &payload) {
    if (!is_filter_set(code)) {
        payload.clear();
    }
    if (is_filter_get(code) || is_filter_set(code)) {
        return filter(code, record, payload);
    }

    switch (code) {
    case REQ_PROBE:
        ++probe_count;
        store(record, probe_count);
        return 0;

    case REQ_DEV_CONFIG_GET:
    case REQ_LOOP_CONFIG_GET:
    case REQ_DEV_CONFIG_SET:
    case REQ_LOOP_CONFIG_SET:
        return channel_config(code, record);

    case REQ_INPUT_MON_GET:
    case REQ_OUTPUT_MON_GET:
    case REQ_LOCAL_MON_GET:
    case REQ_INPUT_MON_SET:
    case REQ_OUTPUT_MON_SET:
    case REQ_LOCAL_MON_SET:
        return monitor_config(code, record);

    case REQ_DEV_PEAK:
    case REQ_LOOP_PEAK:
        return target_peak(code, record);

    case REQ_INPUT_MON_PEAK:
    case REQ_OUTPUT_MON_PEAK:
    case REQ_LOCAL_MON_PEAK:
    case REQ_MAIN_OUTPUT_PEAK:
    case REQ_MAIN_INPUT_PEAK:
        return monitor_peak(code, record);

    case REQ_DEV_COMP_GET:
    case REQ_LOOP_COMP_GET:
    case REQ_DEV_COMP_SET:
    case REQ_LOOP_COMP_SET:
        return compressor(code, record);

    case REQ_MAIN_COMP_GET:
    case REQ_MAIN_COMP_SET:
        return main_compressor_request(code, record);

    case REQ_DELAY_LOCATOR_GET:
    case REQ_DELAY_LOCATOR_SET:
    case REQ_DELAY_LOCATOR_RESET:
        return delay_locator_request(code, record);

    case REQ_RECORDING_SET:
        recording = load<std::int32_t>(record) != 0;
        return 0;
    case REQ_RECORDING_GET:
        store(record, recording);
        return 0;

    case REQ_ADD_OPTIONS:
        return add_options(record);

    case REQ_SAMPLE_RATE_GET:
        store(record, sample_rate);
        return 0;

    case REQ_SYSTEM_INFO:
        store(record, system_info);
        return 0;

    default:
        return -1;
    }
}

} // namespace zarn::sim
