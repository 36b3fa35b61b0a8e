#pragma once

#include "Calendar.h"
#include "Schedule.h"

#include <QList>
#include <QString>

#include <memory>
#include <optional>

// Where the system keeps a schedule and starts its runs: a systemd user timer, or a block of the
// user's crontab. Each reads back what it installed, so a schedule is listed as it will run.
class ScheduleKeeper
{
public:
    struct Kept
    {
        Schedule schedule;
        QString program; // the orvanta the run starts
        QString where;   // "systemd user timer orvanta-3.timer", "crontab"
    };

    virtual ~ScheduleKeeper() = default;

    // A systemd user timer where the user has a running user manager, else crontab. The
    // environment's ORVANTA_SCHEDULER=systemd or crontab chooses instead.
    static std::unique_ptr<ScheduleKeeper> forThisMachine();

    virtual QString kind() const = 0;
    // Why a calendar systemd reads cannot be kept here; empty when it can.
    virtual QString refusalOf(const Calendar::Reading& reading) const = 0;
    virtual bool list(QList<Kept>& kept, QString& error) const = 0;
    // The slot's schedule in `found` (none when it has none); false with the reason when the
    // schedules cannot be read.
    bool find(int slot, std::optional<Kept>& found, QString& error) const;
    // Writes or rewrites the slot's schedule and has the system take it up at once.
    virtual bool set(const Schedule& schedule, const QString& program, QString& error) = 0;
    // False with a reason when it could not; `found` says whether there was one to remove.
    virtual bool remove(int slot, bool& found, QString& error) = 0;
    // Where a run's output goes besides schedule.log.
    virtual QString outputNote(int slot) const = 0;
};

// orvanta-<slot>.service and orvanta-<slot>.timer in $XDG_CONFIG_HOME/systemd/user.
class SystemdTimers final : public ScheduleKeeper
{
public:
    static QString unitDirectory();
    static QString serviceText(const Schedule& schedule, const QString& program);
    static QString timerText(const Schedule& schedule);

    QString kind() const override { return QStringLiteral("systemd user timer"); }
    QString refusalOf(const Calendar::Reading&) const override { return {}; }
    bool list(QList<Kept>& kept, QString& error) const override;
    bool set(const Schedule& schedule, const QString& program, QString& error) override;
    bool remove(int slot, bool& found, QString& error) override;
    QString outputNote(int slot) const override;
};

// A block of the user's crontab between "# orvanta: begin" and "# orvanta: end"; every other
// line stays exactly as it was.
class CrontabBlock final : public ScheduleKeeper
{
public:
    static inline const QString begin = QStringLiteral("# orvanta: begin");
    static inline const QString end = QStringLiteral("# orvanta: end");

    // The crontab with the block's entries replaced by `entries` (the block goes when empty).
    static QString withBlock(const QString& crontab, const QStringList& entries);
    static QStringList blockOf(const QString& crontab);
    static QString entryText(const Schedule& schedule, const QString& program, const QString& fields);

    QString kind() const override { return QStringLiteral("crontab"); }
    QString refusalOf(const Calendar::Reading& reading) const override;
    bool list(QList<Kept>& kept, QString& error) const override;
    bool set(const Schedule& schedule, const QString& program, QString& error) override;
    bool remove(int slot, bool& found, QString& error) override;
    QString outputNote(int) const override { return QStringLiteral("and in cron's mail"); }

private:
    bool read(QString& crontab, QString& error) const;
    bool write(const QString& crontab, QString& error);
};
