// SPDX-License-Identifier: BSD-2-Clause

#include "app/zarn_tray.h"

#include <QActionGroup>
#include <QApplication>
#include <QCheckBox>
#include <QCloseEvent>
#include <QFile>
#include <QFileInfo>
#include <QMenu>
#include <QPainter>
#include <QSettings>
#include <QSystemTrayIcon>
#include <QTimer>
#include <QWheelEvent>
#include <algorithm>

#include "app/kept_settings.h"
#include "app/window_places.h"
#include "app/zarn_main_window.h"
#include "compressor/zarn_compressor.h"
#include "ctl/catalogue.h"
#include "eq/zarn_equalizer.h"
#include "panels/zarn_setup_panel.h"
#include "strip/zarn_controller.h"

namespace {

constexpr int NOTCH = 120; // a wheel's notch, in eighths of a degree

QString keep_running_key() {
    return QStringLiteral("tray/keep_running");
}

QString device_of(const ZARNMainWindow *window) {
    return QFile::decodeName(window->device_path);
}

zarn::Role gain_role(bool rx) {
    return rx ? zarn::Role::rx_amp : zarn::Role::tx_amp;
}

zarn::Role mute_role(bool rx) {
    return rx ? zarn::Role::rx_mute : zarn::Role::tx_mute;
}

// A linked target is named once, without a channel: its channels move
// together.
QString name_of(const ZARNController *strip, const QString &direction) {
    if (!strip->linked())
        return strip->title() + direction;
    const std::string name = strip->config_name();
    return ZARNTray::tr("%1, channels linked")
        .arg((name.empty() ? strip->title() : QString::fromStdString(name)) + direction);
}

} // namespace

ZARNTray::ZARNTray(ZARNMainWindow *window)
    : QObject(window), icon(nullptr), menu(new QMenu(window)), chosen{zarn::KIND_DEVICE, 0, 0},
      chosen_rx(false), window(window), ever_shown(false), wheel_rest(0), quitting(false) {
    connect(menu, &QMenu::aboutToShow, this, &ZARNTray::fill_menu);

    // A damaged or foreign choice is no choice.
    const QStringList kept =
        zarn::kept::value(zarn::kept::device_key("tray", device_of(window))).toStringList();
    if (kept.size() == 4) {
        const zarn::KindInfo *info = zarn::kind_by_key(kept[0].toLatin1().constData());
        bool number_ok = false, channel_ok = false;
        const int number = kept[1].toInt(&number_ok);
        const int channel = kept[2].toInt(&channel_ok);
        if (info && info->has_config() && number_ok && channel_ok && number >= 0 && channel >= 0 &&
            (kept[3] == QLatin1String("rx") || kept[3] == QLatin1String("tx"))) {
            chosen = {info->kind, number, channel};
            chosen_rx = kept[3] == QLatin1String("rx") || !info->two_way();
        }
    }

    connect(window->watchdog_timer, &QTimer::timeout, this, &ZARNTray::follow);
    window->installEventFilter(this);
    if (!QSystemTrayIcon::isSystemTrayAvailable())
        return;
    icon = new QSystemTrayIcon(this);
    icon->setContextMenu(menu);
    // The toolkit would end the program with its last window: a strip's
    // window closed while the main window waits in the tray.
    QApplication::setQuitOnLastWindowClosed(false);
    connect(icon, &QSystemTrayIcon::activated, this, [this](QSystemTrayIcon::ActivationReason why) {
        if (why == QSystemTrayIcon::Trigger)
            toggle_window();
        else if (why == QSystemTrayIcon::MiddleClick)
            toggle_mute();
    });
    // The wheel over the icon and the request for its tip come as events.
    icon->installEventFilter(this);
    follow();
    icon->show();
}

ZARNController *ZARNTray::chosen_strip() const {
    for (ZARNController *strip : window->strips) {
        if (strip && strip->kind == chosen.kind && strip->number == chosen.number &&
            strip->channel == chosen.channel)
            return strip;
    }
    return nullptr;
}

void ZARNTray::choose(const zarn::Target &target, bool rx) {
    const zarn::KindInfo *info = zarn::kind_info(target.kind);
    chosen = target;
    chosen_rx = rx || !info || !info->two_way();
    keep_choice();
    follow();
}

void ZARNTray::keep_choice() const {
    const zarn::KindInfo *info = zarn::kind_info(chosen.kind);
    if (!info)
        return;
    zarn::kept::set_value(zarn::kept::device_key("tray", device_of(window)),
                          QStringList{QString::fromLatin1(info->key),
                                      QString::number(chosen.number),
                                      QString::number(chosen.channel),
                                      chosen_rx ? QStringLiteral("rx") : QStringLiteral("tx")});
}

void ZARNTray::turn(int notches) {
    ZARNController *strip = chosen_strip();
    if (!strip || window->link != ConnectionWatch::Link::Answering)
        return;
    const int step = notches > 0 ? 1 : -1;
    notches = std::clamp(notches, -2 * zarn::GAIN_MAX, 2 * zarn::GAIN_MAX);
    // A step a notch, each its own write per channel, as a held button does.
    for (int i = 0; i != notches; i += step)
        strip->gesture({gain_role(chosen_rx), true, step});
    follow();
}

void ZARNTray::toggle_mute() {
    ZARNController *strip = chosen_strip();
    if (!strip || window->link != ConnectionWatch::Link::Answering)
        return;
    // Linked channels that differ all take the opposite of the chosen one.
    const QCheckBox *box = chosen_rx ? strip->rx_mute_box : strip->tx_mute_box;
    strip->gesture({mute_role(chosen_rx), false, !box->isChecked()});
    follow();
}

void ZARNTray::toggle_window() {
    if (window->isVisible() && !window->isMinimized() && window->isActiveWindow()) {
        window->hide();
        return;
    }
    window->showNormal();
    window->raise();
    window->activateWindow();
}

void ZARNTray::load_recent(const QString &path) {
    if (!window->isVisible() || window->isMinimized())
        toggle_window();
    // As the Load button does: the preview, a warning for a fault, and the
    // file kept at the top of the list once loaded.
    window->setup_panel->load_and_tell(path);
}

bool ZARNTray::keep_running() const {
    return zarn::kept::value(keep_running_key(), false).toBool();
}

void ZARNTray::set_keep_running(bool on) {
    zarn::kept::set_value(keep_running_key(), on);
}

void ZARNTray::quit() {
    quitting = true;
    window->close();
    QCoreApplication::quit();
}

ZARNTray::Shown ZARNTray::current() const {
    Shown now;
    now.strip = chosen_strip();
    now.connected = window->link == ConnectionWatch::Link::Answering;
    if (now.strip) {
        now.muted = (chosen_rx ? now.strip->rx_mute_box : now.strip->tx_mute_box)->isChecked();
        now.gain = chosen_rx ? now.strip->rx_amp : now.strip->tx_amp;
        now.linked = now.strip->linked();
    }
    return now;
}

QString ZARNTray::tool_tip() const {
    const Shown now = current();
    QString tip = QStringLiteral("Zarnmix Control");
    if (!now.connected)
        return tip + QLatin1Char('\n') +
               tr("Not connected to %1").arg(QFile::decodeName(window->device_path));
    if (!now.strip)
        return tip + QLatin1Char('\n') + tr("The chosen control is not there");
    const QString direction = !now.strip->delay_box ? QString()
                              : chosen_rx           ? QStringLiteral(" RX")
                                                    : QStringLiteral(" TX");
    tip += QLatin1Char('\n') + name_of(now.strip, direction) + QLatin1Char('\n') +
           tr("Gain %1 of %2 to %3").arg(now.gain).arg(-zarn::GAIN_MAX).arg(zarn::GAIN_MAX);
    if (now.muted)
        tip += QLatin1Char('\n') + tr("Muted");
    return tip;
}

void ZARNTray::follow() {
    // Compared every tick, drawn only on a change.
    const Shown now = current();
    if (ever_shown && now == shown)
        return;
    const bool redraw = !ever_shown || now.connected != shown.connected || now.muted != shown.muted;
    shown = now;
    ever_shown = true;
    if (!icon)
        return;
    if (redraw)
        icon->setIcon(picture(now.connected, now.muted));
    icon->setToolTip(tool_tip());
}

QIcon ZARNTray::picture(bool connected, bool muted) {
    QImage image =
        QImage(QStringLiteral(":/zarnmix_ctl.png")).convertToFormat(QImage::Format_ARGB32);
    if (!connected) {
        // Grey, its shape kept: the panel is there, the daemon is not.
        for (int y = 0; y < image.height(); ++y) {
            auto *line = reinterpret_cast<QRgb *>(image.scanLine(y));
            for (int x = 0; x < image.width(); ++x) {
                const int grey = qGray(line[x]) / 2 + 64;
                line[x] = qRgba(grey, grey, grey, qAlpha(line[x]));
            }
        }
    }
    if (muted) {
        // A red disc with a white bar across the lower right corner.
        QPainter p(&image);
        p.setRenderHint(QPainter::Antialiasing);
        const QRectF disc(image.width() * 0.45, image.height() * 0.45, image.width() * 0.52,
                          image.height() * 0.52);
        p.setPen(Qt::NoPen);
        p.setBrush(QColor(200, 30, 30));
        p.drawEllipse(disc);
        p.setPen(QPen(Qt::white, image.width() / 12.0, Qt::SolidLine, Qt::RoundCap));
        const QPointF c = disc.center();
        const double r = disc.width() * 0.28;
        p.drawLine(QPointF(c.x() - r, c.y() - r), QPointF(c.x() + r, c.y() + r));
        p.drawLine(QPointF(c.x() - r, c.y() + r), QPointF(c.x() + r, c.y() - r));
    }
    return QIcon(QPixmap::fromImage(image));
}

void ZARNTray::fill_menu() {
    // The last opening's submenus and groups are the menu's children, which
    // clear() leaves.
    const QObjectList children = menu->children(); // a copy: deleting changes the list
    for (QObject *old : children) {
        if (qobject_cast<QMenu *>(old) || qobject_cast<QActionGroup *>(old))
            delete old;
    }
    menu->clear();
    ZARNController *chosen_one = chosen_strip();
    const QString heading = chosen_one ? name_of(chosen_one, QString()) : tr("No control chosen");
    QMenu *targets = menu->addMenu(tr("Control: %1").arg(heading));
    auto *group = new QActionGroup(targets);
    for (ZARNController *strip : window->strips) {
        if (!strip || !zarn::kind_info(strip->kind)->has_config())
            continue;
        // A linked target is one entry: its channels move together.
        if (strip->linked() && strip->channel != 0)
            continue;
        QAction *a = targets->addAction(name_of(strip, QString()));
        a->setCheckable(true);
        a->setActionGroup(group);
        const zarn::Target target{strip->kind, strip->number, strip->channel};
        a->setChecked(chosen_one == strip ||
                      (chosen_one && chosen_one->linked() && strip->linked() &&
                       chosen_one->kind == strip->kind && chosen_one->number == strip->number));
        connect(a, &QAction::triggered, this, [this, target] { choose(target, chosen_rx); });
    }
    auto *directions = new QActionGroup(menu);
    const bool two_way = chosen_one && chosen_one->delay_box;
    for (const bool rx : {true, false}) {
        QAction *a = menu->addAction(rx ? tr("Receive (RX)") : tr("Transmit (TX)"));
        a->setCheckable(true);
        a->setActionGroup(directions);
        a->setChecked(chosen_rx == rx);
        a->setEnabled(two_way);
        connect(a, &QAction::triggered, this, [this, rx] { choose(chosen, rx); });
    }

    menu->addSeparator();
    QMenu *recent = menu->addMenu(tr("Load recent setup"));
    const QStringList files = zarn::kept::recent_setups();
    recent->setEnabled(!files.isEmpty());
    for (const QString &path : files) {
        QAction *a = recent->addAction(QFileInfo(path).fileName());
        a->setToolTip(path);
        connect(a, &QAction::triggered, this, [this, path] { load_recent(path); });
    }

    menu->addSeparator();
    QAction *keep = menu->addAction(tr("Keep running in the tray when the window is closed"));
    keep->setCheckable(true);
    keep->setChecked(keep_running());
    connect(keep, &QAction::toggled, this, &ZARNTray::set_keep_running);
    connect(menu->addAction(tr("Show")), &QAction::triggered, this, [this] {
        window->showNormal();
        window->raise();
        window->activateWindow();
    });
    connect(menu->addAction(tr("Quit")), &QAction::triggered, this, &ZARNTray::quit);
}

bool ZARNTray::eventFilter(QObject *watched, QEvent *event) {
    if (icon && watched == icon) {
        if (event->type() == QEvent::Wheel) {
            // Beyond the whole range of steps a turn changes nothing more;
            // bounded, the sum cannot overflow either.
            const int range = 2 * zarn::GAIN_MAX * NOTCH;
            wheel_rest +=
                std::clamp(static_cast<QWheelEvent *>(event)->angleDelta().y(), -range, range);
            const int notches = wheel_rest / NOTCH;
            wheel_rest -= notches * NOTCH;
            turn(notches);
            return true;
        }
        // Asked for, the tip is brought up to date before it shows.
        if (event->type() == QEvent::ToolTip)
            icon->setToolTip(tool_tip());
        return false;
    }
    if (watched != window || event->type() != QEvent::Close || !icon || quitting)
        return false;
    if (!keep_running()) {
        // The program no longer ends with its last window by itself.
        QTimer::singleShot(0, QCoreApplication::instance(), &QCoreApplication::quit);
        return false;
    }
    // Into the tray: the window and the strips' windows go, the watchdog
    // goes on so the icon keeps following the daemon.
    zarn::window_places::save(*window);
    for (QWidget *w : window->strip_windows())
        w->close();
    window->hide();
    event->ignore();
    return true;
}
