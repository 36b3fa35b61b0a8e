#pragma once

#include "GoogleEndpoints.h"
#include "RunPlan.h"
#include "SubmissionRequest.h"

#include <QHash>
#include <QList>
#include <QString>
#include <QStringList>

#include <chrono>

struct PromoSite;

// What a run needs to submit sitemaps to Search Console: where, for which property, with which
// access token; or why it cannot (nobody signed in, no property), which each of its requests
// then says.
struct SearchConsoleAccess
{
    GoogleEndpoints endpoints;
    QString property;
    QString token;
    QString problem;
};

// A Search Console site in a run: one request per sitemap of the website (those robots.txt
// names, else /sitemap.xml), each a PUT with the profile's token, its status read back.
namespace SearchConsoleRun {

// Replaces the item of each site at `rows` with one per sitemap; a sitemap submitted within the
// cool-down stays back, and the summary says so.
void expand(RunPlan& plan, const QList<qsizetype>& rows, const QStringList& sitemaps,
            const QHash<QString, qint64>& submittedAt, qint64 now, std::chrono::seconds coolDown);

TransferRequest request(const SearchConsoleAccess& access, const PromoSite& site, const QString& sitemap);

} // namespace SearchConsoleRun
