#include "RunRecorder.h"

#include "ContentFingerprint.h"
#include "GoogleRecords.h"
#include "HistoryDatabase.h"
#include "PageLedger.h"
#include "PageList.h"
#include "RunJournal.h"
#include "SubmissionRun.h"
#include "Wording.h"

#include <QJsonDocument>

#include <algorithm>
#include <numeric>

using namespace Qt::StringLiterals;

// The history's writer, on the recorder's thread: it owns that thread's connection to the file.
class RunRecorder::Writer final : public QObject
{
public:
    explicit Writer(QString path) : m_path(std::move(path)) {}

    void begin(const RunJournal::RunStart& start, const std::optional<RunPlan>& plan, qint64 at)
    {
        m_failure.clear();
        m_start = start;
        m_runId = 0;
        m_note = plan ? plan->note : QString();
        if (!open())
            return;
        beginRun();
        if (plan && plan->pages)
            recordPlan(*plan, at);
    }

    // A run that sent nothing: it failed first, or found nothing to send. What its sitemaps
    // listed and what the check found are kept all the same.
    QString unsent(const RunJournal::RunStart& start, const RunPlan& plan, qint64 at)
    {
        begin(start, plan, at);
        const bool failed = !plan.error.isEmpty();
        m_note = failed ? plan.error : plan.summary.join(u' ');
        if (!plan.note.isEmpty())
            m_note = plan.note + u' ' + m_note;
        return end(at, failed ? RunJournal::End::Failed : RunJournal::End::NothingToSend);
    }

    void markInterrupted()
    {
        if (open())
            check(RunJournal(*m_database).markInterrupted());
    }

    void record(const WorkItem& item, int position, const Verdict& verdict, qint64 sentAt)
    {
        if (!open())
            return;
        if (m_runId == 0)
            beginRun(); // the file may have been held by another process a moment ago
        const bool succeeded = verdict.outcome == Outcome::Succeeded;
        RunJournal::Result result{position + 1,
                                  item.caption(),
                                  succeeded ? RunJournal::Ending::Succeeded : RunJournal::Ending::Failed,
                                  verdict.status,
                                  verdict.detail,
                                  {}};
        // A batch's pages and its outcome go in together, or not at all.
        if (!check(m_database->begin()))
            return;
        PageLedger ledger(*m_database);
        bool written = true;
        QList<qsizetype> added; // pages new to the ledger: their ids go again if this is undone
        if (item.batch) {
            const PageBatch& batch = *item.batch;
            std::vector<qint64>& ids = *batch.ids;
            for (const qsizetype index : batch.indices) {
                if (ids[size_t(index)] == 0)
                    added << index;
            }
            written = ledger.addPages(*batch.pages, batch.indices, ids);
            for (const qsizetype index : batch.indices)
                result.pages << ids[size_t(index)];
            std::sort(result.pages.begin(), result.pages.end());
            if (written && succeeded)
                written = ledger.recordSent(batch.endpoint, *batch.pages, batch.indices, ids, sentAt,
                                            batch.removal ? PageLedger::Announcement::Removal
                                                          : PageLedger::Announcement::Accepted,
                                            batch.fingerprints.get());
            // An engine's answer refusing the batch is kept for each page; a failure to reach it is not one.
            else if (written && verdict.status != 0 && m_runId != 0)
                written = ledger.recordRefused(batch.endpoint, result.pages, m_runId, position + 1, sentAt);
            if (!written)
                m_database->setLastError(ledger.lastError());
        }
        // Google's view of a sitemap it took, kept for the History page and google status.
        if (written && succeeded && !item.sitemap.isEmpty()) {
            QString unused; // the slot kept no answer whose counts were wrong
            GoogleSitemapStatus status =
                GoogleSitemapStatus::fromJson(QJsonDocument::fromJson(verdict.answer).object(), unused);
            status.path = item.sitemap;
            GoogleRecords records(*m_database);
            written = records.recordSitemap(m_start.profile, status, sentAt, true);
            if (!written)
                m_database->setLastError(records.lastError());
        }
        written = written && (m_runId == 0 || RunJournal(*m_database).addResult(m_runId, result));
        if (written && check(m_database->commit()))
            return;
        m_database->rollback();
        check(false);
        for (const qsizetype index : std::as_const(added))
            (*item.batch->ids)[size_t(index)] = 0;
    }

    QString end(qint64 endedAt, RunJournal::End how)
    {
        if (open() && m_runId != 0)
            check(RunJournal(*m_database).endRun(m_runId, endedAt, how, m_note));
        m_runId = 0;
        return m_failure;
    }

    QString baseline(const RunJournal::RunStart& start, const RunPlan& plan, qint64 at)
    {
        m_failure.clear();
        m_start = start;
        if (!open())
            return m_failure;
        m_note.clear();
        beginRun();
        if (!recordPlan(plan, at) || !check(m_database->begin()))
            return end(at, RunJournal::End::Completed);
        // Every page as announced, to every IndexNow site selected, but those the profile leaves
        // out, with the content of those read: one transaction for all.
        PageLedger ledger(*m_database);
        QList<qsizetype> every;
        every.reserve(plan.pages->size() - plan.excluded.size());
        for (qsizetype page = 0, excluded = 0; page < plan.pages->size(); ++page) {
            if (excluded < plan.excluded.size() && plan.excluded.at(excluded) == page)
                ++excluded;
            else
                every << page;
        }
        std::vector<qint64> fingerprints;
        if (plan.verdicts) {
            fingerprints.assign(size_t(plan.pages->size()), 0);
            for (qsizetype checked = 0; checked < plan.checkedPages->size(); ++checked) {
                const qsizetype page = plan.pages->find(plan.checkedPages->url(checked));
                if (page >= 0)
                    fingerprints[size_t(page)] =
                        ContentFingerprint::shortForm((*plan.verdicts)[size_t(checked)].fingerprint);
            }
        }
        bool written = true;
        int position = 0;
        for (const RunPlan::Site& site : plan.sites) {
            if (site.indexNowEndpoint.isEmpty() || !written)
                continue;
            written = ledger.recordSent(site.indexNowEndpoint, *plan.pages, every, *plan.pageIds, at,
                                        PageLedger::Announcement::Baseline,
                                        plan.verdicts ? &fingerprints : nullptr);
            if (!written)
                m_database->setLastError(ledger.lastError());
            written =
                written && (m_runId == 0 ||
                            RunJournal(*m_database)
                                .addResult(m_runId, {++position,
                                                     site.name,
                                                     RunJournal::Ending::Recorded,
                                                     0,
                                                     counted(every.size(), u"%1 page recorded as announced"_s,
                                                             u"%1 pages recorded as announced"_s) +
                                                         u", nothing sent"_s,
                                                     {}}));
        }
        if (!written || !check(m_database->commit())) {
            m_database->rollback();
            check(false);
        }
        return end(at, RunJournal::End::Completed);
    }

private:
    bool open()
    {
        if (m_database)
            return true;
        QString error;
        m_database = HistoryDatabase::open(m_path, HistoryDatabase::Mode::OpenOrCreate, error);
        if (!m_database && m_failure.isEmpty())
            m_failure = error;
        return m_database != nullptr;
    }

    void beginRun()
    {
        m_runId = RunJournal(*m_database).beginRun(m_start);
        check(m_runId != 0);
    }

    // Before the first batch: every page the sitemaps list now (the website's coverage is counted
    // from it) and what checking them found, each page with its id in the ledger.
    bool recordPlan(const RunPlan& plan, qint64 at)
    {
        if (!check(m_database->begin()))
            return false;
        PageLedger ledger(*m_database);
        QList<qsizetype> every(plan.pages->size());
        std::iota(every.begin(), every.end(), 0);
        bool written = ledger.addPages(*plan.pages, every, *plan.pageIds) &&
                       ledger.recordListing(plan.website,
                                            QList<qint64>(plan.pageIds->cbegin(), plan.pageIds->cend()), at);
        if (written && plan.verdicts) {
            QList<qsizetype> checked(plan.checkedPages->size());
            std::iota(checked.begin(), checked.end(), 0);
            // A listed page new to the ledger got its id just now, under the sitemaps' list.
            for (const qsizetype page : std::as_const(checked)) {
                qint64& id = (*plan.checkedIds)[size_t(page)];
                if (const qsizetype listed = plan.pages->find(plan.checkedPages->url(page));
                    id == 0 && listed >= 0)
                    id = (*plan.pageIds)[size_t(listed)];
            }
            QList<PageLedger::Check> checks;
            written = ledger.addPages(*plan.checkedPages, checked, *plan.checkedIds);
            for (qsizetype page = 0; written && page < plan.checkedPages->size(); ++page) {
                const PageVerdict& verdict = (*plan.verdicts)[size_t(page)];
                if (verdict.kind == PageVerdict::Kind::Deferred)
                    continue; // not checked: nothing is known of it yet
                checks.append({(*plan.checkedIds)[size_t(page)],
                               verdict.kind == PageVerdict::Kind::LeftOut ? verdict.reason : QString(),
                               verdict.detail, verdict.fingerprint, verdict.etag, verdict.lastModified,
                               verdict.bytesHash});
            }
            written = written && ledger.recordChecks(checks, at);
        }
        if (!written)
            m_database->setLastError(ledger.lastError());
        if (written && check(m_database->commit()))
            return true;
        m_database->rollback();
        return check(false);
    }

    bool check(bool written)
    {
        if (!written && m_failure.isEmpty())
            m_failure = u"the history \"%1\" could not be written: %2"_s.arg(m_path, m_database->lastError());
        return written;
    }

    QString m_path;
    std::unique_ptr<HistoryDatabase> m_database;
    RunJournal::RunStart m_start;
    qint64 m_runId = 0;
    QString m_note;
    QString m_failure;
};

RunRecorder::RunRecorder(SubmissionRun& run, const QString& historyFile, QString frontEnd, Clock clock,
                         QObject* parent)
    : QObject(parent), m_run(run), m_frontEnd(std::move(frontEnd)), m_clock(std::move(clock)),
      m_writer(new Writer(historyFile))
{
    m_thread.setObjectName(u"history writer"_s);
    m_writer->moveToThread(&m_thread);
    connect(&m_thread, &QThread::finished, m_writer, &QObject::deleteLater);
    m_thread.start();
    connect(&run, &SubmissionRun::started, this, &RunRecorder::onStarted);
    connect(&run, &SubmissionRun::itemEnded, this, &RunRecorder::onItemEnded);
    connect(&run, &SubmissionRun::completed, this, [this] { onEnded(false); });
    connect(&run, &SubmissionRun::cancelled, this, [this] { onEnded(true); });
}

RunRecorder::~RunRecorder()
{
    // Queued behind every record handed over, so none is lost.
    QMetaObject::invokeMethod(
        m_writer, [this] { m_thread.quit(); }, Qt::QueuedConnection);
    m_thread.wait();
}

void RunRecorder::markInterrupted()
{
    QMetaObject::invokeMethod(
        m_writer, [writer = m_writer] { writer->markInterrupted(); }, Qt::QueuedConnection);
}

void RunRecorder::recordBaseline(const RunPlan& plan, const QString& profile)
{
    const qint64 at = m_clock().toMSecsSinceEpoch();
    recordAlone([start = RunJournal::RunStart{at, profile, m_frontEnd, u"baseline"_s, 0}, plan,
                 at](Writer& writer) { return writer.baseline(start, plan, at); },
                &RunRecorder::baselineWritten);
}

void RunRecorder::recordUnsent(const RunPlan& plan, const QString& profile)
{
    const qint64 at = m_clock().toMSecsSinceEpoch();
    const QString mode = plan.changedPages ? u"changed pages"_s : u"address"_s;
    recordAlone([start = RunJournal::RunStart{at, profile, m_frontEnd, mode, 0}, plan,
                 at](Writer& writer) { return writer.unsent(start, plan, at); },
                &RunRecorder::written);
}

// A record of a run that sends nothing, written on the recorder's thread; `said` tells of it here.
void RunRecorder::recordAlone(std::function<QString(Writer&)> write,
                              void (RunRecorder::*said)(const QString&))
{
    QMetaObject::invokeMethod(
        m_writer,
        [this, writer = m_writer, write = std::move(write), said] {
            const QString failure = write(*writer);
            QMetaObject::invokeMethod(
                this, [this, failure, said] { emit(this->*said)(failure); }, Qt::QueuedConnection);
        },
        Qt::QueuedConnection);
}

void RunRecorder::onStarted()
{
    bool batches = false;
    for (int position = 0; position < m_run.itemCount(); ++position)
        batches = batches || m_run.item(position).batch;
    const qint64 at = m_clock().toMSecsSinceEpoch();
    const RunJournal::RunStart start{at, m_run.profile().title, m_frontEnd,
                                     batches ? u"changed pages"_s : u"address"_s, m_run.itemCount()};
    QMetaObject::invokeMethod(
        m_writer,
        [writer = m_writer, start, plan = std::exchange(m_plan, std::nullopt), at] {
            writer->begin(start, plan, at);
        },
        Qt::QueuedConnection);
}

void RunRecorder::onItemEnded(int position, const Verdict& verdict)
{
    QMetaObject::invokeMethod(
        m_writer,
        [writer = m_writer, item = m_run.item(position), position, verdict,
         sentAt = m_clock().toMSecsSinceEpoch()] { writer->record(item, position, verdict, sentAt); },
        Qt::QueuedConnection);
}

void RunRecorder::onEnded(bool cancelled)
{
    QMetaObject::invokeMethod(
        m_writer,
        [this, writer = m_writer, endedAt = m_clock().toMSecsSinceEpoch(), cancelled] {
            const QString failure =
                writer->end(endedAt, cancelled ? RunJournal::End::Cancelled : RunJournal::End::Completed);
            QMetaObject::invokeMethod(
                this, [this, failure] { emit written(failure); }, Qt::QueuedConnection);
        },
        Qt::QueuedConnection);
}
