#include "routing/zarn_loop_connections.h"

#include <QBrush>
#include <QColor>
#include <QGridLayout>
#include <QPainter>
#include <QPen>
#include <QPoint>
#include <QRect>
#include <climits>

#include "app/zarn_main_window.h"
#include "ctl/strip_kind.h"
#include "routing/zarn_connect.h"
#include "strip/zarn_controller.h"

ZARNLoopConnections::ZARNLoopConnections(ZARNConnect *panel) : panel(panel) {
    setMinimumWidth(128);
}

ZARNLoopConnections::~ZARNLoopConnections() = default;

void ZARNLoopConnections::paintEvent(QPaintEvent *) {
    draw(this);
}

void ZARNLoopConnections::draw(QPaintDevice *target) {
    QPainter painter(target);
    painter.setRenderHint(QPainter::Antialiasing, true);
    painter.fillRect(0, 0, width(), height(), Qt::white);

    ZARNController *const *strips = panel->main_window->strips;
    // Muted routes first, so the active ones lie on top of them.
    for (int pass = 0; pass < 2; pass++) {
        for (int i = 0; i < MAX_STRIPS && strips[i] != nullptr; i++) {
            const ZARNController *strip = strips[i];
            if (strip->kind != zarn::KIND_LOOP)
                continue;
            const zarn::ChannelConfig &cc = strip->channel_config;
            // Any row past the grid draws alike, so the largest channel
            // number stays there instead of overflowing.
            const int source_row = cc.src_channel < INT_MAX ? cc.src_channel + 1 : INT_MAX;
            draw_route(&painter, 1, strip->connect_row, 0, source_row, cc.rx_mute, pass);
        }
    }
}

void ZARNLoopConnections::draw_route(QPainter *painter, int side_a, int row_a, int side_b,
                                     int row_b, int mute, int pass) {
    if (mute == pass)
        return;

    const QColor colour = mute == 0 ? QColor(0, 0, 0) : QColor(192, 192, 192);
    painter->setBrush(QBrush(colour, Qt::SolidPattern));
    painter->setPen(QPen(QBrush(colour, Qt::SolidPattern), side_a == side_b ? 8.0 : 4.0,
                         mute != 0 ? Qt::DotLine : Qt::SolidLine, Qt::RoundCap, Qt::RoundJoin));

    const int w = width();
    const int top = panel->grid->cellRect(1, 0).top();

    // A row outside the grid gives an empty cell (top 0, height 0): that end
    // then lies above the painter and is clipped.
    const QRect cell_a = panel->grid->cellRect(row_a, 0);
    const QRect cell_b = panel->grid->cellRect(row_b, 0);
    const QPoint a(side_a == 0 ? 0 : w, cell_a.top() - top + cell_a.height() / 2);
    const QPoint b(side_b == 0 ? 0 : w, cell_b.top() - top + cell_b.height() / 2);

    const QPoint line[4] = {a, QPoint(side_a == 0 ? a.x() + 16 : a.x() - 16, a.y()),
                            QPoint(side_b == 0 ? b.x() + 16 : b.x() - 16, b.y()), b};
    painter->drawPolyline(line, 4);

    painter->setPen(
        QPen(QBrush(colour, Qt::SolidPattern), 1.0, Qt::SolidLine, Qt::SquareCap, Qt::BevelJoin));
    painter->drawEllipse(a.x() - 8, a.y() - 8, 16, 16);
    painter->drawEllipse(b.x() - 8, b.y() - 8, 16, 16);
}
