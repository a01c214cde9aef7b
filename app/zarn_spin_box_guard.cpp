// SPDX-License-Identifier: BSD-2-Clause

#include "app/zarn_spin_box_guard.h"

#include <QCoreApplication>
#include <QEvent>
#include <QHelpEvent>
#include <QLineEdit>
#include <QSpinBox>
#include <QToolTip>

ZARNSpinBoxGuard::ZARNSpinBoxGuard(QSpinBox *box) : QObject(box) {}

void ZARNSpinBoxGuard::guard(QSpinBox *box) {
    // Without wheel focus a turn of the wheel over the box neither focuses
    // nor steps it.
    box->setFocusPolicy(Qt::StrongFocus);
    box->setKeyboardTracking(false);
    box->installEventFilter(new ZARNSpinBoxGuard(box));
}

QString ZARNSpinBoxGuard::tool_tip(const QSpinBox *box) {
    QString unit = box->suffix().trimmed();
    if (!unit.isEmpty())
        unit.prepend(QLatin1Char(' '));
    // Without a meta-object of its own the class names its context itself.
    const QString range = QCoreApplication::translate("ZARNSpinBoxGuard", "From %1 to %2%3.")
                              .arg(box->minimum())
                              .arg(box->maximum())
                              .arg(unit);
    const QString entry = QCoreApplication::translate(
        "ZARNSpinBoxGuard", "Type a number and press Return; the wheel turns the box only "
                            "while it has the keyboard focus.");
    const QString own = box->toolTip();
    return own.isEmpty() ? range + QLatin1Char('\n') + entry
                         : own + QLatin1Char('\n') + range + QLatin1Char('\n') + entry;
}

bool ZARNSpinBoxGuard::being_edited(const QSpinBox *box) {
    // The toolkit marks its line edit modified at a keystroke and clears the
    // mark whenever it shows a value, typed and committed or set.
    const auto *edit = box->findChild<const QLineEdit *>();
    return box->hasFocus() && edit && edit->isModified();
}

bool ZARNSpinBoxGuard::eventFilter(QObject *watched, QEvent *event) {
    if (event->type() == QEvent::ToolTip) {
        // Events can still come while the box is taken down, when it is no
        // longer a spin box.
        auto *box = qobject_cast<QSpinBox *>(watched);
        if (box == nullptr)
            return false;
        QToolTip::showText(static_cast<QHelpEvent *>(event)->globalPos(), tool_tip(box), box);
        return true;
    }
    auto *widget = qobject_cast<QWidget *>(watched);
    if (event->type() != QEvent::Wheel || widget == nullptr || widget->hasFocus())
        return false;
    // Filtered and ignored: the toolkit offers the event to the parents in
    // turn, up to the scroll area.
    event->ignore();
    return true;
}
