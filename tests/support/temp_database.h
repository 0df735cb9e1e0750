#pragma once
// A private copy of the delivered database for one test.
//
//   testsupport::TempDatabase db;          // copies bin/zqdata.mdb (and sccfg.mdb) into a new
//   QVERIFY(db.ok());                      // temporary folder, removed with the object
//   core.conn_str = db.conn_str;           // "Provider=Microsoft.Jet.OLEDB.4.0; Data Source=" +
//                                          // folder + "\zqdata.mdb", as the program builds it
//   db.folder                              // the temporary folder (no trailing separator)
//   db.path()                              // folder + "/zqdata.mdb"
//   db.exec("UPDATE syscfg SET ...")       // direct SQLite access to the copy, for set-ups
//   db.scalar(sql), db.rows(sql)           // and for reading back what landed there
#include <QDir>
#include <QFile>
#include <QSqlDatabase>
#include <QSqlError>
#include <QSqlQuery>
#include <QSqlRecord>
#include <QString>
#include <QTemporaryDir>
#include <QUuid>

namespace testsupport {

struct TempDatabase {
    QTemporaryDir dir;
    QString folder;
    QString conn_str;

    TempDatabase() {
        folder = dir.path();
        const QString bin = QStringLiteral(WEYVANE_BIN_DIR);
        copied = dir.isValid() && QFile::copy(bin + "/zqdata.mdb", path()) &&
                 QFile::copy(bin + "/sccfg.mdb", folder + "/sccfg.mdb");
        QFile::setPermissions(path(), QFile::ReadOwner | QFile::WriteOwner);
        QFile::setPermissions(folder + "/sccfg.mdb", QFile::ReadOwner | QFile::WriteOwner);
        conn_str = QStringLiteral("Provider=Microsoft.Jet.OLEDB.4.0; Data Source=") + folder +
                   QStringLiteral("\\zqdata.mdb");
    }

    bool ok() const { return copied; }
    QString path() const { return folder + QStringLiteral("/zqdata.mdb"); }

    // Runs SQLite statements on the copy (outside the layer under test). Returns the error text,
    // empty on success.
    QString exec(const QString& sql, const QString& file = QStringLiteral("zqdata.mdb")) const {
        const QString name = QUuid::createUuid().toString();
        QString error;
        {
            QSqlDatabase db = QSqlDatabase::addDatabase(QStringLiteral("QSQLITE"), name);
            db.setDatabaseName(folder + u'/' + file);
            if (!db.open()) {
                error = db.lastError().text();
            } else {
                QSqlQuery q(db);
                for (const QString& stmt : sql.split(u';', Qt::SkipEmptyParts)) {
                    if (stmt.trimmed().isEmpty()) continue;
                    if (!q.exec(stmt)) {
                        error = q.lastError().text();
                        break;
                    }
                }
            }
            db.close();
        }
        QSqlDatabase::removeDatabase(name);
        return error;
    }

    // The first value of a query on the copy, or an invalid QVariant.
    QVariant scalar(const QString& sql) const {
        const QList<QVariantList> r = rows(sql);
        return r.isEmpty() || r.first().isEmpty() ? QVariant() : r.first().first();
    }

    // Every row of a query on the copy, as its values; none when the query fails.
    QList<QVariantList> rows(const QString& sql) const {
        const QString name = QUuid::createUuid().toString();
        QList<QVariantList> out;
        {
            QSqlDatabase db = QSqlDatabase::addDatabase(QStringLiteral("QSQLITE"), name);
            db.setDatabaseName(path());
            if (db.open()) {
                QSqlQuery q(db);
                if (q.exec(sql))
                    while (q.next()) {
                        QVariantList values;
                        for (int i = 0; i < q.record().count(); ++i)
                            values.append(q.value(i));
                        out.append(values);
                    }
            }
            db.close();
        }
        QSqlDatabase::removeDatabase(name);
        return out;
    }

private:
    bool copied = false;
};

} // namespace testsupport
