#pragma once

#include <QString>

class QIODevice;
class SettingsStore;

// The command line's "coverage" command: what became of each page of a stored profile's website
// at each IndexNow site, from the history alone (nothing is fetched). Text or CSV to `out`,
// messages to `err`.
namespace CoverageCommand {

struct Options
{
    QString profileTitle;
    QString site; // one catalogue site; empty: every site the pages were announced to
    bool csv = false;
    bool json = false;
    QString catalogueFile;
    QString historyFile;
};

// The exit status, as ExitStatus names them.
int run(const Options& options, SettingsStore& settings, QIODevice& out, QIODevice& err);

} // namespace CoverageCommand
