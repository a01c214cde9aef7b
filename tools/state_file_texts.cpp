// SPDX-License-Identifier: BSD-2-Clause

#include "tools/state_file_texts.h"

#include <QFile>
#include <QSettings>
#include <algorithm>
#include <memory>

#include "settings/settings_store.h"

namespace zarn::state {

void fill_texts(TargetState &state, const FilterTexts &texts) {
    for (const auto &[filter, rx] :
         {std::pair{&state.rx_filter, true}, std::pair{&state.tx_filter, false}}) {
        if (!*filter || !(*filter)->on)
            continue;
        const QString text =
            texts.text_for(state.target, rx, (*filter)->coefficients.data(), (*filter)->length);
        const QByteArray utf8 = text.toUtf8();
        if (!text.isEmpty() && static_cast<std::size_t>(utf8.size()) <= MAX_FILTER_TEXT)
            (*filter)->text = utf8.toStdString();
    }
}

void fill_channel_name(TargetState &state, QSettings *settings, const std::string &device_path) {
    const QString name = zarn::settings::channel_name(
        settings, QFile::decodeName(device_path.c_str()), state.target);
    const QByteArray utf8 = name.toUtf8();
    if (!name.isEmpty() && static_cast<std::size_t>(utf8.size()) <= MAX_CHANNEL_NAME_BYTES)
        state.channel_name = utf8.toStdString();
}

void keep_texts(const Setup &setup, const std::vector<Target> &restored,
                const std::string &device_path) {
    FilterTexts texts(QFile::decodeName(device_path.c_str()));
    // A name concerns the panel alone, so it is kept whether or not the
    // daemon took the target's values; a file without names leaves the kept
    // ones as they are.
    if (const std::unique_ptr<QSettings> settings = zarn::settings::open()) {
        for (const TargetState &state : setup.targets)
            if (state.channel_name)
                zarn::settings::keep_channel_name(
                    settings.get(), QFile::decodeName(device_path.c_str()), state.target,
                    QString::fromStdString(*state.channel_name));
    }
    for (const TargetState &state : setup.targets) {
        if (std::find(restored.begin(), restored.end(), state.target) == restored.end())
            continue;
        for (const auto &[filter, rx] :
             {std::pair{&state.rx_filter, true}, std::pair{&state.tx_filter, false}}) {
            if (*filter && (*filter)->on && (*filter)->text) {
                texts.keep(state.target, rx, QString::fromStdString(*(*filter)->text),
                           (*filter)->coefficients.data(), (*filter)->length);
            }
        }
    }
}

} // namespace zarn::state
