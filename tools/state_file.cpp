// SPDX-License-Identifier: BSD-2-Clause

#include "tools/state_file.h"

#include <cstring>

namespace zarn::state {

std::string describe(const Target &target) {
    const KindInfo *info = kind_info(target.kind);
    if (!info)
        return "kind " + std::to_string(target.kind);
    std::string text = info->words;
    if (info->peak_layout == PeakLayout::by_channel)
        return text + " channel " + std::to_string(target.channel);
    text += ' ' + std::to_string(target.number);
    if (info->two_way())
        text += " channel " + std::to_string(target.channel);
    return text;
}

std::vector<std::string> out_of_range(const TargetState &state) {
    std::vector<std::string> lines;
    const auto check = [&](const Target &target, const std::vector<Field> &fields,
                           const Values &values, const char *prefix) {
        for (const Field &field : fields) {
            const auto found = values.find(field.name);
            if (found != values.end() && (found->second < field.low || found->second > field.high))
                lines.push_back(describe(target) + ": " + prefix + field.name + " " +
                                std::to_string(found->second) + " is outside " +
                                std::to_string(field.low) + " to " + std::to_string(field.high));
        }
    };
    if (state.config)
        check(state.target, config_fields(state.target.kind), *state.config, "");
    if (state.compressor)
        check(state.target, compressor_fields(), *state.compressor, "compressor.");
    return lines;
}

Values read_fields(const unsigned char *record, const std::vector<Field> &fields) {
    Values values;
    for (const Field &field : fields) {
        std::int32_t value;
        std::memcpy(&value, record + field.offset, sizeof value);
        values[field.name] = value;
    }
    return values;
}

void write_fields(unsigned char *record, const std::vector<Field> &fields, const Values &values) {
    for (const Field &field : fields) {
        const auto found = values.find(field.name);
        if (found != values.end())
            std::memcpy(record + field.offset, &found->second, sizeof found->second);
    }
}

} // namespace zarn::state
