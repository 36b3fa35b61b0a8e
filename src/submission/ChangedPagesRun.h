#pragma once

#include "ChangedPages.h"
#include "WorkItem.h"

#include <QList>
#include <QString>

#include <chrono>
#include <memory>

class HistoryStore;
class PageList;
class SiteDatabase;

// The requests of a run over a sitemap's changed pages: each selected IndexNow site gets the
// pages changed for it, in batches of at most 10,000; every other selected site its request for
// the profile's address, as a classic run sends it.
struct ChangedPagesRun
{
    struct IndexNowSite
    {
        QString site;
        PagePlan plan;
        int batches = 0;
    };

    QList<WorkItem> items;
    QList<IndexNowSite> indexNowSites;

    static ChangedPagesRun make(SiteDatabase& catalogue, const QList<qsizetype>& rows,
                                const std::shared_ptr<const PageList>& pages, HistoryStore& store,
                                const QString& profile, qint64 now,
                                std::chrono::seconds coolDown = ChangedPages::defaultCoolDown);

    // A line per IndexNow site: how many pages go, in how many batches, and how many stay back.
    QStringList summary() const;
};
