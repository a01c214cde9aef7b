// SPDX-License-Identifier: BSD-2-Clause

#include "eq/zarn_equalizer.h"

#include <QAction>
#include <QByteArray>
#include <QMessageBox>
#include <QPushButton>
#include <QSignalBlocker>
#include <QTextEdit>
#include <algorithm>
#include <cstring>
#include <iterator>
#include <utility>

#include "app/strip_window.h"
#include "app/zarn_main_window.h"
#include "ctl/catalogue.h"
#include "ctl/requests.h"
#include "eq/filter_design.h"
#include "eq/zarn_button.h"
#include "eq/zarn_button_map.h"
#include "eq/zarn_eq_buttons.h"
#include "eq/zarn_eq_clipboard.h"
#include "eq/zarn_eq_editor.h"
#include "eq/zarn_eq_freq_response.h"
#include "eq/zarn_eq_response_view.h"
#include "eq/zarn_eq_text_keeper.h"

namespace {

// Packed title and labels of the state map; id 0 is OFF, 1 is ON.
const char state_map_texts[] = "Equalizer state\0OFF\0ON";

enum { STATE_OFF = 0, STATE_ON = 1 };

} // namespace

QString ZARNEqualizer::explain(const zarn::SpecError &error, int blank_lines) {
    QString reason;
    switch (error.fault) {
    case zarn::SpecFault::expected_numbers:
        reason = tr("expected two numbers, a frequency in Hz and an amplitude: digits with an "
                    "optional decimal point, no sign, exponent or comma");
        break;
    case zarn::SpecFault::expected_amplitude:
        reason = tr("expected two numbers: after the frequency, an amplitude on the same line");
        break;
    case zarn::SpecFault::frequency_below_previous:
        reason = tr("frequency below the previous point");
        break;
    case zarn::SpecFault::not_finite:
        reason = tr("a number is too large for the filter");
        break;
    case zarn::SpecFault::no_design:
    case zarn::SpecFault::none:
        reason = tr("no filter can be designed for this channel");
        break;
    }
    if (error.line == 0)
        return reason;
    return tr("line %1: %2")
        .arg(QString::number(error.line + static_cast<std::uint64_t>(blank_lines)), reason);
}

ZARNEqualizer::ZARNEqualizer(ZARNMainWindow *main_window_, const zarn::Target &target, bool rx_,
                             QWidget *owner)
    : QWidget(owner, Qt::Window), kind(target.kind | (rx_ ? zarn::EQ_RX_FLAG : 0)),
      number(target.number), channel(target.channel), sample_rate(0), filter_length(0),
      coefficients(nullptr), grid(this), main_window(main_window_),
      connection(main_window_->connection), filter_known(false), stale(false), refresh_query{},
      refresh_result(-1), refresh_queued(false), text_keeper(new ZARNEQTextKeeper(this)), rx(rx_) {
    base_title = QStringLiteral("Zarnmix Equalizer %1 Ch%2")
                     .arg(rx ? QStringLiteral("RX") : QStringLiteral("TX"))
                     .arg(channel);
    setWindowTitle(base_title);
    setWindowIcon(zarn::window_icon());
    auto *close_window = new QAction(tr("Close"), this);
    close_window->setShortcut(QKeySequence(Qt::CTRL | Qt::Key_W));
    connect(close_window, &QAction::triggered, this, &QWidget::close);
    addAction(close_window);

    state_map = new ZARNButtonMap(state_map_texts, 2, 1);
    connect(state_map, &ZARNButtonMap::selectionChanged, this, &ZARNEqualizer::handle_update);
    grid.addWidget(state_map, 0, 0, 1, 1);

    clipboard = new ZARNEQClipboard(this);
    connect(clipboard->copy_button, &QPushButton::clicked, this, &ZARNEqualizer::handle_copy);
    connect(clipboard->paste_button, &QPushButton::clicked, this, &ZARNEqualizer::handle_paste);
    grid.addWidget(clipboard, 0, 1, 1, 1);

    presets = new ZARNEQButtons(this);
    grid.addWidget(presets, 0, 2, 1, 1);

    freq_response = new ZARNEQFreqResponse(this);
    grid.addWidget(freq_response, 0, 3, 1, 1);
    response_view = new ZARNEQResponseView(this);
    response_view->setToolTip(tr("Gain of the filter in force in dB, from 20 Hz to half the "
                                 "sample rate on a logarithmic axis; the pointer's frequency and "
                                 "gain show at the top right"));

    editor = new ZARNEQEditor();
    editor->text_edit->setAccessibleName(tr("Filter specification"));
    connect(editor->apply_button, &QPushButton::clicked, this, &ZARNEqualizer::handle_apply);
    connect(editor->import_button, &QPushButton::clicked, this,
            [this] { editor->ask_import(sample_rate); });
    connect(editor->export_button, &QPushButton::clicked, this,
            [this] { editor->ask_export(applied_text, sample_rate, filter_length, coefficients); });
    grid.addWidget(editor, 1, 0, 1, 4);

    grid.addWidget(response_view, 2, 0, 1, 5);
    grid.setRowStretch(2, 1);
    grid.setColumnStretch(4, 1);

    state_map->buttons[STATE_OFF]->setToolTip(
        tr("Switch the filter off: the daemon drops this channel's filter"));
    state_map->buttons[STATE_ON]->setToolTip(
        tr("Switch the filter on: the text below is designed and sent"));
    freq_response->setToolTip(tr("Gain of the filter in force over frequency, linear, from 0 Hz "
                                 "up to 8 kHz, or half the sample rate when that is lower"));

    if (connection->gathering && connection->fd >= 0)
        connection->gathered.emplace_back(this);
    else if (!read_filter())
        freq_response->refresh();
}

ZARNEqualizer::~ZARNEqualizer() {
    if (main_window->eq_copy_source == this)
        main_window->eq_copy_source = nullptr;
    release_coefficients();
}

zarn::Target ZARNEqualizer::target() const {
    return {kind & ~zarn::EQ_RX_FLAG, number, channel};
}

void ZARNEqualizer::release_coefficients() {
    delete[] coefficients;
    coefficients = nullptr;
    applied_text.clear();
}

bool ZARNEqualizer::read_filter() {
    if (!begin_read())
        return false;
    std::vector<zarn::BatchedRequest> batch;
    queue_rate_and_length(batch);
    zarn::ctl_request_batch(connection->fd, batch.data(), static_cast<int>(batch.size()));
    take_rate_and_length();
    batch.clear();
    queue_fetch(batch);
    if (!batch.empty())
        zarn::ctl_request_batch(connection->fd, batch.data(), static_cast<int>(batch.size()));
    end_read();
    return filter_known;
}

void ZARNEqualizer::read_filters(const std::vector<QPointer<ZARNEqualizer>> &windows) {
    // Every window's rate and length in one exchange, then the filters in
    // as few as their sizes allow: each window still reads its rate and
    // length before its filter, and a few hundred windows cost a few round
    // trips instead of one or two each. An exchange has one time limit, so
    // the fetches are split by their sizes.
    constexpr std::size_t TAPS_PER_EXCHANGE = 1 << 18;
    std::vector<ZARNEqualizer *> reading;
    std::vector<zarn::BatchedRequest> batch;
    for (ZARNEqualizer *eq : windows) {
        if (!eq)
            continue;
        if (!eq->begin_read()) {
            eq->freq_response->refresh();
            continue;
        }
        eq->queue_rate_and_length(batch);
        reading.push_back(eq);
    }
    if (reading.empty())
        return;
    const int fd = reading.front()->connection->fd;
    zarn::ctl_request_batch(fd, batch.data(), static_cast<int>(batch.size()));
    batch.clear();
    std::size_t first = 0;
    std::size_t taps = 0;
    for (std::size_t i = 0; i < reading.size(); ++i) {
        reading[i]->take_rate_and_length();
        reading[i]->queue_fetch(batch);
        taps += static_cast<std::size_t>(std::max(reading[i]->filter_length, 0));
        if (taps < TAPS_PER_EXCHANGE && i + 1 < reading.size())
            continue;
        if (!batch.empty())
            zarn::ctl_request_batch(fd, batch.data(), static_cast<int>(batch.size()));
        for (; first <= i; ++first)
            reading[first]->end_read();
        batch.clear();
        taps = 0;
    }
}

bool ZARNEqualizer::begin_read() {
    // With the device closed nothing can be asked, and what the window knows
    // of the daemon's filter stays.
    if (connection->fd < 0) {
        filter_known = false;
        return false;
    }
    release_coefficients();
    sample_rate = 0;
    filter_length = 0;
    stale = false;
    return true;
}

void ZARNEqualizer::queue_rate_and_length(std::vector<zarn::BatchedRequest> &batch) {
    read_rate = 0;
    std::fill(std::begin(read_results), std::end(read_results), -1);
    batch.push_back({zarn::REQ_SAMPLE_RATE_GET, &read_rate, &read_results[0]});
    if (const std::uint32_t code = zarn::filter_query(target(), receives(), read_query))
        batch.push_back({code, &read_query, &read_results[1]});
}

void ZARNEqualizer::take_rate_and_length() {
    sample_rate = read_rate;
    const bool length_read = read_results[1] == 0;
    filter_length = length_read ? zarn::accepted_length(read_query.size) : 0;
    filter_known = read_results[0] == 0 && length_read;
}

void ZARNEqualizer::queue_fetch(std::vector<zarn::BatchedRequest> &batch) {
    read_fetching = filter_length > 0;
    if (!read_fetching)
        return;
    coefficients = new double[static_cast<std::size_t>(filter_length)];
    batch.push_back(
        {zarn::filter_fetch(target(), receives(), filter_length, coefficients, read_fetch),
         &read_fetch, &read_results[2]});
}

void ZARNEqualizer::end_read() {
    // Any other answer means no filter is in force.
    if (std::exchange(read_fetching, false) &&
        (read_results[2] != 0 || zarn::accepted_length(read_fetch.size) != filter_length))
        release_coefficients();
    show_state();
    text_keeper->filter_read();
    freq_response->refresh();
    freq_response->update();
}

void ZARNEqualizer::refresh() {
    if (isVisible())
        read_filter();
    else
        stale = true;
}

void ZARNEqualizer::queue_refresh(std::vector<zarn::BatchedRequest> &batch) {
    const std::uint32_t code = zarn::filter_query(target(), receives(), refresh_query);
    if (connection->fd < 0 || code == 0)
        return;
    refresh_queued = true;
    batch.push_back({code, &refresh_query, &refresh_result});
    // Another client may write a filter of the same length, or switch it on
    // or off; hidden windows fetch too, so that the strip's marker follows.
    // The fetch rides in the same exchange; while the filter is off it fails
    // at once and carries no coefficients.
    if (filter_length <= 0)
        return;
    const auto n = static_cast<std::size_t>(filter_length);
    if (fetched_size != n) {
        fetched.reset(new double[n]);
        fetched_size = n;
    }
    batch.push_back(
        {zarn::filter_fetch(target(), receives(), filter_length, fetched.get(), fetch_query),
         &fetch_query, &fetch_result});
    fetch_queued = true;
}

bool ZARNEqualizer::take_refresh() {
    const bool fetch = std::exchange(fetch_queued, false);
    if (!refresh_queued)
        return false;
    refresh_queued = false;
    const std::int32_t length = zarn::accepted_length(refresh_query.size);
    if (refresh_result != 0 || length != filter_length || !fetch) {
        // The fetch's array is of no use now; a hidden window drops it.
        if (!isVisible()) {
            fetched.reset();
            fetched_size = 0;
        }
    }
    if (refresh_result != 0)
        return false;
    if (length != filter_length) {
        // A new length is a new filter: the coefficients kept are of the old
        // length and go at once; the filter is read as at start.
        release_coefficients();
        filter_length = length;
        show_state();
        freq_response->refresh();
        refresh();
        return true;
    }
    settle_fetch(fetch && fetch_result == 0 && zarn::accepted_length(fetch_query.size) == length);
    return false;
}

void ZARNEqualizer::name_target(const std::string &name) {
    setWindowTitle(name.empty()
                       ? base_title
                       : base_title + QStringLiteral(" - ") + QString::fromUtf8(name.c_str()));
}

void ZARNEqualizer::follow_rate(int rate) {
    if (rate == sample_rate || !filter_known)
        return;
    sample_rate = rate;
    freq_response->refresh();
    freq_response->update();
}

void ZARNEqualizer::settle_fetch(bool on) {
    const auto n = static_cast<std::size_t>(filter_length);
    on = on && fetched && fetched_size == n;
    const bool same =
        on ? coefficients && std::memcmp(fetched.get(), coefficients, n * sizeof(double)) == 0
           : coefficients == nullptr;
    std::unique_ptr<double[]> now;
    if (on && !same)
        now = std::move(fetched);
    // Only a window in view keeps the array for its next fetch: hidden ones
    // do not hold a second copy of every filter.
    if (!fetched || !isVisible()) {
        fetched.reset();
        fetched_size = 0;
    }
    if (!same)
        keep_coefficients(std::move(now), false);
}

void ZARNEqualizer::keep_coefficients(std::unique_ptr<double[]> in_force, bool applied) {
    release_coefficients();
    coefficients = in_force.release();
    show_state();
    // A text applied here is kept; a filter read from the daemon shows the
    // text kept for it, if any.
    if (!applied)
        text_keeper->filter_read();
    else if (coefficients) {
        applied_text = editor->text_edit->toPlainText().trimmed();
        text_keeper->applied();
    }
    freq_response->refresh();
    freq_response->update();
}

void ZARNEqualizer::showEvent(QShowEvent *event) {
    // Coefficients of a hidden window are fetched only when it is shown, so
    // that a reconnection does not pull every filter at once.
    if (stale && connection->fd >= 0)
        read_filter();
    zarn::stand_alone(*this);
    QWidget::showEvent(event);
}

void ZARNEqualizer::show_state() {
    const QSignalBlocker blocker(state_map);
    state_map->set_selection(coefficients != nullptr ? STATE_ON : STATE_OFF);
}

std::unique_ptr<double[]> ZARNEqualizer::design() {
    const QString whole = editor->text_edit->toPlainText();
    const QString text = whole.trimmed();
    if (text.isEmpty()) {
        QMessageBox::information(this, QStringLiteral("Zarnmix Control"),
                                 tr("EQ filter specification is empty"));
        return nullptr;
    }
    const QByteArray utf8 = text.toUtf8();
    std::unique_ptr<double[]> designed(new double[static_cast<std::size_t>(filter_length)]());
    if (zarn::design_coefficients(static_cast<double>(sample_rate),
                                  static_cast<std::uint64_t>(filter_length), utf8.constData(),
                                  designed.get())) {
        // Lines are counted in the editor, before its blank lines were trimmed.
        int blank_lines = 0;
        for (const QChar c : whole) {
            if (!c.isSpace())
                break;
            blank_lines += c == QLatin1Char('\n');
        }
        QMessageBox box(QMessageBox::Information, QStringLiteral("Zarnmix Control"),
                        tr("Invalid EQ filter specification"), QMessageBox::Ok, this);
        box.setInformativeText(explain(
            zarn::find_spec_error(static_cast<double>(sample_rate),
                                  static_cast<std::uint64_t>(filter_length), utf8.constData()),
            blank_lines));
        box.exec();
        return nullptr;
    }
    return designed;
}

void ZARNEqualizer::handle_update() {
    const int wanted = state_map->selected;
    // A window that does not know the daemon's filter asks before it writes;
    // the state the user chose survives the read.
    if (!filter_known) {
        if (!read_filter())
            return;
        const QSignalBlocker blocker(state_map);
        state_map->set_selection(wanted);
    }
    // Whatever is not sent, or is refused, leaves the daemon's filter as it
    // was, and the state map says so.
    if (filter_length <= 0 || sample_rate <= 0 || connection->fd < 0) {
        show_state();
        return;
    }

    std::unique_ptr<double[]> next;
    if (wanted != STATE_OFF) {
        next = design();
        if (!next || !design_is_current(next)) {
            show_state();
            return;
        }
    }

    if (zarn::write_filter(connection->fd, target(), receives(), filter_length, next.get()) != 0) {
        show_state();
        return;
    }
    keep_coefficients(std::move(next), true);
}

void ZARNEqualizer::handle_apply() {
    if (state_map->selected == STATE_OFF)
        state_map->set_selection(STATE_ON);
    else
        handle_update();
}

bool ZARNEqualizer::design_is_current(std::unique_ptr<double[]> &designed) {
    // The daemon's rate and length as they are now: a filter designed for a
    // rate it no longer runs at is plainly wrong. Asked once the text is
    // known to be good, so a text that cannot be sent sends nothing.
    std::int32_t rate = 0;
    std::int32_t length = 0;
    if (!zarn::read_rate_and_length(connection->fd, target(), receives(), rate, length))
        return false;
    if (rate == sample_rate && length == filter_length)
        return true;
    if (length != filter_length) {
        const int wanted = state_map->selected;
        read_filter();
        const QSignalBlocker blocker(state_map);
        state_map->set_selection(wanted);
    }
    sample_rate = rate;
    if (filter_length <= 0 || sample_rate <= 0)
        return false;
    designed = design();
    return designed != nullptr;
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
