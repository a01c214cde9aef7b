#include <QTest>

#include <chrono>
#include <cstdint>
#include <cstring>
#include <poll.h>
#include <sys/socket.h>
#include <sys/un.h>
#include <thread>
#include <unistd.h>
#include <vector>

#include "ctl/requests.h"
#include "ctl/transport.h"
#include "sim/test_daemon.h"

using zarn::sim::TestDaemon;

namespace {

// A client that speaks raw bytes, to see the wire exactly and to misbehave.
class RawClient {
public:
    explicit RawClient(const char *path) {
        fd_ = ::socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0);
        sockaddr_un address{};
        address.sun_family = AF_UNIX;
        std::strncpy(address.sun_path, path, sizeof address.sun_path - 1);
        connected_ = ::connect(fd_, reinterpret_cast<sockaddr *>(&address), sizeof address) == 0;
    }
    ~RawClient() { ::close(fd_); }

    bool connected() const { return connected_; }

    bool send_bytes(const void *data, std::size_t size) {
        return ::send(fd_, data, size, MSG_NOSIGNAL) == static_cast<ssize_t>(size);
    }

    bool send_request(std::uint32_t code, const std::vector<unsigned char> &record) {
        std::vector<unsigned char> bytes(4 + record.size());
        std::memcpy(bytes.data(), &code, 4);
        std::copy(record.begin(), record.end(), bytes.begin() + 4);
        return send_bytes(bytes.data(), bytes.size());
    }

    // Reads exactly size bytes within timeout_ms; fewer when the server
    // closes or stays quiet.
    std::vector<unsigned char> receive(std::size_t size, int timeout_ms = 2000) {
        std::vector<unsigned char> bytes;
        const auto deadline =
            std::chrono::steady_clock::now() + std::chrono::milliseconds(timeout_ms);
        while (bytes.size() < size) {
            const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(
                                  deadline - std::chrono::steady_clock::now())
                                  .count();
            pollfd p{fd_, POLLIN, 0};
            if (left <= 0 || ::poll(&p, 1, static_cast<int>(left)) <= 0) {
                break;
            }
            unsigned char chunk[4096];
            const ssize_t n = ::recv(fd_, chunk, std::min(sizeof chunk, size - bytes.size()), 0);
            if (n <= 0) {
                break;
            }
            bytes.insert(bytes.end(), chunk, chunk + n);
        }
        return bytes;
    }

    // True when the server has closed this connection within timeout_ms.
    bool closed_by_server(int timeout_ms) {
        pollfd p{fd_, POLLIN, 0};
        if (::poll(&p, 1, timeout_ms) <= 0) {
            return false;
        }
        unsigned char byte;
        return ::recv(fd_, &byte, 1, MSG_DONTWAIT) == 0;
    }

private:
    int fd_ = -1;
    bool connected_ = false;
};

std::vector<unsigned char> peak_request(std::int32_t number, std::int32_t channel) {
    std::vector<unsigned char> record(sizeof(zarn::TargetPeak), 0);
    std::memcpy(record.data(), &number, 4);
    std::memcpy(record.data() + 4, &channel, 4);
    return record;
}

std::int32_t result_of(const std::vector<unsigned char> &reply) {
    std::int32_t result = 0x7fffffff;
    if (reply.size() >= 4) {
        std::memcpy(&result, reply.data(), 4);
    }
    return result;
}

// One request through the panel's own transport on a fresh connection.
bool served(const TestDaemon &daemon) {
    const int fd = zarn::ctl_open(daemon.path());
    std::int32_t probe = 0;
    const bool ok = fd >= 0 && zarn::ctl_request(fd, zarn::REQ_PROBE, &probe) == 0;
    zarn::ctl_close(fd);
    return ok;
}

} // namespace

class TestServer : public QObject {
    Q_OBJECT

private slots:
    void peak_replies_are_exact_on_the_wire() {
        TestDaemon daemon;
        RawClient client(daemon.path());
        QVERIFY(client.connected());

        QVERIFY(client.send_request(zarn::REQ_DEV_PEAK, peak_request(0, 0)));
        const auto found = client.receive(4 + 64);
        QCOMPARE(found.size(), std::size_t{68});
        QCOMPARE(result_of(found), 0);
        std::vector<unsigned char> head(found.begin() + 4, found.begin() + 12);
        QCOMPARE(head, std::vector<unsigned char>(8, 0));

        // Past the last device: failure, and the record exactly as sent.
        auto missing = peak_request(99, 0);
        missing[20] = 0x5e; // a reserved byte, to see it echoed
        QVERIFY(client.send_request(zarn::REQ_DEV_PEAK, missing));
        const auto refused = client.receive(4 + 64);
        QCOMPARE(refused.size(), std::size_t{68});
        QCOMPARE(result_of(refused), -1);
        QCOMPARE(std::vector<unsigned char>(refused.begin() + 4, refused.end()), missing);
        // Nothing more follows a reply.
        QVERIFY(client.receive(1, 100).empty());
    }

    void unknown_code_is_answered_with_its_own_bytes() {
        TestDaemon daemon;
        RawClient client(daemon.path());
        const std::uint32_t code = zarn::ioc(zarn::IOC_INOUT, 12, 99);
        const std::vector<unsigned char> record = {1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11, 12};
        QVERIFY(client.send_request(code, record));
        const auto reply = client.receive(4 + 12);
        QCOMPARE(result_of(reply), -1);
        QCOMPARE(std::vector<unsigned char>(reply.begin() + 4, reply.end()), record);

        // The reset request has no record: the reply is the result alone.
        QVERIFY(client.send_request(zarn::REQ_DELAY_LOCATOR_RESET, {}));
        QCOMPARE(result_of(client.receive(4)), 0);
        QVERIFY(client.receive(1, 100).empty());
    }

    void pipelined_requests_are_answered_in_order() {
        TestDaemon daemon;
        RawClient client(daemon.path());
        std::vector<unsigned char> burst;
        for (int i = 0; i < 200; ++i) {
            const std::uint32_t code = zarn::REQ_DEV_PEAK;
            const auto record = peak_request(i % 3, 0); // device 2 does not exist
            burst.insert(burst.end(), reinterpret_cast<const unsigned char *>(&code),
                         reinterpret_cast<const unsigned char *>(&code) + 4);
            burst.insert(burst.end(), record.begin(), record.end());
        }
        QVERIFY(client.send_bytes(burst.data(), burst.size()));
        const auto replies = client.receive(200 * 68, 5000);
        QCOMPARE(replies.size(), std::size_t{200 * 68});
        for (int i = 0; i < 200; ++i) {
            const std::vector<unsigned char> reply(replies.begin() + i * 68,
                                                   replies.begin() + (i + 1) * 68);
            QCOMPARE(result_of(reply), i % 3 == 2 ? -1 : 0);
            std::int32_t number;
            std::memcpy(&number, reply.data() + 4, 4);
            QCOMPARE(number, i % 3);
        }
    }

    void garbage_drops_only_the_client_that_sent_it() {
        TestDaemon daemon;
        RawClient good(daemon.path());
        RawClient garbage(daemon.path());
        const char text[] = "GET / HTTP/1.1\r\n\r\n";
        QVERIFY(garbage.send_bytes(text, sizeof text - 1));
        QVERIFY(garbage.closed_by_server(2000));

        QVERIFY(good.send_request(zarn::REQ_LOOP_PEAK, peak_request(0, 1)));
        QCOMPARE(result_of(good.receive(68)), 0);
        QVERIFY(served(daemon));
        QCOMPARE(daemon.requests().size(), std::size_t{2});
    }

    void clients_that_hang_up_or_stall_mid_request_are_dropped() {
        TestDaemon daemon;
        {
            // Half a request, then gone.
            RawClient quitter(daemon.path());
            const std::uint32_t code = zarn::REQ_ADD_OPTIONS;
            QVERIFY(quitter.send_bytes(&code, 4));
            QVERIFY(quitter.send_bytes("-rate=", 6));
        }
        // Half a filter array, then silence.
        RawClient staller(daemon.path());
        std::vector<unsigned char> record(sizeof(zarn::FilterRecord), 0);
        const std::int32_t size = 2048;
        const std::uint64_t address = 0x1000;
        std::memcpy(record.data() + offsetof(zarn::FilterRecord, size), &size, 4);
        std::memcpy(record.data() + offsetof(zarn::FilterRecord, coefficients), &address, 8);
        QVERIFY(staller.send_request(zarn::REQ_DEV_RX_FILTER_SET, record));
        std::vector<double> half(1024, 0.5);
        QVERIFY(staller.send_bytes(half.data(), half.size() * sizeof(double)));

        // Everyone else is served meanwhile.
        for (int i = 0; i < 5; ++i) {
            QVERIFY(served(daemon));
        }
        QVERIFY(staller.closed_by_server(static_cast<int>(zarn::sim::Server::STALL_LIMIT.count()) +
                                         1500));
        QVERIFY(served(daemon));
        // Neither incomplete request reached the engine.
        QCOMPARE(daemon.count(zarn::REQ_ADD_OPTIONS), std::size_t{0});
        QCOMPARE(daemon.count(zarn::REQ_DEV_RX_FILTER_SET), std::size_t{0});
    }

    void many_clients_at_once() {
        TestDaemon daemon;
        std::vector<std::thread> threads;
        std::vector<int> failures(8, 0);
        for (int t = 0; t < 8; ++t) {
            threads.emplace_back([&daemon, &failures, t] {
                const int fd = zarn::ctl_open(daemon.path());
                for (int i = 0; i < 100; ++i) {
                    zarn::ChannelConfig config{};
                    config.number = 1;
                    config.channel = t % 3;
                    if (zarn::ctl_request(fd, zarn::REQ_DEV_CONFIG_GET, &config) != 0 ||
                        config.channel != t % 3) {
                        ++failures[t];
                    }
                }
                zarn::ctl_close(fd);
            });
        }
        for (std::thread &thread : threads) {
            thread.join();
        }
        QCOMPARE(failures, std::vector<int>(8, 0));
        QCOMPARE(daemon.count(zarn::REQ_DEV_CONFIG_GET), std::size_t{800});
    }

    void hook_answers_instead_of_the_engine() {
        TestDaemon daemon;
        daemon.set_hook([](std::uint32_t code, unsigned char *record, std::vector<double> &) {
            if (code != zarn::REQ_RECORDING_GET) {
                return std::optional<int>();
            }
            const std::int32_t state = 9;
            std::memcpy(record, &state, 4);
            return std::optional<int>(0);
        });
        const int fd = zarn::ctl_open(daemon.path());
        std::int32_t state = 0;
        QCOMPARE(zarn::ctl_request(fd, zarn::REQ_RECORDING_GET, &state), 0);
        QCOMPARE(state, 9);
        std::int32_t rate = 0;
        QCOMPARE(zarn::ctl_request(fd, zarn::REQ_SAMPLE_RATE_GET, &rate), 0);
        QCOMPARE(rate, 48000);
        daemon.clear_hook();
        QCOMPARE(zarn::ctl_request(fd, zarn::REQ_RECORDING_GET, &state), 0);
        QCOMPARE(state, 0);
        zarn::ctl_close(fd);
    }

    void stop_and_start_keep_path_and_state() {
        TestDaemon daemon;
        const std::string path = daemon.path();
        daemon.with_engine([](zarn::sim::Engine &engine) { engine.sample_rate = 32000; });
        daemon.stop();
        QVERIFY(!daemon.running());
        QVERIFY(::access(path.c_str(), F_OK) != 0);
        QVERIFY(!served(daemon));
        daemon.start();
        QCOMPARE(std::string(daemon.path()), path);
        const int fd = zarn::ctl_open(daemon.path());
        std::int32_t rate = 0;
        QCOMPARE(zarn::ctl_request(fd, zarn::REQ_SAMPLE_RATE_GET, &rate), 0);
        QCOMPARE(rate, 32000);
        zarn::ctl_close(fd);
    }
};

QTEST_APPLESS_MAIN(TestServer)
#include "test_server.moc"
