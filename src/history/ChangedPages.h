#pragma once

#include "ChangeSignal.h"
#include "PageList.h"

#include <QByteArray>
#include <QList>
#include <QSet>
#include <QString>

#include <chrono>
#include <vector>

class PageLedger;
class PathPatterns;

// Which pages of a sitemap go to an endpoint: those never sent to it, those changed since
// (another last change than the one sent) and those it was told are gone that are listed again,
// but none sent to it within the cool-down, whatever changed. A page whose content is the signal
// (see ChangeSignal) and that the endpoint accepted before is a candidate: whether it changed is
// known once it is read. The first run sends everything. Dates from a
// clock that was wrong cannot pin a page: a last change in the future counts as now, a recorded one in the
// future lets any other date through, and a recorded time of sending in the future holds nothing back.
struct PagePlan
{
    QString error;          // the ledger could not be read: nothing is known, nothing planned
    QList<qsizetype> pages; // to send, in sitemap order
    int found = 0;
    int changed = 0;     // new or changed, and going out
    int coolingDown = 0; // new or changed, but sent too recently
    int unchanged = 0;
    int sentInTheFuture = 0;  // recorded as sent at a time still to come
    int changedByLastmod = 0; // of `changed`, pages sent before whose lastmod moved
    int excluded = 0;         // listed, but the profile does not announce them
    struct Candidate
    {
        qsizetype page;
        qint64 accepted;  // the short fingerprint of the version the endpoint accepted; 0: not known
        bool coolingDown; // sent within the cool-down: held back even if it changed
    };
    QList<Candidate> byContent;
    // Pages the endpoint accepted that the sitemaps no longer list (and that were not announced
    // as removed yet), with their ids in the ledger: removed, perhaps.
    QList<QByteArray> gone;
    QList<qint64> goneIds;
    // Of the pages to send, those the endpoint was told are gone: listed again, they go again
    // once they can be indexed, and are not announced as removed twice.
    QSet<qsizetype> announcedRemoved;
};

namespace ChangedPages {

constexpr std::chrono::seconds defaultCoolDown{600};
// The most an IndexNow request may carry.
constexpr qsizetype batchSize = 10000;
// How far ahead of this machine's clock another's may be before a date counts as wrong.
constexpr qint64 clockSkewMs = 24 * 3600 * 1000;

// `ids` receives, for every page the ledger already knows, its id there (0 for the others).
// Pages the profile's `patterns` do not admit are neither sent nor announced as removed.
PagePlan plan(const PageList& pages, PageLedger& ledger, const QByteArray& website, const QString& endpoint,
              qint64 now, std::chrono::seconds coolDown, std::vector<qint64>& ids,
              ChangeSignal signal = ChangeSignal::LastModified, const PathPatterns* patterns = nullptr);
// Whether a page with that last change is judged by its content.
inline bool byContent(ChangeSignal signal, qint64 lastModified)
{
    return signal == ChangeSignal::Content ||
           (signal == ChangeSignal::Auto && lastModified == PageList::unknownTime);
}

// The pages whose last change lies in the future, and the latest such change.
struct FutureDates
{
    int pages = 0;
    qint64 latest = 0;
};
FutureDates datesInTheFuture(const PageList& pages, qint64 now);

// The pages in pieces of at most `size`, in order.
QList<QList<qsizetype>> batches(const QList<qsizetype>& pages, qsizetype size = batchSize);

} // namespace ChangedPages
