#include "ChangedPages.h"
#include "HistoryReport.h"
#include "HistoryStore.h"
#include "PageList.h"
#include "SiteFarm.h"
#include "SitemapReader.h"
#include "SitemapSite.h"
#include "TestSupport.h"

#include <QBuffer>
#include <QNetworkAccessManager>
#include <QSignalSpy>
#include <QTest>
#include <QTextStream>
#include <QTimeZone>

using namespace Qt::StringLiterals;
using Routes = QList<QPair<QString, QByteArray>>;

namespace {
const QDateTime published(QDate(2026, 11, 1), QTime(8, 0), QTimeZone::utc());
}

class TestSitemap : public QObject
{
    Q_OBJECT

private:
    QNetworkAccessManager m_network;

    std::shared_ptr<SitemapReader::Result> read(const QString& site, const QString& sitemap,
                                                const SitemapReader::Limits& limits)
    {
        SitemapReader reader(m_network);
        QSignalSpy finished(&reader, &SitemapReader::finished);
        reader.start(site, sitemap, limits);
        if (!finished.wait(10000))
            return nullptr;
        return finished.first().first().value<std::shared_ptr<SitemapReader::Result>>();
    }

    static QStringList urls(const PageList& pages)
    {
        QStringList urls;
        for (qsizetype page = 0; page < pages.size(); ++page)
            urls << pages.urlText(page);
        return urls;
    }

private slots:
    void initTestCase() { qRegisterMetaType<std::shared_ptr<SitemapReader::Result>>(); }

    void reader_findsTheSitesOwnPagesOnce()
    {
        SiteFarm farm;
        QVERIFY(farm.listen());
        SitemapSite website(farm, 20, published);
        const auto result = read(website.address(), QString(), {});
        QVERIFY(result);
        QVERIFY2(result->error.isEmpty(), qPrintable(result->error));
        QCOMPARE(result->files,
                 QStringList({farm.url(u"/sitemap_index.xml"_s), farm.url(u"/sitemaps/pages.xml.gz"_s),
                              farm.url(u"/sitemaps/more.xml"_s)}));
        QStringList expected;
        for (int page = 0; page < 20; ++page)
            expected << website.pageAddress(page);
        QCOMPARE(urls(result->pages), expected);
        QCOMPARE(result->foreign, SitemapSite::foreignPages);
        QCOMPARE(result->duplicates, SitemapSite::pagesListedTwice);
        QCOMPARE(result->pages.lastModified(19), published.toMSecsSinceEpoch());

        // Without robots.txt: /sitemap.xml; and a sitemap named by hand.
        SiteFarm bare;
        QVERIFY(bare.listen());
        bare.route(u"/robots.txt"_s, SiteFarm::Behaviour::NotFound);
        bare.route(u"/sitemap.xml"_s,
                   SiteFarm::Route::answering(200, SitemapSite::urlSet({{bare.url(u"/a"_s), {}}})));
        bare.route(u"/other.xml"_s,
                   SiteFarm::Route::answering(200, SitemapSite::urlSet({{bare.url(u"/b"_s), {}}})));
        QCOMPARE(urls(read(bare.url(u"/"_s), QString(), {})->pages), QStringList{bare.url(u"/a"_s)});
        QCOMPARE(urls(read(bare.url(u"/"_s), bare.url(u"/other.xml"_s), {})->pages),
                 QStringList{bare.url(u"/b"_s)});
    }

    void reader_refusesWhatItCannotUse_data()
    {
        QTest::addColumn<Routes>("routes"); // "404" answers Not Found
        QTest::addColumn<int>("limit");     // entries, bytes, files or depth, as the row says
        QTest::addColumn<QString>("error");
        const QByteArray twoPages =
            SitemapSite::urlSet({{u"http://127.0.0.1/a"_s, {}}, {u"http://127.0.0.1/b"_s, {}}});
        QTest::newRow("malformed") << Routes{{u"/sitemap.xml"_s, "<urlset><url><loc>x</url></urlset>"}} << 0
                                   << u"sitemap.xml cannot be read: line 1: "_s;
        QTest::newRow("no sitemap")
            << Routes{{u"/sitemap.xml"_s, "<html><body>Welcome</body></html>"}} << 0
            << u"it is neither a sitemap nor a sitemap index: its root element is <html>"_s;
        QTest::newRow("cut short") << Routes{{u"/sitemap.xml"_s, "<urlset><url><loc>http://h/</loc>"}} << 0
                                   << u"the XML ends before the document does"_s;
        QTest::newRow("compressed, cut short")
            << Routes{{u"/sitemap.xml"_s, SitemapSite::gzip(twoPages).left(30)}} << 0
            << u"the compressed file ends too soon"_s;
        QTest::newRow("missing") << Routes{{u"/sitemap.xml"_s, "404"}} << 0 << u"HTTP 404 Not Found"_s;
        QTest::newRow("entries") << Routes{{u"/sitemap.xml"_s, twoPages}} << 1
                                 << u"it holds more than 1 entries"_s;
        QTest::newRow("bytes") << Routes{{u"/sitemap.xml"_s, SitemapSite::gzip(twoPages)}} << 100
                               << u"it is larger than 100 bytes uncompressed"_s;
        const QByteArray nested = SitemapSite::index({u"http://127.0.0.1:PORT/inner.xml"_s});
        QTest::newRow("depth") << Routes{{u"/sitemap.xml"_s, nested}, {u"/inner.xml"_s, nested}} << 1
                               << u"it lists sitemap indexes nested more than 1 deep"_s;
        QTest::newRow("files") << Routes{{u"/sitemap.xml"_s, nested}, {u"/inner.xml"_s, twoPages}} << 1
                               << u"The website lists more than 1 sitemap files."_s;
    }

    void reader_refusesWhatItCannotUse()
    {
        QFETCH(Routes, routes);
        QFETCH(int, limit);
        QFETCH(QString, error);
        SiteFarm farm;
        QVERIFY(farm.listen());
        for (const auto& [path, body] : routes) {
            farm.route(path,
                       body == "404"
                           ? SiteFarm::Route(SiteFarm::Behaviour::NotFound)
                           : SiteFarm::Route::answering(
                                 200, QByteArray(body).replace("PORT", QByteArray::number(farm.port()))));
        }
        SitemapReader::Limits limits;
        const QByteArray tag = QTest::currentDataTag();
        if (tag == "entries")
            limits.file.maxEntries = limit;
        else if (tag == "bytes")
            limits.file.maxBytes = limit;
        else if (tag == "depth")
            limits.maxIndexDepth = limit;
        else if (tag == "files")
            limits.maxFiles = limit;
        const auto result = read(farm.url(u"/"_s), farm.url(u"/sitemap.xml"_s), limits);
        QVERIFY(result);
        QVERIFY2(result->error.contains(error), qPrintable(result->error));
    }

    void lastModified_data()
    {
        QTest::addColumn<QString>("text");
        QTest::addColumn<QDateTime>("time"); // invalid: unknown
        const auto utc = [](int month, int day, QTime time = QTime(0, 0)) {
            return QDateTime(QDate(2026, month, day), time, QTimeZone::utc());
        };
        QTest::newRow("date") << u"2026-05-01"_s << utc(5, 1);
        QTest::newRow("month") << u"2026-05"_s << utc(5, 1);
        QTest::newRow("year") << u"2026"_s << utc(1, 1);
        QTest::newRow("with a zone") << u" 2026-05-01T10:20:30+02:00 "_s << utc(5, 1, QTime(8, 20, 30));
        QTest::newRow("with fractions") << u"2026-05-01T10:20:30.250Z"_s << utc(5, 1, QTime(10, 20, 30, 250));
        QTest::newRow("none") << QString() << QDateTime();
        QTest::newRow("not a time") << u"yesterday"_s << QDateTime();
    }

    void lastModified()
    {
        QFETCH(QString, text);
        QFETCH(QDateTime, time);
        QCOMPARE(PageList::parseTime(text),
                 time.isValid() ? time.toMSecsSinceEpoch() : PageList::unknownTime);
    }

    void changedPages_firstAllThenTheChangedButNeverWithinTheCoolDown()
    {
        QTemporaryDir dir;
        QString error;
        auto store = HistoryStore::open(dir.filePath(u"history.db"_s), error);
        QVERIFY2(store, qPrintable(error));
        const qint64 sent = published.toMSecsSinceEpoch();
        PageList first;
        for (const char* page : {"http://h/c", "http://h/a", "http://h/b"})
            first.add(page, sent - 1000);
        first.add("http://h/undated", PageList::unknownTime);
        const PagePlan all = ChangedPages::plan(first, *store, u"P"_s, u"IndexNow"_s, sent);
        QCOMPARE(all.pages, QList<qsizetype>({0, 1, 2, 3}));
        QVERIFY(store->recordSent(u"P"_s, u"IndexNow"_s, first, all.pages, sent));

        PageList second; // "a" changed, "d" is new, the others as before
        second.add("http://h/a", sent + 5000);
        second.add("http://h/b", sent - 1000);
        second.add("http://h/undated", PageList::unknownTime);
        second.add("http://h/d", sent + 5000);
        second.add("http://h/c", sent - 1000);
        const qint64 hourLater = sent + 3600 * 1000;
        const PagePlan changed = ChangedPages::plan(second, *store, u"P"_s, u"IndexNow"_s, hourLater);
        QCOMPARE(changed.pages, QList<qsizetype>({0, 3}));
        QCOMPARE(changed.unchanged, 3);
        const PagePlan soon = ChangedPages::plan(second, *store, u"P"_s, u"IndexNow"_s, sent + 60 * 1000);
        QCOMPARE(soon.pages, QList<qsizetype>{3}); // a new page has no cool-down
        QCOMPARE(soon.coolingDown, 1);
        QCOMPARE(ChangedPages::plan(second, *store, u"P"_s, u"IndexNow"_s, sent + 1, std::chrono::seconds(0))
                     .pages,
                 QList<qsizetype>({0, 3}));
        QCOMPARE(ChangedPages::plan(second, *store, u"P"_s, u"Other"_s, hourLater).pages.size(), 5);
        QCOMPARE(ChangedPages::plan(second, *store, u"Q"_s, u"IndexNow"_s, hourLater).pages.size(), 5);

        QList<qsizetype> many(10001);
        std::iota(many.begin(), many.end(), 0);
        const QList<QList<qsizetype>> batches = ChangedPages::batches(many);
        QCOMPARE(batches.size(), 2);
        QCOMPARE(batches.at(0).size(), 10000);
        QCOMPARE(batches.at(1), QList<qsizetype>{10000});
    }

    void history_recordsEveryOutcomeAndSurvivesAReopen()
    {
        QTemporaryDir dir;
        const QString path = dir.filePath(u"sub/history.db"_s);
        QString error;
        {
            auto store = HistoryStore::open(path, error);
            QVERIFY2(store, qPrintable(error));
            const qint64 run = store->beginRun(
                {published.toMSecsSinceEpoch(), u"Shop"_s, u"window"_s, u"changed pages"_s, 2});
            QVERIFY(run > 0);
            QVERIFY(store->addResult(run, {1,
                                           u"IndexNow"_s,
                                           true,
                                           202,
                                           u"Accepted; 2 pages"_s,
                                           {u"http://h/a"_s, u"http://h/\"b\",c"_s}}));
            QVERIFY(store->addResult(run, {2, u"blo.gs"_s, false, 404, u"HTTP 404 Not Found"_s, {}}));
            QVERIFY(store->endRun(run, published.toMSecsSinceEpoch() + 5000, false));
            QVERIFY(store->beginRun({published.toMSecsSinceEpoch() + 9000, u"Blog"_s, u"command line"_s,
                                     u"address"_s, 1}) > run); // left running: the program ended first
        }
        auto store = HistoryStore::open(path, error);
        QVERIFY2(store, qPrintable(error));
        const QList<HistoryStore::RunSummary> runs = store->runs();
        QCOMPARE(runs.size(), 2);
        QCOMPARE(runs.at(0).state, u"running"_s);
        QCOMPARE(runs.at(1).state, u"completed"_s);
        QCOMPARE(runs.at(1).succeeded, 1);
        QCOMPARE(runs.at(1).failed, 1);
        QCOMPARE(store->runs(u"Shop"_s, 1).size(), 1);
        QCOMPARE(store->results(runs.at(1).id, true).size(), 1);

        QBuffer csv;
        csv.open(QIODevice::WriteOnly);
        QVERIFY(store->exportCsv(runs.at(1).id, csv));
        QCOMPARE(csv.data(),
                 QByteArray("position,site,outcome,status,detail,url\r\n"
                            "1,IndexNow,succeeded,202,Accepted; 2 pages,http://h/a\r\n"
                            "1,IndexNow,succeeded,202,Accepted; 2 pages,\"http://h/\"\"b\"\",c\"\r\n"
                            "2,blo.gs,failed,404,HTTP 404 Not Found,\r\n"));
        QString text;
        QTextStream out(&text);
        HistoryReport::write(*store, u"Shop"_s, -1, HistoryReport::Form::Text, out);
        out.flush();
        QCOMPARE(text, u"Run 1, %1, \"Shop\", window, changed pages: completed, 1 succeeded, 1 failed\n"
                       u"  1. succeeded IndexNow: HTTP 202; Accepted; 2 pages; 2 pages\n"
                       u"  2. failed    blo.gs: HTTP 404; HTTP 404 Not Found\n"_s.arg(
                           QDateTime::fromMSecsSinceEpoch(published.toMSecsSinceEpoch())
                               .toString(u"yyyy-MM-dd HH:mm:ss"_s)));
        QVERIFY(QDir().mkpath(dir.filePath(u"directory.db"_s)));
        QVERIFY(!HistoryStore::open(dir.filePath(u"directory.db"_s), error));
        QCOMPARE(error, u"The history file \"%1\" is a directory."_s.arg(dir.filePath(u"directory.db"_s)));
    }
};

QTEST_GUILESS_MAIN(TestSitemap)
#include "tst_sitemap.moc"
