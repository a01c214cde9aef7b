// SPDX-License-Identifier: BSD-2-Clause

#include <QTest>

#include <QElapsedTimer>
#include <QTemporaryDir>

#include <cstdint>
#include <cstring>
#include <memory>
#include <poll.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/un.h>
#include <thread>
#include <unistd.h>
#include <vector>

#include "ctl/requests.h"
#include "ctl/transport.h"
#include "sim/socket_path.h"
#include "support/test_daemon.h"

using zarn::sim::Server;
using zarn::sim::TestDaemon;
using Bytes = std::vector<unsigned char>;

namespace {

// A client that speaks raw bytes, to see the wire exactly and to misbehave.
class RawClient {
public:
    explicit RawClient(const char *path) : fd_(::socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0)) {
        sockaddr_un address{};
        address.sun_family = AF_UNIX;
        std::strncpy(address.sun_path, path, sizeof address.sun_path - 1);
        connected = ::connect(fd_, reinterpret_cast<sockaddr *>(&address), sizeof address) == 0;
    }
    ~RawClient() { ::close(fd_); }

    bool send(const void *data, std::size_t size) {
        return ::send(fd_, data, size, MSG_NOSIGNAL) == static_cast<ssize_t>(size);
    }

    bool send_request(std::uint32_t code, const Bytes &record) {
        Bytes bytes(reinterpret_cast<const unsigned char *>(&code),
                    reinterpret_cast<const unsigned char *>(&code) + 4);
        bytes.insert(bytes.end(), record.begin(), record.end());
        return send(bytes.data(), bytes.size());
    }

    // Up to size bytes; fewer when the server closes or stays quiet for timeout_ms.
    Bytes receive(std::size_t size, int timeout_ms = 2000) {
        Bytes bytes(size);
        std::size_t got = 0;
        pollfd p{fd_, POLLIN, 0};
        while (got<size && ::poll(&p, 1, timeout_ms)> 0) {
            const ssize_t n = ::recv(fd_, bytes.data() + got, size - got, 0);
            if (n <= 0) {
                break;
            }
            got += static_cast<std::size_t>(n);
        }
        bytes.resize(got);
        return bytes;
    }

    bool closed_by_server(int timeout_ms) {
        pollfd p{fd_, POLLIN, 0};
        unsigned char byte;
        return ::poll(&p, 1, timeout_ms) > 0 && ::recv(fd_, &byte, 1, MSG_DONTWAIT) == 0;
    }

    bool connected = false;

private:
    int fd_;
};

Bytes peak_request(std::int32_t number, std::int32_t channel) {
    Bytes record(sizeof(zarn::TargetPeak), 0);
    std::memcpy(record.data(), &number, 4);
    std::memcpy(record.data() + 4, &channel, 4);
    return record;
}

Bytes reply(std::int32_t result, const Bytes &record) {
    Bytes bytes(sizeof result + record.size());
    std::memcpy(bytes.data(), &result, sizeof result);
    std::copy(record.begin(), record.end(), bytes.begin() + sizeof result);
    return bytes;
}

// One request through the panel's own transport on a fresh connection.
Bytes filter_write(std::int32_t size) {
    const zarn::FilterRecord record{0, 0, size, 0, 0x1000};
    const auto *bytes = reinterpret_cast<const unsigned char *>(&record);
    return Bytes(bytes, bytes + sizeof record);
}

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
    void replies_are_exact_on_the_wire() {
        TestDaemon daemon;
        RawClient client(daemon.path());
        QVERIFY(client.connected);
        QVERIFY(client.send_request(zarn::REQ_DEV_PEAK, peak_request(0, 0)));
        const Bytes found = client.receive(4 + 64);
        QCOMPARE(found.size(), std::size_t{68});
        QCOMPARE(Bytes(found.begin(), found.begin() + 12), Bytes(12, 0));

        // Past the last device, and a code nobody knows: failure, and the
        // record exactly as sent.
        Bytes missing = peak_request(99, 0);
        missing[20] = 0x5e; // a reserved byte, to see it echoed
        QVERIFY(client.send_request(zarn::REQ_DEV_PEAK, missing));
        QCOMPARE(client.receive(68), reply(-1, missing));
        const Bytes unknown = {1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11, 12};
        QVERIFY(client.send_request(zarn::ioc(zarn::DIR_INOUT, 12, 99), unknown));
        QCOMPARE(client.receive(16), reply(-1, unknown));
        // The reset request has no record: the reply is the result alone.
        QVERIFY(client.send_request(zarn::REQ_DELAY_LOCATOR_RESET, {}));
        QCOMPARE(client.receive(4), reply(0, {}));
        QVERIFY(client.receive(1, 100).empty());
    }

    void pipelined_requests_are_answered_in_order() {
        TestDaemon daemon;
        RawClient client(daemon.path());
        Bytes burst;
        for (int i = 0; i < 200; ++i) {
            const std::uint32_t code = zarn::REQ_DEV_PEAK;
            const Bytes record = peak_request(i % 3, 0); // device 2 does not exist
            burst.insert(burst.end(), reinterpret_cast<const unsigned char *>(&code),
                         reinterpret_cast<const unsigned char *>(&code) + 4);
            burst.insert(burst.end(), record.begin(), record.end());
        }
        QVERIFY(client.send(burst.data(), burst.size()));
        const Bytes replies = client.receive(200 * 68, 5000);
        QCOMPARE(replies.size(), std::size_t{200 * 68});
        for (int i = 0; i < 200; ++i) {
            std::int32_t head[2];
            std::memcpy(head, replies.data() + i * 68, sizeof head);
            QCOMPARE(head[0], i % 3 == 2 ? -1 : 0);
            QCOMPARE(head[1], i % 3);
        }
    }

    void longest_filters_travel_exactly_amid_pipelined_requests() {
        zarn::sim::Topology topology;
        topology.filter_length = zarn::MAX_FILTER_SIZE;
        TestDaemon daemon(topology);
        RawClient client(daemon.path());
        std::vector<double> taps(zarn::MAX_FILTER_SIZE);
        for (std::size_t k = 0; k < taps.size(); ++k) {
            taps[k] = static_cast<double>(k) * 0.5 - 1000.0;
        }
        const zarn::FilterRecord filter{0, 1, zarn::MAX_FILTER_SIZE, 0, 0x1000};
        const auto *record = reinterpret_cast<const unsigned char *>(&filter);
        const Bytes filter_record(record, record + sizeof filter);
        const auto *tap_bytes = reinterpret_cast<const unsigned char *>(taps.data());
        const std::size_t tap_size = taps.size() * sizeof(double);

        // A write, a peak, a read and a peak in one burst.
        Bytes burst;
        const auto add = [&burst](std::uint32_t code, const Bytes &bytes) {
            const auto *c = reinterpret_cast<const unsigned char *>(&code);
            burst.insert(burst.end(), c, c + 4);
            burst.insert(burst.end(), bytes.begin(), bytes.end());
        };
        add(zarn::REQ_DEV_TX_FILTER_SET, filter_record);
        burst.insert(burst.end(), tap_bytes, tap_bytes + tap_size);
        add(zarn::REQ_DEV_PEAK, peak_request(0, 1));
        add(zarn::REQ_DEV_TX_FILTER_GET, filter_record);
        add(zarn::REQ_DEV_PEAK, peak_request(0, 0));
        QVERIFY(client.send(burst.data(), burst.size()));

        Bytes expected = reply(0, filter_record);
        const std::size_t peak_at = expected.size();
        expected.resize(expected.size() + 68);
        const Bytes fetched = reply(0, filter_record);
        expected.insert(expected.end(), fetched.begin(), fetched.end());
        expected.insert(expected.end(), tap_bytes, tap_bytes + tap_size);
        const std::size_t last_peak_at = expected.size();
        expected.resize(expected.size() + 68);
        Bytes found = client.receive(expected.size() + 1, 5000);
        QCOMPARE(found.size(), expected.size());
        // The peaks' levels move; their heads do not.
        for (std::size_t at : {peak_at, last_peak_at}) {
            QCOMPARE(
                Bytes(found.begin() + at, found.begin() + at + 12),
                reply(0, Bytes{0, 0, 0, 0, static_cast<unsigned char>(at == peak_at), 0, 0, 0}));
            std::copy(found.begin() + at, found.begin() + at + 68, expected.begin() + at);
        }
        QVERIFY(found == expected);
        QCOMPARE(daemon.requests().size(), std::size_t{4});
    }

    void misbehaving_clients_are_dropped_while_others_are_served() {
        TestDaemon daemon;
        RawClient good(daemon.path());
        RawClient garbage(daemon.path());
        const char text[] = "GET / HTTP/1.1\r\n\r\n";
        QVERIFY(garbage.send(text, sizeof text - 1));
        QVERIFY(garbage.closed_by_server(2000));
        {
            // Half a request, then gone.
            RawClient quitter(daemon.path());
            const std::uint32_t code = zarn::REQ_ADD_OPTIONS;
            QVERIFY(quitter.send(&code, 4));
            QVERIFY(quitter.send("-rate=", 6));
        }
        // Half a filter array, then silence.
        RawClient staller(daemon.path());
        zarn::FilterRecord record{0, 0, 2048, 0, 0x1000};
        const auto *bytes = reinterpret_cast<const unsigned char *>(&record);
        QVERIFY(
            staller.send_request(zarn::REQ_DEV_RX_FILTER_SET, Bytes(bytes, bytes + sizeof record)));
        const std::vector<double> half(1024, 0.5);
        QVERIFY(staller.send(half.data(), half.size() * sizeof(double)));

        QVERIFY(good.send_request(zarn::REQ_LOOP_PEAK, peak_request(0, 1)));
        QCOMPARE(good.receive(68).size(), std::size_t{68});
        for (int i = 0; i < 5; ++i) {
            QVERIFY(served(daemon));
        }
        QVERIFY(staller.closed_by_server(static_cast<int>(zarn::sim::Server::STALL_LIMIT.count()) +
                                         1500));
        QVERIFY(served(daemon));
        // None of the incomplete requests reached the engine.
        QCOMPARE(daemon.requests().size(), std::size_t{7});
        QCOMPARE(daemon.requests()[0].code, zarn::REQ_LOOP_PEAK);
        QCOMPARE(daemon.requests()[0].result, 0);
    }

    void socket_is_private_whatever_the_umask() {
        const mode_t saved = ::umask(0);
        TestDaemon daemon;
        ::umask(saved);
        struct stat st {};
        QCOMPARE(::lstat(daemon.path(), &st), 0);
        QVERIFY(S_ISSOCK(st.st_mode));
        QCOMPARE(st.st_mode & 07777, mode_t{0600});
    }

    void private_directory_is_made_or_refused() {
        QTemporaryDir base;
        const std::string root = base.path().toStdString();
        const struct {
            const char *name;
            mode_t before; // mode of a directory there beforehand; 0: none
            bool link;     // a symbolic link to a directory with mode 0700 instead
            bool accepted;
            mode_t after;
        } rows[] = {
            {"missing", 0, false, true, 0700},
            {"ours", 0700, false, true, 0700},
            {"open to all", 0777, false, false, 0777},
            {"symlink", 0, true, false, 0777},
        };
        for (const auto &row : rows) {
            const std::string path = root + "/" + row.name;
            if (row.before != 0) {
                QCOMPARE(::mkdir(path.c_str(), 0700), 0);
                QCOMPARE(::chmod(path.c_str(), row.before), 0);
            }
            if (row.link) {
                QCOMPARE(::symlink((root + "/ours").c_str(), path.c_str()), 0);
            }
            // A umask that would leave a new directory without search permission.
            const mode_t saved = ::umask(0277);
            std::string error;
            const bool accepted = zarn::sim::make_private_directory(path, error);
            ::umask(saved);
            QVERIFY2(accepted == row.accepted, error.c_str());
            QCOMPARE(error.empty(), row.accepted);
            struct stat st {};
            QCOMPARE(::lstat(path.c_str(), &st), 0);
            QCOMPARE(st.st_mode & 07777, row.after);
        }
    }

    void connections_beyond_the_bound_are_closed_while_the_others_are_served() {
        TestDaemon daemon;
        std::vector<std::unique_ptr<RawClient>> clients;
        const auto answers = [](RawClient &client) {
            return client.send_request(zarn::REQ_DEV_PEAK, peak_request(1, 2)) &&
                   client.receive(68).size() == 68;
        };
        for (std::size_t i = 0; i < Server::MAX_CONNECTIONS; ++i) {
            clients.push_back(std::make_unique<RawClient>(daemon.path()));
            QVERIFY(answers(*clients.back()));
        }
        RawClient extra(daemon.path());
        QVERIFY(extra.closed_by_server(2000));
        int answered = 0;
        for (auto &client : clients) {
            answered += answers(*client);
        }
        QCOMPARE(answered, static_cast<int>(Server::MAX_CONNECTIONS));
        // A place that comes free is taken again.
        clients.pop_back();
        QVERIFY(served(daemon));

        // With the table full of idle connections, a newcomer takes the
        // place of the one idle for longest, once that is past the limit.
        clients.push_back(std::make_unique<RawClient>(daemon.path()));
        QVERIFY(answers(*clients.back()));
        QTest::qWait(static_cast<int>(Server::IDLE_LIMIT.count()) + 300);
        RawClient newcomer(daemon.path());
        QVERIFY(answers(newcomer));
        QVERIFY(clients[0]->closed_by_server(1000));
        QVERIFY(answers(*clients[1]));
    }

    // One byte every 200 ms kept a connection forever while every byte
    // restarted the stall limit; the request's time runs from its first byte.
    void trickling_request_is_dropped_a_second_after_its_first_byte() {
        TestDaemon daemon;
        RawClient trickler(daemon.path());
        const std::uint32_t code = zarn::REQ_DEV_PEAK;
        Bytes request(reinterpret_cast<const unsigned char *>(&code),
                      reinterpret_cast<const unsigned char *>(&code) + 4);
        const Bytes record = peak_request(0, 0);
        request.insert(request.end(), record.begin(), record.end());
        QElapsedTimer clock;
        clock.start();
        bool closed = false;
        for (std::size_t i = 0; i + 1 < request.size() && !closed; ++i) {
            // The server may close between two bytes; the next is then refused.
            const bool sent = trickler.send(&request[i], 1);
            QVERIFY(sent || i > 0);
            closed = !sent || trickler.closed_by_server(200);
        }
        QVERIFY(closed);
        QVERIFY(clock.elapsed() < Server::REQUEST_LIMIT.count() + 1000);
        QVERIFY(served(daemon));
    }

    // Root's simulator once removed a stale socket of another user's in a
    // shared directory and listened in its place.
    void another_users_socket_is_left_alone() {
        if (::geteuid() != 0)
            QSKIP("giving a socket to another user needs root");
        QTemporaryDir dir;
        const std::string path = dir.filePath(QStringLiteral("zmix.ctl")).toStdString();
        // A socket file nobody listens behind: a daemon that died.
        const int stale = ::socket(AF_UNIX, SOCK_STREAM, 0);
        sockaddr_un address{};
        address.sun_family = AF_UNIX;
        std::strncpy(address.sun_path, path.c_str(), sizeof address.sun_path - 1);
        QCOMPARE(::bind(stale, reinterpret_cast<sockaddr *>(&address), sizeof address), 0);
        ::close(stale);
        QCOMPARE(::chown(path.c_str(), 65534, 65534), 0);
        struct stat before {};
        QCOMPARE(::lstat(path.c_str(), &before), 0);
        Server server([](std::uint32_t, unsigned char *, std::vector<double> &,
                         zarn::sim::ReplyFault &) { return 0; });
        std::string error;
        QVERIFY(!server.listen(path, error));
        QCOMPARE(error, path + " belongs to another user; not replaced");
        struct stat after {};
        QCOMPARE(::lstat(path.c_str(), &after), 0);
        QCOMPARE(after.st_ino, before.st_ino);
    }

    void input_held_follows_what_came_and_stops_at_one_request() {
        zarn::sim::Topology topology;
        topology.filter_length = zarn::MAX_FILTER_SIZE;
        TestDaemon daemon(topology);
        RawClient client(daemon.path());
        const std::vector<double> taps(zarn::MAX_FILTER_SIZE, 0.125);
        Bytes writes;
        for (int i = 0; i < 4; ++i) {
            const std::uint32_t code = zarn::REQ_DEV_RX_FILTER_SET;
            const Bytes record = filter_write(zarn::MAX_FILTER_SIZE);
            const auto *c = reinterpret_cast<const unsigned char *>(&code);
            const auto *t = reinterpret_cast<const unsigned char *>(taps.data());
            writes.insert(writes.end(), c, c + sizeof code);
            writes.insert(writes.end(), record.begin(), record.end());
            writes.insert(writes.end(), t, t + taps.size() * sizeof(double));
        }
        // A trickle of the first write: held is what came, not what it claims.
        const std::size_t piece = 1000;
        for (std::size_t at = 0; at < 8 * piece; at += piece) {
            QVERIFY(client.send(writes.data() + at, piece));
            QVERIFY(served(daemon)); // a turn of the server between pieces
        }
        QVERIFY2(daemon.peak_input() <= Server::READ_CHUNK,
                 std::to_string(daemon.peak_input()).c_str());
        // Then a flood of the rest without reading a reply.
        QVERIFY(client.send(writes.data() + 8 * piece, writes.size() - 8 * piece));
        QCOMPARE(client.receive(4 * 28, 5000).size(), std::size_t{4 * 28});
        QVERIFY2(daemon.peak_input() <= Server::MAX_REQUEST,
                 std::to_string(daemon.peak_input()).c_str());
        QCOMPARE(daemon.count(zarn::REQ_DEV_RX_FILTER_SET), std::size_t{4});
        QCOMPARE(daemon.requests().back().payload, taps);
    }

    void many_clients_at_once() {
        TestDaemon daemon;
        std::vector<std::thread> threads;
        std::vector<int> failures(8, 0);
        for (int t = 0; t < 8; ++t) {
            threads.emplace_back([&daemon, &failures, t] {
                const int fd = zarn::ctl_open(daemon.path());
                for (int i = 0; i < 100; ++i) {
                    zarn::ChannelConfig config{1, t % 3, {}, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0};
                    failures[t] += zarn::ctl_request(fd, zarn::REQ_DEV_CONFIG_GET, &config) != 0 ||
                                   config.channel != t % 3;
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
};

QTEST_APPLESS_MAIN(TestServer)
#include "test_server.moc"
