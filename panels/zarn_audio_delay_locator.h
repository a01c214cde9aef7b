// SPDX-License-Identifier: BSD-2-Clause

#pragma once

#include "ctl/delay_locator_record.h"
#include "ctl/transport.h"

#include <QGroupBox>
#include <vector>

class QGridLayout;
class QLabel;
class QPushButton;
class QSpinBox;
class ZARNConnection;
class ZARNMainWindow;

// Drives the daemon's audio delay locator: on/off, test signal level, reset,
// channels, and a one-line report that the watchdog keeps current.
class ZARNAudioDelayLocator : public QGroupBox {
    Q_OBJECT

public:
    explicit ZARNAudioDelayLocator(ZARNMainWindow *main_window);

    // Re-reads the locator; shows its channel range, channels and report.
    void refresh();
    // The same read in the watchdog's batch, and its answer shown after it.
    void queue_refresh(std::vector<zarn::BatchedRequest> &batch);
    void take_refresh();

    ZARNMainWindow *main_window;
    ZARNConnection *connection;
    QGridLayout *grid;
    QPushButton *enable_button;
    QPushButton *reset_button;
    QPushButton *up_button;
    QPushButton *down_button;
    QSpinBox *in_channel_box;
    QSpinBox *out_channel_box;
    QLabel *report_label;

public slots:
    void handle_reset();
    void handle_signal_up();
    void handle_signal_down();
    void handle_enable_disable();
    void handle_channel_in();
    void handle_channel_out();

private:
    void set_channel_range(const zarn::DelayLocatorRecord &rec);
    void show_record(const zarn::DelayLocatorRecord &rec);
    zarn::DelayLocatorRecord queued{};
    int queued_result = -1;
    bool refresh_queued = false;
    // The record the report was last made from: the same record again makes
    // the same text, so it is not formatted ten times a second.
    zarn::DelayLocatorRecord reported{};
    bool report_known = false;
};
