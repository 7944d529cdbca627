#include "app/shell/singleinstanceguard.h"

#include <QDir>
#include <QLockFile>
#include <QStandardPaths>

CSingleInstanceGuard::CSingleInstanceGuard(const QString &name)
    : m_strPath(LockFolder() + QLatin1Char('/') + name)
{
}

CSingleInstanceGuard::~CSingleInstanceGuard()
{
    Release();
}

QString CSingleInstanceGuard::LockFolder()
{
    QString folder = QStandardPaths::writableLocation(QStandardPaths::RuntimeLocation);
    if (folder.isEmpty())
        folder = QDir::tempPath();
    return folder;
}

bool CSingleInstanceGuard::Acquire()
{
    if (IsHeld())
        return true;
    auto lock = std::make_unique<QLockFile>(m_strPath);
    // Age never makes the lock stale: a lock whose process still runs must not be
    // broken however long that copy has been running, also where no native file
    // lock backs it up. A lock whose process is gone is recognised as stale by
    // QLockFile (process id check) and taken over.
    lock->setStaleLockTime(0);
    if (!lock->tryLock(0))
        return false;
    m_pLock = std::move(lock);
    return true;
}

void CSingleInstanceGuard::Release()
{
    if (m_pLock)
        m_pLock->unlock();
    m_pLock.reset();
}

bool CSingleInstanceGuard::IsHeld() const
{
    return m_pLock && m_pLock->isLocked();
}
