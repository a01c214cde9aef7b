// SPDX-License-Identifier: BSD-2-Clause

#include "eq/zarn_eq_freq_response.h"

#include <QFont>
#include <QImage>
#include <QPainter>

#include "eq/freq_response.h"
#include "eq/zarn_equalizer.h"

static_assert(ZARNEQFreqResponse::PLOT_WIDTH == zarn::RESPONSE_COLUMNS);
static_assert(ZARNEQFreqResponse::PLOT_HEIGHT == zarn::RESPONSE_HEIGHT);

ZARNEQFreqResponse::ZARNEQFreqResponse(ZARNEqualizer *equalizer_)
    : QWidget(nullptr), equalizer(equalizer_), stale(true), freq{}, heights{} {
    setFixedSize(PLOT_WIDTH, PLOT_HEIGHT);
}

ZARNEQFreqResponse::~ZARNEQFreqResponse() = default;

void ZARNEQFreqResponse::refresh() {
    stale = true;
}

void ZARNEQFreqResponse::evaluate() const {
    if (!stale)
        return;
    stale = false;
    double mag[PLOT_WIDTH];
    zarn::response_columns(equalizer->sample_rate, equalizer->coefficients,
                           equalizer->coefficients ? equalizer->filter_length : 0, freq, mag,
                           heights);
}

QString ZARNEQFreqResponse::label_text(int k) const {
    if (k < 1 || k > LABEL_COUNT)
        return QString();
    evaluate();
    return QString::fromStdString(zarn::frequency_label(freq[32 * k]));
}

void ZARNEQFreqResponse::draw(QPaintDevice *device) const {
    evaluate();
    QPainter painter(device);
    QFont font = painter.font();
    font.setPixelSize(8);
    painter.setFont(font);

    QImage image(PLOT_WIDTH, PLOT_HEIGHT, QImage::Format_ARGB32);
    image.fill(QColor(255, 255, 255));
    const QRgb black = qRgb(0, 0, 0);
    const QRgb grey = qRgb(192, 192, 192);
    for (int x = 0; x < PLOT_WIDTH; x++) {
        const int h = heights[x];
        image.setPixel(x, PLOT_HEIGHT - 1 - h, black);
        for (int y = PLOT_HEIGHT - h; y < PLOT_HEIGHT; y++)
            image.setPixel(x, y, grey);
    }
    const int w = device->width();
    const int h = device->height();
    painter.drawImage(QRect(0, 0, w, h), image, image.rect());

    painter.setPen(QColor(0, 0, 0));
    for (int k = 1; k <= LABEL_COUNT; k++)
        painter.drawText(QPoint(w * 32 * k / PLOT_WIDTH, h - 1), label_text(k));
}

void ZARNEQFreqResponse::paintEvent(QPaintEvent *) {
    draw(this);
}
