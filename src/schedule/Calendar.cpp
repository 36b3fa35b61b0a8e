#include "Calendar.h"

#include "ExternalProgram.h"

#include <QRegularExpression>
#include <QTimeZone>

using namespace Qt::StringLiterals;

namespace {

const QStringList weekdays{u"Sun"_s, u"Mon"_s, u"Tue"_s, u"Wed"_s, u"Thu"_s, u"Fri"_s, u"Sat"_s};

// "Mon 2026-12-14 06:00:00 UTC": the date and time, in the zone systemd-analyze printed in.
QDateTime momentOf(const QString& text, bool utc)
{
    const QStringList words = text.split(u' ', Qt::SkipEmptyParts);
    if (words.size() < 3)
        return {};
    QDateTime moment = QDateTime::fromString(words.at(1) + u' ' + words.at(2), u"yyyy-MM-dd HH:mm:ss"_s);
    if (!moment.isValid())
        return {};
    if (utc || words.value(3) == u"UTC"_s)
        moment.setTimeZone(QTimeZone::utc());
    return moment.toUTC();
}

Calendar::Reading readBySystemd(const QString& calendar, int runs)
{
    Calendar::Reading reading;
    const ExternalProgram::Finished analyzed = ExternalProgram::run(
        u"systemd-analyze"_s, {u"calendar"_s, u"--iterations=%1"_s.arg(runs), u"--"_s, calendar});
    if (!analyzed.succeeded()) {
        reading.problem = analyzed.complaint();
        if (reading.problem.isEmpty())
            reading.problem = u"systemd-analyze could not read the calendar."_s;
        return reading;
    }
    for (const QString& line : QString::fromLocal8Bit(analyzed.out).split(u'\n')) {
        const QString key = line.section(u':', 0, 0).trimmed();
        const QString value = line.section(u':', 1).trimmed();
        if (key == u"Normalized form"_s)
            reading.normalized = value;
        else if (key == u"Next elapse"_s || key.startsWith(u"Iter. #"_s))
            reading.nextRuns << momentOf(value, false);
        else if (key == u"(in UTC)"_s && !reading.nextRuns.isEmpty())
            reading.nextRuns.last() = momentOf(value, true);
    }
    reading.nextRuns.removeAll(QDateTime());
    return reading;
}

// The forms a crontab user writes, normalized as systemd-analyze would.
QString normalizedHere(const QString& calendar)
{
    const QString text = calendar.simplified();
    if (text == u"daily"_s)
        return u"*-*-* 00:00:00"_s;
    if (text == u"weekly"_s)
        return u"Mon *-*-* 00:00:00"_s;
    if (text == u"hourly"_s)
        return u"*-*-* *:00:00"_s;
    static const QRegularExpression form(
        u"^(?:([A-Za-z]{3}(?:(?:,|\\.\\.)[A-Za-z]{3})*) )?(?:\\*-\\*-\\* )?(\\d{1,2}):(\\d{2})(?::00)?$"_s);
    const QRegularExpressionMatch match = form.match(text);
    if (!match.hasMatch() || match.captured(2).toInt() > 23 || match.captured(3).toInt() > 59)
        return {};
    const QString days = match.captured(1);
    return (days.isEmpty() ? QString() : days + u' ') +
           u"*-*-* %1:%2:00"_s.arg(match.captured(2).toInt(), 2, 10, QChar(u'0')).arg(match.captured(3));
}

// A crontab field from systemd's: "06", "*", "00/15", "06,18".
std::optional<QString> cronField(const QString& field, int highest)
{
    if (field == u"*"_s)
        return field;
    QStringList items;
    for (const QString& item : field.split(u',')) {
        static const QRegularExpression number(u"^(\\d{1,2})(?:/(\\d{1,2}))?$"_s);
        const QRegularExpressionMatch match = number.match(item);
        if (!match.hasMatch() || match.captured(1).toInt() > highest)
            return std::nullopt;
        items << (match.captured(2).isEmpty() ? QString::number(match.captured(1).toInt())
                                              : u"%1-%2/%3"_s.arg(match.captured(1).toInt())
                                                    .arg(highest)
                                                    .arg(match.captured(2).toInt()));
    }
    return items.join(u',');
}

std::optional<QString> cronDays(const QString& days)
{
    if (days.isEmpty())
        return u"*"_s;
    QStringList items;
    for (const QString& item : days.split(u',')) {
        const QStringList ends = item.split(u".."_s);
        const qsizetype first = weekdays.indexOf(ends.first());
        const qsizetype last = weekdays.indexOf(ends.last());
        if (first < 0 || last < 0 || ends.size() > 2)
            return std::nullopt;
        // Sunday ends a range as 7, as cron allows.
        items << (ends.size() == 1 ? QString::number(first)
                                   : u"%1-%2"_s.arg(first).arg(last == 0 ? 7 : last));
    }
    return items.join(u',');
}

bool cronMatches(const QString& field, int value)
{
    if (field == u"*"_s)
        return true;
    for (const QString& item : field.split(u',')) {
        const int step = item.contains(u'/') ? item.section(u'/', 1).toInt() : 1;
        const QString range = item.section(u'/', 0, 0);
        const int low = range.section(u'-', 0, 0).toInt();
        const int high = range.contains(u'-') ? range.section(u'-', 1).toInt() : low;
        if (value >= low && value <= high && (value - low) % step == 0)
            return true;
    }
    return false;
}

} // namespace

Calendar::Reading Calendar::read(const QString& calendar, int runs)
{
    if (calendar.trimmed().isEmpty())
        return {u"No calendar given."_s, {}, {}};
    if (ExternalProgram::installed(u"systemd-analyze"_s))
        return readBySystemd(calendar, runs);
    Reading reading;
    reading.normalized = normalizedHere(calendar);
    QString reason;
    const std::optional<QString> fields = cronFields(reading.normalized, reason);
    if (reading.normalized.isEmpty() || !fields) {
        reading.problem = u"Without systemd-analyze, Orvanta reads \"daily\", \"weekly\", \"hourly\", "
                          u"\"HH:MM\" and \"Mon,Thu HH:MM\"; \"%1\" is none of them."_s.arg(calendar);
        return reading;
    }
    reading.nextRuns = cronRuns(*fields, QDateTime::currentDateTime(), runs);
    return reading;
}

std::optional<QString> Calendar::cronFields(const QString& normalized, QString& reason)
{
    static const QRegularExpression form(u"^(?:([A-Za-z.,]+) )?\\*-\\*-\\* ([0-9*/,]+):([0-9*/,]+):00$"_s);
    const QRegularExpressionMatch match = form.match(normalized);
    const std::optional<QString> days = match.hasMatch() ? cronDays(match.captured(1)) : std::nullopt;
    const std::optional<QString> hours = match.hasMatch() ? cronField(match.captured(2), 23) : std::nullopt;
    const std::optional<QString> minutes = match.hasMatch() ? cronField(match.captured(3), 59) : std::nullopt;
    if (!days || !hours || !minutes) {
        reason = u"crontab holds a time of day on every day or on days of the week, in the machine's own "
                 u"time zone, to the minute; \"%1\" is not one."_s.arg(normalized);
        return std::nullopt;
    }
    return u"%1 %2 * * %3"_s.arg(*minutes, *hours, *days);
}

QList<QDateTime> Calendar::cronRuns(const QString& fields, const QDateTime& after, int runs)
{
    const QStringList field = fields.split(u' ');
    QList<QDateTime> found;
    QDateTime moment = after.toLocalTime();
    moment.setTime(QTime(moment.time().hour(), moment.time().minute()));
    // A fortnight of minutes holds the next run of any form cronFields makes.
    for (int minute = 0; minute < 14 * 24 * 60 && found.size() < runs; ++minute) {
        moment = moment.addSecs(60);
        const int weekday = moment.date().dayOfWeek() % 7;
        if (cronMatches(field.value(0), moment.time().minute()) &&
            cronMatches(field.value(1), moment.time().hour()) &&
            (cronMatches(field.value(4), weekday) || (weekday == 0 && cronMatches(field.value(4), 7))))
            found << moment.toUTC();
    }
    return found;
}
