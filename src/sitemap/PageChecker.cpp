#include "PageChecker.h"

#include "HttpFetch.h"
#include "OrvantaAgent.h"
#include "PageList.h"
#include "WebAddress.h"

#include <QSet>
#include <QTimer>

PageChecker::PageChecker(QNetworkAccessManager& network, QObject* parent) : QObject(parent)
{
    for (int k = 0; k < atATime; ++k) {
        auto* fetch = new HttpFetch(network, this);
        connect(fetch, &HttpFetch::finished, this,
                [this, fetch](const FetchResult& fetched) { onFetched(fetch, fetched); });
        m_fetches.push_back(fetch);
    }
    m_jobs.resize(size_t(atATime));
}

PageChecker::~PageChecker() = default;

void PageChecker::start(std::shared_ptr<const PageList> pages, RobotsByOrigin robots, QByteArrayList crawlers)
{
    cancel();
    m_pages = std::move(pages);
    m_robots = std::move(robots);
    m_crawlers = std::move(crawlers);
    m_verdicts = std::make_shared<std::vector<PageVerdict>>(size_t(m_pages->size()));
    m_next = 0;
    m_checked = 0;
    m_robotsToRead.clear();
    m_robotsBeingRead = 0;
    QSet<QByteArray> unknown;
    for (qsizetype page = 0; page < m_pages->size(); ++page) {
        const QByteArray origin = WebAddress::originOf(m_pages->url(page)).toByteArray();
        if (!m_robots.contains(origin) && !unknown.contains(origin)) {
            unknown.insert(origin);
            m_robotsToRead << origin;
        }
    }
    m_busy = true;
    QTimer::singleShot(0, this, [this] {
        for (HttpFetch* fetch : m_fetches)
            fetchNext(fetch);
    });
}

void PageChecker::cancel()
{
    m_busy = false;
    for (HttpFetch* fetch : m_fetches)
        fetch->cancel();
}

const RobotsRules& PageChecker::robotsOf(qsizetype page) const
{
    const auto robots = m_robots.constFind(WebAddress::originOf(m_pages->url(page)).toByteArray());
    static const RobotsRules none;
    return robots == m_robots.cend() ? none : *robots;
}

bool PageChecker::closedToEveryCrawler(qsizetype page) const
{
    const RobotsRules& robots = robotsOf(page);
    return std::none_of(m_crawlers.cbegin(), m_crawlers.cend(), [&](const QByteArray& crawler) {
        return robots.allows(m_pages->url(page), crawler);
    });
}

void PageChecker::fetchNext(HttpFetch* fetch)
{
    if (!m_busy)
        return;
    Job& job = m_jobs[size_t(std::find(m_fetches.cbegin(), m_fetches.cend(), fetch) - m_fetches.cbegin())];
    job = Job();
    // Every origin's robots.txt first: no page is fetched before its rules are known.
    if (!m_robotsToRead.isEmpty()) {
        job.robotsOf = m_robotsToRead.takeFirst();
        ++m_robotsBeingRead;
        fetch->start(RobotsRules::request(job.robotsOf));
        return;
    }
    if (m_robotsBeingRead > 0)
        return; // the fetch that reads the last of them goes on from there
    // Pages robots.txt closes to every crawler are judged without a fetch.
    while (m_next < m_pages->size() && closedToEveryCrawler(m_next)) {
        (*m_verdicts)[size_t(m_next)] = PageVerdict::blockedByRobots(robotsOf(m_next));
        ++m_next;
        ++m_checked;
    }
    if (m_next == m_pages->size()) {
        if (m_checked == m_pages->size() && m_busy) {
            m_busy = false;
            emit finished(std::exchange(m_verdicts, nullptr));
        }
        return;
    }
    job.page = m_next++;
    FetchRequest request;
    request.url = QUrl::fromEncoded(m_pages->url(job.page).toByteArray());
    request.deadline = fetchDeadline;
    request.keepBytes = PageVerdict::headBytes;
    request.stopWhenKept = true;
    request.userAgent = OrvantaAgent::productToken();
    fetch->start(request);
}

void PageChecker::onFetched(HttpFetch* fetch, const FetchResult& fetched)
{
    const Job job =
        m_jobs[size_t(std::find(m_fetches.cbegin(), m_fetches.cend(), fetch) - m_fetches.cbegin())];
    if (!job.robotsOf.isEmpty()) {
        m_robots.insert(job.robotsOf, RobotsRules::fromAnswer(fetched));
        if (--m_robotsBeingRead == 0) { // the pages may go: every fetch takes one
            for (HttpFetch* idle : m_fetches) {
                if (idle != fetch && !idle->isBusy())
                    fetchNext(idle);
            }
        }
        fetchNext(fetch);
        return;
    }
    (*m_verdicts)[size_t(job.page)] =
        PageVerdict::judge(m_pages->url(job.page), fetched, robotsOf(job.page), m_crawlers);
    ++m_checked;
    emit progressed(m_checked, m_pages->size());
    fetchNext(fetch);
}
