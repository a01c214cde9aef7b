// SPDX-License-Identifier: BSD-2-Clause

#pragma once

#include <QGridLayout>
#include <QPointer>
#include <QString>
#include <QWidget>

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "ctl/discovery.h"
#include "ctl/filter_record.h"
#include "ctl/strip_kind.h"
#include "ctl/transport.h"

class ZARNButtonMap;
class ZARNConnection;
class ZARNEQButtons;
class ZARNEQClipboard;
class ZARNEQEditor;
class ZARNEQFreqResponse;
class ZARNEQResponseView;
class ZARNEQTextKeeper;
class ZARNMainWindow;
namespace zarn {
struct SpecError;
} // namespace zarn

// The FIR equalizer of one channel of a device or loopback, in one direction.
// A top-level window, created hidden; with an owner (its strip) Qt deletes it
// with the owner.
class ZARNEqualizer : public QWidget {
    Q_OBJECT

public:
    // rx: the window serves the target's receive direction.
    ZARNEqualizer(ZARNMainWindow *main_window, const zarn::Target &target, bool rx,
                  QWidget *owner = nullptr);
    // kind carries EQ_RX_FLAG for the receive direction.
    ZARNEqualizer(ZARNMainWindow *main_window, int kind, int number, int channel)
        : ZARNEqualizer(main_window, zarn::Target{kind & ~zarn::EQ_RX_FLAG, number, channel},
                        (kind & zarn::EQ_RX_FLAG) != 0) {}
    ~ZARNEqualizer() override;

    // The strip's target, and whether this window serves its receive side.
    zarn::Target target() const;
    bool receives() const { return rx; }

    // Reads the sample rate and this channel's filter and sets the state
    // map; false when the daemon could not be asked.
    bool read_filter();
    // The first reads of many windows, in one exchange for the rates and
    // lengths and one for the filters; windows gone meanwhile are skipped.
    static void read_filters(const std::vector<QPointer<ZARNEqualizer>> &windows);
    // After the daemon came back: re-reads now if shown, else when next shown.
    void refresh();
    // Live view: the filter length query goes into the tick's batch; its
    // answer re-reads a filter of a new length, or else fetches the
    // coefficients to follow another client. True when the length changed.
    void queue_refresh(std::vector<zarn::BatchedRequest> &batch);
    bool take_refresh();
    // The daemon's sample rate as the live view last read it: the plot's
    // axis follows it at once; a design asks again anyway.
    void follow_rate(int rate);

    int kind;
    int number;
    int channel;
    int sample_rate;
    int filter_length;
    double *coefficients;
    QGridLayout grid;
    ZARNMainWindow *main_window;
    ZARNConnection *connection;
    ZARNEQFreqResponse *freq_response;
    // The large view below the editor; follows the small plot's refreshes.
    ZARNEQResponseView *response_view = nullptr;
    ZARNButtonMap *state_map;
    ZARNEQButtons *presets;
    ZARNEQEditor *editor;
    ZARNEQClipboard *clipboard;
    // Whether the last read reached the daemon; a window that does not know
    // the daemon's filter reads it before it writes.
    bool filter_known;
    // Re-read when next shown.
    bool stale;
    // The trimmed text that designed the coefficients held, when they were
    // applied from this window; empty otherwise. Export writes it.
    QString applied_text;

    // The informative text of the "Invalid EQ filter specification" box:
    // the line at fault, counted in the editor, and the reason.
    static QString explain(const zarn::SpecError &error, int blank_lines);

public slots:
    void handle_update();
    // "Apply filter": in OFF it switches ON, so that the text is designed
    // and sent rather than the filter dropped once more.
    void handle_apply();
    void handle_copy();
    void handle_paste();

protected:
    void showEvent(QShowEvent *event) override;

private:
    // read_filter in steps, so that many windows can share the exchanges.
    bool begin_read();
    void queue_rate_and_length(std::vector<zarn::BatchedRequest> &batch);
    void take_rate_and_length();
    void queue_fetch(std::vector<zarn::BatchedRequest> &batch);
    void end_read();
    std::int32_t read_rate = 0;
    zarn::FilterRecord read_query{};
    zarn::FilterRecord read_fetch{};
    int read_results[3] = {-1, -1, -1};
    bool read_fetching = false;

    void release_coefficients();
    // Keeps the daemon's filter in force now, and shows it.
    void keep_coefficients(std::unique_ptr<double[]> in_force, bool applied);
    // Designs the trimmed editor text into a new array; null after a
    // message box.
    std::unique_ptr<double[]> design();
    // Reads the daemon's rate and filter length and designs again when they
    // changed; false when nothing can be sent.
    bool design_is_current(std::unique_ptr<double[]> &designed);
    // The state map shows what the daemon has: ON exactly while a filter
    // from it, or accepted by it, is kept.
    void show_state();
    // The title names the window's target once its strip knows the name, so
    // that windows of two devices can be told apart.
public:
    void name_target(const std::string &name);

private:
    QString base_title;
    // Takes the outcome of the live view's fetch of the daemon's
    // coefficients; redraws only when they differ.
    void settle_fetch(bool on);
    // The array the live view's fetch fills, kept while the coefficients
    // stay the same so that a window in view does not allocate one every
    // second.
    std::unique_ptr<double[]> fetched;
    std::size_t fetched_size = 0;
    zarn::FilterRecord refresh_query;
    int refresh_result;
    bool refresh_queued;
    zarn::FilterRecord fetch_query{};
    int fetch_result = -1;
    bool fetch_queued = false;
    std::unique_ptr<ZARNEQTextKeeper> text_keeper;
    bool rx;
};
