// SPDX-License-Identifier: BSD-2-Clause

#include <QtTest>

#include <algorithm>

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
const double NaN = std::numeric_limits<double>::quiet_NaN();
const double INF = std::numeric_limits<double>::infinity();

zarn::ResponseColumns evaluate(double rate, const std::vector<double> &c) {
    zarn::ResponseColumns columns;
    std::memset(&columns, 0xff, sizeof columns); // NaN everywhere: every value must be written
    zarn::evaluate_response(rate, static_cast<int>(c.size()), c.empty() ? nullptr : c.data(),
                            &columns);
    return columns;
}

struct Plot {
    double freq[COLUMNS], mag[COLUMNS];
    int heights[COLUMNS];
};

Plot plot(double rate, const double *c, int n) {
    Plot p;
    zarn::response_columns(rate, c, n, p.freq, p.mag, p.heights);
    return p;
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
    void frequency_axis_and_labels();
    void flat_responses_draw_the_bottom_line();
    void parallel_columns_equal_the_plain_loop();
    void job_spread_over_calls_equals_one_evaluation();
    void scale_and_heights();
    void non_finite_coefficients();
};

void TestFreqResponse::frequency_axis_and_labels() {
    for (double rate : {16000.0, 48000.0, 192000.0}) {
        const zarn::ResponseColumns r = evaluate(rate, {});
        QCOMPARE(r.freq[0], 0.0);
        QVERIFY(std::fabs(r.freq[128] - (std::sqrt(2.0) - 1.0) * 8000.0) < 1e-9);
        QVERIFY(std::fabs(r.freq[255] - 7956.7) < 0.05);
        for (int x = 1; x < COLUMNS; ++x)
            QVERIFY(r.freq[x] > r.freq[x - 1]);
        QCOMPARE(labels(r), QStringList({"700", "1500", "2k", "3k", "4k", "5k", "6k"}));
    }
    const zarn::ResponseColumns low = evaluate(8000.0, {});
    QVERIFY(std::fabs(low.freq[255] - 7956.7 / 2.0) < 0.05);
    QCOMPARE(labels(low), QStringList({"300", "700", "1100", "1600", "2k", "2k", "3k"}));
    const zarn::ResponseColumns odd = evaluate(15999.0, {});
    QVERIFY(odd.freq[255] < 7999.5 && odd.freq[255] > 7950.0);
    QCOMPARE(zarn::frequency_label(1999.99), std::string("1900"));
    QCOMPARE(zarn::frequency_label(2000.0), std::string("2k"));
    QCOMPARE(zarn::frequency_label(NaN), std::string("0"));

    // No usable sample rate: zeros everywhere.
    for (double rate : {0.0, -48000.0, NaN}) {
        const zarn::ResponseColumns r = evaluate(rate, {0.5, 0.25});
        for (int x = 0; x < COLUMNS; ++x)
            QVERIFY(r.freq[x] == 0.0 && r.mag[x] == 0.0);
        QCOMPARE(labels(r), QStringList({"0", "0", "0", "0", "0", "0", "0"}));
    }
}

void TestFreqResponse::flat_responses_draw_the_bottom_line() {
    const double one[1] = {1.0}, minus[1] = {-0.25};
    std::vector<double> delay(2048, 0.0);
    QVERIFY(!zarn::design_coefficients(48000.0, delay.size(), "norm", delay.data()));
    const struct {
        const double *c;
        int n;
        double mag;
    } cases[] = {{one, 0, 0.0},
                 {one, -5, 0.0},
                 {nullptr, 64, 0.0},
                 {minus, 1, 0.25},
                 {delay.data(), 2048, 1.0}};
    for (const auto &c : cases) {
        const Plot p = plot(48000.0, c.c, c.n);
        QVERIFY(p.freq[255] > 7000.0);
        for (int x = 0; x < COLUMNS; ++x) {
            QVERIFY(std::fabs(p.mag[x] - c.mag) < 1e-9);
            QCOMPARE(p.heights[x], 0);
        }
    }
}

void TestFreqResponse::parallel_columns_equal_the_plain_loop() {
    // Sparse taps with signed zeros and a NaN check that skipping zero taps
    // changes nothing; 511 and 512 lie either side of the parallel split.
    std::vector<double> sparse = random_taps(3000, 11);
    for (std::size_t k = 0; k < sparse.size(); ++k)
        if (k % 5 != 0)
            sparse[k] = k % 2 ? -0.0 : 0.0;
    sparse[2000] = NaN;
    std::vector<double> lone_negative(2048, 0.0);
    lone_negative[1024] = -0.5;
    for (const std::vector<double> &c :
         {random_taps(511, 7), random_taps(512, 7), random_taps(4096, 7), sparse, lone_negative}) {
        const zarn::ResponseColumns r = evaluate(48000.0, c);
        for (int x = 0; x < COLUMNS; ++x) {
            const double w = r.freq[x] * 2.0 * PI / 48000.0;
            double angle = 0.0, p = 0.0, q = 0.0;
            for (double ck : c) {
                q = q + ck * std::sin(angle);
                p = p + ck * std::cos(angle);
                angle = angle + w;
            }
            const double plain = std::sqrt(p * p + q * q);
            // An independent check of the angle convention on the dense taps.
            if (c.size() <= 512) {
                std::complex<double> sum = 0.0;
                for (std::size_t k = 0; k < c.size(); ++k)
                    sum += c[k] * std::polar(1.0, -static_cast<double>(k) * w);
                QVERIFY(std::fabs(r.mag[x] - std::abs(sum)) < 1e-9);
            }
            QVERIFY2(std::memcmp(&plain, &r.mag[x], sizeof plain) == 0,
                     qPrintable(QString("n %1 column %2").arg(c.size()).arg(x)));
        }
    }
}

void TestFreqResponse::job_spread_over_calls_equals_one_evaluation() {
    const std::vector<double> first = random_taps(8192, 3);
    const std::vector<double> second = random_taps(8192, 4);
    const zarn::ResponseColumns want_first = evaluate(44100.0, first);
    const zarn::ResponseColumns want_second = evaluate(44100.0, second);
    const auto same = [](const zarn::ResponseColumns &a, const zarn::ResponseColumns &b) {
        return std::memcmp(&a, &b, sizeof a) == 0;
    };

    zarn::ResponseJob job;
    std::vector<double> taps = first;
    job.start(44100.0, static_cast<int>(taps.size()), taps.data());
    // The job works on its own copy of the filter.
    std::fill(taps.begin(), taps.end(), 0.0);
    int calls = 0;
    for (bool done = false; !done; ++calls) {
        done = job.work(100000);
        if (calls % 3 == 0)
            job.pause();
    }
    QVERIFY(calls > 1);
    QVERIFY(same(job.columns(), want_first));

    // Started over midway, the job gives the new filter's columns alone.
    job.start(44100.0, static_cast<int>(first.size()), first.data());
    job.work(100000);
    QVERIFY(job.columns_taken() > 0);
    job.start(44100.0, static_cast<int>(second.size()), second.data());
    QCOMPARE(job.columns_taken(), 0);
    QVERIFY(job.work(-1));
    QVERIFY(same(job.columns(), want_second));
}

void TestFreqResponse::scale_and_heights() {
    double mag[COLUMNS];
    for (int x = 0; x < COLUMNS; ++x)
        mag[x] = 2.0 + static_cast<double>(x % 10);
    zarn::ResponseScale s = zarn::response_scale(mag);
    QVERIFY(s.lo == 2.0 && s.range == 10.0);
    QCOMPARE(zarn::column_height(2.0, s), 0);
    QCOMPARE(zarn::column_height(10.0, s), 101); // 8 * 127 / 10 = 101.6, truncated
    // Outside the scanned values the height is still limited to 0 ... 127.
    QCOMPARE(zarn::column_height(0.5, s), 0);
    QCOMPARE(zarn::column_height(std::numeric_limits<double>::max(), s), 127);

    // 0 ... 1 fills the lower half.
    for (int x = 0; x < COLUMNS; ++x)
        mag[x] = static_cast<double>(x) / 255.0;
    s = zarn::response_scale(mag);
    QVERIFY(s.lo == 0.0 && s.range == 2.0);
    QCOMPARE(zarn::column_height(1.0, s), 63);

    // Non-finite magnitudes are left out of the scale and have defined heights.
    mag[0] = NaN;
    mag[1] = INF;
    mag[2] = 0.25;
    mag[3] = 1.5;
    for (int x = 4; x < COLUMNS; ++x)
        mag[x] = 0.5;
    s = zarn::response_scale(mag);
    QVERIFY(s.lo == 0.25 && s.range == 2.25);
    QCOMPARE(zarn::column_height(NaN, s), 0);
    QCOMPARE(zarn::column_height(INF, s), 127);
    QCOMPARE(zarn::column_height(-INF, s), 0);
    QCOMPARE(zarn::column_height(1.5, s), 70); // 1.25 * 127 / 2.25 = 70.6
    for (int x = 0; x < COLUMNS; ++x)
        mag[x] = x % 2 ? NaN : INF;
    s = zarn::response_scale(mag);
    QVERIFY(s.lo == 0.0 && s.range == 1.0);
    QCOMPARE(zarn::column_height(1.0, zarn::ResponseScale{NaN, NaN}), 0);
}

void TestFreqResponse::non_finite_coefficients() {
    for (const std::vector<double> &c :
         {std::vector<double>{NaN}, std::vector<double>{INF}, std::vector<double>{0.5, -INF, 0.5},
          std::vector<double>{0.0, 1.0, NaN, 0.0}, std::vector<double>(600, INF)}) {
        const Plot p = plot(48000.0, c.data(), static_cast<int>(c.size()));
        for (int x = 0; x < COLUMNS; ++x) {
            QVERIFY(p.heights[x] >= 0 && p.heights[x] <= 127);
            if (std::isnan(p.mag[x]))
                QCOMPARE(p.heights[x], 0);
            else if (std::isinf(p.mag[x]))
                QCOMPARE(p.heights[x], 127);
        }
    }
    // One bad tap among good ones spoils every column; none is drawn raised.
    const double c[] = {0.0, 1.0, NaN, 0.0};
    const Plot p = plot(48000.0, c, 4);
    QCOMPARE(std::vector<int>(p.heights, p.heights + COLUMNS), std::vector<int>(COLUMNS, 0));
}

QTEST_APPLESS_MAIN(TestFreqResponse)
#include "test_freq_response.moc"
