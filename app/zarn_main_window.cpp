// SPDX-License-Identifier: BSD-2-Clause

#include "app/zarn_main_window.h"

#include <QCloseEvent>
#include <QIcon>
#include <QTimer>
#include <algorithm>
#include <iterator>
#include <vector>

#include "app/zarn_grid_layout.h"
#include "compressor/zarn_compressor.h"
#include "ctl/catalogue.h"
#include "ctl/discovery.h"
#include "ctl/transport.h"
#include "eq/zarn_equalizer.h"
#include "panels/zarn_add_options.h"
#include "panels/zarn_audio_delay_locator.h"
#include "panels/zarn_record_status.h"
#include "panels/zarn_sys_info_options.h"
#include "routing/zarn_connect.h"
#include "strip/zarn_controller.h"

ZARNMainWindow::ZARNMainWindow(const char *device_path)
    : QScrollArea(nullptr), eq_copy_source(nullptr), compressor_copy_source(nullptr),
      strip_grid(nullptr), main_grid(nullptr), strips{}, connect_panel(nullptr),
      delay_locator(nullptr), record_status(nullptr), add_options(nullptr), sys_info(nullptr),
      watchdog_timer(nullptr), device_path(device_path), fd(-1), tick(0),
      link(ConnectionWatch::Link::Answering) {
    fd = zarn::ctl_open(device_path);

    strip_grid = new ZARNGridLayout();

    discover();

    connect_panel = new ZARNConnect(this);
    delay_locator = new ZARNAudioDelayLocator(this);
    record_status = new ZARNRecordStatus(this);
    add_options = new ZARNAddOptions(this);
    sys_info = new ZARNSysInfoOptions(this);

    watchdog_timer = new QTimer(this);
    connect(watchdog_timer, &QTimer::timeout, this, &ZARNMainWindow::handle_watchdog);

    main_grid = new ZARNGridLayout();
    main_grid->addWidget(connect_panel, 0, 0, 1, 1);
    main_grid->addWidget(static_cast<QWidget *>(strip_grid), 1, 0, 1, 1);
    main_grid->addWidget(delay_locator, 2, 0, 1, 1);
    main_grid->addWidget(record_status, 3, 0, 1, 1);
    main_grid->addWidget(add_options, 4, 0, 1, 1);
    main_grid->addWidget(sys_info, 5, 0, 1, 1);

    setWindowTitle(QStringLiteral("Zarnmix Control"));
    setWindowIcon(QIcon(QStringLiteral(":/zarnmix_ctl.png")));

    setWidget(static_cast<QWidget *>(main_grid));

    // Nothing found at start is looked for again once the daemon answers.
    if (strips[0] == nullptr)
        watch.want_refresh();
    if (fd < 0)
        set_link(ConnectionWatch::Link::NotConnected);

    watchdog_timer->start(100);
}

// The program never deletes its window, but tests do. Strips, panels and the
// windows they own reach back into these fields while they are destroyed, so
// they go while the window is still whole rather than in the base destructor.
ZARNMainWindow::~ZARNMainWindow() {
    watchdog_timer->stop();
    delete takeWidget();
    strip_grid = nullptr;
    main_grid = nullptr;
    std::fill(std::begin(strips), std::end(strips), nullptr);
    connect_panel = nullptr;
    delay_locator = nullptr;
    record_status = nullptr;
    add_options = nullptr;
    sys_info = nullptr;
}

void ZARNMainWindow::discover() {
    int count = 0;
    zarn::discover_targets(fd, MAX_STRIPS, [this, &count](const zarn::Target &target) {
        strips[count] = new ZARNController(this, target.kind, target.channel, target.number);
        strip_grid->addWidget(strips[count], count, 0, 1, 1);
        ++count;
    });
    for (int i = count; i < MAX_STRIPS; ++i)
        strips[i] = nullptr;
}

void ZARNMainWindow::build_strips() {
    discover();
    if (strips[0] == nullptr)
        return;
    // The diagram's rows come from the strip table, so it is built anew.
    main_grid->removeWidget(connect_panel);
    delete connect_panel;
    connect_panel = new ZARNConnect(this);
    main_grid->addWidget(connect_panel, 0, 0, 1, 1);
    static_cast<QWidget *>(main_grid)->adjustSize();
}

void ZARNMainWindow::refresh_all() {
    if (strips[0] == nullptr) {
        build_strips();
    } else {
        for (ZARNController *strip : strips) {
            if (strip)
                strip->refresh();
        }
        connect_panel->refresh_routes();
    }
    delay_locator->refresh_range();
    record_status->refresh();
    sys_info->refresh();
}

void ZARNMainWindow::set_link(ConnectionWatch::Link state) {
    if (state == link)
        return;
    link = state;
    QString title = QStringLiteral("Zarnmix Control");
    if (state == ConnectionWatch::Link::NotConnected)
        title += QStringLiteral(" - not connected (%1)").arg(QString::fromLocal8Bit(device_path));
    else if (state == ConnectionWatch::Link::NotAnswering)
        title += QStringLiteral(" - daemon not answering");
    setWindowTitle(title);

    // Greyed rather than hidden: the last values stay readable, and nothing
    // can be changed that could not be sent.
    const bool enabled = state == ConnectionWatch::Link::Answering;
    for (QWidget *w : {static_cast<QWidget *>(strip_grid), static_cast<QWidget *>(connect_panel),
                       static_cast<QWidget *>(delay_locator), static_cast<QWidget *>(record_status),
                       static_cast<QWidget *>(add_options), static_cast<QWidget *>(sys_info)})
        w->setEnabled(enabled);
    for (QWidget *w : strip_windows())
        w->setEnabled(enabled);
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
        return;
    }
    if (watch.take_refresh())
        refresh_all();
    set_link(ConnectionWatch::Link::Answering);
    // Wraps instead of overflowing; the meters only compare it for change.
    tick = static_cast<int>(static_cast<unsigned>(tick) + 1u);
    // The meters' and compressors' reads go to the daemon together, in the
    // order the strips would issue them: one round trip instead of up to 256.
    std::vector<zarn::BatchedRequest> batch;
    for (ZARNController *strip : strips) {
        if (strip)
            strip->queue_level_requests(batch);
    }
    zarn::ctl_request_batch(fd, batch.data(), static_cast<int>(batch.size()));
    for (ZARNController *strip : strips) {
        if (strip)
            strip->refresh_levels();
    }
    delay_locator->refresh();
}

void ZARNMainWindow::closeEvent(QCloseEvent *event) {
    // The equalizer and compressor windows have no parent; without the main
    // window there is no way back to them, so the program ends with it.
    watchdog_timer->stop();
    for (QWidget *w : strip_windows())
        w->close();
    QScrollArea::closeEvent(event);
}
