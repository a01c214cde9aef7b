// SPDX-License-Identifier: BSD-2-Clause

#include "tools/state_file_device.h"

#include <cstdint>
#include <cstring>
#include <map>
#include <utility>
#include <vector>

#include "ctl/bounded_string.h"
#include "ctl/catalogue.h"
#include "ctl/channel_config.h"

namespace zarn::state {

namespace {

using Record = ConfigRecord;

bool read_config(int fd, const Target &target, Record &record) {
    record = Record{};
    return zarn::read_config(fd, target, record.bytes) == 0;
}

const unsigned char *bytes_of(const CompressorValues &values) {
    return reinterpret_cast<const unsigned char *>(&values);
}

std::int32_t filter_length(int fd, const Target &target, bool rx) {
    std::int32_t length = 0;
    return query_filter_length(fd, target, rx, length) ? length : 0;
}

// The filter in force: on when a fetch of the whole length succeeds with
// that length, off after any other answer.
FilterState fetch_state(int fd, const Target &target, bool rx, std::int32_t length) {
    FilterState filter;
    filter.length = length;
    if (length <= 0)
        return filter;
    std::vector<double> coefficients(static_cast<std::size_t>(length));
    if (zarn::fetch_filter(fd, target, rx, length, coefficients.data())) {
        filter.on = true;
        filter.coefficients = std::move(coefficients);
    }
    return filter;
}

// The same filter, bit for bit (so -0.0 differs from 0.0).
bool same_filter(const FilterState &a, const FilterState &b) {
    return a.on == b.on && a.coefficients.size() == b.coefficients.size() &&
           (a.coefficients.empty() || std::memcmp(a.coefficients.data(), b.coefficients.data(),
                                                  a.coefficients.size() * sizeof(double)) == 0);
}

std::string filter_words(const FilterState &filter) {
    return filter.on ? "on (" + std::to_string(filter.length) + " taps)" : "off";
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

// One target the daemon offers that matches the file, with what it holds now.
struct Plan {
    const TargetState *stored = nullptr;
    std::string daemon_name;
    Record config;
    CompressorValues compressor;
    std::int32_t rx_length = 0;
    std::int32_t tx_length = 0;
    FilterState rx_now; // dry run only
    FilterState tx_now;
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

    // Reads what the daemon holds for one stored target; false on a failed
    // read. A mismatch leaves a reason in skip.
    bool plan(const TargetState &stored, bool dry_run, Plan &plan, std::string &skip) {
        const Target &t = stored.target;
        plan.stored = &stored;
        if (stored.config || stored.name) {
            if (!read_config(fd_, t, plan.config))
                return failed("reading the configuration of " + describe(t));
            if (kind_info(t.kind)->named()) {
                plan.daemon_name =
                    bounded_string(reinterpret_cast<const char *>(plan.config.bytes) +
                                       offsetof(ChannelConfig, name),
                                   CHANNEL_NAME_SIZE);
            }
        }
        if (stored.config && kind_info(t.kind)->two_way()) {
            const auto delay = stored.config->find("delay");
            std::int32_t limit;
            std::memcpy(&limit, plan.config.bytes + offsetof(ChannelConfig, delay_limit),
                        sizeof limit);
            if (delay != stored.config->end() && delay->second > limit) {
                skip = "its delay " + std::to_string(delay->second) +
                       " is beyond the daemon's limit " + std::to_string(limit);
            }
        }
        if (stored.compressor && read_compressor(fd_, t, plan.compressor) != 0)
            return failed("reading the compressor of " + describe(t));
        for (const auto &[filter, length, now, words] :
             {std::tuple{&stored.rx_filter, &plan.rx_length, &plan.rx_now, "receive"},
              std::tuple{&stored.tx_filter, &plan.tx_length, &plan.tx_now, "transmit"}}) {
            if (!*filter)
                continue;
            const bool rx = filter == &stored.rx_filter;
            *length = filter_length(fd_, t, rx);
            if (*length != (*filter)->length && skip.empty()) {
                skip = std::string("its ") + words + " filter takes " + std::to_string(*length) +
                       " taps here, " + std::to_string((*filter)->length) + " in the file";
            }
            if (dry_run)
                *now = fetch_state(fd_, t, rx, *length);
        }
        return true;
    }

    // Lists each field the restore would change; returns how many.
    int print_changes(const Plan &plan) {
        const TargetState &stored = *plan.stored;
        const Target &t = stored.target;
        const std::string who = describe(t);
        int changes = 0;
        const auto print_values = [&](const std::vector<Field> &fields, const Values &values,
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
                    ++changes;
                }
            }
        };
        if (stored.config)
            print_values(config_fields(t.kind), *stored.config, plan.config.bytes, "");
        if (stored.compressor) {
            print_values(compressor_fields(), *stored.compressor, bytes_of(plan.compressor),
                         "compressor.");
        }
        for (const auto &[filter, now, key] :
             {std::tuple{&stored.rx_filter, &plan.rx_now, "rx_filter"},
              std::tuple{&stored.tx_filter, &plan.tx_now, "tx_filter"}}) {
            if (!*filter || (*filter)->length == 0 || same_filter(**filter, *now))
                continue;
            if ((*filter)->on && now->on) {
                const std::string taps = std::to_string((*filter)->length) + " taps";
                report_.changes.push_back(
                    {who, key, "on (" + taps + ")", "other coefficients (" + taps + ")",
                     who + ": " + key + ": other coefficients (" + taps + ")"});
            } else {
                report_.changes.push_back({who, key, filter_words(*now), filter_words(**filter),
                                           who + ": " + key + ": " + filter_words(*now) + " -> " +
                                               filter_words(**filter)});
            }
            ++changes;
        }
        return changes;
    }

    // Writes the stored values over what the daemon holds, then reads them
    // back. false when a request failed or the daemon kept other values.
    bool apply(Plan &plan) {
        const TargetState &stored = *plan.stored;
        const Target &t = stored.target;
        bool ok = true;
        if (stored.config) {
            write_fields(plan.config.bytes, config_fields(t.kind), *stored.config);
            if (write_config(fd_, t, plan.config.bytes) != 0)
                ok = failed("writing the configuration of " + describe(t));
        }
        if (stored.compressor) {
            CompressorValues settings = plan.compressor;
            write_fields(reinterpret_cast<unsigned char *>(&settings), compressor_fields(),
                         *stored.compressor);
            if (write_compressor(fd_, t, settings) != 0)
                ok = failed("writing the compressor of " + describe(t));
        }
        for (const auto &[filter, length, rx] :
             {std::tuple{&stored.rx_filter, plan.rx_length, true},
              std::tuple{&stored.tx_filter, plan.tx_length, false}}) {
            if (!*filter || length == 0)
                continue;
            const double *coefficients = (*filter)->on ? (*filter)->coefficients.data() : nullptr;
            if (write_filter(fd_, t, rx, length, coefficients) != 0) {
                ok = failed(std::string("writing the ") + (rx ? "receive" : "transmit") +
                            " filter of " + describe(t));
            }
        }
        return ok && verify(plan);
    }

    bool failed(const std::string &what) {
        report_.problems.push_back(what + " failed");
        return false;
    }

private:
    bool verify(const Plan &plan) {
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
            Record record;
            if (!read_config(fd_, t, record))
                return failed("reading back the configuration of " + who);
            compare(config_fields(t.kind), *stored.config, record.bytes, "");
        }
        if (stored.compressor) {
            CompressorValues now;
            if (read_compressor(fd_, t, now) != 0)
                return failed("reading back the compressor of " + who);
            compare(compressor_fields(), *stored.compressor, bytes_of(now), "compressor.");
        }
        for (const auto &[filter, length, rx] :
             {std::tuple{&stored.rx_filter, plan.rx_length, true},
              std::tuple{&stored.tx_filter, plan.tx_length, false}}) {
            if (!*filter || length == 0)
                continue;
            // Fetched into one buffer for all: a fresh array each time
            // would cost the largest setup 128 MiB of new pages.
            verify_buffer_.resize(static_cast<std::size_t>(length));
            const bool on = zarn::fetch_filter(fd_, t, rx, length, verify_buffer_.data());
            const bool same =
                on == (*filter)->on &&
                (!on || std::memcmp(verify_buffer_.data(), (*filter)->coefficients.data(),
                                    verify_buffer_.size() * sizeof(double)) == 0);
            if (!same) {
                report_.problems.push_back(who + ": the " + (rx ? "receive" : "transmit") +
                                           " filter reads back otherwise");
                ok = false;
            }
        }
        return ok;
    }

    int fd_;
    std::vector<double> verify_buffer_;
    RestoreReport &report_;
};

} // namespace

bool read_setup(int fd, Setup &setup, std::string &error) {
    setup = Setup{};
    if (!probe(fd)) {
        error = "the daemon does not answer";
        return false;
    }
    if (!read_sample_rate(fd, setup.sample_rate)) {
        error = "reading the sample rate failed";
        return false;
    }
    std::vector<Target> targets;
    discover_targets(fd, MAX_TARGETS, [&](const Target &t) { targets.push_back(t); });
    const std::map<Group, std::int32_t> channels = channel_counts(targets);
    for (const Target &t : targets) {
        TargetState state;
        state.target = t;
        const KindInfo &info = *kind_info(t.kind);
        if (info.has_channels)
            state.channels = channels.at(group_of(t));
        Record record;
        if (info.has_config()) {
            if (!read_config(fd, t, record)) {
                error = "reading the configuration of " + describe(t) + " failed";
                return false;
            }
            state.config = read_fields(record.bytes, config_fields(t.kind));
            if (info.named()) {
                state.name = bounded_string(reinterpret_cast<const char *>(record.bytes) +
                                                offsetof(ChannelConfig, name),
                                            CHANNEL_NAME_SIZE);
            }
        }
        if (has_compressor(t)) {
            CompressorValues values;
            if (read_compressor(fd, t, values) != 0) {
                error = "reading the compressor of " + describe(t) + " failed";
                return false;
            }
            state.compressor = read_fields(bytes_of(values), compressor_fields());
        }
        if (info.has_filters()) {
            state.rx_filter = fetch_state(fd, t, true, filter_length(fd, t, true));
            state.tx_filter = fetch_state(fd, t, false, filter_length(fd, t, false));
        }
        setup.targets.push_back(std::move(state));
    }
    return true;
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

    std::vector<Target> offered;
    discover_targets(fd, MAX_TARGETS, [&](const Target &t) { offered.push_back(t); });
    const std::map<Group, std::int32_t> channels = channel_counts(offered);

    // Warnings do not stop a restore, but they are mismatches all the same.
    std::vector<std::string> &warnings = report.warnings;
    if (rate != setup.sample_rate) {
        warnings.push_back("the sample rate is " + std::to_string(rate) + " Hz here, " +
                           std::to_string(setup.sample_rate) + " Hz in the file");
    }
    std::vector<Plan> plans;
    std::vector<std::string> &skipped = report.skipped;
    for (const TargetState &stored : setup.targets) {
        const Target &t = stored.target;
        std::string skip;
        bool found = false;
        for (const Target &o : offered)
            found = found || (o.kind == t.kind && o.number == t.number && o.channel == t.channel);
        if (!found) {
            skip = "the daemon does not offer it";
        } else if (stored.channels && channels.at(group_of(t)) != *stored.channels) {
            skip = group_words(t) + " has " + std::to_string(channels.at(group_of(t))) +
                   " channels here, " + std::to_string(*stored.channels) + " in the file";
        }
        Plan plan;
        if (skip.empty() && !restorer.plan(stored, options.dry_run, plan, skip)) {
            // Nothing was sent; what was found so far is beside the point.
            warnings.clear();
            skipped.clear();
            return RESTORE_FAILED;
        }
        if (!skip.empty()) {
            skipped.push_back(describe(t) + ": " + skip);
            continue;
        }
        if (stored.name && *stored.name != plan.daemon_name) {
            warnings.push_back(describe(t) + " is called \"" + plan.daemon_name + "\" here, \"" +
                               *stored.name + "\" in the file");
        }
        plans.push_back(std::move(plan));
    }

    if (options.pedantic && (!skipped.empty() || !warnings.empty())) {
        report.refused = true;
        return RESTORE_SKIPPED;
    }
    const int status = skipped.empty() ? RESTORE_DONE : RESTORE_SKIPPED;
    if (options.dry_run) {
        for (const Plan &plan : plans)
            restorer.print_changes(plan);
        return status;
    }
    bool ok = true;
    for (Plan &plan : plans) {
        ok = restorer.apply(plan) && ok;
        report.restored.push_back(plan.stored->target);
    }
    return ok ? status : RESTORE_FAILED;
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
