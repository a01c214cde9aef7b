// SPDX-License-Identifier: BSD-2-Clause

#include <QtTest>

#include <QGridLayout>
#include <QMetaMethod>

#include "eq/zarn_button.h"
#include "eq/zarn_button_map.h"

namespace {

const char EQ_STATE[] = "Equalizer state\0OFF\0ON";

QByteArray packed(const char *title, int labels) {
    QByteArray out = QByteArray(title) + '\0';
    for (int i = 0; i < labels; ++i)
        out += "b" + QByteArray::number(i) + '\0';
    return out;
}

// Each button's text, id, flatness, grid cell and alignment in one string.
QStringList picture(ZARNButtonMap &map) {
    QStringList out;
    for (int i = 0; i < map.count; ++i) {
        int row, column, rows, columns;
        const int index = map.grid.indexOf(map.buttons[i]);
        map.grid.getItemPosition(index, &row, &column, &rows, &columns);
        out << QString("%1 #%2 %3 (%4,%5) %6")
                   .arg(map.buttons[i]->text())
                   .arg(map.buttons[i]->id)
                   .arg(map.buttons[i]->isFlat() ? "flat" : "raised")
                   .arg(row)
                   .arg(column)
                   .arg(int(map.grid.itemAt(index)->alignment()));
    }
    return out;
}

QStringList flatness(const ZARNButtonMap &map) {
    QStringList out;
    for (int i = 0; i < map.count; ++i)
        out << (map.buttons[i]->isFlat() ? "flat" : "raised");
    return out;
}

QStringList method_names(const QMetaObject *meta) {
    QStringList out;
    for (int i = meta->methodOffset(); i < meta->methodCount(); ++i) {
        const QMetaMethod m = meta->method(i);
        out << QString::fromLatin1(m.methodSignature()) +
                   (m.methodType() == QMetaMethod::Signal ? " signal" : " slot");
    }
    return out;
}

// The id carried by each emission.
QList<int> ids(const QSignalSpy &spy) {
    QList<int> out;
    for (const QList<QVariant> &args : spy)
        out << args.at(0).toInt();
    return out;
}

const int CENTER = int(Qt::AlignCenter);

} // namespace

class TestButtonMap : public QObject {
    Q_OBJECT

private slots:
    void button_repeats_press_and_release_with_its_id();
    void construction();
    void release_selects_press_does_not();
    void set_selection();
    void ids_outside_the_buttons_leave_all_flat();
};

void TestButtonMap::button_repeats_press_and_release_with_its_id() {
    ZARNButton button(QStringLiteral("X"), -3);
    QVERIFY(button.id == -3 && button.text() == "X" && button.parent() == nullptr);
    QSignalSpy pressed(&button, qOverload<int>(&ZARNButton::pressed));
    QSignalSpy released(&button, qOverload<int>(&ZARNButton::released));
    QSignalSpy plain_released(&button, &QAbstractButton::released);
    button.click();
    QCOMPARE(ids(pressed), QList<int>({-3}));
    QCOMPARE(ids(released), QList<int>({-3}));
    QCOMPARE(plain_released.count(), 1);

    QCOMPARE(method_names(&ZARNButton::staticMetaObject),
             QStringList({"released(int) signal", "pressed(int) signal", "handle_released() slot",
                          "handle_pressed() slot"}));
    QCOMPARE(method_names(&ZARNButtonMap::staticMetaObject),
             QStringList({"selectionChanged(int) signal", "handle_pressed(int) slot",
                          "handle_released(int) slot"}));
}

void TestButtonMap::construction() {
    ZARNButtonMap eq(EQ_STATE, 2, 1);
    QVERIFY(eq.title() == "Equalizer state" && eq.parent() == nullptr && eq.selected == 0);
    QCOMPARE(eq.layout(), static_cast<QLayout *>(&eq.grid));
    QCOMPARE(picture(eq), QStringList({QString("OFF #0 raised (0,0) %1").arg(CENTER),
                                       QString("ON #1 flat (1,0) %1").arg(CENTER)}));
    QVERIFY(eq.buttons[0]->parent() == &eq);
    for (int i = 2; i < ZARNButtonMap::MAX_BUTTONS; ++i)
        QVERIFY(eq.buttons[i] == nullptr);

    const QByteArray five = packed("Five", 5);
    ZARNButtonMap grid(five.constData(), 5, 2);
    QStringList want;
    const int cells[5][2] = {{0, 0}, {0, 1}, {1, 0}, {1, 1}, {2, 0}};
    for (int i = 0; i < 5; ++i)
        want << QString("b%1 #%1 %2 (%3,%4) %5")
                    .arg(i)
                    .arg(i ? "flat" : "raised")
                    .arg(cells[i][0])
                    .arg(cells[i][1])
                    .arg(CENTER);
    QCOMPARE(picture(grid), want);

    // The count is cut to eight.
    const QByteArray twelve = packed("Many", 12);
    ZARNButtonMap many(twelve.constData(), 12, 3);
    QCOMPARE(many.count, 8);
    QCOMPARE(many.findChildren<ZARNButton *>().size(), 8);
    QCOMPARE(many.buttons[7]->text(), QStringLiteral("b7"));
    QSignalSpy changed(&many, &ZARNButtonMap::selectionChanged);
    many.buttons[7]->click();
    QCOMPARE(ids(changed), QList<int>({7}));
}

void TestButtonMap::release_selects_press_does_not() {
    ZARNButtonMap map(EQ_STATE, 2, 1);
    map.show();
    QSignalSpy changed(&map, &ZARNButtonMap::selectionChanged);
    QTest::mousePress(map.buttons[1], Qt::LeftButton);
    QVERIFY(changed.isEmpty() && map.selected == 0);
    QCOMPARE(flatness(map), QStringList({"raised", "flat"}));
    QTest::mouseRelease(map.buttons[1], Qt::LeftButton);
    QCOMPARE(ids(changed), QList<int>({1}));
    QCOMPARE(map.selected, 1);
    QCOMPARE(flatness(map), QStringList({"flat", "raised"}));

    // Releasing the selected button again changes nothing.
    QTest::mouseClick(map.buttons[1], Qt::LeftButton);
    QCOMPARE(changed.count(), 1);
    map.buttons[0]->click();
    QCOMPARE(ids(changed), QList<int>({1, 0}));
    QCOMPARE(flatness(map), QStringList({"raised", "flat"}));
}

void TestButtonMap::set_selection() {
    ZARNButtonMap map(EQ_STATE, 2, 1);
    QSignalSpy changed(&map, &ZARNButtonMap::selectionChanged);
    map.set_selection(0);
    map.set_selection(1);
    map.set_selection(1);
    QCOMPARE(ids(changed), QList<int>({1}));

    // With the map's signals blocked the selection still changes; its
    // buttons are not blocked.
    {
        const QSignalBlocker blocker(&map);
        map.set_selection(0);
    }
    QCOMPARE(changed.count(), 1);
    QCOMPARE(map.selected, 0);
    QCOMPARE(flatness(map), QStringList({"raised", "flat"}));
    map.buttons[1]->click();
    QCOMPARE(changed.count(), 2);
}

void TestButtonMap::ids_outside_the_buttons_leave_all_flat() {
    // Compared as unsigned: no negative id raises a button.
    for (int id : {-1, 2, 8, 1 << 30, -2147483647 - 1}) {
        ZARNButtonMap map(EQ_STATE, 2, 1);
        QSignalSpy changed(&map, &ZARNButtonMap::selectionChanged);
        map.set_selection(id);
        QCOMPARE(map.selected, id);
        QCOMPARE(ids(changed), QList<int>({id}));
        QCOMPARE(flatness(map), QStringList({"flat", "flat"}));
        map.buttons[0]->click();
        QCOMPARE(map.selected, 0);
        QCOMPARE(flatness(map), QStringList({"raised", "flat"}));
    }
}

QTEST_MAIN(TestButtonMap)
#include "test_button_map.moc"
