#include "platform/instance/instance.h"

#include <QDir>
#include <QLockFile>
#include <QStandardPaths>
#include <memory>

namespace instance {

namespace {
std::unique_ptr<QLockFile> lock;
}

bool PrevInstance() {
    if (lock && lock->isLocked()) return false;
    QString dir = QStandardPaths::writableLocation(QStandardPaths::RuntimeLocation);
    if (dir.isEmpty()) dir = QDir::tempPath();
    lock = std::make_unique<QLockFile>(dir + "/weyvane.lock");
    lock->setStaleLockTime(0);
    if (lock->tryLock(0)) return false;
    // A lock left by a crashed copy is taken over; a live holder means a previous instance.
    if (lock->error() == QLockFile::LockFailedError && lock->removeStaleLockFile() && lock->tryLock(0))
        return false;
    return true;
}

void release() {
    if (lock) lock->unlock();
    lock.reset();
}

} // namespace instance
