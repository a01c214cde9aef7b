// SPDX-License-Identifier: BSD-2-Clause

#include <QtTest>

#include <QDir>
#include <QFile>
#include <QTemporaryDir>

#include <cmath>
#include <cstdlib>
#include <random>
#include <string>
#include <vector>

#include "eq/filter_design.h"

namespace {

constexpr double PI = 3.14159265358979323846;

const char *const DEFAULTS =
    "norm\n20 1\n25 1\n31.5 1\n40 1\n50 1\n63 1\n80 1\n100 1\n125 1\n160 1\n200 1\n250 1\n315 "
    "1\n400 1\n500 1\n630 1\n800 1\n1000 1\n1250 1\n1600 1\n2000 1\n2500 1\n3150 1\n4000 1\n5000 "
    "1\n6300 1\n8000 1\n10000 1\n12500 1\n16000 1\n20000 1\n";
const char *const LOWPASS = "norm\n150 1\n1000 0\n";

struct Design {
    bool invalid;
    std::vector<double> taps;
};

Design design(const std::string &text, double rate, std::uint64_t n) {
    Design d{false, std::vector<double>(n, -7.0)};
    d.invalid = zarn::design_coefficients(rate, n, text.c_str(), d.taps.data());
    return d;
}

struct Point {
    double f;
    double a;
};

// The curve through the points: the last point at or below f starts the
// segment (a virtual (0, 1) before all), a segment from 0 Hz is flat at its
// upper amplitude, the last amplitude continues to the end.
double amplitude_at(const std::vector<Point> &points, double f) {
    std::vector<Point> all{{0.0, 1.0}};
    all.insert(all.end(), points.begin(), points.end());
    std::size_t j = 0;
    for (std::size_t k = 0; k < all.size(); ++k)
        if (all[k].f <= f)
            j = k;
    if (j + 1 == all.size())
        return all[j].a;
    const Point lo = all[j], hi = all[j + 1];
    const double base = lo.f == 0.0 ? hi.a : lo.a;
    return (hi.a - base) * ((f - lo.f) / (hi.f - lo.f)) + base;
}

// The design by direct evaluation of the cosine sum of the sampled curve,
// without a fast transform: Hann-tapered lags centred at tap n/2 (taps[0] = 0
// for even n; for odd n the window reaches 0 at lag n/2 + 1).
std::vector<double> direct_design(const std::vector<Point> &points, bool normalize, double rate,
                                  std::uint64_t n) {
    const std::uint64_t h = n / 2;
    std::vector<double> s(h + 1);
    for (std::uint64_t i = 0; i <= h; ++i)
        s[i] = amplitude_at(points, (static_cast<double>(i) * rate) / static_cast<double>(n));
    auto lag = [&](std::uint64_t m) {
        double sum = s[0];
        for (std::uint64_t k = 1; k < (n + 1) / 2; ++k)
            sum += 2.0 * s[k] * std::cos(2.0 * PI * static_cast<double>((k * m) % n) / n);
        if (n % 2 == 0)
            sum += (m % 2 ? -1.0 : 1.0) * s[h];
        return sum;
    };
    const bool even = n % 2 == 0;
    std::vector<double> taps(n, 0.0);
    for (std::uint64_t k = 0; k < (even ? h : h + 1); ++k) {
        const double zero_at = static_cast<double>(even ? h : h + 1);
        const double w = 0.5 * std::cos(PI * static_cast<double>(k) / zero_at) + 0.5;
        taps[h + k] = taps[h - k] = w * lag(k) / static_cast<double>(n);
    }
    if (even)
        taps[0] = 0.0;
    double sum = 0.0;
    for (double t : taps)
        sum += std::fabs(t);
    if (normalize && sum != 0.0)
        for (double &t : taps)
            t /= sum;
    return taps;
}

double abs_sum(const std::vector<double> &v) {
    double sum = 0.0;
    for (double x : v)
        sum += std::fabs(x);
    return sum;
}

void check_close(const std::vector<double> &got, const std::vector<double> &want,
                 const QByteArray &where) {
    QCOMPARE(got.size(), want.size());
    for (std::size_t j = 0; j < got.size(); ++j)
        QVERIFY2(std::fabs(got[j] - want[j]) <= 1e-12,
                 (where + " tap " + QByteArray::number(qulonglong(j))).constData());
}

// A single 1 at tap `centre`, 0 elsewhere, up to rounding.
void check_pure_delay(const std::vector<double> &taps, std::size_t centre) {
    std::vector<double> want(taps.size(), 0.0);
    want[centre] = 1.0;
    check_close(taps, want, "n " + QByteArray::number(qulonglong(taps.size())));
}

// Random valid texts in every accepted spelling; the points are known.
struct RandomText {
    std::string text;
    bool normalize;
    std::vector<Point> points;
};

RandomText random_text(std::mt19937_64 &rng, double rate) {
    auto pick = [&](int n) { return static_cast<int>(rng() % static_cast<unsigned>(n)); };
    static const char *const norms[] = {"norm\n", "NORM please\r\n", "Normalize\n",
                                        "nOrMxyz 1 -\n"};
    static const char *const before[] = {"", "\n", "\r\n", " ", "\t", "\n\n  ", " \r\n\t"};
    static const char *const inside[] = {" ", "\t", " \t ", "\r ", "  "};
    RandomText sample{"", pick(2) == 1, {}};
    if (sample.normalize)
        sample.text = norms[pick(4)];
    const int count = pick(9);
    const double nyquist = rate / 2.0;
    const auto widest = static_cast<std::uint64_t>(std::max(2.0, nyquist * 2.4 / (count + 1)));
    double f = 0.0;
    for (int p = 0; p < count; ++p) {
        // Whole frequencies, some repeated (steps), some past the highest bin.
        if (p == 0 && pick(4) == 0)
            f = 0.0;
        else if (pick(5) > 0)
            f += static_cast<double>(rng() % widest);
        std::string fs = std::to_string(static_cast<long long>(f));
        const char *const decorations[] = {"", ".", ".0"};
        const int form = pick(4);
        fs = form == 3 ? "0" + fs : fs + decorations[form];
        const int hundredths = pick(400);
        const std::string digits =
            std::to_string(hundredths / 10 % 10) + std::to_string(hundredths % 10);
        const std::string as = hundredths < 100 && pick(2)
                                   ? "." + digits
                                   : std::to_string(hundredths / 100) + "." + digits;
        // A digit after an amplitude would continue it.
        sample.text += p > 0 ? before[1 + pick(6)] : pick(2) ? before[pick(7)] : "";
        sample.text += fs + inside[pick(5)] + as;
        sample.points.push_back({f, std::strtod(as.c_str(), nullptr)});
    }
    sample.text += before[pick(7)];
    // Text past a point above the highest bin is never read.
    if (!sample.points.empty() && sample.points.back().f > nyquist && pick(2))
        sample.text += "rubbish -1 e";
    return sample;
}

} // namespace

class TestFirDesign : public QObject {
    Q_OBJECT

private slots:
    void flat_texts_design_a_pure_delay();
    void small_lengths();
    void presets_match_direct_evaluation();
    void invalid_designs();
    void random_texts_and_lengths();
    void workspace_calling_order();
    void wisdom_kept_in_a_file();
};

void TestFirDesign::flat_texts_design_a_pure_delay() {
    for (std::uint64_t n : {2u, 3u, 9u, 64u, 1000u, 1023u, 2048u})
        for (const char *text : {DEFAULTS, "norm", "1000 1", "0 1", "norm\n0 0\n5 1"}) {
            const Design d = design(text, 48000.0, n);
            QVERIFY(!d.invalid);
            check_pure_delay(d.taps, n / 2);
        }
    const Design low_rate = design(DEFAULTS, 8000.0, 256);
    QVERIFY(!low_rate.invalid);
    check_pure_delay(low_rate.taps, 128);
}

void TestFirDesign::small_lengths() {
    // N = 2: bins 0 Hz (amplitude 2) and 24000 Hz (amplitude 4).
    QCOMPARE(design("6000 2\n18000 4", 48000.0, 2).taps, std::vector<double>({0.0, 3.0}));
    QCOMPARE(design("norm\n6000 2\n18000 4", 48000.0, 2).taps, std::vector<double>({0.0, 1.0}));
    // N = 1 scales like the rest.
    QCOMPARE(design("100 0.5", 48000.0, 1).taps, std::vector<double>({0.5}));
    QCOMPARE(design("norm\n100 0.5", 48000.0, 1).taps, std::vector<double>({1.0}));
    // All zero with normalize divides nothing.
    for (std::uint64_t n : {1u, 2u, 7u, 64u}) {
        const Design d = design("norm\n100 0", 48000.0, n);
        QVERIFY(!d.invalid);
        QCOMPARE(d.taps, std::vector<double>(n, 0.0));
    }
    // Every tap of an odd filter carries some of the response.
    QVERIFY(design("100 1\n24000 0.5", 48000.0, 9).taps[0] != 0.0);
}

void TestFirDesign::presets_match_direct_evaluation() {
    const struct {
        const char *text;
        std::vector<Point> points;
    } presets[] = {
        {LOWPASS, {{150, 1}, {1000, 0}}},
        {"norm\n150 0\n1000 1\n", {{150, 0}, {1000, 1}}},
        {"norm\n250 0\n500 1\n1000 1\n2000 0\n", {{250, 0}, {500, 1}, {1000, 1}, {2000, 0}}},
    };
    for (const auto &p : presets)
        for (std::uint64_t n : {63u, 1024u, 2047u})
            for (double rate : {44100.0, 48000.0}) {
                const Design d = design(p.text, rate, n);
                QVERIFY(!d.invalid);
                QVERIFY(std::fabs(abs_sum(d.taps) - 1.0) < 1e-12);
                check_close(d.taps, direct_design(p.points, true, rate, n), p.text);
            }
}

void TestFirDesign::invalid_designs() {
    // Invalid texts and arguments leave the output alone.
    std::vector<double> out(16, 42.0);
    QVERIFY(zarn::design_coefficients(48000.0, 16, "100 -1", out.data()));
    QVERIFY(zarn::design_coefficients(0.0, 16, "norm", out.data()));
    QVERIFY(zarn::design_coefficients(48000.0, 0, "norm", out.data()));
    QVERIFY(zarn::design_coefficients(48000.0, zarn::MAX_FILTER_LENGTH + 1, "norm", out.data()));
    QCOMPARE(out, std::vector<double>(16, 42.0));
    // Numbers too long for a double give no finite design.
    const std::string nines(400, '9');
    QVERIFY(design("100 " + nines, 48000.0, 64).invalid);
    QVERIFY(design("norm\n100 1\n200 " + nines, 48000.0, 64).invalid);
    // Each bin is finite, their transform is not.
    QVERIFY(design("100 1" + std::string(308, '0'), 48000.0, 64).invalid);
    QVERIFY(!design("100 1" + std::string(300, '0'), 48000.0, 64).invalid);
    // An infinite frequency with finite amplitudes is a valid, finite design.
    const Design far = design("norm\n10 1\n" + nines + " 0", 48000.0, 64);
    QVERIFY(!far.invalid);
    check_pure_delay(far.taps, 32);
}

void TestFirDesign::random_texts_and_lengths() {
    std::mt19937_64 rng(20240611);
    const double rates[] = {8000.0, 44100.0, 48000.0, 96000.0, 22050.5};
    int normalized = 0, odd = 0, cut = 0;
    for (int round = 0; round < 400; ++round) {
        const std::uint64_t n = round % 40 == 0 ? 1024 + rng() % 1025 : 1 + rng() % 160;
        const double rate =
            round % 7 == 6 ? 1000.0 + static_cast<double>(rng() % 199000) : rates[rng() % 5];
        const RandomText sample = random_text(rng, rate);
        const Design d = design(sample.text, rate, n);
        const QByteArray where = "n " + QByteArray::number(qulonglong(n)) + " rate " +
                                 QByteArray::number(rate) + " text " +
                                 QByteArray::fromStdString(sample.text).toPercentEncoding();
        QVERIFY2(!d.invalid, where.constData());

        // Even lengths are symmetric about n/2 with tap 0 at 0, odd ones
        // about their centre tap.
        const std::uint64_t h = n / 2;
        if (n % 2 == 0) {
            QVERIFY2(d.taps[0] == 0.0, where.constData());
            for (std::uint64_t k = 1; k < h; ++k)
                QVERIFY2(d.taps[h + k] == d.taps[h - k], where.constData());
        } else {
            ++odd;
            for (std::uint64_t j = 0; j < n; ++j)
                QVERIFY2(d.taps[j] == d.taps[n - 1 - j], where.constData());
        }
        const double sum = abs_sum(d.taps);
        if (sample.normalize && sum != 0.0) {
            ++normalized;
            QVERIFY2(std::fabs(sum - 1.0) < 1e-12, where.constData());
        }
        cut += sample.text.find("rubbish") != std::string::npos;
        check_close(d.taps, direct_design(sample.points, sample.normalize, rate, n), where);
    }
    // The generator reached every kind of case.
    QVERIFY(normalized > 50 && odd > 50 && cut > 5);
}

void TestFirDesign::workspace_calling_order() {
    // The equalizer's own sequence: plan first, then the fields, then the
    // design; the spectrum's old contents must not matter.
    const std::uint64_t n = 32;
    zarn::FilterDesign d{};
    d.taps = fftw_alloc_real(n);
    d.spectrum = fftw_alloc_real(n);
    d.plan = fftw_plan_r2r_1d(static_cast<int>(n), d.spectrum, d.taps, FFTW_HC2R, FFTW_MEASURE);
    QVERIFY(d.plan != nullptr);
    std::fill(d.spectrum, d.spectrum + n, 1e6);
    d.sample_rate = 48000.0;
    d.size = n;
    d.normalize = true;
    QVERIFY(!zarn::design_filter(&d, "500 1"));
    QVERIFY(!d.normalize);
    check_pure_delay(std::vector<double>(d.taps, d.taps + n), n / 2);
    QVERIFY(zarn::design_filter(&d, "500 -1"));
    fftw_destroy_plan(d.plan);
    fftw_free(d.spectrum);
    fftw_free(d.taps);
}

namespace {

QByteArray file_text(const QString &path) {
    QFile f(path);
    return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray("missing");
}

void write_text(const QString &path, const QByteArray &text) {
    QFile f(path);
    QVERIFY(f.open(QIODevice::WriteOnly | QIODevice::Truncate));
    QCOMPARE(f.write(text), text.size());
}

double largest_difference(const std::vector<double> &a, const std::vector<double> &b) {
    double d = 0.0;
    for (std::size_t i = 0; i < a.size(); i++)
        d = std::max(d, std::fabs(a[i] - b[i]));
    return d;
}

} // namespace

void TestFirDesign::wisdom_kept_in_a_file() {
    QTemporaryDir dir;
    QVERIFY(dir.isValid());
    const QString path = dir.filePath(QStringLiteral("fftw-wisdom"));
    const std::string file = QFile::encodeName(path).toStdString();

    fftw_forget_wisdom();
    const Design fresh = design(LOWPASS, 48000.0, 4096);
    QVERIFY(!fresh.invalid);

    // What is not a wisdom file imports nothing and stops nothing.
    QVERIFY(!zarn::import_wisdom(file));
    QVERIFY(!zarn::import_wisdom(QFile::encodeName(dir.path()).toStdString()));
    for (const QByteArray &text : {QByteArray("(fftw-3.3 fftw_wisdom #x1 #x2\n  (nonsense"),
                                   QByteArray("garbage"), QByteArray(64, '\0')}) {
        write_text(path, text);
        QVERIFY2(!zarn::import_wisdom(file), text.constData());
    }

    // Kept from a corrupt file: the first plan of a size replaces it, whole.
    fftw_forget_wisdom();
    zarn::keep_wisdom_in(file);
    QVERIFY(largest_difference(design(LOWPASS, 48000.0, 4096).taps, fresh.taps) < 1e-12);
    const QByteArray kept = file_text(path);
    QVERIFY2(kept.startsWith("(fftw-"), kept.left(40).constData());
    QCOMPARE(QDir(dir.path()).entryList(QDir::Files), QStringList{QStringLiteral("fftw-wisdom")});

    // A size planned before in this process writes nothing; a new one does.
    QVERIFY(QFile::remove(path));
    QVERIFY(!design(LOWPASS, 48000.0, 4096).invalid);
    QVERIFY(!QFile::exists(path));
    QVERIFY(!design(LOWPASS, 48000.0, 2048).invalid);
    QVERIFY(QFile::exists(path));

    // Planned from the imported wisdom alone, the design agrees with the
    // freshly measured one.
    fftw_forget_wisdom();
    QVERIFY(zarn::import_wisdom(file));
    QVERIFY(largest_difference(design(LOWPASS, 48000.0, 4096).taps, fresh.taps) < 1e-12);

    // A file cut short is ignored, then replaced by the next new size.
    const QByteArray whole = file_text(path);
    write_text(path, whole.left(whole.size() / 2));
    QVERIFY(!zarn::import_wisdom(file));
    zarn::keep_wisdom_in(file);
    QVERIFY(!design(LOWPASS, 48000.0, 1024).invalid);
    QVERIFY(zarn::import_wisdom(file));
    QVERIFY(zarn::export_wisdom(file));
    QVERIFY(!zarn::export_wisdom(
        QFile::encodeName(dir.filePath(QStringLiteral("no/such/folder"))).toStdString()));

    zarn::keep_wisdom_in(std::string());
    QVERIFY(QFile::remove(path));
    QVERIFY(!design(LOWPASS, 48000.0, 512).invalid);
    QVERIFY(!QFile::exists(path));
}

QTEST_APPLESS_MAIN(TestFirDesign)
#include "test_fir_design.moc"
