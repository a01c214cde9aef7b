// SPDX-License-Identifier: BSD-2-Clause

#include "eq/zarn_eq_clipboard.h"

#include <QPushButton>

ZARNEQClipboard::ZARNEQClipboard(ZARNEqualizer *equalizer_)
    : QGroupBox(QStringLiteral("Clipboard")), equalizer(equalizer_), grid(this) {
    copy_button = new QPushButton(tr("COPY"));
    paste_button = new QPushButton(tr("PASTE"));
    grid.addWidget(copy_button, 0, 0, 1, 1);
    grid.addWidget(paste_button, 1, 0, 1, 1);
}

ZARNEQClipboard::~ZARNEQClipboard() = default;
