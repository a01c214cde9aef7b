// SPDX-License-Identifier: BSD-2-Clause

#include "eq/zarn_eq_freq_response.h"

#include <QFont>
#include <QImage>
#include <QPainter>
#include <QTimer>
#include <algorithm>

#include "eq/zarn_equalizer.h"

static_assert(ZARNEQFreqResponse::PLOT_WIDTH == zarn::RESPONSE_COLUMNS);
static_assert(ZARNEQFreqResponse::PLOT_HEIGHT == zarn::RESPONSE_HEIGHT);

ZARNEQFreqResponse::ZARNEQFreqResponse(ZARNEqualizer *equalizer_)
    : QWidget(nullptr), equalizer(equalizer_), slice_timer(new QTimer(this)), stale(true),
      started(false), pictured(false), freq{}, heights{} {
    setFixedSize(PLOT_WIDTH, PLOT_HEIGHT);
    slice_timer->setInterval(0);
    connect(slice_timer, &QTimer::timeout, this, &ZARNEQFreqResponse::evaluate_slice);
}

ZARNEQFreqResponse::~ZARNEQFreqResponse() = default;

void ZARNEQFreqResponse::refresh() {
    // An evaluation under way starts over, from the first column, with the
    // new state.
    job.pause();
    stale = true;
    started = false;
}

int ZARNEQFreqResponse::columns_ready() const {
    return started ? job.columns_taken() : 0;
}

void ZARNEQFreqResponse::evaluate(int budget_ms) const {
    if (!stale)
        return;
    if (!started) {
        // The job keeps its own copy: the window may replace its array at any time.
        job.start(equalizer->sample_rate, equalizer->filter_length, equalizer->coefficients);
        started = true;
    }
    if (!job.work(budget_ms < 0 ? -1 : static_cast<long long>(budget_ms) * 1000000))
        return;
    zarn::response_heights(job.columns(), heights);
    std::copy(std::begin(job.columns().freq), std::end(job.columns().freq), freq);
    stale = false;
    pictured = true;
    slice_timer->stop();
}

void ZARNEQFreqResponse::evaluate_slice() {
    // Hidden plots do not evaluate; the next paint takes the work up again.
    if (!stale || !isVisible()) {
        slice_timer->stop();
        return;
    }
    evaluate(SLICE_MS);
    if (!stale)
        update();
}

QString ZARNEQFreqResponse::label_text(int k) const {
    if (k < 1 || k > LABEL_COUNT)
        return QString();
    evaluate(-1);
    return QString::fromStdString(zarn::frequency_label(freq[32 * k]));
}

void ZARNEQFreqResponse::draw(QPaintDevice *device) const {
    evaluate(-1);
    paint_picture(device);
}

void ZARNEQFreqResponse::paint_picture(QPaintDevice *device) const {
    QPainter painter(device);
    QFont font = painter.font();
    font.setPixelSize(8);
    painter.setFont(font);

    // The picture has the device's own pixels, so that a screen of pixel
    // ratio 2 shows it as drawn rather than scaled up; it is measured in the
    // widget's pixels all the same, which an image's width is not.
    const qreal ratio = device->devicePixelRatioF();
    const int w = width();
    const int h = height();
    QImage image(QSize(PLOT_WIDTH, PLOT_HEIGHT) * ratio, QImage::Format_ARGB32);
    image.setDevicePixelRatio(ratio);
    image.fill(QColor(255, 255, 255));
    if (!pictured) {
        // The first picture is still being evaluated: an empty plot.
        painter.drawImage(QRect(0, 0, w, h), image);
        return;
    }
    QPainter picture(&image);
    const QColor black(0, 0, 0);
    const QColor grey(192, 192, 192);
    for (int x = 0; x < PLOT_WIDTH; x++) {
        const int column = heights[x];
        picture.fillRect(x, PLOT_HEIGHT - 1 - column, 1, 1, black);
        picture.fillRect(x, PLOT_HEIGHT - column, 1, column, grey);
    }
    picture.end();
    painter.drawImage(QRect(0, 0, w, h), image);

    painter.setPen(QColor(0, 0, 0));
    for (int k = 1; k <= LABEL_COUNT; k++)
        painter.drawText(QPoint(w * 32 * k / PLOT_WIDTH, h - 1),
                         QString::fromStdString(zarn::frequency_label(freq[32 * k])));
}

void ZARNEQFreqResponse::hideEvent(QHideEvent *event) {
    job.pause();
    QWidget::hideEvent(event);
}

void ZARNEQFreqResponse::paintEvent(QPaintEvent *) {
    if (stale && !slice_timer->isActive())
        slice_timer->start();
    paint_picture(this);
}
