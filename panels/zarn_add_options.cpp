// SPDX-License-Identifier: BSD-2-Clause

#include "panels/zarn_add_options.h"

#include <QGridLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QVector>

#include <algorithm>
#include <cstring>

#include "app/zarn_main_window.h"
#include "ctl/bounded_string.h"
#include "ctl/requests.h"
#include "ctl/transport.h"
#include "panels/zarn_record_status.h"
#include "panels/zarn_sys_info_options.h"

namespace {

// Latin-1 bytes of the text; each character outside Latin-1, including one
// written as a surrogate pair, becomes a single question mark.
QByteArray to_latin1(const QString &text) {
    QByteArray bytes;
    const QVector<uint> code_points = text.toUcs4();
    bytes.reserve(code_points.size());
    for (uint c : code_points)
        bytes.append(c <= 0xff ? static_cast<char>(c) : '?');
    return bytes;
}

// The daemon's answer: UTF-8 where the bytes are valid UTF-8, otherwise
// Latin-1, the encoding the options went out in, so that an echoed "é"
// comes back as "é". Valid UTF-8, and only that, survives the round trip.
QString decode_answer(const char *text, std::size_t length) {
    const QByteArray bytes(text, static_cast<int>(length));
    const QString utf8 = QString::fromUtf8(bytes);
    return utf8.toUtf8() == bytes ? utf8 : QString::fromLatin1(bytes);
}

} // namespace

ZARNAddOptions::ZARNAddOptions(ZARNMainWindow *main_window)
    : QGroupBox(nullptr), main_window(main_window), connection(main_window->connection) {
    std::memset(&options_buffer, 0, sizeof options_buffer);
    grid = new QGridLayout(this);
    setTitle(tr("Add Options"));
    add_button = new QPushButton(tr("ADD"));
    line_edit = new QLineEdit;
    line_edit->setToolTip(tr("Options for the running daemon, in its own syntax; Return or ADD "
                             "sends them (Latin-1, at most 1023 bytes). Accepted options clear "
                             "the field; the daemon's answer to others shows below it"));
    answer_label = new QLabel;
    answer_label->setObjectName(QStringLiteral("options_answer"));
    answer_label->setWordWrap(true);
    answer_label->setTextFormat(Qt::PlainText);
    answer_label->setTextInteractionFlags(Qt::TextSelectableByMouse);
    answer_label->hide();
    add_button->setToolTip(tr("Send the options to the daemon"));
    grid->addWidget(line_edit, 0, 0);
    grid->addWidget(add_button, 0, 1);
    grid->addWidget(answer_label, 1, 0, 1, 2);
    line_edit->setAccessibleName(tr("Options to add"));
    connect(add_button, &QPushButton::clicked, this, &ZARNAddOptions::handle_add);
    connect(line_edit, &QLineEdit::returnPressed, this, &ZARNAddOptions::handle_add);
}

void ZARNAddOptions::handle_add() {
    const int fd = connection->fd;
    const QByteArray bytes = to_latin1(line_edit->text());

    // Bounded copy that always terminates: longer text keeps its first
    // 1023 bytes. Bytes after the terminator are left as they were.
    const std::size_t length =
        std::min(static_cast<std::size_t>(bytes.size()), zarn::OPTIONS_BUFFER_SIZE - 1);
    std::memcpy(options_buffer.text, bytes.constData(), length);
    options_buffer.text[length] = '\0';

    if (zarn::ctl_request(fd, zarn::REQ_ADD_OPTIONS, &options_buffer) != 0)
        return;

    // The daemon may fill all 1024 bytes without a terminator: never read
    // past the buffer, the answer then ends at its last byte.
    const std::size_t answer_length =
        zarn::bounded_length(options_buffer.text, zarn::OPTIONS_BUFFER_SIZE);
    const QString answer = decode_answer(options_buffer.text, answer_length);
    // The field is the user's: an answer there would be sent back as options.
    if (answer.isEmpty())
        line_edit->clear();
    answer_label->setText(answer);
    answer_label->setVisible(!answer.isEmpty());

    if (main_window->sys_info)
        main_window->sys_info->refresh();
    // An option may start or stop recording, or add or remove targets.
    if (main_window->record_status)
        main_window->record_status->refresh();
    main_window->look_for_targets();
}
