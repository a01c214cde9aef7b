// SPDX-License-Identifier: BSD-2-Clause

#include "app/opening_size.h"

#include <QScrollBar>
#include <algorithm>

#include "app/zarn_main_window.h"

namespace zarn {

QSize opening_size(const ZARNMainWindow &window, const QRect &available) {
    const QWidget *content = window.widget();
    if (content == nullptr)
        return window.sizeHint().boundedTo(available.size());
    const int frame = 2 * window.frameWidth();
    const QSize wanted = content->sizeHint().expandedTo(content->minimumSizeHint());
    const QMargins bars = window.bar_margins();
    int width = wanted.width() + frame + bars.left() + bars.right();
    int height = wanted.height() + frame + bars.top() + bars.bottom();
    const int tallest = available.height() * 85 / 100;
    if (height > tallest) {
        height = tallest;
        width += window.verticalScrollBar()->sizeHint().width();
    }
    return QSize(std::min(width, available.width()), height);
}

} // namespace zarn
