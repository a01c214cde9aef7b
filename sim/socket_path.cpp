// SPDX-License-Identifier: BSD-2-Clause

#include "sim/socket_path.h"

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <sys/stat.h>
#include <unistd.h>

namespace zarn::sim {

std::string default_socket_path(std::string *private_directory) {
    const char *runtime = std::getenv("XDG_RUNTIME_DIR");
    if (runtime && *runtime) {
        if (private_directory) {
            private_directory->clear();
        }
        return std::string(runtime) + "/zmix.ctl";
    }
    const std::string directory = "/tmp/zmix-" + std::to_string(::getuid());
    if (private_directory) {
        *private_directory = directory;
    }
    return directory + "/zmix.ctl";
}

bool make_private_directory(const std::string &directory, std::string &error, mode_t mode) {
    if (::mkdir(directory.c_str(), mode) == 0) {
        // mkdir's mode went through the umask. Only we can replace what we
        // just made in a sticky directory such as /tmp, so chmod meets the
        // same directory.
        if (::chmod(directory.c_str(), mode) != 0) {
            error = directory + ": " + std::strerror(errno);
            return false;
        }
    } else if (errno != EEXIST) {
        error = "cannot create " + directory + ": " + std::strerror(errno);
        return false;
    }
    struct stat st;
    if (::lstat(directory.c_str(), &st) != 0) {
        error = directory + ": " + std::strerror(errno);
        return false;
    }
    if (S_ISLNK(st.st_mode)) {
        error = directory + " is a symbolic link, not a directory of its own";
    } else if (!S_ISDIR(st.st_mode)) {
        error = directory + " exists and is not a directory";
    } else if (st.st_uid != ::getuid()) {
        error = directory + " belongs to another user";
    } else if ((st.st_mode & 07777) != mode) {
        char found[8], wanted[8];
        std::snprintf(found, sizeof found, "%04o", static_cast<unsigned>(st.st_mode & 07777));
        std::snprintf(wanted, sizeof wanted, "%04o", static_cast<unsigned>(mode));
        error = directory + " has mode " + found + ", not " + wanted;
    } else {
        return true;
    }
    return false;
}

bool may_take_socket(const std::string &path, const struct stat &st, std::string &error) {
    if (st.st_uid == ::geteuid())
        return true;
    error = path + " belongs to another user; not replaced";
    return false;
}

} // namespace zarn::sim
