// SPDX-License-Identifier: BSD-2-Clause

#pragma once

#include <algorithm>

#include <QGuiApplication>
#include <QIcon>
#include <QPoint>
#include <QRect>
#include <QScreen>
#include <QWidget>
#include <QWindow>

namespace zarn {

// The program's icon, read from its picture once and then held by the
// application: the main window and every strip's windows carry it, and
// reading the picture for each of them was a tenth of the start-up.
inline QIcon window_icon() {
    if (QGuiApplication::windowIcon().isNull())
        QGuiApplication::setWindowIcon(QIcon(QStringLiteral(":/zarnmix_ctl.png")));
    return QGuiApplication::windowIcon();
}

// A strip's equalizer and compressor windows are its Qt children, so that Qt
// deletes them; to the window manager they stay windows of their own, as
// before they had a parent: not kept above the main window, nor minimised
// with it. Called as the window is shown, before the system shows it.
inline void stand_alone(QWidget &window) {
    if (QWindow *handle = window.windowHandle())
        handle->setTransientParent(nullptr);
}

// Shows a strip's window, raised and active. A window never placed, by
// the user or from a remembered place, opens beside strip, cascaded from
// the strip's other windows in view.
inline void show_beside(QWidget &window, QWidget *strip) {
    if (!window.isVisible() && !window.testAttribute(Qt::WA_Moved) && strip) {
        int in_view = 0;
        for (QObject *child : strip->children()) {
            auto *w = qobject_cast<QWidget *>(child);
            in_view += w && w != &window && w->isWindow() && w->isVisible();
        }
        const int step = 28 * in_view;
        QPoint at = strip->mapToGlobal(QPoint(strip->width() + 8, 0)) + QPoint(step, step);
        QScreen *screen = QGuiApplication::screenAt(at);
        if (!screen)
            screen = QGuiApplication::primaryScreen();
        if (screen) {
            const QRect room = screen->availableGeometry();
            const QSize size = window.sizeHint();
            at.setX(std::max(room.left(), std::min(at.x(), room.right() - size.width())));
            at.setY(std::max(room.top(), std::min(at.y(), room.bottom() - size.height())));
        }
        window.move(at);
    }
    window.show();
    window.raise();
    window.activateWindow();
}

} // namespace zarn
