// SPDX-License-Identifier: BSD-2-Clause

#pragma once

#include <QWidget>
#include <vector>

#include "routing/route_picture.h"

class QPaintDevice;
class ZARNConnect;

// Paints, between the input column and the output column of the diagram, how
// each device takes a main input channel and feeds a main output channel, and
// the routes of the input and output monitors. The picture is kept between
// paints and redrawn only where routes changed.
class ZARNDevConnections : public QWidget {
public:
    explicit ZARNDevConnections(ZARNConnect *panel);
    ~ZARNDevConnections() override;

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
    // Grid row of a main channel, -1 for a channel that does not exist.
    int input_row(int channel) const;
    int output_row(int channel) const;

    ZARNConnect *panel;

protected:
    void paintEvent(QPaintEvent *event) override;

private:
    zarn::RoutePicture kept;
};
