// SPDX-License-Identifier: BSD-2-Clause

#pragma once

#include <QWidget>
#include <cstdint>
#include <vector>

#include "ctl/catalogue.h"
#include "ctl/transport.h"

class QCheckBox;
class QGridLayout;
class QLabel;
class QProgressBar;
class QPushButton;
class QSpinBox;
class ZARNConnection;
class ZARNMainWindow;

// The compressor window of one device, loopback or the main output: four
// settings written back on every change, and the current gain as the
// watchdog reads it.
class ZARNCompressor : public QWidget {
    Q_OBJECT

public:
    // name is decoded as UTF-8 for the title. The window is built hidden.
    // The window serves the target's kind and number, on every channel. With
    // an owner (its strip) Qt deletes it with the owner.
    ZARNCompressor(ZARNMainWindow *main_window, const zarn::Target &target, const char *name,
                   QWidget *owner = nullptr);
    ZARNCompressor(ZARNMainWindow *main_window, int kind, int number, const char *name)
        : ZARNCompressor(main_window, zarn::Target{kind, number, 0}, name) {}
    ~ZARNCompressor() override;

    // Re-reads the record and shows the daemon's current gain; the answer to
    // queue_gain's request when the watchdog batched one since.
    void refresh_gain();
    // Puts the read that refresh_gain would issue into the watchdog's batch.
    void queue_gain(std::vector<zarn::BatchedRequest> &batch);
    // Re-reads the four settings and shows them without writing; false when
    // the read failed, which leaves the boxes as they were.
    bool refresh();
    // Whether the daemon last reported the compressor switched on.
    bool in_force() const { return enabled_seen; }
    // The gain in thousandths as a level: "-3.0 dB", "-inf dB" for none.
    static QString level_text(int gain);

    ZARNMainWindow *main_window;
    ZARNConnection *connection;
    int kind;
    int number;
    QGridLayout *grid;
    QLabel *gain_label;
    // The gain as a level, and how far it is reduced, beside the factor.
    QLabel *level_label;
    QProgressBar *reduction_bar;
    // "Enabled" is set with the check box; the box beside it, hidden, keeps
    // the value the record is built from.
    QCheckBox *enabled_check;
    QSpinBox *enabled_box;
    QSpinBox *knee_box;
    QSpinBox *attack_box;
    QSpinBox *decay_box;
    QPushButton *copy_button;
    QPushButton *paste_button;

public slots:
    void handle_copy();
    void handle_paste();
    void handle_update();

protected:
    void showEvent(QShowEvent *event) override;

private:
    // Tool tips: what each control does, with its range.
    void explain_controls();

    using Settings = zarn::CompressorValues;
    zarn::Target target() const;
    // Issues the kind's read request; false on failure or when the device
    // is closed.
    bool read_settings(Settings &out) const;
    void show_settings();
    // Shows settings read from the daemon when they differ from the last.
    void take_settings(const Settings &s);
    Settings box_values() const;

    // The settings as the daemon last reported or accepted them, valid only
    // while known, and what the boxes showed for them.
    Settings reported;
    bool known;
    Settings shown;
    // "Enabled" as the last read or accepted write had it, in view or not.
    bool enabled_seen = false;

    // The gain read of this tick that the watchdog batched, while pending.
    zarn::CompressorRecord batched_read;
    int batched_result;
    bool batched;
};
