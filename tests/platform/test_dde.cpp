// The DDE source on a private session bus: execute strings with their acknowledgement, request,
// poke and hot links of the items, and the scale screen's service while it is loaded.
#include "platform/dde/dde.h"
#include "tests/support/screen_links.h"
#include "tests/support/test_main.h"

#include <QDBusConnection>
#include <QDBusMessage>
#include <QDBusPendingCallWatcher>
#include <QLabel>
#include <QLineEdit>
#include <QtTest>

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

    // Two executes sent back to back while the first runs the event pump: the second waits
    // for the first to end, and each is acknowledged when its own run ends.
    void executes_one_at_a_time() {
        QWidget form;
        dde::Source source(&form, "Form1");
        QStringList log;
        source.set_execute_handler([&](const QString& s) {
            log << "start " + s;
            for (int i = 0; i < 40; ++i) {
                QCoreApplication::processEvents();
                QThread::msleep(2);
            }
            log << "end " + s;
            return true;
        });
        QVERIFY(source.start("Weyvane"));
        QDBusConnection c = client();
        QList<qsizetype> log_at_ack;
        QStringList acked;
        QList<QDBusPendingCallWatcher*> watchers;
        for (const char* command : {"ULG,130", "CLT,130"}) {
            QDBusMessage m = QDBusMessage::createMethodCall(
                dde::bus_name("Weyvane"), dde::object_path("Form1"), dde::kInterface, "Execute");
            m.setArguments({QString(command)});
            auto* w = new QDBusPendingCallWatcher(c.asyncCall(m, 10000), this);
            connect(w, &QDBusPendingCallWatcher::finished, this, [&, w, command] {
                QVERIFY(!w->isError());
                acked << command;
                log_at_ack << log.size();
            });
            watchers << w;
        }
        QTRY_COMPARE(acked.size(), 2);
        QCOMPARE(log, (QStringList{"start ULG,130", "end ULG,130", "start CLT,130", "end CLT,130"}));
        QCOMPARE(acked, (QStringList{"ULG,130", "CLT,130"}));
        QVERIFY(log_at_ack[0] >= 2);
        QCOMPARE(log_at_ack[1], 4);
        qDeleteAll(watchers);
        source.stop();
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
