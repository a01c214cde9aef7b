// SPDX-License-Identifier: BSD-2-Clause

#include "routing/zarn_route_painter.h"

#include <QPaintEvent>
#include <QPainter>

ZARNRoutePainter::ZARNRoutePainter(ZARNConnect *panel) : panel(panel) {
    setMinimumWidth(128);
}

ZARNRoutePainter::~ZARNRoutePainter() = default;

void ZARNRoutePainter::draw(QPaintDevice *target) {
    QPainter painter(target);
    painter.setRenderHint(QPainter::Antialiasing, true);
    zarn::draw_routes(&painter, routes(), QRect(0, 0, width(), height()));
}

void ZARNRoutePainter::refresh_routes() {
    const QRegion changed = kept.update(routes(), size(), devicePixelRatioF());
    if (!changed.isEmpty())
        update(changed);
}

const QImage &ZARNRoutePainter::picture() {
    kept.update(routes(), size(), devicePixelRatioF());
    return kept.image();
}

void ZARNRoutePainter::paintEvent(QPaintEvent *event) {
    kept.update(routes(), size(), devicePixelRatioF());
    kept.paint(this, event->rect());
}
