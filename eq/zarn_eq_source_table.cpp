// SPDX-License-Identifier: BSD-2-Clause

#include "eq/zarn_eq_source_table.h"

#include <QAbstractButton>
#include <QDoubleSpinBox>
#include <QHeaderView>
#include <QSignalBlocker>
#include <QTableWidget>
#include <QVBoxLayout>

namespace {

enum { TYPE, FC, GAIN, Q, COLUMNS };

const char *type_name(zarn::BiquadType type) {
    switch (type) {
    case zarn::BiquadType::peaking:
        return "PK";
    case zarn::BiquadType::low_shelf:
        return "LSC";
    case zarn::BiquadType::high_shelf:
        return "HSC";
    case zarn::BiquadType::low_pass:
        return "LP";
    case zarn::BiquadType::high_pass:
        return "HP";
    case zarn::BiquadType::notch:
        return "NO";
    case zarn::BiquadType::band_pass:
        return "BP";
    }
    return "PK";
}

bool takes_gain(zarn::BiquadType type) {
    return type == zarn::BiquadType::peaking || type == zarn::BiquadType::low_shelf ||
           type == zarn::BiquadType::high_shelf;
}

// Locale-independent, as the file format is.
QString number(double v) {
    return QString::number(v, 'g', 10);
}

} // namespace

ZARNEQSourceTable::ZARNEQSourceTable() : QGroupBox(QGroupBox::tr("Imported filters")) {
    new QVBoxLayout(this);
    hide();
}

ZARNEQSourceTable::~ZARNEQSourceTable() = default;

void ZARNEQSourceTable::make_table() {
    auto *column = static_cast<QVBoxLayout *>(layout());
    preamp_box = new QDoubleSpinBox;
    preamp_box->setRange(-zarn::MAX_LEVEL_DB, zarn::MAX_LEVEL_DB);
    preamp_box->setDecimals(2);
    preamp_box->setSingleStep(0.5);
    preamp_box->setPrefix(QGroupBox::tr("Preamp "));
    preamp_box->setSuffix(QStringLiteral(" dB"));
    preamp_box->setKeyboardTracking(false);
    preamp_box->setToolTip(QGroupBox::tr("The file's preamp, added to every gain"));
    column->addWidget(preamp_box);
    connect(preamp_box, qOverload<double>(&QDoubleSpinBox::valueChanged), this, [this](double v) {
        const double before = source.preamp_db;
        source.preamp_db = v;
        if (changed && !changed(file_text())) {
            source.preamp_db = before;
            fill();
        }
    });

    table = new QTableWidget(0, COLUMNS);
    table->setHorizontalHeaderLabels({QGroupBox::tr("Type"), QGroupBox::tr("Fc (Hz)"),
                                      QGroupBox::tr("Gain (dB)"), QGroupBox::tr("Q")});
    table->horizontalHeader()->setSectionResizeMode(QHeaderView::ResizeToContents);
    table->verticalHeader()->setSectionResizeMode(QHeaderView::ResizeToContents);
    table->setToolTip(QGroupBox::tr("The imported file's filters: change a frequency, gain or Q "
                                    "and the filter text is made again; Apply filter sends it"));
    // The table's corner button selects every cell.
    for (QAbstractButton *corner : table->findChildren<QAbstractButton *>())
        corner->setToolTip(QGroupBox::tr("Select every filter"));
    column->addWidget(table, 1);
    connect(table, &QTableWidget::cellChanged, this, &ZARNEQSourceTable::take_cell);
}

void ZARNEQSourceTable::show_file(std::string_view file) {
    zarn::ParametricEq parsed;
    zarn::ImportError error;
    if (!zarn::parse_parametric_eq(file, parsed, error) || parsed.filters.empty()) {
        source = {};
        hide();
        return;
    }
    source = std::move(parsed);
    fill();
    show();
}

void ZARNEQSourceTable::fill() {
    if (!table)
        make_table();
    const QSignalBlocker b1(table), b2(preamp_box);
    preamp_box->setValue(source.preamp_db);
    table->setRowCount(static_cast<int>(source.filters.size()));
    for (int row = 0; row < table->rowCount(); ++row) {
        const zarn::ParametricFilter &f = source.filters[static_cast<std::size_t>(row)];
        const QString cells[COLUMNS] = {QString::fromLatin1(type_name(f.type)), number(f.fc),
                                        takes_gain(f.type) ? number(f.gain_db) : QString(),
                                        number(f.q)};
        for (int c = 0; c < COLUMNS; ++c) {
            auto *item = new QTableWidgetItem(cells[c]);
            if (c == TYPE || (c == GAIN && !takes_gain(f.type)))
                item->setFlags(item->flags() & ~Qt::ItemIsEditable);
            table->setItem(row, c, item);
        }
    }
}

std::string ZARNEQSourceTable::file_text() const {
    QString out = QStringLiteral("Preamp: %1 dB\n").arg(number(source.preamp_db));
    int n = 0;
    for (const zarn::ParametricFilter &f : source.filters) {
        out += QStringLiteral("Filter %1: ON %2 Fc %3 Hz")
                   .arg(++n)
                   .arg(QString::fromLatin1(type_name(f.type)), number(f.fc));
        if (takes_gain(f.type))
            out += QStringLiteral(" Gain %1 dB").arg(number(f.gain_db));
        out += QStringLiteral(" Q %1\n").arg(number(f.q));
    }
    return out.toStdString();
}

void ZARNEQSourceTable::take_cell(int row, int column) {
    if (row < 0 || static_cast<std::size_t>(row) >= source.filters.size() || column == TYPE)
        return;
    zarn::ParametricFilter &f = source.filters[static_cast<std::size_t>(row)];
    double *field = column == FC ? &f.fc : column == GAIN ? &f.gain_db : &f.q;
    const double before = *field;
    bool ok = false;
    const double value = table->item(row, column)->text().trimmed().toDouble(&ok);
    if (ok) {
        *field = value;
        ok = !changed || changed(file_text());
    }
    if (!ok)
        *field = before;
    fill();
}
