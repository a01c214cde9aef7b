// SPDX-License-Identifier: BSD-2-Clause

#include "eq/filter_texts.h"

#include <QDir>
#include <QFileInfo>
#include <QSettings>
#include <QUrl>
#include <cstring>
#include <memory>

#include "ctl/catalogue.h"

namespace zarn {

namespace {

// Both programs name the file themselves: zarnmix_state has no application
// object to take the names from.
std::unique_ptr<QSettings> settings() {
    return std::make_unique<QSettings>(QSettings::IniFormat, QSettings::UserScope,
                                       QStringLiteral("zarnmix"), QStringLiteral("zarnmix_ctl"));
}

constexpr int MAX_TEXT = 1 << 16;

std::uint64_t rotate(std::uint64_t v, int bits) {
    return (v << bits) | (v >> (64 - bits));
}

} // namespace

FilterTexts::FilterTexts(const QString &device_path)
    // One device reached by two spellings of its path is one device.
    : device_(QString::fromLatin1(
          QUrl::toPercentEncoding(QDir::cleanPath(QFileInfo(device_path).absoluteFilePath())))) {}

QString FilterTexts::group(const Target &target, bool rx) const {
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
                              std::int32_t length) const {
    if (!coefficients || length <= 0)
        return QString();
    const std::unique_ptr<QSettings> s = settings();
    const QString key = group(target, rx);
    const QString text = s->value(key + QStringLiteral("/text")).toString();
    bool ok = false;
    const std::uint64_t kept =
        s->value(key + QStringLiteral("/hash")).toString().toULongLong(&ok, 16);
    if (!ok || text.isEmpty() || text.size() > MAX_TEXT ||
        kept != hash(coefficients, static_cast<std::size_t>(length)))
        return QString();
    return text;
}

void FilterTexts::keep(const Target &target, bool rx, const QString &text,
                       const double *coefficients, std::int32_t length) {
    if (!coefficients || length <= 0 || text.isEmpty() || text.size() > MAX_TEXT)
        return;
    const std::unique_ptr<QSettings> s = settings();
    const QString key = group(target, rx);
    s->setValue(key + QStringLiteral("/text"), text);
    s->setValue(key + QStringLiteral("/hash"),
                QString::number(hash(coefficients, static_cast<std::size_t>(length)), 16));
}

} // namespace zarn
