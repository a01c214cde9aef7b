#pragma once

#include <QWidget>

class QPaintDevice;
class QPainter;
class ZARNConnect;

// Paints, between the output column and the loopback column of the diagram,
// which main output channel each loopback channel records.
class ZARNLoopConnections : public QWidget {
public:
    explicit ZARNLoopConnections(ZARNConnect *panel);
    ~ZARNLoopConnections() override;

    // The whole picture, at this widget's size, into the widget or an image.
    void draw(QPaintDevice *target);
    void draw_route(QPainter *painter, int side_a, int row_a, int side_b, int row_b, int mute,
                    int pass);

    ZARNConnect *panel;

protected:
    void paintEvent(QPaintEvent *event) override;
};
