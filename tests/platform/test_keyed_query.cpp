// The recordset's keyed-query builder on its own, against SQLite: the records read next to any
// record through the order's index are those the whole ordered query gives there, Nulls and ties
// included; a kept record stays among the records; an order that is more than columns is read by
// position.
#include "platform/db/keyed_query.h"
#include "tests/support/test_main.h"

#include <QSqlDatabase>
#include <QSqlError>
#include <QSqlQuery>

using adodb::KeyedQuery;

namespace {

struct Read {
    QList<qint64> rowids;
    QList<quint32> nulls;
};

Read run(QSqlDatabase db, const QString& sql, const QVariantList& binds) {
    Read out;
    QSqlQuery q(db);
    if (!q.prepare(sql)) qWarning() << q.lastError().text() << sql;
    for (int i = 0; i < binds.size(); ++i)
        q.bindValue(i, binds[i]);
    if (!q.exec()) qWarning() << q.lastError().text() << sql;
    while (q.next()) {
        out.rowids << q.value(0).toLongLong();
        out.nulls << static_cast<quint32>(q.value(1).toLongLong());
    }
    return out;
}

// Up to `limit` records next to `anchor`, nearest first, read level by level.
QList<qint64> next_to(QSqlDatabase db, const KeyedQuery& k, qint64 anchor, quint32 nulls, bool forward,
                      int limit) {
    QList<qint64> rows;
    for (int level = k.levels(); level >= 0 && rows.size() < limit; --level)
        for (const KeyedQuery::Step& s : k.steps(level, nulls, forward, false)) {
            QVariantList binds;
            for (int i = 0; i < s.anchors; ++i)
                binds << anchor;
            binds << limit - rows.size();
            rows += run(db, s.sql, binds).rowids;
            if (rows.size() >= limit) break;
        }
    return rows;
}

} // namespace

class TestKeyedQuery : public QObject {
    Q_OBJECT
    QSqlDatabase db;

private slots:
    void initTestCase() {
        db = QSqlDatabase::addDatabase("QSQLITE", "keyed");
        db.setDatabaseName(":memory:");
        QVERIFY(db.open());
        QSqlQuery q(db);
        QVERIFY(q.exec("CREATE TABLE t (a INTEGER, b TEXT COLLATE NOCASE, k TEXT)"));
        QVERIFY(q.exec("CREATE INDEX t_ab ON t (a, b)"));
        QVERIFY(q.exec("WITH RECURSIVE n(i) AS (SELECT 1 UNION ALL SELECT i+1 FROM n WHERE i < 120) "
                       "INSERT INTO t SELECT CASE WHEN i % 9 = 0 THEN NULL ELSE i % 5 END, "
                       "CASE WHEN i % 7 = 0 THEN NULL WHEN i % 2 = 0 THEN 'x' ELSE 'X' || (i % 3) END, "
                       "CASE WHEN i % 4 = 0 THEN 'out' ELSE 'in' END FROM n"));
    }

    void neighbours_match_the_whole_order_data() {
        QTest::addColumn<QString>("order");
        QTest::newRow("two columns, one descending") << "a DESC, b";
        QTest::newRow("text first") << "b, a DESC";
        QTest::newRow("one column") << "a";
    }
    void neighbours_match_the_whole_order() {
        QFETCH(QString, order);
        KeyedQuery k;
        k.build("SELECT * FROM t WHERE k <> 'out' ORDER BY " + order);
        QVERIFY(k.keyed());
        const Read all = run(db, k.page_sql(false), {-1, 0});
        QCOMPARE(all.rowids.size(), 90);
        for (qsizetype i = 0; i < all.rowids.size(); i += 7) {
            const QList<qint64> after = next_to(db, k, all.rowids[i], all.nulls[i], true, 5);
            QCOMPARE(after, all.rowids.mid(i + 1, 5));
            QList<qint64> before = next_to(db, k, all.rowids[i], all.nulls[i], false, 5);
            std::reverse(before.begin(), before.end());
            QCOMPARE(before, all.rowids.mid(std::max<qsizetype>(0, i - 5), std::min<qsizetype>(i, 5)));
        }
    }

    void kept_records_and_reads_by_position() {
        KeyedQuery k;
        k.build("SELECT * FROM t WHERE k <> 'out' ORDER BY a");
        QSqlQuery q(db);
        QVERIFY(q.exec(k.count_sql()) && q.next());
        QCOMPARE(q.value(0).toInt(), 90);
        k.keep(4); // a record whose k is 'out'
        QVERIFY(q.exec(k.count_sql()) && q.next());
        QCOMPARE(q.value(0).toInt(), 91);
        QCOMPARE(run(db, k.fetch_sql(true), {4}).rowids, QList<qint64>{4});
        k.forget_kept();
        QCOMPARE(run(db, k.fetch_sql(true), {4}).rowids, QList<qint64>());
        QCOMPARE(run(db, k.fetch_sql(false), {4}).rowids, QList<qint64>{4});

        k.build("SELECT * FROM t ORDER BY a + 1, b");
        QVERIFY(k.updatable() && !k.keyed());
        k.build("SELECT a, count(*) FROM t GROUP BY a");
        QVERIFY(!k.updatable());
        QVERIFY(q.exec(k.count_sql()) && q.next());
        QCOMPARE(q.value(0).toInt(), 6);
    }
};

WEYVANE_TEST_MAIN(TestKeyedQuery)
#include "test_keyed_query.moc"
