// SPDX-License-Identifier: BSD-2-Clause

#pragma once

#include <QWidget>
#include <cstdint>
#include <vector>

#include "ctl/catalogue.h"
#include "ctl/monitor_peak.h"
#include "ctl/target_peak.h"
#include "ctl/transport.h"

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
    // Puts the peak request of the current tick into the watchdog's batch
    // when the watchdog's repaint will paint the meter; the paint then draws
    // the answer instead of asking.
    void queue_peak(std::vector<zarn::BatchedRequest> &batch);

    // Pixels lit for a level of the given sample width, 0 to WIDTH.
    static int lit_width(std::int64_t level, std::uint32_t sample_bits);

protected:
    void paintEvent(QPaintEvent *event) override;

private:
    void draw_bar(QPainter &painter, int top, std::int64_t level, std::uint32_t sample_bits);
    void draw_ticks(QPainter &painter, int height);
    // The record this kind's peak request fills.
    void *peak_record();
    // Issues the peak request, or takes the batched answer of this tick.
    bool read_peak(int fd, std::int32_t tick);

    ZARNController *strip;
    zarn::TargetPeak target_peak;
    zarn::MonitorPeak monitor_peak;
    zarn::MonitorPeak main_peak;
    std::int32_t kind;
    std::int32_t channel;
    std::int32_t number;
    std::int32_t last_tick;
    const zarn::KindInfo *info; // nullptr for a value that is no kind
    // The batched request's answer and tick, while pending.
    int batched_result;
    std::int32_t batched_tick;
    bool batched;
};
