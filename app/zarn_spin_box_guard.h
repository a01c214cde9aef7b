// SPDX-License-Identifier: BSD-2-Clause

#pragma once

#include <QObject>
#include <QString>

class QSpinBox;

// Keeps a spin box from acting on input the user did not mean for it. The
// wheel turns it only while it has keyboard focus; otherwise the wheel goes
// on to the window, which scrolls. Typed digits are taken once, when Return
// is pressed or the focus leaves, not at every keystroke, while the arrow
// buttons and keys still step at once. Its tool tip ends with the range it
// has at that moment, which may come from the daemon and change.
class ZARNSpinBoxGuard : public QObject {
public:
    // Guards box with a filter that is its child and goes with it.
    static void guard(QSpinBox *box);

    // The box's tool tip as shown: its own text, then how to enter a value
    // and the range.
    static QString tool_tip(const QSpinBox *box);

    // Whether the user is in the middle of typing into the box: it has the
    // focus and shows text that is not yet its value. A value read from the
    // daemon must not replace that text.
    static bool being_edited(const QSpinBox *box);

protected:
    bool eventFilter(QObject *watched, QEvent *event) override;

private:
    explicit ZARNSpinBoxGuard(QSpinBox *box);
};
