#pragma once

#include "PageVerdict.h"
#include "RobotsRules.h"

#include <QByteArray>
#include <QList>
#include <QObject>

#include <chrono>
#include <memory>
#include <vector>

class HttpFetch;
class PageList;
class QNetworkAccessManager;
struct FetchResult;

// Fetches pages before they are announced and says of each whether it can be indexed (see
// PageVerdict): a GET of the first 64 KiB of each, a few at a time so a small website is not
// hammered, within each fetch's deadline; a page robots.txt shuts out is not fetched at all.
class PageChecker final : public QObject
{
    Q_OBJECT

public:
    // As many at a time as a browser opens to one host, and no more.
    static constexpr int atATime = 4;
    static constexpr std::chrono::seconds fetchDeadline{20};

    explicit PageChecker(QNetworkAccessManager& network, QObject* parent = nullptr);
    ~PageChecker() override;
    Q_DISABLE_COPY_MOVE(PageChecker)

    // The pages' addresses in the normal form of WebAddress; finished() follows from the event
    // loop with a verdict for each, in the same order.
    void start(std::shared_ptr<const PageList> pages, RobotsRules robots);
    void cancel();
    bool isBusy() const { return m_busy; }

signals:
    void progressed(qsizetype checked, qsizetype total);
    void finished(const std::shared_ptr<std::vector<PageVerdict>>& verdicts);

private:
    void fetchNext(HttpFetch* fetch);
    void onFetched(HttpFetch* fetch, const FetchResult& fetched);

    std::vector<HttpFetch*> m_fetches;
    std::vector<qsizetype> m_fetching; // which page each fetch is on
    std::shared_ptr<const PageList> m_pages;
    RobotsRules m_robots;
    std::shared_ptr<std::vector<PageVerdict>> m_verdicts;
    qsizetype m_next = 0;
    qsizetype m_checked = 0;
    bool m_busy = false;
};
