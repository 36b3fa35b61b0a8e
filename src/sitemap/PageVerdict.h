#pragma once

#include <QByteArray>
#include <QByteArrayList>
#include <QByteArrayView>
#include <QString>

class RobotsRules;
struct FetchResult;

// Whether a page may be announced to engines whose crawlers are given (by product token), from
// what fetching it answered: only a page that answers 200 itself, names no other page as its
// canonical one, and that at least one of the crawlers may fetch (by robots.txt) and index (no
// noindex in a robots meta tag or an X-Robots-Tag header, for crawlers in general or for it) can
// be indexed. A page that answers 404 or 410 is gone, and is announced as removed. Everything
// else is left out, with its reason. A page the check did not come to is deferred: neither sent
// nor left out, it is checked first next time.
struct PageVerdict
{
    enum class Kind { Indexable, Gone, LeftOut, Deferred };

    Kind kind = Kind::Indexable;
    QString reason; // as the summary counts it: "noindex", "redirect", "canonical elsewhere" …
    QString detail; // what this page did: "redirects to …", "names … as canonical", a note
    // An indexable page that some of the crawlers may not index: which, and why.
    QString exceptFor;
    // Of an indexable page whose content was asked for: its ContentFingerprint, and the
    // validators it was served with (ETag, Last-Modified), for a conditional GET next time.
    QByteArray fingerprint = {};
    QByteArray etag = {};
    QByteArray lastModified = {};
    qint64 bytesHash = 0;     // ContentFingerprint::bytesHash of what was read; 0: not read whole
    bool notModified = false; // it answered 304 to the validators of the version read last

    // A stable code for a reason as the summary counts it (or as a record keeps it, with its
    // detail after ": "), for tools that read JSON: "noindex", "redirect", "canonical-elsewhere",
    // "robots", "unreachable", "http-error", "gone", "not-checked", "excluded"; "other" for one not
    // known here.
    static QString reasonCode(const QString& reason);

    // The bytes of a page's body that are read for its head.
    static constexpr qint64 headBytes = 64 * 1024;

    static PageVerdict deferred(const QString& why)
    {
        return {Kind::Deferred, QStringLiteral("not checked yet"), why, {}};
    }
    // A page that robots.txt (of the page's own origin) closes to every one of the crawlers.
    static PageVerdict blockedByRobots(const RobotsRules& robots);
    // `page` is the address asked for, in the normal form of WebAddress; `robots` are those of
    // its origin.
    static PageVerdict judge(QByteArrayView page, const FetchResult& fetched, const RobotsRules& robots,
                             const QByteArrayList& crawlers);
};
