// SPDX-License-Identifier: BSD-2-Clause

#include <QGridLayout>
#include <QLabel>
#include <QLineEdit>
#include <QtTest>
#include <cstring>

#include "app/zarn_grid_layout.h"
#include "support/routing_rig.h"

namespace {

QList<int> span(ZARNConnect *panel, QWidget *w) {
    int row, column, rows, columns;
    panel->grid->getItemPosition(panel->grid->indexOf(w), &row, &column, &rows, &columns);
    return {row, column, rows, columns};
}

} // namespace

// Rows, cells and stored pointers of the connection panel for the shapes a
// daemon can have.
class TestConnectPanel : public QObject {
    Q_OBJECT

private slots:
    void device_rows_follow_the_longer_main_column();
    void loopbacks_start_beside_the_headers();
    void each_channel_takes_a_row_and_each_target_a_label();
    void monitors_get_no_row();
    void window_without_strips_has_headers_only();
    void no_main_channels_and_names_filling_their_field();
};

void TestConnectPanel::device_rows_follow_the_longer_main_column() {
    RoutingRig rig;
    rig.add_main(2, 8);
    ZARNController *dev0 = rig.add_device(0, 0, "usb");
    ZARNController *dev1 = rig.add_device(1, 0, "usb");
    QVERIFY(rig.build());
    ZARNConnect *panel = rig.panel;

    QCOMPARE(panel->title(), QString("Connection diagram"));
    QCOMPARE(rig.text_at(0, 0), QString("Main Device Input"));
    QCOMPARE(rig.text_at(0, 2), QString("Main Device Output"));
    QCOMPARE(panel->main_input_count, 2);
    QCOMPARE(panel->main_output_count, 8);

    for (int i = 0; i < 10; i++) {
        ZARNController *strip = rig.window->strips[i];
        const int c = strip->channel;
        QCOMPARE(strip->connect_row, c + 1);
        if (strip->kind == zarn::KIND_MAIN_OUTPUT) {
            QVERIFY(strip->input_edit == nullptr);
            QVERIFY(strip->output_edit == rig.widget_at(c + 1, 2));
        } else {
            QVERIFY(strip->output_edit == nullptr);
            QVERIFY(strip->input_edit == rig.widget_at(c + 1, 0));
        }
        QCOMPARE(rig.text_at(c + 1, strip->kind == zarn::KIND_MAIN_OUTPUT ? 2 : 0),
                 QString("Channel %1").arg(c));
    }
    for (int row = 3; row <= 8; row++)
        QVERIFY(rig.widget_at(row, 0) == nullptr);

    QCOMPARE(rig.text_at(9, 0), QString("usb - input"));
    QCOMPARE(rig.text_at(9, 2), QString("usb - output"));
    QCOMPARE(dev0->connect_row, 10);
    QCOMPARE(dev1->connect_row, 11);
    QVERIFY(dev0->input_edit == rig.widget_at(10, 0));
    QVERIFY(dev0->output_edit == rig.widget_at(10, 2));
    QVERIFY(dev0->input_edit != dev0->output_edit);
    QCOMPARE(rig.text_at(11, 0), QString("Channel 1"));
    QCOMPARE(rig.text_at(11, 2), QString("Channel 1"));
    QVERIFY(!dev0->input_edit->isReadOnly());

    // The painters fill rows 1 to 11 between the columns; the stretch goes
    // to the painter and output columns and to the row below everything.
    QCOMPARE(span(panel, panel->dev_connections), QList<int>({1, 1, 11, 1}));
    QCOMPARE(span(panel, panel->loop_connections), QList<int>({1, 3, 11, 1}));
    QCOMPARE(QList<int>({panel->grid->columnStretch(0), panel->grid->columnStretch(1),
                         panel->grid->columnStretch(2), panel->grid->columnStretch(3),
                         panel->grid->rowStretch(12), panel->grid->rowStretch(13)}),
             QList<int>({0, 1, 1, 0, 0, 1}));
    QVERIFY(panel->dev_connections->minimumWidth() >= 128);
    QVERIFY(panel->loop_connections->minimumWidth() >= 128);
}

void TestConnectPanel::loopbacks_start_beside_the_headers() {
    RoutingRig rig;
    rig.add_main(2, 2);
    ZARNController *dev = rig.add_device(0, 0, "pcm");
    ZARNController *a0 = rig.add_loop(0, 0, "rec");
    ZARNController *a1 = rig.add_loop(1, 0, "rec");
    ZARNController *b0 = rig.add_loop(0, 1, "mon");
    QVERIFY(rig.build());

    QCOMPARE(rig.text_at(0, 4), QString("rec - input"));
    QCOMPARE(rig.text_at(0, 0), QString("Main Device Input"));
    QCOMPARE(a0->connect_row, 1);
    QCOMPARE(a1->connect_row, 2);
    QCOMPARE(rig.text_at(3, 4), QString("mon - input"));
    QCOMPARE(b0->connect_row, 4);
    QVERIFY(a1->input_edit == rig.widget_at(2, 4));
    QCOMPARE(a1->input_edit->text(), QString("Channel 1"));
    QVERIFY(a0->output_edit == nullptr);

    // Devices do not move for the loopbacks: their rows count on their own.
    QCOMPARE(dev->connect_row, 4);

    // The loopback column is the taller one, so it sets the painters' span.
    QCOMPARE(span(rig.panel, rig.panel->loop_connections)[2], 4);
    QCOMPARE(rig.panel->grid->rowStretch(6), 1);
}

void TestConnectPanel::each_channel_takes_a_row_and_each_target_a_label() {
    RoutingRig rig;
    rig.add_main(1, 1);
    ZARNController *a[3];
    for (int c = 0; c < 3; c++)
        a[c] = rig.add_device(c, 0, "three");
    ZARNController *b = rig.add_device(0, 1, "one");
    QVERIFY(rig.build());

    // A 3-channel device takes its label row and three channel rows.
    QCOMPARE(QList<int>({a[0]->connect_row, a[1]->connect_row, a[2]->connect_row, b->connect_row}),
             QList<int>({3, 4, 5, 7}));
    QCOMPARE(QStringList({rig.text_at(2, 0), a[2]->input_edit->text(), rig.text_at(6, 0),
                          rig.text_at(6, 2)}),
             QStringList({"three - input", "Channel 2", "one - input", "one - output"}));
}

void TestConnectPanel::monitors_get_no_row() {
    RoutingRig rig;
    rig.add_main(2, 2);
    ZARNController *monitors[] = {rig.add(zarn::KIND_INPUT_MONITOR, 0, 0),
                                  rig.add(zarn::KIND_OUTPUT_MONITOR, 0, 0),
                                  rig.add(zarn::KIND_LOCAL_MONITOR, 0, 0)};
    QVERIFY(rig.build());

    for (ZARNController *monitor : monitors) {
        QCOMPARE(monitor->connect_row, 0);
        QVERIFY(monitor->input_edit == nullptr);
        QVERIFY(monitor->output_edit == nullptr);
    }
    // Headers, two main rows in two columns, and the painters.
    QCOMPARE(rig.panel->grid->count(), 2 + 4 + 2);
}

void TestConnectPanel::window_without_strips_has_headers_only() {
    RoutingRig rig;
    ZARNConnect *panel = rig.window->connect_panel;
    QVERIFY(panel != nullptr);

    // The window puts the panel first in its column.
    QLayoutItem *top = static_cast<QGridLayout *>(rig.window->main_grid)->itemAtPosition(0, 0);
    QVERIFY(top != nullptr && top->widget() == panel);

    QCOMPARE(panel->grid->count(), 4);
    QCOMPARE(panel->main_input_count, 0);
    QCOMPARE(panel->main_output_count, 0);
    // One row for the painters: the grid refuses a span of none.
    QCOMPARE(span(panel, panel->dev_connections).mid(0, 3), QList<int>({1, 1, 1}));
    QCOMPARE(span(panel, panel->loop_connections).mid(0, 3), QList<int>({1, 3, 1}));
    QCOMPARE(panel->grid->rowStretch(2), 1);

    // Shown and painted with nothing to draw, it stays quiet and white.
    rig.window->show();
    QVERIFY(QTest::qWaitForWindowExposed(rig.window));
    if (panel->dev_connections->width() > 0 && panel->dev_connections->height() > 0)
        QVERIFY(all_white(render(panel->dev_connections)));
}

void TestConnectPanel::no_main_channels_and_names_filling_their_field() {
    RoutingRig rig;
    ZARNController *full = rig.add(zarn::KIND_DEVICE, 0, 0);
    std::memset(full->channel_config.name, 'N', sizeof full->channel_config.name);
    full->channel_config.rx_amp = 0x42424242; // what a read past the name would find
    ZARNController *empty = rig.add(zarn::KIND_LOOP, 0, 0);
    QVERIFY(rig.build());

    QCOMPARE(QList<int>({rig.panel->main_input_count, rig.panel->main_output_count,
                         full->connect_row, empty->connect_row}),
             QList<int>({0, 0, 2, 1}));
    const QString name(int(sizeof full->channel_config.name), QChar('N'));
    QCOMPARE(
        QStringList({rig.text_at(1, 0), rig.text_at(1, 2), rig.text_at(2, 0), rig.text_at(0, 4)}),
        QStringList({name + " - input", name + " - output", "Channel 0", " - input"}));
}

QTEST_MAIN(TestConnectPanel)
#include "test_connect_panel.moc"
