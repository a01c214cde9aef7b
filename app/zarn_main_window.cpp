#include "app/zarn_main_window.h"

#include <QIcon>
#include <QTimer>
#include <algorithm>
#include <cstring>
#include <iterator>

#include "app/zarn_grid_layout.h"
#include "ctl/requests.h"
#include "ctl/transport.h"
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
      watchdog_timer(nullptr), device_path(device_path), fd(-1), tick(0) {
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

bool ZARNMainWindow::probe(int kind, int index, int channel) {
    zarn::TargetPeak target;
    zarn::MonitorPeak monitor;
    std::memset(&target, 0, sizeof target);
    std::memset(&monitor, 0, sizeof monitor);
    void *record = &monitor;
    monitor.index = index;
    if (kind == zarn::KIND_DEVICE || kind == zarn::KIND_LOOP) {
        target.number = index;
        target.channel = channel;
        record = &target;
    }
    return zarn::ctl_request(fd, zarn::peak_request(kind), record) == 0;
}

bool ZARNMainWindow::add_strip(int &count, int kind, int channel, int number) {
    strips[count] = new ZARNController(this, kind, channel, number);
    strip_grid->addWidget(strips[count], count, 0, 1, 1);
    ++count;
    return count < MAX_STRIPS;
}

void ZARNMainWindow::discover() {
    int count = 0;
    for (int kind = zarn::KIND_DEVICE; kind <= zarn::KIND_MAIN_INPUT; ++kind) {
        if (kind == zarn::KIND_DEVICE || kind == zarn::KIND_LOOP) {
            for (int number = 0;; ++number) {
                int channel = 0;
                while (probe(kind, number, channel)) {
                    if (!add_strip(count, kind, channel, number))
                        return;
                    ++channel;
                }
                if (channel == 0)
                    break;
            }
        } else if (kind == zarn::KIND_MAIN_OUTPUT || kind == zarn::KIND_MAIN_INPUT) {
            for (int channel = 0; probe(kind, channel, 0); ++channel) {
                if (!add_strip(count, kind, channel, 0))
                    return;
            }
        } else {
            for (int number = 0; probe(kind, number, 0); ++number) {
                if (!add_strip(count, kind, 0, number))
                    return;
            }
        }
    }
    for (int i = count; i < MAX_STRIPS; ++i)
        strips[i] = nullptr;
}

void ZARNMainWindow::handle_watchdog() {
    if (fd < 0) {
        fd = zarn::ctl_open(device_path);
        if (fd < 0)
            return;
    }
    std::int32_t answer = 0;
    if (zarn::ctl_request(fd, zarn::REQ_PROBE, &answer) != 0) {
        zarn::ctl_close(fd);
        fd = -1;
        return;
    }
    // Wraps instead of overflowing; the meters only compare it for change.
    tick = static_cast<int>(static_cast<unsigned>(tick) + 1u);
    for (ZARNController *strip : strips) {
        if (strip)
            strip->refresh_levels();
    }
    delay_locator->refresh();
}
