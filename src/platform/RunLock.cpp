#include "RunLock.h"

#include <QDir>
#include <QFileInfo>

using namespace Qt::StringLiterals;

RunLock::RunLock(const QString& path) : m_path(path), m_lock(path)
{
    // A run may take hours: only a lock whose process is gone is stale, never an old one.
    m_lock.setStaleLockTime(0);
}

RunLock::~RunLock() = default;

bool RunLock::tryLock(QString& whyNot)
{
    if (m_lock.isLocked())
        return true;
    QDir().mkpath(QFileInfo(m_path).absolutePath());
    if (m_lock.tryLock(0))
        return true;
    qint64 pid = 0;
    QString host;
    QString application;
    if (m_lock.error() == QLockFile::LockFailedError && m_lock.getLockInfo(&pid, &host, &application))
        whyNot = u"Another run of Orvanta (process %1) is submitting from %2; try again once it has ended."_s
                     .arg(pid)
                     .arg(QDir::toNativeSeparators(QFileInfo(m_path).absolutePath()));
    else
        whyNot =
            u"The lock file \"%1\" cannot be created, so a run cannot make sure it is the only one."_s.arg(
                QDir::toNativeSeparators(m_path));
    return false;
}

void RunLock::unlock()
{
    m_lock.unlock();
}

bool RunLock::isFree(const QString& path)
{
    if (!QFileInfo::exists(path))
        return true;
    QLockFile probe(path);
    probe.setStaleLockTime(0);
    if (!probe.tryLock(0))
        return false;
    probe.unlock();
    return true;
}
