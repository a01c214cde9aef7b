// SPDX-License-Identifier: BSD-2-Clause

#pragma once

#include <QGridLayout>
#include <QGroupBox>

class QPushButton;
class ZARNEqualizer;

// The "Clipboard" group of an equalizer window. The window connects the two
// buttons to its own copy and paste slots.
class ZARNEQClipboard : public QGroupBox {
public:
    explicit ZARNEQClipboard(ZARNEqualizer *equalizer);
    ~ZARNEQClipboard() override;

    ZARNEqualizer *equalizer;
    QGridLayout grid;
    QPushButton *copy_button;
    QPushButton *paste_button;
};
