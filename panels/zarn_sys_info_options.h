// SPDX-License-Identifier: BSD-2-Clause

#pragma once

#include <QGroupBox>
#include <vector>

#include "ctl/system_info.h"
#include "ctl/transport.h"

class QGridLayout;
class QLabel;
class ZARNConnection;
class ZARNMainWindow;

// One line with the daemon's sample format and device names.
class ZARNSysInfoOptions : public QGroupBox {
public:
    explicit ZARNSysInfoOptions(ZARNMainWindow *main_window);

    // Reads the record and shows it; a failed read keeps the label's text.
    void refresh();
    // Live view: the record read in the tick's batch, then shown.
    void queue_refresh(std::vector<zarn::BatchedRequest> &batch);
    void take_refresh();

    ZARNMainWindow *main_window;
    ZARNConnection *connection;
    QGridLayout *grid;
    QLabel *label;

private:
    void show_info(const zarn::SystemInfo &info);

    zarn::SystemInfo refreshed;
    int refreshed_result;
    bool refresh_queued;
};
