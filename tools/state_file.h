// SPDX-License-Identifier: BSD-2-Clause

#pragma once

#include <cstddef>
#include <cstdint>
#include <map>
#include <optional>
#include <string>
#include <vector>

#include "ctl/catalogue.h"
#include "ctl/discovery.h"

namespace zarn::state {

using zarn::Field;

// Values of settable fields by name; a field the file leaves out is absent.
using Values = std::map<std::string, std::int32_t>;

// The longest filter text a file or the settings may carry, in UTF-8 bytes:
// far beyond what anyone types for 65536 taps.
constexpr std::size_t MAX_FILTER_TEXT = 1 << 16;
// The longest name of a channel a file may carry, in UTF-8 bytes: the
// panel keeps at most 64 characters.
constexpr std::size_t MAX_CHANNEL_NAME_BYTES = 256;

struct FilterState {
    std::int32_t length = 0; // the daemon's filter length; 0 = no filter here
    bool on = false;
    std::vector<double> coefficients; // length values while on, else empty
    // The filter text that designed these coefficients, where the panel
    // kept one; only while on.
    std::optional<std::string> text;
};

struct TargetState {
    Target target{};
    // Channels of the whole device, loopback, main output or main input the
    // target belongs to; a restore skips the target when the daemon's differ.
    std::optional<std::int32_t> channels;
    std::optional<std::string> name; // devices and loopbacks only
    // The user's name for the channel ("Speakers L"), where the panel keeps
    // one; any kind.
    std::optional<std::string> channel_name;
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

// The target as people call it: "device 0 channel 1", "input monitor 1",
// "main output channel 0".
std::string describe(const Target &target);

// One line for each of the target's values outside the range a restore
// accepts, as in "device 0 channel 1: rx_amp 40 is outside -31 to 31".
std::vector<std::string> out_of_range(const TargetState &state);

Values read_fields(const unsigned char *record, const std::vector<Field> &fields);
// Overlays the values present onto the record; fields without a value keep theirs.
void write_fields(unsigned char *record, const std::vector<Field> &fields, const Values &values);

} // namespace zarn::state
