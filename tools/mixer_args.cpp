// SPDX-License-Identifier: BSD-2-Clause

#include "tools/mixer_args.h"

#include <algorithm>
#include <cctype>
#include <cstring>
#include <iterator>

namespace zarn::mixer {

namespace {

// Compressor settings by their index in compressor_fields().
constexpr int COMP_ENABLED = 0;
constexpr int COMP_KNEE = 1;
constexpr int COMP_ATTACK = 2;
constexpr int COMP_DECAY = 3;

const Control CONTROLS[] = {
    {"rx.gain", Home::two_way, Role::rx_amp, -1, false},
    {"tx.gain", Home::two_way, Role::tx_amp, -1, false},
    {"rx.mute", Home::two_way, Role::rx_mute, -1, true},
    {"tx.mute", Home::two_way, Role::tx_mute, -1, true},
    {"rx.pol", Home::two_way, Role::rx_polarity, -1, true},
    {"tx.pol", Home::two_way, Role::tx_polarity, -1, true},
    {"src", Home::two_way, Role::src_channel, -1, false},
    {"dst", Home::two_way, Role::dst_channel, -1, false},
    {"delay", Home::two_way, Role::delay, -1, false},
    // A monitor has one direction, shown in one row.
    {"gain", Home::monitor, Role::rx_amp, -1, false},
    {"mute", Home::monitor, Role::rx_mute, -1, true},
    {"pol", Home::monitor, Role::rx_polarity, -1, true},
    {"src", Home::monitor, Role::src_channel, -1, false},
    {"dst", Home::monitor, Role::dst_channel, -1, false},
    {"comp.enabled", Home::compressor, Role::rx_amp, COMP_ENABLED, true},
    {"comp.knee", Home::compressor, Role::rx_amp, COMP_KNEE, false},
    {"comp.attack", Home::compressor, Role::rx_amp, COMP_ATTACK, false},
    {"comp.decay", Home::compressor, Role::rx_amp, COMP_DECAY, false},
};

bool name_char(char c) {
    return std::isalnum(static_cast<unsigned char>(c)) || c == '_' || c == '-';
}

// A decimal number with an optional sign, at most nine digits so that it
// fits any int32 sum of two; false for anything else.
bool parse_number(const char *text, bool sign_allowed, std::int64_t &value) {
    bool negative = false;
    if (sign_allowed && (*text == '-' || *text == '+'))
        negative = *text++ == '-';
    const std::size_t digits = std::strspn(text, "0123456789");
    if (digits == 0 || digits > 9 || text[digits] != '\0')
        return false;
    std::int64_t v = 0;
    for (std::size_t i = 0; i < digits; ++i)
        v = v * 10 + (text[i] - '0');
    value = negative ? -v : v;
    return true;
}

// Whatever the control's home, a name stands for one kind of value.
const Control *any_control(const std::string &name) {
    for (const Control &c : CONTROLS) {
        if (name == c.name)
            return &c;
    }
    return nullptr;
}

} // namespace

std::string printable(const char *text) {
    std::string s;
    for (; *text && s.size() < 80; ++text)
        s += static_cast<unsigned char>(*text) < 0x20 || *text == 0x7f ? '?' : *text;
    return s;
}

const Control *controls(int &count) {
    count = static_cast<int>(std::size(CONTROLS));
    return CONTROLS;
}

const Control *find_control(const std::string &name, Home home) {
    for (const Control &c : CONTROLS) {
        if (c.home == home && name == c.name)
            return &c;
    }
    return nullptr;
}

bool known_control(const std::string &name) {
    return any_control(name) != nullptr;
}

Home config_home(std::int32_t kind) {
    const KindInfo *info = kind_info(kind);
    return info && info->two_way() ? Home::two_way : Home::monitor;
}

void control_range(const Control &control, std::int32_t delay_limit, std::int32_t &low,
                   std::int32_t &high) {
    if (control.home == Home::compressor) {
        const Field &f = compressor_fields()[static_cast<std::size_t>(control.compressor_field)];
        low = f.low;
        high = f.high;
        return;
    }
    for (const Field &f :
         config_fields(control.home == Home::two_way ? KIND_DEVICE : KIND_INPUT_MONITOR)) {
        if (f.role == control.role) {
            low = f.low;
            high = control.role == Role::delay ? std::max(delay_limit, 0) : f.high;
            return;
        }
    }
    low = high = 0;
}

bool apply_op(Op op, std::int64_t value, std::int32_t current, std::int32_t low, std::int32_t high,
              std::int32_t &result) {
    std::int64_t v = value;
    switch (op) {
    case Op::show:
        result = current;
        return true;
    case Op::set:
        break;
    case Op::add:
        v = std::clamp<std::int64_t>(std::int64_t{current} + value, low, high);
        break;
    case Op::sub:
        v = std::clamp<std::int64_t>(std::int64_t{current} - value, low, high);
        break;
    case Op::toggle:
        v = current != 0 ? 0 : 1;
        break;
    }
    if (v < low || v > high)
        return false;
    result = static_cast<std::int32_t>(v);
    return true;
}

bool parse_argument(const char *text, Argument &argument, std::string &error) {
    argument = Argument{};
    const auto fail = [&](const char *why) {
        error = printable(text) + ": " + why;
        return false;
    };
    const char *p = text;
    while (name_char(*p))
        ++p;
    if (p == text)
        return fail("no target name (letters, digits, '_' and '-')");
    argument.target.assign(text, p);
    if (*p == ':') {
        const char *digits = ++p;
        while (std::isdigit(static_cast<unsigned char>(*p)))
            ++p;
        std::int64_t channel = 0;
        if (!parse_number(std::string(digits, p).c_str(), false, channel))
            return fail("a channel is a number of at most nine digits after ':'");
        argument.channel = static_cast<std::int32_t>(channel);
    }
    if (*p == '\0')
        return true;
    if (*p != '.')
        return fail("expected '.' and a control after the target");
    const char *name = ++p;
    while (*p && *p != '=' && *p != '+' && *p != '-')
        ++p;
    argument.control.assign(name, p);
    const Control *control = any_control(argument.control);
    if (!control)
        return fail("no such control (see the list zarnmix_mixer prints without arguments)");
    if (control->home == Home::compressor && argument.channel >= 0)
        return fail("the compressor belongs to the whole target, not to one channel");
    if (*p == '\0')
        return true;

    const char *value = nullptr;
    if (p[0] == '=') {
        argument.op = Op::set;
        value = p + 1;
    } else if (p[1] == '=') {
        argument.op = p[0] == '+' ? Op::add : Op::sub;
        value = p + 2;
    } else {
        return fail("expected =, += or -= after the control");
    }
    if (control->is_switch) {
        if (argument.op != Op::set)
            return fail("a switch takes =on, =off or =toggle, not a step");
        if (std::strcmp(value, "on") == 0 || std::strcmp(value, "1") == 0) {
            argument.value = 1;
        } else if (std::strcmp(value, "off") == 0 || std::strcmp(value, "0") == 0) {
            argument.value = 0;
        } else if (std::strcmp(value, "toggle") == 0) {
            argument.op = Op::toggle;
        } else {
            return fail("a switch takes on, off or toggle");
        }
        return true;
    }
    if (!parse_number(value, argument.op == Op::set, argument.value))
        return fail(argument.op == Op::set ? "the value is a whole number"
                                           : "the step is a whole number without a sign");
    if (argument.op == Op::set && control->role != Role::delay) {
        std::int32_t low;
        std::int32_t high;
        control_range(*control, 0, low, high);
        if (argument.value < low || argument.value > high)
            return fail(
                ("out of range " + std::to_string(low) + ".." + std::to_string(high)).c_str());
    }
    return true;
}

} // namespace zarn::mixer
