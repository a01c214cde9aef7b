// SPDX-License-Identifier: BSD-2-Clause

#pragma once

#include <QString>
#include <cstddef>
#include <cstdint>

#include "ctl/discovery.h"

namespace zarn {

// The last applied text of each filter, kept in the user's settings per
// control device and target, with a hash of the coefficients it produced:
// the daemon keeps only coefficients, and a text is worth showing only while
// they are still the ones it made. Shared by the panel and zarnmix_state.
class FilterTexts {
public:
    explicit FilterTexts(const QString &device_path);

    // The kept text when the coefficients are the ones it produced; a null
    // string otherwise, and for an unreadable or damaged entry. With source,
    // also what the text was made from, kept with it (a parametric file), or
    // a null string.
    QString text_for(const Target &target, bool rx, const double *coefficients, std::int32_t length,
                     QString *source = nullptr) const;
    // A text kept without a source keeps the source of the same text kept
    // before (a setup restored, say), and drops that of another.
    void keep(const Target &target, bool rx, const QString &text, const double *coefficients,
              std::int32_t length, const QString &source = QString());

    // Of the values' bits, so -0.0 differs from 0.0.
    static std::uint64_t hash(const double *coefficients, std::size_t length);

private:
    QString group(const Target &target, bool rx) const;
    QString old_group(const Target &target, bool rx) const;
    QString device_;
};

} // namespace zarn
