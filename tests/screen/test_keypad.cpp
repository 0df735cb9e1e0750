// The remote keypad: hit-testing of the click regions, the picture under them, and what a
// click sends or queues on each link.
#include "core/core_state.h"
#include "links/links_state.h"
#include "platform/ui/twips.h"
#include "screen/form1.h"
#include "screen/keypad_picture.h"
#include "tests/support/screen_fixture.h"
#include "tests/support/test_main.h"

#include <QtTest>

namespace {

// A left click on the picture at a position in vsElastic1's twips.
void click_at(form1& f, int x, int y) {
    QTest::mouseClick(f.keypad_picture, Qt::LeftButton, {}, QPoint(ui::px(x), ui::px(y)));
}

// The centre of the click region of a key, by row and column (0-based).
QPoint centre(int row, int column) {
    return {(keypad::kColumns[column].from + keypad::kColumns[column].to) / 2,
            (keypad::kRows[row].from + keypad::kRows[row].to) / 2};
}

} // namespace

class TestKeypad : public QObject {
    Q_OBJECT

    testsupport::ScreenFixture fx;

private slots:
    void cleanup() { fx.stop(); }

    void hit_test_data() {
        QTest::addColumn<int>("x");
        QTest::addColumn<int>("y");
        QTest::addColumn<int>("code");
        QTest::newRow("left edge of 7") << 5550 << 885 << 7;
        QTest::newRow("right edge of 7") << 6390 << 1425 << 7;
        QTest::newRow("right of 7") << 6391 << 885 << 99;
        QTest::newRow("left of 8") << 6629 << 885 << 99;
        QTest::newRow("between rows 1 and 2") << 6000 << 1500 << 99;
        QTest::newRow("6") << 8565 << 1830 << 6;
        QTest::newRow("dot") << 5550 << 3765 << 10;
        QTest::newRow("0") << 7470 << 4275 << 0;
        QTest::newRow("Enter") << 7725 << 4000 << 11;
        QTest::newRow("column only") << 6000 << 100 << 99;
        QTest::newRow("display") << 2000 << 1500 << 99;
    }
    void hit_test() {
        QFETCH(int, x);
        QFETCH(int, y);
        QFETCH(int, code);
        QCOMPARE(keypad::key_at(x, y), code);
    }

    // Each pictured key lies on its click region: light key faces at the regions' centres,
    // the dark key field in the gaps between them.
    void picture_keys_on_regions() {
        const QImage img = keypad::front_panel();
        QCOMPARE(img.size(), QSize(610, 346));
        QCOMPARE(img.format(), QImage::Format_RGB888);
        const int top = ui::px(keypad::kPictureTop);
        for (int row = 0; row < 4; ++row) {
            for (int column = 0; column < 3; ++column) {
                const auto& x = keypad::kColumns[column];
                const auto& y = keypad::kRows[row];
                for (const QPoint& inside : {QPoint(ui::px(x.from) + 4, ui::px(y.from) + 4),
                                             QPoint(ui::px(x.to) - 4, ui::px(y.to) - 4)})
                    QVERIFY2(img.pixelColor(inside - QPoint(0, top)).lightness() > 150,
                             qPrintable(QString("key %1,%2").arg(row).arg(column)));
                if (column < 2) {
                    const int gap = (ui::px(x.to) + ui::px(keypad::kColumns[column + 1].from)) / 2;
                    QVERIFY(img.pixelColor(gap, ui::px((y.from + y.to) / 2) - top).lightness() < 100);
                }
            }
        }
    }

    // Outside network operation the key goes out at once, framed for the link.
    void sends_key_data() {
        QTest::addColumn<QString>("comm_type");
        QTest::addColumn<int>("row");
        QTest::addColumn<int>("column");
        QTest::addColumn<QList<QByteArray>>("writes");
        QTest::newRow("USB485 Enter") << "USB485" << 3 << 2 << QList<QByteArray>{"\x82", "\x11", "E"};
        QTest::newRow("USB 5") << "USB" << 1 << 1 << QList<QByteArray>{"*", "5"};
        QTest::newRow("RS485 Enter") << "RS485" << 3 << 2
                                     << QList<QByteArray>{"\x82\x11"
                                                          "E"};
        QTest::newRow("RS232 Enter") << "RS232" << 3 << 2 << QList<QByteArray>{"*E"};
    }
    void sends_key() {
        QFETCH(QString, comm_type);
        QFETCH(int, row);
        QFETCH(int, column);
        QFETCH(QList<QByteArray>, writes);
        QVERIFY(fx.start(comm_type));
        if (comm_type == "USB") fx.add_usb_scale("SC1", "Scale");
        QVERIFY(fx.network_records({130}));
        form1& f = fx.show();
        QCOMPARE(links.scale_count, int16_t(1));
        if (comm_type == "RS485" || comm_type == "USB485") QCOMPARE(links.scale_addr[0], 130);
        for (ui::FormTimer* t : f.Timer1)
            t->setEnabled(false);
        links.op_mode = 0;

        sim::SimFtdiDevice* dev = fx.usb->size() ? &fx.usb->device(0) : nullptr;
        if (dev) dev->writes.clear();
        if (fx.pty) {
            fx.pty->pump();
            fx.pty->responder().received.clear();
        }
        const QPoint at = centre(row, column);
        click_at(f, at.x(), at.y());
        QCOMPARE(fx.rec.beeps, 0);
        if (comm_type == "RS232" || comm_type == "RS485") {
            fx.pty->pump();
            QCOMPARE(fx.pty->responder().received, writes.first());
        } else {
            QCOMPARE(dev->writes, writes);
        }
        QVERIFY(!links.key_pending);
    }

    // In network operation the key waits for the poll cycle; a newer key replaces it and the
    // keypad itself writes nothing.
    void network_queues_last_key() {
        QVERIFY(fx.start("USB485"));
        QVERIFY(fx.network_records({130}));
        form1& f = fx.show();
        QCOMPARE(links.op_mode, int16_t(2));
        for (ui::FormTimer* t : f.Timer1)
            t->setEnabled(false);
        fx.usb->device(0).writes.clear();
        click_at(f, centre(0, 0).x(), centre(0, 0).y());
        click_at(f, centre(3, 2).x(), centre(3, 2).y());
        QVERIFY(links.key_pending);
        QCOMPARE(links.key_code, int16_t(11));
        QVERIFY(fx.usb->device(0).writes.isEmpty());
        QCOMPARE(fx.rec.beeps, 0);
    }

    // Clicks beside the keys beep on every link; on "Ethernet" a key sends nothing.
    void beeps_and_ethernet_data() {
        QTest::addColumn<QString>("comm_type");
        QTest::addColumn<int>("x");
        QTest::addColumn<int>("y");
        QTest::addColumn<int>("beeps");
        QTest::newRow("RS232 between keys") << "RS232" << 6500 << 1000 << 1;
        QTest::newRow("Ethernet key") << "Ethernet" << 6000 << 1005 << 0;
        QTest::newRow("Ethernet beside") << "Ethernet" << 6000 << 1500 << 1;
    }
    void beeps_and_ethernet() {
        QFETCH(QString, comm_type);
        QFETCH(int, x);
        QFETCH(int, y);
        QFETCH(int, beeps);
        QVERIFY(fx.start(comm_type));
        form1& f = fx.show();
        fx.pty->pump();
        fx.pty->responder().received.clear();
        const int before = fx.rec.beeps;
        click_at(f, x, y);
        QCOMPARE(fx.rec.beeps - before, beeps);
        QCOMPARE(f.click_x, ui::px(x) * 15);
        QCOMPARE(f.click_y, ui::px(y) * 15);
        fx.pty->pump();
        QVERIFY(fx.pty->responder().received.isEmpty());
        QVERIFY(!links.key_pending);
    }
};

WEYVANE_TEST_MAIN(TestKeypad)
#include "test_keypad.moc"
