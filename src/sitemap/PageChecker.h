#pragma once

#include "PageVerdict.h"
#include "RobotsRules.h"

#include <QByteArray>
#include <QByteArrayList>
#include <QHash>
#include <QList>
#include <QObject>

#include <chrono>
#include <memory>
#include <vector>

class HttpFetch;
class PageList;
class QNetworkAccessManager;
struct FetchResult;

// Fetches pages before they are announced and says of each whether it can be indexed by the
// given crawlers (see PageVerdict): a GET of the first 64 KiB of each, a few at a time so a
// small website is not hammered, within each fetch's deadline. Each page is judged by the
// robots.txt of its own origin, read once (those given are not read again); a page robots.txt
// closes to every crawler is not fetched at all.
class PageChecker final : public QObject
{
    Q_OBJECT

public:
    // As many at a time as a browser opens to one host, and no more.
    static constexpr int atATime = 4;
    static constexpr std::chrono::seconds fetchDeadline{20};

    using RobotsByOrigin = QHash<QByteArray, RobotsRules>; // "scheme://host[:port]" to its rules

    explicit PageChecker(QNetworkAccessManager& network, QObject* parent = nullptr);
    ~PageChecker() override;
    Q_DISABLE_COPY_MOVE(PageChecker)

    // The pages' addresses in the normal form of WebAddress; finished() follows from the event
    // loop with a verdict for each, in the same order.
    void start(std::shared_ptr<const PageList> pages, RobotsByOrigin robots, QByteArrayList crawlers);
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

    void fetchNext(HttpFetch* fetch);
    void onFetched(HttpFetch* fetch, const FetchResult& fetched);
    const RobotsRules& robotsOf(qsizetype page) const;
    bool closedToEveryCrawler(qsizetype page) const;

    std::vector<HttpFetch*> m_fetches;
    std::vector<Job> m_jobs; // what each fetch is on
    std::shared_ptr<const PageList> m_pages;
    RobotsByOrigin m_robots;
    QList<QByteArray> m_robotsToRead; // origins of pages whose robots.txt is not known yet
    int m_robotsBeingRead = 0;
    QByteArrayList m_crawlers;
    std::shared_ptr<std::vector<PageVerdict>> m_verdicts;
    qsizetype m_next = 0;
    qsizetype m_checked = 0;
    bool m_busy = false;
};
