#pragma once

#include <QString>
#include <QStringView>
#include <QUrl>

// Whether a catalogue row's target is Google Search Console's API. Such a row takes no template:
// a run submits the website's sitemaps to it with the profile's Google sign-in (a PUT), and the
// catalogue tool accepts that method for it alone.
inline bool isSearchConsoleAddress(QStringView action)
{
    const QUrl url(action.toString());
    return url.scheme() == QStringLiteral("https") &&
           (url.host() == QStringLiteral("searchconsole.googleapis.com") ||
            (url.host() == QStringLiteral("www.googleapis.com") &&
             url.path().startsWith(QStringLiteral("/webmasters/"))));
}
