// SPDX-License-Identifier: BSD-2-Clause

#pragma once

#include <QScrollArea>
#include <vector>

#include "app/connection_watch.h"
#include "app/zarn_connection.h"
#include "ctl/discovery.h"
#include "ctl/strip_kind.h"

class QLabel;
class QPushButton;
class QTimer;
class ZARNAudioDelayLocator;
class ZARNAddOptions;
class ZARNCompressor;
class ZARNConnect;
class ZARNController;
class ZARNEqualizer;
class ZARNGridLayout;
class ZARNRecordStatus;
class ZARNSetupPanel;
class ZARNStatusLine;
class ZARNSysInfoOptions;

constexpr int MAX_STRIPS = zarn::MAX_TARGETS;

// The one main window: discovers the daemon's targets, owns every strip and
// panel, and holds the fields through which they find each other.
class ZARNMainWindow : public QScrollArea {
    Q_OBJECT

public:
    // device_path is kept by reference, not copied.
    explicit ZARNMainWindow(const char *device_path);
    ~ZARNMainWindow() override;

    // Handed to the strips and panels; fd, tick and link below are its own.
    ZARNConnection *const connection;

    ZARNEqualizer *eq_copy_source;
    ZARNCompressor *compressor_copy_source;
    ZARNGridLayout *strip_grid;
    ZARNGridLayout *main_grid;
    ZARNController *strips[MAX_STRIPS];
    ZARNConnect *connect_panel;
    ZARNAudioDelayLocator *delay_locator;
    ZARNRecordStatus *record_status;
    ZARNAddOptions *add_options;
    ZARNSysInfoOptions *sys_info;
    ZARNSetupPanel *setup_panel;
    // Along the bottom, in view however far the window is scrolled.
    ZARNStatusLine *status_line;
    QTimer *watchdog_timer;
    const char *device_path;
    int &fd;
    int &tick;

    // How the daemon last answered the watchdog; the title and the enabled
    // state of every control follow it.
    ConnectionWatch::Link &link;

    // Discovers the daemon's targets and, when they differ from the strips,
    // rebuilds the strips, the diagram and the layout in discovery order.
    void look_for_targets();
    // Re-reads everything the window shows from the daemon, without writing;
    // builds the strips when there were none.
    void refresh_all();

public slots:
    void handle_watchdog();

protected:
    void closeEvent(QCloseEvent *event) override;
    void resizeEvent(QResizeEvent *event) override;

private:
    void set_link(ConnectionWatch::Link state);
    // The status line takes the bottom of the window while it is shown; the
    // strips keep their place.
    void place_status_line();
    // The strips' own windows: compressors and equalizers.
    std::vector<QWidget *> strip_windows() const;

    void discover();
    std::vector<zarn::Target> shown_targets() const;
    void rebuild_strips(const std::vector<zarn::Target> &found);
    // Tab goes strip by strip, each row by row.
    void order_tabs();
    // The line above the strips while the daemon is away, hung or offers no
    // target; hidden otherwise.
    void show_waiting();
    // Its button: the daemon, or its targets, looked for at once.
    void try_now();
    QWidget *link_line;
    QLabel *waiting_label;
    QPushButton *try_button;
    int strip_grid_top;

    ConnectionWatch watch;
};
