#include "PageList.h"

#include <QHashFunctions>

#include <algorithm>
#include <utility>

QByteArrayView PageList::url(qsizetype index) const
{
    const size_t begin = index == 0 ? 0 : m_ends[size_t(index) - 1];
    return QByteArrayView(m_text.data() + begin, qsizetype(m_ends[size_t(index)] - begin));
}

qsizetype PageList::slotOf(QByteArrayView url, quint32 hash) const
{
    const size_t mask = m_lookup.size() - 1;
    for (size_t slot = hash & mask;; slot = (slot + 1) & mask) {
        const quint64 entry = m_lookup[slot];
        if (entry == 0 || (quint32(entry >> 32) == hash && this->url(qsizetype(quint32(entry)) - 1) == url))
            return qsizetype(slot);
    }
}

void PageList::grow()
{
    std::vector<quint64> old = std::move(m_lookup);
    m_lookup.assign(std::max<size_t>(1024, old.size() * 2), 0);
    const size_t mask = m_lookup.size() - 1;
    for (const quint64 entry : old) {
        if (entry == 0)
            continue;
        size_t slot = size_t(entry >> 32) & mask; // every address is there once: the first free slot
        while (m_lookup[slot] != 0)
            slot = (slot + 1) & mask;
        m_lookup[slot] = entry;
    }
}

bool PageList::add(QByteArrayView url, qint64 lastModified)
{
    return add(url, lastModified, quint32(qHash(url)));
}

void PageList::addSoon(QByteArrayView url, qint64 lastModified)
{
    if (m_pendingSize == pendingCount)
        addOldestPending();
    const auto hash = quint32(qHash(url));
    if (!m_lookup.empty())
        __builtin_prefetch(&m_lookup[hash & (m_lookup.size() - 1)]);
    Pending& pending = m_pending[(m_pendingFirst + m_pendingSize++) % pendingCount];
    pending.url.assign(url.data(), size_t(url.size()));
    pending.lastModified = lastModified;
    pending.hash = hash;
}

void PageList::addOldestPending()
{
    const Pending& oldest = m_pending[m_pendingFirst];
    if (!add(QByteArrayView(oldest.url.data(), qsizetype(oldest.url.size())), oldest.lastModified,
             oldest.hash))
        ++m_pendingDuplicates;
    m_pendingFirst = (m_pendingFirst + 1) % pendingCount;
    --m_pendingSize;
}

qsizetype PageList::addPending()
{
    while (m_pendingSize > 0)
        addOldestPending();
    return std::exchange(m_pendingDuplicates, 0);
}

bool PageList::add(QByteArrayView url, qint64 lastModified, quint32 hash)
{
    if ((m_times.size() + 1) * 2 > m_lookup.size()) // at most half full: lookups stay short
        grow();
    const qsizetype slot = slotOf(url, hash);
    if (m_lookup[size_t(slot)] != 0)
        return false;
    m_text.append(url.data(), size_t(url.size()));
    m_ends.push_back(quint32(m_text.size()));
    m_times.push_back(lastModified);
    m_lookup[size_t(slot)] = (quint64(hash) << 32) | quint64(m_times.size());
    return true;
}

qsizetype PageList::find(QByteArrayView url) const
{
    if (m_lookup.empty())
        return -1;
    const quint64 entry = m_lookup[size_t(slotOf(url, quint32(qHash(url))))];
    return qsizetype(quint32(entry)) - 1;
}

namespace {

// Days from 1970-01-01 to a date of the proleptic Gregorian calendar.
qint64 daysSinceEpoch(int year, int month, int day)
{
    year -= month <= 2;
    const qint64 era = (year >= 0 ? year : year - 399) / 400;
    const int yearOfEra = int(year - era * 400);
    const int dayOfYear = (153 * (month + (month > 2 ? -3 : 9)) + 2) / 5 + day - 1;
    const int dayOfEra = yearOfEra * 365 + yearOfEra / 4 - yearOfEra / 100 + dayOfYear;
    return era * 146097 + dayOfEra - 719468;
}

int daysInMonth(int year, int month)
{
    static constexpr int days[] = {31, 28, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31};
    const bool leap = (year % 4 == 0 && year % 100 != 0) || year % 400 == 0;
    return month == 2 && leap ? 29 : days[month - 1];
}

// Reads `digits` decimal digits at `at`; -1 when they are not there.
int number(QByteArrayView text, qsizetype at, int digits)
{
    if (at + digits > text.size())
        return -1;
    int value = 0;
    for (qsizetype i = at; i < at + digits; ++i) {
        if (text[i] < '0' || text[i] > '9')
            return -1;
        value = value * 10 + (text[i] - '0');
    }
    return value;
}

} // namespace

qint64 PageList::parseTime(QByteArrayView text)
{
    text = text.trimmed();
    const int year = number(text, 0, 4);
    int month = 1;
    int day = 1;
    if (year < 0)
        return unknownTime;
    qsizetype at = 4;
    if (at < text.size()) {
        month = text[at] == '-' ? number(text, at + 1, 2) : -1;
        at += 3;
    }
    if (at < text.size() && month > 0) {
        day = text[at] == '-' ? number(text, at + 1, 2) : -1;
        at += 3;
    }
    if (month < 1 || month > 12 || day < 1 || day > daysInMonth(year, month))
        return unknownTime;
    qint64 msecs = daysSinceEpoch(year, month, day) * 86400000;
    if (at >= text.size())
        return msecs;
    const int hour = text[at] == 'T' ? number(text, at + 1, 2) : -1;
    const int minute = at + 3 < text.size() && text[at + 3] == ':' ? number(text, at + 4, 2) : -1;
    if (hour < 0 || hour > 23 || minute < 0 || minute > 59)
        return unknownTime;
    msecs += (hour * 60 + minute) * 60000;
    at += 6;
    if (at < text.size() && text[at] == ':') {
        const int second = number(text, at + 1, 2);
        if (second < 0 || second > 60)
            return unknownTime;
        msecs += std::min(second, 59) * 1000;
        at += 3;
        if (at < text.size() && text[at] == '.') {
            int scale = 100;
            for (++at; at < text.size() && text[at] >= '0' && text[at] <= '9'; ++at, scale /= 10)
                msecs += (text[at] - '0') * scale;
        }
    }
    if (at == text.size() || (text[at] == 'Z' && at + 1 == text.size()))
        return msecs; // no zone: UTC, as a date alone
    const int sign = text[at] == '+' ? 1 : text[at] == '-' ? -1 : 0;
    const int zoneHours = number(text, at + 1, 2);
    const bool colon = at + 3 < text.size() && text[at + 3] == ':';
    const int zoneMinutes = number(text, at + (colon ? 4 : 3), 2);
    if (sign == 0 || zoneHours < 0 || zoneHours > 23 || zoneMinutes < 0 || zoneMinutes > 59 ||
        at + (colon ? 6 : 5) != text.size())
        return unknownTime;
    return msecs - sign * (zoneHours * 60 + zoneMinutes) * 60000;
}
