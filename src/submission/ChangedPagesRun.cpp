#include "ChangedPagesRun.h"

#include "AnswerRule.h"
#include "SiteDatabase.h"

using namespace Qt::StringLiterals;

ChangedPagesRun ChangedPagesRun::make(SiteDatabase& catalogue, const QList<qsizetype>& rows,
                                      const std::shared_ptr<const PageList>& pages, HistoryStore& store,
                                      const QString& profile, qint64 now, std::chrono::seconds coolDown)
{
    ChangedPagesRun run;
    catalogue.readSites(rows, [&](const PromoSite& site) {
        if (!AnswerRule::isIndexNowEndpoint(site.action)) {
            run.items.append(WorkItem{site.sitename, nullptr});
            return;
        }
        const PagePlan plan = ChangedPages::plan(*pages, store, profile, site.sitename, now, coolDown);
        const QList<QList<qsizetype>> batches = ChangedPages::batches(plan.pages);
        for (qsizetype number = 0; number < batches.size(); ++number) {
            run.items.append(WorkItem{site.sitename,
                                      std::make_shared<const PageBatch>(PageBatch{
                                          pages, batches.at(number), int(number) + 1, int(batches.size())})});
        }
        run.indexNowSites.append({site.sitename, plan, int(batches.size())});
    });
    return run;
}

QStringList ChangedPagesRun::summary() const
{
    QStringList lines;
    for (const IndexNowSite& site : indexNowSites) {
        QString line = site.plan.changed == 0
                           ? u"%1: no page changed since the last run, nothing to send"_s.arg(site.site)
                           : u"%1: %2 new or changed pages to send in %3 %4"_s.arg(site.site)
                                 .arg(site.plan.changed)
                                 .arg(site.batches)
                                 .arg(site.batches == 1 ? u"request"_s : u"requests"_s);
        line += u" (%1 unchanged"_s.arg(site.plan.unchanged);
        if (site.plan.coolingDown > 0)
            line += u", %1 changed but sent within the cool-down"_s.arg(site.plan.coolingDown);
        lines << line + u")."_s;
    }
    return lines;
}
