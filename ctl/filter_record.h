// SPDX-License-Identifier: BSD-2-Clause

#pragma once

#include <cstddef>
#include <cstdint>
#include <type_traits>

namespace zarn {

// FIR filter of one channel and direction. The coefficients travel by
// address: the daemon reads or fills size doubles at coefficients.
struct FilterRecord {
    std::int32_t number;
    std::int32_t channel;
    std::int32_t size;
    std::int32_t reserved; // always sent as 0
    std::uint64_t coefficients;
};

static_assert(std::is_standard_layout_v<FilterRecord>);
static_assert(sizeof(FilterRecord) == 24);
static_assert(offsetof(FilterRecord, number) == 0);
static_assert(offsetof(FilterRecord, channel) == 4);
static_assert(offsetof(FilterRecord, size) == 8);
static_assert(offsetof(FilterRecord, reserved) == 12);
static_assert(offsetof(FilterRecord, coefficients) == 16);

} // namespace zarn
