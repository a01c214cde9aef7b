// SPDX-License-Identifier: BSD-2-Clause

#pragma once

#include <QString>
#include <QVariant>
#include <memory>

#include "ctl/discovery.h"

class QSettings;

// What the panel keeps for the user between runs: whether a target's
// channels are linked, the tray's choices and the recently used setup files.
// They share the file and the key scheme of the kept filter texts.
namespace zarn::kept {

// The user's one settings file; null when it is refused (settings_store.h).
std::unique_ptr<QSettings> settings();
// A kept value; fallback when it is absent, or the file refused.
QVariant value(const QString &key, const QVariant &fallback = QVariant());
// Keeps a value; passed over when the file is refused.
void set_value(const QString &key, const QVariant &value);

// "group/<device>": one key per control device. One device reached by two
// spellings of its path is one device.
QString device_key(const char *group, const QString &device_path);
// "group/<device>/<kind>_<number>": one key per control device and target,
// its channel left out, for what concerns the whole target.
QString target_key(const char *group, const QString &device_path, const Target &target);

// Setup files most recently saved or loaded, newest first, at most
// RECENT_SETUPS; files that are gone are left out.
constexpr int RECENT_SETUPS = 8;
QStringList recent_setups();
void remember_setup(const QString &path);

} // namespace zarn::kept
