// SPDX-License-Identifier: BSD-2-Clause

#include <QTest>

#include <cmath>
#include <complex>
#include <fftw3.h>
#include <vector>

#include "eq/filter_design.h"
#include "eq/filter_import.h"

namespace {

using Points = QVector<QPair<double, double>>;

// The points of a filter text; a line that is not two numbers of digits
// and a full stop fails the test.
Points points_of(const std::string &text) {
    Points out;
    for (const QByteArray &line : QByteArray::fromStdString(text).split('\n')) {
        if (line.isEmpty())
            continue;
        const QList<QByteArray> w = line.split(' ');
        for (const QByteArray &word : w)
            for (char c : word)
                if (!((c >= '0' && c <= '9') || c == '.'))
                    return {};
        if (w.size() != 2)
            return {};
        out.append({w[0].toDouble(), w[1].toDouble()});
    }
    return out;
}

double amplitude(double db) {
    return std::pow(10.0, db / 20.0);
}

// The cookbook's analog prototypes, taken through the bilinear transform
// prewarped at fc: at z = e^(i w) the prototype is evaluated at
// s = i tan(w / 2) / tan(w0 / 2). Independent of the z-domain coefficients.
struct Section {
    QString type;
    double fc, gain_db, q;
};

double prototype_magnitude(const Section &f, double hz, double rate) {
    const double pi = std::acos(-1.0);
    const std::complex<double> s(0.0, std::tan(pi * hz / rate) / std::tan(pi * f.fc / rate));
    const double a = std::pow(10.0, f.gain_db / 40.0);
    const double q = f.q;
    const double r = std::sqrt(a) / q;
    std::complex<double> h;
    if (f.type == "PK")
        h = (s * s + s * (a / q) + 1.0) / (s * s + s / (a * q) + 1.0);
    else if (f.type == "LSC" || f.type == "LS")
        h = a * (s * s + r * s + a) / (a * s * s + r * s + 1.0);
    else if (f.type == "HSC" || f.type == "HS")
        h = a * (a * s * s + r * s + 1.0) / (s * s + r * s + a);
    else if (f.type == "LP")
        h = 1.0 / (s * s + s / q + 1.0);
    else if (f.type == "HP")
        h = s * s / (s * s + s / q + 1.0);
    else if (f.type == "BP")
        h = (s / q) / (s * s + s / q + 1.0);
    else
        h = (s * s + 1.0) / (s * s + s / q + 1.0);
    return std::abs(h);
}

double expected_amplitude(const QVector<Section> &sections, double preamp_db, double hz,
                          double rate) {
    double a = amplitude(preamp_db);
    for (const Section &f : sections)
        a *= prototype_magnitude(f, hz, rate);
    return a;
}

// A parametric file of the sections, one "Filter n:" line each.
std::string parametric_file(const QVector<Section> &sections, double preamp_db) {
    QString out = QStringLiteral("Preamp: %1 dB\n").arg(preamp_db);
    int n = 0;
    for (const Section &f : sections) {
        out += QStringLiteral("Filter %1: ON %2 Fc %3 Hz").arg(++n).arg(f.type).arg(f.fc);
        if (f.type == "PK" || f.type.contains('S'))
            out += QStringLiteral(" Gain %1 dB").arg(f.gain_db);
        out += QStringLiteral(" Q %1\n").arg(f.q);
    }
    return out.toStdString();
}

} // namespace

Q_DECLARE_METATYPE(Section)

class TestFilterImport : public QObject {
    Q_OBJECT

private slots:
    void graphic_eq_points_data();
    void graphic_eq_points();
    void parametric_matches_the_prototypes_data();
    void parametric_matches_the_prototypes();
    void refused_with_line_and_reason_data();
    void refused_with_line_and_reason();
    void designed_fir_within_0_05_db_of_the_file();
    void graphic_eq_export_reads_back();
};

void TestFilterImport::graphic_eq_points_data() {
    QTest::addColumn<QByteArray>("file");
    QTest::addColumn<Points>("points");
    QTest::newRow("plain") << QByteArray("GraphicEQ: 20 -1.2; 21 -1.3; 1000 6")
                           << Points{{20, amplitude(-1.2)},
                                     {21, amplitude(-1.3)},
                                     {1000, amplitude(6)}};
    QTest::newRow("preamp, mark, CRLF, trailing semicolon")
        << QByteArray("\xef\xbb\xbfPreamp: -6 dB\r\nGraphicEQ: 20 0; 20000 6;\r\n")
        << Points{{20, amplitude(-6)}, {20000, 1.0}};
    QTest::newRow("header and comments skipped")
        << QByteArray("Some tool 1.0\nDated: today\nGraphicEQ: 100 +3; 100 1e1\n# done\n")
        << Points{{100, amplitude(3)}, {100, amplitude(10)}};
    QTest::newRow("far down and far up")
        << QByteArray("Preamp: -100\nGraphicEQ: 50 -100; 60.5 100; 70 100")
        << Points{{50, 1e-10}, {60.5, 1.0}, {70, 1.0}};
}

void TestFilterImport::graphic_eq_points() {
    QFETCH(QByteArray, file);
    QFETCH(Points, points);
    std::string text;
    zarn::ImportError error;
    QVERIFY2(zarn::import_filter_text(file.toStdString(), 48000.0, text, error),
             error.reason.c_str());
    const Points got = points_of(text);
    QCOMPARE(got.size(), points.size());
    for (int i = 0; i < got.size(); i++) {
        QCOMPARE(got[i].first, points[i].first);
        QVERIFY2(std::fabs(got[i].second - points[i].second) <= 1e-9 * points[i].second + 1e-12,
                 qPrintable(QString::number(i)));
    }
    // The language designs it as it stands.
    std::vector<double> taps(256);
    QVERIFY(!zarn::design_coefficients(48000.0, taps.size(), text.c_str(), taps.data()));
}

void TestFilterImport::parametric_matches_the_prototypes_data() {
    QTest::addColumn<QVector<Section>>("sections");
    QTest::addColumn<double>("preamp");
    QTest::addColumn<double>("rate");
    QTest::newRow("peaks and shelves at 48 kHz")
        << QVector<Section>{{"PK", 100, -4, 2}, {"LSC", 105, 6, 0.7}, {"HSC", 8000, -3, 0.5}}
        << -6.5 << 48000.0;
    QTest::newRow("LS and HS at 44.1 kHz")
        << QVector<Section>{{"LS", 300, -8, 1.2}, {"HS", 5000, 9, 0.9}} << 0.0 << 44100.0;
    QTest::newRow("pass filters") << QVector<Section>{{"LP", 12000, 0, 0.7071}, {"HP", 40, 0, 1.3}}
                                  << 2.0 << 48000.0;
    QTest::newRow("notch and band pass")
        << QVector<Section>{{"NO", 1000, 0, 4}, {"BP", 3000, 0, 0.8}} << 0.0 << 96000.0;
    QTest::newRow("narrow peak at 8 kHz")
        << QVector<Section>{{"PK", 1234.5, 12, 8}} << 0.0 << 8000.0;
}

void TestFilterImport::parametric_matches_the_prototypes() {
    QFETCH(QVector<Section>, sections);
    QFETCH(double, preamp);
    QFETCH(double, rate);
    std::string text;
    zarn::ImportError error;
    QVERIFY2(zarn::import_filter_text(parametric_file(sections, preamp), rate, text, error),
             error.reason.c_str());
    const Points got = points_of(text);
    QVERIFY(got.size() > 48);
    // From 10 Hz to half the rate, at least 48 points an octave.
    QCOMPARE(got.front().first, 10.0);
    QCOMPARE(got.back().first, rate / 2.0);
    for (int i = 1; i < got.size(); i++) {
        const double step = got[i].first / got[i - 1].first;
        QVERIFY2(step > 1.0 && step <= std::exp2(1.0 / 48.0) + 1e-9,
                 qPrintable(QString::number(got[i].first)));
    }
    // To 1e-7, a millionth of a dB: the prototypes and the biquads round
    // differently beside a notch.
    for (const auto &[hz, a] : got) {
        const double want = expected_amplitude(sections, preamp, hz, rate);
        QVERIFY2(std::fabs(a - want) <= 1e-7 * want + 1e-12,
                 qPrintable(QStringLiteral("%1 Hz: %2, expected %3").arg(hz).arg(a).arg(want)));
    }
}

void TestFilterImport::refused_with_line_and_reason_data() {
    QTest::addColumn<QByteArray>("file");
    QTest::addColumn<int>("line");
    QTest::addColumn<QString>("reason");
    QTest::newRow("unknown type") << QByteArray("Preamp: -1 dB\nFilter 1: ON XY Fc 100 Hz") << 2
                                  << "unknown filter type \"XY\"";
    QTest::newRow("letter in a number") << QByteArray("Filter 1: ON PK Fc 1O0 Hz Gain 1 dB Q 1")
                                        << 1 << "expected a number after \"Fc\"";
    QTest::newRow("infinite gain") << QByteArray("Filter 1: ON PK Fc 100 Hz Gain inf dB Q 1") << 1
                                   << "expected a number after \"Gain\"";
    QTest::newRow("two signs") << QByteArray("Preamp: +-5 dB") << 1 << "expected \"Preamp:";
    QTest::newRow("peak without Q")
        << QByteArray("Filter 1: ON PK Fc 100 Hz Gain 1 dB") << 1 << "PK needs a Q";
    QTest::newRow("gain on a low pass")
        << QByteArray("\nFilter 1: ON LP Fc 100 Hz Gain 1 dB Q 1") << 2 << "LP takes no gain";
    QTest::newRow("Fc at half the rate") << QByteArray("Filter 1: ON PK Fc 100 Hz Gain 1 dB Q 1\r\n"
                                                       "Filter 2: ON PK Fc 24000 Hz Gain 1 dB Q 1")
                                         << 2 << "Fc must lie below half the sample rate";
    QTest::newRow("stray line after the filters")
        << QByteArray("Filter 1: OFF PK\nFilter 2: ON BP Fc 100 Hz\nBass boost") << 3
        << "not a Preamp, Filter or GraphicEQ line";
    QTest::newRow("preamp out of range")
        << QByteArray("Preamp: -101 dB") << 1 << "gain out of range";
    QTest::newRow("gains above 200 dB")
        << QByteArray("Preamp: 100 dB\nFilter 1: ON LSC Fc 1000 Hz Gain 100 dB\n"
                      "Filter 2: ON LSC Fc 1000 Hz Gain 100 dB")
        << 0 << "the gains add up to more than 200 dB";
    QTest::newRow("empty file") << QByteArray() << 0 << "no Preamp, Filter or GraphicEQ line";
    QTest::newRow("falling frequency") << QByteArray("GraphicEQ: 100 0; 50 0") << 1
                                       << "frequency below the previous point, point 2";
    QTest::newRow("GraphicEQ with filters")
        << QByteArray("GraphicEQ: 100 0\nFilter 1: ON PK Fc 100 Hz Gain 1 dB Q 1") << 2
        << "a Filter line in a file with a GraphicEQ line";
}

void TestFilterImport::refused_with_line_and_reason() {
    QFETCH(QByteArray, file);
    QFETCH(int, line);
    QFETCH(QString, reason);
    std::string text = "kept";
    zarn::ImportError error;
    QVERIFY(!zarn::import_filter_text(file.toStdString(), 48000.0, text, error));
    QCOMPARE(text, std::string("kept"));
    QCOMPARE(error.line, static_cast<std::uint64_t>(line));
    QVERIFY2(QString::fromStdString(error.reason).startsWith(reason), error.reason.c_str());
}

void TestFilterImport::designed_fir_within_0_05_db_of_the_file() {
    // Peaks and shelves with Q at most 2, two of them near the ends of the band.
    const QVector<Section> sections{{"LSC", 105, 6, 0.7},   {"PK", 40, -4, 2},
                                    {"PK", 1000, 3, 1.41},  {"PK", 3500, -5, 2},
                                    {"HSC", 8000, -3, 0.7}, {"PK", 15000, 4, 1.5}};
    const double preamp = -6.5;
    const double rate = 48000.0;
    constexpr int N = 65536;
    std::string text;
    zarn::ImportError error;
    QVERIFY(zarn::import_filter_text(parametric_file(sections, preamp), rate, text, error));
    std::vector<double> taps(N);
    QVERIFY(!zarn::design_coefficients(rate, N, text.c_str(), taps.data()));

    // The FIR's response at its own bins, 0.73 Hz apart.
    std::vector<fftw_complex> bins(N / 2 + 1);
    fftw_plan plan = fftw_plan_dft_r2c_1d(N, taps.data(), bins.data(), FFTW_ESTIMATE);
    fftw_execute(plan);
    fftw_destroy_plan(plan);
    double worst = 0.0;
    double worst_hz = 0.0;
    for (int k = 0; k <= N / 2; k++) {
        const double hz = k * rate / N;
        if (hz < 30.0 || hz > 20000.0)
            continue;
        const double got = 20.0 * std::log10(std::hypot(bins[k][0], bins[k][1]));
        const double want = 20.0 * std::log10(expected_amplitude(sections, preamp, hz, rate));
        if (std::fabs(got - want) > worst) {
            worst = std::fabs(got - want);
            worst_hz = hz;
        }
    }
    qInfo("worst deviation %.4f dB at %.1f Hz", worst, worst_hz);
    QVERIFY2(worst <= 0.05, qPrintable(QString::number(worst)));
}

void TestFilterImport::graphic_eq_export_reads_back() {
    // The average of two taps: |cos(pi f / rate)|, -3.01 dB at a quarter of it.
    const double taps[] = {0.5, 0.5};
    const double rate = 48000.0;
    std::string line;
    QVERIFY(zarn::graphic_eq_text(rate, 2, taps, line));
    zarn::GraphicEq eq;
    zarn::ImportError error;
    QVERIFY2(zarn::parse_graphic_eq(line, eq, error), error.reason.c_str());
    // Twelve points an octave, 20 Hz to 20 kHz.
    QCOMPARE(eq.points.size(), std::size_t{120});
    QCOMPARE(eq.points.front().first, 20.0);
    QCOMPARE(eq.points.back().first, 19331.0);
    for (const auto &[hz, db] : eq.points) {
        const double want = 20.0 * std::log10(std::cos(std::acos(-1.0) * hz / rate));
        QVERIFY2(std::fabs(db - want) <= 0.01, qPrintable(QString::number(hz)));
    }
    // An 8 kHz rate stops at 4 kHz.
    QVERIFY(zarn::graphic_eq_text(8000.0, 2, taps, line));
    QVERIFY(zarn::parse_graphic_eq(line, eq, error));
    QCOMPARE(eq.points.back().first, 3836.0);
}

QTEST_MAIN(TestFilterImport)
#include "test_filter_import.moc"
