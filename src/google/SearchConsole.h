#pragma once

#include "GoogleEndpoints.h"
#include "TimeText.h"

#include <QDateTime>
#include <QJsonObject>
#include <QList>
#include <QObject>
#include <QString>

#include <functional>

class GoogleAccount;
class QNetworkAccessManager;

// What Google answered to one request, in the terms a caller acts on.
struct GoogleAnswer
{
    enum class Outcome {
        Answered,      // 2xx: done as asked; `body` holds the JSON, if any
        Refused,       // Google refused it (403, 404, 400, …): `message` is Google's own
        SlowDown,      // 429 within a minute's limit: ask again after `retryAfterSeconds`
        QuotaExceeded, // 429 or RESOURCE_EXHAUSTED of the day's quota: ask again another day
        SignInAgain,   // no token could be had, or a fresh one was refused too
        Unreachable,   // no whole answer arrived
        Unreadable,    // a 2xx without the JSON the request expects: not Google's answer
    };
    Outcome outcome = Outcome::Unreachable;
    int status = 0;
    QString message; // on one line, whatever Google sent
    QJsonObject body;
    int retryAfterSeconds = 0;

    bool ok() const { return outcome == Outcome::Answered; }
};

// A Search Console property the account may use.
struct GoogleProperty
{
    QString siteUrl; // "https://www.example.com/" or "sc-domain:example.com"
    QString permissionLevel;

    // Names come as Google sent them, on one line.
    static QList<GoogleProperty> listFrom(const QJsonObject& body);
    // The property that covers a website's address: the longest URL-prefix property it starts
    // with, else a domain property of its host or a parent domain; empty when none does.
    // A property the account has not verified (siteUnverifiedUser) covers nothing.
    static QString match(const QString& address, const QList<GoogleProperty>& properties);
};

// Google's view of one sitemap.
struct GoogleSitemapStatus
{
    QString path;
    QDateTime lastSubmitted;
    QDateTime lastDownloaded;
    bool pending = false;
    bool isIndex = false;
    qint64 warnings = 0;
    qint64 errors = 0;
    qint64 submittedPages = 0;

    // The counts must be whole numbers from 0 to a bound no sitemap comes near; `problem` says
    // which one is not, in which case the status is Google's error, not to be shown or kept.
    static GoogleSitemapStatus fromJson(const QJsonObject& entry, QString& problem);
    static QList<GoogleSitemapStatus> listFrom(const QJsonObject& body, QString& problem);
    // "downloaded 2026-12-05T10:00:00Z, 120 pages, 0 errors, 1 warning" or "pending", the time
    // written as `time` writes it.
    QString describe(QString (*time)(qint64) = TimeText::written) const;
};

// Google's index status of one page, as URL Inspection reports it. It reports what Google last
// saw; it does not ask Google to crawl or index anything.
struct GoogleIndexStatus
{
    QString verdict; // PASS, NEUTRAL, FAIL, PARTIAL, VERDICT_UNSPECIFIED
    QString
        coverageState; // Google's own sentence: "Submitted and indexed", "Crawled - currently not indexed", …
    QDateTime lastCrawl;
    QString robotsTxtState;
    QString indexingState;
    QString pageFetchState;
    QString googleCanonical;

    static GoogleIndexStatus fromJson(const QJsonObject& body);
    bool isIndexed() const { return verdict == QStringLiteral("PASS"); }
    bool wasCrawled() const { return lastCrawl.isValid(); }
    // "indexed", "crawled, not indexed" or "not seen by Google".
    QString state() const;
    // "announced 2026-12-03, crawled by Google 2026-12-05, indexed (Submitted and indexed)", the
    // dates written as `date` writes them; the announcement is left out when `announcedAt` (ms) is 0.
    QString describe(qint64 announcedAt, QString (*date)(qint64) = TimeText::writtenDate) const;
};

// Search Console's API, one request at a time: properties, a sitemap submitted or read back, a
// page inspected. An expired token (401) is replaced once and the request asked again.
class SearchConsole final : public QObject
{
    Q_OBJECT

public:
    SearchConsole(QNetworkAccessManager& network, const GoogleEndpoints& endpoints, GoogleAccount& account,
                  QObject* parent = nullptr);

    using Callback = std::function<void(const GoogleAnswer&)>;
    void listProperties(const Callback& done);
    void submitSitemap(const QString& property, const QString& sitemap, const Callback& done);
    void readSitemap(const QString& property, const QString& sitemap, const Callback& done);
    void listSitemaps(const QString& property, const Callback& done);
    void inspect(const QString& property, const QString& page, const Callback& done);

    // What a raw answer means, from its status, its Retry-After and Google's JSON error body;
    // `expectsJson`: a success must carry a JSON object.
    static GoogleAnswer interpret(int status, const QByteArray& body, const QByteArray& retryAfter,
                                  bool expectsJson);

private:
    void call(const QByteArray& method, const QUrl& url, const QByteArray& body, bool expectsJson,
              const Callback& done, bool retried = false);

    QNetworkAccessManager& m_network;
    GoogleEndpoints m_endpoints;
    GoogleAccount& m_account;
};
