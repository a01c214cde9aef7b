// SPDX-License-Identifier: BSD-2-Clause

#pragma once

#include <QByteArray>
#include <QIODevice>
#include <cstdint>
#include <functional>
#include <string>
#include <vector>

namespace zarn::state {

// The largest setup, 256 filters of 65536 taps and their texts, takes about
// 180 MB; a file beyond this is not one, and is refused before it is read.
constexpr std::int64_t MAX_FILE_SIZE = std::int64_t{256} << 20;

// Reads a whole state file: a regular file (opened without waiting, so a
// FIFO without a writer is refused rather than waited for), or standard
// input for a null path; at most MAX_FILE_SIZE bytes. Errors name the file.
bool read_state_file(const char *path, QByteArray &data, std::string &error);

// Gives the new file its text; false, with the reason in error, when it
// could not give it all.
using FileWriter = std::function<bool(QIODevice &file, std::string &error)>;

// Replaces a state file once the new one is whole, with the text write gives
// it, keeping the replaced one as PATH.prev (files::write_file: never through
// a symbolic link, nor over anything but a regular file, nor into a directory
// another user could change under it).
bool write_state_file(const char *path, const FileWriter &write, std::string &error,
                      std::vector<std::string> &warnings);

} // namespace zarn::state
