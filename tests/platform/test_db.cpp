// The database layer against real SQLite files: the program's SQL texts, Find, AddNew / Update,
// paging over many records, locking, durability and compaction.
#include "app/module_state.h"
#include "platform/db/adodb.h"
#include "platform/db/data_control.h"
#include "platform/db/jet_sql.h"
#include "tests/support/temp_database.h"
#include "tests/support/test_main.h"

#include <QDate>
#include <QFileInfo>
#include <QLoggingCategory>
#include <QProcess>
#include <QSignalSpy>
#include <QStandardPaths>
#include <QTableView>
#include <QTime>
#include <csignal>

using namespace adodb;
using testsupport::TempDatabase;

namespace {

// The values of one field over all records, in recordset order.
QStringList column(Recordset& rs, const QString& field) {
    QStringList out;
    for (rs.MoveFirst(); !rs.IsEOF(); rs.MoveNext())
        out << rs.Value(field).toString();
    return out;
}

QStringList ids_of(const TempDatabase& db, const QString& sql) {
    Connection cn;
    Recordset rs;
    if (!cn.Open(db.conn_str) || !rs.Open(sql, cn))
        return {QStringLiteral("error: ") + cn.error() + rs.error()};
    return column(rs, QStringLiteral("ID"));
}

const char* kChildArg = "--store-and-wait";

} // namespace

class TestDb : public QObject {
    Q_OBJECT
private slots:
    void init() { reset_module_state(); }

    void jet_translation_data() {
        QTest::addColumn<QString>("jet");
        QTest::addColumn<QString>("sqlite");
        QTest::newRow("delete star") << "Delete * from datacol"
                                     << "DELETE FROM datacol";
        QTest::newRow("brackets and true")
            << "select * from [ScaleCFG] where [sctype]='RS485' and [active]=true Order by [NetID]"
            << "select * from \"ScaleCFG\" where \"sctype\"='RS485' and \"active\"<>0 Order by \"NetID\"";
        QTest::newRow("true stored, not compared") << "update t set a = true, b=false where c <> true"
                                                   << "update t set a = 1, b=0 where c =0";
        QTest::newRow("blank in name") << "select [Poll Time] from x"
                                       << "select \"Poll Time\" from x";
        QTest::newRow("literal untouched") << "select * from t where a='[true] false'"
                                           << "select * from t where a='[true] false'";
        QTest::newRow("doubled quote") << "select * from t where a='it''s true'"
                                       << "select * from t where a='it''s true'";
        QTest::newRow("false inside word") << "select falsehood from t where x=false"
                                           << "select falsehood from t where x=0";
    }
    void jet_translation() {
        QFETCH(QString, jet);
        QFETCH(QString, sqlite);
        QCOMPARE(jet::to_sqlite(jet), sqlite);
    }

    void select_parts() {
        auto p = jet::parse_select(
            jet::to_sqlite("select ID,ScaleID,Reading,Date,Time from datacol order by Reading, date,time"));
        QVERIFY(p.ok);
        QCOMPARE(p.table, QStringLiteral("datacol"));
        QCOMPARE(p.order_terms, (QStringList{"Reading", "date", "time"}));
        p = jet::parse_select(
            jet::to_sqlite("select * from [ScaleCFG] Where [sctype] <> 'RS232' Order by [NetID]"));
        QVERIFY(p.ok);
        QCOMPARE(p.where, QStringLiteral("\"sctype\" <> 'RS232'"));
        QCOMPARE(jet::reversed_term("NetID"), QStringLiteral("NetID DESC"));
        QCOMPARE(jet::reversed_term("NetID desc"), QStringLiteral("NetID ASC"));
        QVERIFY(!jet::parse_select("select a.x from a join b on a.id=b.id").ok);
        QVERIFY(!jet::parse_select("select count(*) from a").ok);
    }

    void conversions_data() {
        QTest::addColumn<QVariant>("value");
        QTest::addColumn<bool>("ok");
        QTest::addColumn<int>("result");
        QTest::newRow("yes") << QVariant(true) << true << -1;
        QTest::newRow("no") << QVariant(false) << true << 0;
        QTest::newRow("text") << QVariant("5") << true << 5;
        QTest::newRow("blanks") << QVariant(" 2 ") << true << 2;
        QTest::newRow("half to even") << QVariant("2.5") << true << 2;
        QTest::newRow("half up to even") << QVariant(3.5) << true << 4;
        QTest::newRow("null") << QVariant() << false << 0;
        QTest::newRow("empty") << QVariant("") << false << 0;
        QTest::newRow("word") << QVariant("abc") << false << 0;
        QTest::newRow("overflow") << QVariant(40000) << false << 0;
    }
    void conversions() {
        QFETCH(QVariant, value);
        QFETCH(bool, ok);
        QFETCH(int, result);
        bool got_ok = !ok;
        QCOMPARE(int(to_int16(value, &got_ok)), result);
        QCOMPARE(got_ok, ok);
    }

    void connection_string() {
        QCOMPARE(path_from_conn_str("Provider=Microsoft.Jet.OLEDB.4.0; Data Source=/tmp/x\\zqdata.mdb"),
                 QStringLiteral("/tmp/x/zqdata.mdb"));
        QCOMPARE(path_from_conn_str("Provider=Microsoft.Jet.OLEDB.4.0;Data Source=/a b/temp.mdb"),
                 QStringLiteral("/a b/temp.mdb"));
        TempDatabase db;
        QVERIFY(db.ok());
        Connection cn;
        QVERIFY2(cn.Open(db.conn_str, "", "", -1), qPrintable(cn.error()));
        QVERIFY(cn.IsOpen());
        cn.Close();
        QVERIFY(!cn.IsOpen());

        // A missing file is an error and is not created.
        const QString missing = db.folder + "/nothere";
        QVERIFY(!cn.Open("Provider=Microsoft.Jet.OLEDB.4.0; Data Source=" + missing + "\\zqdata.mdb"));
        QVERIFY(cn.error().contains("zqdata.mdb"));
        QVERIFY(!QFile::exists(missing + "/zqdata.mdb"));
        QVERIFY(!QDir(missing).exists());

        // A file that is not a database is an error too.
        QFile junk(db.folder + "/junk.mdb");
        QVERIFY(junk.open(QIODevice::WriteOnly));
        junk.write(QByteArray(4096, 'x'));
        junk.close();
        QVERIFY(!cn.Open("Provider=Microsoft.Jet.OLEDB.4.0; Data Source=" + db.folder + "\\junk.mdb"));
        QVERIFY(!cn.error().isEmpty());
        // Its content is wrong, not its disk.
        QCOMPARE(cn.fault(), adodb::Fault::content);

        // Two connections on one file live side by side.
        Connection a, b;
        QVERIFY(a.Open(db.conn_str) && b.Open(db.conn_str));
        QVERIFY(a.database().connectionName() != b.database().connectionName());
    }

    void delivered_settings_row() {
        TempDatabase db;
        Connection cn;
        Recordset rs;
        QVERIFY(cn.Open(db.conn_str));
        QVERIFY(rs.Open("syscfg", cn));
        QCOMPARE(rs.RecordCount(), 1);
        QCOMPARE(rs.Value("commtype").toString(), QStringLiteral("RS232"));
        QCOMPARE(rs.Value("COMMPORT").toString(), QStringLiteral("1"));
        QCOMPARE(rs.Value("netpolltime").toString(), QStringLiteral(".33"));
        QCOMPARE(rs.Value("netdeltime").toString(), QStringLiteral(".01"));
        QCOMPARE(rs.Value("usbreset").toString(), QStringLiteral("0"));
        QCOMPARE(rs.Int16("rfnet"), int16_t(0));
        QCOMPARE(rs.Int16("rfnetid"), int16_t(0));
        QCOMPARE(rs.Int16("tagblz"), int16_t(0));
        QCOMPARE(rs.Value("datacolenbstart"), QVariant(false));
        for (int k = 0; k <= 8; ++k) {
            QCOMPARE(rs.Value(QString("slave%1enb").arg(k)), QVariant(false));
            QVERIFY(rs.HasField(QString("slave%1top").arg(k)));
            QVERIFY(rs.HasField(QString("slave%1left").arg(k)));
        }
        QVERIFY(!rs.HasField("slave9enb"));
        for (const char* t : {"ScaleCFG", "datacol", "groups", "ocxfer", "defaultgroups", "defaultoutputs"}) {
            Recordset r;
            QVERIFY2(r.Open(t, cn), t);
        }
        // sccfg.mdb has its own ScaleCFG.
        Connection old;
        Recordset r;
        QVERIFY(old.Open("Provider=Microsoft.Jet.OLEDB.4.0; Data Source=" + db.folder + "\\sccfg.mdb"));
        QVERIFY(r.Open("select * from [ScaleCFG] where [sctype]='RS485' and [active]=true Order by [NetID]",
                       old));
        QVERIFY(r.HasField("NetID") && r.HasField("sctype") && r.HasField("active"));
    }

    void scalecfg_queries_data() {
        QTest::addColumn<QString>("sql");
        QTest::addColumn<QStringList>("netids");
        QTest::newRow("active RS485 network")
            << "select * from [ScaleCFG] where [sctype]='RS485' and [active]=true Order by [NetID]"
            << QStringList{"129", "130", "140"};
        QTest::newRow("RS232") << "select * from [ScaleCFG] Where [sctype] = 'RS232' Order by [NetID]"
                               << QStringList{"1", "2"};
        QTest::newRow("not RS232") << "select * from [ScaleCFG] Where [sctype] <> 'RS232' Order by [NetID]"
                                   << QStringList{"128", "129", "130", "131", "140", "150"};
        QTest::newRow("all, as stored")
            << "select * from scalecfg" << QStringList{"140", "2", "130", "128", "1", "129", "131", "150"};
    }
    void scalecfg_queries() {
        QFETCH(QString, sql);
        QFETCH(QStringList, netids);
        TempDatabase db;
        // sctype compares without regard to case, as on Jet; a Null sctype is neither = nor <>.
        QCOMPARE(db.exec("INSERT INTO ScaleCFG (sctype, NetID, Active) VALUES "
                         "('RS485',140,1),('RS232',2,1),('rs485',130,1),('RS485',128,0),('RS232',1,0),"
                         "('RS485',129,1),('USB485',131,1),('RS485',150,NULL),(NULL,7,1)"),
                 QString());
        Connection cn;
        Recordset rs;
        QVERIFY(cn.Open(db.conn_str));
        QVERIFY2(rs.Open(sql, cn), qPrintable(rs.error()));
        QStringList got = column(rs, "netid");
        if (sql == "select * from scalecfg") got.removeLast(); // the record with no sctype
        QCOMPARE(got, netids);
    }

    // A yes stored as -1 (older databases) matches "= true" in a query and in Find as a yes
    // stored as 1 does, as reading the field shows it ticked.
    void yes_no_criteria() {
        TempDatabase db;
        QCOMPARE(db.exec("INSERT INTO ScaleCFG (sctype, NetID, Active) VALUES "
                         "('RS485',141,-1),('RS485',142,1),('RS485',143,0)"),
                 QString());
        Connection cn;
        QVERIFY(cn.Open(db.conn_str));
        Recordset yes;
        QVERIFY(yes.Open("select * from [ScaleCFG] where [sctype]='RS485' and [active]=true Order by [NetID]",
                         cn));
        QCOMPARE(column(yes, "netid"), (QStringList{"141", "142"}));
        Recordset no;
        QVERIFY(no.Open("select * from [ScaleCFG] where [active]=false", cn));
        QCOMPARE(column(no, "netid"), QStringList{"143"});
        Recordset all;
        QVERIFY(all.Open("select * from [ScaleCFG] order by [NetID]", cn));
        all.MoveFirst();
        all.Find("active=true");
        QCOMPARE(all.Value("NetID").toInt(), 141);
        all.MoveNext();
        all.Find("active=true");
        QCOMPARE(all.Value("NetID").toInt(), 142);
        all.MoveFirst();
        all.Find("active=false");
        QCOMPARE(all.Value("NetID").toInt(), 143);
    }

    void datacol_orderings_data() {
        QTest::addColumn<QString>("clause");
        QTest::addColumn<QStringList>("ids");
        QTest::newRow("Weight") << " order by Reading, date,time" << QStringList{"5", "3", "4", "1", "2"};
        QTest::newRow("Scale ID") << " order by scaleid, date,time" << QStringList{"5", "2", "4", "1", "3"};
        QTest::newRow("Dat/Time") << " order by date,time" << QStringList{"5", "2", "4", "1", "3"};
        QTest::newRow("ID") << " order by ID,date,time" << QStringList{"1", "2", "3", "4", "5"};
        QTest::newRow("none") << "" << QStringList{"1", "2", "3", "4", "5"};
    }
    void datacol_orderings() {
        QFETCH(QString, clause);
        QFETCH(QStringList, ids);
        TempDatabase db;
        Connection cn;
        Recordset rs;
        QVERIFY(cn.Open(db.conn_str));
        QVERIFY(rs.Open("datacol", cn));
        struct R {
            const char* scale;
            const char* reading;
            QTime time;
            QDate date;
        };
        // "Weight" sorts as text: 10.5 before 9.0.
        const R rows[] = {{"131", "9.0", QTime(9, 0, 0), QDate(2024, 3, 2)},
                          {"130", "9.5", QTime(8, 0, 0), QDate(2024, 3, 1)},
                          {"Scale 3", "10.5", QTime(10, 0, 0), QDate(2024, 3, 2)},
                          {"130", "9.0", QTime(23, 59, 59), QDate(2024, 3, 1)},
                          {"130", "", QTime(7, 0, 0), QDate(2024, 2, 29)}};
        for (const R& r : rows) {
            rs.AddNew();
            rs.SetValue("ScaleID", QString(r.scale));
            rs.SetValue("Reading", QString(r.reading));
            rs.SetValue("Time", r.time);
            rs.SetValue("Date", r.date);
            QVERIFY2(rs.Update(), qPrintable(rs.error()));
        }
        QCOMPARE(ids_of(db, "select ID,ScaleID,Reading,Date,Time from datacol" + clause), ids);
        Recordset grid;
        QVERIFY(grid.Open("select ID,ScaleID,Reading,Date,Time from datacol" + clause, cn));
        QCOMPARE(grid.FieldNames(), (QStringList{"ID", "ScaleID", "Reading", "Date", "Time"}));
        // Stored as ISO text.
        grid.Find("ID=4");
        QCOMPARE(grid.Value("Time").toString(), QStringLiteral("23:59:59"));
        QCOMPARE(grid.Value("Date").toString(), QStringLiteral("2024-03-01"));

        QVERIFY(cn.Execute("Delete * from datacol"));
        QVERIFY(grid.Requery());
        QCOMPARE(grid.RecordCount(), 0);
        QVERIFY(grid.IsEOF() && grid.IsBOF());
    }

    void find_data() {
        QTest::addColumn<QString>("table");
        QTest::addColumn<int>("start");
        QTest::addColumn<QString>("criterion");
        QTest::addColumn<int>("found"); // ID of the record found, 0 for EOF
        QTest::newRow("netid") << "ScaleCFG" << 0 << "netid=130" << 2;
        QTest::newRow("netid from current on") << "ScaleCFG" << 2 << "netid=130" << 4;
        QTest::newRow("netid current itself") << "ScaleCFG" << 1 << "netid=130" << 2;
        QTest::newRow("netid missing") << "ScaleCFG" << 0 << "netid=99" << 0;
        QTest::newRow("serialno") << "ScaleCFG" << 0 << "serialno='Unknown'" << 3;
        QTest::newRow("serialno other case") << "ScaleCFG" << 0 << "serialno='UNKNOWN'" << 3;
        QTest::newRow("serialno second") << "ScaleCFG" << 3 << "serialno='Unknown'" << 5;
        QTest::newRow("serialno with quote") << "ScaleCFG" << 0 << "serialno='FT'5'" << 6;
        QTest::newRow("serialno injection") << "ScaleCFG" << 0 << "serialno='x' or 'a'='a'" << 0;
        QTest::newRow("serialno empty finds empty only") << "ScaleCFG" << 0 << "serialno=''" << 4;
        QTest::newRow("ID") << "ScaleCFG" << 0 << "ID=5" << 5;
        QTest::newRow("ID injection") << "ScaleCFG" << 0 << "ID=1 or 1=1" << 0;
        QTest::newRow("IDnum") << "groups" << 0 << "IDnum=131" << 2;
        QTest::newRow("IDnum 0") << "groups" << 0 << "IDnum=0" << 3;
        QTest::newRow("unknown field") << "groups" << 0 << "nosuch=1" << 0;
    }
    void find() {
        QFETCH(QString, table);
        QFETCH(int, start);
        QFETCH(QString, criterion);
        QFETCH(int, found);
        TempDatabase db;
        QCOMPARE(db.exec("INSERT INTO ScaleCFG (sctype, NetID, SerialNo) VALUES "
                         "('RS485',128,'A1'),('RS485',130,'B2'),('USB',131,'Unknown'),('RS485',130,''),"
                         "('USB',132,'Unknown'),('USB',133,'FT''5'),('USB',134,NULL);"
                         "INSERT INTO groups (IDnum, description) VALUES (130,'a'),(131,'b'),(0,'c')"),
                 QString());
        const int before = db.scalar("SELECT COUNT(*) FROM ScaleCFG").toInt();
        Connection cn;
        Recordset rs;
        QVERIFY(cn.Open(db.conn_str));
        QVERIFY(rs.Open(table, cn, adOpenDynamic, adLockPessimistic, -1));
        rs.MoveFirst();
        for (int i = 0; i < start; ++i)
            rs.MoveNext();
        rs.Find(criterion, 0, adSearchForward);
        if (found == 0) {
            QVERIFY(rs.IsEOF());
        } else {
            QVERIFY(!rs.IsEOF());
            QCOMPARE(rs.Value("ID").toInt(), found);
        }
        QCOMPARE(db.scalar("SELECT COUNT(*) FROM ScaleCFG").toInt(), before);
    }

    void addnew_update_and_read_back() {
        TempDatabase db;
        Connection cn;
        Recordset rs;
        QVERIFY(cn.Open(db.conn_str));
        QVERIFY(rs.Open("scalecfg", cn));
        rs.AddNew();
        rs.SetValue("SCTYPE", QString("RS485"));
        rs.SetValue("description", QString("SCALE RS485"));
        rs.SetValue("SerialNo", QString()); // the empty text, not Null
        rs.SetValue("NetID", 130);
        rs.SetValue("active", true);
        rs.SetValue("Poll Time", 4);
        rs.SetValue("[Poll Active]", -1);
        QVERIFY(rs.IsEditing());
        QCOMPARE(rs.Value("NetID").toInt(), 130);
        QVERIFY2(rs.Update(), qPrintable(rs.error()));
        QVERIFY(!rs.IsEditing());
        const int id = rs.Value("ID").toInt();
        QVERIFY(id > 0);
        QCOMPARE(rs.RecordCount(), 1);
        rs.AddNew();
        rs.SetValue("sctype", QString("RS232"));
        QVERIFY(rs.Update());
        QCOMPARE(rs.Value("id").toInt(), id + 1);
        QVERIFY(rs.Value("SerialNo").isNull()); // never assigned: Null
        QCOMPARE(rs.RecordCount(), 2);

        QCOMPARE(db.scalar(QString("SELECT SerialNo FROM ScaleCFG WHERE ID=%1").arg(id)).toString(),
                 QString(""));
        QVERIFY(!db.scalar(QString("SELECT SerialNo IS NULL FROM ScaleCFG WHERE ID=%1").arg(id)).toBool());
        QVERIFY(db.scalar(QString("SELECT SerialNo IS NULL FROM ScaleCFG WHERE ID=%1").arg(id + 1)).toBool());

        Recordset back;
        QVERIFY(back.Open(
            "select * from [ScaleCFG] where [sctype]='RS485' and [active]=true Order by [NetID]", cn));
        QCOMPARE(back.RecordCount(), 1);
        QCOMPARE(back.Int16("Active"), int16_t(-1));
        QCOMPARE(back.Int16("poll active"), int16_t(-1));
        QCOMPARE(back.Value("Active"), QVariant(true));
        QCOMPARE(back.Value("Poll Time").toInt(), 4);
        QVERIFY(!back.Value("SerialNo").isNull());
        QCOMPARE(back.Value("SerialNo").toString(), QString(""));

        // Editing the current record and moving on stores the change.
        back.SetValue("Active", false);
        back.MoveNext();
        QVERIFY(back.IsEOF());
        QCOMPARE(db.scalar(QString("SELECT Active FROM ScaleCFG WHERE ID=%1").arg(id)).toInt(), 0);
        back.Requery();
        QCOMPARE(back.RecordCount(), 0);

        // A record the filter leaves out is stored but not counted.
        back.AddNew();
        back.SetValue("sctype", QString("RS232"));
        QVERIFY(back.Update());
        QCOMPARE(back.RecordCount(), 0);
        QCOMPARE(db.scalar("SELECT COUNT(*) FROM ScaleCFG").toInt(), 3);
    }

    void delete_and_move() {
        TempDatabase db;
        QCOMPARE(db.exec("INSERT INTO groups (IDnum) VALUES (1),(2),(3)"), QString());
        Connection cn;
        Recordset rs;
        QVERIFY(cn.Open(db.conn_str));
        QVERIFY(rs.Open("groups", cn));
        rs.Find("IDnum=2");
        QVERIFY(rs.Delete());
        QCOMPARE(rs.RecordCount(), 2);
        QVERIFY(rs.Value("IDnum").isNull());
        rs.MoveNext();
        QCOMPARE(rs.Value("IDnum").toInt(), 3);
        rs.MoveFirst();
        QCOMPARE(rs.Value("IDnum").toInt(), 1);
        rs.MovePrevious();
        QVERIFY(rs.IsBOF());
        rs.MovePrevious(); // stays, with an error, no crash
        QVERIFY(rs.IsBOF());
        QCOMPARE(column(rs, "IDnum"), (QStringList{"1", "3"}));
        QVERIFY(!rs.Delete()); // at EOF: nothing to delete
        QCOMPARE(db.scalar("SELECT COUNT(*) FROM groups").toInt(), 2);
    }

    // The recordset acts on its current record by its key. A record that an edit takes out of the
    // source's condition stays where it was until Requery; one removed by another connection is
    // never replaced by a neighbour, and an Update or Delete of it fails with a message; a count
    // kept for other orders is the source's own.
    void current_record_by_key() {
        TempDatabase db;
        QCOMPARE(db.exec("WITH RECURSIVE n(i) AS (SELECT 1 UNION ALL SELECT i+1 FROM n WHERE i < 450) "
                         "INSERT INTO ScaleCFG (sctype, NetID) SELECT 'RS485', i FROM n"),
                 QString());
        const QString network = "select * from [ScaleCFG] Where [sctype] <> 'RS232' Order by [NetID]";
        Connection cn;
        QVERIFY(cn.Open(db.conn_str));
        Recordset rs;
        QVERIFY(rs.Open(network, cn));
        rs.Find("NetID=131");
        rs.SetValue("sctype", QString("RS232"));
        QVERIFY(rs.Update());
        QCOMPARE(rs.RecordCount(), 450);
        Recordset other_order;
        QVERIFY(
            other_order.Open("select * from [ScaleCFG] Where [sctype] <> 'RS232' Order by [ID] DESC", cn));
        QCOMPARE(other_order.RecordCount(), 449);
        rs.MoveNext();
        QCOMPARE(rs.Value("NetID").toInt(), 132);
        rs.MovePrevious();
        QCOMPARE(rs.Value("NetID").toInt(), 131);
        QVERIFY(rs.Delete());
        QCOMPARE(db.scalar("SELECT group_concat(NetID) FROM ScaleCFG WHERE NetID IN (131, 132)").toString(),
                 QString("132"));

        rs.AddNew();
        rs.SetValue("sctype", QString("RS485"));
        rs.SetValue("NetID", 500);
        QVERIFY(rs.Update());
        const QString id = rs.Value("ID").toString();
        QCOMPARE(db.exec("DELETE FROM ScaleCFG WHERE ID=" + id), QString());
        rs.SetValue("NetID", 501);
        QVERIFY(!rs.Update());
        QVERIFY(!rs.error().isEmpty());
        QVERIFY(!rs.Delete());
        QVERIFY(!rs.error().isEmpty());
        QCOMPARE(db.scalar("SELECT COUNT(*) FROM ScaleCFG").toInt(), 449);
        QCOMPARE(db.scalar("SELECT COUNT(*) FROM ScaleCFG WHERE NetID IN (500, 501)").toInt(), 0);
    }

    // Many records: pages read from both ends fit together, in every ordering.
    void paging_over_many_records() {
        TempDatabase db;
        QString sql = "WITH RECURSIVE n(i) AS (SELECT 1 UNION ALL SELECT i+1 FROM n WHERE i < 1234) "
                      "INSERT INTO datacol (ScaleID, Reading, Time, Date) SELECT i % 7, (i * 37) % 101, "
                      "printf('%02d:%02d:00', (i / 60) % 24, i % 60), '2024-01-0' || (1 + i % 3) FROM n";
        QCOMPARE(db.exec(sql), QString());
        Connection cn;
        QVERIFY(cn.Open(db.conn_str));
        for (const char* clause : {" order by Reading, date,time", " order by scaleid, date,time",
                                   " order by date,time", " order by ID,date,time"}) {
            const QString src = QString("select ID,ScaleID,Reading,Date,Time from datacol") + clause;
            Recordset rs;
            QVERIFY(rs.Open(src, cn));
            QCOMPARE(rs.RecordCount(), 1234);
            QStringList forward = column(rs, "ID");
            QStringList backward;
            for (rs.MoveLast(); !rs.IsBOF(); rs.MovePrevious())
                backward.prepend(rs.Value("ID").toString());
            QCOMPARE(backward, forward);
            QCOMPARE(QSet<QString>(forward.begin(), forward.end()).size(), 1234);
            // The same order as SQLite gives the whole query.
            Recordset fresh;
            QVERIFY(fresh.Open(src, cn));
            fresh.MoveLast();
            QCOMPARE(fresh.Value("ID").toString(), forward.last());
            QCOMPARE(fresh.ValueAt(617, 0).toString(), forward[617]);
        }
    }

    void locked_database_fails_in_time() {
        TempDatabase db;
        set_busy_timeout_ms(200);
        Connection cn, holder;
        Recordset rs;
        QVERIFY(cn.Open(db.conn_str) && holder.Open(db.conn_str));
        QVERIFY(rs.Open("datacol", cn));
        QVERIFY(holder.Execute("BEGIN EXCLUSIVE"));
        rs.AddNew();
        rs.SetValue("Reading", QString("1.0"));
        QVERIFY(!rs.Update());
        QVERIFY(!rs.error().isEmpty());
        QVERIFY(!cn.Execute("Delete * from datacol"));
        QVERIFY(!cn.error().isEmpty());
        QVERIFY(holder.Execute("COMMIT"));
        QVERIFY2(rs.Update(), qPrintable(rs.error())); // the new record is still pending
        QCOMPARE(rs.RecordCount(), 1);
    }

    // A refused store is traced in weyvane.db when that category is switched on.
    void failed_update_is_traced() {
        static QStringList traced;
        traced.clear();
        QLoggingCategory::setFilterRules(QStringLiteral("weyvane.db.warning=true"));
        const QtMessageHandler previous = qInstallMessageHandler(
            [](QtMsgType type, const QMessageLogContext& context, const QString& text) {
                if (type == QtWarningMsg && qstrcmp(context.category, "weyvane.db") == 0) traced << text;
            });
        TempDatabase db;
        set_busy_timeout_ms(200);
        Connection cn, holder;
        Recordset rs;
        const bool opened = cn.Open(db.conn_str) && holder.Open(db.conn_str) && rs.Open("datacol", cn) &&
                            holder.Execute("BEGIN EXCLUSIVE");
        rs.AddNew();
        rs.SetValue("Reading", QString("1.0"));
        const bool stored = rs.Update();
        qInstallMessageHandler(previous);
        QLoggingCategory::setFilterRules(QString());
        QVERIFY(opened);
        QVERIFY(!stored);
        QCOMPARE(traced.size(), 1);
        QVERIFY2(traced[0].contains("datacol") && traced[0].contains(rs.error()), qPrintable(traced[0]));
    }

    // An edit of an existing record that cannot be stored must not let the next new record's
    // fields land in that existing record.
    void add_new_after_failed_edit_never_overwrites() {
        TempDatabase db;
        QCOMPARE(db.exec("INSERT INTO datacol (ScaleID, Reading) VALUES ('130', 'kept')"), QString());
        set_busy_timeout_ms(200);
        Connection cn, holder;
        Recordset rs;
        QVERIFY(cn.Open(db.conn_str) && holder.Open(db.conn_str));
        QVERIFY(rs.Open("datacol", cn));
        rs.MoveFirst();
        rs.SetValue("Reading", QString("edited"));
        QVERIFY(holder.Execute("BEGIN EXCLUSIVE"));
        rs.AddNew(); // the pending edit cannot be stored now
        QVERIFY(!rs.error().isEmpty());
        QVERIFY(holder.Execute("COMMIT"));
        rs.SetValue("ScaleID", QString("131"));
        rs.SetValue("Reading", QString("new"));
        QVERIFY2(rs.Update(), qPrintable(rs.error()));
        QCOMPARE(db.scalar("SELECT Reading FROM datacol WHERE ScaleID='130'").toString(), QString("kept"));
        QCOMPARE(db.scalar("SELECT Reading FROM datacol WHERE ScaleID='131'").toString(), QString("new"));
        QCOMPARE(db.scalar("SELECT COUNT(*) FROM datacol").toInt(), 2);
    }

    // A child process stores a record and is killed at once; the record is there, in the
    // write-ahead log the killed process left, for the layer and for the sqlite3 command alike.
    void durable_after_kill() {
        TempDatabase db;
        QProcess child;
        child.setProcessChannelMode(QProcess::ForwardedErrorChannel);
        child.start(QCoreApplication::applicationFilePath(), {kChildArg, db.conn_str});
        QVERIFY(child.waitForStarted());
        QVERIFY(child.waitForReadyRead(20000));
        const QByteArray id = child.readLine().trimmed();
        QVERIFY(id.startsWith("stored "));
        ::kill(static_cast<pid_t>(child.processId()), SIGKILL);
        QVERIFY(child.waitForFinished(20000));
        QVERIFY(QFileInfo(db.path() + "-wal").size() > 0);
        const QString sqlite3 = QStandardPaths::findExecutable("sqlite3");
        QVERIFY(!sqlite3.isEmpty());
        QProcess cli;
        cli.start(sqlite3, {db.path(), "SELECT Reading FROM datacol WHERE ID=" + id.mid(7)});
        QVERIFY(cli.waitForFinished(20000));
        QCOMPARE(cli.readAllStandardOutput().trimmed(), QByteArray("42.0"));
        QCOMPARE(db.scalar("SELECT Reading FROM datacol WHERE ID=" + id.mid(7)).toString(),
                 QStringLiteral("42.0"));
    }

    void compact() {
        TempDatabase db;
        QCOMPARE(db.exec("INSERT INTO groups (IDnum) VALUES (5)"), QString());
        const QString src = "Provider=Microsoft.Jet.OLEDB.4.0;Data Source=" + db.folder + "\\zqdata.mdb";
        const QString dst = "Provider=Microsoft.Jet.OLEDB.4.0;Data Source=" + db.folder + "\\temp.mdb";
        QString error;
        QVERIFY2(CompactDatabase(src, dst, &error), qPrintable(error));
        Connection cn;
        Recordset rs;
        QVERIFY(cn.Open(dst));
        QVERIFY(rs.Open("groups", cn));
        QCOMPARE(rs.Value("IDnum").toInt(), 5);
        rs.Close();
        cn.Close();
        // The destination must not exist.
        QVERIFY(!CompactDatabase(src, dst, &error));
        QVERIFY(!error.isEmpty());
        // A source that is missing or no database leaves nothing behind.
        const QString dst2 = "Provider=Microsoft.Jet.OLEDB.4.0;Data Source=" + db.folder + "\\temp2.mdb";
        QVERIFY(!CompactDatabase("Provider=Microsoft.Jet.OLEDB.4.0;Data Source=" + db.folder + "\\none.mdb",
                                 dst2, &error));
        QVERIFY(!QFile::exists(db.folder + "/temp2.mdb"));
        QFile junk(db.folder + "/junk.mdb");
        QVERIFY(junk.open(QIODevice::WriteOnly));
        junk.write(QByteArray(8192, 'j'));
        junk.close();
        QVERIFY(!CompactDatabase("Provider=Microsoft.Jet.OLEDB.4.0;Data Source=" + db.folder + "\\junk.mdb",
                                 dst2, &error));
        QVERIFY(!QFile::exists(db.folder + "/temp2.mdb"));
    }

    void closing_the_connection_closes_its_recordsets() {
        TempDatabase db;
        auto cn = std::make_unique<Connection>();
        Recordset rs;
        QVERIFY(cn->Open(db.conn_str));
        QVERIFY(rs.Open("syscfg", *cn));
        cn.reset();
        QVERIFY(!rs.IsOpen());
        QVERIFY(rs.Value("commtype").isNull());
        rs.MoveNext();
        QVERIFY(!rs.Update());
    }

    void data_control_and_grid() {
        TempDatabase db;
        DataControl data2;
        RecordsetModel model(&data2);
        QTableView grid;
        grid.setModel(&model);
        QSignalSpy changed(&data2, &DataControl::recordsChanged);
        data2.setConnectionString(db.conn_str);
        data2.setRecordSource("select ID,ScaleID,Reading,Date,Time from datacol order by ID,date,time");
        QVERIFY2(data2.Refresh(), qPrintable(data2.error()));
        QCOMPARE(model.columnCount(), 5);
        QCOMPARE(model.headerData(2, Qt::Horizontal).toString(), QStringLiteral("Reading"));
        QCOMPARE(model.rowCount(), 0);
        auto* rs = data2.Recordset();
        for (int i = 0; i < 3; ++i) {
            rs->AddNew();
            rs->SetValue("ScaleID", QString::number(130 + i));
            rs->SetValue("Reading", QString("1%1.0").arg(i));
            rs->SetValue("Time", QTime(12, 0, i));
            rs->SetValue("Date", QDate(2024, 5, 1));
            QVERIFY(rs->Update());
            QCOMPARE(rs->Value("ID").toInt(), i + 1);
        }
        QCOMPARE(model.rowCount(), 3);
        QCOMPARE(rs->RecordCount(), 3);
        QCOMPARE(model.data(model.index(2, 1)).toString(), QStringLiteral("132"));
        QCOMPARE(model.data(model.index(2, 4)).toString(), QStringLiteral("12:00:02"));
        QCOMPARE(model.data(model.index(0, 3)).toString(), QStringLiteral("2024-05-01"));
        rs->MoveLast();
        QCOMPARE(rs->Value("ID").toInt(), 3);

        data2.setRecordSource("select ID,ScaleID,Reading,Date,Time from datacol order by Reading, date,time");
        changed.clear();
        QVERIFY(data2.Refresh());
        QVERIFY(changed.count() >= 1);
        QCOMPARE(model.data(model.index(0, 0)).toInt(), 1);

        Connection cn;
        QVERIFY(cn.Open(db.conn_str));
        QVERIFY(cn.Execute("Delete * from datacol"));
        QVERIFY(data2.Refresh());
        QCOMPARE(model.rowCount(), 0);

        data2.setRecordSource("select * from nosuchtable");
        QVERIFY(!data2.Refresh());
        QVERIFY(!data2.error().isEmpty());
        QCOMPARE(model.rowCount(), 0);
        QVERIFY(!data2.Recordset()->IsOpen());
    }

    // Every ordering of the grid is served by an index: no sort of the whole table.
    void orderings_use_an_index() {
        TempDatabase db;
        for (const char* order :
             {"Reading, date,time, rowid", "scaleid, date,time, rowid", "date,time, rowid",
              "ID,date,time, rowid", "Reading DESC, date DESC,time DESC, rowid DESC"}) {
            Connection cn;
            QVERIFY(cn.Open(db.conn_str));
            QSqlQuery q(cn.database());
            QVERIFY(
                q.exec(QString("EXPLAIN QUERY PLAN SELECT rowid, ID,ScaleID,Reading,Date,Time FROM datacol "
                               "ORDER BY %1 LIMIT 200 OFFSET 0")
                           .arg(order)));
            QString plan;
            while (q.next())
                plan += q.value(3).toString() + "; ";
            QVERIFY2(!plan.contains("TEMP B-TREE"), qPrintable(QString(order) + ": " + plan));
        }
    }
};

// Child half of durable_after_kill: store one record, say so, wait to be killed.
static int child_main(const QString& conn_str) {
    Connection cn;
    Recordset rs;
    if (!cn.Open(conn_str) || !rs.Open("datacol", cn)) return 2;
    rs.AddNew();
    rs.SetValue("ScaleID", QString("130"));
    rs.SetValue("Reading", QString("42.0"));
    rs.SetValue("Time", QTime::currentTime());
    rs.SetValue("Date", QDate::currentDate());
    if (!rs.Update()) return 3;
    printf("stored %d\n", rs.Value("ID").toInt());
    fflush(stdout);
    for (;;)
        QThread::msleep(50);
}

int main(int argc, char** argv) {
    if (argc == 3 && strcmp(argv[1], kChildArg) == 0) {
        QCoreApplication app(argc, argv);
        return child_main(QString::fromLocal8Bit(argv[2]));
    }
    TestDb tc;
    return testsupport::run_tests(argc, argv, &tc);
}

#include "test_db.moc"
