#pragma once

#include <QByteArray>
#include <QByteArrayView>
#include <QString>

class RobotsRules;
struct FetchResult;

// Whether a page may be announced, from what fetching it answered: only a page that answers 200
// itself, says no noindex (in a robots meta tag or an X-Robots-Tag header), names no other page
// as its canonical one and is open to crawlers by robots.txt can be indexed. A page that answers
// 404 or 410 is gone, and is announced as removed. Everything else is left out, with its reason.
struct PageVerdict
{
    enum class Kind { Indexable, Gone, LeftOut };

    Kind kind = Kind::Indexable;
    QString reason; // as the summary counts it: "noindex", "redirect", "canonical elsewhere" …
    QString detail; // what this page did: "redirects to …", "names … as canonical", a note

    // The bytes of a page's body that are read for its head.
    static constexpr qint64 headBytes = 64 * 1024;

    static PageVerdict blockedByRobots(const RobotsRules& robots);
    // `page` is the address asked for, in the normal form of WebAddress.
    static PageVerdict judge(QByteArrayView page, const FetchResult& fetched);
};
