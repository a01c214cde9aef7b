// SPDX-License-Identifier: BSD-2-Clause

#include "app/zarn_main_window.h"

#include <QAction>
#include <QApplication>
#include <QCloseEvent>
#include <QHBoxLayout>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QScreen>
#include <QScrollBar>
#include <QTimer>
#include <QVBoxLayout>
#include <algorithm>
#include <iterator>
#include <vector>

#include "app/opening_size.h"
#include "app/strip_window.h"
#include "app/window_places.h"
#include "app/zarn_fold.h"
#include "app/zarn_grid_layout.h"
#include "app/zarn_status_line.h"
#include "compressor/zarn_compressor.h"
#include "ctl/catalogue.h"
#include "ctl/discovery.h"
#include "ctl/requests.h"
#include "ctl/transport.h"
#include "eq/zarn_equalizer.h"
#include "panels/zarn_add_options.h"
#include "panels/zarn_audio_delay_locator.h"
#include "panels/zarn_record_status.h"
#include "panels/zarn_setup_panel.h"
#include "panels/zarn_sys_info_options.h"
#include "routing/zarn_connect.h"
#include "strip/zarn_controller.h"

namespace {

// The live view reads each record once every this many ticks.
constexpr int LIVE_SLICES = 10;

// How far discovery counts beyond the strips, so that what is left out can
// be told; bounded against a daemon that answers every probe.
constexpr int COUNT_LIMIT = 4096;

bool is_main(const zarn::Target &t) {
    return t.kind == zarn::KIND_MAIN_OUTPUT || t.kind == zarn::KIND_MAIN_INPUT;
}

} // namespace

std::vector<zarn::Target> targets_shown_of(const std::vector<zarn::Target> &all) {
    if (all.size() <= std::size_t{MAX_STRIPS})
        return all;
    const auto mains = static_cast<std::size_t>(
        std::min<std::ptrdiff_t>(std::count_if(all.begin(), all.end(), is_main), MAX_STRIPS));
    std::size_t others = MAX_STRIPS - mains;
    std::size_t kept_mains = mains;
    std::vector<zarn::Target> shown;
    for (const zarn::Target &t : all) {
        std::size_t &room = is_main(t) ? kept_mains : others;
        if (room == 0)
            continue;
        --room;
        shown.push_back(t);
    }
    return shown;
}

ZARNMainWindow::ZARNMainWindow(const char *device_path)
    : QScrollArea(nullptr), connection(new ZARNConnection(device_path, this)),
      eq_copy_source(nullptr), compressor_copy_source(nullptr), strip_grid(nullptr),
      main_grid(nullptr), strips{}, connect_panel(nullptr), delay_locator(nullptr),
      record_status(nullptr), add_options(nullptr), sys_info(nullptr), setup_panel(nullptr),
      message_bar(nullptr), status_line(nullptr), bar_pads{}, watchdog_timer(nullptr),
      device_path(device_path), fd(connection->fd), tick(connection->tick), link(connection->link),
      link_line(nullptr), waiting_label(nullptr), try_button(nullptr) {
    fd = zarn::ctl_open(device_path);

    strip_grid = new ZARNGridLayout();

    discover();

    status_line = new ZARNStatusLine(this);
    connect(status_line, &ZARNStatusLine::shownChanged, this, &ZARNMainWindow::place_bars);

    connect_panel = new ZARNConnect(this);
    delay_locator = new ZARNAudioDelayLocator(this);
    record_status = new ZARNRecordStatus(this);
    add_options = new ZARNAddOptions(this);
    sys_info = new ZARNSysInfoOptions(this);
    setup_panel = new ZARNSetupPanel(this);

    watchdog_timer = new QTimer(this);
    connect(watchdog_timer, &QTimer::timeout, this, &ZARNMainWindow::handle_watchdog);

    main_grid = new ZARNGridLayout();
    // Each row but the strips can be folded away; a header comes before its
    // panel in the Tab order, as it was made first.
    const std::pair<const char *, QWidget *> column[] = {
        {"diagram", connect_panel},
        {nullptr, static_cast<QWidget *>(strip_grid)},
        {"delay_locator", delay_locator},
        {"recording", record_status},
        {"add_options", add_options},
        {"system_information", sys_info},
        {"setup", setup_panel}};
    for (int row = 0; row < static_cast<int>(std::size(column)); ++row) {
        const auto &[key, panel] = column[row];
        if (key)
            folds.push_back(new ZARNFold(QString::fromLatin1(key), main_grid, row, panel));
        main_grid->addWidget(panel, row, 0, 1, 1);
    }
    // While the daemon is away or offers nothing, a line at the top says so
    // in the window itself.
    message_bar = new QWidget(this);
    message_bar->setObjectName(QStringLiteral("message_bar"));
    message_bar->setAutoFillBackground(true);
    message_bar->setBackgroundRole(QPalette::ToolTipBase);
    message_bar->setForegroundRole(QPalette::ToolTipText);
    auto *bar_layout = new QVBoxLayout(message_bar);
    bar_layout->setContentsMargins(6, 2, 6, 2);
    bar_layout->setSpacing(2);
    link_line = new QWidget();
    auto *line_layout = new QHBoxLayout(link_line);
    line_layout->setContentsMargins(0, 0, 0, 0);
    waiting_label = new QLabel();
    waiting_label->setObjectName(QStringLiteral("waiting"));
    try_button = new QPushButton(tr("Try now"));
    try_button->setToolTip(tr("Look for the daemon, or for its targets, at once"));
    connect(try_button, &QPushButton::clicked, this, &ZARNMainWindow::try_now);
    line_layout->addWidget(waiting_label);
    line_layout->addWidget(try_button);
    line_layout->addStretch(1);
    bar_layout->addWidget(link_line);
    link_line->hide();
    limit_label = new QLabel();
    limit_label->setObjectName(QStringLiteral("limit"));
    limit_label->hide();
    bar_layout->addWidget(limit_label);
    strip_filter = new QLineEdit();
    strip_filter->setObjectName(QStringLiteral("strip_filter"));
    strip_filter->setPlaceholderText(tr("Show the strips whose title holds..."));
    strip_filter->setToolTip(tr("Escape shows every strip again"));
    strip_filter->setClearButtonEnabled(true);
    strip_filter->installEventFilter(this);
    strip_filter->hide();
    connect(strip_filter, &QLineEdit::textChanged, this, &ZARNMainWindow::apply_filter);
    bar_layout->addWidget(strip_filter);
    message_bar->hide();
    for (QWidget *&pad : bar_pads) {
        pad = new QWidget();
        pad->hide();
    }
    addScrollBarWidget(bar_pads[0], Qt::AlignTop);
    addScrollBarWidget(bar_pads[1], Qt::AlignBottom);
    connect(folds.front(), &ZARNFold::foldedChanged, this, [this](bool folded) {
        if (!folded)
            diagram_unfolded();
    });

    show_link();
    setWindowIcon(zarn::window_icon());

    show_limit();
    setWidget(static_cast<QWidget *>(main_grid));

    // Nothing found at start is looked for again once the daemon answers.
    if (strips[0] == nullptr)
        watch.want_refresh();
    if (fd < 0)
        set_link(ConnectionWatch::Link::NotConnected);

    order_tabs();
    // Each strip read its record as it was made.
    strips_seen.assign(std::begin(strips), std::end(strips));
    const auto add = [this](const QString &text, const QKeySequence &keys, auto *receiver,
                            auto slot) {
        auto *action = new QAction(text, this);
        action->setShortcut(keys);
        connect(action, &QAction::triggered, receiver, slot);
        addAction(action);
    };
    add(tr("Quit"), QKeySequence(Qt::CTRL | Qt::Key_Q), this, &QWidget::close);
    add(tr("Look for targets again"), QKeySequence::Refresh, this,
        &ZARNMainWindow::look_for_targets);
    add(tr("Find strips"), QKeySequence::Find, this, &ZARNMainWindow::find_strips);
    add(tr("Save setup..."), QKeySequence::Save, setup_panel, &ZARNSetupPanel::handle_save);
    add(tr("Load setup..."), QKeySequence::Open, setup_panel, &ZARNSetupPanel::handle_load);
    setContextMenuPolicy(Qt::ActionsContextMenu);
    connect(verticalScrollBar(), &QScrollBar::valueChanged, this, &ZARNMainWindow::catch_up_view);
    connect(horizontalScrollBar(), &QScrollBar::valueChanged, this, &ZARNMainWindow::catch_up_view);

    watchdog_timer->start(100);
}

// The program never deletes its window, but tests do. Strips, panels and the
// windows they own reach back into these fields while they are destroyed, so
// they go while the window is still whole rather than in the base destructor.
ZARNMainWindow::~ZARNMainWindow() {
    watchdog_timer->stop();
    // They watch the panels, which go first below.
    for (ZARNFold *fold : folds)
        delete fold;
    folds.clear();
    delete takeWidget();
    strip_grid = nullptr;
    main_grid = nullptr;
    std::fill(std::begin(strips), std::end(strips), nullptr);
    connect_panel = nullptr;
    delay_locator = nullptr;
    record_status = nullptr;
    add_options = nullptr;
    sys_info = nullptr;
    setup_panel = nullptr;
}

void ZARNMainWindow::discover() {
    // The equalizer windows of every strip are read together at the end.
    connection->gathering = true;
    int count = 0;
    zarn::discover_targets(fd, MAX_STRIPS, [this, &count](const zarn::Target &target) {
        strips[count] = new ZARNController(this, target);
        strip_grid->addWidget(strips[count], count, 0, 1, 1);
        ++count;
    });
    for (int i = count; i < MAX_STRIPS; ++i)
        strips[i] = nullptr;
    all_targets = shown_targets();
    if (count == MAX_STRIPS) {
        // The walk stopped at the limit: count the rest, and give the main
        // channels the last places if they were beyond it.
        all_targets = zarn::find_targets(fd, COUNT_LIMIT);
        const std::vector<zarn::Target> shown = targets_shown_of(all_targets);
        for (std::size_t i = 0; i < shown.size() && i < std::size_t{MAX_STRIPS}; ++i) {
            if (strips[i] && strips[i]->target() == shown[i])
                continue;
            strip_grid->removeWidget(strips[i]);
            delete strips[i];
            strips[i] = new ZARNController(this, shown[i]);
            strip_grid->addWidget(strips[i], static_cast<int>(i), 0, 1, 1);
        }
    }
    connection->gathering = false;
    std::vector<QPointer<ZARNEqualizer>> gathered;
    gathered.swap(connection->gathered);
    ZARNEqualizer::read_filters(gathered);
    for (ZARNController *strip : strips) {
        if (strip)
            strip->show_filters();
    }
    ZARNController::arrange_links(this);
}

std::vector<zarn::Target> ZARNMainWindow::shown_targets() const {
    std::vector<zarn::Target> targets;
    for (ZARNController *strip : strips) {
        if (strip)
            targets.push_back(strip->target());
    }
    return targets;
}

void ZARNMainWindow::look_for_targets() {
    if (fd < 0)
        return;
    std::vector<zarn::Target> found;
    zarn::discover_targets(fd, COUNT_LIMIT,
                           [&found](const zarn::Target &t) { found.push_back(t); });
    // A daemon that went away in the middle of the walk has not lost its
    // targets; the watchdog will look again once it is back.
    if (found == all_targets || !zarn::probe(fd))
        return;
    all_targets = found;
    const std::vector<zarn::Target> shown = targets_shown_of(found);
    if (shown != shown_targets())
        rebuild_strips(shown);
    show_limit();
}

void ZARNMainWindow::show_limit() {
    if (!limit_label)
        return;
    const std::vector<zarn::Target> shown = shown_targets();
    const bool over = all_targets.size() > shown.size();
    QStringList left_out;
    if (over) {
        int missing[zarn::KIND_COUNT] = {};
        for (const zarn::Target &t : all_targets) {
            if (t.kind >= 0 && t.kind < zarn::KIND_COUNT &&
                std::find(shown.begin(), shown.end(), t) == shown.end())
                ++missing[t.kind];
        }
        const QString names[zarn::KIND_COUNT] = {
            tr("device channels"),    tr("loopback channels"), tr("input monitors"),
            tr("output monitors"),    tr("local monitors"),    tr("main output channels"),
            tr("main input channels")};
        for (int k = 0; k < zarn::KIND_COUNT; ++k) {
            if (missing[k] > 0)
                left_out << tr("%1 (%2)").arg(names[k]).arg(missing[k]);
        }
    }
    limit_label->setText(
        over ? tr("Showing %1 of %2 targets").arg(shown.size()).arg(all_targets.size())
             : QString());
    limit_label->setToolTip(over ? tr("Left out: %1").arg(left_out.join(QStringLiteral(", ")))
                                 : QString());
    limit_label->setVisible(over);
    show_waiting();
    place_bars(); // the bar may have been shown already, one row shorter
}

void ZARNMainWindow::rebuild_strips(const std::vector<zarn::Target> &found) {
    const bool first = strips[0] == nullptr;
    // The user's place: the strip with the focus in view, or else the one
    // at the top of the view, and how far down the view it is.
    QWidget *content = static_cast<QWidget *>(main_grid);
    const int scrolled = verticalScrollBar()->value();
    const ZARNController *anchor = nullptr;
    QWidget *focus = QApplication::focusWidget();
    if (focus && focus->visibleRegion().isEmpty())
        focus = nullptr;
    for (const ZARNController *strip : strips) {
        if (strip && focus && strip->isAncestorOf(focus))
            anchor = strip;
    }
    for (int i = 0; !anchor && i < MAX_STRIPS && strips[i]; ++i) {
        if (strips[i]->mapTo(content, QPoint(0, strips[i]->height())).y() > scrolled)
            anchor = strips[i];
    }
    const bool anchored = anchor && isVisible();
    const zarn::Target anchor_target = anchored ? anchor->target() : zarn::Target{};
    const int anchor_offset = anchored ? anchor->mapTo(content, QPoint()).y() - scrolled : 0;
    ZARNController *next[MAX_STRIPS] = {};
    for (ZARNController *strip : strips) {
        if (strip)
            strip_grid->removeWidget(strip);
    }
    // A target that is still there keeps its strip, with its windows and
    // what is typed in them; a new one gets a strip as at start.
    for (std::size_t i = 0; i < found.size() && i < MAX_STRIPS; ++i) {
        const zarn::Target &t = found[i];
        const auto kept = std::find_if(std::begin(strips), std::end(strips),
                                       [&t](auto *s) { return s && s->target() == t; });
        if (kept != std::end(strips)) {
            next[i] = *kept;
            *kept = nullptr;
        } else {
            next[i] = new ZARNController(this, t);
        }
    }
    for (ZARNController *gone : strips)
        delete gone;
    std::copy(std::begin(next), std::end(next), std::begin(strips));
    for (int i = 0; i < MAX_STRIPS && strips[i]; ++i) {
        strip_grid->addWidget(strips[i], i, 0, 1, 1);
        // The diagram's fields go with the old diagram.
        strips[i]->input_edit = nullptr;
        strips[i]->output_edit = nullptr;
    }
    // The diagram's rows come from the strip table, so it is built anew.
    main_grid->removeWidget(connect_panel);
    delete connect_panel;
    connect_panel = new ZARNConnect(this);
    main_grid->addWidget(connect_panel, 0, 0, 1, 1);
    folds.front()->set_panel(connect_panel);
    ZARNController::arrange_links(this);
    show_waiting();
    order_tabs();
    // Every strip was just read, new or kept.
    std::copy_if(std::begin(strips), std::end(strips), std::back_inserter(strips_seen),
                 [](const ZARNController *s) { return s != nullptr; });
    // A layout shows a widget it takes only later, from the event loop; the
    // sizes below need them now.
    if (isVisible()) {
        connect_panel->setVisible(!folds.front()->folded());
        for (int i = 0; i < MAX_STRIPS && strips[i]; ++i)
            strips[i]->show();
    }
    apply_filter();
    content->adjustSize();
    // The first strips of a daemon that came late: the size the window
    // would have opened at, not the one of an empty window.
    if (first && strips[0] && isVisible() && screen())
        resize(zarn::opening_size(*this, screen()->availableGeometry()));
    if (!anchored)
        return;
    // The layouts place the strips from the event loop; their places are
    // needed now.
    QApplication::sendPostedEvents(nullptr, QEvent::LayoutRequest);
    for (ZARNController *strip : strips) {
        if (strip && strip->target() == anchor_target)
            verticalScrollBar()->setValue(strip->mapTo(content, QPoint()).y() - anchor_offset);
    }
}

void ZARNMainWindow::order_tabs() {
    QWidget *previous = nullptr;
    for (ZARNController *strip : strips) {
        if (!strip)
            continue;
        for (QWidget *w : strip->tab_chain()) {
            if (previous)
                QWidget::setTabOrder(previous, w);
            previous = w;
        }
    }
}

void ZARNMainWindow::show_waiting() {
    if (!link_line)
        return;
    const QString path = QString::fromLocal8Bit(device_path);
    QString text;
    if (link == ConnectionWatch::Link::NotConnected) {
        text = strips[0] ? tr("Not connected to %1, trying again").arg(path)
                         : tr("Waiting for the mixer daemon at %1").arg(path);
    } else if (link == ConnectionWatch::Link::NotAnswering) {
        const int left_ms = watch.backoff_left_ms();
        text = left_ms > 0
                   ? tr("The daemon is not answering, next try in %1 s").arg((left_ms + 999) / 1000)
                   : tr("The daemon is not answering, trying again");
    } else if (!strips[0]) {
        text = tr("No control targets found on %1").arg(path);
    }
    waiting_label->setText(text);
    const bool shown = !text.isEmpty();
    const bool bar = shown || !limit_label->isHidden() || !strip_filter->isHidden();
    if (link_line->isHidden() != shown && message_bar->isHidden() != bar)
        return;

    link_line->setVisible(shown);
    message_bar->setVisible(bar);
    place_bars();
}

void ZARNMainWindow::find_strips() {
    strip_filter->show();
    show_waiting();
    place_bars();
    strip_filter->setFocus();
    strip_filter->selectAll();
}

void ZARNMainWindow::apply_filter() {
    if (!strip_filter)
        return;
    for (ZARNController *strip : strips) {
        if (strip)
            strip->setVisible(strip_matches(strip));
    }
    flow_strips(false);
}

bool ZARNMainWindow::strip_matches(const ZARNController *strip) const {
    const QString text = strip_filter ? strip_filter->text().trimmed() : QString();
    return text.isEmpty() || strip->title().contains(text, Qt::CaseInsensitive);
}

void ZARNMainWindow::flow_strips(bool keep_place) {
    if (!strip_grid || !main_grid)
        return;
    std::vector<ZARNController *> shown;
    int widest = 0;
    for (ZARNController *strip : strips) {
        if (strip && strip_matches(strip)) {
            shown.push_back(strip);
            widest = std::max(widest, strip->sizeHint().width());
        }
    }
    // The room beside the vertical scroll bar, shown or not: a bar that
    // comes and goes as the strips reflow does not flow them again.
    const int gap = std::max(0, strip_grid->horizontalSpacing());
    const QMargins outer = main_grid->QGridLayout::contentsMargins();
    const QMargins inner = strip_grid->QGridLayout::contentsMargins();
    const int bar = verticalScrollBar()->isVisible() ? 0 : verticalScrollBar()->sizeHint().width();
    const int room =
        viewport()->width() - bar - outer.left() - outer.right() - inner.left() - inner.right();
    const int most = static_cast<int>(std::max<std::size_t>(1, shown.size()));
    const int columns = widest > 0 ? std::clamp((room + gap) / (widest + gap), 1, most) : 1;
    bool placed = strip_grid->QGridLayout::count() == static_cast<int>(shown.size());
    for (std::size_t k = 0; placed && k < shown.size(); ++k) {
        int row = -1, column = -1, rows = 0, spans = 0;
        const int index = strip_grid->indexOf(shown[k]);
        if (index >= 0)
            strip_grid->getItemPosition(index, &row, &column, &rows, &spans);
        placed = row == static_cast<int>(k) / columns && column == static_cast<int>(k) % columns;
    }
    if (placed)
        return;
    // The user's place: the strip with the focus, or else the first one
    // reaching into the view, and how far down the view it is.
    QWidget *content = static_cast<QWidget *>(main_grid);
    const int scrolled = verticalScrollBar()->value();
    const ZARNController *anchor = nullptr;
    if (keep_place && isVisible()) {
        QWidget *focus = QApplication::focusWidget();
        for (const ZARNController *strip : shown) {
            if (focus && strip->isAncestorOf(focus) && !focus->visibleRegion().isEmpty())
                anchor = strip;
        }
        for (std::size_t k = 0; !anchor && k < shown.size(); ++k) {
            if (shown[k]->mapTo(content, QPoint(0, shown[k]->height())).y() > scrolled)
                anchor = shown[k];
        }
    }
    const int offset = anchor ? anchor->mapTo(content, QPoint()).y() - scrolled : 0;
    for (ZARNController *strip : strips) {
        if (strip)
            strip_grid->removeWidget(strip);
    }
    for (std::size_t k = 0; k < shown.size(); ++k)
        strip_grid->addWidget(shown[k], static_cast<int>(k) / columns,
                              static_cast<int>(k) % columns, 1, 1);
    // The layouts place the strips from the event loop; the sizes and the
    // places are needed now.
    QApplication::sendPostedEvents(nullptr, QEvent::LayoutRequest);
    content->adjustSize();
    QApplication::sendPostedEvents(nullptr, QEvent::LayoutRequest);
    if (anchor)
        verticalScrollBar()->setValue(anchor->mapTo(content, QPoint()).y() - offset);
}

void ZARNMainWindow::diagram_unfolded() {
    if (fd < 0 || link != ConnectionWatch::Link::Answering)
        return;
    std::vector<zarn::BatchedRequest> batch;
    for (ZARNController *strip : strips) {
        if (strip)
            strip->queue_refresh(batch);
    }
    zarn::ctl_request_batch(fd, batch.data(), static_cast<int>(batch.size()));
    for (ZARNController *strip : strips) {
        if (strip)
            strip->take_refresh();
    }
    connect_panel->refresh_routes();
}

bool ZARNMainWindow::eventFilter(QObject *watched, QEvent *event) {
    if (watched == strip_filter && event->type() == QEvent::KeyPress &&
        static_cast<QKeyEvent *>(event)->key() == Qt::Key_Escape) {
        strip_filter->clear();
        strip_filter->hide();
        show_waiting();
        place_bars();
        setFocus();
        return true;
    }
    return QScrollArea::eventFilter(watched, event);
}

void ZARNMainWindow::try_now() {
    if (link == ConnectionWatch::Link::Answering) {
        look_for_targets();
        return;
    }
    watch.retry_now();
    handle_watchdog();
}

void ZARNMainWindow::refresh_all() {
    look_for_targets();
    for (ZARNController *strip : strips) {
        if (strip)
            strip->refresh();
    }
    connect_panel->refresh_routes();
    strips_seen.assign(std::begin(strips), std::end(strips));
    record_status->refresh();
    sys_info->refresh();
}

void ZARNMainWindow::set_link(ConnectionWatch::Link state) {
    if (state == link)
        return;
    link = state;
    show_link();
    show_waiting();
    // An offer to load a setup waits for a daemon that answers.
    if (state != ConnectionWatch::Link::Answering)
        status_line->clear();

    // Greyed rather than hidden: the last values stay readable, and nothing
    // can be changed that could not be sent.
    const bool enabled = state == ConnectionWatch::Link::Answering;
    for (QWidget *w : {static_cast<QWidget *>(strip_grid), static_cast<QWidget *>(connect_panel),
                       static_cast<QWidget *>(delay_locator), static_cast<QWidget *>(record_status),
                       static_cast<QWidget *>(add_options), static_cast<QWidget *>(sys_info),
                       static_cast<QWidget *>(setup_panel)})
        w->setEnabled(enabled);
    for (QWidget *w : strip_windows())
        w->setEnabled(enabled);
}

void ZARNMainWindow::show_link() {
    const QString path = QString::fromLocal8Bit(device_path);
    // A socket may be forwarded from another machine, so its path is named
    // wherever the link is told; the device's title stays plain.
    const bool socket = zarn::ctl_names_socket(device_path);
    QString title = QStringLiteral("Zarnmix Control");
    if (link == ConnectionWatch::Link::NotConnected)
        title += QStringLiteral(" - not connected (%1)").arg(path);
    else if (socket)
        title += QStringLiteral(" - ") + path;
    if (link == ConnectionWatch::Link::NotAnswering)
        title += QStringLiteral(" - daemon not answering");
    setWindowTitle(title);
    status_line->rest_on(socket && link == ConnectionWatch::Link::Answering
                             ? tr("Connected to %1").arg(path)
                             : QString());
}

std::vector<QWidget *> ZARNMainWindow::strip_windows() const {
    std::vector<QWidget *> windows;
    for (ZARNController *strip : strips) {
        if (!strip)
            continue;
        for (QWidget *w : {static_cast<QWidget *>(strip->compressor),
                           static_cast<QWidget *>(strip->rx_equalizer),
                           static_cast<QWidget *>(strip->tx_equalizer)})
            if (w)
                windows.push_back(w);
    }
    return windows;
}

void ZARNMainWindow::handle_watchdog() {
    if (!watch.poll(fd, device_path)) {
        set_link(watch.link());
        show_waiting(); // the back-off counts down
        return;
    }
    if (watch.take_refresh()) {
        refresh_all();
        // Its check reads a file in a loop of its own: not inside this tick.
        QTimer::singleShot(0, setup_panel, &ZARNSetupPanel::handle_daemon_back);
    }
    set_link(ConnectionWatch::Link::Answering);
    // Wraps instead of overflowing; the meters only compare it for change.
    tick = static_cast<int>(static_cast<unsigned>(tick) + 1u);
    // The meters' and compressors' reads go to the daemon together, in the
    // order the strips would issue them: one round trip instead of up to 256.
    // The live view's reads ride along: each strip's record and filter
    // lengths once a second, a tenth of the strips a tick, and the panels'
    // records once a second too.
    // A strip in view is read whole; one out of view whose routes the
    // diagram shows in view only its record; one that came into sight
    // since the last look at once.
    const int slice = static_cast<int>(static_cast<unsigned>(tick) % unsigned{LIVE_SLICES});
    std::vector<zarn::BatchedRequest> &batch = connection->batch;
    batch.clear();
    const QRect diagram = diagram_in_view();
    ZARNController *queued[MAX_STRIPS];
    int queued_count = 0;
    begin_look();
    for (int i = 0; i < MAX_STRIPS; ++i) {
        ZARNController *strip = strips[i];
        if (!strip)
            continue;
        const Sight sight = strip_in_view(strip, diagram);
        strip->queue_level_requests(batch, sight == Sight::whole);
        if (came_into_sight(strip, sight) || (i % LIVE_SLICES == slice && sight != Sight::none)) {
            strip->queue_refresh(batch, sight == Sight::whole);
            queued[queued_count++] = strip;
        }
    }
    end_look();
    const bool panels = slice == LIVE_SLICES - 1;
    std::int32_t rate = 0;
    int rate_result = -1;
    if (panels) {
        record_status->queue_refresh(batch);
        sys_info->queue_refresh(batch);
        batch.push_back({zarn::REQ_SAMPLE_RATE_GET, &rate, &rate_result});
    }
    delay_locator->queue_refresh(batch);
    zarn::ctl_request_batch(fd, batch.data(), static_cast<int>(batch.size()));
    bool routes = false;
    for (int i = 0; i < queued_count; ++i)
        routes = queued[i]->take_refresh() || routes;
    if (routes)
        connect_panel->refresh_routes();
    if (panels) {
        record_status->take_refresh();
        sys_info->take_refresh();
        for (QWidget *window : strip_windows()) {
            if (auto *eq = qobject_cast<ZARNEqualizer *>(window); eq && rate_result == 0)
                eq->follow_rate(rate);
        }
    }
    for (ZARNController *strip : strips) {
        if (strip)
            strip->refresh_levels();
    }
    delay_locator->take_refresh();
    // Targets that come and go are looked for every 2 s, in one exchange
    // while nothing changed.
    if (static_cast<unsigned>(tick) % unsigned{2 * LIVE_SLICES} == 0 &&
        zarn::targets_changed(fd, all_targets, COUNT_LIMIT))
        look_for_targets();
}

void ZARNMainWindow::place_bars() {
    if (!message_bar || !status_line)
        return;
    const int top = message_bar->isHidden() ? 0 : message_bar->sizeHint().height();
    const int bottom = status_line->isHidden() ? 0 : status_line->sizeHint().height();
    const int moved = top - viewportMargins().top();
    const int heights[] = {top, bottom};
    for (std::size_t i = 0; i < std::size(bar_pads); ++i) {
        bar_pads[i]->setFixedHeight(heights[i]);
        bar_pads[i]->setVisible(heights[i] > 0);
    }
    setViewportMargins(0, top, 0, bottom);
    const QRect shown = viewport()->geometry();
    // Over the scroll bar's column too, where the pads keep the room free.
    const int width = contentsRect().right() + 1 - shown.left();
    message_bar->setGeometry(shown.left(), shown.top() - top, width, top);
    message_bar->raise();
    status_line->setGeometry(shown.left(), shown.bottom() + 1, width, bottom);
    status_line->raise();
    // The view gave its top to the bar: the content goes up with it, so what
    // was under the pointer stays there.
    if (moved != 0)
        verticalScrollBar()->setValue(verticalScrollBar()->value() + moved);
}

void ZARNMainWindow::resizeEvent(QResizeEvent *event) {
    QScrollArea::resizeEvent(event);
    place_bars();
    flow_strips(true);
    catch_up_view();
}

QRect ZARNMainWindow::shown_part(const QWidget *widget) const {
    if (!widget || !widget->isVisible())
        return QRect();
    const QWidget *view = viewport();
    QPoint offset;
    for (const QWidget *w = widget; w != view; w = w->parentWidget()) {
        if (!w || w->isWindow())
            return QRect();
        offset += w->pos();
    }
    return (QRect(offset, widget->size()) & view->rect()).translated(-offset);
}

QRect ZARNMainWindow::diagram_in_view() const {
    return shown_part(connect_panel);
}

ZARNMainWindow::Sight ZARNMainWindow::strip_in_view(const ZARNController *strip,
                                                    const QRect &diagram) const {
    // Out of sight, in the tray, the window keeps every record current: the
    // tray follows its target from them.
    if (!isVisible() || isMinimized())
        return Sight::whole;
    if (!shown_part(strip).isEmpty())
        return Sight::whole;
    return connect_panel && connect_panel->routes_reach(strip, diagram) ? Sight::routes
                                                                        : Sight::none;
}

void ZARNMainWindow::begin_look() {
    std::sort(strips_seen.begin(), strips_seen.end());
    std::sort(routes_seen.begin(), routes_seen.end());
    seen_whole_now.clear();
    seen_routes_now.clear();
}

bool ZARNMainWindow::came_into_sight(const ZARNController *strip, Sight sight) {
    if (sight == Sight::none)
        return false;
    const bool was_whole = std::binary_search(strips_seen.begin(), strips_seen.end(), strip);
    if (sight == Sight::whole) {
        seen_whole_now.push_back(strip);
        return !was_whole;
    }
    seen_routes_now.push_back(strip);
    return !was_whole && !std::binary_search(routes_seen.begin(), routes_seen.end(), strip);
}

void ZARNMainWindow::end_look() {
    strips_seen.swap(seen_whole_now);
    routes_seen.swap(seen_routes_now);
}

void ZARNMainWindow::catch_up_view() {
    // A window being shown is resized before its strips are: what they read
    // as they were made still counts until they can be seen.
    if (!strip_grid || !static_cast<QWidget *>(strip_grid)->isVisible())
        return;
    const QRect diagram = diagram_in_view();
    ZARNController *fresh[MAX_STRIPS];
    bool whole[MAX_STRIPS];
    int count = 0;
    begin_look();
    for (ZARNController *strip : strips) {
        if (!strip)
            continue;
        const Sight sight = strip_in_view(strip, diagram);
        if (came_into_sight(strip, sight)) {
            whole[count] = sight == Sight::whole;
            fresh[count++] = strip;
        }
    }
    end_look();
    // While the daemon is away nothing is read; its return reads everything.
    if (count == 0 || fd < 0 || link != ConnectionWatch::Link::Answering)
        return;
    std::vector<zarn::BatchedRequest> batch;
    for (int i = 0; i < count; ++i)
        fresh[i]->queue_refresh(batch, whole[i]);
    zarn::ctl_request_batch(fd, batch.data(), static_cast<int>(batch.size()));
    bool routes = false;
    for (int i = 0; i < count; ++i)
        routes = fresh[i]->take_refresh() || routes;
    if (routes && connect_panel)
        connect_panel->refresh_routes();
}

void ZARNMainWindow::closeEvent(QCloseEvent *event) {
    // Without the main window there is no way back to the equalizer and
    // compressor windows, so the program ends with it. Where they all were is
    // kept for the next start.
    watchdog_timer->stop();
    zarn::window_places::save(*this);
    for (QWidget *w : strip_windows())
        w->close();
    QScrollArea::closeEvent(event);
}
