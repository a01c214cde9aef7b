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

namespace zarn::state {
struct Change;
struct PartSkip;
struct Setup;
} // namespace zarn::state

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
    // load_from, with a warning box for a fault; a load the user cancelled
    // ends quietly.
    void load_and_tell(const QString &path);

    // A preview's row for one write, and a note for a part left alone, as
    // the strips and windows call things: "dsp0 - Ch0, RX gain: -2 → -5".
    static QString change_words(const zarn::state::Change &change);
    static QString skip_words(const zarn::state::PartSkip &skip);

    ZARNMainWindow *main_window;
    ZARNConnection *connection;
    QPushButton *save_button;
    QPushButton *load_button;
    QLabel *status;
    // The open preview while load_from waits for the user; null otherwise.
    QDialog *preview;
    QTreeWidget *preview_list;
    // The file last saved or loaded in this session, offered again when the
    // daemon comes back with another setup; empty before.
    QString last_setup;

public slots:
    void handle_save();
    void handle_load();
    // The daemon answers again after it was away.
    void handle_daemon_back();

private:
    void say(const QString &text);
    // Reads and checks the whole file on a thread of its own; false with the
    // reason in error.
    bool read_checked(const QString &path, zarn::state::Setup &setup, QString &error,
                      bool show_progress);
    QString folder;
    bool cancelled;
    bool busy;
};
