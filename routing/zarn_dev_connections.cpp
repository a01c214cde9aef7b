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
    int index = 0;
    const auto route = [&](int side_a, int row_a, int side_b, int row_b, int mute, int field = 0) {
        zarn::Route r{};
        r.strip = index;
        r.field = field;
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
        index = i;
        const zarn::ChannelConfig &cc = strip->channel_config;
        const zarn::MonitorConfig &mc = strip->monitor_config;
        switch (strip->kind) {
        case zarn::KIND_DEVICE:
            out.push_back(route(0, strip->connect_row, 1, output_row(cc.dst_channel), cc.tx_mute));
            out.push_back(
                route(0, input_row(cc.src_channel), 1, strip->connect_row, cc.rx_mute, 1));
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

ZARNController *ZARNDevConnections::strip_at(int side, int row) const {
    ZARNController *const *strips = panel->main_window->strips;
    const int main_kind = side == 0 ? zarn::KIND_MAIN_INPUT : zarn::KIND_MAIN_OUTPUT;
    for (int i = 0; i < MAX_STRIPS && strips[i] != nullptr; i++)
        if ((strips[i]->kind == zarn::KIND_DEVICE || strips[i]->kind == main_kind) &&
            strips[i]->connect_row == row)
            return strips[i];
    return nullptr;
}

bool ZARNDevConnections::is_end(int side, int row) const {
    return strip_at(side, row) != nullptr;
}

bool ZARNDevConnections::join(int left_row, int right_row, Join *out) const {
    ZARNController *left = strip_at(0, left_row);
    ZARNController *right = strip_at(1, right_row);
    if (!left || !right)
        return false;
    // A device's transmit end on the left feeds a main output on the right;
    // a main input on the left feeds a device's receive end on the right.
    if (left->kind == zarn::KIND_DEVICE && right->kind == zarn::KIND_MAIN_OUTPUT) {
        *out = Join{left, left->dst_channel_box, right_row - 1};
        return true;
    }
    if (left->kind == zarn::KIND_MAIN_INPUT && right->kind == zarn::KIND_DEVICE) {
        *out = Join{right, right->src_channel_box, left_row - 1};
        return true;
    }
    return false;
}

QString ZARNDevConnections::describe(const zarn::Route &route) const {
    if (route.strip < 0 || route.strip >= MAX_STRIPS || !panel->main_window->strips[route.strip])
        return QString();
    const ZARNController *strip = panel->main_window->strips[route.strip];
    const zarn::ChannelConfig &cc = strip->channel_config;
    const zarn::MonitorConfig &mc = strip->monitor_config;
    switch (strip->kind) {
    case zarn::KIND_DEVICE:
        return route.field == 0 ? arrow(strip_channel(strip), main_channel(true, cc.dst_channel))
                                : arrow(main_channel(false, cc.src_channel), strip_channel(strip));
    case zarn::KIND_INPUT_MONITOR:
        return strip->title() + QStringLiteral(": ") +
               arrow(main_channel(false, mc.src_channel), main_channel(true, mc.dst_channel));
    case zarn::KIND_OUTPUT_MONITOR:
        return strip->title() + QStringLiteral(": ") +
               arrow(main_channel(true, mc.src_channel), main_channel(true, mc.dst_channel));
    default:
        return QString();
    }
}
