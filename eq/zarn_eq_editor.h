// SPDX-License-Identifier: BSD-2-Clause

#pragma once

#include <QGridLayout>
#include <QGroupBox>
#include <QString>

class QPushButton;
class QTextEdit;
class ZARNEQSourceTable;

// The "Filter specification" group of an equalizer window: the text, its
// "Apply filter" button, and the import and export of filter files. The
// window connects the buttons itself.
class ZARNEQEditor : public QGroupBox {
public:
    ZARNEQEditor();
    ~ZARNEQEditor() override;

    // Replaces the text with the filter text of a GraphicEQ or parametric EQ
    // file at sample_rate, as one step the user can undo. False, with the
    // line at fault and the reason in why, and the text as it was, for a file
    // that is refused.
    bool import_file(const QString &path, int sample_rate, QString *why);
    // Writes applied_text, or with graphic_eq the GraphicEQ line of the
    // coefficients' response, to path. False, with the reason, when there is
    // nothing to write or the file cannot be written.
    static bool export_file(const QString &path, bool graphic_eq, const QString &applied_text,
                            int sample_rate, int filter_length, const double *coefficients,
                            QString *why);
    // The buttons' file dialogs, and a box for what went wrong.
    void ask_import(int sample_rate);
    // How the buttons ask for a file: the toolkit's dialogs. Empty for none
    // chosen; with save, the filter the user picked goes to chosen. Tests put
    // their answer here instead of driving a dialog.
    using FileChooser = QString (*)(QWidget *parent, bool save, const QString &title,
                                    const QString &filters, QString *chosen);
    static FileChooser choose_file;
    void ask_export(const QString &applied_text, int sample_rate, int filter_length,
                    const double *coefficients);

    QGridLayout grid;
    QTextEdit *text_edit;
    QPushButton *apply_button;
    QPushButton *import_button;
    QPushButton *export_button;
    // The imported parametric file's filters, beside the text made of them.
    ZARNEQSourceTable *source_table;
    // The table's filters as a parametric file while the text is still the
    // one made of them; empty otherwise.
    QString source_in_force() const;
    // Shows a kept source beside the text made of it, at the daemon's rate;
    // an empty or unreadable one hides the table.
    void show_source(const QString &source, int sample_rate);

private:
    // Replaces the text as one step the user can undo.
    void replace_text(const std::string &text);
    int import_rate = 0;
    QString made_text; // the text last made from the table
};
