// SPDX-License-Identifier: BSD-2-Clause

#pragma once

#include <functional>
#include <string>
#include <vector>

namespace zarn::files {

// Fills the new file through its descriptor; false, with the reason in
// error, to leave the old file as it was.
using Producer = std::function<bool(int fd, std::string &error)>;

struct WriteOptions {
    // Keeps the file being replaced as PATH.prev.
    bool keep_previous = false;
};

// Replaces path with what produce writes, once it is whole and on disk.
// Race-free as root too: the directory is opened once and everything else
// is done relative to it; the new file is created there with O_EXCL and
// O_NOFOLLOW, mode 0600 before any data, and renamed into place. Refuses a
// symbolic link or anything but a regular file at path, and a directory
// another user can write unless it is sticky and path is absent or the
// caller's own. A replaced file's mode and group are kept when it is the
// caller's; otherwise the new file is the caller's alone, and a warning
// says so. Errors and warnings name the file, except produce's own.
bool write_file(const std::string &path, const Producer &produce, const WriteOptions &options,
                std::string &error, std::vector<std::string> &warnings);

// The same for bytes held whole.
bool write_file(const std::string &path, const std::string &contents, std::string &error);

// Opens path for appending, creating it with mode 0600 if absent, under the
// same rules of the directory, never through a symbolic link, and only a
// regular file of the caller's with one name. Returns the descriptor, or -1
// with the reason in error.
int open_append(const std::string &path, std::string &error);

// Writes all size bytes, or says why not.
bool write_all(int fd, const void *data, std::size_t size, std::string &error);

} // namespace zarn::files
