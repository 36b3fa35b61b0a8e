#pragma once

#include <QList>
#include <QString>

#include <chrono>

class HistoryStore;
class PageList;

// Which pages of a sitemap go to an endpoint: those never sent to it, and those changed since
// (a later last change than the one sent), but none sent to it within the cool-down, whatever
// changed. The first run sends everything.
struct PagePlan
{
    QList<qsizetype> pages; // in sitemap order
    int found = 0;
    int changed = 0;     // new or changed, and going out
    int coolingDown = 0; // new or changed, but sent too recently
    int unchanged = 0;
};

namespace ChangedPages {

constexpr std::chrono::seconds defaultCoolDown{600};
// The most an IndexNow request may carry.
constexpr qsizetype batchSize = 10000;

PagePlan plan(const PageList& pages, HistoryStore& store, const QString& profile, const QString& endpoint,
              qint64 now, std::chrono::seconds coolDown = defaultCoolDown);

// The pages in pieces of at most `size`, in order.
QList<QList<qsizetype>> batches(const QList<qsizetype>& pages, qsizetype size = batchSize);

} // namespace ChangedPages
