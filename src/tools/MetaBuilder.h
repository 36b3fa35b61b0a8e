#pragma once

#include <QString>

#include <optional>

namespace MetaBuilder {

// The two meta lines for keywords and a description, joined by CRLF with nothing after them;
// nothing when either input is empty (blanks count as text). The values are HTML-escaped for
// the attribute, so a quote typed in them cannot end it early; blanks and line breaks stay.
std::optional<QString> metaLines(const QString& keywords, const QString& description);

} // namespace MetaBuilder
