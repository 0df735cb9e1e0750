#pragma once
// A database on a full disk: `testsupport::FullDisk disk(db);` mounts a small tmpfs over the
// TempDatabase's folder (root only: else `!disk.ok()`, and the test skips with `disk.why()`),
// puts the same files back, in write-ahead-log mode as the program leaves them (so that even a
// read needs room for the log's index), and fills the rest, at once or when told (a disk that
// fills while the program has the database open). Unmounted before `db` goes.
#include <QDir>
#include <QFile>
#include <QHash>

#include <cerrno>
#include <cstring>
#include <sys/mount.h>

#include "tests/support/temp_database.h"

namespace testsupport {

class FullDisk {
public:
    // With `fill_now` false the disk is filled only by fill(), so that files can be opened first.
    explicit FullDisk(TempDatabase& db, bool fill_now = true)
        : folder_(QFile::encodeName(db.folder)), db_folder_(db.folder) {
        if (!db.exec(QStringLiteral("PRAGMA journal_mode = WAL")).isEmpty()) return;
        QHash<QString, QByteArray> files;
        for (const QString& name : QDir(db.folder).entryList(QDir::Files)) {
            QFile f(db.folder + u'/' + name);
            if (f.open(QIODevice::ReadOnly)) files.insert(f.fileName(), f.readAll());
        }
        mounted_ = ::mount("tmpfs", folder_.constData(), "tmpfs", 0, "size=512k,mode=0700") == 0;
        if (!mounted_) {
            why_ = QByteArray("cannot mount a small file system: ") + std::strerror(errno);
            return;
        }
        for (auto it = files.cbegin(); it != files.cend(); ++it) {
            QFile f(it.key());
            if (!f.open(QIODevice::WriteOnly) || f.write(it.value()) != it.value().size()) return;
        }
        copied_ = true;
        if (fill_now) fill();
    }
    // Fills what is left of the small file system.
    bool fill() {
        if (!copied_) return false;
        QFile filler(db_folder_ + QStringLiteral("/filler"));
        if (!filler.open(QIODevice::WriteOnly | QIODevice::Unbuffered)) return false;
        for (qint64 size = 4096; size > 0; size /= 2)
            while (filler.write(QByteArray(size, '\0')) == size) {
            }
        full_ = true;
        return true;
    }
    ~FullDisk() {
        if (mounted_) ::umount2(folder_.constData(), MNT_DETACH);
    }
    FullDisk(const FullDisk&) = delete;
    FullDisk& operator=(const FullDisk&) = delete;

    bool ok() const { return full_; }
    const char* why() const {
        return why_.isEmpty() ? "the small file system was not filled" : why_.constData();
    }

private:
    QByteArray folder_;
    QString db_folder_;
    QByteArray why_;
    bool mounted_ = false;
    bool copied_ = false;
    bool full_ = false;
};

} // namespace testsupport
