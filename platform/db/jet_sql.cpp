#include "platform/db/jet_sql.h"

#include <QRegularExpression>

namespace adodb::jet {
namespace {

// The text with every quoted part ('...' literals, "..." and [...] identifiers) blanked out, same
// length, so that keywords can be searched for without matching inside quotes.
QString masked(const QString& s) {
    QString m = s;
    QChar close;
    bool in = false;
    for (qsizetype i = 0; i < s.size(); ++i) {
        const QChar c = s[i];
        if (!in) {
            if (c == u'\'' || c == u'"' || c == u'[') {
                in = true;
                close = c == u'[' ? QChar(u']') : c;
            }
            continue;
        }
        if (c == close) {
            if (close != u']' && i + 1 < s.size() && s[i + 1] == close) { // doubled quote
                m[i] = u'_';
                m[++i] = u'_';
                continue;
            }
            in = false;
            continue;
        }
        m[i] = u'_';
    }
    return m;
}

QStringList split_top_level(const QString& s, QChar sep) {
    const QString m = masked(s);
    QStringList out;
    int depth = 0;
    qsizetype start = 0;
    for (qsizetype i = 0; i < m.size(); ++i) {
        if (m[i] == u'(')
            ++depth;
        else if (m[i] == u')')
            --depth;
        else if (m[i] == sep && depth == 0) {
            out << s.mid(start, i - start).trimmed();
            start = i + 1;
        }
    }
    out << s.mid(start).trimmed();
    return out;
}

} // namespace

QString quote_ident(const QString& name) {
    QString n = name;
    n.replace(u'"', QStringLiteral("\"\""));
    return u'"' + n + u'"';
}

QString unquote_ident(const QString& name) {
    const QString n = name.trimmed();
    if (n.size() >= 2 && ((n.front() == u'[' && n.back() == u']') || (n.front() == u'"' && n.back() == u'"')))
        return n.mid(1, n.size() - 2);
    return n;
}

QString to_sqlite(const QString& jet_sql) {
    QString out;
    bool condition = false; // inside WHERE, HAVING, ON or WHEN
    out.reserve(jet_sql.size() + 8);
    const qsizetype n = jet_sql.size();
    for (qsizetype i = 0; i < n;) {
        const QChar c = jet_sql[i];
        if (c == u'\'' || c == u'"') { // literal or quoted identifier: copied as is
            qsizetype j = i + 1;
            while (j < n) {
                if (jet_sql[j] == c) {
                    if (j + 1 < n && jet_sql[j + 1] == c) {
                        j += 2;
                        continue;
                    }
                    break;
                }
                ++j;
            }
            out += jet_sql.mid(i, j + 1 - i);
            i = j + 1;
        } else if (c == u'[') {
            qsizetype j = jet_sql.indexOf(u']', i + 1);
            if (j < 0) j = n;
            out += quote_ident(jet_sql.mid(i + 1, j - i - 1));
            i = j + 1;
        } else if (c.isLetter() || c == u'_') {
            qsizetype j = i;
            while (j < n && (jet_sql[j].isLetterOrNumber() || jet_sql[j] == u'_'))
                ++j;
            const QString word = jet_sql.mid(i, j - i);
            const bool yes = word.compare(u"true", Qt::CaseInsensitive) == 0;
            const bool no = word.compare(u"false", Qt::CaseInsensitive) == 0;
            if (yes || no) {
                // In a condition, "= true" matches every yes value (older databases store -1,
                // others 1) and "= false" the zeros; elsewhere (values to store) the constant is
                // the stored number.
                static const QRegularExpression comparison(QStringLiteral("(=|<>)\\s*$"));
                const auto m = comparison.match(out);
                if (condition && m.hasMatch()) {
                    const bool equal = m.captured(1) == QLatin1String("=");
                    out.truncate(m.capturedStart(1));
                    out += (equal == yes) ? QStringLiteral("<>0") : QStringLiteral("=0");
                } else {
                    out += yes ? u'1' : u'0';
                }
            } else {
                static const QStringList condition_words{"where", "having", "on", "when"};
                static const QStringList value_words{"set", "values", "select"};
                if (condition_words.contains(word, Qt::CaseInsensitive))
                    condition = true;
                else if (value_words.contains(word, Qt::CaseInsensitive))
                    condition = false;
                out += word;
            }
            i = j;
        } else {
            out += c;
            ++i;
        }
    }
    static const QRegularExpression delete_star(QStringLiteral("^\\s*delete\\s+\\*\\s+from\\b"),
                                                QRegularExpression::CaseInsensitiveOption);
    out.replace(delete_star, QStringLiteral("DELETE FROM"));
    return out;
}

bool is_sql_text(const QString& source) {
    static const QRegularExpression sql(QStringLiteral("^\\s*(select|delete|insert|update|with)\\b"),
                                        QRegularExpression::CaseInsensitiveOption);
    return sql.match(source).hasMatch();
}

SelectParts parse_select(const QString& s) {
    SelectParts p;
    const QString m = masked(s);
    static const QRegularExpression head(
        QStringLiteral("^\\s*select\\s+(.+?)\\s+from\\s+(\"[^\"]*\"|\\w+)\\s*"),
        QRegularExpression::CaseInsensitiveOption | QRegularExpression::DotMatchesEverythingOption);
    const auto hm = head.match(m);
    if (!hm.hasMatch()) return p;
    const QString columns = s.mid(hm.capturedStart(1), hm.capturedLength(1));
    static const QRegularExpression bad_cols(QStringLiteral("\\b(distinct|count|sum|min|max|avg)\\b|\\("),
                                             QRegularExpression::CaseInsensitiveOption);
    if (bad_cols.match(masked(columns)).hasMatch()) return p;
    p.columns = columns.trimmed();
    p.table = s.mid(hm.capturedStart(2), hm.capturedLength(2));
    QString rest = s.mid(hm.capturedEnd());
    QString rest_m = m.mid(hm.capturedEnd());
    static const QRegularExpression unsupported(
        QStringLiteral("\\b(join|group|having|union|limit|select)\\b|[,;(]"),
        QRegularExpression::CaseInsensitiveOption);
    static const QRegularExpression order(QStringLiteral("\\border\\s+by\\b"),
                                          QRegularExpression::CaseInsensitiveOption);
    const auto om = order.match(rest_m);
    QString where_part = rest;
    QString where_m = rest_m;
    if (om.hasMatch()) {
        const QString terms = rest.mid(om.capturedEnd()).trimmed();
        where_part = rest.left(om.capturedStart());
        where_m = rest_m.left(om.capturedStart());
        if (terms.isEmpty()) return p;
        p.order_terms = split_top_level(terms, u',');
        for (const auto& t : p.order_terms)
            if (t.isEmpty() || unsupported.match(masked(t)).hasMatch()) return p;
    }
    static const QRegularExpression where(QStringLiteral("^\\s*where\\b"),
                                          QRegularExpression::CaseInsensitiveOption);
    const auto wm = where.match(where_m);
    if (wm.hasMatch()) {
        p.where = where_part.mid(wm.capturedEnd()).trimmed();
        if (p.where.isEmpty()) return p;
        static const QRegularExpression where_bad(
            QStringLiteral("\\b(join|group|having|union|limit|select)\\b|;"),
            QRegularExpression::CaseInsensitiveOption);
        if (where_bad.match(where_m).hasMatch()) return p;
    } else if (!where_part.trimmed().isEmpty()) {
        return p;
    }
    p.ok = true;
    return p;
}

QString reversed_term(const QString& term) {
    static const QRegularExpression dir(QStringLiteral("\\s+(asc|desc)\\s*$"),
                                        QRegularExpression::CaseInsensitiveOption);
    const auto m = dir.match(masked(term));
    if (!m.hasMatch()) return term + QStringLiteral(" DESC");
    const bool desc = m.captured(1).compare(u"desc", Qt::CaseInsensitive) == 0;
    return term.left(m.capturedStart()) + (desc ? QStringLiteral(" ASC") : QStringLiteral(" DESC"));
}

Criterion parse_criterion(const QString& criterion) {
    Criterion c;
    const qsizetype eq = criterion.indexOf(u'=');
    if (eq <= 0) return c;
    c.field = unquote_ident(criterion.left(eq));
    if (c.field.isEmpty()) return c;
    const QString value = criterion.mid(eq + 1).trimmed();
    if (value.size() >= 2 && value.front() == u'\'' && value.back() == u'\'') {
        c.is_text = true;
        c.text = value.mid(1, value.size() - 2);
    } else if (value.compare(u"true", Qt::CaseInsensitive) == 0) {
        c.number = -1;
        c.number_ok = true;
        c.yes_no = true;
    } else if (value.compare(u"false", Qt::CaseInsensitive) == 0) {
        c.number = 0;
        c.number_ok = true;
        c.yes_no = true;
    } else {
        c.number = value.toDouble(&c.number_ok);
    }
    c.ok = true;
    return c;
}

} // namespace adodb::jet
