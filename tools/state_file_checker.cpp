// SPDX-License-Identifier: BSD-2-Clause

#include "tools/state_file_checker.h"

#include <QtEndian>
#include <algorithm>
#include <atomic>
#include <cmath>
#include <cstring>
#include <limits>
#include <set>
#include <string_view>
#include <system_error>
#include <thread>
#include <tuple>
#include <vector>

#include "ctl/requests.h"
#include "tools/base64.h"
#include "tools/state_file_json.h"

namespace zarn::state {

namespace {

// One filter's coefficients, left to decode until the rest of the file is
// checked, so that the largest file's 256 of them can be decoded on more
// than one thread.
struct CoefficientJob {
    std::size_t target; // index in the setup's targets
    bool rx;
    std::string place;
    const json::Value *text;
    std::int32_t length;
    std::vector<double> values;
    std::string error; // "place: what", or empty when they decoded
};

// The job's checks and decoding, in the order the file's other values are
// checked in, so that its fault reads the same wherever it is found.
void decode_job(CoefficientJob &job) {
    const auto fail = [&job](const std::string &place, const char *what) {
        job.error = place + ": " + what;
    };
    std::string unescaped;
    std::string_view encoded = job.text->raw;
    if (job.text->escaped) {
        if (!json::decode_string(*job.text, unescaped))
            return fail(job.place, "not base64 text");
        encoded = unescaped;
    }
    std::size_t size;
    if (!base64_decoded_size(encoded, size))
        return fail(job.place, "not base64 text");
    const std::size_t expected = static_cast<std::size_t>(job.length) * sizeof(double);
    if (size != expected) {
        job.error = job.place + ": holds " + std::to_string(size) + " bytes, " +
                    std::to_string(expected) + " are needed for " + std::to_string(job.length) +
                    " coefficients";
        return;
    }
    job.values.resize(static_cast<std::size_t>(job.length));
    auto *bytes = reinterpret_cast<unsigned char *>(job.values.data());
    if (!base64_decode(encoded, bytes, size))
        return fail(job.place, "not base64 text");
    for (std::size_t i = 0; i < job.values.size(); ++i) {
        quint64 bits = qFromLittleEndian<quint64>(bytes + i * sizeof bits);
        if (Q_BYTE_ORDER != Q_LITTLE_ENDIAN)
            std::memcpy(&job.values[i], &bits, sizeof bits);
        // Infinities and NaNs have every exponent bit set.
        if (((bits >> 52) & 0x7ff) == 0x7ff)
            return fail(job.place + "[" + std::to_string(i) + "]", "not a finite number");
    }
}

// Decodes every job; a large file's on two threads or more, since its
// coefficients are most of the work of reading it. The first fault in the
// jobs' order goes to error.
bool decode_jobs(std::vector<CoefficientJob> &jobs, std::string &error) {
    std::size_t bytes = 0;
    for (const CoefficientJob &job : jobs)
        bytes += job.text->raw.size();
    std::atomic<std::size_t> next{0};
    const auto work = [&jobs, &next] {
        for (std::size_t i = next++; i < jobs.size(); i = next++)
            decode_job(jobs[i]);
    };
    constexpr std::size_t worth_a_thread = std::size_t{8} << 20;
    const unsigned helpers =
        bytes < worth_a_thread
            ? 0
            : std::min(3u, std::max(2u, std::thread::hardware_concurrency()) - 1);
    std::vector<std::thread> threads;
    for (unsigned i = 0; i < helpers; ++i) {
        try {
            threads.emplace_back(work);
        } catch (const std::system_error &) {
            break; // where no thread can be started, this one does it all
        }
    }
    work();
    for (std::thread &thread : threads)
        thread.join();
    for (const CoefficientJob &job : jobs) {
        if (!job.error.empty()) {
            error = job.error;
            return false;
        }
    }
    return true;
}

// Checks values of the file one by one; the first fault is kept. The
// coefficients are only looked at later, as jobs.
class Checker {
public:
    std::string error;
    int version = FORMAT_VERSION;
    std::size_t target_index = 0; // of the target being checked
    std::vector<CoefficientJob> jobs;

    bool fail(const std::string &place, const std::string &what) {
        if (error.empty())
            error = place + ": " + what;
        return false;
    }

    bool object(const json::Value *value, const std::string &place) {
        if (!value)
            return fail(place, "missing");
        if (value->type != json::Type::object)
            return fail(place, "not an object");
        return true;
    }

    bool string(const json::Value *value, const std::string &place, std::string &out) {
        if (!value)
            return fail(place, "missing");
        if (value->type != json::Type::string)
            return fail(place, "not a string");
        if (!json::decode_string(*value, out))
            return fail(place, "not a valid JSON string of UTF-8 text");
        return true;
    }

    bool integer(const json::Value *value, const std::string &place, std::int32_t low,
                 std::int32_t high, std::int32_t &out) {
        if (!value)
            return fail(place, "missing");
        if (value->type != json::Type::number)
            return fail(place, "not a number");
        const double number = value->number;
        if (std::isfinite(number) && number != std::floor(number))
            return fail(place, "not an integer");
        if (!(number >= low && number <= high)) {
            return fail(place, "out of range (" + std::to_string(low) + " to " +
                                   std::to_string(high) + ")");
        }
        out = static_cast<std::int32_t>(number);
        return true;
    }

    // Every key of the object must be one of the allowed ones.
    bool known_keys(const json::Value &object, const std::string &place,
                    std::initializer_list<const char *> allowed) {
        for (const auto &member : object.members) {
            bool known = false;
            for (const char *key : allowed)
                known = known || member.first == key;
            if (!known)
                return fail((place.empty() ? "" : place + ".") + member.first, "unknown field");
        }
        return true;
    }

    bool values(const json::Value *value, const std::string &place,
                const std::vector<Field> &fields, Values &out) {
        if (!object(value, place))
            return false;
        for (const auto &[name, member] : value->members) {
            const Field *field = nullptr;
            for (const Field &f : fields)
                field = name == f.name ? &f : field;
            if (!field)
                return fail(place + "." + name, "unknown field");
            std::int32_t number;
            if (!integer(&member, place + "." + name, field->low, field->high, number))
                return false;
            out[name] = number;
        }
        return true;
    }

    bool coefficients(const json::Value *value, const std::string &place, bool rx,
                      std::int32_t length) {
        if (!value)
            return fail(place, "missing");
        if (value->type != json::Type::string)
            return fail(place, "not a string");
        jobs.push_back({target_index, rx, place, value, length, {}, {}});
        return true;
    }

    bool filter(const json::Value *value, const std::string &place, bool rx, FilterState &out) {
        std::string state;
        if (!object(value, place) ||
            !(version >= 2 ? known_keys(*value, place, {"length", "state", "coefficients", "text"})
                           : known_keys(*value, place, {"length", "state", "coefficients"})) ||
            !integer(value->find("length"), place + ".length", 0, MAX_FILTER_SIZE, out.length) ||
            !string(value->find("state"), place + ".state", state))
            return false;
        const json::Value *coefficients = value->find("coefficients");
        const json::Value *text = value->find("text");
        if (state == "off") {
            out.on = false;
            if (coefficients)
                return fail(place + ".coefficients", "present while the filter is off");
            if (text)
                return fail(place + ".text", "present while the filter is off");
            return true;
        }
        if (state != "on")
            return fail(place + ".state", "neither \"on\" nor \"off\"");
        out.on = true;
        if (out.length == 0)
            return fail(place + ".length", "0 while the filter is on");
        if (!this->coefficients(coefficients, place + ".coefficients", rx, out.length))
            return false;
        if (text) {
            std::string s;
            if (!string(text, place + ".text", s))
                return false;
            if (s.size() > MAX_FILTER_TEXT) {
                return fail(place + ".text",
                            "longer than " + std::to_string(MAX_FILTER_TEXT) + " bytes");
            }
            out.text = std::move(s);
        }
        return true;
    }

    bool target(const json::Value &value, const std::string &place, TargetState &out) {
        std::string kind;
        if (!object(&value, place) ||
            !(version >= 3 ? known_keys(value, place,
                                        {"kind", "number", "channel", "channel_name", "channels",
                                         "name", "config", "compressor", "rx_filter", "tx_filter"})
                           : known_keys(value, place,
                                        {"kind", "number", "channel", "channels", "name", "config",
                                         "compressor", "rx_filter", "tx_filter"})) ||
            !string(value.find("kind"), place + ".kind", kind))
            return false;
        Target &t = out.target;
        const KindInfo *info = kind_by_key(kind.c_str());
        if (!info || kind.size() != std::strlen(kind.c_str()))
            return fail(place + ".kind", "unknown kind \"" + kind + "\"");
        t.kind = info->kind;
        const bool main = info->peak_layout == PeakLayout::by_channel;
        const bool monitor = info->peak_layout == PeakLayout::by_number;
        const std::int32_t most = std::numeric_limits<std::int32_t>::max();
        if (!integer(value.find("number"), place + ".number", 0, main ? 0 : most, t.number) ||
            !integer(value.find("channel"), place + ".channel", 0, monitor ? 0 : most, t.channel))
            return false;

        if (const json::Value *channels = value.find("channels")) {
            std::int32_t count;
            if (!info->has_channels)
                return fail(place + ".channels", "this kind has no channels");
            if (!integer(channels, place + ".channels", std::min(t.channel, most - 1) + 1, most,
                         count))
                return false;
            out.channels = count;
        }
        if (const json::Value *name = value.find("name")) {
            std::string s;
            if (!info->named())
                return fail(place + ".name", "this kind has no name");
            if (!string(name, place + ".name", s))
                return false;
            out.name = std::move(s);
        }
        if (const json::Value *channel_name = value.find("channel_name")) {
            std::string s;
            if (!string(channel_name, place + ".channel_name", s))
                return false;
            if (s.size() > MAX_CHANNEL_NAME_BYTES) {
                return fail(place + ".channel_name",
                            "longer than " + std::to_string(MAX_CHANNEL_NAME_BYTES) + " bytes");
            }
            out.channel_name = std::move(s);
        }
        if (const json::Value *config = value.find("config")) {
            if (!info->has_config())
                return fail(place + ".config", "this kind has no configuration");
            out.config.emplace();
            if (!values(config, place + ".config", config_fields(t.kind), *out.config))
                return false;
        }
        if (const json::Value *compressor = value.find("compressor")) {
            if (!has_compressor(t))
                return fail(place + ".compressor", "this target has no compressor");
            out.compressor.emplace();
            if (!values(compressor, place + ".compressor", compressor_fields(), *out.compressor))
                return false;
        }
        for (const auto &[key, filter] :
             {std::pair{"rx_filter", &out.rx_filter}, std::pair{"tx_filter", &out.tx_filter}}) {
            const json::Value *v = value.find(key);
            if (!v)
                continue;
            if (!info->has_filters())
                return fail(place + "." + key, "this kind has no filters");
            filter->emplace();
            if (!this->filter(v, place + "." + key, filter == &out.rx_filter, **filter))
                return false;
        }
        return true;
    }
};

} // namespace

bool check_setup(const json::Value &top, Setup &setup, std::string &error) {
    Checker check;
    if (top.type != json::Type::object) {
        error = "not a JSON object";
        return false;
    }
    const std::int32_t most = std::numeric_limits<std::int32_t>::max();
    std::string format, encoding;
    std::int32_t version = 0;
    // Format and version first: a newer file is refused as such, not for its new fields.
    bool ok = check.string(top.find("format"), "format", format);
    if (ok && format != FORMAT_NAME)
        ok = check.fail("format", "\"" + format + "\" is not " + FORMAT_NAME);
    ok = ok && check.integer(top.find("version"), "version", 1, most, version);
    if (ok && (version < OLDEST_FORMAT_VERSION || version > FORMAT_VERSION)) {
        ok = check.fail("version", std::to_string(version) +
                                       " is not supported (this program reads " +
                                       std::to_string(OLDEST_FORMAT_VERSION) + " to " +
                                       std::to_string(FORMAT_VERSION) + ")");
    }
    check.version = version;
    ok = ok &&
         check.known_keys(
             top, "", {"format", "version", "coefficient_encoding", "sample_rate", "targets"}) &&
         check.string(top.find("coefficient_encoding"), "coefficient_encoding", encoding);
    if (ok && encoding != COEFFICIENT_ENCODING) {
        ok = check.fail("coefficient_encoding",
                        "\"" + encoding + "\" is not " + COEFFICIENT_ENCODING);
    }
    ok = ok && check.integer(top.find("sample_rate"), "sample_rate", 1, most, setup.sample_rate);
    if (!ok) {
        error = check.error;
        return false;
    }
    const json::Value *list = top.find("targets");
    if (!list || list->type != json::Type::array) {
        error = !list ? "targets: missing" : "targets: not an array";
        return false;
    }
    // A fault among the coefficients checked so far comes before the one found.
    const auto failed = [&check, &error](std::string fault) {
        if (decode_jobs(check.jobs, error))
            error = std::move(fault);
        return false;
    };
    std::set<std::tuple<std::int32_t, std::int32_t, std::int32_t>> seen;
    for (std::size_t i = 0; i < list->items.size(); ++i) {
        const std::string place = "targets[" + std::to_string(i) + "]";
        TargetState state;
        check.target_index = i;
        if (!check.target(list->items[i], place, state))
            return failed(check.error);
        const Target &t = state.target;
        if (!seen.insert({t.kind, t.number, t.channel}).second)
            return failed(place + ": " + describe(t) + " appears twice");
        setup.targets.push_back(std::move(state));
    }
    if (!decode_jobs(check.jobs, error))
        return false;
    for (CoefficientJob &job : check.jobs) {
        TargetState &state = setup.targets[job.target];
        (job.rx ? state.rx_filter : state.tx_filter)->coefficients = std::move(job.values);
    }
    return true;
}

} // namespace zarn::state
