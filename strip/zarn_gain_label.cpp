// SPDX-License-Identifier: BSD-2-Clause

#include "strip/zarn_gain_label.h"

#include <QContextMenuEvent>
#include <QHelpEvent>
#include <QKeyEvent>
#include <QLineEdit>
#include <QMenu>
#include <QToolTip>
#include <utility>

#include "ctl/catalogue.h"

ZARNGainLabel::ZARNGainLabel(QWidget *parent) : QLabel(parent), editor(nullptr) {}

void ZARNGainLabel::edit() {
    if (editor)
        return;
    // Over the label and a little beyond it: the label is only as wide as
    // its widest number, and a field has margins of its own.
    QWidget *over = parentWidget() ? parentWidget() : this;
    editor = new QLineEdit(over);
    editor->setFrame(false);
    editor->setAlignment(Qt::AlignCenter);
    const int room = fontMetrics().horizontalAdvance(QStringLiteral("-31")) + 8;
    QRect place = over == this ? rect() : QRect(mapTo(over, QPoint(0, 0)), size());
    if (place.width() < room)
        place.adjust(-(room - place.width()) / 2, 0, (room - place.width() + 1) / 2, 0);
    editor->setGeometry(place);
    editor->raise();
    editor->setText(text());
    editor->selectAll();
    editor->setAccessibleName(accessibleName());
    editor->installEventFilter(this);
    connect(editor, &QLineEdit::editingFinished, this, [this] { close_field(true); });
    editor->show();
    editor->setFocus(Qt::OtherFocusReason);
}

void ZARNGainLabel::close_field(bool take_text) {
    // Hiding the field takes its focus, which finishes the editing once more.
    QLineEdit *closing = std::exchange(editor, nullptr);
    if (!closing)
        return;
    const QString typed = closing->text();
    closing->hide();
    closing->deleteLater();
    if (take_text)
        take(typed);
}

bool ZARNGainLabel::take(const QString &typed) {
    bool ok = false;
    const int value = typed.trimmed().toInt(&ok);
    if (!ok || value < -zarn::GAIN_MAX || value > zarn::GAIN_MAX)
        return false;
    emit valueEntered(value);
    return true;
}

void ZARNGainLabel::reset_to_zero() {
    emit valueEntered(0);
}

void ZARNGainLabel::mouseDoubleClickEvent(QMouseEvent *event) {
    edit();
    event->accept();
}

void ZARNGainLabel::contextMenuEvent(QContextMenuEvent *event) {
    QMenu menu(this);
    const QAction *type = menu.addAction(tr("Type a gain..."));
    const QAction *reset = menu.addAction(tr("Reset to 0"));
    // Acted on once the menu is gone, so the field keeps the focus it gets.
    const QAction *chosen = menu.exec(event->globalPos());
    if (chosen == type)
        edit();
    else if (chosen == reset)
        reset_to_zero();
}

bool ZARNGainLabel::event(QEvent *event) {
    if (event->type() == QEvent::ToolTip && !toolTip().isEmpty()) {
        // How to set it, after what it is.
        const QString how = tr("Double-click to type a gain from %1 to %2; the context menu "
                               "resets it to 0.")
                                .arg(-zarn::GAIN_MAX)
                                .arg(zarn::GAIN_MAX);
        QToolTip::showText(static_cast<QHelpEvent *>(event)->globalPos(),
                           toolTip() + QLatin1Char('\n') + how, this);
        return true;
    }
    return QLabel::event(event);
}

bool ZARNGainLabel::eventFilter(QObject *watched, QEvent *event) {
    if (watched == editor && event->type() == QEvent::KeyPress &&
        static_cast<QKeyEvent *>(event)->key() == Qt::Key_Escape) {
        close_field(false);
        return true;
    }
    return QLabel::eventFilter(watched, event);
}
