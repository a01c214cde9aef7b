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
    return QString::fromUtf8(field,
                             static_cast<int>(zarn::bounded_length(field, zarn::DEVICE_NAME_SIZE)));
}

} // namespace

ZARNSysInfoOptions::ZARNSysInfoOptions(ZARNMainWindow *main_window)
    : QGroupBox(nullptr), main_window(main_window) {
    grid = new QGridLayout(this);
    setTitle(tr("System information"));
    label = new QLabel;
    grid->addWidget(label, 0, 0);
    refresh();
}

void ZARNSysInfoOptions::refresh() {
    zarn::SystemInfo info{};
    if (zarn::ctl_request(main_window->fd, zarn::REQ_SYSTEM_INFO, &info) != 0)
        return;
    // Five substitution passes in order: a name holding a marker such as %5
    // is substituted again by a later pass.
    label->setText(QStringLiteral("%1 Hz, %2 bits, %3 channels, Input: %4, Output: %5")
                       .arg(info.sample_rate)
                       .arg(info.sample_bits)
                       .arg(info.channels)
                       .arg(device_name(info.input_device))
                       .arg(device_name(info.output_device)));
}
