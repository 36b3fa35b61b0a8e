#include "TimeText.h"

#include <QDateTime>
#include <QLocale>

namespace {

// Straight from UTC: going through local time asks the system's zone files once per moment.
QDateTime utc(qint64 msecs)
{
    return QDateTime::fromMSecsSinceEpoch(msecs, Qt::UTC);
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
    return msecs == 0 ? QString() : utc(msecs).toString(Qt::ISODate);
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
