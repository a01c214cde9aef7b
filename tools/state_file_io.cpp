// SPDX-License-Identifier: BSD-2-Clause

#include "tools/state_file_io.h"

#include <QFile>
#include <QString>
#include <cstring>

#include "files/bounded_reader.h"
#include "files/safe_writer.h"

namespace zarn::state {

namespace {

std::string words(const char *path) {
    return path ? path : "standard input";
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
