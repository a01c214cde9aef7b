// SPDX-License-Identifier: BSD-2-Clause

#pragma once

#include <QString>
#include <cstdint>

#include "ctl/catalogue.h"
#include "ctl/discovery.h"

// The channels of a device or loopback moving together: what a change made
// on one channel's strip does to the others, and where the user's choice to
// link them is kept.
namespace zarn {

// A change the user makes with one control: a gain step (+1 or -1 a press
// or a wheel notch), or a value put in (a typed gain, a mute ticked).
struct Gesture {
    Role role;
    bool step;
    std::int32_t value;
};

// Gains and mutes go to every channel of a linked target; polarity, routing
// and delay belong to each channel alone.
bool follows_link(Role role);

// The value a control now showing `shown` gets from the gesture: a step
// from what it shows, so linked channels keep their balance; a gain within
// its range; a switch 0 or 1.
std::int32_t gesture_result(const Gesture &gesture, std::int32_t shown);

// Kept per user, control device and target; linked where nothing is kept.
bool channels_linked(const QString &device_path, const Target &target);
void keep_channels_linked(const QString &device_path, const Target &target, bool linked);

} // namespace zarn
