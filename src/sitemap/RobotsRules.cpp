#include "RobotsRules.h"

#include "WebAddress.h"

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
    text = text.first(std::min(text.size(), longestFile));
    if (text.startsWith("\xEF\xBB\xBF")) // a byte-order mark would hide the first line
        text = text.sliced(3);
    bool ours = false;          // the group being read is for every crawler
    bool readingAgents = false; // the last line was a user-agent line
    qsizetype start = 0;
    while (start < text.size()) {
        qsizetype end = text.indexOf('\n', start);
        if (end < 0)
            end = text.size();
        QByteArrayView line = text.sliced(start, end - start);
        start = end + 1;
        if (const qsizetype hash = line.indexOf('#'); hash >= 0)
            line = line.first(hash);
        const qsizetype colon = line.indexOf(':');
        if (colon <= 0)
            continue;
        const QByteArray key = line.first(colon).trimmed().toByteArray().toLower();
        const QByteArrayView value = line.sliced(colon + 1).trimmed();
        if (key == "user-agent") {
            // Agents one after the other share the rules that follow; a new agent after rules
            // begins another group.
            const bool everyone = value == "*";
            ours = readingAgents ? ours || everyone : everyone;
            readingAgents = true;
            continue;
        }
        if (key == "sitemap") {
            if (!value.isEmpty())
                robots.m_sitemaps << QString::fromUtf8(value);
            continue;
        }
        if (key != "allow" && key != "disallow")
            continue;
        readingAgents = false;
        if (ours && !value.isEmpty()) // an empty Disallow allows everything: no rule
            robots.m_rules.append({normalPattern(value), key == "allow"});
    }
    return robots;
}

RobotsRules RobotsRules::disallowingAll(const QString& why)
{
    RobotsRules robots;
    robots.m_disallowAll = why;
    return robots;
}

bool RobotsRules::matches(QByteArrayView pattern, QByteArrayView path)
{
    const bool anchored = pattern.endsWith('$');
    if (anchored)
        pattern.chop(1);
    // Wildcards by backtracking to the last "*": each part between them is matched once.
    qsizetype p = 0;
    qsizetype s = 0;
    qsizetype star = -1;
    qsizetype resume = 0;
    while (s < path.size()) {
        if (p < pattern.size() && pattern[p] == '*') {
            star = p++;
            resume = s;
        } else if (p < pattern.size() && pattern[p] == path[s]) {
            ++p;
            ++s;
        } else if (p == pattern.size() && !anchored) {
            return true; // a prefix matches
        } else if (star >= 0) {
            p = star + 1;
            s = ++resume;
        } else {
            return false;
        }
    }
    while (p < pattern.size() && pattern[p] == '*')
        ++p;
    return p == pattern.size();
}

bool RobotsRules::allows(QByteArrayView pageAddress) const
{
    const QByteArrayView path = pageAddress.sliced(WebAddress::originOf(pageAddress).size());
    if (path == "/robots.txt")
        return true;
    if (!m_disallowAll.isEmpty())
        return false;
    qsizetype longest = -1;
    bool allowed = true;
    for (const Rule& rule : m_rules) {
        if (!matches(rule.pattern, path))
            continue;
        const qsizetype length = rule.pattern.size();
        if (length > longest || (length == longest && rule.allow)) {
            longest = length;
            allowed = rule.allow;
        }
    }
    return allowed;
}
