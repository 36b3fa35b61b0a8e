#pragma once

#include "PageList.h"
#include "SitemapParser.h"

#include <QList>
#include <QObject>
#include <QString>
#include <QStringList>
#include <QUrl>

#include <chrono>
#include <memory>

class HttpFetch;
class QNetworkAccessManager;
class QTimer;
struct FetchResult;

// A website's pages, from its sitemaps: those its robots.txt names ("Sitemap:" lines), else
// /sitemap.xml, or one given address; indexes followed to the URL sets they list. Only pages on
// the site's own host count, each once. Within bounds a hostile or broken site cannot push: the
// protocol's limits per file, a number of files, a depth of nested indexes and a time for all.
class SitemapReader final : public QObject
{
    Q_OBJECT

public:
    struct Limits
    {
        int maxFiles = 1000;
        int maxIndexDepth = 2; // an index may list indexes, which list URL sets, and no deeper
        std::chrono::milliseconds deadline{std::chrono::minutes(2)};
        SitemapParser::Limits file;
    };

    struct Result
    {
        QString error; // empty when every sitemap was read
        PageList pages;
        int foreign = 0;    // pages on another host, left out
        int duplicates = 0; // pages listed again, left out
        int invalid = 0;    // entries that are no web address, left out
        QStringList files;  // the sitemaps read, in the order read

        // "N pages found in F sitemaps; left out: …", or the error.
        QString summary() const;
    };

    explicit SitemapReader(QNetworkAccessManager& network, QObject* parent = nullptr);
    ~SitemapReader() override;

    // Returns at once; finished() follows from the event loop.
    void start(const QString& siteAddress, const QString& sitemapAddress, Limits limits);
    void start(const QString& siteAddress, const QString& sitemapAddress = QString())
    {
        start(siteAddress, sitemapAddress, Limits());
    }
    void cancel();
    bool isRunning() const { return m_running; }

    // For programs without a window: reads with a local event loop and returns when done.
    static std::shared_ptr<Result> readNow(QNetworkAccessManager& network, const QString& siteAddress,
                                           const QString& sitemapAddress, Limits limits);

    // The sitemap addresses of a robots.txt, in its order.
    static QStringList sitemapsInRobots(const QByteArray& robots);

signals:
    void finished(const std::shared_ptr<SitemapReader::Result>& result);

private:
    struct Pending
    {
        QUrl url;
        int depth = 0; // of indexes above it
    };
    class ParserSink;

    void fetchNext();
    void onRobots(const FetchResult& fetched);
    void onSitemap(const FetchResult& fetched);
    void onEntry(QStringView loc, QStringView lastModified);
    void end(const QString& error = QString());

    HttpFetch* m_fetch;
    QTimer* m_deadline;
    Limits m_limits;
    QUrl m_site;
    QByteArray m_host; // lower case, compared with each page's
    QList<Pending> m_queue;
    Pending m_current;
    std::unique_ptr<SitemapParser> m_parser;
    std::unique_ptr<ParserSink> m_sink;
    std::shared_ptr<Result> m_result;
    bool m_readingRobots = false;
    bool m_nestedTooDeep = false;
    bool m_running = false;
};
