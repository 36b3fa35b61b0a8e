#pragma once

#include <QString>
#include <QUrl>

// Where Google's sign-in, token, revocation and Search Console services answer. The program
// always talks to Google; tests and the demo put a loopback imitation in its place through the
// environment (ORVANTA_GOOGLE_AUTH_URL, _TOKEN_URL, _REVOKE_URL, _API_URL), never through the
// window, and such an address must be https or a plain http address on this machine, so that a
// stray variable cannot send a token anywhere else in the clear.
struct GoogleEndpoints
{
    QUrl authorization;
    QUrl token;
    QUrl revocation;
    QUrl api; // the base under which webmasters/v3/… and v1/urlInspection/… lie

    static GoogleEndpoints google();
    // Google's addresses, each replaced by its variable when set; an unusable variable gives a
    // sentence naming it and no endpoints.
    static GoogleEndpoints fromEnvironment(QString& error);

    // An address a token may be sent to: https, or http on 127.0.0.1, ::1 or localhost.
    static bool isSafe(const QUrl& url);

    // Whether a catalogue row's target is Search Console's API, which the run reaches through
    // these endpoints with the profile's sign-in rather than as the row says.
    static bool isSearchConsole(QStringView action);

    QUrl sites() const;
    QUrl sitemap(const QString& property, const QString& sitemapUrl) const;
    QUrl inspection() const;
};
