// SPDX-License-Identifier: BSD-2-Clause

#include <QApplication>
#include <QScreen>
#include <QSystemTrayIcon>
#include <cstdio>

#include "app/command_line.h"
#include "app/opening_size.h"
#include "app/translations.h"
#include "app/window_places.h"
#include "app/zarn_main_window.h"
#include "app/zarn_tray.h"
#include "eq/wisdom_cache.h"

int main(int argc, char **argv) {
    // Read before the application object exists: it needs a display, and a
    // wrong command line is answered with the usage text without one.
    const char *device_path = zarn::device_path_from(argc, argv);
    if (device_path == nullptr) {
        std::fputs(zarn::USAGE, stderr);
        return 64;
    }

    // Removes the toolkit's own options, which the parse above passed over.
    QApplication app(argc, argv);
    // Before any widget exists: widgets take their texts when they are built.
    zarn::install_translations(QLocale::system(), zarn::translation_folders());

    // FFTW's measurements from earlier runs make the first design of a
    // filter length quick.
    zarn::keep_wisdom_in_cache();

    // Wayland compositors find the window's icon through its desktop entry.
    QGuiApplication::setDesktopFileName(QStringLiteral(ZARN_APP_ID));
    // Lives until the process ends; its widgets are torn down with it.
    ZARNMainWindow *window = new ZARNMainWindow(device_path);
    // Where the user left it last time, else the size its content asks for.
    if (!zarn::window_places::restore(*window))
        window->resize(zarn::opening_size(*window, window->screen()->availableGeometry()));
    window->show();
    // Where the desktop has no tray, nothing of it is made.
    if (QSystemTrayIcon::isSystemTrayAvailable())
        new ZARNTray(window);
    return app.exec();
}
