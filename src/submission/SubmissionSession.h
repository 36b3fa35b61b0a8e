#pragma once

#include "ChangedPages.h"
#include "Profile.h"
#include "RunPlan.h"
#include "SitemapReader.h"

#include <QDateTime>
#include <QElapsedTimer>
#include <QHash>
#include <QList>
#include <QObject>
#include <QString>
#include <QThread>

#include <chrono>
#include <functional>
#include <memory>
#include <optional>

class GoogleAccount;
class QNetworkAccessManager;
class SecretStore;
class RunLock;
class RunRecorder;
class SearchConsole;
class SiteDatabase;
class SubmissionRun;
template <typename T> class QFutureWatcher;

// Everything from a selection to its record, behind both front ends: the network, the five
// transfers, the run, its recorder, and for a run over changed pages the sitemaps (read on a
// thread of their own, kept and read again when older than ten minutes), the plan (made off the
// caller's thread) and the check of each page before it is announced (on the same thread as the
// reading, its verdicts kept ten minutes too). Commands in (prepare a request for a summary, a
// preview, a run or a baseline; cancel; stop), signals out (progress, planned, the run's own
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
    };

    enum class Purpose {
        Summary,  // what the next run would send, for the window's summary line
        Preview,  // the same, with the sitemaps read afresh when old
        Run,      // the same, then the run starts
        Baseline, // every page of the sitemaps recorded as announced, nothing sent
    };

    struct Request
    {
        Profile profile;
        QList<qsizetype> rows; // the selected sites, as catalogue rows in the run's order
        bool changedPages = false;
        bool checkPages = true; // each page fetched first, and announced only when it can be indexed
        QString sitemap;        // empty: the sitemaps robots.txt names, else /sitemap.xml
        std::chrono::seconds coolDown = ChangedPages::defaultCoolDown;
    };

    struct Outcome
    {
        int succeeded = 0;
        int failed = 0;
        bool cancelled = false;
        QString recordFailure; // why the history could not be written in full; empty when it was
    };

    static constexpr std::chrono::minutes stayFresh{10};

    SubmissionSession(SiteDatabase& catalogue, Setup setup, QObject* parent = nullptr);
    ~SubmissionSession() override;
    Q_DISABLE_COPY_MOVE(SubmissionSession)

    // Plans what the request would send; planned() follows, at once or from the event loop.
    // With Purpose::Run the run then starts, unless another holds the home. A newer request
    // takes the place of one still being prepared, but nothing takes the place of a run's.
    void prepare(const Request& request, Purpose purpose);
    // Gives up the preparation under way: planned() follows with a plan that says so.
    void cancelPreparation();
    bool isPreparing() const { return m_preparing; }
    // Preparing, running or writing the records of a run.
    bool isBusy() const;
    SubmissionRun& run() { return *m_run; }
    // Why the history cannot be used, found when the session began; empty when it can.
    QString historyProblem() const { return m_historyProblem; }

signals:
    void readingProgressed(int files, qsizetype pages);
    void checkingProgressed(qsizetype checked, qsizetype total);
    void planned(const RunPlan& plan, SubmissionSession::Purpose purpose);
    void ended(const SubmissionSession::Outcome& outcome);

private:
    class Fetching;

    void readSitemaps(const QString& sitemapsFor);
    void onSitemapsRead(const std::shared_ptr<SitemapReader::Result>& result, quint64 generation);
    void plan();
    void planAddresses(); // a classic run: the profile's address to each site
    void onCompared(RunPlan plan);
    void onChecked(const std::shared_ptr<std::vector<PageVerdict>>& fetched, quint64 generation);
    void finishPreparation(RunPlan plan);
    // The selected Search Console sites, as catalogue rows.
    QList<qsizetype> searchConsoleRows() const;
    // Their sitemaps into the plan and, for a run, a fresh access token; false while the token
    // is being fetched (finishPreparation() is called again once it is there).
    bool prepareSearchConsole(RunPlan& plan);
    void onRunEnded(int succeeded, int failed, bool cancelled);
    void onWritten(const QString& failure);

    SiteDatabase& m_catalogue;
    Setup m_setup;
    QNetworkAccessManager* m_network;
    SubmissionRun* m_run;
    std::unique_ptr<RunRecorder> m_recorder; // none when the history cannot be used
    std::unique_ptr<RunLock> m_lock;
    QString m_historyProblem;

    QThread m_fetchingThread;
    Fetching* m_fetching; // the sitemaps' reader and the pages' checker, on that thread
    QFutureWatcher<RunPlan>* m_comparing;

    Request m_request;
    Purpose m_purpose = Purpose::Summary;
    bool m_preparing = false;
    bool m_replanDue = false; // a newer request came while the plan was being made
    quint64 m_generation = 0; // of the preparation, so that what a given-up one finds is dropped

    // The last reading of the sitemaps, for this address and sitemap, and its age; and the
    // address and sitemap of a reading under way.
    std::shared_ptr<const SitemapReader::Result> m_sitemaps;
    QString m_sitemapsFor;
    QString m_readingFor;
    QElapsedTimer m_sitemapsAge;
    // What checked pages answered, and when, so that a summary, its preview and its run do not
    // fetch every page three times.
    struct KnownVerdict
    {
        PageVerdict verdict;
        qint64 checkedAt = 0;
    };
    QHash<QByteArray, KnownVerdict> m_verdicts;
    RunPlan m_checking; // the plan whose pages are being checked
    std::shared_ptr<PageList> m_uncheckedPages;
    QList<Outcome> m_unrecorded;              // runs that ended, whose records are still being written
    std::unique_ptr<SecretStore> m_secrets;   // made when a run first needs Google
    std::unique_ptr<GoogleAccount> m_google;  // the profile's way into Search Console
    std::unique_ptr<SearchConsole> m_console; // its client, which the run's sitemap submissions go through
    bool m_searchConsoleReady = false;        // this preparation's Google part is done
    QStringList m_searchConsoleSitemaps;      // the website's sitemaps, as last read
};
