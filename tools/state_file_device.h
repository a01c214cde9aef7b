// SPDX-License-Identifier: BSD-2-Clause

#pragma once

#include <cstdint>
#include <cstdio>
#include <string>
#include <vector>

#include "tools/state_file.h"

namespace zarn::state {

// Exit statuses of a restore.
constexpr int RESTORE_DONE = 0;   // everything restored and verified
constexpr int RESTORE_FAILED = 1; // the daemon failed a request or read back other values
// Some targets, or parts of them, did not match the daemon and were left alone.
constexpr int RESTORE_SKIPPED = 3;

// Takes the daemon's setup as read_setup reads it, target by target.
class SetupSink {
public:
    virtual ~SetupSink() = default;
    virtual void sample_rate(std::int32_t hz) = 0;
    // The coefficients are read into the same arrays for the next target,
    // so they are the call's own: a sink that keeps them moves them out.
    // False stops the reading: read_setup returns false and leaves the
    // error to the sink.
    virtual bool target(TargetState &state) = 0;
};

// Reads the daemon's whole setup: the sample rate, and for every target the
// shared discovery walk finds its configuration, compressor and filters,
// handing each target on as soon as it is read, so that the largest setup
// never has to be held whole. On a failed request returns false and says
// which in error.
bool read_setup(int fd, SetupSink &sink, std::string &error);
// The same, collected into one Setup.
bool read_setup(int fd, Setup &setup, std::string &error);

struct RestoreOptions {
    bool pedantic = false; // any mismatch with the daemon: send nothing
    bool dry_run = false;  // print what would change, send nothing
};

// One write of a restore: a single field, read, changed and written back as
// the panel's controls do, or a whole filter.
struct Change {
    Target where{};
    std::string name;   // the daemon's name of a device or loopback, else empty
    std::string target; // "device 0 channel 1"
    std::string field;  // "rx_amp", "compressor.knee", "tx_filter"
    // A value's numbers; a filter's "off" or "on", and "on" to "on" for other
    // coefficients of the same length.
    std::string from;
    std::string to;
    std::int32_t taps = 0; // filters only
    std::string line;      // the whole line a dry run prints
};

// A part of a target that the daemon cannot take while the rest of the
// target is restored: a filter of another length, a delay beyond its limit.
struct PartSkip {
    Target where{};
    std::string name;      // as in Change
    std::string field;     // "rx_filter", "tx_filter", "delay"
    std::int32_t here = 0; // the daemon's filter length or delay limit
    std::int32_t file = 0; // the file's filter length or delay
    std::string line;      // "the delay of device 1 channel 0: 4500 is beyond ..."
};

struct RestoreReport {
    // What a dry run would write, or what a restore wrote, one entry a write.
    std::vector<Change> changes;
    std::vector<std::string> warnings;
    std::vector<std::string> skipped; // whole targets: "target: why"
    std::vector<PartSkip> parts_skipped;
    std::vector<std::string> problems; // failed requests and values read back otherwise
    std::vector<Target> restored;      // the targets restored, whether or not all read back
    bool refused = false;              // pedantic, and the daemon did not match
};

// Restores a setup that decode_setup has accepted, and says how in report.
int restore_setup(int fd, const Setup &setup, const RestoreOptions &options, RestoreReport &report);

// Restores a setup that decode_setup has accepted, writing only the fields
// and filters that differ from what the daemon holds. Every read happens
// before the first write, so a daemon that fails a read, a mismatch under
// pedantic and a dry run all send nothing. Skipped targets, failures and
// warnings go to errors; the changes of a dry run go to out, one line each.
// Returns one of the statuses above.
// The targets written go to restored when it is given.
int restore_setup(int fd, const Setup &setup, const RestoreOptions &options, std::FILE *out,
                  std::FILE *errors, std::vector<Target> *restored = nullptr);

} // namespace zarn::state
