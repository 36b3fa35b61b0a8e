#include "RobotsRules.h"

#include "HttpFetch.h"
#include "OrvantaAgent.h"
#include "PathPatterns.h"
#include "WebAddress.h"

#include <algorithm>

using namespace Qt::StringLiterals;

namespace {

// A rule's path as pages are written: a leading "/" however it was written.
QByteArray normalPattern(QByteArrayView value)
{
    const QByteArray path = WebAddress::normalPath(value);
    return path.startsWith('/') ? path : '/' + path;
}

} // namespace

RobotsRules RobotsRules::fromText(QByteArrayView text)
{
    RobotsRules robots;
    if (text.size() > longestFile) {
        // A rule cut in two by the bound ("Disallow: /private-area" read as "Disallow: /") would
        // say what the file does not: the last line counts only when whole.
        text = text.first(longestFile);
        const qsizetype lastEnd = std::max(text.lastIndexOf('\n'), text.lastIndexOf('\r'));
        text = text.first(lastEnd + 1);
    }
    if (text.startsWith("\xEF\xBB\xBF")) // a byte-order mark would hide the first line
        text = text.sliced(3);
    QByteArrayList agents;      // of the group being read
    bool readingAgents = false; // the last line was a user-agent line
    qsizetype start = 0;
    while (start < text.size()) {
        // Lines end in LF, CR or CRLF.
        qsizetype end = start;
        while (end < text.size() && text[end] != '\n' && text[end] != '\r')
            ++end;
        QByteArrayView line = text.sliced(start, end - start);
        start = end + (end + 1 < text.size() && text[end] == '\r' && text[end + 1] == '\n' ? 2 : 1);
        if (const qsizetype hash = line.indexOf('#'); hash >= 0)
            line = line.first(hash);
        const qsizetype colon = line.indexOf(':');
        if (colon <= 0)
            continue;
        const QByteArray key = line.first(colon).trimmed().toByteArray().toLower();
        const QByteArrayView value = line.sliced(colon + 1).trimmed();
        if (key == "user-agent") {
            // Agents one after the other share the rules that follow; a new agent after rules
            // begins another group. "bingbot/2.0" names the product token bingbot.
            if (!readingAgents)
                agents.clear();
            readingAgents = true;
            qsizetype tokenEnd = 0;
            while (tokenEnd < value.size() && value[tokenEnd] != '/' && value[tokenEnd] != ' ' &&
                   value[tokenEnd] != '\t')
                ++tokenEnd;
            if (tokenEnd > 0) {
                const QByteArray agent = value.first(tokenEnd).toByteArray().toLower();
                agents << agent;
                robots.m_groups[agent]; // a group without rules allows everything to its crawler
            }
            continue;
        }
        if (key == "sitemap") {
            if (!value.isEmpty())
                robots.m_sitemaps << QString::fromUtf8(value);
            continue;
        }
        if (key == "crawl-delay") {
            readingAgents = false;
            bool number = false;
            const double seconds = value.toByteArray().toDouble(&number);
            for (const QByteArray& agent : std::as_const(agents)) {
                if (number && seconds >= 0)
                    robots.m_crawlDelays.insert(agent, seconds);
            }
            continue;
        }
        if (key != "allow" && key != "disallow")
            continue;
        readingAgents = false;
        if (value.isEmpty()) // an empty Disallow allows everything: no rule
            continue;
        const Rule rule{normalPattern(value), key == "allow"};
        for (const QByteArray& agent : std::as_const(agents))
            robots.m_groups[agent].append(rule);
    }
    return robots;
}

FetchRequest RobotsRules::request(QByteArrayView origin)
{
    FetchRequest request;
    request.url = QUrl::fromEncoded(origin.toByteArray() + "/robots.txt");
    request.deadline = std::chrono::seconds(20);
    request.keepBytes = longestFile + 1; // a byte more tells a file the bound cuts
    request.userAgent = OrvantaAgent::productToken();
    return request;
}

RobotsRules RobotsRules::fromAnswer(const FetchResult& fetched)
{
    // Unreachable or failing, nothing may be fetched; missing, everything.
    const QString status = QString(u"HTTP %1 "_s.arg(fetched.status) + fetched.reason).trimmed();
    if (!fetched.complete)
        return disallowingAll(u"robots.txt cannot be read: %1"_s.arg(fetched.error));
    if (fetched.status >= 500)
        return disallowingAll(u"robots.txt answers %1"_s.arg(status));
    if (fetched.status < 300)
        return fromText(fetched.body);
    return {};
}

RobotsRules RobotsRules::disallowingAll(const QString& why)
{
    RobotsRules robots;
    robots.m_disallowAll = why;
    return robots;
}

bool RobotsRules::decide(const Rules& rules, QByteArrayView path)
{
    qsizetype longest = -1;
    bool allowed = true;
    for (const Rule& rule : rules) {
        if (!PathPatterns::matches(rule.pattern, path))
            continue;
        const qsizetype length = rule.pattern.size();
        if (length > longest || (length == longest && rule.allow)) {
            longest = length;
            allowed = rule.allow;
        }
    }
    return allowed;
}

double RobotsRules::crawlDelay(QByteArrayView crawler) const
{
    const QByteArray token = crawler.toByteArray().toLower();
    return m_groups.contains(token) ? m_crawlDelays.value(token)
                                    : m_crawlDelays.value(QByteArrayLiteral("*"));
}

bool RobotsRules::allows(QByteArrayView pageAddress, QByteArrayView crawler) const
{
    const QByteArrayView path = pageAddress.sliced(WebAddress::originOf(pageAddress).size());
    if (path == "/robots.txt")
        return true;
    if (!m_disallowAll.isEmpty())
        return false;
    auto group = m_groups.constFind(crawler.toByteArray().toLower());
    if (group == m_groups.cend())
        group = m_groups.constFind(QByteArrayLiteral("*"));
    return group == m_groups.cend() || decide(*group, path);
}
