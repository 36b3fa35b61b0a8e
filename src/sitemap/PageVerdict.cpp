#include "PageVerdict.h"

#include "HttpFetch.h"
#include "PageHead.h"
#include "RobotsRules.h"
#include "WebAddress.h"

#include <QMap>

using namespace Qt::StringLiterals;

namespace {

PageVerdict leftOut(const QString& reason, const QString& detail)
{
    return {PageVerdict::Kind::LeftOut, reason, detail, {}};
}

bool isSpace(char c)
{
    return c == ' ' || c == '\t';
}

// The target of a Link header's canonical relation, if it has one, read as RFC 8288 writes
// links: `<target>; rel="a b"; …`, separated by commas outside the brackets and the quotes, the
// relation a list of types of which "canonical" must be one.
QByteArray canonicalInLink(QByteArrayView link)
{
    qsizetype at = 0;
    const qsizetype size = link.size();
    while (at < size) {
        while (at < size && (isSpace(link[at]) || link[at] == ','))
            ++at;
        if (at == size || link[at] != '<')
            return {}; // not a link as the grammar writes one: nothing to trust after it
        const qsizetype close = link.indexOf('>', at + 1);
        if (close < 0)
            return {};
        const QByteArrayView target = link.sliced(at + 1, close - at - 1);
        at = close + 1;
        bool canonical = false;
        // Parameters up to the next comma outside quotes.
        while (at < size && link[at] != ',') {
            while (at < size && (isSpace(link[at]) || link[at] == ';'))
                ++at;
            const qsizetype nameStart = at;
            while (at < size && link[at] != '=' && link[at] != ';' && link[at] != ',' && !isSpace(link[at]))
                ++at;
            const QByteArray name = link.sliced(nameStart, at - nameStart).toByteArray().toLower();
            while (at < size && isSpace(link[at]))
                ++at;
            QByteArray value;
            if (at < size && link[at] == '=') {
                ++at;
                while (at < size && isSpace(link[at]))
                    ++at;
                if (at < size && link[at] == '"') {
                    for (++at; at < size && link[at] != '"'; ++at) {
                        if (link[at] == '\\' && at + 1 < size)
                            ++at;
                        value += link[at];
                    }
                    ++at; // the closing quote
                } else {
                    while (at < size && link[at] != ';' && link[at] != ',' && !isSpace(link[at]))
                        value += link[at++];
                }
            }
            if (name == "rel")
                canonical = value.toLower().simplified().split(' ').contains("canonical");
        }
        if (canonical)
            return target.toByteArray().trimmed();
    }
    return {};
}

// Crawlers with the same reason, in one phrase each: "bingbot: meta bingbot: noindex".
QString byReason(const QMap<QString, QByteArrayList>& crawlersByReason)
{
    QStringList phrases;
    for (auto reason = crawlersByReason.cbegin(); reason != crawlersByReason.cend(); ++reason)
        phrases << QString::fromLatin1(reason.value().join(", ")) + u": "_s + reason.key();
    return phrases.join(u"; "_s);
}

} // namespace

PageVerdict PageVerdict::blockedByRobots(const RobotsRules& robots)
{
    return leftOut(u"blocked by robots.txt"_s, robots.disallowedBecause().isEmpty()
                                                   ? u"robots.txt disallows it"_s
                                                   : robots.disallowedBecause());
}

PageVerdict PageVerdict::judge(QByteArrayView page, const FetchResult& fetched, const RobotsRules& robots,
                               const QByteArrayList& crawlers)
{
    if (!fetched.complete)
        return leftOut(u"cannot be reached"_s, fetched.error);
    const QByteArray landed = WebAddress::normalise(fetched.url.toEncoded()).address;
    if (!landed.isEmpty() && landed != page)
        return leftOut(u"redirect"_s, u"redirects to %1"_s.arg(QString::fromUtf8(landed)));
    if (fetched.status == 404 || fetched.status == 410)
        return {Kind::Gone, QString(), u"answers %1"_s.arg(fetched.status), {}};
    if (fetched.status != 200)
        return leftOut(u"answers %1"_s.arg(fetched.status),
                       QString(u"HTTP %1 "_s.arg(fetched.status) + fetched.reason).trimmed());

    QList<IndexingBan> bans;
    for (const auto& [name, value] : fetched.headers) {
        if (name.compare("X-Robots-Tag", Qt::CaseInsensitive) == 0)
            IndexingBan::read(value, {}, "X-Robots-Tag", bans);
    }
    const QByteArray type = fetched.header("Content-Type").toLower();
    const bool html = type.isEmpty() || type.contains("html");
    const PageHead head =
        html ? PageHead::read(fetched.body, !fetched.truncated, type) : PageHead{{}, {}, true};
    bans += head.bans;

    // Each crawler's reason not to index the page, if it has one.
    QMap<QString, QByteArrayList> refusals;
    for (const QByteArray& crawler : crawlers) {
        if (!robots.allows(page, crawler)) {
            refusals[u"robots.txt disallows it"_s] << crawler;
            continue;
        }
        for (const IndexingBan& ban : std::as_const(bans)) {
            if (ban.crawler.isEmpty() || ban.crawler == crawler) {
                refusals[QString::fromUtf8(ban.source) + u": noindex"_s] << crawler;
                break;
            }
        }
    }
    qsizetype refused = 0;
    for (const QByteArrayList& refusing : std::as_const(refusals))
        refused += refusing.size();
    if (refused == crawlers.size() && !crawlers.isEmpty()) {
        // One reason for all (meta robots, robots.txt) is said as it stands; several, crawler by crawler.
        if (refusals.size() > 1)
            return leftOut(u"noindex"_s, byReason(refusals));
        const QString& reason = refusals.firstKey();
        return leftOut(reason.startsWith(u"robots.txt"_s) ? u"blocked by robots.txt"_s : u"noindex"_s,
                       reason);
    }

    QByteArray canonical = canonicalInLink(fetched.header("Link"));
    if (canonical.isEmpty())
        canonical = head.canonical;
    if (!canonical.isEmpty()) {
        const QUrl named = QUrl::fromEncoded(page.toByteArray()).resolved(QUrl(QString::fromUtf8(canonical)));
        const QByteArray normal = WebAddress::normalise(named.toEncoded()).address;
        if (normal != page)
            return leftOut(u"canonical elsewhere"_s, u"names %1 as canonical"_s.arg(QString::fromUtf8(
                                                         normal.isEmpty() ? canonical : normal)));
    }
    PageVerdict verdict;
    verdict.exceptFor = byReason(refusals);
    if (!head.complete)
        verdict.detail =
            u"its head was not read in the first %1 KiB, so it counts as indexable"_s.arg(headBytes / 1024);
    return verdict;
}

QString PageVerdict::reasonCode(const QString& reason)
{
    const QString summary = reason.section(u": "_s, 0, 0);
    static const QList<std::pair<QString, QString>> codes{
        {u"noindex"_s, u"noindex"_s},
        {u"redirect"_s, u"redirect"_s},
        {u"canonical elsewhere"_s, u"canonical-elsewhere"_s},
        {u"blocked by robots.txt"_s, u"robots"_s},
        {u"cannot be reached"_s, u"unreachable"_s},
        {u"not checked yet"_s, u"not-checked"_s},
        {u"excluded by the profile"_s, u"excluded"_s}};
    for (const auto& [text, code] : codes) {
        if (summary == text)
            return code;
    }
    if (summary.startsWith(u"answers 4"_s) || summary.startsWith(u"answers 5"_s))
        return summary == u"answers 404"_s || summary == u"answers 410"_s ? u"gone"_s : u"http-error"_s;
    return u"other"_s;
}
