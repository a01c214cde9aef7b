#include "app/zarn_spin_box_guard.h"

#include <QAbstractSpinBox>
#include <QEvent>

ZARNSpinBoxGuard::ZARNSpinBoxGuard(QAbstractSpinBox *box) : QObject(box) {}

void ZARNSpinBoxGuard::guard(QAbstractSpinBox *box) {
    // Without wheel focus a turn of the wheel over the box neither focuses
    // nor steps it.
    box->setFocusPolicy(Qt::StrongFocus);
    box->setKeyboardTracking(false);
    box->installEventFilter(new ZARNSpinBoxGuard(box));
}

bool ZARNSpinBoxGuard::eventFilter(QObject *watched, QEvent *event) {
    if (event->type() != QEvent::Wheel || static_cast<QWidget *>(watched)->hasFocus())
        return false;
    // Filtered and ignored: the toolkit offers the event to the parents in
    // turn, up to the scroll area.
    event->ignore();
    return true;
}
