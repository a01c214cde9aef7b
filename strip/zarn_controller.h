// SPDX-License-Identifier: BSD-2-Clause

#pragma once

#include <QGroupBox>
#include <array>
#include <string>
#include <vector>

#include "ctl/catalogue.h"
#include "ctl/channel_config.h"
#include "ctl/monitor_config.h"
#include "ctl/transport.h"
#include "strip/channel_link.h"

class QCheckBox;
class QGridLayout;
class QLabel;
class QLineEdit;
class QPushButton;
class QSpinBox;
class ZARNCompressor;
class ZARNConnection;
class ZARNEqualizer;
class ZARNMainWindow;
class ZARNVolumeBar;

// One channel strip: the controls and level meter of one control target.
class ZARNController : public QGroupBox {
    Q_OBJECT

public:
    ZARNController(ZARNMainWindow *main_window, const zarn::Target &target);
    ZARNController(ZARNMainWindow *main_window, int kind, int channel, int number)
        : ZARNController(main_window, zarn::Target{kind, number, channel}) {}

    zarn::Target target() const;

    // Reads the configuration record and shows it; false when the read
    // failed, which leaves the widgets as they were.
    bool read_config();
    // After the daemon came back: the record, title and widgets as it has
    // them now, and its compressor and equalizer windows likewise.
    void refresh();
    void set_title(const char *text);
    // The title a strip of the target shows, given its configured name (for
    // the kinds that have one) or its kind's title.
    static QString title_for(int kind, int number, int channel, const char *text);
    void set_rx_gain(int v);
    void set_tx_gain(int v);
    // The watchdog's work on the strip each tick: the meter repainted at
    // once and the compressor's gain shown. queue_level_requests first puts
    // the requests of both into the tick's batch; the meter's only while
    // the strip is in view, and only a meter with a reading is repainted.
    void queue_level_requests(std::vector<zarn::BatchedRequest> &batch, bool in_view = true);
    void refresh_levels();
    // Live view: puts the reads of the strip's configuration and its filter
    // lengths into the tick's batch, then shows their answers without
    // writing. take_refresh is true when the configuration changed. Without
    // whole only the configuration, all the diagram draws from.
    void queue_refresh(std::vector<zarn::BatchedRequest> &batch, bool whole = true);
    bool take_refresh();
    // Greys an EQ button whose direction has no filter and marks what is in
    // force, once the equalizer windows have read the daemon.
    void show_filters();
    // The configured name, never read past its 36-byte field: the daemon may
    // fill it to the last byte without a NUL.
    std::string config_name() const;
    // The strip's controls in the order Tab visits them: the RX row, then
    // the TX row, each from left to right.
    std::vector<QWidget *> tab_chain() const;
    // Accessible names of the controls, from the strip's title.
    void name_controls();
    // A gain step, a typed gain or a mute: on this strip, or while its
    // channels are linked on every channel of its target, in channel order.
    void gesture(const zarn::Gesture &gesture);
    bool linked() const;
    // The strips of this strip's target, in channel order.
    std::vector<ZARNController *> target_strips() const;
    // After the strips were made: the "link channels" toggle on every strip
    // of a device or loopback with several channels, as the user left it.
    static void arrange_links(ZARNMainWindow *main_window);

    ZARNMainWindow *main_window;
    ZARNConnection *connection;
    QGridLayout *grid;
    QCheckBox *rx_mute_box;
    QCheckBox *tx_mute_box;
    QCheckBox *rx_polarity_box;
    QCheckBox *tx_polarity_box;
    QLabel *rx_gain_label;
    QLabel *tx_gain_label;
    QPushButton *rx_up_button;
    QPushButton *rx_down_button;
    QPushButton *tx_up_button;
    QPushButton *tx_down_button;
    QPushButton *rx_eq_button;
    QPushButton *tx_eq_button;
    ZARNEqualizer *rx_equalizer;
    ZARNEqualizer *tx_equalizer;
    QLineEdit *input_edit;
    QLineEdit *output_edit;
    int connect_row;
    // The user's name for the channel, shown after the title; empty for none.
    QString channel_label;
    ZARNCompressor *compressor;
    QPushButton *compressor_button;
    QSpinBox *src_channel_box;
    QSpinBox *dst_channel_box;
    QSpinBox *delay_box;
    ZARNVolumeBar *meter;
    // "Link channels"; placed only on targets with several channels, null
    // for the kinds that have none.
    QCheckBox *link_box;
    int kind;
    int channel;
    int number;
    int rx_amp;
    int tx_amp;
    // The record as the daemon last reported or accepted it; valid only
    // while config_known.
    zarn::ChannelConfig channel_config;
    zarn::MonitorConfig monitor_config;
    bool config_known;

public slots:
    void handle_rx_amp_up();
    void handle_rx_amp_down();
    void handle_rx_eq();
    void handle_tx_amp_up();
    void handle_tx_amp_down();
    void handle_tx_eq();
    void handle_set_config();
    void handle_compressor();

public:
    // Checks the EQ and Compressor buttons while the filter or compressor is
    // in force, as the windows last learnt from the daemon.
    void mark_processing();

private:
    // What the widgets showed when the record was last put into them; a
    // widget that differs from it is a change the user made.
    using Shown = std::array<int, zarn::ROLE_COUNT>; // by zarn::Role
    Shown shown;
    Shown widget_values() const;
    // Puts one field's value into the control of its role.
    void show_value(zarn::Role role, int value);
    // Whether the user is pressing or typing into the role's control.
    bool under_hand(zarn::Role role) const;
    // The role's control where it is a check box or a spin box; nullptr for
    // the gains (and for a delay the kind does not place).
    QCheckBox *check_box(zarn::Role role) const;
    QSpinBox *spin_box(zarn::Role role) const;
    bool two_way() const;
    // The gesture on this strip alone: one read-modify-write of its field.
    void carry_out(const zarn::Gesture &gesture);
    // Reads the record and writes it with the fields the user changed.
    void send_changes();
    void handle_link(bool on);
    void place_link(bool several);
    // The record of the kind's configuration; nullptr for a kind without.
    void *config_record();
    const zarn::KindInfo *info; // nullptr for a value that is no kind
    // The live view's read of the configuration, while queued.
    zarn::ConfigRecord refreshed;
    int refreshed_result;
    bool refresh_queued;
    // A hidden compressor's read rides with the live view's.
    bool compressor_queued = false;
    void mark_compressor();
    // Puts the known record into the widgets without sending anything.
    void show_config();
    // The controls of a strip whose record was never read: empty and at 0.
    void show_unread();
    void connect_signals();
    void place_widgets();
    // Tool tips: what each control does, with its unit and range.
    void explain_controls();
};
