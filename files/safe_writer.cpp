// SPDX-License-Identifier: BSD-2-Clause

#include "files/safe_writer.h"

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <fcntl.h>
#include <random>
#include <sys/stat.h>
#include <unistd.h>

namespace zarn::files {

namespace {

std::string reason(const std::string &path, const char *what) {
    return path + ": " + what + std::strerror(errno);
}

// The directory a file is written in, opened once: every later step names
// the file relative to it, so nothing resolves the path a second time.
struct Place {
    int dir = -1;
    std::string name;
    // Another user may write the directory (it is then sticky).
    bool shared = false;

    Place() = default;
    Place(const Place &) = delete;
    Place &operator=(const Place &) = delete;
    ~Place() {
        if (dir >= 0)
            ::close(dir);
    }
};

bool open_place(const std::string &path, Place &place, std::string &error) {
    const std::size_t slash = path.rfind('/');
    const std::string folder = slash == std::string::npos ? "."
                               : slash == 0               ? "/"
                                                          : path.substr(0, slash);
    place.name = slash == std::string::npos ? path : path.substr(slash + 1);
    if (place.name.empty() || place.name == "." || place.name == "..") {
        error = path + ": not a file name";
        return false;
    }
    // O_NOFOLLOW keeps the directory itself from being a link that could be
    // turned elsewhere; the components above it are resolved as given, as
    // the caller named them. What is checked below is the directory this
    // descriptor holds, whatever the way to it, and it is where the file goes.
    place.dir = ::open(folder.c_str(), O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC);
    if (place.dir < 0) {
        // A link there fails with ELOOP, ENOTDIR or EMLINK, by system.
        const int why = errno;
        struct stat st {};
        const bool link = ::lstat(folder.c_str(), &st) == 0 && S_ISLNK(st.st_mode);
        errno = why;
        error = link ? path + ": its directory is a symbolic link; not written there"
                     : reason(path, "cannot open its directory: ");
        return false;
    }
    struct stat st {};
    if (::fstat(place.dir, &st) != 0) {
        error = reason(path, "");
        return false;
    }
    // Group members, everyone, or an owner other than the caller and root.
    const uid_t me = ::geteuid();
    place.shared = (st.st_mode & (S_IWGRP | S_IWOTH)) != 0 || (st.st_uid != me && st.st_uid != 0);
    if (place.shared && !(st.st_mode & S_ISVTX)) {
        error = path + ": its directory can be written by other users and is not sticky; "
                       "not written there";
        return false;
    }
    return true;
}

// What is at name in the directory, not followed: 1 something, 0 nothing,
// -1 failure with the reason in error.
int look(const Place &place, const std::string &name, const std::string &shown, struct stat &st,
         std::string &error) {
    if (::fstatat(place.dir, name.c_str(), &st, AT_SYMLINK_NOFOLLOW) == 0)
        return 1;
    if (errno == ENOENT)
        return 0;
    error = reason(shown, "");
    return -1;
}

// In a shared directory only a name of the caller's cannot be changed by
// another user between this look and the rename.
bool may_replace(const Place &place, const struct stat &st, const std::string &shown,
                 std::string &error) {
    if (S_ISLNK(st.st_mode)) {
        error = shown + ": a symbolic link; not written through one";
        return false;
    }
    if (!S_ISREG(st.st_mode)) {
        error = shown + ": not a regular file";
        return false;
    }
    if (place.shared && st.st_uid != ::geteuid()) {
        error = shown + ": belongs to another user in a directory others can write; not replaced";
        return false;
    }
    return true;
}

// A fresh name beside the file, for one that is made and renamed at once.
std::string temporary_name(const std::string &name) {
    static std::mt19937_64 random{std::random_device{}()};
    char tail[24];
    std::snprintf(tail, sizeof tail, ".%016llx", static_cast<unsigned long long>(random()));
    // Short enough for the longest name a directory takes.
    return "." + name.substr(0, 200) + tail;
}

} // namespace

bool write_all(int fd, const void *data, std::size_t size, std::string &error) {
    const auto *bytes = static_cast<const char *>(data);
    while (size > 0) {
        const ssize_t n = ::write(fd, bytes, size);
        if (n < 0 && errno == EINTR)
            continue;
        if (n <= 0) {
            error = std::string("writing failed: ") + (n < 0 ? std::strerror(errno) : "no room");
            return false;
        }
        bytes += n;
        size -= static_cast<std::size_t>(n);
    }
    return true;
}

bool write_file(const std::string &path, const Producer &produce, const WriteOptions &options,
                std::string &error, std::vector<std::string> &warnings) {
    Place place;
    if (!open_place(path, place, error))
        return false;
    struct stat old {};
    const int found = look(place, place.name, path, old, error);
    if (found < 0 || (found == 1 && !may_replace(place, old, path, error)))
        return false;
    const bool existed = found == 1;
    const std::string prev = place.name + ".prev";
    struct stat prev_st {};
    bool keep_previous = options.keep_previous && existed;
    if (keep_previous) {
        std::string why;
        const int prev_found = look(place, prev, path + ".prev", prev_st, why);
        if (prev_found < 0 ||
            (prev_found == 1 && !may_replace(place, prev_st, path + ".prev", why))) {
            warnings.push_back(why + "; the previous file is not kept");
            keep_previous = false;
        }
    }

    std::string temp;
    int fd = -1;
    for (int tries = 0; fd < 0 && tries < 16; ++tries) {
        temp = temporary_name(place.name);
        fd = ::openat(place.dir, temp.c_str(),
                      O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_NOCTTY | O_CLOEXEC, 0600);
        if (fd < 0 && errno != EEXIST)
            break;
    }
    if (fd < 0) {
        error = reason(path, "cannot create a new file beside it: ");
        return false;
    }
    const auto abandon = [&](int open_fd) {
        if (open_fd >= 0)
            ::close(open_fd);
        ::unlinkat(place.dir, temp.c_str(), 0);
        return false;
    };
    const uid_t me = ::geteuid();
    if (existed && old.st_uid == me) {
        // The group only where the caller belongs to it; the mode after it,
        // as a change of group may clear set-id bits.
        if (old.st_gid != ::getegid() && ::fchown(fd, static_cast<uid_t>(-1), old.st_gid) != 0)
            warnings.push_back(path + ": its group " + std::to_string(old.st_gid) +
                               " could not be kept");
        if (::fchmod(fd, old.st_mode & 0777) != 0) {
            error = reason(path, "cannot keep its mode: ");
            return abandon(fd);
        }
    } else if (existed) {
        warnings.push_back(path + ": was owned by " + std::to_string(old.st_uid) + ":" +
                           std::to_string(old.st_gid) + "; the new file is " + std::to_string(me) +
                           ":" + std::to_string(::getegid()) + " with mode 0600");
    }
    if (!produce(fd, error))
        return abandon(fd);
    if (::fsync(fd) != 0) {
        error = reason(path, "cannot put it on disk: ");
        return abandon(fd);
    }
    if (::close(fd) != 0) {
        error = reason(path, "writing failed: ");
        return abandon(-1);
    }
    if (keep_previous) {
        // A second name for the old file first, so that path always names a
        // whole file.
        std::string link;
        int linked = -1;
        for (int tries = 0; linked != 0 && tries < 16; ++tries) {
            link = temporary_name(prev);
            linked = ::linkat(place.dir, place.name.c_str(), place.dir, link.c_str(), 0);
            if (linked != 0 && errno != EEXIST)
                break;
        }
        if (linked != 0 || ::renameat(place.dir, link.c_str(), place.dir, prev.c_str()) != 0) {
            warnings.push_back(reason(path + ".prev", "the previous file is not kept: "));
            if (linked == 0)
                ::unlinkat(place.dir, link.c_str(), 0);
        }
    }
    if (::renameat(place.dir, temp.c_str(), place.dir, place.name.c_str()) != 0) {
        error = reason(path, "cannot put the new file in place: ");
        return abandon(-1);
    }
    if (::fsync(place.dir) != 0)
        warnings.push_back(reason(path, "its directory could not be put on disk: "));
    return true;
}

bool write_file(const std::string &path, const std::string &contents, std::string &error) {
    std::vector<std::string> warnings;
    const bool ok = write_file(
        path,
        [&](int fd, std::string &why) {
            return write_all(fd, contents.data(), contents.size(), why);
        },
        WriteOptions{}, error, warnings);
    return ok;
}

int open_append(const std::string &path, std::string &error) {
    Place place;
    if (!open_place(path, place, error))
        return -1;
    // Without waiting, so that a FIFO put there is refused instead of hanging.
    const int fd = ::openat(
        place.dir, place.name.c_str(),
        O_WRONLY | O_APPEND | O_CREAT | O_NOFOLLOW | O_NOCTTY | O_NONBLOCK | O_CLOEXEC, 0600);
    if (fd < 0) {
        struct stat st {};
        // O_NOFOLLOW fails on a link with ELOOP, or EMLINK on the BSDs.
        if ((errno == ELOOP || errno == EMLINK) &&
            ::fstatat(place.dir, place.name.c_str(), &st, AT_SYMLINK_NOFOLLOW) == 0 &&
            S_ISLNK(st.st_mode))
            error = path + ": a symbolic link; not written through one";
        else
            error = reason(path, "");
        return -1;
    }
    struct stat st {};
    if (::fstat(fd, &st) != 0)
        error = reason(path, "");
    else if (!S_ISREG(st.st_mode))
        error = path + ": not a regular file";
    else if (st.st_uid != ::geteuid())
        error = path + ": belongs to another user; not written";
    else if (st.st_nlink != 1)
        error = path + ": has other names (hard links); not written";
    else if (::fcntl(fd, F_SETFL, ::fcntl(fd, F_GETFL) & ~O_NONBLOCK) != 0)
        error = reason(path, "");
    else
        return fd;
    ::close(fd);
    return -1;
}

} // namespace zarn::files
