// SPDX-License-Identifier: BSD-2-Clause

#include "panels/zarn_audio_delay_locator.h"

#include <QGridLayout>
#include <QLabel>
#include <QPushButton>
#include <QSignalBlocker>
#include <QSpinBox>

#include <cstring>
#include <utility>

#include "app/zarn_main_window.h"
#include "app/zarn_spin_box_guard.h"
#include "ctl/requests.h"
#include "ctl/transport.h"

namespace {

// The report is cut where a 128-byte buffer would cut it.
constexpr int REPORT_MAX_CHARS = 127;

// Reads the locator, applies one change and writes the whole record back;
// the report shows the result at the next watchdog tick. A change that
// leaves the record as the daemon holds it is not sent.
template <typename Change> void read_modify_write(int fd, Change change) {
    zarn::DelayLocatorRecord rec{};
    if (zarn::ctl_request(fd, zarn::REQ_DELAY_LOCATOR_GET, &rec) != 0)
        return;
    const zarn::DelayLocatorRecord held = rec;
    change(rec);
    if (std::memcmp(&rec, &held, sizeof rec) == 0)
        return;
    zarn::ctl_request(fd, zarn::REQ_DELAY_LOCATOR_SET, &rec);
}

} // namespace

ZARNAudioDelayLocator::ZARNAudioDelayLocator(ZARNMainWindow *main_window)
    : QGroupBox(nullptr), main_window(main_window), connection(main_window->connection) {
    const int fd = connection->fd;
    grid = new QGridLayout(this);
    setTitle(tr("Audio Delay Locator"));
    report_label = new QLabel;
    enable_button = new QPushButton(tr("ON/OFF"));
    reset_button = new QPushButton(tr("Reset"));
    up_button = new QPushButton(tr("VOL+"));
    down_button = new QPushButton(tr("VOL-"));
    in_channel_box = new QSpinBox;
    in_channel_box->setPrefix(tr("InCh "));
    out_channel_box = new QSpinBox;
    out_channel_box->setPrefix(tr("OutCh "));

    // The range is fixed here; a failed read keeps the toolkit's 0 to 99.
    zarn::DelayLocatorRecord rec{};
    if (zarn::ctl_request(fd, zarn::REQ_DELAY_LOCATOR_GET, &rec) == 0)
        set_channel_range(rec);

    grid->addWidget(enable_button, 0, 0);
    grid->addWidget(reset_button, 0, 1);
    grid->addWidget(up_button, 0, 2);
    grid->addWidget(down_button, 0, 3);
    grid->addWidget(in_channel_box, 0, 4);
    grid->addWidget(out_channel_box, 0, 5);
    grid->addWidget(report_label, 1, 0, 1, 6);

    // Before the connections, so the channels shown at start are not
    // written back.
    refresh();

    connect(reset_button, &QPushButton::clicked, this, &ZARNAudioDelayLocator::handle_reset);
    connect(up_button, &QPushButton::clicked, this, &ZARNAudioDelayLocator::handle_signal_up);
    connect(down_button, &QPushButton::clicked, this, &ZARNAudioDelayLocator::handle_signal_down);
    connect(enable_button, &QPushButton::clicked, this,
            &ZARNAudioDelayLocator::handle_enable_disable);
    connect(in_channel_box, qOverload<int>(&QSpinBox::valueChanged), this,
            &ZARNAudioDelayLocator::handle_channel_in);
    connect(out_channel_box, qOverload<int>(&QSpinBox::valueChanged), this,
            &ZARNAudioDelayLocator::handle_channel_out);

    in_channel_box->setAccessibleName(tr("Delay locator input channel"));
    out_channel_box->setAccessibleName(tr("Delay locator output channel"));
    ZARNSpinBoxGuard::guard(in_channel_box);
    ZARNSpinBoxGuard::guard(out_channel_box);
    enable_button->setToolTip(tr("Switch the delay locator on or off: it sends a test signal "
                                 "on the output channel and measures how late it comes back "
                                 "on the input channel"));
    reset_button->setToolTip(tr("Start the measurement afresh"));
    up_button->setToolTip(tr("Raise the test signal's output level by one step"));
    down_button->setToolTip(tr("Lower the test signal's output level by one step"));
    // The guard adds the range, which a reconnection may change.
    in_channel_box->setToolTip(tr("Input channel on which the test signal is measured."));
    out_channel_box->setToolTip(tr("Output channel on which the test signal is sent."));
    report_label->setToolTip(tr("The locator's state, the test signal's level and the delay "
                                "measured, in samples and in milliseconds; read every 100 ms"));
}

void ZARNAudioDelayLocator::refresh() {
    zarn::DelayLocatorRecord rec{};
    if (zarn::ctl_request(connection->fd, zarn::REQ_DELAY_LOCATOR_GET, &rec) != 0)
        return;
    show_record(rec);
}

void ZARNAudioDelayLocator::queue_refresh(std::vector<zarn::BatchedRequest> &batch) {
    queued = zarn::DelayLocatorRecord{};
    refresh_queued = true;
    batch.push_back({zarn::REQ_DELAY_LOCATOR_GET, &queued, &queued_result});
}

void ZARNAudioDelayLocator::take_refresh() {
    if (std::exchange(refresh_queued, false) && queued_result == 0)
        show_record(queued);
}

void ZARNAudioDelayLocator::show_record(const zarn::DelayLocatorRecord &rec) {
    // Showing what the daemon has never writes it back: a channel the box
    // clamps would otherwise replace the daemon's own. The range follows the
    // daemon too. Digits the user is typing stay until committed.
    set_channel_range(rec);
    {
        const QSignalBlocker b1(in_channel_box), b2(out_channel_box);
        for (auto [box, value] : {std::pair{in_channel_box, rec.in_channel},
                                  std::pair{out_channel_box, rec.out_channel}})
            // The same value set again would still lay the box's text out anew,
            // ten times a second.
            if (!ZARNSpinBoxGuard::being_edited(box) && box->value() != value)
                box->setValue(value);
    }

    if (report_known && std::memcmp(&rec, &reported, sizeof rec) == 0)
        return;
    reported = rec;
    report_known = true;
    const QString head =
        QStringLiteral("Delay locator is %1. Output volume level is %2. Measured audio delay is "
                       "%3 samples")
            .arg(rec.enabled != 0 ? QStringLiteral("enabled") : QStringLiteral("disabled"),
                 QString::number(rec.output_level), QString::number(rec.delay_samples));
    // Without a sample rate there are no milliseconds to give ("inf" or
    // "nan" would say nothing).
    QString report = head + QStringLiteral(".");
    if (rec.sample_rate != 0) {
        // Single precision on purpose: 1234 samples at 48000 Hz read 25.708334.
        const float ms =
            static_cast<float>(rec.delay_samples) * 1000.0f / static_cast<float>(rec.sample_rate);
        report = head + QStringLiteral(" or %1 ms.").arg(static_cast<double>(ms), 0, 'f', 6);
    }
    if (report_label->text() != report.left(REPORT_MAX_CHARS))
        report_label->setText(report.left(REPORT_MAX_CHARS));
}

void ZARNAudioDelayLocator::set_channel_range(const zarn::DelayLocatorRecord &rec) {
    // A range set again rewrites the box's text, typed digits and all.
    if (in_channel_box->maximum() == rec.max_channel &&
        out_channel_box->maximum() == rec.max_channel)
        return;
    const QSignalBlocker b1(in_channel_box), b2(out_channel_box);
    in_channel_box->setRange(0, rec.max_channel);
    out_channel_box->setRange(0, rec.max_channel);
}

void ZARNAudioDelayLocator::handle_reset() {
    // The request carries no data; a valid address all the same keeps the
    // transport from ever seeing a null record.
    char unused = 0;
    zarn::ctl_request(connection->fd, zarn::REQ_DELAY_LOCATOR_RESET, &unused);
}

void ZARNAudioDelayLocator::handle_signal_up() {
    // Wraps instead of overflowing; the daemon owns the level's range.
    read_modify_write(connection->fd, [](zarn::DelayLocatorRecord &rec) {
        rec.output_level =
            static_cast<std::int32_t>(static_cast<std::uint32_t>(rec.output_level) + 1u);
    });
}

void ZARNAudioDelayLocator::handle_signal_down() {
    read_modify_write(connection->fd, [](zarn::DelayLocatorRecord &rec) {
        rec.output_level =
            static_cast<std::int32_t>(static_cast<std::uint32_t>(rec.output_level) - 1u);
    });
}

void ZARNAudioDelayLocator::handle_enable_disable() {
    read_modify_write(connection->fd, [](zarn::DelayLocatorRecord &rec) {
        rec.enabled = rec.enabled == 0 ? 1 : 0;
    });
}

void ZARNAudioDelayLocator::handle_channel_in() {
    const int value = in_channel_box->value();
    read_modify_write(connection->fd,
                      [value](zarn::DelayLocatorRecord &rec) { rec.in_channel = value; });
}

void ZARNAudioDelayLocator::handle_channel_out() {
    const int value = out_channel_box->value();
    read_modify_write(connection->fd,
                      [value](zarn::DelayLocatorRecord &rec) { rec.out_channel = value; });
}
