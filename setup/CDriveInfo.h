#pragma once
// Describes one drive root: its type, volume label, serial number and file system, and its total,
// free and available space, over the drive functions of platform/volumes. It caches what the
// queries return; no member reports an error (a drive without media reads as not Present with
// zero sizes).
#include <QString>
#include <cstdint>

class CDriveInfo {
public:
    // Starts on the volume that holds the current directory.
    CDriveInfo();

    // Retargets the instance (a trailing "/" is added when missing) and refreshes it.
    void setDrive(const QString& NewDrive);
    QString Drive() const { return drive_root; }

    // Renames the volume; an empty text removes the label. A failure changes nothing.
    void setLabel(const QString& NewLabel);
    QString Label() const { return volume_label; }

    // Queries the space again on every read.
    quint64 AvailableSpace();
    quint64 FreeSpace();
    // As of the last space query.
    quint64 TotalSpace() const { return total_bytes; }

    // Asked on every read.
    int32_t DriveType() const;
    QString DriveTypeEx() const;

    QString FileSystem() const { return fs_name; }
    // True when every bit of Flag is set in the volume's file-system flags.
    bool FileSystemFlag(int32_t Flag) const;
    int32_t FileSystemFlags() const { return fs_flags; }
    int32_t MaxFilenameLength() const { return max_component_length; }
    bool Present() const { return is_present; }
    // The serial as signed decimal text, and as "XXXX-XXXX" (empty for serial 0).
    QString SerialNumber() const;
    QString SerialNumberEx() const;

    // "512 bytes", "29.8 MB", with LongDisplay also " (31,227,904 bytes)" from 1,024 bytes on.
    static QString FormatSize(quint64 Size, bool LongDisplay);

    // The space query, then the volume query when the space query found the drive.
    void Refresh();

    // The text before the first NUL; a text without NUL comes back trimmed of blanks.
    static QString strip_null(const QString& text);

private:
    void refresh_space();
    void refresh_volume_info();

    QString drive_root;
    bool has_free_space_ex = false;
    bool is_present = false;
    quint64 available_bytes = 0;
    quint64 free_bytes = 0;
    quint64 total_bytes = 0;
    QString volume_label;
    int32_t volume_serial = 0;
    int32_t max_component_length = 0;
    int32_t fs_flags = 0;
    QString fs_name;
};

// The SD-card rule: a removable drive whose file system reads exactly "FAT" and whose total
// size lies strictly between 28,500,000 and 33,000,000 bytes.
bool looks_like_sd_card(const CDriveInfo& info);
