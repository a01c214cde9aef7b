// SPDX-License-Identifier: BSD-2-Clause

#pragma once

#include <cstddef>
#include <cstdint>
#include <type_traits>

namespace zarn {

// Compressor of the main output; gain is in thousandths.
struct MainCompressorSettings {
    std::int32_t enabled;
    std::int32_t knee;
    std::int32_t attack;
    std::int32_t decay;
    std::int32_t gain;
};

static_assert(std::is_standard_layout_v<MainCompressorSettings>);
static_assert(sizeof(MainCompressorSettings) == 20);
static_assert(offsetof(MainCompressorSettings, enabled) == 0);
static_assert(offsetof(MainCompressorSettings, knee) == 4);
static_assert(offsetof(MainCompressorSettings, attack) == 8);
static_assert(offsetof(MainCompressorSettings, decay) == 12);
static_assert(offsetof(MainCompressorSettings, gain) == 16);

} // namespace zarn
