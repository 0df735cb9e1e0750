#pragma once
// What to tell the user when the disk that holds a database file fails it (Fault::disk): the
// file's content is then whole, and the cure lies with the disk, never with the file.
#include <QString>

#include "platform/db/sql_error.h"

namespace adodb {

// One sentence for a disk fault on the database file at `path`: the disk is full (little space
// left on it), or the file or its folder is write-protected, or else the disk could not be read
// or written; each with what cures it.
QString disk_fault_advice(const QString& path);

// A failure's text as the user is told it: when the disk failed the database of the connection
// string `conn_str`, followed on a line of its own by that advice; else the text as it is.
QString told_with_cure(const QString& text, Fault fault, const QString& conn_str);

} // namespace adodb
