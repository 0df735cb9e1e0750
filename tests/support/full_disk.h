#pragma once
// A database on a disk that is full to the last byte.
//
//   testsupport::TempDatabase db;
//   testsupport::FullDisk disk(db);      // db.folder becomes a tiny file system of its own
//   if (!disk.ok()) QSKIP(disk.why());   // holding the same files, then filled up
// The file system is a tmpfs mounted over the folder, which needs root (as CI runs); elsewhere
// the test is skipped. The database is put in write-ahead-log mode first, as the program leaves
// it, so that even a read needs room for the log's index. Unmounted when the object goes, which
// must be before `db` goes.
#include <QDir>
#include <QFile>
#include <QHash>

#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <sys/mount.h>
#include <unistd.h>

#include "tests/support/temp_database.h"

namespace testsupport {

class FullDisk {
public:
    explicit FullDisk(TempDatabase& db) : folder_(db.folder) {
        if (!db.exec(QStringLiteral("PRAGMA journal_mode = WAL")).isEmpty()) return;
        QHash<QString, QByteArray> files;
        for (const QString& name : QDir(folder_).entryList(QDir::Files)) {
            QFile f(folder_ + u'/' + name);
            if (!f.open(QIODevice::ReadOnly)) return;
            files.insert(name, f.readAll());
        }
        if (::mount("tmpfs", QFile::encodeName(folder_).constData(), "tmpfs", 0, "size=512k,mode=0700") !=
            0) {
            why_ = QByteArray("cannot mount a small file system: ") + std::strerror(errno);
            return;
        }
        mounted_ = true;
        for (auto it = files.cbegin(); it != files.cend(); ++it) {
            QFile f(folder_ + u'/' + it.key());
            if (!f.open(QIODevice::WriteOnly) || f.write(it.value()) != it.value().size()) return;
            f.setPermissions(QFile::ReadOwner | QFile::WriteOwner);
        }
        // Fill what is left, down to the last block.
        const int fd = ::open(QFile::encodeName(folder_ + QStringLiteral("/filler")).constData(),
                              O_WRONLY | O_CREAT | O_CLOEXEC, 0600);
        if (fd < 0) return;
        static const char block[4096] = {};
        for (size_t size = sizeof block; size > 0; size /= 2)
            while (::write(fd, block, size) == ssize_t(size)) {
            }
        ::close(fd);
        full_ = true;
    }
    ~FullDisk() {
        if (mounted_) ::umount2(QFile::encodeName(folder_).constData(), MNT_DETACH);
    }
    FullDisk(const FullDisk&) = delete;
    FullDisk& operator=(const FullDisk&) = delete;

    bool ok() const { return full_; }
    const char* why() const {
        return why_.isEmpty() ? "the small file system could not be filled" : why_.constData();
    }

private:
    QString folder_;
    QByteArray why_;
    bool mounted_ = false;
    bool full_ = false;
};

} // namespace testsupport
