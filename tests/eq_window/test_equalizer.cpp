// SPDX-License-Identifier: BSD-2-Clause

#include <QDoubleSpinBox>
#include <QFileDialog>
#include <QGridLayout>
#include <QPointer>
#include <QTableWidget>
#include <QTemporaryDir>
#include <QTest>
#include <cmath>
#include <cstdint>
#include <optional>
#include <tuple>
#include <utility>

#include "eq/filter_design.h"
#include "eq/filter_import.h"
#include "eq/zarn_eq_source_table.h"
#include "support/eq_fixture.h"
#include "support/tool_tips.h"

using namespace eqfix;
using fixture::as;
using zarn::FilterRecord;
using zarn::sim::TestDaemon;
using Fields = std::vector<long long>;

namespace {

// A two-tap average: |cos(w/2)|, falling from 1 at 0 Hz.
std::vector<double> two_tap_filter() {
    std::vector<double> c(2048, 0.0);
    c[0] = c[1] = 0.5;
    return c;
}

// Answers the length query (fetch = false) or the fetch (true) of every
// filter read with the given size and result; a fetch succeeds with 0.25s.
TestDaemon::Hook filter_answer(bool fetch, std::int32_t size, int result = 0) {
    return [=](std::uint32_t code, unsigned char *record,
               std::vector<double> &payload) -> std::optional<int> {
        if (!zarn::is_filter_get(code))
            return std::nullopt;
        FilterRecord r;
        std::memcpy(&r, record, sizeof r);
        if ((r.coefficients != 0) != fetch)
            return std::nullopt;
        r.size = size;
        std::memcpy(record, &r, sizeof r);
        payload.assign(payload.size(), 0.25);
        return result;
    };
}

// The request that switches a filter off: address 0, size filter_length.
Fields off_request(std::uint32_t code, int channel = 0) {
    return {code, 0, channel, 2048, 0, 0, 0};
}

// "row,column,rows,columns" of each widget in its grid.
QStringList cells(std::initializer_list<std::pair<QGridLayout *, QWidget *>> items) {
    QStringList out;
    for (auto [g, w] : items) {
        int row, column, rows, columns;
        g->getItemPosition(g->indexOf(w), &row, &column, &rows, &columns);
        out << QString("%1,%2,%3,%4").arg(row).arg(column).arg(rows).arg(columns);
    }
    return out;
}

// Answers the next file dialog with path, as a user picking it would.
// The next file the editor's buttons ask for, as if chosen in the dialog.
QString next_file;

void answer_file_dialog(const QString &path) {
    next_file = path;
    ZARNEQEditor::choose_file = [](QWidget *, bool, const QString &, const QString &, QString *) {
        return std::exchange(next_file, QString());
    };
}

QByteArray contents(const QString &path) {
    QFile f(path);
    return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray("(unreadable)");
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
    void window_layout_and_texts();
    void strips_create_receive_then_transmit();
    void windows_made_together_read_in_shared_exchanges();
    void long_filters_read_together_split_their_fetches();
    void no_filter_support_disables_eq_buttons();
    void eq_buttons_show_their_windows_and_strips_delete_them();
    void construction_reads_daemon_filter();
    void unusable_fetch_keeps_length();
    void length_query_rules();
    void texts_that_cannot_be_sent();
    void off_sends_null_address();
    void apply_designs_and_sends();
    void nothing_sent_without_rate_or_device();
    void paste_text_only_and_destroyed_source();
    void paste_between_states();
    void presets_fill_the_editor_only();
    void import_fills_the_editor_and_export_writes_what_was_applied();
};

void TestEqualizer::window_layout_and_texts() {
    TestDaemon d(topology());
    auto w = fixture::make_window(d.path());
    auto e = make_equalizer(w.get(), RX_DEVICE, 0, 1);
    auto tx = make_equalizer(w.get(), zarn::KIND_LOOP, 0, 0);
    QCOMPARE(e->windowTitle(), QStringLiteral("Zarnmix Equalizer RX Ch1"));
    QCOMPARE(tx->windowTitle(), QStringLiteral("Zarnmix Equalizer TX Ch0"));
    QVERIFY(!e->windowIcon().isNull());
    QVERIFY(e->isWindow());
    QVERIFY(!e->isVisible());

    QGridLayout *g = &e->grid;
    ZARNEQButtons *p = e->presets;
    QCOMPARE(e->layout(), static_cast<QLayout *>(g));
    QCOMPARE(cells({{g, e->state_map},
                    {g, e->clipboard},
                    {g, p},
                    {g, e->freq_response},
                    {g, e->editor},
                    {&e->state_map->grid, e->state_map->buttons[1]},
                    {&e->editor->grid, e->editor->text_edit},
                    {&e->editor->grid, e->editor->apply_button},
                    {&e->clipboard->grid, e->clipboard->paste_button},
                    {&p->grid, p->lowpass_button},
                    {&p->grid, p->highpass_button},
                    {&p->grid, p->bandpass_button}}),
             QStringList({"0,0,1,1", "0,1,1,1", "0,2,1,1", "0,3,1,1", "1,0,1,4", "1,0,1,1",
                          "0,0,1,2", "1,1,1,1", "1,0,1,1", "0,1,1,1", "1,0,1,1", "1,1,1,1"}));
    QCOMPARE(
        QList<int>({g->rowStretch(0), g->rowStretch(2), g->columnStretch(3), g->columnStretch(4)}),
        QList<int>({0, 1, 0, 1}));
    QCOMPARE(e->freq_response->size(), QSize(256, 128));
    QCOMPARE(QStringList({e->state_map->title(), e->state_map->buttons[0]->text(),
                          e->state_map->buttons[1]->text(), e->editor->title(),
                          e->editor->apply_button->text(), e->clipboard->title(),
                          e->clipboard->copy_button->text(), e->clipboard->paste_button->text(),
                          p->title(), p->defaults_button->text(), p->lowpass_button->text(),
                          p->highpass_button->text(), p->bandpass_button->text()}),
             QStringList({"Equalizer state", "OFF", "ON", "Filter specification", "Apply filter",
                          "Clipboard", "COPY", "PASTE", "Presets", "Defa&ults", "&LowPass",
                          "&HighPass", "&BandPass"}));
    QCOMPARE(QList<QKeySequence>({p->defaults_button->shortcut(), p->lowpass_button->shortcut(),
                                  p->highpass_button->shortcut(), p->bandpass_button->shortcut()}),
             QList<QKeySequence>({Qt::ALT | Qt::Key_U, Qt::ALT | Qt::Key_L, Qt::ALT | Qt::Key_H,
                                  Qt::ALT | Qt::Key_B}));
    QVERIFY(e->editor->text_edit->tabChangesFocus());
    // The empty editor shows the format and an example that designs.
    QCOMPARE(
        e->editor->text_edit->placeholderText().section(QLatin1Char('\n'), -4),
        QStringLiteral("Example, a low-pass from 150 Hz to 1000 Hz:\nnormalize\n150 1\n1000 0"));
    QCOMPARE(controls_without_tool_tips(e.get()), QStringList());
    QVERIFY(!e->freq_response->toolTip().isEmpty());
    QCOMPARE(e->state_map->count, 2);
    QCOMPARE(e->clipboard->equalizer, e.get());
}

// Windows made while the main window makes its strips read afterwards, in
// the order made: all rates and lengths in one exchange, then the filters;
// a window gone meanwhile is skipped.
void TestEqualizer::windows_made_together_read_in_shared_exchanges() {
    TestDaemon d(topology());
    auto w = fixture::make_window(d.path());
    w->connection->gathering = true;
    std::vector<std::unique_ptr<ZARNEqualizer>> made;
    for (const auto &[channel, rx] : {std::pair{0, true}, std::pair{1, true}, std::pair{1, false}})
        made.push_back(std::make_unique<ZARNEqualizer>(
            w.get(), zarn::Target{zarn::KIND_DEVICE, 0, channel}, rx));
    w->connection->gathering = false;
    std::vector<QPointer<ZARNEqualizer>> gathered;
    gathered.swap(w->connection->gathered);
    QCOMPARE(gathered.size(), std::size_t{3});
    made.erase(made.begin() + 1);

    d.clear_requests();
    const unsigned long trips = zarn::ctl_round_trips();
    ZARNEqualizer::read_filters(gathered);
    QCOMPARE(zarn::ctl_round_trips() - trips, 2ul);
    std::vector<Fields> reads;
    for (auto &r : d.requests())
        reads.push_back(zarn::is_filter_get(r.code) ? fields(r) : Fields{r.code});
    const long long RATE = zarn::REQ_SAMPLE_RATE_GET, RX = zarn::REQ_DEV_RX_FILTER_GET,
                    TX = zarn::REQ_DEV_TX_FILTER_GET;
    QCOMPARE(reads, std::vector<Fields>({{RATE},
                                         {RX, 0, 0, 0, 0, 0, 0},
                                         {RATE},
                                         {TX, 0, 1, 0, 0, 0, 0},
                                         {RX, 0, 0, 2048, 0, 1, 0},
                                         {TX, 0, 1, 2048, 0, 1, 0}}));
    QCOMPARE(made[1]->filter_length, 2048);
    QVERIFY(made[1]->filter_known);
}

// An exchange has one time limit: five filters of 65536 taps are fetched
// four in one exchange and the fifth in another, and every one arrives.
void TestEqualizer::long_filters_read_together_split_their_fetches() {
    TestDaemon d(topology(65536));
    d.with_engine([](zarn::sim::Engine &e) {
        for (auto *group : {&e.devices[0], &e.loops[0]})
            for (auto &channel : group->channels)
                for (auto *f : {&channel.rx_filter, &channel.tx_filter}) {
                    f->coefficients.assign(65536, 0.25);
                    f->active = true;
                }
    });
    auto w = fixture::make_window(d.path());
    w->connection->gathering = true;
    std::vector<std::unique_ptr<ZARNEqualizer>> made;
    for (const auto &[kind, channel, rx] :
         {std::tuple{zarn::KIND_DEVICE, 0, true}, std::tuple{zarn::KIND_DEVICE, 0, false},
          std::tuple{zarn::KIND_DEVICE, 1, true}, std::tuple{zarn::KIND_DEVICE, 1, false},
          std::tuple{zarn::KIND_LOOP, 0, true}})
        made.push_back(
            std::make_unique<ZARNEqualizer>(w.get(), zarn::Target{kind, 0, channel}, rx));
    w->connection->gathering = false;
    std::vector<QPointer<ZARNEqualizer>> gathered;
    gathered.swap(w->connection->gathered);

    const unsigned long trips = zarn::ctl_round_trips();
    ZARNEqualizer::read_filters(gathered);
    QCOMPARE(zarn::ctl_round_trips() - trips, 3ul);
    for (const auto &e : made) {
        QCOMPARE(e->filter_length, 65536);
        QVERIFY(e->coefficients != nullptr);
    }
}

void TestEqualizer::strips_create_receive_then_transmit() {
    TestDaemon d(topology());
    d.with_engine([](zarn::sim::Engine &e) { e.devices[0].channels[0].tx_filter.length = 0; });
    auto w = fixture::make_window(d.path());
    ZARNController *strip = w->strips[1];
    QCOMPARE(strip->kind, int(zarn::KIND_DEVICE));
    QCOMPARE(strip->rx_equalizer->kind, RX_DEVICE);
    QCOMPARE(strip->tx_equalizer->kind, int(zarn::KIND_DEVICE));
    // A strip's windows carry its name, so two devices' can be told apart.
    QCOMPARE(strip->rx_equalizer->windowTitle(), QStringLiteral("Zarnmix Equalizer RX Ch1 - dsp0"));

    // The receive window reads first: its length query comes before the
    // transmit window's, and so does its fetch.
    std::vector<Fields> reads;
    for (auto &r : d.requests())
        if (zarn::is_filter_get(r.code) && as<FilterRecord>(r).channel == 1)
            reads.push_back(fields(r));
    const long long RX = zarn::REQ_DEV_RX_FILTER_GET, TX = zarn::REQ_DEV_TX_FILTER_GET;
    QCOMPARE(reads, std::vector<Fields>({{RX, 0, 1, 0, 0, 0, 0},
                                         {TX, 0, 1, 0, 0, 0, 0},
                                         {RX, 0, 1, 2048, 0, 1, 0},
                                         {TX, 0, 1, 2048, 0, 1, 0}}));
    QVERIFY(strip->rx_eq_button->isEnabled());
    QVERIFY(strip->tx_eq_button->isEnabled());
    QVERIFY(filter_writes(d).empty());

    // Channel 0 has no transmit filter: only its button is disabled.
    QVERIFY(w->strips[0]->rx_eq_button->isEnabled());
    QVERIFY(!w->strips[0]->tx_eq_button->isEnabled());
    QCOMPARE(w->strips[0]->tx_equalizer->filter_length, 0);

    // Strips of other kinds have no equalizer.
    for (ZARNController *s : w->strips) {
        if (s != nullptr && s->kind != zarn::KIND_DEVICE && s->kind != zarn::KIND_LOOP) {
            QVERIFY(s->rx_equalizer == nullptr);
            QVERIFY(s->tx_eq_button == nullptr);
        }
    }
}

void TestEqualizer::no_filter_support_disables_eq_buttons() {
    TestDaemon d(topology(0));
    auto w = fixture::make_window(d.path());
    ZARNController *strip = w->strips[0];
    for (ZARNEqualizer *e : {strip->rx_equalizer, strip->tx_equalizer}) {
        QVERIFY(e->filter_length == 0);
        QVERIFY(e->sample_rate == 48000);
        QVERIFY(e->state_map->selected == 0);
        QVERIFY(e->coefficients == nullptr);
    }
    QVERIFY(!strip->rx_eq_button->isEnabled());
    QVERIFY(!strip->tx_eq_button->isEnabled());

    // Only length queries: no fetch of a filter that does not exist, no write.
    for (auto &r : d.requests()) {
        QVERIFY(!zarn::is_filter_set(r.code));
        const Fields f = fields(r);
        if (zarn::is_filter_get(r.code))
            QCOMPARE(Fields(f.begin() + 3, f.end()), Fields({0, 0, 0, 0}));
    }

    // Nothing to apply to: the window ignores both of the user's actions.
    d.clear_requests();
    set_text(strip->rx_equalizer, "norm\n100 1\n");
    release_on(strip->rx_equalizer);
    apply(strip->rx_equalizer);
    QVERIFY(closer->boxes.isEmpty());
    QVERIFY(d.requests().empty());

    // A daemon that reports a filter later has its button enabled within a
    // second of ticks, and disabled again when it reports none.
    d.with_engine([](zarn::sim::Engine &en) { en.devices[0].channels[0].rx_filter.length = 512; });
    for (int i = 0; i < 10; ++i)
        w->handle_watchdog();
    QVERIFY(strip->rx_eq_button->isEnabled());
    QCOMPARE(strip->rx_equalizer->filter_length, 512);
    QVERIFY(!strip->tx_eq_button->isEnabled());
    d.with_engine([](zarn::sim::Engine &en) { en.devices[0].channels[0].rx_filter.length = 0; });
    for (int i = 0; i < 10; ++i)
        w->handle_watchdog();
    QVERIFY(!strip->rx_eq_button->isEnabled());
}

void TestEqualizer::eq_buttons_show_their_windows_and_strips_delete_them() {
    TestDaemon d(topology());
    auto w = fixture::make_window(d.path());
    ZARNController *loop = w->strips[2];
    QCOMPARE(loop->kind, int(zarn::KIND_LOOP));
    loop->rx_eq_button->click();
    QVERIFY(loop->rx_equalizer->isVisible());
    QVERIFY(!loop->tx_equalizer->isVisible());
    loop->tx_eq_button->click();
    QVERIFY(loop->tx_equalizer->isVisible());
    // Closing only hides; the next release shows the same window again.
    QPointer<ZARNEqualizer> shown = loop->tx_equalizer;
    shown->close();
    QVERIFY(!shown.isNull());
    QVERIFY(!shown->isVisible());
    loop->tx_eq_button->click();
    QVERIFY(shown->isVisible());

    auto *strip = new ZARNController(w.get(), zarn::KIND_DEVICE, 1, 0);
    QPointer<ZARNEqualizer> rx = strip->rx_equalizer;
    QPointer<ZARNEqualizer> tx = strip->tx_equalizer;
    QVERIFY(!rx.isNull());
    QVERIFY(!tx.isNull());
    rx->handle_copy();
    delete strip;
    QVERIFY(rx.isNull());
    QVERIFY(tx.isNull());
    QVERIFY(w->eq_copy_source == nullptr);
}

void TestEqualizer::construction_reads_daemon_filter() {
    TestDaemon d(topology());
    const std::vector<double> c = two_tap_filter();
    put_filter(d, true, c);
    auto w = fixture::make_window(d.path());
    ZARNEqualizer *rx = w->strips[0]->rx_equalizer;
    ZARNEqualizer *tx = w->strips[0]->tx_equalizer;
    QVERIFY(rx->filter_length == 2048);
    QVERIFY(rx->sample_rate == 48000);
    QCOMPARE(rx->state_map->selected, 1);
    QCOMPARE(coefficients_of(rx), c);
    // The other direction has a length but no filter in force.
    QVERIFY(tx->filter_length == 2048);
    QVERIFY(tx->state_map->selected == 0);
    QVERIFY(tx->coefficients == nullptr);
    // Showing the state read is no user action: nothing designed or sent.
    QVERIFY(filter_writes(d).empty());
    QVERIFY(closer->boxes.isEmpty());

    // The plot shows the daemon's filter: highest at 0 Hz, below the middle,
    // falling to the bottom row at the right.
    const QImage image = render(rx->freq_response);
    int top0 = 0;
    while (top0 < 128 && image.pixel(0, top0) != qRgb(0, 0, 0))
        top0++;
    QVERIFY(top0 > 64);
    QVERIFY(top0 < 127);
    QCOMPARE(image.pixel(0, 127), qRgb(192, 192, 192));
    QCOMPARE(image.pixel(255, 127), qRgb(0, 0, 0));
    QCOMPARE(image.pixel(255, 126), qRgb(255, 255, 255));

    // In view, the window follows another client's filter of the same
    // length, and its switching off, within a second of ticks.
    rx->show();
    std::vector<double> other = c;
    other[2] = 0.25;
    put_filter(d, true, other);
    for (int i = 0; i < 10; ++i)
        w->handle_watchdog();
    QCOMPARE(coefficients_of(rx), other);
    d.with_engine(
        [](zarn::sim::Engine &en) { en.devices[0].channels[0].rx_filter.active = false; });
    for (int i = 0; i < 10; ++i)
        w->handle_watchdog();
    QVERIFY(rx->coefficients == nullptr);
}

void TestEqualizer::unusable_fetch_keeps_length() {
    // 0: without a hook the daemon has no filter in force and fails the fetch.
    for (int fetch_size : {0, 1024, 65537 + 2048, -2048}) {
        TestDaemon d(topology());
        auto w = fixture::make_window(d.path());
        if (fetch_size != 0)
            d.set_hook(filter_answer(true, fetch_size));
        auto e = make_equalizer(w.get(), RX_DEVICE);
        d.clear_hook();
        QCOMPARE(e->filter_length, 2048);
        QVERIFY(e->state_map->selected == 0);
        QVERIFY(e->coefficients == nullptr);
        QCOMPARE(render(e->freq_response).pixel(0, 127), qRgb(0, 0, 0));

        // The length survives, so the user can still put a filter in force.
        d.clear_requests();
        set_text(e.get(), "norm\n100 1\n");
        release_on(e.get());
        const auto writes = filter_writes(d);
        QCOMPARE(writes.size(), std::size_t(1));
        QCOMPARE(fields(writes[0]), Fields({zarn::REQ_DEV_RX_FILTER_SET, 0, 0, 2048, 0, 1, 2048}));
        QCOMPARE(writes[0].payload[1024], 1.0);
    }
}

void TestEqualizer::length_query_rules() {
    const struct {
        int size, result, length;
    } cases[] = {{65536, 0, 65536}, {1, 0, 1},         {65537, 0, 0},
                 {-1, 0, 0},        {INT32_MIN, 0, 0}, {2048, -1, 0}};
    for (const auto &c : cases) {
        TestDaemon d(topology());
        auto w = fixture::make_window(d.path());
        d.clear_requests();
        d.set_hook(filter_answer(false, c.size, c.result));
        auto e = make_equalizer(w.get(), zarn::KIND_DEVICE);
        d.clear_hook();
        QCOMPARE(e->filter_length, c.length);
        QVERIFY(e->state_map->selected == 0);
        QVERIFY(e->coefficients == nullptr);
        // A usable length is fetched once; the daemon has no filter of that
        // length in force, so the fetch fails.
        std::vector<Fields> reads;
        for (auto &r : fixture::with_code(d, zarn::REQ_DEV_TX_FILTER_GET))
            reads.push_back(fields(r));
        std::vector<Fields> want{{zarn::REQ_DEV_TX_FILTER_GET, 0, 0, 0, 0, 0, 0}};
        if (c.length > 0)
            want.push_back({zarn::REQ_DEV_TX_FILTER_GET, 0, 0, c.length, 0, 1, 0});
        QCOMPARE(reads, want);
        QCOMPARE(d.count(zarn::REQ_SAMPLE_RATE_GET), std::size_t(1));
    }
}

void TestEqualizer::texts_that_cannot_be_sent() {
    TestDaemon d(topology());
    auto w = fixture::make_window(d.path());
    auto e = make_equalizer(w.get(), RX_DEVICE);
    auto other = make_equalizer(w.get(), zarn::KIND_LOOP);
    d.clear_requests();
    const QString empty = info_box("EQ filter specification is empty");
    const QString invalid = info_box("Invalid EQ filter specification");

    // OFF to ON with only blanks, or an invalid text, to design: a box,
    // nothing sent, and the map back on OFF, as the daemon has it.
    set_text(e.get(), " \n\t \n");
    release_on(e.get());
    set_text(other.get(), "# comment");
    release_on(other.get());
    QCOMPARE(closer->boxes, QStringList({empty, invalid}));
    QVERIFY(d.requests().empty());
    QVERIFY(e->state_map->selected == 0);
    QVERIFY(e->coefficients == nullptr);
    QVERIFY(other->state_map->selected == 0);
    QVERIFY(other->coefficients == nullptr);

    // A valid text then goes out when the filter is switched on.
    set_text(e.get(), "norm\n100 1\n");
    release_on(e.get());
    QCOMPARE(filter_writes(d).size(), std::size_t(1));
    const std::vector<double> sent = filter_writes(d)[0].payload;
    QCOMPARE(coefficients_of(e.get()), sent);
    const QImage before = render(e->freq_response);

    // Emptied or made invalid while a filter is in force: the filter stays.
    d.clear_requests();
    closer->boxes.clear();
    closer->informative.clear();
    for (const char *text : {"", "1e3 1", "\n \n200 1\r\n100 1", "nor", "100 1\n200"}) {
        set_text(e.get(), text);
        apply(e.get());
    }
    QCOMPARE(closer->boxes, QStringList({empty, invalid, invalid, invalid, invalid}));
    // The line is counted in the editor, blank lines trimmed off included.
    const QString two_numbers =
        QStringLiteral("expected two numbers: after the frequency, an amplitude on the same line");
    QCOMPARE(
        closer->informative,
        QStringList({"", "line 1: " + two_numbers, "line 4: frequency below the previous point",
                     "line 1: expected two numbers, a frequency in Hz and an amplitude: "
                     "digits with an optional decimal point, no sign, exponent or comma",
                     "line 2: " + two_numbers}));
    QVERIFY(d.requests().empty());
    QCOMPARE(e->state_map->selected, 1);
    QCOMPARE(coefficients_of(e.get()), sent);
    QCOMPARE(daemon_filter(d, true), sent);
    QVERIFY(render(e->freq_response) == before);
}

void TestEqualizer::off_sends_null_address() {
    TestDaemon d(topology());
    put_filter(d, true, two_tap_filter());
    auto w = fixture::make_window(d.path());
    auto e = make_equalizer(w.get(), RX_DEVICE, 0, 0);
    QCOMPARE(e->state_map->selected, 1);
    d.clear_requests();

    release_off(e.get());
    // Releasing OFF again is no change of state: nothing more is sent.
    release_off(e.get());
    const auto requests = d.requests();
    QCOMPARE(requests.size(), std::size_t(1));
    QCOMPARE(fields(requests[0]), off_request(zarn::REQ_DEV_RX_FILTER_SET));
    QVERIFY(e->coefficients == nullptr);
    QVERIFY(daemon_filter(d, true).empty());
    QVERIFY(render(e->freq_response) == render(w->strips[0]->tx_equalizer->freq_response));

    // "Apply filter" while OFF switches ON: a text that cannot be designed
    // sends nothing and leaves OFF in force and checked.
    d.clear_requests();
    for (const char *text : {"rubbish", ""}) {
        set_text(e.get(), text);
        apply(e.get());
    }
    QCOMPARE(closer->boxes.size(), 2);
    closer->boxes.clear();
    QVERIFY(d.requests().empty());
    QCOMPARE(e->state_map->selected, 0);
    QVERIFY(e->state_map->buttons[0]->isChecked());
    // A good text is designed and sent, and ON shows checked.
    set_text(e.get(), "150 1\n1000 0\n");
    apply(e.get());
    const auto writes = filter_writes(d);
    QCOMPARE(writes.size(), std::size_t(1));
    std::vector<double> want(2048);
    QVERIFY(!zarn::design_coefficients(48000.0, 2048, "150 1\n1000 0", want.data()));
    QCOMPARE(writes[0].payload, want);
    QCOMPARE(daemon_filter(d, true), want);
    QCOMPARE(e->state_map->selected, 1);
    QVERIFY(e->state_map->buttons[1]->isChecked());
    QVERIFY(!e->state_map->buttons[0]->isChecked());
    // Clicking the checked button leaves it checked.
    release_on(e.get());
    QVERIFY(e->state_map->buttons[1]->isChecked());
}

void TestEqualizer::apply_designs_and_sends() {
    TestDaemon d(topology(1024));
    auto w = fixture::make_window(d.path());
    auto e = make_equalizer(w.get(), zarn::KIND_DEVICE, 0, 1);
    set_text(e.get(), "150 1\n1000 0\n");
    d.clear_requests();
    release_on(e.get());

    auto writes = filter_writes(d);
    QCOMPARE(writes.size(), std::size_t(1));
    QCOMPARE(fields(writes[0]), Fields({zarn::REQ_DEV_TX_FILTER_SET, 0, 1, 1024, 0, 1, 1024}));
    QCOMPARE(as<FilterRecord>(writes[0]).coefficients,
             reinterpret_cast<std::uint64_t>(e->coefficients));
    // The window keeps what it sent, and the daemon has it in force.
    std::vector<double> want(1024);
    QVERIFY(!zarn::design_coefficients(48000.0, 1024, "150 1\n1000 0", want.data()));
    QCOMPARE(writes[0].payload, want);
    QCOMPARE(coefficients_of(e.get()), want);
    QCOMPARE(d.with_engine([](zarn::sim::Engine &en) {
        return en.devices[0].channels[1].tx_filter.coefficients;
    }),
             want);

    // A second apply sends again, and the window keeps what it sent.
    apply(e.get());
    QCOMPARE(filter_writes(d).size(), std::size_t(2));
    QCOMPARE(as<FilterRecord>(filter_writes(d)[1]).coefficients,
             reinterpret_cast<std::uint64_t>(e->coefficients));

    // The text is trimmed before its normalize line is looked for: unity at
    // amplitude 2 is a pure delay of gain 2, normalized to 1.
    for (const char *text : {"\n  \r\n\t norm\n100 2\n\n \n", "\n\n100 2 \n\n"}) {
        set_text(e.get(), text);
        apply(e.get());
    }
    QVERIFY(closer->boxes.isEmpty());
    QCOMPARE(filter_writes(d)[2].payload[512], 1.0);
    QCOMPARE(filter_writes(d)[3].payload[512], 2.0);

    // Another rate since the window was made: the design is for it.
    d.with_engine([](zarn::sim::Engine &en) { en.sample_rate = 44100; });
    set_text(e.get(), "150 1\n1000 0\n");
    apply(e.get());
    QVERIFY(!zarn::design_coefficients(44100.0, 1024, "150 1\n1000 0", want.data()));
    QCOMPARE(filter_writes(d).back().payload, want);
    QCOMPARE(e->sample_rate, 44100);

    // Loopback windows use the loopback requests.
    ZARNController *loop = w->strips[2];
    d.clear_requests();
    for (ZARNEqualizer *l : {loop->rx_equalizer, loop->tx_equalizer}) {
        set_text(l, "norm\n");
        release_on(l);
    }
    writes = filter_writes(d);
    QCOMPARE(writes.size(), std::size_t(2));
    QCOMPARE(fields(writes[0]), Fields({zarn::REQ_LOOP_RX_FILTER_SET, 0, 0, 1024, 0, 1, 1024}));
    QCOMPARE(fields(writes[1]), Fields({zarn::REQ_LOOP_TX_FILTER_SET, 0, 0, 1024, 0, 1, 1024}));
}

void TestEqualizer::nothing_sent_without_rate_or_device() {
    TestDaemon d(topology());
    auto w = fixture::make_window(d.path());
    const TestDaemon::Hook no_rate_hook = [](std::uint32_t code, unsigned char *,
                                             std::vector<double> &) -> std::optional<int> {
        if (code == zarn::REQ_SAMPLE_RATE_GET)
            return -1;
        return std::nullopt;
    };
    d.set_hook(no_rate_hook);
    auto no_rate = make_equalizer(w.get(), zarn::KIND_DEVICE);
    d.clear_hook();
    auto e = make_equalizer(w.get(), RX_DEVICE);
    QVERIFY(no_rate->sample_rate == 0);
    QVERIFY(no_rate->filter_length == 2048);

    // The window reads again before it writes; while the rate still cannot
    // be read, nothing is sent and the map shows OFF, as the daemon has it.
    d.set_hook(no_rate_hook);
    set_text(no_rate.get(), "norm\n");
    release_on(no_rate.get());
    apply(no_rate.get());
    QCOMPARE(no_rate->state_map->selected, 0);
    QVERIFY(filter_writes(d).empty());
    d.clear_hook();

    // A closed device: nothing read at construction, nothing sent after.
    const int fd = w->fd;
    w->fd = -1;
    auto closed = make_equalizer(w.get(), RX_DEVICE);
    QVERIFY(closed->sample_rate == 0);
    QVERIFY(closed->filter_length == 0);
    QCOMPARE(closed->state_map->selected, 0);
    d.clear_requests();
    set_text(e.get(), "norm\n");
    release_on(e.get());
    apply(e.get());
    QCOMPARE(e->state_map->selected, 0);
    w->fd = fd;

    QVERIFY(closer->boxes.isEmpty());
    QVERIFY(d.requests().empty());
    QVERIFY(e->coefficients == nullptr);

    // Once the rate can be read, the first change reads it and sends.
    release_on(no_rate.get());
    QCOMPARE(no_rate->sample_rate, 48000);
    QCOMPARE(filter_writes(d).size(), std::size_t(1));
    QCOMPARE(no_rate->state_map->selected, 1);

    // A write the daemon refuses leaves its filter as it was, and the map
    // says so.
    d.set_hook(
        [](std::uint32_t code, unsigned char *, std::vector<double> &) -> std::optional<int> {
            if (code == zarn::REQ_DEV_RX_FILTER_SET)
                return -1;
            return std::nullopt;
        });
    release_on(e.get());
    QCOMPARE(filter_writes(d).size(), std::size_t(2));
    QVERIFY(e->state_map->selected == 0);
    QVERIFY(e->coefficients == nullptr);
    d.clear_hook();
}

void TestEqualizer::paste_text_only_and_destroyed_source() {
    TestDaemon d(topology());
    auto w = fixture::make_window(d.path());
    auto a = make_equalizer(w.get(), RX_DEVICE);
    auto b = make_equalizer(w.get(), zarn::KIND_DEVICE);
    auto c = make_equalizer(w.get(), zarn::KIND_LOOP);
    set_text(a.get(), "norm\n");
    set_text(b.get(), "100 1");
    release_on(a.get());
    d.clear_requests();

    // No source: nothing happens.
    QVERIFY(w->eq_copy_source == nullptr);
    b->clipboard->paste_button->click();
    QCOMPARE(text_of(b.get()), QStringLiteral("100 1"));

    // Into the source itself: nothing happens.
    a->clipboard->copy_button->click();
    QCOMPARE(w->eq_copy_source, a.get());
    QVERIFY(w->compressor_copy_source == nullptr);
    set_text(a.get(), "norm\n200 1\n");
    a->clipboard->paste_button->click();
    QCOMPARE(text_of(a.get()), QStringLiteral("norm\n200 1\n"));

    // The source's text as it is at paste time; both OFF, so nothing sent.
    set_text(a.get(), "norm\n150 1\n1000 0\n");
    release_off(a.get());
    d.clear_requests();
    c->clipboard->paste_button->click();
    QCOMPARE(text_of(c.get()), QStringLiteral("norm\n150 1\n1000 0\n"));
    QVERIFY(b->state_map->selected == 0);
    QVERIFY(c->state_map->selected == 0);

    // Destroying a window that is not the source leaves the source alone;
    // destroying the source clears it, and pasting does nothing again.
    c.reset();
    QCOMPARE(w->eq_copy_source, a.get());
    a.reset();
    QVERIFY(w->eq_copy_source == nullptr);
    b->clipboard->paste_button->click();
    QCOMPARE(text_of(b.get()), QStringLiteral("100 1"));
    QVERIFY(d.requests().empty());
}

void TestEqualizer::paste_between_states() {
    TestDaemon d(topology());
    const std::vector<double> c = two_tap_filter();
    put_filter(d, false, c);
    auto w = fixture::make_window(d.path());
    auto a = make_equalizer(w.get(), RX_DEVICE);
    auto off = make_equalizer(w.get(), zarn::KIND_LOOP | zarn::EQ_RX_FLAG);
    auto on = make_equalizer(w.get(), zarn::KIND_DEVICE);
    QCOMPARE(on->state_map->selected, 1);
    set_text(a.get(), "norm\n150 1\n1000 0\n");
    release_on(a.get());
    const std::vector<double> a_filter = coefficients_of(a.get());
    a->clipboard->copy_button->click();
    d.clear_requests();

    // ON into ON replaces only the text; it takes effect with the next apply.
    on->clipboard->paste_button->click();
    QCOMPARE(text_of(on.get()), QStringLiteral("norm\n150 1\n1000 0\n"));
    QVERIFY(d.requests().empty());
    QCOMPARE(coefficients_of(on.get()), c);
    apply(on.get());
    QCOMPARE(filter_writes(d).size(), std::size_t(1));
    QCOMPARE(filter_writes(d)[0].payload, a_filter);

    // ON into OFF designs and sends the source's filter at once.
    d.clear_requests();
    off->clipboard->paste_button->click();
    QCOMPARE(off->state_map->selected, 1);
    QVERIFY(off->state_map->buttons[0]->isFlat());
    QVERIFY(!off->state_map->buttons[1]->isFlat());
    auto writes = filter_writes(d);
    QCOMPARE(writes.size(), std::size_t(1));
    QCOMPARE(writes[0].code, zarn::REQ_LOOP_RX_FILTER_SET);
    QCOMPARE(writes[0].payload, a_filter);
    QCOMPARE(coefficients_of(off.get()), a_filter);

    // OFF into ON switches the target off.
    release_off(a.get());
    d.clear_requests();
    on->clipboard->paste_button->click();
    QCOMPARE(on->state_map->selected, 0);
    QCOMPARE(d.requests().size(), std::size_t(1));
    QCOMPARE(fields(d.requests()[0]), off_request(zarn::REQ_DEV_TX_FILTER_SET));
}

void TestEqualizer::presets_fill_the_editor_only() {
    TestDaemon d(topology());
    const std::vector<double> c = two_tap_filter();
    put_filter(d, true, c);
    auto w = fixture::make_window(d.path());
    auto e = make_equalizer(w.get(), RX_DEVICE);
    const QImage before = render(e->freq_response);
    d.clear_requests();

    ZARNEQButtons *p = e->presets;
    const std::pair<QPushButton *, const char *> presets[] = {
        {p->defaults_button,
         "norm\n20 1\n25 1\n31.5 1\n40 1\n50 1\n63 1\n80 1\n100 1\n125 1\n160 1\n200 1\n250 "
         "1\n315 1\n400 1\n500 1\n630 1\n800 1\n1000 1\n1250 1\n1600 1\n2000 1\n2500 1\n3150 "
         "1\n4000 1\n5000 1\n6300 1\n8000 1\n10000 1\n12500 1\n16000 1\n20000 1\n"},
        {p->lowpass_button, "norm\n150 1\n1000 0\n"},
        {p->highpass_button, "norm\n150 0\n1000 1\n"},
        {p->bandpass_button, "norm\n250 0\n500 1\n1000 1\n2000 0\n"},
    };
    for (const auto &[button, text] : presets) {
        set_text(e.get(), "previous text\nreplaced entirely");
        button->click();
        QCOMPARE(text_of(e.get()), QString::fromLatin1(text));
    }
    QVERIFY(d.requests().empty());
    QCOMPARE(e->state_map->selected, 1);
    QCOMPARE(coefficients_of(e.get()), c);
    QVERIFY(render(e->freq_response) == before);

    // "Apply filter" then puts the band pass in force.
    apply(e.get());
    std::vector<double> want(2048);
    QVERIFY(!zarn::design_coefficients(48000.0, 2048, presets[3].second, want.data()));
    QCOMPARE(filter_writes(d).size(), std::size_t(1));
    QCOMPARE(filter_writes(d)[0].payload, want);
    QVERIFY(render(e->freq_response) != before);
}

void TestEqualizer::import_fills_the_editor_and_export_writes_what_was_applied() {
    QTemporaryDir dir;
    const auto write = [&dir](const char *name, const QByteArray &data) {
        QFile f(dir.filePath(name));
        return f.open(QIODevice::WriteOnly) && f.write(data) == data.size() ? f.fileName()
                                                                            : QString();
    };
    const QByteArray file = "Preamp: -3 dB\nFilter 1: ON PK Fc 1000 Hz Gain 4 dB Q 1.4\n";
    std::string imported;
    zarn::ImportError error;
    QVERIFY(zarn::import_filter_text(file.toStdString(), 48000.0, imported, error));

    TestDaemon d(topology());
    auto w = fixture::make_window(d.path());
    auto e = make_equalizer(w.get(), RX_DEVICE);
    set_text(e.get(), "norm\n150 1\n1000 0\n");
    d.clear_requests();

    // The text lands in the editor, as one step that Undo takes back; nothing is sent.
    answer_file_dialog(write("eq.txt", file));
    e->editor->import_button->click();
    QCOMPARE(text_of(e.get()), QString::fromStdString(imported));
    QCOMPARE(filter_writes(d).size(), std::size_t{0});
    e->editor->text_edit->undo();
    QCOMPARE(text_of(e.get()), QStringLiteral("norm\n150 1\n1000 0\n"));
    e->editor->text_edit->redo();

    // A refused file changes nothing and names the line and the reason.
    const QString bad = write("bad.txt", file + "Filter 2: ON XY Fc 100 Hz\n");
    answer_file_dialog(bad);
    e->editor->import_button->click();
    QCOMPARE(text_of(e.get()), QString::fromStdString(imported));
    QCOMPARE(closer->boxes, QStringList(info_box(qPrintable("Cannot import " + bad))));
    QCOMPARE(closer->informative.last(),
             QStringLiteral("line 3: unknown filter type \"XY\": expected PK, LSC, HSC, LS, HS, "
                            "LP, HP, NO or BP"));

    // Applied, the text is what the daemon's filter was designed from, and
    // what Export writes.
    const QString text_out = dir.filePath("out.txt");
    QString why;
    QVERIFY(!ZARNEQEditor::export_file(text_out, false, e->applied_text, e->sample_rate,
                                       e->filter_length, e->coefficients, &why));
    QCOMPARE(why, QStringLiteral("No filter text was applied in this window."));
    release_on(e.get());
    std::vector<double> designed(2048);
    QVERIFY(!zarn::design_coefficients(48000.0, 2048, imported.c_str(), designed.data()));
    QCOMPARE(daemon_filter(d, true), designed);
    answer_file_dialog(text_out);
    e->editor->export_button->click();
    QCOMPARE(contents(text_out), QByteArray::fromStdString(imported));

    const QString graphic_out = dir.filePath("graphic.txt");
    QVERIFY(ZARNEQEditor::export_file(graphic_out, true, e->applied_text, e->sample_rate,
                                      e->filter_length, e->coefficients, &why));
    QVERIFY(contents(graphic_out).startsWith("GraphicEQ: 20 "));
    // Switched off, nothing applied is left to export.
    release_off(e.get());
    QVERIFY(!ZARNEQEditor::export_file(text_out, false, e->applied_text, e->sample_rate,
                                       e->filter_length, e->coefficients, &why));
    QVERIFY(!ZARNEQEditor::export_file(graphic_out, true, e->applied_text, e->sample_rate,
                                       e->filter_length, e->coefficients, &why));
    QCOMPARE(why, QStringLiteral("No filter with a finite response is in force."));

    // The imported file's filters stay readable; one changed is made into
    // text again and applied. A change the import refuses goes back.
    answer_file_dialog(write("two.txt", "Preamp: -6 dB\nFilter 1: ON LSC Fc 105 Hz Gain 3.0 dB "
                                        "Q 0.70\nFilter 2: ON HP Fc 30 Hz Q 0.7\n"));
    e->editor->import_button->click();
    QTableWidget *table = e->editor->source_table->table;
    QVERIFY(!e->editor->source_table->isHidden());
    QCOMPARE(e->editor->source_table->preamp_box->value(), -6.0);
    QStringList cells;
    for (int row = 0; row < table->rowCount(); ++row)
        for (int c = 0; c < table->columnCount(); ++c)
            cells << table->item(row, c)->text();
    QCOMPARE(cells, QStringList({"LSC", "105", "3", "0.7", "HP", "30", "", "0.7"}));
    table->item(0, 2)->setText("-4.5");
    std::string edited;
    QVERIFY(zarn::import_filter_text("Preamp: -6 dB\nFilter 1: ON LSC Fc 105 Hz Gain -4.5 dB Q "
                                     "0.7\nFilter 2: ON HP Fc 30 Hz Q 0.7\n",
                                     48000.0, edited, error));
    QCOMPARE(text_of(e.get()), QString::fromStdString(edited));
    table->item(1, 1)->setText("30000");
    QCOMPARE(table->item(1, 1)->text(), QString("30"));
    QCOMPARE(text_of(e.get()), QString::fromStdString(edited));
    apply(e.get());
    QVERIFY(!zarn::design_coefficients(48000.0, 2048, edited.c_str(), designed.data()));
    QCOMPARE(daemon_filter(d, true), designed);
    QCOMPARE(e->state_map->selected, 1);
    // A GraphicEQ file has no filters to list.
    answer_file_dialog(write("g.txt", "GraphicEQ: 20 -1; 1000 0; 20000 -2\n"));
    e->editor->import_button->click();
    QVERIFY(e->editor->source_table->isHidden());
}

QTEST_MAIN(TestEqualizer)
#include "test_equalizer.moc"
