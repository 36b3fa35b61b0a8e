#pragma once

#include <QDateTime>
#include <QString>
#include <QStringList>

#include <chrono>
#include <functional>

class QIODevice;
class SettingsStore;

// The command line's front end of a submission run: the same engine as the window's, for a
// stored profile and a selection made on the command line. One line per finished site goes to
// `out`, and a line with the totals at the end.
namespace HeadlessSubmission {

enum class Selection { All, Type, Sites };

struct Options
{
    QString profileTitle;
    Selection selection = Selection::All;
    QString type;      // with Selection::Type: "engine" or "list"
    QStringList sites; // with Selection::Sites, in the order given
    bool dryRun = false;
    QString catalogueFile;
    QString logFile;
    std::chrono::milliseconds transferDeadline = std::chrono::seconds(20);
    std::function<QDateTime()> clock = &QDateTime::currentDateTime;
};

// Exit statuses: every site succeeded, some failed, or the command could not run as asked.
constexpr int allSucceeded = 0;
constexpr int someFailed = 1;
constexpr int badUsage = 2;

// Lines go to `out` and messages to `err`, as UTF-8.
int run(const Options& options, SettingsStore& settings, QIODevice& out, QIODevice& err);

} // namespace HeadlessSubmission
