// SPDX-License-Identifier: BSD-2-Clause

#include <QGridLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QtTest>

#include "panels/zarn_add_options.h"
#include "panels/zarn_record_status.h"
#include "panels/zarn_sys_info_options.h"
#include "support/panel_rig.h"

namespace {

// The daemon answers an add-options request with these bytes (no NUL added).
void answer_options(PanelRig &rig, const std::string &bytes, int result = 0) {
    // An empty answer is a terminator at the start of the buffer.
    if (bytes.empty()) {
        answer_options(rig, std::string(1, '\0'), result);
        return;
    }
    rig.daemon.with_engine([&](zarn::sim::Engine &e) {
        e.options_reply = std::vector<unsigned char>(bytes.begin(), bytes.end());
        e.options_result = result;
    });
}

// Leaves the received buffer as it came, as the answer.
zarn::sim::TestDaemon::Hook echo_options() {
    return [](std::uint32_t c, unsigned char *, std::vector<double> &) -> std::optional<int> {
        if (c != zarn::REQ_ADD_OPTIONS)
            return std::nullopt;
        return 0;
    };
}

// The text of a received request, up to its NUL; the record must be 1024 bytes.
QByteArray sent_text(const zarn::sim::ReceivedRequest &r) {
    if (r.record.size() != 1024)
        return "<size " + QByteArray::number(int(r.record.size())) + ">";
    const auto *text = reinterpret_cast<const char *>(r.record.data());
    const std::size_t n = strnlen(text, 1024);
    return n == 1024 ? QByteArray("<no NUL>") : QByteArray(text, int(n));
}

QByteArray sent_last(const PanelRig &rig) {
    const auto sent = rig.sent(zarn::REQ_ADD_OPTIONS);
    return sent.empty() ? QByteArray("<none>") : sent_text(sent.back());
}

} // namespace

class TestAddOptions : public QObject {
    Q_OBJECT

private slots:
    void widgets_and_no_request_at_construction();
    void return_and_add_each_send_one_request();
    void answers();
    void encoding_and_length();
    void system_information_and_recording_are_read_after_success();
    void a_failed_request_keeps_the_text_and_reads_nothing_more();
};

void TestAddOptions::widgets_and_no_request_at_construction() {
    PanelRig rig;
    ZARNAddOptions p(rig.window.get());
    QCOMPARE(p.title(), QString("Add Options"));
    QCOMPARE(p.grid->itemAtPosition(0, 0)->widget(), p.line_edit);
    QCOMPARE(p.grid->itemAtPosition(0, 1)->widget(), p.add_button);
    QCOMPARE(p.add_button->text(), QString("ADD"));
    QCOMPARE(rig.daemon.requests().size(), std::size_t(0));
    QCOMPARE(QByteArray(p.options_buffer.text, sizeof p.options_buffer.text),
             QByteArray(sizeof p.options_buffer.text, '\0'));
}

void TestAddOptions::return_and_add_each_send_one_request() {
    PanelRig rig;
    ZARNAddOptions p(rig.window.get());
    answer_options(rig, "");
    p.line_edit->setText("-rate=44100");
    QTest::keyClick(p.line_edit, Qt::Key_Return);
    QCOMPARE(rig.sent(zarn::REQ_ADD_OPTIONS).size(), std::size_t(1));
    p.line_edit->setText("-bits=16");
    p.add_button->click();
    p.line_edit->clear();
    p.add_button->click();
    const auto sent = rig.sent(zarn::REQ_ADD_OPTIONS);
    QCOMPARE(sent.size(), std::size_t(3));
    QCOMPARE(sent_text(sent[0]), QByteArray("-rate=44100"));
    QCOMPARE(sent_text(sent[1]), QByteArray("-bits=16"));
    QCOMPARE(sent_text(sent[2]), QByteArray(""));
}

void TestAddOptions::answers() {
    PanelRig rig;
    ZARNAddOptions p(rig.window.get());
    // The simulated daemon's own syntax: an accepted line is answered empty.
    p.line_edit->setText("-record=1");
    p.add_button->click();
    QCOMPARE(p.line_edit->text(), QString());
    QCOMPARE(rig.daemon.with_engine([](zarn::sim::Engine &e) { return e.recording; }), 1);

    QVERIFY(p.answer_label->isHidden());

    // A refusal shows beside the field, which keeps the typed text: Return
    // sends that again, never the daemon's words.
    answer_options(rig, std::string("unknown option -x\0garbage", 25));
    p.line_edit->setText("-x");
    p.add_button->click();
    QCOMPARE(p.line_edit->text(), QString("-x"));
    QCOMPARE(p.answer_label->text(), QString("unknown option -x"));
    QVERIFY(!p.answer_label->isHidden());
    QTest::keyClick(p.line_edit, Qt::Key_Return);
    QCOMPARE(sent_last(rig), QByteArray("-x"));

    // An answer filling the whole buffer without a NUL stays within it, and
    // the next request still goes out terminated.
    answer_options(rig, std::string(1024, 'z'));
    p.add_button->click();
    QCOMPARE(p.answer_label->text(), QString(1024, QChar('z')));
    answer_options(rig, "");
    p.line_edit->setText("-y");
    p.add_button->click();
    QCOMPARE(sent_last(rig), QByteArray("-y"));
    QCOMPARE(p.line_edit->text(), QString());
    QVERIFY(p.answer_label->isHidden());
}

void TestAddOptions::encoding_and_length() {
    PanelRig rig;
    ZARNAddOptions p(rig.window.get());
    answer_options(rig, "");
    // The euro sign and a character written as a surrogate pair become '?'.
    p.line_edit->setText(QString::fromUtf8("a\xe2\x82\xac"
                                           "b\xf0\x9f\x8e\xb5"
                                           "c\xc3\xbf"));
    p.add_button->click();
    QCOMPARE(sent_last(rig), QByteArray("a?b?c\xff"));

    // 1500 characters are cut to 1023 bytes and a NUL.
    QString text;
    for (int i = 0; i < 1500; ++i)
        text.append(QChar('a' + i % 26));
    p.line_edit->setText(text);
    p.add_button->click();
    QCOMPARE(sent_last(rig), text.left(1023).toLatin1());

    // Latin-1 out; back, an answer that is not valid UTF-8 is read as
    // Latin-1, so an echoed 0xE9 shows as the letter that was typed.
    rig.daemon.set_hook(echo_options());
    p.line_edit->setText(QString::fromUtf8("caf\xc3\xa9"));
    p.add_button->click();
    QCOMPARE(sent_last(rig), QByteArray("caf\xe9"));
    QCOMPARE(p.answer_label->text(), QString::fromUtf8("caf\xc3\xa9"));

    // Valid UTF-8 is read as UTF-8, the replacement character included;
    // one stray byte makes the whole answer Latin-1.
    rig.daemon.clear_hook();
    const struct {
        std::string answer;
        const char *shown; // UTF-8
    } cases[] = {
        {"Gr\xc3\xbc\xc3\x9f \xe2\x82\xac \xef\xbf\xbd",
         "Gr\xc3\xbc\xc3\x9f \xe2\x82\xac \xef\xbf\xbd"},
        {"\xc3\xbc\xfc", "\xc3\x83\xc2\xbc\xc3\xbc"},
        {"\xe2\x82", "\xc3\xa2\xc2\x82"},
    };
    for (const auto &c : cases) {
        answer_options(rig, c.answer);
        p.add_button->click();
        QCOMPARE(p.answer_label->text(), QString::fromUtf8(c.shown));
    }
}

void TestAddOptions::system_information_and_recording_are_read_after_success() {
    PanelRig rig;
    ZARNSysInfoOptions &info = *rig.window->sys_info;
    ZARNRecordStatus &recording = *rig.window->record_status;
    ZARNAddOptions p(rig.window.get());
    rig.daemon.clear_requests();
    p.line_edit->setText("-rate=96000 -input=mic");
    p.add_button->click();
    // Then the targets are looked for again: an option may add or remove some.
    const std::vector<std::uint32_t> codes = rig.codes();
    QCOMPARE(std::vector<std::uint32_t>(codes.begin(), codes.begin() + 4),
             (std::vector<std::uint32_t>{zarn::REQ_ADD_OPTIONS, zarn::REQ_SYSTEM_INFO,
                                         zarn::REQ_RECORDING_GET, zarn::REQ_DEV_PEAK}));
    QVERIFY2(info.label->text().startsWith("96000 Hz, "), qPrintable(info.label->text()));
    QVERIFY2(info.label->text().contains("Input: mic, "), qPrintable(info.label->text()));

    // An option that starts recording enables STOP, one that ends it START.
    // (The window of the rig never saw the daemon answer, so it keeps the
    // panel itself greyed; the buttons' own state is what counts.)
    auto enabled = [&recording] {
        return std::make_pair(recording.start_button->isEnabledTo(&recording),
                              recording.stop_button->isEnabledTo(&recording));
    };
    p.line_edit->setText("-record=1");
    p.add_button->click();
    QCOMPARE(enabled(), std::make_pair(false, true));
    p.line_edit->setText("-record=0");
    p.add_button->click();
    QCOMPARE(enabled(), std::make_pair(true, false));
}

void TestAddOptions::a_failed_request_keeps_the_text_and_reads_nothing_more() {
    PanelRig rig;
    ZARNSysInfoOptions &info = *rig.window->sys_info;
    ZARNAddOptions p(rig.window.get());
    answer_options(rig, "some answer", -1);
    rig.daemon.clear_requests();
    p.line_edit->setText("-bad");
    p.add_button->click();
    QCOMPARE(p.line_edit->text(), QString("-bad"));
    QCOMPARE(rig.codes(), std::vector<std::uint32_t>{zarn::REQ_ADD_OPTIONS});
    QCOMPARE(info.label->text(), QString());

    // A closed device is one more failed request.
    rig.close();
    p.add_button->click();
    QCOMPARE(p.line_edit->text(), QString("-bad"));
    QCOMPARE(rig.codes(), std::vector<std::uint32_t>{zarn::REQ_ADD_OPTIONS});
}

QTEST_MAIN(TestAddOptions)
#include "test_add_options.moc"
