// SPDX-License-Identifier: BSD-2-Clause

#pragma once

#include <cstddef>
#include <cstdint>
#include <type_traits>

namespace zarn {

// State of the audio delay locator.
struct DelayLocatorRecord {
    std::int32_t out_channel;
    std::int32_t in_channel;
    std::int32_t max_channel;
    std::int32_t output_level;
    std::int32_t delay_samples;
    std::int32_t sample_rate;
    std::int32_t enabled;
};

static_assert(std::is_standard_layout_v<DelayLocatorRecord>);
static_assert(sizeof(DelayLocatorRecord) == 28);
static_assert(offsetof(DelayLocatorRecord, out_channel) == 0);
static_assert(offsetof(DelayLocatorRecord, in_channel) == 4);
static_assert(offsetof(DelayLocatorRecord, max_channel) == 8);
static_assert(offsetof(DelayLocatorRecord, output_level) == 12);
static_assert(offsetof(DelayLocatorRecord, delay_samples) == 16);
static_assert(offsetof(DelayLocatorRecord, sample_rate) == 20);
static_assert(offsetof(DelayLocatorRecord, enabled) == 24);

} // namespace zarn
