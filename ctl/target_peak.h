// SPDX-License-Identifier: BSD-2-Clause

#pragma once

#include <cstddef>
#include <cstdint>
#include <type_traits>

namespace zarn {

// Level reading of a device or loopback channel, one per direction.
struct TargetPeak {
    std::int32_t number;
    std::int32_t channel;
    std::uint8_t reserved0[32]; // the daemon's own; passed back untouched
    std::uint32_t sample_bits;  // only the low 8 bits count
    std::uint8_t reserved1[4];
    std::int64_t rx_level;
    std::int64_t tx_level;
};

static_assert(std::is_standard_layout_v<TargetPeak>);
static_assert(sizeof(TargetPeak) == 64);
static_assert(offsetof(TargetPeak, number) == 0);
static_assert(offsetof(TargetPeak, channel) == 4);
static_assert(offsetof(TargetPeak, reserved0) == 8);
static_assert(offsetof(TargetPeak, sample_bits) == 40);
static_assert(offsetof(TargetPeak, reserved1) == 44);
static_assert(offsetof(TargetPeak, rx_level) == 48);
static_assert(offsetof(TargetPeak, tx_level) == 56);

} // namespace zarn
