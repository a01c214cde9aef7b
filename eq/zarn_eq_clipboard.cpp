// SPDX-License-Identifier: BSD-2-Clause

#include "eq/zarn_eq_clipboard.h"

#include <QPushButton>

ZARNEQClipboard::ZARNEQClipboard(ZARNEqualizer *equalizer_)
    : QGroupBox(QStringLiteral("Clipboard")), equalizer(equalizer_), grid(this) {
    // Without a meta-object of its own the texts are looked up under
    // QGroupBox; spelt out so that lupdate files them there too.
    copy_button = new QPushButton(QGroupBox::tr("COPY"));
    paste_button = new QPushButton(QGroupBox::tr("PASTE"));
    copy_button->setToolTip(
        QGroupBox::tr("Mark this window as the one to paste from; its text and state "
                      "are taken when PASTE is pressed"));
    paste_button->setToolTip(
        QGroupBox::tr("Take the text and the ON/OFF state of the window where COPY "
                      "was pressed last; a changed state is applied at once"));
    grid.addWidget(copy_button, 0, 0, 1, 1);
    grid.addWidget(paste_button, 1, 0, 1, 1);
}

ZARNEQClipboard::~ZARNEQClipboard() = default;
