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
#include "tools/state_file_checker.h"
#include "tools/state_file_writer.h"

namespace zarn::state {

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
    if (state.channel_name) {
        w.key(3, "channel_name", first);
        w.string(*state.channel_name);
    }
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
    std::size_t size = 2048 + (state.channel_name ? state.channel_name->size() * 6 : 0);
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
