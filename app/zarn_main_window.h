#pragma once

#include <QScrollArea>

#include "ctl/strip_kind.h"

class QTimer;
class ZARNAudioDelayLocator;
class ZARNAddOptions;
class ZARNCompressor;
class ZARNConnect;
class ZARNController;
class ZARNEqualizer;
class ZARNGridLayout;
class ZARNRecordStatus;
class ZARNSysInfoOptions;

constexpr int MAX_STRIPS = 128;

// The one main window: discovers the daemon's targets, owns every strip and
// panel, and holds the fields through which they find each other.
class ZARNMainWindow : public QScrollArea {
    Q_OBJECT

public:
    // device_path is kept by reference, not copied.
    explicit ZARNMainWindow(const char *device_path);
    ~ZARNMainWindow() override;

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
    QTimer *watchdog_timer;
    const char *device_path;
    int fd;
    int tick;

public slots:
    void handle_watchdog();

private:
    // Issues the kind's peak request for one target; true when it exists.
    bool probe(int kind, int index, int channel);
    // Puts a new strip in the next table entry and grid row; false once the
    // table is full.
    bool add_strip(int &count, int kind, int channel, int number);
    void discover();
};
