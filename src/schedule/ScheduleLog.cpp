#include "ScheduleLog.h"

#include <QDir>
#include <QSaveFile>

using namespace Qt::StringLiterals;

bool ScheduleLog::open(QFile& log, QString& error)
{
    if (log.size() > cutAbove) {
        QFile old(log.fileName());
        QSaveFile cut(log.fileName());
        if (old.open(QIODevice::ReadOnly) && old.seek(old.size() - keptWhenCut) &&
            cut.open(QIODevice::WriteOnly)) {
            QByteArray kept = old.readAll();
            kept.remove(0, kept.indexOf('\n') + 1);
            cut.write(kept);
            cut.commit();
        }
    }
    if (log.open(QIODevice::WriteOnly | QIODevice::Append))
        return true;
    error =
        u"\"%1\" cannot be written: %2"_s.arg(QDir::toNativeSeparators(log.fileName()), log.errorString());
    return false;
}

CopiedOutput::CopiedOutput(QIODevice& first, QIODevice& second) : m_first(first), m_second(second)
{
    open(QIODevice::WriteOnly | QIODevice::Unbuffered);
}

qint64 CopiedOutput::writeData(const char* data, qint64 size)
{
    m_second.write(data, size);
    return m_first.write(data, size);
}
