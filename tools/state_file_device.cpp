// SPDX-License-Identifier: BSD-2-Clause

#include "tools/state_file_device.h"

#include <algorithm>
#include <array>
#include <cstdint>
#include <cstring>
#include <map>
#include <optional>
#include <utility>
#include <vector>

#include "ctl/bounded_string.h"
#include "ctl/catalogue.h"
#include "ctl/channel_config.h"
#include "ctl/transport.h"
#include "tools/json_reader.h"

namespace zarn::state {

namespace {

const unsigned char *bytes_of(const CompressorValues &values) {
    return reinterpret_cast<const unsigned char *>(&values);
}

// What the daemon's filter in one direction is, beside the stored one.
struct FilterNow {
    std::int32_t length = 0;
    bool on = false;
    bool same = false; // as stored, bit for bit (so -0.0 differs from 0.0)
};

std::string filter_words(bool on, std::int32_t length) {
    return on ? "on (" + std::to_string(length) + " taps)" : "off";
}

// A device or loopback by its number, the main output or input by its kind.
using Group = std::pair<std::int32_t, std::int32_t>;

Group group_of(const Target &target) {
    return {target.kind, target.number};
}

// The channels' owner as people call it: "device 1", "main output".
std::string group_words(const Target &target) {
    std::string text = describe({target.kind, target.number, 0});
    return text.substr(0, text.rfind(" channel "));
}

// How many channels each device, loopback and main group has.
std::map<Group, std::int32_t> channel_counts(const std::vector<Target> &targets) {
    std::map<Group, std::int32_t> counts;
    for (const Target &t : targets) {
        if (kind_info(t.kind)->has_channels)
            ++counts[group_of(t)];
    }
    return counts;
}

// Reads of many targets sent as one batch, about one round trip in all.
// The records and results must stay where they are until send.
class Reads {
public:
    void add(std::uint32_t code, void *record, int *result) {
        *result = -1;
        if (code != 0)
            requests_.push_back({code, record, result});
    }
    void send(int fd) {
        if (!requests_.empty())
            ctl_request_batch(fd, requests_.data(), static_cast<int>(requests_.size()));
        requests_.clear();
    }

private:
    std::vector<BatchedRequest> requests_;
};

// A target's configuration and compressor as read in a batch.
struct TargetRecords {
    ConfigRecord config;
    CompressorRecord compressor;
    int config_result = -1;
    int compressor_result = -1;

    void ask(Reads &reads, const Target &t, bool config_wanted, bool compressor_wanted) {
        if (config_wanted)
            reads.add(config_query(t, config), config.bytes, &config_result);
        if (compressor_wanted) {
            compressor = compressor_query(t);
            reads.add(kind_info(t.kind)->compressor_get, compressor.bytes, &compressor_result);
        }
    }
};

// The length of a target's filter in one direction, asked in a batch; a
// failed query counts as no filter.
struct LengthQuery {
    FilterRecord record{};
    int result = -1;

    void ask(Reads &reads, const Target &t, bool rx) {
        reads.add(filter_query(t, rx, record), &record, &result);
    }
    std::int32_t length() const { return result == 0 ? accepted_length(record.size) : 0; }
};

// One target the daemon offers that matches the file, with what it holds now.
struct Plan {
    const TargetState *stored = nullptr;
    std::size_t index = 0; // of the stored target
    TargetRecords now;
    LengthQuery lengths[2]; // receive, transmit
    std::string daemon_name;
    bool delay_fits = true;
    bool filter_fits[2] = {true, true};
    FilterNow filters_now[2];
    bool written = true; // every write succeeded and read back the same

    const std::optional<FilterState> &filter(bool rx) const {
        return rx ? stored->rx_filter : stored->tx_filter;
    }
    std::int32_t length(bool rx) const { return lengths[rx ? 0 : 1].length(); }
    CompressorValues compressor() const {
        return compressor_values(stored->target.kind, now.compressor);
    }
};

// One write the restore makes: a field of the configuration or of the
// compressor, or a filter.
struct Write {
    enum class Part { config, compressor, filter };
    Plan *plan = nullptr;
    Part part = Part::config;
    const Field *field = nullptr; // configuration and compressor
    std::int32_t value = 0;
    bool rx = false; // filter
};

std::string format(const char *pattern, const std::string &a, const std::string &b, std::int32_t x,
                   std::int32_t y) {
    char line[512];
    std::snprintf(line, sizeof line, pattern, a.c_str(), b.c_str(), x, y);
    return line;
}

const char *direction_words(bool rx) {
    return rx ? "receive" : "transmit";
}

class Restorer {
public:
    Restorer(int fd, RestoreReport &report) : fd_(fd), report_(report) {}

    // Reads what the daemon holds for the stored targets, in one batch;
    // false on a failed read.
    bool read(std::vector<Plan> &plans) {
        Reads reads;
        for (Plan &plan : plans) {
            const TargetState &stored = *plan.stored;
            // A named target's configuration also gives the name its changes
            // are shown under.
            const bool config =
                stored.config || stored.name || kind_info(stored.target.kind)->named();
            plan.now.ask(reads, stored.target, config, stored.compressor.has_value());
            if (stored.rx_filter)
                plan.lengths[0].ask(reads, stored.target, true);
            if (stored.tx_filter)
                plan.lengths[1].ask(reads, stored.target, false);
        }
        reads.send(fd_);
        for (Plan &plan : plans) {
            const TargetState &stored = *plan.stored;
            const Target &t = stored.target;
            if ((stored.config || stored.name) && plan.now.config_result != 0)
                return failed("reading the configuration of " + describe(t));
            if (stored.compressor && plan.now.compressor_result != 0)
                return failed("reading the compressor of " + describe(t));
            if (kind_info(t.kind)->named() && plan.now.config_result == 0) {
                plan.daemon_name =
                    bounded_string(reinterpret_cast<const char *>(plan.now.config.bytes) +
                                       offsetof(ChannelConfig, name),
                                   CHANNEL_NAME_SIZE);
            }
        }
        return true;
    }

    // Finds the parts of the stored target the daemon cannot take, which the
    // rest of the target does without, and fetches the daemon's filters that
    // the stored ones may replace.
    void check(Plan &plan) {
        const TargetState &stored = *plan.stored;
        const Target &t = stored.target;
        if (stored.config && kind_info(t.kind)->two_way()) {
            const auto delay = stored.config->find("delay");
            std::int32_t limit;
            std::memcpy(&limit, plan.now.config.bytes + offsetof(ChannelConfig, delay_limit),
                        sizeof limit);
            if (delay != stored.config->end() && delay->second > limit) {
                plan.delay_fits = false;
                skip_part(plan, "delay", limit, delay->second,
                          std::to_string(delay->second) + " is beyond the daemon's limit " +
                              std::to_string(limit));
            }
        }
        for (const bool rx : {true, false}) {
            const std::optional<FilterState> &filter = plan.filter(rx);
            if (!filter)
                continue;
            const std::int32_t length = plan.length(rx);
            // Off is off at any length; coefficients fit only their own.
            if (filter->on && length != filter->length) {
                plan.filter_fits[rx ? 0 : 1] = false;
                skip_part(plan, rx ? "rx_filter" : "tx_filter", length, filter->length,
                          "it takes " + std::to_string(length) + " taps here, " +
                              std::to_string(filter->length) + " in the file");
                continue;
            }
            plan.filters_now[rx ? 0 : 1] = compare_filter(t, rx, length, *filter);
        }
    }

    // Adds a write for each field and filter of the plan that differs from
    // what the daemon holds, and lists it.
    void plan_writes(Plan &plan, std::vector<Write> &writes) {
        const TargetState &stored = *plan.stored;
        // In the order of the names, as a dry run has always listed them.
        const auto add_values = [&](Write::Part part, const std::vector<Field> &fields,
                                    const Values &values, const void *now, const char *prefix) {
            for (const auto &entry : values) {
                // Named, not bound: C++17 lets no lambda capture a structured binding.
                const std::string &name = entry.first;
                const std::int32_t value = entry.second;
                const auto field = std::find_if(fields.begin(), fields.end(),
                                                [&](const Field &f) { return name == f.name; });
                if (field == fields.end() || (field->role == Role::delay && !plan.delay_fits))
                    continue;
                const std::int32_t was = field_value(now, *field);
                if (was == value)
                    continue;
                writes.push_back({&plan, part, &*field, value, false});
                change(plan, prefix + name, std::to_string(was), std::to_string(value), 0,
                       " " + std::to_string(was) + " -> " + std::to_string(value));
            }
        };
        if (stored.config) {
            add_values(Write::Part::config, config_fields(stored.target.kind), *stored.config,
                       plan.now.config.bytes, "");
        }
        if (stored.compressor) {
            const CompressorValues now = plan.compressor();
            add_values(Write::Part::compressor, compressor_fields(), *stored.compressor, &now,
                       "compressor.");
        }
        for (const bool rx : {true, false}) {
            const std::optional<FilterState> &filter = plan.filter(rx);
            const FilterNow &now = plan.filters_now[rx ? 0 : 1];
            if (!filter || !plan.filter_fits[rx ? 0 : 1] || now.length == 0 || now.same)
                continue;
            writes.push_back({&plan, Write::Part::filter, nullptr, 0, rx});
            const std::string key = rx ? "rx_filter" : "tx_filter";
            const std::string taps = " (" + std::to_string(now.length) + " taps)";
            if (filter->on && now.on) {
                change(plan, key, "on", "on", now.length, ": other coefficients" + taps);
            } else {
                change(plan, key, now.on ? "on" : "off", filter->on ? "on" : "off", now.length,
                       ": " + filter_words(now.on, now.length) + " -> " +
                           filter_words(filter->on, now.length));
            }
        }
    }

    // One write: a field is read, changed and written back on its own, so
    // that what another client changed meanwhile stays; a filter is read back
    // at once, while its coefficients are still in the cache.
    void write(const Write &w) {
        Plan &plan = *w.plan;
        const Target &t = plan.stored->target;
        const std::string who = describe(t);
        if (w.part == Write::Part::config) {
            ConfigRecord record;
            if (read_config(fd_, t, record.bytes) != 0) {
                plan.written = failed("reading the configuration of " + who);
            } else {
                set_field(record.bytes, *w.field, w.value);
                if (write_config(fd_, t, record.bytes) != 0)
                    plan.written = failed("writing the configuration of " + who);
            }
        } else if (w.part == Write::Part::compressor) {
            CompressorValues settings;
            if (read_compressor(fd_, t, settings) != 0) {
                plan.written = failed("reading the compressor of " + who);
            } else {
                set_field(&settings, *w.field, w.value);
                if (write_compressor(fd_, t, settings) != 0)
                    plan.written = failed("writing the compressor of " + who);
            }
        } else {
            const FilterState &filter = *plan.filter(w.rx);
            const std::int32_t length = plan.length(w.rx);
            const double *coefficients = filter.on ? filter.coefficients.data() : nullptr;
            if (write_filter(fd_, t, w.rx, length, coefficients) != 0) {
                plan.written = failed(std::string("writing the ") + direction_words(w.rx) +
                                      " filter of " + who);
            } else if (!compare_filter(t, w.rx, length, filter).same) {
                report_.problems.push_back(who + ": the " + direction_words(w.rx) +
                                           " filter reads back otherwise");
                plan.written = false;
            }
        }
    }

    // Reads back the configurations and compressors written, in one batch;
    // false when any write had a fault, a request failed, or the daemon kept
    // other values than those written.
    bool verify(std::vector<Plan> &plans, const std::vector<Write> &writes) {
        std::vector<TargetRecords> back(plans.size());
        std::vector<std::array<bool, 2>> asked(plans.size(), {false, false});
        for (const Write &w : writes) {
            const std::size_t i = static_cast<std::size_t>(w.plan - plans.data());
            asked[i][0] = asked[i][0] || w.part == Write::Part::config;
            asked[i][1] = asked[i][1] || w.part == Write::Part::compressor;
        }
        Reads reads;
        for (std::size_t i = 0; i < plans.size(); ++i) {
            if (plans[i].written)
                back[i].ask(reads, plans[i].stored->target, asked[i][0], asked[i][1]);
        }
        reads.send(fd_);
        bool ok = true;
        for (const Plan &plan : plans)
            ok = plan.written && ok;
        for (std::size_t i = 0; i < plans.size(); ++i) {
            if (!plans[i].written)
                continue;
            const std::string who = describe(plans[i].stored->target);
            if (asked[i][0] && back[i].config_result != 0)
                ok = failed("reading back the configuration of " + who);
            if (asked[i][1] && back[i].compressor_result != 0)
                ok = failed("reading back the compressor of " + who);
        }
        for (const Write &w : writes) {
            const std::size_t i = static_cast<std::size_t>(w.plan - plans.data());
            if (!w.plan->written || w.part == Write::Part::filter)
                continue;
            const bool config = w.part == Write::Part::config;
            if ((config ? back[i].config_result : back[i].compressor_result) != 0)
                continue;
            const CompressorValues values =
                compressor_values(w.plan->stored->target.kind, back[i].compressor);
            const std::int32_t now = config ? field_value(back[i].config.bytes, *w.field)
                                            : field_value(&values, *w.field);
            if (now != w.value) {
                report_.problems.push_back(format(
                    "%s: %s reads back %d, not %d", describe(w.plan->stored->target),
                    (config ? "" : "compressor.") + std::string(w.field->name), now, w.value));
                ok = false;
            }
        }
        return ok;
    }

    bool failed(const std::string &what) {
        report_.problems.push_back(what + " failed");
        return false;
    }

private:
    void change(const Plan &plan, const std::string &field, const std::string &from,
                const std::string &to, std::int32_t taps, const std::string &words) {
        const Target &t = plan.stored->target;
        const std::string who = describe(t);
        report_.changes.push_back(
            {t, plan.daemon_name, who, field, from, to, taps, who + ": " + field + words});
    }

    void skip_part(const Plan &plan, const std::string &field, std::int32_t here, std::int32_t file,
                   const std::string &why) {
        const Target &t = plan.stored->target;
        const std::string what = field == "delay"
                                     ? std::string("delay")
                                     : std::string(direction_words(field[0] == 'r')) + " filter";
        report_.parts_skipped.push_back({t, plan.daemon_name, field, here, file,
                                         "the " + what + " of " + describe(t) + ": " + why});
    }

    // Fetches the daemon's filter into one array for all: fresh arrays would
    // cost the largest setup 128 MiB of new pages, more than the fetch.
    FilterNow compare_filter(const Target &t, bool rx, std::int32_t length,
                             const FilterState &stored) {
        FilterNow now;
        now.length = length;
        if (length > 0) {
            buffer_.resize(static_cast<std::size_t>(length));
            now.on = zarn::fetch_filter(fd_, t, rx, length, buffer_.data());
        }
        now.same = now.on == stored.on &&
                   (!now.on || (stored.coefficients.size() == buffer_.size() &&
                                std::memcmp(buffer_.data(), stored.coefficients.data(),
                                            buffer_.size() * sizeof(double)) == 0));
        return now;
    }

    int fd_;
    std::vector<double> buffer_;
    RestoreReport &report_;
};

} // namespace

bool read_setup(int fd, SetupSink &sink, std::string &error) {
    std::int32_t rate = 0;
    if (!probe(fd)) {
        error = "the daemon does not answer";
        return false;
    }
    if (!read_sample_rate(fd, rate)) {
        error = "reading the sample rate failed";
        return false;
    }
    sink.sample_rate(rate);
    const std::vector<Target> targets = find_targets(fd, MAX_TARGETS);
    const std::map<Group, std::int32_t> channels = channel_counts(targets);

    // Every record and filter length at once; then the filters one by one.
    std::vector<TargetRecords> records(targets.size());
    std::vector<std::array<LengthQuery, 2>> lengths(targets.size());
    Reads reads;
    for (std::size_t i = 0; i < targets.size(); ++i) {
        const Target &t = targets[i];
        const KindInfo &info = *kind_info(t.kind);
        records[i].ask(reads, t, info.has_config(), has_compressor(t));
        if (info.has_filters()) {
            lengths[i][0].ask(reads, t, true);
            lengths[i][1].ask(reads, t, false);
        }
    }
    reads.send(fd);

    // One array for each direction, filled again for every target: fresh
    // pages for the largest setup's 128 MiB would cost more than its fetch.
    std::vector<double> arrays[2];
    for (std::size_t i = 0; i < targets.size(); ++i) {
        const Target &t = targets[i];
        const KindInfo &info = *kind_info(t.kind);
        TargetState state;
        state.target = t;
        if (info.has_channels)
            state.channels = channels.at(group_of(t));
        if (info.has_config()) {
            if (records[i].config_result != 0) {
                error = "reading the configuration of " + describe(t) + " failed";
                return false;
            }
            state.config = read_fields(records[i].config.bytes, config_fields(t.kind));
            if (info.named()) {
                state.name =
                    bounded_string(reinterpret_cast<const char *>(records[i].config.bytes) +
                                       offsetof(ChannelConfig, name),
                                   CHANNEL_NAME_SIZE);
            }
        }
        if (has_compressor(t)) {
            if (records[i].compressor_result != 0) {
                error = "reading the compressor of " + describe(t) + " failed";
                return false;
            }
            const CompressorValues values = compressor_values(t.kind, records[i].compressor);
            state.compressor = read_fields(bytes_of(values), compressor_fields());
        }
        if (info.has_filters()) {
            for (const bool rx : {true, false}) {
                std::vector<double> &array = arrays[rx ? 0 : 1];
                FilterState &filter = (rx ? state.rx_filter : state.tx_filter).emplace();
                filter.length = lengths[i][rx ? 0 : 1].length();
                if (filter.length <= 0)
                    continue;
                array.resize(static_cast<std::size_t>(filter.length));
                filter.on = zarn::fetch_filter(fd, t, rx, filter.length, array.data());
                if (filter.on)
                    filter.coefficients.swap(array);
            }
        }
        if (!sink.target(state))
            return false;
        // The arrays go back for the next target, unless the sink took them.
        for (const bool rx : {true, false}) {
            std::optional<FilterState> &filter = rx ? state.rx_filter : state.tx_filter;
            if (filter && filter->on)
                arrays[rx ? 0 : 1].swap(filter->coefficients);
        }
    }
    return true;
}

bool read_setup(int fd, Setup &setup, std::string &error) {
    struct Collect : SetupSink {
        Setup &setup;
        explicit Collect(Setup &setup) : setup(setup) {}
        void sample_rate(std::int32_t hz) override { setup.sample_rate = hz; }
        bool target(TargetState &state) override {
            setup.targets.push_back(std::move(state));
            return true;
        }
    };
    setup = Setup{};
    Collect collect(setup);
    return read_setup(fd, collect, error);
}

int restore_setup(int fd, const Setup &setup, const RestoreOptions &options,
                  RestoreReport &report) {
    report = RestoreReport{};
    Restorer restorer(fd, report);
    if (!probe(fd)) {
        report.problems.push_back("the daemon does not answer");
        return RESTORE_FAILED;
    }
    std::int32_t rate = 0;
    if (!read_sample_rate(fd, rate)) {
        restorer.failed("reading the sample rate");
        return RESTORE_FAILED;
    }

    const std::vector<Target> offered = find_targets(fd, MAX_TARGETS);
    const std::map<Group, std::int32_t> channels = channel_counts(offered);

    // Warnings do not stop a restore, but they are mismatches all the same.
    std::vector<std::string> &warnings = report.warnings;
    if (rate != setup.sample_rate) {
        warnings.push_back("the sample rate is " + std::to_string(rate) + " Hz here, " +
                           std::to_string(setup.sample_rate) + " Hz in the file");
    }
    // Why each stored target is left alone, where it is.
    std::vector<std::string> skips(setup.targets.size());
    std::vector<Plan> plans;
    for (std::size_t i = 0; i < setup.targets.size(); ++i) {
        const Target &t = setup.targets[i].target;
        bool found = false;
        for (const Target &o : offered)
            found = found || (o.kind == t.kind && o.number == t.number && o.channel == t.channel);
        if (!found) {
            skips[i] = "the daemon does not offer it";
        } else if (const std::optional<std::int32_t> &count = setup.targets[i].channels;
                   count && channels.at(group_of(t)) != *count) {
            skips[i] = group_words(t) + " has " + std::to_string(channels.at(group_of(t))) +
                       " channels here, " + std::to_string(*count) + " in the file";
        } else {
            Plan plan;
            plan.stored = &setup.targets[i];
            plan.index = i;
            plans.push_back(std::move(plan));
        }
    }
    if (!restorer.read(plans)) {
        // Nothing was sent; what was found so far is beside the point.
        warnings.clear();
        return RESTORE_FAILED;
    }
    for (Plan &plan : plans)
        restorer.check(plan);
    std::vector<std::string> &skipped = report.skipped;
    auto next = plans.begin();
    for (std::size_t i = 0; i < setup.targets.size(); ++i) {
        const TargetState &stored = setup.targets[i];
        if (!skips[i].empty()) {
            skipped.push_back(describe(stored.target) + ": " + skips[i]);
            continue;
        }
        const Plan &plan = *next++;
        if (stored.name && *stored.name != plan.daemon_name) {
            // Both names come from outside: escaped and cut for the terminal.
            warnings.push_back(describe(stored.target) + " is called \"" +
                               json::printable(plan.daemon_name) + "\" here, \"" +
                               json::printable(*stored.name) + "\" in the file");
        }
    }

    const bool all_fit = skipped.empty() && report.parts_skipped.empty();
    if (options.pedantic && (!all_fit || !warnings.empty())) {
        report.refused = true;
        return RESTORE_SKIPPED;
    }
    const int status = all_fit ? RESTORE_DONE : RESTORE_SKIPPED;
    std::vector<Write> writes;
    for (Plan &plan : plans)
        restorer.plan_writes(plan, writes);
    if (options.dry_run)
        return status;
    for (const Write &w : writes)
        restorer.write(w);
    for (const Plan &plan : plans)
        report.restored.push_back(plan.stored->target);
    return restorer.verify(plans, writes) ? status : RESTORE_FAILED;
}

int restore_setup(int fd, const Setup &setup, const RestoreOptions &options, std::FILE *out,
                  std::FILE *errors, std::vector<Target> *restored) {
    RestoreReport report;
    const int status = restore_setup(fd, setup, options, report);
    if (restored)
        *restored = report.restored;
    for (const std::string &warning : report.warnings)
        std::fprintf(errors, "zarnmix_state: warning: %s\n", warning.c_str());
    for (const std::string &skip : report.skipped)
        std::fprintf(errors, "zarnmix_state: skipped %s\n", skip.c_str());
    for (const PartSkip &skip : report.parts_skipped)
        std::fprintf(errors, "zarnmix_state: skipped %s\n", skip.line.c_str());
    if (report.refused) {
        std::fprintf(errors, "zarnmix_state: the daemon does not match the file; "
                             "nothing restored\n");
    }
    if (options.dry_run) {
        for (const Change &change : report.changes)
            std::fprintf(out, "%s\n", change.line.c_str());
    }
    if (options.dry_run && !report.refused && status != RESTORE_FAILED && report.changes.empty())
        std::fprintf(out, "nothing to change\n");
    for (const std::string &problem : report.problems)
        std::fprintf(errors, "zarnmix_state: %s\n", problem.c_str());
    return status;
}

} // namespace zarn::state
