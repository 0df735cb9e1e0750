#pragma once
#include <QString>

// Start-up of the program: one instance only, compaction of zqdata.mdb in the program's
// folder, the shell, the data folder from cfg.txt (asking the user when the database is not
// there), the connection strings and the settings row.

// Runs start-up. Returns false when the program is to end at once.
bool Main();

// Compacts zqdata.mdb (found whatever the case of its name) in `folder` through temp.mdb there. The database
// is replaced only by a complete compacted copy, renamed over it in one step while no other program can
// open it; on any failure the original stays as it was. A database that another program has open, or
// that is write-protected, is not compacted (`in_use` tells the first). temp.mdb is gone afterwards
// either way. False on failure, with the reason in `error`.
bool compact_database(const QString& folder, QString* error = nullptr, bool* in_use = nullptr);
