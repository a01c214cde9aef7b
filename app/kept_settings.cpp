// SPDX-License-Identifier: BSD-2-Clause

#include "app/kept_settings.h"

#include <QDir>
#include <QFileInfo>
#include <QSettings>
#include <QStringList>
#include <QUrl>

#include "ctl/catalogue.h"

namespace zarn::kept {

std::unique_ptr<QSettings> settings() {
    return std::make_unique<QSettings>(QSettings::IniFormat, QSettings::UserScope,
                                       QStringLiteral("zarnmix"), QStringLiteral("zarnmix_ctl"));
}

QString device_key(const char *group, const QString &device_path) {
    return QString::fromLatin1(group) + QLatin1Char('/') +
           QString::fromLatin1(
               QUrl::toPercentEncoding(QDir::cleanPath(QFileInfo(device_path).absoluteFilePath())));
}

QString target_key(const char *group, const QString &device_path, const Target &target) {
    const KindInfo *info = kind_info(target.kind);
    return QStringLiteral("%1/%2_%3")
        .arg(device_key(group, device_path), QString::fromLatin1(info ? info->key : "kind"))
        .arg(target.number);
}

namespace {

QString recent_key() {
    return QStringLiteral("recent_setups");
}

} // namespace

QStringList recent_setups() {
    // A damaged entry is no list at all; an overlong one is cut.
    const QStringList kept = settings()->value(recent_key()).toStringList();
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
    settings()->setValue(recent_key(), list);
}

} // namespace zarn::kept
