#include "ChangedPages.h"

#include "HistoryStore.h"
#include "PageList.h"

#include <algorithm>
#include <numeric>
#include <vector>

PagePlan ChangedPages::plan(const PageList& pages, HistoryStore& store, const QString& profile,
                            const QString& endpoint, qint64 now, std::chrono::seconds coolDown)
{
    enum class State : quint8 { New, Unchanged, Changed, CoolingDown };
    std::vector<State> states(size_t(pages.size()), State::New);

    // The record comes in address order; the pages are put in that order too and the two are
    // walked side by side, so no second copy of a million addresses is ever held.
    std::vector<qsizetype> byAddress(size_t(pages.size()));
    std::iota(byAddress.begin(), byAddress.end(), 0);
    std::sort(byAddress.begin(), byAddress.end(),
              [&pages](qsizetype a, qsizetype b) { return pages.url(a) < pages.url(b); });
    const qint64 coolDownMs = qint64(coolDown.count()) * 1000;
    size_t next = 0;
    store.forEachSent(profile, endpoint, [&](QByteArrayView url, const HistoryStore::SentPage& sent) {
        while (next < byAddress.size() && pages.url(byAddress[next]) < url)
            ++next;
        if (next == byAddress.size() || pages.url(byAddress[next]) != url)
            return;
        const qsizetype page = byAddress[next];
        const qint64 lastModified = pages.lastModified(page);
        const bool newer = lastModified != PageList::unknownTime &&
                           (sent.lastModified == PageList::unknownTime || lastModified > sent.lastModified);
        states[size_t(page)] = !newer                           ? State::Unchanged
                               : now - sent.sentAt < coolDownMs ? State::CoolingDown
                                                                : State::Changed;
    });

    PagePlan plan;
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
        }
    }
    plan.changed = int(plan.pages.size());
    return plan;
}

QList<QList<qsizetype>> ChangedPages::batches(const QList<qsizetype>& pages, qsizetype size)
{
    QList<QList<qsizetype>> pieces;
    for (qsizetype start = 0; start < pages.size(); start += size)
        pieces.append(pages.mid(start, size));
    return pieces;
}
