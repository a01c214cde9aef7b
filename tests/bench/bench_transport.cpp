// Requests per second over the socket transport against the in-process
// simulated daemon: a device peak request and a 65536-tap filter fetch.

#include <chrono>
#include <cstdint>
#include <cstdio>
#include <vector>

#include "ctl/requests.h"
#include "ctl/transport.h"
#include "sim/test_daemon.h"

namespace {

using Clock = std::chrono::steady_clock;

// Runs request() for about a second and prints the rate; false on the first failure.
template <typename F> bool measure(const char *name, F request) {
    for (int i = 0; i < 10; ++i) {
        if (!request()) {
            std::printf("%s: request failed\n", name);
            return false;
        }
    }
    const auto start = Clock::now();
    long count = 0;
    double seconds = 0.0;
    do {
        for (int i = 0; i < 50; ++i) {
            if (!request()) {
                std::printf("%s: request failed\n", name);
                return false;
            }
        }
        count += 50;
        seconds = std::chrono::duration<double>(Clock::now() - start).count();
    } while (seconds < 1.0);
    std::printf("%-32s %10.0f requests/s  %8.2f us/request\n", name, count / seconds,
                seconds * 1e6 / count);
    return true;
}

} // namespace

int main() {
    zarn::sim::Topology topology;
    topology.filter_length = zarn::MAX_FILTER_SIZE;
    zarn::sim::TestDaemon daemon(topology);
    daemon.set_hook(
        [](std::uint32_t, unsigned char *, std::vector<double> &) { return std::optional<int>(); });

    const int fd = zarn::ctl_open(daemon.path());
    if (fd < 0) {
        std::printf("cannot connect to %s\n", daemon.path());
        return 1;
    }

    bool ok = measure("device peak (64 bytes)", [fd] {
        zarn::TargetPeak peak{};
        return zarn::ctl_request(fd, zarn::REQ_DEV_PEAK, &peak) == 0;
    });

    std::vector<double> taps(zarn::MAX_FILTER_SIZE, 0.25);
    zarn::FilterRecord set{};
    set.size = zarn::MAX_FILTER_SIZE;
    set.coefficients = reinterpret_cast<std::uintptr_t>(taps.data());
    ok = ok && zarn::ctl_request(fd, zarn::REQ_DEV_RX_FILTER_SET, &set) == 0;

    std::vector<double> fetched(zarn::MAX_FILTER_SIZE);
    ok = ok && measure("filter fetch (65536 taps)", [fd, &fetched] {
             zarn::FilterRecord get{};
             get.size = zarn::MAX_FILTER_SIZE;
             get.coefficients = reinterpret_cast<std::uintptr_t>(fetched.data());
             return zarn::ctl_request(fd, zarn::REQ_DEV_RX_FILTER_GET, &get) == 0;
         });
    ok = ok && measure("filter write (65536 taps)", [fd, &taps] {
             zarn::FilterRecord put{};
             put.size = zarn::MAX_FILTER_SIZE;
             put.coefficients = reinterpret_cast<std::uintptr_t>(taps.data());
             return zarn::ctl_request(fd, zarn::REQ_DEV_RX_FILTER_SET, &put) == 0;
         });
    zarn::ctl_close(fd);
    return ok ? 0 : 1;
}
