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
#include "platform/ui/message_box.h"

namespace {

const QString kJet = QStringLiteral("Provider=Microsoft.Jet.OLEDB.4.0;");

// Flushes a file or folder to the disk, so that a rename after it survives a power cut.
bool sync_path(const QString& path, bool folder) {
    const int fd = ::open(QFile::encodeName(path).constData(), folder ? (O_RDONLY | O_DIRECTORY) : O_RDWR);
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

bool compact_database(const QString& folder, QString* error) {
    // The database under the name it has on disk, whatever its case.
    const QString found = find_data_file(folder);
    const QString file = found.isEmpty() ? QStringLiteral("zqdata.mdb") : found;
    const QString db = join_path(folder, file);
    const QString tmp = join_path(folder, QStringLiteral("temp.mdb"));

    // A temp.mdb left from an earlier run goes first.
    if (QFileInfo::exists(tmp) && !QFile::remove(tmp))
        return fail(error, QStringLiteral("the old file ") + tmp + QStringLiteral(" could not be deleted"));
    remove_scratch(tmp);

    const QString src = kJet + QStringLiteral("Data Source=") + folder + QLatin1Char('\\') + file;
    const QString dst = kJet + QStringLiteral("Data Source=") + folder + QStringLiteral("\\temp.mdb");
    QString why;
    if (!adodb::CompactDatabase(src, dst, &why)) {
        remove_scratch(tmp);
        return fail(error, why.isEmpty() ? QStringLiteral("the compaction failed") : why);
    }
    if (!QFileInfo(tmp).isFile() || QFileInfo(tmp).size() == 0) {
        remove_scratch(tmp);
        return fail(error, QStringLiteral("no compacted copy was made"));
    }
    // The compaction's connection was the last on the file, so closing it played the write-ahead
    // log into the file and removed it. A log or journal still beside the database belongs to
    // another program that holds it open (or to a failed close): it would be played into the new
    // file, or its later writes lost, so the database is only replaced when none is left.
    for (const char* suffix : {"-journal", "-wal"}) {
        if (QFileInfo(db + QLatin1String(suffix)).size() > 0) {
            remove_scratch(tmp);
            return fail(error, QStringLiteral(
                                   "the database is in use by another program or has an unfinished journal"));
        }
    }
    QFile::setPermissions(tmp, QFile::permissions(db));
    if (!sync_path(tmp, false)) {
        remove_scratch(tmp);
        return fail(error, QStringLiteral("the compacted copy could not be written to the disk"));
    }
    // One step: whoever looks finds either the old file or the complete new one.
    if (std::rename(QFile::encodeName(tmp).constData(), QFile::encodeName(db).constData()) != 0) {
        const QString reason = QString::fromLocal8Bit(std::strerror(errno));
        remove_scratch(tmp);
        return fail(error, reason);
    }
    sync_path(folder.isEmpty() ? QStringLiteral("/") : folder, true);
    remove_scratch(tmp);
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
    if (!app_file.isEmpty()) {
        ui::SetMousePointer(ui::vbHourglass);
        QString why;
        const bool compacted = compact_database(app, &why);
        ui::SetMousePointer(ui::vbDefault);
        if (!compacted)
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

    if (find_data_file(folder).isEmpty()) {
        ui::MsgBox(QStringLiteral("The datafile ZQDATA.MDB was not found at the configured datapath. Please "
                                  "press OK and select one now"),
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
