#pragma once

#include <QByteArray>
#include <QByteArrayList>
#include <QByteArrayView>
#include <QHash>
#include <QList>
#include <QString>
#include <QStringList>

struct FetchRequest;
struct FetchResult;

// An origin's robots.txt as RFC 9309 reads it: a crawler obeys the groups that name its product
// token (matched without regard to case, several such groups combined), else the groups of
// "User-agent: *"; the longest matching rule decides, Allow wins a tie, "*" matches any run of
// characters and "$" the end. A file that answers 4xx allows everything; one that answers 5xx or
// cannot be reached disallows everything. Only its first 500 KiB count, and a line cut by that
// bound does not. It also names the website's sitemaps.
class RobotsRules
{
public:
    static constexpr qsizetype longestFile = 500 * 1024;

    // Everything allowed, as when the website has no robots.txt.
    RobotsRules() = default;
    // `text` may run past the bound: the line the bound cuts is dropped.
    static RobotsRules fromText(QByteArrayView text);
    static RobotsRules disallowingAll(const QString& why);

    // The request that reads an origin's robots.txt ("https://www.example.com"), and the rules
    // from what it answered.
    static FetchRequest request(QByteArrayView origin);
    static RobotsRules fromAnswer(const FetchResult& fetched);

    // Whether a crawler, by its product token ("bingbot"; "*" for crawlers in general), may
    // fetch the page at this address (in the normal form of WebAddress).
    bool allows(QByteArrayView pageAddress, QByteArrayView crawler = "*") const;
    // Why everything is disallowed, when it is ("robots.txt answers 503").
    QString disallowedBecause() const { return m_disallowAll; }
    // The seconds the crawler should wait between fetches, as the group it obeys (else
    // everyone's) asks with Crawl-delay; 0 when none asks.
    double crawlDelay(QByteArrayView crawler = "*") const;
    const QStringList& sitemaps() const { return m_sitemaps; }

private:
    struct Rule
    {
        QByteArray pattern; // in the normal form of a path, "*" and a final "$" as written
        bool allow = false;
    };
    using Rules = QList<Rule>;

    static bool decide(const Rules& rules, QByteArrayView path);

    QHash<QByteArray, Rules> m_groups;       // by product token in lower case; "*" for every crawler
    QHash<QByteArray, double> m_crawlDelays; // by product token, as m_groups
    QStringList m_sitemaps;
    QString m_disallowAll;
};
