#include "platform/db/keyed_query.h"

#include "platform/db/jet_sql.h"

#include <QRegularExpression>
#include <optional>

namespace adodb {
namespace {

const QString kRowid = QStringLiteral("__wv_rowid");

// Whether a select list names only plain columns (or "*"), so that a name in the order is a
// column of the table and not an alias.
bool plain_select_list(const QString& columns) {
    static const QRegularExpression item(
        QStringLiteral("^\\s*(\\*|[A-Za-z_][A-Za-z0-9_]*|\"[^\"]+\"|\\[[^\\]]+\\])\\s*$"));
    for (const QString& c : columns.split(u','))
        if (!item.match(c).hasMatch()) return false;
    return true;
}

} // namespace

void KeyedQuery::build(const QString& sqlite_sql) {
    const jet::SelectParts parts = jet::parse_select(sqlite_sql);
    updatable_ = parts.ok;
    kept_.clear();
    keys_.clear();
    if (!parts.ok) {
        keyed_ = false;
        hidden_ = 0;
        table_.clear();
        columns_.clear();
        select_cols_ = QStringLiteral("*");
        source_where_.clear();
        where_.clear();
        from_where_ = QStringLiteral(" FROM (") + sqlite_sql + u')';
        order_fwd_.clear();
        order_rev_.clear();
        return;
    }
    table_ = jet::quote_ident(jet::unquote_ident(parts.table));
    columns_ = parts.columns;
    // The source's order as plain columns with their directions; none when a term is more than
    // a column (an expression, a collation) or there are more than 31 of them.
    keyed_ = plain_select_list(parts.columns);
    for (QString t : parts.order_terms) {
        if (!keyed_) break;
        t = t.trimmed();
        bool desc = false;
        if (t.endsWith(QLatin1String(" asc"), Qt::CaseInsensitive)) {
            t = t.chopped(4).trimmed();
        } else if (t.endsWith(QLatin1String(" desc"), Qt::CaseInsensitive)) {
            t = t.chopped(5).trimmed();
            desc = true;
        }
        const QString name = jet::unquote_ident(t);
        keyed_ = !name.isEmpty();
        for (const QChar c : name)
            if (!c.isLetterOrNumber() && c != u'_' && c != u' ') keyed_ = false;
        if (name.contains(u' ') && !(t.startsWith(u'"') || t.startsWith(u'[') || t.startsWith(u'`')))
            keyed_ = false; // COLLATE or an expression
        keys_.push_back({jet::quote_ident(name), desc});
    }
    if (keys_.size() > 31) keyed_ = false;
    if (!keyed_) keys_.clear();
    // With an order of plain columns, a second hidden column tells which of them are Null.
    QStringList nulls;
    for (size_t i = 0; i < keys_.size(); ++i)
        nulls << QStringLiteral("(%1 IS NULL) * %2").arg(keys_[i].column).arg(1u << i);
    select_cols_ = QStringLiteral("rowid AS ") + kRowid + QStringLiteral(", ") +
                   (keyed_ ? (nulls.isEmpty() ? QStringLiteral("0") : nulls.join(QStringLiteral(" + "))) +
                                 QStringLiteral(" AS __wv_nulls, ")
                           : QString()) +
                   parts.columns;
    hidden_ = keyed_ ? 2 : 1;
    source_where_ = parts.where;
    set_condition();
    QStringList fwd = parts.order_terms, rev;
    for (const auto& t : fwd)
        rev << jet::reversed_term(t);
    // The rowid makes the order total, so that pages read apart fit together.
    fwd << QStringLiteral("rowid");
    rev << QStringLiteral("rowid DESC");
    order_fwd_ = QStringLiteral(" ORDER BY ") + fwd.join(QStringLiteral(", "));
    order_rev_ = QStringLiteral(" ORDER BY ") + rev.join(QStringLiteral(", "));
}

void KeyedQuery::drop_order_columns() {
    if (!keyed_) return;
    keyed_ = false;
    keys_.clear();
    select_cols_ = QStringLiteral("rowid AS ") + kRowid + QStringLiteral(", ") + columns_;
    hidden_ = 1;
}

void KeyedQuery::set_condition() {
    QString cond = source_where_;
    if (!kept_.empty()) {
        QStringList ids;
        for (const qint64 id : kept_)
            ids << QString::number(id);
        const QString in_kept = QStringLiteral("rowid IN (") + ids.join(u',') + u')';
        cond = cond.isEmpty() ? in_kept : u'(' + cond + QStringLiteral(") OR ") + in_kept;
    }
    where_ = cond;
    from_where_ = QStringLiteral(" FROM ") + table_ +
                  (cond.isEmpty() ? QString() : QStringLiteral(" WHERE (") + cond + u')');
}

void KeyedQuery::keep(qint64 rowid) {
    if (!updatable_) return;
    kept_.push_back(rowid);
    set_condition();
}

void KeyedQuery::forget_kept() {
    if (kept_.empty()) return;
    kept_.clear();
    set_condition();
}

QString KeyedQuery::describe_sql() const {
    return QStringLiteral("SELECT ") + select_cols_ + from_where_ + QStringLiteral(" LIMIT 0");
}

QString KeyedQuery::count_sql() const {
    return QStringLiteral("SELECT COUNT(*)") + from_where_;
}

QString KeyedQuery::page_sql(bool from_end) const {
    return QStringLiteral("SELECT ") + select_cols_ + from_where_ + (from_end ? order_rev_ : order_fwd_) +
           QStringLiteral(" LIMIT ? OFFSET ?");
}

QString KeyedQuery::fetch_sql(bool in_source) const {
    const QString base = QStringLiteral("SELECT ") + select_cols_ + QStringLiteral(" FROM ") + table_ +
                         QStringLiteral(" WHERE rowid = ?");
    return in_source && !where_.isEmpty() ? base + QStringLiteral(" AND (") + where_ + u')' : base;
}

QString KeyedQuery::compare_sql() const {
    return QStringLiteral("SELECT ") + select_cols_ + QStringLiteral(" FROM ") + table_ +
           QStringLiteral(" WHERE rowid IN (?, ?)") + order_fwd_ + QStringLiteral(" LIMIT 2");
}

QString KeyedQuery::insert_sql(const QStringList& fields) const {
    if (fields.isEmpty()) return QStringLiteral("INSERT INTO ") + table_ + QStringLiteral(" DEFAULT VALUES");
    QStringList names, marks;
    for (const QString& f : fields) {
        names << jet::quote_ident(f);
        marks << QStringLiteral("?");
    }
    return QStringLiteral("INSERT INTO ") + table_ + QStringLiteral(" (") + names.join(u',') +
           QStringLiteral(") VALUES (") + marks.join(u',') + u')';
}

QString KeyedQuery::update_sql(const QStringList& fields) const {
    QStringList sets;
    for (const QString& f : fields)
        sets << jet::quote_ident(f) + QStringLiteral(" = ?");
    return QStringLiteral("UPDATE ") + table_ + QStringLiteral(" SET ") + sets.join(u',') +
           QStringLiteral(" WHERE rowid = ?");
}

QString KeyedQuery::delete_sql() const {
    return QStringLiteral("DELETE FROM ") + table_ + QStringLiteral(" WHERE rowid = ?");
}

std::vector<KeyedQuery::Step> KeyedQuery::steps(int level, quint32 anchor_nulls, bool forward,
                                                bool inclusive) const {
    const QString value_of_anchor =
        QStringLiteral(" (SELECT %1 FROM ") + table_ + QStringLiteral(" AS __wv_a WHERE __wv_a.rowid = ?)");
    QString prefix;
    for (int j = 0; j < level; ++j)
        prefix += keys_[j].column + QStringLiteral(" IS") + value_of_anchor.arg(keys_[j].column) +
                  QStringLiteral(" AND ");
    QStringList branches;
    if (level == levels()) {
        branches << QStringLiteral("rowid ") + QChar(forward ? u'>' : u'<') +
                        (inclusive ? QStringLiteral("= ?") : QStringLiteral(" ?"));
    } else {
        const QString& c = keys_[level].column;
        const bool up = forward != keys_[level].desc; // towards greater values
        const bool null = anchor_nulls & (1u << level);
        if (up)
            branches << (null ? c + QStringLiteral(" IS NOT NULL")
                              : c + QStringLiteral(" >") + value_of_anchor.arg(c));
        else if (!null)
            branches << c + QStringLiteral(" <") + value_of_anchor.arg(c) << c + QStringLiteral(" IS NULL");
    }
    std::vector<Step> out;
    for (const QString& branch : branches)
        out.push_back({QStringLiteral("SELECT ") + select_cols_ + from_where_ +
                           (where_.isEmpty() ? QStringLiteral(" WHERE ") : QStringLiteral(" AND ")) + prefix +
                           branch + (forward ? order_fwd_ : order_rev_) + QStringLiteral(" LIMIT ?"),
                       level + (branch.endsWith(u'?') || branch.endsWith(u')') ? 1 : 0)});
    return out;
}

} // namespace adodb
