// SPDX-License-Identifier: BSD-2-Clause

#include "settings/settings_store.h"

#include "ctl/catalogue.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QSettings>
#include <QUrl>
#include <QtGlobal>
#include <cerrno>
#include <pwd.h>
#include <sys/stat.h>
#include <unistd.h>

namespace zarn::settings {

namespace {

// Whether the folder, or where it does not exist yet the nearest folder above
// it that does, is root's own and no symbolic link.
bool roots_own(const QString &folder) {
    QString at = QDir::cleanPath(folder);
    for (;;) {
        struct stat st {};
        if (::lstat(QFile::encodeName(at).constData(), &st) == 0)
            return S_ISDIR(st.st_mode) && st.st_uid == 0;
        if (errno != ENOENT || at == QStringLiteral("/") || at.isEmpty())
            return false;
        at = QFileInfo(at).path();
    }
}

QString config_folder() {
    const QString xdg = qEnvironmentVariable("XDG_CONFIG_HOME");
    const QString home = qEnvironmentVariable("HOME");
    const bool root = ::geteuid() == 0;
    if (!xdg.isEmpty() && QDir::isAbsolutePath(xdg) && (!root || roots_own(xdg)))
        return xdg;
    if (!home.isEmpty() && QDir::isAbsolutePath(home) && (!root || roots_own(home)))
        return home + QStringLiteral("/.config");
    const passwd *own = ::getpwuid(::geteuid());
    if (own && own->pw_dir && own->pw_dir[0] == '/')
        return QFile::decodeName(own->pw_dir) + QStringLiteral("/.config");
    return QString();
}

// Whether a settings file may be opened: absent (it is made when written),
// or a regular file of the caller's, no link, below the limit.
bool may_open(const QString &path) {
    if (path.isEmpty())
        return false;
    struct stat st {};
    if (::lstat(QFile::encodeName(path).constData(), &st) != 0)
        return errno == ENOENT;
    return S_ISREG(st.st_mode) && st.st_uid == ::geteuid() && st.st_size <= MAX_SETTINGS_BYTES;
}

std::unique_ptr<QSettings> checked(const QString &path) {
    if (may_open(path))
        return std::make_unique<QSettings>(path, QSettings::IniFormat);
    static bool warned = false;
    if (!warned) {
        warned = true;
        qWarning("zarnmix: %s is not a regular file of this user's below %lld MiB, or "
                 "cannot be looked at; the settings in it are passed over",
                 qUtf8Printable(path), static_cast<long long>(MAX_SETTINGS_BYTES >> 20));
    }
    return nullptr;
}

QString in_config(const char *name) {
    const QString folder = config_folder();
    return folder.isEmpty() ? QString()
                            : folder + QStringLiteral("/zarnmix/") + QString::fromLatin1(name);
}

} // namespace

QString file_path() {
    return in_config("zarnmix_ctl.ini");
}

std::unique_ptr<QSettings> open() {
    return checked(file_path());
}

std::unique_ptr<QSettings> open_old_places() {
    const QString path = in_config("zarnmix_ctl.conf");
    struct stat st {};
    if (path.isEmpty() || ::lstat(QFile::encodeName(path).constData(), &st) != 0)
        return nullptr;
    return checked(path);
}

QString device_key(const QString &device_path) {
    // One device reached by two spellings of its path is one device.
    return QString::fromLatin1(
        QUrl::toPercentEncoding(QDir::cleanPath(QFileInfo(device_path).absoluteFilePath())));
}

QString channel_name_key(const QString &device_path, const Target &target) {
    const KindInfo *info = kind_info(target.kind);
    // Joined, not filled in with arg: the device's "%2F" would be taken for
    // a place to fill.
    return QStringLiteral("channel_names/") + device_key(device_path) + QLatin1Char('/') +
           QString::fromLatin1(info ? info->key : "kind") + QLatin1Char('_') +
           QString::number(target.number) + QLatin1Char('_') + QString::number(target.channel);
}

QString channel_name(QSettings *settings, const QString &device_path, const Target &target) {
    if (!settings)
        return QString();
    // A damaged value is no string and so no name.
    return settings->value(channel_name_key(device_path, target))
        .toString()
        .left(MAX_CHANNEL_NAME)
        .trimmed();
}

void keep_channel_name(QSettings *settings, const QString &device_path, const Target &target,
                       const QString &name) {
    if (!settings)
        return;
    const QString kept = name.trimmed().left(MAX_CHANNEL_NAME);
    if (kept.isEmpty())
        settings->remove(channel_name_key(device_path, target));
    else
        settings->setValue(channel_name_key(device_path, target), kept);
}

} // namespace zarn::settings
