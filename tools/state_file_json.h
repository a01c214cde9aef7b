// SPDX-License-Identifier: BSD-2-Clause

#pragma once

#include <QByteArray>
#include <string>

#include "tools/state_file.h"

namespace zarn::state {

// The file is JSON: a format name and version, the sample rate, and one
// object per target. Coefficients are the base64 text of their IEEE-754
// binary64 bytes in little-endian order, so they come back bit for bit: a
// decimal form would lose the sign of -0.0 in some writers, and would also
// be larger and slower to read. Version 2 added each filter's text; files
// of version 1 are read as they were.
constexpr const char *FORMAT_NAME = "zarnmix-state";
constexpr int FORMAT_VERSION = 2;
constexpr int OLDEST_FORMAT_VERSION = 1;
constexpr const char *COEFFICIENT_ENCODING = "base64-binary64-le";

// The same text as Qt's indented JSON writer gives for the file's document,
// written directly: the whole largest setup would otherwise be built twice
// more in memory on the way.
QByteArray encode_setup(const Setup &setup);

// Reads and checks a whole file: its form, the types and ranges of every
// value, each filter's coefficient count and that every coefficient is
// finite. On the first fault returns false and names its place in error, as
// in "targets[3].rx_filter.coefficients[17]: not a finite number", with
// control characters from the file escaped.
bool decode_setup(const QByteArray &text, Setup &setup, std::string &error);

} // namespace zarn::state
