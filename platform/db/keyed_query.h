#pragma once
// The SQL a recordset runs on its source, built in one place.
//
// A source that is one table with a condition and an order is read by rowid: every query selects
// the rowid first, the order gets the rowid as its last column (so that pages read apart fit
// together), and records are stored, found and deleted by rowid. While the order is of plain
// columns, the records next to a known one are read through the order's index (see steps), and
// a second hidden column tells which order columns are Null in a record. Any other source is
// read as it is, by position, and cannot be changed.
#include <QString>
#include <QStringList>
#include <vector>

namespace adodb {

class KeyedQuery {
public:
    // Splits `sqlite_sql` (a source already in SQLite's dialect) into its parts.
    void build(const QString& sqlite_sql);
    // Reads by position alone, for an order the table cannot sort by (a column it lacks).
    void drop_order_columns();

    bool updatable() const { return updatable_; }
    // Records next to a known one can be read through the order (see steps).
    bool keyed() const { return keyed_; }
    // Columns of every select before the source's own: the rowid, then with keyed() the Nulls.
    int hidden_columns() const { return hidden_; }
    const QString& table() const { return table_; }
    bool has_condition() const { return !where_.isEmpty(); }
    // " FROM <table> [WHERE (...)]", or " FROM (<sql>)" for a source that is not updatable; it
    // names the records exactly, so counts are known by it.
    const QString& from_where() const { return from_where_; }

    // A record that an edit took out of the source's condition: it stays among the records.
    void keep(qint64 rowid);
    bool keeps_records() const { return !kept_.empty(); }
    void forget_kept();

    QString describe_sql() const;          // no records, just the columns
    QString count_sql() const;             // COUNT(*)
    QString page_sql(bool from_end) const; // LIMIT ? OFFSET ?, in reversed order from the end
    // The record of rowid ?; with `in_source` only while the records include it.
    QString fetch_sql(bool in_source) const;
    // The rowids ? and ? in the order of the source, LIMIT 2.
    QString compare_sql() const;
    QString insert_sql(const QStringList& fields) const; // fields quoted here
    QString update_sql(const QStringList& fields) const; // WHERE rowid = ? last
    QString delete_sql() const;                          // WHERE rowid = ?

    // One statement reading records next to an anchor record: its first `anchors` parameters are
    // the anchor's rowid, the last one the LIMIT.
    struct Step {
        QString sql;
        int anchors = 0;
    };
    // The records next to an anchor, nearest first, are read level by level, from levels() down to
    // 0: at level L, the records equal to the anchor in the first L order columns and beyond it in
    // column L (the rowid at the last level), after it (`forward`) or before it, the anchor itself
    // included when `inclusive`. Each step is an index seek. The anchor's values stay in the
    // database (a subquery on its rowid), so that SQLite makes every comparison with the column's
    // own collation and type order; Nulls come first, as ORDER BY sorts them. `anchor_nulls` are
    // the anchor's Null bits (see the hidden columns). Only while keyed().
    int levels() const { return static_cast<int>(keys_.size()); }
    std::vector<Step> steps(int level, quint32 anchor_nulls, bool forward, bool inclusive) const;

private:
    struct OrderColumn {
        QString column; // quoted
        bool desc = false;
    };
    void set_condition();

    bool updatable_ = false;
    bool keyed_ = false;
    int hidden_ = 0;
    std::vector<OrderColumn> keys_;
    QString columns_;      // the source's select list
    QString table_;        // quoted, when updatable
    QString select_cols_;  // "rowid AS __wv_rowid, [Nulls AS __wv_nulls,] <columns>" or "*"
    QString source_where_; // the source's own condition
    std::vector<qint64> kept_;
    QString where_; // the condition of the records: the source's, or a kept record
    QString from_where_;
    QString order_fwd_; // " ORDER BY ..."
    QString order_rev_; // reversed; empty when unknown
};

} // namespace adodb
