// SPDX-License-Identifier: BSD-2-Clause

#include "tools/state_file_json.h"

#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QJsonParseError>
#include <QJsonValue>
#include <QString>
#include <QtEndian>
#include <algorithm>
#include <cmath>
#include <cstring>
#include <limits>
#include <set>
#include <tuple>

#include "ctl/requests.h"

namespace zarn::state {

namespace {

QString text(const char *latin1) {
    return QString::fromLatin1(latin1);
}

QString text(const std::string &utf8) {
    return QString::fromStdString(utf8);
}

QJsonObject values_object(const Values &values) {
    QJsonObject object;
    for (const auto &[name, value] : values)
        object.insert(text(name), value);
    return object;
}

QJsonObject filter_object(const FilterState &filter) {
    QJsonObject object;
    object.insert(text("length"), filter.length);
    object.insert(text("state"), text(filter.on ? "on" : "off"));
    if (filter.on) {
        QByteArray bytes(static_cast<int>(filter.coefficients.size() * sizeof(double)),
                         Qt::Uninitialized);
        for (std::size_t i = 0; i < filter.coefficients.size(); ++i) {
            quint64 bits;
            std::memcpy(&bits, &filter.coefficients[i], sizeof bits);
            qToLittleEndian(bits, bytes.data() + i * sizeof bits);
        }
        object.insert(text("coefficients"), QString::fromLatin1(bytes.toBase64()));
    }
    return object;
}

// Checks values of the file one by one; the first fault is kept.
class Checker {
public:
    std::string error;

    bool fail(const std::string &place, const std::string &what) {
        if (error.empty())
            error = place + ": " + what;
        return false;
    }

    bool object(const QJsonValue &value, const std::string &place, QJsonObject &out) {
        if (value.isUndefined())
            return fail(place, "missing");
        if (!value.isObject())
            return fail(place, "not an object");
        out = value.toObject();
        return true;
    }

    bool string(const QJsonValue &value, const std::string &place, QString &out) {
        if (value.isUndefined())
            return fail(place, "missing");
        if (!value.isString())
            return fail(place, "not a string");
        out = value.toString();
        return true;
    }

    bool integer(const QJsonValue &value, const std::string &place, std::int32_t low,
                 std::int32_t high, std::int32_t &out) {
        if (value.isUndefined())
            return fail(place, "missing");
        if (!value.isDouble())
            return fail(place, "not a number");
        const double number = value.toDouble();
        if (number != std::floor(number))
            return fail(place, "not an integer");
        if (number < low || number > high) {
            return fail(place, "out of range (" + std::to_string(low) + " to " +
                                   std::to_string(high) + ")");
        }
        out = static_cast<std::int32_t>(number);
        return true;
    }

    // Every key of the object must be one of the allowed ones.
    bool known_keys(const QJsonObject &object, const std::string &place,
                    std::initializer_list<const char *> allowed) {
        for (auto it = object.begin(); it != object.end(); ++it) {
            bool known = false;
            for (const char *key : allowed)
                known = known || it.key() == text(key);
            if (!known)
                return fail((place.empty() ? "" : place + ".") + it.key().toStdString(),
                            "unknown field");
        }
        return true;
    }

    bool values(const QJsonValue &value, const std::string &place, const std::vector<Field> &fields,
                Values &out) {
        QJsonObject object;
        if (!this->object(value, place, object))
            return false;
        for (auto it = object.begin(); it != object.end(); ++it) {
            const std::string name = it.key().toStdString();
            const Field *field = nullptr;
            for (const Field &f : fields)
                field = name == f.name ? &f : field;
            if (!field)
                return fail(place + "." + name, "unknown field");
            std::int32_t number;
            if (!integer(it.value(), place + "." + name, field->low, field->high, number))
                return false;
            out[name] = number;
        }
        return true;
    }

    bool filter(const QJsonValue &value, const std::string &place, FilterState &out) {
        QJsonObject object;
        QString state;
        if (!this->object(value, place, object) ||
            !known_keys(object, place, {"length", "state", "coefficients"}) ||
            !integer(object.value(text("length")), place + ".length", 0, MAX_FILTER_SIZE,
                     out.length) ||
            !string(object.value(text("state")), place + ".state", state))
            return false;
        const QJsonValue coefficients = object.value(text("coefficients"));
        if (state == text("off")) {
            out.on = false;
            if (!coefficients.isUndefined())
                return fail(place + ".coefficients", "present while the filter is off");
            return true;
        }
        if (state != text("on"))
            return fail(place + ".state", "neither \"on\" nor \"off\"");
        out.on = true;
        if (out.length == 0)
            return fail(place + ".length", "0 while the filter is on");
        QString encoded;
        if (!string(coefficients, place + ".coefficients", encoded))
            return false;
        const auto decoded = QByteArray::fromBase64Encoding(
            encoded.toLatin1(), QByteArray::AbortOnBase64DecodingErrors);
        if (!decoded)
            return fail(place + ".coefficients", "not base64 text");
        const QByteArray &bytes = decoded.decoded;
        const std::size_t expected = static_cast<std::size_t>(out.length) * sizeof(double);
        if (static_cast<std::size_t>(bytes.size()) != expected) {
            return fail(place + ".coefficients", "holds " + std::to_string(bytes.size()) +
                                                     " bytes, " + std::to_string(expected) +
                                                     " are needed for " +
                                                     std::to_string(out.length) + " coefficients");
        }
        out.coefficients.resize(static_cast<std::size_t>(out.length));
        for (std::size_t i = 0; i < out.coefficients.size(); ++i) {
            const quint64 bits = qFromLittleEndian<quint64>(bytes.constData() + i * sizeof bits);
            std::memcpy(&out.coefficients[i], &bits, sizeof bits);
            if (!std::isfinite(out.coefficients[i])) {
                return fail(place + ".coefficients[" + std::to_string(i) + "]",
                            "not a finite number");
            }
        }
        return true;
    }

    bool target(const QJsonValue &value, const std::string &place, TargetState &out) {
        QJsonObject object;
        QString kind;
        if (!this->object(value, place, object) ||
            !known_keys(object, place,
                        {"kind", "number", "channel", "channels", "name", "config", "compressor",
                         "rx_filter", "tx_filter"}) ||
            !string(object.value(text("kind")), place + ".kind", kind))
            return false;
        Target &t = out.target;
        const KindInfo *info = kind_by_key(kind.toStdString().c_str());
        if (!info)
            return fail(place + ".kind", "unknown kind \"" + kind.toStdString() + "\"");
        t.kind = info->kind;
        const bool main = info->peak_layout == PeakLayout::by_channel;
        const bool monitor = info->peak_layout == PeakLayout::by_number;
        const std::int32_t most = std::numeric_limits<std::int32_t>::max();
        if (!integer(object.value(text("number")), place + ".number", 0, main ? 0 : most,
                     t.number) ||
            !integer(object.value(text("channel")), place + ".channel", 0, monitor ? 0 : most,
                     t.channel))
            return false;

        const QJsonValue channels = object.value(text("channels"));
        if (!channels.isUndefined()) {
            std::int32_t count;
            if (!info->has_channels)
                return fail(place + ".channels", "this kind has no channels");
            if (!integer(channels, place + ".channels", std::min(t.channel, most - 1) + 1, most,
                         count))
                return false;
            out.channels = count;
        }
        const QJsonValue name = object.value(text("name"));
        if (!name.isUndefined()) {
            QString s;
            if (!info->named())
                return fail(place + ".name", "this kind has no name");
            if (!string(name, place + ".name", s))
                return false;
            out.name = s.toStdString();
        }
        const QJsonValue config = object.value(text("config"));
        if (!config.isUndefined()) {
            if (!info->has_config())
                return fail(place + ".config", "this kind has no configuration");
            out.config.emplace();
            if (!values(config, place + ".config", config_fields(t.kind), *out.config))
                return false;
        }
        const QJsonValue compressor = object.value(text("compressor"));
        if (!compressor.isUndefined()) {
            if (!has_compressor(t))
                return fail(place + ".compressor", "this target has no compressor");
            out.compressor.emplace();
            if (!values(compressor, place + ".compressor", compressor_fields(), *out.compressor))
                return false;
        }
        for (const auto &[key, filter] :
             {std::pair{"rx_filter", &out.rx_filter}, std::pair{"tx_filter", &out.tx_filter}}) {
            const QJsonValue v = object.value(text(key));
            if (v.isUndefined())
                continue;
            if (!info->has_filters())
                return fail(place + "." + key, "this kind has no filters");
            filter->emplace();
            if (!this->filter(v, place + "." + key, **filter))
                return false;
        }
        return true;
    }
};

} // namespace

QByteArray encode_setup(const Setup &setup) {
    QJsonObject top;
    top.insert(text("format"), text(FORMAT_NAME));
    top.insert(text("version"), FORMAT_VERSION);
    top.insert(text("coefficient_encoding"), text(COEFFICIENT_ENCODING));
    top.insert(text("sample_rate"), setup.sample_rate);
    QJsonArray targets;
    for (const TargetState &state : setup.targets) {
        QJsonObject object;
        object.insert(text("kind"), text(kind_info(state.target.kind)->key));
        object.insert(text("number"), state.target.number);
        object.insert(text("channel"), state.target.channel);
        if (state.channels)
            object.insert(text("channels"), *state.channels);
        if (state.name)
            object.insert(text("name"), text(*state.name));
        if (state.config)
            object.insert(text("config"), values_object(*state.config));
        if (state.compressor)
            object.insert(text("compressor"), values_object(*state.compressor));
        if (state.rx_filter)
            object.insert(text("rx_filter"), filter_object(*state.rx_filter));
        if (state.tx_filter)
            object.insert(text("tx_filter"), filter_object(*state.tx_filter));
        targets.append(object);
    }
    top.insert(text("targets"), targets);
    return QJsonDocument(top).toJson(QJsonDocument::Indented);
}

bool decode_setup(const QByteArray &data, Setup &setup, std::string &error) {
    setup = Setup{};
    QJsonParseError parse;
    const QJsonDocument document = QJsonDocument::fromJson(data, &parse);
    if (parse.error != QJsonParseError::NoError) {
        const QByteArray before = data.left(parse.offset);
        const int line = before.count('\n') + 1;
        const int column = static_cast<int>(parse.offset - before.lastIndexOf('\n'));
        error = "line " + std::to_string(line) + ", column " + std::to_string(column) + ": " +
                parse.errorString().toStdString();
        return false;
    }
    Checker check;
    if (!document.isObject()) {
        error = "not a JSON object";
        return false;
    }
    const QJsonObject top = document.object();
    const std::int32_t most = std::numeric_limits<std::int32_t>::max();
    QString format, encoding;
    std::int32_t version = 0;
    // Format and version first: a newer file is refused as such, not for its new fields.
    bool ok = check.string(top.value(text("format")), "format", format);
    if (ok && format != text(FORMAT_NAME))
        ok = check.fail("format", "\"" + format.toStdString() + "\" is not " + FORMAT_NAME);
    ok = ok && check.integer(top.value(text("version")), "version", 1, most, version);
    if (ok && version != FORMAT_VERSION) {
        ok = check.fail("version", std::to_string(version) +
                                       " is not supported (this program reads " +
                                       std::to_string(FORMAT_VERSION) + ")");
    }
    ok = ok &&
         check.known_keys(
             top, "", {"format", "version", "coefficient_encoding", "sample_rate", "targets"}) &&
         check.string(top.value(text("coefficient_encoding")), "coefficient_encoding", encoding);
    if (ok && encoding != text(COEFFICIENT_ENCODING)) {
        ok = check.fail("coefficient_encoding",
                        "\"" + encoding.toStdString() + "\" is not " + COEFFICIENT_ENCODING);
    }
    ok = ok &&
         check.integer(top.value(text("sample_rate")), "sample_rate", 1, most, setup.sample_rate);
    if (!ok) {
        error = check.error;
        return false;
    }
    const QJsonValue list = top.value(text("targets"));
    if (!list.isArray()) {
        error = list.isUndefined() ? "targets: missing" : "targets: not an array";
        return false;
    }
    const QJsonArray targets = list.toArray();
    std::set<std::tuple<std::int32_t, std::int32_t, std::int32_t>> seen;
    for (int i = 0; i < targets.size(); ++i) {
        const std::string place = "targets[" + std::to_string(i) + "]";
        TargetState state;
        if (!check.target(targets.at(i), place, state)) {
            error = check.error;
            return false;
        }
        const Target &t = state.target;
        if (!seen.insert({t.kind, t.number, t.channel}).second) {
            error = place + ": " + describe(t) + " appears twice";
            return false;
        }
        setup.targets.push_back(std::move(state));
    }
    return true;
}

} // namespace zarn::state
