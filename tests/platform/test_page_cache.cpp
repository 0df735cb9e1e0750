// The recordset's page cache on its own: after a record is added or deleted, every kept page holds
// the records at its positions, and a full cache keeps the current record's page.
#include "platform/db/page_cache.h"
#include "tests/support/test_main.h"

#include <algorithm>

using adodb::PageCache;
using adodb::Row;

namespace {

constexpr int kSize = PageCache::kPageSize;

// The records in their order, by rowid; the cache's reads of a neighbour and its comparisons
// come from here.
struct Records {
    std::vector<qint64> order;

    qsizetype at(qint64 rowid) const { return std::find(order.begin(), order.end(), rowid) - order.begin(); }
    PageCache::SortsBefore sorts_before() const {
        return [this](qint64 a, qint64 b) { return std::optional<bool>(at(a) < at(b)); };
    }
    PageCache::Neighbour neighbour() const {
        return [this](const Row& row, bool forward) -> std::optional<Row> {
            const qsizetype i = at(row.rowid) + (forward ? 1 : -1);
            if (i < 0 || i >= static_cast<qsizetype>(order.size())) return std::nullopt;
            return Row{order[i], 0, {}};
        };
    }
    std::vector<Row> page(int p) const {
        std::vector<Row> rows;
        for (int i = p * kSize; i < std::min<int>((p + 1) * kSize, static_cast<int>(order.size())); ++i)
            rows.push_back({order[i], 0, {}});
        return rows;
    }
};

QList<qint64> rowids(const std::vector<Row>* rows) {
    QList<qint64> out;
    if (rows)
        for (const Row& r : *rows)
            out << r.rowid;
    return out;
}

} // namespace

class TestPageCache : public QObject {
    Q_OBJECT
private slots:
    void pages_follow_an_added_and_a_deleted_record_data() {
        QTest::addColumn<bool>("add");
        QTest::addColumn<int>("position"); // where the record is added or deleted
        QTest::newRow("add inside a kept page") << true << 250;
        QTest::newRow("add between two kept pages") << true << 400;
        QTest::newRow("add at the end") << true << 1000;
        QTest::newRow("add before every kept page") << true << 0;
        QTest::newRow("delete in the first page") << false << 10;
        QTest::newRow("delete in a page not kept") << false << 450;
        QTest::newRow("delete the last record") << false << 999;
    }
    void pages_follow_an_added_and_a_deleted_record() {
        QFETCH(bool, add);
        QFETCH(int, position);
        Records records;
        for (qint64 id = 1; id <= 1000; ++id)
            records.order.push_back(id);
        PageCache cache;
        for (int p : {0, 1, 3, 4})
            cache.keep(p, records.page(p));
        if (add) {
            const Row added{5000, 0, {}};
            records.order.insert(records.order.begin() + position, added.rowid);
            const int at = cache.added(added, 1001, records.sorts_before(), records.neighbour());
            // The added record's place is told when a kept page holds it.
            if (cache.find(position / kSize)) QCOMPARE(at, position);
        } else {
            const qint64 gone = records.order[position];
            records.order.erase(records.order.begin() + position);
            cache.deleted(position, gone, 999, records.neighbour());
        }
        for (int p = 0; p <= 5; ++p) {
            const std::vector<Row> want = records.page(p);
            if (const auto* rows = cache.find(p)) QCOMPARE(rowids(rows), rowids(&want));
        }
        QVERIFY(cache.find(0)); // kept pages are moved, not forgotten
    }

    void a_full_cache_keeps_the_current_page() {
        PageCache cache;
        for (int p = 0; p < static_cast<int>(PageCache::kMaxPages); ++p)
            cache.keep(p, {Row{p, 0, {}}});
        cache.keep(100, {Row{100, 0, {}}}, 0);
        QVERIFY(cache.find(0));
        QVERIFY(!cache.find(1));
        cache.keep(101, {Row{101, 0, {}}}, 7);
        QVERIFY(!cache.find(0));
        QVERIFY(cache.find(7) && cache.find(100) && cache.find(101));
    }
};

WEYVANE_TEST_MAIN(TestPageCache)
#include "test_page_cache.moc"
