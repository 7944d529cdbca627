#pragma once
// One running copy per user session. The first copy holds a lock file named
// "Telvane" in the user's runtime folder until it ends; a later copy finds it held
// and gives up without touching the first. A lock left behind by a copy that
// crashed names a process that no longer runs, and is taken over.

#include <QString>

#include <memory>

class QLockFile;

inline constexpr char INSTANCE_LOCK_NAME[] = "Telvane";

class CSingleInstanceGuard {
  public:
    explicit CSingleInstanceGuard(const QString &name = QString::fromLatin1(INSTANCE_LOCK_NAME));
    ~CSingleInstanceGuard();
    CSingleInstanceGuard(const CSingleInstanceGuard &) = delete;
    CSingleInstanceGuard &operator=(const CSingleInstanceGuard &) = delete;

    // Takes the lock without waiting. False: another live copy holds it (or the
    // lock file cannot be created at all).
    bool Acquire();
    void Release();
    bool IsHeld() const;

    QString LockFilePath() const { return m_strPath; }
    // The folder the lock lives in: the runtime folder, else the temporary folder.
    static QString LockFolder();

  private:
    QString m_strPath;
    std::unique_ptr<QLockFile> m_pLock;
};
