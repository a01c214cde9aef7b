// SPDX-License-Identifier: BSD-2-Clause

#include <QtTest>

#include <cmath>
#include <limits>
#include <string>
#include <vector>

#include "eq/filter_design.h"

namespace {

struct Parsed {
    bool invalid;
    bool normalize;
    std::vector<double> bins; // spectrum[0] ... spectrum[n / 2]
};

Parsed parse(const std::string &text, double rate, std::uint64_t n) {
    // Exactly the bins the parser may write: a write past them is caught by
    // the address sanitizer build.
    std::vector<double> spectrum(n / 2 + 1, -7.0);
    zarn::FilterDesign design{};
    design.sample_rate = rate;
    design.size = n;
    design.spectrum = spectrum.data();
    const bool invalid = zarn::parse_filter_spec(&design, text.c_str());
    return Parsed{invalid, design.normalize, spectrum};
}

// Rate 16 at length 16: the bins are the whole frequencies 0 ... 8 Hz.
Parsed parse16(const std::string &text) {
    return parse(text, 16.0, 16);
}

double between(double f, double f0, double a0, double f1, double a1) {
    return (a1 - a0) * ((f - f0) / (f1 - f0)) + a0;
}

// Points (f0, a) and (6, b): flat a up to f0, a line to 6 Hz, flat b above.
std::vector<double> ramp(double a, double b, double f0 = 2) {
    std::vector<double> v;
    for (int f = 0; f <= 8; ++f)
        v.push_back(f <= f0 ? a : f >= 6 ? b : between(f, f0, a, 6, b));
    return v;
}

std::vector<double> flat(double a) {
    return std::vector<double>(9, a);
}

void compare_bins(const std::vector<double> &got, const std::vector<double> &want) {
    QCOMPARE(got.size(), want.size());
    for (std::size_t i = 0; i < got.size(); ++i)
        if (std::fabs(got[i] - want[i]) > 1e-14)
            QFAIL(qPrintable(QString("bin %1: %2, expected %3").arg(i).arg(got[i]).arg(want[i])));
}

} // namespace

Q_DECLARE_METATYPE(std::vector<double>)

class TestFilterLanguage : public QObject {
    Q_OBJECT

private slots:
    void texts_on_a_16_hz_grid_data();
    void texts_on_a_16_hz_grid();
    void invalid_texts();
    void line_rules_give_the_same_points();
    void lazy_reading_stops_past_the_highest_bin();
    void lowpass_preset_at_1024_and_48000();
    void overlong_numbers();
    void rates_and_lengths_that_could_not_end_are_refused();
    void trim_agrees_with_the_editor_for_every_code_point();
    void refusals_name_the_line_and_the_reason();
};

void TestFilterLanguage::texts_on_a_16_hz_grid_data() {
    QTest::addColumn<QByteArray>("text");
    QTest::addColumn<bool>("normalize");
    QTest::addColumn<std::vector<double>>("bins"); // empty: invalid
    const std::vector<double> invalid;

    // The normalize line: its first four bytes, the rest of the line ignored.
    QTest::newRow("none") << QByteArray("2 0\n6 4") << false << ramp(0, 4);
    QTest::newRow("empty") << QByteArray("") << false << flat(1);
    QTest::newRow("norm") << QByteArray("norm\n2 0\n6 4") << true << ramp(0, 4);
    QTest::newRow("NORM") << QByteArray("NORM\n2 0\n6 4") << true << ramp(0, 4);
    QTest::newRow("rest of line ignored")
        << QByteArray("Normalize please 9 9 -\n2 0\n6 4") << true << ramp(0, 4);
    QTest::newRow("crlf") << QByteArray("nOrM\r\n2 0\r\n6 4\r\n") << true << ramp(0, 4);
    QTest::newRow("only norm") << QByteArray("norm") << true << flat(1);
    QTest::newRow("no line feed skips all") << QByteArray("NORMAL 2 0 6 4") << true << flat(1);
    QTest::newRow("nor") << QByteArray("nor") << false << invalid;
    QTest::newRow("nor split") << QByteArray("nor\nm") << false << invalid;
    QTest::newRow("not first") << QByteArray("\nnorm") << false << invalid;

    // Number forms.
    QTest::newRow("trailing stop") << QByteArray("2. 0.\n6. 4.") << false << ramp(0, 4);
    QTest::newRow("leading zeros") << QByteArray("002 00.0\n06 0004") << false << ramp(0, 4);
    QTest::newRow("no integer digits") << QByteArray("2 .5\n6 .25") << false << ramp(0.5, 0.25);
    QTest::newRow("two stops") << QByteArray("2..5 6 4") << false << ramp(0.5, 4);
    QTest::newRow("5..1") << QByteArray("5..1") << false << flat(0.1);
    QTest::newRow("two fractions") << QByteArray("2.0.5 6.0.25") << false << ramp(0.5, 0.25);
    QTest::newRow("1.5.25") << QByteArray("1.5.25 6 3") << false << ramp(0.25, 3, 1.5);
    QTest::newRow(".5 as frequency") << QByteArray(".5 0\n6 4") << false << ramp(0, 4, 0.5);
    QTest::newRow("long fraction")
        << QByteArray("2 0.1250000000000000000000000000001\n6 2") << false << ramp(0.125, 2);

    // Order and steps.
    QTest::newRow("step") << QByteArray("4 1\n4 0") << false
                          << std::vector<double>{1, 1, 1, 1, 0, 0, 0, 0, 0};
    QTest::newRow("approach then step")
        << QByteArray("2 0\n4 1\n4 0") << false << std::vector<double>{0, 0, 0, 0.5, 0, 0, 0, 0, 0};
    QTest::newRow("three at one frequency")
        << QByteArray("4 1\n4 9\n4 2") << false << std::vector<double>{1, 1, 1, 1, 2, 2, 2, 2, 2};
    QTest::newRow("lower is invalid") << QByteArray("4 1\n2 1") << false << invalid;
    QTest::newRow("lower after a step") << QByteArray("4 1\n4 1\n3.5 1") << false << invalid;
    QTest::newRow("above the last point stays")
        << QByteArray("1 5\n3 7") << false << std::vector<double>{5, 5, 6, 7, 7, 7, 7, 7, 7};
    QTest::newRow("between bins") << QByteArray("0.5 2\n0.75 6") << false
                                  << std::vector<double>{2, 6, 6, 6, 6, 6, 6, 6, 6};

    // A segment from 0 Hz is flat at its upper amplitude.
    QTest::newRow("0 Hz segment") << QByteArray("0 0\n4 1\n6 3") << false
                                  << std::vector<double>{1, 1, 1, 1, 1, 2, 3, 3, 3};
    QTest::newRow("two at 0 Hz") << QByteArray("0 0\n0 7\n4 1\n6 3") << false
                                 << std::vector<double>{1, 1, 1, 1, 1, 2, 3, 3, 3};
    QTest::newRow("only 0 Hz") << QByteArray("0 5") << false << flat(5);
}

void TestFilterLanguage::texts_on_a_16_hz_grid() {
    QFETCH(QByteArray, text);
    QFETCH(bool, normalize);
    QFETCH(std::vector<double>, bins);
    const Parsed p = parse16(text.toStdString());
    QCOMPARE(p.invalid, bins.empty());
    if (p.invalid)
        return;
    QCOMPARE(p.normalize, normalize);
    compare_bins(p.bins, bins);
}

void TestFilterLanguage::invalid_texts() {
    // Highest bin 24000 Hz: every point in these texts is read.
    for (const char *t : {"1e3 1", "-5 1", "+5 1", "100 -1", "100, 1", "# comment", ". 1", "5 .",
                          "100\n1", "100\r\n1", "100", "100\v1", "\f100 1", "100 1\n200 0.5 x",
                          "200 1\n100 1", "1.5.25.5 1", "0x10 1",
                          "\xC2\xA0"
                          "100 1",
                          "100\xE2\x80\x83"
                          "1"})
        QVERIFY2(parse(t, 48000.0, 64).invalid, t);
}

void TestFilterLanguage::line_rules_give_the_same_points() {
    const Parsed reference = parse("100 1\n200 0.5", 48000.0, 512);
    QVERIFY(!reference.invalid);
    for (const char *t : {"100 1 200 0.5", "100\t1\r\n200\t0.5\r\n", "\n\n 100 1\n\n\t200 0.5\n",
                          "100 \t \r 1 200 .5", "100 1\r200 0.5\r\r\n"}) {
        const Parsed p = parse(t, 48000.0, 512);
        QVERIFY2(!p.invalid && p.bins == reference.bins, t);
    }
}

void TestFilterLanguage::lazy_reading_stops_past_the_highest_bin() {
    // Rate 48000 at length 8: the highest bin is 24000 Hz.
    const struct {
        const char *text;
        bool invalid;
    } cases[] = {
        {"1000 1\n30000 1\nrubbish", false}, {"1000 1\n2000 1\nrubbish", true},
        {"1000 1\n30000 1\n5 1", false},     {"30000 1-+e#", false},
        {"1000 1\n24000 1\nrubbish", true},  {"1000 1\n30000", true},
        {"1000 1\n30000 -1", true},
    };
    for (const auto &c : cases)
        QVERIFY2(parse(c.text, 48000.0, 8).invalid == c.invalid, c.text);
}

void TestFilterLanguage::lowpass_preset_at_1024_and_48000() {
    const Parsed p = parse("norm\n150 1\n1000 0\n", 48000.0, 1024);
    QVERIFY(!p.invalid && p.normalize);
    QCOMPARE(p.bins.size(), std::size_t(513));
    for (std::size_t i = 0; i < p.bins.size(); ++i) {
        const double f = 46.875 * static_cast<double>(i);
        const double want = i <= 3 ? 1.0 : f >= 1000.0 ? 0.0 : (1000.0 - f) / 850.0;
        QVERIFY2(std::fabs(p.bins[i] - want) < 1e-14, qPrintable(QString::number(i)));
    }
    QCOMPARE(p.bins[3], 1.0);  // 140.625 Hz
    QCOMPARE(p.bins[22], 0.0); // 1031.25 Hz, the first bin from 1000 Hz on
}

void TestFilterLanguage::overlong_numbers() {
    const std::string nines(400, '9');
    // An infinite frequency is simply far away.
    const Parsed far = parse16("1 2\n" + nines + " 3");
    QVERIFY(!far.invalid);
    compare_bins(far.bins, flat(2));
    // An infinite amplitude parses; the design refuses it.
    const Parsed loud = parse16("4 " + nines);
    QVERIFY(!loud.invalid);
    for (double b : loud.bins)
        QVERIFY(!std::isfinite(b));
    const Parsed tiny = parse16("4 0." + std::string(400, '0') + "1");
    QVERIFY(!tiny.invalid);
    compare_bins(tiny.bins, flat(0));
}

void TestFilterLanguage::rates_and_lengths_that_could_not_end_are_refused() {
    const double inf = std::numeric_limits<double>::infinity();
    for (double rate : {0.0, -48000.0, std::numeric_limits<double>::quiet_NaN(), inf, -inf})
        QVERIFY(parse("100 1", rate, 64).invalid);
    QVERIFY(parse("100 1", 48000.0, 0).invalid);
    // Bin frequencies would overflow to infinity and never fall below the rate.
    QVERIFY(parse("norm", 1e305, 65536).invalid);
    QVERIFY(!parse("norm", 1e300, 65536).invalid);
    QVERIFY(!parse("norm", std::numeric_limits<double>::denorm_min(), 64).invalid);
}

// The editor trims with QString::trimmed; the Qt-free core must cut exactly
// the same characters, at either end, for every character of the basic plane.
void TestFilterLanguage::trim_agrees_with_the_editor_for_every_code_point() {
    int differing = 0;
    QString first;
    for (char32_t c = 1; c <= 0xFFFF; ++c) {
        if (c >= 0xD800 && c <= 0xDFFF)
            continue; // not a character on its own
        const QString one = QString(QChar(static_cast<char16_t>(c)));
        const QString text = one + QStringLiteral("1 1") + one;
        const std::string trimmed = zarn::trim_white_space(text.toUtf8().toStdString());
        if (trimmed != text.trimmed().toUtf8().toStdString()) {
            if (differing++ == 0)
                first = QString::number(static_cast<uint>(c), 16);
        }
    }
    QVERIFY2(differing == 0,
             qPrintable(QStringLiteral("%1 differ, first U+%2").arg(differing).arg(first)));
}

void TestFilterLanguage::refusals_name_the_line_and_the_reason() {
    using zarn::SpecFault;
    const struct {
        const char *text;
        SpecFault fault;
        std::uint64_t line;
    } cases[] = {
        {"nor", SpecFault::expected_numbers, 1},
        {"norm\n100 1\n-5 1", SpecFault::expected_numbers, 3},
        {"100 1\n\n\n,5 1", SpecFault::expected_numbers, 4},
        {"100 1\n\n\n1e3 1", SpecFault::expected_amplitude, 4},
        {"100\n1", SpecFault::expected_amplitude, 1},
        {"100 1\n200 1\n150 1", SpecFault::frequency_below_previous, 3},
    };
    for (const auto &c : cases) {
        zarn::SpecError error;
        std::vector<double> spectrum(33);
        zarn::FilterDesign design{};
        design.sample_rate = 48000.0;
        design.size = 64;
        design.spectrum = spectrum.data();
        QVERIFY2(zarn::parse_filter_spec(&design, c.text, &error), c.text);
        QVERIFY2(error.fault == c.fault && error.line == c.line,
                 qPrintable(QString("%1: fault %2 line %3")
                                .arg(QString::fromUtf8(c.text))
                                .arg(int(error.fault))
                                .arg(error.line)));
        // The same report for the refusal of a whole design.
        const zarn::SpecError again = zarn::find_spec_error(48000.0, 64, c.text);
        QVERIFY(again.fault == c.fault && again.line == c.line);
    }

    // No one line is to blame for coefficients that are not finite, nor
    // for a length no design takes.
    const std::string loud = "4 " + std::string(400, '9');
    std::vector<double> out(16);
    QVERIFY(zarn::design_coefficients(16.0, 16, loud.c_str(), out.data()));
    const zarn::SpecError too_large = zarn::find_spec_error(16.0, 16, loud.c_str());
    QVERIFY(too_large.fault == SpecFault::not_finite && too_large.line == 0);
    for (std::uint64_t size : {std::uint64_t(0), zarn::MAX_FILTER_LENGTH + 1})
        QVERIFY(zarn::find_spec_error(48000.0, size, "100 1").fault == SpecFault::no_design);
    QVERIFY(zarn::find_spec_error(0.0, 64, "100 1").fault == SpecFault::no_design);
}

QTEST_APPLESS_MAIN(TestFilterLanguage)
#include "test_filter_language.moc"
