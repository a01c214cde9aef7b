// Requests per second over the socket transport against the simulated
// daemon's server on a thread: a device peak request and a 65536-tap filter
// fetch. The server runs without the test harness's request log, which would
// keep every 512 KiB filter.

#include <chrono>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <thread>
#include <unistd.h>
#include <vector>

#include "ctl/requests.h"
#include "ctl/transport.h"
#include "sim/engine.h"
#include "sim/server.h"

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
    zarn::sim::Engine engine(topology);
    zarn::sim::Server server(
        [&engine](std::uint32_t code, unsigned char *record, std::vector<double> &payload,
                  zarn::sim::ReplyFault &) { return engine.handle(code, record, payload); });
    char directory[] = "/tmp/zarnbench-XXXXXX";
    int wake[2];
    if (::mkdtemp(directory) == nullptr || ::pipe(wake) != 0) {
        std::printf("cannot set up the daemon\n");
        return 1;
    }
    const std::string path = std::string(directory) + "/zmix.ctl";
    std::string error;
    if (!server.listen(path, error)) {
        std::printf("%s\n", error.c_str());
        return 1;
    }
    std::thread serving([&server, &wake] { server.run(wake[0]); });

    const int fd = zarn::ctl_open(path.c_str());
    if (fd < 0) {
        std::printf("cannot connect to %s\n", path.c_str());
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
    const char byte = 0;
    ok = ::write(wake[1], &byte, 1) == 1 && ok;
    serving.join();
    server.close();
    ::rmdir(directory);
    return ok ? 0 : 1;
}
