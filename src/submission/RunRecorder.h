#pragma once

#include <QDateTime>
#include <QObject>
#include <QString>
#include <QThread>

#include <functional>
#include <memory>
#include <vector>

class SubmissionRun;
struct Verdict;

// Keeps the history of a run as it happens, whichever front end drives it: the run itself, each
// request's outcome, status and detail, and for every accepted batch its pages in the ledger,
// one transaction per request, so a run cut short leaves exactly the batches that were
// accepted. The writing is done on a thread of its own, never the window's; a file another
// process holds for a while is waited for.
class RunRecorder final : public QObject
{
    Q_OBJECT

public:
    using Clock = std::function<QDateTime()>;

    RunRecorder(SubmissionRun& run, const QString& historyFile, QString frontEnd,
                Clock clock = &QDateTime::currentDateTime, QObject* parent = nullptr);
    // Writes what it was handed before it goes.
    ~RunRecorder() override;
    Q_DISABLE_COPY_MOVE(RunRecorder)

    // The ledger's ids of the next run's sitemap pages (0 for those it lacks), which the
    // recorder completes as it adds pages.
    void setPageIds(std::shared_ptr<std::vector<qint64>> ids) { m_pageIds = std::move(ids); }
    // Runs that a process left marked running were cut short: called by a run that holds the lock.
    void markInterrupted();

signals:
    // Every record of the run that ended is written, or could not be: why not, else empty.
    void written(const QString& failure);

private:
    class Writer;
    void onStarted();
    void onItemEnded(int position, const Verdict& verdict);
    void onEnded(bool cancelled);

    SubmissionRun& m_run;
    QString m_frontEnd;
    Clock m_clock;
    QThread m_thread;
    Writer* m_writer;
    std::shared_ptr<std::vector<qint64>> m_pageIds;
};
