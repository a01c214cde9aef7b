#pragma once

#include <QObject>

class QAbstractSpinBox;

// Keeps a spin box from acting on input the user did not mean for it. The
// wheel turns it only while it has keyboard focus; otherwise the wheel goes
// on to the window, which scrolls. Typed digits are taken once, when Return
// is pressed or the focus leaves, not at every keystroke, while the arrow
// buttons and keys still step at once.
class ZARNSpinBoxGuard : public QObject {
public:
    // Guards box with a filter that is its child and goes with it.
    static void guard(QAbstractSpinBox *box);

protected:
    bool eventFilter(QObject *watched, QEvent *event) override;

private:
    explicit ZARNSpinBoxGuard(QAbstractSpinBox *box);
};
