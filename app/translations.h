// SPDX-License-Identifier: BSD-2-Clause

#pragma once

#include <QLocale>
#include <QStringList>

namespace zarn {

// Where the panel's catalogues are looked for, in this order: the build
// tree's translations/ folder beside the program's own folder, so that a
// panel run from the build finds them, then the installed folder.
QStringList translation_folders();

// Installs, for the locale's languages, the panel's catalogue from the first
// of folders that has one, and the toolkit's own catalogue for its standard
// texts (buttons of message boxes, context menus). Needs the application
// object, which owns the translators. Returns whether the panel's catalogue
// was found; without one the texts show as written.
bool install_translations(const QLocale &locale, const QStringList &folders);

} // namespace zarn
