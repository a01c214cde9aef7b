// SPDX-License-Identifier: BSD-2-Clause

#pragma once

#include <cstddef>
#include <cstdint>
#include <type_traits>

namespace zarn {

// Configuration of one input, output or local monitor route.
struct MonitorConfig {
    std::int32_t number;
    std::int32_t reserved; // the daemon's own; passed back untouched
    std::int32_t src_channel;
    std::int32_t dst_channel;
    std::int32_t polarity;
    std::int32_t mute;
    std::int32_t amp;
};

static_assert(std::is_standard_layout_v<MonitorConfig>);
static_assert(sizeof(MonitorConfig) == 28);
static_assert(offsetof(MonitorConfig, number) == 0);
static_assert(offsetof(MonitorConfig, reserved) == 4);
static_assert(offsetof(MonitorConfig, src_channel) == 8);
static_assert(offsetof(MonitorConfig, dst_channel) == 12);
static_assert(offsetof(MonitorConfig, polarity) == 16);
static_assert(offsetof(MonitorConfig, mute) == 20);
static_assert(offsetof(MonitorConfig, amp) == 24);

} // namespace zarn
