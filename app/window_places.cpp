// SPDX-License-Identifier: BSD-2-Clause

#include "app/window_places.h"

#include <QByteArray>
#include <QSettings>
#include <QStringList>
#include <memory>

#include "app/zarn_main_window.h"
#include "compressor/zarn_compressor.h"
#include "eq/zarn_equalizer.h"
#include "settings/settings_store.h"
#include "strip/zarn_controller.h"

namespace zarn::window_places {

namespace {

// One group per control device, under its one key.
QString group_of(const ZARNMainWindow &window) {
    return QStringLiteral("windows/") +
           settings::device_key(QString::fromLocal8Bit(window.device_path));
}

// Where earlier versions kept them: the raw path, in the native settings.
QString old_group_of(const ZARNMainWindow &window) {
    return QStringLiteral("windows/") +
           QString::fromLatin1(QByteArray(window.device_path).toPercentEncoding());
}

// Each strip window by its target: "eq-rx/0/1/2" (kind, number, channel),
// "compressor/0/1".
template <typename Visit> void each_window(const ZARNMainWindow &window, Visit visit) {
    for (ZARNController *strip : window.strips) {
        if (!strip)
            continue;
        const QString target =
            QStringLiteral("%1/%2/%3").arg(strip->kind).arg(strip->number).arg(strip->channel);
        if (strip->rx_equalizer)
            visit(QStringLiteral("eq-rx/") + target, static_cast<QWidget *>(strip->rx_equalizer));
        if (strip->tx_equalizer)
            visit(QStringLiteral("eq-tx/") + target, static_cast<QWidget *>(strip->tx_equalizer));
        if (strip->compressor)
            visit(QStringLiteral("compressor/%1/%2").arg(strip->kind).arg(strip->number),
                  static_cast<QWidget *>(strip->compressor));
    }
}

} // namespace

void save(const ZARNMainWindow &window) {
    const std::unique_ptr<QSettings> kept = settings::open();
    if (!kept)
        return;
    QSettings &s = *kept;
    s.remove(group_of(window));
    s.beginGroup(group_of(window));
    s.setValue(QStringLiteral("main"), window.saveGeometry());
    QStringList open;
    each_window(window, [&](const QString &key, QWidget *w) {
        if (!w->isVisible())
            return;
        open << key;
        s.setValue(key, w->saveGeometry());
    });
    s.setValue(QStringLiteral("open"), open);
    s.endGroup();
}

bool restore(ZARNMainWindow &window) {
    std::unique_ptr<QSettings> kept = settings::open();
    if (!kept)
        return false;
    kept->beginGroup(group_of(window));
    // Places kept by an earlier version are read from its file until the
    // window first saves them here.
    if (!kept->contains(QStringLiteral("main"))) {
        if (std::unique_ptr<QSettings> old = settings::open_old_places()) {
            kept = std::move(old);
            kept->beginGroup(old_group_of(window));
        }
    }
    QSettings &s = *kept;
    const QByteArray main = s.value(QStringLiteral("main")).toByteArray();
    // restoreGeometry keeps a window within the screen's available area.
    const bool placed = !main.isEmpty() && window.restoreGeometry(main);
    const QStringList open = s.value(QStringLiteral("open")).toStringList();
    each_window(window, [&](const QString &key, QWidget *w) {
        if (!open.contains(key))
            return;
        w->restoreGeometry(s.value(key).toByteArray());
        w->show();
    });
    return placed;
}

} // namespace zarn::window_places
