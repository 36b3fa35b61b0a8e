#pragma once

#include "RunPlan.h"

#include <QString>

class QIODevice;
class SiteDatabase;
struct PromoSite;
struct Verdict;

// submit --jsonl: what a run does, a JSON object a line, as it happens, for a CI job or a
// monitor to read while the run goes. Without a device it says nothing.
class RunEvents
{
public:
    explicit RunEvents(QIODevice* out) : m_out(out) {}

    bool wanted() const { return m_out != nullptr; }
    void runStarted(qint64 at, const QString& profile, const QString& mode, bool dryRun,
                    const QString& commandLine);
    // The requests a dry run would send: sites of the catalogue (by list row) or a plan's items.
    void wouldSend(SiteDatabase& catalogue, const QList<qsizetype>& rows);
    void wouldSend(SiteDatabase& catalogue, const QList<WorkItem>& items);
    // The pages left out, removed and deferred that a plan found.
    void planned(const RunPlan& plan);
    void requestEnded(SiteDatabase& catalogue, const WorkItem& item, const Verdict& verdict);
    void summary(int succeeded, int failed, qsizetype deferred, int exitStatus);

private:
    void request(const PromoSite& site, const WorkItem* item, const Verdict* verdict);

    QIODevice* m_out;
};
