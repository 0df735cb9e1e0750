#include "platform/volumes/volumes.h"

#include <QDir>
#include <QFileInfo>
#include <QRegularExpression>
#include <QStorageInfo>
#include <algorithm>
#include <limits>
#include <optional>
#include <sys/statvfs.h>

namespace volumes {

namespace {

std::optional<QList<Volume>> fake;
QString missing_function;

// Kernel and memory file systems that hold no user files.
bool is_pseudo(const QString& type) {
    static const QStringList pseudo = {
        "proc",       "sysfs",     "devtmpfs",    "devpts",         "tmpfs",    "cgroup",   "cgroup2",
        "securityfs", "pstore",    "bpf",         "tracefs",        "debugfs",  "configfs", "fusectl",
        "mqueue",     "hugetlbfs", "autofs",      "binfmt_misc",    "efivarfs", "ramfs",    "rpc_pipefs",
        "nsfs",       "squashfs",  "fuse.portal", "fuse.gvfsd-fuse"};
    return pseudo.contains(type);
}

bool under_system_folder(const QString& root) {
    for (const char* sys : {"/proc", "/sys", "/dev", "/run", "/snap", "/boot/efi"}) {
        const QString s = QString::fromLatin1(sys);
        if (root == s || root.startsWith(s + QLatin1Char('/')))
            // Removable media are mounted below /run/media/<user>.
            return !(root.startsWith(QStringLiteral("/run/media/")));
    }
    return false;
}

} // namespace

bool is_ready(const QString& root) {
    const QFileInfo fi(root);
    return fi.isDir() && fi.isReadable() && fi.isExecutable();
}

QList<Volume> mounted_volumes() {
    if (fake) return *fake;
    QList<Volume> out;
    out.append(Volume{QStringLiteral("/"), QStorageInfo::root().displayName(),
                      QString::fromLatin1(QStorageInfo::root().fileSystemType()),
                      QStorageInfo::root().bytesTotal()});
    for (const QStorageInfo& s : QStorageInfo::mountedVolumes()) {
        const QString root = s.rootPath();
        if (root == QLatin1String("/") || !s.isValid() || !s.isReady()) continue;
        const QString type = QString::fromLatin1(s.fileSystemType());
        if (is_pseudo(type) || under_system_folder(root) || !is_ready(root)) continue;
        if (std::any_of(out.cbegin(), out.cend(), [&](const Volume& v) { return v.root == root; })) continue;
        out.append(Volume{root, s.displayName(), type, s.bytesTotal()});
    }
    std::sort(out.begin() + 1, out.end(), [](const Volume& a, const Volume& b) { return a.root < b.root; });
    return out;
}

QString volume_of(const QString& path) {
    const QString clean = QDir::cleanPath(QFileInfo(path).absoluteFilePath());
    QString best = QStringLiteral("/");
    for (const Volume& v : mounted_volumes()) {
        const QString r = v.root;
        if (r == QLatin1String("/")) continue;
        if ((clean == r || clean.startsWith(r + QLatin1Char('/'))) && r.size() > best.size()) best = r;
    }
    return best;
}

namespace {

// A root as the table holds it: no trailing "/" except on "/" itself.
QString table_root(const QString& root) {
    QString r = root;
    while (r.size() > 1 && r.endsWith(QLatin1Char('/')))
        r.chop(1);
    return r;
}

QString read_line(const QString& path) {
    QFile f(path);
    if (!f.open(QIODevice::ReadOnly)) return QString();
    return QString::fromLatin1(f.readLine()).trimmed();
}

// The block device's folder in sysfs for a device node such as /dev/sdb1, or empty.
QString sysfs_block(const QString& device) {
    const QString canonical = QFileInfo(device).canonicalFilePath();
    if (!canonical.startsWith(QStringLiteral("/dev/"))) return QString();
    const QString dir = QStringLiteral("/sys/class/block/") + QFileInfo(canonical).fileName();
    return QFileInfo::exists(dir) ? QFileInfo(dir).canonicalFilePath() : QString();
}

// Removable media: the kernel marks the disk removable (card readers, most USB sticks), or the
// device is an SD/MMC slot, whose cards the kernel does not mark.
bool is_removable(const QString& device) {
    const QString block = sysfs_block(device);
    if (block.isEmpty()) return false;
    const QString disk =
        QFileInfo::exists(block + QStringLiteral("/partition")) ? QFileInfo(block).path() : block;
    if (QFileInfo(disk).fileName().startsWith(QStringLiteral("mmcblk"))) return true;
    return read_line(disk + QStringLiteral("/removable")) == QLatin1String("1");
}

bool is_optical(const QString& device, const QString& type) {
    return type == QLatin1String("iso9660") || type == QLatin1String("udf") ||
           QFileInfo(QFileInfo(device).canonicalFilePath()).fileName().startsWith(QStringLiteral("sr"));
}

bool is_remote(const QString& type) {
    static const QStringList remote = {"nfs",        "nfs4", "cifs", "smb3", "smbfs",     "sshfs",
                                       "fuse.sshfs", "9p",   "afs",  "ceph", "glusterfs", "fuse.rclone"};
    return remote.contains(type);
}

// The serial of the volume on `device`, from its file-system UUID under /dev/disk/by-uuid
// ("1234-ABCD" on FAT, 16 hex digits on NTFS of which the serial is the low half).
quint32 volume_serial(const QString& device) {
    const QString canonical = QFileInfo(device).canonicalFilePath();
    if (canonical.isEmpty()) return 0;
    const QDir dir(QStringLiteral("/dev/disk/by-uuid"));
    for (const QFileInfo& link : dir.entryInfoList(QDir::System | QDir::Files | QDir::NoDotAndDotDot)) {
        if (link.canonicalFilePath() != canonical) continue;
        QString hex = link.fileName();
        hex.remove(QLatin1Char('-'));
        if (hex.size() == 16) hex = hex.right(8);
        bool ok = false;
        const quint32 serial = hex.left(8).toUInt(&ok, 16);
        return ok ? serial : 0;
    }
    return 0;
}

// The whole description of one real volume.
Volume describe(const Volume& listed) {
    Volume v = listed;
    const QStorageInfo info(v.root);
    const QString device = QString::fromLocal8Bit(info.device());
    const QString type = v.fs_type;
    v.present = info.isValid() && info.isReady() && is_ready(v.root);
    v.label = info.name();
    v.bytes_total = info.bytesTotal();
    v.bytes_free = info.bytesFree();
    v.bytes_available = info.bytesAvailable();
    v.serial = volume_serial(device);
    if (is_remote(type))
        v.drive_type = DRIVE_REMOTE;
    else if (is_optical(device, type))
        v.drive_type = DRIVE_CDROM;
    else if (type == QLatin1String("tmpfs") || type == QLatin1String("ramfs"))
        v.drive_type = DRIVE_RAMDISK;
    else if (is_removable(device))
        v.drive_type = DRIVE_REMOVABLE;
    else
        v.drive_type = DRIVE_FIXED;

    struct statvfs st {};
    const bool have_stat = ::statvfs(QFile::encodeName(v.root).constData(), &st) == 0;
    if (have_stat) v.max_component_length = static_cast<int>(st.f_namemax);
    v.fs_flags = FILE_CASE_PRESERVED_NAMES | FILE_UNICODE_ON_DISK;
    if (info.isReadOnly()) v.fs_flags |= FILE_READ_ONLY_VOLUME;

    if (type == QLatin1String("vfat") || type == QLatin1String("msdos") || type == QLatin1String("fat")) {
        // FAT12 and FAT16 against FAT32 is decided by the count of clusters, which the FAT
        // driver reports as the block count (its block is the cluster).
        v.fs_name = have_stat && st.f_blocks < 65525 ? QStringLiteral("FAT") : QStringLiteral("FAT32");
    } else if (type == QLatin1String("exfat")) {
        v.fs_name = QStringLiteral("exFAT");
    } else if (type == QLatin1String("ntfs") || type == QLatin1String("ntfs3")) {
        v.fs_name = QStringLiteral("NTFS");
    } else if (type == QLatin1String("iso9660")) {
        v.fs_name = QStringLiteral("CDFS");
    } else if (type == QLatin1String("udf")) {
        v.fs_name = QStringLiteral("UDF");
    } else {
        v.fs_name = type;
        v.fs_flags |= FILE_CASE_SENSITIVE_SEARCH;
    }
    return v;
}

std::optional<Volume> find_volume(const QString& root) {
    const QString r = table_root(root);
    for (const Volume& v : mounted_volumes())
        if (table_root(v.root) == r) return fake ? v : describe(v);
    return std::nullopt;
}

} // namespace

QStringList logical_drive_strings() {
    QStringList out;
    for (const Volume& v : mounted_volumes()) {
        const QString r = table_root(v.root);
        out.append(r == QLatin1String("/") ? r : r + QLatin1Char('/'));
    }
    return out;
}

int drive_type(const QString& root) {
    const auto v = find_volume(root);
    return v ? v->drive_type : DRIVE_NO_ROOT_DIR;
}

bool volume_information(const QString& root, VolumeInformation& info) {
    const auto v = find_volume(root);
    if (!v || !v->present) return false;
    info.label = v->label;
    info.serial = v->serial;
    info.max_component_length = v->max_component_length;
    info.fs_flags = v->fs_flags;
    info.fs_name = v->fs_name;
    return true;
}

bool disk_free_space_ex(const QString& root, quint64* available, quint64* total, quint64* free) {
    const auto v = find_volume(root);
    if (!v || !v->present) return false;
    if (available) *available = static_cast<quint64>(std::max<qint64>(0, v->bytes_available));
    if (total) *total = static_cast<quint64>(std::max<qint64>(0, v->bytes_total));
    if (free) *free = static_cast<quint64>(std::max<qint64>(0, v->bytes_free));
    return true;
}

bool disk_free_space(const QString& root, quint32* sectors_per_cluster, quint32* bytes_per_sector,
                     quint32* free_clusters, quint32* total_clusters) {
    const auto v = find_volume(root);
    if (!v || !v->present) return false;
    // Clusters of 4096 bytes (8 sectors of 512); counts beyond 32 bits are held at the maximum.
    constexpr quint64 cluster = 4096;
    auto clusters = [](qint64 bytes) {
        const quint64 n = static_cast<quint64>(std::max<qint64>(0, bytes)) / cluster;
        return static_cast<quint32>(std::min<quint64>(n, std::numeric_limits<quint32>::max()));
    };
    if (sectors_per_cluster) *sectors_per_cluster = 8;
    if (bytes_per_sector) *bytes_per_sector = 512;
    if (free_clusters) *free_clusters = clusters(v->bytes_available);
    if (total_clusters) *total_clusters = clusters(v->bytes_total);
    return true;
}

bool set_volume_label(const QString& root, const QString& label) {
    if (!fake) return false;
    const QString r = table_root(root);
    for (Volume& v : *fake) {
        if (table_root(v.root) != r) continue;
        if (!v.present) return false;
        v.label = label.isNull() ? QString() : label;
        return true;
    }
    return false;
}

bool api_present(const QString& library, const QString& function) {
    static const QStringList offered = {"GetDriveTypeA",       "GetVolumeInformationA",
                                        "GetDiskFreeSpaceExA", "GetDiskFreeSpaceA",
                                        "SetVolumeLabelA",     "GetLogicalDriveStringsA"};
    if (library.compare(QLatin1String("kernel32"), Qt::CaseInsensitive) != 0 &&
        library.compare(QLatin1String("kernel32.dll"), Qt::CaseInsensitive) != 0)
        return false;
    return offered.contains(function) && function != missing_function;
}

void set_missing_function(const QString& function) {
    missing_function = function;
}

void set_fake_table(const QList<Volume>& table) {
    fake = table;
}
void clear_fake_table() {
    fake.reset();
}

} // namespace volumes
