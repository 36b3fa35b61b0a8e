#include "PackedIds.h"

QByteArray PackedIds::pack(const QList<qint64>& ascending)
{
    QByteArray packed;
    packed.reserve(ascending.size() * 2);
    qint64 previous = 0;
    for (const qint64 id : ascending) {
        quint64 gap = quint64(id - previous);
        previous = id;
        do {
            const auto group = char(gap & 0x7F);
            gap >>= 7;
            packed += gap ? char(group | 0x80) : group;
        } while (gap);
    }
    return packed;
}

QList<qint64> PackedIds::unpack(QByteArrayView packed)
{
    QList<qint64> ids;
    qint64 previous = 0;
    quint64 gap = 0;
    int shift = 0;
    for (const char byte : packed) {
        gap |= quint64(byte & 0x7F) << shift;
        shift += 7;
        if (byte & 0x80)
            continue;
        previous += qint64(gap);
        ids.append(previous);
        gap = 0;
        shift = 0;
    }
    return ids;
}
