#pragma once

#include <QLockFile>
#include <QString>

// One run at a time per home: the window and a scheduled command, or two scheduled commands,
// would otherwise both plan before either records, send the same pages twice and write one run
// log together. Held by a lock file beside the log; a lock left by a process that died is taken
// over.
class RunLock
{
public:
    explicit RunLock(const QString& path);
    ~RunLock();
    RunLock(const RunLock&) = delete;
    RunLock& operator=(const RunLock&) = delete;

    // False, with a sentence saying who holds it, when another process does.
    bool tryLock(QString& whyNot);
    void unlock();
    bool isLocked() const { return m_lock.isLocked(); }

    // Whether no living process holds the lock at that path.
    static bool isFree(const QString& path);

private:
    QString m_path;
    QLockFile m_lock;
};
