// SPDX-License-Identifier: BSD-2-Clause

#pragma once

#include <QIODevice>
#include <string>
#include <vector>

namespace zarn::state {

// Writes the daemon's whole setup to out as a state file's text, reading,
// encoding and writing target by target, so that neither the setup nor the
// text is ever held whole. Each filter in force gets the text the user's
// settings keep for it on device_path, where that text still made these
// coefficients. Values outside what a restore accepts are stored as the
// daemon reported them, and named in warnings. On a failed request or write
// returns false and says which in error.
bool store_setup(int fd, const std::string &device_path, QIODevice &out,
                 std::vector<std::string> &warnings, std::string &error);

} // namespace zarn::state
