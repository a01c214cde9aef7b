// SPDX-License-Identifier: BSD-2-Clause
// zarnmix_mixer: reads and sets single controls of the mixer daemon in the
// style of the BSD mixer utilities, for key bindings, scripts and status bars.
#include <algorithm>
#include <cerrno>
#include <csignal>
#include <cstdio>
#include <cstring>
#include <ctime>
#include <map>
#include <string>
#include <unistd.h>
#include <utility>
#include <vector>

#include "ctl/transport.h"
#include "tools/mixer_args.h"
#include "tools/mixer_targets.h"

namespace {

using namespace zarn::mixer;

constexpr int EXIT_FAILED = 1;
constexpr int EXIT_USAGE = 64;

const char USAGE[] = "usage: zarnmix_mixer [-f device] [-o | -j] [-m] "
                     "[target[.control[=value | +=step | -=step]]] ...\n";

[[noreturn]] void usage() {
    std::fputs(USAGE, stderr);
    std::exit(EXIT_USAGE);
}

int fail(const std::string &message) {
    std::fprintf(stderr, "zarnmix_mixer: %s\n", message.c_str());
    return EXIT_FAILED;
}

volatile std::sig_atomic_t stop_requested = 0;

extern "C" void request_stop(int) {
    stop_requested = 1;
}

// One control to print: on one channel, or on all of the target's (-1).
struct Item {
    std::size_t group;
    const Control *control;
    std::int32_t channel;
};

enum class Format { table, lines, json };

bool per_channel(const Group &g, const Control &c) {
    return c.home == Home::two_way && zarn::kind_info(g.kind)->two_way();
}

// The channels an item covers, in order.
std::vector<std::int32_t> item_channels(const Group &g, const Item &item) {
    if (item.channel >= 0 || !per_channel(g, *item.control))
        return {std::max(item.channel, 0)};
    std::vector<std::int32_t> all;
    for (std::int32_t c = 0; c < g.channels; ++c)
        all.push_back(c);
    return all;
}

// Each channel's value of an item, with whether its record was read.
std::vector<std::pair<bool, std::int32_t>> item_values(const Group &g, const Item &item) {
    std::vector<std::pair<bool, std::int32_t>> values;
    for (const std::int32_t c : item_channels(g, item))
        values.emplace_back(control_read(g, *item.control, c),
                            control_read(g, *item.control, c) ? control_value(g, *item.control, c)
                                                              : 0);
    return values;
}

std::string value_text(const Control &c, std::int32_t v) {
    return c.is_switch ? (v != 0 ? "on" : "off") : std::to_string(v);
}

// target.control=value, once when every channel agrees, else per channel;
// what can be fed back as it is.
void print_lines(std::FILE *out, const std::vector<Group> &groups, const Item &item) {
    const Group &g = groups[item.group];
    const auto values = item_values(g, item);
    const std::vector<std::int32_t> channels = item_channels(g, item);
    const bool same = std::all_of(values.begin(), values.end(),
                                  [&](const auto &v) { return v == values.front(); });
    for (std::size_t i = 0; i < values.size(); ++i) {
        if (!values[i].first)
            continue;
        if (same && item.channel < 0) {
            std::fprintf(out, "%s.%s=%s\n", g.name.c_str(), item.control->name,
                         value_text(*item.control, values[i].second).c_str());
            return;
        }
        const bool numbered = item.channel >= 0 || per_channel(g, *item.control);
        std::fprintf(out, "%s%s%s.%s=%s\n", g.name.c_str(), numbered ? ":" : "",
                     numbered ? std::to_string(channels[i]).c_str() : "", item.control->name,
                     value_text(*item.control, values[i].second).c_str());
    }
}

std::string range_text(const Group &g, const Control &c) {
    if (c.is_switch)
        return "on/off";
    std::int32_t low;
    std::int32_t high;
    control_range(c, g.configs.empty() ? 0 : delay_limit(g, 0), low, high);
    return std::to_string(low) + ".." + std::to_string(high);
}

// The listing for people: each target, then its controls with every
// channel's value and the range.
void print_table(std::FILE *out, const std::vector<Group> &groups, const std::vector<Item> &items) {
    std::size_t last = groups.size();
    for (const Item &item : items) {
        const Group &g = groups[item.group];
        if (item.group != last) {
            const zarn::KindInfo &info = *zarn::kind_info(g.kind);
            std::fprintf(out, "%s: %s", g.name.c_str(), info.words);
            if (!info.has_channels || info.two_way())
                std::fprintf(out, " %d", static_cast<int>(g.number));
            if (info.has_channels)
                std::fprintf(out, ", %d channel%s", static_cast<int>(g.channels),
                             g.channels == 1 ? "" : "s");
            std::fputc('\n', out);
            last = item.group;
        }
        if (!item.control) {
            std::fputs("    no controls\n", out);
            continue;
        }
        std::string shown;
        for (const auto &v : item_values(g, item)) {
            if (!shown.empty())
                shown += ':';
            shown += v.first ? value_text(*item.control, v.second) : "?";
        }
        std::fprintf(out, "    %-13s %-16s %s\n", item.control->name, shown.c_str(),
                     range_text(g, *item.control).c_str());
    }
}

std::string json_string(const std::string &s) {
    std::string out = "\"";
    for (const char ch : s) {
        const auto c = static_cast<unsigned char>(ch);
        if (c == '"' || c == '\\') {
            out += '\\';
            out += ch;
        } else if (c < 0x20) {
            char escaped[8];
            std::snprintf(escaped, sizeof escaped, "\\u%04x", c);
            out += escaped;
        } else {
            out += ch;
        }
    }
    return out + "\"";
}

// {"targets": [{"name", "kind", "number", "channels", "controls": {...}}]}:
// each target once, each control once, a control of each channel as an
// array over the target's channels.
std::string json_text(const std::vector<Group> &groups, const std::vector<Item> &items) {
    std::vector<std::size_t> order;
    for (const Item &item : items) {
        if (std::find(order.begin(), order.end(), item.group) == order.end())
            order.push_back(item.group);
    }
    std::string out = "{\"targets\": [";
    for (const std::size_t gi : order) {
        const Group &g = groups[gi];
        if (gi != order.front())
            out += ", ";
        out += "{\"name\": " + json_string(g.name) +
               ", \"kind\": " + json_string(zarn::kind_info(g.kind)->key) +
               ", \"number\": " + std::to_string(g.number) +
               ", \"channels\": " + std::to_string(g.channels) + ", \"controls\": {";
        std::vector<const Control *> shown;
        for (const Item &item : items) {
            if (item.group != gi || !item.control ||
                std::find(shown.begin(), shown.end(), item.control) != shown.end())
                continue;
            if (!shown.empty())
                out += ", ";
            shown.push_back(item.control);
            std::string list;
            for (const auto &v : item_values(g, {gi, item.control, -1})) {
                if (!list.empty())
                    list += ", ";
                list += !v.first                  ? "null"
                        : item.control->is_switch ? (v.second != 0 ? "true" : "false")
                                                  : std::to_string(v.second);
            }
            out += json_string(item.control->name) + ": " +
                   (per_channel(g, *item.control) ? "[" + list + "]" : list);
        }
        out += "}}";
    }
    return out + "]}";
}

void print(std::FILE *out, Format format, const std::vector<Group> &groups,
           const std::vector<Item> &items) {
    switch (format) {
    case Format::table:
        print_table(out, groups, items);
        break;
    case Format::lines:
        for (const Item &item : items) {
            if (item.control)
                print_lines(out, groups, item);
        }
        break;
    case Format::json:
        std::fprintf(out, "%s\n", json_text(groups, items).c_str());
        break;
    }
}

// Every control of a target in the listing's order; a target without
// controls still shows in the table.
void add_all(std::vector<Item> &items, const std::vector<Group> &groups, std::size_t index) {
    int count;
    const Control *all = controls(count);
    const std::size_t before = items.size();
    for (int i = 0; i < count; ++i) {
        if (group_control(groups[index], all[i].name) == &all[i])
            items.push_back({index, &all[i], -1});
    }
    if (items.size() == before)
        items.push_back({index, nullptr, -1});
}

// The records a set changes, in the order they were first changed.
struct Change {
    std::size_t group;
    int record; // index into configs, -1 for the compressor
};

int write_changes(int fd, std::vector<Group> &groups, const std::vector<Change> &changes) {
    for (const Change &c : changes) {
        Group &g = groups[c.group];
        const bool two_way = zarn::kind_info(g.kind)->two_way();
        const std::int32_t channel = two_way ? std::max(c.record, 0) : 0;
        const int result =
            c.record < 0 ? zarn::write_compressor(fd, g.target(0), g.comp_values)
                         : zarn::write_config(fd, g.target(channel),
                                              g.configs[static_cast<std::size_t>(c.record)].bytes);
        if (result != 0)
            return fail("writing " + g.name +
                        (two_way && c.record >= 0 ? ":" + std::to_string(channel) : std::string()) +
                        " failed; what follows it was not sent");
    }
    return 0;
}

using Snapshot = std::vector<std::vector<std::pair<bool, std::int32_t>>>;

Snapshot snapshot(const std::vector<Group> &groups, const std::vector<Item> &items) {
    Snapshot s;
    for (const Item &item : items)
        s.push_back(item.control ? item_values(groups[item.group], item)
                                 : std::vector<std::pair<bool, std::int32_t>>{});
    return s;
}

void sleep_tick() {
    timespec tick{0, 100 * 1000 * 1000};
    // A signal cuts the sleep short; the loop then sees the request to stop.
    nanosleep(&tick, nullptr);
}

// Polls the items' records ten times a second and prints each change, until
// SIGINT or SIGTERM. A daemon that goes away is reopened, and its targets
// found again by name, at the same pace.
int monitor(const char *device, int fd, std::vector<Group> &groups, const std::vector<Item> &items,
            Format format) {
    struct sigaction action {};
    action.sa_handler = request_stop;
    sigemptyset(&action.sa_mask);
    sigaction(SIGINT, &action, nullptr);
    sigaction(SIGTERM, &action, nullptr);

    const Format shown = format == Format::table ? Format::lines : format;
    print(stdout, shown, groups, items);
    std::fflush(stdout);
    Snapshot last = snapshot(groups, items);
    std::vector<Group *> polled;
    for (Group &g : groups)
        polled.push_back(&g);
    while (!stop_requested) {
        sleep_tick();
        if (stop_requested)
            break;
        if (fd < 0) {
            fd = zarn::ctl_open(device);
            for (Group &g : groups) {
                std::string error;
                Group found;
                if (fd >= 0 && find_group(fd, g.name, g.compressor_wanted, found, error) == 0 &&
                    found.kind == g.kind) {
                    g = std::move(found);
                } else if (fd >= 0) {
                    zarn::ctl_close(fd);
                    fd = -1;
                }
            }
            if (fd < 0)
                continue;
        } else if (!reread(fd, polled)) {
            zarn::ctl_close(fd);
            fd = -1;
            continue;
        }
        const Snapshot now = snapshot(groups, items);
        if (now == last)
            continue;
        if (shown == Format::json) {
            print(stdout, shown, groups, items);
        } else {
            for (std::size_t i = 0; i < items.size(); ++i) {
                if (now[i] != last[i] && items[i].control)
                    print_lines(stdout, groups, items[i]);
            }
        }
        last = now;
        if (std::fflush(stdout) != 0)
            break;
    }
    if (fd >= 0)
        zarn::ctl_close(fd);
    return 0;
}

int run(const char *device, const std::vector<Argument> &arguments,
        const std::vector<std::string> &texts, Format format, bool watch) {
    const int fd = zarn::ctl_open(device);
    if (fd < 0)
        return fail(std::string("cannot open ") + device + ": " + std::strerror(errno));
    const auto finish = [&](int status) {
        zarn::ctl_close(fd);
        return status;
    };

    std::vector<Group> groups;
    std::vector<Item> items;
    if (arguments.empty()) {
        if (!load_all(fd, true, groups))
            return finish(fail("the daemon at " + std::string(device) + " does not answer"));
        for (std::size_t i = 0; i < groups.size(); ++i)
            add_all(items, groups, i);
        if (watch)
            return monitor(device, fd, groups, items, format);
        print(stdout, format, groups, items);
        return finish(0);
    }

    // Each target once, with its compressor only where an argument needs it.
    std::map<std::string, std::size_t> index;
    std::map<std::string, bool> wants_compressor;
    for (const Argument &a : arguments) {
        const bool comp = a.control.empty() || find_control(a.control, Home::compressor);
        wants_compressor[a.target] = wants_compressor[a.target] || comp;
    }
    for (std::size_t i = 0; i < arguments.size(); ++i) {
        const std::string &name = arguments[i].target;
        if (index.count(name))
            continue;
        Group g;
        std::string error;
        if (find_group(fd, name, wants_compressor[name], g, error) != 0)
            return finish(fail(texts[i] + ": " + error));
        index[name] = groups.size();
        groups.push_back(std::move(g));
    }

    // Everything is checked and changed in memory before anything is sent.
    std::vector<Change> changes;
    bool any_shown = false;
    for (std::size_t i = 0; i < arguments.size(); ++i) {
        const Argument &a = arguments[i];
        const std::size_t gi = index[a.target];
        Group &g = groups[gi];
        const zarn::KindInfo &info = *zarn::kind_info(g.kind);
        const auto refuse = [&](const std::string &why) {
            return finish(fail(texts[i] + ": " + why));
        };
        if (a.channel >= 0 && !info.has_channels)
            return refuse(g.name + " has no channels");
        if (a.channel >= g.channels)
            return refuse(g.name + " has channels 0 to " + std::to_string(g.channels - 1));
        if (a.control.empty()) {
            add_all(items, groups, gi);
            any_shown = true;
            continue;
        }
        const Control *control = group_control(g, a.control);
        if (!control)
            return refuse(g.name + " has no control " + a.control);
        const Item item{gi, control, a.channel};
        for (const std::int32_t c : item_channels(g, item)) {
            if (!control_read(g, *control, c))
                return refuse("reading it from the daemon failed");
        }
        if (a.op == Op::show) {
            items.push_back(item);
            any_shown = true;
            continue;
        }
        for (const std::int32_t c : item_channels(g, item)) {
            std::int32_t low;
            std::int32_t high;
            control_range(*control, delay_limit(g, c), low, high);
            std::int32_t value;
            if (!apply_op(a.op, a.value, control_value(g, *control, c), low, high, value))
                return refuse("out of range " + std::to_string(low) + ".." + std::to_string(high));
            set_control_value(g, *control, c, value);
            const Change change{gi, control->home == Home::compressor ? -1 : c};
            if (std::none_of(changes.begin(), changes.end(), [&](const Change &x) {
                    return x.group == change.group && x.record == change.record;
                }))
                changes.push_back(change);
        }
        if (watch)
            items.push_back(item);
    }
    if (const int status = write_changes(fd, groups, changes); status != 0)
        return finish(status);
    if (watch)
        return monitor(device, fd, groups, items, format);
    if (any_shown)
        print(stdout, format == Format::table ? Format::lines : format, groups, items);
    return finish(std::fflush(stdout) == 0 ? 0 : fail("writing standard output failed"));
}

} // namespace

int main(int argc, char **argv) {
    const char *device = "/dev/zmix.ctl";
    Format format = Format::table;
    bool watch = false;
    opterr = 0;
    int option;
    while ((option = getopt(argc, argv, "f:ojmh")) != -1) {
        switch (option) {
        case 'f':
            device = optarg;
            break;
        case 'o':
        case 'j':
            if (format != Format::table)
                usage();
            format = option == 'o' ? Format::lines : Format::json;
            break;
        case 'm':
            watch = true;
            break;
        default:
            usage();
        }
    }
    std::vector<Argument> arguments;
    std::vector<std::string> texts;
    for (int i = optind; i < argc; ++i) {
        Argument a;
        std::string error;
        if (!parse_argument(argv[i], a, error)) {
            std::fprintf(stderr, "zarnmix_mixer: %s\n", error.c_str());
            usage();
        }
        arguments.push_back(a);
        texts.push_back(printable(argv[i]));
    }
    return run(device, arguments, texts, format, watch);
}
