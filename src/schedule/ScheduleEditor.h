#pragma once

#include "ScheduleKeeper.h"

#include <QObject>
#include <QTime>

#include <memory>
#include <optional>

class QTimer;
class SettingsStore;

// What the window's schedule dialog does, without a screen: the profile's schedule as it is
// kept, the next runs of the calendar being chosen (read a moment after the typing stops, as the
// timer would read it), and setting or removing the schedule.
class ScheduleEditor final : public QObject
{
    Q_OBJECT

public:
    // The three ways the dialog offers to say when.
    struct Timing
    {
        enum class Kind { Daily, Weekly, Own };

        Kind kind = Kind::Daily;
        int weekday = 1; // Qt's: Monday is 1
        QTime time{6, 0};
        QString own;

        QString calendar() const;
        // The way a kept calendar is best shown: "*-*-* 06:00" is every day at 06:00, anything
        // the first two cannot say is a calendar of one's own.
        static Timing of(const QString& calendar);
    };

    // `home` is where the scheduled runs keep their files, empty for the program's default.
    ScheduleEditor(SettingsStore& settings, QString program, QString home, int slot,
                   std::unique_ptr<ScheduleKeeper> keeper, QObject* parent = nullptr);
    ~ScheduleEditor() override;

    QString profileText() const;
    const std::optional<ScheduleKeeper::Kept>& kept() const { return m_kept; }
    // The schedule kept now, its next and last run and where its output goes; or that there is none.
    QString keptText() const;
    // Whether the runs wait for the user to log in (a user timer without lingering).
    bool waitsForLogin() const;

    // Reads the calendar's next runs shortly, once no other calendar followed it.
    void chooseCalendar(const QString& calendar);

    // Keeps the schedule for this profile and home; false with the reason when it could not.
    bool set(Schedule schedule, QString& error);
    bool remove(QString& error);

signals:
    // The next runs as they will be shown, one a line, or why the calendar cannot be used.
    void calendarRead(const QString& text, bool usable);
    void keptChanged();

private:
    void readCalendar();
    void reload();

    SettingsStore& m_settings;
    QString m_program;
    QString m_home;
    int m_slot;
    std::unique_ptr<ScheduleKeeper> m_keeper;
    QTimer* m_calendarDue;
    QString m_calendar;
    std::optional<ScheduleKeeper::Kept> m_kept;
    QString m_listError;
};
