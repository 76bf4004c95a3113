#include "app/instanceguard.h"

#include <QDir>
#include <QLockFile>
#include <QStandardPaths>

namespace pm {

TInstanceGuard::TInstanceGuard(const QString& exeFileName, const QString& folder)
{
    QString dir = folder;
    if (dir.isEmpty())
        dir = QStandardPaths::writableLocation(QStandardPaths::RuntimeLocation);
    if (dir.isEmpty())
        dir = QDir::tempPath();
    QDir().mkpath(dir);
    path_ = QDir(dir).filePath(LockName(exeFileName));
    lock_ = std::make_unique<QLockFile>(path_);
    // Never stale by age: a copy may run for days. A lock whose process is
    // gone is still taken over (QLockFile checks the owner's process id).
    lock_->setStaleLockTime(0);
    acquired_ = lock_->tryLock(0);
}

TInstanceGuard::~TInstanceGuard()
{
    if (acquired_)
        lock_->unlock();
}

} // namespace pm
