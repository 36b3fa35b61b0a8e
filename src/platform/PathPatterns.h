#pragma once

#include <QByteArray>
#include <QByteArrayList>
#include <QByteArrayView>
#include <QString>

#include <optional>

// Which pages of a website a profile announces, by patterns written as robots.txt writes paths:
// "/blog/" matches every path that begins so, "*" any run of characters, a final "$" the end of
// the path (with its query). A page is announced when it matches one of the included patterns
// (or none are given) and none of the excluded ones.
class PathPatterns
{
public:
    // Patterns separated by blanks, each beginning with "/" or "*"; nothing when one does not.
    static std::optional<PathPatterns> parse(const QString& include, const QString& exclude);
    // Why such a text is refused (it names the first pattern refused); empty when it is taken.
    static QString problemOf(const QString& patterns);

    bool isEmpty() const { return m_include.isEmpty() && m_exclude.isEmpty(); }
    // `path`: a page's path and query, in WebAddress's normal form.
    bool admits(QByteArrayView path) const;

    // Whether the pattern matches the path, as robots.txt matches a rule.
    static bool matches(QByteArrayView pattern, QByteArrayView path);

private:
    QByteArrayList m_include;
    QByteArrayList m_exclude;
};
