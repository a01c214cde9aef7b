// SPDX-License-Identifier: BSD-2-Clause

#include "panels/zarn_setup_panel.h"

#include <QDialog>
#include <QDialogButtonBox>
#include <QDir>
#include <QEventLoop>
#include <QFile>
#include <QFileDialog>
#include <QFileInfo>
#include <QGridLayout>
#include <QHeaderView>
#include <QLabel>
#include <QMessageBox>
#include <QProgressDialog>
#include <QPushButton>
#include <QStandardPaths>
#include <QTimer>
#include <QTreeWidget>
#include <QVBoxLayout>
#include <string>
#include <thread>
#include <vector>

#include "app/kept_settings.h"
#include "app/zarn_main_window.h"
#include "app/zarn_status_line.h"
#include "ctl/catalogue.h"
#include "routing/zarn_connect.h"
#include "strip/zarn_controller.h"
#include "tools/state_file_device.h"
#include "tools/state_file_io.h"
#include "tools/state_file_json.h"
#include "tools/state_file_store.h"
#include "tools/state_file_texts.h"

namespace {

const char *const FILE_TYPES = "Zarnmix setups (*.zarnmix-state *.state *.json);;All files (*)";

QString lines(const std::vector<std::string> &list, const QString &prefix) {
    QStringList out;
    for (const std::string &line : list)
        out << prefix + QString::fromStdString(line);
    return out.join(QLatin1Char('\n'));
}

// Where setups go unless the user chose a folder in this session: the
// user's data folder, made when first needed; home where it cannot be.
QString data_folder() {
    const QString base = QStandardPaths::writableLocation(QStandardPaths::GenericDataLocation);
    const QString folder = QDir(base).filePath(QStringLiteral("zarnmix"));
    return !base.isEmpty() && QDir().mkpath(folder) ? folder : QDir::homePath();
}

// The target as its strip's title shows it.
QString target_words(const zarn::Target &t, const std::string &name) {
    const zarn::KindInfo *info = zarn::kind_info(t.kind);
    const char *text = !info || info->named() ? name.c_str() : info->title;
    return ZARNController::title_for(t.kind, t.number, t.channel, text);
}

bool is_switch(const std::string &field) {
    return field == "rx_mute" || field == "tx_mute" || field == "mute" || field == "rx_polarity" ||
           field == "tx_polarity" || field == "polarity";
}

} // namespace

ZARNSetupPanel::ZARNSetupPanel(ZARNMainWindow *main_window)
    : QGroupBox(nullptr), main_window(main_window),
      connection(main_window ? main_window->connection : nullptr), preview(nullptr),
      preview_list(nullptr), cancelled(false), busy(false) {
    setTitle(tr("Setup"));
    auto *grid = new QGridLayout(this);
    save_button = new QPushButton(tr("Save setup..."));
    save_button->setToolTip(tr("Write the daemon's whole setup to a file (Ctrl+S)"));
    load_button = new QPushButton(tr("Load setup..."));
    load_button->setToolTip(
        tr("Check a setup file, show what it would change, and send it once confirmed (Ctrl+O)"));
    status = new QLabel;
    status->setObjectName(QStringLiteral("setup_status"));
    grid->addWidget(save_button, 0, 0);
    grid->addWidget(load_button, 0, 1);
    grid->addWidget(status, 0, 2);
    grid->setColumnStretch(2, 1);
    connect(save_button, &QPushButton::released, this, &ZARNSetupPanel::handle_save);
    connect(load_button, &QPushButton::released, this, &ZARNSetupPanel::handle_load);
    if (main_window && main_window->status_line) {
        connect(main_window->status_line, &ZARNStatusLine::taken, this,
                [this] { load_and_tell(last_setup); });
    }
}

QString ZARNSetupPanel::change_words(const zarn::state::Change &c) {
    static const std::pair<const char *, const char *> FIELDS[] = {
        {"rx_amp", QT_TR_NOOP("RX gain")},
        {"tx_amp", QT_TR_NOOP("TX gain")},
        {"amp", QT_TR_NOOP("gain")},
        {"src_channel", QT_TR_NOOP("source channel")},
        {"dst_channel", QT_TR_NOOP("destination channel")},
        {"rx_mute", QT_TR_NOOP("RX mute")},
        {"tx_mute", QT_TR_NOOP("TX mute")},
        {"mute", QT_TR_NOOP("mute")},
        {"rx_polarity", QT_TR_NOOP("RX polarity")},
        {"tx_polarity", QT_TR_NOOP("TX polarity")},
        {"polarity", QT_TR_NOOP("polarity")},
        {"delay", QT_TR_NOOP("delay")},
        {"compressor.enabled", QT_TR_NOOP("compressor enabled")},
        {"compressor.knee", QT_TR_NOOP("compressor knee")},
        {"compressor.attack", QT_TR_NOOP("compressor attack")},
        {"compressor.decay", QT_TR_NOOP("compressor decay")},
        {"rx_filter", QT_TR_NOOP("RX equalizer")},
        {"tx_filter", QT_TR_NOOP("TX equalizer")},
    };
    QString field = QString::fromStdString(c.field);
    for (const auto &[key, words] : FIELDS) {
        if (c.field == key)
            field = tr(words);
    }
    const QString who = target_words(c.where, c.name) + QStringLiteral(", ") + field;
    if (c.field == "rx_filter" || c.field == "tx_filter") {
        if (c.from == "on" && c.to == "on")
            return tr("%1: other coefficients (%2 taps)").arg(who).arg(c.taps);
        const auto state = [&c](const std::string &on) {
            return on == "on" ? tr("on (%1 taps)").arg(c.taps) : tr("off");
        };
        return tr("%1: %2 → %3").arg(who, state(c.from), state(c.to));
    }
    if (is_switch(c.field)) {
        const auto state = [](const std::string &v) { return v == "0" ? tr("off") : tr("on"); };
        return tr("%1: %2 → %3").arg(who, state(c.from), state(c.to));
    }
    return tr("%1: %2 → %3").arg(who, QString::fromStdString(c.from), QString::fromStdString(c.to));
}

QString ZARNSetupPanel::skip_words(const zarn::state::PartSkip &skip) {
    const QString who = target_words(skip.where, skip.name);
    if (skip.field == "delay") {
        return tr("%1, delay: not loaded, %2 is beyond the daemon's limit %3")
            .arg(who)
            .arg(skip.file)
            .arg(skip.here);
    }
    return tr("%1, %2: not loaded, it takes %3 taps here, %4 in the file")
        .arg(who, skip.field == "rx_filter" ? tr("RX equalizer") : tr("TX equalizer"))
        .arg(skip.here)
        .arg(skip.file);
}

void ZARNSetupPanel::say(const QString &text) {
    status->setText(text);
    // The panel sits at the bottom of the window; its first line goes where
    // the user is looking, however far the window is scrolled.
    if (main_window && main_window->status_line)
        main_window->status_line->say(text.section(QLatin1Char('\n'), 0, 0));
}

void ZARNSetupPanel::handle_save() {
    if (folder.isEmpty())
        folder = data_folder();
    const QString path = QFileDialog::getSaveFileName(
        this, tr("Save setup"), QDir(folder).filePath(QStringLiteral("setup.zarnmix-state")),
        tr(FILE_TYPES));
    if (path.isEmpty())
        return;
    folder = QFileInfo(path).path();
    if (save_to(path))
        zarn::kept::remember_setup(path);
    else
        QMessageBox::warning(this, QStringLiteral("Zarnmix Control"), status->text());
}

void ZARNSetupPanel::handle_load() {
    if (folder.isEmpty())
        folder = data_folder();
    const QString path =
        QFileDialog::getOpenFileName(this, tr("Load setup"), folder, tr(FILE_TYPES));
    if (path.isEmpty())
        return;
    folder = QFileInfo(path).path();
    load_and_tell(path);
}

void ZARNSetupPanel::load_and_tell(const QString &path) {
    if (busy || path.isEmpty())
        return;
    if (load_from(path))
        zarn::kept::remember_setup(path);
    else if (!cancelled && !status->text().isEmpty())
        QMessageBox::warning(this, QStringLiteral("Zarnmix Control"), status->text());
}

bool ZARNSetupPanel::save_to(const QString &path) {
    std::string error;
    std::vector<std::string> warnings;
    const auto write = [this, &warnings](QIODevice &out, std::string &why) {
        return zarn::state::store_setup(connection->fd, connection->device_path, out, warnings,
                                        why);
    };
    if (!zarn::state::write_state_file(QFile::encodeName(path).constData(), write, error,
                                       warnings)) {
        say(tr("Not saved: %1").arg(QString::fromStdString(error)));
        return false;
    }
    last_setup = path;
    if (main_window->status_line)
        main_window->status_line->clear();
    QString text = tr("Saved to %1").arg(path);
    if (!warnings.empty())
        text += QLatin1Char('\n') + lines(warnings, QString());
    say(text);
    return true;
}

bool ZARNSetupPanel::read_checked(const QString &path, zarn::state::Setup &setup, QString &error,
                                  bool show_progress) {
    bool ok = false;
    std::string why;
    QEventLoop loop;
    const QByteArray name = QFile::encodeName(path);
    std::thread reader([&ok, &setup, &why, &loop, name] {
        QByteArray data;
        ok = zarn::state::read_state_file(name.constData(), data, why) &&
             zarn::state::decode_setup(data, setup, why);
        QMetaObject::invokeMethod(&loop, "quit", Qt::QueuedConnection);
    });
    // The window goes on working meanwhile; a long read says so.
    QProgressDialog progress(tr("Reading %1").arg(path), QString(), 0, 0, this);
    progress.setWindowTitle(tr("Load setup"));
    progress.setWindowModality(Qt::WindowModal);
    progress.setMinimumDuration(0);
    progress.hide();
    if (show_progress)
        QTimer::singleShot(500, &progress, &QProgressDialog::show);
    loop.exec();
    reader.join();
    error = QString::fromStdString(why);
    return ok;
}

void ZARNSetupPanel::handle_daemon_back() {
    if (last_setup.isEmpty() || busy || !main_window || connection->fd < 0)
        return;
    busy = true;
    zarn::state::Setup setup;
    QString error;
    zarn::state::RestoreOptions dry;
    dry.dry_run = true;
    zarn::state::RestoreReport report;
    // A file gone or spoilt since is no longer the user's last setup.
    const bool differs = read_checked(last_setup, setup, error, false) &&
                         zarn::state::restore_setup(connection->fd, setup, dry, report) !=
                             zarn::state::RESTORE_FAILED &&
                         !report.changes.empty();
    busy = false;
    if (differs) {
        main_window->status_line->offer(tr("The daemon came back with another setup than %1")
                                            .arg(QFileInfo(last_setup).fileName()),
                                        tr("Load the last setup again"));
    }
}

bool ZARNSetupPanel::load_from(const QString &path) {
    cancelled = false;
    busy = true;
    save_button->setEnabled(false);
    load_button->setEnabled(false);
    const auto enable = [this] {
        save_button->setEnabled(true);
        load_button->setEnabled(true);
        busy = false;
    };

    zarn::state::Setup setup;
    QString error;
    if (!read_checked(path, setup, error, true)) {
        say(tr("Not loaded: %1: %2; nothing sent").arg(path, error));
        enable();
        return false;
    }

    zarn::state::RestoreOptions dry;
    dry.dry_run = true;
    zarn::state::RestoreReport report;
    if (zarn::state::restore_setup(connection->fd, setup, dry, report) ==
        zarn::state::RESTORE_FAILED) {
        say(tr("Not loaded: %1; nothing sent").arg(lines(report.problems, QString())));
        enable();
        return false;
    }

    QDialog dialog(this);
    dialog.setObjectName(QStringLiteral("setup_preview"));
    dialog.setWindowTitle(tr("Load setup"));
    auto *layout = new QVBoxLayout(&dialog);
    const int count = static_cast<int>(report.changes.size());
    layout->addWidget(new QLabel(count == 0 ? tr("%1 changes nothing the daemon holds.").arg(path)
                                            : tr("%1 will write:").arg(path)));
    // One row for each write the load will make, and nothing else.
    auto *list = new QTreeWidget;
    list->setColumnCount(1);
    list->setHeaderHidden(true);
    list->setRootIsDecorated(false);
    for (const zarn::state::Change &c : report.changes)
        list->addTopLevelItem(new QTreeWidgetItem({change_words(c)}));
    list->setVisible(count > 0);
    layout->addWidget(list);
    QStringList notes;
    if (!report.warnings.empty())
        notes << lines(report.warnings, tr("Warning: "));
    if (!report.skipped.empty())
        notes << lines(report.skipped, tr("Skipped: "));
    for (const zarn::state::PartSkip &skip : report.parts_skipped)
        notes << tr("Skipped: ") + skip_words(skip);
    if (!notes.isEmpty()) {
        auto *label = new QLabel(notes.join(QLatin1Char('\n')));
        label->setObjectName(QStringLiteral("setup_preview_notes"));
        layout->addWidget(label);
    }
    auto *buttons = new QDialogButtonBox(QDialogButtonBox::Ok | QDialogButtonBox::Cancel);
    buttons->button(QDialogButtonBox::Ok)->setText(tr("Load"));
    connect(buttons, &QDialogButtonBox::accepted, &dialog, &QDialog::accept);
    connect(buttons, &QDialogButtonBox::rejected, &dialog, &QDialog::reject);
    layout->addWidget(buttons);
    // Room for the list; without one the dialog keeps its own small size.
    if (count > 0)
        dialog.resize(640, 420);
    preview = &dialog;
    preview_list = list;
    const bool confirmed = dialog.exec() == QDialog::Accepted;
    preview = nullptr;
    preview_list = nullptr;
    if (!confirmed) {
        // Not a fault: the status says so, nothing asks for an OK.
        cancelled = true;
        say(tr("Not loaded: cancelled; nothing sent"));
        enable();
        return false;
    }

    const int result = zarn::state::restore_setup(connection->fd, setup, {}, report);
    zarn::state::keep_texts(setup, report.restored, connection->device_path);
    // Names the file brought show in the diagram and the titles now, not
    // after a restart.
    if (main_window->connect_panel)
        main_window->connect_panel->reload_names();
    // Shown as the daemon now has it, as after a reconnection.
    main_window->refresh_all();
    if (result != zarn::state::RESTORE_FAILED) {
        last_setup = path;
        main_window->status_line->clear();
    }
    QString text = tr("Loaded %1, values written: %2").arg(path).arg(report.changes.size());
    if (!report.skipped.empty())
        text += QLatin1Char('\n') + lines(report.skipped, tr("Skipped: "));
    for (const zarn::state::PartSkip &skip : report.parts_skipped)
        text += QLatin1Char('\n') + tr("Skipped: ") + skip_words(skip);
    if (!report.problems.empty())
        text += QLatin1Char('\n') + lines(report.problems, QString());
    say(text);
    enable();
    return result != zarn::state::RESTORE_FAILED;
}
