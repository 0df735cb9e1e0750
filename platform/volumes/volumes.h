#pragma once
// The mounted volumes a user can browse: the root folder and each real mount point, as the
// drive list of the folder chooser shows them. Tests replace the table with a fake one.
#include <QList>
#include <QString>

namespace volumes {

struct Volume {
    QString root;    // mount point, "/" for the root folder
    QString name;    // volume label, or the device when there is none
    QString fs_type; // file-system type, e.g. "ext4", "vfat"
    qint64 bytes_total = 0;
};

// The root folder first, then the other mount points in path order.
QList<Volume> mounted_volumes();

// Whether the volume's root can be listed now (a removed card or a lost mount cannot).
bool is_ready(const QString& root);

// The volume whose mount point holds `path` (the longest matching root), or "/" .
QString volume_of(const QString& path);

// Replaces the table of mounted volumes (for tests); clear_fake_table() returns to the real one.
void set_fake_table(const QList<Volume>& table);
void clear_fake_table();

} // namespace volumes
