// SPDX-License-Identifier: BSD-2-Clause

#pragma once

#include <QWidget>
#include <cstdint>

#include "ctl/monitor_peak.h"
#include "ctl/target_peak.h"

class QPainter;
class ZARNController;

// Segmented level meter of one strip. It reads its levels itself, from its
// paint handler, once per watchdog tick.
class ZARNVolumeBar : public QWidget {
    Q_OBJECT

public:
    static constexpr int WIDTH = 128;
    static constexpr int HEIGHT = 32;

    ZARNVolumeBar(ZARNController *strip, int kind, int channel, int number);
    ~ZARNVolumeBar() override;

    // The whole picture of one paint, on any paint device of at least
    // WIDTH x HEIGHT; issues the peak request when the tick has moved.
    void draw(QPainter &painter);

    // Pixels lit for a level of the given sample width, 0 to WIDTH.
    static int lit_width(std::int64_t level, std::uint32_t sample_bits);

protected:
    void paintEvent(QPaintEvent *event) override;

private:
    void draw_bar(QPainter &painter, int top, std::int64_t level, std::uint32_t sample_bits);
    void draw_ticks(QPainter &painter, int height);

    ZARNController *strip;
    zarn::TargetPeak target_peak;
    zarn::MonitorPeak monitor_peak;
    zarn::MonitorPeak main_peak;
    std::int32_t kind;
    std::int32_t channel;
    std::int32_t number;
    std::int32_t last_tick;
};
