// SPDX-License-Identifier: BSD-2-Clause

#include "app/kept_settings.h"

#include <QFileInfo>
#include <QSettings>
#include <QStringList>

#include "ctl/catalogue.h"
#include "settings/settings_store.h"

namespace zarn::kept {

std::unique_ptr<QSettings> settings() {
    return zarn::settings::open();
}

QVariant value(const QString &key, const QVariant &fallback) {
    const std::unique_ptr<QSettings> s = settings();
    return s ? s->value(key, fallback) : fallback;
}

void set_value(const QString &key, const QVariant &value) {
    if (const std::unique_ptr<QSettings> s = settings())
        s->setValue(key, value);
}

QString device_key(const char *group, const QString &device_path) {
    return QString::fromLatin1(group) + QLatin1Char('/') + zarn::settings::device_key(device_path);
}

QString target_key(const char *group, const QString &device_path, const Target &target) {
    // Joined, not filled in with arg: the device's "%2F" would be taken for
    // a place to fill.
    const KindInfo *info = kind_info(target.kind);
    return device_key(group, device_path) + QLatin1Char('/') +
           QString::fromLatin1(info ? info->key : "kind") + QLatin1Char('_') +
           QString::number(target.number);
}

namespace {

QString recent_key() {
    return QStringLiteral("recent_setups");
}

} // namespace

QStringList recent_setups() {
    // A damaged entry is no list at all; an overlong one is cut.
    const QStringList kept = value(recent_key()).toStringList();
    QStringList out;
    for (const QString &path : kept) {
        if (out.size() < RECENT_SETUPS && !path.isEmpty() && !out.contains(path) &&
            QFileInfo(path).isFile())
            out << path;
    }
    return out;
}

void remember_setup(const QString &path) {
    const QString absolute = QFileInfo(path).absoluteFilePath();
    QStringList list = recent_setups();
    list.removeAll(absolute);
    list.prepend(absolute);
    while (list.size() > RECENT_SETUPS)
        list.removeLast();
    set_value(recent_key(), list);
}

} // namespace zarn::kept
