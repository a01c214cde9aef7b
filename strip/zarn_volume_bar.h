// SPDX-License-Identifier: BSD-2-Clause

#pragma once

#include <QString>
#include <QWidget>
#include <cstdint>
#include <deque>
#include <utility>
#include <vector>

#include "ctl/catalogue.h"
#include "ctl/monitor_peak.h"
#include "ctl/target_peak.h"
#include "ctl/transport.h"

class QPainter;
class ZARNController;

// What one bar remembers of its readings: the highest normalised level of
// the last HOLD_MS, and whether a reading reached full scale since the clip
// was last cleared.
class ZARNPeakHold {
public:
    static constexpr std::int64_t HOLD_MS = 2000;

    // A reading of normalised level v at time now_ms (any monotonic clock);
    // full latches the clip.
    void add(std::int64_t v, std::int64_t now_ms, bool full);
    // Highest level still held, 0 before the first reading.
    std::int64_t held() const;
    bool clipped() const { return clip; }
    void clear_clip() { clip = false; }

private:
    // Readings that may still become the highest, by time: each lower than
    // the one before it, so the front is the held level.
    std::deque<std::pair<std::int64_t, std::int64_t>> candidates;
    bool clip = false;
};

// Segmented level meter of one strip. It reads its levels itself, from its
// paint handler, once per watchdog tick.
class ZARNVolumeBar : public QWidget {
    Q_OBJECT

public:
    static constexpr int WIDTH = 128;
    static constexpr int HEIGHT = 32;

    ZARNVolumeBar(ZARNController *strip, const zarn::Target &target);
    ZARNVolumeBar(ZARNController *strip, int kind, int channel, int number)
        : ZARNVolumeBar(strip, zarn::Target{kind, number, channel}) {}
    ~ZARNVolumeBar() override;

    // The whole picture of one paint, on any paint device of at least
    // WIDTH x HEIGHT; issues the peak request when the tick has moved.
    void draw(QPainter &painter);
    // Puts the peak request of the current tick into the watchdog's batch
    // when the watchdog's repaint will paint the meter; the paint then draws
    // the answer instead of asking.
    void queue_peak(std::vector<zarn::BatchedRequest> &batch);
    // Whether this tick's reading is in the batch, waiting for the repaint
    // to show it.
    bool reading_queued() const;

    // A level on the 32-bit scale, full scale (2^(b - 1)) at 2^31. A
    // negative level counts as full scale, one too big to scale as the
    // largest value; from 96 bits everything is shifted out.
    static std::int64_t normalised(std::int64_t level, std::uint32_t sample_bits);
    // Whether a level is as high as a sample can be: the largest positive
    // sample, one step below 2^(b - 1), or more.
    static bool reaches_full_scale(std::int64_t level, std::uint32_t sample_bits);
    // Pixels lit for a level of the given sample width, 0 to WIDTH.
    static int lit_width(std::int64_t level, std::uint32_t sample_bits);
    // A normalised level in dBFS with one decimal, "-inf" for 0.
    static QString dbfs_text(std::int64_t v);
    // Current and held level of each bar, as the tool tip and the accessible
    // description give them.
    QString readout() const;
    // Whether the bar (0 the upper, 1 the lower) has its clip mark.
    bool clipped(int bar) const { return holds[bar].clipped(); }

    // Readings that rose and fell leave their marks: a held peak for
    // ZARNPeakHold::HOLD_MS, a clip mark until the meter is clicked.
    static constexpr int CLIP_WIDTH = 4;

protected:
    void paintEvent(QPaintEvent *event) override;
    bool event(QEvent *event) override;
    void mousePressEvent(QMouseEvent *event) override;

private:
    void draw_bar(QPainter &painter, int top, std::int64_t level, std::uint32_t sample_bits);
    void draw_marks(QPainter &painter, int bar, int top, std::int64_t level,
                    std::uint32_t sample_bits);
    // A new reading: into the holds, the accessible description and an open
    // tool tip of this meter.
    void take_reading();
    QString tool_tip_text() const;
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
    ZARNPeakHold holds[2];
    // The text of the tool tip this meter opened, while it may be open.
    QString shown_tip;
};
