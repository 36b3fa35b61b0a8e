#pragma once

#include <QDateTime>
#include <QObject>
#include <QString>

#include <functional>

class HistoryStore;
class SubmissionRun;
struct Verdict;

// Keeps the history of a run as it happens, whichever front end drives it: the run itself,
// each request's outcome, status and detail, and the pages of every accepted batch as sent to
// that site. What went through is recorded when it does, so a run cut short leaves exactly
// the batches that were accepted.
class RunRecorder final : public QObject
{
    Q_OBJECT

public:
    using Clock = std::function<QDateTime()>;

    RunRecorder(SubmissionRun& run, HistoryStore& store, QString frontEnd,
                Clock clock = &QDateTime::currentDateTime, QObject* parent = nullptr);

    // Empty while every record was written; else the store's last complaint.
    QString failure() const { return m_failure; }

private:
    void onStarted();
    void onItemEnded(int position, const Verdict& verdict);
    void onEnded(bool cancelled);
    void check(bool written);

    SubmissionRun& m_run;
    HistoryStore& m_store;
    QString m_frontEnd;
    Clock m_clock;
    qint64 m_runId = 0;
    QString m_failure;
};
