// SPDX-License-Identifier: BSD-2-Clause

#pragma once

#include "routing/zarn_route_painter.h"

// Paints, between the input column and the output column of the diagram, how
// each device takes a main input channel and feeds a main output channel, and
// the routes of the input and output monitors.
class ZARNDevConnections : public ZARNRoutePainter {
public:
    explicit ZARNDevConnections(ZARNConnect *panel);
    ~ZARNDevConnections() override;

    std::vector<zarn::Route> routes() const override;
    // Grid row of a main channel, -1 for a channel that does not exist.
    int input_row(int channel) const;
    int output_row(int channel) const;

    bool join(int left_row, int right_row, Join *out) const override;
    bool is_end(int side, int row) const override;
    ZARNController *strip_at(int side, int row) const override;
    QString describe(const zarn::Route &route) const override;
};
