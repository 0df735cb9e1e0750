// The DDE source on a private session bus: execute strings with their acknowledgement, request,
// poke and hot links of the items, and the scale screen's service while it is loaded.
#include "links/links_state.h"
#include "platform/dde/dde.h"
#include "tests/support/screen_links.h"
#include "tests/support/test_main.h"

#include <QDBusConnection>
#include <QDBusMessage>
#include <QDBusPendingCallWatcher>
#include <QLabel>
#include <QLineEdit>
#include <QProcess>
#include <QRegularExpression>
#include <QStandardPaths>
#include <QtTest>
#include <algorithm>
#include <memory>
#include <vector>

namespace {

// A second connection to the bus, as another program would hold.
QDBusConnection client() {
    return QDBusConnection::connectToBus(QDBusConnection::SessionBus, QStringLiteral("dde-test-client"));
}

QDBusMessage call(const QString& method, const QVariantList& args, const QString& service = "Weyvane") {
    QDBusMessage m = QDBusMessage::createMethodCall(dde::bus_name(service), dde::object_path("Form1"),
                                                    dde::kInterface, method);
    m.setArguments(args);
    return client().call(m, QDBus::BlockWithGui, 10000);
}

// An execute sent by another program, dbus-send, which waits for the acknowledgement. A client
// inside this process would share its bus thread and could not show what a real one meets.
std::unique_ptr<QProcess> send_execute(const QString& command) {
    auto p = std::make_unique<QProcess>();
    p->start("dbus-send",
             {"--session", "--print-reply", "--reply-timeout=20000", "--dest=" + dde::bus_name("Weyvane"),
              dde::object_path("Form1"), QString(dde::kInterface) + ".Execute", "string:" + command});
    return p;
}

// The acknowledgement dbus-send printed: "true", "false", or what it said instead.
QString answer(QProcess& p) {
    const QString out = QString::fromUtf8(p.readAllStandardOutput());
    const QRegularExpressionMatch m = QRegularExpression("boolean (true|false)").match(out);
    return m.hasMatch() ? m.captured(1) : out + QString::fromUtf8(p.readAllStandardError());
}

// Lets events run until `done`; the limit only keeps a broken run from hanging.
template <typename Done> void pump_until(Done done) {
    QDeadlineTimer limit(20000);
    while (!done() && !limit.hasExpired()) {
        QCoreApplication::processEvents();
        QThread::msleep(1);
    }
}

} // namespace

class Watcher : public QObject {
    Q_OBJECT
public:
    QStringList changes;
public slots:
    void changed(const QString& item, const QString& text) { changes << item + '=' + text; }
};

class TestDde : public QObject {
    Q_OBJECT

private slots:
    void initTestCase() {
        if (!QDBusConnection::sessionBus().isConnected()) QSKIP("no session bus");
        if (QStandardPaths::findExecutable("dbus-send").isEmpty()) QSKIP("no dbus-send");
        // Test programs share the bus: this one offers its services under its own prefix.
        dde::set_bus_prefix(QStringLiteral("org.weyvane.ddetest%1.").arg(QCoreApplication::applicationPid()));
    }

    void items_and_execute() {
        QWidget form;
        auto* screen = new QLabel("1234.5", &form);
        screen->setObjectName("Screen");
        auto* edit = new QLineEdit(&form);
        edit->setObjectName("txt_groupnum");
        dde::Source source(&form, "Form1");
        QStringList executed;
        source.set_execute_handler([&](const QString& s) {
            executed << s;
            return true;
        });
        QVERIFY(source.start("Weyvane"));
        // The name is held: a second source cannot take it.
        QWidget other;
        dde::Source second(&other, "Form1");
        QVERIFY(!second.start("Weyvane"));

        QDBusMessage r = call("Execute", {"ULG,130"});
        QCOMPARE(r.type(), QDBusMessage::ReplyMessage);
        QCOMPARE(r.arguments().value(0).toBool(), true);
        QCOMPARE(executed, QStringList{"ULG,130"});

        QCOMPARE(call("Request", {"screen"}).arguments().value(0).toString(), QString("1234.5"));
        QCOMPARE(call("Poke", {"txt_groupnum", "7"}).arguments().value(0).toBool(), true);
        QCOMPARE(edit->text(), QString("7"));
        // A text longer than any item could hold is refused at once and changes nothing.
        QCOMPARE(call("Poke", {"Screen", QString(dde::kMaxText + 1, '9')}).errorName(),
                 QString(dde::kLimitsExceeded));
        QCOMPARE(call("Execute", {"ULG," + QString(dde::kMaxText, '1')}).errorName(),
                 QString(dde::kLimitsExceeded));
        QCOMPARE(screen->text(), QString("1234.5"));
        QCOMPARE(call("Request", {"NoSuchItem"}).errorName(), QString(dde::kUnknownItem));

        Watcher w;
        QVERIFY(client().connect(dde::bus_name("Weyvane"), "/Form1", dde::kInterface, "Changed", &w,
                                 SLOT(changed(QString, QString))));
        QCOMPARE(call("Advise", {"Screen"}).type(), QDBusMessage::ReplyMessage);
        QCOMPARE(source.advise_count(), 1);
        screen->setText("1240.0");
        QTRY_COMPARE(w.changes, QStringList{"Screen=1240.0"});
        edit->setText("8"); // not advised
        call("Unadvise", {"SCREEN"});
        QCOMPARE(source.advise_count(), 0);

        source.stop();
        QCOMPARE(call("Execute", {"ULG,130"}).type(), QDBusMessage::ErrorMessage);
        QCOMPARE(executed.size(), 1);
        QCOMPARE(w.changes.size(), 1);
    }

    // A second execute sent by another program while the first runs the event pump waits for the
    // first to end, and each is acknowledged when its own run ends.
    void executes_one_at_a_time() {
        QWidget form;
        dde::Source source(&form, "Form1");
        QVERIFY(source.start("Weyvane"));
        QStringList log;
        std::unique_ptr<QProcess> first, second;
        source.set_execute_handler([&](const QString& s) {
            log << "start " + s;
            if (s == "ULG,130") {
                second = send_execute("CLT,130");
                pump_until([&] { return source.waiting_executes() > 0 || log.contains("start CLT,130"); });
            } else {
                pump_until([&] { return first->state() == QProcess::NotRunning; });
                if (first->state() == QProcess::NotRunning) log << "ULG,130 acknowledged";
            }
            log << "end " + s;
            return true;
        });
        first = send_execute("ULG,130");
        QTRY_VERIFY_WITH_TIMEOUT(second && second->state() == QProcess::NotRunning, 30000);
        QCOMPARE(log, (QStringList{"start ULG,130", "end ULG,130", "start CLT,130", "ULG,130 acknowledged",
                                   "end CLT,130"}));
        QCOMPARE(answer(*first), QString("true"));
        QCOMPARE(answer(*second), QString("true"));
    }

    // Executes sent without waiting for the acknowledgement run, though the sender has left.
    void one_way_executes_run_data() {
        QTest::addColumn<QString>("program");
        QTest::addColumn<QStringList>("options");
        QTest::newRow("dbus-send, a signal") << "dbus-send" << QStringList{"--session"};
        QTest::newRow("dbus-send, a call") << "dbus-send" << QStringList{"--session", "--type=method_call"};
        QTest::newRow("busctl, no reply expected")
            << "busctl" << QStringList{"--user", "--expect-reply=no", "call"};
    }
    void one_way_executes_run() {
        QFETCH(QString, program);
        QFETCH(QStringList, options);
        if (QStandardPaths::findExecutable(program).isEmpty()) QSKIP("program missing");
        QWidget form;
        dde::Source source(&form, "Form1");
        QVERIFY(source.start("Weyvane"));
        QStringList executed;
        source.set_execute_handler([&](const QString& s) { return executed << s, true; });
        const QString dest = dde::bus_name("Weyvane");
        const QString method = QString(dde::kInterface) + ".Execute";
        QProcess p;
        p.start(program,
                options + (program == "busctl"
                               ? QStringList{dest, "/Form1", dde::kInterface, "Execute", "s", "CLT,130"}
                               : QStringList{"--dest=" + dest, "/Form1", method, "string:CLT,130"}));
        QVERIFY(p.waitForFinished(10000));
        QTRY_COMPARE(executed, QStringList{"CLT,130"});
    }

    // Callers of other programs line up behind a running execute: a full network's worth is
    // taken, those beyond the bound are answered false at once, one that gives up waiting is not
    // run for, and between two executes the program's own events (a click, a timer) are handled.
    void executes_leave_the_program_to_its_user_data() {
        QTest::addColumn<int>("callers");
        QTest::addColumn<int>("refused");
        QTest::newRow("one per scale of a full network") << kScaleSlots << 0;
        QTest::newRow("beyond the bound") << dde::kMaxWaitingExecutes + 2 << 2;
    }
    void executes_leave_the_program_to_its_user() {
        QFETCH(int, callers);
        QFETCH(int, refused);
        QWidget form;
        dde::Source source(&form, "Form1");
        QVERIFY(source.start("Weyvane"));
        QStringList ran;
        bool user_acted = false;
        bool user_acted_before_next = false;
        std::vector<std::unique_ptr<QProcess>> waiting;
        QProcess* gave_up = nullptr;
        source.set_execute_handler([&](const QString& s) {
            if (ran.size() == 1) user_acted_before_next = user_acted;
            ran << s;
            if (s != "hold") return true;
            for (int i = 0; i < callers; ++i)
                waiting.push_back(send_execute(QString("CLT,%1").arg(i)));
            const auto ended = [&] {
                return std::count_if(waiting.begin(), waiting.end(),
                                     [](const auto& p) { return p->state() == QProcess::NotRunning; });
            };
            pump_until([&] { return source.waiting_executes() == callers - refused && ended() == refused; });
            // A caller that gives up after waiting a while.
            QDeadlineTimer wait_a_while(dde::kLeftAtOnceMs + 500);
            pump_until([&] { return wait_a_while.hasExpired(); });
            const auto running = std::find_if(waiting.begin(), waiting.end(),
                                              [](const auto& p) { return p->state() == QProcess::Running; });
            if (running == waiting.end()) return true; // the counts below tell what went wrong
            gave_up = running->get();
            gave_up->kill();
            pump_until([&] { return source.waiting_executes() < callers - refused; });
            QMetaObject::invokeMethod(
                &form, [&] { user_acted = true; }, Qt::QueuedConnection);
            return true;
        });
        auto hold = send_execute("hold");
        QTRY_VERIFY_WITH_TIMEOUT(
            hold->state() == QProcess::NotRunning && !waiting.empty() &&
                std::all_of(waiting.begin(), waiting.end(),
                            [](const auto& p) { return p->state() == QProcess::NotRunning; }),
            30000);
        QStringList answered_true;
        int answered_false = 0;
        for (int i = 0; i < callers; ++i) {
            if (waiting[i].get() == gave_up) continue;
            const QString a = answer(*waiting[i]);
            if (a == "true") answered_true << QString("CLT,%1").arg(i);
            answered_false += a == "false";
        }
        QCOMPARE(answered_false, refused);
        QCOMPARE(answered_true.size(), callers - refused - 1);
        QCOMPARE(ran.value(0), QString("hold"));
        QStringList rest = ran.mid(1);
        rest.sort();
        answered_true.sort();
        QCOMPARE(rest, answered_true);
        QVERIFY(user_acted_before_next);
    }

    // The scale screen offers "Weyvane" / "Form1" while loaded; an execute runs its command
    // before the acknowledgement comes back.
    void scale_screen() {
        testsupport::ScreenLinks fx;
        QVERIFY(fx.start("USB485"));
        QVERIFY(Form1().dde_source->active());
        QDBusMessage r = call("Execute", {"clt,130"});
        QCOMPARE(r.arguments().value(0).toBool(), true);
        QCOMPARE(fx.usb->device(0).writes, QList<QByteArray>{QByteArray("\x82\x11R")});
        QCOMPARE(call("Execute", {"nothing"}).arguments().value(0).toBool(), true);
        QCOMPARE(call("Request", {"Label1"}).arguments().value(0).toString(), QString("Active Scale:"));
        fx.stop();
        QVERIFY(!Form1().dde_source->active());
    }
};

WEYVANE_TEST_MAIN(TestDde)
#include "test_dde.moc"
