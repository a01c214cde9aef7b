// SPDX-License-Identifier: BSD-2-Clause

#include "eq/zarn_eq_editor.h"

#include <QFile>
#include <QFileDialog>
#include <QHBoxLayout>
#include <QMessageBox>
#include <QPushButton>
#include <QTextCursor>
#include <QTextEdit>
#include <string>

#include "eq/filter_import.h"
#include "eq/zarn_eq_source_table.h"
#include "files/safe_writer.h"

namespace {

void show_failure(QWidget *parent, const QString &text, const QString &why) {
    QMessageBox box(QMessageBox::Information, QStringLiteral("Zarnmix Control"), text,
                    QMessageBox::Ok, parent);
    box.setInformativeText(why);
    box.exec();
}

} // namespace

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
                      "while the state is OFF, this switches it ON"));
    import_button = new QPushButton(QGroupBox::tr("Import…"));
    import_button->setToolTip(
        QGroupBox::tr("Replace the text with a GraphicEQ line or a parametric EQ file (Preamp and "
                      "Filter lines) at the daemon's sample rate; Apply filter sends it"));
    export_button = new QPushButton(QGroupBox::tr("Export…"));
    export_button->setToolTip(
        QGroupBox::tr("Save the text last applied in this window, or the response "
                      "of the filter in force as a GraphicEQ line"));
    auto *files = new QWidget();
    auto *row = new QHBoxLayout(files);
    row->setContentsMargins(0, 0, 0, 0);
    row->addWidget(import_button);
    row->addWidget(export_button);
    row->addStretch(1);
    source_table = new ZARNEQSourceTable();
    source_table->changed = [this](const std::string &file) {
        std::string text;
        zarn::ImportError error;
        if (!zarn::import_filter_text(file, import_rate, text, error))
            return false;
        replace_text(text);
        return true;
    };
    grid.addWidget(text_edit, 0, 0, 1, 2);
    grid.addWidget(source_table, 0, 2, 2, 1);
    grid.addWidget(files, 1, 0, 1, 1);
    grid.addWidget(apply_button, 1, 1, 1, 1);
}

ZARNEQEditor::~ZARNEQEditor() = default;

bool ZARNEQEditor::import_file(const QString &path, int sample_rate, QString *why) {
    std::string file;
    std::string reason;
    if (!zarn::read_import_file(QFile::encodeName(path).toStdString(), file, reason)) {
        *why = QString::fromStdString(reason);
        return false;
    }
    std::string text;
    zarn::ImportError error;
    if (!zarn::import_filter_text(file, sample_rate, text, error)) {
        const QString reason_text = QString::fromStdString(error.reason);
        *why = error.line == 0
                   ? reason_text
                   : QGroupBox::tr("line %1: %2").arg(QString::number(error.line), reason_text);
        return false;
    }
    replace_text(text);
    import_rate = sample_rate;
    source_table->show_file(file);
    return true;
}

void ZARNEQEditor::replace_text(const std::string &text) {
    // One edit, so that Undo brings the previous text back.
    QTextCursor cursor(text_edit->document());
    cursor.select(QTextCursor::Document);
    made_text = QString::fromStdString(text);
    cursor.insertText(made_text);
}

QString ZARNEQEditor::source_in_force() const {
    if (source_table->isHidden() || text_edit->toPlainText().trimmed() != made_text.trimmed())
        return QString();
    return QString::fromStdString(source_table->file_text());
}

void ZARNEQEditor::show_source(const QString &source, int sample_rate) {
    source_table->show_file(source.toStdString());
    import_rate = sample_rate;
    made_text = text_edit->toPlainText();
}

bool ZARNEQEditor::export_file(const QString &path, bool graphic_eq, const QString &applied_text,
                               int sample_rate, int filter_length, const double *coefficients,
                               QString *why) {
    QByteArray contents;
    if (graphic_eq) {
        std::string line;
        if (!zarn::graphic_eq_text(sample_rate, filter_length, coefficients, line)) {
            *why = QGroupBox::tr("No filter with a finite response is in force.");
            return false;
        }
        contents = QByteArray::fromStdString(line);
    } else {
        if (applied_text.isEmpty()) {
            *why = QGroupBox::tr("No filter text was applied in this window.");
            return false;
        }
        contents = applied_text.toUtf8() + '\n';
    }
    std::string error;
    if (!zarn::files::write_file(QFile::encodeName(path).toStdString(), contents.toStdString(),
                                 error)) {
        *why = QString::fromLocal8Bit(error.c_str());
        return false;
    }
    return true;
}

namespace {

QString dialog_file(QWidget *parent, bool save, const QString &title, const QString &filters,
                    QString *chosen) {
    return save ? QFileDialog::getSaveFileName(parent, title, QString(), filters, chosen)
                : QFileDialog::getOpenFileName(parent, title, QString(), filters, chosen);
}

} // namespace

ZARNEQEditor::FileChooser ZARNEQEditor::choose_file = dialog_file;

void ZARNEQEditor::ask_import(int sample_rate) {
    const QString path = choose_file(this, false, QGroupBox::tr("Import filter"),
                                     QGroupBox::tr("Filter files (*.txt);;All files (*)"), nullptr);
    if (path.isEmpty())
        return;
    QString why;
    if (!import_file(path, sample_rate, &why))
        show_failure(this, QGroupBox::tr("Cannot import %1").arg(path), why);
}

void ZARNEQEditor::ask_export(const QString &applied_text, int sample_rate, int filter_length,
                              const double *coefficients) {
    const QString graphic = QGroupBox::tr("GraphicEQ (*.txt)");
    QString chosen;
    const QString path =
        choose_file(this, true, QGroupBox::tr("Export filter"),
                    QGroupBox::tr("Filter text (*.txt)") + QStringLiteral(";;") + graphic, &chosen);
    if (path.isEmpty())
        return;
    QString why;
    if (!export_file(path, chosen == graphic, applied_text, sample_rate, filter_length,
                     coefficients, &why))
        show_failure(this, QGroupBox::tr("Cannot export %1").arg(path), why);
}
