// SPDX-License-Identifier: BSD-2-Clause

#include "eq/zarn_eq_response_view.h"

#include <QCoreApplication>
#include <QMouseEvent>
#include <QPainter>
#include <QPainterPath>
#include <QTimer>
#include <algorithm>
#include <cmath>

#include "eq/zarn_equalizer.h"

namespace {

// Room for the level labels at the left and the frequency labels below.
constexpr int LEFT = 48;
constexpr int RIGHT = 12;
constexpr int TOP = 18;
constexpr int BOTTOM = 20;
// The scale widens no further: beyond these, levels are drawn at the edge.
constexpr double HIGHEST_DB = 60.0;
constexpr double LOWEST_DB = -120.0;

QString frequency_name(double f) {
    return f >= 1000.0 ? QStringLiteral("%1k").arg(f / 1000.0) : QString::number(f);
}

} // namespace

int ZARNEQResponseView::Axes::x_of(double freq) const {
    if (!(nyquist > zarn::LOG_RESPONSE_LOW_HZ) || !(freq > 0.0))
        return plot.left();
    const double t =
        std::log(freq / zarn::LOG_RESPONSE_LOW_HZ) / std::log(nyquist / zarn::LOG_RESPONSE_LOW_HZ);
    return plot.left() +
           static_cast<int>(std::lround(std::clamp(t, 0.0, 1.0) * (plot.width() - 1)));
}

double ZARNEQResponseView::Axes::freq_at(int x) const {
    if (!(nyquist > zarn::LOG_RESPONSE_LOW_HZ) || plot.width() < 2)
        return zarn::LOG_RESPONSE_LOW_HZ;
    const double t =
        std::clamp(static_cast<double>(x - plot.left()) / (plot.width() - 1), 0.0, 1.0);
    return zarn::LOG_RESPONSE_LOW_HZ * std::pow(nyquist / zarn::LOG_RESPONSE_LOW_HZ, t);
}

int ZARNEQResponseView::Axes::y_of(double db) const {
    if (std::isnan(db))
        return plot.bottom();
    const double t = (top_db - std::clamp(db, bottom_db, top_db)) / (top_db - bottom_db);
    return plot.top() + static_cast<int>(std::lround(t * (plot.height() - 1)));
}

ZARNEQResponseView::Axes ZARNEQResponseView::axes(QSize size, const zarn::LogResponse &curve) {
    Axes a;
    a.plot = QRect(LEFT, TOP, std::max(2, size.width() - LEFT - RIGHT),
                   std::max(2, size.height() - TOP - BOTTOM));
    a.nyquist = 0.5 * curve.sample_rate;
    double lo = 0.0;
    double hi = 0.0;
    for (double db : curve.db) {
        if (std::isfinite(db)) {
            lo = std::min(lo, db);
            hi = std::max(hi, db);
        } else if (db < 0.0) {
            lo = LOWEST_DB; // a zero in the response
        }
    }
    a.top_db = std::clamp(std::ceil(hi / 6.0) * 6.0, 12.0, HIGHEST_DB);
    a.bottom_db = std::clamp(std::floor(lo / 6.0) * 6.0, LOWEST_DB, -24.0);
    const double span = a.top_db - a.bottom_db;
    a.step_db = span <= 48.0 ? 6.0 : span <= 96.0 ? 12.0 : 24.0;
    // Both ends on grid lines.
    a.top_db = std::ceil(a.top_db / a.step_db) * a.step_db;
    a.bottom_db = std::floor(a.bottom_db / a.step_db) * a.step_db;
    return a;
}

QStringList ZARNEQResponseView::level_labels(const Axes &axes) {
    QStringList out;
    // Whole steps from the top down, and 0 dB always among them.
    const double first = std::floor(axes.top_db / axes.step_db) * axes.step_db;
    for (double db = first; db >= axes.bottom_db - 1e-9; db -= axes.step_db) {
        const int whole = static_cast<int>(std::lround(db));
        out << QCoreApplication::translate("ZARNEQResponseView", "%1 dB")
                   .arg(whole > 0 ? QStringLiteral("+%1").arg(whole) : QString::number(whole));
    }
    return out;
}

QList<double> ZARNEQResponseView::frequency_lines(double nyquist) {
    QList<double> out;
    for (double decade = 10.0; decade <= 100000.0; decade *= 10.0)
        for (double f : {2.0 * decade, 5.0 * decade, 10.0 * decade})
            if (f >= zarn::LOG_RESPONSE_LOW_HZ && f <= nyquist)
                out << f;
    return out;
}

QString ZARNEQResponseView::readout_text(const Axes &axes, const zarn::LogResponse &curve, int x) {
    if (curve.db.empty() || curve.freq.size() != curve.db.size() ||
        !axes.plot.contains(x, axes.plot.top()))
        return QString();
    const double f = axes.freq_at(x);
    // The point nearest on the logarithmic axis.
    const auto at = std::lower_bound(curve.freq.begin(), curve.freq.end(), f);
    std::size_t i = static_cast<std::size_t>(at - curve.freq.begin());
    if (i >= curve.freq.size())
        i = curve.freq.size() - 1;
    else if (i > 0 && std::log(f / curve.freq[i - 1]) < std::log(curve.freq[i] / f))
        --i;
    const double db = curve.db[i];
    const QString level = std::isnan(db) ? QStringLiteral("?")
                          : std::isinf(db)
                              ? (db < 0 ? QStringLiteral("-inf") : QStringLiteral("+inf"))
                              : QString::number(db, 'f', 1);
    return QCoreApplication::translate("ZARNEQResponseView", "%1 Hz: %2 dB")
        .arg(QString::number(curve.freq[i], 'f', 0), level);
}

void ZARNEQResponseView::paint(QPainter &painter, QSize size, const zarn::LogResponse &curve,
                               const QString &readout, bool pending) {
    const Axes a = axes(size, curve);
    painter.fillRect(QRect(QPoint(0, 0), size), QColor(255, 255, 255));
    const QColor grid(210, 210, 210);
    const QColor zero(140, 140, 140);
    const QColor text(0, 0, 0);
    QFont font = painter.font();
    font.setPixelSize(10);
    painter.setFont(font);

    // Level lines with their labels at the left.
    const QStringList labels = level_labels(a);
    double db = std::floor(a.top_db / a.step_db) * a.step_db;
    for (const QString &label : labels) {
        const int y = a.y_of(db);
        painter.setPen(std::lround(db) == 0 ? zero : grid);
        painter.drawLine(a.plot.left(), y, a.plot.right(), y);
        painter.setPen(text);
        painter.drawText(QRect(0, y - 7, LEFT - 4, 14), Qt::AlignRight | Qt::AlignVCenter, label);
        db -= a.step_db;
    }
    // Frequency lines with their labels below.
    if (a.nyquist > zarn::LOG_RESPONSE_LOW_HZ) {
        for (double f : frequency_lines(a.nyquist)) {
            const int x = a.x_of(f);
            painter.setPen(grid);
            painter.drawLine(x, a.plot.top(), x, a.plot.bottom());
            painter.setPen(text);
            // The first label starts at the axis, clear of the level labels.
            const bool first = x == a.plot.left();
            painter.drawText(QRect(first ? x : x - 20, a.plot.bottom() + 2, 40, BOTTOM - 2),
                             (first ? Qt::AlignLeft : Qt::AlignHCenter) | Qt::AlignTop,
                             frequency_name(f));
        }
    }
    painter.setPen(QColor(0, 0, 0));
    painter.drawRect(a.plot.adjusted(0, 0, -1, -1));

    // The curve, one segment per pair of points; points that are not
    // numbers break it.
    if (curve.db.size() == curve.freq.size() && !curve.db.empty()) {
        painter.setRenderHint(QPainter::Antialiasing, false);
        painter.setPen(QPen(QColor(0, 64, 192), 2));
        QPainterPath path;
        bool open = false;
        for (std::size_t i = 0; i < curve.db.size(); ++i) {
            if (std::isnan(curve.db[i])) {
                open = false;
                continue;
            }
            const QPointF p(a.x_of(curve.freq[i]), a.y_of(curve.db[i]));
            if (open)
                path.lineTo(p);
            else
                path.moveTo(p);
            open = true;
        }
        painter.drawPath(path);
    } else if (!pending) {
        painter.setPen(text);
        painter.drawText(a.plot, Qt::AlignCenter,
                         QCoreApplication::translate("ZARNEQResponseView", "No filter in force"));
    }
    if (!readout.isEmpty()) {
        painter.setPen(text);
        painter.drawText(QRect(a.plot.left(), 0, a.plot.width(), TOP),
                         Qt::AlignRight | Qt::AlignVCenter, readout);
    }
}

ZARNEQResponseView::ZARNEQResponseView(ZARNEqualizer *equalizer_)
    : equalizer(equalizer_), step_timer(new QTimer(this)) {
    setMouseTracking(true);
    setSizePolicy(QSizePolicy::Expanding, QSizePolicy::Expanding);
    step_timer->setInterval(0);
    connect(step_timer, &QTimer::timeout, this, &ZARNEQResponseView::evaluate_step);
}

ZARNEQResponseView::~ZARNEQResponseView() = default;

void ZARNEQResponseView::refresh() {
    stale = true;
    started = false;
    update();
}

void ZARNEQResponseView::evaluate_step() {
    // A hidden view evaluates nothing; its next paint takes the work up again.
    if (!stale || !isVisible()) {
        step_timer->stop();
        return;
    }
    if (!started) {
        job.start(equalizer->sample_rate, equalizer->filter_length, equalizer->coefficients,
                  POINTS);
        started = true;
    }
    if (job.step())
        publish();
}

void ZARNEQResponseView::publish() {
    curve_ = job.result();
    stale = false;
    started = false;
    step_timer->stop();
    update();
}

const zarn::LogResponse &ZARNEQResponseView::curve() {
    if (stale) {
        if (!started)
            job.start(equalizer->sample_rate, equalizer->filter_length, equalizer->coefficients,
                      POINTS);
        while (!job.step()) {
        }
        publish();
    }
    return curve_;
}

QSize ZARNEQResponseView::sizeHint() const {
    return {640, 300};
}

QSize ZARNEQResponseView::minimumSizeHint() const {
    return {320, 160};
}

void ZARNEQResponseView::paintEvent(QPaintEvent *) {
    if (stale && !step_timer->isActive())
        step_timer->start();
    QPainter painter(this);
    paint(painter, size(), curve_, readout_, stale);
}

void ZARNEQResponseView::mouseMoveEvent(QMouseEvent *event) {
    // The readout belongs to the curve shown.
    const QString now = readout_text(axes(size(), curve_), curve_, event->pos().x());
    if (now != readout_) {
        readout_ = now;
        update();
    }
    QWidget::mouseMoveEvent(event);
}

void ZARNEQResponseView::leaveEvent(QEvent *event) {
    if (!readout_.isEmpty()) {
        readout_.clear();
        update();
    }
    QWidget::leaveEvent(event);
}
