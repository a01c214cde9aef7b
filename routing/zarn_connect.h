// SPDX-License-Identifier: BSD-2-Clause

#pragma once

#include <QGroupBox>

class QGridLayout;
class QLineEdit;
class ZARNController;
class ZARNDevConnections;
class ZARNLoopConnections;
class ZARNMainWindow;

// The connection diagram: main, device and loopback channels in a five-column
// grid, with the two route painters between the columns. Built once from the
// finished strip table. After a configuration write a strip calls
// refresh_routes(), which repaints only what moved; update() still repaints
// the whole panel, and the painters then catch up with every change too.
class ZARNConnect : public QGroupBox {
    Q_OBJECT

public:
    explicit ZARNConnect(ZARNMainWindow *main_window);
    ~ZARNConnect() override;

    // The painters compare the strips' routes with the pictures they keep,
    // redraw the bands of rows where routes moved or changed their mute, and
    // repaint just those bands. A write that changes no route repaints nothing.
    void refresh_routes();
    // The routes in words, as the panel's accessible description.
    void describe_routes();
    // The strips' SrcCh and DstCh boxes tell which values lead to a main
    // channel (in their tips, with tips), and mark a value that leads nowhere.
    void mark_routes_to_nowhere(bool tips = false);

    // Whether a route drawn from the strip's record reaches into area (in
    // the panel's pixels), as it runs now or as another client may set it:
    // every route runs between the strip's own row, or the main channels'
    // rows for a monitor, and the main channels' rows at the top.
    bool routes_reach(const ZARNController *strip, const QRect &area) const;

    // The user names the strip's channel: kept, and shown in both its fields,
    // its strip's title and the routes' words. The default text or none is
    // no name.
    void name_channel(ZARNController *strip, const QString &text);
    // The kept names read again, after a setup file brought new ones: the
    // fields, titles and words of the channels whose name changed follow at
    // once. Returns how many changed.
    int reload_names();

    ZARNMainWindow *main_window;
    QGridLayout *grid;
    ZARNDevConnections *dev_connections;
    ZARNLoopConnections *loop_connections;
    int main_input_count;
    int main_output_count;

protected:
    // Hovering a name field marks its channel's routes on the painters beside
    // it and tells them, as hovering its end does.
    bool eventFilter(QObject *watched, QEvent *event) override;

private:
    QLineEdit *channel_edit(ZARNController *strip);
    void show_name(ZARNController *strip);
};
