// SPDX-License-Identifier: BSD-2-Clause

#include "tools/setup.h"

#include <cstring>
#include <limits>

#include "ctl/channel_config.h"
#include "ctl/compressor_settings.h"
#include "ctl/main_compressor_settings.h"
#include "ctl/monitor_config.h"
#include "ctl/strip_kind.h"

namespace zarn::state {

namespace {

// The gain steps, routing channels and flags the panel's controls offer; the
// delay's upper bound is the daemon's delay_limit, checked against the daemon.
constexpr std::int32_t MAX_AMP = 31;
constexpr std::int32_t MAX_ROUTE_CHANNEL = 63;
constexpr std::int32_t MAX_INT = std::numeric_limits<std::int32_t>::max();

static_assert(offsetof(CompressorSettings, decay) - offsetof(CompressorSettings, enabled) ==
              offsetof(MainCompressorSettings, decay) - offsetof(MainCompressorSettings, enabled));

} // namespace

const std::vector<Field> &config_fields(std::int32_t kind) {
    static const std::vector<Field> channel = {
        {"rx_amp", offsetof(ChannelConfig, rx_amp), -MAX_AMP, MAX_AMP},
        {"tx_amp", offsetof(ChannelConfig, tx_amp), -MAX_AMP, MAX_AMP},
        {"src_channel", offsetof(ChannelConfig, src_channel), 0, MAX_ROUTE_CHANNEL},
        {"dst_channel", offsetof(ChannelConfig, dst_channel), 0, MAX_ROUTE_CHANNEL},
        {"rx_mute", offsetof(ChannelConfig, rx_mute), 0, 1},
        {"tx_mute", offsetof(ChannelConfig, tx_mute), 0, 1},
        {"rx_polarity", offsetof(ChannelConfig, rx_polarity), 0, 1},
        {"tx_polarity", offsetof(ChannelConfig, tx_polarity), 0, 1},
        {"delay", offsetof(ChannelConfig, delay), 0, MAX_INT},
    };
    static const std::vector<Field> monitor = {
        {"src_channel", offsetof(MonitorConfig, src_channel), 0, MAX_ROUTE_CHANNEL},
        {"dst_channel", offsetof(MonitorConfig, dst_channel), 0, MAX_ROUTE_CHANNEL},
        {"polarity", offsetof(MonitorConfig, polarity), 0, 1},
        {"mute", offsetof(MonitorConfig, mute), 0, 1},
        {"amp", offsetof(MonitorConfig, amp), -MAX_AMP, MAX_AMP},
    };
    static const std::vector<Field> none;
    if (kind == KIND_DEVICE || kind == KIND_LOOP)
        return channel;
    if (kind == KIND_INPUT_MONITOR || kind == KIND_OUTPUT_MONITOR || kind == KIND_LOCAL_MONITOR)
        return monitor;
    return none;
}

const std::vector<Field> &compressor_fields() {
    constexpr std::size_t base = offsetof(MainCompressorSettings, enabled);
    static const std::vector<Field> fields = {
        {"enabled", offsetof(MainCompressorSettings, enabled) - base, 0, 1},
        {"knee", offsetof(MainCompressorSettings, knee) - base, 0, 255},
        {"attack", offsetof(MainCompressorSettings, attack) - base, 0, 62},
        {"decay", offsetof(MainCompressorSettings, decay) - base, 0, 62},
    };
    return fields;
}

bool has_config(std::int32_t kind) {
    return !config_fields(kind).empty();
}

bool has_channels(std::int32_t kind) {
    return kind == KIND_DEVICE || kind == KIND_LOOP || kind == KIND_MAIN_OUTPUT ||
           kind == KIND_MAIN_INPUT;
}

bool has_filters(std::int32_t kind) {
    return kind == KIND_DEVICE || kind == KIND_LOOP;
}

bool has_compressor(const Target &target) {
    return (target.kind == KIND_DEVICE || target.kind == KIND_LOOP ||
            target.kind == KIND_MAIN_OUTPUT) &&
           target.channel == 0;
}

namespace {

struct KindNames {
    const char *key;
    const char *words;
};

constexpr KindNames KIND_NAMES[KIND_COUNT] = {
    {"device", "device"},
    {"loopback", "loopback"},
    {"input_monitor", "input monitor"},
    {"output_monitor", "output monitor"},
    {"local_monitor", "local monitor"},
    {"main_output", "main output"},
    {"main_input", "main input"},
};

} // namespace

const char *kind_key(std::int32_t kind) {
    return kind >= 0 && kind < KIND_COUNT ? KIND_NAMES[kind].key : nullptr;
}

std::int32_t kind_from_key(const std::string &key) {
    for (std::int32_t kind = 0; kind < KIND_COUNT; ++kind) {
        if (key == KIND_NAMES[kind].key)
            return kind;
    }
    return -1;
}

std::string describe(const Target &target) {
    if (!kind_key(target.kind))
        return "kind " + std::to_string(target.kind);
    std::string text = KIND_NAMES[target.kind].words;
    if (target.kind == KIND_MAIN_OUTPUT || target.kind == KIND_MAIN_INPUT)
        return text + " channel " + std::to_string(target.channel);
    text += ' ' + std::to_string(target.number);
    if (target.kind == KIND_DEVICE || target.kind == KIND_LOOP)
        text += " channel " + std::to_string(target.channel);
    return text;
}

std::vector<std::string> out_of_range(const Setup &setup) {
    std::vector<std::string> lines;
    const auto check = [&](const Target &target, const std::vector<Field> &fields,
                           const Values &values, const char *prefix) {
        for (const Field &field : fields) {
            const auto found = values.find(field.name);
            if (found != values.end() && (found->second < field.low || found->second > field.high))
                lines.push_back(describe(target) + ": " + prefix + field.name + " " +
                                std::to_string(found->second) + " is outside " +
                                std::to_string(field.low) + " to " + std::to_string(field.high));
        }
    };
    for (const TargetState &state : setup.targets) {
        if (state.config)
            check(state.target, config_fields(state.target.kind), *state.config, "");
        if (state.compressor)
            check(state.target, compressor_fields(), *state.compressor, "compressor.");
    }
    return lines;
}

Values read_fields(const unsigned char *record, const std::vector<Field> &fields) {
    Values values;
    for (const Field &field : fields) {
        std::int32_t value;
        std::memcpy(&value, record + field.offset, sizeof value);
        values[field.name] = value;
    }
    return values;
}

void write_fields(unsigned char *record, const std::vector<Field> &fields, const Values &values) {
    for (const Field &field : fields) {
        const auto found = values.find(field.name);
        if (found != values.end())
            std::memcpy(record + field.offset, &found->second, sizeof found->second);
    }
}

} // namespace zarn::state
