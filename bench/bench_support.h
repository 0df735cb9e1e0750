#pragma once
// Helpers of the benchmarks that print figures for `make bench`:
//   figure(name, value)       prints "figure NAME VALUE" on standard output
//   datacol_database(rows)    the delivered zqdata.mdb with `rows` collected readings, made once
//                             in the bench cache folder and reused by later runs
//   median(samples)
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QSqlDatabase>
#include <QSqlError>
#include <QSqlQuery>
#include <QString>
#include <QStringList>
#include <QUuid>
#include <algorithm>
#include <cstdio>
#include <unistd.h>
#include <vector>

namespace benchsupport {

inline void figure(const char* name, double value) {
    std::printf("figure %s %.3f\n", name, value);
    std::fflush(stdout);
}

inline double median(std::vector<double> v) {
    if (v.empty()) return 0;
    std::sort(v.begin(), v.end());
    const size_t n = v.size();
    return n % 2 ? v[n / 2] : (v[n / 2 - 1] + v[n / 2]) / 2;
}

// The folder of cached benchmark databases, on the disk of the build.
inline QString cache_folder() {
    const QString dir = QStringLiteral(WEYVANE_BENCH_CACHE_DIR);
    QDir().mkpath(dir);
    return dir;
}

// Runs statements on a database file outside the layer under test; empty on success.
inline QString run_sql(const QString& path, const QStringList& statements) {
    const QString name = QUuid::createUuid().toString();
    QString error;
    {
        QSqlDatabase db = QSqlDatabase::addDatabase(QStringLiteral("QSQLITE"), name);
        db.setDatabaseName(path);
        if (!db.open()) {
            error = db.lastError().text();
        } else {
            QSqlQuery q(db);
            for (const QString& s : statements)
                if (!q.exec(s)) {
                    error = s.left(60) + QStringLiteral(": ") + q.lastError().text();
                    break;
                }
        }
        db.close();
    }
    QSqlDatabase::removeDatabase(name);
    return error;
}

// The schema of a database file, to tell whether a cached copy still matches the delivered one.
inline QString schema_of(const QString& path) {
    const QString name = QUuid::createUuid().toString();
    QString schema;
    {
        QSqlDatabase db = QSqlDatabase::addDatabase(QStringLiteral("QSQLITE"), name);
        db.setDatabaseName(path);
        if (db.open()) {
            QSqlQuery q(db);
            if (q.exec(
                    QStringLiteral("SELECT group_concat(sql, ';') FROM (SELECT sql FROM sqlite_master WHERE "
                                   "sql IS NOT NULL ORDER BY name)")) &&
                q.next())
                schema = q.value(0).toString();
        }
        db.close();
    }
    QSqlDatabase::removeDatabase(name);
    return schema;
}

// The delivered database with readings 1..rows in datacol: built once (indexes made after the
// rows, as a bulk load does), then reused; readings a benchmark added beyond `rows` are removed.
inline QString datacol_database(int rows) {
    const QString delivered = QStringLiteral(WEYVANE_BIN_DIR) + QStringLiteral("/zqdata.mdb");
    const QString path = cache_folder() + QStringLiteral("/datacol-%1.mdb").arg(rows);
    const QString schema = schema_of(delivered);
    if (QFileInfo::exists(path) && schema_of(path) == schema) {
        const QString err = run_sql(
            path, {QStringLiteral("DELETE FROM datacol WHERE ID > %1").arg(rows),
                   QStringLiteral("UPDATE sqlite_sequence SET seq = %1 WHERE name = 'datacol'").arg(rows)});
        if (!err.isEmpty()) qFatal("%s", qPrintable(err));
        return path;
    }
    std::fprintf(stderr, "making %s (once)\n", qPrintable(path));
    const QString fresh = path + QStringLiteral(".new");
    for (const char* suffix : {"", "-wal", "-shm", "-journal"}) {
        QFile::remove(fresh + QLatin1String(suffix));
        QFile::remove(path + QLatin1String(suffix));
    }
    if (!QFile::copy(delivered, fresh)) qFatal("cannot copy %s", qPrintable(delivered));
    QFile::setPermissions(fresh, QFile::ReadOwner | QFile::WriteOwner);
    QStringList indexes;
    {
        const QString name = QUuid::createUuid().toString();
        {
            QSqlDatabase db = QSqlDatabase::addDatabase(QStringLiteral("QSQLITE"), name);
            db.setDatabaseName(fresh);
            if (db.open()) {
                QSqlQuery q(db);
                q.exec(QStringLiteral(
                    "SELECT sql FROM sqlite_master WHERE type = 'index' AND tbl_name = 'datacol' "
                    "AND sql IS NOT NULL"));
                while (q.next())
                    indexes << q.value(0).toString();
            }
            db.close();
        }
        QSqlDatabase::removeDatabase(name);
    }
    QStringList steps{QStringLiteral("PRAGMA journal_mode = OFF"), QStringLiteral("PRAGMA synchronous = OFF"),
                      QStringLiteral("PRAGMA cache_size = -400000")};
    for (const QString& ix : indexes) {
        const QString ix_name = ix.section(QLatin1Char(' '), 2, 2);
        steps << QStringLiteral("DROP INDEX ") + ix_name;
    }
    steps << QStringLiteral("WITH RECURSIVE n(i) AS (SELECT 1 UNION ALL SELECT i+1 FROM n WHERE i < %1) "
                            "INSERT INTO datacol (ID, ScaleID, Reading, Time, Date) SELECT i, 128 + i % 11, "
                            "printf('%d.%d', (i * 7919) % 1000, i % 10), printf('%02d:%02d:%02d', (i / 3600) "
                            "% 24, (i / 60) % 60, i % 60), date('2020-01-01', '+' || (i / 86400) || ' days') "
                            "FROM n")
                 .arg(rows);
    steps << indexes;
    steps << QStringLiteral("UPDATE sqlite_sequence SET seq = %1 WHERE name = 'datacol'").arg(rows)
          << QStringLiteral("PRAGMA journal_mode = WAL");
    const QString err = run_sql(fresh, steps);
    if (!err.isEmpty()) qFatal("%s", qPrintable(err));
    if (schema_of(fresh) != schema) qFatal("the cached database does not match the delivered one");
    if (!QFile::rename(fresh, path)) qFatal("cannot rename %s", qPrintable(fresh));
    // The new file on the disk before anything is measured: its writing must not slow the flushes
    // of the benchmarks.
    ::sync();
    return path;
}

// A folder of the bench cache holding a private copy of a database file (removed first).
inline QString copy_into(const QString& db, const QString& folder_name) {
    const QString folder = cache_folder() + u'/' + folder_name;
    QDir(folder).removeRecursively();
    QDir().mkpath(folder);
    const QString copy = folder + QStringLiteral("/zqdata.mdb");
    if (!QFile::copy(db, copy)) qFatal("cannot copy %s", qPrintable(db));
    QFile::setPermissions(copy, QFile::ReadOwner | QFile::WriteOwner);
    return folder;
}

inline QString conn_str_of(const QString& path) {
    return QStringLiteral("Provider=Microsoft.Jet.OLEDB.4.0; Data Source=") + path;
}

} // namespace benchsupport
