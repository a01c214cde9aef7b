// SPDX-License-Identifier: BSD-2-Clause

#include "app/zarn_spin_box_guard.h"

#include <QCoreApplication>
#include <QEvent>
#include <QHelpEvent>
#include <QLineEdit>
#include <QSpinBox>
#include <QToolTip>
#include <QValidator>

namespace {

// Lets digits beyond the box's range stand while they are typed, instead of
// dropping the keystroke that passes the range (which turned 99999 into 999
// under a limit of 4800). On Return the box takes such a number as it takes
// any other it cannot accept: it goes back to the value it had.
class TypedNumberValidator : public QValidator {
public:
    TypedNumberValidator(QSpinBox *box, const QValidator *own)
        : QValidator(box), box(box), own(own) {}

    State validate(QString &input, int &pos) const override {
        const State state = own ? own->validate(input, pos) : Acceptable;
        if (state != Invalid)
            return state;
        QString number = input;
        if (number.startsWith(box->prefix()))
            number.remove(0, box->prefix().size());
        if (number.endsWith(box->suffix()))
            number.chop(box->suffix().size());
        bool ok = false;
        const qlonglong value = number.trimmed().toLongLong(&ok);
        const bool beyond = ok && (value > box->maximum() || value < box->minimum());
        return beyond ? Intermediate : Invalid;
    }

private:
    QSpinBox *box;
    const QValidator *own;
};

} // namespace

ZARNSpinBoxGuard::ZARNSpinBoxGuard(QSpinBox *box) : QObject(box) {}

void ZARNSpinBoxGuard::guard(QSpinBox *box) {
    // Without wheel focus a turn of the wheel over the box neither focuses
    // nor steps it.
    box->setFocusPolicy(Qt::StrongFocus);
    box->setKeyboardTracking(false);
    box->installEventFilter(new ZARNSpinBoxGuard(box));
    if (auto *edit = box->findChild<QLineEdit *>())
        edit->setValidator(new TypedNumberValidator(box, edit->validator()));
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
