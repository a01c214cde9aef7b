// SPDX-License-Identifier: BSD-2-Clause
// zarnmix_state: stores the daemon's whole setup in a file and restores it.
#include <QBuffer>
#include <QByteArray>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <fcntl.h>
#include <getopt.h>
#include <string>
#include <sys/stat.h>
#include <unistd.h>
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

// As root, the file to restore is opened here, without following a link,
// and put on standard input, so that what is checked is what is read: a file
// of another user's in a directory that user can write could be swapped
// for a link to a file of root's, whose text the errors would then show.
bool open_as_root(const char *file, std::string &error) {
    const std::string path = file;
    const std::size_t slash = path.find_last_of('/');
    const std::string folder = slash == std::string::npos ? "."
                               : slash == 0               ? "/"
                                                          : path.substr(0, slash);
    const std::string name = slash == std::string::npos ? path : path.substr(slash + 1);
    const int dir = ::open(folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    const int fd = dir < 0 ? -1
                           : ::openat(dir, name.c_str(),
                                      O_RDONLY | O_NOFOLLOW | O_NONBLOCK | O_NOCTTY | O_CLOEXEC);
    struct stat st {};
    struct stat place {};
    if (fd < 0 || ::fstat(fd, &st) != 0 || ::fstat(dir, &place) != 0) {
        error = path + ": " +
                (errno == ELOOP || errno == EMLINK ? "a symbolic link; not read as root"
                                                   : std::strerror(errno));
    } else if (!S_ISREG(st.st_mode)) {
        error = path + ": not a regular file";
    } else if ((place.st_uid != 0 || (place.st_mode & (S_IWGRP | S_IWOTH)) != 0) &&
               (st.st_uid != 0 || st.st_nlink != 1)) {
        // Another user may change what is at this name; a second name of a
        // file of root's would be one way in, too.
        error = path + ": another user's file, or a second name, in a directory others can "
                       "write; not read as root";
    } else if (::dup2(fd, 0) < 0) {
        error = path + ": " + std::strerror(errno);
    } else {
        ::fcntl(0, F_SETFL, ::fcntl(0, F_GETFL) & ~O_NONBLOCK);
        ::close(fd);
        ::close(dir);
        return true;
    }
    if (fd >= 0)
        ::close(fd);
    if (dir >= 0)
        ::close(dir);
    return false;
}

int restore(const char *device, const char *file, const zarn::state::RestoreOptions &options) {
    QByteArray data;
    std::string error;
    const bool as_root = !is_stdio(file) && ::geteuid() == 0;
    if (as_root && !open_as_root(file, error))
        return fail(error);
    if (!zarn::state::read_state_file(is_stdio(file) || as_root ? nullptr : file, data, error)) {
        // The reader names standard input, where the file was put.
        const std::string shown = "standard input";
        if (as_root && error.compare(0, shown.size(), shown) == 0)
            error = file + error.substr(shown.size());
        return fail(error);
    }
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
