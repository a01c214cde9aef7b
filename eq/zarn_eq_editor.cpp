// SPDX-License-Identifier: BSD-2-Clause

#include "eq/zarn_eq_editor.h"

#include <QPushButton>
#include <QTextEdit>

ZARNEQEditor::ZARNEQEditor() : QGroupBox(tr("Filter specification")), grid(this) {
    text_edit = new QTextEdit();
    // Tab moves on to the next control; a specification never needs a tab.
    text_edit->setTabChangesFocus(true);
    apply_button = new QPushButton(tr("Apply filter"));
    grid.addWidget(text_edit, 0, 0, 1, 2);
    grid.addWidget(apply_button, 1, 1, 1, 1);
}

ZARNEQEditor::~ZARNEQEditor() = default;
