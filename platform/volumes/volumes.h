#pragma once
// The mounted volumes a user can browse: the root folder and each real mount point, as the
// drive list of the folder chooser shows them. Tests replace the table with a fake one.
#include <QList>
#include <QString>
#include <QStringList>

namespace volumes {

// Drive-type codes, numbered as the drive functions below report them.
enum DriveType {
    DRIVE_UNKNOWN = 0,
    DRIVE_NO_ROOT_DIR = 1,
    DRIVE_REMOVABLE = 2,
    DRIVE_FIXED = 3,
    DRIVE_REMOTE = 4,
    DRIVE_CDROM = 5,
    DRIVE_RAMDISK = 6,
};

// File-system flags as the volume query reports them.
enum FsFlags : quint32 {
    FILE_CASE_SENSITIVE_SEARCH = 0x1,
    FILE_CASE_PRESERVED_NAMES = 0x2,
    FILE_UNICODE_ON_DISK = 0x4,
    FILE_VOLUME_IS_COMPRESSED = 0x8000,
    FILE_READ_ONLY_VOLUME = 0x80000,
};

struct Volume {
    QString root;    // mount point, "/" for the root folder
    QString name;    // volume label, or the device when there is none
    QString fs_type; // file-system type, e.g. "ext4", "vfat"
    qint64 bytes_total = 0;
    // Used by the drive functions below; the real table fills them from the mount, the kernel's
    // block-device attributes and the device links under /dev/disk.
    int drive_type = DRIVE_FIXED;
    bool present = true;        // media in the drive (a card reader without a card: false)
    QString label{};            // volume label, empty when none
    quint32 serial = 0;         // volume serial number
    QString fs_name{};          // "FAT" (FAT12/FAT16), "FAT32", "exFAT", "NTFS", or the Linux type
    qint64 bytes_free = 0;      // free bytes on the volume
    qint64 bytes_available = 0; // free bytes this user may use
    int max_component_length = 255;
    quint32 fs_flags = FILE_CASE_PRESERVED_NAMES | FILE_UNICODE_ON_DISK;
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

// --- Drive functions over the volume table -------------------------------------------------
// A drive root is a volume's mount point; the functions take it with or without a trailing "/".

// The roots of the volumes, each ending in "/" ("/" itself stays "/"), in table order.
QStringList logical_drive_strings();

// The drive type of a root; DRIVE_NO_ROOT_DIR for a path that is no volume's root.
int drive_type(const QString& root);

struct VolumeInformation {
    QString label;
    quint32 serial = 0;
    int max_component_length = 0;
    quint32 fs_flags = 0;
    QString fs_name;
};
// False for a path that is no volume's root and for a drive without media.
bool volume_information(const QString& root, VolumeInformation& info);

// Bytes available to this user, total bytes and total free bytes of a root's volume.
bool disk_free_space_ex(const QString& root, quint64* available, quint64* total, quint64* free);
// The same as clusters: sectors per cluster, bytes per sector, free and total clusters (each
// count held to 32 bits).
bool disk_free_space(const QString& root, quint32* sectors_per_cluster, quint32* bytes_per_sector,
                     quint32* free_clusters, quint32* total_clusters);

// Renames a root's volume; a null QString removes the label. The real table cannot relabel a
// mounted volume (that needs the device itself), so there it always fails; the fake table
// takes the new label.
bool set_volume_label(const QString& root, const QString& label);

// Whether this layer offers the named function of the named system library (the drive functions
// of "kernel32": "GetDriveTypeA", "GetVolumeInformationA", "GetDiskFreeSpaceExA", ...).
bool api_present(const QString& library, const QString& function);
// Lets tests take one function away from api_present (empty: all present again).
void set_missing_function(const QString& function);

} // namespace volumes
