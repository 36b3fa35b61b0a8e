#include "SitemapSite.h"

#include "SiteFarm.h"

#include <QRegularExpression>

#include <zlib.h>

using namespace Qt::StringLiterals;

SitemapSite::SitemapSite(SiteFarm& farm, int pages, const QDateTime& published)
    : m_farm(farm), m_published(published)
{
    for (int page = 0; page < pages; ++page)
        m_lastModified << published;
    serveRobots();
    m_farm.route(u"/sitemap_index.xml"_s,
                 SiteFarm::Route::answering(200, index({m_farm.url(u"/sitemaps/pages.xml.gz"_s),
                                                        m_farm.url(u"/sitemaps/more.xml"_s)})));
    publish();
}

void SitemapSite::serveRobots()
{
    m_farm.route(
        u"/robots.txt"_s,
        SiteFarm::Route::answering(200, "User-agent: *\nDisallow: /private/\n# the site's map:\nSitemap: " +
                                            m_farm.url(u"/sitemap_index.xml"_s).toUtf8() + "\n"));
}

QString SitemapSite::address() const
{
    return m_farm.url(u"/"_s);
}

QString SitemapSite::pageAddress(int page) const
{
    return m_farm.url(u"/page-%1.html"_s.arg(page));
}

void SitemapSite::change(int count, const QDateTime& when)
{
    for (int page = 0; page < count && page < pages(); ++page)
        m_lastModified[page] = when;
    publish();
}

void SitemapSite::addPagesThatCannotBeIndexed()
{
    const auto html = [](const QByteArray& head) -> QByteArray {
        return "<!DOCTYPE html><html><head><title>Bakery</title>" + head + "</head><body>Bread</body></html>";
    };
    const QByteArray isHtml = "Content-Type: text/html; charset=utf-8\r\n";
    m_farm.route(
        u"/noindex.html"_s,
        SiteFarm::Route::answering(200, html("<meta name=\"robots\" content=\"noindex, follow\">"), isHtml));
    m_farm.route(u"/x-robots.html"_s,
                 SiteFarm::Route::answering(200, html({}), isHtml + "X-Robots-Tag: noindex\r\n"));
    m_farm.route(u"/moved.html"_s, SiteFarm::Route(SiteFarm::Behaviour::Redirect, "/page-0.html"));
    m_farm.route(u"/copy.html"_s, SiteFarm::Route::answering(
                                      200, html("<link rel=\"canonical\" href=\"/page-1.html\">"), isHtml));
    m_farm.route(u"/broken.html"_s, SiteFarm::Behaviour::NotFound);
    m_farm.route(u"/gone.html"_s, SiteFarm::Route::answering(200, html({}), isHtml));
    m_more = {u"/noindex.html"_s,        u"/x-robots.html"_s, u"/moved.html"_s, u"/copy.html"_s,
              u"/private/secret.html"_s, u"/broken.html"_s,   u"/gone.html"_s};
    publish();
}

void SitemapSite::remove(const QString& path, int status)
{
    m_more.removeAll(path);
    const QRegularExpression numbered(u"^/page-(\\d+)\\.html$"_s);
    if (const QRegularExpressionMatch match = numbered.match(path); match.hasMatch())
        m_lastModified[match.captured(1).toInt()] = QDateTime(); // a numbered page is listed no more
    m_farm.route(path, SiteFarm::Route::answering(status, "No such page."));
    publish();
}

void SitemapSite::addPage(const QString& path, const SiteFarm::Route& route)
{
    m_farm.route(path, route);
    if (!m_more.contains(path))
        m_more << path;
    publish();
}

void SitemapSite::publish()
{
    QList<std::pair<QString, QString>> first;
    QList<std::pair<QString, QString>> second;
    for (int page = 0; page < pages(); ++page) {
        if (m_lastModified.at(page).isValid())
            (page < pages() / 2 ? first : second)
                .append({pageAddress(page), m_lastModified.at(page).toString(Qt::ISODate)});
    }
    for (const QString& path : std::as_const(m_more))
        second.append({m_farm.url(path), m_published.toString(Qt::ISODate)});
    for (int page = 0; page < foreignPages; ++page)
        first.append({u"https://elsewhere.example/page-%1.html"_s.arg(page), QString()});
    for (int page = 0; page < pagesListedTwice && page < pages(); ++page) {
        if (m_lastModified.at(page).isValid())
            second.append({pageAddress(page), QString()});
    }
    m_farm.route(u"/sitemaps/pages.xml.gz"_s, SiteFarm::Route::answering(200, gzip(urlSet(first))));
    m_farm.route(u"/sitemaps/more.xml"_s, SiteFarm::Route::answering(200, urlSet(second)));
}

QByteArray SitemapSite::urlSet(const QList<std::pair<QString, QString>>& entries)
{
    QByteArray xml = "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n"
                     "<urlset xmlns=\"http://www.sitemaps.org/schemas/sitemap/0.9\">\n";
    for (const auto& [loc, lastModified] : entries) {
        xml += "  <url><loc>" + loc.toHtmlEscaped().toUtf8() + "</loc>";
        if (!lastModified.isEmpty())
            xml += "<lastmod>" + lastModified.toUtf8() + "</lastmod>";
        xml += "</url>\n";
    }
    return xml + "</urlset>\n";
}

QByteArray SitemapSite::index(const QStringList& sitemaps)
{
    QByteArray xml = "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n"
                     "<sitemapindex xmlns=\"http://www.sitemaps.org/schemas/sitemap/0.9\">\n";
    for (const QString& sitemap : sitemaps)
        xml += "  <sitemap><loc>" + sitemap.toHtmlEscaped().toUtf8() + "</loc></sitemap>\n";
    return xml + "</sitemapindex>\n";
}

QByteArray SitemapSite::gzip(const QByteArray& bytes)
{
    z_stream stream{};
    deflateInit2(&stream, Z_DEFAULT_COMPRESSION, Z_DEFLATED, 16 + MAX_WBITS, 8, Z_DEFAULT_STRATEGY);
    QByteArray out(qsizetype(deflateBound(&stream, uLong(bytes.size()))), Qt::Uninitialized);
    stream.next_in = reinterpret_cast<Bytef*>(const_cast<char*>(bytes.constData()));
    stream.avail_in = uInt(bytes.size());
    stream.next_out = reinterpret_cast<Bytef*>(out.data());
    stream.avail_out = uInt(out.size());
    deflate(&stream, Z_FINISH);
    out.resize(qsizetype(stream.total_out));
    deflateEnd(&stream);
    return out;
}
