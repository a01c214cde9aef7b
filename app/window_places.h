// SPDX-License-Identifier: BSD-2-Clause

#pragma once

#include <QString>

class ZARNMainWindow;

// Where the user left the main window and which equalizer and compressor
// windows were open, and where, kept per control device path in the user's
// settings. A missing or corrupt entry is passed over.
namespace zarn::window_places {

void save(const ZARNMainWindow &window);
// Puts the main window where it was and shows the windows that were open
// whose targets the daemon still offers; false when nothing was kept.
bool restore(ZARNMainWindow &window);

} // namespace zarn::window_places
