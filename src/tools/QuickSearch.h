#pragma once

#include <QString>
#include <QStringList>
#include <QUrl>

#include <optional>

namespace QuickSearch {

// The six engine names, in the order the engine box lists them.
const QStringList& engineNames();

// The result page for the search text on the named engine (matched exactly, case and all);
// nothing for any other name. The text is percent-encoded as UTF-8, so "C&A" stays one query.
std::optional<QUrl> searchUrl(const QString& engine, const QString& text);

} // namespace QuickSearch
