#pragma once

#include <QByteArray>
#include <QDateTime>
#include <QList>
#include <QString>

#include <utility>

class SiteFarm;

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

    static QByteArray gzip(const QByteArray& bytes);
    // A URL set of these addresses and last changes (an empty time writes no <lastmod>).
    static QByteArray urlSet(const QList<std::pair<QString, QString>>& entries);
    static QByteArray index(const QStringList& sitemaps);

private:
    void publish();

    SiteFarm& m_farm;
    QList<QDateTime> m_lastModified;
};
