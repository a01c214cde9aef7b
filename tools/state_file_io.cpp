// SPDX-License-Identifier: BSD-2-Clause

#include "tools/state_file_io.h"

#include <QFile>
#include <QString>
#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include "files/safe_writer.h"

namespace zarn::state {

namespace {

std::string words(const char *path) {
    return path ? path : "standard input";
}

std::string system_error(const char *path, const char *what) {
    return words(path) + ": " + what + std::strerror(errno);
}

} // namespace

bool read_state_file(const char *path, QByteArray &data, std::string &error) {
    data.clear();
    const int fd = path ? ::open(path, O_RDONLY | O_NONBLOCK | O_NOCTTY | O_CLOEXEC) : 0;
    if (fd < 0) {
        error = system_error(path, "");
        return false;
    }
    const auto done = [&](bool ok) {
        if (path)
            ::close(fd);
        if (!ok)
            data.clear();
        return ok;
    };
    struct stat st {};
    if (::fstat(fd, &st) != 0) {
        error = system_error(path, "");
        return done(false);
    }
    if (path && !S_ISREG(st.st_mode)) {
        error = words(path) + ": not a regular file";
        return done(false);
    }
    if (S_ISREG(st.st_mode) && st.st_size > MAX_FILE_SIZE) {
        error = words(path) + ": larger than any setup file";
        return done(false);
    }
    // A regular file reads at once; only standard input may be a stream.
    if (path)
        ::fcntl(fd, F_SETFL, ::fcntl(fd, F_GETFL) & ~O_NONBLOCK);
    if (S_ISREG(st.st_mode))
        data.reserve(static_cast<int>(st.st_size) + 1);
    QFile in;
    if (!in.open(fd, QIODevice::ReadOnly | QIODevice::Unbuffered, QFileDevice::DontCloseHandle)) {
        error = words(path) + ": " + in.errorString().toStdString();
        return done(false);
    }
    constexpr int chunk = 1 << 20;
    // One byte beyond the limit tells a file that grew, or a stream, too large.
    while (data.size() <= MAX_FILE_SIZE) {
        const int at = data.size();
        data.resize(at + chunk);
        const qint64 n = in.read(data.data() + at, chunk);
        if (n < 0) {
            error = words(path) + ": " + in.errorString().toStdString();
            return done(false);
        }
        data.resize(at + static_cast<int>(n));
        if (n == 0)
            break;
    }
    if (data.size() > MAX_FILE_SIZE) {
        error = words(path) + ": larger than any setup file";
        return done(false);
    }
    return done(true);
}

bool write_state_file(const char *path, const FileWriter &write, std::string &error,
                      std::vector<std::string> &warnings) {
    const files::Producer produce = [&](int fd, std::string &why) {
        QFile out;
        if (!out.open(fd, QIODevice::WriteOnly | QIODevice::Unbuffered,
                      QFileDevice::DontCloseHandle)) {
            why = out.errorString().toStdString();
            return false;
        }
        return write(out, why);
    };
    // The file it replaces stays as PATH.prev: a store that saved the wrong
    // setup, at shutdown for example, does not take the last good one along.
    return files::write_file(path, produce, files::WriteOptions{true}, error, warnings);
}

} // namespace zarn::state
