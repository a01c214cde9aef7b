// SPDX-License-Identifier: BSD-2-Clause

#include <QApplication>
#include <cstdio>
#include <cstdlib>
#include <unistd.h>

#include "app/zarn_main_window.h"
#include "eq/wisdom_cache.h"

namespace {

// glibc's getopt reorders arguments unless told otherwise; parsing must stop
// at the first one that is not an option.
#ifdef __GLIBC__
constexpr const char *OPTIONS = "+f:h?";
#else
constexpr const char *OPTIONS = "f:h?";
#endif

[[noreturn]] void usage() {
    std::fputs("usage: zarnmix_ctl -f /dev/zmix.ctl\n", stderr);
    std::exit(64);
}

} // namespace

int main(int argc, char **argv) {
    QApplication app(argc, argv);

    const char *device_path = nullptr;
    int c;
    while ((c = getopt(argc, argv, OPTIONS)) == 'f')
        device_path = optarg;
    if (c != -1 || device_path == nullptr)
        usage();

    // FFTW's measurements from earlier runs make the first design of a
    // filter length quick.
    zarn::keep_wisdom_in_cache();

    // Wayland compositors find the window's icon through its desktop entry.
    QGuiApplication::setDesktopFileName(QStringLiteral(ZARN_APP_ID));
    // Lives until the process ends; its widgets are torn down with it.
    ZARNMainWindow *window = new ZARNMainWindow(device_path);
    window->show();
    return app.exec();
}
