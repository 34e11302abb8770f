#include "RunLock.h"

#include <QDir>
#include <QFileInfo>
#include <QLockFile>

RunLock::RunLock(const QString& dataFolder) : m_path(QDir(dataFolder).filePath(QStringLiteral("quorvane.lock"))) {}

RunLock::~RunLock() = default;

bool RunLock::acquire(QString& message)
{
    m_lock = std::make_unique<QLockFile>(m_path);
    // A run may take long: the lock never goes stale by its age, only when its process is gone.
    m_lock->setStaleLockTime(0);
    if (m_lock->tryLock(0))
        return true;
    switch (m_lock->error()) {
    case QLockFile::LockFailedError: {
        qint64 pid = 0;
        QString host;
        QString application;
        if (m_lock->getLockInfo(&pid, &host, &application))
            message = QStringLiteral("Another Quorvane run is using this data folder (process %1)").arg(pid);
        else
            message = QStringLiteral("Another Quorvane run is using this data folder");
        break;
    }
    case QLockFile::PermissionError:
        message = QStringLiteral("The data folder %1 cannot be written: no run can start")
                      .arg(QDir::toNativeSeparators(QFileInfo(m_path).absolutePath()));
        break;
    default:
        message = QStringLiteral("The run lock %1 could not be taken").arg(QDir::toNativeSeparators(m_path));
        break;
    }
    m_lock.reset();
    return false;
}

void RunLock::release()
{
    if (m_lock)
        m_lock->unlock();
    m_lock.reset();
}
