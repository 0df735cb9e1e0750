// The Calc backend, loaded from its plugin as the program loads it, against a real headless
// LibreOffice of the test's own: Excel_Interface writes two rows into a new Calc document, and the
// cells are read back over a separate UNO connection.
#include "app/module_state.h"
#include "collect/collect_state.h"
#include "collect/excel_interface.h"
#include "links/links_state.h"
#include "platform/clock/clock.h"
#include "platform/settings/settings.h"
#include "platform/spreadsheet/spreadsheet.h"
#include "platform/ui/message_box.h"
#include "tests/support/test_main.h"

#include <com/sun/star/beans/PropertyValue.hpp>
#include <com/sun/star/beans/XPropertySet.hpp>
#include <com/sun/star/bridge/BridgeFactory.hpp>
#include <com/sun/star/bridge/XBridge.hpp>
#include <com/sun/star/connection/Connector.hpp>
#include <com/sun/star/container/XEnumeration.hpp>
#include <com/sun/star/container/XEnumerationAccess.hpp>
#include <com/sun/star/container/XIndexAccess.hpp>
#include <com/sun/star/frame/XComponentLoader.hpp>
#include <com/sun/star/frame/XDesktop.hpp>
#include <com/sun/star/lang/XComponent.hpp>
#include <com/sun/star/lang/XMultiComponentFactory.hpp>
#include <com/sun/star/sheet/XSpreadsheet.hpp>
#include <com/sun/star/sheet/XSpreadsheetDocument.hpp>
#include <com/sun/star/table/CellContentType.hpp>
#include <com/sun/star/table/XCell.hpp>
#include <com/sun/star/text/XText.hpp>
#include <com/sun/star/uno/XComponentContext.hpp>
#include <com/sun/star/util/NumberFormat.hpp>
#include <com/sun/star/util/XNumberFormats.hpp>
#include <com/sun/star/util/XNumberFormatsSupplier.hpp>
#include <cppuhelper/bootstrap.hxx>
#include <rtl/bootstrap.hxx>

#include <QDeadlineTimer>
#include <QProcess>
#include <QTcpServer>
#include <QTemporaryDir>
#include <QThread>
#include <csignal>
#include <sys/prctl.h>
#include <unistd.h>

namespace css = com::sun::star;
using css::uno::Reference;
using css::uno::UNO_QUERY;
using css::uno::UNO_QUERY_THROW;
using rtl::OUString;

namespace {

QString from_ou(const OUString& s) {
    return QString(reinterpret_cast<const QChar*>(s.getStr()), s.getLength());
}

int free_port() {
    QTcpServer probe;
    probe.listen(QHostAddress::LocalHost, 0);
    return probe.serverPort();
}

// One UNO connection of the test's own to the office, let go of at its end. Proxies of the office's
// objects are shared by all bridges of a process, so the test never holds one while the backend
// attaches: it connects, does its steps and disposes the bridge, as the backend does.
struct Session {
    Reference<css::lang::XComponent> bridge;
    Reference<css::frame::XDesktop> desktop;

    ~Session() {
        desktop.clear();
        try {
            if (bridge.is()) bridge->dispose();
        } catch (const css::uno::Exception&) {
        }
    }

    // The first spreadsheet document among the office's components.
    Reference<css::sheet::XSpreadsheetDocument> first_document() const {
        Reference<css::container::XEnumeration> docs = desktop->getComponents()->createEnumeration();
        while (docs->hasMoreElements()) {
            Reference<css::sheet::XSpreadsheetDocument> doc(docs->nextElement(), UNO_QUERY);
            if (doc.is()) return doc;
        }
        return {};
    }
};

// A headless office with its own profile, listening on a free local port. It is killed with its
// whole process group when the test lets go of it, and dies with the test process if that ends
// first, so no office outlives the test.
class Office {
public:
    ~Office() { stop(); }

    int port() const { return port_; }
    QString error() const { return error_; }

    bool start() {
        rtl::Bootstrap::set("URE_BOOTSTRAP",
                            "vnd.sun.star.pathname:" WEYVANE_LO_PROGRAM_DIR "/fundamentalrc");
        local_ = cppu::defaultBootstrap_InitialComponentContext();
        port_ = free_port();
        // A new profile makes the office end with code 81 once, asking to be started again.
        for (int attempt = 0; attempt < 3; ++attempt) {
            launch();
            if (wait_for_office()) return true;
            if (process_.state() != QProcess::NotRunning || process_.exitCode() != 81) break;
        }
        if (error_.isEmpty())
            error_ = "office did not start: " + QString::fromLocal8Bit(process_.readAllStandardError());
        return false;
    }

    std::unique_ptr<Session> connect() {
        auto session = std::make_unique<Session>();
        try {
            Reference<css::connection::XConnection> connection =
                css::connection::Connector::create(local_)->connect(OUString::createFromAscii(
                    QString("socket,host=127.0.0.1,port=%1").arg(port_).toLatin1()));
            Reference<css::bridge::XBridge> bridge = css::bridge::BridgeFactory::create(local_)->createBridge(
                OUString(), "urp", connection, Reference<css::bridge::XInstanceProvider>());
            session->bridge.set(bridge, UNO_QUERY_THROW);
            Reference<css::uno::XComponentContext> office(bridge->getInstance("StarOffice.ComponentContext"),
                                                          UNO_QUERY_THROW);
            session->desktop.set(
                office->getServiceManager()->createInstanceWithContext("com.sun.star.frame.Desktop", office),
                UNO_QUERY_THROW);
            return session;
        } catch (const css::uno::Exception&) {
            return nullptr;
        }
    }

    void stop() {
        if (process_.state() == QProcess::NotRunning) return;
        if (auto session = connect()) {
            try {
                session->desktop->terminate();
            } catch (const css::uno::Exception&) {
            }
        }
        if (!process_.waitForFinished(20000)) {
            ::kill(-static_cast<pid_t>(process_.processId()), SIGKILL);
            process_.waitForFinished(20000);
        }
    }

private:
    void launch() {
        process_.setProgram(WEYVANE_LO_PROGRAM_DIR "/soffice.bin");
        process_.setArguments({"--headless", "--invisible", "--norestore", "--nologo", "--nodefault",
                               "--nolockcheck",
                               "-env:UserInstallation=" + QUrl::fromLocalFile(profile_.path()).toString(),
                               QString("--accept=socket,host=127.0.0.1,port=%1;urp;").arg(port_)});
        process_.setChildProcessModifier([] {
            ::setpgid(0, 0);
            ::prctl(PR_SET_PDEATHSIG, SIGKILL);
        });
        process_.start();
        process_.waitForStarted(20000);
    }

    // Bounded retry until the office accepts UNO connections, or it ended.
    bool wait_for_office() {
        QDeadlineTimer deadline(120000);
        while (!deadline.hasExpired()) {
            if (process_.state() == QProcess::NotRunning) return false;
            if (connect()) return true;
            process_.waitForFinished(250);
        }
        error_ = "office did not accept connections";
        return false;
    }

    QTemporaryDir profile_;
    QProcess process_;
    int port_ = 0;
    QString error_;
    Reference<css::uno::XComponentContext> local_;
};

} // namespace

class TestSpreadsheetCalc : public QObject {
    Q_OBJECT

    Office office;
    ui::UiRecorder user;

    // Reads the first sheet of a document.
    struct Sheet {
        Reference<css::sheet::XSpreadsheetDocument> doc;
        Reference<css::sheet::XSpreadsheet> sheet;

        explicit Sheet(Reference<css::sheet::XSpreadsheetDocument> d) : doc(std::move(d)) {
            Reference<css::container::XIndexAccess> sheets(doc->getSheets(), UNO_QUERY_THROW);
            sheet.set(sheets->getByIndex(0), UNO_QUERY_THROW);
        }
        Reference<css::table::XCell> cell(int row, int col) const {
            return sheet->getCellByPosition(col - 1, row - 1);
        }
        QString text(int row, int col) const {
            Reference<css::table::XCell> c = cell(row, col);
            if (c->getType() != css::table::CellContentType_TEXT) return "<not text>";
            return from_ou(Reference<css::text::XText>(c, UNO_QUERY_THROW)->getString());
        }
        sal_Int16 format_type(int row, int col) const {
            Reference<css::beans::XPropertySet> props(cell(row, col), UNO_QUERY_THROW);
            const sal_Int32 key = props->getPropertyValue("NumberFormat").get<sal_Int32>();
            Reference<css::util::XNumberFormatsSupplier> formats(doc, UNO_QUERY_THROW);
            return formats->getNumberFormats()->getByKey(key)->getPropertyValue("Type").get<sal_Int16>();
        }
    };

    // Opens a new Calc document in the office over a session of its own.
    bool open_new_workbook() {
        auto session = office.connect();
        if (!session) return false;
        // A visible frame in a headless office brings the office down; the document is hidden.
        css::uno::Sequence<css::beans::PropertyValue> hidden(1);
        hidden.getArray()[0].Name = "Hidden";
        hidden.getArray()[0].Value <<= true;
        Reference<css::frame::XComponentLoader> loader(session->desktop, UNO_QUERY_THROW);
        return loader->loadComponentFromURL("private:factory/scalc", "_blank", 0, hidden).is();
    }

    static void check_row(const Sheet& s, int row, const QString& name, const QString& reading, QTime time,
                          QDate date, int id) {
        QCOMPARE(s.text(row, 1), name);
        QCOMPARE(s.text(row, 2), reading);
        QCOMPARE(s.cell(row, 3)->getType(), css::table::CellContentType_VALUE);
        QVERIFY(qAbs(s.cell(row, 3)->getValue() - time.msecsSinceStartOfDay() / 86400000.0) < 1e-9);
        QCOMPARE(s.format_type(row, 3), css::util::NumberFormat::TIME);
        QCOMPARE(s.cell(row, 4)->getValue(), double(QDate(1899, 12, 30).daysTo(date)));
        QCOMPARE(s.format_type(row, 4), css::util::NumberFormat::DATE);
        QCOMPARE(s.cell(row, 5)->getType(), css::table::CellContentType_VALUE);
        QCOMPARE(s.cell(row, 5)->getValue(), double(id));
        QVERIFY(!(s.format_type(row, 5) & (css::util::NumberFormat::DATE | css::util::NumberFormat::TIME)));
    }

private slots:
    void initTestCase() {
#ifdef WEYVANE_SANITIZE_BUILD
        // The test holds proxies of the office's objects, whose run-time virtual tables the
        // sanitizer's vptr check rejects; the normal build runs it.
        QSKIP("the office's UNO proxies trip UBSan's vptr check");
#endif
        if (!office.start()) QFAIL(qPrintable(office.error()));
        settings::SaveSetting("Spreadsheet", "Host", "127.0.0.1");
        settings::SaveSetting("Spreadsheet", "Port", QString::number(office.port()));
    }
    void cleanupTestCase() {
        reset_module_state();
        office.stop();
    }
    // The office and its workbooks stay from one test to the next; the program's state starts
    // afresh, with the plugin of the build.
    void init() {
        reset_module_state();
        ui::set_backend(&user);
        spreadsheet::set_plugin_folder(WEYVANE_BIN_DIR);
        user.boxes.clear();
    }

    void office_without_a_workbook() {
        excel_set_row_for_record(3);
        excel_log_reading(0);
        QCOMPARE(user.texts(), QStringList{"Please open a spreedsheet in Microsoft Excel"});
    }

    void two_readings_land_in_their_rows() {
        QVERIFY(open_new_workbook());
        links.scale_name[2] = "Bay 2";
        links.scale_reading[2] = "  1250.5";
        links.scale_name[5] = QString::fromUtf8("Trémie");
        links.scale_reading[5] = QByteArray("   -3.25 kg \xB1");
        const QDate day(2026, 3, 14);
        wclock::use_fake(13 * 3600 + 45 * 60 + 30.5, 0.001, day);

        excel_set_row_for_record(41);
        excel_log_reading(2);
        wclock::advance(60);
        excel_set_row_for_record(42);
        excel_log_reading(5);

        QVERIFY(user.boxes.isEmpty());
        QCOMPARE(collect.excel_row, 44);

        auto session = office.connect();
        QVERIFY(session);
        const Sheet s(session->first_document());
        const QStringList headings{"ScaleID", "Reading", "Time", "Date", "ID"};
        for (int col = 1; col <= 5; ++col)
            QCOMPARE(s.text(1, col), headings[col - 1]);
        check_row(s, 42, "Bay 2", "  1250.5", QTime(13, 45, 30, 500), day, 41);
        check_row(s, 43, QString::fromUtf8("Trémie"), QString::fromLatin1("   -3.25 kg \xB1"),
                  QTime(13, 46, 30, 500), day, 42);
        QCOMPARE(s.cell(41, 1)->getType(), css::table::CellContentType_EMPTY);
        QCOMPARE(s.cell(2, 1)->getType(), css::table::CellContentType_EMPTY);
    }

    // With a second workbook opened after the first, rows still go into the first.
    void rows_go_into_the_first_opened_workbook() {
        QVERIFY(open_new_workbook());
        links.scale_name[3] = "Bay 3";
        links.scale_reading[3] = "  77.0";
        excel_set_row_for_record(60);
        excel_log_reading(3);
        QVERIFY(user.boxes.isEmpty());

        auto session = office.connect();
        QVERIFY(session);
        QStringList found; // per spreadsheet document: its row 42 (written before) and row 61
        Reference<css::container::XEnumeration> docs = session->desktop->getComponents()->createEnumeration();
        while (docs->hasMoreElements()) {
            Reference<css::sheet::XSpreadsheetDocument> doc(docs->nextElement(), UNO_QUERY);
            if (!doc.is()) continue;
            const Sheet sheet(doc);
            found << sheet.text(42, 1) + "|" + sheet.text(61, 1);
        }
        found.sort();
        QCOMPARE(found, (QStringList{"<not text>|<not text>", "Bay 2|Bay 3"}));
    }

    void no_office_on_the_port() {
        settings::SaveSetting("Spreadsheet", "Port", QString::number(free_port()));
        QVERIFY(!spreadsheet::attach());
        settings::SaveSetting("Spreadsheet", "Port", QString::number(office.port()));
        QVERIFY(spreadsheet::attach());
    }
};

WEYVANE_TEST_MAIN(TestSpreadsheetCalc)
#include "test_spreadsheet_calc.moc"
