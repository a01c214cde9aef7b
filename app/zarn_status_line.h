// SPDX-License-Identifier: BSD-2-Clause

#pragma once

#include <QWidget>

class QLabel;
class QPushButton;
class QTimer;
class QToolButton;

// A small line along the bottom of the main window, outside what scrolls, so
// that it is in view wherever the window is scrolled to: a note that goes
// after a while, or an offer with its button, which stays until taken or
// dismissed.
class ZARNStatusLine : public QWidget {
    Q_OBJECT

public:
    explicit ZARNStatusLine(QWidget *parent);

    void say(const QString &text);
    void offer(const QString &text, const QString &action);
    // Hides the line, and with it any offer; a resting text stays.
    void clear();
    // Shown whenever no note or offer is; empty lets the line go at rest.
    void rest_on(const QString &text);
    bool offering() const;

    QLabel *label;
    QPushButton *action_button;
    QToolButton *close_button;

signals:
    // The offer's button was pressed; the offer is gone.
    void taken();
    // Shown or hidden: the window makes room for it, or gives it back.
    void shownChanged();

private:
    void show_line(bool with_action);
    QTimer *fade;
    QString resting;
};
