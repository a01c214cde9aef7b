// SPDX-License-Identifier: BSD-2-Clause
// The socket transport next to its floor: a device peak request (64 bytes)
// and a 65536-tap filter fetch, each timed as
// - a bare socketpair ping-pong of the same sizes (one send and one receive
//   on either side), the floor;
// - ctl_request against a minimal server that answers with those same calls,
//   so that the ratio to the floor is the transport's own cost;
// - ctl_request on a descriptor ctl_open did not return (a dup of it): the
//   fstat and poll of every request that the transport made before;
// - ctl_request against the simulated daemon's server, the whole road.
// The servers run on threads; the simulated one without the test harness's
// request log, which would keep every 512 KiB filter. Besides the wall time
// of each request, the CPU time that the client's and the server's threads
// spent on it: the machine is shared, and the CPU time shows the work of
// each side where a busy machine stretches the wall time.
// Every row is timed twice: with the threads where the system puts them, and
// with all of them on one CPU. On this shared virtual machine a wakeup on the
// other CPU costs anything from 3 to 25 us and drowns the transport's own
// cost; on one CPU a round trip is two plain thread switches, which shows
// that cost alone.
//
// Then the hand-off of a character device's requests to the helper thread
// of its descriptor: a device peak request, a batch of 128 of them and a
// 65536-tap filter fetch, each timed as a direct ioctl on the descriptor and
// through the transport. The device is /dev/zero, whose ioctl this program
// answers itself at memory speed, filling the record and a fetch's taps as a
// device would: the ioctl costs the same in both rows, and the difference is
// the hand-off with its private copies. Target: at most 20 us more per
// request or batch. Back to back, the helper is still awake when the next
// request comes, as within a tick; the rows "after 1 ms idle" time the first
// request of a tick, which has to wake it.

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstdarg>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <dlfcn.h>
#include <functional>
#include <pthread.h>
#include <sched.h>
#include <string>
#include <sys/socket.h>
#include <sys/un.h>
#include <thread>
#include <time.h>
#include <unistd.h>
#include <vector>

#include "ctl/filter_record.h"
#include "ctl/requests.h"
#include "ctl/target_peak.h"
#include "ctl/transport.h"
#include "sim/engine.h"
#include "sim/server.h"
#include "support/stream_io.h"
#include "timing.h"

// Defined below; no system header is included for it, so that the
// definition needs to match nothing but the call.
extern "C" int ioctl(int fd, unsigned long request, ...);

namespace {

using Clock = std::chrono::steady_clock;

constexpr std::size_t TAP_BYTES = zarn::MAX_FILTER_SIZE * sizeof(double);

// A request to time, and the CPU clock of the thread that serves it.
struct Timed {
    std::function<bool()> request;
    clockid_t server;
};

// Microseconds per request: wall time, and CPU time of the calling thread
// and of the serving one.
struct Cost {
    double wall = -1.0;
    double client = -1.0;
    double server = -1.0;
};

double cpu_us(clockid_t clock) {
    timespec t{};
    ::clock_gettime(clock, &t);
    return static_cast<double>(t.tv_sec) * 1e6 + static_cast<double>(t.tv_nsec) / 1e3;
}

clockid_t cpu_clock(std::thread &thread) {
    clockid_t clock = CLOCK_THREAD_CPUTIME_ID;
    if (::pthread_getcpuclockid(thread.native_handle(), &clock) != 0)
        return CLOCK_THREAD_CPUTIME_ID;
    return clock;
}

// Per call of request() over about 50 ms; negative when a request failed.
Cost time_slice(const Timed &timed) {
    const auto start = Clock::now();
    const double client = cpu_us(CLOCK_THREAD_CPUTIME_ID);
    const double server = cpu_us(timed.server);
    long count = 0;
    double seconds = 0.0;
    do {
        for (int i = 0; i < 10; ++i)
            if (!timed.request())
                return Cost{};
        count += 10;
        seconds = std::chrono::duration<double>(Clock::now() - start).count();
    } while (seconds < 0.05);
    return Cost{seconds * 1e6 / count, (cpu_us(CLOCK_THREAD_CPUTIME_ID) - client) / count,
                (cpu_us(timed.server) - server) / count};
}

double median_of(const std::vector<double> &v) {
    return *std::min_element(v.begin(), v.end()) < 0 ? -1.0 : bench::median(v);
}

// Times every request in turn, round after round, so that a change of load on
// the machine falls on all of them alike; the median round of each, each
// figure on its own.
std::vector<Cost> time_interleaved(const std::vector<Timed> &requests) {
    constexpr int ROUNDS = 15;
    std::vector<std::vector<Cost>> slices(requests.size());
    for (int round = 0; round < ROUNDS; ++round)
        for (std::size_t i = 0; i < requests.size(); ++i)
            slices[i].push_back(time_slice(requests[i]));
    std::vector<Cost> medians;
    for (const std::vector<Cost> &s : slices) {
        std::vector<double> wall, client, server;
        for (const Cost &c : s) {
            wall.push_back(c.wall);
            client.push_back(c.client);
            server.push_back(c.server);
        }
        medians.push_back(Cost{median_of(wall), median_of(client), median_of(server)});
    }
    return medians;
}

using test_io::recv_all;
using test_io::send_all;

// Answers framed requests on fd with one receive for the request (the client
// sends it in one call, so it is normally all there; only a short one waits
// for the rest) and one send for the reply, record and any doubles together,
// until the peer closes: the calls of the bare server. Filter reads are
// answered with doubles; everything else echoes.
void minimal_server(int fd) {
    std::vector<unsigned char> buffer(sizeof(std::int32_t) + zarn::IOC_SIZE_MASK + TAP_BYTES);
    // The code lands where the result goes, so the record is answered in place.
    static_assert(sizeof(std::uint32_t) == sizeof(std::int32_t));
    unsigned char *const request = buffer.data();
    for (;;) {
        const ssize_t got = ::recv(fd, request, sizeof(std::uint32_t) + zarn::IOC_SIZE_MASK, 0);
        if (got < static_cast<ssize_t>(sizeof(std::uint32_t)))
            return;
        std::uint32_t code;
        std::memcpy(&code, request, sizeof code);
        const std::size_t length = zarn::ioc_size(code);
        const std::size_t have = static_cast<std::size_t>(got) - sizeof code;
        if (have > length || !recv_all(fd, request + sizeof code + have, length - have))
            return;
        std::size_t doubles = 0;
        if (zarn::is_filter_get(code))
            doubles = zarn::carried_doubles(buffer.data() + sizeof(std::int32_t));
        const std::int32_t result = 0;
        std::memcpy(buffer.data(), &result, sizeof result);
        if (!send_all(fd, buffer.data(), sizeof result + length + doubles * sizeof(double)))
            return;
    }
}

// The same shape without the protocol: bytes_out from the client, bytes_back
// to it.
void bare_server(int fd, std::size_t bytes_out, std::size_t bytes_back) {
    std::vector<unsigned char> buffer(std::max(bytes_out, bytes_back));
    while (recv_all(fd, buffer.data(), bytes_out) && send_all(fd, buffer.data(), bytes_back)) {
    }
}

// A socketpair with bare_server on the far end.
class BarePair {
public:
    BarePair(std::size_t bytes_out, std::size_t bytes_back)
        : out_(bytes_out, 1), back_(bytes_back) {
        if (::socketpair(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0, pair_) == 0)
            server_ = std::thread(bare_server, pair_[1], bytes_out, bytes_back);
    }
    ~BarePair() {
        ::shutdown(pair_[0], SHUT_RDWR);
        if (server_.joinable())
            server_.join();
        ::close(pair_[0]);
        ::close(pair_[1]);
    }
    clockid_t server_clock() { return cpu_clock(server_); }
    bool ping() {
        return send_all(pair_[0], out_.data(), out_.size()) &&
               recv_all(pair_[0], back_.data(), back_.size());
    }

private:
    int pair_[2] = {-1, -1};
    std::vector<unsigned char> out_, back_;
    std::thread server_;
};

// A listening socket at path whose single connection minimal_server answers.
class MinimalDaemon {
public:
    explicit MinimalDaemon(const std::string &path) : path_(path) {
        listener_ = ::socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0);
        sockaddr_un address{};
        address.sun_family = AF_UNIX;
        std::strncpy(address.sun_path, path.c_str(), sizeof address.sun_path - 1);
        if (listener_ < 0 ||
            ::bind(listener_, reinterpret_cast<sockaddr *>(&address), sizeof address) != 0 ||
            ::listen(listener_, 1) != 0)
            return;
        serving_ = std::thread([this] {
            const int fd = ::accept(listener_, nullptr, nullptr);
            if (fd >= 0) {
                minimal_server(fd);
                ::close(fd);
            }
        });
    }
    clockid_t server_clock() { return cpu_clock(serving_); }
    ~MinimalDaemon() {
        if (serving_.joinable())
            serving_.join();
        ::close(listener_);
        ::unlink(path_.c_str());
    }

private:
    std::string path_;
    int listener_ = -1;
    std::thread serving_;
};

std::function<bool()> peak_request(int fd) {
    return [fd] {
        zarn::TargetPeak peak{};
        return zarn::ctl_request(fd, zarn::REQ_DEV_PEAK, &peak) == 0;
    };
}

std::function<bool()> fetch_request(int fd, std::vector<double> &fetched) {
    return [fd, &fetched] {
        zarn::FilterRecord get{};
        get.size = zarn::MAX_FILTER_SIZE;
        get.coefficients = reinterpret_cast<std::uintptr_t>(fetched.data());
        return zarn::ctl_request(fd, zarn::REQ_DEV_RX_FILTER_GET, &get) == 0;
    };
}

// Sets up the bare pairs and both daemons in directory, times every row and
// prints the table. Returns false when something could not be set up or a
// request failed.
bool measure(const char *directory, const char *title) {
    int wake[2];
    if (::pipe(wake) != 0) {
        std::printf("cannot set up the daemons\n");
        return false;
    }
    const std::size_t code_size = sizeof(std::uint32_t);
    const std::size_t result_size = sizeof(std::int32_t);
    BarePair bare_peak(code_size + sizeof(zarn::TargetPeak),
                       result_size + sizeof(zarn::TargetPeak));
    BarePair bare_fetch(code_size + sizeof(zarn::FilterRecord),
                        result_size + sizeof(zarn::FilterRecord) + TAP_BYTES);

    const std::string minimal_path = std::string(directory) + "/minimal.ctl";
    MinimalDaemon minimal(minimal_path);
    const int minimal_fd = zarn::ctl_open(minimal_path.c_str());
    // A descriptor ctl_open did not return is examined on every request.
    const int minimal_dup = ::dup(minimal_fd);

    zarn::sim::Topology topology;
    topology.filter_length = zarn::MAX_FILTER_SIZE;
    zarn::sim::Engine engine(topology);
    zarn::sim::Server server(
        [&engine](std::uint32_t code, unsigned char *record, std::vector<double> &payload,
                  zarn::sim::ReplyFault &) { return engine.handle(code, record, payload); });
    const std::string path = std::string(directory) + "/zmix.ctl";
    std::string error;
    if (!server.listen(path, error)) {
        std::printf("%s\n", error.c_str());
        return false;
    }
    std::thread serving([&server, &wake] { server.run(wake[0]); });
    const int fd = zarn::ctl_open(path.c_str());
    const int fd_dup = ::dup(fd);
    std::vector<double> taps(zarn::MAX_FILTER_SIZE, 0.25);
    zarn::FilterRecord set{};
    set.size = zarn::MAX_FILTER_SIZE;
    set.coefficients = reinterpret_cast<std::uintptr_t>(taps.data());
    bool ok =
        minimal_fd >= 0 && fd >= 0 && zarn::ctl_request(fd, zarn::REQ_DEV_RX_FILTER_SET, &set) == 0;

    std::vector<double> fetched(zarn::MAX_FILTER_SIZE);
    const clockid_t sim_clock = cpu_clock(serving);
    const std::vector<Cost> us = time_interleaved({
        {[&] { return bare_peak.ping(); }, bare_peak.server_clock()},
        {peak_request(minimal_fd), minimal.server_clock()},
        {peak_request(minimal_dup), minimal.server_clock()},
        {peak_request(fd), sim_clock},
        {peak_request(fd_dup), sim_clock},
        {[&] { return bare_fetch.ping(); }, bare_fetch.server_clock()},
        {fetch_request(minimal_fd, fetched), minimal.server_clock()},
        {fetch_request(minimal_dup, fetched), minimal.server_clock()},
        {fetch_request(fd, fetched), sim_clock},
        {fetch_request(fd_dup, fetched), sim_clock},
        {[&] {
             zarn::FilterRecord put{};
             put.size = zarn::MAX_FILTER_SIZE;
             put.coefficients = reinterpret_cast<std::uintptr_t>(taps.data());
             return zarn::ctl_request(fd, zarn::REQ_DEV_RX_FILTER_SET, &put) == 0;
         },
         sim_clock},
    });
    ok = ok && std::all_of(us.begin(), us.end(), [](const Cost &c) { return c.wall > 0; });

    ::close(minimal_dup);
    zarn::ctl_close(minimal_fd);
    ::close(fd_dup);
    zarn::ctl_close(fd);
    const char byte = 0;
    ok = ::write(wake[1], &byte, 1) == 1 && ok;
    serving.join();
    server.close();

    std::printf("%-46s %30s   %30s\n", title, "device peak, 64 bytes", "filter fetch, 65536 taps");
    std::printf("%-46s %30s   %30s\n", "", "wall     CPU client+server",
                "wall     CPU client+server");
    const char *rows[] = {
        "bare socketpair ping-pong, same sizes",     "ctl_request, minimal server",
        "  before: fstat and poll on every request", "ctl_request, simulated daemon's server",
        "  before: fstat and poll on every request",
    };
    for (int r = 0; r < 5; ++r) {
        std::printf("%-46s", rows[r]);
        for (int part : {0, 5}) {
            const Cost &c = us[part + r];
            const Cost &bare = us[part];
            std::printf(" %7.2f %5.2fx %6.2f+%6.2f %5.2fx  ", c.wall, c.wall / bare.wall, c.client,
                        c.server, (c.client + c.server) / (bare.client + bare.server));
        }
        std::printf("\n");
    }
    std::printf("target: wall at most 1.5x the bare ping-pong\n");
    std::printf("%-46s %7.2f us wall, CPU %.2f + %.2f us\n",
                "filter write, 65536 taps, simulated daemon", us[10].wall, us[10].client,
                us[10].server);
    if (!ok)
        std::printf("a request failed\n");
    ::close(wake[0]);
    ::close(wake[1]);
    return ok;
}

// The descriptor whose ioctl this program answers; -1 while there is none.
std::atomic<int> answered_fd{-1};

// A device's answer: a fetch's taps, or the record past its selecting
// fields filled in.
void answer(std::uint32_t code, unsigned char *record) {
    if (zarn::is_filter_get(code)) {
        std::uint64_t address;
        std::memcpy(&address, record + offsetof(zarn::FilterRecord, coefficients), sizeof address);
        std::fill_n(reinterpret_cast<double *>(static_cast<std::uintptr_t>(address)),
                    zarn::carried_doubles(record), 0.5);
        return;
    }
    std::memset(record + 8, 0x5a, zarn::ioc_size(code) - 8);
}

std::function<bool()> direct_peaks(int fd, std::vector<zarn::TargetPeak> &peaks) {
    return [fd, &peaks] {
        bool ok = true;
        for (zarn::TargetPeak &peak : peaks)
            ok = ::ioctl(fd, zarn::REQ_DEV_PEAK, &peak) == 0 && ok;
        return ok;
    };
}

std::function<bool()> batched_peaks(int fd, const std::vector<zarn::BatchedRequest> &batch) {
    return [fd, &batch] {
        return zarn::ctl_request_batch(fd, batch.data(), static_cast<int>(batch.size())) == 0;
    };
}

std::function<bool()> direct_fetch(int fd, std::vector<double> &fetched) {
    return [fd, &fetched] {
        zarn::FilterRecord get{};
        get.size = zarn::MAX_FILTER_SIZE;
        get.coefficients = reinterpret_cast<std::uintptr_t>(fetched.data());
        return ::ioctl(fd, zarn::REQ_DEV_RX_FILTER_GET, &get) == 0;
    };
}

// Median microseconds of one call of each request, each call after 1 ms
// idle, the two taking turns.
std::pair<double, double> after_idle(const std::function<bool()> &direct,
                                     const std::function<bool()> &handed) {
    std::vector<double> us[2];
    for (int i = 0; i < 200; ++i) {
        std::this_thread::sleep_for(std::chrono::milliseconds(1));
        const std::function<bool()> &request = i % 2 == 0 ? direct : handed;
        const auto start = Clock::now();
        if (!request())
            return {-1.0, -1.0};
        us[i % 2].push_back(
            std::chrono::duration<double, std::micro>(Clock::now() - start).count());
    }
    return {bench::median(us[0]), bench::median(us[1])};
}

// Times the direct ioctl next to the hand-off, and prints them. The helper
// thread's CPU time is the process's less the caller's.
bool measure_handoff(const char *title) {
    const int fd = zarn::ctl_open("/dev/zero");
    if (fd < 0) {
        std::printf("cannot open /dev/zero\n");
        return false;
    }
    answered_fd = fd;
    std::vector<zarn::TargetPeak> one(1), peaks(128);
    std::vector<int> results(128);
    std::vector<zarn::BatchedRequest> batch;
    for (std::size_t i = 0; i < peaks.size(); ++i)
        batch.push_back({zarn::REQ_DEV_PEAK, &peaks[i], &results[i]});
    std::vector<double> fetched(zarn::MAX_FILTER_SIZE);
    const std::vector<Cost> us = time_interleaved({
        {direct_peaks(fd, one), CLOCK_PROCESS_CPUTIME_ID},
        {peak_request(fd), CLOCK_PROCESS_CPUTIME_ID},
        {direct_peaks(fd, peaks), CLOCK_PROCESS_CPUTIME_ID},
        {batched_peaks(fd, batch), CLOCK_PROCESS_CPUTIME_ID},
        {direct_fetch(fd, fetched), CLOCK_PROCESS_CPUTIME_ID},
        {fetch_request(fd, fetched), CLOCK_PROCESS_CPUTIME_ID},
    });
    const auto idle_peak = after_idle(direct_peaks(fd, one), peak_request(fd));
    const auto idle_batch = after_idle(direct_peaks(fd, peaks), batched_peaks(fd, batch));
    answered_fd = -1;
    zarn::ctl_close(fd);
    const bool ok = std::all_of(us.begin(), us.end(), [](const Cost &c) { return c.wall > 0; }) &&
                    idle_peak.second > 0 && idle_batch.second > 0;

    std::printf("%-46s %24s   %24s   %8s\n", title, "direct ioctl", "handed to the helper",
                "added");
    std::printf("%-46s %24s   %24s   %8s\n", "", "wall   CPU caller+helper",
                "wall   CPU caller+helper", "wall");
    const char *rows[] = {"device peak, 64 bytes", "batch of 128 device peaks",
                          "filter fetch, 65536 taps"};
    for (int r = 0; r < 3; ++r) {
        std::printf("%-46s", rows[r]);
        for (int part : {0, 1}) {
            const Cost &c = us[2 * r + part];
            std::printf(" %8.2f %7.2f+%7.2f  ", c.wall, c.client, c.server - c.client);
        }
        std::printf(" %8.2f\n", us[2 * r + 1].wall - us[2 * r].wall);
    }
    for (const auto &[row, idle] :
         {std::make_pair("device peak, after 1 ms idle", idle_peak),
          std::make_pair("batch of 128 device peaks, after 1 ms idle", idle_batch)})
        std::printf("%-46s %8.2f %16s %8.2f %16s %8.2f\n", row, idle.first, "", idle.second, "",
                    idle.second - idle.first);
    std::printf("target: at most 20 us added per request or batch\n");
    if (!ok)
        std::printf("a request failed\n");
    return ok;
}

} // namespace

// Answers the bench's own device and hands every other request to the
// system. The third argument is read as an address, as the system's ioctl
// wrapper reads it.
extern "C" int ioctl(int fd, unsigned long request, ...) {
    va_list arguments;
    va_start(arguments, request);
    void *const argument = va_arg(arguments, void *);
    va_end(arguments);
    if (fd >= 0 && fd == answered_fd.load(std::memory_order_relaxed)) {
        answer(static_cast<std::uint32_t>(request), static_cast<unsigned char *>(argument));
        return 0;
    }
    using Ioctl = int (*)(int, unsigned long, ...);
    static const Ioctl next = [] {
        void *const symbol = ::dlsym(RTLD_NEXT, "ioctl");
        Ioctl f = nullptr;
        std::memcpy(&f, &symbol, sizeof f);
        return f;
    }();
    return next(fd, request, argument);
}

int main() {
    char directory[] = "/tmp/zarnbench-XXXXXX";
    if (::mkdtemp(directory) == nullptr) {
        std::printf("cannot set up the daemons\n");
        return 1;
    }
    if (FILE *load = std::fopen("/proc/loadavg", "r")) {
        char line[128] = {};
        if (std::fgets(line, sizeof line, load))
            std::printf("load average: %s", line);
        std::fclose(load);
    }
    std::printf("us per request (median round of 15), x bare\n");
    bool ok = measure(directory, "client and server where the system puts them");
    std::printf("\nus per request or batch (median round of 15)\n");
    ok = measure_handoff("caller and helper where the system puts them") && ok;
    // Threads inherit the mask, so every end of every pair shares the CPU.
    cpu_set_t one;
    CPU_ZERO(&one);
    CPU_SET(::sched_getcpu() < 0 ? 0 : ::sched_getcpu(), &one);
    if (::sched_setaffinity(0, sizeof one, &one) == 0) {
        ok = measure(directory, "client and server on one CPU") && ok;
        // The helper starts when the device is opened, on this CPU too.
        ok = measure_handoff("caller and helper on one CPU") && ok;
    } else
        std::printf("cannot keep to one CPU\n");
    ::rmdir(directory);
    return ok ? 0 : 1;
}
