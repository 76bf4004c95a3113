#pragma once
// One running copy per executable name: a lock file "QUARN-" + the
// executable's file name in the user's runtime folder. The lock is held for
// the life of the process; a copy that finds it held ends silently. A lock
// left by a copy that died is taken over.

#include <QString>

#include <memory>

class QLockFile;

namespace pm {

class TInstanceGuard {
public:
    // exeFileName: the executable's name without folder; folder: where the
    // lock lives (empty: the user's runtime folder).
    explicit TInstanceGuard(const QString& exeFileName, const QString& folder = QString());
    ~TInstanceGuard();
    TInstanceGuard(const TInstanceGuard&) = delete;
    TInstanceGuard& operator=(const TInstanceGuard&) = delete;

    // False when another copy holds the lock or the lock cannot be made.
    bool Acquired() const { return acquired_; }
    const QString& LockPath() const { return path_; }

    static QString LockName(const QString& exeFileName) { return QStringLiteral("QUARN-") + exeFileName; }

private:
    QString path_;
    std::unique_ptr<QLockFile> lock_;
    bool acquired_ = false;
};

} // namespace pm
