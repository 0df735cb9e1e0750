// The event pump of long operations: what the user does meanwhile waits for the loop, so a
// window the user opens never suspends the operation.
#include <QMouseEvent>
#include <QPushButton>
#include <QTimer>
#include <QtTest>

#include "platform/ui/message_box.h"
#include "tests/support/test_main.h"

class TestEventPump : public QObject {
    Q_OBJECT
private slots:
    void cleanup() { ui::set_backend(nullptr); }

    // A click reaches the program while a scan pumps events; the question it asks stays open
    // for a while. The scans run on (their timer, their busy flag) while the question is open.
    void click_inside_a_scan_leaves_the_scans_running() {
        ui::UiRecorder rec;
        ui::set_backend(&rec);
        QWidget window;
        auto* clear_list = new QPushButton(QStringLiteral("Clear List"), &window);
        clear_list->resize(100, 30);
        window.show();
        connect(clear_list, &QPushButton::clicked, this,
                [] { ui::MsgBox(QStringLiteral("Clear the list?"), ui::vbYesNo | ui::vbQuestion); });

        bool busy = false;
        int scans = 0;
        QTimer scan;
        scan.setInterval(10);
        connect(&scan, &QTimer::timeout, this, [&] {
            if (busy) return;
            busy = true;
            if (scans == 0) {
                const QPointF at(10, 10);
                for (QEvent::Type t : {QEvent::MouseButtonPress, QEvent::MouseButtonRelease})
                    QCoreApplication::postEvent(
                        clear_list,
                        new QMouseEvent(t, at, clear_list->mapToGlobal(at), Qt::LeftButton,
                                        t == QEvent::MouseButtonPress ? Qt::LeftButton : Qt::NoButton,
                                        Qt::NoModifier));
            }
            ui::DoEvents();
            ui::DoEvents();
            ++scans;
            busy = false;
        });

        int while_open = -1;
        rec.on_box = [&](const ui::UiRecorder::Box&) {
            const int before = scans;
            (void)QTest::qWaitFor([&] { return scans >= before + 3; }, 5000);
            while_open = scans - before;
        };
        scan.start();
        QTRY_COMPARE(rec.boxes.size(), 1);
        scan.stop();
        QCOMPARE(rec.boxes[0].text, QString("Clear the list?"));
        QVERIFY2(while_open >= 3,
                 qPrintable(QString("scans while the question was open: %1").arg(while_open)));
    }
};

WEYVANE_TEST_MAIN(TestEventPump)
#include "test_event_pump.moc"
