#pragma once
// cfg.txt in the program's folder: one line holding the data folder, ended by CR LF.
#include <QString>

// Full path of cfg.txt.
QString cfg_path();

// Reads the first line of cfg.txt (without its line end; a field in double quotes is taken
// without them). False when the file cannot be opened.
bool read_cfg(QString* line);

// Replaces cfg.txt by one holding `line` and CR LF. The old file stays whole until the new one
// is complete. False when it cannot be written.
bool write_cfg(const QString& line);

// The data file zqdata.mdb in `folder`, looked up among normal files as Windows does, without
// regard to case: its file name as it lies on disk, or empty when there is none.
QString find_data_file(const QString& folder);

// `folder` + "/" + `file`, where an empty folder stands for the root folder.
QString join_path(const QString& folder, const QString& file);

// The connection string of the database file `file` in `folder`:
// "Provider=Microsoft.Jet.OLEDB.4.0; Data Source=" + folder + "\" + file.
QString data_conn_str(const QString& folder, const QString& file);

// True when the data folder `folder` comes back whole from cfg.txt (one line) and from the
// connection string built from it for its data file `file`.
bool data_folder_name_usable(const QString& folder, const QString& file);
