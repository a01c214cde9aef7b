// SPDX-License-Identifier: BSD-2-Clause

#include "ctl/discovery.h"

#include "ctl/catalogue.h"
#include "ctl/monitor_peak.h"
#include "ctl/target_peak.h"
#include "ctl/transport.h"

namespace zarn {

bool probe_target(int fd, const Target &target) {
    const KindInfo *info = kind_info(target.kind);
    if (!info)
        return false;
    TargetPeak peak{};
    MonitorPeak monitor{};
    void *record = &monitor;
    if (info->peak_layout == PeakLayout::two_way) {
        peak.number = target.number;
        peak.channel = target.channel;
        record = &peak;
    } else {
        monitor.index =
            info->peak_layout == PeakLayout::by_channel ? target.channel : target.number;
    }
    return ctl_request(fd, info->peak, record) == 0;
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
    for (std::int32_t kind = 0; kind < KIND_COUNT; ++kind) {
        const PeakLayout layout = kind_info(kind)->peak_layout;
        if (layout == PeakLayout::two_way) {
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
        } else if (layout == PeakLayout::by_channel) {
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
