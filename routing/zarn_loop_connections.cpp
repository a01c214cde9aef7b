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
        r.strip = i;
        r.field = 1;
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

ZARNController *ZARNLoopConnections::strip_at(int side, int row) const {
    ZARNController *const *strips = panel->main_window->strips;
    const int kind = side == 0 ? zarn::KIND_MAIN_OUTPUT : zarn::KIND_LOOP;
    for (int i = 0; i < MAX_STRIPS && strips[i] != nullptr; i++)
        if (strips[i]->kind == kind && strips[i]->connect_row == row)
            return strips[i];
    return nullptr;
}

bool ZARNLoopConnections::is_end(int side, int row) const {
    return strip_at(side, row) != nullptr;
}

bool ZARNLoopConnections::join(int left_row, int right_row, Join *out) const {
    ZARNController *output = strip_at(0, left_row);
    ZARNController *loop = strip_at(1, right_row);
    if (!output || !loop)
        return false;
    // A loopback channel records the main output it takes.
    *out = Join{loop, loop->src_channel_box, left_row - 1};
    return true;
}

QString ZARNLoopConnections::describe(const zarn::Route &route) const {
    if (route.strip < 0 || route.strip >= MAX_STRIPS || !panel->main_window->strips[route.strip])
        return QString();
    const ZARNController *strip = panel->main_window->strips[route.strip];
    return arrow(main_channel(true, strip->channel_config.src_channel), strip_channel(strip));
}
