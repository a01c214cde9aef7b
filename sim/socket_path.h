// SPDX-License-Identifier: BSD-2-Clause

#pragma once

#include <string>
#include <sys/stat.h>

namespace zarn::sim {

// Where zarnmix_sim listens unless told: $XDG_RUNTIME_DIR/zmix.ctl, else
// zmix.ctl in /tmp/zmix-<uid>. In the second case private_directory, when
// given, is set to that directory (else cleared): it is shared ground, so it
// has to pass make_private_directory() before the socket goes there.
std::string default_socket_path(std::string *private_directory = nullptr);

// Makes directory with mode 0700 (or the mode given) when it is missing. An
// existing one is used only when it is itself (not through a symbolic link)
// a directory of this user with that mode; otherwise error says why and it
// is left as it is.
bool make_private_directory(const std::string &directory, std::string &error, mode_t mode = 0700);

// Whether a socket file found at path (st from lstat) may be taken over
// once it is stale: only the caller's own, so that root's simulator does not
// remove another user's socket from a shared directory and take its place.
bool may_take_socket(const std::string &path, const struct stat &st, std::string &error);

} // namespace zarn::sim
