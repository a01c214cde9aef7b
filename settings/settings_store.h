// SPDX-License-Identifier: BSD-2-Clause

#pragma once

#include <QString>
#include <cstdint>
#include <memory>

#include "ctl/discovery.h"

class QSettings;

// The one settings file of a user, shared by the panel and zarnmix_state:
// <config>/zarnmix/zarnmix_ctl.ini, where <config> is XDG_CONFIG_HOME, else
// ~/.config.
namespace zarn::settings {

// A settings file larger than this is not ours, and is passed over.
constexpr std::int64_t MAX_SETTINGS_BYTES = std::int64_t{64} << 20;

// The file's path. As root, only a config folder that is root's own is
// taken from the environment (after su without -, XDG_CONFIG_HOME and HOME
// still name the other user's); else root's home from the password file.
QString file_path();

// The settings, or null when the file is there but is no regular file of the
// caller's below MAX_SETTINGS_BYTES (a symbolic link, a FIFO, another user's
// file): then it is left alone, with one warning in the process's life.
std::unique_ptr<QSettings> open();

// The settings file the panel kept its window places in before, in the
// native format ("zarnmix_ctl.conf" beside the other), under the same
// refusals; read only, for places not yet in the one file.
std::unique_ptr<QSettings> open_old_places();

// The one key of a control device in the store: its cleaned absolute path,
// percent-encoded so that '/' does not nest groups.
QString device_key(const QString &device_path);

// The user's names for channels ("Speakers L"), kept per control device and
// target channel: the key of one, "channel_names/<device>/<kind>_<number>_
// <channel>". No key, or an empty value, is no name.
QString channel_name_key(const QString &device_path, const Target &target);
// A kept name is cut to this many characters.
constexpr int MAX_CHANNEL_NAME = 64;
// The kept name, cut to MAX_CHANNEL_NAME; empty where none is kept or the
// settings are refused.
QString channel_name(QSettings *settings, const QString &device_path, const Target &target);
// Keeps the name, trimmed and cut; an empty one removes the key.
void keep_channel_name(QSettings *settings, const QString &device_path, const Target &target,
                       const QString &name);

} // namespace zarn::settings
