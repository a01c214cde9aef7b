// SPDX-License-Identifier: BSD-2-Clause

#include "tools/state_file_io.h"

#include <QFile>
#include <QSaveFile>
#include <QString>
#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include "files/bounded_reader.h"

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
    int system = 0;
    switch (files::read_bounded(path, static_cast<std::uint64_t>(MAX_FILE_SIZE), data, system)) {
    case files::ReadFault::none:
        return true;
    case files::ReadFault::system:
        error = words(path) + ": " + std::strerror(system);
        break;
    case files::ReadFault::not_regular:
        error = words(path) + ": not a regular file";
        break;
    case files::ReadFault::too_large:
        error = words(path) + ": larger than any setup file";
        break;
    }
    return false;
}

bool write_state_file(const char *path, const FileWriter &write, std::string &error,
                      std::vector<std::string> &warnings) {
    struct stat before {};
    const bool existed = ::lstat(path, &before) == 0;
    if (!existed && errno != ENOENT) {
        error = system_error(path, "");
        return false;
    }
    if (existed && S_ISLNK(before.st_mode)) {
        error = words(path) + ": a symbolic link; a setup is not written through one";
        return false;
    }
    if (existed && !S_ISREG(before.st_mode)) {
        error = words(path) + ": not a regular file";
        return false;
    }
    QSaveFile out(QFile::decodeName(path));
    if (!out.open(QIODevice::WriteOnly)) {
        error = words(path) + ": " + out.errorString().toStdString();
        return false;
    }
    // QSaveFile follows a link it finds when it opens; one put there since
    // the look above, or any other file, shows as a change of the name's file.
    struct stat now {};
    const bool exists = ::lstat(path, &now) == 0;
    if (exists != existed ||
        (exists && (now.st_dev != before.st_dev || now.st_ino != before.st_ino))) {
        out.cancelWriting();
        error = words(path) + ": replaced by another file while being written; not written";
        return false;
    }
    if (existed) {
        const int fd = out.handle();
        if (::fchmod(fd, before.st_mode & 0777) != 0) {
            error = system_error(path, "cannot keep its mode: ");
            out.cancelWriting();
            return false;
        }
        if ((before.st_uid != ::geteuid() || before.st_gid != ::getegid()) &&
            ::fchown(fd, before.st_uid, before.st_gid) != 0) {
            warnings.push_back(words(path) + ": its owner " + std::to_string(before.st_uid) + ":" +
                               std::to_string(before.st_gid) + " could not be kept; it is now " +
                               std::to_string(::geteuid()) + ":" + std::to_string(::getegid()));
        }
    }
    if (!write(out, error)) {
        out.cancelWriting();
        return false;
    }
    if (!out.commit()) {
        error = words(path) + ": " + out.errorString().toStdString();
        return false;
    }
    return true;
}

} // namespace zarn::state
