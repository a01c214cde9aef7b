#include "eq/zarn_equalizer.h"

#include <QByteArray>
#include <QIcon>
#include <QMessageBox>
#include <QPushButton>
#include <QSignalBlocker>
#include <QTextEdit>

#include "app/zarn_main_window.h"
#include "ctl/filter_record.h"
#include "ctl/requests.h"
#include "ctl/strip_kind.h"
#include "ctl/transport.h"
#include "eq/filter_design.h"
#include "eq/zarn_button_map.h"
#include "eq/zarn_eq_buttons.h"
#include "eq/zarn_eq_clipboard.h"
#include "eq/zarn_eq_editor.h"
#include "eq/zarn_eq_freq_response.h"

namespace {

// Packed title and labels of the state map; id 0 is OFF, 1 is ON.
const char state_map_texts[] = "Equalizer state\0OFF\0ON";

enum { STATE_OFF = 0, STATE_ON = 1 };

// A length the daemon reports counts only within 0..65536 read as unsigned,
// so a negative size counts as no filter.
int accepted_length(std::int32_t size) {
    return static_cast<std::uint32_t>(size) <= static_cast<std::uint32_t>(zarn::MAX_FILTER_SIZE)
               ? size
               : 0;
}

} // namespace

ZARNEqualizer::ZARNEqualizer(ZARNMainWindow *main_window_, int kind_, int number_, int channel_)
    : QWidget(nullptr), kind(kind_), number(number_), channel(channel_), sample_rate(0),
      filter_length(0), coefficients(nullptr), grid(this), main_window(main_window_) {
    setWindowTitle(QStringLiteral("Zarnmix Equalizer %1 Ch%2")
                       .arg((kind & zarn::EQ_RX_FLAG) ? QStringLiteral("RX") : QStringLiteral("TX"))
                       .arg(channel));
    setWindowIcon(QIcon(QStringLiteral(":/zarnmix_ctl.png")));

    state_map = new ZARNButtonMap(state_map_texts, 2, 1);
    connect(state_map, &ZARNButtonMap::selectionChanged, this, &ZARNEqualizer::handle_update);
    grid.addWidget(state_map, 0, 0, 1, 1);

    clipboard = new ZARNEQClipboard(this);
    connect(clipboard->copy_button, &QPushButton::released, this, &ZARNEqualizer::handle_copy);
    connect(clipboard->paste_button, &QPushButton::released, this, &ZARNEqualizer::handle_paste);
    grid.addWidget(clipboard, 0, 1, 1, 1);

    presets = new ZARNEQButtons(this);
    grid.addWidget(presets, 0, 2, 1, 1);

    freq_response = new ZARNEQFreqResponse(this);
    grid.addWidget(freq_response, 0, 3, 1, 1);

    editor = new ZARNEQEditor();
    connect(editor->apply_button, &QPushButton::released, this, &ZARNEqualizer::handle_update);
    grid.addWidget(editor, 1, 0, 1, 4);

    grid.setRowStretch(2, 1);
    grid.setColumnStretch(4, 1);

    read_filter();
}

ZARNEqualizer::~ZARNEqualizer() {
    if (main_window->eq_copy_source == this)
        main_window->eq_copy_source = nullptr;
    release_coefficients();
}

std::uint32_t ZARNEqualizer::read_request() const {
    switch (kind) {
    case zarn::KIND_DEVICE:
        return zarn::REQ_DEV_TX_FILTER_GET;
    case zarn::KIND_LOOP:
        return zarn::REQ_LOOP_TX_FILTER_GET;
    case zarn::KIND_DEVICE | zarn::EQ_RX_FLAG:
        return zarn::REQ_DEV_RX_FILTER_GET;
    case zarn::KIND_LOOP | zarn::EQ_RX_FLAG:
        return zarn::REQ_LOOP_RX_FILTER_GET;
    default:
        return 0;
    }
}

std::uint32_t ZARNEqualizer::write_request() const {
    switch (kind) {
    case zarn::KIND_DEVICE:
        return zarn::REQ_DEV_TX_FILTER_SET;
    case zarn::KIND_LOOP:
        return zarn::REQ_LOOP_TX_FILTER_SET;
    case zarn::KIND_DEVICE | zarn::EQ_RX_FLAG:
        return zarn::REQ_DEV_RX_FILTER_SET;
    case zarn::KIND_LOOP | zarn::EQ_RX_FLAG:
        return zarn::REQ_LOOP_RX_FILTER_SET;
    default:
        return 0;
    }
}

void ZARNEqualizer::release_coefficients() {
    delete[] coefficients;
    coefficients = nullptr;
}

void ZARNEqualizer::read_filter() {
    release_coefficients();
    sample_rate = 0;
    filter_length = 0;
    int state = STATE_OFF;

    const std::uint32_t code = read_request();
    if (main_window->fd >= 0) {
        std::int32_t rate = 0;
        zarn::ctl_request(main_window->fd, zarn::REQ_SAMPLE_RATE_GET, &rate);
        sample_rate = rate;

        if (code != 0) {
            zarn::FilterRecord query{};
            query.number = number;
            query.channel = channel;
            if (zarn::ctl_request(main_window->fd, code, &query) == 0)
                filter_length = accepted_length(query.size);
        }

        if (filter_length > 0) {
            coefficients = new double[static_cast<std::size_t>(filter_length)];
            zarn::FilterRecord fetch{};
            fetch.number = number;
            fetch.channel = channel;
            fetch.size = filter_length;
            fetch.coefficients = reinterpret_cast<std::uintptr_t>(coefficients);
            if (zarn::ctl_request(main_window->fd, code, &fetch) == 0 &&
                accepted_length(fetch.size) == filter_length)
                state = STATE_ON;
            else
                release_coefficients();
        }
    }

    {
        const QSignalBlocker blocker(state_map);
        state_map->set_selection(state);
    }
    freq_response->refresh();
}

bool ZARNEqualizer::design_into_coefficients() {
    const QString text = editor->text_edit->toPlainText().trimmed();
    if (text.isEmpty()) {
        QMessageBox::information(this, QStringLiteral("Zarnmix Control"),
                                 tr("EQ filter specification is empty"));
        return false;
    }
    const QByteArray utf8 = text.toUtf8();

    // Until a design succeeds, a filter already in force stays in
    // coefficients (and in the daemon).
    const bool is_new = coefficients == nullptr;
    if (is_new)
        coefficients = new double[static_cast<std::size_t>(filter_length)]();
    if (zarn::design_coefficients(static_cast<double>(sample_rate),
                                  static_cast<std::uint64_t>(filter_length), utf8.constData(),
                                  coefficients)) {
        if (is_new)
            release_coefficients();
        QMessageBox::information(this, QStringLiteral("Zarnmix Control"),
                                 tr("Invalid EQ filter specification"));
        return false;
    }
    return true;
}

void ZARNEqualizer::handle_update() {
    if (filter_length <= 0 || sample_rate <= 0 || main_window->fd < 0)
        return;

    if (state_map->selected == STATE_OFF)
        release_coefficients();
    else if (!design_into_coefficients())
        return;

    zarn::FilterRecord record{};
    record.number = number;
    record.channel = channel;
    record.size = filter_length;
    record.coefficients = reinterpret_cast<std::uintptr_t>(coefficients);
    const std::uint32_t code = write_request();
    if (code != 0)
        zarn::ctl_request(main_window->fd, code, &record);

    freq_response->refresh();
    freq_response->update();
}

void ZARNEqualizer::handle_copy() {
    main_window->eq_copy_source = this;
}

void ZARNEqualizer::handle_paste() {
    ZARNEqualizer *source = main_window->eq_copy_source;
    if (source == nullptr || source == this)
        return;
    editor->text_edit->setText(source->editor->text_edit->toPlainText());
    state_map->set_selection(source->state_map->selected);
}
