// SPDX-License-Identifier: BSD-2-Clause

#include "strip/zarn_volume_bar.h"

#include <QAccessible>
#include <QAccessibleWidget>
#include <QColor>
#include <QCursor>
#include <QHelpEvent>
#include <QImage>
#include <QMouseEvent>
#include <QPainter>
#include <QToolTip>
#include <QWindow>
#include <chrono>
#include <cmath>
#include <cstring>
#include <limits>

#include "app/zarn_connection.h"
#include "ctl/transport.h"
#include "strip/zarn_controller.h"

namespace {

constexpr int SEGMENT_WIDTH = 16;
constexpr int BAR_HEIGHT = 16;

QColor segment_colour(int k) {
    return QColor(96 + 16 * k, 192 - 16 * k, 96);
}

constexpr std::int64_t FULL_SCALE = std::int64_t{1} << 31;

QColor tick_colour(int j) {
    return QColor(192, 192, 192 - 16 * j);
}

// Paints segments 0, 1, ... from the left until n pixels are covered.
void fill_segments(QPainter &painter, int top, int height, int n) {
    for (int k = 0; SEGMENT_WIDTH * k < n; ++k) {
        const int width = std::min(SEGMENT_WIDTH, n - SEGMENT_WIDTH * k);
        painter.fillRect(SEGMENT_WIDTH * k, top, width, height, segment_colour(k));
    }
}

// A bar all unlit and all lit, its ticks over both, at one pixel ratio: a
// meter's picture is two copies of parts of them, where painting it
// segment by segment and tick by tick took some thirty fills each tick.
struct BarPictures {
    qreal ratio = 0;
    QImage unlit;
    QImage lit;
};

QImage bar_picture(qreal ratio, bool lit) {
    QImage image(QSize(ZARNVolumeBar::WIDTH, BAR_HEIGHT) * ratio, QImage::Format_RGB32);
    image.setDevicePixelRatio(ratio);
    QPainter painter(&image);
    painter.fillRect(0, 0, ZARNVolumeBar::WIDTH, BAR_HEIGHT, QColor(0, 0, 0));
    if (lit)
        fill_segments(painter, 0, BAR_HEIGHT, ZARNVolumeBar::WIDTH);
    for (int j = 1; j <= 7; ++j)
        painter.fillRect(SEGMENT_WIDTH * j, 0, 1, BAR_HEIGHT, tick_colour(j));
    return image;
}

const BarPictures &bar_pictures(qreal ratio) {
    static BarPictures pictures;
    if (pictures.ratio != ratio) {
        pictures.ratio = ratio;
        pictures.unlit = bar_picture(ratio, false);
        pictures.lit = bar_picture(ratio, true);
    }
    return pictures;
}

} // namespace

namespace {

// A meter's accessible description is its readout, made when it is asked
// for: formatting it at every reading, ten times a second for every meter,
// would cost the tick more than the meters' pictures.
class MeterAccessible : public QAccessibleWidget {
public:
    explicit MeterAccessible(ZARNVolumeBar *bar) : QAccessibleWidget(bar), bar(bar) {}

    QString text(QAccessible::Text t) const override {
        return t == QAccessible::Description ? bar->readout() : QAccessibleWidget::text(t);
    }

private:
    ZARNVolumeBar *bar;
};

QAccessibleInterface *meter_accessible(const QString &key, QObject *object) {
    if (key != QLatin1String("ZARNVolumeBar"))
        return nullptr;
    auto *bar = qobject_cast<ZARNVolumeBar *>(object);
    return bar ? new MeterAccessible(bar) : nullptr;
}

} // namespace

ZARNVolumeBar::ZARNVolumeBar(ZARNController *strip, const zarn::Target &target)
    : QWidget(strip), strip(strip), kind(target.kind), channel(target.channel),
      number(target.number), last_tick(0), info(zarn::kind_info(target.kind)), batched_result(-1),
      batched_tick(0), batched(false) {
    static const bool factory = (QAccessible::installFactory(meter_accessible), true);
    (void)factory;
    std::memset(&target_peak, 0, sizeof target_peak);
    std::memset(&monitor_peak, 0, sizeof monitor_peak);
    std::memset(&main_peak, 0, sizeof main_peak);
    target_peak.number = number;
    target_peak.channel = channel;
    monitor_peak.index = number;
    main_peak.index = channel;
    setMinimumSize(WIDTH, HEIGHT);
    setMaximumSize(WIDTH, HEIGHT);
    // The meter paints every pixel of its area itself (paintEvent), so the
    // strip beneath is not painted first: that, and the style shaping the
    // strip's title each time, was most of the cost of the watchdog's
    // immediate repaints.
    if (info)
        setAttribute(Qt::WA_OpaquePaintEvent);
}

ZARNVolumeBar::~ZARNVolumeBar() = default;

void ZARNPeakHold::add(std::int64_t v, std::int64_t now_ms, bool full) {
    while (!candidates.empty() && candidates.back().second <= v)
        candidates.pop_back();
    candidates.emplace_back(now_ms, v);
    while (candidates.front().first <= now_ms - HOLD_MS)
        candidates.pop_front();
    if (full)
        clip = true;
}

std::int64_t ZARNPeakHold::held() const {
    return candidates.empty() ? 0 : candidates.front().second;
}

std::int64_t ZARNVolumeBar::normalised(std::int64_t level, std::uint32_t sample_bits) {
    // A negative reading (the magnitude of the most negative sample, or a
    // daemon's garbage) counts as full scale, as the bar shows it.
    if (level < 0)
        return FULL_SCALE;
    const unsigned b = sample_bits & 0xffu;
    if (b <= 32) {
        const unsigned shift = 32 - b;
        // Anything that would not fit after scaling is far above full scale.
        if (level > (std::numeric_limits<std::int64_t>::max() >> shift))
            return std::numeric_limits<std::int64_t>::max();
        return level << shift;
    }
    // From 96 bits the shift would pass the value's width; everything a
    // non-negative value has is shifted out by then.
    const unsigned shift = b - 32;
    return shift >= 64 ? 0 : level >> shift;
}

bool ZARNVolumeBar::reaches_full_scale(std::int64_t level, std::uint32_t sample_bits) {
    // A clipping signal peaks at the largest positive sample, 2^(b - 1) - 1,
    // which is one sample step below full scale on the 32-bit scale.
    const unsigned b = sample_bits & 0xffu;
    const std::int64_t step = b < 32 ? std::int64_t{1} << (32 - b) : 1;
    return normalised(level, sample_bits) >= std::max<std::int64_t>(FULL_SCALE - step, 1);
}

int ZARNVolumeBar::lit_width(std::int64_t level, std::uint32_t sample_bits) {
    const std::int64_t v = normalised(level, sample_bits);
    if (v < (std::int64_t{1} << 24))
        return 0;
    const std::int64_t n = v >> 24;
    return n > WIDTH ? WIDTH : static_cast<int>(n);
}

QString ZARNVolumeBar::dbfs_text(std::int64_t v) {
    if (v <= 0)
        return QStringLiteral("-inf");
    const double db = 20.0 * std::log10(static_cast<double>(v) / static_cast<double>(FULL_SCALE));
    // A level just below full scale reads 0.0, not -0.0.
    return QString::number(db > -0.05 && db < 0.0 ? 0.0 : db, 'f', 1);
}

QString ZARNVolumeBar::readout() const {
    if (!info)
        return QString();
    const auto bar = [](const QString &name, std::int64_t level, std::uint32_t bits,
                        const ZARNPeakHold &hold) {
        return tr("%1%2 dBFS, peak %3 dBFS")
            .arg(name, dbfs_text(normalised(level, bits)), dbfs_text(hold.held()));
    };
    if (info->two_way())
        return bar(QStringLiteral("RX "), target_peak.rx_level, target_peak.sample_bits, holds[0]) +
               QLatin1Char('\n') +
               bar(QStringLiteral("TX "), target_peak.tx_level, target_peak.sample_bits, holds[1]);
    const zarn::MonitorPeak &record =
        info->peak_layout == zarn::PeakLayout::by_channel ? main_peak : monitor_peak;
    return bar(QString(), record.level, record.sample_bits, holds[0]);
}

QString ZARNVolumeBar::tool_tip_text() const {
    const QString about = toolTip();
    return about.isEmpty() ? readout() : readout() + QLatin1Char('\n') + about;
}

void ZARNVolumeBar::take_reading() {
    const std::int64_t now = std::chrono::duration_cast<std::chrono::milliseconds>(
                                 std::chrono::steady_clock::now().time_since_epoch())
                                 .count();
    if (info->two_way()) {
        const std::uint32_t bits = target_peak.sample_bits;
        holds[0].add(normalised(target_peak.rx_level, bits), now,
                     reaches_full_scale(target_peak.rx_level, bits));
        holds[1].add(normalised(target_peak.tx_level, bits), now,
                     reaches_full_scale(target_peak.tx_level, bits));
    } else {
        const auto *record = static_cast<const zarn::MonitorPeak *>(peak_record());
        holds[0].add(normalised(record->level, record->sample_bits), now,
                     reaches_full_scale(record->level, record->sample_bits));
    }
    // A tip this meter opened follows the readings while it stays open.
    if (!shown_tip.isEmpty()) {
        if (QToolTip::isVisible() && QToolTip::text() == shown_tip) {
            shown_tip = tool_tip_text();
            QToolTip::showText(QCursor::pos(), shown_tip, this);
        } else {
            shown_tip.clear();
        }
    }
}

bool ZARNVolumeBar::event(QEvent *event) {
    if (event->type() == QEvent::ToolTip && info) {
        shown_tip = tool_tip_text();
        QToolTip::showText(static_cast<QHelpEvent *>(event)->globalPos(), shown_tip, this);
        return true;
    }
    return QWidget::event(event);
}

void ZARNVolumeBar::mousePressEvent(QMouseEvent *event) {
    for (ZARNPeakHold &hold : holds)
        hold.clear_clip();
    update();
    event->accept();
}

void ZARNVolumeBar::draw_bar(QPainter &painter, int top, std::int64_t level,
                             std::uint32_t sample_bits) {
    const qreal ratio = painter.device() ? painter.device()->devicePixelRatioF() : 1.0;
    const BarPictures &pictures = bar_pictures(ratio);
    const int lit = lit_width(level, sample_bits);
    painter.drawImage(QPoint(0, top), pictures.unlit);
    if (lit > 0)
        painter.drawImage(QRectF(0, top, lit, BAR_HEIGHT), pictures.lit,
                          QRectF(0, 0, lit * ratio, BAR_HEIGHT * ratio));
}

void ZARNVolumeBar::draw_marks(QPainter &painter, int bar, int top, std::int64_t level,
                               std::uint32_t sample_bits) {
    // Marks show only what the bar does not: a bar at full width covers its
    // clip mark, and a held peak at the bar's own end is the bar's last pixel.
    const ZARNPeakHold &hold = holds[bar];
    const int lit = lit_width(level, sample_bits);
    const int held = lit_width(hold.held(), 32);
    const bool clip_shown = hold.clipped() && lit < WIDTH;
    const int clip_from = std::max(lit, WIDTH - CLIP_WIDTH);
    if (clip_shown)
        painter.fillRect(clip_from, top, WIDTH - clip_from, BAR_HEIGHT, QColor(255, 0, 0));
    if (held > lit && !(clip_shown && held > WIDTH - CLIP_WIDTH))
        painter.fillRect(held - 1, top, 1, BAR_HEIGHT, segment_colour((held - 1) / SEGMENT_WIDTH));
}

void *ZARNVolumeBar::peak_record() {
    // Monitors select by number, the main channels by channel.
    switch (info->peak_layout) {
    case zarn::PeakLayout::two_way:
        return &target_peak;
    case zarn::PeakLayout::by_channel:
        return &main_peak;
    default:
        return &monitor_peak;
    }
}

void ZARNVolumeBar::queue_peak(std::vector<zarn::BatchedRequest> &batch) {
    const std::int32_t t = strip->connection->tick;
    const QWindow *shown = window()->windowHandle();
    if (!info || last_tick == t || strip->connection->fd < 0 || !isVisible() || !updatesEnabled() ||
        !shown || !shown->isExposed() || visibleRegion().isEmpty())
        return;
    batched = true;
    batched_tick = t;
    batch.push_back({info->peak, peak_record(), &batched_result});
}

bool ZARNVolumeBar::reading_queued() const {
    return batched && batched_tick == strip->connection->tick;
}

bool ZARNVolumeBar::read_peak(int fd, std::int32_t tick) {
    if (batched && batched_tick == tick) {
        batched = false;
        return batched_result == 0;
    }
    batched = false;
    return zarn::ctl_request(fd, info->peak, peak_record()) == 0;
}

void ZARNVolumeBar::draw(QPainter &painter) {
    const std::int32_t t = strip->connection->tick;
    const std::int32_t o = last_tick;
    last_tick = t;

    // A value that is no kind draws nothing.
    if (!info)
        return;

    const QColor background(0, 0, 0);
    const int fd = strip->connection->fd;

    // A failed read leaves the bars black; each bar otherwise brings its
    // own background and ticks.
    if (info->two_way()) {
        if (o != t) {
            if (!read_peak(fd, t)) {
                painter.fillRect(0, 0, WIDTH, HEIGHT, background);
                return;
            }
            take_reading();
        }
        draw_bar(painter, 0, target_peak.rx_level, target_peak.sample_bits);
        draw_bar(painter, BAR_HEIGHT, target_peak.tx_level, target_peak.sample_bits);
        draw_marks(painter, 0, 0, target_peak.rx_level, target_peak.sample_bits);
        draw_marks(painter, 1, BAR_HEIGHT, target_peak.tx_level, target_peak.sample_bits);
        painter.fillRect(0, BAR_HEIGHT, WIDTH, 1, QColor(192, 192, 0));
        return;
    }

    const auto *record = static_cast<const zarn::MonitorPeak *>(peak_record());
    if (o != t) {
        if (!read_peak(fd, t)) {
            painter.fillRect(0, 0, WIDTH, BAR_HEIGHT, background);
            return;
        }
        take_reading();
    }
    draw_bar(painter, 0, record->level, record->sample_bits);
    draw_marks(painter, 0, 0, record->level, record->sample_bits);
}

void ZARNVolumeBar::paintEvent(QPaintEvent *) {
    QPainter painter(this);
    // What a one-bar meter leaves to the strip, in the strip's colour.
    if (info && !info->two_way())
        painter.fillRect(0, BAR_HEIGHT, WIDTH, HEIGHT - BAR_HEIGHT,
                         palette().color(QPalette::Window));
    draw(painter);
}
