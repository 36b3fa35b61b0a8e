#include "RunEvents.h"

#include "JsonOutput.h"
#include "PageVerdict.h"
#include "PromoSite.h"
#include "SiteDatabase.h"
#include "TransferSlot.h"
#include "WorkItem.h"

#include <QJsonObject>

using namespace Qt::StringLiterals;

void RunEvents::runStarted(qint64 at, const QString& profile, const QString& mode, bool dryRun,
                           const QString& commandLine)
{
    if (m_out)
        JsonOutput::printLine(*m_out, {{u"event"_s, u"run"_s},
                                       {u"schema"_s, JsonOutput::schema},
                                       {u"started_at"_s, JsonOutput::moment(at)},
                                       {u"profile"_s, profile},
                                       {u"mode"_s, mode},
                                       {u"dry_run"_s, dryRun},
                                       {u"command"_s, commandLine}});
}

void RunEvents::wouldSend(SiteDatabase& catalogue, const QList<qsizetype>& rows)
{
    if (m_out)
        catalogue.readSites(rows, [this](const PromoSite& site) { request(site, nullptr, nullptr); });
}

void RunEvents::wouldSend(SiteDatabase& catalogue, const QList<WorkItem>& items)
{
    for (const WorkItem& item : items) {
        if (m_out)
            request(catalogue.site(item.site), &item, nullptr);
    }
}

void RunEvents::planned(const RunPlan& plan)
{
    if (!m_out)
        return;
    for (const RunPlan::PageNote& note : plan.leftOut)
        JsonOutput::printLine(*m_out, {{u"event"_s, u"left-out"_s},
                                       {u"page"_s, note.address},
                                       {u"reason"_s, note.reason},
                                       {u"code"_s, PageVerdict::reasonCode(note.reason)},
                                       {u"detail"_s, note.detail},
                                       {u"as_before"_s, note.asBefore}});
    for (const RunPlan::PageNote& note : plan.removed)
        JsonOutput::printLine(
            *m_out, {{u"event"_s, u"removed"_s}, {u"page"_s, note.address}, {u"detail"_s, note.detail}});
    if (plan.deferred > 0)
        JsonOutput::printLine(*m_out, {{u"event"_s, u"deferred"_s},
                                       {u"pages"_s, double(plan.deferred)},
                                       {u"code"_s, u"not-checked"_s},
                                       {u"reason"_s, plan.deferredBecause}});
}

void RunEvents::requestEnded(SiteDatabase& catalogue, const WorkItem& item, const Verdict& verdict)
{
    if (m_out)
        request(catalogue.site(item.site), &item, &verdict);
}

void RunEvents::summary(int succeeded, int failed, qsizetype deferred, int exitStatus)
{
    if (m_out)
        JsonOutput::printLine(*m_out, {{u"event"_s, u"summary"_s},
                                       {u"succeeded"_s, succeeded},
                                       {u"failed"_s, failed},
                                       {u"deferred"_s, double(deferred)},
                                       {u"exit_status"_s, exitStatus}});
}

void RunEvents::request(const PromoSite& site, const WorkItem* item, const Verdict* verdict)
{
    QJsonObject line{
        {u"event"_s, u"request"_s},
        {u"site"_s, site.sitename},
        {u"endpoint"_s, site.action},
        {u"method"_s, site.method.compare(u"post"_s, Qt::CaseInsensitive) == 0 ? u"POST"_s : u"GET"_s},
        {u"pages"_s, item && item->batch ? item->batch->indices.size() : 0}};
    line.insert(u"removal"_s, item && item->batch && item->batch->removal);
    line.insert(u"sitemap"_s, item && !item->sitemap.isEmpty() ? QJsonValue(item->sitemap) : QJsonValue());
    if (verdict) {
        const bool succeeded = verdict->outcome == Outcome::Succeeded;
        line.insert(u"status"_s, verdict->status);
        line.insert(u"verdict"_s, succeeded                       ? u"succeeded"_s
                                  : verdict->retryAfter.isEmpty() ? u"failed"_s
                                                                  : u"put-off"_s);
        line.insert(u"detail"_s, verdict->detail);
    } else {
        line.insert(u"status"_s, QJsonValue());
        line.insert(u"verdict"_s, u"would-send"_s);
        line.insert(u"detail"_s, QString());
    }
    JsonOutput::printLine(*m_out, line);
}
