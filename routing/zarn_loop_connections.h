// SPDX-License-Identifier: BSD-2-Clause

#pragma once

#include "routing/zarn_route_painter.h"

// Paints, between the output column and the loopback column of the diagram,
// which main output channel each loopback channel records.
class ZARNLoopConnections : public ZARNRoutePainter {
public:
    explicit ZARNLoopConnections(ZARNConnect *panel);
    ~ZARNLoopConnections() override;

    std::vector<zarn::Route> routes() const override;
    bool join(int left_row, int right_row, Join *out) const override;
    bool is_end(int side, int row) const override;
    ZARNController *strip_at(int side, int row) const override;
    QString describe(const zarn::Route &route) const override;
};
