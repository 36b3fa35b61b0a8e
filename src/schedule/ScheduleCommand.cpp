#include "ScheduleCommand.h"

#include "Calendar.h"
#include "ExitStatus.h"
#include "JsonOutput.h"
#include "ProfileStore.h"
#include "RunJournal.h"
#include "ScheduleDetails.h"
#include "ScheduleKeeper.h"
#include "SettingsStore.h"
#include "TimeText.h"

#include <QDir>
#include <QIODevice>
#include <QJsonArray>
#include <QProcess>

using namespace Qt::StringLiterals;

namespace {

void print(QIODevice& device, const QString& text)
{
    device.write(text.toUtf8());
}

QJsonObject jsonOf(const ScheduleKeeper::Kept& kept, const QString& title, const QDateTime& next,
                   const std::optional<RunJournal::RunSummary>& last, const QString& keeper)
{
    const Schedule& schedule = kept.schedule;
    QJsonObject object{{u"slot"_s, schedule.slot},
                       {u"profile"_s, title.isEmpty() ? QJsonValue() : QJsonValue(title)},
                       {u"mode"_s, schedule.changedPages ? u"changed pages"_s : u"address"_s},
                       {u"calendar"_s, schedule.calendar},
                       {u"next_run"_s, JsonOutput::moment(next.isValid() ? next.toMSecsSinceEpoch() : 0)},
                       {u"kept_in"_s, keeper},
                       {u"where"_s, kept.where},
                       {u"program"_s, kept.program},
                       {u"home"_s, schedule.home.isEmpty() ? QJsonValue() : QJsonValue(schedule.home)},
                       {u"log"_s, ScheduleDetails::logFile(schedule, kept.program)}};
    switch (schedule.sites) {
    case Schedule::Sites::All:
        object.insert(u"selection"_s, u"all"_s);
        break;
    case Schedule::Sites::Type:
        object.insert(u"selection"_s, u"type"_s);
        object.insert(u"type"_s, schedule.type);
        break;
    case Schedule::Sites::Named:
        object.insert(u"selection"_s, u"sites"_s);
        object.insert(u"sites"_s, QJsonArray::fromStringList(schedule.names));
        break;
    }
    QJsonValue lastRun;
    if (last)
        lastRun = QJsonObject{{u"started_at"_s, JsonOutput::moment(last->startedAt)},
                              {u"ended_at"_s, JsonOutput::moment(last->endedAt)},
                              {u"state"_s, last->state},
                              {u"requests"_s, last->requests},
                              {u"succeeded"_s, last->succeeded},
                              {u"failed"_s, last->failed}};
    object.insert(u"last_run"_s, lastRun);
    return object;
}

class Command
{
public:
    Command(const ScheduleCommand::Options& options, SettingsStore& settings, QIODevice& out, QIODevice& err)
        : m_options(options), m_settings(settings), m_out(out), m_err(err),
          m_keeper(ScheduleKeeper::forThisMachine())
    {}

    int run()
    {
        switch (m_options.action) {
        case ScheduleCommand::Action::Set:
            return set();
        case ScheduleCommand::Action::List:
            return list();
        case ScheduleCommand::Action::Remove:
            return remove();
        case ScheduleCommand::Action::Run:
            return runNow();
        }
        return ExitStatus::badUsage;
    }

private:
    // The slot the command names, by title or by number.
    std::optional<int> slot()
    {
        if (m_options.profileSlot != 0)
            return m_options.profileSlot;
        QString error;
        const std::optional<int> found = ProfileStore(m_settings).findNamed(m_options.profileTitle, error);
        if (!found)
            print(m_err, error + u'\n');
        return found;
    }

    std::optional<ScheduleKeeper::Kept> keptFor(int slot, int& status)
    {
        std::optional<ScheduleKeeper::Kept> kept;
        QString error;
        if (!m_keeper->find(slot, kept, error)) {
            print(m_err, error + u'\n');
            status = ExitStatus::failure;
            return std::nullopt;
        }
        if (kept)
            return kept;
        print(m_err, u"%1 has no schedule.\n"_s.arg(
                         ScheduleDetails::profileText(ProfileStore(m_settings).titleIn(slot), slot)));
        status = ExitStatus::badUsage;
        return std::nullopt;
    }

    int set()
    {
        const std::optional<int> found = slot();
        if (!found)
            return ExitStatus::badUsage;
        Schedule schedule = m_options.schedule;
        schedule.slot = *found;
        const Calendar::Reading reading = ScheduleDetails::reading(*m_keeper, schedule.calendar, 5);
        if (!reading.problem.isEmpty()) {
            print(m_err,
                  u"The calendar \"%1\" cannot be used: %2\n"_s.arg(schedule.calendar, reading.problem));
            return ExitStatus::badUsage;
        }
        QString error;
        if (!m_keeper->set(schedule, m_options.program, error)) {
            print(m_err, error + u'\n');
            return ExitStatus::failure;
        }
        QString text = u"%1: %2, %3, at \"%4\", kept as a %5.\n"_s.arg(
            ScheduleDetails::profileText(ProfileStore(m_settings).titleIn(schedule.slot), schedule.slot),
            schedule.sitesText(), schedule.modeText(), schedule.calendar, m_keeper->kind());
        QStringList next;
        for (const QDateTime& moment : reading.nextRuns)
            next << TimeText::written(moment.toMSecsSinceEpoch());
        text += u"Next runs: %1\n"_s.arg(next.isEmpty() ? u"none"_s : next.join(u", "_s));
        text += u"Each run's output goes to %1 %2.\n"_s.arg(
            QDir::toNativeSeparators(ScheduleDetails::logFile(schedule, m_options.program)),
            m_keeper->outputNote(schedule.slot));
        if (ScheduleDetails::waitsForLogin(*m_keeper))
            text += ScheduleDetails::lingerAdvice + u' ' + ScheduleDetails::lingerCommand + u'\n';
        print(m_out, text);
        return ExitStatus::success;
    }

    int list()
    {
        QList<ScheduleKeeper::Kept> kept;
        QString error;
        if (!m_keeper->list(kept, error)) {
            print(m_err, error + u'\n');
            return ExitStatus::failure;
        }
        QJsonArray schedules;
        QString text;
        for (const ScheduleKeeper::Kept& each : std::as_const(kept)) {
            const Schedule& schedule = each.schedule;
            const QString title = ProfileStore(m_settings).titleIn(schedule.slot);
            const QList<QDateTime> next = Calendar::read(schedule.calendar, 1).nextRuns;
            const std::optional<RunJournal::RunSummary> last =
                ScheduleDetails::lastRun(schedule, each.program, title);
            schedules << jsonOf(each, title, next.value(0), last,
                                m_keeper->kind() == u"crontab"_s ? u"crontab"_s : u"systemd"_s);
            text += u"%1: %2, %3, at \"%4\"\n"_s.arg(ScheduleDetails::profileText(title, schedule.slot),
                                                     schedule.sitesText(), schedule.modeText(),
                                                     schedule.calendar);
            text += u"  Next run: %1\n"_s.arg(
                next.isEmpty() ? u"none"_s : TimeText::written(next.first().toMSecsSinceEpoch()));
            text += u"  Last run: %1\n"_s.arg(ScheduleDetails::lastRunText(last, &TimeText::written));
            text += u"  Kept in: %1; its output in %2\n"_s.arg(
                each.where, QDir::toNativeSeparators(ScheduleDetails::logFile(schedule, each.program)));
        }
        if (m_options.json)
            JsonOutput::printDocument(m_out, {{u"schedules"_s, schedules}});
        else if (kept.isEmpty())
            print(m_out, u"No schedules. orvanta schedule set makes one.\n"_s);
        else
            print(m_out, text);
        return ExitStatus::success;
    }

    int remove()
    {
        const std::optional<int> found = slot();
        if (!found)
            return ExitStatus::badUsage;
        bool existed = false;
        QString error;
        if (!m_keeper->remove(*found, existed, error)) {
            print(m_err, error + u'\n');
            return ExitStatus::failure;
        }
        const QString who = ScheduleDetails::profileText(ProfileStore(m_settings).titleIn(*found), *found);
        if (!existed) {
            print(m_err, u"%1 has no schedule.\n"_s.arg(who));
            return ExitStatus::badUsage;
        }
        print(m_out, u"%1 has no schedule any more.\n"_s.arg(who));
        return ExitStatus::success;
    }

    // As the timer or cron would: the same program with the same words, its output passed on.
    int runNow()
    {
        const std::optional<int> found = slot();
        if (!found)
            return ExitStatus::badUsage;
        int status = ExitStatus::success;
        const std::optional<ScheduleKeeper::Kept> kept = keptFor(*found, status);
        if (!kept)
            return status;
        QProcess process;
        process.setProcessChannelMode(QProcess::ForwardedChannels);
        process.start(kept->program, kept->schedule.submitArguments());
        if (!process.waitForStarted()) {
            print(m_err,
                  u"The scheduled program \"%1\" cannot be started: %2. Set the schedule again.\n"_s.arg(
                      kept->program, process.errorString()));
            return ExitStatus::failure;
        }
        process.waitForFinished(-1);
        return process.exitStatus() == QProcess::NormalExit ? process.exitCode() : ExitStatus::failure;
    }

    const ScheduleCommand::Options& m_options;
    SettingsStore& m_settings;
    QIODevice& m_out;
    QIODevice& m_err;
    std::unique_ptr<ScheduleKeeper> m_keeper;
};

} // namespace

int ScheduleCommand::run(const Options& options, SettingsStore& settings, QIODevice& out, QIODevice& err)
{
    return Command(options, settings, out, err).run();
}
