// SPDX-License-Identifier: BSD-2-Clause
// The bridge's cost: requests through it, on the preload-served character
// device, side by side with the same requests on the simulated daemon's
// own socket; and 16 panels' worth of meters polled through it at once.

#include <atomic>
#include <chrono>
#include <csignal>
#include <cstdio>
#include <thread>
#include <vector>

#include "bench/timing.h"
#include "ctl/catalogue.h"
#include "ctl/requests.h"
#include "ctl/target_peak.h"
#include "ctl/transport.h"
#include "tests/bridge/bridge_rig.h"

namespace {

constexpr int TAPS = 65536;
constexpr int CLIENTS = 16;
constexpr int METERS = 128;

// Runs of requests on each descriptor in turn: each path is timed as a
// client uses it, one request right after another, and all of them under
// the same load of the machine, which changes while the benchmark runs.
// The median of each path's requests.
template <typename Request>
std::vector<double> median_in_turns(const std::vector<int> &fds, int turns, int run,
                                    Request request) {
    std::vector<std::vector<double>> times(fds.size());
    for (int turn = 0; turn < turns; ++turn) {
        for (std::size_t i = 0; i < fds.size(); ++i) {
            const auto t = bench::time_runs(run, [&] { request(fds[i]); });
            times[i].insert(times[i].end(), t.begin(), t.end());
        }
    }
    std::vector<double> medians;
    for (const std::vector<double> &t : times)
        medians.push_back(bench::median(t));
    return medians;
}

// In us.
std::vector<double> peak_us(const std::vector<int> &fds, int turns) {
    zarn::TargetPeak peak{};
    std::vector<double> us = median_in_turns(fds, turns, 50, [&](int fd) {
        peak.number = 0;
        peak.channel = 0;
        zarn::ctl_request(fd, zarn::REQ_DEV_PEAK, &peak);
    });
    for (double &t : us)
        t *= 1000.0;
    return us;
}

// In ms.
std::vector<double> fetch_ms(const std::vector<int> &fds, std::vector<double> &into, int turns) {
    const zarn::Target target{zarn::KIND_DEVICE, 0, 0};
    bool ok = true;
    const std::vector<double> ms = median_in_turns(fds, turns, 5, [&](int fd) {
        ok = zarn::fetch_filter(fd, target, true, TAPS, into.data()) && ok;
    });
    if (!ok)
        std::printf("  (a fetch failed)\n");
    return ms;
}

// What serving 16 panels' meters costs the device alone: one descriptor
// (as the bridge has) taking all their batches one after another.
double device_ticks_ms(const char *path, int ticks) {
    const int fd = zarn::ctl_open(path);
    std::vector<zarn::TargetPeak> peaks(METERS);
    std::vector<int> results(METERS);
    std::vector<zarn::BatchedRequest> batch(METERS);
    for (int m = 0; m < METERS; ++m) {
        peaks[m].number = m / 64;
        peaks[m].channel = m % 64;
        batch[m] = {zarn::REQ_DEV_PEAK, &peaks[m], &results[m]};
    }
    const auto times = bench::time_runs(ticks, [&] {
        for (int c = 0; c < CLIENTS; ++c)
            zarn::ctl_request_batch(fd, batch.data(), METERS);
    });
    zarn::ctl_close(fd);
    return bench::median(times);
}

// Each client a panel showing 128 meters: one batch of peaks per 100 ms.
void poll_meters(const char *path, const char *how) {
    std::atomic<long> failed{0}, done{0}, late{0};
    std::vector<double> worst(CLIENTS);
    const auto until = std::chrono::steady_clock::now() + std::chrono::seconds(5);
    std::vector<std::thread> clients;
    for (int c = 0; c < CLIENTS; ++c) {
        clients.emplace_back([&, c] {
            const int fd = zarn::ctl_open(path);
            std::vector<zarn::TargetPeak> peaks(METERS);
            std::vector<int> results(METERS);
            std::vector<zarn::BatchedRequest> batch(METERS);
            auto next = std::chrono::steady_clock::now();
            while (next < until) {
                for (int m = 0; m < METERS; ++m) {
                    peaks[m] = zarn::TargetPeak{};
                    peaks[m].number = m / 64;
                    peaks[m].channel = m % 64;
                    batch[m] = {zarn::REQ_DEV_PEAK, &peaks[m], &results[m]};
                }
                const auto start = std::chrono::steady_clock::now();
                failed += zarn::ctl_request_batch(fd, batch.data(), METERS);
                done += METERS;
                const double took = std::chrono::duration<double, std::milli>(
                                        std::chrono::steady_clock::now() - start)
                                        .count();
                worst[c] = std::max(worst[c], took);
                next += std::chrono::milliseconds(100);
                if (std::chrono::steady_clock::now() > next)
                    ++late;
                std::this_thread::sleep_until(next);
            }
            zarn::ctl_close(fd);
        });
    }
    for (std::thread &t : clients)
        t.join();
    std::printf("16 clients x 128 meters at 10 Hz for 5 s %s: %ld requests, %ld failed, %ld "
                "late ticks of %d, slowest batch %.1f ms\n",
                how, done.load(), failed.load(), late.load(), 50 * CLIENTS, bench::worst(worst));
}

} // namespace

int main() {
    std::signal(SIGPIPE, SIG_IGN);
    zarn::sim::Topology topology = zarn::sim::devices_only({64, 64});
    topology.filter_length = TAPS;
    bridge_rig::Rig rig(false, topology);
    if (!rig.serving()) {
        std::fprintf(stderr, "bench_bridge: the bridge does not listen\n");
        return 1;
    }
    const int direct = zarn::ctl_open(rig.daemon.path());
    const int bridged = zarn::ctl_open(rig.path.c_str());
    if (direct < 0 || bridged < 0) {
        std::fprintf(stderr, "bench_bridge: cannot connect\n");
        return 1;
    }

    // What the bridge itself pays for each request: the device's own path,
    // here a socket to the same daemon behind the preloaded ioctl.
    const int device = zarn::ctl_open(bridge_rig::DEVICE);
    const std::vector<int> paths = {direct, bridged, device};
    peak_us(paths, 10);
    const std::vector<double> peak = peak_us(paths, 100);
    std::printf("peak request: direct socket %.1f us, through the bridge %.1f us (%.2fx, "
                "target at most 2x); the device path alone %.1f us\n",
                peak[0], peak[1], peak[1] / peak[0], peak[2]);

    std::vector<double> taps(TAPS);
    for (int i = 0; i < TAPS; ++i)
        taps[static_cast<std::size_t>(i)] = 1.0 / (i + 1);
    zarn::write_filter(direct, zarn::Target{zarn::KIND_DEVICE, 0, 0}, true, TAPS, taps.data());
    fetch_ms(paths, taps, 1);
    const std::vector<double> fetch = fetch_ms(paths, taps, 20);
    std::printf("65536-tap fetch: direct socket %.2f ms, through the bridge %.2f ms (%.2fx, "
                "target at most 1.5x); the device path alone %.2f ms\n",
                fetch[0], fetch[1], fetch[1] / fetch[0], fetch[2]);
    zarn::ctl_close(device);
    zarn::ctl_close(direct);
    zarn::ctl_close(bridged);
    rig.daemon.clear_requests();

    std::printf("16 batches of 128 peaks on the device path alone, one descriptor: %.1f ms of "
                "every 100 ms tick\n",
                device_ticks_ms(bridge_rig::DEVICE, 20));
    poll_meters(rig.daemon.path(), "directly on the daemon's socket");
    poll_meters(rig.path.c_str(), "through the bridge");
    std::printf("refused by the bridge: %lu\n", rig.bridge.refused());
    return 0;
}
