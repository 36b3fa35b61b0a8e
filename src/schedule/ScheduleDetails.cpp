#include "ScheduleDetails.h"

#include "AppPaths.h"
#include "HistoryDatabase.h"
#include "HistoryReport.h"
#include "ScheduleKeeper.h"

#include <QDir>
#include <QFileInfo>

using namespace Qt::StringLiterals;

namespace {

AppPaths pathsOf(const Schedule& schedule, const QString& program)
{
    return schedule.home.isEmpty() ? AppPaths::forProgramIn(QFileInfo(program).absolutePath())
                                   : AppPaths::forHome(schedule.home, QFileInfo(program).absolutePath());
}

} // namespace

Calendar::Reading ScheduleDetails::reading(const ScheduleKeeper& keeper, const QString& calendar, int runs)
{
    Calendar::Reading reading = Calendar::read(calendar, runs);
    if (reading.problem.isEmpty())
        reading.problem = keeper.refusalOf(reading);
    return reading;
}

QString ScheduleDetails::profileText(const QString& title, int slot)
{
    return title.isEmpty() ? u"Slot %1 (no profile there now)"_s.arg(slot)
                           : u"Profile \"%1\" (slot %2)"_s.arg(title).arg(slot);
}

QString ScheduleDetails::logFile(const Schedule& schedule, const QString& program)
{
    return QFileInfo(pathsOf(schedule, program).runLogFile()).absoluteDir().filePath(u"schedule.log"_s);
}

std::optional<RunJournal::RunSummary> ScheduleDetails::lastRun(const Schedule& schedule,
                                                               const QString& program, const QString& title)
{
    QString error;
    const std::unique_ptr<HistoryDatabase> database = HistoryDatabase::open(
        pathsOf(schedule, program).historyFile(), HistoryDatabase::Mode::OpenExisting, error);
    if (!database || title.isEmpty())
        return std::nullopt;
    const QList<RunJournal::RunSummary> runs = RunJournal(*database).runs(title, 1);
    return runs.isEmpty() ? std::nullopt : std::optional(runs.first());
}

QString ScheduleDetails::lastRunText(const std::optional<RunJournal::RunSummary>& run,
                                     QString (*moment)(qint64))
{
    return run ? u"%1, %2: %3"_s.arg(moment(run->startedAt), run->state, HistoryReport::outcomeText(*run))
               : u"none yet"_s;
}

bool ScheduleDetails::waitsForLogin(const ScheduleKeeper& keeper)
{
    if (keeper.kind() != u"systemd user timer"_s)
        return false;
    const QString user = qEnvironmentVariable("USER");
    return user.isEmpty() || !QFileInfo::exists(u"/var/lib/systemd/linger/"_s + user);
}
