// SPDX-License-Identifier: BSD-2-Clause

#include "routing/zarn_connect.h"

#include <QFile>
#include <QGridLayout>
#include <QHelpEvent>
#include <QLabel>
#include <QLineEdit>
#include <QSettings>
#include <QSpinBox>
#include <QString>
#include <QStringList>
#include <QToolTip>
#include <algorithm>
#include <memory>

#include "app/zarn_main_window.h"
#include "ctl/catalogue.h"
#include "ctl/strip_kind.h"
#include "routing/route_picture.h"
#include "routing/zarn_dev_connections.h"
#include "routing/zarn_loop_connections.h"
#include "settings/settings_store.h"
#include "strip/zarn_controller.h"

namespace {

QString default_name(const ZARNController *strip) {
    return QStringLiteral("Channel %1").arg(strip->channel);
}

// The strip's title with the user's name for its channel after it.
void retitle(ZARNController *strip) {
    const zarn::KindInfo *info = zarn::kind_info(strip->kind);
    if (!info)
        return;
    strip->set_title(info->named() ? strip->config_name().c_str() : info->title);
}

} // namespace

QLineEdit *ZARNConnect::channel_edit(ZARNController *strip) {
    auto *edit =
        new QLineEdit(strip->channel_label.isEmpty() ? default_name(strip) : strip->channel_label);
    edit->setMaxLength(zarn::settings::MAX_CHANNEL_NAME);
    // Reached by a click; Tab goes on to the strips, which a keyboard user
    // wants first.
    edit->setFocusPolicy(Qt::ClickFocus);
    connect(edit, &QLineEdit::editingFinished, this,
            [this, strip, edit] { name_channel(strip, edit->text()); });
    edit->installEventFilter(this);
    return edit;
}

bool ZARNConnect::eventFilter(QObject *watched, QEvent *event) {
    const QEvent::Type type = event->type();
    if (type != QEvent::Enter && type != QEvent::Leave && type != QEvent::ToolTip)
        return QGroupBox::eventFilter(watched, event);
    const int index = grid->indexOf(qobject_cast<QWidget *>(watched));
    if (index < 0 || !dev_connections || !loop_connections)
        return QGroupBox::eventFilter(watched, event);
    int row = 0, column = 0, rows = 0, columns = 0;
    grid->getItemPosition(index, &row, &column, &rows, &columns);
    if (type == QEvent::Leave)
        row = -1;
    // A field's column is the right edge of the painter before it and the
    // left edge of the one after it.
    QStringList lines;
    if (column == 0 || column == 2)
        lines << dev_connections->point_channel(column == 0 ? 0 : 1, row);
    if (column == 2 || column == 4)
        lines << loop_connections->point_channel(column == 2 ? 0 : 1, row);
    if (type != QEvent::ToolTip)
        return QGroupBox::eventFilter(watched, event);
    lines.removeAll(QString());
    lines.removeDuplicates();
    const auto *help = static_cast<QHelpEvent *>(event);
    // With no route the field's own tip, if any, is the one shown.
    if (lines.isEmpty())
        return QGroupBox::eventFilter(watched, event);
    QToolTip::showText(help->globalPos(), lines.join(QLatin1Char('\n')),
                       static_cast<QWidget *>(watched));
    return true;
}

void ZARNConnect::name_channel(ZARNController *strip, const QString &text) {
    // The default text, or none, is no name: the field shows the default.
    const QString trimmed = text.trimmed();
    const QString name = trimmed == default_name(strip) ? QString() : trimmed;
    if (const std::unique_ptr<QSettings> settings = zarn::settings::open())
        zarn::settings::keep_channel_name(
            settings.get(), QFile::decodeName(main_window->device_path), strip->target(), name);
    strip->channel_label = name;
    show_name(strip);
    describe_routes();
}

void ZARNConnect::show_name(ZARNController *strip) {
    const QString text =
        strip->channel_label.isEmpty() ? default_name(strip) : strip->channel_label;
    for (QLineEdit *edit : {strip->input_edit, strip->output_edit})
        if (edit && edit->text() != text)
            edit->setText(text);
    retitle(strip);
    strip->name_controls();
}

int ZARNConnect::reload_names() {
    const std::unique_ptr<QSettings> settings = zarn::settings::open();
    if (!settings)
        return 0;
    const QString device = QFile::decodeName(main_window->device_path);
    int changed = 0;
    for (ZARNController *strip : main_window->strips) {
        if (!strip)
            continue;
        const QString name = zarn::settings::channel_name(settings.get(), device, strip->target());
        if (name == strip->channel_label)
            continue;
        strip->channel_label = name;
        show_name(strip);
        changed++;
    }
    if (changed > 0)
        describe_routes();
    return changed;
}

ZARNConnect::ZARNConnect(ZARNMainWindow *main_window)
    : main_window(main_window), grid(new QGridLayout(this)), dev_connections(nullptr),
      loop_connections(nullptr), main_input_count(0), main_output_count(0) {
    grid->addWidget(new QLabel(tr("Main Device Input")), 0, 0);
    grid->addWidget(new QLabel(tr("Main Device Output")), 0, 2);
    connect(main_window->connection, &ZARNConnection::routes_changed, this,
            &ZARNConnect::refresh_routes);

    ZARNController *const *strips = main_window->strips;
    // The user's names for the channels, read at once from one opening of
    // the settings.
    {
        const std::unique_ptr<QSettings> settings = zarn::settings::open();
        const QString device = QFile::decodeName(main_window->device_path);
        for (int i = 0; i < MAX_STRIPS && strips[i] != nullptr; i++) {
            strips[i]->channel_label =
                zarn::settings::channel_name(settings.get(), device, strips[i]->target());
            if (!strips[i]->channel_label.isEmpty())
                retitle(strips[i]);
        }
    }

    for (int i = 0; i < MAX_STRIPS && strips[i] != nullptr; i++) {
        ZARNController *strip = strips[i];
        if (strip->kind == zarn::KIND_MAIN_INPUT) {
            strip->connect_row = main_input_count + 1;
            strip->input_edit = channel_edit(strip);
            grid->addWidget(strip->input_edit, strip->connect_row, 0);
            main_input_count++;
        } else if (strip->kind == zarn::KIND_MAIN_OUTPUT) {
            strip->connect_row = main_output_count + 1;
            strip->output_edit = channel_edit(strip);
            grid->addWidget(strip->output_edit, strip->connect_row, 2);
            main_output_count++;
        }
    }

    int device_row = std::max(main_input_count, main_output_count) + 1;
    int loop_row = 0;

    for (int i = 0; i < MAX_STRIPS && strips[i] != nullptr; i++) {
        ZARNController *strip = strips[i];
        if (strip->kind != zarn::KIND_LOOP && strip->kind != zarn::KIND_DEVICE)
            continue;

        const std::string name_text = strip->config_name();
        const char *name = name_text.c_str();

        if (strip->kind == zarn::KIND_LOOP) {
            if (strip->channel == 0) {
                grid->addWidget(new QLabel(tr(name) + tr(" - input")), loop_row, 4);
                loop_row++;
            }
            strip->connect_row = loop_row;
            strip->input_edit = channel_edit(strip);
            grid->addWidget(strip->input_edit, loop_row, 4);
            loop_row++;
        } else {
            if (strip->channel == 0) {
                grid->addWidget(new QLabel(tr(name) + tr(" - input")), device_row, 0);
                grid->addWidget(new QLabel(tr(name) + tr(" - output")), device_row, 2);
                device_row++;
            }
            strip->connect_row = device_row;
            strip->input_edit = channel_edit(strip);
            grid->addWidget(strip->input_edit, device_row, 0);
            strip->output_edit = channel_edit(strip);
            grid->addWidget(strip->output_edit, device_row, 2);
            device_row++;
        }
    }

    const int rows = std::max(device_row, loop_row);
    // With no channel rows at all the painters still take row 1: a span of
    // no rows is refused by the grid with a warning.
    const int painter_rows = std::max(rows - 1, 1);

    dev_connections = new ZARNDevConnections(this);
    grid->addWidget(dev_connections, 1, 1, painter_rows, 1);
    loop_connections = new ZARNLoopConnections(this);
    grid->addWidget(loop_connections, 1, 3, painter_rows, 1);

    grid->setColumnStretch(1, 1);
    grid->setColumnStretch(2, 1);
    grid->setRowStretch(rows + 1, 1);

    setTitle(tr("Connection diagram"));
    // The strips' diagram fields are new: they get their names now.
    for (ZARNController *strip : main_window->strips)
        if (strip)
            strip->name_controls();
    describe_routes();
    mark_routes_to_nowhere(true);
}

ZARNConnect::~ZARNConnect() = default;

void ZARNConnect::refresh_routes() {
    dev_connections->refresh_routes();
    loop_connections->refresh_routes();
    describe_routes();
    mark_routes_to_nowhere();
}

bool ZARNConnect::routes_reach(const ZARNController *strip, const QRect &area) const {
    // A folded diagram draws no route.
    if (area.isEmpty() || !dev_connections || !dev_connections->isVisible())
        return false;
    int row = 0;
    switch (strip->kind) {
    case zarn::KIND_DEVICE:
    case zarn::KIND_LOOP:
        row = strip->connect_row;
        break;
    case zarn::KIND_INPUT_MONITOR:
    case zarn::KIND_OUTPUT_MONITOR:
        row = std::max(main_input_count, main_output_count);
        break;
    default:
        return false; // drawn nowhere
    }
    // From the painters' top, where the main channels' rows start and where
    // a channel that leads nowhere points, down to the row: the band such
    // a route can take, its line's width and end circles included.
    zarn::Route band{};
    band.has_a = band.has_b = true;
    band.b = QPoint(0, zarn::row_middle(grid, row));
    const QRect reach = band.extent(width()).translated(0, dev_connections->y());
    return reach.top() <= area.bottom() && reach.bottom() >= area.top();
}

void ZARNConnect::mark_routes_to_nowhere(bool tips) {
    // The daemon takes any channel number, so the boxes still do; a number
    // with no main channel behind it is marked rather than refused.
    const QString none = tr(" (none)");
    const auto mark = [&](QSpinBox *box, bool output) {
        const int count = output ? main_output_count : main_input_count;
        const bool leads = box->value() >= 0 && box->value() < count;
        if (leads != box->suffix().isEmpty())
            box->setSuffix(leads ? QString() : none);
        // The counts never change while the panel stands: the tips are
        // written once, after the strip's own.
        if (!tips)
            return;
        const QString own = box->toolTip();
        const QString which = output ? tr("main output") : tr("main input");
        const QString tip =
            count > 0
                ? tr("%1 Channels 0 to %2 lead to a %3 channel.").arg(own).arg(count - 1).arg(which)
                : tr("%1 There is no %2 channel.").arg(own, which);
        box->setToolTip(tip);
    };
    for (ZARNController *strip : main_window->strips) {
        if (!strip)
            continue;
        switch (strip->kind) {
        case zarn::KIND_DEVICE:
        case zarn::KIND_INPUT_MONITOR:
            mark(strip->src_channel_box, false);
            mark(strip->dst_channel_box, true);
            break;
        case zarn::KIND_LOOP:
            mark(strip->src_channel_box, true);
            break;
        case zarn::KIND_OUTPUT_MONITOR:
            mark(strip->src_channel_box, true);
            mark(strip->dst_channel_box, true);
            break;
        default:
            break;
        }
    }
}

void ZARNConnect::describe_routes() {
    // The picture in words, for those who cannot see it: each strip's
    // source and destination, as its spin boxes set them.
    QStringList lines;
    for (ZARNController *strip : main_window->strips) {
        if (!strip || !strip->src_channel_box->parentWidget() || strip->src_channel_box->isHidden())
            continue;
        lines << tr("%1: from channel %2 to channel %3")
                     .arg(strip->title())
                     .arg(strip->src_channel_box->value())
                     .arg(strip->dst_channel_box->value());
    }
    setAccessibleDescription(lines.join(QStringLiteral("; ")));
}
