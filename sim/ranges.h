// SPDX-License-Identifier: BSD-2-Clause

#pragma once

namespace zarn::sim {

// The ranges the simulated daemon clamps to. Its own, not the panel's
// catalogue: it stands for an independent daemon, and a panel that offered
// more than a daemon takes must show up against it. A test compares them.
constexpr int MAX_AMP = 31;
constexpr int MAX_ROUTE_CHANNEL = 63;
constexpr int MAX_KNEE = 255;
constexpr int MAX_TIME_CONSTANT = 62;
constexpr int MAX_LOCATOR_LEVEL = 100;

} // namespace zarn::sim
