// SPDX-License-Identifier: BSD-2-Clause

#pragma once

#include <cstddef>
#include <cstdint>
#include <type_traits>

namespace zarn {

constexpr std::size_t CHANNEL_NAME_SIZE = 36;

// Configuration of one device or loopback channel.
struct ChannelConfig {
    std::int32_t number;
    std::int32_t channel;
    char name[CHANNEL_NAME_SIZE]; // NUL-terminated when the daemon behaves
    std::int32_t rx_amp;
    std::int32_t tx_amp;
    std::int32_t src_channel;
    std::int32_t dst_channel;
    std::int32_t rx_mute;
    std::int32_t tx_mute;
    std::int32_t rx_polarity;
    std::int32_t tx_polarity;
    std::int32_t delay;
    std::int32_t delay_limit;
};

static_assert(std::is_standard_layout_v<ChannelConfig>);
static_assert(sizeof(ChannelConfig) == 84);
static_assert(offsetof(ChannelConfig, number) == 0);
static_assert(offsetof(ChannelConfig, channel) == 4);
static_assert(offsetof(ChannelConfig, name) == 8);
static_assert(offsetof(ChannelConfig, rx_amp) == 44);
static_assert(offsetof(ChannelConfig, tx_amp) == 48);
static_assert(offsetof(ChannelConfig, src_channel) == 52);
static_assert(offsetof(ChannelConfig, dst_channel) == 56);
static_assert(offsetof(ChannelConfig, rx_mute) == 60);
static_assert(offsetof(ChannelConfig, tx_mute) == 64);
static_assert(offsetof(ChannelConfig, rx_polarity) == 68);
static_assert(offsetof(ChannelConfig, tx_polarity) == 72);
static_assert(offsetof(ChannelConfig, delay) == 76);
static_assert(offsetof(ChannelConfig, delay_limit) == 80);

} // namespace zarn
