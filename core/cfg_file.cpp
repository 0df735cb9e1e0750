#include "core/cfg_file.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QSaveFile>

#include "core/core_state.h"
#include "platform/db/adodb.h"

QString cfg_path() {
    return join_path(app_path(), QStringLiteral("cfg.txt"));
}

QString join_path(const QString& folder, const QString& file) {
    if (folder.endsWith(QLatin1Char('/'))) return folder + file;
    return folder + QLatin1Char('/') + file;
}

bool read_cfg(QString* line) {
    QFile f(cfg_path());
    if (!f.open(QIODevice::ReadOnly)) return false;
    QByteArray first = f.readLine();
    while (first.endsWith('\n') || first.endsWith('\r'))
        first.chop(1);
    QString text = QString::fromUtf8(first);
    const QString trimmed = text.trimmed();
    if (trimmed.size() >= 2 && trimmed.startsWith(QLatin1Char('"'))) {
        const int close = trimmed.indexOf(QLatin1Char('"'), 1);
        if (close > 0) text = trimmed.mid(1, close - 1);
    }
    if (line) *line = text;
    return true;
}

bool write_cfg(const QString& line) {
    QSaveFile f(cfg_path());
    if (!f.open(QIODevice::WriteOnly)) return false;
    f.write(line.toUtf8() + "\r\n");
    return f.commit();
}

QString find_data_file(const QString& folder) {
    const QString dir_path = folder.isEmpty() ? QStringLiteral("/") : folder;
    if (QFileInfo(join_path(dir_path, QStringLiteral("zqdata.mdb"))).isFile())
        return QStringLiteral("zqdata.mdb");
    const QDir dir(dir_path);
    if (!dir.exists()) return QString();
    for (const QString& name : dir.entryList(QDir::Files)) {
        if (name.toUpper() == QLatin1String("ZQDATA.MDB")) return name;
    }
    return QString();
}

QString data_conn_str(const QString& folder, const QString& file) {
    return QStringLiteral("Provider=Microsoft.Jet.OLEDB.4.0; Data Source=") + folder + QLatin1Char('\\') +
           file;
}

bool data_folder_name_usable(const QString& folder, const QString& file) {
    return !folder.contains(QLatin1Char('\n')) && !folder.contains(QLatin1Char('\r')) &&
           adodb::path_from_conn_str(data_conn_str(folder, file)) == join_path(folder, file);
}
