#pragma once

#include <QApplication>
#include <QImage>
#include <QMessageBox>
#include <QPainter>
#include <QPushButton>
#include <QTest>
#include <QTextEdit>
#include <QTimer>
#include <cstring>
#include <memory>
#include <vector>

#include "../app/window_fixture.h"
#include "ctl/filter_record.h"
#include "ctl/requests.h"
#include "ctl/strip_kind.h"
#include "eq/zarn_button.h"
#include "eq/zarn_button_map.h"
#include "eq/zarn_eq_buttons.h"
#include "eq/zarn_eq_clipboard.h"
#include "eq/zarn_eq_editor.h"
#include "eq/zarn_eq_freq_response.h"
#include "eq/zarn_equalizer.h"
#include "strip/zarn_controller.h"

// Equalizer windows against the in-process daemon.
namespace eqfix {

// Device 0 with two channels and loopback 0 with one, each direction with a
// filter of the given length.
inline zarn::sim::Topology topology(int filter_length = 2048, int sample_rate = 48000) {
    zarn::sim::Topology t = fixture::empty_topology();
    t.device_channels = {2};
    t.loop_channels = {1};
    t.filter_length = filter_length;
    t.sample_rate = sample_rate;
    return t;
}

struct EqualizerDeleter {
    void operator()(ZARNEqualizer *e) const { delete e; }
};
using Equalizer = std::unique_ptr<ZARNEqualizer, EqualizerDeleter>;

inline Equalizer make_equalizer(ZARNMainWindow *w, int kind, int number = 0, int channel = 0) {
    return Equalizer(new ZARNEqualizer(w, kind, number, channel));
}

inline void set_text(ZARNEqualizer *e, const char *text) {
    e->editor->text_edit->setPlainText(QString::fromUtf8(text));
}

// The user's gestures: buttons act on release.
inline void apply(ZARNEqualizer *e) {
    e->editor->apply_button->click();
}
inline void release_on(ZARNEqualizer *e) {
    e->state_map->buttons[1]->click();
}
inline void release_off(ZARNEqualizer *e) {
    e->state_map->buttons[0]->click();
}

// Answers every modal message box that opens while it lives with OK, and
// keeps what each one said.
class BoxCloser : public QObject {
public:
    struct Box {
        QString caption;
        QString text;
        QMessageBox::Icon icon;
        int buttons;
    };

    BoxCloser() {
        timer.setInterval(5);
        connect(&timer, &QTimer::timeout, this, [this] {
            auto *box = qobject_cast<QMessageBox *>(QApplication::activeModalWidget());
            if (box == nullptr)
                return;
            boxes.push_back(
                {box->windowTitle(), box->text(), box->icon(), int(box->buttons().size())});
            QAbstractButton *ok = box->button(QMessageBox::Ok);
            if (ok != nullptr)
                ok->click();
            else
                box->reject();
        });
        timer.start();
    }

    std::vector<Box> boxes;
    QTimer timer;
};

inline std::vector<zarn::sim::ReceivedRequest> filter_writes(const zarn::sim::TestDaemon &d) {
    std::vector<zarn::sim::ReceivedRequest> out;
    for (auto &r : d.requests())
        if (zarn::is_filter_set(r.code))
            out.push_back(r);
    return out;
}

inline std::vector<zarn::sim::ReceivedRequest> filter_requests(const zarn::sim::TestDaemon &d) {
    std::vector<zarn::sim::ReceivedRequest> out;
    for (auto &r : d.requests())
        if (zarn::is_filter_set(r.code) || zarn::is_filter_get(r.code))
            out.push_back(r);
    return out;
}

// Puts a filter in force in the daemon for device 0, channel 0, one direction.
inline void put_filter(zarn::sim::TestDaemon &d, bool rx, const std::vector<double> &c) {
    d.with_engine([&](zarn::sim::Engine &e) {
        zarn::sim::Filter &f =
            rx ? e.devices[0].channels[0].rx_filter : e.devices[0].channels[0].tx_filter;
        f.active = true;
        f.coefficients = c;
    });
}

inline std::vector<double> daemon_filter(zarn::sim::TestDaemon &d, bool rx) {
    return d.with_engine([&](zarn::sim::Engine &e) {
        const zarn::sim::Filter &f =
            rx ? e.devices[0].channels[0].rx_filter : e.devices[0].channels[0].tx_filter;
        return f.active ? f.coefficients : std::vector<double>{};
    });
}

inline std::vector<double> coefficients_of(const ZARNEqualizer *e) {
    if (e->coefficients == nullptr)
        return {};
    return std::vector<double>(e->coefficients, e->coefficients + e->filter_length);
}

inline QImage render(const ZARNEQFreqResponse *plot) {
    QImage image(ZARNEQFreqResponse::PLOT_WIDTH, ZARNEQFreqResponse::PLOT_HEIGHT,
                 QImage::Format_ARGB32);
    image.fill(qRgb(1, 2, 3));
    plot->draw(&image);
    return image;
}

} // namespace eqfix
