// SPDX-License-Identifier: BSD-2-Clause

#include "panels/zarn_sys_info_options.h"

#include <QGridLayout>
#include <QLabel>

#include "app/zarn_main_window.h"
#include "ctl/bounded_string.h"
#include "ctl/requests.h"
#include "ctl/transport.h"

namespace {

// A name that fills its whole field without a NUL ends at the field's end.
QString device_name(const char *field) {
    return QString::fromStdString(zarn::bounded_string(field, zarn::DEVICE_NAME_SIZE));
}

} // namespace

ZARNSysInfoOptions::ZARNSysInfoOptions(ZARNMainWindow *main_window)
    : QGroupBox(nullptr), main_window(main_window),
      connection(main_window->connection), refreshed{}, refreshed_result(-1),
      refresh_queued(false) {
    grid = new QGridLayout(this);
    // Without a meta-object of its own the texts are looked up under
    // QGroupBox; spelt out so that lupdate files them there too.
    setTitle(QGroupBox::tr("System information"));
    label = new QLabel;
    label->setToolTip(
        QGroupBox::tr("The daemon's sample rate, sample width and number of channels, and "
                      "its input and output devices; read at start and after each "
                      "accepted Add Options request"));
    grid->addWidget(label, 0, 0);
    refresh();
}

void ZARNSysInfoOptions::refresh() {
    zarn::SystemInfo info{};
    if (zarn::ctl_request(connection->fd, zarn::REQ_SYSTEM_INFO, &info) == 0)
        show_info(info);
}

void ZARNSysInfoOptions::queue_refresh(std::vector<zarn::BatchedRequest> &batch) {
    refreshed = zarn::SystemInfo{};
    refresh_queued = true;
    batch.push_back({zarn::REQ_SYSTEM_INFO, &refreshed, &refreshed_result});
}

void ZARNSysInfoOptions::take_refresh() {
    if (refresh_queued && refreshed_result == 0)
        show_info(refreshed);
    refresh_queued = false;
}

void ZARNSysInfoOptions::show_info(const zarn::SystemInfo &info) {
    // One substitution pass: a device name that holds a marker such as %5
    // is shown as it is, not substituted again.
    label->setText(QStringLiteral("%1 Hz, %2 bits, %3 channels, Input: %4, Output: %5")
                       .arg(QString::number(info.sample_rate), QString::number(info.sample_bits),
                            QString::number(info.channels), device_name(info.input_device),
                            device_name(info.output_device)));
}
