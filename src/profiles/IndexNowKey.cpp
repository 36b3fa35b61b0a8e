#include "IndexNowKey.h"

#include "WebAddress.h"

#include <QRandomGenerator>

#include <algorithm>

using namespace Qt::StringLiterals;

bool IndexNowKey::isValid(const QString& key)
{
    return key.size() >= 8 && key.size() <= 128 && std::all_of(key.begin(), key.end(), [](QChar c) {
               return (c >= u'a' && c <= u'z') || (c >= u'A' && c <= u'Z') || (c >= u'0' && c <= u'9') ||
                      c == u'-';
           });
}

QString IndexNowKey::generate()
{
    quint32 words[4];
    QRandomGenerator::system()->fillRange(words);
    QString key;
    for (const quint32 word : words)
        key += u"%1"_s.arg(word, 8, 16, QChar(u'0'));
    return key;
}

QString IndexNowKey::fileName(const QString& key)
{
    return key + u".txt"_s;
}

QUrl IndexNowKey::location(const QString& siteAddress, const QString& key)
{
    const WebAddress::Normalised site = WebAddress::normalise(siteAddress.trimmed().toUtf8());
    if (site.address.isEmpty())
        return QUrl();
    return QUrl::fromEncoded(WebAddress::originOf(site.address).toByteArray() + '/' +
                             QUrl::toPercentEncoding(fileName(key)));
}
