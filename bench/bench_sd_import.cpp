// The SD-card import of a 100,000-line KL.Dat into datacol, against the sqlite3 command line's
// .import of the same rows into datacol, on fresh copies of the delivered database in the same
// folder. Prints one line: figure sd_import_over_sqlite_import <our time / sqlite3's time>.
//
//   bench_sd_import [--lines N] [--rounds N]
//   bench_sd_import --memory MB    imports a KL.Dat of about MB megabytes and reports on stderr
//                                  how far the peak memory grew during the import
#include <QApplication>
#include <QCheckBox>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QFileInfo>
#include <QProcess>
#include <QSqlDatabase>
#include <QSqlQuery>
#include <QTemporaryDir>
#include <algorithm>
#include <cstdio>
#include <memory>
#include <vector>

#include "app/module_state.h"
#include "core/core_state.h"
#include "platform/ui/message_box.h"
#include "platform/volumes/volumes.h"
#include "setup/Setup.h"
#include "setup/setup_state.h"
#include "tests/support/temp_database.h"

namespace {

// Line i of the card, and the same reading as the import stores it (ScaleID, Group, Reading,
// Time, Date, TagID).
QByteArray kl_line(int i) {
    return QStringLiteral("%1!T%2 W%3#%4 %5.%6 kg%%7/%8/24@%9:%10:%11")
        .arg(QChar(ushort(0x81 + i % 11)))
        .arg(i % 7)
        .arg(i % 1000)
        .arg(QChar(ushort('A' + i % 5)))
        .arg((i * 7919) % 10000, 5)
        .arg(i % 10)
        .arg(1 + i % 12, 2, 10, QChar('0'))
        .arg(1 + i % 28, 2, 10, QChar('0'))
        .arg(i % 24, 2, 10, QChar('0'))
        .arg(i % 60, 2, 10, QChar('0'))
        .arg((i / 60) % 60, 2, 10, QChar('0'))
        .toLatin1();
}

bool write_card(const QString& path, qint64 lines) {
    QFile f(path);
    if (!f.open(QIODevice::WriteOnly)) return false;
    for (qint64 i = 0; i < lines; ++i)
        f.write(kl_line(int(i % 1000003)) + "\r\n");
    return f.error() == QFileDevice::NoError;
}

// The rows of the card as CSV for sqlite3's .import, each with its own ID.
bool write_csv(const QString& card, const QString& path) {
    QFile in(card), out(path);
    if (!in.open(QIODevice::ReadOnly) || !out.open(QIODevice::WriteOnly)) return false;
    KlDatParser parser{QString()};
    LineReader reader(in);
    QByteArray line;
    qint64 id = 1;
    auto csv = [](const QString& v) { return '"' + QString(v).replace('"', "\"\"").toUtf8() + '"'; };
    while (reader.next(line)) {
        KlDatRecord r;
        if (parser.parse(QString::fromLatin1(line), r) != KlDatParser::Taken) continue;
        out.write(QByteArray::number(id++) + ',' + QByteArray::number(r.ScaleID) + ',' + csv(r.Group) + ',' +
                  csv(r.Reading) + ',' + csv(r.Time) + ',' + csv(r.Date) + ',' + csv(r.TagID) + '\n');
    }
    return out.error() == QFileDevice::NoError;
}

long status_kb(const char* field) {
    QFile f("/proc/self/status");
    if (!f.open(QIODevice::ReadOnly)) return -1;
    for (const QByteArray& l : f.readAll().split('\n'))
        if (l.startsWith(field)) return l.mid(qstrlen(field)).trimmed().split(' ').first().toLong();
    return -1;
}

qint64 rows(const testsupport::TempDatabase& db) {
    const QString name = QStringLiteral("bench-count");
    qint64 n = -1;
    {
        QSqlDatabase c = QSqlDatabase::addDatabase(QStringLiteral("QSQLITE"), name);
        c.setDatabaseName(db.path());
        if (c.open()) {
            QSqlQuery q(c);
            if (q.exec(QStringLiteral("SELECT count(*) FROM datacol")) && q.next())
                n = q.value(0).toLongLong();
        }
    }
    QSqlDatabase::removeDatabase(name);
    return n;
}

// Seconds of one import through the Setup dialog's "Read Dat File", the card's file kept.
double our_import(const QString& card_dir, qint64 expect) {
    testsupport::TempDatabase db;
    if (!db.ok()) qFatal("no database copy");
    db.exec(QStringLiteral("DELETE FROM datacol"));
    core.conn_str = db.conn_str;
    Setup& s = setup_form();
    s.Show();
    setup_state.sd_drive = card_dir + "/";
    s.chk_erase_after_read->setChecked(false);
    QElapsedTimer t;
    t.start();
    s.Read_Dat_File_Click();
    const double secs = t.nsecsElapsed() / 1e9;
    s.Unload();
    if (rows(db) != expect) qFatal("the import stored %lld rows, not %lld", rows(db), expect);
    return secs;
}

double sqlite_import(const QString& csv, qint64 expect) {
    testsupport::TempDatabase db;
    if (!db.ok()) qFatal("no database copy");
    db.exec(QStringLiteral("DELETE FROM datacol"));
    QProcess p;
    QElapsedTimer t;
    t.start();
    p.start(QStringLiteral("sqlite3"), {db.path(), QStringLiteral(".import --csv %1 datacol").arg(csv)});
    if (!p.waitForFinished(-1) || p.exitCode() != 0)
        qFatal("sqlite3 failed: %s", p.readAllStandardError().constData());
    const double secs = t.nsecsElapsed() / 1e9;
    if (rows(db) != expect) qFatal("sqlite3 stored %lld rows, not %lld", rows(db), expect);
    return secs;
}

double median(std::vector<double> v) {
    std::sort(v.begin(), v.end());
    return v[v.size() / 2];
}

} // namespace

int main(int argc, char** argv) {
    qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    qint64 lines = 100000;
    int rounds = 3;
    int memory_mb = 0;
    const QStringList args = app.arguments();
    for (int i = 1; i + 1 < args.size(); ++i) {
        if (args[i] == "--lines") lines = args[i + 1].toLongLong();
        if (args[i] == "--rounds") rounds = std::max(1, args[i + 1].toInt());
        if (args[i] == "--memory") memory_mb = args[i + 1].toInt();
    }

    reset_module_state();
    ui::UiRecorder user;
    ui::set_backend(&user);
    volumes::set_fake_table({{"/", "root", "ext4", 0}});

    QTemporaryDir dir;
    const QString card_dir = dir.path() + "/card";
    QDir().mkpath(card_dir);
    const QString card = card_dir + "/KL.Dat";

    if (memory_mb > 0) {
        const qint64 line_bytes = kl_line(0).size() + 2;
        lines = qint64(memory_mb) * 1024 * 1024 / line_bytes;
        if (!write_card(card, lines)) qFatal("cannot write %s", qPrintable(card));
        // Everything the import uses once is set up before the baseline is taken.
        our_import(card_dir + "/none", 0);
        // Start the peak over from here.
        QFile clear("/proc/self/clear_refs");
        if (clear.open(QIODevice::WriteOnly)) clear.write("5");
        clear.close();
        const long before = status_kb("VmRSS:");
        const double secs = our_import(card_dir, lines);
        const long peak = status_kb("VmHWM:");
        std::fprintf(stderr,
                     "KL.Dat of %.1f MB, %lld lines: imported in %.2f s, peak memory grew by %.1f MB\n",
                     QFileInfo(card).size() / 1048576.0, lines, secs, (peak - before) / 1024.0);
        return 0;
    }

    if (!write_card(card, lines) || !write_csv(card, dir.path() + "/rows.csv"))
        qFatal("cannot write the files");
    std::vector<double> ours, theirs;
    for (int r = 0; r < rounds; ++r) {
        ours.push_back(our_import(card_dir, lines));
        theirs.push_back(sqlite_import(dir.path() + "/rows.csv", lines));
    }
    std::fprintf(stderr, "import of %lld lines: ours %.3f s, sqlite3 .import %.3f s (medians of %d)\n", lines,
                 median(ours), median(theirs), rounds);
    std::printf("figure sd_import_over_sqlite_import %.3f\n", median(ours) / median(theirs));
    return 0;
}
