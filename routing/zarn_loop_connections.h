// SPDX-License-Identifier: BSD-2-Clause

#pragma once

#include <QWidget>
#include <vector>

#include "routing/route_picture.h"

class QPaintDevice;
class ZARNConnect;

// Paints, between the output column and the loopback column of the diagram,
// which main output channel each loopback channel records. The picture is
// kept between paints and redrawn only where routes changed.
class ZARNLoopConnections : public QWidget {
public:
    explicit ZARNLoopConnections(ZARNConnect *panel);
    ~ZARNLoopConnections() override;

    // The routes of the strips as they stand, in drawing order.
    std::vector<zarn::Route> routes() const;
    // The whole picture drawn afresh, at this widget's size, into the widget
    // or an image.
    void draw(QPaintDevice *target);
    // Brings the kept picture up to date with the strips and schedules a
    // repaint of what changed, if anything.
    void routes_changed();
    // The kept picture, brought up to date.
    const QImage &picture();

    ZARNConnect *panel;

protected:
    void paintEvent(QPaintEvent *event) override;

private:
    zarn::RoutePicture kept;
};
