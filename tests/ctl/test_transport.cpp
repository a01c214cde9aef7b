// SPDX-License-Identifier: BSD-2-Clause

#include <QElapsedTimer>
#include <QTest>

#include <algorithm>
#include <array>
#include <chrono>
#include <csignal>
#include <cstdint>
#include <cstring>
#include <fcntl.h>
#include <memory>
#include <string>
#include <sys/socket.h>
#include <sys/un.h>
#include <thread>
#include <unistd.h>
#include <vector>

#include "ctl/requests.h"
#include "ctl/transport.h"
#include "support/test_daemon.h"

using zarn::sim::TestDaemon;

namespace {

// clang-format off
const std::vector<std::uint32_t> ALL_CODES = {
    zarn::REQ_PROBE, zarn::REQ_DEV_CONFIG_GET, zarn::REQ_DEV_CONFIG_SET, zarn::REQ_LOOP_CONFIG_GET,
    zarn::REQ_LOOP_CONFIG_SET, zarn::REQ_INPUT_MON_GET, zarn::REQ_INPUT_MON_SET,
    zarn::REQ_OUTPUT_MON_GET, zarn::REQ_OUTPUT_MON_SET, zarn::REQ_DEV_PEAK, zarn::REQ_LOOP_PEAK,
    zarn::REQ_INPUT_MON_PEAK, zarn::REQ_OUTPUT_MON_PEAK, zarn::REQ_MAIN_COMP_SET,
    zarn::REQ_MAIN_COMP_GET, zarn::REQ_DEV_COMP_SET, zarn::REQ_DEV_COMP_GET,
    zarn::REQ_LOOP_COMP_SET, zarn::REQ_LOOP_COMP_GET, zarn::REQ_MAIN_OUTPUT_PEAK,
    zarn::REQ_MAIN_INPUT_PEAK, zarn::REQ_RECORDING_SET, zarn::REQ_RECORDING_GET,
    zarn::REQ_DELAY_LOCATOR_SET, zarn::REQ_DELAY_LOCATOR_GET, zarn::REQ_DELAY_LOCATOR_RESET,
    zarn::REQ_ADD_OPTIONS, zarn::REQ_DEV_RX_FILTER_GET, zarn::REQ_DEV_RX_FILTER_SET,
    zarn::REQ_DEV_TX_FILTER_GET, zarn::REQ_DEV_TX_FILTER_SET, zarn::REQ_LOOP_RX_FILTER_GET,
    zarn::REQ_LOOP_RX_FILTER_SET, zarn::REQ_LOOP_TX_FILTER_GET, zarn::REQ_LOOP_TX_FILTER_SET,
    zarn::REQ_SAMPLE_RATE_GET, zarn::REQ_LOCAL_MON_GET, zarn::REQ_SYSTEM_INFO,
    zarn::REQ_LOCAL_MON_SET, zarn::REQ_LOCAL_MON_PEAK};
// clang-format on

constexpr std::size_t COEFFICIENTS_OFFSET = offsetof(zarn::FilterRecord, coefficients);

std::vector<unsigned char> pattern(std::size_t size, unsigned char seed) {
    std::vector<unsigned char> bytes(size);
    for (std::size_t i = 0; i < size; ++i) {
        bytes[i] = static_cast<unsigned char>(seed + i * 7);
    }
    return bytes;
}

zarn::FilterRecord filter_record(std::int32_t size, const double *coefficients) {
    zarn::FilterRecord record{};
    record.size = size;
    record.coefficients = reinterpret_cast<std::uintptr_t>(coefficients);
    return record;
}

template <typename T> bool same(const T &a, const T &b) {
    return std::memcmp(&a, &b, sizeof a) == 0;
}

double seconds(const QElapsedTimer &timer) {
    return timer.nsecsElapsed() / 1e9;
}

// A listening socket at path that nobody accepts on unless the test does.
int listen_at(const std::string &path, int backlog) {
    const int fd = ::socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0);
    sockaddr_un address{};
    address.sun_family = AF_UNIX;
    std::strcpy(address.sun_path, path.c_str());
    if (::bind(fd, reinterpret_cast<sockaddr *>(&address), sizeof address) != 0 ||
        (backlog >= 0 && ::listen(fd, backlog) != 0)) {
        ::close(fd);
        return -1;
    }
    return fd;
}

// The character device that the linked preload library serves from a daemon.
constexpr const char *DEVICE = "/dev/zero";

// The daemon at socket_path as the row asks for it: its socket, or the
// character device served from it.
int open_control(const char *socket_path, bool device) {
    if (!device)
        return zarn::ctl_open(socket_path);
    // Read when the descriptor's first request connects.
    qputenv("ZARN_PRELOAD_SOCKET", socket_path);
    return zarn::ctl_open(DEVICE);
}

void add_media() {
    QTest::addColumn<bool>("device");
    QTest::newRow("socket") << false;
    QTest::newRow("character device") << true;
}

// Whether fd is open, polled for up to a few seconds.
bool closes_soon(int fd) {
    for (int waited = 0; waited < 5000; waited += 10) {
        if (::fcntl(fd, F_GETFD) < 0)
            return true;
        ::usleep(10000);
    }
    return false;
}

bool is_peak(std::uint32_t code) {
    // Peak levels move with time, so two daemons would answer them apart.
    return code == zarn::REQ_DEV_PEAK || code == zarn::REQ_LOOP_PEAK ||
           code == zarn::REQ_INPUT_MON_PEAK || code == zarn::REQ_OUTPUT_MON_PEAK ||
           code == zarn::REQ_MAIN_OUTPUT_PEAK || code == zarn::REQ_MAIN_INPUT_PEAK ||
           code == zarn::REQ_LOCAL_MON_PEAK;
}

} // namespace

class TestTransport : public QObject {
    Q_OBJECT

    std::string directory_;

private slots:
    void initTestCase() {
        // A write to a closed peer must fail, not kill the process.
        std::signal(SIGPIPE, SIG_DFL);
        qputenv("ZARN_PRELOAD_DEVICE", DEVICE);
        char directory[] = "/tmp/zarnctl-XXXXXX";
        QVERIFY(::mkdtemp(directory) != nullptr);
        directory_ = directory;
    }

    void cleanupTestCase() { ::rmdir(directory_.c_str()); }

    void every_record_goes_out_and_comes_back_byte_for_byte_data() { add_media(); }
    void every_record_goes_out_and_comes_back_byte_for_byte() {
        QFETCH(bool, device);
        TestDaemon daemon;
        daemon.set_hook([](std::uint32_t code, unsigned char *record, std::vector<double> &) {
            const auto answer = pattern(zarn::ioc_size(code), 0x5a);
            std::copy(answer.begin(), answer.end(), record);
            return std::optional<int>(0);
        });
        const int fd = open_control(daemon.path(), device);
        QVERIFY(fd >= 0);
        for (const std::uint32_t code : ALL_CODES) {
            const std::size_t size = zarn::ioc_size(code);
            std::vector<unsigned char> record = pattern(size, static_cast<unsigned char>(code));
            std::vector<unsigned char> expected = pattern(size, 0x5a);
            if (zarn::is_filter_get(code) || zarn::is_filter_set(code)) {
                // No array: only the record travels.
                std::memset(record.data() + COEFFICIENTS_OFFSET, 0, 8);
                std::memset(expected.data() + COEFFICIENTS_OFFSET, 0, 8);
            }
            const std::vector<unsigned char> sent = record;
            daemon.clear_requests();
            QCOMPARE(zarn::ctl_request(fd, code, size ? record.data() : nullptr), 0);
            const auto log = daemon.requests();
            const QString name = QString::number(code, 16);
            QCOMPARE(log.size(), std::size_t{1});
            QCOMPARE(log[0].code, code);
            QVERIFY2(log[0].record == sent && log[0].payload.empty(), qPrintable(name));
            QVERIFY2(record == expected, qPrintable(name));
        }
        zarn::ctl_close(fd);
    }

    void batch_answers_as_single_requests_do_data() {
        QTest::addColumn<bool>("device");
        QTest::addColumn<unsigned long>("trips");
        // The patterned filter records carry no doubles (their sizes are out
        // of range), so they share the exchanges too: two, for the room.
        QTest::newRow("socket") << false << 2ul;
        // One hand-off to the helper thread, and no socket of the transport's.
        QTest::newRow("character device") << true << 0ul;
    }
    void batch_answers_as_single_requests_do() {
        QFETCH(bool, device);
        QFETCH(unsigned long, trips);
        // Every request but the peaks four times over, from patterned records
        // that the daemon partly refuses; one run one by one and one batched,
        // each against a fresh daemon.
        std::vector<std::uint32_t> codes;
        for (int round = 0; round < 4; ++round)
            for (const std::uint32_t code : ALL_CODES)
                if (!is_peak(code))
                    codes.push_back(code);
        // 18 KiB of them in a row: more than one exchange holds.
        codes.insert(codes.end(), 120, zarn::REQ_SYSTEM_INFO);
        const auto records = [&codes] {
            std::vector<std::vector<unsigned char>> r;
            for (std::size_t i = 0; i < codes.size(); ++i) {
                r.push_back(pattern(zarn::ioc_size(codes[i]), static_cast<unsigned char>(i)));
                if (zarn::is_filter_get(codes[i]) || zarn::is_filter_set(codes[i]))
                    std::memset(r.back().data() + COEFFICIENTS_OFFSET, 0, 8);
            }
            return r;
        };
        const auto log = [](const TestDaemon &d) {
            std::vector<std::pair<std::uint32_t, std::vector<unsigned char>>> l;
            for (const auto &r : d.requests())
                l.emplace_back(r.code, r.record);
            return l;
        };

        TestDaemon one_by_one, batched;
        auto single_records = records();
        std::vector<int> single_results;
        const int single_fd = open_control(one_by_one.path(), device);
        for (std::size_t i = 0; i < codes.size(); ++i)
            single_results.push_back(
                zarn::ctl_request(single_fd, codes[i], single_records[i].data()) == 0 ? 0 : -1);
        zarn::ctl_close(single_fd);

        auto batch_records = records();
        std::vector<int> batch_results(codes.size(), 7);
        std::vector<zarn::BatchedRequest> batch;
        for (std::size_t i = 0; i < codes.size(); ++i)
            batch.push_back({codes[i], batch_records[i].data(), &batch_results[i]});
        const int fd = open_control(batched.path(), device);
        const unsigned long trips_before = zarn::ctl_round_trips();
        const int failed = zarn::ctl_request_batch(fd, batch.data(), int(batch.size()));
        const unsigned long batch_trips = zarn::ctl_round_trips() - trips_before;
        zarn::ctl_close(fd);

        QCOMPARE(batch_results, single_results);
        QCOMPARE(failed, int(std::count(single_results.begin(), single_results.end(), -1)));
        QVERIFY(failed > 0 && failed < int(codes.size()));
        QVERIFY(batch_records == single_records);
        QVERIFY(log(batched) == log(one_by_one));
        QCOMPARE(batch_trips, trips);
    }

    void failed_request_leaves_record_and_array_untouched_data() { add_media(); }
    void failed_request_leaves_record_and_array_untouched() {
        QFETCH(bool, device);
        TestDaemon daemon;
        daemon.set_hook(
            [](std::uint32_t code, unsigned char *record, std::vector<double> &payload) {
                std::memset(record, 0xee, zarn::ioc_size(code));
                payload.assign(4, 9.0);
                return std::optional<int>(-1);
            });
        const int fd = open_control(daemon.path(), device);
        zarn::ChannelConfig config{};
        config.number = 1;
        const zarn::ChannelConfig before = config;
        QVERIFY(zarn::ctl_request(fd, zarn::REQ_DEV_CONFIG_GET, &config) != 0);
        QVERIFY(same(config, before));

        std::array<double, 4> taps = {1, 2, 3, 4};
        zarn::FilterRecord filter = filter_record(4, taps.data());
        const zarn::FilterRecord filter_before = filter;
        QVERIFY(zarn::ctl_request(fd, zarn::REQ_DEV_TX_FILTER_GET, &filter) != 0);
        QVERIFY(same(filter, filter_before));
        QCOMPARE(taps, (std::array<double, 4>{1, 2, 3, 4}));

        // A refusal is an answer: the stream stays in step and the next request works.
        daemon.clear_hook();
        QCOMPARE(zarn::ctl_request(fd, zarn::REQ_DEV_CONFIG_GET, &config), 0);
        QCOMPARE(config.number, 1);
        zarn::ctl_close(fd);
    }

    void filter_arrays_travel_only_when_they_should_data() { add_media(); }
    void filter_arrays_travel_only_when_they_should() {
        QFETCH(bool, device);
        TestDaemon daemon;
        daemon.set_hook(
            [](std::uint32_t code, unsigned char *record, std::vector<double> &payload) {
                if (zarn::is_filter_get(code)) {
                    payload = {10.0, 20.0, 30.0};
                    const std::uint64_t foreign = 0xdeadbeef;
                    std::memcpy(record + COEFFICIENTS_OFFSET, &foreign, sizeof foreign);
                    record[offsetof(zarn::FilterRecord, reserved)] = 77;
                }
                return std::optional<int>(0);
            });
        const int fd = open_control(daemon.path(), device);
        const std::vector<double> taps = {0.5, -0.25, 1e-300, 3.0};
        zarn::FilterRecord with_array = filter_record(4, taps.data());
        QCOMPARE(zarn::ctl_request(fd, zarn::REQ_LOOP_RX_FILTER_SET, &with_array), 0);
        zarn::FilterRecord off = filter_record(4, nullptr);
        QCOMPARE(zarn::ctl_request(fd, zarn::REQ_DEV_TX_FILTER_SET, &off), 0);
        for (const std::int32_t bad_size : {0, -1, zarn::MAX_FILTER_SIZE + 1}) {
            zarn::FilterRecord unsized = filter_record(bad_size, taps.data());
            QCOMPARE(zarn::ctl_request(fd, zarn::REQ_DEV_RX_FILTER_SET, &unsized), 0);
        }
        // A read sends no array, fills the caller's and keeps the caller's address.
        std::vector<double> space = {-1, -2, -3, -4, -5};
        zarn::FilterRecord fetch = filter_record(3, space.data() + 1);
        fetch.number = 1;
        fetch.channel = 2;
        QCOMPARE(zarn::ctl_request(fd, zarn::REQ_LOOP_TX_FILTER_GET, &fetch), 0);
        QCOMPARE(space, (std::vector<double>{-1, 10, 20, 30, -5}));
        zarn::FilterRecord expected = filter_record(3, space.data() + 1);
        expected.number = 1;
        expected.channel = 2;
        expected.reserved = 77;
        QVERIFY(same(fetch, expected));

        // Every record arrived whole: the stream never slipped.
        const auto log = daemon.requests();
        QCOMPARE(log.size(), std::size_t{6});
        QCOMPARE(log[0].payload, taps);
        for (std::size_t i = 1; i < log.size(); ++i) {
            QVERIFY(log[i].payload.empty());
        }
        QCOMPARE(log[5].code, zarn::REQ_LOOP_TX_FILTER_GET);

        // Fetches share a batch's exchange, each filling its own array.
        std::vector<double> first(3, -1), second(3, -1);
        zarn::FilterRecord a = filter_record(3, first.data());
        zarn::FilterRecord b = filter_record(3, second.data());
        zarn::TargetPeak peak{};
        int results[3] = {7, 7, 7};
        const zarn::BatchedRequest batch[] = {{zarn::REQ_DEV_RX_FILTER_GET, &a, &results[0]},
                                              {zarn::REQ_DEV_PEAK, &peak, &results[1]},
                                              {zarn::REQ_LOOP_TX_FILTER_GET, &b, &results[2]}};
        const unsigned long trips = zarn::ctl_round_trips();
        QCOMPARE(zarn::ctl_request_batch(fd, batch, 3), 0);
        QCOMPARE(zarn::ctl_round_trips() - trips, device ? 0ul : 1ul);
        QCOMPARE(first, (std::vector<double>{10, 20, 30}));
        QCOMPARE(second, first);
        expected = filter_record(3, second.data());
        expected.reserved = 77;
        QVERIFY(same(b, expected));
        zarn::ctl_close(fd);
    }

    void reply_never_writes_past_the_requested_taps() {
        // A server that answers with more than asked: a size of 10 and ten
        // doubles to a request for two. The reply is queued before the request.
        const std::string path = directory_ + "/greedy.ctl";
        const int listener = listen_at(path, 1);
        QVERIFY(listener >= 0);
        const int fd = zarn::ctl_open(path.c_str());
        QVERIFY(fd >= 0);
        const int server = ::accept(listener, nullptr, nullptr);
        std::vector<double> space(6, -1.0);
        zarn::FilterRecord fetch = filter_record(2, space.data());
        zarn::FilterRecord answer = fetch;
        answer.size = 10;
        std::vector<unsigned char> reply(4 + sizeof answer + 10 * sizeof(double), 0);
        std::memcpy(reply.data() + 4, &answer, sizeof answer);
        for (int i = 0; i < 10; ++i) {
            const double value = 100 + i;
            std::memcpy(reply.data() + 4 + sizeof answer + i * sizeof value, &value, sizeof value);
        }
        QCOMPARE(::send(server, reply.data(), reply.size(), 0), ssize_t(reply.size()));
        QCOMPARE(zarn::ctl_request(fd, zarn::REQ_DEV_RX_FILTER_GET, &fetch), 0);
        QCOMPARE(space, (std::vector<double>{100, 101, -1, -1, -1, -1}));
        QCOMPARE(fetch.size, 10); // the daemon's answer, which the caller must bound itself
        zarn::ctl_close(fd);
        ::close(server);
        ::close(listener);
        ::unlink(path.c_str());
    }

    void silent_daemon_fails_within_a_second_and_later_requests_at_once_data() { add_media(); }
    void silent_daemon_fails_within_a_second_and_later_requests_at_once() {
        QFETCH(bool, device);
        TestDaemon daemon;
        const int fd = open_control(daemon.path(), device);
        zarn::TargetPeak peak{};
        QCOMPARE(zarn::ctl_request(fd, zarn::REQ_DEV_PEAK, &peak), 0);

        daemon.silence_next_reply();
        std::memset(&peak, 0x11, sizeof peak);
        peak.number = 0;
        peak.channel = 1;
        const zarn::TargetPeak before = peak;
        const unsigned long timeouts = zarn::ctl_timeouts();
        QElapsedTimer timer;
        timer.start();
        QVERIFY(zarn::ctl_request(fd, zarn::REQ_DEV_PEAK, &peak) != 0);
        QVERIFY2(seconds(timer) >= 0.9 && seconds(timer) < 1.8,
                 qPrintable(QString::number(seconds(timer))));
        QVERIFY(same(peak, before));
        // Counted, so that the watchdog backs off.
        QCOMPARE(zarn::ctl_timeouts() - timeouts, 1ul);

        timer.restart();
        std::int32_t probe = 5;
        QVERIFY(zarn::ctl_request(fd, zarn::REQ_PROBE, &probe) != 0);
        QVERIFY(zarn::ctl_request(fd, zarn::REQ_DEV_PEAK, &peak) != 0);
        QVERIFY(seconds(timer) < 0.2);
        QCOMPARE(probe, 5);
        QVERIFY(same(peak, before));
        // The requests after the failure never left the client.
        QCOMPARE(daemon.count(zarn::REQ_PROBE), std::size_t{0});
        // Closing never waits for the request that still hangs.
        timer.restart();
        zarn::ctl_close(fd);
        QVERIFY(seconds(timer) < 0.1);

        // A batch whose first reply never comes fails whole, once.
        const int batch_fd = open_control(daemon.path(), device);
        daemon.silence_next_reply();
        std::int32_t probes[3] = {5, 5, 5};
        int results[3] = {0, 0, 0};
        const zarn::BatchedRequest batch[3] = {{zarn::REQ_PROBE, &probes[0], &results[0]},
                                               {zarn::REQ_PROBE, &probes[1], &results[1]},
                                               {zarn::REQ_PROBE, &probes[2], &results[2]}};
        timer.restart();
        QCOMPARE(zarn::ctl_request_batch(batch_fd, batch, 3), 3);
        QVERIFY(seconds(timer) < 1.8);
        QCOMPARE(zarn::ctl_timeouts() - timeouts, 2ul);
        QVERIFY(results[0] != 0 && results[1] != 0 && results[2] != 0);
        QVERIFY(probes[0] == 5 && probes[1] == 5 && probes[2] == 5);
        zarn::ctl_close(batch_fd);
    }

    // An answer that comes after its request ran out of time lands in the
    // helper's private copies: the caller's record and array stay as they
    // were, even once the array is freed (the sanitizers watch that).
    void late_answer_never_reaches_the_caller_data() {
        QTest::addColumn<bool>("batch");
        QTest::addColumn<bool>("free_array");
        QTest::newRow("fetch, array kept") << false << false;
        QTest::newRow("fetch, array freed") << false << true;
        QTest::newRow("batch with a fetch, array freed") << true << true;
    }
    void late_answer_never_reaches_the_caller() {
        QFETCH(bool, batch);
        QFETCH(bool, free_array);
        zarn::sim::Topology topology;
        topology.filter_length = 16;
        TestDaemon daemon(topology);
        daemon.set_hook(
            [](std::uint32_t code, unsigned char *record, std::vector<double> &payload) {
                std::this_thread::sleep_for(std::chrono::milliseconds(1500));
                std::memset(record, 0xee, zarn::ioc_size(code));
                payload.assign(payload.size(), 9.0);
                return std::optional<int>(0);
            });
        const int fd = open_control(daemon.path(), true);
        QVERIFY(fd >= 0);
        auto taps = std::make_unique<std::vector<double>>(16, 0.5);
        zarn::FilterRecord fetch = filter_record(16, taps->data());
        const zarn::FilterRecord fetch_before = fetch;
        zarn::TargetPeak peak{};
        peak.channel = 1;
        const zarn::TargetPeak peak_before = peak;
        int results[2] = {7, 7};
        const zarn::BatchedRequest requests[2] = {
            {zarn::REQ_DEV_PEAK, &peak, &results[0]},
            {zarn::REQ_DEV_RX_FILTER_GET, &fetch, &results[1]}};
        QElapsedTimer timer;
        timer.start();
        if (batch)
            QCOMPARE(zarn::ctl_request_batch(fd, requests, 2), 2);
        else
            QVERIFY(zarn::ctl_request(fd, zarn::REQ_DEV_RX_FILTER_GET, &fetch) != 0);
        QVERIFY(seconds(timer) < 1.4);
        if (free_array)
            taps.reset();
        zarn::ctl_close(fd);
        // Still the helper's until its ioctl returns: no open can take the number.
        QVERIFY(::fcntl(fd, F_GETFD) >= 0);
        QVERIFY(closes_soon(fd));
        QVERIFY(same(fetch, fetch_before));
        QVERIFY(same(peak, peak_before));
        if (batch)
            QCOMPARE(results[0], -1);
        if (taps)
            QCOMPARE(*taps, std::vector<double>(16, 0.5));
    }

    void reply_cut_short_fails_and_leaves_record_untouched() {
        zarn::sim::Topology topology;
        topology.filter_length = 4096;
        TestDaemon daemon(topology);
        const int fd = zarn::ctl_open(daemon.path());
        std::vector<double> taps(4096, 0.125);
        zarn::FilterRecord put = filter_record(4096, taps.data());
        QCOMPARE(zarn::ctl_request(fd, zarn::REQ_DEV_TX_FILTER_SET, &put), 0);
        // Cut in the middle of the filter's array.
        daemon.cut_next_reply();
        std::vector<double> space(4096, 7.0);
        zarn::FilterRecord get = filter_record(4096, space.data());
        get.reserved = 0x3333;
        const zarn::FilterRecord before = get;
        QElapsedTimer timer;
        timer.start();
        QVERIFY(zarn::ctl_request(fd, zarn::REQ_DEV_TX_FILTER_GET, &get) != 0);
        QVERIFY(seconds(timer) < 1.5);
        QVERIFY(same(get, before));
        zarn::SystemInfo info;
        std::memset(&info, 0x33, sizeof info);
        const zarn::SystemInfo info_before = info;
        QVERIFY(zarn::ctl_request(fd, zarn::REQ_SYSTEM_INFO, &info) != 0);
        QVERIFY(same(info, info_before));
        zarn::ctl_close(fd);
    }

    void daemon_going_away_fails_requests_and_coming_back_serves_again() {
        TestDaemon daemon;
        const int fd = zarn::ctl_open(daemon.path());
        daemon.with_engine([](zarn::sim::Engine &engine) { engine.recording = 1; });
        daemon.stop();
        QVERIFY(zarn::ctl_open(daemon.path()) < 0);
        std::int32_t state = -7;
        // Writing to the closed peer: must fail without SIGPIPE ending the test.
        QVERIFY(zarn::ctl_request(fd, zarn::REQ_RECORDING_GET, &state) != 0);
        QVERIFY(zarn::ctl_request(fd, zarn::REQ_RECORDING_GET, &state) != 0);
        QCOMPARE(state, -7);
        zarn::ctl_close(fd);

        daemon.start();
        const int again = zarn::ctl_open(daemon.path());
        QCOMPARE(zarn::ctl_request(again, zarn::REQ_RECORDING_GET, &state), 0);
        QCOMPARE(state, 1);
        zarn::ctl_close(again);
    }

    // The transport remembers what each descriptor it opened is; a number the
    // system hands out again after ctl_close must be taken for what it now is.
    void reused_descriptor_numbers_take_their_new_kind() {
        TestDaemon daemon;
        std::int32_t rate = 0;
        for (int round = 0; round < 2; ++round) {
            const int device = zarn::ctl_open("/dev/null");
            QVERIFY(device >= 0);
            QVERIFY(zarn::ctl_request(device, zarn::REQ_SAMPLE_RATE_GET, &rate) != 0);
            zarn::ctl_close(device);

            const int socket = zarn::ctl_open(daemon.path());
            QCOMPARE(socket, device);
            rate = 0;
            QCOMPARE(zarn::ctl_request(socket, zarn::REQ_SAMPLE_RATE_GET, &rate), 0);
            QCOMPARE(rate, 48000);
            // A descriptor ctl_open did not return works too.
            const int copy = ::dup(socket);
            rate = 0;
            QCOMPARE(zarn::ctl_request(copy, zarn::REQ_SAMPLE_RATE_GET, &rate), 0);
            QCOMPARE(rate, 48000);
            ::close(copy);
            zarn::ctl_close(socket);
        }
        // The socket's number goes back to a device: no bytes reach the daemon.
        daemon.clear_requests();
        const int device = zarn::ctl_open("/dev/null");
        rate = 5;
        QVERIFY(zarn::ctl_request(device, zarn::REQ_SAMPLE_RATE_GET, &rate) != 0);
        QCOMPARE(rate, 5);
        QVERIFY(daemon.requests().empty());
        zarn::ctl_close(device);
    }

    void paths_that_are_not_a_daemon() {
        QVERIFY(zarn::ctl_open("/nonexistent/zmix.ctl") < 0);
        std::int32_t value = 3;
        // A character device goes through ioctl itself, which /dev/null refuses.
        const int null_fd = zarn::ctl_open("/dev/null");
        QVERIFY(null_fd >= 0);
        QVERIFY(zarn::ctl_request(null_fd, zarn::REQ_PROBE, &value) != 0);
        QCOMPARE(value, 3);
        QCOMPARE(zarn::ctl_close(null_fd), 0);

        // A socket file nobody listens behind.
        const std::string path = directory_ + "/stale.ctl";
        ::close(listen_at(path, -1));
        QVERIFY(zarn::ctl_open(path.c_str()) < 0);
        ::unlink(path.c_str());

        // A daemon that stopped accepting: once its backlog is full, opening
        // must fail at once rather than block the caller.
        const int busy = listen_at(path, 0);
        QVERIFY(busy >= 0);
        sockaddr_un address{};
        address.sun_family = AF_UNIX;
        std::strcpy(address.sun_path, path.c_str());
        std::vector<int> waiting;
        for (int i = 0; i < 16; ++i) {
            waiting.push_back(::socket(AF_UNIX, SOCK_STREAM | SOCK_NONBLOCK, 0));
            if (::connect(waiting.back(), reinterpret_cast<sockaddr *>(&address), sizeof address) !=
                0) {
                break;
            }
        }
        QElapsedTimer timer;
        timer.start();
        QVERIFY(zarn::ctl_open(path.c_str()) < 0);
        QVERIFY(seconds(timer) < 0.5);
        for (const int fd : waiting) {
            ::close(fd);
        }
        ::close(busy);
        ::unlink(path.c_str());
    }
};

QTEST_APPLESS_MAIN(TestTransport)
#include "test_transport.moc"
