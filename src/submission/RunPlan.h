#pragma once

#include "ChangedPages.h"
#include "PageLedger.h"
#include "PageVerdict.h"
#include "PathPatterns.h"
#include "WorkItem.h"

#include <QByteArray>
#include <QList>
#include <QString>
#include <QStringList>

#include <chrono>
#include <memory>
#include <vector>

class PageList;

// What a run will send, decided before it starts: the requests in their order and, for a run
// over a sitemap's changed pages, what was found, what stays back and why, a line each; and page
// by page, what was left out.
struct RunPlan
{
    struct Site
    {
        QString name;
        QString indexNowEndpoint; // empty for a site that takes no pages
        qsizetype row = -1;       // in the catalogue
        PagePlan pages;           // what changed for it
    };
    // A page the plan says something of: why it is left out, or why it is announced as removed.
    struct PageNote
    {
        QString address;
        QString reason;
        QString detail;
        bool asBefore = false; // left out at the last check for the same reason
    };

    QString error;         // why no run can be planned: the sitemaps or the ledger cannot be read
    QList<WorkItem> items; // the requests, in the run's order
    QStringList summary;   // what was found and what goes out
    QString note;          // what the front end left aside (a site it skipped), kept with the run
    bool changedPages = false;
    bool cancelled = false; // given up before it was made
    QByteArray website;     // the origin the ledger knows the website by
    QList<Site> sites;      // the selection, with what changed for each IndexNow site
    // The sitemaps' pages and, for each, its id in the ledger (0 while it has none).
    std::shared_ptr<const PageList> pages;
    std::shared_ptr<std::vector<qint64>> pageIds;
    // The pages to check before anything goes (the changed ones and those gone from the
    // sitemaps), their ids, and once checked what each one answered.
    std::shared_ptr<PageList> checkedPages;
    std::shared_ptr<std::vector<qint64>> checkedIds;
    std::shared_ptr<const std::vector<PageVerdict>> verdicts;
    // What tells a changed page, and of each of the sitemaps' pages sent, the short form of the
    // fingerprint it was sent with (0: none), when content is read.
    ChangeSignal changeSignal = ChangeSignal::LastModified;
    std::shared_ptr<std::vector<qint64>> pageFingerprints;
    std::vector<PageLedger::LastCheck> checkedBefore; // of each page to check: what an earlier run found
    QList<PageNote> leftOut;
    QList<qsizetype> excluded; // of the sitemaps' pages, those the profile does not announce
    QList<PageNote> removed;   // announced as removed in this run
    qsizetype deferred = 0;    // pages the check did not come to: sent and checked another time
    QString deferredBecause;
    // Of the pages judged by their content, how many there are and how many were read this time.
    qsizetype contentPages = 0;
    qsizetype contentRead = 0;

    // A run over changed pages in which no IndexNow site has a page to send.
    bool nothingToSend() const { return changedPages && error.isEmpty() && items.isEmpty(); }
};

// The planning of a run over changed pages, without widgets and on any thread: each selected
// IndexNow site gets the pages changed for it (and with checks, of those only the ones that can
// be indexed, and the ones that are gone as removed), in batches of at most 10,000; every other
// selected site its request for the profile's address, as a classic run sends it.
namespace RunPlanner {

struct Input
{
    QList<RunPlan::Site> sites; // the selection, in the run's order
    std::shared_ptr<const PageList> pages;
    QByteArray website;     // the website's origin, which the ledger knows it by
    QString sitemapSummary; // what reading the sitemaps found
    QString historyFile;    // the ledger to plan against
    qint64 now = 0;
    std::chrono::seconds coolDown{600};
    bool checkPages = true;
    ChangeSignal changeSignal = ChangeSignal::LastModified;
    PathPatterns patterns; // which pages the profile announces
};

// First, against the ledger: what changed for each site, and which pages to check.
RunPlan compare(const Input& input);
// Then the requests and the summary: from what each checked page answered, or with no
// verdicts (no checks) from every changed page as it stands.
void decide(RunPlan& plan, std::shared_ptr<const std::vector<PageVerdict>> verdicts);
// The summary's line for the pages the check did not come to.
QString deferredLine(const RunPlan& plan);
// The summary's line for how far reading the pages judged by their content has come.
QString roundLine(const RunPlan& plan);

} // namespace RunPlanner
