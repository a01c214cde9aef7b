#include <QtTest>

#include <cmath>
#include <complex>
#include <cstring>
#include <limits>
#include <random>
#include <vector>

#include "eq/filter_design.h"
#include "eq/freq_response.h"

namespace {

constexpr double PI = 3.14159265358979323846;
constexpr int COLUMNS = zarn::RESPONSE_COLUMNS;

zarn::ResponseColumns evaluate(double rate, const std::vector<double> &c) {
    zarn::ResponseColumns columns;
    std::memset(&columns, 0xff, sizeof columns); // NaN everywhere: every value must be written
    zarn::evaluate_response(rate, static_cast<int>(c.size()), c.empty() ? nullptr : c.data(),
                            &columns);
    return columns;
}

QStringList labels(const zarn::ResponseColumns &columns) {
    QStringList out;
    for (int k = 1; k <= 7; ++k)
        out << QString::fromStdString(zarn::frequency_label(columns.freq[32 * k]));
    return out;
}

std::vector<double> random_taps(std::size_t n, unsigned seed) {
    std::mt19937_64 rng(seed);
    std::uniform_real_distribution<double> d(-1.0, 1.0);
    std::vector<double> c(n);
    for (double &x : c)
        x = d(rng);
    return c;
}

} // namespace

class TestFreqResponse : public QObject {
    Q_OBJECT

private slots:
    void no_sample_rate_gives_zeros();
    void frequency_axis();
    void labels_read_as_documented();
    void no_coefficients_draw_the_bottom_line();
    void one_coefficient_has_its_magnitude_everywhere();
    void pure_delay_is_flat();
    void magnitude_matches_the_complex_sum();
    void parallel_columns_equal_the_plain_loop();
    void scale_is_absolute();
    void response_below_one_stays_in_the_lower_half();
    void non_finite_magnitudes_have_defined_heights();
    void non_finite_coefficients();
};

void TestFreqResponse::no_sample_rate_gives_zeros() {
    const std::vector<double> c{0.5, 0.25};
    for (double rate : {0.0, -48000.0, std::numeric_limits<double>::quiet_NaN()}) {
        const zarn::ResponseColumns r = evaluate(rate, c);
        for (int x = 0; x < COLUMNS; ++x) {
            QCOMPARE(r.freq[x], 0.0);
            QCOMPARE(r.mag[x], 0.0);
        }
        QCOMPARE(labels(r), QStringList({"0", "0", "0", "0", "0", "0", "0"}));
    }
}

void TestFreqResponse::frequency_axis() {
    for (double rate : {16000.0, 48000.0, 192000.0}) {
        const zarn::ResponseColumns r = evaluate(rate, {});
        QCOMPARE(r.freq[0], 0.0);
        QVERIFY(std::fabs(r.freq[255] - 7956.7) < 0.05);
        QVERIFY(std::fabs(r.freq[128] - (std::sqrt(2.0) - 1.0) * 8000.0) < 1e-9);
        for (int x = 1; x < COLUMNS; ++x)
            QVERIFY(r.freq[x] > r.freq[x - 1]);
        // About 21.7 Hz per pixel at the left, twice that at the right.
        QVERIFY(std::fabs(r.freq[1] - 21.7) < 0.05);
        QVERIFY(std::fabs((r.freq[255] - r.freq[254]) / r.freq[1] - 2.0) < 0.02);
    }
    const zarn::ResponseColumns low = evaluate(8000.0, {});
    QVERIFY(std::fabs(low.freq[255] - 7956.7 / 2.0) < 0.05);
    const zarn::ResponseColumns odd = evaluate(15999.0, {});
    QVERIFY(odd.freq[255] < 7999.5 && odd.freq[255] > 7950.0);
}

void TestFreqResponse::labels_read_as_documented() {
    QCOMPARE(labels(evaluate(48000.0, {})),
             QStringList({"700", "1500", "2k", "3k", "4k", "5k", "6k"}));
    QCOMPARE(labels(evaluate(16000.0, {})),
             QStringList({"700", "1500", "2k", "3k", "4k", "5k", "6k"}));
    QCOMPARE(labels(evaluate(8000.0, {})),
             QStringList({"300", "700", "1100", "1600", "2k", "2k", "3k"}));
    QCOMPARE(zarn::frequency_label(1999.99), std::string("1900"));
    QCOMPARE(zarn::frequency_label(2000.0), std::string("2k"));
    QCOMPARE(zarn::frequency_label(99.0), std::string("0"));
    QCOMPARE(zarn::frequency_label(std::numeric_limits<double>::quiet_NaN()), std::string("0"));
}

void TestFreqResponse::no_coefficients_draw_the_bottom_line() {
    double freq[COLUMNS], mag[COLUMNS];
    int heights[COLUMNS];
    const double c[1] = {1.0};
    for (int length : {0, -5}) {
        zarn::response_columns(48000.0, c, length, freq, mag, heights);
        for (int x = 0; x < COLUMNS; ++x) {
            QCOMPARE(mag[x], 0.0);
            QCOMPARE(heights[x], 0);
        }
        const zarn::ResponseScale s = zarn::response_scale(mag);
        QCOMPARE(s.lo, 0.0);
        QCOMPARE(s.range, 1.0);
    }
    zarn::response_columns(48000.0, nullptr, 64, freq, mag, heights);
    for (int x = 0; x < COLUMNS; ++x) {
        QCOMPARE(mag[x], 0.0);
        QCOMPARE(heights[x], 0);
    }
    QVERIFY(freq[255] > 7000.0);
}

void TestFreqResponse::one_coefficient_has_its_magnitude_everywhere() {
    for (double c : {1.0, -0.25, 3.5}) {
        const zarn::ResponseColumns r = evaluate(44100.0, {c});
        for (int x = 0; x < COLUMNS; ++x)
            QCOMPARE(r.mag[x], std::fabs(c));
    }
}

void TestFreqResponse::pure_delay_is_flat() {
    std::vector<double> c(2048, 0.0);
    QVERIFY(!zarn::design_coefficients(48000.0, c.size(), "norm", c.data()));
    double freq[COLUMNS], mag[COLUMNS];
    int heights[COLUMNS];
    zarn::response_columns(48000.0, c.data(), static_cast<int>(c.size()), freq, mag, heights);
    for (int x = 0; x < COLUMNS; ++x) {
        QVERIFY(std::fabs(mag[x] - 1.0) < 1e-9);
        QCOMPARE(heights[x], 0);
    }
}

void TestFreqResponse::magnitude_matches_the_complex_sum() {
    for (std::size_t n : {5u, 300u, 700u}) {
        const std::vector<double> c = random_taps(n, static_cast<unsigned>(n));
        const double rate = 44100.0;
        const zarn::ResponseColumns r = evaluate(rate, c);
        for (int x = 0; x < COLUMNS; ++x) {
            const double w = r.freq[x] * 2.0 * PI / rate;
            std::complex<double> sum = 0.0;
            for (std::size_t k = 0; k < n; ++k)
                sum += c[k] * std::polar(1.0, -static_cast<double>(k) * w);
            QVERIFY(std::fabs(r.mag[x] - std::abs(sum)) < 1e-9);
        }
    }
}

void TestFreqResponse::parallel_columns_equal_the_plain_loop() {
    // Sparse taps with signed zeros and a NaN check that skipping zero taps
    // changes nothing.
    std::vector<double> sparse = random_taps(3000, 11);
    for (std::size_t k = 0; k < sparse.size(); ++k)
        if (k % 5 != 0)
            sparse[k] = k % 2 ? -0.0 : 0.0;
    sparse[2000] = std::numeric_limits<double>::quiet_NaN();
    std::vector<double> lone_negative(2048, 0.0);
    lone_negative[1024] = -0.5;
    for (const std::vector<double> &c :
         {random_taps(100, 7), random_taps(511, 7), random_taps(512, 7), random_taps(4096, 7),
          sparse, lone_negative}) {
        const std::size_t n = c.size();
        const double rate = 48000.0;
        const zarn::ResponseColumns r = evaluate(rate, c);
        for (int x = 0; x < COLUMNS; ++x) {
            const double w = r.freq[x] * 2.0 * PI / rate;
            double angle = 0.0, p = 0.0, q = 0.0;
            for (std::size_t k = 0; k < n; ++k) {
                q = q + c[k] * std::sin(angle);
                p = p + c[k] * std::cos(angle);
                angle = angle + w;
            }
            const double plain = std::sqrt(p * p + q * q);
            QVERIFY2(std::memcmp(&plain, &r.mag[x], sizeof plain) == 0,
                     qPrintable(QString("n %1 column %2").arg(n).arg(x)));
        }
    }
}

void TestFreqResponse::scale_is_absolute() {
    double mag[COLUMNS];
    for (int x = 0; x < COLUMNS; ++x)
        mag[x] = 2.0 + static_cast<double>(x % 10);
    zarn::ResponseScale s = zarn::response_scale(mag);
    QCOMPARE(s.lo, 2.0);
    QCOMPARE(s.range, 10.0);
    QCOMPARE(zarn::column_height(2.0, s), 0);
    QCOMPARE(zarn::column_height(11.0, s), 114); // 9 * 127 / 10 = 114.3
    QCOMPARE(zarn::column_height(10.0, s), 101); // 8 * 127 / 10 = 101.6, truncated

    for (int x = 0; x < COLUMNS; ++x)
        mag[x] = 1.0;
    s = zarn::response_scale(mag);
    QCOMPARE(s.lo, 1.0);
    QCOMPARE(s.range, 1.0);
    QCOMPARE(zarn::column_height(1.0, s), 0);
    // Outside the scanned values the height is still limited to 0 ... 127.
    QCOMPARE(zarn::column_height(0.5, s), 0);
    QCOMPARE(zarn::column_height(1e300, s), 127);
    QCOMPARE(zarn::column_height(std::numeric_limits<double>::max(), s), 127);
}

void TestFreqResponse::response_below_one_stays_in_the_lower_half() {
    double mag[COLUMNS];
    for (int x = 0; x < COLUMNS; ++x)
        mag[x] = static_cast<double>(x) / 255.0;
    const zarn::ResponseScale s = zarn::response_scale(mag);
    QCOMPARE(s.lo, 0.0);
    QCOMPARE(s.range, 2.0);
    QCOMPARE(zarn::column_height(1.0, s), 63);

    std::vector<double> c(1024);
    QVERIFY(!zarn::design_coefficients(48000.0, c.size(), "norm\n150 1\n1000 0\n", c.data()));
    double freq[COLUMNS];
    int heights[COLUMNS];
    zarn::response_columns(48000.0, c.data(), static_cast<int>(c.size()), freq, mag, heights);
    int highest = 0;
    for (int x = 0; x < COLUMNS; ++x) {
        QVERIFY(mag[x] <= 1.0 + 1e-12);
        QVERIFY(heights[x] <= 63);
        highest = std::max(highest, heights[x]);
    }
    QVERIFY(highest > 50); // the pass band reaches near 1 at the left
}

void TestFreqResponse::non_finite_magnitudes_have_defined_heights() {
    const double nan = std::numeric_limits<double>::quiet_NaN();
    const double inf = std::numeric_limits<double>::infinity();
    double mag[COLUMNS];
    for (int x = 0; x < COLUMNS; ++x)
        mag[x] = 0.5;
    mag[0] = nan;
    mag[1] = inf;
    mag[2] = 0.25;
    mag[3] = 1.5;
    const zarn::ResponseScale s = zarn::response_scale(mag);
    QCOMPARE(s.lo, 0.25);
    QCOMPARE(s.range, 2.25);
    QCOMPARE(zarn::column_height(nan, s), 0);
    QCOMPARE(zarn::column_height(inf, s), 127);
    QCOMPARE(zarn::column_height(-inf, s), 0);
    QCOMPARE(zarn::column_height(1.5, s), 70); // 1.25 * 127 / 2.25 = 70.6

    for (int x = 0; x < COLUMNS; ++x)
        mag[x] = x % 2 ? nan : inf;
    const zarn::ResponseScale none = zarn::response_scale(mag);
    QCOMPARE(none.lo, 0.0);
    QCOMPARE(none.range, 1.0);

    const zarn::ResponseScale broken{nan, nan};
    QCOMPARE(zarn::column_height(1.0, broken), 0);
}

void TestFreqResponse::non_finite_coefficients() {
    const double nan = std::numeric_limits<double>::quiet_NaN();
    const double inf = std::numeric_limits<double>::infinity();
    for (const std::vector<double> &c :
         {std::vector<double>{nan}, std::vector<double>{inf}, std::vector<double>{0.5, -inf, 0.5},
          std::vector<double>{0.0, 1.0, nan, 0.0}, std::vector<double>(600, inf)}) {
        double freq[COLUMNS], mag[COLUMNS];
        int heights[COLUMNS];
        zarn::response_columns(48000.0, c.data(), static_cast<int>(c.size()), freq, mag, heights);
        for (int x = 0; x < COLUMNS; ++x) {
            QVERIFY(heights[x] >= 0 && heights[x] <= 127);
            if (std::isnan(mag[x]))
                QCOMPARE(heights[x], 0);
            else if (std::isinf(mag[x]))
                QCOMPARE(heights[x], 127);
        }
    }
    // One bad tap among good ones spoils every column; none is drawn raised.
    double freq[COLUMNS], mag[COLUMNS];
    int heights[COLUMNS];
    const std::vector<double> c{0.0, 1.0, nan, 0.0};
    zarn::response_columns(48000.0, c.data(), 4, freq, mag, heights);
    for (int x = 0; x < COLUMNS; ++x)
        QCOMPARE(heights[x], 0);
}

QTEST_APPLESS_MAIN(TestFreqResponse)
#include "test_freq_response.moc"
