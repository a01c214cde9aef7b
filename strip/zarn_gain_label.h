// SPDX-License-Identifier: BSD-2-Clause

#pragma once

#include <QLabel>

class QLineEdit;

// A strip's gain step as a number that can also be set: a double click opens
// a field over it to type a gain in, its context menu offers a way back to
// 0. The wheel is left to the page, which scrolls.
class ZARNGainLabel : public QLabel {
    Q_OBJECT

public:
    explicit ZARNGainLabel(QWidget *parent = nullptr);

    // Opens the typing field, its text selected; Return or leaving it takes
    // what is typed, Escape drops it.
    void edit();
    // The open field, null while there is none.
    QLineEdit *field() const { return editor; }
    // A whole number within the gain range is entered; anything else is
    // refused, the label stays and nothing is sent. True when entered.
    bool take(const QString &typed);
    void reset_to_zero();

signals:
    void valueEntered(int value);

protected:
    void mouseDoubleClickEvent(QMouseEvent *event) override;
    void contextMenuEvent(QContextMenuEvent *event) override;
    bool event(QEvent *event) override;
    bool eventFilter(QObject *watched, QEvent *event) override;

private:
    void close_field(bool take_text);
    QLineEdit *editor;
};
