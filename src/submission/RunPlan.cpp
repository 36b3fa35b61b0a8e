#include "RunPlan.h"

#include "ChangedPages.h"
#include "HistoryDatabase.h"
#include "PageLedger.h"
#include "PageList.h"
#include "Wording.h"

#include <QDateTime>
#include <QTimeZone>

using namespace Qt::StringLiterals;

namespace {

QString siteLine(const QString& site, const PagePlan& plan, int batches)
{
    QString line =
        plan.changed == 0
            ? u"%1: no page changed since the last run, nothing to send"_s.arg(site)
            : u"%1: %2 to send in %3"_s.arg(
                  site, counted(plan.changed, u"%1 new or changed page"_s, u"%1 new or changed pages"_s),
                  counted(batches, u"%1 request"_s, u"%1 requests"_s));
    line += u" (%1 unchanged"_s.arg(plan.unchanged);
    if (plan.coolingDown > 0)
        line += u", %1 changed but sent within the cool-down"_s.arg(plan.coolingDown);
    return line + u")."_s;
}

} // namespace

RunPlan RunPlanner::plan(const Input& input)
{
    RunPlan plan;
    plan.changedPages = true;
    plan.pages = input.pages;
    plan.summary << input.sitemapSummary;
    QString error;
    const std::unique_ptr<HistoryDatabase> history =
        HistoryDatabase::open(input.historyFile, HistoryDatabase::Mode::OpenExisting, error);
    if (!error.isEmpty()) {
        plan.error = error + u" Without it, what changed is not known."_s;
        return plan;
    }
    std::optional<PageLedger> ledger;
    if (history)
        ledger.emplace(*history);
    plan.pageIds = std::make_shared<std::vector<qint64>>(size_t(input.pages->size()), 0);
    int sentInTheFuture = 0;
    for (const Site& site : input.sites) {
        if (site.indexNowEndpoint.isEmpty()) {
            plan.items.append(WorkItem{site.name, nullptr, site.row});
            continue;
        }
        PagePlan pages;
        if (ledger) {
            pages = ChangedPages::plan(*input.pages, *ledger, input.host, site.indexNowEndpoint, input.now,
                                       input.coolDown, *plan.pageIds);
        } else { // no history yet: every page is new
            for (qsizetype page = 0; page < input.pages->size(); ++page)
                pages.pages.append(page);
            pages.found = pages.changed = int(input.pages->size());
        }
        if (!pages.error.isEmpty()) {
            plan.error =
                u"The history \"%1\" cannot be read: %2. Without it, what changed is not known."_s.arg(
                    input.historyFile, pages.error);
            plan.items.clear();
            return plan;
        }
        sentInTheFuture += pages.sentInTheFuture;
        const QList<QList<qsizetype>> batches = ChangedPages::batches(pages.pages);
        for (qsizetype number = 0; number < batches.size(); ++number) {
            plan.items.append(WorkItem{
                site.name,
                std::make_shared<const PageBatch>(PageBatch{input.pages, batches.at(number), int(number) + 1,
                                                            int(batches.size()), site.indexNowEndpoint}),
                site.row});
        }
        plan.summary << siteLine(site.name, pages, int(batches.size()));
    }
    if (plan.summary.size() == 1)
        plan.summary << u"Select an IndexNow site: only IndexNow sites take the pages."_s;
    if (const ChangedPages::FutureDates future = ChangedPages::datesInTheFuture(*input.pages, input.now);
        future.pages > 0)
        plan.summary << u"Suspect dates: %1 in the future (as late as %2), taken as changed now."_s.arg(
            counted(future.pages, u"%1 page has a last change"_s, u"%1 pages have a last change"_s),
            QDateTime::fromMSecsSinceEpoch(future.latest, QTimeZone::utc()).toString(u"yyyy-MM-dd"_s));
    if (sentInTheFuture > 0)
        plan.summary
            << u"Suspect dates: %1 recorded as sent at a time still to come (a clock that was ahead); "
               u"they are not held back by the cool-down."_s.arg(
                   counted(sentInTheFuture, u"%1 page was"_s, u"%1 pages were"_s));
    return plan;
}
