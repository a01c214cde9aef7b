#include <QGridLayout>
#include <QLabel>
#include <QPushButton>
#include <QSpinBox>
#include <QtTest>

#include "compressor/zarn_compressor.h"
#include "ctl/strip_kind.h"
#include "panels/panel_rig.h"

using zarn::CompressorSettings;
using zarn::MainCompressorSettings;

namespace {

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
    void construction_reads_once_and_writes_nothing_data();
    void construction_reads_once_and_writes_nothing();
    void widgets_and_ranges();
    void titles();
    void values_outside_the_ranges_are_clamped_and_written_clamped();
    void gain_shows_one_point_zero_until_the_first_refresh();
    void gain_format_data();
    void gain_format();
    void failed_refresh_keeps_the_label();
    void a_change_writes_all_four_settings_data();
    void a_change_writes_all_four_settings();
    void nothing_is_sent_while_the_device_is_closed();
    void a_window_built_while_closed_keeps_zeros();
    void paste_before_any_copy_does_nothing();
    void paste_into_the_source_does_nothing();
    void paste_takes_the_source_values_of_that_moment();
    void paste_writes_once_per_changed_setting_in_order();
    void paste_of_one_changed_setting_writes_once();
    void paste_works_across_kinds();
    void destroyed_source_is_forgotten();
};

void TestCompressor::construction_reads_once_and_writes_nothing_data() {
    QTest::addColumn<int>("kind");
    QTest::addColumn<int>("number");
    QTest::addColumn<quint32>("read_code");
    QTest::newRow("device 1") << int(zarn::KIND_DEVICE) << 1 << quint32(zarn::REQ_DEV_COMP_GET);
    QTest::newRow("loopback 0") << int(zarn::KIND_LOOP) << 0 << quint32(zarn::REQ_LOOP_COMP_GET);
    QTest::newRow("main output") << int(zarn::KIND_MAIN_OUTPUT) << 0
                                 << quint32(zarn::REQ_MAIN_COMP_GET);
}

void TestCompressor::construction_reads_once_and_writes_nothing() {
    QFETCH(int, kind);
    QFETCH(int, number);
    QFETCH(quint32, read_code);
    PanelRig rig;
    rig.daemon.with_engine([](zarn::sim::Engine &e) {
        e.devices[1].compressor = {1, 1, 200, 40, 50, 0};
        e.loops[0].compressor = {0, 1, 100, 7, 9, 0};
        e.main_compressor = {1, 64, 3, 4, 0};
    });

    ZARNCompressor c(rig.window.get(), kind, number, "x");

    const auto requests = rig.daemon.requests();
    QCOMPARE(requests.size(), std::size_t(1));
    QCOMPARE(requests[0].code, read_code);
    // A zero-filled record with only the target number set.
    std::vector<unsigned char> expected(zarn::ioc_size(read_code), 0);
    if (kind != zarn::KIND_MAIN_OUTPUT)
        std::memcpy(expected.data(), &number, sizeof number);
    QCOMPARE(requests[0].record, expected);

    if (kind == zarn::KIND_DEVICE)
        QCOMPARE(shown(c), (QList<int>{1, 200, 40, 50}));
    else if (kind == zarn::KIND_LOOP)
        QCOMPARE(shown(c), (QList<int>{1, 100, 7, 9}));
    else
        QCOMPARE(shown(c), (QList<int>{1, 64, 3, 4}));
}

void TestCompressor::widgets_and_ranges() {
    PanelRig rig;
    rig.close();
    ZARNCompressor c(rig.window.get(), zarn::KIND_DEVICE, 0, "x");
    QVERIFY(c.isWindow());
    QVERIFY(!c.isVisible());
    QCOMPARE(c.enabled_box->minimum(), 0);
    QCOMPARE(c.enabled_box->maximum(), 1);
    QCOMPARE(c.knee_box->maximum(), 255);
    QCOMPARE(c.attack_box->maximum(), 62);
    QCOMPARE(c.decay_box->maximum(), 62);
    QCOMPARE(shown(c), (QList<int>{0, 0, 0, 0}));
    const char *labels[] = {"Current gain", "Enabled", "Knee", "Attack", "Decay"};
    for (int row = 0; row < 5; ++row) {
        auto *label = qobject_cast<QLabel *>(c.grid->itemAtPosition(row, 0)->widget());
        QVERIFY(label);
        QCOMPARE(label->text(), QString(labels[row]));
    }
    QCOMPARE(c.grid->itemAtPosition(0, 1)->widget(), c.gain_label);
    QCOMPARE(c.grid->itemAtPosition(1, 1)->widget(), c.enabled_box);
    QCOMPARE(c.grid->itemAtPosition(4, 1)->widget(), c.decay_box);
    QCOMPARE(c.grid->itemAtPosition(5, 0)->widget(), c.copy_button);
    QCOMPARE(c.grid->itemAtPosition(5, 1)->widget(), c.paste_button);
    QVERIFY(!c.windowIcon().isNull());
}

void TestCompressor::titles() {
    PanelRig rig;
    rig.close();
    ZARNCompressor mic(rig.window.get(), zarn::KIND_DEVICE, 0, "mic");
    QCOMPARE(mic.windowTitle(), QString("Zarnmix Compressor for mic"));
    ZARNCompressor empty(rig.window.get(), zarn::KIND_LOOP, 0, "");
    QCOMPARE(empty.windowTitle(), QString("Zarnmix Compressor for "));
    ZARNCompressor utf8(rig.window.get(), zarn::KIND_DEVICE, 1,
                        "Gr\xc3\xbc\xc3\x9f"
                        "e");
    QCOMPARE(utf8.windowTitle(), QString::fromUtf8("Zarnmix Compressor for Grüße"));
}

void TestCompressor::values_outside_the_ranges_are_clamped_and_written_clamped() {
    PanelRig rig;
    rig.daemon.set_hook(
        answer_with(zarn::REQ_DEV_COMP_GET, CompressorSettings{0, 5, 300, 63, -4, 0}));
    ZARNCompressor c(rig.window.get(), zarn::KIND_DEVICE, 0, "x");
    QCOMPARE(shown(c), (QList<int>{1, 255, 62, 0}));

    rig.daemon.clear_requests();
    c.enabled_box->setValue(0);
    const auto writes = rig.sent(zarn::REQ_DEV_COMP_SET);
    QCOMPARE(writes.size(), std::size_t(1));
    QCOMPARE(settings_of(record_of<CompressorSettings>(writes[0])), (QList<int>{0, 255, 62, 0}));
}

void TestCompressor::gain_shows_one_point_zero_until_the_first_refresh() {
    PanelRig rig;
    rig.daemon.set_hook(
        answer_with(zarn::REQ_DEV_COMP_GET, CompressorSettings{0, 0, 0, 0, 0, 1000}));
    ZARNCompressor c(rig.window.get(), zarn::KIND_DEVICE, 0, "x");
    // The construction read carried a gain, but only a refresh shows it.
    QCOMPARE(c.gain_label->text(), QString("1.0"));
    c.refresh_gain();
    QCOMPARE(c.gain_label->text(), QString("1"));
}

void TestCompressor::gain_format_data() {
    QTest::addColumn<int>("gain");
    QTest::addColumn<QString>("text");
    QTest::newRow("unity") << 1000 << "1";
    QTest::newRow("707") << 707 << "0.707";
    QTest::newRow("one thousandth") << 1 << "0.001";
    QTest::newRow("negative") << -250 << "-0.25";
    QTest::newRow("zero") << 0 << "0";
    QTest::newRow("six digits") << 123456789 << "123457";
    QTest::newRow("one million") << 1000000000 << "1e+06";
    QTest::newRow("largest") << 2147483647 << "2.14748e+06";
    QTest::newRow("smallest") << (-2147483647 - 1) << "-2.14748e+06";
}

void TestCompressor::gain_format() {
    QFETCH(int, gain);
    QFETCH(QString, text);
    PanelRig rig;
    rig.daemon.set_hook(
        answer_with(zarn::REQ_MAIN_COMP_GET, MainCompressorSettings{0, 0, 0, 0, gain}));
    ZARNCompressor c(rig.window.get(), zarn::KIND_MAIN_OUTPUT, 0, "Main Output");
    rig.daemon.clear_requests();
    c.refresh_gain();
    QCOMPARE(c.gain_label->text(), text);
    // A refresh is one read and never touches the settings.
    QCOMPARE(rig.codes(), std::vector<std::uint32_t>{zarn::REQ_MAIN_COMP_GET});
    QCOMPARE(shown(c), (QList<int>{0, 0, 0, 0}));
}

void TestCompressor::failed_refresh_keeps_the_label() {
    PanelRig rig;
    rig.daemon.set_hook(
        answer_with(zarn::REQ_LOOP_COMP_GET, CompressorSettings{0, 0, 0, 0, 0, 707}));
    ZARNCompressor c(rig.window.get(), zarn::KIND_LOOP, 0, "x");
    c.refresh_gain();
    QCOMPARE(c.gain_label->text(), QString("0.707"));
    rig.daemon.set_hook(fail(zarn::REQ_LOOP_COMP_GET));
    c.refresh_gain();
    QCOMPARE(c.gain_label->text(), QString("0.707"));
}

void TestCompressor::a_change_writes_all_four_settings_data() {
    QTest::addColumn<int>("kind");
    QTest::addColumn<quint32>("write_code");
    QTest::newRow("device") << int(zarn::KIND_DEVICE) << quint32(zarn::REQ_DEV_COMP_SET);
    QTest::newRow("loopback") << int(zarn::KIND_LOOP) << quint32(zarn::REQ_LOOP_COMP_SET);
    QTest::newRow("main output") << int(zarn::KIND_MAIN_OUTPUT) << quint32(zarn::REQ_MAIN_COMP_SET);
}

void TestCompressor::a_change_writes_all_four_settings() {
    QFETCH(int, kind);
    QFETCH(quint32, write_code);
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
    const int number = kind == zarn::KIND_MAIN_OUTPUT ? 0 : 1;
    ZARNCompressor c(rig.window.get(), kind, number, "x");
    rig.daemon.clear_requests();

    c.knee_box->setValue(91);
    c.knee_box->setValue(91); // no change, no request

    const auto requests = rig.daemon.requests();
    QCOMPARE(requests.size(), std::size_t(1));
    QCOMPARE(requests[0].code, write_code);
    if (kind == zarn::KIND_MAIN_OUTPUT) {
        const MainCompressorSettings expected{1, 91, 11, 12, 0};
        QCOMPARE(requests[0].record.size(), sizeof expected);
        QVERIFY(std::memcmp(requests[0].record.data(), &expected, sizeof expected) == 0);
    } else {
        const CompressorSettings expected{number, 1, 91, 11, 12, 0};
        QCOMPARE(requests[0].record.size(), sizeof expected);
        QVERIFY(std::memcmp(requests[0].record.data(), &expected, sizeof expected) == 0);
    }
}

void TestCompressor::nothing_is_sent_while_the_device_is_closed() {
    PanelRig rig;
    ZARNCompressor c(rig.window.get(), zarn::KIND_DEVICE, 0, "x");
    rig.close();
    rig.daemon.clear_requests();
    c.attack_box->setValue(5);
    c.refresh_gain();
    QCOMPARE(rig.daemon.requests().size(), std::size_t(0));
    QCOMPARE(c.gain_label->text(), QString("1.0"));

    // The change made while closed is not sent later; the next one sends all.
    rig.open();
    c.decay_box->setValue(6);
    const auto writes = rig.sent(zarn::REQ_DEV_COMP_SET);
    QCOMPARE(writes.size(), std::size_t(1));
    QCOMPARE(record_of<CompressorSettings>(writes[0]).attack, 5);
    QCOMPARE(record_of<CompressorSettings>(writes[0]).decay, 6);
}

void TestCompressor::a_window_built_while_closed_keeps_zeros() {
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

    c.attack_box->setValue(4);
    const auto writes = rig.sent(zarn::REQ_DEV_COMP_SET);
    QCOMPARE(writes.size(), std::size_t(1));
    QCOMPARE(settings_of(record_of<CompressorSettings>(writes[0])), (QList<int>{0, 0, 4, 0}));
}

void TestCompressor::paste_before_any_copy_does_nothing() {
    PanelRig rig;
    ZARNCompressor a(rig.window.get(), zarn::KIND_DEVICE, 0, "a");
    ZARNCompressor b(rig.window.get(), zarn::KIND_DEVICE, 1, "b");
    set_shown(a, {1, 10, 20, 30});
    rig.daemon.clear_requests();
    QVERIFY(rig.window->compressor_copy_source == nullptr);
    b.paste_button->click();
    QCOMPARE(rig.daemon.requests().size(), std::size_t(0));
    QVERIFY(shown(b) != shown(a));
}

void TestCompressor::paste_into_the_source_does_nothing() {
    PanelRig rig;
    ZARNCompressor a(rig.window.get(), zarn::KIND_DEVICE, 0, "a");
    a.copy_button->click();
    QCOMPARE(rig.window->compressor_copy_source, &a);
    rig.daemon.clear_requests();
    a.paste_button->click();
    QCOMPARE(rig.daemon.requests().size(), std::size_t(0));
}

void TestCompressor::paste_takes_the_source_values_of_that_moment() {
    PanelRig rig;
    ZARNCompressor a(rig.window.get(), zarn::KIND_DEVICE, 0, "a");
    ZARNCompressor b(rig.window.get(), zarn::KIND_DEVICE, 1, "b");
    set_shown(a, {1, 10, 20, 30});
    set_shown(b, {1, 10, 20, 30});
    rig.daemon.clear_requests();
    // COPY sends and stores nothing.
    a.copy_button->click();
    QCOMPARE(rig.daemon.requests().size(), std::size_t(0));
    a.knee_box->setValue(77);
    rig.daemon.clear_requests();

    b.paste_button->click();
    QCOMPARE(shown(b), (QList<int>{1, 77, 20, 30}));
    const auto writes = rig.sent(zarn::REQ_DEV_COMP_SET);
    QCOMPARE(writes.size(), std::size_t(1));
    QCOMPARE(record_of<CompressorSettings>(writes[0]).number, 1);
    QCOMPARE(settings_of(record_of<CompressorSettings>(writes[0])), (QList<int>{1, 77, 20, 30}));
    // One copy can be pasted again and again.
    QCOMPARE(rig.window->compressor_copy_source, &a);
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

    const auto requests = rig.daemon.requests();
    QCOMPARE(requests.size(), std::size_t(4));
    const QList<QList<int>> expected = {
        {1, 40, 50, 60}, {1, 10, 50, 60}, {1, 10, 20, 60}, {1, 10, 20, 30}};
    for (int i = 0; i < 4; ++i) {
        QCOMPARE(requests[i].code, zarn::REQ_DEV_COMP_SET);
        const auto rec = record_of<CompressorSettings>(requests[i]);
        QCOMPARE(rec.number, 1);
        QCOMPARE(rec.gain, 0);
        QCOMPARE(settings_of(rec), expected[i]);
    }
}

void TestCompressor::paste_of_one_changed_setting_writes_once() {
    PanelRig rig;
    ZARNCompressor a(rig.window.get(), zarn::KIND_DEVICE, 0, "a");
    ZARNCompressor b(rig.window.get(), zarn::KIND_DEVICE, 1, "b");
    set_shown(a, {1, 10, 20, 30});
    set_shown(b, {1, 10, 21, 30});
    a.copy_button->click();
    rig.daemon.clear_requests();
    b.paste_button->click();
    const auto requests = rig.daemon.requests();
    QCOMPARE(requests.size(), std::size_t(1));
    QCOMPARE(settings_of(record_of<CompressorSettings>(requests[0])), (QList<int>{1, 10, 20, 30}));

    // Pasting the same values again changes nothing and sends nothing.
    rig.daemon.clear_requests();
    b.paste_button->click();
    QCOMPARE(rig.daemon.requests().size(), std::size_t(0));
}

void TestCompressor::paste_works_across_kinds() {
    PanelRig rig;
    ZARNCompressor dev(rig.window.get(), zarn::KIND_DEVICE, 0, "dev");
    ZARNCompressor main(rig.window.get(), zarn::KIND_MAIN_OUTPUT, 0, "Main Output");
    set_shown(dev, {1, 2, 3, 4});
    set_shown(main, {1, 2, 3, 9});
    dev.copy_button->click();
    rig.daemon.clear_requests();
    main.paste_button->click();
    const auto requests = rig.daemon.requests();
    QCOMPARE(requests.size(), std::size_t(1));
    QCOMPARE(requests[0].code, zarn::REQ_MAIN_COMP_SET);
    QCOMPARE(settings_of(record_of<MainCompressorSettings>(requests[0])), (QList<int>{1, 2, 3, 4}));
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

QTEST_MAIN(TestCompressor)
#include "tst_compressor.moc"
