// SPDX-License-Identifier: BSD-2-Clause

#include "eq/zarn_eq_editor.h"

#include <QPushButton>
#include <QTextEdit>

// Without a meta-object of its own the texts are looked up under QGroupBox;
// spelt out so that lupdate files them there too.
ZARNEQEditor::ZARNEQEditor() : QGroupBox(QGroupBox::tr("Filter specification")), grid(this) {
    text_edit = new QTextEdit();
    // Tab moves on to the next control; a specification never needs a tab.
    text_edit->setTabChangesFocus(true);
    text_edit->setPlaceholderText(
        QGroupBox::tr("An optional first line \"normalize\" keeps the gain at or below 1 at every "
                      "frequency.\n"
                      "Then points, each a frequency in Hz and an amplitude on one line: 1 passes, "
                      "0 removes, and the amplitude runs in a straight line from point to point. "
                      "Frequencies must not fall.\n\n"
                      "Example, a low-pass from 150 Hz to 1000 Hz:\n"
                      "normalize\n"
                      "150 1\n"
                      "1000 0"));
    text_edit->setToolTip(
        QGroupBox::tr("Filter specification: an optional \"normalize\" line, then "
                      "points of a frequency in Hz and a linear amplitude"));
    apply_button = new QPushButton(QGroupBox::tr("Apply filter"));
    apply_button->setToolTip(
        QGroupBox::tr("Design the filter from the text and send it to the daemon; "
                      "while the state is OFF, send OFF again"));
    grid.addWidget(text_edit, 0, 0, 1, 2);
    grid.addWidget(apply_button, 1, 1, 1, 1);
}

ZARNEQEditor::~ZARNEQEditor() = default;
