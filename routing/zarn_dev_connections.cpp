// SPDX-License-Identifier: BSD-2-Clause

#include "routing/zarn_dev_connections.h"

#include <QGridLayout>

#include "app/zarn_main_window.h"
#include "ctl/strip_kind.h"
#include "routing/zarn_connect.h"
#include "strip/zarn_controller.h"

ZARNDevConnections::ZARNDevConnections(ZARNConnect *panel) : ZARNRoutePainter(panel) {}

ZARNDevConnections::~ZARNDevConnections() = default;

std::vector<zarn::Route> ZARNDevConnections::routes() const {
    const int w = width();
    // A row of -1 is a channel that does not exist: that end is not drawn.
    const auto route = [&](int side_a, int row_a, int side_b, int row_b, int mute) {
        zarn::Route r{};
        r.side_a = side_a;
        r.side_b = side_b;
        r.has_a = row_a >= 0;
        r.has_b = row_b >= 0;
        if (r.has_a)
            r.a = QPoint(side_a == 0 ? 0 : w, zarn::row_middle(panel->grid, row_a));
        if (r.has_b)
            r.b = QPoint(side_b == 0 ? 0 : w, zarn::row_middle(panel->grid, row_b));
        r.mute = mute;
        return r;
    };

    std::vector<zarn::Route> out;
    ZARNController *const *strips = panel->main_window->strips;
    for (int i = 0; i < MAX_STRIPS && strips[i] != nullptr; i++) {
        const ZARNController *strip = strips[i];
        const zarn::ChannelConfig &cc = strip->channel_config;
        const zarn::MonitorConfig &mc = strip->monitor_config;
        switch (strip->kind) {
        case zarn::KIND_DEVICE:
            out.push_back(route(0, strip->connect_row, 1, output_row(cc.dst_channel), cc.tx_mute));
            out.push_back(route(0, input_row(cc.src_channel), 1, strip->connect_row, cc.rx_mute));
            break;
        case zarn::KIND_INPUT_MONITOR:
            out.push_back(
                route(0, input_row(mc.src_channel), 1, output_row(mc.dst_channel), mc.mute));
            break;
        case zarn::KIND_OUTPUT_MONITOR:
            out.push_back(
                route(1, output_row(mc.src_channel), 1, output_row(mc.dst_channel), mc.mute));
            break;
        default:
            break;
        }
    }
    return out;
}

int ZARNDevConnections::input_row(int channel) const {
    return channel >= 0 && channel < panel->main_input_count ? channel + 1 : -1;
}

int ZARNDevConnections::output_row(int channel) const {
    return channel >= 0 && channel < panel->main_output_count ? channel + 1 : -1;
}
