// SPDX-License-Identifier: BSD-2-Clause

#include <QElapsedTimer>
#include <QTest>
#include <csignal>
#include <sys/stat.h>

#include "bridge/bridge.h"
#include "ctl/catalogue.h"
#include "ctl/filter_record.h"
#include "ctl/requests.h"
#include "ctl/transport.h"
#include "support/raw_client.h"
#include "tests/bridge/bridge_rig.h"

using bridge_rig::Rig;
using raw_client::exchange;

namespace {

QByteArray filter_record(std::int32_t size, std::uint64_t address) {
    zarn::FilterRecord r{};
    r.size = size;
    r.coefficients = address;
    return QByteArray(reinterpret_cast<const char *>(&r), sizeof r);
}

QByteArray zeros(std::uint32_t code) {
    return QByteArray(static_cast<int>(zarn::ioc_size(code)), '\0');
}

// Another user's uid for the files a test leaves in the way.
constexpr uid_t OTHER_USER = 65534;

} // namespace

class TestBridge : public QObject {
    Q_OBJECT

private slots:
    void initTestCase() { std::signal(SIGPIPE, SIG_IGN); }

    void only_the_catalogue_reaches_the_device_data() {
        QTest::addColumn<quint32>("code");
        QTest::addColumn<QByteArray>("record");
        QTest::addColumn<bool>("read_only");
        QTest::addColumn<int>("result");
        QTest::addColumn<bool>("reaches");
        const quint32 peak_of_60 = zarn::ioc(zarn::DIR_INOUT, 60, 9);
        QTest::newRow("unknown number")
            << 0xc0084f63u << QByteArray(8, '\x5a') << false << -1 << false;
        QTest::newRow("peak with a wrong size")
            << peak_of_60 << QByteArray(60, '\x01') << false << -1 << false;
        QTest::newRow("another group")
            << 0xc0047300u << QByteArray(4, '\x02') << false << -1 << false;
        QTest::newRow("fetch of 65537 taps")
            << zarn::REQ_DEV_RX_FILTER_GET << filter_record(65537, 8) << false << -1 << false;
        QTest::newRow("negative filter length")
            << zarn::REQ_DEV_TX_FILTER_SET << filter_record(-1, 8) << false << -1 << false;
        QTest::newRow("filter length without an array")
            << zarn::REQ_LOOP_RX_FILTER_GET << filter_record(16, 0) << false << -1 << false;
        QTest::newRow("configuration write under -r")
            << zarn::REQ_DEV_CONFIG_SET << zeros(zarn::REQ_DEV_CONFIG_SET) << true << -1 << false;
        QTest::newRow("options under -r")
            << zarn::REQ_ADD_OPTIONS << zeros(zarn::REQ_ADD_OPTIONS) << true << -1 << false;
        QTest::newRow("filter off under -r")
            << zarn::REQ_DEV_RX_FILTER_SET << filter_record(0, 0) << true << -1 << false;
        QTest::newRow("delay reset under -r")
            << zarn::REQ_DELAY_LOCATOR_RESET << QByteArray() << true << -1 << false;
        QTest::newRow("peak under -r")
            << zarn::REQ_DEV_PEAK << zeros(zarn::REQ_DEV_PEAK) << true << 0 << true;
        QTest::newRow("length query under -r")
            << zarn::REQ_DEV_RX_FILTER_GET << filter_record(0, 0) << true << 0 << true;
        QTest::newRow("configuration write")
            << zarn::REQ_DEV_CONFIG_SET << zeros(zarn::REQ_DEV_CONFIG_SET) << false << 0 << true;
    }

    // A refused request is answered with -1 and its own bytes, so that the
    // client's stream stays in step: the next request is served.
    void only_the_catalogue_reaches_the_device() {
        QFETCH(quint32, code);
        QFETCH(QByteArray, record);
        QFETCH(bool, read_only);
        QFETCH(int, result);
        QFETCH(bool, reaches);
        Rig rig(read_only);
        QVERIFY(rig.serving());
        const int fd = raw_client::connect_to(rig.path);
        QVERIFY(fd >= 0);
        QByteArray reply;
        QCOMPARE(exchange(fd, code, record, &reply), result);
        QCOMPARE(rig.daemon.requests().size(), reaches ? std::size_t{1} : std::size_t{0});
        if (!reaches)
            QCOMPARE(reply, record);
        QCOMPARE(exchange(fd, zarn::REQ_PROBE, zeros(zarn::REQ_PROBE)), 0);
        QCOMPARE(rig.bridge.refused(), reaches ? 0ul : 1ul);
        ::close(fd);
    }

    // The device works on the bridge's own array: what the client wrote is
    // what the daemon holds, and what it fetches is what the daemon sends.
    void filter_coefficients_cross_the_bridge() {
        Rig rig(false);
        const int fd = zarn::ctl_open(rig.path.c_str());
        QVERIFY(fd >= 0);
        const zarn::Target target{zarn::KIND_DEVICE, 1, 2};
        const std::int32_t taps = 2048;
        std::vector<double> written(taps);
        for (int i = 0; i < taps; ++i)
            written[static_cast<std::size_t>(i)] = 1.0 / (i + 1);
        QCOMPARE(zarn::write_filter(fd, target, true, taps, written.data()), 0);
        QCOMPARE(rig.daemon.requests().back().payload, written);
        std::vector<double> fetched(taps);
        QVERIFY(zarn::fetch_filter(fd, target, true, taps, fetched.data()));
        QCOMPARE(fetched, written);
        zarn::ctl_close(fd);
    }

    // The device's ioctl hangs: its client fails within the transport's
    // limit, and the next client is served on a reopened device.
    void hung_device_fails_in_time_and_the_next_client_is_served() {
        Rig rig(false);
        const int first = raw_client::connect_to(rig.path);
        const int second = raw_client::connect_to(rig.path);
        QVERIFY(first >= 0 && second >= 0);
        QCOMPARE(exchange(first, zarn::REQ_PROBE, zeros(zarn::REQ_PROBE)), 0);
        rig.daemon.silence_next_reply();
        QElapsedTimer timer;
        timer.start();
        QVERIFY(raw_client::send_request(first, zarn::REQ_PROBE, zeros(zarn::REQ_PROBE)));
        QVERIFY(raw_client::send_request(second, zarn::REQ_DEV_PEAK, zeros(zarn::REQ_DEV_PEAK)));
        int result = 0;
        QByteArray record;
        QVERIFY(raw_client::read_reply(first, 4, result, record));
        QCOMPARE(result, -1);
        QVERIFY2(timer.elapsed() < 1500, qPrintable(QString::number(timer.elapsed())));
        QVERIFY(raw_client::read_reply(second, 64, result, record));
        QCOMPARE(result, 0);
        QCOMPARE(exchange(first, zarn::REQ_PROBE, zeros(zarn::REQ_PROBE)), 0);
        ::close(first);
        ::close(second);
    }

    void seventeenth_connection_is_refused() {
        Rig rig(true);
        std::vector<int> clients;
        for (int i = 0; i < 16; ++i) {
            clients.push_back(raw_client::connect_to(rig.path));
            QCOMPARE(exchange(clients.back(), zarn::REQ_PROBE, zeros(zarn::REQ_PROBE)), 0);
        }
        const int extra = raw_client::connect_to(rig.path);
        QCOMPARE(exchange(extra, zarn::REQ_PROBE, zeros(zarn::REQ_PROBE)), 1000);
        ::close(extra);
        ::close(clients.back());
        clients.pop_back();
        // Once the bridge has seen the hang-up, the place is free again.
        int again = -1;
        QTRY_VERIFY_WITH_TIMEOUT((::close(again), again = raw_client::connect_to(rig.path),
                                  exchange(again, zarn::REQ_PROBE, zeros(zarn::REQ_PROBE)) == 0),
                                 3000);
        ::close(again);
        for (int fd : clients)
            ::close(fd);
    }

    void socket_and_directory_modes_data() {
        QTest::addColumn<bool>("group");
        QTest::newRow("owner only") << false;
        QTest::newRow("group") << true;
    }

    // Whatever the umask, the directory is 0750 and the socket 0600, or
    // 0660 in the group's hands.
    void socket_and_directory_modes() {
        QFETCH(bool, group);
        const mode_t saved = ::umask(0);
        const std::string base = Rig::make_directory();
        const std::string directory = base + "/zarnmix";
        const gid_t gid = group ? ::getegid() : static_cast<gid_t>(-1);
        std::string error;
        const bool made = zarn::bridge::make_socket_directory(directory, gid, error);
        zarn::sim::ServerLimits limits;
        if (group) {
            limits.group = gid;
            limits.socket_mode = 0660;
        }
        zarn::sim::Server server([](std::uint32_t, unsigned char *, std::vector<double> &,
                                    zarn::sim::ReplyFault &) { return -1; },
                                 limits);
        const std::string path = directory + "/ctl.sock";
        const bool listening = made && server.listen(path, error);
        ::umask(saved);
        struct stat dir_st {
        }, sock_st{};
        QVERIFY2(listening, error.c_str());
        QCOMPARE(::lstat(directory.c_str(), &dir_st), 0);
        QCOMPARE(::lstat(path.c_str(), &sock_st), 0);
        server.close();
        ::rmdir(directory.c_str());
        ::rmdir(base.c_str());
        QCOMPARE(dir_st.st_mode & 07777, 0750u);
        QCOMPARE(sock_st.st_mode & 07777, group ? 0660u : 0600u);
        QCOMPARE(sock_st.st_gid, ::getegid());
    }

    void path_of_another_user_is_refused_data() {
        QTest::addColumn<QString>("what");
        QTest::newRow("socket") << "socket";
        QTest::newRow("directory") << "directory";
        QTest::newRow("link to a directory") << "link";
    }

    // Root must neither take over nor follow what someone else put there.
    void path_of_another_user_is_refused() {
        QFETCH(QString, what);
        if (::geteuid() != 0)
            QSKIP("needs root to leave another user's file in the way");
        const std::string base = Rig::make_directory();
        const std::string directory = base + "/zarnmix";
        std::string error;
        bool accepted = true;
        if (what == QLatin1String("socket")) {
            // A stale socket file: nobody listens behind it.
            const std::string path = base + "/ctl.sock";
            sockaddr_un address{};
            address.sun_family = AF_UNIX;
            std::strncpy(address.sun_path, path.c_str(), sizeof address.sun_path - 1);
            const int fd = ::socket(AF_UNIX, SOCK_STREAM, 0);
            QCOMPARE(::bind(fd, reinterpret_cast<sockaddr *>(&address), sizeof address), 0);
            ::close(fd);
            QCOMPARE(::lchown(path.c_str(), OTHER_USER, OTHER_USER), 0);
            zarn::sim::Server server([](std::uint32_t, unsigned char *, std::vector<double> &,
                                        zarn::sim::ReplyFault &) { return -1; });
            accepted = server.listen(path, error);
            struct stat st {};
            QCOMPARE(::lstat(path.c_str(), &st), 0);
            QCOMPARE(st.st_uid, OTHER_USER);
        } else if (what == QLatin1String("directory")) {
            QCOMPARE(::mkdir(directory.c_str(), 0750), 0);
            QCOMPARE(::chown(directory.c_str(), OTHER_USER, OTHER_USER), 0);
            accepted =
                zarn::bridge::make_socket_directory(directory, static_cast<gid_t>(-1), error);
            ::rmdir(directory.c_str());
        } else {
            const std::string real = base + "/real";
            QCOMPARE(::mkdir(real.c_str(), 0750), 0);
            QCOMPARE(::symlink(real.c_str(), directory.c_str()), 0);
            accepted =
                zarn::bridge::make_socket_directory(directory, static_cast<gid_t>(-1), error);
            ::unlink(directory.c_str());
            ::rmdir(real.c_str());
        }
        ::unlink((base + "/ctl.sock").c_str());
        ::rmdir(base.c_str());
        QVERIFY(!accepted);
    }
};

QTEST_GUILESS_MAIN(TestBridge)
#include "test_bridge.moc"
