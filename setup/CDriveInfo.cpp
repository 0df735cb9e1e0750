#include "setup/CDriveInfo.h"

#include <QDir>
#include <QLocale>
#include <cmath>

#include "platform/volumes/volumes.h"

namespace {

QString with_separator(const QString& root) {
    return root.endsWith(QLatin1Char('/')) ? root : root + QLatin1Char('/');
}

QLocale grouping_locale() {
    QLocale loc;
    loc.setNumberOptions(QLocale::DefaultNumberOptions);
    return loc;
}

// Rounds half away from zero to `decimals` places.
long double round_to(long double value, int decimals) {
    const long double scale = std::pow(10.0L, decimals);
    return std::round(value * scale) / scale;
}

} // namespace

CDriveInfo::CDriveInfo() {
    has_free_space_ex =
        volumes::api_present(QStringLiteral("kernel32"), QStringLiteral("GetDiskFreeSpaceExA"));
    drive_root = with_separator(volumes::volume_of(QDir::currentPath()));
    Refresh();
}

void CDriveInfo::setDrive(const QString& NewDrive) {
    drive_root = with_separator(NewDrive);
    Refresh();
}

void CDriveInfo::setLabel(const QString& NewLabel) {
    if (volumes::set_volume_label(drive_root, NewLabel.isEmpty() ? QString() : NewLabel))
        refresh_volume_info();
}

quint64 CDriveInfo::AvailableSpace() {
    refresh_space();
    return available_bytes;
}

quint64 CDriveInfo::FreeSpace() {
    refresh_space();
    return free_bytes;
}

int32_t CDriveInfo::DriveType() const {
    return volumes::drive_type(drive_root);
}

QString CDriveInfo::DriveTypeEx() const {
    switch (DriveType()) {
    case volumes::DRIVE_NO_ROOT_DIR:
        return QStringLiteral("No Root Directory");
    case volumes::DRIVE_REMOVABLE:
        return QStringLiteral("Removable");
    case volumes::DRIVE_FIXED:
        return QStringLiteral("Fixed");
    case volumes::DRIVE_REMOTE:
        return QStringLiteral("Remote");
    case volumes::DRIVE_CDROM:
        return QStringLiteral("CD-ROM");
    case volumes::DRIVE_RAMDISK:
        return QStringLiteral("RAM Disk");
    default:
        return QStringLiteral("Unknown");
    }
}

bool CDriveInfo::FileSystemFlag(int32_t Flag) const {
    return (fs_flags & Flag) == Flag;
}

QString CDriveInfo::SerialNumber() const {
    return QString::number(volume_serial);
}

QString CDriveInfo::SerialNumberEx() const {
    if (volume_serial == 0) return QString();
    const QString hex =
        QStringLiteral("%1").arg(static_cast<quint32>(volume_serial), 8, 16, QLatin1Char('0')).toUpper();
    return hex.left(4) + QLatin1Char('-') + hex.right(4);
}

QString CDriveInfo::FormatSize(quint64 Size, bool LongDisplay) {
    const QLocale loc = grouping_locale();
    if (Size < 1024)
        return loc.toString(static_cast<qulonglong>(Size)) + QStringLiteral(" byte") +
               (Size == 1 ? QString() : QStringLiteral("s"));

    long double unit = 1024.0L;
    QString unit_text = QStringLiteral(" KB");
    if (Size >= (quint64(1) << 40)) {
        unit = static_cast<long double>(quint64(1) << 40);
        unit_text = QStringLiteral(" TB");
    } else if (Size >= (quint64(1) << 30)) {
        unit = static_cast<long double>(quint64(1) << 30);
        unit_text = QStringLiteral(" GB");
    } else if (Size >= (quint64(1) << 20)) {
        unit = static_cast<long double>(quint64(1) << 20);
        unit_text = QStringLiteral(" MB");
    }
    const long double quotient = round_to(static_cast<long double>(Size) / unit, 4);
    const int decimals = quotient >= 100 ? 0 : quotient >= 10 ? 1 : 2;
    // "0", "0.0", "0.00": no grouping of the whole part.
    QString text = loc.toString(static_cast<double>(round_to(quotient, decimals)), 'f', decimals);
    text.remove(loc.groupSeparator());
    text += unit_text;
    if (LongDisplay)
        text +=
            QStringLiteral(" (") + loc.toString(static_cast<qulonglong>(Size)) + QStringLiteral(" bytes)");
    return text;
}

void CDriveInfo::Refresh() {
    refresh_space();
    if (is_present) refresh_volume_info();
}

QString CDriveInfo::strip_null(const QString& text) {
    const qsizetype nul = text.indexOf(QChar(0));
    if (nul < 0) return text.trimmed();
    return text.left(nul);
}

void CDriveInfo::refresh_space() {
    is_present = false;
    available_bytes = free_bytes = total_bytes = 0;
    if (has_free_space_ex) {
        quint64 available = 0, total = 0, free = 0;
        if (volumes::disk_free_space_ex(drive_root, &available, &total, &free)) {
            available_bytes = available;
            total_bytes = total;
            free_bytes = free;
            is_present = true;
        }
        return;
    }
    quint32 sectors = 0, bytes = 0, free_clusters = 0, total_clusters = 0;
    if (volumes::disk_free_space(drive_root, &sectors, &bytes, &free_clusters, &total_clusters)) {
        // Formed in 64 bits, so a large volume never wraps.
        const quint64 cluster = quint64(sectors) * bytes;
        total_bytes = cluster * total_clusters;
        free_bytes = cluster * free_clusters;
        available_bytes = free_bytes;
        is_present = true;
    }
}

void CDriveInfo::refresh_volume_info() {
    volumes::VolumeInformation info;
    if (volumes::volume_information(drive_root, info)) {
        volume_label = strip_null(info.label);
        fs_name = strip_null(info.fs_name);
        volume_serial = static_cast<int32_t>(info.serial);
        max_component_length = info.max_component_length;
        fs_flags = static_cast<int32_t>(info.fs_flags);
        is_present = true;
    } else {
        volume_label.clear();
        fs_name.clear();
        volume_serial = max_component_length = fs_flags = 0;
        is_present = false;
    }
}

bool looks_like_sd_card(const CDriveInfo& info) {
    return info.TotalSpace() > 28500000 && info.TotalSpace() < 33000000 &&
           info.DriveTypeEx() == QLatin1String("Removable") && info.FileSystem() == QLatin1String("FAT");
}
