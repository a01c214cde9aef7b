// SPDX-License-Identifier: BSD-2-Clause

#pragma once

#include <QScrollArea>
#include <vector>

#include "app/connection_watch.h"
#include "app/zarn_connection.h"
#include "ctl/discovery.h"
#include "ctl/strip_kind.h"

class QLabel;
class QLineEdit;
class QPushButton;
class QTimer;
class ZARNAudioDelayLocator;
class ZARNAddOptions;
class ZARNCompressor;
class ZARNConnect;
class ZARNController;
class ZARNEqualizer;
class ZARNFold;
class ZARNGridLayout;
class ZARNRecordStatus;
class ZARNSetupPanel;
class ZARNStatusLine;
class ZARNSysInfoOptions;

constexpr int MAX_STRIPS = zarn::MAX_TARGETS;

// The targets that get a strip when the daemon offers more than MAX_STRIPS:
// the main output and input always, the others in discovery order.
std::vector<zarn::Target> targets_shown_of(const std::vector<zarn::Target> &all);

// The one main window: discovers the daemon's targets, owns every strip and
// panel, and holds the fields through which they find each other.
class ZARNMainWindow : public QScrollArea {
    Q_OBJECT

public:
    // device_path is kept by reference, not copied.
    explicit ZARNMainWindow(const char *device_path);
    ~ZARNMainWindow() override;
    // The room the message bar and the status line take beside the view.
    QMargins bar_margins() const { return viewportMargins(); }

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
    // Along the top: what is wrong with the link to the daemon. Along the
    // bottom: what saving and loading did. Both in view however far the
    // window is scrolled.
    QWidget *message_bar;
    ZARNStatusLine *status_line;
    // Room kept beside the two bars in the scroll bar's column, so that the
    // bars run the window's whole width and the scroll bar only beside the
    // view it scrolls.
    QWidget *bar_pads[2];
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

    // The strips' own windows: compressors and equalizers.
    std::vector<QWidget *> strip_windows() const;

public slots:
    void handle_watchdog();

protected:
    void closeEvent(QCloseEvent *event) override;
    bool eventFilter(QObject *watched, QEvent *event) override;
    void resizeEvent(QResizeEvent *event) override;

private:
    void set_link(ConnectionWatch::Link state);
    // The title, and the status line at rest, say how the link stands and,
    // through a socket, which one the window controls.
    void show_link();
    // The message bar takes the top of the window and the status line its
    // bottom while they are shown. Both lie outside what scrolls, and the
    // view scrolls by the bar's height as it comes or goes, so nothing
    // under the pointer moves.
    void place_bars();

    void discover();
    std::vector<zarn::Target> shown_targets() const;
    // Says in the message bar when the daemon offers more targets than get
    // a strip, and which kinds were left out.
    void show_limit();
    // Every target the daemon offers, up to a bound far above the strips.
    std::vector<zarn::Target> all_targets;
    void rebuild_strips(const std::vector<zarn::Target> &found);
    // How much of a strip the user can see: the strip itself, or only the
    // diagram's routes drawn from its record, or nothing of it.
    enum class Sight { none, routes, whole };
    // diagram is the part of the diagram in view, from diagram_in_view().
    Sight strip_in_view(const ZARNController *strip, const QRect &diagram) const;
    QRect diagram_in_view() const;
    // The part of a widget inside the viewport, in its own pixels; empty
    // while it is hidden. Cheaper than visibleRegion(), as the tick asks it
    // of every strip.
    QRect shown_part(const QWidget *widget) const;
    // Strips that came into view since the last look are read again before
    // they are painted, as the live view skips those out of view.
    void catch_up_view();
    // Notes what shows of the strip in this look; true when more of it
    // shows than at the last look, so it is to be read now. Between
    // begin_look() and end_look().
    bool came_into_sight(const ZARNController *strip, Sight sight);
    void begin_look();
    void end_look();
    // Those seen whole, and those seen only by their routes, at the last
    // look; sorted at the start of a look.
    std::vector<const ZARNController *> strips_seen;
    std::vector<const ZARNController *> routes_seen;
    std::vector<const ZARNController *> seen_whole_now, seen_routes_now;
    // Tab goes strip by strip, each row by row.
    void order_tabs();
    // The message bar's line while the daemon is away, hung or offers no
    // target; hidden otherwise.
    void show_waiting();
    // Its button: the daemon, or its targets, looked for at once.
    void try_now();
    QWidget *link_line;
    QLabel *waiting_label;
    QPushButton *try_button;
    QLabel *limit_label;
    // Ctrl+F: only the strips whose title holds the text are shown; Escape
    // clears it and puts the field away.
    QLineEdit *strip_filter;
    void find_strips();
    void apply_filter();
    bool strip_matches(const ZARNController *strip) const;

    // The diagram's header first, then those of the panels below the strips.
    std::vector<ZARNFold *> folds;
    // The diagram draws from every strip: unfolded, it shows them read anew.
    void diagram_unfolded();
    // The strips shown, in discovery order along each row of as many
    // columns as the view holds; with keep_place, the strip at the top of
    // the view stays where it was on the screen.
    void flow_strips(bool keep_place);

    ConnectionWatch watch;
};
