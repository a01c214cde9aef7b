// SPDX-License-Identifier: BSD-2-Clause

#include "eq/zarn_eq_freq_response.h"

#include <QCoreApplication>
#include <QFont>
#include <QHelpEvent>
#include <QImage>
#include <QMouseEvent>
#include <QPainter>
#include <QStringList>
#include <QTimer>
#include <QToolTip>
#include <algorithm>
#include <cmath>

#include "eq/zarn_eq_response_view.h"
#include "eq/zarn_equalizer.h"

static_assert(ZARNEQFreqResponse::PLOT_WIDTH == zarn::RESPONSE_COLUMNS);
static_assert(ZARNEQFreqResponse::PLOT_HEIGHT == zarn::RESPONSE_HEIGHT);

ZARNEQFreqResponse::ZARNEQFreqResponse(ZARNEqualizer *equalizer_)
    : QWidget(nullptr), equalizer(equalizer_), slice_timer(new QTimer(this)), stale(true),
      started(false), pictured(false), freq{}, mags{}, heights{}, picture_rate(0) {
    setFixedSize(PLOT_WIDTH, PLOT_HEIGHT);
    setMouseTracking(true);
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
    if (equalizer->response_view)
        equalizer->response_view->refresh();
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
    std::copy(std::begin(job.columns().mag), std::end(job.columns().mag), mags);
    picture_rate = equalizer->sample_rate;
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
    if (stale)
        return;
    update();
    // An open readout follows the new picture.
    if (!shown_tip.isEmpty() && QToolTip::isVisible() && QToolTip::text() == shown_tip)
        show_readout(tip_pos, tip_global_pos);
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
    // Until the curve of this rate is known, the bottom line and the labels
    // of the rate: the labels never belong to another curve than the one drawn.
    const bool curve = curve_shown();
    double axis[PLOT_WIDTH];
    if (!curve)
        zarn::response_frequencies(equalizer->sample_rate, axis);
    const double *labelled = curve ? freq : axis;
    QPainter picture(&image);
    const QColor black(0, 0, 0);
    const QColor grey(192, 192, 192);
    for (int x = 0; x < PLOT_WIDTH; x++) {
        const int column = curve ? heights[x] : 0;
        picture.fillRect(x, PLOT_HEIGHT - 1 - column, 1, 1, black);
        picture.fillRect(x, PLOT_HEIGHT - column, 1, column, grey);
    }
    picture.end();
    painter.drawImage(QRect(0, 0, w, h), image);

    painter.setPen(QColor(0, 0, 0));
    for (int k = 1; k <= LABEL_COUNT; k++)
        painter.drawText(QPoint(w * 32 * k / PLOT_WIDTH, h - 1),
                         QString::fromStdString(zarn::frequency_label(labelled[32 * k])));
}

bool ZARNEQFreqResponse::curve_shown() const {
    return pictured && picture_rate == equalizer->sample_rate;
}

QString ZARNEQFreqResponse::readout_text(int x) const {
    if (x < 0 || x >= PLOT_WIDTH || !curve_shown())
        return QString();
    const double mag = mags[x];
    const QString db =
        mag == 0.0 ? QStringLiteral("-inf") : QString::number(20.0 * std::log10(mag), 'f', 1);
    return QCoreApplication::translate("ZARNEQFreqResponse", "%1 Hz: gain %2 (%3 dB)")
        .arg(QString::number(freq[x], 'f', 0), QString::number(mag, 'g', 4), db);
}

void ZARNEQFreqResponse::show_readout(const QPoint &pos, const QPoint &global_pos) {
    tip_pos = pos;
    tip_global_pos = global_pos;
    const QString readout = readout_text(pos.x() * PLOT_WIDTH / std::max(1, width()));
    const QString about = toolTip();
    shown_tip = readout.isEmpty() ? about
                : about.isEmpty() ? readout
                                  : readout + QLatin1Char('\n') + about;
    if (shown_tip.isEmpty())
        QToolTip::hideText();
    else
        QToolTip::showText(global_pos, shown_tip, this);
}

bool ZARNEQFreqResponse::event(QEvent *event) {
    if (event->type() == QEvent::ToolTip) {
        const auto *help = static_cast<QHelpEvent *>(event);
        show_readout(help->pos(), help->globalPos());
        return true;
    }
    return QWidget::event(event);
}

void ZARNEQFreqResponse::mouseMoveEvent(QMouseEvent *event) {
    // An open tip follows the pointer from column to column.
    if (!shown_tip.isEmpty() && QToolTip::isVisible() && QToolTip::text() == shown_tip)
        show_readout(event->pos(), mapToGlobal(event->pos()));
    QWidget::mouseMoveEvent(event);
}

void ZARNEQFreqResponse::hideEvent(QHideEvent *event) {
    job.pause();
    QWidget::hideEvent(event);
}

void ZARNEQFreqResponse::paintEvent(QPaintEvent *) {
    if (stale && !slice_timer->isActive())
        slice_timer->start();
    paint_picture(this);
    describe();
}

void ZARNEQFreqResponse::describe() {
    // The curve in words, at the labelled frequencies, from the picture shown.
    QStringList points;
    if (curve_shown()) {
        for (int k = 1; k <= LABEL_COUNT; k++)
            points << readout_text(32 * k);
    }
    const QString text = points.join(QStringLiteral("; "));
    if (accessibleDescription() != text)
        setAccessibleDescription(text);
}
