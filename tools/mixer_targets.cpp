// SPDX-License-Identifier: BSD-2-Clause

#include "tools/mixer_targets.h"

#include <algorithm>
#include <cstring>
#include <set>

#include "ctl/bounded_string.h"
#include "ctl/channel_config.h"
#include "ctl/discovery.h"
#include "ctl/transport.h"

namespace zarn::mixer {

namespace {

struct Prefix {
    std::int32_t kind;
    const char *word;
};

// Names made of a word and the target's number.
const Prefix NUMBERED[] = {
    {KIND_DEVICE, "device"},           {KIND_LOOP, "loopback"},
    {KIND_INPUT_MONITOR, "in-mon"},    {KIND_OUTPUT_MONITOR, "out-mon"},
    {KIND_LOCAL_MONITOR, "local-mon"},
};

// The number at the end of a name; -1 for none or one of ten digits or more.
std::int32_t trailing_number(const std::string &name) {
    std::size_t start = name.size();
    while (start > 0 && name[start - 1] >= '0' && name[start - 1] <= '9')
        --start;
    const std::size_t digits = name.size() - start;
    if (digits == 0 || digits > 9)
        return -1;
    return static_cast<std::int32_t>(std::stol(name.substr(start)));
}

// A word of ours: the kind and number it names.
bool parse_fixed(const std::string &name, std::int32_t &kind, std::int32_t &number) {
    if (name == "main-out" || name == "main-in") {
        kind = name == "main-out" ? KIND_MAIN_OUTPUT : KIND_MAIN_INPUT;
        number = 0;
        return true;
    }
    const std::int32_t n = trailing_number(name);
    if (n < 0)
        return false;
    for (const Prefix &p : NUMBERED) {
        const std::size_t length = std::strlen(p.word);
        if (name.size() > length && name.compare(0, length, p.word) == 0 &&
            name.find_first_not_of("0123456789", length) == std::string::npos) {
            kind = p.kind;
            number = n;
            return true;
        }
    }
    return false;
}

bool usable(const std::string &name) {
    std::int32_t kind;
    std::int32_t number;
    return !name.empty() && !parse_fixed(name, kind, number) &&
           std::all_of(name.begin(), name.end(), [](char c) {
               return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9') ||
                      c == '_' || c == '-';
           });
}

std::string numbered_name(std::int32_t kind, std::int32_t number) {
    for (const Prefix &p : NUMBERED) {
        if (p.kind == kind)
            return p.word + std::to_string(number);
    }
    return {};
}

// The records a group's controls live in, asked in one batch.
struct Reads {
    std::vector<BatchedRequest> batch;

    void ask(Group &g, std::size_t first_config) {
        for (std::size_t i = first_config; i < g.configs.size(); ++i) {
            const std::int32_t channel = kind_info(g.kind)->two_way() ? static_cast<int>(i) : 0;
            g.config_results[i] = -1;
            batch.push_back({config_query(g.target(channel), g.configs[i]), g.configs[i].bytes,
                             &g.config_results[i]});
        }
        if (g.compressor_wanted && first_config == 0) {
            g.compressor = compressor_query(g.target(0));
            g.compressor_result = -1;
            batch.push_back(
                {kind_info(g.kind)->compressor_get, g.compressor.bytes, &g.compressor_result});
        }
    }
    int run(int fd) { return ctl_request_batch(fd, batch.data(), static_cast<int>(batch.size())); }
};

void make_room(Group &g, bool compressor) {
    const KindInfo &info = *kind_info(g.kind);
    const std::size_t records = info.has_config() ? (info.two_way() ? g.channels : 1) : 0;
    g.configs.assign(records, ConfigRecord{});
    g.config_results.assign(records, -1);
    g.compressor_wanted = compressor && info.has_compressor();
}

void take_compressor(Group &g) {
    if (g.compressor_wanted && g.compressor_result == 0)
        g.comp_values = compressor_values(g.kind, g.compressor);
}

// A device or loopback by its number: its channels are those whose
// configuration reads succeed, from 0 on, read a few at a time.
bool read_two_way(int fd, std::int32_t kind, std::int32_t number, bool compressor, Group &g) {
    g = Group{};
    g.kind = kind;
    g.number = number;
    g.compressor_wanted = compressor && kind_info(kind)->has_compressor();
    // A stereo target's two records and the failed read that ends it go in
    // one exchange.
    std::size_t run = 3;
    for (;;) {
        const std::size_t start = g.configs.size();
        g.configs.resize(start + run);
        g.config_results.resize(start + run, -1);
        Reads reads;
        reads.ask(g, start);
        reads.run(fd);
        std::size_t ok = start;
        while (ok < g.configs.size() && g.config_results[ok] == 0)
            ++ok;
        g.configs.resize(ok);
        g.config_results.resize(ok);
        if (ok < start + run || ok >= static_cast<std::size_t>(MAX_TARGETS))
            break;
        run = 8;
    }
    g.channels = static_cast<std::int32_t>(g.configs.size());
    if (g.channels == 0)
        return false;
    take_compressor(g);
    g.name = two_way_name(kind, number, g.configs[0], 0);
    return true;
}

const Field *config_field(std::int32_t kind, Role role) {
    for (const Field &f : config_fields(kind)) {
        if (f.role == role)
            return &f;
    }
    return nullptr;
}

std::size_t record_index(const Group &g, std::int32_t channel) {
    return kind_info(g.kind)->two_way() ? static_cast<std::size_t>(channel) : 0;
}

} // namespace

std::string fixed_name(std::int32_t kind, std::int32_t number) {
    if (kind == KIND_MAIN_OUTPUT)
        return "main-out";
    if (kind == KIND_MAIN_INPUT)
        return "main-in";
    if (kind == KIND_DEVICE || kind == KIND_LOOP)
        return {};
    return numbered_name(kind, number);
}

std::string two_way_name(std::int32_t kind, std::int32_t number, const ConfigRecord &record,
                         int read_result) {
    if (read_result == 0) {
        ChannelConfig config;
        std::memcpy(&config, record.bytes, sizeof config);
        const std::string name = bounded_string(config.name, sizeof config.name);
        if (usable(name))
            return name;
    }
    return numbered_name(kind, number);
}

bool load_all(int fd, bool compressors, std::vector<Group> &groups) {
    groups.clear();
    if (!probe(fd))
        return false;
    for (const Target &t : find_targets(fd, MAX_TARGETS)) {
        if (groups.empty() || groups.back().kind != t.kind || groups.back().number != t.number) {
            groups.emplace_back();
            groups.back().kind = t.kind;
            groups.back().number = t.number;
        }
        ++groups.back().channels;
    }
    Reads reads;
    for (Group &g : groups)
        make_room(g, compressors);
    for (Group &g : groups)
        reads.ask(g, 0);
    reads.run(fd);
    std::set<std::string> taken;
    for (Group &g : groups) {
        take_compressor(g);
        if (kind_info(g.kind)->two_way()) {
            g.name = two_way_name(g.kind, g.number, g.configs[0], g.config_results[0]);
            if (!taken.insert(g.name).second)
                g.name = numbered_name(g.kind, g.number);
        } else {
            g.name = fixed_name(g.kind, g.number);
        }
    }
    return true;
}

int find_group(int fd, const std::string &name, bool compressor, Group &group, std::string &error) {
    std::int32_t kind;
    std::int32_t number;
    if (parse_fixed(name, kind, number) && !kind_info(kind)->two_way()) {
        group = Group{};
        group.name = name;
        group.kind = kind;
        group.number = number;
        if (kind_info(kind)->has_channels) {
            while (group.channels < MAX_TARGETS && probe_target(fd, group.target(group.channels)))
                ++group.channels;
        } else {
            group.channels = 1;
        }
        make_room(group, compressor);
        Reads reads;
        reads.ask(group, 0);
        if (group.channels > 0 && reads.run(fd) == 0) {
            take_compressor(group);
            return 0;
        }
    } else {
        const std::int32_t n = trailing_number(name);
        for (const std::int32_t k : {KIND_DEVICE, KIND_LOOP}) {
            if (n >= 0 && read_two_way(fd, k, n, compressor, group) && group.name == name)
                return 0;
        }
        std::vector<Group> all;
        if (load_all(fd, compressor, all)) {
            for (Group &g : all) {
                if (g.name == name && kind_info(g.kind)->two_way()) {
                    group = std::move(g);
                    return 0;
                }
            }
        }
    }
    error = probe(fd) ? "no target " + name : "the daemon does not answer";
    return 1;
}

bool reread(int fd, std::vector<Group *> &groups) {
    Reads reads;
    for (Group *g : groups)
        reads.ask(*g, 0);
    const bool ok = reads.run(fd) == 0;
    for (Group *g : groups)
        take_compressor(*g);
    return ok;
}

std::int32_t control_value(const Group &group, const Control &control, std::int32_t channel) {
    if (control.home == Home::compressor)
        return field_value(&group.comp_values,
                           compressor_fields()[static_cast<std::size_t>(control.compressor_field)]);
    const Field *f = config_field(group.kind, control.role);
    return f ? field_value(group.configs[record_index(group, channel)].bytes, *f) : 0;
}

void set_control_value(Group &group, const Control &control, std::int32_t channel,
                       std::int32_t value) {
    if (control.home == Home::compressor) {
        set_field(&group.comp_values,
                  compressor_fields()[static_cast<std::size_t>(control.compressor_field)], value);
        return;
    }
    if (const Field *f = config_field(group.kind, control.role))
        set_field(group.configs[record_index(group, channel)].bytes, *f, value);
}

std::int32_t delay_limit(const Group &group, std::int32_t channel) {
    std::int32_t limit = 0;
    if (kind_info(group.kind)->two_way())
        std::memcpy(&limit,
                    group.configs[record_index(group, channel)].bytes +
                        offsetof(ChannelConfig, delay_limit),
                    sizeof limit);
    return limit;
}

const Control *group_control(const Group &group, const std::string &name) {
    const KindInfo &info = *kind_info(group.kind);
    if (const Control *c = find_control(name, Home::compressor))
        return info.has_compressor() ? c : nullptr;
    return info.has_config() ? find_control(name, config_home(group.kind)) : nullptr;
}

bool control_read(const Group &group, const Control &control, std::int32_t channel) {
    if (control.home == Home::compressor)
        return group.compressor_wanted && group.compressor_result == 0;
    const std::size_t i = record_index(group, channel);
    return i < group.config_results.size() && group.config_results[i] == 0;
}

} // namespace zarn::mixer
