#pragma once

#include "SiteFarm.h"

#include <QByteArray>
#include <QDateTime>
#include <QList>
#include <QString>

#include <utility>

// A website on the farm with sitemaps as real ones come: a robots.txt that names a sitemap
// index, which lists a gzip-compressed URL set and a plain one. A few listed pages lie on
// another host and a few are listed twice. Changing pages moves their lastmod.
class SitemapSite
{
public:
    static constexpr int foreignPages = 5;
    static constexpr int pagesListedTwice = 3;

    SitemapSite(SiteFarm& farm, int pages, const QDateTime& published);

    QString address() const;
    QString pageAddress(int page) const;
    int pages() const { return int(m_lastModified.size()); }
    // Moves the last change of the first `count` pages to `when`, in the published sitemaps.
    void change(int count, const QDateTime& when);
    // Lists pages that cannot be indexed, each its own way: a noindex meta tag, an X-Robots-Tag
    // header, a redirect, a canonical page elsewhere, one robots.txt disallows, and one that
    // answers 404; and one page, /gone.html, that can be indexed for now.
    void addPagesThatCannotBeIndexed();
    static inline const int pagesThatCannotBeIndexed = 6;
    // The page at that path leaves the sitemaps and answers with the status from now on.
    void remove(const QString& path, int status);
    // Serves the site's robots.txt (again): every crawler kept out of /private/, the index named.
    void serveRobots();
    // One page more in the sitemaps (or back in them), served as the route says.
    void addPage(const QString& path, const SiteFarm::Route& route);

    static QByteArray gzip(const QByteArray& bytes);
    // A URL set of these addresses and last changes (an empty time writes no <lastmod>).
    static QByteArray urlSet(const QList<std::pair<QString, QString>>& entries);
    static QByteArray index(const QStringList& sitemaps);

private:
    void publish();

    SiteFarm& m_farm;
    QList<QDateTime> m_lastModified;
    QStringList m_more; // paths listed beside the numbered pages
    QDateTime m_published;
};
