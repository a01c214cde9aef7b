// SPDX-License-Identifier: BSD-2-Clause

#pragma once

#include <cstdio>
#include <string>

#include "tools/state_file.h"

namespace zarn::state {

// Exit statuses of a restore.
constexpr int RESTORE_DONE = 0;    // everything restored and verified
constexpr int RESTORE_FAILED = 1;  // the daemon failed a request or read back other values
constexpr int RESTORE_SKIPPED = 3; // some targets did not match the daemon and were left alone

// The same limit as the panel's strip table, so both see the same targets.
constexpr int MAX_TARGETS = 128;

// Reads the daemon's whole setup: the sample rate, and for every target the
// shared discovery walk finds its configuration, compressor and filters. On
// a failed request returns false and says which in error.
bool read_setup(int fd, Setup &setup, std::string &error);

struct RestoreOptions {
    bool pedantic = false; // any mismatch with the daemon: send nothing
    bool dry_run = false;  // print what would change, send nothing
};

// Restores a setup that decode_setup has accepted. Every read happens
// before the first write, so a daemon that fails a read, a mismatch under
// pedantic and a dry run all send nothing. Skipped targets, failures and
// warnings go to errors; the changes of a dry run go to out, one line each.
// Returns one of the statuses above.
int restore_setup(int fd, const Setup &setup, const RestoreOptions &options, std::FILE *out,
                  std::FILE *errors);

} // namespace zarn::state
