#pragma once

#include <QDateTime>
#include <QList>
#include <QString>

#include <optional>

// A schedule's calendar in systemd's syntax ("daily", "Mon *-*-* 06:00", "*-*-* 05:30"), read by
// systemd-analyze where it is installed: the same reading the timer gets. Without it (a machine
// with cron alone) the forms that crontab can hold are read here.
namespace Calendar {

struct Reading
{
    QString problem;           // empty when the calendar was understood
    QString normalized;        // "Mon *-*-* 06:00:00"
    QList<QDateTime> nextRuns; // in UTC, soonest first
};

Reading read(const QString& calendar, int runs);

// The five time fields of a crontab line for a normalized calendar, or none with the reason
// crontab cannot hold it.
std::optional<QString> cronFields(const QString& normalized, QString& reason);

// The next `runs` moments after `after` that five crontab fields name, in the local time cron
// reads them in.
QList<QDateTime> cronRuns(const QString& fields, const QDateTime& after, int runs);

} // namespace Calendar
