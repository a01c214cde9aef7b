// SPDX-License-Identifier: BSD-2-Clause
// zarnmix_state: stores the daemon's whole setup in a file and restores it.
#include <QBuffer>
#include <QByteArray>
#include <cstdio>
#include <cstring>
#include <getopt.h>
#include <string>
#include <vector>

#include "ctl/transport.h"
#include "tools/state_file_device.h"
#include "tools/state_file_io.h"
#include "tools/state_file_json.h"
#include "tools/state_file_store.h"
#include "tools/state_file_texts.h"

namespace {

constexpr int EXIT_FAILED = 1;
constexpr int EXIT_USAGE = 64;

[[noreturn]] void usage() {
    std::fputs("usage: zarnmix_state -f DEVICE store [FILE]\n"
               "       zarnmix_state -f DEVICE restore [--pedantic] [--dry-run] [FILE]\n",
               stderr);
    std::exit(EXIT_USAGE);
}

bool is_stdio(const char *file) {
    return !file || std::strcmp(file, "-") == 0;
}

const char *file_words(const char *file) {
    return is_stdio(file) ? "standard input" : file;
}

int fail(const std::string &message) {
    std::fprintf(stderr, "zarnmix_state: %s\n", message.c_str());
    return EXIT_FAILED;
}

int store(int fd, const char *device, const char *file) {
    std::string error;
    std::vector<std::string> warnings;
    // With the texts the panel keeps for this user, where they still match.
    const zarn::state::FileWriter write = [&](QIODevice &out, std::string &why) {
        return zarn::state::store_setup(fd, device, out, warnings, why);
    };
    bool ok;
    if (is_stdio(file)) {
        // Held until whole, so that a store that fails writes nothing here either.
        QBuffer text;
        text.open(QIODevice::WriteOnly);
        ok = write(text, error);
        const QByteArray &data = text.data();
        if (ok && (std::fwrite(data.constData(), 1, static_cast<std::size_t>(data.size()),
                               stdout) != static_cast<std::size_t>(data.size()) ||
                   std::fflush(stdout) != 0)) {
            error = "writing standard output failed";
            ok = false;
        }
    } else {
        ok = zarn::state::write_state_file(file, write, error, warnings);
    }
    for (const std::string &warning : warnings)
        std::fprintf(stderr, "zarnmix_state: warning: %s\n", warning.c_str());
    return ok ? 0 : fail(error);
}

int restore(const char *device, const char *file, const zarn::state::RestoreOptions &options) {
    QByteArray data;
    std::string error;
    if (!zarn::state::read_state_file(is_stdio(file) ? nullptr : file, data, error))
        return fail(error);
    zarn::state::Setup setup;
    if (!zarn::state::decode_setup(data, setup, error))
        return fail(std::string(file_words(file)) + ": " + error + "; nothing restored");
    data.clear();
    const int fd = zarn::ctl_open(device);
    if (fd < 0)
        return fail(std::string("cannot open ") + device);
    std::vector<zarn::Target> restored;
    const int status = zarn::state::restore_setup(fd, setup, options, stdout, stderr, &restored);
    zarn::ctl_close(fd);
    zarn::state::keep_texts(setup, restored, device);
    if (std::fflush(stdout) != 0)
        return fail("writing standard output failed");
    return status;
}

} // namespace

int main(int argc, char **argv) {
    const char *device = nullptr;
    opterr = 0;
    // '+': options end at the command, so the command's own options are its.
    static const option none[] = {{nullptr, 0, nullptr, 0}};
    int option;
    while ((option = getopt_long(argc, argv, "+f:h", none, nullptr)) != -1) {
        if (option != 'f')
            usage();
        device = optarg;
    }
    if (!device || optind >= argc)
        usage();
    const std::string command = argv[optind++];
    zarn::state::RestoreOptions options;
    const char *file = nullptr;
    bool options_end = false;
    for (; optind < argc; ++optind) {
        const char *arg = argv[optind];
        if (!options_end && command == "restore" && std::strcmp(arg, "--pedantic") == 0) {
            options.pedantic = true;
        } else if (!options_end && command == "restore" && std::strcmp(arg, "--dry-run") == 0) {
            options.dry_run = true;
        } else if (!options_end && std::strcmp(arg, "--") == 0) {
            options_end = true;
        } else if ((options_end || arg[0] != '-' || arg[1] == '\0') && !file) {
            file = arg;
        } else {
            usage();
        }
    }

    if (command == "store") {
        const int fd = zarn::ctl_open(device);
        if (fd < 0)
            return fail(std::string("cannot open ") + device);
        const int status = store(fd, device, file);
        zarn::ctl_close(fd);
        return status;
    }
    if (command == "restore")
        return restore(device, file, options);
    usage();
}
