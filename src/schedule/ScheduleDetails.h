#pragma once

#include "Calendar.h"
#include "RunJournal.h"
#include "Schedule.h"

#include <QString>

#include <optional>

class ScheduleKeeper;

// What the command line and the window both say about a schedule: the calendar as its keeper
// takes it, where its runs write, how its last run went, and whether it runs while the user is
// away.
namespace ScheduleDetails {

// systemd's reading of the calendar, with the keeper's refusal as its problem where it cannot
// keep it (crontab has no form for "*-*-01 06:00").
Calendar::Reading reading(const ScheduleKeeper& keeper, const QString& calendar, int runs);

// "Profile "Shop" (slot 2)", or the slot alone when its profile is gone.
QString profileText(const QString& title, int slot);

QString logFile(const Schedule& schedule, const QString& program);

// The profile's last run in the schedule's home; none before its first.
std::optional<RunJournal::RunSummary> lastRun(const Schedule& schedule, const QString& program,
                                              const QString& title);
// "<when>, completed: 3 succeeded", the moment written by `moment`, or "none yet".
QString lastRunText(const std::optional<RunJournal::RunSummary>& run, QString (*moment)(qint64));

// A user timer waits for its user to log in unless lingering is on; crontab runs regardless.
bool waitsForLogin(const ScheduleKeeper& keeper);
inline const QString lingerCommand = QStringLiteral("loginctl enable-linger");
inline const QString lingerAdvice = QStringLiteral(
    "A user timer runs only while you are logged in; for it to run when you are not, turn on lingering:");

} // namespace ScheduleDetails
