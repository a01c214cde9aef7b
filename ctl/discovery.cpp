// SPDX-License-Identifier: BSD-2-Clause

#include "ctl/discovery.h"

#include <algorithm>

#include "ctl/catalogue.h"
#include "ctl/monitor_peak.h"
#include "ctl/target_peak.h"
#include "ctl/transport.h"

namespace zarn {

namespace {

// A peak request that probes one target: zero but for the selecting fields.
struct Probe {
    TargetPeak peak{};
    MonitorPeak monitor{};
    int result = -1;

    // The request's code and record; code 0 for a value that is no kind.
    BatchedRequest request(const Target &target) {
        const KindInfo *info = kind_info(target.kind);
        if (!info)
            return {0, nullptr, &result};
        if (info->peak_layout == PeakLayout::two_way) {
            peak.number = target.number;
            peak.channel = target.channel;
            return {info->peak, &peak, &result};
        }
        monitor.index =
            info->peak_layout == PeakLayout::by_channel ? target.channel : target.number;
        return {info->peak, &monitor, &result};
    }
};

} // namespace

bool probe_target(int fd, const Target &target) {
    Probe probe;
    const BatchedRequest r = probe.request(target);
    return r.code != 0 && ctl_request(fd, r.code, r.record) == 0;
}

bool targets_changed(int fd, const std::vector<Target> &known, int limit) {
    // The next target a discovery would meet after the known ones: another
    // channel of each known number, another number of each kind. At the
    // limit a discovery stops anyway, so nothing new could show.
    std::vector<Target> absent;
    if (static_cast<int>(known.size()) < limit) {
        for (std::int32_t kind = 0; kind < KIND_COUNT; ++kind) {
            const PeakLayout layout = kind_info(kind)->peak_layout;
            std::int32_t next_number = 0;
            std::int32_t next_channel = 0;
            for (const Target &t : known) {
                if (t.kind != kind)
                    continue;
                next_number = std::max(next_number, t.number + 1);
                next_channel = std::max(next_channel, t.channel + 1);
                if (layout == PeakLayout::two_way &&
                    std::find(known.begin(), known.end(), Target{kind, t.number, t.channel + 1}) ==
                        known.end())
                    absent.push_back({kind, t.number, t.channel + 1});
            }
            if (layout == PeakLayout::by_channel)
                absent.push_back({kind, 0, next_channel});
            else
                absent.push_back({kind, next_number, 0});
        }
    }
    std::vector<Probe> probes(known.size() + absent.size());
    std::vector<BatchedRequest> batch;
    batch.reserve(probes.size());
    std::size_t i = 0;
    for (const std::vector<Target> *list :
         {&known, static_cast<const std::vector<Target> *>(&absent)})
        for (const Target &t : *list)
            batch.push_back(probes[i++].request(t));
    ctl_request_batch(fd, batch.data(), static_cast<int>(batch.size()));
    for (std::size_t j = 0; j < probes.size(); ++j) {
        const bool exists = probes[j].result == 0;
        if (exists != (j < known.size()))
            return true;
    }
    return false;
}

std::vector<Target> find_targets(int fd, int limit) {
    std::vector<Target> found;
    const auto full = [&] { return static_cast<int>(found.size()) >= limit; };
    // Takes the unbroken run of targets from first on, counting up the
    // channel or the number, RUN probes a batch; returns its length.
    const auto run = [&](const Target &first, std::int32_t Target::*counted) {
        constexpr int RUN = 16;
        int length = 0;
        while (!full()) {
            Probe probes[RUN];
            BatchedRequest batch[RUN];
            for (int i = 0; i < RUN; ++i) {
                Target t = first;
                t.*counted += length + i;
                batch[i] = probes[i].request(t);
            }
            ctl_request_batch(fd, batch, RUN);
            int i = 0;
            for (; i < RUN && probes[i].result == 0 && !full(); ++i) {
                Target t = first;
                t.*counted += length + i;
                found.push_back(t);
            }
            length += i;
            if (i < RUN)
                break;
        }
        return length;
    };
    for (std::int32_t kind = 0; kind < KIND_COUNT && !full(); ++kind) {
        switch (kind_info(kind)->peak_layout) {
        case PeakLayout::two_way: {
            std::int32_t number = 0;
            while (!full() && run({kind, number, 0}, &Target::channel) > 0)
                ++number;
            break;
        }
        case PeakLayout::by_channel:
            run({kind, 0, 0}, &Target::channel);
            break;
        case PeakLayout::by_number:
            run({kind, 0, 0}, &Target::number);
            break;
        }
    }
    return found;
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
