#pragma once

#include "RunPlan.h"
#include "RunPreparation.h"

#include <QDateTime>
#include <QList>
#include <QObject>
#include <QString>
#include <QThread>

#include <chrono>
#include <functional>
#include <memory>

class GoogleConnection;
class GoogleConnections;
class QNetworkAccessManager;
class RunLock;
class RunRecorder;
class SiteDatabase;
class SitemapReadings;
class SubmissionRun;

// Everything from a selection to its record, behind both front ends. The session coordinates:
// the network, the five transfers, the run, its recorder, the home's lock, the thread where
// sitemaps are read and pages checked, and what is kept between requests (the sitemaps read and
// the pages' verdicts, ten minutes each). Each request is prepared by a RunPreparation of its
// own, which a newer request or a cancel deletes. Commands in (prepare a request for a summary,
// a preview, a run or a baseline; cancel; stop), signals out (progress, planned, the run's own
// signals, ended). One run at a time per home: a run holds the home's lock from its plan to its
// last record.
class SubmissionSession final : public QObject
{
    Q_OBJECT

public:
    struct Setup
    {
        QString logFile;
        QString historyFile;
        QString runLockFile;
        QString frontEnd; // as the history names it: "window" or "command line"
        std::chrono::milliseconds transferDeadline{20000};
        std::function<QDateTime()> clock = &QDateTime::currentDateTime;
        QString secretsDirectory{}; // where Google sign-ins are kept without a desktop secret store
        // The program's way to Google; without one, the session makes its own, answering at once.
        GoogleConnections* google = nullptr;
    };

    using Purpose = RunPreparation::Purpose;
    using Request = RunPreparation::Request;

    struct Outcome
    {
        int succeeded = 0;
        int failed = 0;
        bool cancelled = false;
        QString recordFailure; // why the history could not be written in full; empty when it was
    };

    SubmissionSession(SiteDatabase& catalogue, Setup setup, QObject* parent = nullptr);
    ~SubmissionSession() override;
    Q_DISABLE_COPY_MOVE(SubmissionSession)

    // Plans what the request would send; planned() follows, at once or from the event loop.
    // With Purpose::Run the run then starts, unless another holds the home. A newer request
    // takes the place of one still being prepared, but nothing takes the place of a run's.
    void prepare(const Request& request, Purpose purpose);
    // Gives up the preparation under way: planned() follows with a plan that says so. A baseline
    // being written is not given up: it is written whole.
    void cancelPreparation();
    bool isPreparing() const { return m_preparation != nullptr; }
    bool canCancelPreparation() const { return m_preparation && !m_preparation->isRecording(); }
    // Preparing, running or writing the records of a run.
    bool isBusy() const;
    SubmissionRun& run() { return *m_run; }
    // Why the history cannot be used, found when the session began; empty when it can.
    QString historyProblem() const { return m_historyProblem; }

signals:
    void readingProgressed(int files, qsizetype pages);
    void checkingProgressed(qsizetype checked, qsizetype total);
    void planned(const RunPlan& plan, SubmissionSession::Purpose purpose);
    // A baseline's pages are being written; it can no longer be cancelled.
    void baselineRecording();
    void ended(const SubmissionSession::Outcome& outcome);

private:
    void onPrepared(const RunPlan& plan);
    void onRunEnded(int succeeded, int failed, bool cancelled);
    void onWritten(const QString& failure);

    SiteDatabase& m_catalogue;
    Setup m_setup;
    QNetworkAccessManager* m_network;
    SubmissionRun* m_run;
    std::unique_ptr<RunRecorder> m_recorder; // none when the history cannot be used
    std::unique_ptr<RunLock> m_lock;
    QString m_historyProblem;
    std::unique_ptr<GoogleConnections> m_ownGoogle; // when the front end lent none
    GoogleConnections* m_googleConnections;
    std::unique_ptr<GoogleConnection> m_google; // the last run's way into Search Console

    QThread m_fetchingThread; // where sitemaps are read and pages checked
    SitemapReadings* m_readings;
    KnownVerdicts m_verdicts;
    RunPreparation* m_preparation = nullptr; // the one under way
    QList<Outcome> m_unrecorded;             // runs that ended, whose records are still being written
};
