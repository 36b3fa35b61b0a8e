#pragma once

#include <QList>
#include <QString>

#include <memory>
#include <vector>

class PageList;

// The pages one IndexNow request carries: a piece of a sitemap's changed pages, or of the pages
// that are gone and announced as removed.
struct PageBatch
{
    std::shared_ptr<const PageList> pages;
    // The ledger's id of each of those pages, 0 for a page it does not hold yet: the recorder
    // fills it in when it adds the page.
    std::shared_ptr<std::vector<qint64>> ids;
    QList<qsizetype> indices;
    int number = 1; // of count, for the site's caption
    int count = 1;
    QString endpoint;     // the IndexNow address the ledger records the pages under
    bool removal = false; // the pages are announced as removed
    // By index in `pages`: the short fingerprint each page is sent with (0: none); null when no
    // content was read.
    std::shared_ptr<const std::vector<qint64>> fingerprints = nullptr;
};

// One request of a run: a site of the catalogue, for a batch of pages or for the profile's
// own address.
struct WorkItem
{
    QString site;
    std::shared_ptr<const PageBatch> batch; // none: the profile's address, as a classic run sends
    qsizetype row = -1; // the site's catalogue row when known, so it need not be looked up by name
    QString sitemap{};  // Search Console: the sitemap submitted

    QString caption() const
    {
        if (!sitemap.isEmpty())
            return QStringLiteral("%1 (%2)").arg(site, sitemap);
        if (!batch || batch->count == 1)
            return site;
        return QStringLiteral("%1 (batch %2 of %3)").arg(site).arg(batch->number).arg(batch->count);
    }
};
