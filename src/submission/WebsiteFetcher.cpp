#include "WebsiteFetcher.h"

#include <QNetworkAccessManager>
#include <QThread>

WebsiteFetcher* WebsiteFetcher::on(QThread& thread)
{
    auto* fetcher = new WebsiteFetcher;
    fetcher->moveToThread(&thread);
    return fetcher;
}

WebsiteFetcher::~WebsiteFetcher()
{
    // The reader and the checker go before the network whose replies they hold.
    delete m_checker;
    delete m_reader;
}

void WebsiteFetcher::setUp()
{
    if (m_network)
        return;
    m_network = new QNetworkAccessManager(this);
    m_reader = new SitemapReader(*m_network, this);
    m_checker = new PageChecker(*m_network, this);
    connect(m_reader, &SitemapReader::progressed, this, &WebsiteFetcher::readingProgressed);
    connect(m_reader, &SitemapReader::finished, this, &WebsiteFetcher::sitemapsRead);
    connect(m_checker, &PageChecker::progressed, this, &WebsiteFetcher::checkingProgressed);
    connect(m_checker, &PageChecker::finished, this, &WebsiteFetcher::pagesChecked);
}

void WebsiteFetcher::read(const QString& site, const QString& sitemap)
{
    QMetaObject::invokeMethod(
        this,
        [this, site, sitemap] {
            setUp();
            m_reader->start(site, sitemap);
        },
        Qt::QueuedConnection);
}

void WebsiteFetcher::check(std::shared_ptr<const PageList> pages, PageChecker::RobotsByOrigin robots,
                           QByteArrayList crawlers, const PageCheckLimits& limits)
{
    QMetaObject::invokeMethod(
        this,
        [this, pages = std::move(pages), robots = std::move(robots), crawlers = std::move(crawlers), limits] {
            setUp();
            m_checker->start(pages, robots, crawlers, limits);
        },
        Qt::QueuedConnection);
}

void WebsiteFetcher::release()
{
    // Deleted on its own thread, which cancels the reading or the checking with it.
    deleteLater();
}
