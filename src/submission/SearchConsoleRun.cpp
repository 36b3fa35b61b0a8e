#include "SearchConsoleRun.h"

#include "SearchConsole.h"
#include "Wording.h"

using namespace Qt::StringLiterals;

void SearchConsoleRun::expand(RunPlan& plan, const QList<qsizetype>& rows, const QStringList& sitemaps,
                              const QHash<QString, qint64>& submittedAt, qint64 now,
                              std::chrono::seconds coolDown)
{
    if (rows.isEmpty())
        return;
    const qint64 coolDownMs = std::chrono::milliseconds(coolDown).count();
    QList<WorkItem> items;
    for (const WorkItem& item : std::as_const(plan.items)) {
        if (item.batch || !rows.contains(item.row)) {
            items.append(item);
            continue;
        }
        QStringList recent;
        for (const QString& sitemap : sitemaps) {
            const qint64 last = submittedAt.value(sitemap, 0);
            if (last != 0 && now - last < coolDownMs && now >= last) {
                recent << sitemap;
                continue;
            }
            WorkItem submission = item;
            submission.sitemap = sitemap;
            items.append(submission);
        }
        const int going = int(sitemaps.size() - recent.size());
        QString line =
            u"%1: %2 to submit"_s.arg(item.site, counted(going, u"%1 sitemap"_s, u"%1 sitemaps"_s));
        if (!recent.isEmpty())
            line += u"; %1 submitted within the cool-down stays back"_s.arg(
                counted(int(recent.size()), u"%1 sitemap"_s, u"%1 sitemaps"_s));
        plan.summary << line + u'.';
    }
    plan.items = items;
}

TransferRequest SearchConsoleRun::request(const SearchConsoleAccess& access, const QString& sitemap)
{
    TransferRequest request;
    request.sitemapSubmission = {access.console, access.property, sitemap};
    return request;
}
