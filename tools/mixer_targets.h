// SPDX-License-Identifier: BSD-2-Clause

#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "ctl/catalogue.h"
#include "tools/mixer_args.h"

// The targets of zarnmix_mixer by the names the panel shows, and their
// records as read from the daemon.
namespace zarn::mixer {

// As many targets as the panel shows.
constexpr int MAX_TARGETS = 128;

// A device, loopback, monitor, or the main output or input, with every
// channel, and the records its controls live in.
struct Group {
    std::string name;
    std::int32_t kind = 0;
    std::int32_t number = 0;
    std::int32_t channels = 0; // 1 for a monitor
    // One per channel of a device or loopback, one for a monitor, none for
    // the main channels; with each its read's result.
    std::vector<ConfigRecord> configs;
    std::vector<int> config_results;
    bool compressor_wanted = false;
    CompressorRecord compressor;
    int compressor_result = -1;
    CompressorValues comp_values; // as read, and as the sets leave them

    Target target(std::int32_t channel) const { return {kind, number, channel}; }
};

// The name of a target that is not named by the daemon: "main-out",
// "main-in", "in-mon0", "out-mon1", "local-mon0"; empty for a device or
// loopback.
std::string fixed_name(std::int32_t kind, std::int32_t number);

// A device's or loopback's name: the daemon's, or "device3", "loopback0"
// where the daemon's is empty, holds other characters than letters, digits,
// '_' and '-', or could be taken for another target's.
std::string two_way_name(std::int32_t kind, std::int32_t number, const ConfigRecord &record,
                         int read_result);

// Every target, with its records read (and its compressor's where it has
// one and compressors are wanted). A name that an earlier target has too
// goes to the later one as "device3" or "loopback0". False when the daemon
// did not answer.
bool load_all(int fd, bool compressors, std::vector<Group> &groups);

// The target of that name, with its records. A fixed word or a name ending
// in the number of the device or loopback it names is found with the reads
// of its own records; any other name walks all targets first. Returns 0,
// or 1 with a message when there is no such target.
int find_group(int fd, const std::string &name, bool compressor, Group &group, std::string &error);

// Reads the group's records again, in one exchange; false when any read
// failed, which means the target may have changed.
bool reread(int fd, std::vector<Group *> &groups);

// The current value of a control on a channel (the channel is ignored for
// the compressor and a monitor).
std::int32_t control_value(const Group &group, const Control &control, std::int32_t channel);
void set_control_value(Group &group, const Control &control, std::int32_t channel,
                       std::int32_t value);
// The largest delay the daemon accepts on that channel.
std::int32_t delay_limit(const Group &group, std::int32_t channel);
// Whether the target has that control, and whether its record was read.
const Control *group_control(const Group &group, const std::string &name);
bool control_read(const Group &group, const Control &control, std::int32_t channel);

} // namespace zarn::mixer
