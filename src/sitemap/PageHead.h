#pragma once

#include <QByteArray>
#include <QByteArrayView>
#include <QList>

// A robots directive that forbids indexing ("noindex", "none"), for every crawler or for one.
struct IndexingBan
{
    QByteArray crawler; // a product token in lower case ("bingbot"); empty for every crawler
    QByteArray source;  // what said it, for the report: "meta robots", "meta bingbot", "X-Robots-Tag"

    // Appends the bans a directive list makes: "noindex, nofollow" for `crawler` (empty: every
    // crawler), or with a crawler's name in front ("googlebot: noindex, nofollow"), which speaks
    // for that crawler alone, up to the next name.
    static void read(QByteArrayView directives, QByteArrayView crawler, const QByteArray& source,
                     QList<IndexingBan>& bans);
};

// What the head of an HTML page says to search engines, read with libxml2's HTML parser (no
// regular expressions): the robots meta tags that forbid indexing (for crawlers in general or a
// named one), and the canonical address a link names. The bytes are decoded as a browser
// decodes them: a byte-order mark first, then the charset the answer's Content-Type names, then
// the document's own declaration. Reading stops where the body begins; a head that has not ended
// within the bytes given is said to be incomplete.
struct PageHead
{
    QList<IndexingBan> bans;
    QByteArray canonical;  // as written, possibly relative; empty when none is named
    bool complete = false; // the whole head was read

    // `whole`: the bytes are the whole page, so its end ends the head too. `contentType`: the
    // answer's header, whose charset counts unless a byte-order mark says otherwise.
    static PageHead read(QByteArrayView html, bool whole, QByteArrayView contentType = {});
};
