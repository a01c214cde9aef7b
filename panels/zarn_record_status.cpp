// SPDX-License-Identifier: BSD-2-Clause

#include "panels/zarn_record_status.h"

#include <QGridLayout>
#include <QPushButton>

#include "app/zarn_main_window.h"
#include "ctl/requests.h"
#include "ctl/transport.h"

ZARNRecordStatus::ZARNRecordStatus(ZARNMainWindow *main_window)
    : QGroupBox(nullptr), main_window(main_window), connection(main_window->connection),
      refreshed(0), refreshed_result(-1), refresh_queued(false) {
    grid = new QGridLayout(this);
    setTitle(tr("Recording status"));
    start_button = new QPushButton(tr("START"));
    stop_button = new QPushButton(tr("STOP"));
    start_button->setToolTip(tr("Ask the daemon to start recording; enabled while it is not "
                                "recording"));
    stop_button->setToolTip(tr("Ask the daemon to stop recording; enabled while it records"));
    grid->addWidget(start_button, 0, 0);
    grid->addWidget(stop_button, 0, 1);

    // A failed read leaves both enabled, so either request can be sent.
    refresh();

    connect(start_button, &QPushButton::clicked, this, &ZARNRecordStatus::handle_start);
    connect(stop_button, &QPushButton::clicked, this, &ZARNRecordStatus::handle_stop);
}

void ZARNRecordStatus::refresh() {
    std::int32_t state = 0;
    if (zarn::ctl_request(connection->fd, zarn::REQ_RECORDING_GET, &state) == 0)
        show_state(state);
}

void ZARNRecordStatus::show_state(std::int32_t state) {
    start_button->setEnabled(state == 0);
    stop_button->setEnabled(state != 0);
}

void ZARNRecordStatus::queue_refresh(std::vector<zarn::BatchedRequest> &batch) {
    refresh_queued = true;
    batch.push_back({zarn::REQ_RECORDING_GET, &refreshed, &refreshed_result});
}

void ZARNRecordStatus::take_refresh() {
    if (refresh_queued && refreshed_result == 0)
        show_state(refreshed);
    refresh_queued = false;
}

void ZARNRecordStatus::request_state(std::int32_t value) {
    if (zarn::ctl_request(connection->fd, zarn::REQ_RECORDING_SET, &value) != 0)
        return;
    // The buttons follow what the daemon reports, not what was asked for.
    refresh();
}

void ZARNRecordStatus::handle_start() {
    request_state(1);
}

void ZARNRecordStatus::handle_stop() {
    request_state(0);
}
