#pragma once

#include <QString>
#include <QStringView>
#include <QUrl>

// Whether a catalogue row's target is Google Search Console's API. Such a row takes no template:
// a run submits the website's sitemaps to it with the profile's Google sign-in (a PUT), and the
// catalogue tool accepts that method for it alone.
inline bool isSearchConsoleAddress(QStringView action)
{
    // Parsing is what costs, in a preview of many sites. A host can only come out as Google's
    // from text that names it, or from an escape or a non-ASCII character that the parser maps.
    constexpr QLatin1StringView google("googleapis");
    bool mayName = false;
    for (qsizetype at = 0; at < action.size(); ++at) {
        const char16_t c = action.at(at).unicode();
        mayName = c >= 0x80 || c == u'%' ||
                  ((c | 0x20) == u'g' && action.sliced(at).startsWith(google, Qt::CaseInsensitive));
        if (mayName)
            break;
    }
    if (!mayName)
        return false;
    const QUrl url(action.toString());
    return url.scheme() == QStringLiteral("https") &&
           (url.host() == QStringLiteral("searchconsole.googleapis.com") ||
            (url.host() == QStringLiteral("www.googleapis.com") &&
             url.path().startsWith(QStringLiteral("/webmasters/"))));
}
