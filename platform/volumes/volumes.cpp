#include "platform/volumes/volumes.h"

#include <QDir>
#include <QFileInfo>
#include <QStorageInfo>
#include <algorithm>
#include <optional>

namespace volumes {

namespace {

std::optional<QList<Volume>> fake;

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

void set_fake_table(const QList<Volume>& table) {
    fake = table;
}
void clear_fake_table() {
    fake.reset();
}

} // namespace volumes
