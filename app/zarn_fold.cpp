// SPDX-License-Identifier: BSD-2-Clause

#include "app/zarn_fold.h"

#include <QEvent>
#include <QGridLayout>
#include <QGroupBox>
#include <QStyle>
#include <QStyleOptionGroupBox>
#include <algorithm>

#include "app/kept_settings.h"

ZARNFold::ZARNFold(const QString &key, QGridLayout *grid, int row, QWidget *panel)
    : QToolButton(grid->parentWidget()), key(key), grid(grid), row(row) {
    setObjectName(QStringLiteral("fold_") + key);
    setAutoRaise(true);
    setToolButtonStyle(Qt::ToolButtonTextBesideIcon);
    // It covers the panel's own title, frame line and all.
    setAutoFillBackground(true);
    setToolTip(tr("Fold or unfold this panel"));
    grid->parentWidget()->installEventFilter(this);
    // Anything but a kept "true" leaves the panel unfolded.
    // Not checkable: a checked button is drawn pressed in, which an open
    // panel is not.
    is_folded = zarn::kept::value(settings_key(key)).toString() == QLatin1String("true");
    set_panel(panel);
    fold(is_folded);
    connect(this, &QToolButton::clicked, this, [this] {
        fold(!is_folded);
        zarn::kept::set_value(settings_key(this->key), is_folded);
        emit foldedChanged(is_folded);
    });
}

QString ZARNFold::settings_key(const QString &key) {
    return QStringLiteral("folded/") + key;
}

bool ZARNFold::folded() const {
    return is_folded;
}

void ZARNFold::set_panel(QWidget *panel_) {
    panel = panel_;
    if (!panel)
        return;
    if (auto *box = qobject_cast<QGroupBox *>(panel.data()))
        setText(box->title());
    panel->installEventFilter(this);
    if (folded())
        panel->hide();
    setAccessibleName(text());
    place();
}

void ZARNFold::fold(bool folded) {
    is_folded = folded;
    setArrowType(folded ? Qt::RightArrow : Qt::DownArrow);
    if (!panel)
        return;
    // Hidden, not shrunk: a folded panel is neither laid out nor painted.
    // A panel not yet in its window would be shown as a window of its own.
    if (folded)
        panel->hide();
    else if (panel->parentWidget())
        panel->show();
    grid->setRowMinimumHeight(row, folded ? sizeHint().height() : 0);
    place();
}

void ZARNFold::place() {
    if (!panel)
        return;
    const QSize hint = sizeHint();
    if (folded()) {
        const QRect cell = grid->cellRect(row, 0);
        setGeometry(cell.isValid() ? cell.left() : 0, cell.isValid() ? cell.top() : 0, hint.width(),
                    hint.height());
        raise();
        return;
    }
    // Over the group box's title: the arrow at its left edge, the same words
    // after it, wide enough to cover the title beneath.
    QRect label(0, 0, 0, hint.height());
    if (auto *box = qobject_cast<QGroupBox *>(panel.data())) {
        QStyleOptionGroupBox option;
        option.initFrom(box);
        option.text = box->title();
        option.lineWidth = 1;
        option.midLineWidth = 0;
        option.textAlignment = box->alignment();
        option.subControls = QStyle::SC_GroupBoxFrame | QStyle::SC_GroupBoxLabel;
        option.features = box->isFlat() ? QStyleOptionFrame::Flat : QStyleOptionFrame::None;
        label = box->style()->subControlRect(QStyle::CC_GroupBox, &option, QStyle::SC_GroupBoxLabel,
                                             box);
    }
    const QPoint at = panel->pos();
    const int top = std::max(0, label.center().y() - hint.height() / 2);
    setGeometry(at.x(), at.y() + top, std::max(hint.width(), label.right() + 1), hint.height());
    raise();
}

bool ZARNFold::eventFilter(QObject *watched, QEvent *event) {
    // The column's layout has placed its rows by the time its widget sees
    // these.
    switch (event->type()) {
    case QEvent::LayoutRequest:
    case QEvent::Resize:
    case QEvent::Move:
    case QEvent::Show:
        if (watched == panel || watched == grid->parentWidget())
            place();
        break;
    default:
        break;
    }
    return QToolButton::eventFilter(watched, event);
}
