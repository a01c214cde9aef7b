#include <QElapsedTimer>
#include <QTest>

#include <array>
#include <csignal>
#include <cstdint>
#include <cstring>
#include <fcntl.h>
#include <functional>
#include <string>
#include <sys/socket.h>
#include <sys/un.h>
#include <thread>
#include <unistd.h>
#include <vector>

#include "ctl/requests.h"
#include "ctl/transport.h"
#include "sim/test_daemon.h"

using zarn::sim::ReceivedRequest;
using zarn::sim::TestDaemon;

namespace {

// Every request of the catalogue.
const std::vector<std::uint32_t> ALL_CODES = {
    zarn::REQ_PROBE,
    zarn::REQ_DEV_CONFIG_GET,
    zarn::REQ_DEV_CONFIG_SET,
    zarn::REQ_LOOP_CONFIG_GET,
    zarn::REQ_LOOP_CONFIG_SET,
    zarn::REQ_INPUT_MON_GET,
    zarn::REQ_INPUT_MON_SET,
    zarn::REQ_OUTPUT_MON_GET,
    zarn::REQ_OUTPUT_MON_SET,
    zarn::REQ_DEV_PEAK,
    zarn::REQ_LOOP_PEAK,
    zarn::REQ_INPUT_MON_PEAK,
    zarn::REQ_OUTPUT_MON_PEAK,
    zarn::REQ_MAIN_COMP_SET,
    zarn::REQ_MAIN_COMP_GET,
    zarn::REQ_DEV_COMP_SET,
    zarn::REQ_DEV_COMP_GET,
    zarn::REQ_LOOP_COMP_SET,
    zarn::REQ_LOOP_COMP_GET,
    zarn::REQ_MAIN_OUTPUT_PEAK,
    zarn::REQ_MAIN_INPUT_PEAK,
    zarn::REQ_RECORDING_SET,
    zarn::REQ_RECORDING_GET,
    zarn::REQ_DELAY_LOCATOR_SET,
    zarn::REQ_DELAY_LOCATOR_GET,
    zarn::REQ_DELAY_LOCATOR_RESET,
    zarn::REQ_ADD_OPTIONS,
    zarn::REQ_DEV_RX_FILTER_GET,
    zarn::REQ_DEV_RX_FILTER_SET,
    zarn::REQ_DEV_TX_FILTER_GET,
    zarn::REQ_DEV_TX_FILTER_SET,
    zarn::REQ_LOOP_RX_FILTER_GET,
    zarn::REQ_LOOP_RX_FILTER_SET,
    zarn::REQ_LOOP_TX_FILTER_GET,
    zarn::REQ_LOOP_TX_FILTER_SET,
    zarn::REQ_SAMPLE_RATE_GET,
    zarn::REQ_LOCAL_MON_GET,
    zarn::REQ_SYSTEM_INFO,
    zarn::REQ_LOCAL_MON_SET,
    zarn::REQ_LOCAL_MON_PEAK,
};

constexpr std::size_t COEFFICIENTS_OFFSET = offsetof(zarn::FilterRecord, coefficients);

std::vector<unsigned char> pattern(std::size_t size, unsigned char seed) {
    std::vector<unsigned char> bytes(size);
    for (std::size_t i = 0; i < size; ++i) {
        bytes[i] = static_cast<unsigned char>(seed + i * 7);
    }
    return bytes;
}

std::uint64_t address_of(const void *p) {
    return reinterpret_cast<std::uintptr_t>(p);
}

zarn::FilterRecord filter_record(std::int32_t size, const double *coefficients) {
    zarn::FilterRecord record{};
    record.size = size;
    record.coefficients = address_of(coefficients);
    return record;
}

bool bytes_equal(const void *a, const void *b, std::size_t size) {
    return std::memcmp(a, b, size) == 0;
}

double elapsed_seconds(const QElapsedTimer &timer) {
    return timer.nsecsElapsed() / 1e9;
}

// A server with a script of its own, for replies the simulated daemon never
// gives: it accepts one connection and runs the script on it.
class ScriptedServer {
public:
    explicit ScriptedServer(std::function<void(int)> script) {
        char directory[] = "/tmp/zarnctl-XXXXXX";
        QVERIFY(::mkdtemp(directory) != nullptr);
        directory_ = directory;
        path_ = directory_ + "/zmix.ctl";
        listener_ = ::socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0);
        sockaddr_un address{};
        address.sun_family = AF_UNIX;
        std::strcpy(address.sun_path, path_.c_str());
        QVERIFY(::bind(listener_, reinterpret_cast<sockaddr *>(&address), sizeof address) == 0);
        QVERIFY(::listen(listener_, 1) == 0);
        thread_ = std::thread([this, script] {
            connection_ = ::accept(listener_, nullptr, nullptr);
            if (connection_ >= 0) {
                script(connection_);
            }
        });
    }

    ~ScriptedServer() {
        ::shutdown(listener_, SHUT_RDWR);
        thread_.join();
        if (connection_ >= 0) {
            ::close(connection_);
        }
        ::close(listener_);
        ::unlink(path_.c_str());
        ::rmdir(directory_.c_str());
    }

    const char *path() const { return path_.c_str(); }

    static bool read_exactly(int fd, void *data, std::size_t size) {
        auto *p = static_cast<unsigned char *>(data);
        while (size > 0) {
            const ssize_t n = ::recv(fd, p, size, 0);
            if (n <= 0) {
                return false;
            }
            p += n;
            size -= static_cast<std::size_t>(n);
        }
        return true;
    }

    static void write_all(int fd, const void *data, std::size_t size) {
        const auto *p = static_cast<const unsigned char *>(data);
        while (size > 0) {
            const ssize_t n = ::send(fd, p, size, MSG_NOSIGNAL);
            if (n <= 0) {
                return;
            }
            p += n;
            size -= static_cast<std::size_t>(n);
        }
    }

private:
    std::string directory_;
    std::string path_;
    int listener_ = -1;
    int connection_ = -1;
    std::thread thread_;
};

} // namespace

class TestTransport : public QObject {
    Q_OBJECT

private slots:
    void initTestCase() {
        // A write to a closed peer must fail, not kill the process.
        std::signal(SIGPIPE, SIG_DFL);
    }

    void every_record_goes_out_and_comes_back_byte_for_byte() {
        TestDaemon daemon;
        // The daemon answers every request with a recognisable record of its own.
        daemon.set_hook([](std::uint32_t code, unsigned char *record, std::vector<double> &) {
            const auto answer = pattern(zarn::ioc_size(code), 0x5a);
            std::copy(answer.begin(), answer.end(), record);
            return std::optional<int>(0);
        });
        const int fd = zarn::ctl_open(daemon.path());
        QVERIFY(fd >= 0);
        for (const std::uint32_t code : ALL_CODES) {
            const std::size_t size = zarn::ioc_size(code);
            std::vector<unsigned char> record = pattern(size, static_cast<unsigned char>(code));
            const bool filter = zarn::is_filter_get(code) || zarn::is_filter_set(code);
            if (filter) {
                // No array: only the record travels.
                std::memset(record.data() + COEFFICIENTS_OFFSET, 0, 8);
            }
            const std::vector<unsigned char> sent = record;
            daemon.clear_requests();
            QCOMPARE(zarn::ctl_request(fd, code, size ? record.data() : nullptr), 0);

            const std::vector<ReceivedRequest> log = daemon.requests();
            QCOMPARE(log.size(), std::size_t{1});
            QCOMPARE(log[0].code, code);
            QVERIFY2(log[0].record == sent, qPrintable(QString::number(code, 16)));
            QVERIFY(log[0].payload.empty());

            std::vector<unsigned char> expected = pattern(size, 0x5a);
            if (filter) {
                std::memset(expected.data() + COEFFICIENTS_OFFSET, 0, 8);
            }
            QVERIFY2(record == expected, qPrintable(QString::number(code, 16)));
        }
        zarn::ctl_close(fd);
    }

    void failed_request_leaves_record_and_array_untouched() {
        TestDaemon daemon;
        daemon.set_hook(
            [](std::uint32_t code, unsigned char *record, std::vector<double> &payload) {
                std::memset(record, 0xee, zarn::ioc_size(code));
                payload.assign(4, 9.0);
                return std::optional<int>(-1);
            });
        const int fd = zarn::ctl_open(daemon.path());
        zarn::ChannelConfig config{};
        config.number = 1;
        config.rx_amp = 7;
        const zarn::ChannelConfig before = config;
        QVERIFY(zarn::ctl_request(fd, zarn::REQ_DEV_CONFIG_GET, &config) != 0);
        QVERIFY(bytes_equal(&config, &before, sizeof config));

        std::array<double, 4> taps = {1, 2, 3, 4};
        zarn::FilterRecord filter = filter_record(4, taps.data());
        const zarn::FilterRecord filter_before = filter;
        QVERIFY(zarn::ctl_request(fd, zarn::REQ_DEV_TX_FILTER_GET, &filter) != 0);
        QVERIFY(bytes_equal(&filter, &filter_before, sizeof filter));
        QCOMPARE(taps, (std::array<double, 4>{1, 2, 3, 4}));

        // A refusal is an answer: the stream stays in step and the next request works.
        daemon.clear_hook();
        QCOMPARE(zarn::ctl_request(fd, zarn::REQ_DEV_CONFIG_GET, &config), 0);
        QCOMPARE(config.number, 1);
        zarn::ctl_close(fd);
    }

    void filter_write_carries_the_array_only_when_it_should() {
        TestDaemon daemon;
        daemon.set_hook([](std::uint32_t, unsigned char *, std::vector<double> &) {
            return std::optional<int>(0);
        });
        const int fd = zarn::ctl_open(daemon.path());
        const std::vector<double> taps = {0.5, -0.25, 1e-300, 3.0};

        zarn::FilterRecord with_array = filter_record(4, taps.data());
        QCOMPARE(zarn::ctl_request(fd, zarn::REQ_LOOP_RX_FILTER_SET, &with_array), 0);
        zarn::FilterRecord off = filter_record(4, nullptr);
        QCOMPARE(zarn::ctl_request(fd, zarn::REQ_DEV_TX_FILTER_SET, &off), 0);
        for (const std::int32_t bad_size : {0, -1, zarn::MAX_FILTER_SIZE + 1}) {
            zarn::FilterRecord unsized = filter_record(bad_size, taps.data());
            QCOMPARE(zarn::ctl_request(fd, zarn::REQ_DEV_RX_FILTER_SET, &unsized), 0);
        }
        // A filter read with an array sends none.
        std::vector<double> space(4);
        zarn::FilterRecord fetch = filter_record(4, space.data());
        daemon.set_hook([](std::uint32_t, unsigned char *, std::vector<double> &payload) {
            payload.assign(4, 0.0);
            return std::optional<int>(0);
        });
        QCOMPARE(zarn::ctl_request(fd, zarn::REQ_DEV_RX_FILTER_GET, &fetch), 0);

        const auto log = daemon.requests();
        QCOMPARE(log.size(), std::size_t{6});
        QCOMPARE(log[0].payload, taps);
        for (std::size_t i = 1; i < log.size(); ++i) {
            QVERIFY(log[i].payload.empty());
        }
        // Every record arrived whole: the stream never slipped.
        std::int32_t size;
        std::memcpy(&size, log[3].record.data() + offsetof(zarn::FilterRecord, size), 4);
        QCOMPARE(size, -1);
        QCOMPARE(log[5].code, zarn::REQ_DEV_RX_FILTER_GET);
        std::memcpy(&size, log[5].record.data() + offsetof(zarn::FilterRecord, size), 4);
        QCOMPARE(size, 4);
        zarn::ctl_close(fd);
    }

    void filter_read_fills_the_array_and_keeps_the_callers_address() {
        TestDaemon daemon;
        daemon.set_hook([](std::uint32_t, unsigned char *record, std::vector<double> &payload) {
            payload = {10.0, 20.0, 30.0};
            const std::uint64_t foreign = 0xdeadbeef;
            std::memcpy(record + COEFFICIENTS_OFFSET, &foreign, sizeof foreign);
            const std::int32_t reserved = 77;
            std::memcpy(record + offsetof(zarn::FilterRecord, reserved), &reserved, 4);
            return std::optional<int>(0);
        });
        const int fd = zarn::ctl_open(daemon.path());
        // Guards on both sides of the three requested taps.
        std::vector<double> space = {-1, -2, -3, -4, -5};
        zarn::FilterRecord fetch = filter_record(3, space.data() + 1);
        fetch.number = 1;
        fetch.channel = 2;
        QCOMPARE(zarn::ctl_request(fd, zarn::REQ_LOOP_TX_FILTER_GET, &fetch), 0);
        QCOMPARE(space, (std::vector<double>{-1, 10, 20, 30, -5}));
        QCOMPARE(fetch.coefficients, address_of(space.data() + 1));
        QCOMPARE(fetch.reserved, 77);
        QCOMPARE(fetch.number, 1);
        QCOMPARE(fetch.channel, 2);
        zarn::ctl_close(fd);
    }

    void largest_filter_travels_both_ways_through_the_engine() {
        zarn::sim::Topology topology;
        topology.filter_length = zarn::MAX_FILTER_SIZE;
        TestDaemon daemon(topology);
        const int fd = zarn::ctl_open(daemon.path());
        std::vector<double> taps(zarn::MAX_FILTER_SIZE);
        for (std::size_t i = 0; i < taps.size(); ++i) {
            taps[i] = static_cast<double>(i) / 3.0 - 1000.0;
        }
        zarn::FilterRecord put = filter_record(zarn::MAX_FILTER_SIZE, taps.data());
        put.number = 1;
        put.channel = 2;
        QCOMPARE(zarn::ctl_request(fd, zarn::REQ_DEV_RX_FILTER_SET, &put), 0);

        std::vector<double> fetched(taps.size() + 1, 42.0);
        zarn::FilterRecord get = filter_record(zarn::MAX_FILTER_SIZE, fetched.data());
        get.number = 1;
        get.channel = 2;
        QCOMPARE(zarn::ctl_request(fd, zarn::REQ_DEV_RX_FILTER_GET, &get), 0);
        QVERIFY(std::equal(taps.begin(), taps.end(), fetched.begin()));
        QCOMPARE(fetched.back(), 42.0);
        QCOMPARE(get.size, zarn::MAX_FILTER_SIZE);
        zarn::ctl_close(fd);
    }

    void reply_never_writes_past_record_or_requested_taps() {
        // This server answers with more than the protocol allows: a larger
        // size in the record and extra doubles after the requested ones.
        ScriptedServer server([](int fd) {
            std::uint32_t code;
            zarn::FilterRecord request;
            if (!ScriptedServer::read_exactly(fd, &code, 4) ||
                !ScriptedServer::read_exactly(fd, &request, sizeof request)) {
                return;
            }
            std::vector<unsigned char> reply(4 + sizeof request + 10 * sizeof(double), 0);
            zarn::FilterRecord answer = request;
            answer.size = 10;
            std::memcpy(reply.data() + 4, &answer, sizeof answer);
            for (int i = 0; i < 10; ++i) {
                const double value = 100 + i;
                std::memcpy(reply.data() + 4 + sizeof answer + i * sizeof(double), &value,
                            sizeof value);
            }
            ScriptedServer::write_all(fd, reply.data(), reply.size());
        });
        const int fd = zarn::ctl_open(server.path());
        QVERIFY(fd >= 0);
        std::vector<double> space(6, -1.0);
        zarn::FilterRecord fetch = filter_record(2, space.data());
        QCOMPARE(zarn::ctl_request(fd, zarn::REQ_DEV_RX_FILTER_GET, &fetch), 0);
        QCOMPARE(space, (std::vector<double>{100, 101, -1, -1, -1, -1}));
        QCOMPARE(fetch.size, 10); // the daemon's answer, which the caller must bound itself
        zarn::ctl_close(fd);
    }

    void silent_daemon_fails_within_a_second_and_later_requests_at_once() {
        TestDaemon daemon;
        const int fd = zarn::ctl_open(daemon.path());
        zarn::TargetPeak peak{};
        QCOMPARE(zarn::ctl_request(fd, zarn::REQ_DEV_PEAK, &peak), 0);

        daemon.silence_next_reply();
        std::memset(&peak, 0x11, sizeof peak);
        peak.number = 0;
        peak.channel = 1;
        const zarn::TargetPeak before = peak;
        QElapsedTimer timer;
        timer.start();
        QVERIFY(zarn::ctl_request(fd, zarn::REQ_DEV_PEAK, &peak) != 0);
        const double waited = elapsed_seconds(timer);
        QVERIFY2(waited >= 0.9 && waited < 1.8, qPrintable(QString::number(waited)));
        QVERIFY(bytes_equal(&peak, &before, sizeof peak));

        timer.restart();
        std::int32_t probe = 5;
        QVERIFY(zarn::ctl_request(fd, zarn::REQ_PROBE, &probe) != 0);
        QVERIFY(zarn::ctl_request(fd, zarn::REQ_DEV_PEAK, &peak) != 0);
        QVERIFY(elapsed_seconds(timer) < 0.2);
        QCOMPARE(probe, 5);
        QVERIFY(bytes_equal(&peak, &before, sizeof peak));
        // The requests after the failure never left the client.
        QCOMPARE(daemon.count(zarn::REQ_PROBE), std::size_t{0});
        zarn::ctl_close(fd);

        // A fresh connection is served as before.
        const int again = zarn::ctl_open(daemon.path());
        QCOMPARE(zarn::ctl_request(again, zarn::REQ_PROBE, &probe), 0);
        zarn::ctl_close(again);
    }

    void reply_cut_short_fails_and_leaves_record_untouched() {
        TestDaemon daemon;
        const int fd = zarn::ctl_open(daemon.path());
        daemon.cut_next_reply();
        zarn::SystemInfo info;
        std::memset(&info, 0x33, sizeof info);
        const zarn::SystemInfo before = info;
        QElapsedTimer timer;
        timer.start();
        QVERIFY(zarn::ctl_request(fd, zarn::REQ_SYSTEM_INFO, &info) != 0);
        QVERIFY(elapsed_seconds(timer) < 1.5);
        QVERIFY(bytes_equal(&info, &before, sizeof info));
        QVERIFY(zarn::ctl_request(fd, zarn::REQ_SYSTEM_INFO, &info) != 0);
        QVERIFY(bytes_equal(&info, &before, sizeof info));

        // Cut in the middle of a filter's array: the array stays as it was.
        zarn::sim::Topology topology;
        topology.filter_length = 4096;
        TestDaemon filters(topology);
        const int fd2 = zarn::ctl_open(filters.path());
        std::vector<double> taps(4096, 0.125);
        zarn::FilterRecord put = filter_record(4096, taps.data());
        QCOMPARE(zarn::ctl_request(fd2, zarn::REQ_DEV_TX_FILTER_SET, &put), 0);
        filters.cut_next_reply();
        std::vector<double> space(4096, 7.0);
        zarn::FilterRecord get = filter_record(4096, space.data());
        const zarn::FilterRecord get_before = get;
        QVERIFY(zarn::ctl_request(fd2, zarn::REQ_DEV_TX_FILTER_GET, &get) != 0);
        QVERIFY(bytes_equal(&get, &get_before, sizeof get));
        QVERIFY(std::all_of(space.begin(), space.end(), [](double v) { return v == 7.0; }));
        zarn::ctl_close(fd);
        zarn::ctl_close(fd2);
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
        QVERIFY(again >= 0);
        QCOMPARE(zarn::ctl_request(again, zarn::REQ_RECORDING_GET, &state), 0);
        QCOMPARE(state, 1);
        zarn::ctl_close(again);
    }

    void paths_that_are_not_a_daemon() {
        QVERIFY(zarn::ctl_open("/nonexistent/zmix.ctl") < 0);
        std::int32_t value = 3;
        QVERIFY(zarn::ctl_request(-1, zarn::REQ_PROBE, &value) != 0);
        QCOMPARE(value, 3);

        // A character device goes through ioctl itself, which /dev/null refuses.
        const int null_fd = zarn::ctl_open("/dev/null");
        QVERIFY(null_fd >= 0);
        QVERIFY(zarn::ctl_request(null_fd, zarn::REQ_PROBE, &value) != 0);
        QCOMPARE(value, 3);
        QCOMPARE(zarn::ctl_close(null_fd), 0);

        // A socket file nobody listens behind.
        char directory[] = "/tmp/zarnctl-XXXXXX";
        QVERIFY(::mkdtemp(directory) != nullptr);
        const std::string path = std::string(directory) + "/stale.ctl";
        const int s = ::socket(AF_UNIX, SOCK_STREAM, 0);
        sockaddr_un address{};
        address.sun_family = AF_UNIX;
        std::strcpy(address.sun_path, path.c_str());
        QCOMPARE(::bind(s, reinterpret_cast<sockaddr *>(&address), sizeof address), 0);
        ::close(s);
        QVERIFY(zarn::ctl_open(path.c_str()) < 0);
        ::unlink(path.c_str());

        // A daemon that stopped accepting: its backlog fills up, and opening
        // must then fail at once rather than block the caller.
        const int busy = ::socket(AF_UNIX, SOCK_STREAM, 0);
        QCOMPARE(::bind(busy, reinterpret_cast<sockaddr *>(&address), sizeof address), 0);
        QCOMPARE(::listen(busy, 0), 0);
        std::vector<int> waiting;
        for (int i = 0; i < 16; ++i) {
            const int fd = ::socket(AF_UNIX, SOCK_STREAM | SOCK_NONBLOCK, 0);
            waiting.push_back(fd);
            if (::connect(fd, reinterpret_cast<sockaddr *>(&address), sizeof address) != 0) {
                break;
            }
        }
        QElapsedTimer timer;
        timer.start();
        QVERIFY(zarn::ctl_open(path.c_str()) < 0);
        QVERIFY(elapsed_seconds(timer) < 0.5);
        for (const int fd : waiting) {
            ::close(fd);
        }
        ::close(busy);
        ::unlink(path.c_str());
        ::rmdir(directory);
    }
};

QTEST_APPLESS_MAIN(TestTransport)
#include "test_transport.moc"
