// SPDX-License-Identifier: BSD-2-Clause

#pragma once

#include <cstddef>
#include <cstdint>
#include <map>
#include <optional>
#include <string>
#include <vector>

#include "ctl/discovery.h"

namespace zarn::state {

// One settable int32 field of a record: its name in the file, where it lies
// in the record, and the values the panel's controls can give it.
struct Field {
    const char *name;
    std::size_t offset;
    std::int32_t low;
    std::int32_t high;
};

// Values of settable fields by name; a field the file leaves out is absent.
using Values = std::map<std::string, std::int32_t>;

struct FilterState {
    std::int32_t length = 0; // the daemon's filter length; 0 = no filter here
    bool on = false;
    std::vector<double> coefficients; // length values while on, else empty
};

struct TargetState {
    Target target{};
    // Channels of the whole device, loopback, main output or main input the
    // target belongs to; a restore skips the target when the daemon's differ.
    std::optional<std::int32_t> channels;
    std::optional<std::string> name;      // devices and loopbacks only
    std::optional<Values> config;         // every kind but the main channels
    std::optional<Values> compressor;     // channel 0 of devices, loopbacks, main output
    std::optional<FilterState> rx_filter; // devices and loopbacks only
    std::optional<FilterState> tx_filter; // devices and loopbacks only
};

// The daemon's whole setup, as stored in and restored from one file.
struct Setup {
    std::int32_t sample_rate = 0;
    std::vector<TargetState> targets;
};

// The configuration fields of the kind's record (empty for the main
// channels, which have none).
const std::vector<Field> &config_fields(std::int32_t kind);
// The compressor's four settings, as offsets from its enabled field, which
// starts the same run of fields in both compressor records.
const std::vector<Field> &compressor_fields();

bool has_config(std::int32_t kind);
// Devices, loopbacks and the main output and input have channels.
bool has_channels(std::int32_t kind);
bool has_filters(std::int32_t kind);
bool has_compressor(const Target &target);

// The kind's name in the file ("device", "input_monitor", ...); nullptr for
// no kind. kind_from_key is its inverse; -1 for an unknown name.
const char *kind_key(std::int32_t kind);
std::int32_t kind_from_key(const std::string &key);

// The target as people call it: "device 0 channel 1", "input monitor 1",
// "main output channel 0".
std::string describe(const Target &target);

// One line for each stored value outside the range a restore accepts, as
// in "device 0 channel 1: rx_amp 40 is outside -31 to 31".
std::vector<std::string> out_of_range(const Setup &setup);

Values read_fields(const unsigned char *record, const std::vector<Field> &fields);
// Overlays the values present onto the record; fields without a value keep theirs.
void write_fields(unsigned char *record, const std::vector<Field> &fields, const Values &values);

} // namespace zarn::state
