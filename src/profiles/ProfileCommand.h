#pragma once

#include <QString>
#include <QStringList>

class QIODevice;
class SettingsStore;

// The profiles without the window: the same twenty slots of the settings file, the same rules
// as the profile page (ProfileEditor), and a profile as JSON to move it between machines.
namespace ProfileCommand {

enum class Action { List, Show, New, Set, Delete, Export, Import };

struct Options
{
    Action action = Action::List;
    QString title;           // the profile by its title; Import takes it from the file
    QStringList assignments; // Set: KEY=VALUE, the keys of the settings file
    QString file;            // Import: the JSON file, or "-" for standard input
    bool replace = false;    // Import: overwrite a profile of the same title
    bool json = false;       // List, Show: one JSON document
};

// The keys a profile has in the settings file that the commands read and write, in file order.
QStringList keys();

int run(const Options& options, SettingsStore& settings, QIODevice& out, QIODevice& err);

} // namespace ProfileCommand
