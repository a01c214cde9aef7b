// SPDX-License-Identifier: BSD-2-Clause

#pragma once

#include <QByteArray>
#include <QIODevice>
#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>

#include "tools/state_file.h"

namespace zarn::state {

// The file is JSON: a format name and version, the sample rate, and one
// object per target. Coefficients are the base64 text of their IEEE-754
// binary64 bytes in little-endian order, so they come back bit for bit: a
// decimal form would lose the sign of -0.0 in some writers, and would also
// be larger and slower to read. Version 2 added each filter's text, version
// 3 the user's names for channels; files of the older versions are read as
// they were.
constexpr const char *FORMAT_NAME = "zarnmix-state";
constexpr int FORMAT_VERSION = 3;
constexpr int OLDEST_FORMAT_VERSION = 1;
constexpr const char *COEFFICIENT_ENCODING = "base64-binary64-le";

// The same text as Qt's indented JSON writer gives for the file's document,
// written directly: the whole largest setup would otherwise be built twice
// more in memory on the way.
QByteArray encode_setup(const Setup &setup);

// The same text written target by target, as the setup is read: the sample
// rate comes first, each target is added in turn, and finish gives the text.
class SetupEncoder {
public:
    // estimate: the bytes to reserve at once.
    SetupEncoder(std::int32_t sample_rate, std::size_t estimate);
    ~SetupEncoder();
    void add(const TargetState &state);
    // The bytes of text not yet written out or taken.
    std::size_t pending() const;
    // Writes the text so far to out and empties the buffer, keeping its
    // room; false on a short write.
    bool flush_to(QIODevice &out);
    // The rest of the text.
    QByteArray finish();

    // About the bytes add writes for the target, for an estimate.
    static std::size_t size_of(const TargetState &state);

private:
    struct Writing;
    std::unique_ptr<Writing> writing_;
};

// Reads and checks a whole file: its form, the types and ranges of every
// value, each filter's coefficient count and that every coefficient is
// finite. On the first fault returns false and names its place in error, as
// in "targets[3].rx_filter.coefficients[17]: not a finite number", with
// control characters from the file escaped.
bool decode_setup(const QByteArray &text, Setup &setup, std::string &error);

} // namespace zarn::state
