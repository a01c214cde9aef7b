// SPDX-License-Identifier: BSD-2-Clause

#pragma once

#include <cstdint>

namespace zarn {

// The kind of a control target; discovery, strips and meters walk them in this order.
enum StripKind : std::int32_t {
    KIND_DEVICE = 0,
    KIND_LOOP = 1,
    KIND_INPUT_MONITOR = 2,
    KIND_OUTPUT_MONITOR = 3,
    KIND_LOCAL_MONITOR = 4,
    KIND_MAIN_OUTPUT = 5,
    KIND_MAIN_INPUT = 6,
};

constexpr int KIND_COUNT = 7;

// Or-ed into an equalizer window's kind when it serves the receive direction.
constexpr std::int32_t EQ_RX_FLAG = 0x100;

} // namespace zarn
