// SPDX-License-Identifier: BSD-2-Clause

#pragma once

#include <cstddef>
#include <optional>
#include <string>
#include <vector>

namespace zarn::sim {

constexpr long MAX_GROUP_CHANNELS = 64;
constexpr std::size_t MAX_GROUPS = 64; // of each kind, as on the command line

// What one line of added options asks for: -1, or nothing, where it says
// nothing.
struct AddedOptions {
    long rate = -1;
    long bits = -1;
    long delay_limit = -1;
    long record_state = -1;
    std::optional<std::string> input;
    std::optional<std::string> output;
    // Additions and removals in order, checked against the counts they leave.
    struct Change {
        bool device;
        bool add;
        long value; // channels to add, or the number to remove
    };
    std::vector<Change> changes;
};

// Parses a line of added options against the numbers of devices and
// loopbacks there are now. Returns the error text, empty when every word is
// good; nothing is to be applied otherwise.
std::string parse_added_options(const std::string &line, std::size_t device_count,
                                std::size_t loop_count, AddedOptions &out);

} // namespace zarn::sim
