// SPDX-License-Identifier: BSD-2-Clause

#include "tools/state_file_device.h"

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
    FilterNow rx_now; // dry run only
    FilterNow tx_now;
    bool written = false; // every write succeeded, and the filters read back the same

    std::int32_t rx_length() const { return lengths[0].length(); }
    std::int32_t tx_length() const { return lengths[1].length(); }
    CompressorValues compressor() const {
        return compressor_values(stored->target.kind, now.compressor);
    }
};

std::string format(const char *pattern, const std::string &a, const std::string &b, std::int32_t x,
                   std::int32_t y) {
    char line[512];
    std::snprintf(line, sizeof line, pattern, a.c_str(), b.c_str(), x, y);
    return line;
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
            plan.now.ask(reads, stored.target, stored.config || stored.name,
                         stored.compressor.has_value());
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
            if (stored.name && kind_info(t.kind)->named()) {
                plan.daemon_name =
                    bounded_string(reinterpret_cast<const char *>(plan.now.config.bytes) +
                                       offsetof(ChannelConfig, name),
                                   CHANNEL_NAME_SIZE);
            }
        }
        return true;
    }

    // Why the daemon cannot take the stored target as read, or empty; a dry
    // run also compares the filters.
    std::string check(Plan &plan, bool dry_run) {
        const TargetState &stored = *plan.stored;
        const Target &t = stored.target;
        std::string skip;
        if (stored.config && kind_info(t.kind)->two_way()) {
            const auto delay = stored.config->find("delay");
            std::int32_t limit;
            std::memcpy(&limit, plan.now.config.bytes + offsetof(ChannelConfig, delay_limit),
                        sizeof limit);
            if (delay != stored.config->end() && delay->second > limit) {
                skip = "its delay " + std::to_string(delay->second) +
                       " is beyond the daemon's limit " + std::to_string(limit);
            }
        }
        for (const auto &[filter, length, now, words] :
             {std::tuple{&stored.rx_filter, plan.rx_length(), &plan.rx_now, "receive"},
              std::tuple{&stored.tx_filter, plan.tx_length(), &plan.tx_now, "transmit"}}) {
            if (!*filter)
                continue;
            if (length != (*filter)->length && skip.empty()) {
                skip = std::string("its ") + words + " filter takes " + std::to_string(length) +
                       " taps here, " + std::to_string((*filter)->length) + " in the file";
            }
            if (dry_run && skip.empty())
                *now = compare_filter(t, filter == &stored.rx_filter, length, **filter);
        }
        return skip;
    }

    // Lists each field the restore would change.
    void list_changes(const Plan &plan) {
        const TargetState &stored = *plan.stored;
        const Target &t = stored.target;
        const std::string who = describe(t);
        const auto list_values = [&](const std::vector<Field> &fields, const Values &values,
                                     const unsigned char *now, const char *prefix) {
            const Values current = read_fields(now, fields);
            for (const auto &[name, value] : values) {
                const std::int32_t was = current.at(name);
                if (was != value) {
                    const std::string field = prefix + name;
                    report_.changes.push_back({who, field, std::to_string(was),
                                               std::to_string(value),
                                               who + ": " + field + " " + std::to_string(was) +
                                                   " -> " + std::to_string(value)});
                }
            }
        };
        if (stored.config)
            list_values(config_fields(t.kind), *stored.config, plan.now.config.bytes, "");
        if (stored.compressor) {
            const CompressorValues now = plan.compressor();
            list_values(compressor_fields(), *stored.compressor, bytes_of(now), "compressor.");
        }
        for (const auto &[filter, now, key] :
             {std::tuple{&stored.rx_filter, &plan.rx_now, "rx_filter"},
              std::tuple{&stored.tx_filter, &plan.tx_now, "tx_filter"}}) {
            if (!*filter || (*filter)->length == 0 || now->same)
                continue;
            if ((*filter)->on && now->on) {
                const std::string taps = std::to_string((*filter)->length) + " taps";
                report_.changes.push_back(
                    {who, key, "on (" + taps + ")", "other coefficients (" + taps + ")",
                     who + ": " + key + ": other coefficients (" + taps + ")"});
            } else {
                const std::string from = filter_words(now->on, now->length);
                const std::string to = filter_words((*filter)->on, (*filter)->length);
                report_.changes.push_back(
                    {who, key, from, to, who + ": " + key + ": " + from + " -> " + to});
            }
        }
    }

    // Writes the stored values over what the daemon holds. Each filter is
    // read back at once, while its coefficients are still in the cache.
    void write(Plan &plan) {
        const TargetState &stored = *plan.stored;
        const Target &t = stored.target;
        plan.written = true;
        if (stored.config) {
            write_fields(plan.now.config.bytes, config_fields(t.kind), *stored.config);
            if (write_config(fd_, t, plan.now.config.bytes) != 0)
                plan.written = failed("writing the configuration of " + describe(t));
        }
        if (stored.compressor) {
            CompressorValues settings = plan.compressor();
            write_fields(reinterpret_cast<unsigned char *>(&settings), compressor_fields(),
                         *stored.compressor);
            if (write_compressor(fd_, t, settings) != 0)
                plan.written = failed("writing the compressor of " + describe(t));
        }
        for (const auto &[filter, length, rx] :
             {std::tuple{&stored.rx_filter, plan.rx_length(), true},
              std::tuple{&stored.tx_filter, plan.tx_length(), false}}) {
            if (!*filter || length == 0)
                continue;
            const double *coefficients = (*filter)->on ? (*filter)->coefficients.data() : nullptr;
            if (write_filter(fd_, t, rx, length, coefficients) != 0) {
                plan.written = failed(std::string("writing the ") + (rx ? "receive" : "transmit") +
                                      " filter of " + describe(t));
            } else if (!compare_filter(t, rx, length, **filter).same) {
                report_.problems.push_back(describe(t) + ": the " + (rx ? "receive" : "transmit") +
                                           " filter reads back otherwise");
                plan.written = false;
            }
        }
    }

    // Reads back the configuration and compressor of every target written
    // without a fault; false when any target had one, a request failed, or
    // the daemon kept other values.
    bool verify(const std::vector<Plan> &plans) {
        std::vector<TargetRecords> back(plans.size());
        Reads reads;
        for (std::size_t i = 0; i < plans.size(); ++i) {
            const TargetState &stored = *plans[i].stored;
            if (plans[i].written) {
                back[i].ask(reads, stored.target, stored.config.has_value(),
                            stored.compressor.has_value());
            }
        }
        reads.send(fd_);
        bool ok = true;
        for (std::size_t i = 0; i < plans.size(); ++i)
            ok = plans[i].written && verify(plans[i], back[i]) && ok;
        return ok;
    }

    bool failed(const std::string &what) {
        report_.problems.push_back(what + " failed");
        return false;
    }

private:
    bool verify(const Plan &plan, const TargetRecords &back) {
        const TargetState &stored = *plan.stored;
        const Target &t = stored.target;
        const std::string who = describe(t);
        bool ok = true;
        const auto compare = [&](const std::vector<Field> &fields, const Values &values,
                                 const unsigned char *now, const char *prefix) {
            const Values current = read_fields(now, fields);
            for (const auto &[name, value] : values) {
                if (current.at(name) != value) {
                    report_.problems.push_back(format("%s: %s reads back %d, not %d", who,
                                                      prefix + name, current.at(name), value));
                    ok = false;
                }
            }
        };
        if (stored.config) {
            if (back.config_result != 0)
                return failed("reading back the configuration of " + who);
            compare(config_fields(t.kind), *stored.config, back.config.bytes, "");
        }
        if (stored.compressor) {
            if (back.compressor_result != 0)
                return failed("reading back the compressor of " + who);
            const CompressorValues now = compressor_values(t.kind, back.compressor);
            compare(compressor_fields(), *stored.compressor, bytes_of(now), "compressor.");
        }
        return ok;
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
    std::vector<Plan> ready;
    for (Plan &plan : plans) {
        skips[plan.index] = restorer.check(plan, options.dry_run);
        if (skips[plan.index].empty())
            ready.push_back(std::move(plan));
    }
    std::vector<std::string> &skipped = report.skipped;
    auto next = ready.begin();
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

    if (options.pedantic && (!skipped.empty() || !warnings.empty())) {
        report.refused = true;
        return RESTORE_SKIPPED;
    }
    const int status = skipped.empty() ? RESTORE_DONE : RESTORE_SKIPPED;
    if (options.dry_run) {
        for (const Plan &plan : ready)
            restorer.list_changes(plan);
        return status;
    }
    for (Plan &plan : ready) {
        restorer.write(plan);
        report.restored.push_back(plan.stored->target);
    }
    return restorer.verify(ready) ? status : RESTORE_FAILED;
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
    if (report.refused) {
        std::fprintf(errors, "zarnmix_state: the daemon does not match the file; "
                             "nothing restored\n");
    }
    for (const Change &change : report.changes)
        std::fprintf(out, "%s\n", change.line.c_str());
    if (options.dry_run && !report.refused && status != RESTORE_FAILED && report.changes.empty())
        std::fprintf(out, "nothing to change\n");
    for (const std::string &problem : report.problems)
        std::fprintf(errors, "zarnmix_state: %s\n", problem.c_str());
    return status;
}

} // namespace zarn::state
