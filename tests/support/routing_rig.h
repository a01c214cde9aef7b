// SPDX-License-Identifier: BSD-2-Clause

#pragma once

#include <QGridLayout>
#include <QImage>
#include <QLabel>
#include <QLayoutItem>
#include <QLineEdit>
#include <QTimer>
#include <QtTest>
#include <cstring>
#include <vector>

#include "app/zarn_main_window.h"
#include "compressor/zarn_compressor.h"
#include "ctl/strip_kind.h"
#include "routing/zarn_connect.h"
#include "routing/zarn_dev_connections.h"
#include "routing/zarn_loop_connections.h"
#include "strip/zarn_controller.h"

// A main window, by default with no daemon behind it, whose strip table the
// test fills with strips of chosen kinds and record copies, and a connection
// panel built over that table. Strips go before the window, since their
// equalizers reach back into it when they are destroyed.
class RoutingRig {
public:
    explicit RoutingRig(const char *path = "/nonexistent/zarnmix-routing-test")
        : window(new ZARNMainWindow(path)) {
        window->watchdog_timer->stop();
        original_panel = window->connect_panel;
    }

    ~RoutingRig() {
        delete panel;
        for (int i = 0; i < MAX_STRIPS; i++) {
            delete window->strips[i];
            window->strips[i] = nullptr;
        }
        window->connect_panel = original_panel;
        delete window;
    }

    RoutingRig(const RoutingRig &) = delete;
    RoutingRig &operator=(const RoutingRig &) = delete;

    ZARNController *add(int kind, int channel, int number = 0) {
        for (int i = 0; i < MAX_STRIPS; i++) {
            if (window->strips[i] == nullptr) {
                window->strips[i] = new ZARNController(window, kind, channel, number);
                return window->strips[i];
            }
        }
        qFatal("the strip table is full");
    }

    ZARNController *add_device(int channel, int number, const char *name) {
        ZARNController *strip = add(zarn::KIND_DEVICE, channel, number);
        std::strncpy(strip->channel_config.name, name, sizeof strip->channel_config.name - 1);
        return strip;
    }

    ZARNController *add_loop(int channel, int number, const char *name) {
        ZARNController *strip = add(zarn::KIND_LOOP, channel, number);
        std::strncpy(strip->channel_config.name, name, sizeof strip->channel_config.name - 1);
        return strip;
    }

    void add_main(int inputs, int outputs) {
        for (int c = 0; c < outputs; c++)
            add(zarn::KIND_MAIN_OUTPUT, c);
        for (int c = 0; c < inputs; c++)
            add(zarn::KIND_MAIN_INPUT, c);
    }

    // Builds the panel over the strips as they stand, shown so its grid has
    // real geometry, and makes it the one the strips repaint.
    ZARNConnect *build() {
        panel = new ZARNConnect(window);
        panel->resize(panel->sizeHint().expandedTo(QSize(700, 0)));
        panel->show();
        if (!QTest::qWaitForWindowExposed(panel))
            return nullptr;
        window->connect_panel = panel;
        return panel;
    }

    QWidget *widget_at(int row, int column) const {
        QLayoutItem *item = panel->grid->itemAtPosition(row, column);
        return item ? item->widget() : nullptr;
    }

    QString text_at(int row, int column) const {
        QWidget *w = widget_at(row, column);
        if (auto *label = qobject_cast<QLabel *>(w))
            return label->text();
        if (auto *edit = qobject_cast<QLineEdit *>(w))
            return edit->text();
        return QString();
    }

    // Vertical middle of a grid row in a painter's coordinates, taken from
    // the line edit or label that sits in that row.
    int row_y(int row, const QWidget *painter, int column = 0) const {
        const QWidget *w = widget_at(row, column);
        const QPoint centre = w->mapTo(panel, w->rect().center());
        return centre.y() - painter->y();
    }

    ZARNMainWindow *window;
    ZARNConnect *panel = nullptr;
    ZARNConnect *original_panel = nullptr;
};

// Counts the paints a widget receives.
class PaintCounter : public QObject {
public:
    int paints = 0;

protected:
    bool eventFilter(QObject *, QEvent *event) override {
        if (event->type() == QEvent::Paint)
            paints++;
        return false;
    }
};

// Rendered pictures start magenta, so a background left unpainted shows.
template <typename Painter> QImage render(Painter *painter) {
    QImage image(painter->size(), QImage::Format_ARGB32);
    image.fill(QColor(255, 0, 255));
    painter->draw(&image);
    return image;
}

inline bool is_dark(QRgb c) {
    return qRed(c) < 80 && qGreen(c) < 80 && qBlue(c) < 80;
}

inline bool is_white(QRgb c) {
    return qRed(c) > 248 && qGreen(c) > 248 && qBlue(c) > 248;
}

// The muted colour (192, 192, 192), with some room for antialiasing.
inline bool is_grey(QRgb c) {
    return qAbs(qRed(c) - 192) < 24 && qAbs(qGreen(c) - 192) < 24 && qAbs(qBlue(c) - 192) < 24;
}

// Count of pixels in the rectangle (clipped to the image) that pass the test.
template <typename Test> int count(const QImage &image, QRect area, Test test) {
    area = area.intersected(image.rect());
    int n = 0;
    for (int y = area.top(); y <= area.bottom(); y++)
        for (int x = area.left(); x <= area.right(); x++)
            if (test(image.pixel(x, y)))
                n++;
    return n;
}

inline bool all_white(const QImage &image) {
    return count(image, image.rect(), is_white) == image.width() * image.height();
}
