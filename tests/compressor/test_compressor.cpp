// SPDX-License-Identifier: BSD-2-Clause

#include <QCheckBox>
#include <QGridLayout>
#include <QLabel>
#include <QProgressBar>
#include <QPushButton>
#include <QSpinBox>
#include <QtTest>

#include "app/zarn_spin_box_guard.h"
#include "compressor/zarn_compressor.h"
#include "ctl/catalogue.h"
#include "ctl/requests.h"
#include "support/input_events.h"
#include "support/panel_rig.h"
#include "support/routing_rig.h"
#include "support/tool_tips.h"

using zarn::CompressorSettings;
using zarn::MainCompressorSettings;

namespace {

// The writes among the requests: every change reads the settings first.
std::vector<zarn::sim::ReceivedRequest> writes(const std::vector<zarn::sim::ReceivedRequest> &all) {
    std::vector<zarn::sim::ReceivedRequest> out;
    for (const auto &r : all)
        if ((r.code & zarn::DIR_INOUT) == zarn::DIR_IN)
            out.push_back(r);
    return out;
}

QList<int> shown(const ZARNCompressor &c) {
    return {c.enabled_box->value(), c.knee_box->value(), c.attack_box->value(),
            c.decay_box->value()};
}

void set_shown(ZARNCompressor &c, const QList<int> &v) {
    c.enabled_box->setValue(v[0]);
    c.knee_box->setValue(v[1]);
    c.attack_box->setValue(v[2]);
    c.decay_box->setValue(v[3]);
}

QList<int> settings_of(const CompressorSettings &s) {
    return {s.enabled, s.knee, s.attack, s.decay};
}

QList<int> settings_of(const MainCompressorSettings &s) {
    return {s.enabled, s.knee, s.attack, s.decay};
}

} // namespace

class TestCompressor : public QObject {
    Q_OBJECT

private slots:
    void construction_reads_once_and_writes_nothing();
    void widgets_ranges_and_titles();
    void values_outside_the_ranges_are_shown_clamped_and_written_as_reported();
    void gain();
    void a_change_writes_all_four_settings();
    void nothing_is_sent_while_the_device_is_closed();
    void a_window_built_while_closed_reads_before_its_first_write();
    void paste_without_another_source_does_nothing();
    void paste_takes_the_source_values_of_that_moment();
    void paste_writes_once_per_changed_setting_in_order();
    void destroyed_source_is_forgotten();
    void wheel_needs_focus_and_typing_sends_once();
    void every_control_says_what_it_does();
    void enabled_check_box_and_gain_level();
};

void TestCompressor::construction_reads_once_and_writes_nothing() {
    const struct {
        int kind, number;
        std::uint32_t read_code;
        QList<int> shown;
    } cases[] = {
        {zarn::KIND_DEVICE, 1, zarn::REQ_DEV_COMP_GET, {1, 200, 40, 50}},
        {zarn::KIND_LOOP, 0, zarn::REQ_LOOP_COMP_GET, {1, 100, 7, 9}},
        {zarn::KIND_MAIN_OUTPUT, 0, zarn::REQ_MAIN_COMP_GET, {1, 64, 3, 4}},
    };
    PanelRig rig;
    rig.daemon.with_engine([](zarn::sim::Engine &e) {
        e.devices[1].compressor = {1, 1, 200, 40, 50, 0};
        e.loops[0].compressor = {0, 1, 100, 7, 9, 0};
        e.main_compressor = {1, 64, 3, 4, 0};
    });
    for (const auto &k : cases) {
        rig.daemon.clear_requests();
        ZARNCompressor c(rig.window.get(), k.kind, k.number, "x");
        const auto requests = rig.daemon.requests();
        QCOMPARE(requests.size(), std::size_t(1));
        QCOMPARE(requests[0].code, k.read_code);
        // A zero-filled record with only the target number set.
        std::vector<unsigned char> expected(zarn::ioc_size(k.read_code), 0);
        if (k.kind != zarn::KIND_MAIN_OUTPUT)
            std::memcpy(expected.data(), &k.number, sizeof k.number);
        QCOMPARE(requests[0].record, expected);
        QCOMPARE(shown(c), k.shown);
    }
}

void TestCompressor::widgets_ranges_and_titles() {
    PanelRig rig;
    rig.close();
    ZARNCompressor c(rig.window.get(), zarn::KIND_DEVICE, 0, "mic");
    QVERIFY(c.isWindow());
    QVERIFY(!c.isVisible());
    QVERIFY(!c.windowIcon().isNull());
    QCOMPARE((QList<int>{c.enabled_box->minimum(), c.enabled_box->maximum(), c.knee_box->maximum(),
                         c.attack_box->maximum(), c.decay_box->maximum()}),
             (QList<int>{0, 1, 255, 62, 62}));
    QCOMPARE(shown(c), (QList<int>{0, 0, 0, 0}));
    QStringList labels;
    for (int row = 0; row < 5; ++row)
        labels << qobject_cast<QLabel *>(c.grid->itemAtPosition(row, 0)->widget())->text();
    QCOMPARE(labels, QStringList({"Current gain", "Enabled", "Knee", "Attack", "Decay"}));
    QCOMPARE((std::vector<QWidget *>{
                 c.grid->itemAtPosition(0, 1)->widget(), c.grid->itemAtPosition(1, 1)->widget(),
                 c.grid->itemAtPosition(4, 1)->widget(), c.grid->itemAtPosition(5, 0)->widget(),
                 c.grid->itemAtPosition(5, 1)->widget()}),
             (std::vector<QWidget *>{c.gain_label, c.enabled_check, c.decay_box, c.copy_button,
                                     c.paste_button}));

    QCOMPARE(c.windowTitle(), QString("Zarnmix Compressor for mic"));
    ZARNCompressor empty(rig.window.get(), zarn::KIND_LOOP, 0, "");
    QCOMPARE(empty.windowTitle(), QString("Zarnmix Compressor for "));
    ZARNCompressor utf8(rig.window.get(), zarn::KIND_DEVICE, 1, "Gr\xc3\xbc\xc3\x9f");
    QCOMPARE(utf8.windowTitle(), QString::fromUtf8("Zarnmix Compressor for Grüß"));
}

void TestCompressor::values_outside_the_ranges_are_shown_clamped_and_written_as_reported() {
    PanelRig rig;
    rig.daemon.set_hook(
        answer_with(zarn::REQ_DEV_COMP_GET, CompressorSettings{0, 5, 300, 63, -4, 0}));
    ZARNCompressor c(rig.window.get(), zarn::KIND_DEVICE, 0, "x");
    QCOMPARE(shown(c), (QList<int>{1, 255, 62, 0}));

    // The settings the user did not touch go back exactly as reported.
    rig.daemon.clear_requests();
    c.enabled_box->setValue(0);
    const auto writes = rig.sent(zarn::REQ_DEV_COMP_SET);
    QCOMPARE(writes.size(), std::size_t(1));
    QCOMPARE(settings_of(record_of<CompressorSettings>(writes[0])), (QList<int>{0, 300, 63, -4}));
}

void TestCompressor::gain() {
    PanelRig rig;
    rig.daemon.set_hook(
        answer_with(zarn::REQ_MAIN_COMP_GET, MainCompressorSettings{0, 0, 0, 0, 1000}));
    ZARNCompressor c(rig.window.get(), zarn::KIND_MAIN_OUTPUT, 0, "Main Output");
    // The construction read carried a gain, but only a refresh shows it.
    QCOMPARE(c.gain_label->text(), QString("1.0"));

    const std::pair<int, const char *> cases[] = {{1000, "1"},
                                                  {707, "0.707"},
                                                  {1, "0.001"},
                                                  {-250, "-0.25"},
                                                  {0, "0"},
                                                  {123456789, "123457"},
                                                  {1000000000, "1e+06"},
                                                  {2147483647, "2.14748e+06"},
                                                  {-2147483647 - 1, "-2.14748e+06"}};
    for (const auto &[gain, text] : cases) {
        rig.daemon.set_hook(
            answer_with(zarn::REQ_MAIN_COMP_GET, MainCompressorSettings{0, 0, 0, 0, gain}));
        rig.daemon.clear_requests();
        c.refresh_gain();
        QCOMPARE(c.gain_label->text(), QString(text));
        // A refresh is one read and never touches the settings.
        QCOMPARE(rig.codes(), std::vector<std::uint32_t>{zarn::REQ_MAIN_COMP_GET});
    }
    QCOMPARE(shown(c), (QList<int>{0, 0, 0, 0}));

    // A failed refresh keeps the label.
    rig.daemon.set_hook(fail(zarn::REQ_MAIN_COMP_GET));
    c.refresh_gain();
    QCOMPARE(c.gain_label->text(), QString("-2.14748e+06"));
}

void TestCompressor::a_change_writes_all_four_settings() {
    zarn::sim::Topology topology;
    topology.loop_channels = {2, 2};
    PanelRig rig(topology);
    // The daemon's gain must not travel back in a write.
    rig.daemon.set_hook(
        [](std::uint32_t code, unsigned char *record, std::vector<double> &) -> std::optional<int> {
            if (code == zarn::REQ_MAIN_COMP_GET) {
                const MainCompressorSettings s{1, 90, 11, 12, 555};
                std::memcpy(record, &s, sizeof s);
                return 0;
            }
            if (code == zarn::REQ_DEV_COMP_GET || code == zarn::REQ_LOOP_COMP_GET) {
                CompressorSettings s{0, 1, 90, 11, 12, 555};
                std::memcpy(&s.number, record, sizeof s.number);
                std::memcpy(record, &s, sizeof s);
                return 0;
            }
            return std::nullopt;
        });
    const CompressorSettings target{1, 1, 91, 11, 12, 0};
    const MainCompressorSettings main{1, 91, 11, 12, 0};
    const auto *t = reinterpret_cast<const unsigned char *>(&target);
    const auto *m = reinterpret_cast<const unsigned char *>(&main);
    const struct {
        int kind, number;
        std::uint32_t write_code;
        std::vector<unsigned char> record;
    } cases[] = {
        {zarn::KIND_DEVICE, 1, zarn::REQ_DEV_COMP_SET, {t, t + sizeof target}},
        {zarn::KIND_LOOP, 1, zarn::REQ_LOOP_COMP_SET, {t, t + sizeof target}},
        {zarn::KIND_MAIN_OUTPUT, 0, zarn::REQ_MAIN_COMP_SET, {m, m + sizeof main}},
    };
    for (const auto &k : cases) {
        ZARNCompressor c(rig.window.get(), k.kind, k.number, "x");
        rig.daemon.clear_requests();
        c.knee_box->setValue(91);
        c.knee_box->setValue(91); // no change, no request
        // The settings are read first, so another client's are kept.
        const auto requests = rig.daemon.requests();
        QCOMPARE(requests.size(), std::size_t(2));
        QCOMPARE(requests[0].code, zarn::kind_info(k.kind)->compressor_get);
        QCOMPARE(requests[1].code, k.write_code);
        QCOMPARE(requests[1].record, k.record);
    }
}

void TestCompressor::nothing_is_sent_while_the_device_is_closed() {
    PanelRig rig;
    ZARNCompressor c(rig.window.get(), zarn::KIND_DEVICE, 0, "x");
    const QList<int> before = shown(c);
    rig.close();
    rig.daemon.clear_requests();
    c.attack_box->setValue(5);
    c.refresh_gain();
    QCOMPARE(rig.daemon.requests().size(), std::size_t(0));
    QCOMPARE(c.gain_label->text(), QString("1.0"));

    // The change that could not be sent is undone, not sent later.
    QCOMPARE(shown(c), before);
    rig.open();
    c.decay_box->setValue(6);
    const auto writes = rig.sent(zarn::REQ_DEV_COMP_SET);
    QCOMPARE(writes.size(), std::size_t(1));
    QCOMPARE(settings_of(record_of<CompressorSettings>(writes[0])), shown(c));
    QCOMPARE(shown(c).mid(2), (QList<int>{before[2], 6}));
}

void TestCompressor::a_window_built_while_closed_reads_before_its_first_write() {
    PanelRig rig;
    rig.daemon.with_engine(
        [](zarn::sim::Engine &e) { e.devices[0].compressor = {0, 1, 128, 10, 30, 0}; });
    rig.close();
    ZARNCompressor c(rig.window.get(), zarn::KIND_DEVICE, 0, "x");
    QCOMPARE(rig.daemon.requests().size(), std::size_t(0));

    rig.open();
    c.refresh_gain();
    QCOMPARE(shown(c), (QList<int>{0, 0, 0, 0}));
    QVERIFY(c.gain_label->text() != QString("1.0"));

    // The first change reads the settings it never had, then sends them with
    // the one the user changed.
    rig.daemon.clear_requests();
    c.attack_box->setValue(4);
    QCOMPARE(rig.daemon.count(zarn::REQ_DEV_COMP_GET), std::size_t(1));
    const auto writes = rig.sent(zarn::REQ_DEV_COMP_SET);
    QCOMPARE(writes.size(), std::size_t(1));
    QCOMPARE(settings_of(record_of<CompressorSettings>(writes[0])), (QList<int>{1, 128, 4, 30}));
    QCOMPARE(shown(c), (QList<int>{1, 128, 4, 30}));

    // While the read still fails, nothing is sent and the change is undone.
    rig.close();
    ZARNCompressor other(rig.window.get(), zarn::KIND_DEVICE, 0, "y");
    other.knee_box->setValue(9);
    QCOMPARE(other.knee_box->value(), 0);
}

void TestCompressor::paste_without_another_source_does_nothing() {
    PanelRig rig;
    ZARNCompressor a(rig.window.get(), zarn::KIND_DEVICE, 0, "a");
    ZARNCompressor b(rig.window.get(), zarn::KIND_DEVICE, 1, "b");
    set_shown(a, {1, 10, 20, 30});
    rig.daemon.clear_requests();
    QVERIFY(rig.window->compressor_copy_source == nullptr);
    b.paste_button->click(); // before any copy
    QVERIFY(shown(b) != shown(a));
    a.copy_button->click(); // COPY sends and stores nothing
    QCOMPARE(rig.window->compressor_copy_source, &a);
    a.paste_button->click(); // into the source
    QCOMPARE(rig.daemon.requests().size(), std::size_t(0));
}

void TestCompressor::paste_takes_the_source_values_of_that_moment() {
    PanelRig rig;
    ZARNCompressor a(rig.window.get(), zarn::KIND_DEVICE, 0, "a");
    ZARNCompressor b(rig.window.get(), zarn::KIND_DEVICE, 1, "b");
    ZARNCompressor main(rig.window.get(), zarn::KIND_MAIN_OUTPUT, 0, "Main Output");
    set_shown(a, {1, 10, 20, 30});
    set_shown(b, {1, 10, 20, 30});
    set_shown(main, {1, 77, 20, 9});
    a.copy_button->click();
    a.knee_box->setValue(77);
    rig.daemon.clear_requests();

    // One changed setting: one write of the whole record.
    b.paste_button->click();
    QCOMPARE(shown(b), (QList<int>{1, 77, 20, 30}));
    auto requests = writes(rig.daemon.requests());
    QCOMPARE(requests.size(), std::size_t(1));
    QCOMPARE(record_of<CompressorSettings>(requests[0]).number, 1);
    QCOMPARE(settings_of(record_of<CompressorSettings>(requests[0])), (QList<int>{1, 77, 20, 30}));
    // Pasting the same values again changes nothing and sends nothing.
    rig.daemon.clear_requests();
    b.paste_button->click();
    QCOMPARE(rig.daemon.requests().size(), std::size_t(0));

    // The same copy pastes across kinds.
    QCOMPARE(rig.window->compressor_copy_source, &a);
    main.paste_button->click();
    requests = writes(rig.daemon.requests());
    QCOMPARE(requests.size(), std::size_t(1));
    QCOMPARE(requests[0].code, zarn::REQ_MAIN_COMP_SET);
    QCOMPARE(settings_of(record_of<MainCompressorSettings>(requests[0])),
             (QList<int>{1, 77, 20, 30}));
}

void TestCompressor::paste_writes_once_per_changed_setting_in_order() {
    PanelRig rig;
    ZARNCompressor a(rig.window.get(), zarn::KIND_LOOP, 0, "a");
    ZARNCompressor b(rig.window.get(), zarn::KIND_DEVICE, 1, "b");
    set_shown(a, {1, 10, 20, 30});
    set_shown(b, {0, 40, 50, 60});
    a.copy_button->click();
    rig.daemon.clear_requests();

    b.paste_button->click();

    const auto requests = writes(rig.daemon.requests());
    QCOMPARE(requests.size(), std::size_t(4));
    const CompressorSettings expected[] = {
        {1, 1, 40, 50, 60, 0}, {1, 1, 10, 50, 60, 0}, {1, 1, 10, 20, 60, 0}, {1, 1, 10, 20, 30, 0}};
    for (int i = 0; i < 4; ++i) {
        const auto *e = reinterpret_cast<const unsigned char *>(&expected[i]);
        QCOMPARE(requests[i].code, zarn::REQ_DEV_COMP_SET);
        QCOMPARE(requests[i].record, std::vector<unsigned char>(e, e + sizeof expected[i]));
    }
}

void TestCompressor::destroyed_source_is_forgotten() {
    PanelRig rig;
    ZARNCompressor b(rig.window.get(), zarn::KIND_DEVICE, 1, "b");
    auto a = std::make_unique<ZARNCompressor>(rig.window.get(), zarn::KIND_DEVICE, 0, "a");
    set_shown(*a, {1, 10, 20, 30});
    a->copy_button->click();
    a.reset();
    QVERIFY(rig.window->compressor_copy_source == nullptr);
    rig.daemon.clear_requests();
    const QList<int> before = shown(b);
    b.paste_button->click();
    QCOMPARE(rig.daemon.requests().size(), std::size_t(0));
    QCOMPARE(shown(b), before);
    QVERIFY(before != (QList<int>{1, 10, 20, 30}));

    // Destroying a window that is not the source leaves the source alone.
    b.copy_button->click();
    { ZARNCompressor other(rig.window.get(), zarn::KIND_DEVICE, 0, "other"); }
    QCOMPARE(rig.window->compressor_copy_source, &b);
}

void TestCompressor::wheel_needs_focus_and_typing_sends_once() {
    PanelRig rig;
    ZARNCompressor c(rig.window.get(), zarn::KIND_DEVICE, 0, "x");
    c.show();
    QVERIFY(QTest::qWaitForWindowExposed(&c));
    set_shown(c, {1, 100, 10, 30});
    rig.daemon.clear_requests();
    // A window gives the focus to its first box when shown: move it away.
    QVERIFY(focus(c.copy_button));
    for (QSpinBox *box : {c.enabled_box, c.knee_box, c.attack_box, c.decay_box})
        turn_wheel(box, -1);
    QVERIFY(rig.daemon.requests().empty());

    QVERIFY(focus(c.knee_box));
    c.knee_box->selectAll();
    QTest::keyClicks(c.knee_box, "250");
    QVERIFY(rig.daemon.requests().empty());
    QTest::keyClick(c.knee_box, Qt::Key_Return);
    const auto writes = rig.sent(zarn::REQ_DEV_COMP_SET);
    QCOMPARE(writes.size(), std::size_t(1));
    QCOMPARE(settings_of(record_of<CompressorSettings>(writes[0])), QList<int>({1, 250, 10, 30}));
}

void TestCompressor::every_control_says_what_it_does() {
    PanelRig rig;
    ZARNCompressor c(rig.window.get(), zarn::KIND_MAIN_OUTPUT, 0, "x");
    QCOMPARE(controls_without_tool_tips(&c), QStringList());
    // Each setting's range, as the box has it.
    QStringList ranges;
    for (QSpinBox *box : {c.enabled_box, c.knee_box, c.attack_box, c.decay_box})
        ranges << ZARNSpinBoxGuard::tool_tip(box).section('\n', 1, 1);
    QCOMPARE(ranges,
             QStringList({"From 0 to 1.", "From 0 to 255.", "From 0 to 62.", "From 0 to 62."}));
    QVERIFY(!c.gain_label->toolTip().isEmpty());
}

void TestCompressor::enabled_check_box_and_gain_level() {
    PanelRig rig;
    rig.daemon.set_hook(
        answer_with(zarn::REQ_DEV_COMP_GET, CompressorSettings{1, 0, 100, 10, 30, 500}));
    ZARNCompressor c(rig.window.get(), zarn::KIND_DEVICE, 1, "x");
    QVERIFY(!c.enabled_check->isChecked());
    rig.daemon.clear_requests();
    c.enabled_check->click();
    // The whole record, as a change of the spin box would write it.
    auto writes = rig.sent(zarn::REQ_DEV_COMP_SET);
    QCOMPARE(writes.size(), std::size_t(1));
    const auto sent = record_of<CompressorSettings>(writes[0]);
    QCOMPARE((QList<int>{sent.number, sent.enabled, sent.knee, sent.attack, sent.decay, sent.gain}),
             (QList<int>{1, 1, 100, 10, 30, 0}));
    QCOMPARE(c.enabled_box->value(), 1);
    // A refused write unticks it again, as the daemon still has it off.
    rig.daemon.set_hook(
        [](std::uint32_t code, unsigned char *record, std::vector<double> &) -> std::optional<int> {
            if (code == zarn::REQ_DEV_COMP_SET)
                return -1;
            if (code != zarn::REQ_DEV_COMP_GET)
                return std::nullopt;
            const CompressorSettings s{1, 0, 100, 10, 30, 500};
            std::memcpy(record, &s, sizeof s);
            return 0;
        });
    c.enabled_check->click();
    c.enabled_check->click();
    QVERIFY(!c.enabled_check->isChecked());

    // The gain as a level, and its reduction in tenths of a dB on the bar.
    const std::tuple<int, const char *, int> cases[] = {{500, "-6.0 dB", 60},
                                                        {1000, "0.0 dB", 0},
                                                        {2000, "6.0 dB", 0},
                                                        {999, "0.0 dB", 0},
                                                        {0, "-inf dB", 240}};
    for (const auto &[gain, level, bar] : cases) {
        rig.daemon.set_hook(
            answer_with(zarn::REQ_DEV_COMP_GET, CompressorSettings{1, 1, 100, 10, 30, gain}));
        c.refresh_gain();
        QCOMPARE(c.level_label->text(), QString(level));
        QCOMPARE(c.reduction_bar->value(), bar);
    }

    // Shown, a reduction of 2 dB is drawn at once, not only once it grows.
    rig.daemon.set_hook(
        answer_with(zarn::REQ_DEV_COMP_GET, CompressorSettings{1, 1, 100, 10, 30, 1000}));
    c.refresh_gain();
    c.show();
    QVERIFY(QTest::qWaitForWindowExposed(&c));
    QTest::qWait(50);
    rig.daemon.set_hook(
        answer_with(zarn::REQ_DEV_COMP_GET, CompressorSettings{1, 1, 100, 10, 30, 794}));
    PaintCounter painted;
    c.reduction_bar->installEventFilter(&painted);
    c.refresh_gain();
    QTRY_VERIFY(painted.paints > 0);
}

QTEST_MAIN(TestCompressor)
#include "test_compressor.moc"
