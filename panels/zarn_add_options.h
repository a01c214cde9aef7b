// SPDX-License-Identifier: BSD-2-Clause

#pragma once

#include <QGroupBox>

#include "ctl/options_buffer.h"

class QGridLayout;
class QLineEdit;
class QPushButton;
class ZARNConnection;
class ZARNMainWindow;

// Hands a line of options to the running daemon and shows its answer in
// place of the typed text.
class ZARNAddOptions : public QGroupBox {
    Q_OBJECT

public:
    explicit ZARNAddOptions(ZARNMainWindow *main_window);

    ZARNMainWindow *main_window;
    ZARNConnection *connection;
    QGridLayout *grid;
    QPushButton *add_button;
    QLineEdit *line_edit;
    // Reused for every request; keeps the last answer.
    zarn::OptionsBuffer options_buffer;

public slots:
    void handle_add();
};
