#pragma once

#include <QString>
#include <QStringList>

#include <optional>

// One profile's regular run: which sites, in which mode, when, from which home. The profile is
// named by its slot, which a rename leaves alone and a command line takes without quoting. The
// submit command that the timer or cron starts carries all of it, so the schedule is read back
// from what is installed and kept nowhere else.
struct Schedule
{
    enum class Sites { All, Type, Named };

    int slot = 0;
    Sites sites = Sites::All;
    QString type;      // with Sites::Type: "engine" or "list"
    QStringList names; // with Sites::Named, in the order given
    bool changedPages = false;
    QString calendar; // as the user wrote it, in systemd's calendar syntax
    QString home;     // absolute; empty for the program's default

    // The words after the program: a quiet submit that also keeps its output in schedule.log.
    QStringList submitArguments() const;
    // The schedule a submit command line of ours describes, or none for a line we did not write.
    static std::optional<Schedule> fromSubmitArguments(const QStringList& arguments);

    // "every site", "the engines", "Alpha, Beta"; "changed pages" or "the profile's address".
    QString sitesText() const;
    QString modeText() const;
};
