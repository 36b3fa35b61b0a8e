#include "TimeText.h"

#include <QDateTime>
#include <QLocale>

namespace {

// Straight from UTC: going through local time asks the system's zone files once per moment.
QDateTime utc(qint64 msecs)
{
    return QDateTime::fromMSecsSinceEpoch(msecs, Qt::UTC);
}

// The date of a day counted from 1970-01-01 (proleptic Gregorian, as QDate reckons it).
struct CivilDate
{
    int year;
    int month;
    int day;
};

CivilDate civilDate(qint64 days)
{
    days += 719468; // from 0000-03-01, so that the leap day ends each 400 years' era
    const qint64 era = (days >= 0 ? days : days - 146096) / 146097;
    const qint64 dayOfEra = days - era * 146097;
    const qint64 yearOfEra = (dayOfEra - dayOfEra / 1460 + dayOfEra / 36524 - dayOfEra / 146096) / 365;
    const qint64 dayOfYear = dayOfEra - (365 * yearOfEra + yearOfEra / 4 - yearOfEra / 100);
    const qint64 shiftedMonth = (5 * dayOfYear + 2) / 153; // March is 0
    const int month = int(shiftedMonth < 10 ? shiftedMonth + 3 : shiftedMonth - 9);
    return {int(yearOfEra + era * 400 + (month <= 2 ? 1 : 0)), month,
            int(dayOfYear - (153 * shiftedMonth + 2) / 5 + 1)};
}

char* putDigits(char* at, int value, int width)
{
    for (int digit = width - 1; digit >= 0; --digit, value /= 10)
        at[digit] = char('0' + value % 10);
    return at + width;
}

} // namespace

QString TimeText::shown(qint64 msecs)
{
    if (msecs == 0)
        return QString();
    // With its zone, so that a moment shown beside one written in UTC is not taken for it.
    const QDateTime local = utc(msecs).toLocalTime();
    return QLocale().toString(local, QLocale::ShortFormat) + u' ' + local.timeZoneAbbreviation();
}

QString TimeText::shownDate(qint64 msecs)
{
    return msecs == 0 ? QString() : QLocale().toString(utc(msecs).toLocalTime().date(), QLocale::ShortFormat);
}

QString TimeText::written(qint64 msecs)
{
    QByteArray text;
    appendWritten(text, msecs);
    return QString::fromLatin1(text);
}

void TimeText::appendWritten(QByteArray& text, qint64 msecs)
{
    if (msecs == 0)
        return;
    // By hand: QDateTime's own writing costs a formatted print per part, which an export of a
    // million rows pays a million times.
    constexpr qint64 msecsPerDay = 86400000;
    const qint64 days = msecs / msecsPerDay - (msecs % msecsPerDay < 0 ? 1 : 0);
    const CivilDate date = civilDate(days);
    if (date.year < 1 || date.year > 9999) { // as QDateTime writes them, year 0 not at all
        text += utc(msecs).toString(Qt::ISODate).toLatin1();
        return;
    }
    const int seconds = int((msecs - days * msecsPerDay) / 1000);
    char written[20];
    char* at = putDigits(written, date.year, 4);
    *at++ = '-';
    at = putDigits(at, date.month, 2);
    *at++ = '-';
    at = putDigits(at, date.day, 2);
    *at++ = 'T';
    at = putDigits(at, seconds / 3600, 2);
    *at++ = ':';
    at = putDigits(at, seconds / 60 % 60, 2);
    *at++ = ':';
    at = putDigits(at, seconds % 60, 2);
    *at++ = 'Z';
    text.append(written, at - written);
}

QString TimeText::writtenDate(qint64 msecs)
{
    return msecs == 0 ? QString() : utc(msecs).date().toString(Qt::ISODate);
}

QString TimeText::duration(qint64 msecs)
{
    const qint64 seconds = (msecs + 500) / 1000;
    if (seconds < 60)
        return QStringLiteral("%1 s").arg(seconds);
    const qint64 minutes = (seconds + 30) / 60;
    if (minutes < 60)
        return QStringLiteral("%1 min").arg(minutes);
    return minutes % 60 == 0 ? QStringLiteral("%1 h").arg(minutes / 60)
                             : QStringLiteral("%1 h %2 min").arg(minutes / 60).arg(minutes % 60);
}
