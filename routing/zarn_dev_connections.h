#pragma once

#include <QWidget>

class QPaintDevice;
class QPainter;
class ZARNConnect;

// Paints, between the input column and the output column of the diagram, how
// each device takes a main input channel and feeds a main output channel, and
// the routes of the input and output monitors.
class ZARNDevConnections : public QWidget {
public:
    explicit ZARNDevConnections(ZARNConnect *panel);
    ~ZARNDevConnections() override;

    // The whole picture, at this widget's size, into the widget or an image.
    void draw(QPaintDevice *target);
    void draw_route(QPainter *painter, int side_a, int row_a, int side_b, int row_b, int mute,
                    int pass);
    // Grid row of a main channel, -1 for a channel that does not exist.
    int input_row(int channel) const;
    int output_row(int channel) const;

    ZARNConnect *panel;

protected:
    void paintEvent(QPaintEvent *event) override;
};
