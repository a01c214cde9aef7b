#pragma once

#include <QString>
#include <QWidget>

class QPaintDevice;
class ZARNEqualizer;

// The magnitude response of an equalizer window's current coefficients as a
// filled 256 x 128 curve with seven frequency labels. The response is
// evaluated only when the window's coefficients change (refresh()), since it
// costs 256 x N sines and cosines; repaints draw from the stored columns.
class ZARNEQFreqResponse : public QWidget {
public:
    static constexpr int PLOT_WIDTH = 256;
    static constexpr int PLOT_HEIGHT = 128;
    static constexpr int LABEL_COUNT = 7;

    explicit ZARNEQFreqResponse(ZARNEqualizer *equalizer);
    ~ZARNEQFreqResponse() override;

    // Re-evaluates the response from the window's sample_rate,
    // filter_length and coefficients.
    void refresh();
    // Paints the plot into any device of the widget's size (the widget
    // itself, or an image in tests).
    void draw(QPaintDevice *device) const;
    // Text of label k = 1..7, which belongs to column 32k.
    QString label_text(int k) const;

    ZARNEqualizer *equalizer;

protected:
    void paintEvent(QPaintEvent *event) override;

private:
    double freq[PLOT_WIDTH];
    int heights[PLOT_WIDTH];
};
