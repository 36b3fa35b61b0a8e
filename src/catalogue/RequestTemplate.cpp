#include "RequestTemplate.h"

#include <QRegularExpression>

using namespace Qt::StringLiterals;

const QStringList& RequestTemplate::placeholderKeywords()
{
    static const QStringList keywords = {
        u"state"_s, u"name"_s, u"major"_s,   u"description"_s, u"city"_s,    u"section"_s,
        u"email"_s, u"url"_s,  u"company"_s, u"phone"_s,       u"country"_s, u"address"_s,
        u"title"_s, u"zip"_s,  u"fax"_s,     u"keywords"_s,    u"type"_s,
    };
    return keywords;
}

QString RequestTemplate::placeholder(const QString& keyword)
{
    return u'[' + keyword + u']';
}

QStringList RequestTemplate::unknownPlaceholders(const QString& templateText)
{
    static const QRegularExpression bracketedWord(u"\\[([A-Za-z]+)\\]"_s);
    QStringList unknown;
    for (const QRegularExpressionMatch& match : bracketedWord.globalMatch(templateText)) {
        if (!placeholderKeywords().contains(match.captured(1)))
            unknown << match.captured(0);
    }
    return unknown;
}
