// SPDX-License-Identifier: BSD-2-Clause

#pragma once

#include <QAbstractButton>
#include <QAbstractSpinBox>
#include <QLineEdit>
#include <QStringList>
#include <QTextEdit>
#include <QWidget>

// Every control under root that a user can see and that says nothing when
// hovered, by its class and text, so a failure names it.
inline QStringList controls_without_tool_tips(const QWidget *root) {
    QStringList out;
    int controls = 0;
    for (const QWidget *w : root->findChildren<QWidget *>()) {
        // A spin box's own line edit shows the spin box's tool tip.
        const bool control = qobject_cast<const QAbstractButton *>(w) ||
                             qobject_cast<const QAbstractSpinBox *>(w) ||
                             qobject_cast<const QTextEdit *>(w) ||
                             (qobject_cast<const QLineEdit *>(w) &&
                              !qobject_cast<const QAbstractSpinBox *>(w->parentWidget()));
        if (!control || w->isHidden())
            continue;
        ++controls;
        if (!w->toolTip().isEmpty())
            continue;
        QString text;
        if (auto *b = qobject_cast<const QAbstractButton *>(w))
            text = b->text();
        else if (auto *s = qobject_cast<const QAbstractSpinBox *>(w))
            text = s->text();
        out << QStringLiteral("%1 \"%2\"")
                   .arg(QString::fromLatin1(w->metaObject()->className()), text);
    }
    if (controls == 0)
        out << QStringLiteral("no controls at all");
    return out;
}
