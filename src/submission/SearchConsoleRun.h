#pragma once

#include "RunPlan.h"
#include "SubmissionRequest.h"

#include <QHash>
#include <QList>
#include <QString>
#include <QStringList>

#include <chrono>

class SearchConsole;

// What a run needs to submit sitemaps to Search Console: the profile's client, for which
// property; or why it cannot (nobody signed in, no property), which each of its requests then
// says.
struct SearchConsoleAccess
{
    SearchConsole* console = nullptr;
    QString property;
    QString problem;
};

// A Search Console site in a run: one request per sitemap of the website (those robots.txt
// names, else /sitemap.xml), each submitted with the profile's sign-in, its status read back.
namespace SearchConsoleRun {

// Replaces the item of each site at `rows` with one per sitemap; a sitemap submitted within the
// cool-down stays back, and the summary says so.
void expand(RunPlan& plan, const QList<qsizetype>& rows, const QStringList& sitemaps,
            const QHash<QString, qint64>& submittedAt, qint64 now, std::chrono::seconds coolDown);

TransferRequest request(const SearchConsoleAccess& access, const QString& sitemap);

} // namespace SearchConsoleRun
