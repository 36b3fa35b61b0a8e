#include "ChangedPages.h"

#include "PageLedger.h"
#include "PageList.h"
#include "PathPatterns.h"
#include "WebAddress.h"

#include <algorithm>

PagePlan ChangedPages::plan(const PageList& pages, PageLedger& ledger, const QByteArray& website,
                            const QString& endpoint, qint64 now, std::chrono::seconds coolDown,
                            std::vector<qint64>& ids, ChangeSignal signal, const PathPatterns* patterns)
{
    enum class State : quint8 { New, Unchanged, Changed, CoolingDown, Candidate, Excluded };
    std::vector<State> states(size_t(pages.size()), State::New);
    const auto admitted = [patterns](QByteArrayView url) {
        return !patterns || patterns->admits(url.sliced(WebAddress::originOf(url).size()));
    };
    if (patterns && !patterns->isEmpty()) {
        for (qsizetype page = 0; page < pages.size(); ++page) {
            if (!admitted(pages.url(page)))
                states[size_t(page)] = State::Excluded;
        }
    }
    ids.assign(size_t(pages.size()), 0);
    const qint64 coolDownMs = qint64(coolDown.count()) * 1000;
    const qint64 future = now + clockSkewMs;
    PagePlan plan;
    bool anyByContent = false;
    for (qsizetype page = 0; page < pages.size() && !anyByContent; ++page)
        anyByContent = byContent(signal, pages.lastModified(page));
    qsizetype next = 0; // the page after the one found last: the ledger's ids mostly follow the sitemaps
    const bool read = ledger.forEachPage(
        website, endpoint,
        [&](QByteArrayView url, qint64 id, const std::optional<PageLedger::Sent>& sent) {
            const qsizetype page = pages.find(url, next);
            next = page >= 0 ? page + 1 : next;
            if (page < 0) {
                if (sent && !sent->removal && admitted(url)) { // accepted once, listed no more
                    plan.gone.append(url.toByteArray());
                    plan.goneIds.append(id);
                }
                return;
            }
            ids[size_t(page)] = id;
            if (!sent || states[size_t(page)] == State::Excluded)
                return;
            const qint64 lastModified = pages.lastModified(page);
            State& state = states[size_t(page)];
            const bool sentInTheFuture = sent->sentAt > future;
            plan.sentInTheFuture += sentInTheFuture ? 1 : 0;
            bool changed = false;
            if (sent->removal) { // told it was gone, and listed again
                changed = true;
                plan.announcedRemoved.insert(page);
            } else if (byContent(signal, lastModified)) {
                state = State::Candidate;
                plan.byContent.append(
                    {page, sent->fingerprint, !sentInTheFuture && now - sent->sentAt < coolDownMs});
                return;
            } else if (lastModified == PageList::unknownTime || lastModified == sent->lastModified)
                changed = false;
            else if (sent->lastModified == PageList::unknownTime || sent->lastModified > future)
                changed = true; // dated at last, or a wrong date corrected
            else
                changed = std::min(lastModified, now) > sent->lastModified;
            if (!changed) {
                state = State::Unchanged;
            } else if (sentInTheFuture) {
                state = State::Changed;
            } else {
                state = now - sent->sentAt < coolDownMs ? State::CoolingDown : State::Changed;
            }
            plan.changedByLastmod += state == State::Changed && !sent->removal ? 1 : 0;
        },
        anyByContent);
    if (!read) {
        PagePlan failed;
        failed.error = ledger.lastError();
        return failed;
    }
    plan.found = int(pages.size());
    for (qsizetype page = 0; page < pages.size(); ++page) {
        switch (states[size_t(page)]) {
        case State::New:
        case State::Changed:
            plan.pages.append(page);
            break;
        case State::CoolingDown:
            ++plan.coolingDown;
            break;
        case State::Unchanged:
            ++plan.unchanged;
            break;
        case State::Candidate:
            break;
        case State::Excluded:
            ++plan.excluded;
            break;
        }
    }
    plan.changed = int(plan.pages.size());
    return plan;
}

ChangedPages::FutureDates ChangedPages::datesInTheFuture(const PageList& pages, qint64 now)
{
    FutureDates found;
    for (qsizetype page = 0; page < pages.size(); ++page) {
        const qint64 lastModified = pages.lastModified(page);
        if (lastModified != PageList::unknownTime && lastModified > now + clockSkewMs) {
            ++found.pages;
            found.latest = std::max(found.latest, lastModified);
        }
    }
    return found;
}

QList<QList<qsizetype>> ChangedPages::batches(const QList<qsizetype>& pages, qsizetype size)
{
    QList<QList<qsizetype>> pieces;
    for (qsizetype start = 0; start < pages.size(); start += size)
        pieces.append(pages.mid(start, size));
    return pieces;
}
