#pragma once

#include "RunPlan.h"

#include <QDateTime>
#include <QObject>
#include <QString>
#include <QThread>

#include <functional>
#include <memory>
#include <optional>

class SubmissionRun;
struct Verdict;

// Keeps the history of a run as it happens, whichever front end drives it: the run itself, each
// request's outcome, status and detail; for a run over changed pages, first the pages its
// sitemaps list and what checking them found, then for every batch its pages as accepted (or
// refused) by that engine, one transaction per request, so a run cut short leaves exactly the
// batches that were accepted. The writing is done on a thread of its own, never the window's;
// a file another process holds for a while is waited for.
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

    // The plan of the next run: its sitemaps' pages and their checks are recorded as it starts.
    void setPlan(const RunPlan& plan) { m_plan = plan; }
    // Every page of the plan's sitemaps recorded as announced to each of its IndexNow sites,
    // with nothing sent, as a run of its own; baselineWritten() follows.
    void recordBaseline(const RunPlan& plan, const QString& profile);
    // A run that sent nothing, with why (the plan's error, or its summary when nothing was to
    // send) and the pages it listed; written() follows.
    void recordUnsent(const RunPlan& plan, const QString& profile);
    // Runs that a process left marked running were cut short: called by a run that holds the lock.
    void markInterrupted();

signals:
    // Every record of the run that ended is written, or could not be: why not, else empty.
    void written(const QString& failure);
    void baselineWritten(const QString& failure);

private:
    class Writer;
    void recordAlone(std::function<QString(Writer&)> write, void (RunRecorder::*said)(const QString&));
    void onStarted();
    void onItemEnded(int position, const Verdict& verdict);
    void onEnded(bool cancelled);

    SubmissionRun& m_run;
    QString m_frontEnd;
    Clock m_clock;
    QThread m_thread;
    Writer* m_writer;
    std::optional<RunPlan> m_plan;
};
