// SPDX-License-Identifier: BSD-2-Clause

#include "eq/zarn_button_map.h"

#include <algorithm>
#include <cstdint>
#include <cstring>
#include <iterator>

#include "eq/zarn_button.h"

ZARNButtonMap::ZARNButtonMap(const char *packed, int count, int columns)
    : grid(this), selected(0), count(std::clamp(count, 0, MAX_BUTTONS)) {
    std::fill(std::begin(buttons), std::end(buttons), nullptr);
    // Callers pass at least one column; a smaller value would divide by 0.
    columns = std::max(columns, 1);

    const char *text = packed;
    setTitle(QString::fromUtf8(text));
    for (int i = 0; i < this->count; ++i) {
        text += std::strlen(text) + 1;
        auto *button = new ZARNButton(QString::fromUtf8(text), i);
        buttons[i] = button;
        button->setFlat(i != 0);
        // Raised alone reads as "the one to press"; checked says plainly
        // which state is in force.
        button->setCheckable(true);
        button->setChecked(i == 0);
        connect(button, qOverload<int>(&ZARNButton::pressed), this, &ZARNButtonMap::handle_pressed);
        connect(button, qOverload<int>(&ZARNButton::released), this,
                &ZARNButtonMap::handle_released);
        grid.addWidget(button, i / columns, i % columns, 1, 1, Qt::AlignCenter);
    }
}

ZARNButtonMap::~ZARNButtonMap() = default;

void ZARNButtonMap::set_selection(int id) {
    if (id == selected)
        return;
    selected = id;
    // Compared as unsigned, so an id outside 0 ... count - 1 leaves every
    // button flat.
    for (int i = 0; i < count; ++i) {
        const bool on = static_cast<std::uint32_t>(i) == static_cast<std::uint32_t>(id);
        buttons[i]->setFlat(!on);
        buttons[i]->setChecked(on);
    }
    emit selectionChanged(id);
}

void ZARNButtonMap::handle_pressed(int) {}

void ZARNButtonMap::handle_released(int id) {
    set_selection(id);
}
