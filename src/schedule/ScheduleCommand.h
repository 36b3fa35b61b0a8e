#pragma once

#include "Schedule.h"

#include <QString>

class QIODevice;
class SettingsStore;

// orvanta schedule set|list|remove|run: a profile's regular run, kept by a systemd user timer
// or the user's crontab, from the command line.
namespace ScheduleCommand {

enum class Action { Set, List, Remove, Run };

struct Options
{
    Action action = Action::List;
    QString profileTitle; // or:
    int profileSlot = 0;
    Schedule schedule; // Set: all but the slot
    bool json = false;
    QString program; // the orvanta the runs start
};

int run(const Options& options, SettingsStore& settings, QIODevice& out, QIODevice& err);

} // namespace ScheduleCommand
