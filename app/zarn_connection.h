// SPDX-License-Identifier: BSD-2-Clause

#pragma once

#include <QObject>
#include <QPointer>
#include <vector>

#include "app/connection_watch.h"
#include "ctl/transport.h"

// What every widget needs of the link to the daemon: the descriptor, how the
// daemon last answered, and the watchdog's tick with its batch. The main
// window owns it and hands it to the widgets, so they do not reach into the
// window for it.
class ZARNEqualizer;

class ZARNConnection : public QObject {
    Q_OBJECT

public:
    // device_path is kept by reference, not copied.
    ZARNConnection(const char *device_path, QObject *parent);

    const char *const device_path;
    int fd;
    // Counts the answering ticks; wraps, since the meters only compare it.
    int tick;
    ConnectionWatch::Link link;
    // The requests of the current tick, sent in one round trip.
    std::vector<zarn::BatchedRequest> batch;

    // While the main window makes its strips, new equalizer windows leave
    // their first read here, so that they are read together in a few
    // exchanges instead of two round trips each.
    bool gathering = false;
    std::vector<QPointer<ZARNEqualizer>> gathered;

    // A strip changed what it sends where; the routing diagram follows.
    void announce_routes_changed() { emit routes_changed(); }

signals:
    void routes_changed();
};
