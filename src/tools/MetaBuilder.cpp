#include "MetaBuilder.h"

using namespace Qt::StringLiterals;

std::optional<QString> MetaBuilder::metaLines(const QString& keywords, const QString& description)
{
    if (keywords.isEmpty() || description.isEmpty())
        return std::nullopt;
    return u"<meta http-equiv=\"keywords\" content=\""_s + keywords.toHtmlEscaped() + u"\">\r\n"_s +
           u"<meta http-equiv=\"description\" content=\""_s + description.toHtmlEscaped() + u"\">"_s;
}
