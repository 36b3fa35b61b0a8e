#include "RunRecorder.h"

#include "HistoryDatabase.h"
#include "PageLedger.h"
#include "PageList.h"
#include "RunJournal.h"
#include "SubmissionRun.h"

#include <algorithm>

using namespace Qt::StringLiterals;

// The history's writer, on the recorder's thread: it owns that thread's connection to the file.
class RunRecorder::Writer final : public QObject
{
public:
    explicit Writer(QString path) : m_path(std::move(path)) {}

    void begin(const RunJournal::RunStart& start)
    {
        m_failure.clear();
        m_start = start;
        m_runId = 0;
        if (open())
            beginRun();
    }

    void markInterrupted()
    {
        if (open())
            check(RunJournal(*m_database).markInterrupted());
    }

    void record(const WorkItem& item, int position, bool succeeded, int status, const QString& detail,
                const std::shared_ptr<std::vector<qint64>>& ids, qint64 sentAt)
    {
        if (!open())
            return;
        if (m_runId == 0)
            beginRun(); // the file may have been held by another process a moment ago
        // A batch's pages and its outcome go in together, or not at all.
        if (!check(m_database->begin()))
            return;
        PageLedger ledger(*m_database);
        RunJournal journal(*m_database);
        RunJournal::Result result{position + 1, item.caption(), succeeded, status, detail, {}};
        bool written = true;
        QList<qsizetype> added; // pages new to the ledger: their ids go again if this is undone
        if (item.batch && ids) {
            const PageBatch& batch = *item.batch;
            for (const qsizetype index : batch.indices) {
                if ((*ids)[size_t(index)] == 0)
                    added << index;
            }
            written =
                ledger.addPages(*batch.pages, batch.indices, *ids) &&
                (!succeeded || ledger.recordSent(batch.endpoint, *batch.pages, batch.indices, *ids, sentAt));
            for (const qsizetype index : batch.indices)
                result.pages << (*ids)[size_t(index)];
            std::sort(result.pages.begin(), result.pages.end());
            if (!written)
                m_database->setLastError(ledger.lastError());
        }
        written = written && (m_runId == 0 || journal.addResult(m_runId, result));
        if (written && check(m_database->commit()))
            return;
        m_database->rollback();
        check(false);
        for (const qsizetype index : std::as_const(added))
            (*ids)[size_t(index)] = 0;
    }

    QString end(qint64 endedAt, bool cancelled)
    {
        if (open() && m_runId != 0)
            check(RunJournal(*m_database).endRun(m_runId, endedAt, cancelled));
        m_runId = 0;
        return m_failure;
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

void RunRecorder::onStarted()
{
    bool batches = false;
    for (int position = 0; position < m_run.itemCount(); ++position)
        batches = batches || m_run.item(position).batch;
    const RunJournal::RunStart start{m_clock().toMSecsSinceEpoch(), m_run.profile().title, m_frontEnd,
                                     batches ? u"changed pages"_s : u"address"_s, m_run.itemCount()};
    QMetaObject::invokeMethod(
        m_writer, [writer = m_writer, start] { writer->begin(start); }, Qt::QueuedConnection);
}

void RunRecorder::onItemEnded(int position, const Verdict& verdict)
{
    QMetaObject::invokeMethod(
        m_writer,
        [writer = m_writer, item = m_run.item(position), position, verdict, ids = m_pageIds,
         sentAt = m_clock().toMSecsSinceEpoch()] {
            writer->record(item, position, verdict.outcome == Outcome::Succeeded, verdict.status,
                           verdict.detail, ids, sentAt);
        },
        Qt::QueuedConnection);
}

void RunRecorder::onEnded(bool cancelled)
{
    QMetaObject::invokeMethod(
        m_writer,
        [this, writer = m_writer, endedAt = m_clock().toMSecsSinceEpoch(), cancelled] {
            const QString failure = writer->end(endedAt, cancelled);
            QMetaObject::invokeMethod(
                this, [this, failure] { emit written(failure); }, Qt::QueuedConnection);
        },
        Qt::QueuedConnection);
    m_pageIds.reset();
}
