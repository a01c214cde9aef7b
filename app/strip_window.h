// SPDX-License-Identifier: BSD-2-Clause

#pragma once

#include <QWidget>
#include <QWindow>

namespace zarn {

// A strip's equalizer and compressor windows are its Qt children, so that Qt
// deletes them; to the window manager they stay windows of their own, as
// before they had a parent: not kept above the main window, nor minimised
// with it. Called as the window is shown, before the system shows it.
inline void stand_alone(QWidget &window) {
    if (QWindow *handle = window.windowHandle())
        handle->setTransientParent(nullptr);
}

} // namespace zarn
