#pragma once

#include "PageChecker.h"
#include "SitemapReader.h"

#include <QObject>

#include <memory>
#include <vector>

class QNetworkAccessManager;
class QThread;

// One job on a website, done on a thread other than its owner's with a network of its own: its
// sitemaps read, or its pages checked. A million pages are parsed, normalised and kept there,
// never on the window's thread. What it finds comes back through its signals, queued to whoever
// listens, and nothing comes once they are gone. The owner lets go of it with release(), which
// gives up what is under way and deletes it on its own thread.
class WebsiteFetcher final : public QObject
{
    Q_OBJECT

public:
    // Made on the caller's thread and moved to `thread`, which must run an event loop.
    static WebsiteFetcher* on(QThread& thread);
    ~WebsiteFetcher() override;
    Q_DISABLE_COPY_MOVE(WebsiteFetcher)

    // Each returns at once; the work starts on the fetcher's thread.
    void read(const QString& site, const QString& sitemap);
    void check(std::shared_ptr<const PageList> pages, PageChecker::RobotsByOrigin robots,
               QByteArrayList crawlers, const PageCheckLimits& limits);
    void release();

signals:
    void readingProgressed(int files, qsizetype pages);
    void sitemapsRead(const std::shared_ptr<SitemapReader::Result>& result);
    void checkingProgressed(qsizetype checked, qsizetype total);
    void pagesChecked(const std::shared_ptr<std::vector<PageVerdict>>& verdicts);

private:
    WebsiteFetcher() = default;
    // Made on the fetcher's own thread, where the network's replies are handled.
    void setUp();

    QNetworkAccessManager* m_network = nullptr;
    SitemapReader* m_reader = nullptr;
    PageChecker* m_checker = nullptr;
};
