#pragma once

#include "PageVerdict.h"
#include "RobotsRules.h"

#include <QByteArray>
#include <QByteArrayList>
#include <QElapsedTimer>
#include <QHash>
#include <QList>
#include <QObject>
#include <QString>

#include <chrono>
#include <memory>
#include <vector>

class HttpFetch;
class PageList;
class QNetworkAccessManager;
class QTimer;
struct FetchResult;

// How far a check may go before the pages left are deferred.
struct PageCheckLimits
{
    std::chrono::milliseconds budget{0}; // 0: none
    qsizetype mostPages = -1;            // pages fetched at most; negative: all
    QString budgetSaid{};                // how the budget is said ("the check's 10 minutes")
    std::chrono::milliseconds pageDeadline{std::chrono::seconds(20)}; // each page's fetch
    // Each page is read whole (up to ContentFingerprint::mostBytes) for the fingerprint of its
    // content, instead of its head alone.
    bool fingerprints = false;
    // Of each page (by index, where known), the version read last: its fingerprint, the
    // validators it came with and the hash of its bytes. The page is asked for on condition that
    // it changed since, and an answer of 304 stands for that version, without a byte of it read
    // again; the same bytes again are not parsed again.
    std::shared_ptr<const std::vector<PageVerdict>> lastRead{};
};

// Fetches pages before they are announced and says of each whether it can be indexed by the
// given crawlers (see PageVerdict): a GET of the first 64 KiB of each, within each fetch's
// deadline, never more than two at a time from one host, or one at a time spaced as robots.txt's
// Crawl-delay asks (up to ten seconds). Each page is judged by the robots.txt of its own origin,
// read once (those given are not read again); a page robots.txt closes to every crawler is not
// fetched at all. A check has bounds so that no run waits on a slow website for hours: a time
// budget, a number of pages, and a host that lets five fetches in a row run out of time is given
// up. The pages it did not come to are deferred (PageVerdict::deferred), with why.
class PageChecker final : public QObject
{
    Q_OBJECT

public:
    static constexpr int atATime = 4;
    static constexpr int perHost = 2;
    static constexpr int timeOutsToGiveUp = 5;
    static constexpr std::chrono::seconds longestCrawlDelay{10};
    using Limits = PageCheckLimits;

    using RobotsByOrigin = QHash<QByteArray, RobotsRules>; // "scheme://host[:port]" to its rules

    explicit PageChecker(QNetworkAccessManager& network, QObject* parent = nullptr);
    ~PageChecker() override;
    Q_DISABLE_COPY_MOVE(PageChecker)

    // The pages' addresses in the normal form of WebAddress; finished() follows from the event
    // loop with a verdict for each, in the same order.
    void start(std::shared_ptr<const PageList> pages, RobotsByOrigin robots, QByteArrayList crawlers,
               Limits limits = {});
    void cancel();
    bool isBusy() const { return m_busy; }

signals:
    void progressed(qsizetype checked, qsizetype total);
    void finished(const std::shared_ptr<std::vector<PageVerdict>>& verdicts);

private:
    // What a fetch is on: a page, or an origin's robots.txt.
    struct Job
    {
        qsizetype page = -1;
        QByteArray robotsOf;
    };
    // The pages of one origin, in their order, and how it is being fetched.
    struct Host
    {
        QList<qsizetype> pages;
        qsizetype next = 0;
        int active = 0;
        int timeOutsInARow = 0;
        qint64 delay = 0;     // ms between fetches, from Crawl-delay
        qint64 notBefore = 0; // on m_clock
        bool givenUp = false;
    };

    void setUpHosts();
    void fetchNext(HttpFetch* fetch);
    void onFetched(HttpFetch* fetch, const FetchResult& fetched);
    void judge(qsizetype page, const PageVerdict& verdict);
    void fingerprint(qsizetype page, PageVerdict& verdict, const FetchResult& fetched);
    void deferWaiting(Host& host, const QString& why);
    void stopAll(const QString& why);
    void finishWhenDone();
    Job& jobOf(HttpFetch* fetch);
    const RobotsRules& robotsOf(qsizetype page) const;
    const PageVerdict* lastReadOf(qsizetype page) const; // none when no version is known
    bool closedToEveryCrawler(qsizetype page) const;

    std::vector<HttpFetch*> m_fetches;
    std::vector<Job> m_jobs; // what each fetch is on
    std::shared_ptr<const PageList> m_pages;
    RobotsByOrigin m_robots;
    QList<QByteArray> m_robotsToRead; // origins of pages whose robots.txt is not known yet
    int m_robotsBeingRead = 0;
    QByteArrayList m_crawlers;
    std::shared_ptr<std::vector<PageVerdict>> m_verdicts;
    std::vector<bool> m_judged;
    QHash<QByteArray, Host> m_hosts;
    QByteArrayList m_hostOrder; // taken in turn
    qsizetype m_nextHost = 0;
    Limits m_limits;
    qsizetype m_fetched = 0; // pages whose fetch began
    qsizetype m_checked = 0;
    int m_fingerprinting = 0; // pages being read for their content on another thread
    quint64 m_started = 0;    // checks started: what an earlier one finds later is not wanted
    QElapsedTimer m_clock;
    QTimer* m_budget;
    QTimer* m_wakeUp; // when a host's Crawl-delay has passed
    bool m_busy = false;
};
