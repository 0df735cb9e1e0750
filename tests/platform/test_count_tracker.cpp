// The record counts on their own: a count follows the recordset's own changes, is taken anew after
// another connection's, and is reused by another recordset only while it is still right.
#include "platform/db/adodb.h"
#include "platform/db/count_tracker.h"
#include "tests/support/temp_database.h"
#include "tests/support/test_main.h"

using namespace adodb;

class TestCountTracker : public QObject {
    Q_OBJECT
private slots:
    void counts_stay_right() {
        testsupport::TempDatabase db;
        QCOMPARE(db.exec("INSERT INTO groups (IDnum) VALUES (1),(2),(3)"), QString());
        Connection cn;
        QVERIFY(cn.Open(db.conn_str));
        KnownCounts known(cn.database());
        const QString groups = " FROM \"groups\"";
        CountTracker mine;
        QString error;
        QVERIFY(mine.load(known, groups, true, &error));
        QCOMPARE(mine.count(), 3);

        // A record of its own: the count follows without counting.
        QVERIFY(QSqlQuery(cn.database()).exec("INSERT INTO groups (IDnum) VALUES (4)"));
        QVERIFY(mine.change(known, groups, 1, 1));
        QCOMPARE(mine.count(), 4);
        CountTracker other_order;
        QVERIFY(other_order.load(known, groups, true, &error));
        QCOMPARE(other_order.count(), 4);

        // Another connection's records: counted anew, and no stale count is handed on.
        QCOMPARE(db.exec("INSERT INTO groups (IDnum) VALUES (5),(6)"), QString());
        QVERIFY(other_order.load(known, groups, true, &error));
        QCOMPARE(other_order.count(), 6);
        QVERIFY(QSqlQuery(cn.database()).exec("DELETE FROM groups WHERE IDnum = 1"));
        QVERIFY(!mine.change(known, groups, 1, -1));
        QCOMPARE(mine.count(), 5);
        // A change on the connection that the tracker was not told of is not taken for its own.
        QVERIFY(QSqlQuery(cn.database()).exec("DELETE FROM groups WHERE IDnum = 2"));
        QVERIFY(!other_order.change(known, groups, 0, 0));
        QCOMPARE(other_order.count(), 4);
        QVERIFY(!mine.load(known, " FROM nowhere", false, &error));
        QVERIFY(!error.isEmpty());
    }
};

WEYVANE_TEST_MAIN(TestCountTracker)
#include "test_count_tracker.moc"
