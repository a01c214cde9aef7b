// SPDX-License-Identifier: BSD-2-Clause

#pragma once

#include <QWidget>
#include <vector>

#include "routing/route_picture.h"

class QPaintDevice;
class ZARNConnect;

// What the diagram's two route painters share: the picture kept between
// paints and redrawn only where routes changed. Each painter says which
// routes the strips make.
class ZARNRoutePainter : public QWidget {
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

    ZARNConnect *panel;

protected:
    void paintEvent(QPaintEvent *event) override;

private:
    zarn::RoutePicture kept;
};
