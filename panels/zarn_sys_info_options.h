// SPDX-License-Identifier: BSD-2-Clause

#pragma once

#include <QGroupBox>

class QGridLayout;
class QLabel;
class ZARNMainWindow;

// One line with the daemon's sample format and device names.
class ZARNSysInfoOptions : public QGroupBox {
public:
    explicit ZARNSysInfoOptions(ZARNMainWindow *main_window);

    // Reads the record and shows it; a failed read keeps the label's text.
    void refresh();

    ZARNMainWindow *main_window;
    QGridLayout *grid;
    QLabel *label;
};
