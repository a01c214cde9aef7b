#include <QGridLayout>
#include <QPointer>
#include <QTest>
#include <cmath>
#include <cstdint>
#include <optional>

#include "eq_fixture.h"

using eqfix::BoxCloser;
using eqfix::make_equalizer;
using fixture::as;
using zarn::FilterRecord;
using zarn::sim::TestDaemon;

namespace {

constexpr int RX_DEVICE = zarn::KIND_DEVICE | zarn::EQ_RX_FLAG;

// A two-tap average: |cos(w/2)|, falling from 1 at 0 Hz.
std::vector<double> two_tap_filter(int n) {
    std::vector<double> c(static_cast<std::size_t>(n), 0.0);
    c[0] = 0.5;
    c[1] = 0.5;
    return c;
}

// Answers the length query of every filter read with the given size.
TestDaemon::Hook length_answer(std::int32_t size, int result = 0) {
    return [size, result](std::uint32_t code, unsigned char *record,
                          std::vector<double> &) -> std::optional<int> {
        if (!zarn::is_filter_get(code))
            return std::nullopt;
        FilterRecord r;
        std::memcpy(&r, record, sizeof r);
        if (r.coefficients != 0)
            return std::nullopt;
        r.size = size;
        std::memcpy(record, &r, sizeof r);
        return result;
    };
}

// Answers the fetch of every filter read with success and the given size.
TestDaemon::Hook fetch_answer(std::int32_t size) {
    return [size](std::uint32_t code, unsigned char *record,
                  std::vector<double> &payload) -> std::optional<int> {
        if (!zarn::is_filter_get(code))
            return std::nullopt;
        FilterRecord r;
        std::memcpy(&r, record, sizeof r);
        if (r.coefficients == 0)
            return std::nullopt;
        r.size = size;
        std::memcpy(record, &r, sizeof r);
        payload.assign(payload.size(), 0.25);
        return 0;
    };
}

bool is_off_request(const zarn::sim::ReceivedRequest &r, int length) {
    const FilterRecord rec = as<FilterRecord>(r);
    return rec.size == length && rec.reserved == 0 && rec.coefficients == 0 && r.payload.empty();
}

} // namespace

class TestEqualizer : public QObject {
    Q_OBJECT

    // Every test answers stray message boxes, so that a box nobody expects
    // fails the test instead of hanging it.
    std::unique_ptr<BoxCloser> closer;

private slots:
    void init() { closer = std::make_unique<BoxCloser>(); }
    void cleanup() { closer.reset(); }
    void window_title_icon_and_layout();
    void groups_and_their_cells();
    void strips_create_receive_then_transmit();
    void no_filter_support_disables_eq_buttons();
    void missing_transmit_filter_disables_only_tx();
    void eq_buttons_show_their_windows();
    void strip_destructor_deletes_its_windows();
    void construction_reads_daemon_filter();
    void unusable_fetch_keeps_length_data();
    void unusable_fetch_keeps_length();
    void length_query_rules_data();
    void length_query_rules();
    void closed_device_at_construction();
    void empty_text_while_on();
    void invalid_text_keeps_previous_filter();
    void off_sends_null_address();
    void apply_while_off_resends_off();
    void apply_designs_and_sends();
    void text_trimmed_before_normalize_line();
    void loop_windows_use_loop_requests();
    void nothing_sent_without_rate_or_device();
    void paste_without_source_or_into_itself();
    void paste_takes_source_text_at_paste_time();
    void paste_on_into_off_sends_at_once();
    void paste_on_into_on_replaces_text_only();
    void paste_off_into_on_switches_off();
    void destroyed_source_clears_copy_source();
    void preset_texts_and_mnemonics();
    void preset_only_fills_editor();
    void preset_then_on_sends_it();
};

void TestEqualizer::window_title_icon_and_layout() {
    TestDaemon d(eqfix::topology());
    auto w = fixture::make_window(d.path());
    auto rx = make_equalizer(w.get(), RX_DEVICE, 0, 1);
    auto tx = make_equalizer(w.get(), zarn::KIND_LOOP, 0, 0);
    QCOMPARE(rx->windowTitle(), QStringLiteral("Zarnmix Equalizer RX Ch1"));
    QCOMPARE(tx->windowTitle(), QStringLiteral("Zarnmix Equalizer TX Ch0"));
    QVERIFY(!rx->windowIcon().isNull());
    QVERIFY(rx->isWindow());
    QVERIFY(!rx->isVisible());

    QGridLayout *g = &rx->grid;
    QCOMPARE(rx->layout(), static_cast<QLayout *>(g));
    QCOMPARE(g->itemAtPosition(0, 0)->widget(), static_cast<QWidget *>(rx->state_map));
    QCOMPARE(g->itemAtPosition(0, 1)->widget(), static_cast<QWidget *>(rx->clipboard));
    QCOMPARE(g->itemAtPosition(0, 2)->widget(), static_cast<QWidget *>(rx->presets));
    QCOMPARE(g->itemAtPosition(0, 3)->widget(), static_cast<QWidget *>(rx->freq_response));
    int row, column, rows, columns;
    g->getItemPosition(g->indexOf(rx->editor), &row, &column, &rows, &columns);
    QCOMPARE(row, 1);
    QCOMPARE(column, 0);
    QCOMPARE(rows, 1);
    QCOMPARE(columns, 4);
    QCOMPARE(g->rowStretch(2), 1);
    QCOMPARE(g->columnStretch(4), 1);
    QCOMPARE(g->rowStretch(0), 0);
    QCOMPARE(g->columnStretch(3), 0);
    QCOMPARE(rx->freq_response->size(), QSize(256, 128));
}

void TestEqualizer::groups_and_their_cells() {
    TestDaemon d(eqfix::topology());
    auto w = fixture::make_window(d.path());
    auto e = make_equalizer(w.get(), RX_DEVICE);

    QCOMPARE(e->state_map->title(), QStringLiteral("Equalizer state"));
    QCOMPARE(e->state_map->count, 2);
    QCOMPARE(e->state_map->buttons[0]->text(), QStringLiteral("OFF"));
    QCOMPARE(e->state_map->buttons[1]->text(), QStringLiteral("ON"));
    QCOMPARE(e->state_map->grid.itemAtPosition(1, 0)->widget(),
             static_cast<QWidget *>(e->state_map->buttons[1]));

    QCOMPARE(e->editor->title(), QStringLiteral("Filter specification"));
    QCOMPARE(e->editor->apply_button->text(), QStringLiteral("Apply filter"));
    QVERIFY(e->editor->text_edit->tabChangesFocus());
    int row, column, rows, columns;
    e->editor->grid.getItemPosition(e->editor->grid.indexOf(e->editor->text_edit), &row, &column,
                                    &rows, &columns);
    QCOMPARE(QList<int>({row, column, rows, columns}), QList<int>({0, 0, 1, 2}));
    QCOMPARE(e->editor->grid.itemAtPosition(1, 1)->widget(),
             static_cast<QWidget *>(e->editor->apply_button));

    QCOMPARE(e->clipboard->title(), QStringLiteral("Clipboard"));
    QCOMPARE(e->clipboard->copy_button->text(), QStringLiteral("COPY"));
    QCOMPARE(e->clipboard->paste_button->text(), QStringLiteral("PASTE"));
    QCOMPARE(e->clipboard->grid.itemAtPosition(0, 0)->widget(),
             static_cast<QWidget *>(e->clipboard->copy_button));
    QCOMPARE(e->clipboard->grid.itemAtPosition(1, 0)->widget(),
             static_cast<QWidget *>(e->clipboard->paste_button));
    QCOMPARE(e->clipboard->equalizer, e.get());
}

void TestEqualizer::strips_create_receive_then_transmit() {
    TestDaemon d(eqfix::topology());
    auto w = fixture::make_window(d.path());
    ZARNController *strip = w->strips[0];
    QVERIFY(strip != nullptr);
    QCOMPARE(strip->kind, int(zarn::KIND_DEVICE));
    QCOMPARE(strip->rx_equalizer->kind, RX_DEVICE);
    QCOMPARE(strip->tx_equalizer->kind, int(zarn::KIND_DEVICE));
    QCOMPARE(strip->rx_equalizer->windowTitle(), QStringLiteral("Zarnmix Equalizer RX Ch0"));

    // The receive window asks first: its length query and fetch come before
    // the transmit window's.
    std::vector<std::uint32_t> codes;
    for (auto &r : eqfix::filter_requests(d)) {
        const FilterRecord rec = as<FilterRecord>(r);
        if (rec.number == 0 && rec.channel == 1 &&
            (r.code == zarn::REQ_DEV_RX_FILTER_GET || r.code == zarn::REQ_DEV_TX_FILTER_GET))
            codes.push_back(r.code);
    }
    // (query and fetch each)
    QCOMPARE(codes, std::vector<std::uint32_t>(
                        {zarn::REQ_DEV_RX_FILTER_GET, zarn::REQ_DEV_RX_FILTER_GET,
                         zarn::REQ_DEV_TX_FILTER_GET, zarn::REQ_DEV_TX_FILTER_GET}));

    QVERIFY(strip->rx_eq_button->isEnabled());
    QVERIFY(strip->tx_eq_button->isEnabled());
    QVERIFY(eqfix::filter_writes(d).empty());

    // Strips of other kinds have no equalizer.
    for (ZARNController *s : w->strips) {
        if (s != nullptr && s->kind != zarn::KIND_DEVICE && s->kind != zarn::KIND_LOOP) {
            QVERIFY(s->rx_equalizer == nullptr);
            QVERIFY(s->tx_eq_button == nullptr);
        }
    }
}

void TestEqualizer::no_filter_support_disables_eq_buttons() {
    TestDaemon d(eqfix::topology(0));
    auto w = fixture::make_window(d.path());
    ZARNController *strip = w->strips[0];
    QVERIFY(strip != nullptr);
    for (ZARNEqualizer *e : {strip->rx_equalizer, strip->tx_equalizer}) {
        QCOMPARE(e->filter_length, 0);
        QCOMPARE(e->sample_rate, 48000);
        QCOMPARE(e->state_map->selected, 0);
        QVERIFY(e->coefficients == nullptr);
    }
    QVERIFY(!strip->rx_eq_button->isEnabled());
    QVERIFY(!strip->tx_eq_button->isEnabled());

    // Only length queries: no fetch of a filter that does not exist, no write.
    for (auto &r : eqfix::filter_requests(d)) {
        QVERIFY(zarn::is_filter_get(r.code));
        const FilterRecord rec = as<FilterRecord>(r);
        QCOMPARE(rec.size, 0);
        QCOMPARE(rec.reserved, 0);
        QCOMPARE(rec.coefficients, std::uint64_t(0));
    }

    // Nothing to apply to: the window ignores both of the user's actions.
    d.clear_requests();
    BoxCloser &boxes = *closer;
    boxes.boxes.clear();
    eqfix::set_text(strip->rx_equalizer, "norm\n100 1\n");
    eqfix::release_on(strip->rx_equalizer);
    eqfix::apply(strip->rx_equalizer);
    QVERIFY(boxes.boxes.empty());
    QVERIFY(d.requests().empty());
}

void TestEqualizer::missing_transmit_filter_disables_only_tx() {
    TestDaemon d(eqfix::topology());
    d.with_engine([](zarn::sim::Engine &e) { e.devices[0].channels[0].tx_filter.length = 0; });
    auto w = fixture::make_window(d.path());
    ZARNController *strip = w->strips[0];
    QVERIFY(strip->rx_eq_button->isEnabled());
    QVERIFY(!strip->tx_eq_button->isEnabled());
    QCOMPARE(strip->rx_equalizer->filter_length, 2048);
    QCOMPARE(strip->tx_equalizer->filter_length, 0);
    // Channel 1 still has both.
    QVERIFY(w->strips[1]->tx_eq_button->isEnabled());
}

void TestEqualizer::eq_buttons_show_their_windows() {
    TestDaemon d(eqfix::topology());
    auto w = fixture::make_window(d.path());
    ZARNController *strip = w->strips[2];
    QCOMPARE(strip->kind, int(zarn::KIND_LOOP));
    QVERIFY(!strip->rx_equalizer->isVisible());
    strip->rx_eq_button->click();
    QVERIFY(strip->rx_equalizer->isVisible());
    QVERIFY(!strip->tx_equalizer->isVisible());
    strip->tx_eq_button->click();
    QVERIFY(strip->tx_equalizer->isVisible());
    // Closing only hides; the next release shows the same window again.
    QPointer<ZARNEqualizer> tx = strip->tx_equalizer;
    tx->close();
    QVERIFY(!tx.isNull());
    QVERIFY(!tx->isVisible());
    strip->tx_eq_button->click();
    QVERIFY(tx->isVisible());
}

void TestEqualizer::strip_destructor_deletes_its_windows() {
    TestDaemon d(eqfix::topology());
    auto w = fixture::make_window(d.path());
    auto *strip = new ZARNController(w.get(), zarn::KIND_DEVICE, 1, 0);
    QPointer<ZARNEqualizer> rx = strip->rx_equalizer;
    QPointer<ZARNEqualizer> tx = strip->tx_equalizer;
    QVERIFY(!rx.isNull() && !tx.isNull());
    rx->handle_copy();
    delete strip;
    QVERIFY(rx.isNull());
    QVERIFY(tx.isNull());
    QVERIFY(w->eq_copy_source == nullptr);
}

void TestEqualizer::construction_reads_daemon_filter() {
    TestDaemon d(eqfix::topology());
    const std::vector<double> c = two_tap_filter(2048);
    eqfix::put_filter(d, true, c);
    auto w = fixture::make_window(d.path());
    ZARNEqualizer *rx = w->strips[0]->rx_equalizer;
    ZARNEqualizer *tx = w->strips[0]->tx_equalizer;

    QCOMPARE(rx->filter_length, 2048);
    QCOMPARE(rx->sample_rate, 48000);
    QCOMPARE(rx->state_map->selected, 1);
    QCOMPARE(eqfix::coefficients_of(rx), c);
    // The other direction has a length but no filter in force.
    QCOMPARE(tx->filter_length, 2048);
    QCOMPARE(tx->state_map->selected, 0);
    QVERIFY(tx->coefficients == nullptr);

    // The query, then the fetch into an array of the reported length.
    std::vector<FilterRecord> reads;
    for (auto &r : fixture::with_code(d, zarn::REQ_DEV_RX_FILTER_GET)) {
        const FilterRecord rec = as<FilterRecord>(r);
        if (rec.number == 0 && rec.channel == 0)
            reads.push_back(rec);
    }
    QCOMPARE(reads.size(), std::size_t(2));
    QCOMPARE(reads[0].size, 0);
    QCOMPARE(reads[0].coefficients, std::uint64_t(0));
    QCOMPARE(reads[1].size, 2048);
    QCOMPARE(reads[1].reserved, 0);
    QVERIFY(reads[1].coefficients != 0);
    // Showing the state read is no user action: nothing designed or sent.
    QVERIFY(eqfix::filter_writes(d).empty());
    QVERIFY(closer->boxes.empty());

    // The plot shows the daemon's filter: highest at 0 Hz, falling to the
    // bottom row at the right.
    const QImage image = eqfix::render(rx->freq_response);
    int top0 = -1;
    for (int y = 0; y < 128 && top0 < 0; y++)
        if (image.pixel(0, y) == qRgb(0, 0, 0))
            top0 = y;
    QVERIFY(top0 > 64 && top0 < 127);
    QCOMPARE(image.pixel(0, 127), qRgb(192, 192, 192));
    QCOMPARE(image.pixel(255, 127), qRgb(0, 0, 0));
    QCOMPARE(image.pixel(255, 126), qRgb(255, 255, 255));
}

void TestEqualizer::unusable_fetch_keeps_length_data() {
    QTest::addColumn<int>("fetch_size");
    QTest::newRow("fetch fails") << 0;
    QTest::newRow("another size") << 1024;
    QTest::newRow("size above the limit") << 65537 + 2048;
    QTest::newRow("negative size") << -2048;
}

void TestEqualizer::unusable_fetch_keeps_length() {
    QFETCH(int, fetch_size);
    TestDaemon d(eqfix::topology());
    auto w = fixture::make_window(d.path());
    // Without a hook the daemon has no filter in force and fails the fetch.
    if (fetch_size != 0)
        d.set_hook(fetch_answer(fetch_size));
    auto e = make_equalizer(w.get(), RX_DEVICE);
    d.clear_hook();

    QCOMPARE(e->filter_length, 2048);
    QCOMPARE(e->state_map->selected, 0);
    QVERIFY(e->coefficients == nullptr);
    QCOMPARE(eqfix::render(e->freq_response).pixel(0, 127), qRgb(0, 0, 0));

    // The length survives, so the user can still put a filter in force.
    d.clear_requests();
    eqfix::set_text(e.get(), "norm\n100 1\n");
    eqfix::release_on(e.get());
    const auto writes = eqfix::filter_writes(d);
    QCOMPARE(writes.size(), std::size_t(1));
    QCOMPARE(writes[0].code, zarn::REQ_DEV_RX_FILTER_SET);
    QCOMPARE(as<FilterRecord>(writes[0]).size, 2048);
    QCOMPARE(writes[0].payload.size(), std::size_t(2048));
    QCOMPARE(writes[0].payload[1024], 1.0);
}

void TestEqualizer::length_query_rules_data() {
    QTest::addColumn<int>("answered_size");
    QTest::addColumn<int>("result");
    QTest::addColumn<int>("expected_length");
    QTest::newRow("largest") << 65536 << 0 << 65536;
    QTest::newRow("one") << 1 << 0 << 1;
    QTest::newRow("above the limit") << 65537 << 0 << 0;
    QTest::newRow("negative") << -1 << 0 << 0;
    QTest::newRow("most negative") << int(INT32_MIN) << 0 << 0;
    QTest::newRow("failed query") << 2048 << -1 << 0;
}

void TestEqualizer::length_query_rules() {
    QFETCH(int, answered_size);
    QFETCH(int, result);
    QFETCH(int, expected_length);
    TestDaemon d(eqfix::topology());
    auto w = fixture::make_window(d.path());
    d.clear_requests();
    d.set_hook(length_answer(answered_size, result));
    auto e = make_equalizer(w.get(), zarn::KIND_DEVICE);
    d.clear_hook();

    QCOMPARE(e->filter_length, expected_length);
    QCOMPARE(e->state_map->selected, 0);
    QVERIFY(e->coefficients == nullptr);
    const auto reads = fixture::with_code(d, zarn::REQ_DEV_TX_FILTER_GET);
    // A usable length is fetched once; the daemon has no filter of that
    // length in force, so the fetch fails.
    QCOMPARE(reads.size(), std::size_t(expected_length > 0 ? 2 : 1));
    if (expected_length > 0) {
        QCOMPARE(as<FilterRecord>(reads[1]).size, expected_length);
        QVERIFY(as<FilterRecord>(reads[1]).coefficients != 0);
    }
    QCOMPARE(d.count(zarn::REQ_SAMPLE_RATE_GET), std::size_t(1));
}

void TestEqualizer::closed_device_at_construction() {
    TestDaemon d(eqfix::topology());
    auto w = fixture::make_window(d.path());
    const int fd = w->fd;
    w->fd = -1;
    d.clear_requests();
    auto e = make_equalizer(w.get(), RX_DEVICE);
    QCOMPARE(e->sample_rate, 0);
    QCOMPARE(e->filter_length, 0);
    QCOMPARE(e->state_map->selected, 0);
    w->fd = fd;
    QVERIFY(d.requests().empty());
}

void TestEqualizer::empty_text_while_on() {
    TestDaemon d(eqfix::topology());
    auto w = fixture::make_window(d.path());
    auto e = make_equalizer(w.get(), RX_DEVICE);
    QCOMPARE(e->state_map->selected, 0);
    d.clear_requests();

    // OFF to ON with nothing (or only blanks) to design.
    eqfix::set_text(e.get(), " \n\t \n");
    {
        BoxCloser &boxes = *closer;
        boxes.boxes.clear();
        eqfix::release_on(e.get());
        QCOMPARE(boxes.boxes.size(), std::size_t(1));
        QCOMPARE(boxes.boxes[0].caption, QStringLiteral("Zarnmix Control"));
        QCOMPARE(boxes.boxes[0].text, QStringLiteral("EQ filter specification is empty"));
        QCOMPARE(boxes.boxes[0].icon, QMessageBox::Information);
        QCOMPARE(boxes.boxes[0].buttons, 1);
    }
    QVERIFY(d.requests().empty());
    QCOMPARE(e->state_map->selected, 1);
    QVERIFY(e->coefficients == nullptr);

    // A valid text then goes out with "Apply filter".
    eqfix::set_text(e.get(), "norm\n100 1\n");
    eqfix::apply(e.get());
    QCOMPARE(eqfix::filter_writes(d).size(), std::size_t(1));
    const std::vector<double> sent = eqfix::filter_writes(d)[0].payload;
    QCOMPARE(eqfix::coefficients_of(e.get()), sent);

    // Emptied again while a filter is in force: the filter stays.
    d.clear_requests();
    eqfix::set_text(e.get(), "");
    {
        BoxCloser &boxes = *closer;
        boxes.boxes.clear();
        eqfix::apply(e.get());
        QCOMPARE(boxes.boxes.size(), std::size_t(1));
        QCOMPARE(boxes.boxes[0].text, QStringLiteral("EQ filter specification is empty"));
    }
    QVERIFY(d.requests().empty());
    QCOMPARE(eqfix::coefficients_of(e.get()), sent);
    QCOMPARE(eqfix::daemon_filter(d, true), sent);
}

void TestEqualizer::invalid_text_keeps_previous_filter() {
    TestDaemon d(eqfix::topology());
    const std::vector<double> c = two_tap_filter(2048);
    eqfix::put_filter(d, false, c);
    auto w = fixture::make_window(d.path());
    auto e = make_equalizer(w.get(), zarn::KIND_DEVICE);
    QCOMPARE(e->state_map->selected, 1);
    const QImage before = eqfix::render(e->freq_response);
    d.clear_requests();

    for (const char *text : {"1e3 1", "200 1\n100 1", "100\n1", "norm\n-5 1", "nor"}) {
        eqfix::set_text(e.get(), text);
        BoxCloser &boxes = *closer;
        boxes.boxes.clear();
        eqfix::apply(e.get());
        QCOMPARE(boxes.boxes.size(), std::size_t(1));
        QCOMPARE(boxes.boxes[0].caption, QStringLiteral("Zarnmix Control"));
        QCOMPARE(boxes.boxes[0].text, QStringLiteral("Invalid EQ filter specification"));
        QCOMPARE(boxes.boxes[0].buttons, 1);
    }
    QVERIFY(d.requests().empty());
    QCOMPARE(e->state_map->selected, 1);
    QCOMPARE(eqfix::coefficients_of(e.get()), c);
    QCOMPARE(eqfix::daemon_filter(d, false), c);
    QVERIFY(eqfix::render(e->freq_response) == before);

    // From OFF, an invalid text leaves the map on ON without coefficients.
    auto off = make_equalizer(w.get(), zarn::KIND_LOOP);
    eqfix::set_text(off.get(), "# comment");
    BoxCloser &boxes = *closer;
    boxes.boxes.clear();
    eqfix::release_on(off.get());
    QCOMPARE(boxes.boxes.size(), std::size_t(1));
    QCOMPARE(off->state_map->selected, 1);
    QVERIFY(off->coefficients == nullptr);
    QVERIFY(eqfix::filter_writes(d).empty());
}

void TestEqualizer::off_sends_null_address() {
    TestDaemon d(eqfix::topology());
    eqfix::put_filter(d, true, two_tap_filter(2048));
    auto w = fixture::make_window(d.path());
    auto e = make_equalizer(w.get(), RX_DEVICE, 0, 0);
    QCOMPARE(e->state_map->selected, 1);
    QVERIFY(eqfix::render(e->freq_response).pixel(0, 127) == qRgb(192, 192, 192));
    d.clear_requests();

    eqfix::release_off(e.get());
    const auto requests = d.requests();
    QCOMPARE(requests.size(), std::size_t(1));
    QCOMPARE(requests[0].code, zarn::REQ_DEV_RX_FILTER_SET);
    QVERIFY(is_off_request(requests[0], 2048));
    const FilterRecord rec = as<FilterRecord>(requests[0]);
    QCOMPARE(rec.number, 0);
    QCOMPARE(rec.channel, 0);
    QVERIFY(e->coefficients == nullptr);
    QVERIFY(eqfix::daemon_filter(d, true).empty());

    // The plot drops to the bottom line.
    const QImage image = eqfix::render(e->freq_response);
    for (int x = 0; x < 32; x++) {
        QCOMPARE(image.pixel(x, 127), qRgb(0, 0, 0));
        QCOMPARE(image.pixel(x, 126), qRgb(255, 255, 255));
    }

    // Releasing OFF again is no change of state: nothing is sent.
    eqfix::release_off(e.get());
    QCOMPARE(d.requests().size(), std::size_t(1));
}

void TestEqualizer::apply_while_off_resends_off() {
    TestDaemon d(eqfix::topology());
    auto w = fixture::make_window(d.path());
    auto e = make_equalizer(w.get(), zarn::KIND_LOOP | zarn::EQ_RX_FLAG);
    d.clear_requests();
    BoxCloser &boxes = *closer;
    boxes.boxes.clear();
    for (const char *text : {"norm\n100 1\n", "rubbish", ""}) {
        eqfix::set_text(e.get(), text);
        eqfix::apply(e.get());
    }
    QVERIFY(boxes.boxes.empty());
    const auto requests = d.requests();
    QCOMPARE(requests.size(), std::size_t(3));
    for (auto &r : requests) {
        QCOMPARE(r.code, zarn::REQ_LOOP_RX_FILTER_SET);
        QVERIFY(is_off_request(r, 2048));
    }
    QCOMPARE(e->state_map->selected, 0);
}

void TestEqualizer::apply_designs_and_sends() {
    TestDaemon d(eqfix::topology(1024));
    auto w = fixture::make_window(d.path());
    auto e = make_equalizer(w.get(), zarn::KIND_DEVICE, 0, 1);
    eqfix::set_text(e.get(), "150 1\n1000 0\n");
    d.clear_requests();
    eqfix::release_on(e.get());

    const auto writes = eqfix::filter_writes(d);
    QCOMPARE(writes.size(), std::size_t(1));
    QCOMPARE(writes[0].code, zarn::REQ_DEV_TX_FILTER_SET);
    const FilterRecord rec = as<FilterRecord>(writes[0]);
    QCOMPARE(rec.number, 0);
    QCOMPARE(rec.channel, 1);
    QCOMPARE(rec.size, 1024);
    QCOMPARE(rec.reserved, 0);
    QCOMPARE(rec.coefficients, reinterpret_cast<std::uint64_t>(e->coefficients));
    // The window keeps what it sent, and the daemon has it in force.
    QCOMPARE(writes[0].payload, eqfix::coefficients_of(e.get()));
    QCOMPARE(d.with_engine([](zarn::sim::Engine &en) {
        return en.devices[0].channels[1].tx_filter.coefficients;
    }),
             writes[0].payload);
    // A low pass without normalization: a linear-phase filter centred on
    // tap N/2 with zero at tap 0.
    QCOMPARE(writes[0].payload[0], 0.0);
    QCOMPARE(writes[0].payload[511], writes[0].payload[513]);
    QVERIFY(writes[0].payload[512] > writes[0].payload[600]);

    // A second apply sends again, into the same array.
    const double *array = e->coefficients;
    eqfix::apply(e.get());
    QCOMPARE(eqfix::filter_writes(d).size(), std::size_t(2));
    QCOMPARE(e->coefficients, array);
}

void TestEqualizer::text_trimmed_before_normalize_line() {
    TestDaemon d(eqfix::topology());
    auto w = fixture::make_window(d.path());
    auto e = make_equalizer(w.get(), zarn::KIND_DEVICE);
    d.clear_requests();
    // Unity at amplitude 2 is a pure delay of gain 2; the normalize line,
    // found only after trimming, brings it down to 1.
    eqfix::set_text(e.get(), "\n  \r\n\t norm\n100 2\n\n \n");
    BoxCloser &boxes = *closer;
    boxes.boxes.clear();
    eqfix::release_on(e.get());
    QVERIFY(boxes.boxes.empty());
    auto writes = eqfix::filter_writes(d);
    QCOMPARE(writes.size(), std::size_t(1));
    QCOMPARE(writes[0].payload[1024], 1.0);

    eqfix::set_text(e.get(), "\n\n100 2 \n\n");
    eqfix::apply(e.get());
    QVERIFY(boxes.boxes.empty());
    writes = eqfix::filter_writes(d);
    QCOMPARE(writes.size(), std::size_t(2));
    QCOMPARE(writes[1].payload[1024], 2.0);
}

void TestEqualizer::loop_windows_use_loop_requests() {
    TestDaemon d(eqfix::topology());
    auto w = fixture::make_window(d.path());
    ZARNController *loop = w->strips[2];
    QCOMPARE(loop->kind, int(zarn::KIND_LOOP));
    d.clear_requests();
    for (ZARNEqualizer *e : {loop->rx_equalizer, loop->tx_equalizer}) {
        eqfix::set_text(e, "norm\n");
        eqfix::release_on(e);
    }
    const auto writes = eqfix::filter_writes(d);
    QCOMPARE(writes.size(), std::size_t(2));
    QCOMPARE(writes[0].code, zarn::REQ_LOOP_RX_FILTER_SET);
    QCOMPARE(writes[1].code, zarn::REQ_LOOP_TX_FILTER_SET);
}

void TestEqualizer::nothing_sent_without_rate_or_device() {
    TestDaemon d(eqfix::topology());
    auto w = fixture::make_window(d.path());
    d.set_hook(
        [](std::uint32_t code, unsigned char *, std::vector<double> &) -> std::optional<int> {
            if (code == zarn::REQ_SAMPLE_RATE_GET)
                return -1;
            return std::nullopt;
        });
    auto no_rate = make_equalizer(w.get(), zarn::KIND_DEVICE);
    d.clear_hook();
    auto e = make_equalizer(w.get(), RX_DEVICE);
    QCOMPARE(no_rate->sample_rate, 0);
    QCOMPARE(no_rate->filter_length, 2048);
    d.clear_requests();

    BoxCloser &boxes = *closer;
    boxes.boxes.clear();
    eqfix::set_text(no_rate.get(), "norm\n");
    eqfix::release_on(no_rate.get());
    eqfix::apply(no_rate.get());
    QCOMPARE(no_rate->state_map->selected, 1);

    const int fd = w->fd;
    w->fd = -1;
    eqfix::set_text(e.get(), "norm\n");
    eqfix::release_on(e.get());
    eqfix::apply(e.get());
    w->fd = fd;

    QVERIFY(boxes.boxes.empty());
    QVERIFY(d.requests().empty());
    QVERIFY(e->coefficients == nullptr);
}

void TestEqualizer::paste_without_source_or_into_itself() {
    TestDaemon d(eqfix::topology());
    auto w = fixture::make_window(d.path());
    auto a = make_equalizer(w.get(), RX_DEVICE);
    auto b = make_equalizer(w.get(), zarn::KIND_DEVICE);
    eqfix::set_text(a.get(), "norm\n");
    eqfix::set_text(b.get(), "100 1");
    eqfix::release_on(a.get());
    d.clear_requests();

    QVERIFY(w->eq_copy_source == nullptr);
    b->clipboard->paste_button->click();
    QCOMPARE(b->editor->text_edit->toPlainText(), QStringLiteral("100 1"));
    QCOMPARE(b->state_map->selected, 0);

    a->clipboard->copy_button->click();
    QCOMPARE(w->eq_copy_source, a.get());
    QVERIFY(w->compressor_copy_source == nullptr);
    eqfix::set_text(a.get(), "norm\n200 1\n");
    a->clipboard->paste_button->click();
    QCOMPARE(a->editor->text_edit->toPlainText(), QStringLiteral("norm\n200 1\n"));
    QVERIFY(d.requests().empty());
}

void TestEqualizer::paste_takes_source_text_at_paste_time() {
    TestDaemon d(eqfix::topology());
    auto w = fixture::make_window(d.path());
    auto a = make_equalizer(w.get(), RX_DEVICE);
    auto b = make_equalizer(w.get(), zarn::KIND_LOOP);
    eqfix::set_text(a.get(), "norm\n100 1\n");
    eqfix::set_text(b.get(), "something else");
    a->clipboard->copy_button->click();
    eqfix::set_text(a.get(), "norm\n150 1\n1000 0\n");
    d.clear_requests();

    b->clipboard->paste_button->click();
    QCOMPARE(b->editor->text_edit->toPlainText(), QStringLiteral("norm\n150 1\n1000 0\n"));
    // Both OFF: no change of state, nothing sent.
    QCOMPARE(b->state_map->selected, 0);
    QVERIFY(d.requests().empty());
}

void TestEqualizer::paste_on_into_off_sends_at_once() {
    TestDaemon d(eqfix::topology());
    auto w = fixture::make_window(d.path());
    auto a = make_equalizer(w.get(), RX_DEVICE);
    auto b = make_equalizer(w.get(), zarn::KIND_LOOP | zarn::EQ_RX_FLAG);
    eqfix::set_text(a.get(), "norm\n150 1\n1000 0\n");
    eqfix::release_on(a.get());
    const std::vector<double> a_filter = eqfix::coefficients_of(a.get());
    a->clipboard->copy_button->click();
    d.clear_requests();

    b->clipboard->paste_button->click();
    QCOMPARE(b->state_map->selected, 1);
    QVERIFY(b->state_map->buttons[0]->isFlat());
    QVERIFY(!b->state_map->buttons[1]->isFlat());
    const auto writes = eqfix::filter_writes(d);
    QCOMPARE(writes.size(), std::size_t(1));
    QCOMPARE(writes[0].code, zarn::REQ_LOOP_RX_FILTER_SET);
    QCOMPARE(writes[0].payload, a_filter);
    QCOMPARE(eqfix::coefficients_of(b.get()), a_filter);
}

void TestEqualizer::paste_on_into_on_replaces_text_only() {
    TestDaemon d(eqfix::topology());
    const std::vector<double> c = two_tap_filter(2048);
    eqfix::put_filter(d, false, c);
    auto w = fixture::make_window(d.path());
    auto a = make_equalizer(w.get(), RX_DEVICE);
    auto b = make_equalizer(w.get(), zarn::KIND_DEVICE);
    QCOMPARE(b->state_map->selected, 1);
    eqfix::set_text(a.get(), "norm\n250 0\n500 1\n");
    eqfix::release_on(a.get());
    a->clipboard->copy_button->click();
    d.clear_requests();

    b->clipboard->paste_button->click();
    QCOMPARE(b->editor->text_edit->toPlainText(), QStringLiteral("norm\n250 0\n500 1\n"));
    QVERIFY(d.requests().empty());
    QCOMPARE(eqfix::coefficients_of(b.get()), c);

    // The pasted text takes effect with the next apply.
    eqfix::apply(b.get());
    const auto writes = eqfix::filter_writes(d);
    QCOMPARE(writes.size(), std::size_t(1));
    QCOMPARE(writes[0].payload, eqfix::coefficients_of(a.get()));
}

void TestEqualizer::paste_off_into_on_switches_off() {
    TestDaemon d(eqfix::topology());
    eqfix::put_filter(d, false, two_tap_filter(2048));
    auto w = fixture::make_window(d.path());
    auto a = make_equalizer(w.get(), RX_DEVICE);
    auto b = make_equalizer(w.get(), zarn::KIND_DEVICE);
    QCOMPARE(a->state_map->selected, 0);
    QCOMPARE(b->state_map->selected, 1);
    a->clipboard->copy_button->click();
    d.clear_requests();
    b->clipboard->paste_button->click();
    QCOMPARE(b->state_map->selected, 0);
    const auto requests = d.requests();
    QCOMPARE(requests.size(), std::size_t(1));
    QCOMPARE(requests[0].code, zarn::REQ_DEV_TX_FILTER_SET);
    QVERIFY(is_off_request(requests[0], 2048));
}

void TestEqualizer::destroyed_source_clears_copy_source() {
    TestDaemon d(eqfix::topology());
    auto w = fixture::make_window(d.path());
    auto a = make_equalizer(w.get(), RX_DEVICE);
    auto b = make_equalizer(w.get(), zarn::KIND_DEVICE);
    auto other = make_equalizer(w.get(), zarn::KIND_LOOP);
    eqfix::set_text(a.get(), "norm\n");
    eqfix::release_on(a.get());
    eqfix::set_text(b.get(), "kept");

    // Destroying a window that is not the source leaves the source alone.
    a->clipboard->copy_button->click();
    other.reset();
    QCOMPARE(w->eq_copy_source, a.get());

    a.reset();
    QVERIFY(w->eq_copy_source == nullptr);
    d.clear_requests();
    b->clipboard->paste_button->click();
    QCOMPARE(b->editor->text_edit->toPlainText(), QStringLiteral("kept"));
    QCOMPARE(b->state_map->selected, 0);
    QVERIFY(d.requests().empty());
}

void TestEqualizer::preset_texts_and_mnemonics() {
    TestDaemon d(eqfix::topology());
    auto w = fixture::make_window(d.path());
    auto e = make_equalizer(w.get(), RX_DEVICE);
    ZARNEQButtons *p = e->presets;
    QCOMPARE(p->title(), QStringLiteral("Presets"));
    QCOMPARE(p->grid.itemAtPosition(0, 0)->widget(), static_cast<QWidget *>(p->defaults_button));
    QCOMPARE(p->grid.itemAtPosition(0, 1)->widget(), static_cast<QWidget *>(p->lowpass_button));
    QCOMPARE(p->grid.itemAtPosition(1, 0)->widget(), static_cast<QWidget *>(p->highpass_button));
    QCOMPARE(p->grid.itemAtPosition(1, 1)->widget(), static_cast<QWidget *>(p->bandpass_button));

    struct Case {
        QPushButton *button;
        const char *label;
        int length;
        const char *text;
    };
    const Case cases[] = {
        {p->defaults_button, "Defa&ults", 204,
         "norm\n20 1\n25 1\n31.5 1\n40 1\n50 1\n63 1\n80 1\n100 1\n125 1\n160 1\n200 1\n250 "
         "1\n315 1\n400 1\n500 1\n630 1\n800 1\n1000 1\n1250 1\n1600 1\n2000 1\n2500 1\n3150 "
         "1\n4000 1\n5000 1\n6300 1\n8000 1\n10000 1\n12500 1\n16000 1\n20000 1\n"},
        {p->lowpass_button, "&LowPass", 18, "norm\n150 1\n1000 0\n"},
        {p->highpass_button, "&HighPass", 18, "norm\n150 0\n1000 1\n"},
        {p->bandpass_button, "&BandPass", 31, "norm\n250 0\n500 1\n1000 1\n2000 0\n"},
    };
    for (const Case &c : cases) {
        QCOMPARE(c.button->text(), QString::fromLatin1(c.label));
        eqfix::set_text(e.get(), "previous text\nreplaced entirely");
        c.button->click();
        const QString text = e->editor->text_edit->toPlainText();
        QCOMPARE(text, QString::fromLatin1(c.text));
        QCOMPARE(text.size(), c.length);
    }
    // The mnemonic letters are u, L, H and B.
    QCOMPARE(p->defaults_button->shortcut(), QKeySequence(Qt::ALT | Qt::Key_U));
    QCOMPARE(p->lowpass_button->shortcut(), QKeySequence(Qt::ALT | Qt::Key_L));
    QCOMPARE(p->highpass_button->shortcut(), QKeySequence(Qt::ALT | Qt::Key_H));
    QCOMPARE(p->bandpass_button->shortcut(), QKeySequence(Qt::ALT | Qt::Key_B));
}

void TestEqualizer::preset_only_fills_editor() {
    TestDaemon d(eqfix::topology());
    const std::vector<double> c = two_tap_filter(2048);
    eqfix::put_filter(d, true, c);
    auto w = fixture::make_window(d.path());
    auto e = make_equalizer(w.get(), RX_DEVICE);
    QCOMPARE(e->state_map->selected, 1);
    const QImage before = eqfix::render(e->freq_response);
    d.clear_requests();

    for (QPushButton *b : {e->presets->defaults_button, e->presets->lowpass_button,
                           e->presets->highpass_button, e->presets->bandpass_button})
        b->click();
    QVERIFY(d.requests().empty());
    QCOMPARE(e->state_map->selected, 1);
    QCOMPARE(eqfix::coefficients_of(e.get()), c);
    QVERIFY(eqfix::render(e->freq_response) == before);

    // "Apply filter" then puts the band pass in force.
    eqfix::apply(e.get());
    QCOMPARE(eqfix::filter_writes(d).size(), std::size_t(1));
    QVERIFY(eqfix::coefficients_of(e.get()) != c);
    QVERIFY(eqfix::render(e->freq_response) != before);
}

void TestEqualizer::preset_then_on_sends_it() {
    TestDaemon d(eqfix::topology());
    auto w = fixture::make_window(d.path());
    auto e = make_equalizer(w.get(), zarn::KIND_DEVICE);
    d.clear_requests();
    e->presets->defaults_button->click();
    QVERIFY(d.requests().empty());
    eqfix::release_on(e.get());

    const auto writes = eqfix::filter_writes(d);
    QCOMPARE(writes.size(), std::size_t(1));
    const std::vector<double> &c = writes[0].payload;
    QCOMPARE(c.size(), std::size_t(2048));
    // A pure delay of half the length.
    for (std::size_t i = 0; i < c.size(); i++)
        QVERIFY2(std::fabs(c[i] - (i == 1024 ? 1.0 : 0.0)) < 1e-12, qPrintable(QString::number(i)));

    // The normalized low pass sums to 1 in absolute value.
    e->presets->lowpass_button->click();
    eqfix::apply(e.get());
    double sum = 0;
    const std::vector<double> low = eqfix::filter_writes(d).back().payload;
    QCOMPARE(low.size(), std::size_t(2048));
    for (double v : low)
        sum += std::fabs(v);
    QVERIFY(std::fabs(sum - 1.0) < 1e-9);
}

QTEST_MAIN(TestEqualizer)
#include "test_equalizer.moc"
