#pragma once

#include <QString>

class QIODevice;
class SettingsStore;

// "Is it working?" without the window: for each profile (or one), its website, the last run and
// how it ended, the last failed one and why, what each IndexNow site did with the website's
// pages, and its Google sign-in with what Google last said of its sitemaps.
namespace StatusCommand {

struct Options
{
    QString profileTitle; // empty: every profile
    QString catalogueFile;
    bool bundledCatalogue = false; // the home holds none: the program's own is read
    QString historyFile;
    QString runLockFile;
    QString secretsDirectory;
    bool json = false;
};

// 0 when every profile's last run succeeded, 1 when one failed (or was cut short), 2 when it
// cannot say: no run recorded yet, an unknown profile, a history that cannot be read.
int run(const Options& options, SettingsStore& settings, QIODevice& out, QIODevice& err);

} // namespace StatusCommand
