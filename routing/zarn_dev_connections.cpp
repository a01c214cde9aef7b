#include "routing/zarn_dev_connections.h"

#include <QBrush>
#include <QColor>
#include <QGridLayout>
#include <QPainter>
#include <QPen>
#include <QPoint>
#include <QRect>

#include "app/zarn_main_window.h"
#include "ctl/strip_kind.h"
#include "routing/zarn_connect.h"
#include "strip/zarn_controller.h"

ZARNDevConnections::ZARNDevConnections(ZARNConnect *panel) : panel(panel) {
    setMinimumWidth(128);
}

ZARNDevConnections::~ZARNDevConnections() = default;

void ZARNDevConnections::paintEvent(QPaintEvent *) {
    draw(this);
}

void ZARNDevConnections::draw(QPaintDevice *target) {
    QPainter painter(target);
    painter.setRenderHint(QPainter::Antialiasing, true);
    painter.fillRect(0, 0, width(), height(), Qt::white);

    ZARNController *const *strips = panel->main_window->strips;
    // Muted routes first, so the active ones lie on top of them.
    for (int pass = 0; pass < 2; pass++) {
        for (int i = 0; i < MAX_STRIPS && strips[i] != nullptr; i++) {
            const ZARNController *strip = strips[i];
            const zarn::ChannelConfig &cc = strip->channel_config;
            const zarn::MonitorConfig &mc = strip->monitor_config;
            switch (strip->kind) {
            case zarn::KIND_DEVICE:
                draw_route(&painter, 0, strip->connect_row, 1, output_row(cc.dst_channel),
                           cc.tx_mute, pass);
                draw_route(&painter, 0, input_row(cc.src_channel), 1, strip->connect_row,
                           cc.rx_mute, pass);
                break;
            case zarn::KIND_INPUT_MONITOR:
                draw_route(&painter, 0, input_row(mc.src_channel), 1, output_row(mc.dst_channel),
                           mc.mute, pass);
                break;
            case zarn::KIND_OUTPUT_MONITOR:
                draw_route(&painter, 1, output_row(mc.src_channel), 1, output_row(mc.dst_channel),
                           mc.mute, pass);
                break;
            default:
                break;
            }
        }
    }
}

void ZARNDevConnections::draw_route(QPainter *painter, int side_a, int row_a, int side_b, int row_b,
                                    int mute, int pass) {
    if (mute == pass)
        return;

    const QColor colour = mute == 0 ? QColor(0, 0, 0) : QColor(192, 192, 192);
    painter->setBrush(QBrush(colour, Qt::SolidPattern));
    painter->setPen(QPen(QBrush(colour, Qt::SolidPattern), side_a == side_b ? 8.0 : 4.0,
                         mute != 0 ? Qt::DotLine : Qt::SolidLine, Qt::RoundCap, Qt::RoundJoin));

    const int w = width();
    const int top = panel->grid->cellRect(1, 0).top();

    QPoint a;
    QPoint b;
    if (row_a >= 0) {
        const QRect cell = panel->grid->cellRect(row_a, 0);
        a = QPoint(side_a == 0 ? 0 : w, cell.top() - top + cell.height() / 2);
    }
    if (row_b >= 0) {
        const QRect cell = panel->grid->cellRect(row_b, 0);
        b = QPoint(side_b == 0 ? 0 : w, cell.top() - top + cell.height() / 2);
    }

    if (row_a >= 0 && row_b >= 0) {
        const QPoint line[4] = {a, QPoint(side_a == 0 ? a.x() + 16 : a.x() - 16, a.y()),
                                QPoint(side_b == 0 ? b.x() + 16 : b.x() - 16, b.y()), b};
        painter->drawPolyline(line, 4);
    }

    painter->setPen(
        QPen(QBrush(colour, Qt::SolidPattern), 1.0, Qt::SolidLine, Qt::SquareCap, Qt::BevelJoin));
    if (row_a >= 0)
        painter->drawEllipse(a.x() - 8, a.y() - 8, 16, 16);
    if (row_b >= 0)
        painter->drawEllipse(b.x() - 8, b.y() - 8, 16, 16);
}

int ZARNDevConnections::input_row(int channel) const {
    return channel >= 0 && channel < panel->main_input_count ? channel + 1 : -1;
}

int ZARNDevConnections::output_row(int channel) const {
    return channel >= 0 && channel < panel->main_output_count ? channel + 1 : -1;
}
