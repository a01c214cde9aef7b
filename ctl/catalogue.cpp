// SPDX-License-Identifier: BSD-2-Clause

#include "ctl/catalogue.h"

#include <cstring>
#include <limits>

#include "ctl/channel_config.h"
#include "ctl/filter_record.h"
#include "ctl/main_compressor_settings.h"
#include "ctl/monitor_config.h"
#include "ctl/requests.h"
#include "ctl/transport.h"

namespace zarn {

namespace {

static_assert(sizeof(ConfigRecord::bytes) >= sizeof(ChannelConfig));
static_assert(sizeof(ConfigRecord::bytes) >= sizeof(MonitorConfig));
static_assert(offsetof(ChannelConfig, number) == offsetof(MonitorConfig, number));
static_assert(sizeof(CompressorRecord::bytes) >= sizeof(MainCompressorSettings));
// Both compressor records hold the same run of settings, from enabled on.
static_assert(offsetof(CompressorSettings, gain) - offsetof(CompressorSettings, enabled) ==
              offsetof(MainCompressorSettings, gain) - offsetof(MainCompressorSettings, enabled));
static_assert(offsetof(CompressorValues, gain) - offsetof(CompressorValues, enabled) ==
              offsetof(CompressorSettings, gain) - offsetof(CompressorSettings, enabled));

constexpr std::int32_t INT_MAX32 = std::numeric_limits<std::int32_t>::max();

const std::vector<Field> CHANNEL_FIELDS = {
    {"rx_amp", offsetof(ChannelConfig, rx_amp), -GAIN_MAX, GAIN_MAX, Role::rx_amp},
    {"tx_amp", offsetof(ChannelConfig, tx_amp), -GAIN_MAX, GAIN_MAX, Role::tx_amp},
    {"src_channel", offsetof(ChannelConfig, src_channel), 0, ROUTE_CHANNEL_MAX, Role::src_channel},
    {"dst_channel", offsetof(ChannelConfig, dst_channel), 0, ROUTE_CHANNEL_MAX, Role::dst_channel},
    {"rx_mute", offsetof(ChannelConfig, rx_mute), 0, 1, Role::rx_mute},
    {"tx_mute", offsetof(ChannelConfig, tx_mute), 0, 1, Role::tx_mute},
    {"rx_polarity", offsetof(ChannelConfig, rx_polarity), 0, 1, Role::rx_polarity},
    {"tx_polarity", offsetof(ChannelConfig, tx_polarity), 0, 1, Role::tx_polarity},
    {"delay", offsetof(ChannelConfig, delay), 0, INT_MAX32, Role::delay},
};

const std::vector<Field> MONITOR_FIELDS = {
    {"src_channel", offsetof(MonitorConfig, src_channel), 0, ROUTE_CHANNEL_MAX, Role::src_channel},
    {"dst_channel", offsetof(MonitorConfig, dst_channel), 0, ROUTE_CHANNEL_MAX, Role::dst_channel},
    {"polarity", offsetof(MonitorConfig, polarity), 0, 1, Role::rx_polarity},
    {"mute", offsetof(MonitorConfig, mute), 0, 1, Role::rx_mute},
    {"amp", offsetof(MonitorConfig, amp), -GAIN_MAX, GAIN_MAX, Role::rx_amp},
};

const std::vector<Field> NO_FIELDS;

// The compressor settings carry no control role of a strip.
const std::vector<Field> COMPRESSOR_FIELDS = {
    {"enabled", offsetof(CompressorValues, enabled), 0, 1, Role::rx_amp},
    {"knee", offsetof(CompressorValues, knee), 0, KNEE_MAX, Role::rx_amp},
    {"attack", offsetof(CompressorValues, attack), 0, TIME_CONSTANT_MAX, Role::rx_amp},
    {"decay", offsetof(CompressorValues, decay), 0, TIME_CONSTANT_MAX, Role::rx_amp},
};

constexpr FilterCodes NO_FILTER{0, 0};

const KindInfo KINDS[KIND_COUNT] = {
    {KIND_DEVICE,
     "device",
     "device",
     nullptr,
     PeakLayout::two_way,
     REQ_DEV_PEAK,
     REQ_DEV_CONFIG_GET,
     REQ_DEV_CONFIG_SET,
     &CHANNEL_FIELDS,
     REQ_DEV_COMP_GET,
     REQ_DEV_COMP_SET,
     {REQ_DEV_RX_FILTER_GET, REQ_DEV_RX_FILTER_SET},
     {REQ_DEV_TX_FILTER_GET, REQ_DEV_TX_FILTER_SET},
     true},
    {KIND_LOOP,
     "loopback",
     "loopback",
     nullptr,
     PeakLayout::two_way,
     REQ_LOOP_PEAK,
     REQ_LOOP_CONFIG_GET,
     REQ_LOOP_CONFIG_SET,
     &CHANNEL_FIELDS,
     REQ_LOOP_COMP_GET,
     REQ_LOOP_COMP_SET,
     {REQ_LOOP_RX_FILTER_GET, REQ_LOOP_RX_FILTER_SET},
     {REQ_LOOP_TX_FILTER_GET, REQ_LOOP_TX_FILTER_SET},
     true},
    {KIND_INPUT_MONITOR, "input_monitor", "input monitor", "Input Monitor", PeakLayout::by_number,
     REQ_INPUT_MON_PEAK, REQ_INPUT_MON_GET, REQ_INPUT_MON_SET, &MONITOR_FIELDS, 0, 0, NO_FILTER,
     NO_FILTER, false},
    {KIND_OUTPUT_MONITOR, "output_monitor", "output monitor", "Output Monitor",
     PeakLayout::by_number, REQ_OUTPUT_MON_PEAK, REQ_OUTPUT_MON_GET, REQ_OUTPUT_MON_SET,
     &MONITOR_FIELDS, 0, 0, NO_FILTER, NO_FILTER, false},
    {KIND_LOCAL_MONITOR, "local_monitor", "local monitor", "Local Monitor", PeakLayout::by_number,
     REQ_LOCAL_MON_PEAK, REQ_LOCAL_MON_GET, REQ_LOCAL_MON_SET, &MONITOR_FIELDS, 0, 0, NO_FILTER,
     NO_FILTER, false},
    {KIND_MAIN_OUTPUT, "main_output", "main output", "Main Output", PeakLayout::by_channel,
     REQ_MAIN_OUTPUT_PEAK, 0, 0, &NO_FIELDS, REQ_MAIN_COMP_GET, REQ_MAIN_COMP_SET, NO_FILTER,
     NO_FILTER, true},
    {KIND_MAIN_INPUT, "main_input", "main input", "Main Input", PeakLayout::by_channel,
     REQ_MAIN_INPUT_PEAK, 0, 0, &NO_FIELDS, 0, 0, NO_FILTER, NO_FILTER, true},
};

// Where the four settings start: the main output's record has no number.
std::size_t settings_offset(std::int32_t kind) {
    return kind == KIND_MAIN_OUTPUT ? offsetof(MainCompressorSettings, enabled)
                                    : offsetof(CompressorSettings, enabled);
}

FilterRecord filter_record(const Target &target, std::int32_t size, const double *coefficients) {
    FilterRecord record{};
    record.number = target.number;
    record.channel = target.channel;
    record.size = size;
    record.coefficients = reinterpret_cast<std::uintptr_t>(coefficients);
    return record;
}

const FilterCodes *filter_codes(const Target &target, bool rx) {
    const KindInfo *info = kind_info(target.kind);
    return info && info->has_filters() ? &info->filter(rx) : nullptr;
}

} // namespace

const KindInfo *kind_info(std::int32_t kind) {
    return kind >= 0 && kind < KIND_COUNT ? &KINDS[kind] : nullptr;
}

const KindInfo *kind_by_key(const char *key) {
    for (const KindInfo &info : KINDS) {
        if (std::strcmp(info.key, key) == 0)
            return &info;
    }
    return nullptr;
}

const std::vector<Field> &config_fields(std::int32_t kind) {
    const KindInfo *info = kind_info(kind);
    return info ? *info->config_fields : NO_FIELDS;
}

const std::vector<Field> &compressor_fields() {
    return COMPRESSOR_FIELDS;
}

bool has_compressor(const Target &target) {
    const KindInfo *info = kind_info(target.kind);
    return info && info->has_compressor() && target.channel == 0;
}

std::uint32_t peak_request(std::int32_t kind) {
    const KindInfo *info = kind_info(kind);
    return info ? info->peak : 0;
}

std::int32_t field_value(const void *record, const Field &field) {
    std::int32_t value;
    std::memcpy(&value, static_cast<const unsigned char *>(record) + field.offset, sizeof value);
    return value;
}

void set_field(void *record, const Field &field, std::int32_t value) {
    std::memcpy(static_cast<unsigned char *>(record) + field.offset, &value, sizeof value);
}

namespace {

// Addresses a configuration record; only devices and loopbacks have a
// channel in it. nullptr for a kind without a configuration.
const KindInfo *address_config(const Target &target, void *record) {
    const KindInfo *info = kind_info(target.kind);
    if (!info || !info->has_config())
        return nullptr;
    auto *bytes = static_cast<unsigned char *>(record);
    std::memcpy(bytes + offsetof(ChannelConfig, number), &target.number, sizeof target.number);
    if (info->two_way())
        std::memcpy(bytes + offsetof(ChannelConfig, channel), &target.channel,
                    sizeof target.channel);
    return info;
}

} // namespace

int read_config(int fd, const Target &target, void *record) {
    const KindInfo *info = address_config(target, record);
    return info ? ctl_request(fd, info->config_get, record) : -1;
}

int write_config(int fd, const Target &target, void *record) {
    const KindInfo *info = address_config(target, record);
    return info ? ctl_request(fd, info->config_set, record) : -1;
}

std::uint32_t config_query(const Target &target, ConfigRecord &record) {
    const KindInfo *info = address_config(target, record.bytes);
    return info ? info->config_get : 0;
}

CompressorRecord compressor_query(const Target &target) {
    CompressorRecord record;
    if (target.kind != KIND_MAIN_OUTPUT)
        std::memcpy(record.bytes + offsetof(CompressorSettings, number), &target.number,
                    sizeof target.number);
    return record;
}

CompressorValues compressor_values(std::int32_t kind, const CompressorRecord &record) {
    CompressorValues values;
    std::memcpy(&values.enabled, record.bytes + settings_offset(kind),
                offsetof(CompressorValues, gain) + sizeof values.gain);
    return values;
}

int read_compressor(int fd, const Target &target, CompressorValues &values) {
    const KindInfo *info = kind_info(target.kind);
    if (!info || !info->has_compressor())
        return -1;
    CompressorRecord record = compressor_query(target);
    if (ctl_request(fd, info->compressor_get, record.bytes) != 0)
        return -1;
    values = compressor_values(target.kind, record);
    return 0;
}

int write_compressor(int fd, const Target &target, const CompressorValues &values) {
    const KindInfo *info = kind_info(target.kind);
    if (!info || !info->has_compressor())
        return -1;
    CompressorRecord record = compressor_query(target);
    CompressorValues settings = values;
    settings.gain = 0;
    std::memcpy(record.bytes + settings_offset(target.kind), &settings.enabled,
                offsetof(CompressorValues, gain) + sizeof settings.gain);
    return ctl_request(fd, info->compressor_set, record.bytes);
}

std::int32_t accepted_length(std::int32_t size) {
    return static_cast<std::uint32_t>(size) <= static_cast<std::uint32_t>(MAX_FILTER_SIZE) ? size
                                                                                           : 0;
}

bool fetch_filter(int fd, const Target &target, bool rx, std::int32_t length, double *into) {
    const FilterCodes *codes = filter_codes(target, rx);
    if (!codes || length <= 0)
        return false;
    FilterRecord fetch = filter_record(target, length, into);
    // Any other answer means no filter is in force.
    return ctl_request(fd, codes->get, &fetch) == 0 && accepted_length(fetch.size) == length;
}

std::uint32_t filter_query(const Target &target, bool rx, FilterRecord &record) {
    const FilterCodes *codes = filter_codes(target, rx);
    record = filter_record(target, 0, nullptr);
    return codes ? codes->get : 0;
}

std::uint32_t filter_fetch(const Target &target, bool rx, std::int32_t length, double *into,
                           FilterRecord &record) {
    const FilterCodes *codes = filter_codes(target, rx);
    record = filter_record(target, length, into);
    return codes ? codes->get : 0;
}

bool read_rate_and_length(int fd, const Target &target, bool rx, std::int32_t &rate,
                          std::int32_t &length) {
    FilterRecord query;
    const std::uint32_t code = filter_query(target, rx, query);
    if (code == 0)
        return false;
    std::int32_t answer = 0;
    int results[2] = {-1, -1};
    const BatchedRequest batch[] = {{REQ_SAMPLE_RATE_GET, &answer, &results[0]},
                                    {code, &query, &results[1]}};
    if (ctl_request_batch(fd, batch, 2) != 0)
        return false;
    rate = answer;
    length = accepted_length(query.size);
    return true;
}

int write_filter(int fd, const Target &target, bool rx, std::int32_t length,
                 const double *coefficients) {
    const FilterCodes *codes = filter_codes(target, rx);
    if (!codes)
        return -1;
    // The daemon only reads the array; the record's field is not const.
    FilterRecord record = filter_record(target, length, coefficients);
    return ctl_request(fd, codes->set, &record);
}

bool probe(int fd) {
    std::int32_t answer = 0;
    return ctl_request(fd, REQ_PROBE, &answer) == 0;
}

bool read_sample_rate(int fd, std::int32_t &rate) {
    std::int32_t answer = 0;
    if (ctl_request(fd, REQ_SAMPLE_RATE_GET, &answer) != 0)
        return false;
    rate = answer;
    return true;
}

namespace {

const RequestEntry REQUESTS[] = {
    {REQ_PROBE, false},
    {REQ_DEV_CONFIG_GET, false},
    {REQ_DEV_CONFIG_SET, true},
    {REQ_LOOP_CONFIG_GET, false},
    {REQ_LOOP_CONFIG_SET, true},
    {REQ_INPUT_MON_GET, false},
    {REQ_INPUT_MON_SET, true},
    {REQ_OUTPUT_MON_GET, false},
    {REQ_OUTPUT_MON_SET, true},
    {REQ_DEV_PEAK, false},
    {REQ_LOOP_PEAK, false},
    {REQ_INPUT_MON_PEAK, false},
    {REQ_OUTPUT_MON_PEAK, false},
    {REQ_MAIN_COMP_SET, true},
    {REQ_MAIN_COMP_GET, false},
    {REQ_DEV_COMP_SET, true},
    {REQ_DEV_COMP_GET, false},
    {REQ_LOOP_COMP_SET, true},
    {REQ_LOOP_COMP_GET, false},
    {REQ_MAIN_OUTPUT_PEAK, false},
    {REQ_MAIN_INPUT_PEAK, false},
    {REQ_RECORDING_SET, true},
    {REQ_RECORDING_GET, false},
    {REQ_DELAY_LOCATOR_SET, true},
    {REQ_DELAY_LOCATOR_GET, false},
    {REQ_DELAY_LOCATOR_RESET, true},
    {REQ_ADD_OPTIONS, true},
    {REQ_DEV_RX_FILTER_GET, false},
    {REQ_DEV_RX_FILTER_SET, true},
    {REQ_DEV_TX_FILTER_GET, false},
    {REQ_DEV_TX_FILTER_SET, true},
    {REQ_LOOP_RX_FILTER_GET, false},
    {REQ_LOOP_RX_FILTER_SET, true},
    {REQ_LOOP_TX_FILTER_GET, false},
    {REQ_LOOP_TX_FILTER_SET, true},
    {REQ_SAMPLE_RATE_GET, false},
    {REQ_LOCAL_MON_GET, false},
    {REQ_SYSTEM_INFO, false},
    {REQ_LOCAL_MON_SET, true},
    {REQ_LOCAL_MON_PEAK, false},
};

} // namespace

const RequestEntry *request_entry(std::uint32_t code) {
    for (const RequestEntry &entry : REQUESTS) {
        if (entry.code == code)
            return &entry;
    }
    return nullptr;
}

} // namespace zarn
