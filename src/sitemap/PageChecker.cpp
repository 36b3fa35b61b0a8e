#include "PageChecker.h"

#include "HttpFetch.h"
#include "PageList.h"

#include <QTimer>

PageChecker::PageChecker(QNetworkAccessManager& network, QObject* parent) : QObject(parent)
{
    for (int k = 0; k < atATime; ++k) {
        auto* fetch = new HttpFetch(network, this);
        connect(fetch, &HttpFetch::finished, this,
                [this, fetch](const FetchResult& fetched) { onFetched(fetch, fetched); });
        m_fetches.push_back(fetch);
    }
    m_fetching.assign(size_t(atATime), -1);
}

PageChecker::~PageChecker() = default;

void PageChecker::start(std::shared_ptr<const PageList> pages, RobotsRules robots)
{
    cancel();
    m_pages = std::move(pages);
    m_robots = std::move(robots);
    m_verdicts = std::make_shared<std::vector<PageVerdict>>(size_t(m_pages->size()));
    m_next = 0;
    m_checked = 0;
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

void PageChecker::fetchNext(HttpFetch* fetch)
{
    if (!m_busy)
        return;
    // Pages robots.txt shuts out are judged without a fetch.
    while (m_next < m_pages->size() && !m_robots.allows(m_pages->url(m_next))) {
        (*m_verdicts)[size_t(m_next++)] = PageVerdict::blockedByRobots(m_robots);
        ++m_checked;
    }
    const auto slot = size_t(std::find(m_fetches.cbegin(), m_fetches.cend(), fetch) - m_fetches.cbegin());
    if (m_next == m_pages->size()) {
        m_fetching[slot] = -1;
        if (m_checked == m_pages->size() && m_busy) {
            m_busy = false;
            emit finished(std::exchange(m_verdicts, nullptr));
        }
        return;
    }
    m_fetching[slot] = m_next;
    FetchRequest request;
    request.url = QUrl::fromEncoded(m_pages->url(m_next++).toByteArray());
    request.deadline = fetchDeadline;
    request.keepBytes = PageVerdict::headBytes;
    request.stopWhenKept = true;
    fetch->start(request);
}

void PageChecker::onFetched(HttpFetch* fetch, const FetchResult& fetched)
{
    const auto slot = size_t(std::find(m_fetches.cbegin(), m_fetches.cend(), fetch) - m_fetches.cbegin());
    const qsizetype page = m_fetching[slot];
    (*m_verdicts)[size_t(page)] = PageVerdict::judge(m_pages->url(page), fetched);
    ++m_checked;
    emit progressed(m_checked, m_pages->size());
    fetchNext(fetch);
}
