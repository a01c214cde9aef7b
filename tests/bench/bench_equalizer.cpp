// SPDX-License-Identifier: BSD-2-Clause
// Times the equalizer at the longest filter (65536 taps) against the
// in-process simulated daemon:
// - start-up to the first watchdog tick with 128 strips whose 256 equalizer
//   windows hold active, dense filters, next to the time the daemon takes to
//   deliver those filters and the time their plots would take to evaluate
//   (which start-up paid before the plots were evaluated on first paint);
// - the first "Apply filter" in a new process, without and with FFTW wisdom
//   kept from an earlier run (each in a child process of its own): how long
//   the window is frozen, the longest turn of the event loop while the shown
//   plot evaluates, and when the plot is complete;
// - the large view's share alone for a dense filter, in a new process
//   without FFTW wisdom: the longest turn of the event loop it causes and
//   when its curve is complete;
// - later applies, the plot's evaluation and its repaint.
// Prints its figures.
#include <QApplication>
#include <QElapsedTimer>
#include <QImage>
#include <QProcess>
#include <QPushButton>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>
#include <algorithm>
#include <cmath>
#include <cstdio>
#include <ctime>
#include <vector>

#include "app/zarn_main_window.h"
#include "compressor/zarn_compressor.h"
#include "ctl/filter_record.h"
#include "ctl/requests.h"
#include "ctl/transport.h"
#include "eq/wisdom_cache.h"
#include "eq/zarn_button.h"
#include "eq/zarn_button_map.h"
#include "eq/zarn_eq_buttons.h"
#include "eq/zarn_eq_editor.h"
#include "eq/zarn_eq_freq_response.h"
#include "eq/zarn_eq_response_view.h"
#include "eq/zarn_equalizer.h"
#include "strip/zarn_controller.h"
#include "support/test_daemon.h"
#include "timing.h"
#include <QPainter>

using bench::median;
using bench::ms;
using bench::time_runs;

namespace {

constexpr int LENGTH = 65536;

void print(const char *what, const std::vector<double> &t) {
    std::printf("%-52s median %9.3f ms  min %9.3f ms  max %9.3f ms  (%zu runs)\n", what, median(t),
                *std::min_element(t.begin(), t.end()), *std::max_element(t.begin(), t.end()),
                t.size());
}

// CPU time of the calling thread: what a turn costs, whatever else the
// machine runs meanwhile.
double thread_cpu_ms() {
    timespec t{};
    clock_gettime(CLOCK_THREAD_CPUTIME_ID, &t);
    return static_cast<double>(t.tv_sec) * 1e3 + static_cast<double>(t.tv_nsec) / 1e6;
}

void print_load() {
    if (FILE *load = std::fopen("/proc/loadavg", "r")) {
        char line[128] = {};
        if (std::fgets(line, sizeof line, load))
            std::printf("load average: %s", line);
        std::fclose(load);
    }
}

// 64 devices of 2 channels, every filter in force, dense: no zero tap.
void start_up_with_filters() {
    zarn::sim::Topology topology = zarn::sim::devices_only(std::vector<int>(64, 2));
    topology.filter_length = LENGTH;
    zarn::sim::TestDaemon daemon(topology);
    std::vector<double> dense(LENGTH);
    for (int k = 0; k < LENGTH; ++k)
        dense[k] = std::cos(0.001 * k * k) / (1.0 + k) + 1e-9;
    daemon.with_engine([&](zarn::sim::Engine &e) {
        for (auto &device : e.devices)
            for (auto &channel : device.channels)
                for (zarn::sim::Filter *f : {&channel.rx_filter, &channel.tx_filter})
                    *f = zarn::sim::Filter{LENGTH, true, dense};
    });

    // The daemon's share: the length queries and fetches of all 256 windows.
    const int fd = zarn::ctl_open(daemon.path());
    std::vector<double> fetched(LENGTH);
    QElapsedTimer clock;
    clock.start();
    int delivered = 0;
    for (int number = 0; number < 64; ++number)
        for (int channel = 0; channel < 2; ++channel)
            for (std::uint32_t code : {zarn::REQ_DEV_RX_FILTER_GET, zarn::REQ_DEV_TX_FILTER_GET}) {
                zarn::FilterRecord query{};
                query.number = number;
                query.channel = channel;
                zarn::ctl_request(fd, code, &query);
                zarn::FilterRecord fetch = query;
                fetch.size = LENGTH;
                fetch.coefficients = reinterpret_cast<std::uintptr_t>(fetched.data());
                delivered += zarn::ctl_request(fd, code, &fetch) == 0;
            }
    const double delivery = ms(clock.nsecsElapsed());
    zarn::ctl_close(fd);

    clock.start();
    auto *w = new ZARNMainWindow(daemon.path());
    const double built = ms(clock.nsecsElapsed());
    w->show();
    if (!QTest::qWaitForWindowExposed(w))
        std::printf("window not exposed\n");
    QApplication::processEvents();
    w->watchdog_timer->stop();
    w->handle_watchdog();
    const double ticked = ms(clock.nsecsElapsed());

    std::vector<ZARNEqualizer *> equalizers;
    for (ZARNController *s : w->strips)
        if (s)
            for (ZARNEqualizer *e : {s->rx_equalizer, s->tx_equalizer})
                if (e && e->coefficients)
                    equalizers.push_back(e);
    std::printf("start-up, 128 strips, %zu windows holding active dense %d-tap filters "
                "(%d delivered alone)\n",
                equalizers.size(), LENGTH, delivered);
    std::printf("  daemon delivering the 256 filters alone (length query and fetch): %.1f ms\n",
                delivery);
    std::printf("  after:  constructed in %.1f ms, first tick done at %.1f ms "
                "(target: 1000 ms plus the delivery)\n",
                built, ticked);

    // What construction did besides before: evaluate every plot.
    QImage image(ZARNEQFreqResponse::PLOT_WIDTH, ZARNEQFreqResponse::PLOT_HEIGHT,
                 QImage::Format_ARGB32);
    clock.start();
    for (ZARNEqualizer *e : equalizers)
        e->freq_response->draw(&image);
    const double evaluated = ms(clock.nsecsElapsed());
    std::printf("  before: the same plus every plot evaluated at construction: %.1f ms more, "
                "%.1f ms in all\n",
                evaluated, ticked + evaluated);
    zarn::ctl_close(w->fd);
    w->fd = -1;
    delete w;
}

// One device with a filter of LENGTH taps, a main window on it without its
// watchdog, and one equalizer window of channel 0's transmit side.
struct OneWindow {
    OneWindow() : daemon(topology()), window(new ZARNMainWindow(daemon.path())) {
        window->watchdog_timer->stop();
        eq = new ZARNEqualizer(window, zarn::KIND_DEVICE, 0, 0);
    }
    ~OneWindow() {
        delete eq;
        zarn::ctl_close(window->fd);
        window->fd = -1;
        delete window;
    }
    OneWindow(const OneWindow &) = delete;
    OneWindow &operator=(const OneWindow &) = delete;
    static zarn::sim::Topology topology() {
        zarn::sim::Topology t = zarn::sim::devices_only({1});
        t.filter_length = LENGTH;
        return t;
    }
    zarn::sim::TestDaemon daemon;
    ZARNMainWindow *window;
    ZARNEqualizer *eq;
};

// In a process of its own: the first apply of a preset, with whatever wisdom
// the cache folder holds, and the event loop running on until the shown plot
// is complete. Prints, in ms: the apply itself, the first turn of the loop
// done (the window answers input again), the longest turn, the plot
// complete, the number of turns, and the evaluation done at once in one
// paint, as before the plot evaluated in slices.
int first_apply_child(bool dense) {
    zarn::keep_wisdom_in_cache();
    OneWindow one;
    ZARNEqualizer *eq = one.eq;
    eq->show();
    if (!QTest::qWaitForWindowExposed(eq))
        return 1;
    eq->freq_response->repaint();
    (dense ? eq->presets->lowpass_button : eq->presets->defaults_button)->click();
    QElapsedTimer clock;
    clock.start();
    eq->state_map->buttons[1]->click();
    const double applied = ms(clock.nsecsElapsed());
    double responsive = -1, longest = 0;
    int turns = 0;
    while (eq->freq_response->is_stale() && turns < 100000) {
        const qint64 start = clock.nsecsElapsed();
        QCoreApplication::processEvents();
        const qint64 end = clock.nsecsElapsed();
        longest = std::max(longest, ms(end - start));
        if (turns++ == 0)
            responsive = ms(end);
    }
    const double complete = ms(clock.nsecsElapsed());
    if (eq->coefficients == nullptr || one.daemon.count(zarn::REQ_DEV_TX_FILTER_SET) != 1 ||
        eq->freq_response->is_stale())
        return 1;
    // As before: the whole evaluation in the first paint.
    QImage image(ZARNEQFreqResponse::PLOT_WIDTH, ZARNEQFreqResponse::PLOT_HEIGHT,
                 QImage::Format_ARGB32);
    clock.start();
    eq->freq_response->refresh();
    eq->freq_response->draw(&image);
    const double at_once = ms(clock.nsecsElapsed());
    std::printf("%.3f %.3f %.3f %.3f %d %.3f\n", applied, responsive, longest, complete, turns,
                at_once);
    return 0;
}

// In a process of its own, FFTW untouched and without wisdom: a shown window
// whose daemon then holds a dense filter, the small plot complete at once, so
// that the turns of the event loop measured are the large view's. With
// at_once the view evaluates in one call instead, as it did in its first
// paint before. Prints, in ms: the longest turn, the curve complete, the
// number of turns.
int large_view_child(bool at_once) {
    OneWindow one;
    ZARNEqualizer *eq = one.eq;
    eq->resize(900, 700);
    eq->show();
    if (!QTest::qWaitForWindowExposed(eq))
        return 1;
    // Settled without a filter: nothing left to evaluate.
    for (int i = 0; i < 20 || eq->response_view->is_stale(); ++i)
        QCoreApplication::processEvents();
    std::vector<double> dense(LENGTH);
    for (int k = 0; k < LENGTH; ++k)
        dense[k] = std::cos(0.001 * k * k) / (1.0 + k) + 1e-9;
    one.daemon.with_engine([&](zarn::sim::Engine &e) {
        e.devices[0].channels[0].tx_filter = zarn::sim::Filter{LENGTH, true, dense};
    });
    eq->read_filter();
    QImage image(ZARNEQFreqResponse::PLOT_WIDTH, ZARNEQFreqResponse::PLOT_HEIGHT,
                 QImage::Format_ARGB32);
    eq->freq_response->draw(&image);
    if (eq->coefficients == nullptr || !eq->response_view->is_stale())
        return 1;
    QElapsedTimer clock;
    clock.start();
    double longest = 0, longest_cpu = 0;
    int turns = 0;
    const auto timed = [&](auto &&work) {
        const qint64 start = clock.nsecsElapsed();
        const double cpu = thread_cpu_ms();
        work();
        longest = std::max(longest, ms(clock.nsecsElapsed() - start));
        longest_cpu = std::max(longest_cpu, thread_cpu_ms() - cpu);
        ++turns;
    };
    if (at_once)
        timed([eq] { eq->response_view->curve(); });
    while (eq->response_view->is_stale() && turns < 100000)
        timed([] { QCoreApplication::processEvents(); });
    // The turn that paints the new curve.
    timed([] { QCoreApplication::processEvents(); });
    const double complete = ms(clock.nsecsElapsed());
    if (eq->response_view->curve().db.size() != std::size_t{ZARNEQResponseView::POINTS})
        return 1;
    std::printf("%.3f %.3f %.3f %d\n", longest, longest_cpu, complete, turns);
    return 0;
}

void large_view_in_new_processes(const QString &program) {
    QTemporaryDir cache;
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.insert(QStringLiteral("XDG_CACHE_HOME"), cache.path());
    std::printf("large view alone, dense %d-tap filter, each run a new process without FFTW "
                "wisdom (targets: no turn over 20 ms, curve complete within 300 ms)\n",
                LENGTH);
    for (const bool at_once : {false, true}) {
        std::vector<double> longest, cpu, complete;
        int turns = 0;
        for (int run = 0; run < 7; ++run) {
            QProcess child;
            child.setProcessEnvironment(env);
            child.start(program, {QStringLiteral("--large-view"),
                                  at_once ? QStringLiteral("at-once") : QStringLiteral("steps")});
            double l = -1, u = -1, c = -1;
            if (child.waitForFinished(60000) && child.exitCode() == 0 &&
                std::sscanf(child.readAllStandardOutput().constData(), "%lf %lf %lf %d", &l, &u, &c,
                            &turns) == 4) {
                longest.push_back(l);
                cpu.push_back(u);
                complete.push_back(c);
            }
        }
        if (longest.empty()) {
            std::printf("  %s: no run finished\n", at_once ? "before" : "after");
            continue;
        }
        std::printf("  %s\n    longest turn median %6.2f ms, max %6.2f ms (its own CPU time: "
                    "median %5.2f ms, max %5.2f ms); curve complete and painted median %6.2f ms, "
                    "max %6.2f ms (%zu runs, %d turns)\n",
                    at_once ? "before, evaluated at once as in its first paint:"
                            : "after, in steps on a zero timer:",
                    median(longest), bench::worst(longest), median(cpu), bench::worst(cpu),
                    median(complete), bench::worst(complete), longest.size(), turns);
    }
}

void first_apply_in_new_processes(const QString &program, const QString &preset) {
    QTemporaryDir cache;
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.insert(QStringLiteral("XDG_CACHE_HOME"), cache.path());
    const char *runs[] = {"no wisdom kept (FFTW measures)", "wisdom kept by the run above"};
    for (const char *run : runs) {
        QProcess child;
        child.setProcessEnvironment(env);
        child.start(program, {QStringLiteral("--first-apply"), preset});
        double applied = -1, responsive = -1, longest = -1, complete = -1, at_once = -1;
        int turns = 0;
        if (child.waitForFinished(60000) && child.exitCode() == 0)
            std::sscanf(child.readAllStandardOutput().constData(), "%lf %lf %lf %lf %d %lf",
                        &applied, &responsive, &longest, &complete, &turns, &at_once);
        std::printf("  %s:\n", run);
        std::printf("    after:  window answers again at %7.1f ms (apply %.1f ms); longest "
                    "turn %.1f ms; plot complete at %.1f ms after %d turns\n",
                    responsive, applied, longest, complete, turns);
        std::printf("    before: window frozen for    %7.1f ms (apply, then the plot evaluated "
                    "in its first paint: %.1f ms)\n",
                    applied + at_once, at_once);
    }
}

} // namespace

int main(int argc, char **argv) {
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    if (argc > 2 && qstrcmp(argv[1], "--first-apply") == 0)
        return first_apply_child(qstrcmp(argv[2], "lowpass") == 0);
    if (argc > 2 && qstrcmp(argv[1], "--large-view") == 0)
        return large_view_child(qstrcmp(argv[2], "at-once") == 0);

    print_load();
    start_up_with_filters();
    std::printf("first Apply at %d taps in a new process, the plot shown (target: the window "
                "frozen at most 150 ms with wisdom)\n",
                LENGTH);
    std::printf(" of Defaults (a pure delay: the plot skips its zero taps):\n");
    first_apply_in_new_processes(QCoreApplication::applicationFilePath(),
                                 QStringLiteral("defaults"));
    std::printf(" of Lowpass (dense: 256 x 65536 sines and cosines for the plot):\n");
    first_apply_in_new_processes(QCoreApplication::applicationFilePath(),
                                 QStringLiteral("lowpass"));
    large_view_in_new_processes(QCoreApplication::applicationFilePath());

    OneWindow one;
    ZARNEqualizer *eq = one.eq;
    if (eq->filter_length != LENGTH || eq->sample_rate <= 0) {
        std::fprintf(stderr, "the daemon did not offer a filter of %d taps\n", LENGTH);
        return 1;
    }
    eq->presets->defaults_button->click();
    eq->state_map->buttons[1]->click();
    print("later Apply of Defaults (plot not shown)",
          time_runs(10, [&] { eq->editor->apply_button->click(); }));

    // A filter that is not flat, so the curve has every column to fill.
    eq->presets->lowpass_button->click();
    eq->editor->apply_button->click();
    QImage image(256, 128, QImage::Format_ARGB32);
    print("plot evaluation and paint (256 x N, into an image)", time_runs(10, [&] {
              eq->freq_response->refresh();
              eq->freq_response->draw(&image);
          }));
    print("repaint of the plot, unchanged (into an image)",
          time_runs(200, [&] { eq->freq_response->draw(&image); }));
    // The large view: one FFT of the taps, on the GUI thread, in one turn.
    QElapsedTimer first;
    first.start();
    eq->response_view->refresh();
    const std::size_t points = eq->response_view->curve().db.size();
    std::printf("large view, first evaluation in this process (%zu points): %.3f ms\n", points,
                static_cast<double>(first.nsecsElapsed()) / 1e6);
    QImage large(900, 400, QImage::Format_ARGB32);
    print("large view evaluation and paint (900 x 400 image)", time_runs(20, [&] {
              eq->response_view->refresh();
              QPainter painter(&large);
              ZARNEQResponseView::paint(painter, large.size(), eq->response_view->curve(),
                                        QString());
          }));
    print("large view repaint, unchanged (900 x 400 image)", time_runs(50, [&] {
              QPainter painter(&large);
              ZARNEQResponseView::paint(painter, large.size(), eq->response_view->curve(),
                                        QString());
          }));
    eq->show();
    if (!QTest::qWaitForWindowExposed(eq))
        std::fprintf(stderr, "the equalizer window was not exposed\n");
    print("repaint of the plot, unchanged (widget repaint)",
          time_runs(200, [&] { eq->freq_response->repaint(); }));

    return 0;
}
