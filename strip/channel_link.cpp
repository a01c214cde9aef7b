// SPDX-License-Identifier: BSD-2-Clause

#include "strip/channel_link.h"

#include <QSettings>
#include <algorithm>

#include "app/kept_settings.h"

namespace zarn {

bool follows_link(Role role) {
    return role == Role::rx_amp || role == Role::tx_amp || role == Role::rx_mute ||
           role == Role::tx_mute;
}

std::int32_t gesture_result(const Gesture &gesture, std::int32_t shown) {
    if (gesture.role != Role::rx_amp && gesture.role != Role::tx_amp)
        return gesture.value != 0;
    // In 64 bits: a typed value may be anything an int holds.
    const std::int64_t wanted = gesture.step ? std::int64_t{shown} + gesture.value : gesture.value;
    return static_cast<std::int32_t>(std::clamp<std::int64_t>(wanted, -GAIN_MAX, GAIN_MAX));
}

bool channels_linked(const QString &device_path, const Target &target) {
    return kept::value(kept::target_key("channel_links", device_path, target), true).toBool();
}

void keep_channels_linked(const QString &device_path, const Target &target, bool linked) {
    kept::set_value(kept::target_key("channel_links", device_path, target), linked);
}

} // namespace zarn
