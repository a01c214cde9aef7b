#include <QtTest>

#include <QProcess>
#include <QTemporaryDir>

#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <vector>

#include "eq/filter_design.h"
#include "eq/freq_response.h"

namespace {

struct Run {
    int status;
    QByteArray out;
    QByteArray err;
};

Run run(const QStringList &args, const QByteArray &input = QByteArray()) {
    QProcess p;
    p.start(QStringLiteral(ZARNMIX_FIR), args);
    if (!p.waitForStarted())
        return Run{-1, {}, "not started"};
    p.write(input);
    p.closeWriteChannel();
    if (!p.waitForFinished(120000) || p.exitStatus() != QProcess::NormalExit)
        return Run{-2, {}, "did not finish"};
    return Run{p.exitCode(), p.readAllStandardOutput(), p.readAllStandardError()};
}

std::vector<double> numbers(const QByteArray &line) {
    std::vector<double> out;
    for (const QByteArray &word : line.split(' ')) {
        char *end = nullptr;
        out.push_back(std::strtod(word.constData(), &end));
        if (end == word.constData() || *end != '\0')
            out.push_back(std::nan(""));
    }
    return out;
}

QList<QByteArray> lines(const QByteArray &out) {
    QList<QByteArray> l = out.split('\n');
    if (!l.isEmpty() && l.last().isEmpty())
        l.removeLast();
    return l;
}

bool same_bits(double a, double b) {
    return std::memcmp(&a, &b, sizeof a) == 0;
}

const QByteArray USAGE = "usage: zarnmix_fir -n LENGTH -r RATE [-p] [FILE]\n";

} // namespace

class TestZarnmixFir : public QObject {
    Q_OBJECT

private slots:
    void prints_every_coefficient_exactly();
    void reads_a_file();
    void trims_like_the_editor_data();
    void trims_like_the_editor();
    void plot_columns();
    void empty_text();
    void invalid_text();
    void usage_errors_data();
    void usage_errors();
    void unreadable_file();
    void longest_filter();
};

void TestZarnmixFir::prints_every_coefficient_exactly() {
    const QByteArray text = "norm\n150 1\n1000 0\n";
    const Run r = run({"-n", "1024", "-r", "48000"}, text);
    QCOMPARE(r.status, 0);
    QCOMPARE(r.err, QByteArray());
    std::vector<double> want(1024);
    QVERIFY(!zarn::design_coefficients(48000.0, 1024, text.constData(), want.data()));
    const QList<QByteArray> l = lines(r.out);
    QCOMPARE(l.size(), 1024);
    for (int i = 0; i < l.size(); ++i) {
        const std::vector<double> v = numbers(l[i]);
        QCOMPARE(v.size(), std::size_t(1));
        // FFTW_MEASURE may pick another algorithm in another process, so the
        // taps agree to rounding; the text itself must carry every bit.
        QVERIFY2(std::fabs(v[0] - want[i]) <= 1e-12, l[i].constData());
        char again[64];
        std::snprintf(again, sizeof again, "%.17g", v[0]);
        QCOMPARE(QByteArray(again), l[i]);
    }
    QCOMPARE(l[0], QByteArray("0"));

    const Run delay = run({"-r", "44100", "-n", "5"}, "norm");
    QCOMPARE(delay.status, 0);
    const QList<QByteArray> d = lines(delay.out);
    QCOMPARE(d.size(), 5);
    QCOMPARE(d[2], QByteArray("1"));
    for (int i : {0, 1, 3, 4})
        QVERIFY(std::fabs(numbers(d[i])[0]) < 1e-15);
}

void TestZarnmixFir::reads_a_file() {
    QTemporaryDir dir;
    QVERIFY(dir.isValid());
    const QString path = dir.filePath("spec.txt");
    QFile f(path);
    QVERIFY(f.open(QIODevice::WriteOnly));
    f.write("6000 2\r\n18000 4\r\n");
    f.close();
    const Run r = run({"-n", "2", "-r", "48000", path}, "this is not read");
    QCOMPARE(r.status, 0);
    QCOMPARE(r.out, QByteArray("0\n3\n"));
}

void TestZarnmixFir::trims_like_the_editor_data() {
    QTest::addColumn<QByteArray>("text");
    QTest::newRow("blank lines") << QByteArray("\n\n  norm\n100 0.5\n\n\n");
    QTest::newRow("tabs and crlf") << QByteArray("\t\r\nnorm\n100 0.5\t\r\n");
    QTest::newRow("vertical tab, form feed") << QByteArray("\v\fnorm\n100 0.5\v\f");
    QTest::newRow("no-break and ideographic spaces")
        << QByteArray("\xC2\xA0\xE3\x80\x80norm\n100 0.5\xE2\x80\xA9\xC2\x85");
}

void TestZarnmixFir::trims_like_the_editor() {
    QFETCH(QByteArray, text);
    // The normalize line is found only once the leading white space is gone.
    const Run r = run({"-n", "3", "-r", "48000"}, text);
    QCOMPARE(r.status, 0);
    QCOMPARE(r.out, QByteArray("0\n1\n0\n"));
}

void TestZarnmixFir::plot_columns() {
    const Run r = run({"-p", "-n", "64", "-r", "48000"}, "norm\n150 1\n1000 0\n");
    QCOMPARE(r.status, 0);
    const QList<QByteArray> l = lines(r.out);
    QCOMPARE(l.size(), zarn::RESPONSE_COLUMNS);
    std::vector<double> c(64);
    QVERIFY(!zarn::design_coefficients(48000.0, 64, "norm\n150 1\n1000 0\n", c.data()));
    zarn::ResponseColumns want;
    zarn::evaluate_response(48000.0, 64, c.data(), &want);
    for (int x = 0; x < l.size(); ++x) {
        const std::vector<double> v = numbers(l[x]);
        QCOMPARE(v.size(), std::size_t(2));
        QVERIFY(same_bits(v[0], want.freq[x]));
        // The taps were designed in another process (see above).
        QVERIFY(std::fabs(v[1] - want.mag[x]) <= 1e-12);
    }
    QVERIFY(l[0].startsWith("0 "));

    const Run flat = run({"-n", "1", "-r", "8000", "-p"}, "0.5 0.25");
    QCOMPARE(flat.status, 0);
    const QList<QByteArray> f = lines(flat.out);
    QCOMPARE(f.size(), 256);
    for (const QByteArray &line : f)
        QVERIFY(line.endsWith(" 0.25"));
    QVERIFY(std::fabs(numbers(f[255])[0] - 3978.35) < 0.05);
}

void TestZarnmixFir::empty_text() {
    for (const QByteArray &text :
         {QByteArray(), QByteArray(" \n\t\r\n"), QByteArray("\xC2\xA0\n\xE2\x80\x83")}) {
        const Run r = run({"-n", "16", "-r", "48000"}, text);
        QCOMPARE(r.status, 1);
        QCOMPARE(r.err, QByteArray("EQ filter specification is empty\n"));
        QCOMPARE(r.out, QByteArray());
    }
}

void TestZarnmixFir::invalid_text() {
    for (const QByteArray &text :
         {QByteArray("100 -1"), QByteArray("nor"), QByteArray("100\n1"),
          QByteArray("100 1" + QByteArray(400, '9') + " 1"),
          QByteArray("100 1" + QByteArray(400, '0')), QByteArray("200 1\n100 1\n")}) {
        const Run r = run({"-n", "64", "-r", "48000"}, text);
        QCOMPARE(r.status, 1);
        QCOMPARE(r.err, QByteArray("Invalid EQ filter specification\n"));
        QCOMPARE(r.out, QByteArray());
    }
    // A NUL byte ends the text, as it does for the equalizer.
    const Run cut = run({"-n", "3", "-r", "48000"}, QByteArray("norm\n100 1\0rubbish", 19));
    QCOMPARE(cut.status, 0);
}

void TestZarnmixFir::usage_errors_data() {
    QTest::addColumn<QStringList>("args");
    QTest::newRow("nothing") << QStringList();
    QTest::newRow("no rate") << QStringList({"-n", "8"});
    QTest::newRow("no length") << QStringList({"-r", "48000"});
    QTest::newRow("length 0") << QStringList({"-n", "0", "-r", "48000"});
    QTest::newRow("length 65537") << QStringList({"-n", "65537", "-r", "48000"});
    QTest::newRow("negative length") << QStringList({"-n", "-8", "-r", "48000"});
    QTest::newRow("length not a number") << QStringList({"-n", "8x", "-r", "48000"});
    QTest::newRow("huge length") << QStringList({"-n", "99999999999999999999", "-r", "48000"});
    QTest::newRow("rate 0") << QStringList({"-n", "8", "-r", "0"});
    QTest::newRow("negative rate") << QStringList({"-n", "8", "-r", "-48000"});
    QTest::newRow("rate nan") << QStringList({"-n", "8", "-r", "nan"});
    QTest::newRow("rate inf") << QStringList({"-n", "8", "-r", "inf"});
    QTest::newRow("rate too large") << QStringList({"-n", "8", "-r", "1e300"});
    QTest::newRow("rate empty") << QStringList({"-n", "8", "-r", ""});
    QTest::newRow("missing value") << QStringList({"-r", "48000", "-n"});
    QTest::newRow("unknown option") << QStringList({"-n", "8", "-r", "48000", "-x"});
    QTest::newRow("two files") << QStringList({"-n", "8", "-r", "48000", "a", "b"});
}

void TestZarnmixFir::usage_errors() {
    QFETCH(QStringList, args);
    const Run r = run(args, "norm");
    QCOMPARE(r.status, 64);
    QCOMPARE(r.err, USAGE);
    QCOMPARE(r.out, QByteArray());
}

void TestZarnmixFir::unreadable_file() {
    const Run r = run({"-n", "8", "-r", "48000", "/nonexistent/spec.txt"});
    QCOMPARE(r.status, 1);
    QVERIFY(r.err.contains("/nonexistent/spec.txt"));
    QCOMPARE(r.out, QByteArray());
}

void TestZarnmixFir::longest_filter() {
    const Run r = run({"-n", "65536", "-r", "44100.5"}, "norm\n");
    QCOMPARE(r.status, 0);
    const QList<QByteArray> l = lines(r.out);
    QCOMPARE(l.size(), 65536);
    QCOMPARE(l[32768], QByteArray("1"));
}

QTEST_APPLESS_MAIN(TestZarnmixFir)
#include "test_zarnmix_fir.moc"
