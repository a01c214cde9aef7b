// SPDX-License-Identifier: BSD-2-Clause

#pragma once

#include <QApplication>
#include <QPoint>
#include <QWheelEvent>
#include <QWidget>
#include <QtTest/qtestspontaneevent.h>

// Turns the mouse wheel by notches (positive: away from the user) with the
// pointer over the middle of w, delivered as the toolkit delivers it: to the
// widget under the pointer first, then to its parents while it is ignored.
inline void turn_wheel(QWidget *w, int notches) {
    const QPoint middle = w->rect().center();
    QWidget *under = w->childAt(middle);
    QWidget *target = under ? under : w;
    const QPoint pos = target->mapFrom(w, middle);
    QWheelEvent event(pos, target->mapToGlobal(pos), QPoint(), QPoint(0, 120 * notches),
                      Qt::NoButton, Qt::NoModifier, Qt::NoScrollPhase, false);
    // Only an event from the window system goes on to the parents; sendEvent
    // would mark it as the program's own.
    QSpontaneKeyEvent::setSpontaneous(&event);
    QApplication::instance()->notify(target, &event);
}

// Gives w the keyboard focus in its shown, active window.
inline bool focus(QWidget *w) {
    w->window()->activateWindow();
    w->setFocus(Qt::OtherFocusReason);
    QApplication::processEvents();
    return w->hasFocus();
}
