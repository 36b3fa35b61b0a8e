#include "ScheduleEditor.h"

#include "ProfileStore.h"
#include "ScheduleDetails.h"
#include "TimeText.h"

#include <QDir>
#include <QRegularExpression>
#include <QTimer>

using namespace Qt::StringLiterals;

namespace {
const QStringList weekdays{u"Mon"_s, u"Tue"_s, u"Wed"_s, u"Thu"_s, u"Fri"_s, u"Sat"_s, u"Sun"_s};
}

QString ScheduleEditor::Timing::calendar() const
{
    const QString at = time.toString(u"HH:mm"_s);
    switch (kind) {
    case Kind::Daily:
        return u"*-*-* "_s + at;
    case Kind::Weekly:
        return weekdays.value(weekday - 1) + u" *-*-* "_s + at;
    case Kind::Own:
        break;
    }
    return own.trimmed();
}

ScheduleEditor::Timing ScheduleEditor::Timing::of(const QString& calendar)
{
    static const QRegularExpression simple(
        u"^(?:(Mon|Tue|Wed|Thu|Fri|Sat|Sun) )?\\*-\\*-\\* (\\d\\d):(\\d\\d)$"_s);
    const QRegularExpressionMatch match = simple.match(calendar.trimmed());
    const QTime time =
        match.hasMatch() ? QTime(match.captured(2).toInt(), match.captured(3).toInt()) : QTime();
    if (!time.isValid())
        return Timing{Kind::Own, 1, QTime(6, 0), calendar};
    if (match.captured(1).isEmpty())
        return Timing{Kind::Daily, 1, time, {}};
    return Timing{Kind::Weekly, int(weekdays.indexOf(match.captured(1))) + 1, time, {}};
}

ScheduleEditor::ScheduleEditor(SettingsStore& settings, QString program, QString home, int slot,
                               std::unique_ptr<ScheduleKeeper> keeper, QObject* parent)
    : QObject(parent), m_settings(settings), m_program(std::move(program)), m_home(std::move(home)),
      m_slot(slot), m_keeper(std::move(keeper)), m_calendarDue(new QTimer(this))
{
    // systemd-analyze is asked once the typing pauses, not for every key.
    m_calendarDue->setSingleShot(true);
    m_calendarDue->setInterval(300);
    connect(m_calendarDue, &QTimer::timeout, this, &ScheduleEditor::readCalendar);
    reload();
}

ScheduleEditor::~ScheduleEditor() = default;

QString ScheduleEditor::profileText() const
{
    return ScheduleDetails::profileText(ProfileStore(m_settings).titleIn(m_slot), m_slot);
}

QString ScheduleEditor::keptText() const
{
    if (!m_listError.isEmpty())
        return u"The schedules cannot be read: %1"_s.arg(m_listError);
    if (!m_kept)
        return u"No schedule yet."_s;
    const Schedule& schedule = m_kept->schedule;
    const QList<QDateTime> next = Calendar::read(schedule.calendar, 1).nextRuns;
    const QString title = ProfileStore(m_settings).titleIn(m_slot);
    return u"Now: %1, %2, at \"%3\", kept as %4.\nNext run: %5\nLast run: %6\nIts output goes to %7 %8."_s
        .arg(schedule.sitesText(), schedule.modeText(), schedule.calendar, m_kept->where,
             next.isEmpty() ? u"none"_s : TimeText::shown(next.first().toMSecsSinceEpoch()),
             ScheduleDetails::lastRunText(ScheduleDetails::lastRun(schedule, m_kept->program, title),
                                          &TimeText::shown),
             QDir::toNativeSeparators(ScheduleDetails::logFile(schedule, m_kept->program)),
             m_keeper->outputNote(m_slot));
}

bool ScheduleEditor::waitsForLogin() const
{
    return ScheduleDetails::waitsForLogin(*m_keeper);
}

void ScheduleEditor::chooseCalendar(const QString& calendar)
{
    m_calendar = calendar;
    m_calendarDue->start();
}

bool ScheduleEditor::set(Schedule schedule, QString& error)
{
    schedule.slot = m_slot;
    schedule.home = m_home;
    const Calendar::Reading reading = ScheduleDetails::reading(*m_keeper, schedule.calendar, 1);
    if (!reading.problem.isEmpty()) {
        error = u"The calendar \"%1\" cannot be used: %2"_s.arg(schedule.calendar, reading.problem);
        return false;
    }
    const bool kept = m_keeper->set(schedule, m_program, error);
    reload();
    return kept;
}

bool ScheduleEditor::remove(QString& error)
{
    bool found = false;
    const bool removed = m_keeper->remove(m_slot, found, error);
    reload();
    return removed;
}

void ScheduleEditor::readCalendar()
{
    const Calendar::Reading reading = ScheduleDetails::reading(*m_keeper, m_calendar, 5);
    if (!reading.problem.isEmpty()) {
        emit calendarRead(u"This calendar cannot be used: %1"_s.arg(reading.problem), false);
        return;
    }
    QStringList runs;
    for (const QDateTime& moment : reading.nextRuns)
        runs << TimeText::shown(moment.toMSecsSinceEpoch());
    emit calendarRead(runs.isEmpty() ? u"It names no time to come."_s : runs.join(u'\n'), !runs.isEmpty());
}

void ScheduleEditor::reload()
{
    m_listError.clear();
    m_keeper->find(m_slot, m_kept, m_listError);
    emit keptChanged();
}
