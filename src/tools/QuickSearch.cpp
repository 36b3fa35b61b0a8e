#include "QuickSearch.h"

using namespace Qt::StringLiterals;

namespace {

struct Engine
{
    const char16_t* name;
    const char* host;
    const char* before;
    const char* after;
};

// Matched in this order; each host is the one the named service answered its searches on.
constexpr Engine engines[] = {
    {u"Altavista", "www.altavista.com", "/query?q=", "&search=SEARCH"},
    {u"Yahoo", "search.yahoo.com", "/bin/search?p=", ""},
    {u"Webcrawler", "www.webcrawler.com", "/cgi-bin/WebQuery?searchText=", ""},
    {u"Lycos", "www.lycos.com", "/cgi-bin/pursuit?matchmode=and&cat=lycos&query=", "&x=15&y=7"},
    {u"Excite", "www.excite.com", "/search.gw?search=", ""},
    {u"Aol Netfind", "netfind.aol.com",
     "/search.gw?lk=excite_netfind2_us&nrm=aol&pri=on&xls=b&xll=65&test=Search%21&search=", ""},
};

} // namespace

const QStringList& QuickSearch::engineNames()
{
    static const QStringList names = {u"Altavista"_s,   u"Webcrawler"_s, u"Yahoo"_s,
                                      u"Aol Netfind"_s, u"Excite"_s,     u"Lycos"_s};
    return names;
}

std::optional<QUrl> QuickSearch::searchUrl(const QString& engine, const QString& text)
{
    for (const Engine& candidate : engines) {
        if (engine != QString::fromUtf16(candidate.name))
            continue;
        const QByteArray url = QByteArray("http://") + candidate.host + candidate.before +
                               QUrl::toPercentEncoding(text) + candidate.after;
        return QUrl::fromEncoded(url, QUrl::StrictMode);
    }
    return std::nullopt;
}
