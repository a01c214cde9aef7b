// SPDX-License-Identifier: BSD-2-Clause

#pragma once

#include <QIcon>
#include <QObject>
#include <QString>

#include "ctl/discovery.h"

class QMenu;
class QSystemTrayIcon;
class ZARNController;
class ZARNMainWindow;

// The panel in the desktop's tray: one chosen control (a target and a
// direction) turned with the wheel and muted with a middle click, the main
// window shown and hidden with a left click, and a menu. It reads nothing
// from the daemon: what it shows comes from the strips, which the watchdog
// keeps up to date, and what it changes goes through a strip's gestures.
// The actions are plain functions, so they work without a tray too.
class ZARNTray : public QObject {
    Q_OBJECT

public:
    // Puts an icon into the tray when the desktop has one.
    explicit ZARNTray(ZARNMainWindow *window);

    // Null where the desktop has no tray.
    QSystemTrayIcon *icon;
    // The icon's menu, filled each time it opens.
    QMenu *menu;

    // The chosen control; the first device's transmit direction, which
    // feeds the main output, unless the user chose another.
    zarn::Target chosen;
    bool chosen_rx;
    // The strip of the chosen target, null while it has none.
    ZARNController *chosen_strip() const;
    void choose(const zarn::Target &target, bool rx);

    // One gain step a notch, up for positive notches.
    void turn(int notches);
    void toggle_mute();
    // Shows and raises the window, or hides it when it is in front.
    void toggle_window();
    // Loads a setup file through the Setup panel, with its preview.
    void load_recent(const QString &path);
    bool keep_running() const;
    void set_keep_running(bool on);
    void quit();

    // Target, gain and mute, as the tool tip says them.
    QString tool_tip() const;
    // After each tick: the icon and its tip follow the chosen control when
    // it changed, from what the strips hold.
    void follow();
    void fill_menu();

protected:
    bool eventFilter(QObject *watched, QEvent *event) override;

private:
    struct Shown {
        const ZARNController *strip = nullptr;
        bool connected = false;
        bool muted = false;
        bool linked = false;
        int gain = 0;
        bool operator==(const Shown &o) const {
            return strip == o.strip && connected == o.connected && muted == o.muted &&
                   linked == o.linked && gain == o.gain;
        }
    };
    Shown current() const;
    void keep_choice() const;
    static QIcon picture(bool connected, bool muted);

    ZARNMainWindow *window;
    Shown shown;
    bool ever_shown;
    // Eighths of a degree turned short of a whole notch.
    int wheel_rest;
    bool quitting;
};
