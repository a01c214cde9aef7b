// SPDX-License-Identifier: BSD-2-Clause

#pragma once

#include <QString>
#include <QWidget>

class QPaintDevice;
class ZARNEqualizer;

// The magnitude response of an equalizer window's current coefficients as a
// filled 256 x 128 curve with seven frequency labels. The response costs
// 256 x N sines and cosines, so it is evaluated only on the first paint (or
// label query) after the window's coefficients change, and a window that is
// never shown never evaluates it; later repaints draw from the stored columns.
class ZARNEQFreqResponse : public QWidget {
public:
    static constexpr int PLOT_WIDTH = 256;
    static constexpr int PLOT_HEIGHT = 128;
    static constexpr int LABEL_COUNT = 7;

    explicit ZARNEQFreqResponse(ZARNEqualizer *equalizer);
    ~ZARNEQFreqResponse() override;

    // The window's sample_rate, filter_length or coefficients have changed:
    // the next paint re-evaluates the response from them. Cheap.
    void refresh();
    // Whether the stored columns are out of date.
    bool is_stale() const { return stale; }
    // Paints the plot into any device of the widget's size (the widget
    // itself, or an image in tests).
    void draw(QPaintDevice *device) const;
    // Text of label k = 1..7, which belongs to column 32k.
    QString label_text(int k) const;

    ZARNEqualizer *equalizer;

protected:
    void paintEvent(QPaintEvent *event) override;

private:
    // Evaluates the columns if a change has made them stale.
    void evaluate() const;

    // A cache of what the window's state gives, filled on demand by the
    // const drawing and label queries.
    mutable bool stale;
    mutable double freq[PLOT_WIDTH];
    mutable int heights[PLOT_WIDTH];
};
