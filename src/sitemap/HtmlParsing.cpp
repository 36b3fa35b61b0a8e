#include "HtmlParsing.h"

xmlCharEncodingHandlerPtr htmlEncodingOf(QByteArrayView html, QByteArrayView contentType, qsizetype& skip)
{
    skip = 0;
    if (html.startsWith("\xEF\xBB\xBF")) {
        skip = 3;
        return xmlFindCharEncodingHandler("UTF-8");
    }
    if (html.startsWith("\xFF\xFE")) {
        skip = 2;
        return xmlFindCharEncodingHandler("UTF-16LE");
    }
    if (html.startsWith("\xFE\xFF")) {
        skip = 2;
        return xmlFindCharEncodingHandler("UTF-16BE");
    }
    const QByteArray type = contentType.toByteArray().toLower();
    const qsizetype at = type.indexOf("charset=");
    if (at < 0)
        return nullptr;
    QByteArray charset = type.mid(at + 8);
    charset.truncate(charset.indexOf(';') < 0 ? charset.size() : charset.indexOf(';'));
    charset = charset.trimmed();
    if (charset.startsWith('"') && charset.endsWith('"') && charset.size() >= 2)
        charset = charset.mid(1, charset.size() - 2);
    return charset.isEmpty() ? nullptr : xmlFindCharEncodingHandler(charset.constData());
}

QByteArray htmlAttribute(const xmlChar** attributes, QByteArrayView key)
{
    for (const xmlChar** attribute = attributes; attribute && attribute[0]; attribute += 2) {
        if (QByteArrayView(reinterpret_cast<const char*>(attribute[0])).compare(key, Qt::CaseInsensitive) ==
            0)
            return attribute[1] ? QByteArray(reinterpret_cast<const char*>(attribute[1])) : QByteArray();
    }
    return {};
}
