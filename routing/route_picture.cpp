// SPDX-License-Identifier: BSD-2-Clause

#include "routing/route_picture.h"

#include <QBrush>
#include <QColor>
#include <QGridLayout>
#include <QPaintDevice>
#include <QPainter>
#include <QPen>
#include <QPointF>
#include <QRegion>
#include <QVarLengthArray>
#include <QWidget>
#include <algorithm>
#include <climits>
#include <cmath>
#include <cstdlib>
#include <numeric>

namespace zarn {

namespace {

// How far from its line and its end points a route may colour a pixel: an
// end circle's radius of 8, half its 1-pixel outline, and the antialiased
// rim, which at fractional pixel ratios was seen up to about two pixels
// beyond; the pens' caps and joins reach only 4.
constexpr int REACH = 11;

// How far outside the rows that matter a line is cut: the cap the cut leaves
// reaches half the pen's width, 4 at most, and its rim one pixel more.
constexpr double CUT_MARGIN = 6.0;

// The rasterizer works on a grid of 1/64 device pixel.
constexpr int SUBPIXELS = 64;

// The part of a polyline whose y lies within [lo, hi], and its length before
// that part starts. A route's y never turns back along its line, so the part
// is one piece.
//
// A cut falls only on a point of the line that lies on the rasterizer's grid
// (scale device pixels to the pixel). The stroke's edges from such a point
// are the edges of the whole line shifted by a whole number of grid steps,
// so they are rounded to the grid exactly as the whole line's are and cover
// every pixel past the cut alike: the picture keeps its antialiased edges.
// With the ends on the grid, such points lie 1 / gcd(dx, dy) of the segment
// apart, dx and dy counted in grid steps.
struct Piece {
    QVarLengthArray<QPointF, 4> points;
    double skipped = 0.0;
};

Piece cut_to_rows(const QPoint *p, int count, double lo, double hi, double scale) {
    Piece piece;
    const double grid = SUBPIXELS * scale;
    for (int i = 0; i + 1 < count; i++) {
        const QPoint a = p[i];
        const QPoint b = p[i + 1];
        const double length = std::hypot(double(b.x() - a.x()), double(b.y() - a.y()));
        const int dy = b.y() - a.y();
        if (dy == 0) {
            // Level: all or nothing.
            if (a.y() < lo || a.y() > hi) {
                if (!piece.points.isEmpty())
                    break;
                piece.skipped += length;
                continue;
            }
            if (piece.points.isEmpty())
                piece.points.append(a);
            piece.points.append(b);
            continue;
        }
        const double ta = (lo - a.y()) / dy;
        const double tb = (hi - a.y()) / dy;
        const double t0 = std::max(0.0, std::min(ta, tb));
        const double t1 = std::min(1.0, std::max(ta, tb));
        if (t0 > t1) {
            if (!piece.points.isEmpty())
                break;
            piece.skipped += length;
            continue;
        }
        // Both ends and the steps between them in grid units; widened to the
        // nearest grid points outside.
        const long long ax = std::llround(a.x() * grid);
        const long long ay = std::llround(a.y() * grid);
        const long long sx = std::llround(b.x() * grid) - ax;
        const long long sy = std::llround(b.y() * grid) - ay;
        const long long steps = std::gcd(std::llabs(sx), std::llabs(sy));
        if (steps == 0) {
            // Shorter than a grid step: kept whole.
            if (piece.points.isEmpty())
                piece.points.append(a);
            piece.points.append(b);
            continue;
        }
        const auto at = [&](long long j) {
            return QPointF(static_cast<double>(ax + j * (sx / steps)) / grid,
                           static_cast<double>(ay + j * (sy / steps)) / grid);
        };
        const long long j0 = static_cast<long long>(std::floor(t0 * static_cast<double>(steps)));
        const long long j1 = static_cast<long long>(std::ceil(t1 * static_cast<double>(steps)));
        // Points that are not cut stay exactly as they were.
        if (piece.points.isEmpty()) {
            piece.skipped += length * static_cast<double>(j0) / static_cast<double>(steps);
            piece.points.append(j0 <= 0 ? QPointF(a) : at(j0));
        }
        piece.points.append(j1 >= steps ? QPointF(b) : at(j1));
        if (j1 < steps)
            break;
    }
    return piece;
}

// The route's line: it leaves each edge for 16 pixels, then runs straight
// from stub to stub.
void route_line(const Route &route, QPoint line[4]) {
    const QPoint a = route.a;
    const QPoint b = route.b;
    line[0] = a;
    line[1] = QPoint(route.side_a == 0 ? a.x() + 16 : a.x() - 16, a.y());
    line[2] = QPoint(route.side_b == 0 ? b.x() + 16 : b.x() - 16, b.y());
    line[3] = b;
}

// Rows of the tiles a changed route's area is made of: within a tile, the
// area spans only the columns the route crosses there.
constexpr int TILE = 64;

// The columns a route can touch within the rows from top to bottom, its
// antialiased rim included; false when it touches none of those rows.
bool columns_within(const Route &route, int top, int bottom, int *first, int *last) {
    int lo = INT_MAX;
    int hi = INT_MIN;
    if (route.has_a && route.has_b) {
        QPoint line[4];
        route_line(route, line);
        const Piece piece = cut_to_rows(line, 4, top - REACH, bottom + REACH, 1.0);
        for (const QPointF &p : piece.points) {
            lo = std::min(lo, static_cast<int>(std::floor(p.x())));
            hi = std::max(hi, static_cast<int>(std::ceil(p.x())));
        }
    }
    const auto circle = [&](bool has, QPoint end) {
        if (has && end.y() + REACH >= top && end.y() - REACH <= bottom) {
            lo = std::min(lo, end.x());
            hi = std::max(hi, end.x());
        }
    };
    circle(route.has_a, route.a);
    circle(route.has_b, route.b);
    if (lo > hi)
        return false;
    *first = lo - REACH;
    *last = hi + REACH;
    return true;
}

bool touches(const Route &route, const QRect &area) {
    int first = 0;
    int last = 0;
    return columns_within(route, area.top(), area.bottom(), &first, &last) &&
           first <= area.right() && last >= area.left();
}

// What a route covers, as tiles of rows each narrowed to its columns there.
QRegion area_of(const Route &route, const QRect &whole) {
    const QRect extent = route.extent(whole.width()).intersected(whole);
    QRegion area;
    if (extent.isEmpty())
        return area;
    for (int top = extent.top() - extent.top() % TILE; top <= extent.bottom(); top += TILE) {
        const int bottom = std::min(top + TILE - 1, extent.bottom());
        int first = 0;
        int last = 0;
        if (columns_within(route, std::max(top, extent.top()), bottom, &first, &last))
            area += QRect(QPoint(first, std::max(top, extent.top())), QPoint(last, bottom))
                        .intersected(whole);
    }
    return area;
}

} // namespace

bool Route::operator==(const Route &other) const {
    return a == other.a && b == other.b && side_a == other.side_a && side_b == other.side_b &&
           has_a == other.has_a && has_b == other.has_b && mute == other.mute;
}

QRect Route::extent(int width) const {
    int top = 0;
    int bottom = -1;
    if (has_a && has_b) {
        top = std::min(a.y(), b.y());
        bottom = std::max(a.y(), b.y());
    } else if (has_a) {
        top = bottom = a.y();
    } else if (has_b) {
        top = bottom = b.y();
    } else {
        return QRect();
    }
    return QRect(QPoint(0, top - REACH), QPoint(width - 1, bottom + REACH));
}

int row_middle(const QGridLayout *grid, int row) {
    const QRect cell = grid->cellRect(row, 0);
    return cell.top() - grid->cellRect(1, 0).top() + cell.height() / 2;
}

void draw_route(QPainter *painter, const Route &route, int pass, const QRect *rows) {
    if (route.mute == pass)
        return;

    const QColor colour = route.mute == 0 ? QColor(0, 0, 0) : QColor(192, 192, 192);
    painter->setBrush(QBrush(colour, Qt::SolidPattern));
    const double width = route.side_a == route.side_b ? 8.0 : 4.0;
    QPen line_pen(QBrush(colour, Qt::SolidPattern), width,
                  route.mute != 0 ? Qt::DotLine : Qt::SolidLine, Qt::RoundCap, Qt::RoundJoin);

    if (route.has_a && route.has_b) {
        QPoint line[4];
        route_line(route, line);
        if (rows == nullptr) {
            painter->setPen(line_pen);
            painter->drawPolyline(line, 4);
        } else {
            const Piece piece =
                cut_to_rows(line, 4, rows->top() - CUT_MARGIN, rows->bottom() + 1 + CUT_MARGIN,
                            painter->device()->devicePixelRatioF());
            if (piece.points.size() >= 2) {
                // The dots keep the places they have on the whole line.
                if (route.mute != 0)
                    line_pen.setDashOffset(piece.skipped / width);
                painter->setPen(line_pen);
                painter->drawPolyline(piece.points.constData(), piece.points.size());
            }
        }
    }

    painter->setPen(
        QPen(QBrush(colour, Qt::SolidPattern), 1.0, Qt::SolidLine, Qt::SquareCap, Qt::BevelJoin));
    if (route.has_a)
        painter->drawEllipse(route.a.x() - 8, route.a.y() - 8, 16, 16);
    if (route.has_b)
        painter->drawEllipse(route.b.x() - 8, route.b.y() - 8, 16, 16);
}

void draw_highlight(QPainter *painter, const Route &route) {
    const QColor colour(32, 112, 224);
    painter->setPen(QPen(QBrush(colour), 4.0, Qt::SolidLine, Qt::RoundCap, Qt::RoundJoin));
    if (route.has_a && route.has_b) {
        QPoint line[4];
        route_line(route, line);
        painter->drawPolyline(line, 4);
    }
    painter->setBrush(colour);
    painter->setPen(QPen(colour, 1.0));
    if (route.has_a)
        painter->drawEllipse(route.a, 8, 8);
    if (route.has_b)
        painter->drawEllipse(route.b, 8, 8);
}

double distance_to(const Route &route, QPoint point) {
    const auto to_point = [point](QPoint e) {
        return std::hypot(double(e.x() - point.x()), double(e.y() - point.y()));
    };
    double best = 1e300;
    if (route.has_a)
        best = std::min(best, to_point(route.a));
    if (route.has_b)
        best = std::min(best, to_point(route.b));
    if (!route.has_a || !route.has_b)
        return best;
    QPoint line[4];
    route_line(route, line);
    for (int i = 0; i < 3; i++) {
        const double dx = line[i + 1].x() - line[i].x();
        const double dy = line[i + 1].y() - line[i].y();
        const double length2 = dx * dx + dy * dy;
        double t = length2 > 0
                       ? ((point.x() - line[i].x()) * dx + (point.y() - line[i].y()) * dy) / length2
                       : 0.0;
        t = std::clamp(t, 0.0, 1.0);
        best = std::min(
            best, std::hypot(line[i].x() + t * dx - point.x(), line[i].y() + t * dy - point.y()));
    }
    return best;
}

void draw_routes(QPainter *painter, const std::vector<Route> &routes, QRect area, bool cut) {
    painter->fillRect(area, Qt::white);
    // Muted routes first, so the active ones lie on top of them.
    for (int pass = 0; pass < 2; pass++)
        for (const Route &route : routes)
            if (!cut)
                draw_route(painter, route, pass);
            else if (touches(route, area))
                draw_route(painter, route, pass, &area);
}

namespace {

// The smallest whole number of pixels that spans a whole number of device
// pixels at this ratio (2 at a ratio of 1.5), or 0 when there is none worth
// using. The parts of the picture that are redrawn start and end on such
// pixels, so that none of their device pixels is covered only in part.
int whole_device_pixels(qreal ratio) {
    for (int m = 1; m <= 16; m++)
        if (std::fabs(m * ratio - std::round(m * ratio)) < 1e-9)
            return m;
    return 0;
}

} // namespace

QRegion RoutePicture::update(const std::vector<Route> &routes, QSize size, qreal pixel_ratio) {
    const QRect whole(QPoint(0, 0), size);
    const int snap = whole_device_pixels(pixel_ratio);
    bool fresh = image_.isNull() || image_.size() != size * pixel_ratio ||
                 image_.devicePixelRatio() != pixel_ratio || routes.size() != routes_.size();
    QRegion changed;
    if (!fresh) {
        for (std::size_t i = 0; i < routes.size(); i++)
            if (routes[i] != routes_[i])
                changed += area_of(routes_[i], whole) + area_of(routes[i], whole);
        fresh = !changed.isEmpty() && snap == 0;
    }
    routes_ = routes;
    if (fresh) {
        image_ = QImage(size * pixel_ratio, QImage::Format_ARGB32_Premultiplied);
        image_.setDevicePixelRatio(pixel_ratio);
        // Device pixels past the last whole pixel exist at some ratios.
        image_.fill(Qt::white);
    }
    if (image_.isNull() || (!fresh && changed.isEmpty()))
        return QRegion();

    QPainter painter(&image_);
    painter.setRenderHint(QPainter::Antialiasing, true);
    if (fresh) {
        draw_routes(&painter, routes, whole);
        return QRegion(whole);
    }
    // Each part of the changed area anew: white, then every route that
    // reaches into it, cut to its rows, in the order of a whole picture.
    QRegion redrawn;
    for (QRect part : changed) {
        if (snap > 1) {
            part.setLeft(part.left() - part.left() % snap);
            part.setTop(part.top() - part.top() % snap);
            part.setRight(part.right() + snap - 1 - part.right() % snap);
            part.setBottom(part.bottom() + snap - 1 - part.bottom() % snap);
        }
        redrawn += part;
    }
    for (const QRect &part : redrawn) {
        painter.setClipRect(part);
        draw_routes(&painter, routes, part, true);
    }
    return redrawn.intersected(whole);
}

void RoutePicture::paint(QWidget *widget, const QRect &area) const {
    QPainter painter(widget);
    const qreal ratio = image_.devicePixelRatio();
    painter.drawImage(
        area.topLeft(), image_,
        QRectF(area.x() * ratio, area.y() * ratio, area.width() * ratio, area.height() * ratio));
}

} // namespace zarn
