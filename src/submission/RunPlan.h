#pragma once

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
// over a sitemap's changed pages, what was found and why pages stay back, a line each.
struct RunPlan
{
    QString error;         // why no run can be planned: the sitemaps or the ledger cannot be read
    QList<WorkItem> items; // the requests, in the run's order
    QStringList summary;   // what was found and what goes out
    bool changedPages = false;
    // The sitemap's pages and, for each, its id in the ledger (0 while it has none): the
    // recorder fills in the ids of the pages it adds.
    std::shared_ptr<const PageList> pages;
    std::shared_ptr<std::vector<qint64>> pageIds;

    // A run over changed pages in which no IndexNow site has a page to send.
    bool nothingToSend() const { return changedPages && error.isEmpty() && items.isEmpty(); }
};

// The planning of a run over changed pages, without widgets and on any thread: each selected
// IndexNow site gets the pages changed for it, in batches of at most 10,000; every other
// selected site its request for the profile's address, as a classic run sends it.
namespace RunPlanner {

struct Site
{
    QString name;
    QString indexNowEndpoint; // empty for a site that takes no pages
    qsizetype row = -1;       // in the catalogue
};

struct Input
{
    QList<Site> sites; // the selection, in the run's order
    std::shared_ptr<const PageList> pages;
    QByteArray host;        // the website's, which the pages are on
    QString sitemapSummary; // what reading the sitemaps found
    QString historyFile;    // the ledger to plan against
    qint64 now = 0;
    std::chrono::seconds coolDown{600};
};

RunPlan plan(const Input& input);

} // namespace RunPlanner
