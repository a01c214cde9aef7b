// SPDX-License-Identifier: BSD-2-Clause

#include "app/zarn_status_line.h"

#include <QHBoxLayout>
#include <QLabel>
#include <QPushButton>
#include <QTimer>
#include <QToolButton>

namespace {

// Long enough to be read after a glance away from the window.
constexpr int NOTE_MS = 10000;

} // namespace

ZARNStatusLine::ZARNStatusLine(QWidget *parent) : QWidget(parent) {
    setObjectName(QStringLiteral("status_line"));
    setAutoFillBackground(true);
    auto *layout = new QHBoxLayout(this);
    layout->setContentsMargins(6, 2, 2, 2);
    label = new QLabel;
    label->setTextInteractionFlags(Qt::TextSelectableByMouse);
    action_button = new QPushButton;
    close_button = new QToolButton;
    close_button->setText(QString(QChar(0x00d7)));
    close_button->setAutoRaise(true);
    close_button->setToolTip(tr("Dismiss"));
    close_button->setAccessibleName(tr("Dismiss"));
    layout->addWidget(label, 1);
    layout->addWidget(action_button);
    layout->addWidget(close_button);
    fade = new QTimer(this);
    fade->setSingleShot(true);
    connect(fade, &QTimer::timeout, this, &ZARNStatusLine::clear);
    connect(close_button, &QToolButton::clicked, this, &ZARNStatusLine::clear);
    connect(action_button, &QPushButton::clicked, this, [this] {
        clear();
        emit taken();
    });
    hide();
}

void ZARNStatusLine::say(const QString &text) {
    // A note does not push an offer out; it waits beside it.
    if (offering())
        return;
    label->setText(text);
    show_line(false);
    fade->start(NOTE_MS);
}

void ZARNStatusLine::offer(const QString &text, const QString &action) {
    fade->stop();
    label->setText(text);
    action_button->setText(action);
    show_line(true);
}

void ZARNStatusLine::clear() {
    fade->stop();
    action_button->hide();
    if (!resting.isEmpty()) {
        label->setText(resting);
        show_line(false);
        close_button->hide(); // nothing to dismiss at rest
        return;
    }
    if (isHidden())
        return;
    hide();
    emit shownChanged();
}

void ZARNStatusLine::rest_on(const QString &text) {
    resting = text;
    // A note or an offer shown now keeps the line until it goes.
    if (!isHidden() && (offering() || fade->isActive()))
        return;
    clear();
}

bool ZARNStatusLine::offering() const {
    return !isHidden() && !action_button->isHidden();
}

void ZARNStatusLine::show_line(bool with_action) {
    action_button->setVisible(with_action);
    close_button->show();
    if (!isHidden())
        return;
    show();
    emit shownChanged();
}
