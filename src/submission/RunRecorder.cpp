#include "RunRecorder.h"

#include "HistoryStore.h"
#include "PageList.h"
#include "SubmissionRun.h"

using namespace Qt::StringLiterals;

RunRecorder::RunRecorder(SubmissionRun& run, HistoryStore& store, QString frontEnd, Clock clock,
                         QObject* parent)
    : QObject(parent), m_run(run), m_store(store), m_frontEnd(std::move(frontEnd)), m_clock(std::move(clock))
{
    connect(&run, &SubmissionRun::started, this, &RunRecorder::onStarted);
    connect(&run, &SubmissionRun::itemEnded, this, &RunRecorder::onItemEnded);
    connect(&run, &SubmissionRun::completed, this, [this] { onEnded(false); });
    connect(&run, &SubmissionRun::cancelled, this, [this] { onEnded(true); });
}

void RunRecorder::check(bool written)
{
    if (!written && m_failure.isEmpty())
        m_failure =
            m_store.lastError().isEmpty() ? u"the history could not be written"_s : m_store.lastError();
}

void RunRecorder::onStarted()
{
    bool batches = false;
    for (int position = 0; position < m_run.itemCount(); ++position)
        batches = batches || m_run.item(position).batch;
    m_runId = m_store.beginRun({m_clock().toMSecsSinceEpoch(), m_run.profile().title, m_frontEnd,
                                batches ? u"changed pages"_s : u"address"_s, m_run.itemCount()});
    check(m_runId != 0);
}

void RunRecorder::onItemEnded(int position, const Verdict& verdict)
{
    if (m_runId == 0)
        return;
    const WorkItem& item = m_run.item(position);
    const bool succeeded = verdict.outcome == Outcome::Succeeded;
    QStringList urls;
    if (item.batch) {
        for (const qsizetype page : item.batch->indices)
            urls << item.batch->pages->urlText(page);
        if (succeeded) // only an accepted batch counts as sent
            check(m_store.recordSent(m_run.profile().title, item.site, *item.batch->pages,
                                     item.batch->indices, m_clock().toMSecsSinceEpoch()));
    }
    check(m_store.addResult(m_runId,
                            {position + 1, item.caption(), succeeded, verdict.status, verdict.detail, urls}));
}

void RunRecorder::onEnded(bool cancelled)
{
    if (m_runId != 0)
        check(m_store.endRun(m_runId, m_clock().toMSecsSinceEpoch(), cancelled));
    m_runId = 0;
}
