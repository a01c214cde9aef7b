// SPDX-License-Identifier: BSD-2-Clause

#pragma once

#include <QMessageBox>
#include <QTextEdit>

#include "ctl/filter_record.h"
#include "ctl/strip_kind.h"
#include "eq/zarn_button.h"
#include "eq/zarn_button_map.h"
#include "eq/zarn_eq_buttons.h"
#include "eq/zarn_eq_clipboard.h"
#include "eq/zarn_eq_editor.h"
#include "eq/zarn_eq_freq_response.h"
#include "eq/zarn_equalizer.h"
#include "support/window_fixture.h"

// Equalizer windows against the in-process daemon.
namespace eqfix {

constexpr int RX_DEVICE = zarn::KIND_DEVICE | zarn::EQ_RX_FLAG;

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

using Equalizer = std::unique_ptr<ZARNEqualizer>;

inline Equalizer make_equalizer(ZARNMainWindow *w, int kind, int number = 0, int channel = 0) {
    return Equalizer(new ZARNEqualizer(w, kind, number, channel));
}

inline void set_text(ZARNEqualizer *e, const char *text) {
    e->editor->text_edit->setPlainText(QString::fromUtf8(text));
}
inline QString text_of(const ZARNEqualizer *e) {
    return e->editor->text_edit->toPlainText();
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
// keeps "caption|text|icon|button count" of each, and its informative text.
class BoxCloser : public QObject {
public:
    BoxCloser() {
        connect(&timer, &QTimer::timeout, this, [this] {
            auto *box = qobject_cast<QMessageBox *>(QApplication::activeModalWidget());
            if (box == nullptr)
                return;
            boxes << QString("%1|%2|%3|%4")
                         .arg(box->windowTitle(), box->text())
                         .arg(int(box->icon()))
                         .arg(box->buttons().size());
            informative << box->informativeText();
            if (QAbstractButton *ok = box->button(QMessageBox::Ok))
                ok->click();
            else
                box->reject();
        });
        timer.start(5);
    }

    QStringList boxes;
    QStringList informative;
    QTimer timer;
};

// The one box the equalizer shows for a text it cannot send.
inline QString info_box(const char *text) {
    return QString("Zarnmix Control|%1|%2|1")
        .arg(QLatin1String(text))
        .arg(int(QMessageBox::Information));
}

inline std::vector<zarn::sim::ReceivedRequest> filter_writes(const zarn::sim::TestDaemon &d) {
    std::vector<zarn::sim::ReceivedRequest> out;
    for (auto &r : d.requests())
        if (zarn::is_filter_set(r.code))
            out.push_back(r);
    return out;
}

// A filter request as {code, number, channel, size, reserved, address set,
// payload size}.
inline std::vector<long long> fields(const zarn::sim::ReceivedRequest &r) {
    const auto rec = fixture::as<zarn::FilterRecord>(r);
    return {r.code,
            rec.number,
            rec.channel,
            rec.size,
            rec.reserved,
            rec.coefficients != 0,
            static_cast<long long>(r.payload.size())};
}

// Calls f, under the daemon's lock, with the filter of device 0, channel 0
// in one direction.
template <typename F> auto on_filter(zarn::sim::TestDaemon &d, bool rx, F f) {
    return d.with_engine([&](zarn::sim::Engine &e) {
        zarn::sim::ChannelState &c = e.devices[0].channels[0];
        return f(rx ? c.rx_filter : c.tx_filter);
    });
}

// Puts a filter in force in the daemon.
inline void put_filter(zarn::sim::TestDaemon &d, bool rx, const std::vector<double> &c) {
    on_filter(d, rx, [&](zarn::sim::Filter &f) { f = zarn::sim::Filter{f.length, true, c}; });
}

inline std::vector<double> daemon_filter(zarn::sim::TestDaemon &d, bool rx) {
    return on_filter(d, rx, [](zarn::sim::Filter &f) {
        return f.active ? f.coefficients : std::vector<double>();
    });
}

inline std::vector<double> coefficients_of(const ZARNEqualizer *e) {
    const double *c = e->coefficients;
    return c ? std::vector<double>(c, c + e->filter_length) : std::vector<double>();
}

// At a pixel ratio, as on a high-density screen: the image has ratio times
// the plot's pixels each way.
inline QImage render(const ZARNEQFreqResponse *plot, qreal ratio = 1.0) {
    QImage image(QSize(ZARNEQFreqResponse::PLOT_WIDTH, ZARNEQFreqResponse::PLOT_HEIGHT) * ratio,
                 QImage::Format_ARGB32);
    image.setDevicePixelRatio(ratio);
    image.fill(qRgb(1, 2, 3));
    plot->draw(&image);
    return image;
}

} // namespace eqfix
