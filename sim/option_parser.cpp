// SPDX-License-Identifier: BSD-2-Clause

#include "sim/option_parser.h"

#include <cerrno>
#include <cstdlib>
#include <sstream>

#include "ctl/system_info.h"
#include "sim/engine.h"

namespace zarn::sim {

namespace {

bool parse_int(const std::string &text, long low, long high, long &value) {
    if (text.empty()) {
        return false;
    }
    char *end = nullptr;
    errno = 0;
    const long parsed = std::strtol(text.c_str(), &end, 10);
    if (errno != 0 || *end != '\0' || parsed < low || parsed > high) {
        return false;
    }
    value = parsed;
    return true;
}

} // namespace

const char *Engine::options_help() {
    return "Added options: whitespace-separated words of the form -name=value:\n"
           "  -rate=HZ          sample rate, 8000 to 384000\n"
           "  -bits=N           sample width of every level, 16, 24 or 32\n"
           "  -input=NAME       name of the input device (at most 63 bytes)\n"
           "  -output=NAME      name of the output device (at most 63 bytes)\n"
           "  -delay_limit=N    largest delay of every channel, 0 to 65535 samples\n"
           "  -record=0|1       stop or start recording\n"
           "  -add_device=N     append a device of N channels, 1 to 64\n"
           "  -add_loop=N       append a loopback of N channels, 1 to 64\n"
           "  -remove_device=N  remove device N; the later devices move down one number\n"
           "  -remove_loop=N    remove loopback N; the later loopbacks move down one number\n"
           "Additions and removals take effect in the order given, up to 64 devices and\n"
           "64 loopbacks.\n"
           "An accepted line is answered with an empty text; otherwise nothing is\n"
           "applied and the answer is the error.\n";
}

std::string parse_added_options(const std::string &line, std::size_t device_count,
                                std::size_t loop_count, AddedOptions &out) {
    std::string error;
    long &rate = out.rate, &bits = out.bits, &delay_limit = out.delay_limit,
         &record_state = out.record_state;
    std::optional<std::string> &input = out.input, &output = out.output;
    std::vector<AddedOptions::Change> &changes = out.changes;
    std::istringstream words(line);
    std::string word;
    while (error.empty() && words >> word) {
        const std::size_t equals = word.find('=');
        const std::string name = word.substr(0, equals);
        const std::string value = equals == std::string::npos ? "" : word.substr(equals + 1);
        bool ok = true;
        if (name == "-rate") {
            ok = parse_int(value, 8000, 384000, rate);
        } else if (name == "-bits") {
            ok = parse_int(value, 16, 32, bits) && (bits == 16 || bits == 24 || bits == 32);
        } else if (name == "-delay_limit") {
            ok = parse_int(value, 0, 65535, delay_limit);
        } else if (name == "-record") {
            ok = parse_int(value, 0, 1, record_state);
        } else if (name == "-input") {
            ok = !value.empty() && value.size() < DEVICE_NAME_SIZE;
            input = value;
        } else if (name == "-output") {
            ok = !value.empty() && value.size() < DEVICE_NAME_SIZE;
            output = value;
        } else if (name == "-add_device" || name == "-add_loop") {
            const bool device = name == "-add_device";
            std::size_t &count = device ? device_count : loop_count;
            long channels = 0;
            ok = parse_int(value, 1, MAX_GROUP_CHANNELS, channels);
            if (ok && count >= MAX_GROUPS) {
                error = std::string("no room for another ") + (device ? "device" : "loopback") +
                        ": " + word;
                break;
            }
            if (ok) {
                changes.push_back({device, true, channels});
                ++count;
            }
        } else if (name == "-remove_device" || name == "-remove_loop") {
            const bool device = name == "-remove_device";
            std::size_t &count = device ? device_count : loop_count;
            long number = 0;
            ok = parse_int(value, 0, static_cast<long>(count) - 1, number);
            if (ok) {
                changes.push_back({device, false, number});
                --count;
            }
        } else {
            error = "unknown option: " + word;
            break;
        }
        if (!ok) {
            error = equals == std::string::npos ? "option needs a value: " + name
                                                : "bad value for " + name + ": " + value;
        }
    }

    return error;
}

} // namespace zarn::sim
