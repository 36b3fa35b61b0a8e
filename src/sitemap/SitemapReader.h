#pragma once

#include "PageList.h"
#include "RobotsRules.h"
#include "SitemapParser.h"
#include "WebAddress.h"

#include <QList>
#include <QMap>
#include <QObject>
#include <QSet>
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
// /sitemap.xml, or one given address; and its robots.txt's rules for crawlers; indexes followed to the URL
// sets they list, each file once. Only pages on the site's own host count, each once, in the normal form of
// WebAddress. Within bounds a hostile or broken site cannot push: the protocol's limits per file, a number of
// files (listed ones included), a depth of nested indexes and a time for all.
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
        QString error;     // empty when every sitemap was read
        QByteArray origin; // the website's "scheme://host[:port]", which the ledger knows it by
        QByteArray host;   // the site's host, which every page had to be on
        PageList pages;
        int foreign = 0;             // pages on another host, left out
        QByteArray foreignHost;      // one of those hosts, to name it
        int duplicates = 0;          // pages listed again, left out
        QMap<QString, int> unusable; // why an address cannot be used, and how many were left out for it
        QStringList files;           // the sitemaps read, in the order read
        QStringList roots;           // those robots.txt named (else /sitemap.xml, or the one given):
                                     // what a search engine is told of, indexes and all
        RobotsRules robots;          // the website's origin's, which say which pages crawlers may fetch

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
    bool isBusy() const { return m_busy; }

signals:
    // How far it is: the files read so far and the pages found in them.
    void progressed(int files, qsizetype pages);
    void finished(const std::shared_ptr<SitemapReader::Result>& result);

private:
    struct Pending
    {
        QUrl url;
        int depth = 0; // of indexes above it
    };
    class ParserSink;

    void enqueue(const QByteArray& address, int depth);
    void fetchNext();
    void onRobots(const FetchResult& fetched);
    void onSitemap(const FetchResult& fetched);
    void onEntry(const SitemapParser::Entry& entry);
    void end(const QString& error = QString());

    HttpFetch* m_fetch;
    QTimer* m_deadline;
    Limits m_limits;
    QByteArray m_origin; // "scheme://host[:port]" of the site
    QList<Pending> m_queue;
    QSet<QByteArray> m_listed; // every sitemap fetched or queued, so each is read once
    Pending m_current;
    std::unique_ptr<SitemapParser> m_parser;
    WebAddress::Normaliser m_normaliser; // the pages of one website mostly write its origin alike
    std::unique_ptr<ParserSink> m_sink;
    std::shared_ptr<Result> m_result;
    QString m_stopReason; // a limit passed while a file was read
    bool m_readingRobots = false;
    bool m_busy = false;
};
