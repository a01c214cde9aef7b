// SPDX-License-Identifier: BSD-2-Clause

#pragma once

#include <QPointer>
#include <QToolButton>

class QGridLayout;

// The header of a panel in the main window's column: an arrow and the
// panel's title, laid over the panel's own title. Folded, the panel is
// hidden, so it costs nothing, and its row keeps only the header's height.
// Whether it is folded is kept for the user.
class ZARNFold : public QToolButton {
    Q_OBJECT

public:
    // key names the panel in the settings ("folded/<key>"); the panel sits
    // in row of grid, whose widget becomes this header's parent.
    ZARNFold(const QString &key, QGridLayout *grid, int row, QWidget *panel);

    // The diagram is made anew when the targets change.
    void set_panel(QWidget *panel);
    bool folded() const;
    // The settings key of a panel's state.
    static QString settings_key(const QString &key);

signals:
    void foldedChanged(bool folded);

protected:
    bool eventFilter(QObject *watched, QEvent *event) override;

private:
    void fold(bool folded);
    void place();

    const QString key;
    QGridLayout *const grid;
    const int row;
    QPointer<QWidget> panel;
    bool is_folded = false;
};
