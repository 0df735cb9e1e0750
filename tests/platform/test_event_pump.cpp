// The event pump of long operations: what the user does meanwhile waits for the loop, so a
// window the user opens never suspends the operation.
#include <QCloseEvent>
#include <QKeyEvent>
#include <QMouseEvent>
#include <QPushButton>
#include <QTimer>
#include <QtTest>

#include "platform/ui/message_box.h"
#include "tests/support/test_main.h"

// A window that writes down the input it gets.
class InputLog : public QWidget {
public:
    QStringList got;

protected:
    void mousePressEvent(QMouseEvent* e) override { got << QString("press %1").arg(e->position().x()); }
    void mouseMoveEvent(QMouseEvent* e) override {
        if (e->buttons() != Qt::NoButton) got << QString("move %1").arg(e->position().x());
    }
    void mouseReleaseEvent(QMouseEvent* e) override { got << QString("release %1").arg(e->position().x()); }
    void keyPressEvent(QKeyEvent* e) override { got << e->text(); }
    void closeEvent(QCloseEvent*) override { got << "close"; }
};

class TestEventPump : public QObject {
    Q_OBJECT
private slots:
    void cleanup() { ui::set_backend(nullptr); }

    // Input that comes while an operation runs many passes of the pump waits for it, then all of
    // it is handed on at the next turn of the event loop, in the order it came: keys, a drag
    // (press, moves, release) and a close request behind a click. Input that comes after the
    // operation, while older input still waits, goes behind it.
    void held_input_comes_in_order_data() {
        QTest::addColumn<QStringList>("during"); // one input per pass of the operation
        QTest::addColumn<QStringList>("after");  // sent once the operation has returned
        QTest::addColumn<QStringList>("got");
        QTest::newRow("keys") << QStringList{"a", "b", "c"} << QStringList{"d"}
                              << QStringList{"a", "b", "c", "d"};
        QTest::newRow("drag") << QStringList{"press 2", "move 5", "move 9", "release 9"} << QStringList{}
                              << QStringList{"press 2", "move 5", "move 9", "release 9"};
        QTest::newRow("close behind a click")
            << QStringList{"press 1", "release 1", "close"} << QStringList{"e"}
            << QStringList{"press 1", "release 1", "close", "e"};
    }
    void held_input_comes_in_order() {
        QFETCH(QStringList, during);
        QFETCH(QStringList, after);
        InputLog window;
        window.resize(50, 50);
        window.show();
        QVERIFY(QTest::qWaitForWindowExposed(&window));
        QCoreApplication::processEvents();
        window.got.clear();
        // "press 2": a press at x 2, from the window system, as are the moves, the release and the
        // close request ("close"); anything else is a key, sent by code.
        const auto input = [&](const QString& what) {
            const QString kind = what.section(' ', 0, 0);
            const QPoint at(what.section(' ', 1).toInt(), 1);
            QWindow* w = window.windowHandle();
            if (kind == "press")
                QTest::mousePress(w, Qt::LeftButton, {}, at);
            else if (kind == "move")
                QTest::mouseMove(w, at);
            else if (kind == "release")
                QTest::mouseRelease(w, Qt::LeftButton, {}, at);
            else if (kind == "close")
                QCoreApplication::postEvent(w, new QCloseEvent);
            else
                QCoreApplication::postEvent(&window, new QKeyEvent(QEvent::KeyPress, Qt::Key_A, {}, what));
        };
        // An operation of many passes; the input comes during some of them.
        for (int pass = 0; pass < 60; ++pass) {
            if (pass % 10 == 0 && pass / 10 < during.size())
                QTimer::singleShot(0, &window, [&, what = during[pass / 10]] { input(what); });
            ui::DoEvents();
        }
        QCOMPARE(window.got, QStringList());
        for (const QString& what : after) {
            QKeyEvent key(QEvent::KeyPress, Qt::Key_A, {}, what);
            QCoreApplication::sendEvent(&window, &key);
        }
        QCoreApplication::processEvents();
        QTEST(window.got, "got");
    }

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
            for (int pass = 0; pass < 40; ++pass)
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
