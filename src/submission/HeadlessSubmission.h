#pragma once

#include <QDateTime>
#include <QString>
#include <QStringList>

#include <chrono>
#include <functional>

class QTextStream;
class SettingsStore;

// A submission run without a window: the same composition, five slots, one-second dispatcher
// and log as a run from the window, for a stored profile and a selection made on the command
// line. One line per finished site goes to `out`.
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

int run(const Options& options, SettingsStore& settings, QTextStream& out, QTextStream& err);

} // namespace HeadlessSubmission
