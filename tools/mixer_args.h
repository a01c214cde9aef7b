// SPDX-License-Identifier: BSD-2-Clause

#pragma once

#include <cstdint>
#include <string>

#include "ctl/catalogue.h"

// The words of zarnmix_mixer: its controls, and one argument of its command
// line, target[:channel][.control[=value | +=step | -=step]].
namespace zarn::mixer {

// Where a control's value lives.
enum class Home {
    two_way,    // a device's or loopback's channel configuration
    monitor,    // a monitor's configuration
    compressor, // the compressor of a device, loopback or the main output
};

struct Control {
    const char *name;
    Home home;
    Role role;            // the configuration field it sets (not for the compressor)
    int compressor_field; // index into compressor_fields(), -1 for none
    bool is_switch;       // on/off; a number otherwise
};

// Every control, in the order a listing shows them.
const Control *controls(int &count);
// The control of that name for a target of that home; nullptr for none.
const Control *find_control(const std::string &name, Home home);
// Whether any target has a control of that name.
bool known_control(const std::string &name);
// The home of a kind's controls besides the compressor.
Home config_home(std::int32_t kind);

enum class Op {
    show,   // no value: print it
    set,    // = number, on, off
    add,    // += step
    sub,    // -= step
    toggle, // =toggle
};

struct Argument {
    std::string target;
    std::int32_t channel = -1; // -1: every channel of the target
    std::string control;       // empty: every control of the target
    Op op = Op::show;
    std::int64_t value = 0; // the number, the step, or 1 for on and 0 for off
};

// An argument as it may be printed in a message: control characters would
// garble a terminal, so they show as '?'; cut at 80 characters.
std::string printable(const char *text);

// Reads one argument; false with a message that names the argument when it
// is not well formed, names no known control, gives a switch a number or a
// step, gives a number a switch's word, or sets a value outside its range
// where the range is fixed (every control's but the delay's, whose end is
// the daemon's).
bool parse_argument(const char *text, Argument &argument, std::string &error);

// The range a control's value keeps; the delay's is 0 up to the daemon's
// delay_limit.
void control_range(const Control &control, std::int32_t delay_limit, std::int32_t &low,
                   std::int32_t &high);

// The new value of a set: a relative step stops at the end of the range;
// false when an absolute value lies outside it.
bool apply_op(Op op, std::int64_t value, std::int32_t current, std::int32_t low, std::int32_t high,
              std::int32_t &result);

} // namespace zarn::mixer
