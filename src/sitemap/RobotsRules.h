#pragma once

#include <QByteArray>
#include <QByteArrayView>
#include <QList>
#include <QString>
#include <QStringList>

// A website's robots.txt as RFC 9309 reads it, for crawlers in general (the groups of
// "User-agent: *"): the longest matching rule decides, Allow wins a tie, "*" matches any run of
// characters and "$" the end. A file that answers 4xx allows everything; one that answers 5xx or
// cannot be reached disallows everything. Only its first 500 KiB count. It also names the
// website's sitemaps.
class RobotsRules
{
public:
    static constexpr qsizetype longestFile = 500 * 1024;

    // Everything allowed, as when the website has no robots.txt.
    RobotsRules() = default;
    static RobotsRules fromText(QByteArrayView text);
    static RobotsRules disallowingAll(const QString& why);

    // Whether crawlers may fetch the page at this address (in the normal form of WebAddress).
    bool allows(QByteArrayView pageAddress) const;
    // Why everything is disallowed, when it is ("robots.txt answers 503").
    QString disallowedBecause() const { return m_disallowAll; }
    const QStringList& sitemaps() const { return m_sitemaps; }

private:
    struct Rule
    {
        QByteArray pattern; // in the normal form of a path, "*" and a final "$" as written
        bool allow = false;
    };

    static bool matches(QByteArrayView pattern, QByteArrayView path);

    QList<Rule> m_rules;
    QStringList m_sitemaps;
    QString m_disallowAll;
};
