// SPDX-License-Identifier: BSD-2-Clause

#pragma once

#include <QGridLayout>
#include <QGroupBox>

class QPushButton;
class QTextEdit;

// The "Filter specification" group of an equalizer window: the text and its
// "Apply filter" button. The window connects the button itself.
class ZARNEQEditor : public QGroupBox {
public:
    ZARNEQEditor();
    ~ZARNEQEditor() override;

    QGridLayout grid;
    QTextEdit *text_edit;
    QPushButton *apply_button;
};
