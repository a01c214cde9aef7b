// SPDX-License-Identifier: BSD-2-Clause

#include <QtTest>

#include <QProcess>
#include <QTemporaryDir>

#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <vector>

#include <sys/stat.h>

#include "eq/filter_design.h"
#include "eq/filter_import.h"
#include "eq/freq_response.h"
#include "support/run_program.h"

namespace {

Run run(const QStringList &args, const QByteArray &input = QByteArray()) {
    return run_program(QStringLiteral(ZARNMIX_FIR), args, input);
}

// The numbers of each output line; NaN marks a word that is not a number.
std::vector<std::vector<double>> numbers(const QByteArray &out) {
    std::vector<std::vector<double>> lines;
    for (const QByteArray &line : out.split('\n')) {
        if (line.isEmpty())
            continue;
        lines.emplace_back();
        for (const QByteArray &word : line.split(' ')) {
            char *end = nullptr;
            const double v = std::strtod(word.constData(), &end);
            lines.back().push_back(end == word.constData() || *end != '\0' ? std::nan("") : v);
        }
    }
    return lines;
}

const char LOWPASS[] = "norm\n150 1\n1000 0\n";

} // namespace

class TestZarnmixFir : public QObject {
    Q_OBJECT

private slots:
    void prints_every_coefficient_exactly();
    void reads_a_file_and_trims_like_the_editor();
    void plot_columns();
    void text_errors();
    void usage_errors();
    void longest_filter();
    void imports_a_file_or_names_the_line_at_fault();
};

void TestZarnmixFir::prints_every_coefficient_exactly() {
    const Run r = run({"-n", "1024", "-r", "48000"}, LOWPASS);
    QCOMPARE(r.status, 0);
    QCOMPARE(r.err, QByteArray());
    std::vector<double> want(1024);
    QVERIFY(!zarn::design_coefficients(48000.0, 1024, LOWPASS, want.data()));
    const QList<QByteArray> lines = r.out.split('\n');
    QCOMPARE(lines.size(), 1025);
    QCOMPARE(lines.last(), QByteArray());
    for (int i = 0; i < 1024; ++i) {
        const double v = std::strtod(lines[i].constData(), nullptr);
        // FFTW_MEASURE may pick another algorithm in another process, so the
        // taps agree to rounding; the text itself must carry every bit.
        QVERIFY2(std::fabs(v - want[i]) <= 1e-12, lines[i].constData());
        char again[64];
        std::snprintf(again, sizeof again, "%.17g", v);
        QCOMPARE(QByteArray(again), lines[i]);
    }
    QCOMPARE(lines[0], QByteArray("0"));
}

void TestZarnmixFir::reads_a_file_and_trims_like_the_editor() {
    QTemporaryDir dir;
    QFile f(dir.filePath("filter.txt"));
    QVERIFY(f.open(QIODevice::WriteOnly));
    f.write("6000 2\r\n18000 4\r\n");
    f.close();
    const Run file = run({"-n", "2", "-r", "48000", f.fileName()}, "this is not read");
    QCOMPARE(file.status, 0);
    QCOMPARE(file.out, QByteArray("0\n3\n"));

    const Run missing = run({"-n", "8", "-r", "48000", "/nonexistent/filter.txt"});
    QCOMPARE(missing.status, 1);
    QVERIFY(missing.err.contains("/nonexistent/filter.txt"));
    QCOMPARE(missing.out, QByteArray());

    // Input is bounded: /dev/zero and a FIFO without a writer fail at once
    // instead of growing to the memory limit or waiting forever.
    const QString fifo = dir.filePath("fifo");
    QCOMPARE(::mkfifo(QFile::encodeName(fifo).constData(), 0600), 0);
    for (const QString &path : {QStringLiteral("/dev/zero"), fifo}) {
        const Run r = run({"-n", "16", "-r", "48000", path});
        QCOMPARE(r.status, 1);
        QCOMPARE(r.err, "zarnmix_fir: " + QFile::encodeName(path) + ": not a regular file\n");
    }
    const Run flood =
        run({"-n", "16", "-r", "48000"}, QByteArray(int(zarn::MAX_IMPORT_BYTES) + 1, ' '));
    QCOMPARE(flood.status, 1);
    QCOMPARE(flood.err,
             QByteArray("zarnmix_fir: standard input: longer than any filter specification\n"));

    // The normalize line is found only once the leading white space is gone.
    for (const QByteArray &text :
         {QByteArray("\n\n  norm\n100 0.5\n\n\n"), QByteArray("\t\r\nnorm\n100 0.5\t\r\n"),
          QByteArray("\v\fnorm\n100 0.5\v\f"),
          QByteArray("\xC2\xA0\xE3\x80\x80norm\n100 0.5\xE2\x80\xA9\xC2\x85")}) {
        const Run r = run({"-n", "3", "-r", "48000"}, text);
        QCOMPARE(r.status, 0);
        QCOMPARE(r.out, QByteArray("0\n1\n0\n"));
    }
}

void TestZarnmixFir::plot_columns() {
    const Run r = run({"-p", "-n", "64", "-r", "48000"}, LOWPASS);
    QCOMPARE(r.status, 0);
    std::vector<double> c(64);
    QVERIFY(!zarn::design_coefficients(48000.0, 64, LOWPASS, c.data()));
    zarn::ResponseColumns want;
    zarn::evaluate_response(48000.0, 64, c.data(), &want);
    const auto lines = numbers(r.out);
    QCOMPARE(lines.size(), std::size_t(zarn::RESPONSE_COLUMNS));
    for (int x = 0; x < zarn::RESPONSE_COLUMNS; ++x) {
        QCOMPARE(lines[x].size(), std::size_t(2));
        QCOMPARE(std::memcmp(&lines[x][0], &want.freq[x], sizeof(double)), 0);
        // The taps were designed in another process (see above).
        QVERIFY(std::fabs(lines[x][1] - want.mag[x]) <= 1e-12);
    }
    QVERIFY(r.out.startsWith("0 "));

    const Run flat = run({"-n", "1", "-r", "8000", "-p"}, "0.5 0.25");
    QCOMPARE(flat.status, 0);
    const auto f = numbers(flat.out);
    QCOMPARE(f.size(), std::size_t(256));
    for (const auto &line : f)
        QCOMPARE(line[1], 0.25);
    QVERIFY(std::fabs(f[255][0] - 3978.35) < 0.05);
}

void TestZarnmixFir::text_errors() {
    const QByteArray empty = "EQ filter specification is empty\n";
    const QByteArray invalid = "Invalid EQ filter specification\n";
    const std::pair<QByteArray, QByteArray> cases[] = {
        {QByteArray(), empty},
        {" \n\t\r\n", empty},
        {"\xC2\xA0\n\xE2\x80\x83", empty},
        {"100 -1", invalid},
        {"nor", invalid},
        {"100 1" + QByteArray(400, '9') + " 1", invalid},
        {"100 1" + QByteArray(400, '0'), invalid},
    };
    for (const auto &[text, message] : cases) {
        const Run r = run({"-n", "64", "-r", "48000"}, text);
        QCOMPARE(r.status, 1);
        QCOMPARE(r.err, message);
        QCOMPARE(r.out, QByteArray());
    }
    // A NUL byte ends the text, as it does for the equalizer.
    QCOMPARE(run({"-n", "3", "-r", "48000"}, QByteArray("norm\n100 1\0rubbish", 19)).status, 0);
}

void TestZarnmixFir::usage_errors() {
    const Run version = run({"--version"});
    QCOMPARE(version.status, 0);
    QCOMPARE(version.out, QByteArray("zarnmix_fir " ZARN_VERSION "\n"));
    QVERIFY(QRegularExpression(QStringLiteral("^\\d+\\.\\d+"))
                .match(QStringLiteral(ZARN_VERSION))
                .hasMatch());
    // One argument list per entry, split at spaces; "~" stands for an empty one.
    for (const char *line : {"",
                             "-n 8",
                             "-n 0 -r 48000",
                             "-n 65537 -r 48000",
                             "-n 8x -r 48000",
                             "-n 99999999999999999999 -r 48000",
                             "-n 8 -r 0",
                             "-n 8 -r nan",
                             "-n 8 -r 1e300",
                             "-n 8 -r ~",
                             "-r 48000 -n",
                             "-n 8 -r 48000 -x",
                             "-n 8 -r 48000 a b",
                             "-V",
                             "--version=1",
                             "--frobnicate -n 8 -r 48000",
                             "--import f",
                             "-r 48000 --import",
                             "-n 8 -r 48000 --import f",
                             "-p -r 48000 --import f",
                             "-r 48000 --import f g"}) {
        QStringList args = QString(line).split(' ', Qt::SkipEmptyParts);
        args.replaceInStrings("~", "");
        const Run r = run(args, "norm");
        QVERIFY2(r.status == 64, line);
        QCOMPARE(r.err, QByteArray("usage: zarnmix_fir -n LENGTH -r RATE [-p] [FILE]\n"
                                   "       zarnmix_fir -r RATE --import FILE\n"));
        QCOMPARE(r.out, QByteArray());
    }
}

void TestZarnmixFir::longest_filter() {
    const Run r = run({"-n", "65536", "-r", "44100.5"}, "norm\n");
    QCOMPARE(r.status, 0);
    const QList<QByteArray> lines = r.out.split('\n');
    QCOMPARE(lines.size(), 65537);
    QCOMPARE(lines[32768], QByteArray("1"));
}

void TestZarnmixFir::imports_a_file_or_names_the_line_at_fault() {
    QTemporaryDir dir;
    const auto write = [&dir](const char *name, const QByteArray &data) {
        QFile f(dir.filePath(name));
        if (!f.open(QIODevice::WriteOnly) || f.write(data) != data.size())
            return QString();
        return f.fileName();
    };
    const QByteArray eq = "Preamp: -3 dB\nFilter 1: ON PK Fc 1000 Hz Gain 4 dB Q 1.4\n";
    const Run r = run({"-r", "44100", "--import", write("eq.txt", eq)});
    QCOMPARE(r.status, 0);
    QCOMPARE(r.err, QByteArray());
    std::string text;
    zarn::ImportError error;
    QVERIFY(zarn::import_filter_text(eq.toStdString(), 44100.0, text, error));
    QCOMPARE(r.out, QByteArray::fromStdString(text));
    // What it prints designs as it stands.
    QCOMPARE(run({"-n", "64", "-r", "44100"}, r.out).status, 0);

    QVERIFY(mkfifo(qPrintable(dir.filePath("fifo")), 0600) == 0);
    const std::pair<QString, QByteArray> refused[] = {
        {write("bad.txt", "Preamp: 1 dB\r\nFilter 2: ON XX Fc 100 Hz\r\n"),
         ": line 2: unknown filter type \"XX\": expected PK, LSC, HSC, LS, HS, LP, HP, NO or BP\n"},
        {write("empty.txt", ""), ": no Preamp, Filter or GraphicEQ line\n"},
        {write("big.txt", "#" + QByteArray(1 << 20, ' ')), ": larger than 1 MiB\n"},
        {dir.path(), ": not a regular file\n"},
        // A FIFO without a writer would block an open for reading.
        {dir.filePath("fifo"), ": not a regular file\n"},
        {dir.filePath("missing"), ": No such file or directory\n"},
    };
    for (const auto &[path, reason] : refused) {
        const Run bad = run({"-r", "48000", "--import", path});
        QVERIFY2(bad.status == 1, qPrintable(path));
        QCOMPARE(bad.err, "zarnmix_fir: " + QFile::encodeName(path) + reason);
        QCOMPARE(bad.out, QByteArray());
    }
}

QTEST_APPLESS_MAIN(TestZarnmixFir)
#include "test_zarnmix_fir.moc"
