// SPDX-License-Identifier: BSD-2-Clause

#pragma once

#include <QByteArray>
#include <QIODevice>
#include <QtEndian>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <string>

#include "tools/base64.h"
#include "tools/state_file.h"

namespace zarn::state {

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

} // namespace zarn::state
