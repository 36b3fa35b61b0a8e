#include "GoogleEndpoints.h"

#include "SearchConsoleAddress.h"

#include <QHostAddress>

using namespace Qt::StringLiterals;

GoogleEndpoints GoogleEndpoints::google()
{
    return {QUrl(u"https://accounts.google.com/o/oauth2/v2/auth"_s),
            QUrl(u"https://oauth2.googleapis.com/token"_s), QUrl(u"https://oauth2.googleapis.com/revoke"_s),
            QUrl(u"https://searchconsole.googleapis.com/"_s)};
}

GoogleEndpoints GoogleEndpoints::fromEnvironment(QString& error)
{
    GoogleEndpoints endpoints = google();
    const struct
    {
        const char* variable;
        QUrl GoogleEndpoints::*address;
    } overrides[] = {
        {"ORVANTA_GOOGLE_AUTH_URL", &GoogleEndpoints::authorization},
        {"ORVANTA_GOOGLE_TOKEN_URL", &GoogleEndpoints::token},
        {"ORVANTA_GOOGLE_REVOKE_URL", &GoogleEndpoints::revocation},
        {"ORVANTA_GOOGLE_API_URL", &GoogleEndpoints::api},
    };
    for (const auto& [variable, address] : overrides) {
        const QString value = qEnvironmentVariable(variable);
        if (value.isEmpty())
            continue;
        const QUrl url(value, QUrl::StrictMode);
        if (!url.isValid() || !isSafe(url)) {
            error = u"%1 must be an https address or an http one on this machine, not \"%2\"."_s.arg(
                QString::fromLatin1(variable), value);
            return {};
        }
        endpoints.*address = url;
    }
    if (!endpoints.api.path().endsWith(u'/'))
        endpoints.api.setPath(endpoints.api.path() + u'/');
    return endpoints;
}

bool GoogleEndpoints::isSafe(const QUrl& url)
{
    if (url.host().isEmpty() || !url.userInfo().isEmpty())
        return false;
    if (url.scheme() == u"https"_s)
        return true;
    if (url.scheme() != u"http"_s)
        return false;
    return url.host() == u"localhost"_s || QHostAddress(url.host()).isLoopback();
}

bool GoogleEndpoints::isSearchConsole(QStringView action)
{
    return isSearchConsoleAddress(action);
}

QUrl GoogleEndpoints::sites() const
{
    return api.resolved(QUrl(u"webmasters/v3/sites"_s));
}

QUrl GoogleEndpoints::sitemap(const QString& property, const QString& sitemapUrl) const
{
    // Both parts are escaped whole, slashes and colons included, as the API asks: the property
    // "https://example.com/" is one path segment.
    const QByteArray path = api.path(QUrl::FullyEncoded).toUtf8() + "webmasters/v3/sites/" +
                            QUrl::toPercentEncoding(property) + "/sitemaps/" +
                            QUrl::toPercentEncoding(sitemapUrl);
    QUrl url = api;
    url.setPath(QString::fromLatin1(path), QUrl::StrictMode);
    return url;
}

QUrl GoogleEndpoints::inspection() const
{
    return api.resolved(QUrl(u"v1/urlInspection/index:inspect"_s));
}
