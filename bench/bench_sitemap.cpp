// A website's sitemaps read through the site farm (in a thread of its own), diffed against the
// record of what was sent, and composed into IndexNow batches; beside the floor, a bare parse of
// the same XML with the same parser, and the rise of peak memory.
//
//   bench_sitemap            50,000 pages in one URL set, then 1,000,000 in an index of 20
//   bench_sitemap --short    50,000 pages (what CI runs)

#include "BenchMemory.h"
#include "ChangedPages.h"
#include "FarmThread.h"
#include "HistoryStore.h"
#include "PageList.h"
#include "Profile.h"
#include "PromoSite.h"
#include "RequestComposer.h"
#include "SiteFarm.h"
#include "SitemapReader.h"
#include "SitemapSite.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QFile>
#include <QNetworkAccessManager>
#include <QTemporaryDir>
#include <QXmlStreamReader>

#include <cstdio>

using namespace Qt::StringLiterals;

namespace {

constexpr int pagesPerFile = 50000;

// The floor: every <loc> and <lastmod> of the same XML read with the same parser, nothing kept.
qint64 bareParseMs(const QList<QByteArray>& files)
{
    QElapsedTimer timer;
    timer.start();
    qsizetype characters = 0;
    for (const QByteArray& file : files) {
        QXmlStreamReader xml(file);
        while (!xml.atEnd()) {
            if (xml.readNext() == QXmlStreamReader::StartElement &&
                (xml.name() == u"loc"_s || xml.name() == u"lastmod"_s))
                characters += xml.readElementText().size();
        }
    }
    if (characters == 0)
        qFatal("the floor read nothing");
    return timer.elapsed();
}

void measure(int files, FarmThread& farmThread)
{
    SiteFarm& farm = farmThread.farm();
    // Pages on the farm's host, half of them in gzip-compressed files.
    const qint64 published = QDateTime::currentMSecsSinceEpoch() - 86400000;
    QList<QByteArray> xml;
    QStringList sitemaps;
    for (int file = 0; file < files; ++file) {
        QList<std::pair<QString, QString>> entries;
        entries.reserve(pagesPerFile);
        for (int page = 0; page < pagesPerFile; ++page) {
            entries.append(
                {farm.url(u"/section-%1/page-%2.html"_s.arg(file).arg(page)),
                 QDateTime::fromMSecsSinceEpoch(published + page).toUTC().toString(Qt::ISODateWithMs)});
        }
        xml << SitemapSite::urlSet(entries);
        const QString path = u"/sitemaps/%1.xml%2"_s.arg(file).arg(file % 2 ? u".gz"_s : QString());
        const QByteArray body = file % 2 ? SitemapSite::gzip(xml.last()) : xml.last();
        farmThread.run([&](SiteFarm& farm) { farm.route(path, SiteFarm::Route::answering(200, body)); });
        sitemaps << farm.url(path);
    }
    const QByteArray index = SitemapSite::index(sitemaps);
    farmThread.run([&](SiteFarm& farm) {
        farm.route(u"/robots.txt"_s,
                   SiteFarm::Route::answering(200, "Sitemap: " + farm.url(u"/index.xml"_s).toUtf8() + "\n"));
        farm.route(u"/index.xml"_s, SiteFarm::Route::answering(200, index));
    });

    // A record in which half the pages went out an hour ago: a quarter of all changed since.
    QTemporaryDir directory;
    QString error;
    const auto store = HistoryStore::open(directory.filePath(u"history.db"_s), error);
    if (!store)
        qFatal("%s", qPrintable(error));
    {
        PageList recorded;
        QList<qsizetype> all;
        for (int file = 0; file < files; ++file) {
            for (int page = 0; page < pagesPerFile; page += 2) {
                const qint64 changedSince = page % 4 == 0 ? 1000 : 0;
                recorded.add(farm.url(u"/section-%1/page-%2.html"_s.arg(file).arg(page)).toUtf8(),
                             published + page - changedSince);
                all << recorded.size() - 1;
            }
        }
        store->recordSent(u"Bench"_s, u"IndexNow"_s, recorded, all,
                          QDateTime::currentMSecsSinceEpoch() - 3600000);
    }
    const qint64 floorMs = bareParseMs(xml);
    xml.clear();

    Profile profile;
    profile.value(ProfileField::Url) = farm.url(u"/"_s);
    profile.indexNowKey = u"0123456789abcdef"_s;
    const PromoSite site{
        u"IndexNow"_s, u"engine"_s, QString(), u"POST"_s, u"https://api.indexnow.org/indexnow"_s,
        u"json"_s,     u"200,202"_s};

    QNetworkAccessManager network;
    BenchMemory::resetPeak();
    const qint64 residentBefore = BenchMemory::residentKiB("VmRSS:");
    QElapsedTimer timer;
    timer.start();
    const std::shared_ptr<SitemapReader::Result> result = SitemapReader::readNow(
        network, farm.url(u"/"_s), QString(), SitemapReader::Limits{1000, 2, std::chrono::minutes(10), {}});
    if (!result->error.isEmpty())
        qFatal("%s", qPrintable(result->error));
    const qint64 readMs = timer.restart();
    const auto pages = std::shared_ptr<const PageList>(result, &result->pages);
    const PagePlan plan =
        ChangedPages::plan(*pages, *store, u"Bench"_s, u"IndexNow"_s, QDateTime::currentMSecsSinceEpoch());
    const qint64 diffMs = timer.restart();
    const RequestComposer composer(profile);
    qsizetype bodyBytes = 0;
    const QList<QList<qsizetype>> batches = ChangedPages::batches(plan.pages);
    for (qsizetype number = 0; number < batches.size(); ++number)
        bodyBytes += composer
                         .composeBatch(
                             site, PageBatch{pages, batches.at(number), int(number) + 1, int(batches.size())})
                         .data.size();
    const qint64 batchMs = timer.elapsed();
    const double risenMiB = double(BenchMemory::residentKiB("VmHWM:") - residentBefore) / 1024.0;
    const qint64 totalMs = readMs + diffMs + batchMs;
    const int expectedChanged = files * pagesPerFile / 2 + files * pagesPerFile / 4;
    std::printf(
        "%9lld pages in %2d files: read %6lld ms, diff %5lld ms, batches %5lld ms (%lld requests, %lld MB)\n",
        static_cast<long long>(pages->size()), int(result->files.size()), static_cast<long long>(readMs),
        static_cast<long long>(diffMs), static_cast<long long>(batchMs),
        static_cast<long long>(batches.size()), static_cast<long long>(bodyBytes >> 20));
    std::printf("          all %6lld ms = %.2f x the bare parse of the same XML (%lld ms); peak +%.1f MB, "
                "%.1f KB a page (budget < 200 MB for 1,000,000)\n",
                static_cast<long long>(totalMs), double(totalMs) / double(std::max<qint64>(1, floorMs)),
                static_cast<long long>(floorMs), risenMiB, risenMiB * 1024.0 / double(pages->size()));
    if (plan.changed != expectedChanged)
        qFatal("the diff found %d changed pages, not %d", plan.changed, expectedChanged);
    if (risenMiB >= 200.0)
        std::printf("budget: NOT met\n");
}

} // namespace

int main(int argc, char* argv[])
{
    QCoreApplication app(argc, argv);
    const bool isShort = app.arguments().contains(u"--short"_s);
    FarmThread farmThread;
    for (const int files : isShort ? QList<int>{1} : QList<int>{1, 20})
        measure(files, farmThread);
    return 0;
}
