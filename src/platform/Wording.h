#pragma once

#include <QString>

// "1 page", "2 pages": a count with its noun, in the one way every message of the program says it.
inline QString counted(qint64 count, const QString& one, const QString& many)
{
    return (count == 1 ? one : many).arg(count);
}
