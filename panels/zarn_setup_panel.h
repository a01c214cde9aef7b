// SPDX-License-Identifier: BSD-2-Clause

#pragma once

#include <QGroupBox>
#include <QString>

class QDialog;
class QLabel;
class QPushButton;
class QTreeWidget;
class ZARNConnection;
class ZARNMainWindow;

// Saves the daemon's whole setup to a zarnmix_state file and loads one, after
// a preview of what would change that the user confirms.
class ZARNSetupPanel : public QGroupBox {
    Q_OBJECT

public:
    explicit ZARNSetupPanel(ZARNMainWindow *main_window);

    // What the buttons do once a file is chosen. False, with the reason in
    // the status line, when nothing was saved or sent.
    bool save_to(const QString &path);
    bool load_from(const QString &path);

    ZARNMainWindow *main_window;
    ZARNConnection *connection;
    QPushButton *save_button;
    QPushButton *load_button;
    QLabel *status;
    // The open preview while load_from waits for the user; null otherwise.
    QDialog *preview;
    QTreeWidget *preview_list;

public slots:
    void handle_save();
    void handle_load();

private:
    void say(const QString &text);
    QString folder;
};
