// SPDX-License-Identifier: BSD-2-Clause
// Store and restore of the largest setup the tools see: 128 device channels,
// each with a 65536-tap filter in force in both directions, against the
// simulated daemon's server on a thread. Beside them, as the floor they are
// judged against, the bare fetch and write of those 256 filters.

#include <QFile>
#include <algorithm>
#include <chrono>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <string>
#include <thread>
#include <unistd.h>
#include <vector>

#include "ctl/requests.h"
#include "ctl/transport.h"
#include "sim/engine.h"
#include "sim/server.h"
#include "tools/state_file_device.h"
#include "tools/state_file_io.h"
#include "tools/state_file_json.h"
#include "tools/state_file_store.h"

namespace {

using Clock = std::chrono::steady_clock;

double ms_since(Clock::time_point start) {
    return std::chrono::duration<double, std::milli>(Clock::now() - start).count();
}

double median(std::vector<double> values) {
    std::sort(values.begin(), values.end());
    return values[values.size() / 2];
}

// Every filter of every device channel once: fetched, or written back.
bool every_filter(int fd, bool write, std::vector<double> &taps) {
    for (std::int32_t number = 0; number < 2; ++number) {
        for (std::int32_t channel = 0; channel < 64; ++channel) {
            for (const std::uint32_t code :
                 write ? std::vector{zarn::REQ_DEV_RX_FILTER_SET, zarn::REQ_DEV_TX_FILTER_SET}
                       : std::vector{zarn::REQ_DEV_RX_FILTER_GET, zarn::REQ_DEV_TX_FILTER_GET}) {
                zarn::FilterRecord r{};
                r.number = number;
                r.channel = channel;
                r.size = zarn::MAX_FILTER_SIZE;
                r.coefficients = reinterpret_cast<std::uintptr_t>(taps.data());
                if (zarn::ctl_request(fd, code, &r) != 0)
                    return false;
            }
        }
    }
    return true;
}

} // namespace

int main() {
    zarn::sim::Topology topology = zarn::sim::devices_only({64, 64});
    topology.filter_length = zarn::MAX_FILTER_SIZE;
    zarn::sim::Engine engine(topology);
    for (zarn::sim::Group &device : engine.devices) {
        for (zarn::sim::ChannelState &channel : device.channels) {
            for (zarn::sim::Filter *filter : {&channel.rx_filter, &channel.tx_filter}) {
                filter->active = true;
                filter->coefficients.resize(zarn::MAX_FILTER_SIZE);
                for (std::size_t i = 0; i < filter->coefficients.size(); ++i)
                    filter->coefficients[i] = std::sin(double(i) + channel.config.channel) / 7.0;
            }
        }
    }
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
    const std::string file = std::string(directory) + "/setup.zarnmix-state";
    std::string error;
    if (!server.listen(path, error)) {
        std::printf("%s\n", error.c_str());
        return 1;
    }
    std::thread serving([&server, &wake] { server.run(wake[0]); });
    const int fd = zarn::ctl_open(path.c_str());

    bool ok = fd >= 0;
    std::vector<double> taps(zarn::MAX_FILTER_SIZE);
    std::printf("128 channels, 256 filters of 65536 taps (%.0f MiB of coefficients)\n",
                256.0 * zarn::MAX_FILTER_SIZE * sizeof(double) / (1 << 20));
    // The machine's other work moves single rounds by half; the medians of
    // several are what to compare.
    constexpr int ROUNDS = 7;
    std::vector<double> fetches, writes, stores, saves, reads, decodes, sends, restores, dry_runs,
        previews;
    double megabytes = 0;
    std::size_t changes = 0;
    for (int round = 0; ok && round < ROUNDS; ++round) {
        auto start = Clock::now();
        ok = every_filter(fd, false, taps);
        fetches.push_back(ms_since(start));
        start = Clock::now();
        ok = ok && every_filter(fd, true, taps);
        writes.push_back(ms_since(start));

        // What zarnmix_state store and the panel's save do: read, encode
        // and write the file target by target; first into a new plain
        // file, then as they do, whose commit also waits for the disk.
        std::vector<std::string> warnings;
        ::unlink(file.c_str());
        QFile plain(QString::fromStdString(file));
        ok = ok && plain.open(QIODevice::WriteOnly);
        start = Clock::now();
        ok = ok && zarn::state::store_setup(fd, path, plain, warnings, error);
        plain.close();
        stores.push_back(ms_since(start));
        const zarn::state::FileWriter write_file = [&](QIODevice &out, std::string &why) {
            return zarn::state::store_setup(fd, path, out, warnings, why);
        };
        start = Clock::now();
        ok = ok && zarn::state::write_state_file(file.c_str(), write_file, error, warnings);
        saves.push_back(ms_since(start));
        // Reading the file comes before any of the restore, with a file
        // this size on a worker thread in the panel.
        QByteArray text;
        start = Clock::now();
        ok = ok && zarn::state::read_state_file(file.c_str(), text, error);
        reads.push_back(ms_since(start));
        megabytes = text.size() / double(1 << 20);

        zarn::state::Setup setup;
        start = Clock::now();
        ok = ok && zarn::state::decode_setup(text, setup, error);
        const double decode = ms_since(start);
        decodes.push_back(decode);
        start = Clock::now();
        ok = ok && zarn::state::restore_setup(fd, setup, {}, stdout, stdout) == 0;
        sends.push_back(ms_since(start));
        restores.push_back(decode + sends.back());

        // What the panel's load does before it asks: check the whole file
        // (on a worker thread), then read what the daemon holds and list the
        // changes (on the GUI thread).
        start = Clock::now();
        zarn::state::Setup checked;
        ok = ok && zarn::state::decode_setup(text, checked, error);
        const auto dry_start = Clock::now();
        zarn::state::RestoreOptions dry;
        dry.dry_run = true;
        zarn::state::RestoreReport report;
        ok = ok && zarn::state::restore_setup(fd, checked, dry, report) == 0;
        dry_runs.push_back(ms_since(dry_start));
        previews.push_back(ms_since(start));
        changes = report.changes.size();

        std::printf("round %d: fetch all %6.1f, write all %6.1f, store %6.1f (saved %6.1f), "
                    "restore %6.1f (decode %5.1f), load preview %6.1f ms\n",
                    round + 1, fetches.back(), writes.back(), stores.back(), saves.back(),
                    restores.back(), decode, previews.back());
    }
    if (ok) {
        const double fetch = median(fetches), write = median(writes), store = median(stores),
                     restore = median(restores);
        // Each round's own ratio too: a busy spell slows a round's floor as well.
        std::vector<double> store_ratios, restore_ratios;
        for (int i = 0; i < ROUNDS; ++i) {
            store_ratios.push_back(stores[i] / fetches[i]);
            restore_ratios.push_back(restores[i] / writes[i]);
        }
        std::sort(store_ratios.begin(), store_ratios.end());
        std::sort(restore_ratios.begin(), restore_ratios.end());
        std::printf("medians of %d rounds:\n", ROUNDS);
        std::printf("  floor: fetch all %7.1f ms, write all %7.1f ms\n", fetch, write);
        std::printf("  store: read, encode and write %7.1f ms (%.1f MiB), %.1fx the fetch "
                    "(rounds %.1f to %.1f); %.1f ms with the commit's wait for the disk\n",
                    store, megabytes, store / fetch, store_ratios.front(), store_ratios.back(),
                    median(saves));
        std::printf("  restore: decode, write and verify %7.1f ms (decode %.1f ms), "
                    "%.1fx the write (rounds %.1f to %.1f)\n",
                    restore, median(decodes), restore / write, restore_ratios.front(),
                    restore_ratios.back());
        std::printf("  load preview: decode and dry run %7.1f ms (%zu changes)\n", median(previews),
                    changes);
        std::printf("  reading the file first: %.1f ms\n", median(reads));
        std::printf("  the panel's load on the GUI thread: dry run %.1f ms, then write and verify "
                    "%.1f ms\n",
                    median(dry_runs), median(sends));
    }
    if (!ok)
        std::printf("failed: %s\n", error.c_str());
    zarn::ctl_close(fd);
    const char byte = 0;
    ok = ::write(wake[1], &byte, 1) == 1 && ok;
    serving.join();
    server.close();
    ::unlink(file.c_str());
    ::rmdir(directory);
    return ok ? 0 : 1;
}
