// SPDX-License-Identifier: BSD-2-Clause

#include "app/opening_size.h"

#include <QScrollArea>
#include <QScrollBar>
#include <algorithm>

namespace zarn {

QSize opening_size(const QScrollArea &window, const QRect &available) {
    const QWidget *content = window.widget();
    if (content == nullptr)
        return window.sizeHint().boundedTo(available.size());
    const int frame = 2 * window.frameWidth();
    const QSize wanted = content->sizeHint().expandedTo(content->minimumSizeHint());
    int width = wanted.width() + frame;
    int height = wanted.height() + frame;
    const int tallest = available.height() * 85 / 100;
    if (height > tallest) {
        height = tallest;
        width += window.verticalScrollBar()->sizeHint().width();
    }
    return QSize(std::min(width, available.width()), height);
}

} // namespace zarn
