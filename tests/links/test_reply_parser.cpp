// The reply parser on its own: the layouts of every link, the record block, blz, and a long
// random run over arbitrary bytes.
#include "core/text_split.h"
#include "links/reply_parser.h"
#include "tests/support/test_main.h"

#include <QRandomGenerator>
#include <QtTest>

using replies::Link;

Q_DECLARE_METATYPE(Link)

namespace {

QByteArray bytes(std::initializer_list<int> codes) {
    QByteArray b;
    for (int c : codes)
        b += static_cast<char>(c);
    return b;
}

// A read buffer holding `head` at its start and code 0 elsewhere.
replies::ReadBuffer buffer_with(const QByteArray& head) {
    replies::ReadBuffer buf{};
    for (qsizetype i = 0; i < head.size() && i < replies::kReadBufferSize; ++i)
        buf[static_cast<size_t>(i)] = head.at(i);
    return buf;
}

QByteArray record(int addr, const QByteArray& reading) {
    return QByteArray(1, static_cast<char>(addr)) + "  " + reading.leftJustified(6, ' ', true) + "\r\n";
}

} // namespace

class TestReplyParser : public QObject {
    Q_OBJECT

private slots:
    void reading_replies_data() {
        QTest::addColumn<Link>("link");
        QTest::addColumn<QByteArray>("text");
        QTest::addColumn<bool>("accepted");
        QTest::addColumn<int>("address");
        QTest::addColumn<bool>("printed");
        QTest::addColumn<bool>("group");
        QTest::addColumn<QByteArray>("group_text");
        QTest::addColumn<QByteArray>("reading");

        const QByteArray a130(1, char(130));
        QTest::newRow("usb485 group, print flag")
            << Link::usb485 << a130 + "#2 1234.5D\r" << true << 130 << true << true
            << QByteArray(" Group 2   1234.5D\r") << QByteArray(" 1234.5");
        QTest::newRow("usb485 plain reading with LF")
            << Link::usb485 << a130 + "  12.5 kg\r\n"
            << true << 130 << false << false << QByteArray() << QByteArray("  12.5 kg");
        QTest::newRow("usb485 printed flag kept in reading")
            << Link::usb485 << a130 + "+ 55.0\r" << true << 130 << true << false << QByteArray()
            << QByteArray("+ 55.0");
        QTest::newRow("usb485 tag list before group")
            << Link::usb485 << a130 + "+!lot a7#5 9.1\r" << true << 130 << true << true
            << QByteArray(" Group 5   9.1\r") << QByteArray(" 9.1");
        QTest::newRow("usb485 blanks before address are trimmed")
            << Link::usb485 << "  " + a130 + "7.0\r" << true << 130 << false << false << QByteArray()
            << QByteArray("7.0");
        QTest::newRow("usb485 '#' at the very end") << Link::usb485 << a130 + "12#" << true << 130 << false
                                                    << true << QByteArray(" Group   ") << QByteArray();
        QTest::newRow("usb485 address 127 dropped") << Link::usb485 << bytes({127}) + "1.0\r" << false << 127
                                                    << false << false << QByteArray() << QByteArray();
        QTest::newRow("usb485 address 128 taken") << Link::usb485 << bytes({128}) + "1.0\r" << true << 128
                                                  << false << false << QByteArray() << QByteArray("1.0");
        QTest::newRow("usb485 address 255 taken") << Link::usb485 << bytes({255}) + "1.0\r" << true << 255
                                                  << false << false << QByteArray() << QByteArray("1.0");
        QTest::newRow("usb485 blank reply") << Link::usb485 << QByteArray("   \r") << false << 13 << false
                                            << false << QByteArray() << QByteArray();
        QTest::newRow("usb485 empty reply")
            << Link::usb485 << QByteArray() << false << -1 << false << false << QByteArray() << QByteArray();
        QTest::newRow("usb485 CR in second place")
            << Link::usb485 << a130 + "\r" << true << 130 << false << false << QByteArray() << QByteArray();

        QTest::newRow("rs485 no group, no print flag")
            << Link::rs485 << a130 + "#2 1.5D\r" << true << 130 << false << false << QByteArray()
            << QByteArray("#2 1.5D");
        QTest::newRow("rs485 joined after a cut-off reply")
            << Link::rs485 << bytes({131}) + " 1.0" + a130 + " 2.0\r" << true << 131 << false << false
            << QByteArray() << QByteArray(" 1.0") + a130 + " 2.0";
        QTest::newRow("rs485 garbage first") << Link::rs485 << "xx" + a130 + "2.0\r" << false << int('x')
                                             << false << false << QByteArray() << QByteArray();

        QTest::newRow("rs232 group line") << Link::rs232 << QByteArray("#1 12.3\r") << true << -1 << false
                                          << true << QByteArray(" Group 1   12.3\r") << QByteArray("#1 12.3");
        QTest::newRow("rs232 group line after blanks")
            << Link::rs232 << QByteArray("  #4 8.0\r\n") << true << -1 << false << true
            << QByteArray(" Group 4   8.0\r\n") << QByteArray("#4 8.0");
        QTest::newRow("rs232 plain line") << Link::rs232 << QByteArray("  100.0 lb\r\n") << true << -1
                                          << false << false << QByteArray() << QByteArray("100.0 lb");
        QTest::newRow("rs232 'D' is not a print flag")
            << Link::rs232 << QByteArray("5.0D\r") << true << -1 << false << false << QByteArray()
            << QByteArray("5.0D");

        QTest::newRow("usb without CR") << Link::usb << QByteArray("  12.5 kg") << true << -1 << false
                                        << false << QByteArray() << QByteArray("12.5 kg");
        QTest::newRow("usb CR LF") << Link::usb << QByteArray("  12.5 kg\r\n") << true << -1 << false << false
                                   << QByteArray() << QByteArray("12.5 kg");
        QTest::newRow("usb group and flag taken whole")
            << Link::usb << QByteArray("#3 1.0D\r") << true << -1 << false << false << QByteArray()
            << QByteArray("#3 1.0D");
    }
    void reading_replies() {
        QFETCH(Link, link);
        QFETCH(QByteArray, text);
        const replies::Reply r = replies::parse_reply(link, text);
        QTEST(r.accepted, "accepted");
        QTEST(r.address, "address");
        if (!r.accepted) return;
        QTEST(r.printed, "printed");
        QTEST(r.group_seen, "group");
        QTEST(r.group_text, "group_text");
        QTEST(r.reading, "reading");
    }

    void record_block_data() {
        QTest::addColumn<QByteArray>("head");
        QTest::addColumn<int>("count");
        QTest::addColumn<QList<int>>("addrs");
        QTest::addColumn<QList<QByteArray>>("readings");

        const QByteArray reply = bytes({130}) + " 1234.5D\r\n"; // 11 bytes: slot 0
        QTest::newRow("three records, then code 0")
            << reply + record(131, "100.0") + record(132, "200.0") + record(133, "300.0") << 3
            << QList<int>{131, 132, 133} << QList<QByteArray>{"100.0 ", "200.0 ", "300.0 "};
        QTest::newRow("128 in slot 2 not counted, slots 1 and 3 taken")
            << reply + record(131, "1") + record(128, "2") + record(133, "3") << 2 << QList<int>{131, 133}
            << QList<QByteArray>{"1     ", "3     "};
        QTest::newRow("code 0 gap: the record behind it is taken")
            << reply + record(131, "1") + QByteArray(11, '\0') + record(134, "4") << 2 << QList<int>{131, 134}
            << QList<QByteArray>{"1     ", "4     "};
        QTest::newRow("slot 1 starts with the CR of a longer reply")
            << bytes({130}) + "#2 1234.5D\r" << 0 << QList<int>{} << QList<QByteArray>{};
        QTest::newRow("129 and 255 count") << reply + record(129, "a") + record(255, "b") << 2
                                           << QList<int>{129, 255} << QList<QByteArray>{"a     ", "b     "};
        QByteArray full = reply;
        for (int k = 1; k <= 22; ++k)
            full += record(140 + k, QByteArray::number(k));
        QList<int> twenty;
        QList<QByteArray> twenty_readings;
        for (int k = 1; k <= 20; ++k) {
            twenty.append(140 + k);
            twenty_readings.append(QByteArray::number(k).leftJustified(6));
        }
        QTest::newRow("at most 20 slots") << full << 20 << twenty << twenty_readings;
    }
    void record_block() {
        QFETCH(QByteArray, head);
        const replies::ReadBuffer buf = buffer_with(head);
        QTEST(replies::count_records(buf), "count");
        QFETCH(QList<int>, addrs);
        QFETCH(QList<QByteArray>, readings);
        const QList<replies::Record> recs = replies::record_block(buf);
        QCOMPARE(recs.size(), addrs.size());
        for (qsizetype k = 0; k < recs.size(); ++k) {
            QCOMPARE(recs[k].address, addrs[k]);
            QCOMPARE(recs[k].reading, readings[k]);
        }
    }

    void blz_data() {
        QTest::addColumn<QString>("text");
        QTest::addColumn<QString>("result");
        QTest::newRow("leading zeros") << "000120"
                                       << "120";
        QTest::newRow("all zeros") << "0000"
                                   << "";
        QTest::newRow("blanks") << "   "
                                << "";
        QTest::newRow("blank first") << " 012"
                                     << " 012";
        QTest::newRow("empty") << ""
                               << "";
        QTest::newRow("zeros then blanks") << "00 5 "
                                           << " 5 ";
        QTest::newRow("tab is not a blank") << "\t"
                                            << "\t";
    }
    void blz() {
        QFETCH(QString, text);
        QTEST(replies::blz(text), "result");
    }

    void last_chars() {
        QCOMPARE(replies::last_chars(" 1234.5", 6), QByteArray("1234.5"));
        QCOMPARE(replies::last_chars("12", 6), QByteArray("12"));
        QCOMPARE(trim_blanks(QByteArray("  \t1 \r ")), QByteArray("\t1 \r"));
    }

    // Arbitrary bytes, biased towards the characters the parser looks for, through every
    // link: the fields always come out of the text itself and never hold a line end.
    void random_run() {
        QRandomGenerator rng(20240607);
        const char special[] = {'\r', '\n', '#', 'D', '+', '!', ' ', '0', char(128), char(130), char(255)};
        const Link all[] = {Link::rs232, Link::rs485, Link::usb, Link::usb485};
        for (int round = 0; round < 200000; ++round) {
            const int len = static_cast<int>(rng.bounded(round % 100 == 0 ? 600 : 40));
            QByteArray text(len, '\0');
            for (int i = 0; i < len; ++i)
                text[i] = rng.bounded(3) == 0 ? special[rng.bounded(int(sizeof special))]
                                              : static_cast<char>(rng.bounded(256));
            for (Link link : all) {
                const replies::Reply r = replies::parse_reply(link, text);
                if (r.reading.contains('\r') || r.reading.contains('\n')) QFAIL("reading holds a line end");
                if (r.reading.size() > text.size() || !text.contains(r.reading))
                    QFAIL("reading is not part of the reply");
                if ((link == Link::rs485 || link == Link::usb485) && r.accepted && r.address < 128)
                    QFAIL("low address accepted");
                if (link == Link::usb485 && r.accepted && r.reading.contains('D'))
                    QFAIL("print flag left in the reading");
                if (r.group_char.size() > 1) QFAIL("group character longer than one");
            }
            replies::ReadBuffer buf{};
            for (char& c : buf)
                c = static_cast<char>(rng.bounded(256));
            const QList<replies::Record> recs = replies::record_block(buf);
            if (recs.size() > replies::kRecordSlots) QFAIL("more than 20 records");
            if (recs.size() != replies::count_records(buf)) QFAIL("records taken differ from the count");
            for (const replies::Record& rec : recs)
                if (rec.reading.size() != replies::kRecordReadingSize || rec.address < 129 ||
                    rec.address > 255)
                    QFAIL("not a record");
            const QString t = QString::fromLatin1(text.left(12));
            const QString z = replies::blz(t);
            if (!t.endsWith(z)) QFAIL("blz is not a tail of its text");
        }
    }
};

WEYVANE_TEST_MAIN(TestReplyParser)
#include "test_reply_parser.moc"
