// SPDX-License-Identifier: BSD-2-Clause

#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

#include "ctl/compressor_settings.h"
#include "ctl/discovery.h"
#include "ctl/filter_record.h"
#include "ctl/strip_kind.h"

// What each target kind has, and the typed requests on it. Every part of the
// program that needs a kind's records, codes or ranges asks here, so that a
// kind is described once.
namespace zarn {

// Ranges the panel's controls offer, and that a restore accepts.
constexpr std::int32_t GAIN_MAX = 31; // gain steps run from -GAIN_MAX to GAIN_MAX
constexpr std::int32_t ROUTE_CHANNEL_MAX = 63;
constexpr std::int32_t KNEE_MAX = 255;
// Attack and decay end at 62, not 63: pasted and reported values alike.
constexpr std::int32_t TIME_CONSTANT_MAX = 62;

// What a strip's control sets. A monitor's one direction has the RX roles.
enum class Role {
    rx_amp,
    tx_amp,
    src_channel,
    dst_channel,
    rx_mute,
    tx_mute,
    rx_polarity,
    tx_polarity,
    delay
};
constexpr int ROLE_COUNT = 9;

// One settable int32 field of a record: its name in state files, where it
// lies in the record, the values the controls can give it, and its control.
// The delay's real bound is the daemon's delay_limit.
struct Field {
    const char *name;
    std::size_t offset;
    std::int32_t low;
    std::int32_t high;
    Role role;
};

// How the kind's peak request selects its target.
enum class PeakLayout {
    two_way,    // TargetPeak: number and channel, a receive and a transmit level
    by_number,  // MonitorPeak, index = number (the monitors)
    by_channel, // MonitorPeak, index = channel (the main output and input)
};

struct FilterCodes {
    std::uint32_t get;
    std::uint32_t set;
};

struct KindInfo {
    std::int32_t kind;
    const char *key;   // in state files: "device", "input_monitor", ...
    const char *words; // as people say it: "device", "input monitor", ...
    // The strip's title for a kind that has no configured name.
    const char *title;
    PeakLayout peak_layout;
    std::uint32_t peak;
    // Configuration: 0 codes for none; the fields the controls set.
    std::uint32_t config_get;
    std::uint32_t config_set;
    const std::vector<Field> *config_fields;
    // Compressor of the whole device, loopback or main output: 0 for none.
    std::uint32_t compressor_get;
    std::uint32_t compressor_set;
    // Filters of each channel, receive and transmit: 0 codes for none.
    FilterCodes rx_filter;
    FilterCodes tx_filter;
    // The target's number has channels of its own (devices, loopbacks and
    // the main output and input).
    bool has_channels;

    bool two_way() const { return peak_layout == PeakLayout::two_way; }
    bool has_config() const { return config_get != 0; }
    bool has_compressor() const { return compressor_get != 0; }
    bool has_filters() const { return rx_filter.get != 0; }
    // A kind whose configuration names the target (devices and loopbacks).
    bool named() const { return title == nullptr; }
    const FilterCodes &filter(bool rx) const { return rx ? rx_filter : tx_filter; }
};

// The kind's entry; nullptr for a value that is no kind.
const KindInfo *kind_info(std::int32_t kind);
// The entry of a state-file key; nullptr for an unknown one.
const KindInfo *kind_by_key(const char *key);

// The fields of the kind's configuration (none for the main channels).
const std::vector<Field> &config_fields(std::int32_t kind);
// The compressor's four settings, as offsets into CompressorValues.
const std::vector<Field> &compressor_fields();

// The compressor window of a device, loopback or the main output belongs to
// its channel 0.
bool has_compressor(const Target &target);

// The peak request of a kind, 0 for none; discovery probes with it and the
// meter reads with it.
std::uint32_t peak_request(std::int32_t kind);

// Reading and changing single fields of a record of any layout.
std::int32_t field_value(const void *record, const Field &field);
void set_field(void *record, const Field &field, std::int32_t value);

// Room for a configuration record of either layout; the typed requests
// below take the kind's own record, a ChannelConfig or a MonitorConfig.
struct ConfigRecord {
    alignas(std::int32_t) unsigned char bytes[84] = {};
};

// Addresses the record to the target (number, and channel for two-way
// kinds) and reads or writes it; 0 on success. A kind without a
// configuration fails without a request.
int read_config(int fd, const Target &target, void *record);
int write_config(int fd, const Target &target, void *record);
// A configuration read for a batch: addresses the record and returns its
// code, 0 for a kind without a configuration.
std::uint32_t config_query(const Target &target, ConfigRecord &record);

// The compressor's settings in one layout for every kind; gain in thousandths.
struct CompressorValues {
    std::int32_t enabled = 0;
    std::int32_t knee = 0;
    std::int32_t attack = 0;
    std::int32_t decay = 0;
    std::int32_t gain = 0;
};

// A compressor read addressed to the target, for a batch: the code, and the
// record it fills, whose values come out with compressor_values.
struct CompressorRecord {
    alignas(std::int32_t) unsigned char bytes[sizeof(CompressorSettings)] = {};
};
CompressorRecord compressor_query(const Target &target);
CompressorValues compressor_values(std::int32_t kind, const CompressorRecord &record);

int read_compressor(int fd, const Target &target, CompressorValues &values);
// Sends the four settings with a zero gain, as the compressor window does.
int write_compressor(int fd, const Target &target, const CompressorValues &values);

// A length the daemon reports counts only within 0..MAX_FILTER_SIZE read as
// unsigned, so a negative size counts as no filter.
std::int32_t accepted_length(std::int32_t size);
// Fetches length coefficients into the array; true only when the daemon
// answered with the same length, which means the filter is in force.
bool fetch_filter(int fd, const Target &target, bool rx, std::int32_t length, double *into);
// A length query for a batch: fills the record and returns its code, 0 for
// a kind without filters.
std::uint32_t filter_query(const Target &target, bool rx, FilterRecord &record);
// A fetch of length coefficients into the array, for a batch: fills the
// record and returns its code, 0 for a kind without filters.
std::uint32_t filter_fetch(const Target &target, bool rx, std::int32_t length, double *into,
                           FilterRecord &record);
// The sample rate and the length of the target's filter in one direction,
// in one exchange; false when either request failed.
bool read_rate_and_length(int fd, const Target &target, bool rx, std::int32_t &rate,
                          std::int32_t &length);
// Writes length coefficients, or turns the filter off with none (nullptr).
int write_filter(int fd, const Target &target, bool rx, std::int32_t length,
                 const double *coefficients);

bool probe(int fd);
bool read_sample_rate(int fd, std::int32_t &rate);

// Every request the daemon knows, by its whole code; changes is false for
// the reads and peaks, which leave the daemon as it was.
struct RequestEntry {
    std::uint32_t code;
    bool changes;
};
// The entry of a code; nullptr for a code that is no request.
const RequestEntry *request_entry(std::uint32_t code);

} // namespace zarn
