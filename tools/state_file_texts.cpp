// SPDX-License-Identifier: BSD-2-Clause

#include "tools/state_file_texts.h"

#include <QFile>
#include <algorithm>

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

void keep_texts(const Setup &setup, const std::vector<Target> &restored,
                const std::string &device_path) {
    FilterTexts texts(QFile::decodeName(device_path.c_str()));
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
