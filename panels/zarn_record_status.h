// SPDX-License-Identifier: BSD-2-Clause

#pragma once

#include <QGroupBox>

#include <cstdint>
#include <vector>

#include "ctl/transport.h"

class QGridLayout;
class QPushButton;
class ZARNConnection;
class ZARNMainWindow;

// Starts and stops the daemon's recording; only the button that changes the
// state the daemon last reported is enabled.
class ZARNRecordStatus : public QGroupBox {
    Q_OBJECT

public:
    explicit ZARNRecordStatus(ZARNMainWindow *main_window);

    // Live view: the state read in the tick's batch, then shown.
    void queue_refresh(std::vector<zarn::BatchedRequest> &batch);
    void take_refresh();

    ZARNMainWindow *main_window;
    ZARNConnection *connection;
    QGridLayout *grid;
    QPushButton *start_button;
    QPushButton *stop_button;

public slots:
    void handle_start();
    void handle_stop();

    // Reads the state and enables the buttons after it; a failed read
    // changes nothing.
    void refresh();

private:
    // Sends the wanted state, then shows the state the daemon reports.
    void request_state(std::int32_t value);
    void show_state(std::int32_t state);

    std::int32_t refreshed;
    int refreshed_result;
    bool refresh_queued;
};
