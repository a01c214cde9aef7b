// SPDX-License-Identifier: BSD-2-Clause

#pragma once

#include <QCoreApplication>
#include <QPoint>
#include <QString>
#include <QWidget>
#include <vector>

#include "routing/route_picture.h"

class QPaintDevice;
class QSpinBox;
class ZARNConnect;
class ZARNController;

// What the diagram's two route painters share: the picture kept between
// paints and redrawn only where routes changed, and routing by hand: a drag
// from a channel on one edge to a channel on the other sets the route that
// joins them. Each painter says which routes the strips make and which field
// a pair of channels sets.
class ZARNRoutePainter : public QWidget {
    Q_DECLARE_TR_FUNCTIONS(ZARNRoutePainter)

public:
    explicit ZARNRoutePainter(ZARNConnect *panel);
    ~ZARNRoutePainter() override;

    // The routes of the strips as they stand, in drawing order.
    virtual std::vector<zarn::Route> routes() const = 0;
    // The whole picture drawn afresh, at this widget's size, into the widget
    // or an image.
    void draw(QPaintDevice *target);
    // Brings the kept picture up to date with the strips and schedules a
    // repaint of what changed, if anything.
    void refresh_routes();
    // The kept picture, brought up to date.
    const QImage &picture();

    // The field a route between the channel of left_row (on the left edge)
    // and that of right_row (on the right edge) is set with, and its value.
    struct Join {
        ZARNController *strip;
        QSpinBox *box;
        int value;
    };
    virtual bool join(int left_row, int right_row, Join *out) const = 0;
    // Whether the grid row holds a channel at that edge.
    virtual bool is_end(int side, int row) const = 0;
    // The strip of the channel at that edge's row, nullptr for none.
    virtual ZARNController *strip_at(int side, int row) const = 0;
    // The route in words.
    virtual QString describe(const zarn::Route &route) const = 0;
    // The grid row at the painter's y, -1 for none.
    int row_at(int y) const;
    // What a tool tip over the point says: the routes near it in words, one
    // a line; empty over nothing.
    QString tell(QPoint point) const;
    // Marks the routes of the channel at that edge's row, as hovering its
    // end does, and tells them; row -1 marks none. Nothing during a drag.
    QString point_channel(int side, int row);
    // A strip brought into view by a click is marked for a moment, so the
    // eye finds it among its like.
    static void flash(ZARNController *strip);

    ZARNConnect *panel;

protected:
    // Words for the ends of a route: a main channel (marked when there is
    // no such channel), a strip's channel, and the route between two.
    QString main_channel(bool output, int channel) const;
    static QString strip_channel(const ZARNController *strip);
    static QString named(const QString &words, const QString &name);
    static QString arrow(const QString &from, const QString &to);

    void paintEvent(QPaintEvent *event) override;
    void mousePressEvent(QMouseEvent *event) override;
    void mouseMoveEvent(QMouseEvent *event) override;
    void mouseReleaseEvent(QMouseEvent *event) override;
    void keyPressEvent(QKeyEvent *event) override;
    void leaveEvent(QEvent *event) override;
    bool event(QEvent *event) override;

private:
    zarn::RoutePicture kept;
    // The drag under way: where it started, where the pointer is, and the
    // channel under the pointer that it would join (row -1 for none).
    bool dragging = false;
    bool moved = false;
    int from_side = 0;
    int from_row = -1;
    QPoint pointer;
    int over_row = -1;
    // The routes near the pointer while not dragging, drawn marked.
    std::vector<zarn::Route> pointed;
    QPoint end_point(int side, int row) const;
    // The area the drag's line and the marked routes cover.
    QRect overlay() const;
    void set_pointed(std::vector<zarn::Route> routes);
    std::vector<zarn::Route> near(QPoint point) const;
    void end_drag();
};
