// The scale simulator answers as the receive scans expect: reply layouts, own addresses only,
// configuration replies, parameter blocks, and the switches for silent, late, split and
// garbage replies.
#include "app/module_state.h"
#include "platform/clock/clock.h"
#include "tests/sim/scale_responder.h"
#include "tests/support/test_main.h"

#include <QtTest>

using sim::Responder;

class TestScaleSim : public QObject {
    Q_OBJECT
private slots:
    void init() { wclock::use_fake(1000.0, 0.001); }
    void cleanup() { reset_module_state(); }

    void reading_replies_data() {
        QTest::addColumn<bool>("network");
        QTest::addColumn<QByteArray>("request");
        QTest::addColumn<QString>("shape");
        QTest::addColumn<QByteArray>("reply");
        QTest::newRow("RS232 *P") << false << QByteArray("*P") << "" << QByteArray(" 1234.5\r");
        QTest::newRow("USB *1 with LF") << false << QByteArray("*1") << "lf" << QByteArray(" 1234.5\r\n");
        QTest::newRow("group") << false << QByteArray("*F") << "group" << QByteArray("#2 1234.5\r");
        QTest::newRow("network group print")
            << true << QByteArray::fromHex("821131") << "group print" << QByteArray("\x82#2 1234.5D\r");
        QTest::newRow("printed and tags") << true << QByteArray::fromHex("821146") << "plus tags group"
                                          << QByteArray("\x82+!A B T1#2 1234.5\r");
        QTest::newRow("record block") << true << QByteArray::fromHex("821131") << "records"
                                      << QByteArray("\x82 1234.5\r\x83  000012\r\n\x84  000345\r\n");
        QTest::newRow("key E") << true << QByteArray::fromHex("821145") << "" << QByteArray("\x82 1234.5\r");
        QTest::newRow("Ethernet K") << true << QByteArray::fromHex("82114b") << ""
                                    << QByteArray("\x82 1234.5\r");
        QTest::newRow("other address") << true << QByteArray::fromHex("831131") << "" << QByteArray();
        QTest::newRow("resync after stray byte")
            << true << QByteArray::fromHex("00821131") << "" << QByteArray("\x82 1234.5\r");
        QTest::newRow("totals") << true << QByteArray::fromHex("821154") << "config"
                                << QByteArray("\x82"
                                              "12\t345.6\t7\r");
        QTest::newRow("RS232 *J") << false << QByteArray("*J") << "config" << QByteArray("A\tB\r");
        QTest::newRow("write finish has no reply") << false << QByteArray("*S") << "" << QByteArray();
    }
    void reading_replies() {
        QFETCH(bool, network);
        QFETCH(QByteArray, request);
        QFETCH(QString, shape);
        QFETCH(QByteArray, reply);
        Responder r(network ? Responder::Link::network : Responder::Link::single);
        sim::Scale& s = r.add(130);
        s.group = shape.contains("group") ? '2' : 0;
        s.print_flag = shape.contains("print");
        s.printed = shape.contains("plus");
        s.tags = shape.contains("tags") ? "A B T1" : "";
        if (shape.contains("records")) {
            s.records = {"000012", "000345"};
            s.record_addrs = {131, 132};
        }
        s.config['T'] = {"12", "345.6", "7"};
        s.config['J'] = {"A", "B"};
        r.line_feed = shape.contains("lf");
        r.receive(request);
        QCOMPARE(r.take(), reply);
    }

    void blocks_and_commands() {
        Responder net(Responder::Link::network);
        net.add(130);
        net.add(140).config['T'] = {"5", "6"};
        net.receive(QByteArray::fromHex("8212") + "Axyz\r" + QByteArray::fromHex("8c1249") + "7\r");
        net.receive(QByteArray::fromHex("821153") + QByteArray::fromHex("8c1152"));
        QCOMPARE(net.find(130)->blocks, QList<QByteArray>{"Axyz"});
        QCOMPARE(net.find(140)->blocks, QList<QByteArray>{"I7"});
        QCOMPARE(net.find(130)->finishes, 1);
        QCOMPARE(net.find(140)->resets, 1);
        QCOMPARE(net.find(140)->config['T'], (QList<QByteArray>{"0", "0"}));
        QCOMPARE(net.take(), QByteArray());

        Responder one;
        one.receive("!UA12\r*S!U9x\r");
        QCOMPARE(one.scale().blocks, (QList<QByteArray>{"A12", "9x"}));
        QCOMPARE(one.scale().finishes, 1);
    }

    void switches() {
        Responder r;
        r.late = 0.1;
        r.split = 3;
        r.split_gap = 0.05;
        r.garbage = "\xff\x01";
        r.receive("*P");
        QCOMPARE(r.available(), 0);
        wclock::advance(0.101); // the seconds clock is single precision
        const QByteArray first = r.take();
        QVERIFY(!first.isEmpty());
        QVERIFY(first.startsWith("\xff\x01"));
        wclock::advance(0.05);
        const QByteArray second = r.take();
        QVERIFY(!second.isEmpty());
        wclock::advance(0.05);
        QCOMPARE(first + second + r.take(), QByteArray("\xff\x01 1234.5\r"));
        QVERIFY(!r.pending());

        r.silent = true;
        r.receive("*P");
        wclock::advance(1);
        QVERIFY(!r.pending());
    }

    void rf_modem() {
        Responder r(Responder::Link::network);
        r.add(130);
        r.rf_modem = true;
        r.receive("+++");
        QCOMPARE(r.take(), QByteArray("OK\r"));
        r.receive("ATHP 05,CN\r");
        QCOMPARE(r.rf_channel, QByteArray("05"));
        QCOMPARE(r.take(), QByteArray());
        r.receive(QByteArray::fromHex("821131")); // back to the network after ",CN"
        QCOMPARE(r.take(), QByteArray("\x82 1234.5\r"));
    }
};

WEYVANE_TEST_MAIN(TestScaleSim)
#include "test_scale_sim.moc"
