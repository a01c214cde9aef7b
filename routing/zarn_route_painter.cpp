// SPDX-License-Identifier: BSD-2-Clause

#include "routing/zarn_route_painter.h"

#include <QGridLayout>
#include <QHelpEvent>
#include <QKeyEvent>
#include <QMouseEvent>
#include <QPaintEvent>
#include <QPainter>
#include <QSpinBox>
#include <QStringList>
#include <QTimer>
#include <QToolTip>
#include <utility>

#include "app/zarn_main_window.h"
#include "ctl/strip_kind.h"
#include "routing/zarn_connect.h"
#include "strip/zarn_controller.h"

namespace {

// How close to a line or an end the pointer must be for it to count as on it.
constexpr double NEAR = 6.0;
// Past the painter's edge the pointer still counts as over that edge's
// column of channels for this far.
constexpr int BEYOND = 240;

} // namespace

ZARNRoutePainter::ZARNRoutePainter(ZARNConnect *panel) : panel(panel) {
    setMinimumWidth(128);
    setMouseTracking(true);
    // A click gives the keys to the painter, for Escape during a drag; Tab
    // still goes on to the strips.
    setFocusPolicy(Qt::ClickFocus);
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
    if (!pointed.empty())
        set_pointed(near(pointer));
}

const QImage &ZARNRoutePainter::picture() {
    kept.update(routes(), size(), devicePixelRatioF());
    return kept.image();
}

int ZARNRoutePainter::row_at(int y) const {
    // The painter spans the grid from row 1 down; a row owns its cell and
    // the spacing below it.
    const int origin = panel->grid->cellRect(1, 0).top();
    const int rows = panel->grid->rowCount();
    for (int row = 1; row < rows; row++) {
        const QRect cell = panel->grid->cellRect(row, 0);
        const QRect next = panel->grid->cellRect(row + 1, 0);
        const int bottom = row + 1 < rows && next.height() > 0 ? next.top() : cell.bottom() + 1;
        if (y >= cell.top() - origin && y < bottom - origin)
            return row;
    }
    return -1;
}

QPoint ZARNRoutePainter::end_point(int side, int row) const {
    return QPoint(side == 0 ? 0 : width(), zarn::row_middle(panel->grid, row));
}

std::vector<zarn::Route> ZARNRoutePainter::near(QPoint point) const {
    std::vector<zarn::Route> out;
    if (!rect().contains(point))
        return out;
    // Over an end, every route that leaves it; else the nearest line.
    const int side = point.x() < width() / 2 ? 0 : 1;
    const int row = row_at(point.y());
    const std::vector<zarn::Route> all = routes();
    if (row >= 0 && std::abs(point.x() - (side == 0 ? 0 : width())) <= 2 * NEAR) {
        const QPoint end = end_point(side, row);
        for (const zarn::Route &r : all)
            if ((r.has_a && r.side_a == side && r.a == end) ||
                (r.has_b && r.side_b == side && r.b == end))
                out.push_back(r);
        if (!out.empty())
            return out;
    }
    double best = NEAR;
    for (const zarn::Route &r : all) {
        const double d = zarn::distance_to(r, point);
        if (d <= best) {
            best = d;
            out.assign(1, r);
        }
    }
    return out;
}

QString ZARNRoutePainter::tell(QPoint point) const {
    QStringList lines;
    for (const zarn::Route &r : near(point))
        lines << describe(r);
    lines.removeDuplicates();
    return lines.join(QLatin1Char('\n'));
}

QString ZARNRoutePainter::point_channel(int side, int row) {
    if (dragging)
        return QString();
    if (row < 0) {
        set_pointed({});
        return QString();
    }
    // Just inside the edge, where near() finds the channel's end.
    pointer = QPoint(side == 0 ? 2 : width() - 3, zarn::row_middle(panel->grid, row));
    set_pointed(near(pointer));
    return tell(pointer);
}

void ZARNRoutePainter::flash(ZARNController *strip) {
    // One timer a strip: a second click restarts it rather than having the
    // first click's timer clear the mark early.
    auto *timer = strip->findChild<QTimer *>(QStringLiteral("strip_flash"));
    if (!timer) {
        timer = new QTimer(strip);
        timer->setObjectName(QStringLiteral("strip_flash"));
        timer->setSingleShot(true);
        const bool filled = strip->autoFillBackground();
        const bool own_palette = strip->testAttribute(Qt::WA_SetPalette);
        const QPalette palette = strip->palette();
        QObject::connect(timer, &QTimer::timeout, strip,
                         [strip, timer, filled, own_palette, palette] {
                             strip->setAutoFillBackground(filled);
                             // A default palette hands the strip back to its parent's.
                             strip->setPalette(own_palette ? palette : QPalette());
                             timer->deleteLater();
                         });
        QPalette marked = palette;
        // The highlight colour a third of the way into the background, opaque,
        // so the strip's children drawn over it keep their contrast.
        const QColor back = palette.color(QPalette::Window);
        const QColor light = palette.color(QPalette::Highlight);
        marked.setColor(QPalette::Window, QColor((2 * back.red() + light.red()) / 3,
                                                 (2 * back.green() + light.green()) / 3,
                                                 (2 * back.blue() + light.blue()) / 3));
        strip->setPalette(marked);
        strip->setAutoFillBackground(true);
    }
    timer->start(1500);
}

QRect ZARNRoutePainter::overlay() const {
    QRect area;
    if (dragging && moved) {
        const QPoint start = end_point(from_side, from_row);
        const QPoint end = over_row >= 0 ? end_point(1 - from_side, over_row) : pointer;
        area = QRect(start, end).normalized().adjusted(-12, -12, 12, 12);
        if (over_row >= 0)
            area |= QRect(0, end.y() - 12, width(), 24);
    }
    for (const zarn::Route &r : pointed)
        area |= r.extent(width());
    return area;
}

void ZARNRoutePainter::set_pointed(std::vector<zarn::Route> routes) {
    if (routes == pointed)
        return;
    update(overlay());
    pointed = std::move(routes);
    update(overlay());
}

void ZARNRoutePainter::paintEvent(QPaintEvent *event) {
    kept.update(routes(), size(), devicePixelRatioF());
    kept.paint(this, event->rect());
    const std::vector<zarn::Route> &all = kept.routes();
    QPainter painter(this);
    painter.setRenderHint(QPainter::Antialiasing, true);
    painter.setClipRect(event->rect());
    // A route whose other end has no channel: its end is crossed out in red,
    // within the reach of its disc, so the kept picture's repaints cover it.
    painter.setPen(QPen(QColor(208, 0, 0), 2.0, Qt::SolidLine, Qt::RoundCap));
    for (const zarn::Route &r : all) {
        const bool lost_a =
            !r.has_a || !rect().contains(r.a.x() == width() ? r.a - QPoint(1, 0) : r.a);
        const bool lost_b =
            !r.has_b || !rect().contains(r.b.x() == width() ? r.b - QPoint(1, 0) : r.b);
        if (lost_a == lost_b)
            continue;
        const QPoint end = lost_a ? r.b : r.a;
        if (end.y() + 8 < event->rect().top() || end.y() - 8 > event->rect().bottom())
            continue;
        painter.drawLine(end + QPoint(-6, -6), end + QPoint(6, 6));
        painter.drawLine(end + QPoint(-6, 6), end + QPoint(6, -6));
    }
    if (pointed.empty() && !(dragging && moved))
        return;
    for (const zarn::Route &r : pointed)
        zarn::draw_highlight(&painter, r);
    if (dragging && moved) {
        const QColor mark(32, 112, 224);
        const QPoint start = end_point(from_side, from_row);
        painter.setPen(QPen(mark, 3.0, Qt::DashLine, Qt::RoundCap));
        if (over_row >= 0) {
            const QPoint end = end_point(1 - from_side, over_row);
            painter.drawLine(start, end);
            // The channel the drop would join.
            painter.fillRect(QRect(0, end.y() - 10, width(), 20), QColor(32, 112, 224, 48));
            painter.setBrush(mark);
            painter.drawEllipse(end, 8, 8);
        } else {
            painter.drawLine(start, pointer);
        }
        painter.setBrush(mark);
        painter.setPen(QPen(mark, 1.0));
        painter.drawEllipse(start, 8, 8);
    }
}

void ZARNRoutePainter::mousePressEvent(QMouseEvent *event) {
    if (event->button() != Qt::LeftButton) {
        QWidget::mousePressEvent(event);
        return;
    }
    const int side = event->pos().x() < width() / 2 ? 0 : 1;
    const int row = row_at(event->pos().y());
    if (row < 0 || !is_end(side, row)) {
        QWidget::mousePressEvent(event);
        return;
    }
    setFocus(Qt::MouseFocusReason);
    set_pointed({});
    dragging = true;
    moved = false;
    from_side = side;
    from_row = row;
    pointer = event->pos();
    over_row = -1;
}

void ZARNRoutePainter::mouseMoveEvent(QMouseEvent *event) {
    if (!dragging) {
        pointer = event->pos();
        set_pointed(near(pointer));
        QWidget::mouseMoveEvent(event);
        return;
    }
    update(overlay());
    pointer = event->pos();
    moved = moved || (pointer - end_point(from_side, from_row)).manhattanLength() > 4;
    // Over the other edge's half, or its column of channels beyond it, at a
    // row that the first channel can be joined to.
    const int x = pointer.x();
    const bool other_half = from_side == 0 ? x >= width() / 2 && x <= width() + BEYOND
                                           : x < width() / 2 && x >= -BEYOND;
    const int row = other_half ? row_at(pointer.y()) : -1;
    Join join_found{};
    over_row = row >= 0 && join(from_side == 0 ? from_row : row, from_side == 0 ? row : from_row,
                                &join_found)
                   ? row
                   : -1;
    update(overlay());
}

void ZARNRoutePainter::mouseReleaseEvent(QMouseEvent *event) {
    if (!dragging || event->button() != Qt::LeftButton) {
        QWidget::mouseReleaseEvent(event);
        return;
    }
    const int left = from_side == 0 ? from_row : over_row;
    const int right = from_side == 0 ? over_row : from_row;
    const bool drop = moved && over_row >= 0;
    const bool click = !moved;
    end_drag();
    // A click on a channel brings its strip into view, with the keys on it.
    if (click) {
        if (ZARNController *strip = strip_at(left >= 0 ? 0 : 1, left >= 0 ? left : right)) {
            panel->main_window->ensureWidgetVisible(strip);
            flash(strip);
            // Its first control takes the keys, and with them the focus frame
            // that marks the strip.
            const std::vector<QWidget *> chain = strip->tab_chain();
            (chain.empty() ? static_cast<QWidget *>(strip) : chain.front())
                ->setFocus(Qt::MouseFocusReason);
        }
        return;
    }
    Join found{};
    // The strip's box sends the one field as a read-modify-write and then
    // shows the daemon's answer, and the lines follow it.
    if (drop && join(left, right, &found))
        found.box->setValue(found.value);
}

void ZARNRoutePainter::keyPressEvent(QKeyEvent *event) {
    if (dragging && event->key() == Qt::Key_Escape) {
        end_drag();
        return;
    }
    QWidget::keyPressEvent(event);
}

void ZARNRoutePainter::leaveEvent(QEvent *event) {
    if (!dragging)
        set_pointed({});
    QWidget::leaveEvent(event);
}

bool ZARNRoutePainter::event(QEvent *event) {
    if (event->type() == QEvent::ToolTip) {
        const auto *help = static_cast<QHelpEvent *>(event);
        const QString text = dragging ? QString() : tell(help->pos());
        if (text.isEmpty())
            QToolTip::hideText();
        else
            QToolTip::showText(help->globalPos(), text, this);
        return true;
    }
    return QWidget::event(event);
}

void ZARNRoutePainter::end_drag() {
    update(overlay());
    dragging = false;
    moved = false;
    over_row = -1;
}

QString ZARNRoutePainter::main_channel(bool output, int channel) const {
    const QString words = output ? tr("main output channel %1").arg(channel)
                                 : tr("main input channel %1").arg(channel);
    const int count = output ? panel->main_output_count : panel->main_input_count;
    if (channel < 0 || channel >= count)
        return tr("%1 (no such channel)").arg(words);
    const int kind = output ? zarn::KIND_MAIN_OUTPUT : zarn::KIND_MAIN_INPUT;
    for (const ZARNController *strip : panel->main_window->strips)
        if (strip && strip->kind == kind && strip->channel == channel &&
            !strip->channel_label.isEmpty())
            return named(words, strip->channel_label);
    return words;
}

QString ZARNRoutePainter::named(const QString &words, const QString &name) {
    return tr("%1 \"%2\"").arg(words, name);
}

QString ZARNRoutePainter::strip_channel(const ZARNController *strip) {
    const std::string name = strip->config_name();
    const QString words = tr("%1 channel %2")
                              .arg(name.empty() ? strip->title() : QString::fromStdString(name))
                              .arg(strip->channel);
    return strip->channel_label.isEmpty() ? words : named(words, strip->channel_label);
}

QString ZARNRoutePainter::arrow(const QString &from, const QString &to) {
    return QString::fromUtf8("%1 \u2192 %2").arg(from, to);
}
