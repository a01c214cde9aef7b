// SPDX-License-Identifier: BSD-2-Clause

#pragma once

#include <QString>
#include <QWidget>

#include "eq/freq_response.h"

class QPaintDevice;
class QTimer;
class ZARNEqualizer;

// The magnitude response of an equalizer window's current coefficients as a
// filled 256 x 128 curve with seven frequency labels. The response costs
// 256 x N sines and cosines, so it is evaluated only once the plot is painted
// after the window's coefficients change, and a window that is never shown
// never evaluates it. On screen the GUI thread evaluates columns a slice at a
// time across turns of the event loop, and helper threads go on with them in
// between, so that a long filter never freezes the window; until the new picture is complete the
// plot keeps showing the last complete one, or, before the first and after a change of the sample
// rate, the bottom line and the labels of the current rate. draw() and label_text() finish what is
// missing at once. Hovering shows the frequency and magnitude of the column under the pointer, from
// the picture shown.
class ZARNEQFreqResponse : public QWidget {
public:
    static constexpr int PLOT_WIDTH = 256;
    static constexpr int PLOT_HEIGHT = 128;
    static constexpr int LABEL_COUNT = 7;
    // Time one slice of the evaluation may take on the GUI thread before the
    // event loop gets its turn (helper threads go on meanwhile); a slice
    // overruns it by at most one column.
    static constexpr int SLICE_MS = 8;

    explicit ZARNEQFreqResponse(ZARNEqualizer *equalizer);
    ~ZARNEQFreqResponse() override;

    // The window's sample_rate, filter_length or coefficients have changed:
    // the picture is re-evaluated from them, from the first column on, once
    // the plot is painted. Cheap.
    void refresh();
    // Whether the picture does not yet show the current coefficients.
    bool is_stale() const { return stale; }
    // Columns of the current coefficients evaluated so far, 0 ... 256.
    int columns_ready() const;
    // Paints the complete plot into any device of the widget's size (the
    // widget itself, or an image in tests).
    void draw(QPaintDevice *device) const;
    // Text of label k = 1..7, which belongs to column 32k.
    QString label_text(int k) const;
    // Frequency and magnitude, linear and in dB, of column x of the picture
    // shown; empty while no curve is shown.
    QString readout_text(int x) const;

    ZARNEqualizer *equalizer;

protected:
    void paintEvent(QPaintEvent *event) override;
    bool event(QEvent *event) override;
    void mouseMoveEvent(QMouseEvent *event) override;
    // Helper threads stop with the plot: hidden plots do not evaluate.
    void hideEvent(QHideEvent *event) override;

private:
    // One slice of the evaluation, run by the timer while the plot is shown.
    void evaluate_slice();
    // Evaluates columns until all are done or, when budget_ms >= 0, that
    // time has passed; publishes the picture once all are done.
    void evaluate(int budget_ms) const;
    // Paints the last complete picture.
    void paint_picture(QPaintDevice *device) const;
    // Whether the last complete picture is for the window's sample rate.
    bool curve_shown() const;
    // Opens or updates the tip for the column under a widget position.
    void show_readout(const QPoint &pos, const QPoint &global_pos);

    QTimer *slice_timer;

    // A cache of what the window's state gives, filled on demand by the
    // const drawing and label queries: the evaluation in progress, and the
    // complete picture that is shown.
    // The accessible description: the readout at the labelled frequencies.
    void describe();
    mutable bool stale;
    mutable bool started;  // the job has the current coefficients
    mutable bool pictured; // a complete picture exists
    mutable zarn::ResponseJob job;
    mutable double freq[PLOT_WIDTH];
    mutable double mags[PLOT_WIDTH];
    mutable int heights[PLOT_WIDTH];
    mutable int picture_rate;
    // The text of the tip this plot opened, while it may be open, and where.
    QString shown_tip;
    QPoint tip_pos;
    QPoint tip_global_pos;
};
