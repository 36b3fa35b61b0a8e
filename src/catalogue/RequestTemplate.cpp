#include "RequestTemplate.h"

#include <algorithm>

using namespace Qt::StringLiterals;

const QStringList& RequestTemplate::placeholderKeywords()
{
    static const QStringList keywords = {
        u"state"_s, u"name"_s,     u"major"_s, u"description"_s, u"city"_s,    u"section"_s, u"email"_s,
        u"url"_s,   u"company"_s,  u"phone"_s, u"country"_s,     u"address"_s, u"title"_s,   u"zip"_s,
        u"fax"_s,   u"keywords"_s, u"type"_s,  u"key"_s,         u"host"_s,    u"feed"_s,    u"keylocation"_s,
    };
    return keywords;
}

std::optional<RequestTemplate::Encoding> RequestTemplate::encodingNamed(const QString& name)
{
    const QString lower = name.toLower();
    if (lower.isEmpty() || lower == u"form"_s)
        return Encoding::Form;
    if (lower == u"json"_s)
        return Encoding::Json;
    if (lower == u"xml"_s)
        return Encoding::Xml;
    if (lower == u"text"_s)
        return Encoding::Text;
    return std::nullopt;
}

QByteArray RequestTemplate::contentType(Encoding encoding)
{
    switch (encoding) {
    case Encoding::Form:
        break;
    case Encoding::Json:
        return QByteArrayLiteral("application/json; charset=utf-8");
    case Encoding::Xml:
        return QByteArrayLiteral("text/xml");
    case Encoding::Text:
        return QByteArrayLiteral("text/plain; charset=utf-8");
    }
    return QByteArrayLiteral("application/x-www-form-urlencoded");
}

QString RequestTemplate::placeholder(const QString& keyword)
{
    return u'[' + keyword + u']';
}

RequestTemplate::BracketedWord RequestTemplate::nextBracketedWord(const QString& templateText, qsizetype from)
{
    const QStringList& keywords = placeholderKeywords();
    for (qsizetype open = templateText.indexOf(u'[', from); open >= 0;
         open = templateText.indexOf(u'[', open + 1)) {
        const qsizetype close = templateText.indexOf(u']', open + 1);
        if (close < 0)
            break;
        const QStringView word = QStringView(templateText).sliced(open + 1, close - open - 1);
        const bool letters = !word.isEmpty() && std::all_of(word.begin(), word.end(), [](QChar c) {
            return (c >= u'a' && c <= u'z') || (c >= u'A' && c <= u'Z');
        });
        if (letters)
            return {open, close - open + 1, int(keywords.indexOf(word))};
    }
    return {};
}

QStringList RequestTemplate::unknownPlaceholders(const QString& templateText)
{
    QStringList unknown;
    for (BracketedWord word = nextBracketedWord(templateText, 0); word.at >= 0;
         word = nextBracketedWord(templateText, word.at + 1)) {
        if (word.placeholder < 0)
            unknown << templateText.mid(word.at, word.length);
    }
    return unknown;
}
