// SPDX-License-Identifier: BSD-2-Clause

#include "strip/zarn_controller.h"

#include <QCheckBox>
#include <QFile>
#include <QFont>
#include <QGridLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QSignalBlocker>
#include <QSpinBox>
#include <algorithm>
#include <cstring>
#include <utility>

#include "app/strip_window.h"
#include "app/zarn_connection.h"
#include "app/zarn_main_window.h"
#include "app/zarn_spin_box_guard.h"
#include "compressor/zarn_compressor.h"
#include "ctl/bounded_string.h"
#include "ctl/catalogue.h"
#include "ctl/transport.h"
#include "eq/zarn_equalizer.h"
#include "routing/zarn_connect.h"
#include "strip/channel_link.h"
#include "strip/zarn_gain_label.h"
#include "strip/zarn_volume_bar.h"

namespace {

constexpr int TITLE_MAX_BYTES = 63;

} // namespace

ZARNController::ZARNController(ZARNMainWindow *main_window, const zarn::Target &target)
    : QGroupBox(nullptr), input_edit(nullptr), output_edit(nullptr), connect_row(0),
      compressor(nullptr), compressor_button(nullptr), link_box(nullptr),
      info(zarn::kind_info(target.kind)), refreshed_result(-1), refresh_queued(false) {
    grid = new QGridLayout(this);

    this->main_window = main_window;
    connection = main_window->connection;
    kind = target.kind;
    channel = target.channel;
    number = target.number;
    std::memset(&channel_config, 0, sizeof channel_config);
    channel_config.number = number;
    channel_config.channel = channel;
    std::memset(&monitor_config, 0, sizeof monitor_config);
    monitor_config.number = number;
    rx_amp = 0;
    tx_amp = 0;

    meter = new ZARNVolumeBar(this, target);

    rx_mute_box = new QCheckBox();
    tx_mute_box = new QCheckBox();
    rx_polarity_box = new QCheckBox();
    tx_polarity_box = new QCheckBox();
    auto *rx_gain = new ZARNGainLabel();
    auto *tx_gain = new ZARNGainLabel();
    connect(rx_gain, &ZARNGainLabel::valueEntered, this, [this](int value) {
        gesture({zarn::Role::rx_amp, false, value});
    });
    connect(tx_gain, &ZARNGainLabel::valueEntered, this, [this](int value) {
        gesture({zarn::Role::tx_amp, false, value});
    });
    rx_gain_label = rx_gain;
    tx_gain_label = tx_gain;
    // Wide enough for every gain, so a "-20" does not move the strip's columns.
    // Measured once per font: 63 texts measured for each of 128 strips were a
    // tenth of the start.
    static QString measured_font;
    static int gain_width = -1;
    if (const QString font = rx_gain_label->font().key(); gain_width < 0 || font != measured_font) {
        measured_font = font;
        gain_width = 0;
        for (int gain = -zarn::GAIN_MAX; gain <= zarn::GAIN_MAX; ++gain)
            gain_width = std::max(
                gain_width, rx_gain_label->fontMetrics().horizontalAdvance(QString::number(gain)));
    }
    for (QLabel *label : {rx_gain_label, tx_gain_label}) {
        label->setFixedWidth(gain_width);
        label->setAlignment(Qt::AlignCenter);
    }
    rx_up_button = new QPushButton(QStringLiteral("+"));
    rx_down_button = new QPushButton(QStringLiteral("-"));
    tx_up_button = new QPushButton(QStringLiteral("+"));
    tx_down_button = new QPushButton(QStringLiteral("-"));

    rx_eq_button = nullptr;
    tx_eq_button = nullptr;
    rx_equalizer = nullptr;
    tx_equalizer = nullptr;
    delay_box = nullptr;
    if (two_way()) {
        rx_eq_button = new QPushButton(QStringLiteral("EQ"));
        tx_eq_button = new QPushButton(QStringLiteral("EQ"));
        rx_equalizer = new ZARNEqualizer(main_window, target, true, this);
        tx_equalizer = new ZARNEqualizer(main_window, target, false, this);
        // A direction without a filter is greyed until the daemon reports one.
        rx_eq_button->setEnabled(rx_equalizer->filter_length > 0);
        tx_eq_button->setEnabled(tx_equalizer->filter_length > 0);
        // Checked while a filter is in force; a click opens the window.
        rx_eq_button->setCheckable(true);
        tx_eq_button->setCheckable(true);
        connect(rx_eq_button, &QPushButton::clicked, this, &ZARNController::handle_rx_eq);
        connect(tx_eq_button, &QPushButton::clicked, this, &ZARNController::handle_tx_eq);
        delay_box = new QSpinBox();
        delay_box->setSuffix(QStringLiteral(" samples"));
        connect(delay_box, qOverload<int>(&QSpinBox::valueChanged), this,
                &ZARNController::handle_set_config);
        // Placed once the strips show how many channels the target has.
        link_box = new QCheckBox(tr("Link channels"), this);
        link_box->hide();
        connect(link_box, &QCheckBox::toggled, this, &ZARNController::handle_link);
    }

    src_channel_box = new QSpinBox();
    src_channel_box->setRange(0, zarn::ROUTE_CHANNEL_MAX);
    src_channel_box->setPrefix(tr("SrcCh "));
    dst_channel_box = new QSpinBox();
    dst_channel_box->setRange(0, zarn::ROUTE_CHANNEL_MAX);
    dst_channel_box->setPrefix(tr("DstCh "));

    config_known = false;
    shown = widget_values();
    read_config();

    if (info && info->has_compressor()) {
        compressor_button = new QPushButton(tr("Compressor"));
        compressor_button->setCheckable(true);
        connect(compressor_button, &QPushButton::clicked, this, &ZARNController::handle_compressor);
        // One window per target, made by its channel-0 strip; the other
        // channels' buttons show that one.
        if (channel == 0) {
            const std::string name = info->named() ? config_name() : std::string(info->title);
            compressor = new ZARNCompressor(main_window, target, name.c_str(), this);
        }
    }

    connect_signals();
    place_widgets();

    for (QSpinBox *box : {src_channel_box, dst_channel_box, delay_box}) {
        if (box)
            ZARNSpinBoxGuard::guard(box);
    }
    explain_controls();
}

void ZARNController::connect_signals() {
    for (QCheckBox *box : {rx_mute_box, tx_mute_box, rx_polarity_box, tx_polarity_box})
        connect(box, &QCheckBox::stateChanged, this, &ZARNController::handle_set_config);
    // Held, a gain button steps again and again. pressed() comes at once and
    // at every repeat; clicked() would add a step at the release.
    for (QPushButton *button : {rx_up_button, rx_down_button, tx_up_button, tx_down_button})
        button->setAutoRepeat(true);
    connect(rx_up_button, &QPushButton::pressed, this, &ZARNController::handle_rx_amp_up);
    connect(rx_down_button, &QPushButton::pressed, this, &ZARNController::handle_rx_amp_down);
    connect(tx_up_button, &QPushButton::pressed, this, &ZARNController::handle_tx_amp_up);
    connect(tx_down_button, &QPushButton::pressed, this, &ZARNController::handle_tx_amp_down);
    connect(src_channel_box, qOverload<int>(&QSpinBox::valueChanged), this,
            &ZARNController::handle_set_config);
    connect(dst_channel_box, qOverload<int>(&QSpinBox::valueChanged), this,
            &ZARNController::handle_set_config);
}

void ZARNController::place_widgets() {
    const Qt::Alignment centre = Qt::AlignCenter;
    if (two_way()) {
        grid->addWidget(new QLabel(QStringLiteral("RX")), 0, 0, 1, 1, centre);
        grid->addWidget(new QLabel(QStringLiteral("TX")), 1, 0, 1, 1, centre);
        grid->addWidget(meter, 0, 1, 2, 1, centre);
        grid->addWidget(new QLabel(QStringLiteral("MUTE:")), 0, 2, 1, 1, centre);
        grid->addWidget(new QLabel(QStringLiteral("MUTE:")), 1, 2, 1, 1, centre);
        grid->addWidget(rx_mute_box, 0, 3, 1, 1, centre);
        grid->addWidget(tx_mute_box, 1, 3, 1, 1, centre);
        grid->addWidget(new QLabel(QStringLiteral("POL:")), 0, 4, 1, 1, centre);
        grid->addWidget(new QLabel(QStringLiteral("POL:")), 1, 4, 1, 1, centre);
        grid->addWidget(rx_polarity_box, 0, 5, 1, 1, centre);
        grid->addWidget(tx_polarity_box, 1, 5, 1, 1, centre);
        grid->addWidget(src_channel_box, 0, 6, 1, 1, centre);
        grid->addWidget(dst_channel_box, 1, 6, 1, 1, centre);
        grid->addWidget(rx_up_button, 0, 7, 1, 1, centre);
        grid->addWidget(tx_up_button, 1, 7, 1, 1, centre);
        grid->addWidget(rx_gain_label, 0, 8, 1, 1, centre);
        grid->addWidget(tx_gain_label, 1, 8, 1, 1, centre);
        grid->addWidget(rx_down_button, 0, 9, 1, 1, centre);
        grid->addWidget(tx_down_button, 1, 9, 1, 1, centre);
        grid->addWidget(compressor_button, 0, 10, 1, 1, centre);
        grid->addWidget(rx_eq_button, 0, 11, 1, 1, centre);
        grid->addWidget(tx_eq_button, 1, 11, 1, 1, centre);
        grid->addWidget(new QLabel(QStringLiteral("DELAY:")), 0, 12, 1, 1, centre);
        grid->addWidget(delay_box, 0, 13, 1, 1, centre);
    } else if (config_record()) {
        grid->addWidget(meter, 0, 0, 1, 1, centre);
        grid->addWidget(new QLabel(QStringLiteral("MUTE:")), 0, 1, 1, 1, centre);
        grid->addWidget(rx_mute_box, 0, 2, 1, 1, centre);
        grid->addWidget(new QLabel(QStringLiteral("POL:")), 0, 3, 1, 1, centre);
        grid->addWidget(rx_polarity_box, 0, 4, 1, 1, centre);
        grid->addWidget(src_channel_box, 0, 5, 1, 1, centre);
        grid->addWidget(dst_channel_box, 0, 6, 1, 1, centre);
        grid->addWidget(rx_up_button, 0, 7, 1, 1, centre);
        grid->addWidget(rx_gain_label, 0, 8, 1, 1, centre);
        grid->addWidget(rx_down_button, 0, 9, 1, 1, centre);
    } else if (compressor_button) {
        grid->addWidget(meter, 0, 0, 1, 1, Qt::AlignLeft);
        grid->addWidget(compressor_button, 0, 1, 1, 1, centre);
    } else {
        grid->addWidget(meter, 0, 0, 1, 1, Qt::AlignLeft);
    }

    // Controls this kind does not place are never shown; the strip still
    // owns them so they go with it.
    QWidget *created[] = {rx_mute_box,   tx_mute_box,    rx_polarity_box, tx_polarity_box,
                          rx_gain_label, tx_gain_label,  rx_up_button,    rx_down_button,
                          tx_up_button,  tx_down_button, src_channel_box, dst_channel_box};
    for (QWidget *w : created) {
        if (!w->parentWidget()) {
            w->setParent(this);
            w->hide();
        }
    }
}

void ZARNController::name_controls() {
    // "dsp0 - Ch1, RX mute": the strip, the row and the function, for a
    // screen reader that would otherwise hear "check box" many times over.
    QString strip = title();
    if (strip.isEmpty())
        strip = tr("Channel %1.%2").arg(number).arg(channel);
    const QString rx = two_way() ? QStringLiteral("RX ") : QString();
    const std::pair<QWidget *, QString> names[] = {
        {rx_mute_box, rx + tr("mute")},
        {tx_mute_box, QStringLiteral("TX ") + tr("mute")},
        {rx_polarity_box, rx + tr("polarity")},
        {tx_polarity_box, QStringLiteral("TX ") + tr("polarity")},
        {src_channel_box, tr("source channel")},
        {dst_channel_box, tr("destination channel")},
        {rx_up_button, rx + tr("gain up")},
        {rx_down_button, rx + tr("gain down")},
        {tx_up_button, QStringLiteral("TX ") + tr("gain up")},
        {tx_down_button, QStringLiteral("TX ") + tr("gain down")},
        {rx_gain_label, rx + tr("gain")},
        {tx_gain_label, QStringLiteral("TX ") + tr("gain")},
        {rx_eq_button, QStringLiteral("RX ") + tr("equalizer")},
        {tx_eq_button, QStringLiteral("TX ") + tr("equalizer")},
        {delay_box, tr("delay")},
        {compressor_button, tr("compressor")},
        {link_box, tr("link channels")},
        {meter, tr("level meter")},
        {input_edit, tr("diagram input")},
        {output_edit, tr("diagram output")},
    };
    for (const auto &[widget, function] : names) {
        if (widget)
            widget->setAccessibleName(strip + QStringLiteral(", ") + function);
    }
}

std::vector<QWidget *> ZARNController::tab_chain() const {
    const std::vector<QWidget *> order = {
        rx_mute_box,       rx_polarity_box, src_channel_box, rx_up_button, rx_down_button,
        compressor_button, rx_eq_button,    delay_box,       tx_mute_box,  tx_polarity_box,
        dst_channel_box,   tx_up_button,    tx_down_button,  tx_eq_button, link_box};
    std::vector<QWidget *> chain;
    for (QWidget *w : order) {
        // Only what this kind places is visited; the rest stays hidden.
        if (w && grid->indexOf(w) >= 0)
            chain.push_back(w);
    }
    return chain;
}

std::string ZARNController::config_name() const {
    return zarn::bounded_string(channel_config.name, sizeof channel_config.name);
}

bool ZARNController::two_way() const {
    return info && info->two_way();
}

zarn::Target ZARNController::target() const {
    return {kind, number, channel};
}

void *ZARNController::config_record() {
    if (!info || !info->has_config())
        return nullptr;
    return info->two_way() ? static_cast<void *>(&channel_config) : &monitor_config;
}

QCheckBox *ZARNController::check_box(zarn::Role role) const {
    switch (role) {
    case zarn::Role::rx_mute:
        return rx_mute_box;
    case zarn::Role::tx_mute:
        return tx_mute_box;
    case zarn::Role::rx_polarity:
        return rx_polarity_box;
    case zarn::Role::tx_polarity:
        return tx_polarity_box;
    default:
        return nullptr;
    }
}

QSpinBox *ZARNController::spin_box(zarn::Role role) const {
    switch (role) {
    case zarn::Role::src_channel:
        return src_channel_box;
    case zarn::Role::dst_channel:
        return dst_channel_box;
    case zarn::Role::delay:
        return delay_box;
    default:
        return nullptr;
    }
}

ZARNController::Shown ZARNController::widget_values() const {
    Shown values{};
    values[static_cast<std::size_t>(zarn::Role::rx_amp)] = rx_amp;
    values[static_cast<std::size_t>(zarn::Role::tx_amp)] = tx_amp;
    for (int r = 0; r < zarn::ROLE_COUNT; ++r) {
        const auto role = static_cast<zarn::Role>(r);
        if (const QCheckBox *box = check_box(role))
            values[static_cast<std::size_t>(r)] = box->isChecked();
        else if (const QSpinBox *box = spin_box(role))
            values[static_cast<std::size_t>(r)] = box->value();
    }
    return values;
}

bool ZARNController::under_hand(zarn::Role role) const {
    if (role == zarn::Role::rx_amp)
        return rx_up_button->isDown() || rx_down_button->isDown();
    if (role == zarn::Role::tx_amp)
        return tx_up_button->isDown() || tx_down_button->isDown();
    if (const QCheckBox *box = check_box(role))
        return box->isDown();
    const QSpinBox *box = spin_box(role);
    return box && ZARNSpinBoxGuard::being_edited(box);
}

void ZARNController::show_value(zarn::Role role, int value) {
    // What the user is typing or pressing stays; the next refresh shows the
    // daemon's value once the hand is off.
    if (under_hand(role))
        return;
    if (role == zarn::Role::rx_amp)
        set_rx_gain(value);
    else if (role == zarn::Role::tx_amp)
        set_tx_gain(value);
    else if (QCheckBox *box = check_box(role))
        box->setChecked(value != 0);
    else if (QSpinBox *box = spin_box(role))
        box->setValue(value);
}

bool ZARNController::read_config() {
    if (void *record = config_record()) {
        // A failed read leaves the record untouched, but it may be stale:
        // the next change reads again before it writes.
        config_known = zarn::read_config(connection->fd, target(), record) == 0;
        if (!config_known)
            return false;
    }
    show_config();
    return true;
}

void ZARNController::show_unread() {
    const QSignalBlocker b1(rx_mute_box), b2(tx_mute_box), b3(rx_polarity_box), b4(tx_polarity_box),
        b5(src_channel_box), b6(dst_channel_box), b7(delay_box);
    for (QCheckBox *box : {rx_mute_box, tx_mute_box, rx_polarity_box, tx_polarity_box})
        box->setChecked(false);
    rx_amp = 0;
    tx_amp = 0;
    rx_gain_label->clear();
    tx_gain_label->clear();
    src_channel_box->setValue(0);
    dst_channel_box->setValue(0);
    if (delay_box) {
        const QSpinBox plain;
        delay_box->setRange(plain.minimum(), plain.maximum());
        delay_box->setValue(0);
    }
    setTitle(QString());
    shown = widget_values();
}

void ZARNController::show_config() {
    // A record never read is not shown as if the daemon had sent zeros.
    if (config_record() && !config_known) {
        show_unread();
        return;
    }
    if (void *record = config_record()) {
        const QSignalBlocker b1(rx_mute_box), b2(tx_mute_box), b3(rx_polarity_box),
            b4(tx_polarity_box), b5(src_channel_box), b6(dst_channel_box), b7(delay_box);
        // A range set again rewrites the box's text, typed digits and all.
        if (delay_box && delay_box->maximum() != channel_config.delay_limit)
            delay_box->setRange(0, channel_config.delay_limit);
        for (const zarn::Field &field : *info->config_fields)
            show_value(field.role, zarn::field_value(record, field));
    }
    // The daemon may fill all 36 bytes of a name without a terminating NUL.
    if (info)
        set_title(info->named() ? config_name().c_str() : info->title);
    for (ZARNEqualizer *eq : {rx_equalizer, tx_equalizer})
        if (eq)
            eq->name_target(config_name());
    name_controls();
    shown = widget_values();
}

void ZARNController::refresh() {
    read_config();
    if (compressor)
        compressor->refresh();
    for (ZARNEqualizer *eq : {rx_equalizer, tx_equalizer})
        if (eq)
            eq->refresh();
}

void ZARNController::set_title(const char *text) {
    const QString title = title_for(kind, number, channel, text);
    setTitle(channel_label.isEmpty() ? title
                                     : QStringLiteral("%1 \u2013 %2").arg(title, channel_label));
}

QString ZARNController::title_for(int kind, int number, int channel, const char *text) {
    // The title is cut where a 64-byte buffer would cut its UTF-8 bytes, so it
    // is put together byte for byte (Latin-1 keeps one character a byte) and
    // decoded only once cut.
    const zarn::KindInfo *info = zarn::kind_info(kind);
    const QString bytes =
        text[0] != '\0'
            ? QStringLiteral("%1 - Ch%2")
                  .arg(QString::fromLatin1(text),
                       QString::number(info && info->peak_layout == zarn::PeakLayout::by_number
                                           ? number
                                           : channel))
            : QStringLiteral("Channel %1.%2").arg(number).arg(channel);
    return QString::fromUtf8(bytes.left(TITLE_MAX_BYTES).toLatin1());
}

void ZARNController::set_rx_gain(int v) {
    rx_amp = std::clamp(v, -zarn::GAIN_MAX, zarn::GAIN_MAX);
    rx_gain_label->setText(QString::number(rx_amp));
}

void ZARNController::set_tx_gain(int v) {
    tx_amp = std::clamp(v, -zarn::GAIN_MAX, zarn::GAIN_MAX);
    tx_gain_label->setText(QString::number(tx_amp));
}

void ZARNController::handle_rx_amp_up() {
    gesture({zarn::Role::rx_amp, true, 1});
}

void ZARNController::handle_rx_amp_down() {
    gesture({zarn::Role::rx_amp, true, -1});
}

void ZARNController::handle_rx_eq() {
    if (rx_equalizer != nullptr)
        zarn::show_beside(*rx_equalizer, this);
    mark_processing();
}

void ZARNController::handle_tx_amp_up() {
    gesture({zarn::Role::tx_amp, true, 1});
}

void ZARNController::handle_tx_amp_down() {
    gesture({zarn::Role::tx_amp, true, -1});
}

void ZARNController::handle_tx_eq() {
    if (tx_equalizer != nullptr)
        zarn::show_beside(*tx_equalizer, this);
    mark_processing();
}

void ZARNController::handle_set_config() {
    // A mute ticked on one channel of a linked target is ticked on all.
    if (linked()) {
        const Shown now = widget_values();
        for (const zarn::Role role : {zarn::Role::rx_mute, zarn::Role::tx_mute}) {
            const auto r = static_cast<std::size_t>(role);
            if (now[r] != shown[r]) {
                gesture({role, false, now[r]});
                return;
            }
        }
    }
    send_changes();
}

bool ZARNController::linked() const {
    return link_box && link_box->isChecked() && grid->indexOf(link_box) >= 0;
}

std::vector<ZARNController *> ZARNController::target_strips() const {
    std::vector<ZARNController *> same;
    for (ZARNController *strip : main_window->strips) {
        if (strip && strip->kind == kind && strip->number == number)
            same.push_back(strip);
    }
    std::stable_sort(
        same.begin(), same.end(),
        [](const ZARNController *a, const ZARNController *b) { return a->channel < b->channel; });
    return same;
}

void ZARNController::gesture(const zarn::Gesture &gesture) {
    if (!zarn::follows_link(gesture.role) || !linked()) {
        carry_out(gesture);
        return;
    }
    for (ZARNController *strip : target_strips())
        strip->carry_out(gesture);
}

void ZARNController::carry_out(const zarn::Gesture &gesture) {
    const int value =
        zarn::gesture_result(gesture, widget_values()[static_cast<std::size_t>(gesture.role)]);
    if (gesture.role == zarn::Role::rx_amp) {
        set_rx_gain(value);
    } else if (gesture.role == zarn::Role::tx_amp) {
        set_tx_gain(value);
    } else if (QCheckBox *box = check_box(gesture.role)) {
        const QSignalBlocker blocker(box);
        box->setChecked(value != 0);
    }
    send_changes();
}

void ZARNController::arrange_links(ZARNMainWindow *main_window) {
    const QString device = QFile::decodeName(main_window->device_path);
    for (ZARNController *strip : main_window->strips) {
        if (!strip || !strip->link_box)
            continue;
        const bool several = strip->target_strips().size() > 1;
        strip->place_link(several);
        const QSignalBlocker blocker(strip->link_box);
        strip->link_box->setChecked(several && zarn::channels_linked(device, strip->target()));
    }
}

void ZARNController::place_link(bool several) {
    if (several == (grid->indexOf(link_box) >= 0))
        return;
    // Below the delay, where the transmit row has no cells of its own.
    if (several) {
        grid->addWidget(link_box, 1, 12, 1, 2, Qt::AlignCenter);
        link_box->show();
    } else {
        grid->removeWidget(link_box);
        link_box->hide();
    }
}

void ZARNController::handle_link(bool on) {
    zarn::keep_channels_linked(QFile::decodeName(connection->device_path), target(), on);
    for (ZARNController *strip : target_strips()) {
        if (strip != this) {
            const QSignalBlocker blocker(strip->link_box);
            strip->link_box->setChecked(on);
        }
    }
}

void ZARNController::send_changes() {
    void *record = config_record();
    if (!record) {
        connection->announce_routes_changed();
        return;
    }
    const Shown now = widget_values();
    const Shown before = shown;
    if (now == before)
        return;
    // Another client may have changed the target since it was last read, so
    // the record is read now and only the fields of this action change in
    // it. A failed read sends nothing and the controls go back.
    zarn::ConfigRecord fresh;
    const std::size_t size = two_way() ? sizeof channel_config : sizeof monitor_config;
    std::memcpy(fresh.bytes, record, size);
    if (zarn::read_config(connection->fd, target(), fresh.bytes) != 0) {
        show_config();
        return;
    }
    std::memcpy(record, fresh.bytes, size);
    config_known = true;
    for (const zarn::Field &field : *info->config_fields) {
        const auto role = static_cast<std::size_t>(field.role);
        if (now[role] != before[role])
            zarn::set_field(fresh.bytes, field, now[role]);
    }
    // A refused write changes nothing in the daemon, so the widgets show
    // what it has.
    if (zarn::write_config(connection->fd, target(), fresh.bytes) == 0)
        std::memcpy(record, fresh.bytes, size);
    show_config();
    connection->announce_routes_changed();
}

void ZARNController::queue_refresh(std::vector<zarn::BatchedRequest> &batch, bool whole) {
    if (void *record = config_record()) {
        std::memcpy(refreshed.bytes, record,
                    two_way() ? sizeof channel_config : sizeof monitor_config);
        batch.push_back({info->config_get, refreshed.bytes, &refreshed_result});
        refresh_queued = true;
    }
    if (!whole)
        return;
    for (ZARNEqualizer *eq : {rx_equalizer, tx_equalizer})
        if (eq)
            eq->queue_refresh(batch);
    // A hidden compressor is read with its strip's record, at the live view's
    // rate, so the strip's marker follows another client; a shown one is read
    // every tick with the meters.
    if (compressor && !compressor->isVisible()) {
        compressor->queue_gain(batch);
        compressor_queued = true;
    }
}

bool ZARNController::take_refresh() {
    for (auto [eq, button] :
         {std::pair{rx_equalizer, rx_eq_button}, std::pair{tx_equalizer, tx_eq_button}}) {
        if (eq && eq->take_refresh())
            button->setEnabled(eq->filter_length > 0);
    }
    if (std::exchange(compressor_queued, false))
        mark_compressor();
    mark_processing();
    if (!refresh_queued)
        return false;
    refresh_queued = false;
    void *record = config_record();
    const std::size_t size = two_way() ? sizeof channel_config : sizeof monitor_config;
    if (refreshed_result != 0 || (config_known && std::memcmp(record, refreshed.bytes, size) == 0))
        return false;
    std::memcpy(record, refreshed.bytes, size);
    config_known = true;
    show_config();
    return true;
}

void ZARNController::handle_compressor() {
    for (ZARNController *strip : main_window->strips) {
        if (strip && strip->kind == kind && strip->number == number && strip->channel == 0 &&
            strip->compressor)
            zarn::show_beside(*strip->compressor, this);
    }
    mark_processing();
}

void ZARNController::queue_level_requests(std::vector<zarn::BatchedRequest> &batch, bool in_view) {
    if (in_view)
        meter->queue_peak(batch);
    // A hidden window's gain is read when it is shown, not every tick.
    if (compressor && compressor->isVisible())
        compressor->queue_gain(batch);
}

void ZARNController::refresh_levels() {
    // A meter without a reading of this tick is out of view: its repaint
    // would paint nothing, at the cost of a paint of the window. The marks
    // follow what the windows learnt since, while they can be seen.
    if (meter->reading_queued()) {
        meter->repaint();
        mark_processing();
    }
    if (compressor && compressor->isVisible())
        mark_compressor();
}

void ZARNController::mark_compressor() {
    compressor->refresh_gain();
    // Every strip of the target marks the one compressor.
    for (ZARNController *strip : main_window->strips)
        if (strip && strip->kind == kind && strip->number == number)
            strip->mark_processing();
}

void ZARNController::show_filters() {
    if (rx_equalizer)
        rx_eq_button->setEnabled(rx_equalizer->filter_length > 0);
    if (tx_equalizer)
        tx_eq_button->setEnabled(tx_equalizer->filter_length > 0);
    mark_processing();
}

void ZARNController::mark_processing() {
    for (auto [eq, button] :
         {std::pair{rx_equalizer, rx_eq_button}, std::pair{tx_equalizer, tx_eq_button}}) {
        if (eq && button->isChecked() != (eq->coefficients != nullptr))
            button->setChecked(eq->coefficients != nullptr);
    }
    if (!compressor_button)
        return;
    const ZARNCompressor *shared = compressor;
    if (!shared) {
        for (ZARNController *strip : main_window->strips)
            if (strip && strip->kind == kind && strip->number == number && strip->compressor)
                shared = strip->compressor;
    }
    const bool on = shared && shared->in_force();
    if (compressor_button->isChecked() != on)
        compressor_button->setChecked(on);
}

void ZARNController::explain_controls() {
    const bool two_way = this->two_way();
    // A monitor has one direction, kept in the RX controls.
    const QString rx = two_way ? tr("receive (RX)") : tr("monitor");
    const QString tx = tr("transmit (TX)");
    const auto gain = [](const QString &direction) {
        return tr("Gain of the %1 direction in the daemon's steps, from %2 to %3")
            .arg(direction)
            .arg(-zarn::GAIN_MAX)
            .arg(zarn::GAIN_MAX);
    };
    rx_mute_box->setToolTip(tr("Mute the %1 direction").arg(rx));
    tx_mute_box->setToolTip(tr("Mute the %1 direction").arg(tx));
    rx_polarity_box->setToolTip(tr("Invert the polarity of the %1 direction").arg(rx));
    tx_polarity_box->setToolTip(tr("Invert the polarity of the %1 direction").arg(tx));
    rx_gain_label->setToolTip(gain(rx));
    tx_gain_label->setToolTip(gain(tx));
    rx_up_button->setToolTip(
        tr("Raise the %1 gain by one step, up to %2").arg(rx).arg(zarn::GAIN_MAX));
    rx_down_button->setToolTip(
        tr("Lower the %1 gain by one step, down to %2").arg(rx).arg(-zarn::GAIN_MAX));
    tx_up_button->setToolTip(
        tr("Raise the %1 gain by one step, up to %2").arg(tx).arg(zarn::GAIN_MAX));
    tx_down_button->setToolTip(
        tr("Lower the %1 gain by one step, down to %2").arg(tx).arg(-zarn::GAIN_MAX));

    QString source, destination;
    switch (kind) {
    case zarn::KIND_DEVICE:
        source = tr("the main input channel routed to this channel");
        destination = tr("the main output channel this channel feeds");
        break;
    case zarn::KIND_LOOP:
        source = tr("the main output channel this loopback channel records");
        destination = tr("the destination channel of this loopback channel");
        break;
    case zarn::KIND_INPUT_MONITOR:
        source = tr("the main input channel monitored");
        destination = tr("the main output channel it is heard on");
        break;
    case zarn::KIND_OUTPUT_MONITOR:
        source = tr("the main output channel monitored");
        destination = tr("the main output channel it is copied to");
        break;
    default:
        source = tr("the channel monitored");
        destination = tr("the channel it is heard on");
        break;
    }
    // The guard adds each box's range as it stands when the tip is shown.
    src_channel_box->setToolTip(tr("Source channel: %1.").arg(source));
    dst_channel_box->setToolTip(tr("Destination channel: %1.").arg(destination));

    if (two_way) {
        // The buttons' enabled state may change when the daemon is read
        // again, so the tips cover both.
        rx_eq_button->setToolTip(tr("Open the equalizer of the receive (RX) direction; greyed "
                                    "when the daemon has no filter for it"));
        tx_eq_button->setToolTip(tr("Open the equalizer of the transmit (TX) direction; greyed "
                                    "when the daemon has no filter for it"));
        delay_box->setToolTip(tr("Delay of this channel in samples, up to the largest the "
                                 "daemon accepts."));
        link_box->setToolTip(tr("While ticked, a gain step, a typed gain or a mute on one "
                                "channel goes to every channel of this device or loopback; "
                                "polarity, routing and delay stay with each channel"));
    }
    if (compressor_button)
        compressor_button->setToolTip(
            !two_way ? tr("Open the compressor window of the main output")
                     : tr("Open the compressor window of this device or loopback, shared by its "
                          "channels"));
    meter->setToolTip(two_way ? tr("Peak level: receive (RX) above, transmit (TX) below; "
                                   "full width is full scale, each mark an eighth of it")
                              : tr("Peak level: full width is full scale, each mark an "
                                   "eighth of it"));
}
