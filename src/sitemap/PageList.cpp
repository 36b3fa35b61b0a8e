#include "PageList.h"

#include <QDateTime>
#include <QHashFunctions>
#include <QTimeZone>

using namespace Qt::StringLiterals;

QByteArrayView PageList::url(qsizetype index) const
{
    const size_t begin = index == 0 ? 0 : m_ends[size_t(index) - 1];
    return QByteArrayView(m_text.data() + begin, qsizetype(m_ends[size_t(index)] - begin));
}

qsizetype PageList::slotOf(QByteArrayView url, size_t hash) const
{
    const size_t mask = m_lookup.size() - 1;
    for (size_t slot = hash & mask;; slot = (slot + 1) & mask) {
        const quint32 entry = m_lookup[slot];
        if (entry == 0 || this->url(qsizetype(entry) - 1) == url)
            return qsizetype(slot);
    }
}

void PageList::grow()
{
    std::vector<quint32> old = std::move(m_lookup);
    m_lookup.assign(std::max<size_t>(1024, old.size() * 2), 0);
    for (const quint32 entry : old) {
        if (entry != 0)
            m_lookup[size_t(slotOf(url(qsizetype(entry) - 1), qHash(url(qsizetype(entry) - 1))))] = entry;
    }
}

bool PageList::add(QByteArrayView url, qint64 lastModified)
{
    if ((m_times.size() + 1) * 2 > m_lookup.size()) // at most half full: lookups stay short
        grow();
    const qsizetype slot = slotOf(url, qHash(url));
    if (m_lookup[size_t(slot)] != 0)
        return false;
    m_text.append(url.data(), size_t(url.size()));
    m_ends.push_back(quint32(m_text.size()));
    m_times.push_back(lastModified);
    m_lookup[size_t(slot)] = quint32(m_times.size());
    return true;
}

qint64 PageList::parseTime(QStringView text)
{
    const QString trimmed = text.trimmed().toString();
    if (trimmed.isEmpty())
        return unknownTime;
    // A year, or a year and month, stand for their first day.
    QString full = trimmed;
    if (full.size() == 4)
        full += u"-01-01"_s;
    else if (full.size() == 7)
        full += u"-01"_s;
    QDateTime time = QDateTime::fromString(full, Qt::ISODateWithMs);
    if (!time.isValid())
        return unknownTime;
    if (full.size() == 10)
        time.setTimeZone(QTimeZone::utc()); // a date alone is read as UTC, not as local time
    return time.toMSecsSinceEpoch();
}
