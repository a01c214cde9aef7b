// SPDX-License-Identifier: BSD-2-Clause

#pragma once

#include <QLocale>
#include <QStringList>

namespace zarn {

// Where the panel's catalogues are looked for, in this order: the
// translations/ folder of the build tree the program was built in, only
// when it runs from there, then the installed folder.
QStringList translation_folders();

// A catalogue larger than this is refused unread: ours are some kilobytes.
constexpr int MAX_CATALOGUE_SIZE = 4 << 20;

// Installs, for the locale's languages, the panel's catalogue from the first
// of folders that has one, and the toolkit's own catalogue for its standard
// texts (buttons of message boxes, context menus). Needs the application
// object, which owns the translators. A file that is not a catalogue (no
// regular file, too large, not starting as one) is passed over with a
// warning. Returns whether the panel's catalogue was found; without one the
// texts show as written.
bool install_translations(const QLocale &locale, const QStringList &folders);

} // namespace zarn
