#include "BlockingWait.h"
#include "ChangedPages.h"
#include "ContentFingerprint.h"
#include "Coverage.h"
#include "CoverageCommand.h"
#include "Crawlers.h"
#include "Csv.h"
#include "ExitStatus.h"
#include "GoogleEndpoints.h"
#include "GoogleImitation.h"
#include "GoogleRecords.h"
#include "HeadlessSubmission.h"
#include "HistoryDatabase.h"
#include "HistoryReport.h"
#include "HttpFetch.h"
#include "PageChecker.h"
#include "PageLedger.h"
#include "PageList.h"
#include "PageVerdict.h"
#include "ProfileStore.h"
#include "RobotsRules.h"
#include "RunJournal.h"
#include "RunLock.h"
#include "SettingsStore.h"
#include "SiteDatabase.h"
#include "SiteFarm.h"
#include "SitemapParser.h"
#include "SitemapReader.h"
#include "SitemapSite.h"
#include "SqliteConnection.h"
#include "SqliteStatement.h"
#include "SubmissionRun.h"
#include "SubmissionSession.h"
#include "TestSupport.h"
#include "WebAddress.h"

#include <QBuffer>
#include <QCoreApplication>
#include <QCryptographicHash>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QNetworkAccessManager>
#include <QProcess>
#include <QRegularExpression>
#include <QSignalSpy>
#include <QStringEncoder>
#include <QTest>
#include <QTextStream>
#include <QTimeZone>

using namespace Qt::StringLiterals;
using Routes = QList<QPair<QString, QByteArray>>;

namespace {
const QDateTime published(QDate(2026, 11, 1), QTime(8, 0), QTimeZone::utc());
const qint64 day = 24 * 3600 * 1000;
// The runs table as every layout of the history has written it, for files of earlier layouts.
const QString runsOfEarlierLayouts =
    u"CREATE TABLE runs(id INTEGER PRIMARY KEY, started_at INTEGER NOT NULL, ended_at INTEGER, profile TEXT "
    u"NOT NULL, front_end TEXT NOT NULL, mode TEXT NOT NULL, requests INTEGER NOT NULL, succeeded INTEGER "
    u"NOT "
    u"NULL DEFAULT 0, failed INTEGER NOT NULL DEFAULT 0, state TEXT NOT NULL DEFAULT 'running')"_s;
} // namespace

// A home whose catalogue holds the farm's IndexNow imitation (and any other sites), with a
// profile "Shop" for a website of the farm, and the options of a changed-pages run from it.
struct ChangedPagesHome
{
    struct Outcome
    {
        int status;
        QString out;
        QString err;
    };

    ChangedPagesHome(SiteFarm& farm, const QString& website, const QList<PromoSite>& others = {})
    {
        farm.route(u"/indexnow"_s, SiteFarm::Behaviour::IndexNow);
        farm.route(u"/0123456789abcdef.txt"_s, SiteFarm::Route::answering(200, "0123456789abcdef"));
        indexNow = TestData::bundledSites().at(0);
        indexNow.action = farm.url(u"/indexnow"_s);
        TestData::writeCatalogue(directory.filePath(u"orvd.dll"_s), QList<PromoSite>{indexNow} + others);
        TestData::storeCompleteProfile(settings, 2, u"Shop"_s);
        Profile shop = ProfileStore(settings).read(2);
        shop.value(ProfileField::Url) = website;
        shop.indexNowKey = u"0123456789abcdef"_s;
        ProfileStore(settings).save(2, shop);
        options.profileTitle = u"Shop"_s;
        options.selection = HeadlessSubmission::Selection::Sites;
        options.sites = {indexNow.sitename};
        options.changedPages = true;
        options.catalogueFile = directory.filePath(u"orvd.dll"_s);
        options.logFile = directory.filePath(u"sublog.htm"_s);
        options.historyFile = directory.filePath(u"history.db"_s);
        options.runLockFile = directory.filePath(u"orvanta.lock"_s);
        options.transferDeadline = std::chrono::milliseconds(3000);
    }

    Outcome submit()
    {
        QBuffer out;
        QBuffer err;
        out.open(QIODevice::WriteOnly);
        err.open(QIODevice::WriteOnly);
        const int status = HeadlessSubmission::run(options, settings, out, err);
        return Outcome{status, QString::fromUtf8(out.data()), QString::fromUtf8(err.data())};
    }

    // The program itself, as a user types the command, with this home and these settings.
    Outcome command(QStringList arguments)
    {
        QProcess orvanta;
        QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
        environment.insert(u"XDG_CONFIG_HOME"_s, temporary.directory());
        orvanta.setProcessEnvironment(environment);
        orvanta.start(QStringLiteral(ORVANTA_EXECUTABLE), arguments << u"--home"_s << directory.path());
        for (int waited = 0; waited < 6000 && orvanta.state() != QProcess::NotRunning; ++waited)
            QTest::qWait(10); // the farm answers meanwhile
        return Outcome{orvanta.exitCode(), QString::fromUtf8(orvanta.readAllStandardOutput()),
                       QString::fromUtf8(orvanta.readAllStandardError())};
    }

    Outcome coverage(const QString& site, bool csv)
    {
        QBuffer out;
        QBuffer err;
        out.open(QIODevice::WriteOnly);
        err.open(QIODevice::WriteOnly);
        const int status = CoverageCommand::run(
            {options.profileTitle, site, csv, false, options.catalogueFile, options.historyFile}, settings,
            out, err);
        return Outcome{status, QString::fromUtf8(out.data()), QString::fromUtf8(err.data())};
    }

    QTemporaryDir directory;
    TempSettings temporary;
    SettingsStore settings;
    PromoSite indexNow;
    HeadlessSubmission::Options options;
};

class TestSitemap : public QObject
{
    Q_OBJECT

private:
    QNetworkAccessManager m_network;

    std::shared_ptr<SitemapReader::Result> read(const QString& site, const QString& sitemap,
                                                const SitemapReader::Limits& limits = {})
    {
        SitemapReader reader(m_network);
        std::shared_ptr<SitemapReader::Result> result;
        connect(&reader, &SitemapReader::finished, this,
                [&result](const std::shared_ptr<SitemapReader::Result>& read) { result = read; });
        waitFor(&reader, &SitemapReader::finished, [&] { reader.start(site, sitemap, limits); });
        return result;
    }

    static QStringList urls(const PageList& pages)
    {
        QStringList urls;
        for (qsizetype page = 0; page < pages.size(); ++page)
            urls << pages.urlText(page);
        return urls;
    }

    static std::unique_ptr<HistoryDatabase>
    history(const QString& path, HistoryDatabase::Mode mode = HistoryDatabase::Mode::OpenOrCreate)
    {
        QString error;
        auto database = HistoryDatabase::open(path, mode, error);
        if (!error.isEmpty())
            qWarning("%s", qPrintable(error));
        return database;
    }

    // Records pages of a list as accepted by an endpoint, as a run's recorder does.
    static void recordSent(HistoryDatabase& database, const QString& endpoint, const PageList& pages,
                           qint64 sentAt)
    {
        QList<qsizetype> all(pages.size());
        std::iota(all.begin(), all.end(), 0);
        std::vector<qint64> ids(size_t(pages.size()), 0);
        PageLedger ledger(database);
        QVERIFY(database.begin());
        QVERIFY(ledger.addPages(pages, all, ids) && ledger.recordSent(endpoint, pages, all, ids, sentAt));
        QVERIFY(database.commit());
    }

    // A page of a small shop, as a generator writes it.
    static QByteArray fingerprintedPage()
    {
        return "<!doctype html><html><head><meta charset=\"utf-8\"><title>Lamps - Shop</title>"
               "<meta name=\"generator\" content=\"Hugo 0.1\"><meta name=\"description\" content=\"Lamps for "
               "every room\"><link rel=\"canonical\" href=\"https://shop.example/lamps\">"
               "<link rel=\"stylesheet\" href=\"/app.123.css\"></head><body><header><a href=\"/\">Shop</a>"
               "</header><nav><a href=\"/lights\">Lights</a></nav><div class=\"banner\">Sale</div><main>"
               "<h1>Brass lamps</h1><p>Brass lamps, made by hand in Köln.</p><form><input type=\"hidden\" "
               "name=\"csrf\" value=\"a1b2\"><button>Buy</button></form></main><aside>Also: bulbs</aside>"
               "<footer>© 2026 Shop</footer><script>var t=1;</script><!-- built 1 --></body></html>";
    }

private slots:
    void reader_findsTheSitesOwnPagesOnce()
    {
        SiteFarm farm;
        QVERIFY(farm.listen());
        SitemapSite website(farm, 20, published);
        const auto result = read(website.address(), QString());
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

        // robots.txt with a byte-order mark, a child listed three times, addresses written in
        // other forms of the same page, an international host, and addresses that cannot be sent.
        SiteFarm bare;
        QVERIFY(bare.listen());
        const QString base = u"http://localhost:%1"_s.arg(bare.port());
        bare.route(u"/robots.txt"_s,
                   SiteFarm::Route::answering(200, "\xEF\xBB\xBFSitemap: " + base.toUtf8() + "/map.xml"));
        bare.route(u"/map.xml"_s,
                   SiteFarm::Route::answering(200, SitemapSite::index({base + u"/a.xml"_s, base + u"/a.xml"_s,
                                                                       base + u"/a.xml#x"_s})));
        bare.route(u"/a.xml"_s,
                   SiteFarm::Route::answering(
                       200, SitemapSite::urlSet({{base + u"/p"_s, {}},
                                                 {u"HTTP://LOCALHOST:%1/p#top"_s.arg(bare.port()), {}},
                                                 {base + u"/%7Ep"_s, {}},
                                                 {base + u"/~p"_s, {}},
                                                 {base + u"/a b"_s, {}},
                                                 {u"http://user@localhost:%1/q"_s.arg(bare.port()), {}}})));
        const auto varied = read(base + u"/"_s, QString());
        QCOMPARE(varied->files, QStringList({base + u"/map.xml"_s, base + u"/a.xml"_s}));
        QCOMPARE(urls(varied->pages), QStringList({base + u"/p"_s, base + u"/~p"_s}));
        QCOMPARE(varied->summary(),
                 u"2 pages found in 2 sitemaps; left out: 2 listed twice, 1 whose address holds a "
                 u"space, 1 whose address holds a user name or password."_s);

        const QString international = u"http://b\u00fccher.example/"_s;
        bare.route(u"/idn.xml"_s, SiteFarm::Route::answering(
                                      200, SitemapSite::urlSet({{u"http://xn--bcher-kva.example/x"_s, {}},
                                                                {u"http://B\u00dcCHER.example/y"_s, {}}})));
        const auto idn = read(international, base + u"/idn.xml"_s);
        QCOMPARE(urls(idn->pages),
                 QStringList({u"http://xn--bcher-kva.example/x"_s, u"http://xn--bcher-kva.example/y"_s}));
        QCOMPARE(idn->foreign, 0);

        // All on another host: the profile's address and the sitemap disagree.
        const auto mismatch = read(u"http://www.localhost:%1/"_s.arg(bare.port()), base + u"/a.xml"_s);
        QCOMPARE(
            mismatch->error,
            u"None of the 4 pages the sitemaps list is on www.localhost: they are on other hosts, such as "
            u"localhost. Check the website address of the profile."_s);
        // A sitemap with no pages at all is no mismatch: there is simply nothing to send.
        bare.route(u"/empty.xml"_s, SiteFarm::Route::answering(200, SitemapSite::urlSet({})));
        const auto empty = read(base + u"/"_s, base + u"/empty.xml"_s);
        QVERIFY2(empty->error.isEmpty() && empty->pages.isEmpty(), qPrintable(empty->error));

        // A list whose lookup table grows many times: every page is found where it was put, and
        // one added again is told apart, also while it waits to be added.
        PageList many;
        constexpr int manyPages = 100000;
        for (int page = 0; page < manyPages; ++page)
            many.addSoon(QByteArray("https://h/" + QByteArray::number(page)), page);
        many.addSoon("https://h/7", 0);
        QCOMPARE(many.addPending(), 1);
        int misplaced = 0;
        for (int page = 0; page < manyPages; ++page)
            misplaced += many.find(QByteArray("https://h/" + QByteArray::number(page))) == page ? 0 : 1;
        QCOMPARE(misplaced, 0);
        QCOMPARE(many.size(), manyPages);
        QCOMPARE(many.lastModified(manyPages - 1), manyPages - 1);
    }

    void reader_refusesWhatItCannotUse_data()
    {
        QTest::addColumn<Routes>("routes"); // a body of "404" answers Not Found, "400" Bad Request
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
        QTest::newRow("missing") << Routes{{u"/sitemap.xml"_s, "404"}} << 0 << u"HTTP 404 Not Found."_s;
        QTest::newRow("refused with 400")
            << Routes{{u"/sitemap.xml"_s, "400"}} << 0 << u"HTTP 400 Bad Request."_s;
        QTest::newRow("entries") << Routes{{u"/sitemap.xml"_s, twoPages}} << 1
                                 << u"it holds more than 1 entries"_s;
        QTest::newRow("bytes") << Routes{{u"/sitemap.xml"_s, SitemapSite::gzip(twoPages)}} << 100
                               << u"it is larger than 100 bytes uncompressed"_s;
        const QByteArray nested = SitemapSite::index({u"http://127.0.0.1:PORT/inner.xml"_s});
        QTest::newRow("depth") << Routes{{u"/sitemap.xml"_s, nested}, {u"/inner.xml"_s, nested}} << 1
                               << u"it lists sitemap indexes nested more than 1 deep"_s;
        QTest::newRow("files") << Routes{{u"/sitemap.xml"_s, nested}, {u"/inner.xml"_s, twoPages}} << 1
                               << u"The website lists more than 1 sitemap files."_s;
        // A tree that lists more files than may be read stops while the list is read, not after.
        QTest::newRow("files listed")
            << Routes{{u"/sitemap.xml"_s,
                       SitemapSite::index({u"http://127.0.0.1:PORT/1.xml"_s, u"http://127.0.0.1:PORT/2.xml"_s,
                                           u"http://127.0.0.1:PORT/3.xml"_s})}}
            << 2 << u"The website lists more than 2 sitemap files."_s;
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
                       body == "404" ? SiteFarm::Route(SiteFarm::Behaviour::NotFound)
                       : body == "400"
                           ? SiteFarm::Route::answering(400, "no")
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
        else if (tag.startsWith("files"))
            limits.maxFiles = limit;
        const qsizetype before = farm.requests().size();
        const auto result = read(farm.url(u"/"_s), farm.url(u"/sitemap.xml"_s), limits);
        QVERIFY(result);
        QVERIFY2(result->error.contains(error), qPrintable(result->error));
        if (tag == "files listed")
            QCOMPARE(farm.requests().size() - before, 2); // robots.txt and the index, not the files it lists
    }

    void robots_rulesAsRfc9309ReadsThem_data()
    {
        QTest::addColumn<QByteArray>("robots"); // "HTTP 404" and the like: what the server answers
        QTest::addColumn<QString>("path");      // "bingbot /a": as that crawler asks; else as any
        QTest::addColumn<bool>("allowed");
        const QByteArray everyone = "User-agent: *\n";
        const QByteArray groups = "User-agent: *\nDisallow: /x\n\nuser-agent: BingBot/2.0\nDisallow: /b\n\n"
                                  "User-agent: yandex\nAllow: /\nUser-agent: yandex\nDisallow: /y\n";
        QTest::newRow("no rules") << QByteArray() << u"/a"_s << true;
        QTest::newRow("disallowed") << everyone + "Disallow: /private/" << u"/private/x"_s << false;
        QTest::newRow("outside the rule") << everyone + "Disallow: /private/" << u"/public"_s << true;
        QTest::newRow("another crawler's group")
            << QByteArray("User-agent: bingbot\nDisallow: /\n\nUser-agent: *\nDisallow: /x") << u"/y"_s
            << true;
        QTest::newRow("agents sharing a group")
            << QByteArray("User-agent: a\nUser-agent: *\nDisallow: /shared") << u"/shared"_s << false;
        QTest::newRow("a crawler's own group, whatever its case") << groups << u"bingbot /b"_s << false;
        QTest::newRow("its own group instead of everyone's") << groups << u"bingbot /x"_s << true;
        QTest::newRow("its groups combined") << groups << u"yandex /y/1"_s << false;
        QTest::newRow("no group of its own") << groups << u"seznambot /x"_s << false;
        QTest::newRow("longest match allows")
            << everyone + "Disallow: /a\nAllow: /a/b" << u"/a/b/c"_s << true;
        QTest::newRow("longest match disallows")
            << everyone + "Allow: /a\nDisallow: /a/b" << u"/a/b/c"_s << false;
        QTest::newRow("Allow wins a tie") << everyone + "Disallow: /a\nAllow: /a" << u"/a"_s << true;
        QTest::newRow("Allow wins a tie, whichever comes first")
            << everyone + "Allow: /a\nDisallow: /a" << u"/a"_s << true;
        QTest::newRow("wildcard and end") << everyone + "Disallow: /*.pdf$" << u"/x/y.pdf"_s << false;
        QTest::newRow("not at the end") << everyone + "Disallow: /*.pdf$" << u"/x/y.pdf?q=1"_s << true;
        QTest::newRow("end anchors") << everyone + "Disallow: /exact$" << u"/exactly"_s << true;
        QTest::newRow("a pattern without its slash")
            << everyone + "Disallow: *.gif" << u"/i/a.gif"_s << false;
        QTest::newRow("escapes compared as the page's")
            << everyone + "Disallow: /%7Euser/caf\xC3\xA9" << u"/~user/caf%C3%A9"_s << false;
        QTest::newRow("an empty Disallow") << everyone + "Disallow:" << u"/a"_s << true;
        QTest::newRow("robots.txt itself") << everyone + "Disallow: /" << u"/robots.txt"_s << true;
        QTest::newRow("capitals, comments, a byte-order mark")
            << QByteArray("\xEF\xBB\xBFUSER-AGENT: * # all\nDISALLOW: /x # why") << u"/x"_s << false;
        QTest::newRow("lines ending in CR alone")
            << QByteArray("User-agent: *\rDisallow: /private\r") << u"/private"_s << false;
        QTest::newRow("lines ending in CRLF")
            << QByteArray("User-agent: *\r\nDisallow: /private\r\n") << u"/private"_s << false;
        QTest::newRow("past 500 KiB")
            << everyone + QByteArray(500 * 1024, '#') + "\nDisallow: /" << u"/a"_s << true;
        // "Disallow: /private-area" cut to "Disallow: /" by the bound would close the whole site.
        const QByteArray straddling = everyone + QByteArray(500 * 1024 - everyone.size() - 12, '#') + "\n";
        QTest::newRow("a rule the bound cuts") << straddling + "Disallow: /private-area\n" << u"/a"_s << true;
        QTest::newRow("a rule that ends at the bound, another past it")
            << everyone + QByteArray(500 * 1024 - everyone.size() - 14, '#') + "\nDisallow: /a\nAllow: /a"
            << u"/a"_s << false;
        QTest::newRow("missing: everything allowed") << QByteArray("HTTP 404") << u"/a"_s << true;
        QTest::newRow("failing: nothing allowed") << QByteArray("HTTP 503") << u"/a"_s << false;
    }

    void robots_rulesAsRfc9309ReadsThem()
    {
        QFETCH(QByteArray, robots);
        QFETCH(QString, path);
        QFETCH(bool, allowed);
        SiteFarm farm;
        QVERIFY(farm.listen());
        farm.route(u"/robots.txt"_s, robots.startsWith("HTTP ")
                                         ? SiteFarm::Route::answering(robots.mid(5).toInt(), "x")
                                         : SiteFarm::Route::answering(200, robots));
        farm.route(u"/map.xml"_s,
                   SiteFarm::Route::answering(200, SitemapSite::urlSet({{farm.url(u"/a"_s), {}}})));
        const auto result = read(farm.url(u"/"_s), farm.url(u"/map.xml"_s));
        QVERIFY2(result->error.isEmpty(), qPrintable(result->error));
        const QStringList crawlerAndPath = path.split(u' ');
        const QByteArray crawler = crawlerAndPath.size() == 2 ? crawlerAndPath.first().toUtf8() : "*";
        QCOMPARE(result->robots.allows(farm.url(crawlerAndPath.last()).toUtf8(), crawler), allowed);
        if (robots == "HTTP 503")
            QCOMPARE(result->robots.disallowedBecause(), u"robots.txt answers HTTP 503 Status"_s);
        QVERIFY2(farm.requests().first().contains("\r\nUser-Agent: Orvanta/2.001\r\n"),
                 farm.requests().first().constData());
    }

    void pages_sayWhetherTheyCanBeIndexed_data()
    {
        QTest::addColumn<int>("status"); // 0: no complete answer
        QTest::addColumn<QByteArray>(
            "headers"); // "Name: value" lines; "Robots: …" is robots.txt, "|" its line ends
        QTest::addColumn<QByteArray>("body");
        QTest::addColumn<QString>("landedOn"); // empty: where it was asked
        QTest::addColumn<int>("kind");
        // The summary's word for a page left out; for one announced, what its note starts with
        // (which crawlers may not index it, or a remark), or nothing at all.
        QTest::addColumn<QString>("reason");
        const int indexable = int(PageVerdict::Kind::Indexable);
        const int leftOut = int(PageVerdict::Kind::LeftOut);
        const auto page = [](const QByteArray& head, const QByteArray& body = "<p>Bread</p>") -> QByteArray {
            return "<!DOCTYPE html><html><head><title>Bakery</title>" + head + "</head><body>" + body +
                   "</body></html>";
        };
        const auto utf16 = [](const QByteArray& utf8) {
            QStringEncoder encoder(QStringConverter::Utf16LE);
            return QByteArray(encoder(QString::fromUtf8(utf8)));
        };
        const QByteArray noindex = "<meta name=robots content=noindex>";
        QTest::newRow("a plain page")
            << 200 << QByteArray() << page({}) << QString() << indexable << QString();
        QTest::newRow("meta robots noindex")
            << 200 << QByteArray() << page(noindex) << QString() << leftOut << u"noindex"_s;
        QTest::newRow("in capitals, among others")
            << 200 << QByteArray() << page("<META NAME=\"ROBOTS\" CONTENT=\"Follow, NoIndex\">") << QString()
            << leftOut << u"noindex"_s;
        QTest::newRow("none") << 200 << QByteArray() << page("<meta name=\"robots\" content=\"none\">")
                              << QString() << leftOut << u"noindex"_s;
        QTest::newRow("one engine's crawler named")
            << 200 << QByteArray() << page("<meta name=\"BingBot\" content=\"noindex\">") << QString()
            << indexable << u"bingbot: meta bingbot: noindex"_s;
        QTest::newRow("every engine's crawler named")
            << 200 << QByteArray()
            << page("<meta name=bingbot content=noindex><meta name=yandex content=none><meta name=seznambot "
                    "content=noindex><meta name=yeti content=noindex><meta name=yep content=noindex>")
            << QString() << leftOut << u"noindex"_s;
        QTest::newRow("one crawler kept out twice, one let in")
            << 200 << QByteArray("X-Robots-Tag: bingbot: noindex")
            << page("<meta name=bingbot content=noindex><meta name=yandex content=none><meta name=seznambot "
                    "content=noindex><meta name=yeti content=noindex>")
            << QString() << indexable << u"bingbot"_s;
        QTest::newRow("a crawler no notified engine runs")
            << 200 << QByteArray() << page("<meta name=googlebot content=noindex>") << QString() << indexable
            << QString();
        QTest::newRow("index, follow")
            << 200 << QByteArray() << page("<meta name=robots content=\"index, follow\">") << QString()
            << indexable << QString();
        QTest::newRow("a description that says noindex")
            << 200 << QByteArray() << page("<meta name=description content=noindex>") << QString()
            << indexable << QString();
        QTest::newRow("in the body, not the head")
            << 200 << QByteArray() << page({}, noindex) << QString() << indexable << QString();
        QTest::newRow("after a UTF-8 byte-order mark")
            << 200 << QByteArray() << "\xEF\xBB\xBF" + page(noindex) << QString() << leftOut << u"noindex"_s;
        QTest::newRow("UTF-16 with its byte-order mark")
            << 200 << QByteArray() << "\xFF\xFE" + utf16(page(noindex)) << QString() << leftOut
            << u"noindex"_s;
        QTest::newRow("UTF-16 as the header says")
            << 200 << QByteArray("Content-Type: text/html; charset=utf-16le")
            << utf16(page("<link rel=canonical href=/b>")) << QString() << leftOut
            << u"canonical elsewhere"_s;
        QTest::newRow("X-Robots-Tag")
            << 200 << QByteArray("X-Robots-Tag: noindex") << page({}) << QString() << leftOut << u"noindex"_s;
        QTest::newRow("X-Robots-Tag for a crawler no notified engine runs")
            << 200 << QByteArray("X-Robots-Tag: googlebot: none") << page({}) << QString() << indexable
            << QString();
        QTest::newRow("X-Robots-Tag: a crawler's name covers every directive after it")
            << 200 << QByteArray("X-Robots-Tag: otherbot: nofollow, noindex") << page({}) << QString()
            << indexable << QString();
        QTest::newRow("X-Robots-Tag for one engine's crawler")
            << 200 << QByteArray("X-Robots-Tag: max-snippet: 20, bingbot: nofollow, noindex") << page({})
            << QString() << indexable << u"bingbot: X-Robots-Tag: noindex"_s;
        QTest::newRow("X-Robots-Tag of another kind")
            << 200 << QByteArray("X-Robots-Tag: unavailable_after: 2030-01-01") << page({}) << QString()
            << indexable << QString();
        QTest::newRow("robots.txt closes it to one engine's crawler")
            << 200 << QByteArray("Robots: User-agent: bingbot|Disallow: /a") << page({}) << QString()
            << indexable << u"bingbot: robots.txt disallows it"_s;
        QTest::newRow("robots.txt for one, noindex for the others")
            << 200 << QByteArray("Robots: User-agent: bingbot|Disallow: /a") << page(noindex) << QString()
            << leftOut << u"noindex"_s;
        QTest::newRow("canonical: itself, relative")
            << 200 << QByteArray() << page("<link rel=canonical href=\"/a\">") << QString() << indexable
            << QString();
        QTest::newRow("canonical: itself, written otherwise")
            << 200 << QByteArray() << page("<link rel=\"Canonical\" href=\"HTTP://H/%61#top\">") << QString()
            << indexable << QString();
        QTest::newRow("canonical: another page")
            << 200 << QByteArray() << page("<link rel=\"alternate canonical\" href=\"b\">") << QString()
            << leftOut << u"canonical elsewhere"_s;
        QTest::newRow("canonical: another host")
            << 200 << QByteArray() << page("<link rel=canonical href=\"https://w.h/a\">") << QString()
            << leftOut << u"canonical elsewhere"_s;
        QTest::newRow("canonical in a Link header")
            << 200 << QByteArray("Link: </print/a>; rel=\"alternate\", </b>; rel=\"canonical\"") << page({})
            << QString() << leftOut << u"canonical elsewhere"_s;
        QTest::newRow("Link: a comma inside the target")
            << 200 << QByteArray("Link: </a,b>; rel=canonical") << page({}) << QString() << leftOut
            << u"canonical elsewhere"_s;
        QTest::newRow("Link: several relation types")
            << 200 << QByteArray("Link: </b>; title=\"x, y\"; rel=\"alternate canonical\"") << page({})
            << QString() << leftOut << u"canonical elsewhere"_s;
        QTest::newRow("Link: a relation that only begins like it")
            << 200 << QByteArray("Link: </b>; rel=\"canonicalx\"") << page({}) << QString() << indexable
            << QString();
        QTest::newRow("Link: itself") << 200 << QByteArray("Link: <http://h/a>; rel=\"canonical\"")
                                      << page({}) << QString() << indexable << QString();
        QTest::newRow("a head cut by the bound")
            << 200 << QByteArray("TRUNCATED") << QByteArray("<html><head><title>x") << QString() << indexable
            << u"its head was not read in the first 64 KiB"_s;
        QTest::newRow("a head whole within the bound")
            << 200 << QByteArray("TRUNCATED") << QByteArray("<html><head><title>x</title></head><body>aaa")
            << QString() << indexable << QString();
        QTest::newRow("not HTML") << 200 << QByteArray("Content-Type: application/pdf")
                                  << QByteArray("%PDF-1.7 noindex") << QString() << indexable << QString();
        QTest::newRow("404") << 404 << QByteArray() << QByteArray() << QString()
                             << int(PageVerdict::Kind::Gone) << u"answers 404"_s;
        QTest::newRow("410") << 410 << QByteArray() << QByteArray() << QString()
                             << int(PageVerdict::Kind::Gone) << u"answers 410"_s;
        QTest::newRow("503") << 503 << QByteArray() << QByteArray() << QString() << leftOut
                             << u"answers 503"_s;
        QTest::newRow("a redirect") << 200 << QByteArray() << page({}) << u"http://h/b"_s << leftOut
                                    << u"redirect"_s;
        QTest::newRow("no answer") << 0 << QByteArray() << QByteArray() << QString() << leftOut
                                   << u"cannot be reached"_s;
    }

    void pages_sayWhetherTheyCanBeIndexed()
    {
        QFETCH(int, status);
        QFETCH(QByteArray, headers);
        QFETCH(QByteArray, body);
        QFETCH(QString, landedOn);
        QFETCH(int, kind);
        QFETCH(QString, reason);
        FetchResult fetched;
        fetched.complete = status != 0;
        fetched.status = status;
        fetched.body = body;
        fetched.truncated = headers == "TRUNCATED";
        fetched.url = QUrl(landedOn.isEmpty() ? u"http://h/a"_s : landedOn);
        RobotsRules robots;
        if (headers.startsWith("Robots: "))
            robots = RobotsRules::fromText(headers.mid(8).replace('|', '\n'));
        else if (!headers.isEmpty() && !fetched.truncated)
            fetched.headers.append(
                {headers.left(headers.indexOf(':')), headers.mid(headers.indexOf(':') + 1).trimmed()});
        const PageVerdict verdict = PageVerdict::judge("http://h/a", fetched, robots, Crawlers::indexNow);
        QCOMPARE(int(verdict.kind), kind);
        if (kind == int(PageVerdict::Kind::LeftOut))
            QCOMPARE(verdict.reason, reason);
        else if (reason.isEmpty())
            QVERIFY2(verdict.detail.isEmpty() && verdict.exceptFor.isEmpty(),
                     qPrintable(verdict.detail + verdict.exceptFor));
        else
            QVERIFY2(QString(verdict.exceptFor + verdict.detail).startsWith(reason),
                     qPrintable(verdict.exceptFor + verdict.detail));
    }

    // What an engine indexes changes the fingerprint; what it does not index leaves it alone.
    void fingerprint_changesWithTheContentAlone_data()
    {
        QTest::addColumn<QByteArray>("after");
        QTest::addColumn<QByteArray>("contentType");
        QTest::addColumn<bool>("changed");
        const QByteArray page = fingerprintedPage();
        const auto edited = [&](const char* from, const char* to) {
            return QByteArray(page).replace(from, to);
        };
        QTest::newRow("the footer") << edited("© 2026", "© 2027") << QByteArray() << false;
        QTest::newRow("the navigation") << edited(">Lights<", ">Lamps and lights<") << QByteArray() << false;
        QTest::newRow("a form's token")
            << edited("value=\"a1b2\"", "value=\"c3d4\"") << QByteArray() << false;
        QTest::newRow("an asset's name") << edited("app.123.css", "app.456.css") << QByteArray() << false;
        QTest::newRow("the generator") << edited("Hugo 0.1", "Hugo 0.2") << QByteArray() << false;
        QTest::newRow("a comment and a script")
            << edited("built 1", "built 2").replace("t=1", "t=2") << QByteArray() << false;
        QTest::newRow("text beside the main content") << edited("Sale", "Big sale") << QByteArray() << false;
        QTest::newRow("white space and line breaks")
            << edited("Brass lamps, made", "Brass   lamps,\n\tmade") << QByteArray() << false;
        QTest::newRow("the same text in Latin-1")
            << QString::fromUtf8(page).toLatin1() << QByteArray("text/html; charset=iso-8859-1") << false;
        QTest::newRow("an edited paragraph")
            << edited("made by hand", "made by machine") << QByteArray() << true;
        QTest::newRow("two words run together")
            << edited("made by hand", "madeby hand") << QByteArray() << true;
        QTest::newRow("the title") << edited("<title>Lamps", "<title>Brass lamps") << QByteArray() << true;
        QTest::newRow("the canonical") << edited("/lamps\"", "/lamps/\"") << QByteArray() << true;
        QTest::newRow("the description") << edited("Lamps for", "Lights for") << QByteArray() << true;
        QTest::newRow("noindex") << edited("<title>", "<meta name=\"robots\" content=\"noindex\"><title>")
                                 << QByteArray() << true;
        QTest::newRow("without <main>, the body")
            << edited("Sale", "Big sale").replace("main>", "div>") << QByteArray() << true;
    }

    void fingerprint_changesWithTheContentAlone()
    {
        QFETCH(QByteArray, after);
        QFETCH(QByteArray, contentType);
        QFETCH(bool, changed);
        const QByteArray before = ContentFingerprint::of(fingerprintedPage());
        QCOMPARE(before.size(), 64);
        QCOMPARE(ContentFingerprint::of(after, contentType) != before, changed);
        // As it arrives, a few bytes at a time, it reads the same.
        ContentFingerprint arriving(contentType);
        for (qsizetype at = 0; at < after.size(); at += 7)
            arriving.add(QByteArrayView(after).sliced(at, std::min<qsizetype>(7, after.size() - at)));
        QCOMPARE(arriving.finish(), ContentFingerprint::of(after, contentType));
        QVERIFY(!arriving.truncated());
    }

    void fingerprint_readsTheFirstFiveMegabytes()
    {
        QByteArray page = "<html><body><main><p>" + QByteArray(ContentFingerprint::mostBytes, 'a');
        ContentFingerprint first;
        first.add(QByteArray(page + "</p><p>one</p></main></body></html>"));
        ContentFingerprint second;
        second.add(QByteArray(page + "</p><p>two</p></main></body></html>"));
        QCOMPARE(first.finish(), second.finish());
        QVERIFY(first.truncated());
    }

    void checker_judgesEachPageByTheRobotsOfItsOwnOrigin()
    {
        SiteFarm site;
        SiteFarm other; // another port of the same host: another origin, with rules of its own
        QVERIFY(site.listen() && other.listen());
        other.route(u"/robots.txt"_s, SiteFarm::Route::answering(200, "User-agent: *\rDisallow: /b\r"));
        PageList pages;
        for (const QString& page : {site.url(u"/a"_s), other.url(u"/b"_s), other.url(u"/c"_s)})
            pages.add(page.toUtf8(), PageList::unknownTime);
        const QByteArray siteOrigin = WebAddress::originOf(site.url(u"/"_s).toUtf8()).toByteArray();
        PageChecker checker(m_network);
        std::shared_ptr<std::vector<PageVerdict>> verdicts;
        connect(&checker, &PageChecker::finished, this,
                [&verdicts](const std::shared_ptr<std::vector<PageVerdict>>& found) { verdicts = found; });
        waitFor(&checker, &PageChecker::finished, [&] {
            checker.start(std::make_shared<const PageList>(std::move(pages)),
                          {{siteOrigin, RobotsRules::fromText("User-agent: *\nDisallow: /c")}},
                          Crawlers::indexNow);
        });
        QCOMPARE(int((*verdicts)[0].kind), int(PageVerdict::Kind::Indexable));
        QCOMPARE((*verdicts)[1].reason, u"blocked by robots.txt"_s);
        QCOMPARE(int((*verdicts)[2].kind), int(PageVerdict::Kind::Indexable));
        QCOMPARE(site.requests().size(), 1); // its rules were given: only the page is fetched
        QVERIFY(site.requests().first().contains("\r\nUser-Agent: Orvanta/2.001\r\n"));
        QCOMPARE(other.requests().size(), 2); // its robots.txt once, then the page it allows
        QVERIFY(other.requests().first().startsWith("GET /robots.txt "));
    }

    // Asked for the content, the checker reads each page whole and keeps what it was served with.
    void checker_fingerprintsWholePages()
    {
        SiteFarm site;
        QVERIFY(site.listen());
        const QByteArray page =
            fingerprintedPage().replace("<link rel=\"canonical\" href=\"https://shop.example/lamps\">", "");
        const QByteArray padding = "<p>" + QByteArray(PageVerdict::headBytes, 'x') + "</p>";
        const QByteArray long1 =
            QByteArray(page).replace("</main>", QByteArray(padding + "<p>one</p></main>"));
        const QByteArray long2 =
            QByteArray(page).replace("</main>", QByteArray(padding + "<p>two</p></main>"));
        site.route(u"/a"_s, SiteFarm::Route::answering(200, page,
                                                       "ETag: \"v1\"\r\nLast-Modified: Mon, 07 Dec 2026 "
                                                       "10:00:00 GMT\r\nContent-Type: text/html\r\n"));
        site.route(u"/b"_s, SiteFarm::Route::answering(200, QByteArray(page).replace("2026", "2027")));
        site.route(u"/c"_s, SiteFarm::Route::answering(200, long1));
        site.route(u"/d"_s, SiteFarm::Route::answering(200, long2));
        site.route(u"/e"_s, SiteFarm::Route::answering(404, page));
        PageList pages;
        for (const QString& path : {u"/a"_s, u"/b"_s, u"/c"_s, u"/d"_s, u"/e"_s})
            pages.add(site.url(path).toUtf8(), PageList::unknownTime);
        PageChecker checker(m_network);
        std::shared_ptr<std::vector<PageVerdict>> verdicts;
        connect(&checker, &PageChecker::finished, this,
                [&verdicts](const std::shared_ptr<std::vector<PageVerdict>>& found) { verdicts = found; });
        PageCheckLimits limits;
        limits.fingerprints = true;
        waitFor(&checker, &PageChecker::finished, [&] {
            checker.start(std::make_shared<const PageList>(std::move(pages)),
                          {{WebAddress::originOf(site.url(u"/"_s).toUtf8()).toByteArray(), RobotsRules()}},
                          Crawlers::indexNow, limits);
        });
        QVERIFY(verdicts);
        QCOMPARE((*verdicts)[0].fingerprint, ContentFingerprint::of(page));
        QCOMPARE((*verdicts)[0].etag, "\"v1\"");
        QCOMPARE((*verdicts)[0].lastModified, "Mon, 07 Dec 2026 10:00:00 GMT");
        QCOMPARE((*verdicts)[1].fingerprint, (*verdicts)[0].fingerprint); // the footer's year
        QVERIFY((*verdicts)[1].etag.isEmpty());
        QCOMPARE((*verdicts)[2].fingerprint, ContentFingerprint::of(long1)); // past the head's 64 KiB
        QVERIFY((*verdicts)[2].fingerprint != (*verdicts)[3].fingerprint);
        QCOMPARE(int((*verdicts)[4].kind), int(PageVerdict::Kind::Gone));
        QVERIFY((*verdicts)[4].fingerprint.isEmpty());
    }

    void checker_staysWithinItsBounds_data()
    {
        QTest::addColumn<QByteArray>("robots");
        QTest::addColumn<int>("pages");
        QTest::addColumn<int>("hanging"); // the first pages never answer
        QTest::addColumn<int>("budget");  // ms, 0 for none
        QTest::addColumn<int>("mostPages");
        QTest::addColumn<int>("fetched"); // pages asked for
        QTest::addColumn<int>("deferred");
        QTest::addColumn<QString>("deferredBecause");
        QTest::newRow("two at a time from one host, within the time")
            << QByteArray("User-agent: *\nDisallow: /private/\n") << 6 << 6 << 1200 << -1 << 2 << 6
            << u"the check's time ran out"_s;
        QTest::newRow("one at a time as Crawl-delay asks")
            << QByteArray("User-agent: *\nCrawl-delay: 1\n") << 6 << 0 << 1500 << -1 << 2 << 4
            << u"the check's time ran out"_s;
        QTest::newRow("Crawl-delay of the group the check obeys")
            << QByteArray("User-agent: *\nCrawl-delay: 1\n\nUser-agent: orvanta\nCrawl-delay: 0\n") << 6 << 0
            << 1500 << -1 << 6 << 0 << QString();
        // The fifth time-out comes with the sixth page under way; the four after it wait.
        QTest::newRow("a host that keeps running out of time is given up")
            << QByteArray() << 10 << 10 << 0 << -1 << 6 << 4 << u"did not answer 5 times in a row"_s;
        QTest::newRow("a robots.txt that never answers")
            << QByteArray("HANG") << 6 << 0 << 1000 << -1 << 0 << 6 << u"the check's time ran out"_s;
        QTest::newRow("a summary looks ahead so far")
            << QByteArray() << 6 << 0 << 0 << 4 << 4 << 2 << u"checked when they are sent"_s;
    }

    void checker_staysWithinItsBounds()
    {
        QFETCH(QByteArray, robots);
        QFETCH(int, pages);
        QFETCH(int, hanging);
        QFETCH(int, budget);
        QFETCH(int, mostPages);
        QFETCH(int, fetched);
        QFETCH(int, deferred);
        QFETCH(QString, deferredBecause);
        SiteFarm site;
        QVERIFY(site.listen());
        site.route(u"/robots.txt"_s, robots == "HANG" ? SiteFarm::Route(SiteFarm::Behaviour::Hang)
                                                      : SiteFarm::Route::answering(200, robots));
        PageList list;
        for (int page = 0; page < pages; ++page) {
            const QString path = u"/p%1.html"_s.arg(page);
            if (page < hanging)
                site.route(path, SiteFarm::Behaviour::Hang);
            list.add(site.url(path).toUtf8(), PageList::unknownTime);
        }
        PageChecker checker(m_network);
        std::shared_ptr<std::vector<PageVerdict>> verdicts;
        connect(&checker, &PageChecker::finished, this,
                [&verdicts](const std::shared_ptr<std::vector<PageVerdict>>& found) { verdicts = found; });
        PageCheckLimits limits;
        limits.budget = std::chrono::milliseconds(budget);
        limits.mostPages = mostPages;
        limits.pageDeadline = std::chrono::milliseconds(budget == 0 && hanging > 0 ? 150 : 5000);
        waitFor(&checker, &PageChecker::finished, [&] {
            checker.start(std::make_shared<const PageList>(std::move(list)), {}, Crawlers::indexNow, limits);
        });
        QVERIFY(verdicts);
        const auto asked =
            std::count_if(site.requests().cbegin(), site.requests().cend(),
                          [](const QByteArray& request) { return request.startsWith("GET /p"); });
        QCOMPARE(int(asked), fetched);
        // Every page the check did not come to, and only those, is deferred, with why.
        int found = 0;
        for (const PageVerdict& verdict : *verdicts) {
            if (verdict.kind != PageVerdict::Kind::Deferred)
                continue;
            ++found;
            QVERIFY2(verdict.detail.endsWith(deferredBecause), qPrintable(verdict.detail));
        }
        QCOMPARE(found, deferred);
    }

    void reader_takesFilesAsServersSendThem()
    {
        SiteFarm farm;
        QVERIFY(farm.listen());
        // 50,000 long addresses, 11 MB, compressed by the server past Qt's own inflation limit.
        QList<std::pair<QString, QString>> entries;
        for (int page = 0; page < 50000; ++page)
            entries.append({farm.url(u"/catalogue/%1/%2"_s.arg(page).arg(QString(180, u'x'))), {}});
        farm.route(u"/big.xml"_s,
                   SiteFarm::Route::answering(200, SitemapSite::gzip(SitemapSite::urlSet(entries)),
                                              "Content-Encoding: gzip\r\n"));
        const auto big = read(farm.url(u"/"_s), farm.url(u"/big.xml"_s));
        QVERIFY2(big->error.isEmpty(), qPrintable(big->error));
        QCOMPARE(big->pages.size(), 50000);

        // A compressed file whose bytes come one at a time, and an entry whose address holds an
        // entity no declaration resolves: it is left out, not sent cut short.
        QByteArray withEntity = SitemapSite::urlSet({{farm.url(u"/a"_s), {}}, {farm.url(u"/b?x=1"_s), {}}});
        withEntity.replace("?x=1", "?x=&undefined;1");
        QList<QByteArray> entriesRead;
        QStringList unusable;
        SitemapParser parser(
            [&](const SitemapParser::Entry& entry) {
                entriesRead << entry.loc.toByteArray();
                unusable << entry.unusable;
            },
            {});
        const QByteArray compressed = SitemapSite::gzip(withEntity);
        for (const char byte : compressed)
            QVERIFY2(parser.feed(QByteArrayView(&byte, 1)), qPrintable(parser.error()));
        QVERIFY2(parser.finish(), qPrintable(parser.error()));
        QCOMPARE(entriesRead.size(), 2);
        QCOMPARE(unusable, QStringList({QString(), u"holds an entity reference that is not resolved"_s}));

        // A broken file is broken however it arrives: here the second piece begins inside a
        // character, so libxml2 meets every fault only at the end, and recovers to depth 0.
        const QByteArray broken(
            "<?xml version=\"1.0\"?>\n<sitemapindex xmlns=\"hTtp\">:0<E\"0>//00\xdb</&i\xc3\xdb</");
        for (const qsizetype split : {broken.size(), broken.indexOf('\xdb')}) {
            SitemapParser pieces([](const SitemapParser::Entry&) {}, {});
            const bool read = pieces.feed(QByteArrayView(broken).first(split)) &&
                              pieces.feed(QByteArrayView(broken).sliced(split)) && pieces.finish();
            QVERIFY2(!read && pieces.error().startsWith(u"line 2: "_s), qPrintable(pieces.error()));
        }
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
        QTest::newRow("west of Greenwich") << u"2026-05-01T10:20-05:30"_s << utc(5, 1, QTime(15, 50));
        QTest::newRow("with fractions") << u"2026-05-01T10:20:30.250Z"_s << utc(5, 1, QTime(10, 20, 30, 250));
        QTest::newRow("no zone is UTC, wherever it is read")
            << u"2026-05-01T10:00:00"_s << utc(5, 1, QTime(10, 0));
        QTest::newRow("leap day") << u"2028-02-29"_s
                                  << QDateTime(QDate(2028, 2, 29), QTime(0, 0), QTimeZone::utc());
        QTest::newRow("no such day") << u"2026-02-29"_s << QDateTime();
        QTest::newRow("midnight") << u"2026-05-01T00:00Z"_s << utc(5, 1);
        QTest::newRow("no such hour") << u"2026-05-01T24:00Z"_s << QDateTime();
        QTest::newRow("a zone of nonsense") << u"2026-05-01T10:00+5"_s << QDateTime();
        QTest::newRow("more after the Z") << u"2026-05-01T10:00Z5"_s << QDateTime();
        QTest::newRow("none") << QString() << QDateTime();
        QTest::newRow("not a time") << u"yesterday"_s << QDateTime();
    }

    void lastModified()
    {
        QFETCH(QString, text);
        QFETCH(QDateTime, time);
        QCOMPARE(PageList::parseTime(text.toUtf8()),
                 time.isValid() ? time.toMSecsSinceEpoch() : PageList::unknownTime);
    }

    void changedPages_firstAllThenTheChangedButNeverWithinTheCoolDown()
    {
        QTemporaryDir dir;
        auto database = history(dir.filePath(u"history.db"_s));
        QVERIFY(database);
        PageLedger ledger(*database);
        const qint64 sent = published.toMSecsSinceEpoch();
        const QString endpoint = u"https://api.indexnow.org/indexnow"_s;
        PageList first;
        for (const char* page :
             {"http://h/c", "http://h/a", "http://h/b", "http://h/future", "http://h/wrong"})
            first.add(page, sent - 1000);
        first.add("http://h/undated", PageList::unknownTime);
        std::vector<qint64> ids;
        const PagePlan all =
            ChangedPages::plan(first, ledger, "http://h", endpoint, sent, ChangedPages::defaultCoolDown, ids);
        QCOMPARE(all.pages, QList<qsizetype>({0, 1, 2, 3, 4, 5}));
        PageList recorded; // "wrong" went out when its date said 2062
        for (qsizetype page = 0; page < first.size(); ++page)
            recorded.add(first.url(page), page == 4 ? sent + 36 * 365 * day : first.lastModified(page));
        recordSent(*database, endpoint, recorded, sent);

        PageList second; // "a" changed, "d" is new, "future" says 2062, "wrong" was corrected
        second.add("http://h/a", sent + 5000);
        second.add("http://h/b", sent - 1000);
        second.add("http://h/undated", PageList::unknownTime);
        second.add("http://h/d", sent + 5000);
        second.add("http://h/c", sent - 1000);
        second.add("http://h/future", sent + 36 * 365 * day);
        second.add("http://h/wrong", sent - 500);
        const qint64 hourLater = sent + 3600 * 1000;
        const PagePlan changed = ChangedPages::plan(second, ledger, "http://h", endpoint, hourLater,
                                                    ChangedPages::defaultCoolDown, ids);
        QCOMPARE(changed.pages, QList<qsizetype>({0, 3, 5, 6}));
        QCOMPARE(changed.unchanged, 3);
        QVERIFY(ids[1] != 0 && ids[3] == 0); // known pages have their ledger ids, new ones none
        QCOMPARE(ChangedPages::datesInTheFuture(second, hourLater).pages, 1);
        const PagePlan soon = ChangedPages::plan(second, ledger, "http://h", endpoint, sent + 60 * 1000,
                                                 ChangedPages::defaultCoolDown, ids);
        QCOMPARE(soon.pages, QList<qsizetype>{3}); // a new page has no cool-down
        QCOMPARE(soon.coolingDown, 3);
        QCOMPARE(
            ChangedPages::plan(second, ledger, "http://h", endpoint, sent + 1, std::chrono::seconds(0), ids)
                .pages,
            QList<qsizetype>({0, 3, 5, 6}));
        QCOMPARE(ChangedPages::plan(second, ledger, "http://h", u"https://other/indexnow"_s, hourLater,
                                    ChangedPages::defaultCoolDown, ids)
                     .pages.size(),
                 7);
        // A clock that was once ahead recorded a sending still to come: it holds nothing back.
        recordSent(*database, endpoint, second, hourLater + 30 * day);
        const PagePlan ahead = ChangedPages::plan(first, ledger, "http://h", endpoint, hourLater,
                                                  ChangedPages::defaultCoolDown, ids);
        QCOMPARE(ahead.sentInTheFuture, 6);
        QCOMPARE(ahead.pages, QList<qsizetype>{3}); // "future" now has another date: not held back

        QVERIFY(database->exec(u"DROP TABLE announcements"_s)); // a ledger that cannot be read plans nothing
        const PagePlan unreadable = ChangedPages::plan(second, ledger, "http://h", endpoint, hourLater,
                                                       ChangedPages::defaultCoolDown, ids);
        QCOMPARE(unreadable.error, u"no such table: announcements"_s);
        QVERIFY(unreadable.pages.isEmpty());

        QList<qsizetype> many(10001);
        std::iota(many.begin(), many.end(), 0);
        const QList<QList<qsizetype>> batches = ChangedPages::batches(many);
        QCOMPARE(batches.size(), 2);
        QCOMPARE(batches.at(0).size(), 10000);
        QCOMPARE(batches.at(1), QList<qsizetype>{10000});
    }

    void changedPages_fromTheCommandLine()
    {
        SiteFarm farm;
        QVERIFY(farm.listen());
        SitemapSite website(farm, 10001, QDateTime::currentDateTimeUtc().addDays(-1));
        farm.route(u"/busy/indexnow"_s, SiteFarm::Route::answering(429, {}, "Retry-After: 120\r\n"));
        PromoSite busy = TestData::bundledSites().at(0);
        busy.sitename = u"Busy"_s;
        busy.action = farm.url(u"/busy/indexnow"_s);
        ChangedPagesHome home(farm, website.address(),
                              {busy, TestData::site(u"Delta"_s, u"list"_s, farm.url(u"/ok"_s))});
        const PromoSite indexNow = home.indexNow;
        HeadlessSubmission::Options& options = home.options;
        options.sites = {indexNow.sitename, u"Delta"_s};
        using Outcome = ChangedPagesHome::Outcome;
        const auto submit = [&home] { return home.submit(); };
        options.checkPages = false; // checking pages has its own test, on a smaller website
        options.dryRun = true;      // prints the batches, sends and records nothing
        const qsizetype before = farm.requests().size();
        const Outcome dry = submit();
        QCOMPARE(dry.status, 0);
        QVERIFY(dry.out.contains(u"2. %1 (batch 2 of 2)\n   Method: POST\n   URL: %2\n   Content-Type: "
                                 u"application/json; charset=utf-8\n   Body: {\"host\":\"127.0.0.1\",\"key\":"
                                 u"\"0123456789abcdef\",\"keyLocation\":\"%3\",\"urlList\":[\"%4\"]}\n"_s.arg(
                                     indexNow.sitename, indexNow.action, farm.url(u"/0123456789abcdef.txt"_s),
                                     website.pageAddress(10000))));
        QCOMPARE(farm.requests().size(), before + 4); // robots.txt and three sitemaps, nothing sent
        QVERIFY(!QFile::exists(options.historyFile)); // and nothing recorded, not even an empty history
        options.dryRun = false;
        const Outcome all = submit();
        QCOMPARE(all.status, 0);
        QVERIFY2(all.out.startsWith(u"10001 pages found in 3 sitemaps; left out: 5 on other hosts, 3 "
                                    u"listed twice.\n%1: 10001 new or changed pages to send in 2 requests (0 "
                                    u"unchanged).\n"_s.arg(indexNow.sitename)),
                 qPrintable(all.out));
        QVERIFY(all.out.contains(u"OK      %1 (batch 1 of 2): 10000 pages\n"_s.arg(indexNow.sitename)));
        QVERIFY(all.out.contains(u"OK      %1 (batch 2 of 2): 1 page\n"_s.arg(indexNow.sitename)));

        website.change(3, QDateTime::currentDateTimeUtc());
        options.sites = {indexNow.sitename};
        const Outcome soon = submit(); // within the cool-down: nothing goes
        QCOMPARE(soon.status, 0);
        QVERIFY2(soon.out.endsWith(
                     u"%1: no page changed since the last run, nothing to send (9998 unchanged, 3 "
                     u"changed but sent within the cool-down).\nNothing to send.\n"_s.arg(indexNow.sitename)),
                 qPrintable(soon.out));
        options.coolDown = std::chrono::seconds(0);
        QVERIFY(submit().out.contains(u"OK      %1: 3 pages\n"_s.arg(indexNow.sitename)));

        options.sites = {u"Busy"_s}; // asked to slow down: its other batch is not sent, and both wait
        const qsizetype beforeBusy = farm.requests().size();
        const Outcome slowed = submit();
        QCOMPARE(slowed.status, ExitStatus::deferred);
        QVERIFY2(
            slowed.out.contains(u"FAILED  Busy (batch 2 of 2): not sent: the site asked to slow down (HTTP "
                                u"429); try again after 120 seconds; 1 page\n"_s),
            qPrintable(slowed.out));
        QCOMPARE(std::count_if(farm.requests().cbegin() + beforeBusy, farm.requests().cend(),
                               [](const QByteArray& request) { return request.startsWith("POST /busy/"); }),
                 1);

        auto database = history(options.historyFile);
        QVERIFY(database);
        RunJournal journal(*database);
        const QList<RunJournal::RunSummary> runs = journal.runs(u"Shop"_s);
        QCOMPARE(runs.size(), 4); // the dry run is no run; the one with nothing to send is on record
        QCOMPARE(runs.at(2).state, u"nothing to send"_s);
        QVERIFY2(runs.at(2).note.contains(u"nothing to send"_s), qPrintable(runs.at(2).note));
        QCOMPARE(runs.at(1).state, u"completed"_s);
        QCOMPARE(journal.resultPages(runs.at(1).id, 1).size(), 3);
        int acceptedByBusy = 0;
        PageLedger(*database).forEachPage(
            WebAddress::siteOrigin(website.address()), busy.action,
            [&](QByteArrayView, qint64, const auto& sent) { acceptedByBusy += sent ? 1 : 0; });
        QCOMPARE(acceptedByBusy, 0); // nothing accepted, nothing recorded

        // Another run holds the home: this one waits for nothing and sends nothing.
        options.sites = {indexNow.sitename};
        website.change(2, QDateTime::currentDateTimeUtc().addSecs(60));
        RunLock other(options.runLockFile);
        QString whyNot;
        QVERIFY(other.tryLock(whyNot));
        const Outcome refused = submit();
        QCOMPARE(refused.status, 2);
        QVERIFY2(refused.err.startsWith(u"Another run of Orvanta (process %1) is submitting from"_s.arg(
                     QCoreApplication::applicationPid())),
                 qPrintable(refused.err));
        other.unlock();
        // A record that cannot be written makes the run fail, with the reason.
        QVERIFY(database->exec(
            u"CREATE TRIGGER full BEFORE INSERT ON announcements BEGIN SELECT RAISE(ABORT, 'database or "
            u"disk is full'); END"_s));
        const Outcome unrecorded = submit();
        QCOMPARE(unrecorded.status, 1);
        QVERIFY2(unrecorded.out.contains(u"OK      %1: 2 pages\n"_s.arg(indexNow.sitename)),
                 qPrintable(unrecorded.out));
        QVERIFY2(unrecorded.err.endsWith(u"could not be written: database or disk is full.\n"_s),
                 qPrintable(unrecorded.err));
    }

    // A website whose sitemap gives no lastmod (but for its fourth page): what goes out is what
    // changed in the pages themselves, as the command line runs it night after night.
    void changeSignal_sendsThePagesWhoseContentChanged()
    {
        SiteFarm farm;
        QVERIFY(farm.listen());
        struct Page
        {
            QByteArray title, text, footer = "(c) 2026", token = "t0", asset = "a0", generator = "G 1",
                                    canonical = {};
        };
        QList<Page> pages{{"One", "First words."},
                          {"Two", "Second words."},
                          {"Three", "Third words."},
                          {"Four", "Fourth words."}};
        QString fourthLastmod = u"2026-11-01"_s;
        enum class Tags { None, ByContent, Changing } tags = Tags::None;
        int served = 0;
        const QString website = farm.url(u"/c/"_s);
        const auto html = [&](const Page& page) -> QByteArray {
            return "<html><head><title>" + page.title + "</title><meta name=\"generator\" content=\"" +
                   page.generator + "\">" +
                   (page.canonical.isEmpty() ? QByteArray()
                                             : "<link rel=\"canonical\" href=\"" + page.canonical + "\">") +
                   "</head><body><header><a href=\"/\">Home</a></header><main><h1>" + page.title +
                   "</h1><p>" + page.text + "</p><form><input type=\"hidden\" name=\"csrf\" value=\"" +
                   page.token + "\"></form></main><footer>" + page.footer + "</footer><script src=\"/app." +
                   page.asset + ".js\"></script></body></html>";
        };
        farm.handle(u"/c/"_s, [&](const SiteFarm::Request& request) -> SiteFarm::Answer {
            if (request.path == "/c/sitemap.xml") {
                QList<std::pair<QString, QString>> entries;
                for (int page = 1; page <= pages.size(); ++page)
                    entries.append({website + u"%1.html"_s.arg(page), page == 4 ? fourthLastmod : QString()});
                return {200, SitemapSite::urlSet(entries), "application/xml"};
            }
            const int page = request.path.mid(3).chopped(5).toInt();
            if (page < 1 || page > pages.size())
                return {404, "gone", "text/plain"};
            ++served;
            const QByteArray body = html(pages.at(page - 1));
            const QByteArray etag =
                tags == Tags::ByContent
                    ? '"' + QCryptographicHash::hash(body, QCryptographicHash::Md5).toHex() + '"'
                : tags == Tags::Changing ? "\"build-" + QByteArray::number(served) + '"'
                                         : QByteArray();
            if (!etag.isEmpty() && request.header("if-none-match") == etag)
                return {304, {}, "text/html", "ETag: " + etag + "\r\n"};
            return {200, body, "text/html; charset=utf-8",
                    etag.isEmpty() ? QByteArray() : "ETag: " + etag + "\r\n"};
        });
        ChangedPagesHome home(farm, website);
        const auto page = [&website](int number) -> QString { return website + u"%1.html"_s.arg(number); };
        struct Run
        {
            ChangedPagesHome::Outcome outcome;
            QStringList sent;
            QList<QByteArray> asked; // the pages' requests
        };
        const auto run = [&](const QStringList& more) {
            const qsizetype before = farm.requests().size();
            Run done{home.command(QStringList{u"submit"_s, u"--profile"_s, u"Shop"_s, u"--site"_s,
                                              home.indexNow.sitename, u"--changed-pages"_s, u"--sitemap"_s,
                                              website + u"sitemap.xml"_s, u"--cool-down"_s, u"0"_s} +
                                  more),
                     {},
                     {}};
            for (auto request = farm.requests().cbegin() + before; request != farm.requests().cend();
                 ++request) {
                if (request->startsWith("POST /indexnow")) {
                    const QJsonArray urls =
                        QJsonDocument::fromJson(request->mid(request->indexOf("\r\n\r\n") + 4))
                            .object()
                            .value(u"urlList"_s)
                            .toArray();
                    for (const QJsonValue& url : urls)
                        done.sent << url.toString();
                } else if (request->startsWith("GET /c/") && !request->startsWith("GET /c/sitemap")) {
                    done.asked << *request;
                }
            }
            done.sent.sort();
            return done;
        };
        const QStringList content; // the profile's own signal, set below
        const QString engine = home.indexNow.sitename;

        // Sent first while the lastmod was the signal, so what the engine holds was never read:
        // the first reading is taken as that.
        Run first = run({u"--change-signal"_s, u"lastmod"_s});
        QCOMPARE(first.outcome.status, 0);
        QCOMPARE(first.sent, (QStringList{page(1), page(2), page(3), page(4)}));
        QCOMPARE(first.asked.size(), 4);
        QCOMPARE(home.command({u"profile"_s, u"set"_s, u"--profile"_s, u"Shop"_s, u"changesignal=content"_s})
                     .status,
                 0);
        QCOMPARE(run(content).sent, QStringList());
        Run again = run(content);
        QVERIFY2(again.outcome.out.contains(
                     u"%1: no page changed since the last run, nothing to send (4 unchanged)."_s.arg(engine)),
                 qPrintable(again.outcome.out));
        QCOMPARE(again.asked.size(), 4); // every page read again: none has a lastmod to go by

        // What an engine would not index differently changes nothing.
        pages[0].footer = "(c) 2027";
        pages[1].token = "t1";
        pages[2].asset = "a1";
        pages[2].generator = "G 2";
        QCOMPARE(run(content).sent, QStringList());
        // An edited paragraph, a new title and a canonical link do.
        pages[0].text = "First words, edited.";
        Run edited = run(content);
        QCOMPARE(edited.sent, QStringList{page(1)});
        QVERIFY2(
            edited.outcome.out.contains(
                u"%1: 1 new or changed page to send in 1 request (3 unchanged); 1 changed (1 by content, 0 by lastmod)."_s
                    .arg(engine)),
            qPrintable(edited.outcome.out));
        // An edit the engine refused goes again: the engine holds the version it accepted, not
        // the one read last.
        pages[0].text = "First words, edited again.";
        farm.route(u"/indexnow"_s, SiteFarm::Route::answering(422, "refused"));
        QCOMPARE(run(content).sent, QStringList{page(1)});
        farm.route(u"/indexnow"_s, SiteFarm::Behaviour::IndexNow);
        QCOMPARE(run(content).sent, QStringList{page(1)});
        QCOMPARE(run(content).sent, QStringList());
        pages[1].title = "Two, retitled";
        pages[2].canonical = page(3).toUtf8();
        QCOMPARE(run(content).sent, (QStringList{page(2), page(3)}));

        // Validators: asked on condition, a 304 reads nothing and sends nothing; a tag that
        // changes with every build while the content stays sends nothing either.
        tags = Tags::ByContent;
        QCOMPARE(run(content).sent, QStringList()); // the tags are learnt
        Run conditional = run(content);
        QCOMPARE(conditional.sent, QStringList());
        QVERIFY2(conditional.outcome.out.contains(u"(4 unchanged); 4 answered 304."_s),
                 qPrintable(conditional.outcome.out));
        QVERIFY(
            std::all_of(conditional.asked.cbegin(), conditional.asked.cend(),
                        [](const QByteArray& request) { return request.contains("\r\nIf-None-Match: \""); }));
        pages[3].text = "Fourth words, edited.";
        QCOMPARE(run(content).sent, QStringList{page(4)}); // a new tag, read again
        tags = Tags::Changing;
        QCOMPARE(run(content).sent, QStringList());
        QCOMPARE(run(content).sent, QStringList());

        // lastmod goes by the sitemap alone; auto by the lastmod where there is one.
        pages[0].text = "First words, edited twice.";
        pages[3].text = "Fourth words, edited twice.";
        QCOMPARE(run({u"--change-signal"_s, u"lastmod"_s}).sent, QStringList());
        Run automatic = run({u"--change-signal"_s, u"auto"_s});
        QCOMPARE(automatic.sent, QStringList{page(1)});
        fourthLastmod = u"2026-12-01"_s;
        pages[1].text = "Second words, edited.";
        Run both = run({u"--change-signal"_s, u"auto"_s});
        QCOMPARE(both.sent, (QStringList{page(2), page(4)}));
        QVERIFY2(both.outcome.out.contains(u"2 changed (1 by content, 1 by lastmod)"_s),
                 qPrintable(both.outcome.out));

        // Which pages: the profile's patterns, or those of one run.
        pages[1].text = "Second words, edited twice.";
        pages[2].text = "Third words, edited.";
        Run excluded = run(content + QStringList{u"--exclude"_s, u"/c/2.*$"_s});
        QCOMPARE(excluded.sent, QStringList{page(3)});
        QVERIFY2(excluded.outcome.out.contains(u"; left out: 1 excluded by the profile"_s),
                 qPrintable(excluded.outcome.out));
        Run included = run(content + QStringList{u"--include"_s, u"/c/1"_s, u"--include"_s, u"/c/2.html$"_s});
        QCOMPARE(included.sent, QStringList{page(2)});
        QCOMPARE(run(content + QStringList{u"--include"_s, u"c/2"_s}).outcome.status, 2);

        // A baseline records what it reads of each page: only an edit made after it goes out.
        pages[0].text = "First words, before the baseline.";
        const ChangedPagesHome::Outcome baseline = home.command(
            {u"submit"_s, u"--profile"_s, u"Shop"_s, u"--site"_s, engine, u"--baseline"_s, u"--sitemap"_s,
             website + u"sitemap.xml"_s, u"--change-signal"_s, u"content"_s, u"--exclude"_s, u"/c/4"_s});
        QVERIFY2(baseline.out.contains(u"%1: 3 pages recorded as announced; nothing was sent."_s.arg(engine)),
                 qPrintable(baseline.out + baseline.err));
        pages[2].text = "Third words, after the baseline.";
        QCOMPARE(run(content).sent, QStringList{page(3)});

        // A page the profile leaves out is never sent, and coverage says why.
        QCOMPARE(home.command({u"profile"_s, u"set"_s, u"--profile"_s, u"Shop"_s, u"exclude=/c/5"_s}).status,
                 0);
        pages.append(Page{"Five", "Fifth words."});
        Run fifth = run(content);
        QCOMPARE(fifth.sent, QStringList());
        QVERIFY2(
            fifth.outcome.out.contains(u"nothing to send: the 1 page to announce was left out (4 unchanged); "
                                       u"left out: 1 excluded by the profile."_s),
            qPrintable(fifth.outcome.out));
        const QString quiet = run(content + QStringList{u"--quiet"_s}).outcome.out; // as a schedule runs
        QVERIFY2(quiet.contains(u"1 left out as before; orvanta coverage lists them."_s) &&
                     !quiet.contains(page(5)),
                 qPrintable(quiet));

        // Coverage says the signal, and when each page's content last changed.
        const QJsonObject coverage =
            QJsonDocument::fromJson(
                home.command({u"coverage"_s, u"--profile"_s, u"Shop"_s, u"--json"_s}).out.toUtf8())
                .object();
        QCOMPARE(coverage.value(u"change_signal"_s).toString(), u"content"_s);
        QCOMPARE(coverage.value(u"content_read"_s).toInt(), 4);
        const QJsonArray needLook =
            coverage.value(u"sites"_s).toArray().at(0).toObject().value(u"pages"_s).toArray();
        QCOMPARE(needLook.size(), 1);
        QCOMPARE(needLook.at(0).toObject().value(u"code"_s).toString(), u"excluded"_s);
        QCOMPARE(needLook.at(0).toObject().value(u"page"_s).toString(), page(5));
        const QStringList csv = home.command({u"coverage"_s, u"--profile"_s, u"Shop"_s, u"--csv"_s})
                                    .out.split(u"\r\n"_s, Qt::SkipEmptyParts);
        QCOMPARE(csv.size(), 6);
        const auto changed = [&csv](int row) { return csv.at(row).section(u',', -1); };
        QVERIFY2(changed(4) < changed(3) && changed(1).endsWith(u'Z') && changed(2).endsWith(u'Z'),
                 qPrintable(csv.join(u'\n')));
    }

    // A website too slow to be read whole within one run's check is read in turns: each run
    // reads first the pages the last ones did not come to, and says how far the round has come.
    void changeSignal_readsALargeWebsiteInTurns()
    {
        SiteFarm farm;
        QVERIFY(farm.listen());
        const QString website = farm.url(u"/r/"_s);
        farm.handle(u"/r/"_s, [&website](const SiteFarm::Request& request) -> SiteFarm::Answer {
            if (request.path == "/r/sitemap.xml") {
                QList<std::pair<QString, QString>> entries;
                for (int page = 1; page <= 6; ++page)
                    entries.append({website + u"%1.html"_s.arg(page), QString()});
                return {200, SitemapSite::urlSet(entries), "application/xml"};
            }
            SiteFarm::Answer slow{200, "<html><body><main>Page " + request.path + "</main></body></html>",
                                  "text/html"};
            slow.delayMs = 400;
            return slow;
        });
        ChangedPagesHome home(farm, website);
        const QStringList submit{u"submit"_s,
                                 u"--profile"_s,
                                 u"Shop"_s,
                                 u"--site"_s,
                                 home.indexNow.sitename,
                                 u"--sitemap"_s,
                                 website + u"sitemap.xml"_s};
        // Announced by other means: recorded as such, nothing read.
        QCOMPARE(
            home.command(submit + QStringList{u"--baseline"_s, u"--change-signal"_s, u"lastmod"_s}).status,
            0);
        const auto read = [&home] {
            QSet<QString> pages;
            QString error;
            const auto database =
                HistoryDatabase::open(home.options.historyFile, HistoryDatabase::Mode::OpenExisting, error);
            SqliteStatement contents(database->connection(),
                                     u"SELECT p.path FROM contents c JOIN pages p ON p.id = c.page"_s);
            while (contents.next())
                pages.insert(contents.text(0));
            return pages;
        };
        const QStringList turn = submit + QStringList{u"--changed-pages"_s, u"--change-signal"_s,
                                                      u"content"_s, u"--check-time"_s, u"1"_s};
        const ChangedPagesHome::Outcome first = home.command(turn);
        QCOMPARE(first.status, ExitStatus::deferred);
        const QRegularExpressionMatch round =
            QRegularExpression(
                u"\nContent checked for (\\d) of 6 pages; the round completes in about (\\d) more runs?\\.\n"_s)
                .match(first.out);
        QVERIFY2(round.hasMatch(), qPrintable(first.out));
        const QSet<QString> readFirst = read();
        QCOMPARE(readFirst.size(), round.captured(1).toInt());
        QVERIFY(readFirst.size() < 6);
        const qsizetype before = farm.requests().size();
        home.command(turn);
        // The first page asked for is one the first turn did not read.
        const auto asked = std::find_if(
            farm.requests().cbegin() + before, farm.requests().cend(), [](const QByteArray& request) {
                return request.startsWith("GET /r/") && !request.startsWith("GET /r/sitemap");
            });
        QVERIFY(asked != farm.requests().cend());
        const QString path = QString::fromUtf8(asked->mid(4, asked->indexOf(' ', 4) - 4));
        QVERIFY2(!readFirst.contains(path), qPrintable(path));
        QVERIFY(read().size() > readFirst.size());
    }

    // The session itself, driven as both front ends drive it.
    void session_aSummaryChecksSoFarAndSaysWhatIsLeft()
    {
        SiteFarm farm;
        QVERIFY(farm.listen());
        SitemapSite website(farm, int(RunPreparation::summaryPages) + 5,
                            QDateTime::currentDateTimeUtc().addDays(-1));
        ChangedPagesHome home(farm, website.address(), {});
        QString error;
        const std::unique_ptr<SiteDatabase> catalogue = SiteDatabase::open(home.options.catalogueFile, error);
        QVERIFY2(catalogue, qPrintable(error));
        SubmissionSession session(*catalogue,
                                  {home.options.logFile, home.options.historyFile, home.options.runLockFile,
                                   u"window"_s, std::chrono::milliseconds(3000)});
        SubmissionSession::Request request;
        request.profile = ProfileStore(home.settings).read(2);
        request.rows = {*catalogue->find(home.indexNow.sitename)};
        request.changedPages = true;
        RunPlan plan;
        connect(&session, &SubmissionSession::planned, this,
                [&plan](const RunPlan& planned) { plan = planned; });
        waitFor(&session, &SubmissionSession::planned,
                [&] { session.prepare(request, SubmissionSession::Purpose::Summary); });
        const QString summary = plan.summary.join(u'\n');
        static const QRegularExpression left(
            u"\n5 pages more to check before sending \\(about [0-9]+ (s|min)( [0-9]+ min)? at this site's speed\\)\\."_s);
        QVERIFY2(left.match(summary).hasMatch(), qPrintable(summary));
        QVERIFY2(summary.contains(u": 200 new or changed pages to send"_s), qPrintable(summary));
        QVERIFY(!QFile::exists(home.options.historyFile)); // a summary records nothing
    }

    void session_preparesOneRequestAtATime()
    {
        SiteFarm farm;
        QVERIFY(farm.listen());
        SitemapSite website(farm, 4, QDateTime::currentDateTimeUtc().addDays(-1));
        const PromoSite searchConsole = TestData::bundledSites().at(3);
        QVERIFY(GoogleEndpoints::isSearchConsole(searchConsole.action));
        ChangedPagesHome home(farm, website.address(), {searchConsole});
        GoogleImitation google(farm);
        google.setEnvironment();
        QString error;
        const std::unique_ptr<SiteDatabase> catalogue = SiteDatabase::open(home.options.catalogueFile, error);
        QVERIFY2(catalogue, qPrintable(error));
        SubmissionSession session(*catalogue,
                                  {home.options.logFile, home.options.historyFile, home.options.runLockFile,
                                   u"command line"_s, std::chrono::milliseconds(3000)});
        QSignalSpy planned(&session, &SubmissionSession::planned);
        QSignalSpy ended(&session, &SubmissionSession::ended);
        SubmissionSession::Request request;
        request.profile = ProfileStore(home.settings).read(2);
        request.rows = {*catalogue->find(home.indexNow.sitename)};
        request.changedPages = true;
        request.checkPages = false;
        const auto robotsRead = [&farm] {
            return std::count_if(farm.requests().cbegin(), farm.requests().cend(),
                                 [](const QByteArray& sent) { return sent.startsWith("GET /robots.txt "); });
        };
        const auto homeIsFree = [&home] {
            RunLock other(home.options.runLockFile);
            QString whyNot;
            return other.tryLock(whyNot);
        };

        // A second request while the sitemaps are read takes the first one's place and its reading.
        session.prepare(request, SubmissionSession::Purpose::Summary);
        session.prepare(request, SubmissionSession::Purpose::Summary);
        QTRY_COMPARE(planned.size(), 1);
        QVERIFY(!session.isPreparing());
        QCOMPARE(planned.at(0).at(0).value<RunPlan>().summary.value(0).left(13), u"4 pages found"_s);
        // A reading less than ten minutes old serves the run; the run records and gives the home back.
        session.prepare(request, SubmissionSession::Purpose::Run);
        QTRY_COMPARE(planned.size(), 2);
        QCOMPARE(planned.at(1).at(0).value<RunPlan>().items.size(), 1);
        QTRY_COMPARE(ended.size(), 1);
        QCOMPARE(robotsRead(), 1);
        QVERIFY(homeIsFree());

        // A baseline being written is written whole: neither a cancel nor a summary comes between.
        // Another writer holds the history meanwhile, so that the writing lasts.
        const auto writer = history(home.options.historyFile);
        QVERIFY(writer->begin());
        QSignalSpy recording(&session, &SubmissionSession::baselineRecording);
        session.prepare(request, SubmissionSession::Purpose::Baseline);
        QTRY_COMPARE(recording.size(), 1);
        QVERIFY(!session.canCancelPreparation());
        session.cancelPreparation();
        session.prepare(request, SubmissionSession::Purpose::Summary);
        QTest::qWait(50);
        QCOMPARE(planned.size(), 2);
        QVERIFY(session.isPreparing() && !homeIsFree());
        writer->rollback();
        QTRY_COMPARE(planned.size(), 3);
        const RunPlan baseline = planned.at(2).at(0).value<RunPlan>();
        QCOMPARE(planned.at(2).at(1).value<SubmissionSession::Purpose>(),
                 SubmissionSession::Purpose::Baseline);
        QVERIFY(!baseline.cancelled && baseline.error.isEmpty());
        QVERIFY(homeIsFree());
        QTest::qWait(50); // nothing more comes of the cancel or the summary
        QCOMPARE(planned.size(), 3);

        // A cancel gives up what is under way, and what it would have found never arrives.
        session.prepare(request, SubmissionSession::Purpose::Preview);
        session.cancelPreparation();
        QCOMPARE(planned.size(), 4);
        QVERIFY(planned.at(3).at(0).value<RunPlan>().cancelled);
        QTest::qWait(50);
        QCOMPARE(planned.size(), 4);

        // Search Console: a run takes a token before it starts, or says why it cannot.
        SubmissionSession::Request console = request;
        console.rows = {*catalogue->find(searchConsole.sitename)};
        console.changedPages = false;
        session.prepare(console, SubmissionSession::Purpose::Run);
        QTRY_COMPARE(ended.size(), 2);
        QCOMPARE(session.run().lastFailures(), QStringList{searchConsole.sitename});
        QVERIFY(TestData::readFile(home.options.logFile).contains("not signed in to Google"));
        const QString key = home.directory.filePath(u"service.json"_s);
        TestData::writeFile(key, google.serviceAccountFile());
        console.profile.googleServiceAccount = key;
        console.profile.googleProperty = website.address();
        google.addProperty(website.address());
        const qsizetype before = farm.requests().size();
        session.prepare(console, SubmissionSession::Purpose::Run);
        QTRY_COMPARE(ended.size(), 3);
        QVERIFY(session.run().lastFailures().isEmpty());
        QStringList asked;
        for (auto sent = farm.requests().cbegin() + before; sent != farm.requests().cend(); ++sent)
            asked << QString::fromUtf8(sent->left(sent->indexOf(' ', 5)));
        const QStringList toGoogle = asked.filter(u" /google/"_s); // the token first, then the sitemap
        QVERIFY2(toGoogle.size() >= 2 && toGoogle.at(0) == u"POST /google/token"_s &&
                     toGoogle.at(1).startsWith(u"PUT /google/webmasters/v3/sites/"_s),
                 qPrintable(toGoogle.join(u", "_s)));
    }

    void changedPages_announceOnlyWhatCanBeIndexedAndWhatWentAway()
    {
        SiteFarm farm;
        QVERIFY(farm.listen());
        SitemapSite website(farm, 3, QDateTime::currentDateTimeUtc().addDays(-1));
        website.addPagesThatCannotBeIndexed();
        const QByteArray html =
            "<!DOCTYPE html><html><head><meta name=BingBot content=noindex></head></html>";
        website.addPage(u"/bing-only.html"_s,
                        SiteFarm::Route::answering(200, html, "Content-Type: text/html\r\n"));
        PromoSite other = TestData::bundledSites().at(0);
        other.sitename = u"Other engine"_s;
        other.action = farm.url(u"/other/indexnow"_s);
        farm.route(u"/other/indexnow"_s, SiteFarm::Behaviour::IndexNow);
        PromoSite refusing = other;
        refusing.sitename = u"Refusing"_s;
        refusing.action = farm.url(u"/refusing/indexnow"_s);
        farm.route(u"/refusing/indexnow"_s, SiteFarm::Route::answering(403, "Key not valid"));
        ChangedPagesHome home(farm, website.address(), {other, refusing});
        home.options.coolDown = std::chrono::seconds(0);
        const QString engine = home.indexNow.sitename;
        // Another website on the same host (another port) shares the history and the engine.
        PageList neighbour;
        neighbour.add(SiteFarm::refusedUrl(u"/broken.html"_s).toUtf8(), PageList::unknownTime);
        recordSent(*history(home.options.historyFile), home.indexNow.action, neighbour, 1000);
        // The pages of each IndexNow request the farm took since `from`, a request a line.
        const auto announced = [&farm](qsizetype from) {
            QStringList requests;
            for (auto request = farm.requests().cbegin() + from; request != farm.requests().cend();
                 ++request) {
                if (!request->startsWith("POST /"))
                    continue;
                QStringList pages;
                const QJsonArray list =
                    QJsonDocument::fromJson(request->mid(request->indexOf("\r\n\r\n") + 4))
                        .object()
                        .value(u"urlList"_s)
                        .toArray();
                for (const QJsonValue& page : list)
                    pages << QUrl(page.toString()).path();
                pages.sort();
                requests << pages.join(u' ');
            }
            return requests;
        };

        qsizetype before = farm.requests().size();
        const ChangedPagesHome::Outcome first = home.submit();
        QCOMPARE(first.status, 0);
        QVERIFY2(
            first.out.contains(
                u"%1: 5 new or changed pages and 1 removed page to send in 2 requests (0 unchanged); left "
                u"out: 1 blocked by robots.txt, 1 canonical elsewhere, 2 noindex, 1 redirect; 1 listed but "
                u"gone, announced as removed; 1 page sent for the engines that may index it (bingbot: meta "
                u"bingbot: noindex).\nNot announced (5):\n"_s.arg(engine)),
            qPrintable(first.out));
        for (const QString& line :
             {u"/moved.html \u2014 redirect: redirects to %1\n"_s.arg(website.pageAddress(0)),
              u"/copy.html \u2014 canonical elsewhere: names %1 as canonical\n"_s.arg(website.pageAddress(1)),
              u"/x-robots.html \u2014 noindex: X-Robots-Tag: noindex\n"_s,
              u"/private/secret.html \u2014 blocked by robots.txt: "_s,
              u"\nAnnounced as removed (1):\n   %1 \u2014 listed but gone: answers 404\n"_s.arg(
                  farm.url(u"/broken.html"_s))})
            QVERIFY2(first.out.contains(line), qPrintable(line));
        QCOMPARE(announced(before),
                 QStringList({u"/bing-only.html /gone.html /page-0.html /page-1.html /page-2.html"_s,
                              u"/broken.html"_s}));

        // One page leaves the sitemaps and is gone, another leaves them but is still served; one
        // changes; the one announced as removed is still listed and still gone: not announced again.
        website.remove(u"/gone.html"_s, 410);
        website.remove(u"/page-2.html"_s, 200);
        website.change(1, QDateTime::currentDateTimeUtc());
        before = farm.requests().size();
        const ChangedPagesHome::Outcome second = home.submit();
        QCOMPARE(second.status, 0);
        QVERIFY2(
            second.out.contains(
                u"%1: 1 new or changed page and 1 removed page to send in 2 requests (2 "
                u"unchanged); left out: 1 blocked by robots.txt, 1 canonical elsewhere, 2 "
                u"noindex, 1 redirect; 1 listed but still gone, announced as removed before; 1 gone from "
                u"the sitemaps, announced as removed; 1 left the sitemaps but still served.\n"_s.arg(engine)),
            qPrintable(second.out));
        QVERIFY(second.out.contains(u"/page-2.html \u2014 left the sitemaps but still served\n"_s));
        QVERIFY(second.out.contains(u"/gone.html \u2014 gone from the sitemaps: answers 410\n"_s));
        QCOMPARE(announced(before), QStringList({u"/page-0.html"_s, u"/gone.html"_s}));

        // A page announced as removed that is listed and served again is announced again.
        website.addPage(u"/gone.html"_s, SiteFarm::Route::answering(200, "<html><head></head></html>"));
        before = farm.requests().size();
        const ChangedPagesHome::Outcome back = home.submit();
        QVERIFY2(
            back.out.contains(u"%1: 1 new or changed page to send in 1 request (3 unchanged)"_s.arg(engine)),
            qPrintable(back.out));
        QCOMPARE(announced(before), QStringList({u"/gone.html"_s}));

        // Unchecked, every changed page goes as the sitemaps list it, and nothing is known gone.
        home.options.checkPages = false;
        home.options.dryRun = true;
        const ChangedPagesHome::Outcome unchecked = home.submit();
        QVERIFY2(unchecked.out.contains(
                     u"%1: 6 new or changed pages to send in 1 request (4 unchanged).\n"_s.arg(engine)),
                 qPrintable(unchecked.out + unchecked.err));

        // When robots.txt fails, nothing can be announced: the summary says so, not "nothing changed".
        home.options.checkPages = true;
        home.options.sitemap = farm.url(u"/sitemap_index.xml"_s);
        farm.route(u"/robots.txt"_s, SiteFarm::Route::answering(503, "busy"));
        const ChangedPagesHome::Outcome closed = home.submit();
        home.options.sitemap.clear();
        QVERIFY2(
            closed.out.contains(u"%1: nothing to send: all 7 pages to announce were left out (4 unchanged); "
                                u"left out: 7 blocked by robots.txt.\n"_s.arg(engine)),
            qPrintable(closed.out));
        website.serveRobots(); // as it was

        home.options.dryRun = false;
        home.options.checkPages = true;
        home.options.sites = {refusing.sitename};
        QCOMPARE(home.submit().status, 1);

        // A baseline takes every listed page as announced to the other engine, and sends nothing;
        // typed as the manual has it, with the IndexNow sites, or with --changed-pages too.
        home.options.sites = {other.sitename};
        before = farm.requests().size();
        const ChangedPagesHome::Outcome baseline = home.command(
            {u"submit"_s, u"--profile"_s, u"Shop"_s, u"--site"_s, other.sitename, u"--baseline"_s});
        QVERIFY2(baseline.status == 0, qPrintable(baseline.err));
        QVERIFY2(
            baseline.out.endsWith(u"Other engine: 10 pages recorded as announced; nothing was sent.\n"_s),
            qPrintable(baseline.out));
        const QString history = home.command({u"history"_s, u"--last"_s, u"1"_s}).out;
        QVERIFY2(history.contains(u"baseline: completed, nothing sent\n  1. recorded  Other engine: 10 pages "
                                  u"recorded as announced, nothing sent\n"_s),
                 qPrintable(history));
        QCOMPARE(home.command({u"submit"_s, u"--profile"_s, u"Shop"_s, u"--changed-pages"_s, u"--baseline"_s,
                               u"--site"_s, other.sitename, u"--cool-down"_s, u"0"_s})
                     .status,
                 0);
        QVERIFY(home.submit().out.endsWith(
            u"Other engine: no page changed since the last run, nothing to send (10 "
            u"unchanged).\nNothing to send.\n"_s));
        QCOMPARE(announced(before), QStringList());

        // What each site did with each page: the listed ones, and the one removed since.
        const ChangedPagesHome::Outcome table = home.coverage({}, true);
        QCOMPARE(table.status, 0);
        const QStringList rows = table.out.split(u"\r\n"_s, Qt::SkipEmptyParts);
        Csv::Table read;
        QString error;
        QVERIFY2(Csv::parse(table.out, read, error), qPrintable(error));
        QCOMPARE(read.header, QStringList({u"page"_s, u"site"_s, u"state"_s, u"reason"_s, u"last_accepted"_s,
                                           u"google"_s, u"content_changed"_s}));
        QMap<QString, int> tally;
        for (const Csv::Record& row : std::as_const(read.records))
            ++tally[row.fields.at(1)->section(u' ', 0, 0) + u' ' + *row.fields.at(2)];
        // Ten pages each, none of them the other website's: a baseline's pages are recorded, not accepted.
        const QMap<QString, int> expected{{u"IndexNow accepted"_s, 4}, {u"IndexNow left-out"_s, 5},
                                          {u"IndexNow removed"_s, 1},  {u"Other recorded"_s, 10},
                                          {u"Refusing left-out"_s, 5}, {u"Refusing refused"_s, 5}};
        QVERIFY2(tally == expected, qPrintable(table.out));
        QVERIFY(rows.contains(u"%1,\"%2\",left-out,noindex: X-Robots-Tag: noindex,,,"_s.arg(
            farm.url(u"/x-robots.html"_s), engine)));
        QVERIFY2(std::any_of(rows.cbegin(), rows.cend(),
                             [&](const QString& row) {
                                 return row.startsWith(website.pageAddress(1) +
                                                       u",Refusing,refused,HTTP 403"_s);
                             }),
                 qPrintable(rows.join(u'\n')));
        const ChangedPagesHome::Outcome text = home.coverage(engine, false);
        QVERIFY2(
            text.out.startsWith(u"Coverage of %1: 10 pages listed"_s.arg(website.address().chopped(1))) &&
                text.out.contains(
                    u"\n%1: 4 accepted, 0 refused, 5 left out, 1 removed, 0 never announced.\n"_s.arg(
                        engine)) &&
                text.out.contains(u"   removed   %1 \u2014 answers 404\n"_s.arg(farm.url(u"/broken.html"_s))),
            qPrintable(text.out));
        QVERIFY2(home.coverage(other.sitename, false)
                     .out.contains(
                         u"\nOther engine: 0 accepted, 10 recorded as announced, 0 refused, 0 left out, 0 "
                         u"removed, 0 never announced.\n"_s),
                 qPrintable(home.coverage(other.sitename, false).out));
        QCOMPARE(home.coverage(u"Delta"_s, false).status, 2);

        // Beside them, what Google said of a page it was asked about.
        const auto database =
            HistoryDatabase::open(home.options.historyFile, HistoryDatabase::Mode::OpenExisting, error);
        GoogleRecords records(*database);
        const QList<GoogleRecords::QueuedPage> queue =
            records.inspectionQueue(WebAddress::siteOrigin(website.address()), 100);
        QVERIFY(!queue.isEmpty());
        GoogleIndexStatus indexed;
        indexed.verdict = u"PASS"_s;
        indexed.coverageState = u"Submitted and indexed"_s;
        for (const GoogleRecords::QueuedPage& page : queue)
            QVERIFY(records.recordInspection(page.page, indexed, 1));
        const QString withGoogle = home.coverage(engine, false).out;
        QVERIFY2(withGoogle.contains(
                     QRegularExpression(u"\nGoogle \\(URL Inspection\\): \\d+ indexed\\.\n   "_s)) &&
                     withGoogle.endsWith(u", indexed (Submitted and indexed)\n"_s),
                 qPrintable(withGoogle.right(400)));
        QVERIFY(home.coverage({}, true).out.contains(u", indexed (Submitted and indexed)\",\r\n"_s));
    }

    void history_knowsItsLayout_data()
    {
        QTest::addColumn<QStringList>("statements");
        QTest::addColumn<QString>("error"); // empty: opens
        QTest::newRow("newer")
            << QStringList{u"CREATE TABLE runs(id INTEGER)"_s, u"PRAGMA user_version = 10"_s}
            << u"was written by a newer version of Orvanta (layout 10; this one knows up to 9). It "
               u"is left as it is."_s;
        QTest::newRow("another program's")
            << QStringList{u"CREATE TABLE notes(text TEXT)"_s}
            << u"is not an Orvanta history: it holds the tables notes. It is left as it is."_s;
        QTest::newRow("damaged") << QStringList{u"GARBAGE"_s}
                                 << u"cannot be read: file is not a database. It is left as it is."_s;
        QTest::newRow("missing, for a reader") << QStringList{u"NONE"_s} << QString();
    }

    void history_knowsItsLayout()
    {
        QFETCH(QStringList, statements);
        QFETCH(QString, error);
        QTemporaryDir dir;
        const QString path = dir.filePath(u"history.db"_s);
        if (statements == QStringList{u"GARBAGE"_s})
            TestData::writeFile(path, QByteArray(4096, 'x'));
        else if (statements != QStringList{u"NONE"_s})
            TestData::writeSql(path, statements);
        const QByteArray before = QFile::exists(path) ? TestData::readFile(path) : QByteArray();
        QString found;
        for (const auto mode : {HistoryDatabase::Mode::OpenExisting, HistoryDatabase::Mode::OpenOrCreate}) {
            if (error.isEmpty() && mode == HistoryDatabase::Mode::OpenOrCreate)
                break;
            QVERIFY(!HistoryDatabase::open(path, mode, found));
            QVERIFY2(found.endsWith(error), qPrintable(found));
            // Never written to, replaced or emptied; a reader creates nothing at all.
            QCOMPARE(QFile::exists(path) ? TestData::readFile(path) : QByteArray(), before);
        }
        QCOMPARE(QDir(dir.path()).entryList(QDir::Files).size(), before.isNull() ? 0 : 1);
    }

    void history_firstLayoutIsBroughtUpToDate()
    {
        QTemporaryDir dir;
        const QString path = dir.filePath(u"history.db"_s);
        // As the first version wrote it: pages by profile title and site name, addresses copied.
        TestData::writeSql(
            path,
            {u"CREATE TABLE sent(profile TEXT NOT NULL, endpoint TEXT NOT NULL, url TEXT NOT NULL, lastmod "
             u"INTEGER, sent_at INTEGER NOT NULL, PRIMARY KEY(profile, endpoint, url)) WITHOUT ROWID"_s,
             runsOfEarlierLayouts,
             u"CREATE TABLE results(run INTEGER NOT NULL, position INTEGER NOT NULL, site TEXT NOT NULL, "
             u"outcome "
             u"TEXT NOT NULL, status INTEGER, detail TEXT, url_count INTEGER NOT NULL DEFAULT 0, PRIMARY "
             u"KEY(run, "
             u"position))"_s,
             u"CREATE TABLE result_urls(run INTEGER NOT NULL, position INTEGER NOT NULL, url TEXT NOT NULL)"_s,
             u"INSERT INTO sent VALUES ('Shop', 'IndexNow', 'HTTP://H/a#x', 5, 100), ('Shop old', "
             u"'IndexNow', "
             u"'http://h/a', 4, 200), ('Shop', 'Gone', 'http://h/b', NULL, 100), "
             // An address no page can have is left behind, not taken for a failure.
             u"('Shop', 'IndexNow', 'not an address', 1, 100)"_s,
             u"INSERT INTO runs VALUES (1, 10, NULL, 'Shop', 'window', 'changed pages', 1, 1, 0, 'running')"_s,
             u"INSERT INTO results VALUES (1, 1, 'IndexNow', 'succeeded', 200, 'HTTP 200; 1 pages', 1)"_s,
             u"INSERT INTO result_urls VALUES (1, 1, 'http://h/a')"_s});
        QString error;
        const HistoryDatabase::Upgrade upgrade{[](const QString& site) {
            return site == u"IndexNow"_s ? u"https://api.indexnow.org/indexnow"_s : QString();
        }};
        auto database = HistoryDatabase::open(path, HistoryDatabase::Mode::OpenExisting, error, upgrade);
        QVERIFY2(database, qPrintable(error));
        PageLedger ledger(*database);
        QList<std::pair<QString, qint64>> sent;
        QVERIFY(ledger.forEachPage(
            "http://h", u"https://api.indexnow.org/indexnow"_s,
            [&](QByteArrayView url, qint64, const std::optional<PageLedger::Sent>& accepted) {
                sent.append({QString::fromUtf8(url), accepted ? accepted->sentAt : -1});
            }));
        // Two profiles of one site and two spellings of one page are one page, sent last at 200.
        std::sort(sent.begin(), sent.end());
        QCOMPARE(sent, (QList<std::pair<QString, qint64>>{{u"http://h/a"_s, 200}, {u"http://h/b"_s, -1}}));
        RunJournal journal(*database);
        QVERIFY(journal.markInterrupted(dir.filePath(u"orvanta.lock"_s))); // nobody runs: it was cut short
        QCOMPARE(journal.runs().first().state, u"interrupted"_s);
        QCOMPARE(journal.resultPages(1, 1), QStringList{u"http://h/a"_s});
        database.reset();
        QVERIFY(history(path)); // and opens again as it is now
    }

    void history_fourthLayoutTellsBaselinesAndWebsitesApart()
    {
        QTemporaryDir dir;
        const QString path = dir.filePath(u"history.db"_s);
        // Two websites on one host, and a baseline that recorded the first one's pages as accepted.
        TestData::writeSql(
            path,
            {u"CREATE TABLE origins(id INTEGER PRIMARY KEY, origin TEXT NOT NULL UNIQUE, host TEXT NOT NULL)"_s,
             u"CREATE TABLE pages(id INTEGER PRIMARY KEY, origin INTEGER NOT NULL, path TEXT NOT NULL)"_s,
             u"CREATE TABLE endpoints(id INTEGER PRIMARY KEY, address TEXT NOT NULL UNIQUE)"_s,
             u"CREATE TABLE announcements(endpoint INTEGER NOT NULL, page INTEGER NOT NULL, lastmod INTEGER, "
             u"accepted_at INTEGER, removal INTEGER NOT NULL DEFAULT 0, refused_at INTEGER, refused_run "
             u"INTEGER, "
             u"refused_position INTEGER, PRIMARY KEY(endpoint, page)) WITHOUT ROWID"_s,
             runsOfEarlierLayouts,
             u"CREATE TABLE results(run INTEGER NOT NULL, position INTEGER NOT NULL, site TEXT NOT NULL, "
             u"outcome "
             u"TEXT NOT NULL, status INTEGER, detail TEXT, page_count INTEGER NOT NULL DEFAULT 0, PRIMARY "
             u"KEY(run, "
             u"position)) WITHOUT ROWID"_s,
             u"CREATE TABLE checks(page INTEGER PRIMARY KEY, checked_at INTEGER NOT NULL, left_out TEXT, "
             u"detail "
             u"TEXT)"_s,
             u"CREATE TABLE listings(host TEXT PRIMARY KEY, listed_at INTEGER NOT NULL, pages BLOB NOT NULL)"_s,
             u"CREATE TABLE result_pages(run INTEGER NOT NULL, position INTEGER NOT NULL, page INTEGER NOT "
             u"NULL, "
             u"PRIMARY KEY(run, position, page)) WITHOUT ROWID"_s,
             u"INSERT INTO origins VALUES (1, 'http://127.0.0.1:1', '127.0.0.1'), (2, 'http://127.0.0.1:2', "
             u"'127.0.0.1')"_s,
             // Page 4 is page 2 again, written twice by an older version, and sent later.
             u"INSERT INTO pages VALUES (1, 1, '/a'), (2, 1, '/b'), (3, 2, '/c'), (4, 1, '/b')"_s,
             u"INSERT INTO result_pages VALUES (2, 1, 3), (2, 1, 4)"_s,
             u"INSERT INTO checks VALUES (4, 650, NULL, NULL)"_s,
             u"INSERT INTO endpoints VALUES (1, 'https://api.indexnow.org/indexnow')"_s,
             u"INSERT INTO runs VALUES (1, 500, 500, 'Shop', 'window', 'baseline', 0, 1, 0, 'completed'), "
             u"(2, 600, 600, 'Blog', 'window', 'changed pages', 1, 1, 0, 'completed')"_s,
             u"INSERT INTO results VALUES (1, 1, 'IndexNow', 'succeeded', 0, '2 pages recorded as announced, "
             u"nothing sent', 0), (2, 1, 'IndexNow', 'succeeded', 200, 'Accepted', 1)"_s,
             u"INSERT INTO announcements(endpoint, page, accepted_at) VALUES (1, 1, 500), (1, 2, 500), (1, "
             u"3, 600), "
             u"(1, 4, 600)"_s,
             u"INSERT INTO listings VALUES ('127.0.0.1', 500, x'0101')"_s, u"PRAGMA user_version = 4"_s});
        QString error;
        auto database = HistoryDatabase::open(path, HistoryDatabase::Mode::OpenExisting, error);
        QVERIFY2(database, qPrintable(error));
        const QStringList endpoint{u"https://api.indexnow.org/indexnow"_s};
        const Coverage first = Coverage::read(*database, "http://127.0.0.1:1", endpoint, error);
        QCOMPARE(first.pageCount(), 2);
        QCOMPARE(first.listedAt(), 500);
        QCOMPARE(first.counts(0)[size_t(Coverage::State::Recorded)], 1);
        QCOMPARE(first.entry(0, 0).lastAccepted, 0);
        QCOMPARE(first.entry(0, 1).lastAccepted, 600); // the later twin's announcement
        // The twin is gone, what referred to it refers to page 2, and no page can be written twice.
        SqliteStatement twins(database->connection(),
                              u"SELECT (SELECT count(*) FROM pages), (SELECT page FROM checks)"_s);
        QVERIFY(twins.next());
        QCOMPARE(twins.integer(0), 3);
        QCOMPARE(twins.integer(1), 2);
        // The request's pages, packed into one row on the way.
        QCOMPARE(RunJournal(*database).resultPages(2, 1),
                 QStringList({u"http://127.0.0.1:1/b"_s, u"http://127.0.0.1:2/c"_s}));
        QVERIFY(!database->exec(u"INSERT INTO pages(origin, path) VALUES (1, '/a')"_s));
        const Coverage second = Coverage::read(*database, "http://127.0.0.1:2", endpoint, error);
        QCOMPARE(second.listedAt(), 0); // the other website's list is not this one's
        RunJournal journal(*database);
        QCOMPARE(journal.runs().last().succeeded, 0);
        QCOMPARE(journal.results(1).first().outcome, u"recorded"_s);
        // No content was read before: nothing stands for what the engines hold.
        SqliteStatement contents(
            database->connection(),
            u"SELECT (SELECT count(*) FROM contents), (SELECT count(*) FROM announcements "
            u"WHERE fingerprint IS NOT NULL), (SELECT count(*) FROM announcements)"_s);
        QVERIFY(contents.next());
        QCOMPARE(contents.integer(0) + contents.integer(1), 0);
        QCOMPARE(contents.integer(2), 3);
        QCOMPARE(journal.results(2).first().outcome, u"succeeded"_s);
    }

    void history_reportsAndExportsRuns()
    {
        QTemporaryDir dir;
        auto database = history(dir.filePath(u"history.db"_s));
        QVERIFY(database);
        RunJournal journal(*database);
        const qint64 run =
            journal.beginRun({published.toMSecsSinceEpoch(), u"Shop"_s, u"window"_s, u"changed pages"_s, 2});
        QVERIFY(run > 0);
        QVERIFY(journal.addResult(
            run,
            {1, u"=cmd|' /C calc'!A0"_s, RunJournal::Ending::Succeeded, 202, u"Accepted; 1 page"_s, {}}));
        QVERIFY(journal.addResult(
            run, {2, u"blo.gs"_s, RunJournal::Ending::Failed, 404, u"HTTP 404 Not Found"_s, {}}));
        QVERIFY(journal.endRun(run, published.toMSecsSinceEpoch() + 5000, RunJournal::End::Completed));
        QString text;
        QTextStream out(&text);
        HistoryReport::writeText(journal, {u"Shop"_s, -1, 0, false}, out);
        HistoryReport::writeText(journal, {u"Nobody"_s, -1, 0, false}, out);
        HistoryReport::writeCsv(journal, {QString(), -1, run, true}, out);
        out.flush();
        const QString started = u"2026-11-01T08:00:00Z"_s; // in UTC, wherever the report is made
        QCOMPARE(
            text,
            u"Run 1, %1, \"Shop\", window, changed pages: completed, 1 succeeded, 1 failed\n"
            u"  1. succeeded =cmd|' /C calc'!A0: HTTP 202; Accepted; 1 page\n"
            u"  2. failed    blo.gs: HTTP 404; HTTP 404 Not Found\n"
            u"No runs recorded for the profile \"Nobody\".\n"
            u"run,started,profile,front end,mode,state,position,site,outcome,status,detail,pages\r\n"
            u"1,%1,Shop,window,changed pages,completed,2,blo.gs,failed,404,HTTP 404 Not Found,0\r\n"_s.arg(
                started));
        text.clear();
        HistoryReport::writeCsv(journal, {}, out);
        out.flush();
        QVERIFY2(text.contains(u",'=cmd|' /C calc'!A0,succeeded,"_s), qPrintable(text));
        const qint64 later = journal.beginRun({0, u"Shop"_s, u"window"_s, u"address"_s, 1});
        QVERIFY(journal.addResult(
            later, {1, u"Chatty"_s, RunJournal::Ending::Failed, 500, QString(60000, u'x'), {}}));
        QCOMPARE(journal.results(later).first().detail.size(),
                 RunJournal::longestDetail); // a bounded answer // read as text, never run
    }
};

QTEST_GUILESS_MAIN(TestSitemap)
#include "tst_sitemap.moc"
