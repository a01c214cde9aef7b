// SPDX-License-Identifier: BSD-2-Clause

#include "routing/zarn_loop_connections.h"

#include <QGridLayout>

#include "app/zarn_main_window.h"
#include "ctl/strip_kind.h"
#include "routing/zarn_connect.h"
#include "strip/zarn_controller.h"

ZARNLoopConnections::ZARNLoopConnections(ZARNConnect *panel) : ZARNRoutePainter(panel) {}

ZARNLoopConnections::~ZARNLoopConnections() = default;

std::vector<zarn::Route> ZARNLoopConnections::routes() const {
    const int w = width();
    std::vector<zarn::Route> out;
    ZARNController *const *strips = panel->main_window->strips;
    for (int i = 0; i < MAX_STRIPS && strips[i] != nullptr; i++) {
        const ZARNController *strip = strips[i];
        if (strip->kind != zarn::KIND_LOOP)
            continue;
        const zarn::ChannelConfig &cc = strip->channel_config;
        // A loopback records a main output channel. Any other source number
        // is drawn as lying past the grid (above the painter), never onto the
        // row of whatever device happens to sit there.
        const int source_row = cc.src_channel >= 0 && cc.src_channel < panel->main_output_count
                                   ? cc.src_channel + 1
                                   : -1;
        zarn::Route r{};
        r.a = QPoint(w, zarn::row_middle(panel->grid, strip->connect_row));
        r.b = QPoint(0, zarn::row_middle(panel->grid, source_row));
        r.side_a = 1;
        r.side_b = 0;
        r.has_a = true;
        r.has_b = true;
        r.mute = cc.rx_mute;
        out.push_back(r);
    }
    return out;
}
