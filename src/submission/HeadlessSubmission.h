#pragma once

#include <QDateTime>
#include <QString>
#include <QStringList>

#include <chrono>
#include <functional>
#include <optional>

class QIODevice;
class SettingsStore;

// The command line's front end of the submission session: a stored profile and a selection
// made on the command line, over the profile's address or a sitemap's changed pages. It only
// prints: a line per finished request to `out`, the totals at the end, messages to `err`.
namespace HeadlessSubmission {

enum class Selection { All, Type, Sites };

struct Options
{
    QString profileTitle;
    Selection selection = Selection::All;
    QString type;      // with Selection::Type: "engine" or "list"
    QStringList sites; // with Selection::Sites, in the order given
    bool dryRun = false;
    // Only the totals, failures and errors: what a cron mail needs every night.
    bool quiet = false;
    // The line a run begins with in a log: when, which program, which command line.
    QString commandLine;
    // Instead of the profile's address, the sitemap's pages that changed since they were last
    // sent to each selected IndexNow site.
    bool changedPages = false;
    bool checkPages = true; // each page fetched first, and announced only when it can be indexed
    bool baseline = false;  // every page recorded as announced, nothing sent
    QString sitemap;        // the sitemap to read; empty: the ones robots.txt names, else /sitemap.xml
    std::chrono::seconds coolDown{600};
    std::chrono::seconds checkTime{600}; // how long the page check may take; 0 for no bound
    // For this run, in place of the profile's: what tells a changed page (a name of
    // ChangeSignals), and the pages announced (path patterns, blank-separated).
    std::optional<QString> changeSignal;
    std::optional<QString> include;
    std::optional<QString> exclude;
    QString catalogueFile;
    bool bundledCatalogue = false; // the home holds none: the program's own is read
    QString logFile;
    QString historyFile;
    QString runLockFile;
    std::chrono::milliseconds transferDeadline = std::chrono::seconds(20);
    std::function<QDateTime()> clock = &QDateTime::currentDateTime;
    // Where a JSON object a line tells what the run does (--jsonl), or none.
    QIODevice* events = nullptr;
    // Where to say how far the reading and checking are (a terminal), or none.
    QIODevice* progress = nullptr;
};

// The exit status, as ExitStatus names them.
int run(const Options& options, SettingsStore& settings, QIODevice& out, QIODevice& err);

} // namespace HeadlessSubmission
