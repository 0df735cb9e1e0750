// The start-up compaction of a large database beside the program.
//
// Prints one figure:
//   compaction_over_vacuum_into  the start-up's compaction of a zqdata.mdb with 1,000,000
//                                collected readings (VACUUM INTO temp.mdb, flushed, renamed over
//                                zqdata.mdb) over SQLite's own VACUUM INTO of the same file, as the
//                                sqlite3 command runs it; medians of turns taken in the same run
#include "app/startup.h"
#include "bench/bench_support.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <sqlite3.h>

namespace {

constexpr int kRows = 1000000;

double vacuum_into_ms(const QString& db, const QString& out) {
    QFile::remove(out);
    QElapsedTimer t;
    t.start();
    sqlite3* h = nullptr;
    if (sqlite3_open_v2(QFile::encodeName(db).constData(), &h, SQLITE_OPEN_READWRITE, nullptr) != SQLITE_OK)
        qFatal("open: %s", sqlite3_errmsg(h));
    const QByteArray sql = "VACUUM INTO '" + QFile::encodeName(out) + "'";
    if (sqlite3_exec(h, sql.constData(), nullptr, nullptr, nullptr) != SQLITE_OK)
        qFatal("VACUUM INTO: %s", sqlite3_errmsg(h));
    sqlite3_close(h);
    const double ms = static_cast<double>(t.nsecsElapsed()) / 1e6;
    QFile::remove(out);
    return ms;
}

double compaction_ms(const QString& folder) {
    QElapsedTimer t;
    t.start();
    QString why;
    if (!compact_database(folder, &why)) qFatal("compaction: %s", qPrintable(why));
    return static_cast<double>(t.nsecsElapsed()) / 1e6;
}

} // namespace

int main(int argc, char** argv) {
    QCoreApplication app(argc, argv);
    const QString folder =
        benchsupport::copy_into(benchsupport::datacol_database(kRows), QStringLiteral("compaction"));
    const QString db = folder + QStringLiteral("/zqdata.mdb");
    const QString out = folder + QStringLiteral("/vacuum-into.mdb");
    std::vector<double> ours, theirs;
    compaction_ms(folder); // the first pass reads the file into memory for both
    for (int round = 0; round < 5; ++round) {
        theirs.push_back(vacuum_into_ms(db, out));
        ours.push_back(compaction_ms(folder));
    }
    const double a = benchsupport::median(ours), b = benchsupport::median(theirs);
    std::fprintf(stderr, "compaction of %d readings: %.0f ms, VACUUM INTO %.0f ms\n", kRows, a, b);
    benchsupport::figure("compaction_over_vacuum_into", a / b);
    QDir(folder).removeRecursively();
    return 0;
}
