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
#include <QTimer>
#include <QTreeWidget>
#include <QVBoxLayout>
#include <string>
#include <thread>
#include <vector>

#include "app/zarn_main_window.h"
#include "tools/state_file_device.h"
#include "tools/state_file_io.h"
#include "tools/state_file_json.h"
#include "tools/state_file_store.h"
#include "tools/state_file_texts.h"

namespace {

const char *const FILE_TYPES = "Zarnmix setups (*.zarnmix-state *.state *.json);;All files (*)";

QString lines(const std::vector<std::string> &list, const char *prefix) {
    QStringList out;
    for (const std::string &line : list)
        out << QString::fromLatin1(prefix) + QString::fromStdString(line);
    return out.join(QLatin1Char('\n'));
}

// Reads and checks a whole file away from the GUI thread: the largest takes
// a good part of a second, on a slow disk longer.
struct FileCheck {
    bool ok = false;
    zarn::state::Setup setup;
    std::string error;
};

} // namespace

ZARNSetupPanel::ZARNSetupPanel(ZARNMainWindow *main_window)
    : QGroupBox(nullptr), main_window(main_window), connection(main_window->connection),
      preview(nullptr), preview_list(nullptr), folder(QDir::homePath()) {
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
}

void ZARNSetupPanel::say(const QString &text) {
    status->setText(text);
}

void ZARNSetupPanel::handle_save() {
    const QString path = QFileDialog::getSaveFileName(
        this, tr("Save setup"), QDir(folder).filePath(QStringLiteral("setup.zarnmix-state")),
        tr(FILE_TYPES));
    if (path.isEmpty())
        return;
    folder = QFileInfo(path).path();
    if (!save_to(path))
        QMessageBox::warning(this, QStringLiteral("Zarnmix Control"), status->text());
}

void ZARNSetupPanel::handle_load() {
    const QString path =
        QFileDialog::getOpenFileName(this, tr("Load setup"), folder, tr(FILE_TYPES));
    if (path.isEmpty())
        return;
    folder = QFileInfo(path).path();
    if (!load_from(path) && !status->text().isEmpty())
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
    QString text = tr("Saved to %1").arg(path);
    if (!warnings.empty())
        text += QLatin1Char('\n') + lines(warnings, "");
    say(text);
    return true;
}

bool ZARNSetupPanel::load_from(const QString &path) {
    save_button->setEnabled(false);
    load_button->setEnabled(false);
    const auto enable = [this] {
        save_button->setEnabled(true);
        load_button->setEnabled(true);
    };

    FileCheck check;
    {
        QEventLoop loop;
        const QByteArray name = QFile::encodeName(path);
        std::thread reader([&check, &loop, name] {
            QByteArray data;
            check.ok = zarn::state::read_state_file(name.constData(), data, check.error) &&
                       zarn::state::decode_setup(data, check.setup, check.error);
            QMetaObject::invokeMethod(&loop, "quit", Qt::QueuedConnection);
        });
        // The window goes on working meanwhile; a long read says so.
        QProgressDialog progress(tr("Reading %1").arg(path), QString(), 0, 0, this);
        progress.setWindowTitle(tr("Load setup"));
        progress.setWindowModality(Qt::WindowModal);
        progress.setMinimumDuration(0);
        progress.hide();
        QTimer::singleShot(500, &progress, &QProgressDialog::show);
        loop.exec();
        reader.join();
    }
    if (!check.ok) {
        say(tr("Not loaded: %1: %2; nothing sent").arg(path, QString::fromStdString(check.error)));
        enable();
        return false;
    }

    zarn::state::RestoreOptions dry;
    dry.dry_run = true;
    zarn::state::RestoreReport report;
    if (zarn::state::restore_setup(connection->fd, check.setup, dry, report) ==
        zarn::state::RESTORE_FAILED) {
        say(tr("Not loaded: %1; nothing sent").arg(lines(report.problems, "")));
        enable();
        return false;
    }

    QDialog dialog(this);
    dialog.setObjectName(QStringLiteral("setup_preview"));
    dialog.setWindowTitle(tr("Load setup"));
    auto *layout = new QVBoxLayout(&dialog);
    layout->addWidget(new QLabel(report.changes.empty()
                                     ? tr("%1 changes nothing the daemon holds.").arg(path)
                                     : tr("%1 changes:").arg(path)));
    auto *list = new QTreeWidget;
    list->setColumnCount(4);
    list->setHeaderLabels({tr("Target"), tr("Field"), tr("From"), tr("To")});
    list->setRootIsDecorated(false);
    for (const zarn::state::Change &c : report.changes) {
        list->addTopLevelItem(
            new QTreeWidgetItem({QString::fromStdString(c.target), QString::fromStdString(c.field),
                                 QString::fromStdString(c.from), QString::fromStdString(c.to)}));
    }
    list->header()->setSectionResizeMode(QHeaderView::ResizeToContents);
    list->setVisible(!report.changes.empty());
    layout->addWidget(list);
    const QString notes = (lines(report.warnings, "Warning: ") + QLatin1Char('\n') +
                           lines(report.skipped, "Skipped: "))
                              .trimmed();
    if (!notes.isEmpty())
        layout->addWidget(new QLabel(notes));
    auto *buttons = new QDialogButtonBox(QDialogButtonBox::Ok | QDialogButtonBox::Cancel);
    buttons->button(QDialogButtonBox::Ok)->setText(tr("Load"));
    connect(buttons, &QDialogButtonBox::accepted, &dialog, &QDialog::accept);
    connect(buttons, &QDialogButtonBox::rejected, &dialog, &QDialog::reject);
    layout->addWidget(buttons);
    // Room for the list; without one the dialog keeps its own small size.
    if (!report.changes.empty())
        dialog.resize(640, 420);
    preview = &dialog;
    preview_list = list;
    const bool confirmed = dialog.exec() == QDialog::Accepted;
    preview = nullptr;
    preview_list = nullptr;
    if (!confirmed) {
        say(tr("Not loaded: cancelled; nothing sent"));
        enable();
        return false;
    }

    const int result = zarn::state::restore_setup(connection->fd, check.setup, {}, report);
    zarn::state::keep_texts(check.setup, report.restored, connection->device_path);
    // Shown as the daemon now has it, as after a reconnection.
    main_window->refresh_all();
    QString text = tr("Loaded %1: %2 targets").arg(path).arg(report.restored.size());
    if (!report.skipped.empty())
        text += QLatin1Char('\n') + lines(report.skipped, "Skipped: ");
    if (!report.problems.empty())
        text += QLatin1Char('\n') + lines(report.problems, "");
    say(text);
    enable();
    return result != zarn::state::RESTORE_FAILED;
}
