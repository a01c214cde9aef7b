// SPDX-License-Identifier: BSD-2-Clause

#pragma once

#include <cstdint>
#include <functional>
#include <vector>

namespace zarn {

// Identity of one control target: its kind, the device, loopback or monitor
// number within the kind (0 for the main channels), and the channel within
// it (0 for a monitor).
struct Target {
    std::int32_t kind;
    std::int32_t number;
    std::int32_t channel;
};

// The most targets the panel shows strips for and the tools store: one
// limit, so that both see the same targets.
constexpr int MAX_TARGETS = 128;

inline bool operator==(const Target &a, const Target &b) {
    return a.kind == b.kind && a.number == b.number && a.channel == b.channel;
}

// Whether the target exists: its kind's peak request, on a record that is
// zero but for the selecting fields, succeeds.
bool probe_target(int fd, const Target &target);

// Walks the daemon's targets kind by kind in StripKind order, numbers and
// channels upwards, and calls found for each one that exists, at once, so
// whatever found sends comes between the probes. Stops right after the
// limit-th target without a further probe. Returns how many were found.
// The panel and the command-line tools share this walk, so both see the
// same targets in the same order.
int discover_targets(int fd, int limit, const std::function<void(const Target &)> &found);

// The same targets as discover_targets, in the same order, found with the
// probes sent in batches: for a caller that sends nothing between them.
std::vector<Target> find_targets(int fd, int limit);

// Whether the daemon's targets may differ from known, a discovery's result
// of at most limit targets: the known ones and the next possible one of each
// kind are probed in one batch, and any answer that differs says yes (as
// does a failed exchange, which a discovery will meet too). Cheap enough to
// ask every few seconds; only a yes needs the whole walk.
bool targets_changed(int fd, const std::vector<Target> &known, int limit);

} // namespace zarn
