// SPDX-License-Identifier: BSD-2-Clause

#pragma once

#include <cstddef>
#include <cstdint>
#include <type_traits>

namespace zarn {

constexpr std::size_t DEVICE_NAME_SIZE = 64;

// Sample format and device names of the daemon.
struct SystemInfo {
    std::uint32_t reserved0; // filled by the daemon, not used by the panel
    std::uint32_t reserved1;
    std::uint32_t sample_rate;
    std::uint32_t sample_bits;
    std::uint32_t channels;
    char input_device[DEVICE_NAME_SIZE];  // NUL-terminated when the daemon behaves
    char output_device[DEVICE_NAME_SIZE]; // NUL-terminated when the daemon behaves
};

static_assert(std::is_standard_layout_v<SystemInfo>);
static_assert(sizeof(SystemInfo) == 148);
static_assert(offsetof(SystemInfo, reserved0) == 0);
static_assert(offsetof(SystemInfo, reserved1) == 4);
static_assert(offsetof(SystemInfo, sample_rate) == 8);
static_assert(offsetof(SystemInfo, sample_bits) == 12);
static_assert(offsetof(SystemInfo, channels) == 16);
static_assert(offsetof(SystemInfo, input_device) == 20);
static_assert(offsetof(SystemInfo, output_device) == 84);

} // namespace zarn
