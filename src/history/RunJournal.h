#pragma once

#include <QList>
#include <QString>
#include <QStringList>

class HistoryDatabase;

// The journal: every run, when, for whom and from where, and each of its requests' outcome,
// status and detail, with the pages a batch carried. A run refers to the ledger's pages rather
// than copying them, and the page lists of the oldest runs are let go once the newer ones hold
// more than a budget of them; the runs and their requests stay.
class RunJournal
{
public:
    // Page references kept for the newest runs: a million-page site's first run and more.
    static constexpr qint64 pageDetailBudget = 2'000'000;
    // A request's detail is an engine's answer: kept whole up to this many characters.
    static constexpr qsizetype longestDetail = 2000;

    explicit RunJournal(HistoryDatabase& database);

    struct RunStart
    {
        qint64 startedAt = 0;
        QString profile;
        QString frontEnd; // "window" or "command line"
        QString mode;     // "address", "changed pages" or "baseline"
        int requests = 0;
    };
    // How a request ended: its site took it or not, or (a baseline's) its pages were only
    // recorded as announced, with nothing sent.
    enum class Ending { Succeeded, Failed, Recorded };
    struct Result
    {
        int position = 0; // from 1, in the run's order
        QString site;
        Ending ending = Ending::Failed;
        int status = 0; // the HTTP status, 0 when no answer came
        QString detail;
        QList<qint64> pages; // the ledger's ids of the pages a batch carried
    };
    struct RunSummary
    {
        qint64 id = 0;
        qint64 startedAt = 0;
        qint64 endedAt = 0; // 0 while running, or when the program ended first
        QString profile;
        QString frontEnd;
        QString mode;
        // "running", "completed", "cancelled", "interrupted", "failed" (before it sent anything) or
        // "nothing to send"
        QString state;
        int requests = 0;
        int succeeded = 0;
        int failed = 0;
        QString note; // why it failed or found nothing to send, or what it left aside
    };
    struct ResultRow
    {
        int position = 0;
        QString site;
        QString outcome; // "succeeded", "failed" or "recorded"
        int status = 0;
        QString detail;
        int pageCount = 0;
    };

    // Each returns 0 or false when the journal could not be written; addResult() is part of the
    // caller's transaction when there is one.
    qint64 beginRun(const RunStart& start);
    bool addResult(qint64 run, const Result& result);
    enum class End { Completed, Cancelled, Failed, NothingToSend };
    bool endRun(qint64 run, qint64 endedAt, End end, const QString& note = QString());
    // Runs still marked running were cut short, unless the run lock at `runLockFile` is held by
    // a run going on now; they are marked interrupted. Without a file the caller holds the lock.
    bool markInterrupted(const QString& runLockFile = QString());

    // Newest first; an empty profile means every profile, a negative count every run.
    QList<RunSummary> runs(const QString& profile = QString(), int last = -1);
    QList<ResultRow> results(qint64 run, bool failuresOnly = false);
    QStringList resultPages(qint64 run, int position);
    // For each run of the profile that sent pages, oldest first: when it began and how many
    // pages the sites accepted in it, all sites together.
    struct AnnouncedPages
    {
        qint64 startedAt = 0;
        int pages = 0;
    };
    QList<AnnouncedPages> announcedPerRun(const QString& profile);

    QString lastError() const;

private:
    bool pruneDetails();

    HistoryDatabase& m_database;
};
