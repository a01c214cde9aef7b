// SPDX-License-Identifier: BSD-2-Clause

#pragma once

#include <QGroupBox>
#include <QString>
#include <functional>
#include <string>
#include <string_view>

#include "eq/filter_import.h"

class QDoubleSpinBox;
class QTableWidget;

// The filters of the parametric file imported last, as the file has them:
// preamp, and each filter's type, frequency, gain and Q. Changing one turns
// the whole file into filter text again, through the same import; a change
// that the import refuses goes back. Hidden until such a file is imported.
class ZARNEQSourceTable : public QGroupBox {
public:
    ZARNEQSourceTable();
    ~ZARNEQSourceTable() override;

    // Shows the file's filters; a file that is not a parametric one (a
    // GraphicEQ line) hides the table.
    void show_file(std::string_view file);
    // The filters as a parametric file, with the user's changes.
    std::string file_text() const;
    // Called with each new file text; false refuses the change.
    std::function<bool(const std::string &file)> changed;

    // Made with the first file: a table and its preamp box cost more to make
    // than the rest of an equalizer window, and most windows never import one.
    QDoubleSpinBox *preamp_box = nullptr;
    QTableWidget *table = nullptr;

private:
    void make_table();
    void fill();
    void take_cell(int row, int column);
    zarn::ParametricEq source;
};
