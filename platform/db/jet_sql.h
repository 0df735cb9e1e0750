#pragma once
// Translation of the program's Jet SQL texts into SQLite SQL, and the small parsers that the
// recordset needs: the parts of a single-table SELECT, order terms and Find criteria.
//
// What is translated:
//   - "[name]" identifiers become "\"name\"" (Jet brackets; names with blanks such as [Poll Time]).
//   - "Delete * from t" becomes "DELETE FROM t".
//   - the yes/no constants true and false become 1 and 0 (how yes/no fields are stored); in a
//     condition, "x = true" becomes "x <> 0" and "x = false" "x = 0" ("<>" likewise), so that a
//     yes stored as -1 matches as well as one stored as 1.
// Text inside '...' literals is never touched. Everything else is passed to SQLite as written.
#include <QString>
#include <QStringList>
#include <QVariant>

namespace adodb::jet {

QString to_sqlite(const QString& jet_sql);

// True when a recordset source is an SQL text rather than a table name.
bool is_sql_text(const QString& source);

// A single-table SELECT split into its parts (all in SQLite form): "SELECT <columns> FROM <table>
// [WHERE <where>] [ORDER BY <order_terms>]". ok is false for anything else (joins, grouping,
// sub-queries), which the recordset then reads without updating.
struct SelectParts {
    bool ok = false;
    QString columns;
    QString table; // as written: a bare name or a "quoted" one
    QString where; // condition only, without WHERE
    QStringList order_terms;
};
SelectParts parse_select(const QString& sqlite_sql);

// An order term with its direction turned round ("x" -> "x DESC", "x desc" -> "x ASC").
QString reversed_term(const QString& term);

// Quotes an identifier for SQLite.
QString quote_ident(const QString& name);
// A table name as written ("[x]", "\"x\"" or x) without its quotes.
QString unquote_ident(const QString& name);

// Find criterion "field=value": value is a number, or text in single quotes. The value is data:
// it is compared, never run. ok is false for anything else.
struct Criterion {
    bool ok = false;
    QString field;
    bool is_text = false;
    QString text;      // is_text
    double number = 0; // !is_text; valid only when number_ok
    bool number_ok = false;
    // The value was true or false: it matches as a yes/no value (any non-zero number is yes).
    bool yes_no = false;
};
Criterion parse_criterion(const QString& criterion);

} // namespace adodb::jet
