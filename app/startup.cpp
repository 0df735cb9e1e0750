#include "app/startup.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <fcntl.h>
#include <unistd.h>

#include "app/frmMain.h"
#include "core/cfg_file.h"
#include "core/core_state.h"
#include "core/forms.h"
#include "core/getdatapath.h"
#include "core/syscfg.h"
#include "platform/db/adodb.h"
#include "platform/instance/instance.h"
#include "platform/log/log.h"
#include "platform/ui/message_box.h"

namespace {

const QString kJet = QStringLiteral("Provider=Microsoft.Jet.OLEDB.4.0;");

// Flushes a file or folder to the disk, so that a rename after it survives a power cut.
bool sync_path(const QString& path, bool folder) {
    const int fd = ::open(QFile::encodeName(path).constData(), folder ? (O_RDONLY | O_DIRECTORY) : O_RDONLY);
    if (fd < 0) return false;
    const bool ok = ::fsync(fd) == 0;
    ::close(fd);
    return ok;
}

void remove_scratch(const QString& tmp) {
    for (const char* suffix : {"", "-journal", "-wal", "-shm"})
        QFile::remove(tmp + QLatin1String(suffix));
}

bool fail(QString* error, const QString& why) {
    if (error) *error = why;
    return false;
}

void end_message(const QString& text) {
    ui::MsgBox(text + QStringLiteral("\nWeyvane will now end."), ui::vbOKOnly);
}

} // namespace

bool compact_database(const QString& folder, QString* error, bool* in_use) {
    if (in_use) *in_use = false;
    // The database under the name it has on disk, whatever its case.
    const QString found = find_data_file(folder);
    const QString file = found.isEmpty() ? QStringLiteral("zqdata.mdb") : found;
    const QString db = join_path(folder, file);
    const QString tmp = join_path(folder, QStringLiteral("temp.mdb"));

    // The user's own protection is kept: a file or folder that may not be written is left alone.
    if (QFileInfo(db).isFile() && !adodb::may_write(db))
        return fail(error, QStringLiteral("the file is write-protected"));
    if (!adodb::may_write(folder.isEmpty() ? QStringLiteral("/") : folder))
        return fail(error, QStringLiteral("its folder is write-protected"));

    // A temp.mdb left from an earlier run goes first.
    if (QFileInfo::exists(tmp) && !QFile::remove(tmp))
        return fail(error, QStringLiteral("the old file ") + tmp + QStringLiteral(" could not be deleted"));
    remove_scratch(tmp);

    const QString src = kJet + QStringLiteral("Data Source=") + folder + QLatin1Char('\\') + file;
    const QString dst = kJet + QStringLiteral("Data Source=") + folder + QStringLiteral("\\temp.mdb");
    // The copy takes the database's place while the database is still held for the compaction
    // alone, so that no other program can have it open when it is replaced.
    const auto replace = [&](QString* why) {
        if (!QFileInfo(tmp).isFile() || QFileInfo(tmp).size() == 0) {
            *why = QStringLiteral("no compacted copy was made");
            return false;
        }
        QFile::setPermissions(tmp, QFile::permissions(db));
        if (!sync_path(tmp, false)) {
            *why = QStringLiteral("the compacted copy could not be written to the disk");
            return false;
        }
        // One step: whoever looks finds either the old file or the complete new one.
        if (std::rename(QFile::encodeName(tmp).constData(), QFile::encodeName(db).constData()) != 0) {
            *why = QString::fromLocal8Bit(std::strerror(errno));
            return false;
        }
        sync_path(folder.isEmpty() ? QStringLiteral("/") : folder, true);
        return true;
    };
    QString why;
    const bool ok = adodb::CompactDatabase(src, dst, &why, replace, in_use);
    remove_scratch(tmp);
    if (!ok) return fail(error, why.isEmpty() ? QStringLiteral("the compaction failed") : why);
    return true;
}

bool Main() {
    ui::DoEvents();

    if (instance::PrevInstance()) {
        ui::Beep();
        ui::MsgBox(QStringLiteral("There is already a previous instance of the Weyvane program running."),
                   ui::vbOKOnly);
        return false;
    }

    // The copy of the database in the program's own folder is compacted at every start.
    const QString app = app_path();
    // Found whatever the case of its name, as in the data folder.
    const QString app_file = find_data_file(app);
    const QString app_db = join_path(app, app_file.isEmpty() ? QStringLiteral("zqdata.mdb") : app_file);
    if (!app_file.isEmpty() && QFileInfo(app_db).size() == 0) {
        // No database to compact; the opening of the data file tells the user if it is that one.
        qCWarning(lcDb).noquote() << "start-up: " + app_db + " is empty and was not compacted";
    } else if (!app_file.isEmpty() && !adodb::may_write(app)) {
        // A program installed in a write-protected folder: its copy is not compacted, and the
        // opening of the data file tells the user if it is that one.
        qCWarning(lcDb).noquote() << "start-up: the folder of " + app_db +
                                         " is write-protected; the database was not compacted";
    } else if (!app_file.isEmpty()) {
        ui::SetMousePointer(ui::vbHourglass);
        QString why;
        bool in_use = false;
        const bool compacted = compact_database(app, &why, &in_use);
        ui::SetMousePointer(ui::vbDefault);
        // A database that another program has open is compacted at a later start.
        if (in_use)
            qCWarning(lcDb).noquote()
                << "start-up: " + app_db + " is open in another program; it was left as it was";
        else if (!compacted)
            ui::MsgBox(QStringLiteral("The database ") + app_db +
                           QStringLiteral(" could not be compacted (") + why +
                           QStringLiteral(").\nIt was left as it was."),
                       ui::vbOKOnly);
    } else {
        ui::MsgBox(QStringLiteral("Could not open ") + app_db, ui::vbOKOnly);
    }

    frmMain& shell = main_form();
    core.main_form = &shell;
    shell.Load();
    core.scale_screen_active = false;
    shell.Show();

    // cfg.txt names the data folder; a missing one is created holding the program's folder.
    QString folder;
    if (!read_cfg(&folder)) {
        if (!write_cfg(app)) {
            end_message(QStringLiteral("The file ") + cfg_path() +
                        QStringLiteral(" can be neither read nor created."));
            return false;
        }
        ui::DoEvents();
    }
    if (!read_cfg(&folder)) {
        end_message(QStringLiteral("The file ") + cfg_path() + QStringLiteral(" cannot be read."));
        return false;
    }

    const QString configured_file = find_data_file(folder);
    if (configured_file.isEmpty() || !data_folder_name_usable(folder, configured_file)) {
        if (configured_file.isEmpty())
            ui::MsgBox(
                QStringLiteral("The datafile ZQDATA.MDB was not found at the configured datapath. Please "
                               "press OK and select one now"),
                ui::vbOKOnly);
        else
            ui::MsgBox(QStringLiteral("The data folder ") + folder + QStringLiteral(" named in ") +
                           cfg_path() +
                           QStringLiteral(" cannot be used: its name holds characters that Weyvane cannot "
                                          "store for it. Please press OK and select the folder of ZQDATA.MDB "
                                          "now"),
                       ui::vbOKOnly);
        // The shell was closed while the message was open: the program ends.
        if (!shell.Loaded()) return false;
        getdatapath_form().Show(true);
        // The shell was closed while the chooser was open: the program ends.
        if (!shell.Loaded()) return false;
    }

    if (!read_cfg(&core.data_path)) {
        end_message(QStringLiteral("The file ") + cfg_path() + QStringLiteral(" cannot be read."));
        return false;
    }
    // Normally "zqdata.mdb"; a file whose name differs only in case is used under its own name.
    const QString data_file = find_data_file(core.data_path);
    if (data_file.isEmpty()) {
        end_message(QStringLiteral("The datafile ZQDATA.MDB was not found in ") +
                    (core.data_path.isEmpty() ? QStringLiteral("/") : core.data_path) + QLatin1Char('.'));
        return false;
    }
    if (!data_folder_name_usable(core.data_path, data_file)) {
        end_message(
            QStringLiteral("The data folder ") + core.data_path +
            QStringLiteral(" cannot be used: its name holds characters that Weyvane cannot store for it."));
        return false;
    }

    core.conn_str_a = data_conn_str(core.data_path, data_file);
    core.conn_str = core.conn_str_a;

    // A settings row that cannot be read leaves the delivered settings in place; only a
    // database that cannot be opened ends the program.
    QString fatal;
    if (!load_syscfg_at_startup(&fatal)) {
        end_message(fatal);
        return false;
    }
    // The shell closed under a message above ends the program: no event loop runs yet to end.
    return shell.Loaded();
}
