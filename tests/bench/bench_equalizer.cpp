// Times the equalizer at the longest filter (65536 taps) against the
// in-process simulated daemon: one repaint of the response plot, and one
// "Apply filter" of the Defaults preset, the first (FFTW measures its plan)
// and later ones (design, send and the plot's re-evaluation). Prints its
// figures.
#include <QApplication>
#include <QElapsedTimer>
#include <QImage>
#include <QPushButton>
#include <QTest>
#include <QTimer>
#include <algorithm>
#include <cstdio>
#include <vector>

#include "app/zarn_main_window.h"
#include "ctl/requests.h"
#include "ctl/transport.h"
#include "eq/zarn_button.h"
#include "eq/zarn_button_map.h"
#include "eq/zarn_eq_buttons.h"
#include "eq/zarn_eq_editor.h"
#include "eq/zarn_eq_freq_response.h"
#include "eq/zarn_equalizer.h"
#include "sim/test_daemon.h"

namespace {

constexpr int LENGTH = 65536;

double median(std::vector<double> v) {
    std::sort(v.begin(), v.end());
    return v[v.size() / 2];
}

double ms(qint64 ns) {
    return ns / 1e6;
}

template <typename F> std::vector<double> time_runs(int runs, F &&f) {
    std::vector<double> times;
    QElapsedTimer clock;
    for (int i = 0; i < runs; ++i) {
        clock.start();
        f();
        times.push_back(ms(clock.nsecsElapsed()));
    }
    return times;
}

void print(const char *what, const std::vector<double> &t) {
    std::printf("%-44s median %9.3f ms  min %9.3f ms  max %9.3f ms  (%zu runs)\n", what, median(t),
                *std::min_element(t.begin(), t.end()), *std::max_element(t.begin(), t.end()),
                t.size());
}

} // namespace

int main(int argc, char **argv) {
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);

    zarn::sim::Topology topology = zarn::sim::devices_only({1});
    topology.filter_length = LENGTH;
    zarn::sim::TestDaemon daemon(topology);

    auto *window = new ZARNMainWindow(daemon.path());
    window->watchdog_timer->stop();
    auto *eq = new ZARNEqualizer(window, zarn::KIND_DEVICE, 0, 0);
    if (eq->filter_length != LENGTH || eq->sample_rate <= 0) {
        std::fprintf(stderr, "the daemon did not offer a filter of %d taps\n", LENGTH);
        return 1;
    }
    std::printf("equalizer, N = %d, sample rate %d Hz\n", eq->filter_length, eq->sample_rate);

    eq->presets->defaults_button->click();
    QElapsedTimer clock;
    clock.start();
    eq->state_map->buttons[1]->click();
    const double first = ms(clock.nsecsElapsed());
    if (eq->coefficients == nullptr || daemon.count(zarn::REQ_DEV_TX_FILTER_SET) != 1) {
        std::fprintf(stderr, "the Defaults preset was not applied\n");
        return 1;
    }
    std::printf("%-44s %9.3f ms\n", "first Apply of Defaults (plans with FFTW)", first);
    print("later Apply of Defaults", time_runs(10, [&] { eq->editor->apply_button->click(); }));
    print("plot re-evaluation alone (256 x N)",
          time_runs(10, [&] { eq->freq_response->refresh(); }));

    // A filter that is not flat, so the curve has every column to fill.
    eq->presets->lowpass_button->click();
    eq->editor->apply_button->click();
    QImage image(256, 128, QImage::Format_ARGB32);
    print("one repaint of the plot (into an image)",
          time_runs(200, [&] { eq->freq_response->draw(&image); }));
    eq->show();
    if (!QTest::qWaitForWindowExposed(eq))
        std::fprintf(stderr, "the equalizer window was not exposed\n");
    print("one repaint of the plot (widget repaint)",
          time_runs(200, [&] { eq->freq_response->repaint(); }));

    delete eq;
    zarn::ctl_close(window->fd);
    window->fd = -1;
    delete window;
    return 0;
}
