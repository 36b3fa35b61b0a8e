#include "WebAddress.h"

#include <QUrl>

using namespace Qt::StringLiterals;

bool WebAddress::isValid(const QString& text)
{
    const QUrl url(text, QUrl::StrictMode);
    const QString scheme = url.scheme().toLower();
    return url.isValid() && (scheme == u"http"_s || scheme == u"https"_s) && !url.host().isEmpty();
}
