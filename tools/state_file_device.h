// SPDX-License-Identifier: BSD-2-Clause

#pragma once

#include <cstdint>
#include <cstdio>
#include <string>
#include <vector>

#include "tools/state_file.h"

namespace zarn::state {

// Exit statuses of a restore.
constexpr int RESTORE_DONE = 0;    // everything restored and verified
constexpr int RESTORE_FAILED = 1;  // the daemon failed a request or read back other values
constexpr int RESTORE_SKIPPED = 3; // some targets did not match the daemon and were left alone

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

// One value a restore would change, as a dry run lists it.
struct Change {
    std::string target; // "device 0 channel 1"
    std::string field;  // "rx_amp", "compressor.knee", "tx_filter"
    std::string from;
    std::string to;
    std::string line; // the whole line a dry run prints
};

struct RestoreReport {
    std::vector<Change> changes; // dry run only
    std::vector<std::string> warnings;
    std::vector<std::string> skipped;  // "target: why"
    std::vector<std::string> problems; // failed requests and values read back otherwise
    std::vector<Target> restored;      // written, whether or not they read back the same
    bool refused = false;              // pedantic, and the daemon did not match
};

// Restores a setup that decode_setup has accepted, and says how in report.
int restore_setup(int fd, const Setup &setup, const RestoreOptions &options, RestoreReport &report);

// Restores a setup that decode_setup has accepted. Every read happens
// before the first write, so a daemon that fails a read, a mismatch under
// pedantic and a dry run all send nothing. Skipped targets, failures and
// warnings go to errors; the changes of a dry run go to out, one line each.
// Returns one of the statuses above.
// The targets written go to restored when it is given.
int restore_setup(int fd, const Setup &setup, const RestoreOptions &options, std::FILE *out,
                  std::FILE *errors, std::vector<Target> *restored = nullptr);

} // namespace zarn::state
