#include <QtTest>

#include <QGridLayout>
#include <QMetaMethod>

#include "eq/zarn_button.h"
#include "eq/zarn_button_map.h"

namespace {

const char EQ_STATE[] = "Equalizer state\0OFF\0ON";

QByteArray packed(const char *title, int labels) {
    QByteArray out(title);
    out.append('\0');
    for (int i = 0; i < labels; ++i) {
        out.append(QByteArray("b") + QByteArray::number(i));
        out.append('\0');
    }
    return out;
}

// The (row, column) of a widget in the map's grid and its alignment.
struct Cell {
    int row;
    int column;
    Qt::Alignment alignment;
};

Cell cell_of(ZARNButtonMap &map, QWidget *w) {
    auto *grid = qobject_cast<QGridLayout *>(map.layout());
    const int index = grid->indexOf(w);
    int row = -1, column = -1, rows = 0, columns = 0;
    grid->getItemPosition(index, &row, &column, &rows, &columns);
    return Cell{row, column, grid->itemAt(index)->alignment()};
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

} // namespace

class TestButtonMap : public QObject {
    Q_OBJECT

private slots:
    void button_repeats_press_and_release_with_its_id();
    void declared_signals_and_slots();
    void fresh_equalizer_state_map();
    void release_selects_once();
    void press_changes_nothing();
    void set_selection();
    void set_selection_with_signals_blocked();
    void ids_outside_the_buttons_leave_all_flat();
    void count_is_cut_to_eight();
    void grid_placement();
};

void TestButtonMap::button_repeats_press_and_release_with_its_id() {
    ZARNButton button(QStringLiteral("X"), -3);
    QCOMPARE(button.id, -3);
    QCOMPARE(button.text(), QStringLiteral("X"));
    QVERIFY(button.parent() == nullptr);
    QSignalSpy pressed(&button, qOverload<int>(&ZARNButton::pressed));
    QSignalSpy released(&button, qOverload<int>(&ZARNButton::released));
    QSignalSpy plain_released(&button, &QAbstractButton::released);
    button.click();
    QCOMPARE(pressed.count(), 1);
    QCOMPARE(pressed.at(0).at(0).toInt(), -3);
    QCOMPARE(released.count(), 1);
    QCOMPARE(released.at(0).at(0).toInt(), -3);
    QCOMPARE(plain_released.count(), 1);
}

void TestButtonMap::declared_signals_and_slots() {
    QCOMPARE(method_names(&ZARNButton::staticMetaObject),
             QStringList({"released(int) signal", "pressed(int) signal", "handle_released() slot",
                          "handle_pressed() slot"}));
    QCOMPARE(method_names(&ZARNButtonMap::staticMetaObject),
             QStringList({"selectionChanged(int) signal", "handle_pressed(int) slot",
                          "handle_released(int) slot"}));
}

void TestButtonMap::fresh_equalizer_state_map() {
    ZARNButtonMap map(EQ_STATE, 2, 1);
    QCOMPARE(map.title(), QStringLiteral("Equalizer state"));
    QVERIFY(map.parent() == nullptr);
    QCOMPARE(map.count, 2);
    QCOMPARE(map.selected, 0);
    QCOMPARE(map.buttons[0]->text(), QStringLiteral("OFF"));
    QCOMPARE(map.buttons[1]->text(), QStringLiteral("ON"));
    QCOMPARE(map.buttons[0]->id, 0);
    QCOMPARE(map.buttons[1]->id, 1);
    QVERIFY(!map.buttons[0]->isFlat());
    QVERIFY(map.buttons[1]->isFlat());
    for (int i = 2; i < ZARNButtonMap::MAX_BUTTONS; ++i)
        QVERIFY(map.buttons[i] == nullptr);
    QVERIFY(map.buttons[0]->parent() == &map);
    QCOMPARE(map.layout(), static_cast<QLayout *>(&map.grid));
}

void TestButtonMap::release_selects_once() {
    ZARNButtonMap map(EQ_STATE, 2, 1);
    map.show();
    QSignalSpy changed(&map, &ZARNButtonMap::selectionChanged);
    QTest::mouseClick(map.buttons[1], Qt::LeftButton);
    QCOMPARE(changed.count(), 1);
    QCOMPARE(changed.at(0).at(0).toInt(), 1);
    QCOMPARE(map.selected, 1);
    QVERIFY(map.buttons[0]->isFlat());
    QVERIFY(!map.buttons[1]->isFlat());

    QTest::mouseClick(map.buttons[1], Qt::LeftButton);
    QCOMPARE(changed.count(), 1);

    map.buttons[0]->click();
    QCOMPARE(changed.count(), 2);
    QCOMPARE(changed.at(1).at(0).toInt(), 0);
    QVERIFY(!map.buttons[0]->isFlat());
    QVERIFY(map.buttons[1]->isFlat());
}

void TestButtonMap::press_changes_nothing() {
    ZARNButtonMap map(EQ_STATE, 2, 1);
    map.show();
    QSignalSpy changed(&map, &ZARNButtonMap::selectionChanged);
    QTest::mousePress(map.buttons[1], Qt::LeftButton);
    QCOMPARE(changed.count(), 0);
    QCOMPARE(map.selected, 0);
    QVERIFY(map.buttons[1]->isFlat());
    QTest::mouseRelease(map.buttons[1], Qt::LeftButton);
    QCOMPARE(changed.count(), 1);
}

void TestButtonMap::set_selection() {
    ZARNButtonMap map(EQ_STATE, 2, 1);
    QSignalSpy changed(&map, &ZARNButtonMap::selectionChanged);
    map.set_selection(0);
    QCOMPARE(changed.count(), 0);
    map.set_selection(1);
    QCOMPARE(changed.count(), 1);
    QCOMPARE(changed.at(0).at(0).toInt(), 1);
    map.set_selection(1);
    QCOMPARE(changed.count(), 1);
}

void TestButtonMap::set_selection_with_signals_blocked() {
    ZARNButtonMap map(EQ_STATE, 2, 1);
    QSignalSpy changed(&map, &ZARNButtonMap::selectionChanged);
    {
        const QSignalBlocker blocker(&map);
        map.set_selection(1);
    }
    QCOMPARE(changed.count(), 0);
    QCOMPARE(map.selected, 1);
    QVERIFY(map.buttons[0]->isFlat());
    QVERIFY(!map.buttons[1]->isFlat());
    // Blocking the map does not block its buttons.
    map.buttons[0]->click();
    QCOMPARE(changed.count(), 1);
}

void TestButtonMap::ids_outside_the_buttons_leave_all_flat() {
    for (int id : {-1, 2, 8, 1 << 30, -2147483647 - 1}) {
        ZARNButtonMap map(EQ_STATE, 2, 1);
        QSignalSpy changed(&map, &ZARNButtonMap::selectionChanged);
        map.set_selection(id);
        QCOMPARE(map.selected, id);
        QCOMPARE(changed.count(), 1);
        QCOMPARE(changed.at(0).at(0).toInt(), id);
        QVERIFY(map.buttons[0]->isFlat());
        QVERIFY(map.buttons[1]->isFlat());
        // Any real button can then be selected again.
        map.buttons[0]->click();
        QCOMPARE(map.selected, 0);
        QVERIFY(!map.buttons[0]->isFlat());
    }
}

void TestButtonMap::count_is_cut_to_eight() {
    const QByteArray texts = packed("Many", 12);
    ZARNButtonMap map(texts.constData(), 12, 3);
    QCOMPARE(map.count, 8);
    QCOMPARE(map.findChildren<ZARNButton *>().size(), 8);
    for (int i = 0; i < 8; ++i) {
        QCOMPARE(map.buttons[i]->text(), QString("b%1").arg(i));
        QCOMPARE(map.buttons[i]->isFlat(), i != 0);
    }
    QSignalSpy changed(&map, &ZARNButtonMap::selectionChanged);
    map.buttons[7]->click();
    QCOMPARE(changed.count(), 1);
    QCOMPARE(changed.at(0).at(0).toInt(), 7);
}

void TestButtonMap::grid_placement() {
    const QByteArray texts = packed("Five", 5);
    ZARNButtonMap map(texts.constData(), 5, 2);
    const int want[5][2] = {{0, 0}, {0, 1}, {1, 0}, {1, 1}, {2, 0}};
    for (int i = 0; i < 5; ++i) {
        const Cell c = cell_of(map, map.buttons[i]);
        QCOMPARE(c.row, want[i][0]);
        QCOMPARE(c.column, want[i][1]);
        QCOMPARE(c.alignment, Qt::Alignment(Qt::AlignCenter));
    }
    ZARNButtonMap eq(EQ_STATE, 2, 1);
    QCOMPARE(cell_of(eq, eq.buttons[0]).row, 0);
    QCOMPARE(cell_of(eq, eq.buttons[1]).row, 1);
    QCOMPARE(cell_of(eq, eq.buttons[1]).column, 0);
}

QTEST_MAIN(TestButtonMap)
#include "test_button_map.moc"
