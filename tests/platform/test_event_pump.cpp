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
    void mousePressEvent(QMouseEvent*) override { got << "press"; }
    void mouseMoveEvent(QMouseEvent* e) override { got << QString("move %1").arg(e->position().x()); }
    void mouseReleaseEvent(QMouseEvent*) override { got << "release"; }
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
        QTest::newRow("drag") << QStringList{"press", "move 5", "move 9", "release"} << QStringList{}
                              << QStringList{"press", "move 5", "move 9", "release"};
        QTest::newRow("close behind a click") << QStringList{"press", "release", "close"} << QStringList{"e"}
                                              << QStringList{"press", "release", "close", "e"};
    }
    void held_input_comes_in_order() {
        QFETCH(QStringList, during);
        QFETCH(QStringList, after);
        InputLog window;
        window.setMouseTracking(true);
        window.resize(50, 50);
        window.show();
        QVERIFY(QTest::qWaitForWindowExposed(&window));
        QCoreApplication::processEvents();
        window.got.clear();
        const auto input = [&](const QString& what) -> QEvent* {
            if (what == "close") return new QCloseEvent;
            const QPointF at(what.startsWith("move") ? what.section(' ', 1).toDouble() : 1, 1);
            const Qt::MouseButtons down = what == "release" ? Qt::NoButton : Qt::LeftButton;
            if (what == "press")
                return new QMouseEvent(QEvent::MouseButtonPress, at, at, Qt::LeftButton, down, {});
            if (what == "release")
                return new QMouseEvent(QEvent::MouseButtonRelease, at, at, Qt::LeftButton, down, {});
            if (what.startsWith("move"))
                return new QMouseEvent(QEvent::MouseMove, at, at, Qt::NoButton, down, {});
            return new QKeyEvent(QEvent::KeyPress, Qt::Key_A, Qt::NoModifier, what);
        };
        // The close request comes from the window system to the window, the rest to the widget.
        const auto to = [&](const QString& what) -> QObject* {
            return what == "close" ? static_cast<QObject*>(window.windowHandle()) : &window;
        };
        for (int pass = 0; pass < 60; ++pass) {
            if (pass % 10 == 0 && pass / 10 < during.size())
                QCoreApplication::postEvent(to(during[pass / 10]), input(during[pass / 10]));
            ui::DoEvents();
        }
        QCOMPARE(window.got, QStringList());
        for (const QString& what : after) {
            std::unique_ptr<QEvent> e(input(what));
            QCoreApplication::sendEvent(to(what), e.get());
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
