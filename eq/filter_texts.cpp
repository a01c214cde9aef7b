// SPDX-License-Identifier: BSD-2-Clause

#include "eq/filter_texts.h"

#include <QSettings>
#include <cstring>
#include <memory>

#include "ctl/catalogue.h"
#include "settings/settings_store.h"

namespace zarn {

namespace {

constexpr int MAX_TEXT = 1 << 16;

std::uint64_t rotate(std::uint64_t v, int bits) {
    return (v << bits) | (v >> (64 - bits));
}

} // namespace

FilterTexts::FilterTexts(const QString &device_path) : device_(settings::device_key(device_path)) {}

QString FilterTexts::group(const Target &target, bool rx) const {
    // Joined, not filled in with arg: the device's "%2F" would be taken for
    // a place to fill.
    const KindInfo *info = kind_info(target.kind);
    return QStringLiteral("filter_texts/") + device_ + QLatin1Char('/') +
           QString::fromLatin1(info ? info->key : "kind") + QLatin1Char('_') +
           QString::number(target.number) + QLatin1Char('_') + QString::number(target.channel) +
           QLatin1Char('_') + (rx ? QStringLiteral("rx") : QStringLiteral("tx"));
}

QString FilterTexts::old_group(const Target &target, bool rx) const {
    // The key earlier versions filed a text under, garbled as it was.
    const KindInfo *info = kind_info(target.kind);
    return QStringLiteral("filter_texts/%1/%2_%3_%4_%5")
        .arg(device_, QString::fromLatin1(info ? info->key : "kind"))
        .arg(target.number)
        .arg(target.channel)
        .arg(rx ? QStringLiteral("rx") : QStringLiteral("tx"));
}

std::uint64_t FilterTexts::hash(const double *coefficients, std::size_t length) {
    std::uint64_t h = 0x9e3779b97f4a7c15u ^ length;
    for (std::size_t i = 0; i < length; ++i) {
        std::uint64_t bits;
        std::memcpy(&bits, coefficients + i, sizeof bits);
        h = rotate(h ^ (bits * 0xff51afd7ed558ccdu), 29) * 0xc4ceb9fe1a85ec53u;
    }
    h ^= h >> 33;
    h *= 0xff51afd7ed558ccdu;
    return h ^ (h >> 33);
}

QString FilterTexts::text_for(const Target &target, bool rx, const double *coefficients,
                              std::int32_t length, QString *source) const {
    if (source)
        *source = QString();
    if (!coefficients || length <= 0)
        return QString();
    const std::unique_ptr<QSettings> s = settings::open();
    if (!s)
        return QString();
    const QString key = group(target, rx);
    const QString old = old_group(target, rx);
    const QString text_field = QStringLiteral("/text");
    const QString hash_field = QStringLiteral("/hash");
    const bool moving =
        old != key && !s->contains(key + text_field) && s->contains(old + text_field);
    const QString from = moving ? old : key;
    const QString text = s->value(from + text_field).toString();
    bool ok = false;
    const std::uint64_t kept = s->value(from + hash_field).toString().toULongLong(&ok, 16);
    if (!ok || text.isEmpty() || text.size() > MAX_TEXT ||
        kept != hash(coefficients, static_cast<std::size_t>(length)))
        return QString();
    // A text under the old key moves to the new one once it is read back.
    if (moving) {
        s->setValue(key + text_field, text);
        s->setValue(key + hash_field, s->value(old + hash_field));
        s->remove(old);
    }
    if (source && !moving) {
        const QString kept_source = s->value(key + QStringLiteral("/source")).toString();
        if (kept_source.size() <= MAX_TEXT)
            *source = kept_source;
    }
    return text;
}

void FilterTexts::keep(const Target &target, bool rx, const QString &text,
                       const double *coefficients, std::int32_t length, const QString &source) {
    if (!coefficients || length <= 0 || text.isEmpty() || text.size() > MAX_TEXT)
        return;
    const std::unique_ptr<QSettings> s = settings::open();
    if (!s)
        return;
    const QString key = group(target, rx);
    const QString old = old_group(target, rx);
    if (old != key)
        s->remove(old);
    const QString source_field = key + QStringLiteral("/source");
    if (!source.isEmpty() && source.size() <= MAX_TEXT)
        s->setValue(source_field, source);
    else if (s->value(key + QStringLiteral("/text")).toString() != text)
        s->remove(source_field);
    s->setValue(key + QStringLiteral("/text"), text);
    s->setValue(key + QStringLiteral("/hash"),
                QString::number(hash(coefficients, static_cast<std::size_t>(length)), 16));
}

} // namespace zarn
