#include "PathPatterns.h"

#include "WebAddress.h"

#include <QStringList>

#include <algorithm>

using namespace Qt::StringLiterals;

namespace {

QStringList patternsOf(const QString& text)
{
    return text.split(u' ', Qt::SkipEmptyParts);
}

} // namespace

QString PathPatterns::problemOf(const QString& patterns)
{
    for (const QString& pattern : patternsOf(patterns)) {
        if (!pattern.startsWith(u'/') && !pattern.startsWith(u'*'))
            return u"The pattern \"%1\" is not a path: a pattern begins with / or *, as in robots.txt "
                   u"(\"/blog/\", \"/*.pdf$\")."_s.arg(pattern);
    }
    return QString();
}

std::optional<PathPatterns> PathPatterns::parse(const QString& include, const QString& exclude)
{
    if (!problemOf(include).isEmpty() || !problemOf(exclude).isEmpty())
        return std::nullopt;
    PathPatterns patterns;
    for (const auto& [text, list] :
         {std::pair{&include, &patterns.m_include}, std::pair{&exclude, &patterns.m_exclude}}) {
        // In the form pages take, so that "/caf\u00e9" matches the page whatever its spelling.
        for (const QString& pattern : patternsOf(*text))
            list->append(WebAddress::normalPath(pattern.toUtf8()));
    }
    return patterns;
}

bool PathPatterns::admits(QByteArrayView path) const
{
    const auto matching = [path](const QByteArray& pattern) { return matches(pattern, path); };
    return (m_include.isEmpty() || std::any_of(m_include.cbegin(), m_include.cend(), matching)) &&
           std::none_of(m_exclude.cbegin(), m_exclude.cend(), matching);
}

bool PathPatterns::matches(QByteArrayView pattern, QByteArrayView path)
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
