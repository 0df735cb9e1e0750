#include "platform/db/disk_fault.h"

#include <QFileInfo>
#include <QStorageInfo>

#include "platform/db/adodb.h"

namespace adodb {

namespace {

// Less than this left on the disk is a full disk to a database: a write-ahead log and its index
// grow by tens of kilobytes at a time, and even a read needs the index.
constexpr qint64 kFullBelow = 1024 * 1024;

} // namespace

QString disk_fault_advice(const QString& path) {
    const QFileInfo fi(path);
    const QString file = fi.absoluteFilePath();
    QStorageInfo disk(fi.absolutePath());
    disk.refresh();
    if (disk.isValid() && disk.bytesAvailable() < kFullBelow)
        return QStringLiteral("The disk that holds the database %1 is full. The database is not damaged: "
                              "free space on that disk, then try again.")
            .arg(file);
    if ((fi.exists() && !may_write(fi.absoluteFilePath())) || !may_write(fi.absolutePath()))
        return QStringLiteral("The database %1 or its folder is write-protected. The database is not "
                              "damaged: allow writing there, then try again.")
            .arg(file);
    return QStringLiteral("The disk that holds the database %1 could not be read or written. The "
                          "database need not be damaged: check that disk and free space on it, then "
                          "try again.")
        .arg(file);
}

QString told_with_cure(const QString& text, Fault fault, const QString& conn_str) {
    if (fault != Fault::disk) return text;
    return text + QLatin1Char('\r') + disk_fault_advice(path_from_conn_str(conn_str));
}

} // namespace adodb
