// SPDX-License-Identifier: BSD-2-Clause

#include "ctl/discovery.h"

#include "ctl/monitor_peak.h"
#include "ctl/requests.h"
#include "ctl/target_peak.h"
#include "ctl/transport.h"

namespace zarn {

bool probe_target(int fd, const Target &target) {
    TargetPeak peak{};
    MonitorPeak monitor{};
    void *record = &monitor;
    if (target.kind == KIND_DEVICE || target.kind == KIND_LOOP) {
        peak.number = target.number;
        peak.channel = target.channel;
        record = &peak;
    } else {
        // Main channels are selected by channel, monitors by number.
        const bool main = target.kind == KIND_MAIN_OUTPUT || target.kind == KIND_MAIN_INPUT;
        monitor.index = main ? target.channel : target.number;
    }
    return ctl_request(fd, peak_request(target.kind), record) == 0;
}

int discover_targets(int fd, int limit, const std::function<void(const Target &)> &found) {
    int count = 0;
    // Reports one target; false once the limit is reached.
    const auto take = [&](const Target &target) {
        found(target);
        return ++count < limit;
    };
    if (limit <= 0)
        return 0;
    for (std::int32_t kind = KIND_DEVICE; kind <= KIND_MAIN_INPUT; ++kind) {
        if (kind == KIND_DEVICE || kind == KIND_LOOP) {
            for (std::int32_t number = 0;; ++number) {
                std::int32_t channel = 0;
                while (probe_target(fd, {kind, number, channel})) {
                    if (!take({kind, number, channel}))
                        return count;
                    ++channel;
                }
                if (channel == 0)
                    break;
            }
        } else if (kind == KIND_MAIN_OUTPUT || kind == KIND_MAIN_INPUT) {
            for (std::int32_t channel = 0; probe_target(fd, {kind, 0, channel}); ++channel) {
                if (!take({kind, 0, channel}))
                    return count;
            }
        } else {
            for (std::int32_t number = 0; probe_target(fd, {kind, number, 0}); ++number) {
                if (!take({kind, number, 0}))
                    return count;
            }
        }
    }
    return count;
}

} // namespace zarn
