// SPDX-License-Identifier: BSD-2-Clause

#include "compressor/zarn_compressor.h"

#include <QAction>
#include <QCheckBox>
#include <QFontMetrics>
#include <QGridLayout>
#include <QLabel>
#include <QProgressBar>
#include <QPushButton>
#include <QSignalBlocker>
#include <QSpinBox>
#include <algorithm>
#include <cmath>

#include "app/strip_window.h"
#include "app/zarn_main_window.h"
#include "app/zarn_spin_box_guard.h"
#include "ctl/transport.h"

namespace {

// The four settings a user sets; the gain is the daemon's.
bool same_settings(const zarn::CompressorValues &a, const zarn::CompressorValues &b) {
    return a.enabled == b.enabled && a.knee == b.knee && a.attack == b.attack && a.decay == b.decay;
}

// The deepest reduction the bar shows, in tenths of a dB.
constexpr int REDUCTION_SHOWN = 240;

QSpinBox *make_box(int max) {
    auto *box = new QSpinBox;
    box->setRange(0, max);
    box->setValue(0);
    return box;
}

} // namespace

ZARNCompressor::ZARNCompressor(ZARNMainWindow *main_window, const zarn::Target &target,
                               const char *name, QWidget *owner)
    : QWidget(owner, Qt::Window), main_window(main_window), connection(main_window->connection),
      kind(target.kind), number(target.number), reported{}, known(false), shown{}, batched_read{},
      batched_result(-1), batched(false) {
    setWindowTitle(tr("Zarnmix Compressor for %1").arg(QString::fromUtf8(name ? name : "")));
    setWindowIcon(zarn::window_icon());
    auto *close_window = new QAction(tr("Close"), this);
    close_window->setShortcut(QKeySequence(Qt::CTRL | Qt::Key_W));
    connect(close_window, &QAction::triggered, this, &QWidget::close);
    addAction(close_window);

    grid = new QGridLayout(this);
    gain_label = new QLabel(QStringLiteral("1.0"));
    level_label = new QLabel(level_text(1000));
    reduction_bar = new QProgressBar;
    reduction_bar->setRange(0, REDUCTION_SHOWN);
    reduction_bar->setValue(0);
    reduction_bar->setTextVisible(false);
    reduction_bar->setFixedSize(64, 10);
    enabled_check = new QCheckBox(tr("On"));
    enabled_box = make_box(1);
    // Out of the layout but still the window's, so that it goes with it.
    enabled_box->setParent(this);
    enabled_box->hide();
    knee_box = make_box(zarn::KNEE_MAX);
    attack_box = make_box(zarn::TIME_CONSTANT_MAX);
    decay_box = make_box(zarn::TIME_CONSTANT_MAX);
    copy_button = new QPushButton(tr("COPY"));
    paste_button = new QPushButton(tr("PASTE"));

    grid->addWidget(new QLabel(tr("Current gain")), 0, 0);
    grid->addWidget(gain_label, 0, 1);
    grid->addWidget(level_label, 0, 2);
    grid->addWidget(reduction_bar, 0, 3);
    grid->addWidget(new QLabel(tr("Enabled")), 1, 0);
    grid->addWidget(enabled_check, 1, 1);
    grid->addWidget(new QLabel(tr("Knee")), 2, 0);
    grid->addWidget(knee_box, 2, 1);
    grid->addWidget(new QLabel(tr("Attack")), 3, 0);
    grid->addWidget(attack_box, 3, 1);
    grid->addWidget(new QLabel(tr("Decay")), 4, 0);
    grid->addWidget(decay_box, 4, 1);
    for (int row = 2; row < 5; ++row) {
        const int max = row == 2 ? zarn::KNEE_MAX : zarn::TIME_CONSTANT_MAX;
        grid->addWidget(new QLabel(tr("0 to %1").arg(max)), row, 2, 1, 2);
    }
    grid->addWidget(copy_button, 5, 0);
    grid->addWidget(paste_button, 5, 1);

    connect(copy_button, &QPushButton::clicked, this, &ZARNCompressor::handle_copy);
    connect(paste_button, &QPushButton::clicked, this, &ZARNCompressor::handle_paste);
    connect(enabled_check, &QCheckBox::toggled, enabled_box,
            [this](bool on) { enabled_box->setValue(on ? 1 : 0); });

    shown = box_values();
    refresh();

    for (QSpinBox *box : {enabled_box, knee_box, attack_box, decay_box})
        connect(box, qOverload<int>(&QSpinBox::valueChanged), this, &ZARNCompressor::handle_update);

    for (QSpinBox *box : {enabled_box, knee_box, attack_box, decay_box})
        ZARNSpinBoxGuard::guard(box);
    enabled_box->setAccessibleName(tr("Enabled"));
    knee_box->setAccessibleName(tr("Knee"));
    attack_box->setAccessibleName(tr("Attack"));
    decay_box->setAccessibleName(tr("Decay"));
    // The window is its strip's child: these must not read like the
    // equalizer's COPY and PASTE to someone who cannot see which window is which.
    copy_button->setAccessibleName(tr("Copy compressor settings"));
    paste_button->setAccessibleName(tr("Paste compressor settings"));
    explain_controls();
    // The figures change width as they change; room for the widest keeps
    // the labels beside them whole.
    const QFontMetrics metrics(font());
    gain_label->setMinimumWidth(metrics.horizontalAdvance(QStringLiteral("-2.14748e+06")));
    level_label->setMinimumWidth(metrics.horizontalAdvance(level_text(1) + QStringLiteral("00")));
    // Wide enough for the title the window manager draws.
    setMinimumWidth(QFontMetrics(font()).horizontalAdvance(windowTitle()) + 96);
}

QString ZARNCompressor::level_text(int gain) {
    if (gain <= 0)
        return tr("-inf dB");
    // Rounded to a tenth first, so that a gain just below 1 reads 0.0, not -0.0.
    const double db = std::round(200.0 * std::log10(gain / 1000.0)) / 10.0;
    return tr("%1 dB").arg(db == 0.0 ? 0.0 : db, 0, 'f', 1);
}

void ZARNCompressor::explain_controls() {
    // What the settings do is the daemon's; their ranges are the panel's.
    gain_label->setToolTip(tr("The gain the compressor applies now, as a factor: 1 leaves the "
                              "level as it is, 0.5 halves it; read every 100 ms"));
    // The guard adds each box's range.
    enabled_box->setToolTip(tr("1 switches the compressor on, 0 off."));
    enabled_check->setToolTip(tr("Switches the compressor on or off"));
    level_label->setToolTip(
        tr("The current gain as a level in dB; 0 dB leaves the level as it is"));
    reduction_bar->setToolTip(tr("How far the compressor reduces the level now, up to 24 dB"));
    knee_box->setToolTip(tr("Knee, in the daemon's units: where on the level scale the "
                            "compressor starts to reduce the gain."));
    attack_box->setToolTip(tr("Attack, in the daemon's units: how fast the gain falls when the "
                              "level rises."));
    decay_box->setToolTip(tr("Decay, in the daemon's units: how fast the gain recovers when "
                             "the level falls."));
    copy_button->setToolTip(tr("Mark this window as the one to paste from; its four settings "
                               "are taken when PASTE is pressed"));
    paste_button->setToolTip(tr("Take the four settings of the compressor window where COPY "
                                "was pressed last, and send them"));
}

void ZARNCompressor::showEvent(QShowEvent *event) {
    zarn::stand_alone(*this);
    QWidget::showEvent(event);
}

ZARNCompressor::~ZARNCompressor() {
    if (main_window->compressor_copy_source == this)
        main_window->compressor_copy_source = nullptr;
}

zarn::Target ZARNCompressor::target() const {
    return {kind, number, 0};
}

bool ZARNCompressor::read_settings(Settings &out) const {
    return connection->fd >= 0 && zarn::read_compressor(connection->fd, target(), out) == 0;
}

void ZARNCompressor::queue_gain(std::vector<zarn::BatchedRequest> &batch) {
    const zarn::KindInfo *info = zarn::kind_info(kind);
    if (connection->fd < 0 || !info || !info->has_compressor())
        return;
    batched = true;
    batched_read = zarn::compressor_query(target());
    batch.push_back({info->compressor_get, batched_read.bytes, &batched_result});
}

void ZARNCompressor::refresh_gain() {
    Settings s;
    if (batched) {
        batched = false;
        if (batched_result != 0)
            return;
        s = zarn::compressor_values(kind, batched_read);
    } else if (!read_settings(s)) {
        return;
    }
    // Six significant digits, trailing zeros dropped, exponent from a
    // million on: the C "%g" form, but independent of the process locale.
    const QString gain = QString::number(s.gain / 1000.0, 'g', 6);
    if (gain_label->text() != gain) {
        gain_label->setText(gain);
        level_label->setText(level_text(s.gain));
        // Tenths of a dB; no gain at all is the full bar.
        const double reduction =
            s.gain > 0 ? -200.0 * std::log10(s.gain / 1000.0) : double(REDUCTION_SHOWN);
        reduction_bar->setValue(
            static_cast<int>(std::clamp(reduction, 0.0, double(REDUCTION_SHOWN))));
        // The bar repaints itself only for a change of a whole chunk, several
        // dB here, so a reduction of 2 dB would not show.
        reduction_bar->update();
    }
    enabled_seen = s.enabled != 0;
    // The gain comes with the settings, so a window in view follows another
    // client's changes at no extra cost.
    if (isVisible())
        take_settings(s);
}

void ZARNCompressor::take_settings(const Settings &s) {
    known = true;
    if (same_settings(s, reported))
        return;
    reported = s;
    show_settings();
}

ZARNCompressor::Settings ZARNCompressor::box_values() const {
    return {enabled_box->value(), knee_box->value(), attack_box->value(), decay_box->value(), 0};
}

void ZARNCompressor::show_settings() {
    const QSignalBlocker b1(enabled_box), b2(knee_box), b3(attack_box), b4(decay_box),
        b5(enabled_check);
    for (auto [box, value] :
         {std::pair{enabled_box, reported.enabled}, std::pair{knee_box, reported.knee},
          std::pair{attack_box, reported.attack}, std::pair{decay_box, reported.decay}}) {
        // Digits the user is typing stay until committed.
        if (!ZARNSpinBoxGuard::being_edited(box))
            box->setValue(value);
    }
    enabled_check->setChecked(enabled_box->value() != 0);
    shown = box_values();
}

bool ZARNCompressor::refresh() {
    Settings s;
    known = read_settings(s);
    if (!known)
        return false;
    enabled_seen = s.enabled != 0;
    reported = s;
    show_settings();
    return true;
}

void ZARNCompressor::handle_update() {
    // Only the setting the user changed is taken from the boxes, onto the
    // settings as the daemon has them now: another client may have changed
    // them since they were last read. A failed read sends nothing.
    const Settings now = box_values();
    const Settings before = shown;
    if (same_settings(now, before))
        return;
    Settings fresh;
    if (!read_settings(fresh)) {
        show_settings();
        return;
    }
    known = true;
    reported = fresh;
    enabled_seen = fresh.enabled != 0;
    Settings next = fresh;
    for (int Settings::*field :
         {&Settings::enabled, &Settings::knee, &Settings::attack, &Settings::decay})
        if (now.*field != before.*field)
            next.*field = now.*field;
    if (same_settings(next, fresh)) {
        show_settings();
        return;
    }
    // A refused write changes nothing in the daemon, so the boxes go back.
    if (zarn::write_compressor(connection->fd, target(), next) == 0)
        reported = next;
    enabled_seen = reported.enabled != 0;
    show_settings();
}

void ZARNCompressor::handle_copy() {
    main_window->compressor_copy_source = this;
}

void ZARNCompressor::handle_paste() {
    ZARNCompressor *source = main_window->compressor_copy_source;
    if (!source || source == this)
        return;
    // Each setValue that changes a value writes at once, so a paste sends
    // one request per changed setting, in this order.
    enabled_check->setChecked(source->enabled_box->value() != 0);
    knee_box->setValue(source->knee_box->value());
    attack_box->setValue(source->attack_box->value());
    decay_box->setValue(source->decay_box->value());
}
