// SPDX-License-Identifier: BSD-2-Clause

#pragma once

#include <QImage>
#include <QPoint>
#include <QRect>
#include <QRegion>
#include <QSize>
#include <vector>

class QGridLayout;
class QPainter;
class QWidget;

namespace zarn {

// One route as a painter draws it, in the painter's own pixels: end A and
// end B on side 0 (left edge) or 1 (right edge), and the mute value that
// governs it. An end whose channel does not exist is not drawn, and without
// both ends there is no line.
struct Route {
    QPoint a;
    QPoint b;
    int side_a;
    int side_b;
    bool has_a;
    bool has_b;
    int mute;
    // Which strip's field the route shows, for telling it in words: the
    // strip's index in the window and 0 for its transmit (or monitor) route,
    // 1 for its receive route. Not part of the picture.
    int strip = -1;
    int field = 0;

    bool operator==(const Route &other) const;
    bool operator!=(const Route &other) const { return !(*this == other); }

    // The rows of pixels the route's line and end circles can touch (its
    // antialiased rim included); empty when nothing of it is drawn.
    QRect extent(int width) const;
};

// The y of the middle of a grid row in a painter that spans the grid from
// row 1 down, measured in column 0. A row outside the grid has an empty cell
// (top 0, height 0), which puts it above the painter.
int row_middle(const QGridLayout *grid, int row);

// Draws the route in the given pass: pass 0 draws the routes whose mute value
// is not 0, pass 1 those whose value is not 1, so muted routes lie under the
// active ones. With rows not null, only the rows from rows->top() to
// rows->bottom() matter: the line is cut geometrically a little outside them
// before it is stroked (the dots of a dotted line keep their places), so a
// long route costs little there; the painter must be clipped to those rows.
void draw_route(QPainter *painter, const Route &route, int pass, const QRect *rows = nullptr);

// The route drawn over the picture in the colour that marks it as pointed at.
void draw_highlight(QPainter *painter, const Route &route);

// Distance from point to the route's line (or its one drawn end).
double distance_to(const Route &route, QPoint point);

// Every route in both passes over area, filled white first. With cut, only
// area matters (the painter is clipped to it): only the routes that reach
// into it are drawn, each cut to its rows.
void draw_routes(QPainter *painter, const std::vector<Route> &routes, QRect area, bool cut = false);

// A painter's picture, kept between paints and redrawn only where routes
// changed: a route that moves or changes its mute value redraws the rows its
// old and new places cross, in tiles of rows each narrowed to the columns
// the route crosses there; every route reaching into a tile is cut to its
// rows before it is stroked.
class RoutePicture {
public:
    // Brings the picture up to date with the routes at this size and pixel
    // ratio. Returns the area, in the painter's coordinates, that changed:
    // empty when nothing did.
    QRegion update(const std::vector<Route> &routes, QSize size, qreal pixel_ratio);

    const QImage &image() const { return image_; }
    // The routes the picture was last brought up to date with.
    const std::vector<Route> &routes() const { return routes_; }

    // Paints the part of the picture that the widget's paint event asks for.
    void paint(QWidget *widget, const QRect &area) const;

private:
    QImage image_;
    std::vector<Route> routes_;
};

} // namespace zarn
