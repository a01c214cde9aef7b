// SPDX-License-Identifier: BSD-2-Clause

#pragma once

#include <QGridLayout>
#include <QGroupBox>

class ZARNButton;

// A titled group of push buttons of which exactly one is selected: the
// selected one is raised, the others flat. Releasing an unselected button
// selects it and emits selectionChanged.
class ZARNButtonMap : public QGroupBox {
    Q_OBJECT

public:
    static constexpr int MAX_BUTTONS = 8;

    // packed: NUL-terminated strings, the title first, then one label per
    // button. A count above MAX_BUTTONS is cut to it.
    ZARNButtonMap(const char *packed, int count, int columns);
    ~ZARNButtonMap() override;

    // Selects the button with this id, as a release of it would.
    void set_selection(int id);

    QGridLayout grid;
    ZARNButton *buttons[MAX_BUTTONS];
    int selected;
    int count;

signals:
    void selectionChanged(int id);

public slots:
    void handle_pressed(int id);
    void handle_released(int id);
};
