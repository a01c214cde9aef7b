// SPDX-License-Identifier: BSD-2-Clause

#include "eq/zarn_button.h"

ZARNButton::ZARNButton(const QString &text, int id) : QPushButton(text), id(id) {
    connect(this, &QAbstractButton::pressed, this, &ZARNButton::handle_pressed);
    // Released over the button, not dragged off it: a press the user takes
    // back does nothing, as with every button.
    connect(this, &QAbstractButton::clicked, this, &ZARNButton::handle_released);
}

ZARNButton::~ZARNButton() = default;

void ZARNButton::handle_released() {
    emit released(id);
}

void ZARNButton::handle_pressed() {
    emit pressed(id);
}
