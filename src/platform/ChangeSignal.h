#pragma once

#include <QString>
#include <QStringList>

#include <optional>

// What tells that a page of a sitemap changed and goes out again: the sitemap's lastmod, the
// page's content, or the lastmod where a page has one and its content where it has none.
enum class ChangeSignal { LastModified, Content, Auto };

namespace ChangeSignals {

// As a profile keeps them and the command line takes them, in the order of the enum.
inline const QStringList names{QStringLiteral("lastmod"), QStringLiteral("content"), QStringLiteral("auto")};

// Nothing for a name not known; a profile kept before there was a choice (no name) goes by lastmod.
inline std::optional<ChangeSignal> fromName(const QString& name)
{
    if (name.isEmpty())
        return ChangeSignal::LastModified;
    const qsizetype index = names.indexOf(name);
    return index < 0 ? std::nullopt : std::optional(ChangeSignal(index));
}

inline QString nameOf(ChangeSignal signal)
{
    return names.at(qsizetype(signal));
}

} // namespace ChangeSignals
