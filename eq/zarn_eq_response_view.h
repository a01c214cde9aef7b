// SPDX-License-Identifier: BSD-2-Clause

#pragma once

#include <QRect>
#include <QSize>
#include <QString>
#include <QStringList>
#include <QWidget>

#include "eq/log_response.h"

class QPainter;
class QTimer;
class ZARNEqualizer;

// The response of the filter in force as a user reads it: a resizable plot
// with a logarithmic frequency axis from 20 Hz to half the sample rate, a
// dB scale with labelled grid lines, and a readout of the point under the
// pointer. The small plot beside it stays as it is. On screen the curve is
// evaluated a step at a time on turns of the event loop, so that a long
// filter never holds the window; meanwhile the last complete curve stays.
class ZARNEQResponseView : public QWidget {
public:
    // Points evaluated along the axis, whatever the width.
    static constexpr int POINTS = 1024;

    // How a plot of some size maps frequency and level to pixels.
    struct Axes {
        QRect plot;         // the curve's area; labels lie outside it
        double nyquist = 0; // the axis's right end, Hz
        double top_db = 12;
        double bottom_db = -24;
        double step_db = 6; // between grid lines
        int x_of(double freq) const;
        double freq_at(int x) const;
        int y_of(double db) const;
    };
    // The axes for a widget or image of this size: +12 to -24 dB, widened
    // in whole steps to fit the curve's finite levels.
    static Axes axes(QSize size, const zarn::LogResponse &curve);
    // The texts of the level grid lines, top to bottom: "+12 dB" ... "-24 dB".
    static QStringList level_labels(const Axes &axes);
    // Frequencies of the labelled grid lines on an axis ending at nyquist.
    static QList<double> frequency_lines(double nyquist);
    // Paints the whole view into any device of that size. pending: a curve
    // is being evaluated, so an empty one is not told as no filter.
    static void paint(QPainter &painter, QSize size, const zarn::LogResponse &curve,
                      const QString &readout, bool pending = false);
    // "1000 Hz: -3.2 dB" for the point nearest to a widget column.
    static QString readout_text(const Axes &axes, const zarn::LogResponse &curve, int x);

    explicit ZARNEQResponseView(ZARNEqualizer *equalizer);
    ~ZARNEQResponseView() override;

    // The window's filter or rate changed: evaluated again once painted.
    void refresh();
    // Whether the curve shown is not yet the window's filter's.
    bool is_stale() const { return stale; }
    // The curve of the window's filter now, evaluated at once if it is not yet.
    const zarn::LogResponse &curve();
    QString readout() const { return readout_; }

    QSize sizeHint() const override;
    QSize minimumSizeHint() const override;

protected:
    void paintEvent(QPaintEvent *event) override;
    void mouseMoveEvent(QMouseEvent *event) override;
    void leaveEvent(QEvent *event) override;

private:
    // One step of the evaluation, run by the timer while the view is shown.
    void evaluate_step();
    void publish();

    ZARNEqualizer *equalizer;
    QTimer *step_timer;
    zarn::LogResponseJob job;
    bool stale = true;
    bool started = false; // the job has the window's current filter
    zarn::LogResponse curve_;
    QString readout_;
};
