// SPDX-License-Identifier: BSD-2-Clause

#pragma once

#include <cstddef>
#include <cstdint>
#include <type_traits>

namespace zarn {

// Compressor of a device or loopback; gain is in thousandths.
struct CompressorSettings {
    std::int32_t number;
    std::int32_t enabled;
    std::int32_t knee;
    std::int32_t attack;
    std::int32_t decay;
    std::int32_t gain;
};

static_assert(std::is_standard_layout_v<CompressorSettings>);
static_assert(sizeof(CompressorSettings) == 24);
static_assert(offsetof(CompressorSettings, number) == 0);
static_assert(offsetof(CompressorSettings, enabled) == 4);
static_assert(offsetof(CompressorSettings, knee) == 8);
static_assert(offsetof(CompressorSettings, attack) == 12);
static_assert(offsetof(CompressorSettings, decay) == 16);
static_assert(offsetof(CompressorSettings, gain) == 20);

} // namespace zarn
