#include "PageVerdict.h"

#include "HttpFetch.h"
#include "PageHead.h"
#include "RobotsRules.h"
#include "WebAddress.h"

using namespace Qt::StringLiterals;

namespace {

PageVerdict leftOut(const QString& reason, const QString& detail)
{
    return {PageVerdict::Kind::LeftOut, reason, detail};
}

// The target of a Link header's canonical relation, if it has one.
QByteArray canonicalInLink(QByteArrayView link)
{
    for (const QByteArray& entry : link.toByteArray().split(',')) {
        const qsizetype open = entry.indexOf('<');
        const qsizetype close = entry.indexOf('>', open + 1);
        if (open < 0 || close < 0)
            continue;
        const QByteArray parameters = entry.mid(close + 1).toLower().replace(' ', "").replace('"', "");
        if (parameters.contains("rel=canonical"))
            return entry.mid(open + 1, close - open - 1).trimmed();
    }
    return QByteArray();
}

} // namespace

PageVerdict PageVerdict::blockedByRobots(const RobotsRules& robots)
{
    return leftOut(u"blocked by robots.txt"_s, robots.disallowedBecause().isEmpty()
                                                   ? u"robots.txt disallows it"_s
                                                   : robots.disallowedBecause());
}

PageVerdict PageVerdict::judge(QByteArrayView page, const FetchResult& fetched)
{
    if (!fetched.complete)
        return leftOut(u"cannot be reached"_s, fetched.error);
    const QByteArray landed = WebAddress::normalise(fetched.url.toEncoded()).address;
    if (!landed.isEmpty() && landed != page)
        return leftOut(u"redirect"_s, u"redirects to %1"_s.arg(QString::fromUtf8(landed)));
    if (fetched.status == 404 || fetched.status == 410)
        return {Kind::Gone, QString(), u"answers %1"_s.arg(fetched.status)};
    if (fetched.status != 200)
        return leftOut(u"answers %1"_s.arg(fetched.status),
                       QString(u"HTTP %1 "_s.arg(fetched.status) + fetched.reason).trimmed());
    for (const auto& [name, value] : fetched.headers) {
        if (name.compare("X-Robots-Tag", Qt::CaseInsensitive) == 0 && PageHead::forbidsIndexing(value))
            return leftOut(u"noindex"_s, u"X-Robots-Tag: %1"_s.arg(QString::fromUtf8(value)));
    }
    const QByteArray type = fetched.header("Content-Type").toLower();
    const bool html = type.isEmpty() || type.contains("html");
    const PageHead head =
        html ? PageHead::read(fetched.body, !fetched.truncated) : PageHead{{}, {}, {}, true};
    if (head.noindex)
        return leftOut(u"noindex"_s, QString::fromUtf8(head.noindexSource) + u": noindex"_s);
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
    if (!head.complete)
        return {
            Kind::Indexable, QString(),
            u"its head was not read in the first %1 KiB, so it counts as indexable"_s.arg(headBytes / 1024)};
    return {};
}
