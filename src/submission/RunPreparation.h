#pragma once

#include "ChangedPages.h"
#include "PageVerdict.h"
#include "Profile.h"
#include "RunPlan.h"
#include "SearchConsoleRun.h"
#include "SitemapReadings.h"

#include <QElapsedTimer>
#include <QHash>
#include <QList>
#include <QObject>
#include <QString>

#include <chrono>
#include <memory>

class GoogleConnection;
class GoogleConnections;
class PageList;
class QThread;
class RunRecorder;
class SiteDatabase;
class WebsiteFetcher;
template <typename T> class QFutureWatcher;

// What checked pages answered, and when, so that a summary, its preview and its run do not
// fetch every page three times.
struct KnownVerdict
{
    PageVerdict verdict;
    qint64 checkedAt = 0;
};
using KnownVerdicts = QHash<QByteArray, KnownVerdict>;

// One request's way to its plan, step by step: the sitemaps read (or a recent reading taken),
// the pages set against the ledger, those to announce checked, Search Console's sitemaps and a
// Google token for a run, and a baseline's record. Deleting it gives everything up: what its
// steps still find can only reach it, so nothing comes of them. prepared() says the plan once.
class RunPreparation final : public QObject
{
    Q_OBJECT

public:
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
        QString note; // what the front end left aside, kept with the run's record
        // How long the check of the pages may take; 0 for as long as it takes.
        std::chrono::seconds checkTime = defaultCheckTime;
    };

    // What the session lends each preparation.
    struct Means
    {
        SiteDatabase& catalogue;
        SitemapReadings& readings;
        KnownVerdicts& verdicts;
        QThread& fetchingThread;
        GoogleConnections& google;
        RunRecorder* recorder; // none when the history cannot be used
        QString historyFile;
        QString historyProblem;
        std::function<QDateTime()> clock;
    };

    static constexpr std::chrono::minutes stayFresh{10};
    static constexpr std::chrono::minutes defaultCheckTime{10};
    // A summary checks no more pages than this; the rest wait for the run.
    static constexpr qsizetype summaryPages = 200;

    RunPreparation(const Means& means, const Request& request, Purpose purpose, QObject* parent);
    ~RunPreparation() override;

    // Goes its way; prepared() follows, from the event loop or at once.
    void start();
    Purpose purpose() const { return m_purpose; }
    const Request& request() const { return m_request; }
    // A run's or a baseline's: it holds the home.
    bool takesTheHome() const { return m_purpose == Purpose::Run || m_purpose == Purpose::Baseline; }
    // The baseline is being written: it can no longer be given up.
    bool isRecording() const { return m_recording; }
    // For a run that submits sitemaps: the profile's way to Search Console, and the access the
    // run's requests go through (or why they cannot).
    std::unique_ptr<GoogleConnection> takeGoogle();
    const SearchConsoleAccess& searchConsole() const { return m_access; }

signals:
    void readingProgressed(int files, qsizetype pages);
    void checkingProgressed(qsizetype checked, qsizetype total);
    void recordingStarted();
    void prepared(const RunPlan& plan);

private:
    struct SelectedSite
    {
        qsizetype row;
        QString name;
        QString action;
    };

    void onSitemapsRead(const SitemapReadings::Reading& reading);
    void compare();
    void onCompared(RunPlan plan);
    void onChecked(const std::shared_ptr<std::vector<PageVerdict>>& fetched);
    void planAddresses(); // a classic run: the profile's address to each site
    void prepareSearchConsole(RunPlan plan);
    void withGoogleToken(RunPlan plan);
    void recordBaseline(RunPlan plan);
    void finish(RunPlan plan);
    QList<qsizetype> searchConsoleRows() const;

    Means m_means;
    Request m_request;
    Purpose m_purpose;
    QList<SelectedSite> m_sites; // the selection, read from the catalogue once
    SitemapReadings::Reading m_sitemaps;
    QFutureWatcher<RunPlan>* m_comparing = nullptr;
    WebsiteFetcher* m_checker = nullptr;
    RunPlan m_planBeingChecked; // the plan whose pages are being checked
    std::shared_ptr<PageList> m_uncheckedPages;
    QElapsedTimer m_checkStarted;
    std::unique_ptr<GoogleConnection> m_google;
    SearchConsoleAccess m_access;
    bool m_recording = false;
};
