#include "BenchMemory.h"

#include <QFile>

using namespace Qt::StringLiterals;

qint64 BenchMemory::residentKiB(const char* field)
{
    return residentKiB(0, field);
}

qint64 BenchMemory::residentKiB(qint64 pid, const char* field)
{
    QFile status(pid == 0 ? u"/proc/self/status"_s : u"/proc/%1/status"_s.arg(pid));
    if (!status.open(QIODevice::ReadOnly))
        return -1;
    for (const QByteArray& line : status.readAll().split('\n')) {
        if (line.startsWith(field))
            return line.mid(int(qstrlen(field))).trimmed().split(' ').first().toLongLong();
    }
    return -1;
}

void BenchMemory::resetPeak()
{
    QFile clear(u"/proc/self/clear_refs"_s);
    if (clear.open(QIODevice::WriteOnly))
        clear.write("5");
}
