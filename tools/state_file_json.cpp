// SPDX-License-Identifier: BSD-2-Clause

#include "tools/state_file_json.h"

#include <QIODevice>
#include <QString>
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
#include "tools/json_reader.h"

namespace zarn::state {

namespace {

// Base64 by tables: two characters for each 12 bits on the way out, one
// lookup per character on the way in, with a bit that marks a character
// outside the alphabet. The largest setup carries 128 MiB of coefficients.
constexpr std::uint32_t BAD = 0x01000000;

struct Base64Tables {
    char pairs[4096][2];
    std::uint32_t in[4][256];

    Base64Tables() {
        static const char alphabet[] =
            "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789+/";
        for (int i = 0; i < 4096; ++i) {
            pairs[i][0] = alphabet[i >> 6];
            pairs[i][1] = alphabet[i & 63];
        }
        for (auto &table : in)
            std::fill(std::begin(table), std::end(table), BAD);
        for (std::uint32_t v = 0; v < 64; ++v) {
            const auto c = static_cast<unsigned char>(alphabet[v]);
            in[0][c] = v << 18;
            in[1][c] = v << 12;
            in[2][c] = v << 6;
            in[3][c] = v;
        }
    }
};

const Base64Tables &tables() {
    static const Base64Tables t;
    return t;
}

std::size_t base64_size(std::size_t bytes) {
    return (bytes + 2) / 3 * 4;
}

void base64_encode(const unsigned char *in, std::size_t n, char *out) {
    const Base64Tables &t = tables();
    std::size_t i = 0;
    // Six bytes at a time from one 8-byte load: four table lookups.
    for (; i + 8 <= n; i += 6, out += 8) {
        const quint64 v = qFromBigEndian<quint64>(in + i);
        std::memcpy(out, t.pairs[(v >> 52) & 0xfff], 2);
        std::memcpy(out + 2, t.pairs[(v >> 40) & 0xfff], 2);
        std::memcpy(out + 4, t.pairs[(v >> 28) & 0xfff], 2);
        std::memcpy(out + 6, t.pairs[(v >> 16) & 0xfff], 2);
    }
    for (; i + 3 <= n; i += 3, out += 4) {
        const std::uint32_t v =
            (std::uint32_t{in[i]} << 16) | (std::uint32_t{in[i + 1]} << 8) | in[i + 2];
        std::memcpy(out, t.pairs[v >> 12], 2);
        std::memcpy(out + 2, t.pairs[v & 0xfff], 2);
    }
    if (i < n) {
        const std::uint32_t v =
            (std::uint32_t{in[i]} << 16) | (i + 1 < n ? std::uint32_t{in[i + 1]} << 8 : 0);
        std::memcpy(out, t.pairs[v >> 12], 2);
        out[2] = i + 1 < n ? t.pairs[v & 0xfff][0] : '=';
        out[3] = '=';
    }
}

// The number of bytes the text stands for, or false when its length or
// padding is not base64's.
bool base64_decoded_size(std::string_view text, std::size_t &size) {
    if (text.size() % 4 != 0)
        return false;
    std::size_t padding = 0;
    if (!text.empty() && text.back() == '=')
        padding = text[text.size() - 2] == '=' ? 2 : 1;
    size = text.size() / 4 * 3 - padding;
    return true;
}

// Decodes exactly size bytes (as base64_decoded_size gave); false on a
// character outside the alphabet.
bool base64_decode(std::string_view text, unsigned char *out, std::size_t size) {
    const Base64Tables &t = tables();
    const auto *in = reinterpret_cast<const unsigned char *>(text.data());
    const auto quad = [&t](const unsigned char *c) {
        return t.in[0][c[0]] | t.in[1][c[1]] | t.in[2][c[2]] | t.in[3][c[3]];
    };
    std::uint32_t bad = 0;
    std::size_t done = 0;
    // Eight characters to six bytes with one 8-byte store, while two bytes
    // of room remain beyond them.
    for (; done + 8 <= size; done += 6, in += 8) {
        const std::uint32_t a = quad(in);
        const std::uint32_t b = quad(in + 4);
        bad |= a | b;
        qToBigEndian<quint64>((quint64{a} << 40) | (quint64{b} << 16), out + done);
    }
    for (; done + 3 <= size; done += 3, in += 4) {
        const std::uint32_t v = quad(in);
        bad |= v;
        out[done] = static_cast<unsigned char>(v >> 16);
        out[done + 1] = static_cast<unsigned char>(v >> 8);
        out[done + 2] = static_cast<unsigned char>(v);
    }
    const std::size_t rest = size - done;
    if (rest > 0) {
        std::uint32_t v = t.in[0][in[0]] | t.in[1][in[1]];
        if (rest == 2)
            v |= t.in[2][in[2]];
        bad |= v;
        out[done] = static_cast<unsigned char>(v >> 16);
        if (rest == 2)
            out[done + 1] = static_cast<unsigned char>(v >> 8);
    }
    return (bad & BAD) == 0;
}

// Writes the document as Qt's indented JSON writer would: four spaces a
// level, keys in order, integers without a fraction.
class Writer {
public:
    explicit Writer(std::size_t estimate) { out_.reserve(static_cast<int>(estimate)); }

    QByteArray take() { return std::move(out_); }
    std::size_t size() const { return static_cast<std::size_t>(out_.size()); }

    bool flush_to(QIODevice &device) {
        if (device.write(out_) != out_.size())
            return false;
        out_.resize(0); // keeps the reserved room
        return true;
    }

    void raw(const char *text) { out_.append(text); }
    void raw(const char *text, std::size_t n) { out_.append(text, static_cast<int>(n)); }

    void indent(int level) { out_.append(level * 4, ' '); }

    // Opens a member: the separator after the one before, the indent and the key.
    void key(int level, const std::string &name, bool &first) {
        raw(first ? "" : ",\n");
        first = false;
        indent(level);
        string(name);
        raw(": ");
    }

    void number(std::int32_t value) {
        char digits[16];
        const int n = std::snprintf(digits, sizeof digits, "%d", value);
        raw(digits, static_cast<std::size_t>(n));
    }

    // Text from the daemon or a user: bytes that are not UTF-8 become
    // U+FFFD, as when the text passes through QString.
    void string(const std::string &text) { string(QString::fromStdString(text).toUtf8()); }
    void string(const char *text) { string(QByteArray(text)); }
    void string(const QByteArray &utf8) {
        static const char hex[] = "0123456789abcdef";
        out_.append('"');
        for (const char c : utf8) {
            const auto u = static_cast<unsigned char>(c);
            switch (u) {
            case '"':
                raw("\\\"");
                break;
            case '\\':
                raw("\\\\");
                break;
            case '\b':
                raw("\\b");
                break;
            case '\f':
                raw("\\f");
                break;
            case '\n':
                raw("\\n");
                break;
            case '\r':
                raw("\\r");
                break;
            case '\t':
                raw("\\t");
                break;
            default:
                if (u < 0x20) {
                    const char escape[] = {'\\', 'u', '0', '0', hex[u >> 4], hex[u & 0xf]};
                    raw(escape, sizeof escape);
                } else {
                    out_.append(c);
                }
            }
        }
        out_.append('"');
    }

    void coefficients(const std::vector<double> &values) {
        const std::size_t bytes = values.size() * sizeof(double);
        const int at = out_.size();
        out_.append('"');
        out_.resize(at + 1 + static_cast<int>(base64_size(bytes)));
        if (Q_BYTE_ORDER == Q_LITTLE_ENDIAN) {
            base64_encode(reinterpret_cast<const unsigned char *>(values.data()), bytes,
                          out_.data() + at + 1);
        } else {
            std::vector<unsigned char> little(bytes);
            for (std::size_t i = 0; i < values.size(); ++i) {
                quint64 bits;
                std::memcpy(&bits, &values[i], sizeof bits);
                qToLittleEndian(bits, little.data() + i * sizeof bits);
            }
            base64_encode(little.data(), bytes, out_.data() + at + 1);
        }
        out_.append('"');
    }

    void values(int level, const Values &values) {
        if (values.empty()) {
            raw("{\n");
            indent(level);
            raw("}");
            return;
        }
        raw("{\n");
        bool first = true;
        for (const auto &[name, value] : values) {
            key(level + 1, name, first);
            number(value);
        }
        raw("\n");
        indent(level);
        raw("}");
    }

    void filter(int level, const FilterState &filter) {
        raw("{\n");
        bool first = true;
        if (filter.on) {
            key(level + 1, "coefficients", first);
            coefficients(filter.coefficients);
        }
        key(level + 1, "length", first);
        number(filter.length);
        key(level + 1, "state", first);
        string(filter.on ? "on" : "off");
        if (filter.on && filter.text) {
            key(level + 1, "text", first);
            string(*filter.text);
        }
        raw("\n");
        indent(level);
        raw("}");
    }

private:
    QByteArray out_;
};

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
            !known_keys(value, place,
                        {"kind", "number", "channel", "channels", "name", "config", "compressor",
                         "rx_filter", "tx_filter"}) ||
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

} // namespace

struct SetupEncoder::Writing {
    explicit Writing(std::size_t estimate) : w(estimate) {}
    Writer w;
    bool first_member = true;
    bool first_target = true;
};

SetupEncoder::SetupEncoder(std::int32_t sample_rate, std::size_t estimate)
    : writing_(std::make_unique<Writing>(estimate)) {
    Writer &w = writing_->w;
    bool &first = writing_->first_member;
    w.raw("{\n");
    w.key(1, "coefficient_encoding", first);
    w.string(COEFFICIENT_ENCODING);
    w.key(1, "format", first);
    w.string(FORMAT_NAME);
    w.key(1, "sample_rate", first);
    w.number(sample_rate);
    w.key(1, "targets", first);
    w.raw("[\n");
}

SetupEncoder::~SetupEncoder() = default;

void SetupEncoder::add(const TargetState &state) {
    Writer &w = writing_->w;
    w.raw(writing_->first_target ? "" : ",\n");
    writing_->first_target = false;
    w.indent(2);
    w.raw("{\n");
    bool first = true;
    w.key(3, "channel", first);
    w.number(state.target.channel);
    if (state.channels) {
        w.key(3, "channels", first);
        w.number(*state.channels);
    }
    if (state.compressor) {
        w.key(3, "compressor", first);
        w.values(3, *state.compressor);
    }
    if (state.config) {
        w.key(3, "config", first);
        w.values(3, *state.config);
    }
    w.key(3, "kind", first);
    w.string(kind_info(state.target.kind)->key);
    if (state.name) {
        w.key(3, "name", first);
        w.string(*state.name);
    }
    w.key(3, "number", first);
    w.number(state.target.number);
    if (state.rx_filter) {
        w.key(3, "rx_filter", first);
        w.filter(3, *state.rx_filter);
    }
    if (state.tx_filter) {
        w.key(3, "tx_filter", first);
        w.filter(3, *state.tx_filter);
    }
    w.raw("\n");
    w.indent(2);
    w.raw("}");
}

std::size_t SetupEncoder::pending() const {
    return writing_->w.size();
}

bool SetupEncoder::flush_to(QIODevice &out) {
    return writing_->w.flush_to(out);
}

QByteArray SetupEncoder::finish() {
    Writer &w = writing_->w;
    w.raw(writing_->first_target ? "" : "\n");
    w.indent(1);
    w.raw("]");
    w.key(1, "version", writing_->first_member);
    w.number(FORMAT_VERSION);
    w.raw("\n}\n");
    return w.take();
}

std::size_t SetupEncoder::size_of(const TargetState &state) {
    std::size_t size = 2048;
    for (const auto &filter : {state.rx_filter, state.tx_filter}) {
        if (filter && filter->on)
            size += base64_size(filter->coefficients.size() * sizeof(double)) +
                    (filter->text ? filter->text->size() * 6 : 0);
    }
    return size;
}

QByteArray encode_setup(const Setup &setup) {
    std::size_t estimate = 4096;
    for (const TargetState &state : setup.targets)
        estimate += SetupEncoder::size_of(state);
    SetupEncoder encoder(setup.sample_rate, estimate);
    for (const TargetState &state : setup.targets)
        encoder.add(state);
    return encoder.finish();
}

bool decode_setup(const QByteArray &data, Setup &setup, std::string &error) {
    setup = Setup{};
    json::Value top;
    bool ok = json::parse(std::string_view(data.constData(), static_cast<std::size_t>(data.size())),
                          top, error) &&
              check_setup(top, setup, error);
    if (!ok) {
        setup = Setup{};
        error = json::printable(error);
    }
    return ok;
}

} // namespace zarn::state
