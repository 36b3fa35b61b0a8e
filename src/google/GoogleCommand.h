#pragma once

#include <QString>
#include <QUrl>

#include <chrono>
#include <functional>

class QIODevice;
class SettingsStore;

// The command line's "google" command: sign a profile in to Search Console (with the user's own
// OAuth client in a browser, or with a service account's key file), sign it out, read its
// sitemaps' status back, and inspect the index status of pages announced, within the day's
// quota. Lines go to `out` and messages to `err`, as UTF-8; the exit status as ExitStatus names
// them.
namespace GoogleCommand {

enum class Action { Login, Logout, Status, Inspect };

struct Options
{
    Action action = Action::Status;
    QString profileTitle;
    QString clientFile;         // login: the OAuth client's JSON file
    QString serviceAccountFile; // login: a service account's JSON key file
    int limit = -1;             // inspect: at most this many pages; -1 as the quota allows
    QString historyFile;
    QString runLockFile;      // status and inspect write the history: one at a time per home, as runs
    QString secretsDirectory; // where the secrets file goes without a secret store
    std::function<void(const QUrl&)> openBrowser;                // login: shows the sign-in page, if it can
    std::chrono::milliseconds patience{std::chrono::minutes(5)}; // login: how long to wait for the browser
    quint16 port = 0;  // login: the loopback port Google's answer comes to; 0 for one the system picks
    bool json = false; // status: one JSON document
};

int run(const Options& options, SettingsStore& settings, QIODevice& out, QIODevice& err);

} // namespace GoogleCommand
