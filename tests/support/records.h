// SPDX-License-Identifier: BSD-2-Clause

#pragma once

#include <QByteArray>
#include <QTest>
#include <cstring>

#include "ctl/catalogue.h"
#include "ctl/channel_config.h"
#include "ctl/compressor_settings.h"
#include "ctl/monitor_config.h"

// Records compare byte for byte and print field by field, so that a failed
// QCOMPARE says which field differs. Found by argument-dependent lookup.
namespace zarn {

template <typename Record> bool same_bytes(const Record &a, const Record &b) {
    return std::memcmp(&a, &b, sizeof a) == 0;
}

inline bool operator==(const ChannelConfig &a, const ChannelConfig &b) {
    return same_bytes(a, b);
}
inline bool operator==(const MonitorConfig &a, const MonitorConfig &b) {
    return same_bytes(a, b);
}
inline bool operator==(const CompressorValues &a, const CompressorValues &b) {
    return same_bytes(a, b);
}

// The record's settable fields, "name=value" each, after its selectors.
inline QByteArray fields_text(const void *record, std::int32_t kind) {
    QByteArray text;
    for (const Field &field : config_fields(kind))
        text += ' ' + QByteArray(field.name) + '=' + QByteArray::number(field_value(record, field));
    return text;
}

inline char *toString(const ChannelConfig &c) {
    const QByteArray text =
        "ChannelConfig(" + QByteArray::number(c.number) + '.' + QByteArray::number(c.channel) +
        " \"" + QByteArray(c.name, int(strnlen(c.name, sizeof c.name))) + "\"" +
        fields_text(&c, KIND_DEVICE) + " delay_limit=" + QByteArray::number(c.delay_limit) + ')';
    return qstrdup(text.constData());
}

inline char *toString(const MonitorConfig &c) {
    const QByteArray text = "MonitorConfig(" + QByteArray::number(c.number) +
                            " reserved=" + QByteArray::number(c.reserved) +
                            fields_text(&c, KIND_INPUT_MONITOR) + ')';
    return qstrdup(text.constData());
}

inline char *toString(const CompressorValues &v) {
    const QByteArray text =
        "Compressor(enabled=" + QByteArray::number(v.enabled) +
        " knee=" + QByteArray::number(v.knee) + " attack=" + QByteArray::number(v.attack) +
        " decay=" + QByteArray::number(v.decay) + " gain=" + QByteArray::number(v.gain) + ')';
    return qstrdup(text.constData());
}

} // namespace zarn
