// SPDX-License-Identifier: BSD-2-Clause

#include <QtTest>

#include <QBuffer>
#include <QFile>
#include <QFileInfo>
#include <QJsonDocument>
#include <QProcess>
#include <QTemporaryDir>

#include <algorithm>
#include <cfloat>
#include <cmath>
#include <csignal>
#include <cstring>
#include <limits>
#include <set>
#include <sys/stat.h>
#include <unistd.h>
#include <vector>

#include "ctl/channel_config.h"
#include "ctl/monitor_config.h"
#include "ctl/requests.h"
#include "ctl/transport.h"
#include "support/run_program.h"
#include "support/test_daemon.h"
#include "tools/state_file.h"
#include "tools/state_file_device.h"
#include "tools/state_file_json.h"
#include "tools/state_file_store.h"

using zarn::sim::TestDaemon;

namespace {

Run run(const QStringList &args, const QByteArray &input = QByteArray(),
        const QProcessEnvironment &env = QProcessEnvironment()) {
    return run_program(QStringLiteral(ZARNMIX_STATE), args, input, env);
}

Run store(const char *device, const QProcessEnvironment &env = QProcessEnvironment()) {
    return run({"-f", device, "store"}, QByteArray(), env);
}

Run restore(const char *device, const QByteArray &file, const QStringList &options = {},
            const QProcessEnvironment &env = QProcessEnvironment()) {
    return run(QStringList{"-f", device, "restore"} + options, file, env);
}

// What zarnmix_state is told to open for a daemon at socket: the socket
// itself, or a character device whose ioctl the preloaded library serves
// from it; and the environment that goes with it.
struct Control {
    QByteArray device;
    QProcessEnvironment env;
};

Control control(const QString &socket, bool device) {
    if (!device)
        return {socket.toLocal8Bit(), QProcessEnvironment()};
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.insert("LD_PRELOAD", ZARN_DEVICE_PRELOAD);
    env.insert("ZARN_PRELOAD_DEVICE", "/dev/zero");
    env.insert("ZARN_PRELOAD_SOCKET", socket);
    // Under AddressSanitizer the preloaded library comes before its runtime;
    // harmless, as the library only passes calls on.
    env.insert("ASAN_OPTIONS", env.value("ASAN_OPTIONS") + ":verify_asan_link_order=0");
    return {"/dev/zero", env};
}

void add_media() {
    QTest::addColumn<bool>("device");
    QTest::newRow("socket") << false;
    QTest::newRow("character device") << true;
}

const std::set<std::uint32_t> WRITES = {
    zarn::REQ_DEV_CONFIG_SET,    zarn::REQ_LOOP_CONFIG_SET,    zarn::REQ_INPUT_MON_SET,
    zarn::REQ_OUTPUT_MON_SET,    zarn::REQ_LOCAL_MON_SET,      zarn::REQ_MAIN_COMP_SET,
    zarn::REQ_DEV_COMP_SET,      zarn::REQ_LOOP_COMP_SET,      zarn::REQ_DEV_RX_FILTER_SET,
    zarn::REQ_DEV_TX_FILTER_SET, zarn::REQ_LOOP_RX_FILTER_SET, zarn::REQ_LOOP_TX_FILTER_SET};

std::size_t writes(const TestDaemon &d) {
    std::size_t n = 0;
    for (const auto &r : d.requests())
        n += WRITES.count(r.code);
    return n;
}

// Coefficients that a decimal text or a careless copy would change.
std::vector<double> awkward(std::size_t length) {
    const double fixed[] = {-0.0,
                            0.0,
                            std::numeric_limits<double>::denorm_min(),
                            -std::numeric_limits<double>::denorm_min() * 12345,
                            1.0 / 3.0,
                            0.1,
                            DBL_MAX,
                            -DBL_MIN,
                            std::nextafter(1.0, 2.0),
                            9007199254740993.0};
    std::vector<double> values(length);
    for (std::size_t i = 0; i < length; ++i)
        values[i] = i < std::size(fixed) ? fixed[i] : std::sin(double(i)) / double(i + 1);
    return values;
}

bool same_bits(const std::vector<double> &a, const std::vector<double> &b) {
    return a.size() == b.size() && std::memcmp(a.data(), b.data(), a.size() * sizeof(double)) == 0;
}

// The stored text with the first occurrence of from replaced; a test that
// names text the file does not hold fails instead of testing nothing.
QByteArray replaced(QByteArray text, const QByteArray &from, const QByteArray &to) {
    const int at = text.indexOf(from);
    if (at < 0)
        qFatal("%s is not in the file", from.constData());
    return text.replace(at, from.size(), to);
}

QByteArray base64_of(const std::vector<double> &values) {
    return QByteArray(reinterpret_cast<const char *>(values.data()),
                      int(values.size() * sizeof(double)))
        .toBase64();
}

zarn::sim::Topology small_topology(int filter_length = 8) {
    zarn::sim::Topology t;
    t.filter_length = filter_length;
    return t;
}

// A filter sent through the protocol, as the panel's equalizer sends it.
int send_filter(int fd, std::uint32_t code, int number, int channel, std::vector<double> taps) {
    zarn::FilterRecord r{};
    r.number = number;
    r.channel = channel;
    r.size = int(taps.size());
    r.coefficients = reinterpret_cast<std::uintptr_t>(taps.data());
    return zarn::ctl_request(fd, code, &r);
}

// A record's settable fields, "name=value" each.
QString fields_text(const std::vector<zarn::Field> &fields, const void *record) {
    QStringList out;
    for (const zarn::Field &f : fields)
        out << QString("%1=%2").arg(f.name).arg(zarn::field_value(record, f));
    return out.join(' ');
}

// The same of a received write: a configuration, or a compressor's settings.
QString fields_of(const zarn::Target &t, std::uint32_t code, const std::vector<unsigned char> &r) {
    if (code == zarn::kind_info(t.kind)->config_set)
        return fields_text(zarn::config_fields(t.kind), r.data());
    zarn::CompressorRecord record;
    std::memcpy(record.bytes, r.data(), std::min(r.size(), sizeof record.bytes));
    const zarn::CompressorValues values = zarn::compressor_values(t.kind, record);
    return fields_text(zarn::compressor_fields(), &values);
}

} // namespace

class TestZarnmixState : public QObject {
    Q_OBJECT

private slots:
    void file_keeps_every_bit();
    void golden_file_puts_every_field_in_its_place();
    void invalid_files_name_the_place();
    void round_trip_through_zarnmix_sim_data() { add_media(); }
    void round_trip_through_zarnmix_sim();
    void store_written_in_pieces_is_the_whole_text();
    void invalid_file_sends_nothing();
    void mismatched_daemon_skips_or_refuses();
    void dry_run_prints_changes_and_sends_nothing();
    void restore_writes_only_changed_fields_data();
    void restore_writes_only_changed_fields();
    void daemon_failures();
    void files_are_read_and_replaced_safely();
    void hung_daemon_fails_and_the_tool_ends_data() { add_media(); }
    void hung_daemon_fails_and_the_tool_ends();
    void usage();
};

void TestZarnmixState::file_keeps_every_bit() {
    zarn::state::Setup setup;
    setup.sample_rate = 44100;
    zarn::state::TargetState device;
    device.target = {zarn::KIND_DEVICE, 3, 1};
    device.channels = 2;
    device.name = "Stüdio \"A\"\t\x01";
    device.config = zarn::state::Values{{"rx_amp", -31}, {"delay", 4800}, {"tx_mute", 1}};
    device.rx_filter = zarn::state::FilterState{16, true, awkward(16), {}};
    device.tx_filter = zarn::state::FilterState{16, false, {}, {}};
    zarn::state::TargetState main;
    main.target = {zarn::KIND_MAIN_OUTPUT, 0, 0};
    main.compressor = zarn::state::Values{{"enabled", 1}, {"knee", 255}};
    zarn::state::TargetState monitor;
    monitor.target = {zarn::KIND_LOCAL_MONITOR, 2, 0};
    setup.targets = {device, main, monitor};

    const QByteArray text = zarn::state::encode_setup(setup);
    zarn::state::Setup back;
    std::string error;
    QVERIFY2(zarn::state::decode_setup(text, back, error), error.c_str());
    QCOMPARE(back.sample_rate, 44100);
    QCOMPARE(back.targets.size(), std::size_t{3});
    const auto &d = back.targets[0];
    QCOMPARE(std::make_tuple(d.target.kind, d.target.number, d.target.channel),
             std::make_tuple(0, 3, 1));
    QCOMPARE(*d.channels, 2);
    QCOMPARE(*d.name, *device.name);
    QCOMPARE(*d.config, *device.config);
    QVERIFY(d.rx_filter->on);
    QVERIFY(same_bits(d.rx_filter->coefficients, awkward(16)));
    QVERIFY(!d.tx_filter->on);
    QVERIFY(d.tx_filter->length == 16);
    QVERIFY(!d.compressor);
    QCOMPARE(*back.targets[1].compressor, *main.compressor);
    QVERIFY(!back.targets[2].config);
    QVERIFY(!back.targets[2].name);
    // Written again, the same text: nothing was lost or reordered.
    QCOMPARE(zarn::state::encode_setup(back), text);
    // The bytes are little-endian IEEE-754 whatever the host: 1/3 is at index 4.
    QVERIFY(text.contains(base64_of(awkward(16))));
    // Exactly the text Qt's own JSON writer gives for the same document.
    QCOMPARE(QJsonDocument::fromJson(text).toJson(), text);
}

namespace {

zarn::ChannelConfig channel_config(std::int32_t channel, std::int32_t rx_amp, std::int32_t tx_amp,
                                   std::int32_t src, std::int32_t dst, std::int32_t rx_mute,
                                   std::int32_t tx_mute, std::int32_t rx_polarity,
                                   std::int32_t tx_polarity, std::int32_t delay) {
    zarn::ChannelConfig c{};
    c.channel = channel;
    c.rx_amp = rx_amp;
    c.tx_amp = tx_amp;
    c.src_channel = src;
    c.dst_channel = dst;
    c.rx_mute = rx_mute;
    c.tx_mute = tx_mute;
    c.rx_polarity = rx_polarity;
    c.tx_polarity = tx_polarity;
    c.delay = delay;
    return c;
}

QString listed(std::initializer_list<std::int32_t> values) {
    QStringList out;
    for (std::int32_t v : values)
        out << QString::number(v);
    return out.join(QLatin1Char(' '));
}

} // namespace

void TestZarnmixState::golden_file_puts_every_field_in_its_place() {
    // Every field has a distinct value: a field stored at another's offset
    // shows. The booleans cannot all differ in one record, so the two
    // channels set them in patterns that tell every pair apart.
    QFile file(QStringLiteral(ZARN_GOLDEN_SETUP));
    QVERIFY(file.open(QIODevice::ReadOnly));
    const QByteArray golden = file.readAll();
    using zarn::state::read_fields;
    // The records by their members' names, not through the field table.
    const zarn::ChannelConfig first = channel_config(0, -7, 9, 11, 13, 1, 0, 1, 0, 17);
    const zarn::ChannelConfig second = channel_config(1, 5, -3, 6, 8, 1, 1, 0, 0, 19);
    zarn::MonitorConfig monitor{};
    monitor.number = 1;
    monitor.src_channel = 3;
    monitor.dst_channel = 4;
    monitor.polarity = 1;
    monitor.mute = 0;
    monitor.amp = -5;
    zarn::CompressorValues compressor;
    compressor.enabled = 1;
    compressor.knee = 31;
    compressor.attack = 23;
    compressor.decay = 29;
    const auto bytes = [](const auto &record) {
        return reinterpret_cast<const unsigned char *>(&record);
    };
    zarn::state::Setup setup;
    setup.sample_rate = 48000;
    setup.targets.resize(3);
    setup.targets[0].target = {zarn::KIND_DEVICE, 0, 0};
    setup.targets[0].config = read_fields(bytes(first), zarn::config_fields(zarn::KIND_DEVICE));
    setup.targets[0].compressor = read_fields(bytes(compressor), zarn::compressor_fields());
    setup.targets[1].target = {zarn::KIND_DEVICE, 0, 1};
    setup.targets[1].config = read_fields(bytes(second), zarn::config_fields(zarn::KIND_DEVICE));
    setup.targets[2].target = {zarn::KIND_INPUT_MONITOR, 1, 0};
    setup.targets[2].config =
        read_fields(bytes(monitor), zarn::config_fields(zarn::KIND_INPUT_MONITOR));
    QCOMPARE(zarn::state::encode_setup(setup), golden);

    // And back: the file's values land in the members they are named after.
    zarn::state::Setup read;
    std::string error;
    QVERIFY2(zarn::state::decode_setup(golden, read, error), error.c_str());
    QCOMPARE(read.targets.size(), std::size_t{3});
    zarn::ChannelConfig configs[2] = {};
    for (int i = 0; i < 2; ++i)
        zarn::state::write_fields(reinterpret_cast<unsigned char *>(&configs[i]),
                                  zarn::config_fields(zarn::KIND_DEVICE), *read.targets[i].config);
    zarn::MonitorConfig monitor_back{};
    zarn::state::write_fields(reinterpret_cast<unsigned char *>(&monitor_back),
                              zarn::config_fields(zarn::KIND_INPUT_MONITOR),
                              *read.targets[2].config);
    zarn::CompressorValues compressor_back;
    zarn::state::write_fields(reinterpret_cast<unsigned char *>(&compressor_back),
                              zarn::compressor_fields(), *read.targets[0].compressor);
    const zarn::ChannelConfig *expected[2] = {&first, &second};
    for (int i = 0; i < 2; ++i) {
        const zarn::ChannelConfig &c = configs[i];
        const zarn::ChannelConfig &e = *expected[i];
        QCOMPARE(listed({c.rx_amp, c.tx_amp, c.src_channel, c.dst_channel, c.rx_mute, c.tx_mute,
                         c.rx_polarity, c.tx_polarity, c.delay}),
                 listed({e.rx_amp, e.tx_amp, e.src_channel, e.dst_channel, e.rx_mute, e.tx_mute,
                         e.rx_polarity, e.tx_polarity, e.delay}));
    }
    QCOMPARE(listed({monitor_back.src_channel, monitor_back.dst_channel, monitor_back.polarity,
                     monitor_back.mute, monitor_back.amp}),
             QStringLiteral("3 4 1 0 -5"));
    QCOMPARE(listed({compressor_back.enabled, compressor_back.knee, compressor_back.attack,
                     compressor_back.decay}),
             QStringLiteral("1 31 23 29"));
}

void TestZarnmixState::invalid_files_name_the_place() {
    TestDaemon d(small_topology());
    const QByteArray good = store(d.path()).out;
    QVERIFY(good.contains("\"state\": \"off\""));
    std::vector<double> nan_at_5 = awkward(8);
    nan_at_5[5] = std::nan("");
    std::vector<double> infinite = awkward(8);
    infinite[7] = -HUGE_VAL;
    const QByteArray on = "\"state\": \"on\", \"coefficients\": \"";
    const QByteArray filter = "\"length\": 8,\n                \"state\": \"off\"";
    const QByteArray off = "\"state\": \"off\"";

    // clang-format off
    const std::vector<std::pair<QByteArray, std::string>> cases = {
        {good.left(good.size() / 2), "line "},
        {"[]", "not a JSON object"},
        {replaced(good, "zarnmix-state", "alsa-state"), "format: \"alsa-state\" is not zarnmix-state"},
        {replaced(good, "\"version\": 3", "\"version\": 4"), "version: 4 is not supported"},
        {replaced(good, "\"channel\": 0,", "\"channel\": 0, \"channel_name\": 7,"), "targets[0].channel_name: not a string"},
        {replaced(replaced(good, "\"version\": 3", "\"version\": 2"), "\"channel\": 0,", "\"channel\": 0, \"channel_name\": \"Mic\","), "targets[0].channel_name: unknown field"},
        {replaced(good, "\"sample_rate\": 48000", "\"sample_rate\": \"48000\""), "sample_rate: not a number"},
        {replaced(good, "\"rx_amp\": 0", "\"rx_amp\": \"0\""), "targets[0].config.rx_amp: not a number"},
        {replaced(good, "\"rx_amp\": 0", "\"rx_amp\": 32"), "targets[0].config.rx_amp: out of range (-31 to 31)"},
        {replaced(good, "\"tx_mute\": 0", "\"tx_mute\": 0.5"), "targets[0].config.tx_mute: not an integer"},
        {replaced(good, "\"knee\": 128", "\"knee\": 256"), "targets[0].compressor.knee: out of range (0 to 255)"},
        {replaced(good, "\"rx_amp\": 0", "\"rx_amps\": 0"), "targets[0].config.rx_amps: unknown field"},
        {replaced(good, "\"kind\": \"device\"", "\"kind\": \"mixer\""), "targets[0].kind: unknown kind \"mixer\""},
        {replaced(good, "\"channel\": 1", "\"channel\": -1"), "targets[1].channel: out of range"},
        {replaced(good, "\"channel\": 1,", "\"channel\": 0,"), "targets[1]: device 0 channel 0 appears twice"},
        {replaced(good, "\"channels\": 2", "\"channels\": 0"), "targets[0].channels: out of range (1 to 2147483647)"},
        {replaced(good, "\"targets\": [", "\"targets\": [{\"kind\": \"input_monitor\", \"number\": 0, \"channel\": 0, \"rx_filter\": {}},"),
         "targets[0].rx_filter: this kind has no filters"},
        {replaced(good, filter, "\"length\": 8, " + on + base64_of(nan_at_5) + "\""),
         "targets[0].rx_filter.coefficients[5]: not a finite number"},
        {replaced(good, filter, "\"length\": 8, " + on + base64_of(infinite) + "\""),
         "targets[0].rx_filter.coefficients[7]: not a finite number"},
        // Coefficients are decoded last, yet their fault still comes first.
        {replaced(replaced(good, filter, "\"length\": 8, " + on + base64_of(nan_at_5) + "\""),
                  "\"channel\": 1", "\"channel\": -1"),
         "targets[0].rx_filter.coefficients[5]: not a finite number"},
        {replaced(good, filter, "\"length\": 8, " + on + base64_of(awkward(7)) + "\""),
         "targets[0].rx_filter.coefficients: holds 56 bytes, 64 are needed for 8 coefficients"},
        {replaced(good, filter, "\"length\": 8, " + on + "not*base64\""),
         "targets[0].rx_filter.coefficients: not base64 text"},
        {replaced(good, filter, "\"length\": 8, \"state\": \"on\""), "targets[0].rx_filter.coefficients: missing"},
        {replaced(good, off, "\"state\": \"off\", \"coefficients\": \"\""),
         "targets[0].rx_filter.coefficients: present while the filter is off"},
        {replaced(good, filter, "\"length\": 65537, \"state\": \"off\""), "targets[0].rx_filter.length: out of range (0 to 65536)"},
        {replaced(good, "\"rx_amp\": 0", "\"rx_amp\": 0, \"rx_amp\": 1"), "targets[0].config.rx_amp: appears twice in one object"},
        {replaced(good, "\"rx_amp\": 0", "\"rx\\u0000amp\": 0"), "targets[0].config.rx\\x00amp: unknown field"},
        {replaced(good, "\"kind\": \"device\"", "\"kind\": \"device\\u0000\""), "targets[0].kind: unknown kind \"device\\x00\""},
        {replaced(good, "\"sample_rate\": 48000", "\"sample_rate\": 1e999"), "sample_rate: out of range"},
        {QByteArray(100, '[') + QByteArray(100, ']'), "line 1, column 33: nested too deeply"},
    };
    // clang-format on
    for (const auto &[text, message] : cases) {
        zarn::state::Setup setup;
        std::string error;
        QVERIFY2(!zarn::state::decode_setup(text, setup, error), message.c_str());
        QVERIFY2(error.find(message) == 0, (error + " / " + message).c_str());
    }
    zarn::state::Setup setup;
    std::string error;
    // A file large enough to be decoded on several threads names its first
    // fault all the same.
    zarn::state::Setup large;
    large.sample_rate = 48000;
    for (std::int32_t channel = 0; channel < 16; ++channel) {
        zarn::state::TargetState t;
        t.target = {zarn::KIND_DEVICE, 0, channel};
        std::vector<double> values(zarn::MAX_FILTER_SIZE, 0.25);
        if (channel == 5 || channel == 11)
            values[std::size_t(channel) * 1000] = std::nan("");
        t.tx_filter = zarn::state::FilterState{zarn::MAX_FILTER_SIZE, true, values, {}};
        large.targets.push_back(t);
    }
    QVERIFY(!zarn::state::decode_setup(zarn::state::encode_setup(large), setup, error));
    QCOMPARE(error, std::string("targets[5].tx_filter.coefficients[5000]: not a finite number"));
    QVERIFY2(zarn::state::decode_setup(good, setup, error), error.c_str());
    // Files of the first two versions, without filter texts or channel
    // names, are read as before.
    for (const QByteArray version : {"1", "2"})
        QVERIFY2(zarn::state::decode_setup(
                     replaced(good, "\"version\": 3", "\"version\": " + version), setup, error),
                 error.c_str());
    // A channel's name comes back as it was stored.
    QVERIFY2(
        zarn::state::decode_setup(
            replaced(good, "\"channel\": 1,", "\"channel\": 1, \"channel_name\": \"Speakers L\","),
            setup, error),
        error.c_str());
    QCOMPARE(QString::fromStdString(setup.targets[1].channel_name.value_or("")),
             QString("Speakers L"));
}

void TestZarnmixState::round_trip_through_zarnmix_sim() {
    QFETCH(bool, device);
    QTemporaryDir dir;
    const QString socket = dir.filePath("zmix.ctl");
    const QString trace = dir.filePath("trace.txt");
    QProcess sim;
    sim.start(QStringLiteral(ZARNMIX_SIM),
              {"--socket", socket, "--trace", trace, "--filter-length", "64"});
    for (int waited = 0; waited < 5000 && !QFileInfo::exists(socket); waited += 20)
        QTest::qWait(20);
    // The test's own requests go to the socket, the tool's as the row says.
    const QByteArray path = socket.toLocal8Bit();
    const auto [tool_device, env] = control(socket, device);
    const QString file = dir.filePath("setup.json");

    Run r = run({"-f", tool_device, "store", file}, QByteArray(), env);
    QCOMPARE(r.status, 0);
    QCOMPARE(r.err, QByteArray());
    QFile stored(file);
    QVERIFY(stored.open(QIODevice::ReadOnly));
    const QByteArray first = stored.readAll();
    QVERIFY(first.contains("\"name\": \"dsp1\""));
    QCOMPARE(first.count("\"kind\": \"device\""), 5);

    // Gains, routing, a monitor, a filter and two compressors, changed
    // through the protocol as the panel changes them.
    const int fd = zarn::ctl_open(path.constData());
    zarn::ChannelConfig config{};
    config.number = 1;
    config.channel = 2;
    QCOMPARE(zarn::ctl_request(fd, zarn::REQ_DEV_CONFIG_GET, &config), 0);
    config.rx_amp = -7;
    config.tx_amp = 12;
    config.dst_channel = 5;
    config.rx_mute = 1;
    config.delay = 300;
    QCOMPARE(zarn::ctl_request(fd, zarn::REQ_DEV_CONFIG_SET, &config), 0);
    zarn::MonitorConfig monitor{};
    monitor.number = 1;
    QCOMPARE(zarn::ctl_request(fd, zarn::REQ_INPUT_MON_GET, &monitor), 0);
    monitor.src_channel = 1;
    monitor.amp = -3;
    QCOMPARE(zarn::ctl_request(fd, zarn::REQ_INPUT_MON_SET, &monitor), 0);
    QCOMPARE(send_filter(fd, zarn::REQ_LOOP_TX_FILTER_SET, 0, 1, awkward(64)), 0);
    zarn::CompressorSettings loop{0, 1, 200, 5, 60, 0};
    QCOMPARE(zarn::ctl_request(fd, zarn::REQ_LOOP_COMP_SET, &loop), 0);
    zarn::MainCompressorSettings main{1, 17, 0, 62, 0};
    QCOMPARE(zarn::ctl_request(fd, zarn::REQ_MAIN_COMP_SET, &main), 0);

    r = run({"-f", tool_device, "store", "-"}, QByteArray(), env);
    QCOMPARE(r.status, 0);
    const QByteArray changed = r.out;
    QVERIFY(changed != first);
    QVERIFY(changed.contains(base64_of(awkward(64))));

    r = run({"-f", tool_device, "restore", file}, QByteArray(), env);
    QCOMPARE(r.status, 0);
    QCOMPARE(r.err, QByteArray());
    QCOMPARE(store(tool_device, env).out, first);

    // And back again: the awkward coefficients come back bit for bit.
    QCOMPARE(restore(tool_device, changed, {}, env).status, 0);
    QCOMPARE(store(tool_device, env).out, changed);
    zarn::FilterRecord fetch{};
    std::vector<double> taps(64);
    fetch.channel = 1;
    fetch.size = 64;
    fetch.coefficients = reinterpret_cast<std::uintptr_t>(taps.data());
    QCOMPARE(zarn::ctl_request(fd, zarn::REQ_LOOP_TX_FILTER_GET, &fetch), 0);
    QVERIFY(same_bits(taps, awkward(64)));
    zarn::ctl_close(fd);

    // One device configuration write of the test, and one for each of the
    // five fields it changed in each restore, all whole records: the name
    // and delay limit as the daemon reported them.
    QFile log(trace);
    QVERIFY(log.open(QIODevice::ReadOnly));
    int device_writes = 0;
    for (const QByteArray &line : log.readAll().split('\n')) {
        const QList<QByteArray> words = line.split(' ');
        if (words.size() != 4 || words[1] != "0x80544f02")
            continue;
        ++device_writes;
        QCOMPARE(words[2], QByteArray("0"));
        QCOMPARE(words[3].mid(16, 6), QByteArray("647370"));
        QVERIFY(words[3].endsWith("c0120000"));
    }
    QCOMPARE(device_writes, 11);
    sim.terminate();
    QVERIFY(sim.waitForFinished(5000));
}

void TestZarnmixState::store_written_in_pieces_is_the_whole_text() {
    // Eight filters of 65536 taps: a text of several pieces.
    zarn::sim::Topology topology = zarn::sim::devices_only({4});
    topology.filter_length = zarn::MAX_FILTER_SIZE;
    TestDaemon d(topology);
    d.with_engine([](zarn::sim::Engine &e) {
        for (zarn::sim::ChannelState &channel : e.devices[0].channels) {
            for (zarn::sim::Filter *filter : {&channel.rx_filter, &channel.tx_filter}) {
                filter->active = true;
                filter->coefficients.assign(zarn::MAX_FILTER_SIZE, 0.0);
                filter->coefficients[std::size_t(channel.config.channel) * 7] = 1.0 / 3;
            }
        }
    });
    const int fd = zarn::ctl_open(d.path());
    QBuffer streamed;
    QVERIFY(streamed.open(QIODevice::WriteOnly));
    std::vector<std::string> warnings;
    std::string error;
    QVERIFY2(zarn::state::store_setup(fd, "/nowhere", streamed, warnings, error), error.c_str());
    zarn::state::Setup whole;
    QVERIFY2(zarn::state::read_setup(fd, whole, error), error.c_str());
    zarn::ctl_close(fd);
    QVERIFY(streamed.data().size() > 4 << 20);
    QCOMPARE(streamed.data(), zarn::state::encode_setup(whole));
}

void TestZarnmixState::invalid_file_sends_nothing() {
    QTemporaryDir dir;
    const QString socket = dir.filePath("zmix.ctl");
    const QString trace = dir.filePath("trace.txt");
    QProcess sim;
    sim.start(QStringLiteral(ZARNMIX_SIM),
              {"--socket", socket, "--trace", trace, "--filter-length", "8"});
    for (int waited = 0; waited < 5000 && !QFileInfo::exists(socket); waited += 20)
        QTest::qWait(20);
    const QByteArray device = socket.toLocal8Bit();
    const QByteArray good = store(device).out;
    QFile log(trace);
    QVERIFY(log.open(QIODevice::ReadOnly));
    const qint64 traced = log.readAll().size();
    QVERIFY(traced > 0);

    std::vector<double> nan_at_3 = awkward(8);
    nan_at_3[3] = std::nan("");
    const QByteArray filter = "\"length\": 8,\n                \"state\": \"off\"";
    const QByteArray on = "\"state\": \"on\", \"coefficients\": \"";
    const std::vector<std::pair<QByteArray, QByteArray>> cases = {
        {good.left(good.size() - 40), "line "},
        {replaced(good, "\"delay\": 0", "\"delay\": [0]"), "targets[0].config.delay: not a number"},
        {replaced(good, filter, "\"length\": 8, " + on + base64_of(nan_at_3) + "\""),
         "targets[0].rx_filter.coefficients[3]: not a finite number"},
        {replaced(good, filter, "\"length\": 8, " + on + base64_of(awkward(9)) + "\""),
         "targets[0].rx_filter.coefficients: holds 72 bytes, 64 are needed"},
    };
    for (const auto &[text, message] : cases) {
        // A valid target ahead of the fault must not be sent either.
        const QByteArray changed = replaced(text, "\"rx_amp\": 0", "\"rx_amp\": 4");
        const Run r = restore(device, changed);
        QCOMPARE(r.status, 1);
        QVERIFY2(r.err.contains("zarnmix_state: standard input: " + message), r.err.constData());
        QVERIFY(r.err.contains("nothing restored"));
    }
    const QString file = dir.filePath("missing.json");
    const Run r = run({"-f", device, "restore", file});
    QCOMPARE(r.status, 1);
    QVERIFY(r.err.contains(file.toLocal8Bit()));
    // Not one request reached the daemon, reads included.
    QCOMPARE(log.readAll(), QByteArray());
    sim.terminate();
    QVERIFY(sim.waitForFinished(5000));
}

void TestZarnmixState::mismatched_daemon_skips_or_refuses() {
    TestDaemon full(small_topology());
    full.with_engine([](zarn::sim::Engine &e) {
        e.devices[0].channels[1].config.rx_amp = 6;
        e.loops[0].compressor.knee = 77;
        e.devices[1].channels[0].config.delay = 4500;
        e.devices[0].channels[0].config.tx_amp = -8;
        e.devices[0].channels[0].tx_filter.active = true;
        e.devices[0].channels[0].tx_filter.coefficients = awkward(8);
        e.devices[0].channels[0].rx_filter.active = false;
    });
    const QByteArray file = store(full.path()).out;

    // One device, a loopback of three channels, no output monitor, and
    // device filter lengths of their own on device 0, channel 0: the filter
    // in force does not fit, the one that is off turns off all the same.
    zarn::sim::Topology fewer = small_topology();
    fewer.device_channels = {2};
    fewer.loop_channels = {3};
    fewer.output_monitors = 0;
    for (const bool pedantic : {true, false}) {
        TestDaemon d(fewer);
        d.with_engine([](zarn::sim::Engine &e) {
            zarn::sim::ChannelState &c = e.devices[0].channels[0];
            c.tx_filter.length = 4;
            c.rx_filter.length = 16;
            c.rx_filter.active = true;
            c.rx_filter.coefficients.assign(16, 0.5);
        });
        d.clear_requests();
        const Run r = restore(d.path(), file, pedantic ? QStringList{"--pedantic"} : QStringList{});
        QCOMPARE(r.status, 3);
        for (const char *skipped :
             {"skipped the transmit filter of device 0 channel 0: it takes 4 taps here, 8 in the "
              "file",
              "skipped device 1 channel 0: the daemon does not offer it",
              "skipped device 1 channel 2: the daemon does not offer it",
              "skipped loopback 0 channel 0: loopback 0 has 3 channels here, 2 in the file",
              "skipped loopback 0 channel 1: loopback 0 has 3 channels here, 2 in the file",
              "skipped output monitor 0: the daemon does not offer it"})
            QVERIFY2(r.err.contains(skipped), r.err.constData());
        QCOMPARE(r.err.count("skipped"), 7);
        QCOMPARE(r.err.contains("nothing restored"), pedantic);
        if (pedantic) {
            QCOMPARE(writes(d), std::size_t{0});
            continue;
        }
        // Everything else was restored, and only what differed was written:
        // the gains of device 0's channels, the filter of channel 0 that is
        // off in the file.
        QCOMPARE(d.count(zarn::REQ_DEV_CONFIG_SET), std::size_t{2});
        QCOMPARE(d.count(zarn::REQ_DEV_RX_FILTER_SET), std::size_t{1});
        QCOMPARE(writes(d), std::size_t{3});
        QCOMPARE(d.with_engine([](zarn::sim::Engine &e) {
            return std::make_tuple(e.devices[0].channels[1].config.rx_amp,
                                   e.devices[0].channels[0].config.tx_amp,
                                   e.devices[0].channels[0].rx_filter.active);
        }),
                 std::make_tuple(6, -8, false));
    }

    // A file that leaves out a target restores the rest without a word.
    zarn::state::Setup part;
    std::string error;
    QVERIFY(zarn::state::decode_setup(file, part, error));
    part.targets.erase(part.targets.begin());
    TestDaemon same(small_topology());
    const Run r = restore(same.path(), zarn::state::encode_setup(part));
    QCOMPARE(r.status, 0);
    QCOMPARE(r.err, QByteArray());
    // The gain of device 0 channel 1, the delay of device 1 channel 0.
    QCOMPARE(same.count(zarn::REQ_DEV_CONFIG_SET), std::size_t{2});

    // A differing sample rate or name is only a warning, unless pedantic; a
    // delay beyond the limit that comes with the lower rate is a mismatch.
    zarn::sim::Topology renamed = small_topology();
    renamed.sample_rate = 44100;
    for (const bool pedantic : {true, false}) {
        TestDaemon d(renamed);
        d.with_engine([](zarn::sim::Engine &e) {
            std::strcpy(e.loops[0].channels[1].config.name, "other");
            e.devices[1].channels[0].config.rx_mute = 1;
        });
        d.clear_requests();
        const Run r = restore(d.path(), file, pedantic ? QStringList{"--pedantic"} : QStringList{});
        QVERIFY(r.err.contains("warning: the sample rate is 44100 Hz here, 48000 Hz in the file"));
        QVERIFY(r.err.contains(
            "warning: loopback 0 channel 1 is called \"other\" here, \"loop0\" in the file"));
        QVERIFY(r.err.contains("skipped the delay of device 1 channel 0: 4500 is beyond the "
                               "daemon's limit 4410"));
        QCOMPARE(r.status, 3);
        // The rest of that channel comes back all the same, beside the gains
        // of device 0.
        QCOMPARE(d.count(zarn::REQ_DEV_CONFIG_SET), std::size_t{pedantic ? 0u : 3u});
        QCOMPARE(d.with_engine(
                     [](zarn::sim::Engine &e) { return e.devices[1].channels[0].config.rx_mute; }),
                 pedantic ? 1 : 0);
    }

    // A name from the file reaches the terminal escaped and cut: no escape
    // sequence, no forged line of ours, no warning ended at a NUL.
    TestDaemon plain(small_topology());
    const QByteArray forged = "\\u001b[2J\\u0000\\nzarnmix_state: done";
    const Run warned = restore(
        plain.path(), replaced(file, "\"loop0\"", "\"" + forged + QByteArray(100000, 'x') + "\""));
    QVERIFY2(
        warned.err.contains("is called \"loop0\" here, \"\\x1b[2J\\x00\\x0azarnmix_state: done" +
                            QByteArray(256 - 25, 'x') + "...\" in the file\n"),
        warned.err.left(400).constData());
    QVERIFY(!warned.err.contains('\x1b'));
    QVERIFY(!warned.err.contains("\nzarnmix_state: done"));
}

void TestZarnmixState::dry_run_prints_changes_and_sends_nothing() {
    TestDaemon d(small_topology(4));
    const QByteArray file = store(d.path()).out;
    QCOMPARE(restore(d.path(), file, {"--dry-run"}).out, QByteArray("nothing to change\n"));

    const std::vector<double> taps = awkward(4);
    d.with_engine([&](zarn::sim::Engine &e) {
        e.devices[1].channels[2].config.tx_amp = -2;
        e.devices[1].channels[2].config.src_channel = 9;
        e.input_monitors[1].config.mute = 1;
        e.main_compressor.decay = 3;
        e.loops[0].channels[0].rx_filter.active = true;
        e.loops[0].channels[0].rx_filter.coefficients = taps;
    });
    const QByteArray with_filter = store(d.path()).out;
    d.with_engine([&](zarn::sim::Engine &e) {
        e.devices[0].channels[1].tx_filter.active = true;
        e.devices[0].channels[1].tx_filter.coefficients = taps;
        e.loops[0].channels[0].rx_filter.coefficients[0] = 0.0; // was -0.0
    });
    d.clear_requests();
    Run r = restore(d.path(), file, {"--dry-run"});
    QCOMPARE(r.status, 0);
    QCOMPARE(r.out, QByteArray("device 0 channel 1: tx_filter: on (4 taps) -> off\n"
                               "device 1 channel 2: src_channel 9 -> 0\n"
                               "device 1 channel 2: tx_amp -2 -> 0\n"
                               "loopback 0 channel 0: rx_filter: on (4 taps) -> off\n"
                               "input monitor 1: mute 1 -> 0\n"
                               "main output channel 0: compressor.decay 3 -> 30\n"));
    r = restore(d.path(), with_filter, {"--dry-run"});
    QCOMPARE(r.out, QByteArray("device 0 channel 1: tx_filter: on (4 taps) -> off\n"
                               "loopback 0 channel 0: rx_filter: other coefficients (4 taps)\n"));
    QCOMPARE(writes(d), std::size_t{0});
    QCOMPARE(d.with_engine([](zarn::sim::Engine &e) { return e.main_compressor.decay; }), 3);
}

void TestZarnmixState::restore_writes_only_changed_fields_data() {
    QTest::addColumn<int>("kind");
    QTest::addColumn<int>("number");
    QTest::addColumn<int>("channel");
    QTest::addColumn<QString>("field"); // changed by another client after the store
    QTest::addColumn<int>("value");
    QTest::addColumn<std::uint32_t>("write"); // the one write of the restore; 0 for none
    using namespace zarn;
    QTest::newRow("device") << int(KIND_DEVICE) << 1 << 2 << "rx_amp" << -5 << REQ_DEV_CONFIG_SET;
    QTest::newRow("loopback") << int(KIND_LOOP) << 0 << 1 << "tx_mute" << 1 << REQ_LOOP_CONFIG_SET;
    QTest::newRow("input monitor")
        << int(KIND_INPUT_MONITOR) << 1 << 0 << "amp" << -3 << REQ_INPUT_MON_SET;
    QTest::newRow("output monitor")
        << int(KIND_OUTPUT_MONITOR) << 0 << 0 << "dst_channel" << 1 << REQ_OUTPUT_MON_SET;
    QTest::newRow("local monitor")
        << int(KIND_LOCAL_MONITOR) << 0 << 0 << "polarity" << 1 << REQ_LOCAL_MON_SET;
    QTest::newRow("device compressor")
        << int(KIND_DEVICE) << 0 << 0 << "compressor.attack" << 3 << REQ_DEV_COMP_SET;
    QTest::newRow("loopback compressor")
        << int(KIND_LOOP) << 0 << 0 << "compressor.enabled" << 1 << REQ_LOOP_COMP_SET;
    QTest::newRow("main compressor")
        << int(KIND_MAIN_OUTPUT) << 0 << 0 << "compressor.knee" << 9 << REQ_MAIN_COMP_SET;
    QTest::newRow("device filter")
        << int(KIND_DEVICE) << 0 << 1 << "rx_filter" << 1 << REQ_DEV_RX_FILTER_SET;
    QTest::newRow("loopback filter")
        << int(KIND_LOOP) << 0 << 0 << "tx_filter" << 1 << REQ_LOOP_TX_FILTER_SET;
    QTest::newRow("nothing changed") << int(KIND_DEVICE) << 0 << 0 << "" << 0 << 0u;
}

// One field changed since the store: the restore writes that field alone, in
// a record otherwise as the daemon holds it, and lists that one write.
void TestZarnmixState::restore_writes_only_changed_fields() {
    QFETCH(int, kind);
    QFETCH(int, number);
    QFETCH(int, channel);
    QFETCH(QString, field);
    QFETCH(int, value);
    QFETCH(std::uint32_t, write);
    TestDaemon d(small_topology());
    // Fields away from the defaults, so that a record rebuilt from defaults shows.
    d.with_engine([](zarn::sim::Engine &e) {
        for (auto *group : {&e.devices[0], &e.devices[1], &e.loops[0]}) {
            for (auto &c : group->channels)
                c.config.src_channel = 1;
        }
        e.main_compressor.decay = 7;
    });
    const int fd = zarn::ctl_open(d.path());
    std::string error;
    zarn::state::Setup setup;
    QVERIFY2(zarn::state::read_setup(fd, setup, error), error.c_str());

    const zarn::Target t{kind, number, channel};
    const std::string key = field.toStdString();
    const bool compressor = key.rfind("compressor.", 0) == 0;
    if (compressor) {
        zarn::CompressorValues values;
        QCOMPARE(zarn::read_compressor(fd, t, values), 0);
        for (const zarn::Field &f : zarn::compressor_fields()) {
            if (key == std::string("compressor.") + f.name)
                zarn::set_field(&values, f, value);
        }
        QCOMPARE(zarn::write_compressor(fd, t, values), 0);
    } else if (key == "rx_filter" || key == "tx_filter") {
        const std::vector<double> taps = awkward(8);
        QCOMPARE(zarn::write_filter(fd, t, key == "rx_filter", 8, taps.data()), 0);
    } else if (!key.empty()) {
        zarn::ConfigRecord record;
        QCOMPARE(zarn::read_config(fd, t, record.bytes), 0);
        for (const zarn::Field &f : zarn::config_fields(kind)) {
            if (key == f.name)
                zarn::set_field(record.bytes, f, value);
        }
        QCOMPARE(zarn::write_config(fd, t, record.bytes), 0);
    }
    // The record to be written: as the daemon has it now, the field as stored.
    QString expected;
    if (write != 0 && key.find("filter") == std::string::npos) {
        const zarn::state::TargetState &file =
            *std::find_if(setup.targets.begin(), setup.targets.end(),
                          [&t](const zarn::state::TargetState &s) { return s.target == t; });
        if (compressor) {
            zarn::CompressorValues values;
            QCOMPARE(zarn::read_compressor(fd, t, values), 0);
            for (const zarn::Field &f : zarn::compressor_fields()) {
                if (key == std::string("compressor.") + f.name)
                    zarn::set_field(&values, f, file.compressor->at(f.name));
            }
            expected = fields_text(zarn::compressor_fields(), &values);
        } else {
            zarn::ConfigRecord record;
            QCOMPARE(zarn::read_config(fd, t, record.bytes), 0);
            for (const zarn::Field &f : zarn::config_fields(kind)) {
                if (key == f.name)
                    zarn::set_field(record.bytes, f, file.config->at(f.name));
            }
            expected = fields_text(zarn::config_fields(kind), record.bytes);
        }
    }
    d.clear_requests();

    zarn::state::RestoreReport report;
    QCOMPARE(zarn::state::restore_setup(fd, setup, {}, report), zarn::state::RESTORE_DONE);
    std::vector<zarn::sim::ReceivedRequest> written;
    for (const auto &r : d.requests()) {
        if (WRITES.count(r.code))
            written.push_back(r);
    }
    QCOMPARE(written.size(), std::size_t{write ? 1u : 0u});
    QCOMPARE(report.changes.size(), written.size());
    zarn::state::Setup after;
    QVERIFY2(zarn::state::read_setup(fd, after, error), error.c_str());
    zarn::ctl_close(fd);
    QCOMPARE(zarn::state::encode_setup(after), zarn::state::encode_setup(setup));
    if (written.empty())
        return;
    QCOMPARE(written[0].code, write);
    QCOMPARE(report.changes[0].field, key);
    if (!expected.isEmpty())
        QCOMPARE(fields_of(t, write, written[0].record), expected);
}

void TestZarnmixState::daemon_failures() {
    QTemporaryDir dir;
    TestDaemon d(small_topology());
    const QByteArray file = store(d.path()).out;

    // A refused write and a value the daemon will not keep: both reported,
    // the rest restored all the same.
    d.with_engine([](zarn::sim::Engine &e) {
        e.devices[1].channels[0].config.rx_amp = 3;
        e.devices[0].channels[1].config.tx_amp = 2;
    });
    d.set_hook([](std::uint32_t code, unsigned char *record, std::vector<double> &) {
        zarn::ChannelConfig c;
        std::memcpy(&c, record, std::min(sizeof c, std::size_t(zarn::ioc_size(code))));
        if (code == zarn::REQ_DEV_CONFIG_SET && c.number == 0 && c.channel == 1)
            return std::optional<int>(-1);
        if (code == zarn::REQ_LOCAL_MON_GET)
            std::memset(record + offsetof(zarn::MonitorConfig, amp), 0x11, 4);
        return code == zarn::REQ_LOCAL_MON_GET ? std::optional<int>(0) : std::nullopt;
    });
    Run r = restore(d.path(), file);
    QCOMPARE(r.status, 1);
    QVERIFY2(r.err.contains("writing the configuration of device 0 channel 1 failed"),
             r.err.constData());
    QVERIFY(r.err.contains("local monitor 0: amp reads back 286331153, not 0"));
    QCOMPARE(
        d.with_engine([](zarn::sim::Engine &e) { return e.devices[1].channels[0].config.rx_amp; }),
        0);

    // A filter the daemon keeps otherwise is reported, the rest restored.
    d.clear_hook();
    d.with_engine([](zarn::sim::Engine &e) {
        e.devices[0].channels[0].rx_filter.active = true;
        e.devices[0].channels[0].rx_filter.coefficients = awkward(8);
    });
    const QByteArray with_filter = store(d.path()).out;
    d.with_engine([](zarn::sim::Engine &e) { e.devices[0].channels[0].rx_filter.active = false; });
    d.set_hook([](std::uint32_t code, unsigned char *, std::vector<double> &payload) {
        if (code == zarn::REQ_DEV_RX_FILTER_SET && !payload.empty())
            payload[0] = 1.0;
        return std::optional<int>();
    });
    r = restore(d.path(), with_filter);
    QCOMPARE(r.status, 1);
    QCOMPARE(r.err, QByteArray("zarnmix_state: device 0 channel 0: the receive filter reads back "
                               "otherwise\n"));

    // A read-back that fails, after the writes: named, and the restore failed.
    // The monitor is read to plan, to change its field, and back.
    d.with_engine([](zarn::sim::Engine &e) { e.local_monitors[0].config.amp = 4; });
    int monitor_reads = 0;
    d.set_hook([&monitor_reads](std::uint32_t code, unsigned char *, std::vector<double> &) {
        const bool back = code == zarn::REQ_LOCAL_MON_GET && ++monitor_reads == 3;
        return back ? std::optional<int>(-1) : std::nullopt;
    });
    r = restore(d.path(), file);
    QCOMPARE(r.status, 1);
    QCOMPARE(
        r.err,
        QByteArray("zarnmix_state: reading back the configuration of local monitor 0 failed\n"));

    // A read that fails during the restore's reading stage: nothing sent.
    // The reads go out together; the first that failed is named.
    for (const auto &[failing, message] :
         {std::pair{zarn::REQ_OUTPUT_MON_GET,
                    "reading the configuration of output monitor 0 failed"},
          std::pair{zarn::REQ_MAIN_COMP_GET,
                    "reading the compressor of main output channel 0 failed"}}) {
        d.set_hook([code = failing](std::uint32_t c, unsigned char *, std::vector<double> &) {
            return c == code ? std::optional<int>(-1) : std::nullopt;
        });
        d.clear_requests();
        r = restore(d.path(), file);
        QCOMPARE(r.status, 1);
        QVERIFY2(r.err.contains(message), r.err.constData());
        QCOMPARE(writes(d), std::size_t{0});
    }
    d.set_hook([](std::uint32_t code, unsigned char *, std::vector<double> &) {
        return code == zarn::REQ_OUTPUT_MON_GET ? std::optional<int>(-1) : std::nullopt;
    });

    // A store that fails leaves the file it would have replaced untouched.
    const QString path = dir.filePath("setup.json");
    QFile old(path);
    QVERIFY(old.open(QIODevice::WriteOnly) && old.write("old setup") == 9);
    old.close();
    r = run({"-f", d.path(), "store", path});
    QCOMPARE(r.status, 1);
    QVERIFY(r.err.contains("reading the configuration of output monitor 0 failed"));
    QCOMPARE(store(d.path()).out, QByteArray()); // nor a part of it on standard output
    QVERIFY(old.open(QIODevice::ReadOnly));
    QCOMPARE(old.readAll(), QByteArray("old setup"));
    QCOMPARE(QDir(dir.path()).entryList(QDir::Files), QStringList{"setup.json"});
    d.clear_hook();
    QCOMPARE(run({"-f", d.path(), "store", dir.filePath("no/such/folder.json")}).status, 1);

    // A value beyond what the panel's controls offer is stored as reported,
    // with a warning, and the file is then refused as a whole.
    d.set_hook([](std::uint32_t code, unsigned char *record, std::vector<double> &) {
        if (code != zarn::REQ_DEV_CONFIG_GET || record[0] != 1 || record[4] != 2)
            return std::optional<int>();
        zarn::ChannelConfig c{};
        c.number = 1;
        c.channel = 2;
        c.rx_amp = 40;
        std::memcpy(record, &c, sizeof c);
        return std::optional<int>(0);
    });
    r = store(d.path());
    QCOMPARE(r.status, 0);
    QCOMPARE(r.err, QByteArray("zarnmix_state: warning: device 1 channel 2: rx_amp 40 is outside "
                               "-31 to 31; a restore refuses this file\n"));
    d.clear_hook();
    d.clear_requests();
    r = restore(d.path(), r.out);
    QCOMPARE(r.status, 1);
    QVERIFY(r.err.contains("targets[4].config.rx_amp: out of range (-31 to 31)"));
    QCOMPARE(d.requests().size(), std::size_t{0});

    // No daemon at all.
    d.stop();
    r = store(d.path());
    QCOMPARE(r.status, 1);
    QVERIFY(r.err.contains("cannot open"));
    QCOMPARE(restore(d.path(), file).status, 1);
}

void TestZarnmixState::files_are_read_and_replaced_safely() {
    QTemporaryDir dir;
    TestDaemon d(small_topology());
    const QByteArray victim = dir.filePath("victim").toLocal8Bit();
    const QByteArray link = dir.filePath("link").toLocal8Bit();
    QFile old(victim);
    QVERIFY(old.open(QIODevice::WriteOnly) && old.write("keep me") == 7);
    old.close();
    QCOMPARE(::symlink(victim.constData(), link.constData()), 0);
    Run r = run({"-f", d.path(), "store", link});
    QCOMPARE(r.status, 1);
    QVERIFY2(r.err.contains("a symbolic link; not written through one"), r.err.constData());
    QVERIFY(old.open(QIODevice::ReadOnly));
    QCOMPARE(old.readAll(), QByteArray("keep me"));
    old.close();

    // A replaced file keeps its mode, whatever the umask gives a new one.
    QCOMPARE(::chmod(victim.constData(), 0604), 0);
    QCOMPARE(run({"-f", d.path(), "store", victim}).status, 0);
    struct stat st {};
    QCOMPARE(::stat(victim.constData(), &st), 0);
    QCOMPARE(st.st_mode & 07777, mode_t{0604});
    // The file a store replaces stays beside it.
    QFile previous(victim + ".prev");
    QVERIFY(previous.open(QIODevice::ReadOnly));
    QCOMPARE(previous.readAll(), QByteArray("keep me"));

    // Only a regular file is read, and only one of a setup file's size; a
    // FIFO without a writer is refused at once instead of waited for.
    const QByteArray fifo = dir.filePath("fifo").toLocal8Bit();
    QCOMPARE(::mkfifo(fifo.constData(), 0600), 0);
    const QByteArray large = dir.filePath("large").toLocal8Bit();
    QFile big(large);
    QVERIFY(big.open(QIODevice::WriteOnly) && big.resize(qint64{1} << 30));
    big.close();
    d.clear_requests();
    std::vector<std::pair<QByteArray, QByteArray>> refused = {
        {fifo, "not a regular file"},
        {"/dev/zero", "not a regular file"},
        {large, "larger than any setup file"}};
    // Root reads neither through a link nor a file another user could swap
    // for one: the errors would show what root's file holds.
    if (::geteuid() == 0) {
        const QByteArray shared = dir.filePath("shared").toLocal8Bit();
        QCOMPARE(::mkdir(shared.constData(), 01777), 0);
        QCOMPARE(::chmod(shared.constData(), 01777), 0);
        const QByteArray theirs = shared + "/setup";
        QVERIFY(QFile::copy(victim, theirs));
        QCOMPARE(::chown(theirs.constData(), 65534, 65534), 0);
        refused.push_back({link, "a symbolic link; not read as root"});
        refused.push_back({theirs, "another user's file, or a second name, in a directory others "
                                   "can write; not read as root"});
    }
    for (const auto &[file, message] : refused) {
        r = run({"-f", d.path(), "restore", file});
        QCOMPARE(r.status, 1);
        QVERIFY2(r.err.contains(file + ": " + message), r.err.constData());
    }
    QCOMPARE(d.requests().size(), std::size_t{0});
}

// A daemon that takes requests and never answers: the tool gives up on the
// first one and ends, even with its ioctl still blocked on a helper thread.
void TestZarnmixState::hung_daemon_fails_and_the_tool_ends() {
    QFETCH(bool, device);
    QTemporaryDir dir;
    const QString socket = dir.filePath("zmix.ctl");
    QProcess sim;
    sim.start(QStringLiteral(ZARNMIX_SIM), {"--socket", socket});
    for (int waited = 0; waited < 5000 && !QFileInfo::exists(socket); waited += 20)
        QTest::qWait(20);
    QCOMPARE(::kill(pid_t(sim.processId()), SIGSTOP), 0);
    const auto [tool_device, env] = control(socket, device);
    QProcess tool;
    if (!env.isEmpty())
        tool.setProcessEnvironment(env);
    tool.start(QStringLiteral(ZARNMIX_STATE), {"-f", tool_device, "store"});
    QVERIFY(tool.waitForFinished(10000));
    QCOMPARE(tool.exitCode(), 1);
    QCOMPARE(tool.readAllStandardError(),
             QByteArray("zarnmix_state: the daemon does not answer\n"));
    ::kill(pid_t(sim.processId()), SIGCONT);
    sim.terminate();
    QVERIFY(sim.waitForFinished(5000));
}

void TestZarnmixState::usage() {
    const Run r = run({});
    QCOMPARE(r.status, 64);
    QVERIFY(r.err.startsWith("usage: zarnmix_state -f DEVICE store [FILE]\n"));
    for (const QStringList &args :
         {QStringList{"-f", "x"}, QStringList{"store", "-f", "x"}, QStringList{"-f", "x", "save"},
          QStringList{"-h"}, QStringList{"-f", "x", "store", "a", "b"},
          QStringList{"-f", "x", "store", "--dry-run"},
          QStringList{"-f", "x", "restore", "--force"}, QStringList{"-f"}})
        QVERIFY2(run(args).status == 64, qPrintable(args.join(' ')));
}

QTEST_GUILESS_MAIN(TestZarnmixState)
#include "test_zarnmix_state.moc"
