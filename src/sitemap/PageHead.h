#pragma once

#include <QByteArray>
#include <QByteArrayView>

// What the head of an HTML page says to search engines, read with libxml2's HTML parser (no
// regular expressions): whether a robots meta tag, for crawlers in general or a named one, says
// noindex (or none), and the canonical address a link names. Reading stops where the body
// begins; a head that has not ended within the bytes given is said to be incomplete.
struct PageHead
{
    bool noindex = false;
    QByteArray noindexSource; // the tag that said it, for the report: "meta robots", "meta googlebot"
    QByteArray canonical;     // as written, possibly relative; empty when none is named
    bool complete = false;    // the whole head was read

    // `whole`: the bytes are the whole page, so its end ends the head too.
    static PageHead read(QByteArrayView html, bool whole);

    // Whether a robots directive list ("noindex, nofollow", "googlebot: none") forbids indexing.
    static bool forbidsIndexing(QByteArrayView directives);
};
