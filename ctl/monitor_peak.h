// SPDX-License-Identifier: BSD-2-Clause

#pragma once

#include <cstddef>
#include <cstdint>
#include <type_traits>

namespace zarn {

// Level reading of a monitor route or of a main output or input channel.
struct MonitorPeak {
    std::int32_t index;
    std::uint32_t sample_bits; // only the low 8 bits count
    std::int64_t level;
};

static_assert(std::is_standard_layout_v<MonitorPeak>);
static_assert(sizeof(MonitorPeak) == 16);
static_assert(offsetof(MonitorPeak, index) == 0);
static_assert(offsetof(MonitorPeak, sample_bits) == 4);
static_assert(offsetof(MonitorPeak, level) == 8);

} // namespace zarn
