#pragma once
// The pages of records that a recordset has read: a bounded number of them, and how they follow a
// record added or deleted through the recordset, so that each kept page holds again the records
// at its positions without reading it whole.
#include <QVariant>
#include <QVector>
#include <deque>
#include <functional>
#include <map>
#include <optional>
#include <vector>

namespace adodb {

// One record as read: its rowid, which columns of the order are Null in it, its field values.
struct Row {
    qint64 rowid = 0;
    quint32 nulls = 0; // bit i set: order column i is Null in this record
    QVector<QVariant> values;
};

class PageCache {
public:
    static constexpr int kPageSize = 200;
    static constexpr size_t kMaxPages = 64;

    // The records kept for page `page` (positions page * kPageSize on); null when not kept.
    const std::vector<Row>* find(int page) const;
    // Keeps the records read for `page`. When the cache is full it forgets the page kept longest,
    // but never page `spare` (the current record's: read again, it could hold another record).
    const std::vector<Row>& keep(int page, std::vector<Row> rows, int spare = -1);
    void erase(int page);
    void clear();
    bool empty() const { return pages_.empty(); }

    // Whether record `a` sorts before record `b`; nothing when that cannot be told.
    using SortsBefore = std::function<std::optional<bool>(qint64 a, qint64 b)>;
    // The record next to `row` in the order (after it when `forward`); nothing when there is none
    // or it cannot be read.
    using Neighbour = std::function<std::optional<Row>(const Row& row, bool forward)>;

    // After record `added` was stored, making `count` records: pages whose records all come
    // before it stay; the page it lands in takes it at its place; each page after it moves on by
    // one record, taking the one that moves in from the page before when that is kept, else
    // reading it next to its first record. Returns the position of the added record when a kept
    // page holds it, else -1. Forgets every page when an order cannot be told.
    int added(const Row& added, int count, const SortsBefore& sorts_before, const Neighbour& neighbour);
    // After record `rowid` at `position` was deleted, leaving `count` records: the pages from it
    // on move back by one record, each taking the first record of the page after it when that is
    // kept, else reading the one after its last record. A page that does not hold the deleted
    // record at its place is forgotten, to be read again when needed.
    void deleted(int position, qint64 rowid, int count, const Neighbour& neighbour);

private:
    std::map<int, std::vector<Row>> pages_;
    std::deque<int> order_; // pages in the order they were kept
};

} // namespace adodb
