// SPDX-License-Identifier: BSD-2-Clause

#pragma once

#include <QGroupBox>

#include "ctl/options_buffer.h"

class QGridLayout;
class QLabel;
class QLineEdit;
class QPushButton;
class ZARNConnection;
class ZARNMainWindow;

// Hands a line of options to the running daemon. An empty answer accepts
// them and empties the field; any other answer shows beside the field, which
// keeps what the user typed, so that Return sends that text again and never
// the daemon's words.
class ZARNAddOptions : public QGroupBox {
    Q_OBJECT

public:
    explicit ZARNAddOptions(ZARNMainWindow *main_window);

    ZARNMainWindow *main_window;
    ZARNConnection *connection;
    QGridLayout *grid;
    QPushButton *add_button;
    QLineEdit *line_edit;
    // The daemon's last answer that was not empty; hidden while there is none.
    QLabel *answer_label;
    // Reused for every request; keeps the last answer.
    zarn::OptionsBuffer options_buffer;

public slots:
    void handle_add();
};
