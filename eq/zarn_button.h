// SPDX-License-Identifier: BSD-2-Clause

#pragma once

#include <QPushButton>

// A push button with an integer id that repeats its press and release as
// signals carrying that id.
class ZARNButton : public QPushButton {
    Q_OBJECT

public:
    ZARNButton(const QString &text, int id);
    ~ZARNButton() override;

    const int id;

signals:
    void released(int _id);
    void pressed(int _id);

public slots:
    void handle_released();
    void handle_pressed();

protected:
    // The check mark shows the map's selection; a click asks the map and does
    // not toggle it by itself.
    void nextCheckState() override {}
};
