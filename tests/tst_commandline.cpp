#include "AnswerRule.h"
#include "AppFixture.h"
#include "ExitStatus.h"
#include "GoogleImitation.h"
#include "HeadlessSubmission.h"
#include "HistoryDatabase.h"
#include "KeyCommand.h"
#include "KeyFileCheck.h"
#include "ProfileStore.h"
#include "SiteFarm.h"
#include "SitemapSite.h"
#include "SqliteConnection.h"
#include "SqliteStatement.h"

#include <QBuffer>
#include <QCheckBox>
#include <QComboBox>
#include <QDir>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QListView>
#include <QNetworkAccessManager>
#include <QProcess>
#include <QRegularExpression>
#include <QSignalSpy>
#include <QTcpServer>
#include <QTemporaryDir>
#include <QTest>

using namespace Qt::StringLiterals;
Q_DECLARE_METATYPE(SiteFarm::Route)

class TestCommandLine : public QObject
{
    Q_OBJECT

private:
    struct Outcome
    {
        int status = -1;
        QString out;
        QString err;
    };

    SiteFarm m_farm;
    std::unique_ptr<AppFixture> m_app;

    QList<PromoSite> sites() const
    {
        return {PromoSite{u"Alpha"_s, u"engine"_s, u"u=[url]&c=[company]"_s, u"get"_s, m_farm.url(u"/404"_s)},
                PromoSite{u"Beta"_s, u"engine"_s, u"u=[url]"_s, u"post"_s, m_farm.url(u"/slow"_s)},
                PromoSite{u"Gamma"_s, u"list"_s, u"t=[title]"_s, u"get"_s, m_farm.url(u"/slower"_s)},
                PromoSite{u"Delta"_s, u"list"_s, u"t=[title]"_s, u"get"_s, m_farm.url(u"/ok"_s)}};
    }

    // A program as a user starts it, with the test's settings and without a display.
    static Outcome runProgram(const QString& program, const QStringList& arguments,
                              QProcessEnvironment environment, const QString& directory = QString())
    {
        environment.remove(u"DISPLAY"_s);
        environment.remove(u"WAYLAND_DISPLAY"_s);
        environment.remove(u"QT_QPA_PLATFORM"_s);
        QProcess process;
        process.setProcessEnvironment(environment);
        process.setWorkingDirectory(directory);
        process.start(program, arguments);
        // The farm answers meanwhile.
        for (int waited = 0; waited < 3000 && process.state() != QProcess::NotRunning; ++waited)
            QTest::qWait(10);
        return Outcome{process.exitStatus() == QProcess::NormalExit ? process.exitCode() : -1,
                       QString::fromUtf8(process.readAllStandardOutput()),
                       QString::fromUtf8(process.readAllStandardError())};
    }

    QProcessEnvironment environment() const
    {
        QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
        environment.insert(u"XDG_CONFIG_HOME"_s, m_app->configDirectory());
        return environment;
    }

    // Every bundled site, written to `file`, pointed at the farm's imitation of its service, which
    // answers as the service does; Search Console's address stays (GoogleImitation takes its place).
    QList<PromoSite> farmCatalogue(const QString& file)
    {
        const QHash<QString, QString> imitations = {{u"searchconsole.googleapis.com"_s, QString()},
                                                    {u"api.indexnow.org"_s, u"/indexnow"_s},
                                                    {u"ping.blo.gs"_s, u"/blogs"_s},
                                                    {u"www.gadgetratty.com"_s, u"/gadget"_s},
                                                    {u"rpc.pingomatic.com"_s, u"/rpc"_s},
                                                    {u"rpc.twingly.com"_s, u"/rpc"_s},
                                                    {u"pubsubhubbub.appspot.com"_s, u"/hub"_s}};
        QList<PromoSite> bundled = TestData::bundledSites();
        for (PromoSite& site : bundled) {
            const QString host = QUrl(site.action).host();
            if (!imitations.value(host).isEmpty())
                site.action = m_farm.url(imitations.value(host));
            else if (!imitations.contains(host))
                qFatal("no imitation of %s", qPrintable(host));
        }
        m_farm.route(u"/indexnow"_s, SiteFarm::Behaviour::IndexNow);
        m_farm.route(u"/rpc"_s, SiteFarm::Behaviour::XmlRpcPing);
        m_farm.route(u"/hub"_s, SiteFarm::Behaviour::WebSubHub);
        m_farm.route(u"/blogs"_s, SiteFarm::Route::answering(200, "Thanks for the ping."));
        m_farm.route(u"/gadget"_s, SiteFarm::Route::answering(200, "1 Thanks"));
        TestData::writeCatalogue(file, bundled);
        return bundled;
    }

    // The settings file as it stands now, read afresh: the program changes it from outside.
    struct SettingsFile
    {
        std::unique_ptr<SettingsStore> store = std::make_unique<SettingsStore>();
    };

    Outcome runHeadless(HeadlessSubmission::Options options)
    {
        options.catalogueFile = m_app->homeFile(u"orvd.dll"_s);
        options.logFile = m_app->homeFile(u"sublog.htm"_s);
        options.historyFile = m_app->homeFile(u"history.db"_s);
        options.runLockFile = m_app->homeFile(u"orvanta.lock"_s);
        options.transferDeadline = std::chrono::milliseconds(1500);
        options.clock = [] { return AppFixture::moment; };
        QBuffer out;
        QBuffer err;
        out.open(QIODevice::WriteOnly);
        err.open(QIODevice::WriteOnly);
        const int status = HeadlessSubmission::run(options, m_app->settings(), out, err);
        return Outcome{status, QString::fromUtf8(out.data()), QString::fromUtf8(err.data())};
    }

private slots:
    void cleanup() { m_app.reset(); }

    void initTestCase()
    {
        qputenv("ORVANTA_SECRET_STORE", "file"); // never the desktop's keyring
        QVERIFY(m_farm.listen());
        m_farm.route(u"/404"_s, SiteFarm::Behaviour::NotFound);
        // Answers that end in a known order: at once, after 0.4 s, after 0.8 s.
        m_farm.route(u"/slow"_s, SiteFarm::Route(SiteFarm::Behaviour::Trickle, {}, 4, 100));
        m_farm.route(u"/slower"_s, SiteFarm::Route(SiteFarm::Behaviour::Trickle, {}, 8, 100));
    }

    void init()
    {
        m_app = std::make_unique<AppFixture>();
        TestData::storeCompleteProfile(m_app->settings(), 2, u"Shop"_s);
        TestData::storeCompleteProfile(m_app->settings(), 3, u"Blog"_s);
        QVERIFY(ProfileStore(m_app->settings()).create(5, u"Bare"_s));
        TestData::writeCatalogue(m_app->homeFile(u"orvd.dll"_s), sites());
    }

    void headlessRun_writesTheWindowsLogAndTotals()
    {
        HeadlessSubmission::Options options;
        options.profileTitle = u"Shop"_s;
        options.selection = HeadlessSubmission::Selection::Sites;
        options.sites = {u"Gamma"_s, u"Alpha"_s, u"Beta"_s};
        const Outcome headless = runHeadless(options);
        QCOMPARE(headless.status, ExitStatus::failure);
        QCOMPARE(headless.out,
                 u"FAILED  Alpha: HTTP 404 Not Found\nOK      Beta\nOK      Gamma\nRun log: "_s +
                     m_app->homeFile(u"sublog.htm"_s) + u"\n2 succeeded, 1 failed.\n"_s);
        const QByteArray headlessLog = TestData::readFile(m_app->homeFile(u"sublog.htm"_s));

        // The window's run of the same sites, picked by hand in the same order, writes the same log.
        MainWindow& window = m_app->openWindow(sites());
        auto* chooser = window.findChild<QComboBox*>(u"Combo4"_s);
        chooser->setCurrentIndex(0);
        emit chooser->activated(0); // "Shop", picked as the user would
        m_app->click(u"Bsubmission"_s);
        QListView* list1 = m_app->get<QListView>(u"List1"_s);
        for (const QString& site : options.sites) {
            list1->selectionModel()->clear();
            list1->selectionModel()->select(
                list1->model()->index(int(m_app->entries(u"List1"_s).indexOf(site)), 0),
                QItemSelectionModel::Select);
            m_app->click(u"Command11"_s);
        }
        m_app->dialogs.queueYesNo(true);
        m_app->click(u"Command15"_s);
        QVERIFY(m_app->runToEnd() > 0);
        QCOMPARE(TestData::readFile(m_app->homeFile(u"sublog.htm"_s)), headlessLog);

        options.profileTitle = u"Blog"_s;
        options.selection = HeadlessSubmission::Selection::Type;
        options.type = u"list"_s;
        const Outcome lists = runHeadless(options);
        QCOMPARE(lists.status, ExitStatus::success);
        QVERIFY(lists.out.startsWith(u"OK      Delta\nOK      Gamma\n"_s));
        QVERIFY(lists.err.isEmpty());
    }

    void dryRun_printsTheRequestsAndSendsNothing()
    {
        const qsizetype before = m_farm.requests().size();
        HeadlessSubmission::Options options;
        options.profileTitle = u"Shop"_s;
        options.dryRun = true;
        const Outcome outcome = runHeadless(options);
        QCOMPARE(outcome.status, 0);
        QVERIFY(outcome.out.startsWith(u"1. Alpha\n   Method: GET\n   URL: "_s +
                                       m_farm.url(u"/404?u=url+value&c=company+value"_s)));
        QCOMPARE(outcome.out.count(u"Method:"_s), 4);
        QTest::qWait(100);
        QCOMPARE(m_farm.requests().size(), before);
        QVERIFY(!QFile::exists(m_app->homeFile(u"sublog.htm"_s)));
    }

    void bundledCatalogue_notifiesTheFarmsImitations()
    {
        // Every bundled row, pointed at the farm's imitation of its service; Search Console's
        // address stays, and the program is pointed at Google's imitation instead.
        GoogleImitation google(m_farm);
        google.setEnvironment();
        google.addProperty(m_farm.url(u"/site/"_s));
        m_farm.route(u"/robots.txt"_s,
                     SiteFarm::Route::answering(200, "Sitemap: " + m_farm.url(u"/site/map.xml"_s).toUtf8()));
        QStringList names;
        for (const PromoSite& site : farmCatalogue(m_app->homeFile(u"orvd.dll"_s)))
            names << site.sitename;
        ProfileStore store(m_app->settings());
        Profile shop = store.read(2);
        shop.value(ProfileField::Url) = m_farm.url(u"/site/"_s);
        shop.indexNowKey = u"0123456789abcdef"_s;
        shop.feed = m_farm.url(u"/site/feed.xml"_s);
        shop.googleProperty = m_farm.url(u"/site/"_s);
        shop.googleServiceAccount = m_app->homeFile(u"service.json"_s);
        TestData::writeFile(shop.googleServiceAccount, google.serviceAccountFile());
        QVERIFY(store.save(2, shop));
        m_farm.route(u"/blogs"_s, SiteFarm::Route::answering(200, "Unable to process ping: bad URL"));
        m_farm.route(u"/gadget"_s, SiteFarm::Route::answering(200, "-1 Invalid blog"));
        m_farm.route(u"/0123456789abcdef.txt"_s, SiteFarm::Behaviour::NotFound);

        HeadlessSubmission::Options options;
        options.profileTitle = u"Shop"_s;
        options.selection = HeadlessSubmission::Selection::Sites;
        options.sites = names;
        const auto lines = [](const Outcome& outcome) {
            QStringList lines = outcome.out.split(u'\n').mid(1, 7); // finished in any order
            lines.sort();
            return lines;
        };
        google.refuseNextApiCall(); // the token expires before the sitemap goes: renewed once
        const Outcome missingKey = runHeadless(options);
        QCOMPARE(missingKey.status, ExitStatus::failure);
        QVERIFY(missingKey.out.startsWith(u"Google Search Console: 1 sitemap to submit.\n"_s));
        QCOMPARE(
            lines(missingKey),
            QStringList(
                {u"FAILED  Gadget Ratty: Rejected: -1 Invalid blog"_s,
                 u"FAILED  IndexNow (Bing, Yandex, Seznam, Naver, Yep): HTTP 403 Forbidden: the site "
                 u"does not serve the IndexNow key file 127.0.0.1:%1/0123456789abcdef.txt (the site "
                 u"said: {\"code\":\"UserForbiddedToAccessSite\",\"message\":\"The key file is "
                 u"missing or does not hold the key\"})"_s.arg(m_farm.port()),
                 u"FAILED  blo.gs: Rejected: Unable to process ping: bad URL"_s,
                 u"OK      Google Search Console (%1): submitted; Google: not downloaded yet, pending, 0 "
                 u"pages, 0 errors, 0 warnings"_s.arg(m_farm.url(u"/site/map.xml"_s)),
                 u"OK      Ping-O-Matic"_s, u"OK      Twingly (weblogs only)"_s,
                 u"OK      WebSub hub (needs a feed)"_s}));

        m_farm.route(u"/0123456789abcdef.txt"_s, SiteFarm::Route::answering(200, "0123456789abcdef\n"));
        m_farm.route(u"/blogs"_s, SiteFarm::Route::answering(200, "Thanks for the ping."));
        m_farm.route(u"/gadget"_s, SiteFarm::Route::answering(200, "0"));
        const Outcome served = runHeadless(options);
        QCOMPARE(served.status, ExitStatus::success);
        // Search Console took the sitemap minutes ago: not again within the cool-down.
        QVERIFY2(served.out.startsWith(u"Google Search Console: 0 sitemaps to submit; 1 sitemap submitted "
                                       u"within the cool-down stays back.\n"_s) &&
                     served.out.endsWith(u"6 succeeded, 0 failed.\n"_s),
                 qPrintable(served.out));
        QList<QByteArray> puts;
        std::copy_if(m_farm.requests().cbegin(), m_farm.requests().cend(), std::back_inserter(puts),
                     [](const QByteArray& request) { return request.startsWith("PUT /google/"); });
        // Refused as expired, then sent again with a renewed token; not again within the cool-down.
        QCOMPARE(puts.size(), 2);
        const auto token = [](const QByteArray& put) {
            return put.mid(put.indexOf("Bearer ya29.")).split('\r').first();
        };
        QVERIFY2(puts.at(1).contains(QUrl::toPercentEncoding(m_farm.url(u"/site/map.xml"_s))) &&
                     puts.at(1).contains("Authorization: Bearer ya29.") &&
                     token(puts.at(0)) != token(puts.at(1)),
                 puts.at(1).constData());
    }

    void keyCheck_saysWhetherEnginesCanReadTheKey_data()
    {
        QTest::addColumn<QString>("key");
        QTest::addColumn<QString>("address");
        QTest::addColumn<SiteFarm::Route>("keyFile");
        QTest::addColumn<int>("status");
        QTest::addColumn<QString>("message");
        const QString site = m_farm.url(u"/"_s);
        const QString file = m_farm.url(u"/key-%1.txt"_s);
        using Route = SiteFarm::Route;
        QTest::newRow("served") << u"key-served"_s << site
                                << Route::answering(200, "\xEF\xBB\xBFkey-served\r\n") << 0
                                << u"The site serves the key: %1 holds exactly the key."_s.arg(
                                       file.arg(u"served"_s));
        QTest::newRow("missing")
            << u"key-missing"_s << site << Route(SiteFarm::Behaviour::NotFound) << 1
            << u"The site does not serve the key file: %1 answers HTTP 404 Not Found. Save the "
               u"key file and upload it to the site's root folder."_s.arg(file.arg(u"missing"_s));
        QTest::newRow("wrong content")
            << u"key-wrong"_s << site << Route::answering(200, "key-other") << 1
            << u"%1 does not hold the key: it holds \"key-other\"."_s.arg(file.arg(u"wrong"_s));
        QTest::newRow("an HTML page")
            << u"key-html"_s << site << Route::answering(200, "<html>Welcome</html>") << 1
            << u"%1 answers with an HTML page instead of the key; upload the key file "
               u"as plain text."_s.arg(file.arg(u"html"_s));
        QTest::newRow("another host")
            << u"key-moved"_s << site
            << Route(SiteFarm::Behaviour::Redirect,
                     u"http://localhost:%1/x.txt"_s.arg(m_farm.port()).toUtf8())
            << 1
            << u"%1 redirects to another host (localhost); engines read the key only from the site's own host."_s
                   .arg(file.arg(u"moved"_s));
        QTest::newRow("server error")
            << u"key-error"_s << site << Route(SiteFarm::Behaviour::ServerError) << 1
            << u"%1 answers HTTP 500 Internal Server Error, so engines cannot read the "
               u"key."_s.arg(file.arg(u"error"_s));
        QTest::newRow("refused with 400")
            << u"key-refused"_s << site << Route::answering(400, "no") << 1
            << u"%1 answers HTTP 400 Bad Request, so engines cannot read the key."_s.arg(
                   file.arg(u"refused"_s));
        QTest::newRow("the key and more")
            << u"key-more"_s << site << Route::answering(200, "key-more" + QByteArray(5000, ' ') + "and more")
            << 1
            << u"%1 holds more than the key: engines take the file only when it holds the key alone."_s.arg(
                   file.arg(u"more"_s));
        QTest::newRow("not reachable") << u"key-away"_s << SiteFarm::refusedUrl() << Route() << 1
                                       << u"cannot be reached: Connection refused."_s;
        QTest::newRow("no key")
            << QString() << site << Route() << 1
            << u"The profile has no IndexNow key yet: generate one with orvanta key generate --profile \"Shop\"."_s;
        QTest::newRow("not a key")
            << u"key_x"_s << site << Route() << 1
            << u"The IndexNow key must be 8 to 128 letters (a-z, A-Z), digits or hyphens."_s;
        QTest::newRow("no host") << u"key-nohost"_s << u"url value"_s << Route() << 1
                                 << u"The profile's URL is not a web address with a host name"_s;
    }

    void keyCheck_saysWhetherEnginesCanReadTheKey()
    {
        QFETCH(QString, key);
        QFETCH(QString, address);
        QFETCH(SiteFarm::Route, keyFile);
        QFETCH(int, status);
        QFETCH(QString, message);
        QVERIFY(m_app->settings().setValue(u"2"_s, SettingsKeys::profileIndexNowKey, key));
        QVERIFY(m_app->settings().setValue(u"2"_s, u"url"_s, address));
        m_farm.route(u"/%1.txt"_s.arg(key), keyFile);
        QBuffer out;
        QBuffer err;
        out.open(QIODevice::WriteOnly);
        err.open(QIODevice::WriteOnly);
        QCOMPARE(KeyCommand::run(KeyCommand::Action::Check, u"Shop"_s, false, m_app->settings(), out, err),
                 status);
        QVERIFY2(out.data().contains(message.toUtf8()), out.data().constData());
    }

    void keyGenerate_storesANewKeyAndKeepsAnExistingOne()
    {
        QBuffer out;
        QBuffer err;
        out.open(QIODevice::WriteOnly);
        err.open(QIODevice::WriteOnly);
        const auto generate = [&](bool replace) {
            out.buffer().clear();
            err.buffer().clear();
            out.seek(0);
            err.seek(0);
            return KeyCommand::run(KeyCommand::Action::Generate, u"Shop"_s, replace, m_app->settings(), out,
                                   err);
        };
        QCOMPARE(generate(false), ExitStatus::success);
        const QString first = ProfileStore(m_app->settings()).read(2).indexNowKey;
        QVERIFY2(QRegularExpression(u"^[0-9a-f]{32}$"_s).match(first).hasMatch(), qPrintable(first));
        QVERIFY(out.data().startsWith(QByteArray("IndexNow key of \"Shop\": " + first.toUtf8() + "\n")));
        QCOMPARE(generate(false), ExitStatus::failure);
        QVERIFY(err.data().contains(QByteArray("already has the IndexNow key " + first.toUtf8())));
        QCOMPARE(ProfileStore(m_app->settings()).read(2).indexNowKey, first);
        QCOMPARE(generate(true), ExitStatus::success);
        QVERIFY(ProfileStore(m_app->settings()).read(2).indexNowKey != first);
        QCOMPARE(KeyCommand::run(KeyCommand::Action::Check, u"Nobody"_s, false, m_app->settings(), out, err),
                 ExitStatus::badUsage);

        QNetworkAccessManager network; // a check cancelled before its answer is due reports nothing
        KeyFileCheck check(network);
        QSignalSpy finished(&check, &KeyFileCheck::finished);
        check.start(Profile());
        check.cancel();
        QTest::qWait(50);
        QCOMPARE(finished.size(), 0);
    }

    void window_withoutACommandStartsAndStays()
    {
        QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
        environment.insert(u"XDG_CONFIG_HOME"_s, m_app->configDirectory());
        environment.insert(u"QT_QPA_PLATFORM"_s, u"offscreen"_s);
        QProcess orvanta;
        orvanta.setProcessEnvironment(environment);
        orvanta.start(QStringLiteral(ORVANTA_EXECUTABLE), {u"--home"_s, m_app->home()});
        // A history an older version wrote: the main window's session brings it up to date, which
        // the splash never does. Its new layout says the window is there.
        const QString history = QDir(m_app->home()).filePath(u"history.db"_s);
        TestData::writeSql(history,
                           {u"CREATE TABLE pages(id INTEGER PRIMARY KEY, origin INTEGER, path TEXT)"_s,
                            u"CREATE TABLE announcements(endpoint INTEGER, page INTEGER, "
                            u"accepted_at INTEGER, refused_at INTEGER)"_s,
                            u"CREATE TABLE result_pages(run INTEGER, position INTEGER, page INTEGER)"_s,
                            u"CREATE TABLE checks(page INTEGER PRIMARY KEY)"_s,
                            u"CREATE TABLE runs(id INTEGER PRIMARY KEY)"_s, u"PRAGMA user_version = 5"_s});
        const auto layout = [&history] {
            SqliteConnection connection(history, SqliteConnection::Mode::ReadOnly);
            QString error;
            if (!connection.open(error))
                return qint64(-1);
            SqliteStatement version(connection, u"PRAGMA user_version"_s);
            return version.next() ? version.integer(0) : qint64(-1);
        };
        QVERIFY(orvanta.waitForStarted());
        QTRY_COMPARE_WITH_TIMEOUT(layout(), qint64(HistoryDatabase::layout), 10000);
        QCOMPARE(orvanta.state(), QProcess::Running);
        orvanta.terminate();
        QVERIFY(orvanta.waitForFinished(10000));
    }

    void killedRun_leavesItsLinesAndIsMarkedInterrupted()
    {
        SitemapSite website(m_farm, 30, QDateTime::currentDateTimeUtc().addDays(-1));
        m_farm.route(u"/stuck/indexnow"_s, SiteFarm::Behaviour::Hang);
        PromoSite stuck = TestData::bundledSites().at(0);
        stuck.sitename = u"Stuck"_s;
        stuck.action = m_farm.url(u"/stuck/indexnow"_s);
        TestData::writeCatalogue(m_app->homeFile(u"orvd.dll"_s), {stuck});
        QVERIFY(m_app->settings().setValue(u"2"_s, u"url"_s, website.address()));
        QVERIFY(m_app->settings().setValue(u"2"_s, SettingsKeys::profileIndexNowKey, u"0123456789abcdef"_s));
        QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
        environment.insert(u"XDG_CONFIG_HOME"_s, m_app->configDirectory());
        QProcess orvanta;
        orvanta.setProcessEnvironment(environment);
        orvanta.start(QStringLiteral(ORVANTA_EXECUTABLE), {u"submit"_s, u"--profile"_s, u"Shop"_s, u"--all"_s,
                                                           u"--changed-pages"_s, u"--home"_s, m_app->home()});
        QByteArray printed;
        QTRY_VERIFY_WITH_TIMEOUT(
            (printed += orvanta.readAllStandardOutput()).contains("to send in 1 request"), 15000);
        orvanta.kill(); // as a cron job that dies, while the request hangs: what it printed is there
        QVERIFY(orvanta.waitForFinished(10000));
        printed += orvanta.readAllStandardOutput();
        QVERIFY2(printed.contains(QByteArray(" --changed-pages --home " + m_app->home().toUtf8() +
                                             "\n30 pages found in 3 sitemaps")),
                 printed.constData());
        orvanta.start(QStringLiteral(ORVANTA_EXECUTABLE), {u"history"_s, u"--home"_s, m_app->home()});
        QVERIFY(orvanta.waitForFinished(10000));
        QVERIFY2(
            orvanta.readAllStandardOutput().contains("changed pages: interrupted, 0 succeeded, 0 failed"),
            "the next open marks it interrupted");
    }

    void commandLine_exitStatusesWithoutADisplay_data()
    {
        QTest::addColumn<QStringList>("arguments");
        QTest::addColumn<int>("status");
        QTest::addColumn<QString>("output");
        const QString usage = u"Usage:\n  orvanta [--home DIR]\n"_s;
        QTest::newRow("options before the command")
            << QStringList{u"--home"_s, u"HOME"_s,   u"submit"_s, u"--profile"_s,
                           u"Blog"_s,   u"--type"_s, u"list"_s}
            << 0 << u"2 succeeded, 0 failed."_s;
        QTest::newRow("help") << QStringList{u"--help"_s} << 0
                              << u"orvanta submit (--profile TITLE | --profile-slot N)"_s;
        QTest::newRow("version") << QStringList{u"--version"_s} << 0 << u"Orvanta 2.001\n"_s;
        QTest::newRow("unknown command")
            << QStringList{u"frobnicate"_s} << 2 << u"Unknown command \"frobnicate\""_s;
        QTest::newRow("unknown option")
            << QStringList{u"submit"_s, u"--frob"_s} << 2 << u"Unknown option 'frob'."_s;
        QTest::newRow("missing value")
            << QStringList{u"--home"_s, u"HOME"_s, u"submit"_s, u"--all"_s, u"--profile"_s} << 2
            << u"Missing value after '--profile'.\n"_s + usage;
        QTest::newRow("no profile") << QStringList{u"submit"_s, u"--all"_s} << 2
                                    << u"Name the profile to submit"_s;
        QTest::newRow("two selections")
            << QStringList{u"submit"_s, u"--profile"_s, u"Shop"_s, u"--all"_s, u"--type"_s, u"list"_s} << 2
            << u"Choose the sites with exactly one of"_s;
        QTest::newRow("the free marker is no profile")
            << QStringList{u"submit"_s, u"--profile"_s, u"none"_s, u"--all"_s} << 2
            << u"Unknown profile \"none\". Known profiles: \"Shop\", \"Blog\", \"Bare\"."_s;
        QTest::newRow("incomplete profile")
            << QStringList{u"submit"_s, u"--profile"_s, u"Bare"_s, u"--all"_s} << 2
            << u"The profile \"Bare\" lacks values the chosen sites need: url (Alpha, Beta); company "
               u"(Alpha); "
               u"wtitle (Delta, Gamma). Fill them in with orvanta profile set --profile \"Bare\" KEY=VALUE.\n"_s;
        QTest::newRow("incomplete profile for many sites")
            << QStringList{u"submit"_s, u"--profile"_s, u"Bare"_s, u"--all"_s, u"MANY-SITES"_s} << 2
            << u"lacks values the chosen sites need: url (Site 1); company (Site 2, Site 3, Site 4, Site 5, "
               u"Site 6 and 2 more)."_s;
        // Search Console left aside (no Google sign-in) asks nothing of the profile; named, it does.
        QTest::newRow("incomplete profile, Search Console left aside")
            << QStringList{u"submit"_s, u"--profile"_s, u"Bare"_s, u"--all"_s, u"CONSOLE-SITES"_s} << 2
            << u"lacks values the chosen sites need: company (Plain)."_s;
        QTest::newRow("incomplete profile, Search Console named")
            << QStringList{u"submit"_s, u"--profile"_s, u"Bare"_s,    u"--site"_s,
                           u"Plain"_s,  u"--site"_s,    u"Console"_s, u"CONSOLE-SITES"_s}
            << 2 << u"lacks values the chosen sites need: company (Plain); url (Console)."_s;
        QTest::newRow("unknown site")
            << QStringList{u"submit"_s, u"--profile"_s, u"Shop"_s, u"--site"_s, u"Omega"_s} << 2
            << u"Unknown site \"Omega\""_s;
        QTest::newRow("unknown type")
            << QStringList{u"submit"_s, u"--profile"_s, u"Shop"_s, u"--type"_s, u"blog"_s} << 2
            << u"Unknown site type \"blog\""_s;
        QTest::newRow("key check")
            << QStringList{u"key"_s, u"check"_s, u"--profile"_s, u"Shop"_s} << 1
            << u"The profile has no IndexNow key yet: generate one with orvanta key generate --profile \"Shop\".\n"_s;
        QTest::newRow("key with a word too many")
            << QStringList{u"key"_s, u"check"_s, u"now"_s, u"--profile"_s, u"Shop"_s} << 2
            << u"Say key generate or key check."_s;
        QTest::newRow("key without what to do")
            << QStringList{u"key"_s, u"--profile"_s, u"Shop"_s} << 2 << u"Say key generate or key check."_s;
        QTest::newRow("profiles") << QStringList{u"profiles"_s} << 0 << u"Shop\nBlog\nBare\n"_s;
        for (const QString& seconds : {u"soon"_s, u"-5"_s})
            QTest::newRow(qPrintable(u"cool-down "_s + seconds))
                << QStringList{u"submit"_s,          u"--profile"_s,   u"Shop"_s, u"--all"_s,
                               u"--changed-pages"_s, u"--cool-down"_s, seconds}
                << 2 << u"--cool-down takes a number of seconds, 0 or more."_s;
        for (const QStringList& foreign :
             {QStringList{u"history"_s, u"--dry-run"_s},
              {u"profiles"_s, u"--csv"_s},
              {u"submit"_s, u"--profile"_s, u"Shop"_s, u"--all"_s, u"--last"_s, u"3"_s},
              {u"key"_s, u"check"_s, u"--profile"_s, u"Shop"_s, u"--replace"_s}})
            QTest::newRow(qPrintable(u"another command's option: "_s + foreign.join(u' ')))
                << foreign << 2
                << u"%1 does not take --%2."_s.arg(foreign.first() == u"key"_s ? u"key check"_s
                                                                               : foreign.first(),
                                                   QStringList(foreign).filter(u"--"_s).last().mid(2));
        QTest::newRow("a check time without changed pages")
            << QStringList{u"submit"_s, u"--profile"_s, u"Shop"_s, u"--all"_s, u"--check-time"_s, u"60"_s}
            << 2 << u"--check-time goes with --changed-pages, without --no-check."_s;
        QTest::newRow("a check time of no seconds")
            << QStringList{u"submit"_s,          u"--profile"_s,    u"Shop"_s, u"--all"_s,
                           u"--changed-pages"_s, u"--check-time"_s, u"-1"_s}
            << 2 << u"--check-time takes a number of seconds, 0 or more."_s;
        QTest::newRow("a sitemap that is no address")
            << QStringList{u"submit"_s,          u"--profile"_s, u"Shop"_s,   u"--all"_s,
                           u"--changed-pages"_s, u"--sitemap"_s, u"notaurl"_s}
            << 2 << u"--sitemap takes a web address"_s;
        QTest::newRow("a key that breaks the rules")
            << QStringList{u"submit"_s, u"--profile"_s, u"Shop"_s, u"--all"_s, u"BAD-KEY"_s} << 2
            << u"The IndexNow key of the profile \"Shop\" is not valid"_s;
        QTest::newRow("history of a home that is not there") // a reader creates nothing
            << QStringList{u"history"_s, u"--home"_s, u"HOME/typo"_s} << 2
            << u"The home \"HOME/typo\" does not exist.\n"_s;
        QTest::newRow("coverage of a home that is a file")
            << QStringList{u"coverage"_s, u"--profile"_s, u"Shop"_s, u"--home"_s, u"HOME/sublog.htm"_s} << 2
            << u"The home \"HOME/sublog.htm\" is not a directory.\n"_s;
        QTest::newRow("submit from a home that is a file")
            << QStringList{u"submit"_s, u"--profile"_s, u"Shop"_s,
                           u"--all"_s,  u"--home"_s,    u"HOME/sublog.htm"_s}
            << 2 << u"The home \"HOME/sublog.htm\" is not a directory.\n"_s;
        QTest::newRow("history of a profile nobody has")
            << QStringList{u"history"_s, u"--profile"_s, u"Nobody"_s} << 2
            << u"Unknown profile \"Nobody\"."_s;
        QTest::newRow("a slot past the twenty")
            << QStringList{u"submit"_s, u"--profile-slot"_s, u"21"_s, u"--all"_s} << 2
            << u"--profile-slot takes a slot number from 1 to 20."_s;
        QTest::newRow("an empty slot") << QStringList{u"submit"_s, u"--profile-slot"_s, u"4"_s, u"--all"_s}
                                       << 2 << u"No profile is stored in slot 4;"_s;
        QTest::newRow("a profile by title and by slot")
            << QStringList{u"submit"_s, u"--profile-slot"_s, u"2"_s, u"--profile"_s, u"Shop"_s, u"--all"_s}
            << 2 << u"Name the profile to submit with --profile TITLE or --profile-slot N."_s;
        QTest::newRow("a schedule without a time")
            << QStringList{u"schedule"_s, u"set"_s, u"--profile"_s, u"Shop"_s, u"--all"_s} << 2
            << u"Say when with --at CALENDAR"_s;
        QTest::newRow("a schedule of no known type")
            << QStringList{u"schedule"_s, u"set"_s,  u"--profile"_s, u"Shop"_s,
                           u"--type"_s,   u"blog"_s, u"--at"_s,      u"daily"_s}
            << 2 << u"--type takes engine or list."_s;
        QTest::newRow("a schedule run of another command's option")
            << QStringList{u"schedule"_s, u"run"_s, u"--profile"_s, u"Shop"_s, u"--at"_s, u"daily"_s} << 2
            << u"schedule run does not take --at."_s;
        QTest::newRow("the window without a display")
            << QStringList{} << 2 << u"Orvanta's window needs a display (an X11 or Wayland session)"_s;
        QTest::newRow("what a server sends reaches the terminal escaped")
            << QStringList{u"key"_s, u"check"_s, u"--profile"_s, u"Shop"_s, u"ESCAPES"_s} << 1
            << u"holds \"\\x1B[2J\\x1B]0;owned\\x07key-other\"."_s;
        QTest::newRow("history of no runs") << QStringList{u"history"_s, u"--last"_s, u"0"_s} << 2
                                            << u"--last takes a number of runs, 1 or more."_s;
        QTest::newRow("words after a command")
            << QStringList{u"profiles"_s, u"extra"_s} << 2 << u"Unexpected arguments: extra\nUsage:"_s;
        QTest::newRow("profiles of a broken settings file")
            << QStringList{u"profiles"_s, u"BROKEN-SETTINGS"_s} << 2 << u"/orv/orv.conf\" is a directory."_s;
        QTest::newRow("settings file is a directory")
            << QStringList{u"submit"_s, u"--profile"_s, u"Shop"_s, u"--all"_s, u"BROKEN-SETTINGS"_s} << 2
            << u"/orv/orv.conf\" is a directory."_s;
    }

    void commandLine_exitStatusesWithoutADisplay()
    {
        QFETCH(QStringList, arguments);
        QFETCH(int, status);
        QFETCH(QString, output);
        QProcessEnvironment environment = this->environment();
        QTemporaryDir broken;
        if (arguments.removeAll(u"BROKEN-SETTINGS"_s) > 0) {
            QVERIFY(QDir().mkpath(broken.filePath(u"orv/orv.conf"_s)));
            environment.insert(u"XDG_CONFIG_HOME"_s, broken.path());
        }
        if (arguments.removeAll(u"BAD-KEY"_s) > 0) {
            QVERIFY(m_app->settings().setValue(u"2"_s, SettingsKeys::profileIndexNowKey, u"bad key/../x"_s));
            TestData::writeCatalogue(m_app->homeFile(u"orvd.dll"_s), TestData::bundledSites());
        }
        if (arguments.removeAll(u"MANY-SITES"_s) > 0) {
            // Written last to first: the file's order is not the list's.
            QList<PromoSite> many;
            for (int site = 8; site >= 1; --site)
                many << PromoSite{u"Site %1"_s.arg(site), u"engine"_s,
                                  site == 1 ? u"u=[url]"_s : u"c=[company]"_s, u"get"_s,
                                  m_farm.url(u"/ok"_s)};
            TestData::writeCatalogue(m_app->homeFile(u"orvd.dll"_s), many);
        }
        if (arguments.removeAll(u"CONSOLE-SITES"_s) > 0)
            TestData::writeCatalogue(
                m_app->homeFile(u"orvd.dll"_s),
                {PromoSite{u"Plain"_s, u"engine"_s, u"c=[company]"_s, u"get"_s, m_farm.url(u"/ok"_s)},
                 PromoSite{u"Console"_s, u"engine"_s, u""_s, u"put"_s,
                           u"https://searchconsole.googleapis.com/"_s}});
        if (arguments.removeAll(u"ESCAPES"_s) > 0) {
            QVERIFY(m_app->settings().setValue(u"2"_s, SettingsKeys::profileIndexNowKey, u"key-escaped"_s));
            QVERIFY(m_app->settings().setValue(u"2"_s, u"url"_s, m_farm.url(u"/"_s)));
            m_farm.route(u"/key-escaped.txt"_s,
                         SiteFarm::Route::answering(200, "\x1b[2J\x1b]0;owned\x07key-other"));
        }
        if (!arguments.contains(u"--home"_s))
            arguments << u"--home"_s << u"HOME"_s;
        arguments.replaceInStrings(u"HOME"_s, m_app->home());
        output.replace(u"HOME"_s, m_app->home());
        TestData::writeFile(m_app->homeFile(u"sublog.htm"_s), "a file, not a directory");
        const Outcome run = runProgram(QStringLiteral(ORVANTA_EXECUTABLE), arguments, environment);
        QVERIFY(!QFile::exists(m_app->homeFile(u"typo"_s)));
        const QString printed = run.out + run.err;
        QVERIFY2(run.status == status, qPrintable(printed));
        QVERIFY2(printed.contains(output), qPrintable(printed));
    }

    void profileCommands_keepTheWindowsSlotsAndRules_data()
    {
        QTest::addColumn<QStringList>("arguments");
        QTest::addColumn<int>("status");
        QTest::addColumn<QString>("output");
        QTest::newRow("new in the lowest free slot")
            << QStringList{u"profile"_s, u"new"_s, u"--profile"_s, u"Cafe"_s} << 0
            << u"Made the profile \"Cafe\" in slot 1;"_s;
        QTest::newRow("a title another has") << QStringList{u"profile"_s, u"new"_s, u"--profile"_s, u"Shop"_s}
                                             << 2 << u"A profile titled \"Shop\" already exists.\n"_s;
        QTest::newRow("the free marker") << QStringList{u"profile"_s, u"new"_s, u"--profile"_s, u"none"_s}
                                         << 2 << u"The title \"none\" marks a free slot"_s;
        QTest::newRow("an empty title") << QStringList{u"profile"_s, u"new"_s, u"--profile"_s, QString()} << 2
                                        << u"A profile needs a title.\n"_s;
        QTest::newRow("a full store")
            << QStringList{u"profile"_s, u"new"_s, u"--profile"_s, u"Cafe"_s, u"FULL"_s} << 2
            << u"All 20 profile slots are taken"_s;
        QTest::newRow("a key nobody has")
            << QStringList{u"profile"_s, u"set"_s, u"--profile"_s, u"Shop"_s, u"title=x"_s} << 2
            << u"Unknown key \"title\"; the keys are name, company,"_s;
        QTest::newRow("no assignment")
            << QStringList{u"profile"_s, u"set"_s, u"--profile"_s, u"Shop"_s, u"url"_s} << 2
            << u"Unknown key \"url\""_s;
        QTest::newRow("a key the rules refuse")
            << QStringList{u"profile"_s, u"set"_s,       u"--profile"_s,
                           u"Shop"_s,    u"city=Bern"_s, u"indexnowkey=short"_s}
            << 2 << u"The IndexNow key must be 8 to 128 letters"_s;
        QTest::newRow("a feed that is no address")
            << QStringList{u"profile"_s, u"set"_s, u"--profile"_s, u"Shop"_s, u"feed=rss"_s} << 2
            << u"The feed address must be a web address"_s;
        QTest::newRow("delete") << QStringList{u"profile"_s, u"delete"_s, u"--profile"_s, u"Blog"_s} << 0
                                << u"Deleted the profile \"Blog\" from slot 3.\n"_s;
        QTest::newRow("a profile nobody has")
            << QStringList{u"profile"_s, u"show"_s, u"--profile"_s, u"Nobody"_s} << 2
            << u"Unknown profile \"Nobody\". Known profiles: \"Shop\", \"Blog\", \"Bare\".\n"_s;
        QTest::newRow("no profiles at all")
            << QStringList{u"profile"_s, u"show"_s, u"--profile"_s, u"Nobody"_s, u"EMPTY"_s} << 2
            << u"Known profiles: none in "_s;
        QTest::newRow("without an action")
            << QStringList{u"profile"_s} << 2
            << u"Say profile list, show, new, set, delete, export or import."_s;
        QTest::newRow("import of no profile")
            << QStringList{u"profile"_s, u"import"_s, u"HOME/sublog.htm"_s} << 2
            << u"is not a profile as orvanta profile export writes it: "_s;
        QTest::newRow("list") << QStringList{u"profile"_s, u"list"_s} << 0 << u"Shop\nBlog\nBare\n"_s;
        QTest::newRow("a command's own help")
            << QStringList{u"profile"_s, u"--help"_s} << 0
            << u"Usage: orvanta profile list [--json]\n  or:  orvanta profile show --profile TITLE [--json]\n"_s;
    }

    void profileCommands_keepTheWindowsSlotsAndRules()
    {
        QFETCH(QStringList, arguments);
        QFETCH(int, status);
        QFETCH(QString, output);
        const bool full = arguments.removeAll(u"FULL"_s) > 0;
        for (int slot = 1; slot <= 20 && full; ++slot)
            QVERIFY(m_app->settings().setValue(QString::number(slot), u"title"_s, u"T%1"_s.arg(slot)));
        if (arguments.removeAll(u"EMPTY"_s) > 0) {
            for (const int slot : {2, 3, 5})
                QVERIFY(ProfileStore(m_app->settings()).remove(slot));
        }
        TestData::writeFile(m_app->homeFile(u"sublog.htm"_s), "<html>");
        arguments.replaceInStrings(u"HOME"_s, m_app->home());
        const QByteArray before = TestData::readFile(m_app->settings().fileName());
        const Outcome run = runProgram(QStringLiteral(ORVANTA_EXECUTABLE), arguments, environment());
        QVERIFY2(run.status == status && QString(run.out + run.err).contains(output),
                 qPrintable(run.out + run.err));
        // What is refused leaves the settings file as it was.
        if (status != 0)
            QCOMPARE(TestData::readFile(m_app->settings().fileName()), before);
        if (arguments.contains(u"delete"_s))
            QVERIFY(!ProfileStore(*SettingsFile().store).isOccupied(3));
    }

    void profileCommands_exportAndImportGiveTheWindowsProfile()
    {
        // Values as the window stores them: a single blank, a second line, a backslash, quotes.
        const QStringList values{u"fax= "_s,
                                 u"description=first\nsecond"_s,
                                 u"major=Business & Economy\\Companies\\"_s,
                                 u"name=\"Jo\" ; Bo"_s,
                                 u"url=https://www.example.com/"_s,
                                 u"indexnowkey=0123456789abcdef"_s};
        const Outcome set = runProgram(
            QStringLiteral(ORVANTA_EXECUTABLE),
            QStringList{u"profile"_s, u"set"_s, u"--profile"_s, u"Bare"_s} + values, environment());
        QVERIFY2(set.status == 0, qPrintable(set.err));
        QVERIFY(
            SettingsFile().store->setValue(u"5"_s, SettingsKeys::profileGoogleProperty, u"sc-domain:x"_s));
        Profile stored = ProfileStore(*SettingsFile().store).read(5);
        QCOMPARE(stored.value(ProfileField::Fax), u" "_s);
        QCOMPARE(stored.value(ProfileField::Description), u"first\nsecond"_s);
        QCOMPARE(stored.value(ProfileField::MajorCategory), u"Business & Economy\\Companies\\"_s);
        QCOMPARE(stored.value(ProfileField::Name), u"\"Jo\" ; Bo"_s);

        const Outcome exported =
            runProgram(QStringLiteral(ORVANTA_EXECUTABLE),
                       {u"profile"_s, u"export"_s, u"--profile"_s, u"Bare"_s}, environment());
        QCOMPARE(exported.status, 0);
        const QString file = m_app->homeFile(u"bare.json"_s);
        TestData::writeFile(file, exported.out.toUtf8());
        const Outcome again =
            runProgram(QStringLiteral(ORVANTA_EXECUTABLE), {u"profile"_s, u"import"_s, file}, environment());
        QCOMPARE(again.status, 2);
        QVERIFY2(again.err.contains(u"Add --replace to overwrite it."_s), qPrintable(again.err));
        QVERIFY(ProfileStore(*SettingsFile().store).remove(5) &&
                ProfileStore(*SettingsFile().store).remove(2));
        const Outcome imported =
            runProgram(QStringLiteral(ORVANTA_EXECUTABLE), {u"profile"_s, u"import"_s, file}, environment());
        QVERIFY2(imported.status == 0, qPrintable(imported.err));
        QCOMPARE(ProfileStore(*SettingsFile().store).findByTitle(u"Bare"_s), std::optional<int>(1));
        const Profile read = ProfileStore(*SettingsFile().store).read(1);
        QCOMPARE(read.fields, stored.fields);
        QCOMPARE(read.indexNowKey, stored.indexNowKey);
        QCOMPARE(read.googleProperty, u"sc-domain:x"_s);

        // --replace writes over the profile of that title, in its slot.
        TestData::writeFile(file, QByteArray(exported.out.toUtf8())
                                      .replace("https://www.example.com/", "https://shop.example.com/"));
        const Outcome replaced = runProgram(QStringLiteral(ORVANTA_EXECUTABLE),
                                            {u"profile"_s, u"import"_s, file, u"--replace"_s}, environment());
        QCOMPARE(replaced.status, 0);
        QCOMPARE(ProfileStore(*SettingsFile().store).read(1).value(ProfileField::Url),
                 u"https://shop.example.com/"_s);
        QCOMPARE(ProfileStore(*SettingsFile().store).scanTitles().size(), 2);
    }

    void server_aProfileMadeFromNothingRunsAndEveryRunIsOnRecord()
    {
        // A new server: no profile yet, a home that does not exist, nobody signed in to Google.
        QTemporaryDir server;
        QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
        environment.insert(u"XDG_CONFIG_HOME"_s, server.filePath(u"config"_s));
        const QString home = server.filePath(u"orvanta"_s);
        const auto orvanta = [&](const QString& line) {
            return runProgram(QStringLiteral(ORVANTA_EXECUTABLE),
                              QProcess::splitCommand(QString(line).replace(u"HOME"_s, home)), environment);
        };
        SitemapSite website(m_farm, 3, QDateTime::currentDateTimeUtc().addDays(-1));
        website.addPage(u"/noindex.html"_s, SiteFarm::Route::answering(
                                                200, "<html><head><meta name=\"robots\" content=\"noindex\">",
                                                "Content-Type: text/html\r\n"));
        m_farm.route(u"/indexnow"_s, SiteFarm::Behaviour::IndexNow);
        m_farm.route(u"/0123456789abcdef.txt"_s, SiteFarm::Route::answering(200, "0123456789abcdef"));
        const QString indexNow = u"IndexNow (Bing, Yandex, Seznam, Naver, Yep)"_s;
        QCOMPARE(orvanta(u"profile new --profile Site"_s).status, 0);
        QCOMPARE(orvanta(u"profile new --profile Later"_s).status, 0); // never run: status cannot say
        const Outcome lacking =
            orvanta(u"submit --profile Site --site \"%1\" --changed-pages"_s.arg(indexNow));
        QCOMPARE(lacking.status, 2);
        QVERIFY2(lacking.err.contains(
                     u"lacks values the chosen sites need: url (%1); indexnowkey (%1)."_s.arg(indexNow)),
                 qPrintable(lacking.err));
        // The address and the key are all IndexNow takes.
        QCOMPARE(orvanta(u"profile set --profile Site url=%1 indexnowkey=0123456789abcdef"_s.arg(
                             website.address()))
                     .status,
                 0);

        // A sitemap that cannot be read fails the run before it sends: the home is made, the
        // program's catalogue read, and the failure recorded with its reason.
        const Outcome unread =
            orvanta(u"submit --profile Site --site \"%1\" --changed-pages --sitemap %2 --home HOME"_s.arg(
                indexNow, m_farm.url(u"/missing.xml"_s)));
        QCOMPARE(unread.status, 1);
        QVERIFY2(unread.out.contains(u"\nThe home holds no catalogue: the sites are those of "_s),
                 qPrintable(unread.out));
        const Outcome failedRun = orvanta(u"history --home HOME"_s);
        QVERIFY2(failedRun.out.contains(
                     u"\"Site\", command line, changed pages: failed, nothing sent\n  The sitemap "_s +
                     m_farm.url(u"/missing.xml"_s)),
                 qPrintable(failedRun.out));
        QCOMPARE(orvanta(u"key check --profile Site --home HOME"_s).status, 0);
        const Outcome failing = orvanta(u"status --home HOME"_s);
        QCOMPARE(failing.status, 1); // a failure outweighs a profile without runs
        QVERIFY2(failing.out.contains(u"Profile \"Later\"\n  Website: none yet"_s), qPrintable(failing.out));
        QVERIFY2(failing.out.contains(u"\n  Last failed run: "_s) &&
                     failing.out.contains(u"changed pages, failed: nothing sent\n    The sitemap "_s),
                 qPrintable(failing.out));

        // With the home's own catalogue, by type: Search Console is left aside, said and recorded.
        QList<PromoSite> sites = TestData::bundledSites();
        sites.removeIf([](const PromoSite& site) { return site.sitetype != u"engine"_s; });
        for (PromoSite& site : sites) {
            if (site.sitename == indexNow)
                site.action = m_farm.url(u"/indexnow"_s);
        }
        TestData::writeCatalogue(home + u"/orvd.dll"_s, sites);
        const Outcome sent = orvanta(u"submit --profile Site --type engine --changed-pages --home HOME"_s);
        QVERIFY2(sent.status == 0, qPrintable(sent.out + sent.err));
        QVERIFY2(sent.out.contains(u"\nGoogle Search Console: not signed in to Google: skipped."_s),
                 qPrintable(sent.out));
        QVERIFY2(sent.out.contains(u"1 succeeded, 0 failed."_s), qPrintable(sent.out));
        const Outcome afterSending = orvanta(u"status --profile Site --home HOME"_s);
        QVERIFY2(
            afterSending.out.contains(u", changed pages, completed: 1 succeeded, 0 failed, 3 pages sent\n"_s),
            qPrintable(afterSending.out));
        // A cron mail: the line that says when and what, and the totals; nothing it said before.
        const Outcome nothing =
            orvanta(u"submit --profile Site --type engine --changed-pages --quiet --home HOME"_s);
        QCOMPARE(nothing.status, 0);
        static const QRegularExpression quiet(
            u"^20[0-9-]{8}T[0-9:]{8}Z Orvanta 2\\.001: orvanta submit --profile Site --type engine "
            u"--changed-pages "
            u"--quiet --home \\S+\n1 left out as before; orvanta coverage lists them.\nNothing to send.\n$"_s);
        QVERIFY2(quiet.match(nothing.out).hasMatch(), qPrintable(nothing.out));
        const Outcome runs = orvanta(u"history --home HOME --csv"_s);
        const QStringList rows = runs.out.split(u"\r\n"_s, Qt::SkipEmptyParts);
        QCOMPARE(rows.size(), 4);
        QVERIFY2(
            rows.at(1).contains(u",changed pages,nothing to send,,,nothing to send,,\"Google Search Console: "
                                u"not signed in to Google: skipped. 4 pages found"_s),
            qPrintable(runs.out));
        QVERIFY2(rows.at(2).contains(u",changed pages,completed,1,\"%1\",succeeded,"_s.arg(indexNow)),
                 qPrintable(runs.out));
        QVERIFY2(rows.at(3).contains(u",changed pages,failed,,,failed,,The sitemap"_s), qPrintable(runs.out));
        // The last run went well; the failure before it is still named.
        const Outcome working = orvanta(u"status --profile Site --home HOME"_s);
        QVERIFY2(working.status == 0, qPrintable(working.out + working.err));
        for (const QString& line :
             {u"Profile \"Site\"\n  Website: %1\n  Last run: "_s.arg(website.address()),
              u", changed pages, nothing to send: nothing sent\n"_s, u"\n  Last failed run: "_s,
              u"\n    %1: 3 accepted, 0 refused, 1 left out, 0 removed, 0 never announced\n"_s.arg(indexNow),
              u"\n  IndexNow key: served, checked 20"_s, u"\n  Google: not signed in\n"_s})
            QVERIFY2(working.out.contains(line), qPrintable(working.out));
        QCOMPARE(orvanta(u"status --profile Nobody --home HOME"_s).status, 2);
        QCOMPARE(orvanta(u"status --home HOME"_s).status, 2); // "Later" has no run to say of
    }

    void googleLogin_onAServerSaysHowToFinishAndGivesUp()
    {
        GoogleImitation google(m_farm);
        google.setEnvironment();
        TestData::writeFile(m_app->homeFile(u"client.json"_s), google.clientFile());
        QTcpServer free; // a port nobody holds, for the tunnel the user would open
        QVERIFY(free.listen(QHostAddress::LocalHost));
        const QString port = QString::number(free.serverPort());
        free.close();
        QProcessEnvironment environment = this->environment();
        environment.insert(u"ORVANTA_SECRET_STORE"_s, u"file"_s);
        const Outcome run =
            runProgram(QStringLiteral(ORVANTA_EXECUTABLE),
                       {u"google"_s, u"login"_s, u"--profile"_s, u"Shop"_s, u"--client"_s,
                        m_app->homeFile(u"client.json"_s), u"--port"_s, port, u"--timeout"_s, u"1"_s},
                       environment);
        QCOMPARE(run.status, 1);
        const QString tunnel = u"open a tunnel there first (ssh -L %1:127.0.0.1:%1 this server)"_s.arg(port);
        QVERIFY2(run.out.contains(tunnel) &&
                     run.out.contains(u"Waiting 1 second for Google's answer on 127.0.0.1:%1."_s.arg(port)),
                 qPrintable(run.out));
        QVERIFY2(run.err.contains(
                     u"Nobody finished signing in to Google in time. To sign in from another machine, "_s +
                     tunnel),
                 qPrintable(run.err));
        const Outcome refused =
            runProgram(QStringLiteral(ORVANTA_EXECUTABLE),
                       {u"google"_s, u"login"_s, u"--profile"_s, u"Shop"_s, u"--service-account"_s,
                        m_app->homeFile(u"client.json"_s), u"--port"_s, port},
                       environment);
        QCOMPARE(refused.status, 2);
        QVERIFY2(refused.err.startsWith(u"--port and --timeout go with google login --client."_s),
                 qPrintable(refused.err));
    }

    void changedPages_aSlowSiteIsCheckedWithinItsTimeAndTheRestFirstNextRun()
    {
        SitemapSite website(m_farm, 3, QDateTime::currentDateTimeUtc().addDays(-1));
        const QStringList slow{u"/slow-a.html"_s, u"/slow-b.html"_s, u"/slow-c.html"_s};
        for (const QString& path : slow)
            website.addPage(path, SiteFarm::Behaviour::Hang);
        m_farm.route(u"/indexnow"_s, SiteFarm::Behaviour::IndexNow);
        m_farm.route(u"/0123456789abcdef.txt"_s, SiteFarm::Route::answering(200, "0123456789abcdef"));
        QList<PromoSite> sites = TestData::bundledSites();
        sites.removeIf([](const PromoSite& site) { return !AnswerRule::isIndexNowEndpoint(site.action); });
        sites.first().action = m_farm.url(u"/indexnow"_s);
        TestData::writeCatalogue(m_app->homeFile(u"orvd.dll"_s), sites);
        QVERIFY(m_app->settings().setValue(u"2"_s, u"url"_s, website.address()));
        QVERIFY(m_app->settings().setValue(u"2"_s, SettingsKeys::profileIndexNowKey, u"0123456789abcdef"_s));
        const QStringList submit{u"submit"_s,          u"--profile"_s, u"Shop"_s,    u"--all"_s,
                                 u"--changed-pages"_s, u"--home"_s,    m_app->home()};

        // The check stops at its time: what it came to is sent, the rest put off (exit 3).
        const Outcome first =
            runProgram(QStringLiteral(ORVANTA_EXECUTABLE),
                       submit + QStringList{u"--check-time"_s, u"1"_s, u"--quiet"_s}, environment());
        QVERIFY2(first.status == ExitStatus::deferred, qPrintable(first.out + first.err));
        QVERIFY2(
            first.out.contains(u"\n3 pages not checked yet: the check's 1 second ran out; they are checked "
                               u"first next run.\n"_s) &&
                first.out.contains(u"1 succeeded, 0 failed."_s),
            qPrintable(first.out));

        // Next run: the pages put off are checked before a page checked before that changed again.
        for (const QString& path : slow)
            website.addPage(path, SiteFarm::Route::answering(200, "<html><head></head></html>",
                                                             "Content-Type: text/html\r\n"));
        website.change(1, QDateTime::currentDateTimeUtc());
        const qsizetype before = m_farm.requests().size();
        const Outcome second = runProgram(QStringLiteral(ORVANTA_EXECUTABLE),
                                          submit + QStringList{u"--cool-down"_s, u"0"_s}, environment());
        QVERIFY2(second.status == ExitStatus::success, qPrintable(second.out + second.err));
        QStringList fetched;
        for (qsizetype at = before; at < m_farm.requests().size(); ++at) {
            const QByteArray& request = m_farm.requests().at(at);
            if (request.startsWith("GET /slow-") || request.startsWith("GET /page-"))
                fetched << QString::fromLatin1(request.mid(4, request.indexOf(' ', 4) - 4));
        }
        QVERIFY2(fetched.size() == 4, qPrintable(fetched.join(u' ') + second.out));
        QCOMPARE(fetched.last(), QUrl(website.pageAddress(0)).path());
    }

    void csv_withNothingToShowIsTheHeaderAloneOnStdout()
    {
        const Outcome history =
            runProgram(QStringLiteral(ORVANTA_EXECUTABLE),
                       {u"history"_s, u"--csv"_s, u"--home"_s, m_app->home()}, environment());
        QCOMPARE(history.status, 0);
        QCOMPARE(history.out,
                 u"run,started,profile,front end,mode,state,position,site,outcome,status,detail,pages\r\n"_s);
        QCOMPARE(history.err, u"No runs recorded yet.\n"_s);
        const Outcome coverage =
            runProgram(QStringLiteral(ORVANTA_EXECUTABLE),
                       {u"coverage"_s, u"--profile"_s, u"Shop"_s, u"--csv"_s, u"--home"_s, m_app->home()},
                       environment());
        QCOMPARE(coverage.status, 2); // its address is "url value": no website to look up
        QVERIFY(m_app->settings().setValue(u"2"_s, u"url"_s, m_farm.url(u"/"_s)));
        const Outcome empty =
            runProgram(QStringLiteral(ORVANTA_EXECUTABLE),
                       {u"coverage"_s, u"--profile"_s, u"Shop"_s, u"--csv"_s, u"--home"_s, m_app->home()},
                       environment());
        QCOMPARE(empty.status, 0);
        QCOMPARE(empty.out, u"page,site,state,reason,last_accepted,google,content_changed\r\n"_s);
        QVERIFY2(empty.err.startsWith(u"No run has listed the pages of http://127.0.0.1:"_s),
                 qPrintable(empty.err));
    }

    // systemctl, crontab and systemd-analyze as stand-ins; PATH holds nothing else, so a row
    // without systemd-analyze reads the calendar without it.
    void schedule_setListRunAndRemove_data()
    {
        QTest::addColumn<QString>("scheduler");
        QTest::addColumn<bool>("analyzer");
        QTest::addColumn<QString>("nextRun");
        QTest::newRow("systemd user timer") << u"systemd"_s << true << u"2030-01-07T06:00:00Z"_s;
        QTest::newRow("crontab, calendar read by systemd-analyze")
            << u"crontab"_s << true << u"2030-01-07T06:00:00Z"_s;
        QTest::newRow("crontab alone") << u"crontab"_s << false << QString();
    }

    void schedule_setListRunAndRemove()
    {
        QFETCH(QString, scheduler);
        QFETCH(bool, analyzer);
        QFETCH(QString, nextRun);
        const ScheduleStandIns standIns(analyzer);
        const QString crontab = standIns.crontabFile();
        const QByteArray own =
            "MAILTO=me@example.com\n# nightly backup, 50% off\n0 3 * * * /usr/bin/backup --all\n";
        TestData::writeFile(crontab, own);
        m_farm.route(u"/ok"_s, SiteFarm::Route::answering(200, "ok"));
        SitemapSite website(m_farm, 2, QDateTime::currentDateTimeUtc().addDays(-1));
        QVERIFY(m_app->settings().setValue(u"2"_s, u"url"_s, website.address()));
        QProcessEnvironment environment = this->environment();
        environment.insert(u"PATH"_s, standIns.path());
        environment.insert(u"ORVANTA_SCHEDULER"_s, scheduler);
        const auto orvanta = [&](const QStringList& arguments) {
            return runProgram(QStringLiteral(ORVANTA_EXECUTABLE), arguments, environment);
        };

        const Outcome refused = orvanta({u"schedule"_s, u"set"_s, u"--profile"_s, u"Shop"_s, u"--all"_s,
                                         u"--at"_s, analyzer ? u"never"_s : u"*-*-01 06:00"_s});
        QCOMPARE(refused.status, 2);
        QVERIFY2(refused.err.contains(analyzer ? u"Failed to parse calendar 'never'"_s
                                               : u"Orvanta reads \"daily\", \"weekly\""_s),
                 qPrintable(refused.err));
        QCOMPARE(TestData::readFile(crontab), own);

        const QString units = m_app->configDirectory() + u"/systemd/user/"_s;
        if (scheduler == u"systemd"_s) { // a user manager that does not answer keeps nothing
            environment.insert(u"SYSTEMCTL_FAILS"_s, u"1"_s);
            const Outcome unanswered = orvanta(
                {u"schedule"_s, u"set"_s, u"--profile"_s, u"Shop"_s, u"--all"_s, u"--at"_s, u"daily"_s});
            QCOMPARE(unanswered.status, 1);
            QVERIFY2(unanswered.err.contains(u"Failed to connect to bus"_s), qPrintable(unanswered.err));
            QCOMPARE(QDir(units).entryList(QDir::Files), QStringList());
            environment.remove(u"SYSTEMCTL_FAILS"_s);
        }
        const Outcome set =
            orvanta({u"schedule"_s, u"set"_s, u"--profile"_s, u"Shop"_s, u"--site"_s, u"Delta"_s,
                     u"--changed-pages"_s, u"--at"_s, u"Mon 06:00"_s, u"--home"_s, m_app->home()});
        QVERIFY2(set.status == 0, qPrintable(set.err));
        const QString program = QStringLiteral(ORVANTA_EXECUTABLE);
        const QString arguments =
            u"submit --profile-slot 2 --site Delta --changed-pages --quiet --schedule-log --home "_s +
            m_app->home();
        if (scheduler == u"systemd"_s) {
            QCOMPARE(TestData::readFile(units + u"orvanta-2.service"_s),
                     (u"[Unit]\nDescription=Orvanta: the scheduled run of profile slot "
                      u"2\n\n[Service]\nType=oneshot\n"
                      u"ExecStart="_s +
                      program + u' ' + arguments + u"\nNice=10\nIOSchedulingClass=idle\n"_s)
                         .toUtf8());
            QCOMPARE(
                TestData::readFile(units + u"orvanta-2.timer"_s),
                "[Unit]\nDescription=Orvanta: when profile slot 2 runs\n\n[Timer]\nOnCalendar=Mon 06:00\n"
                "Persistent=true\nRandomizedDelaySec=5min\n\n[Install]\nWantedBy=timers.target\n");
            QVERIFY(set.out.contains(u"journalctl --user -u orvanta-2.service"_s));
            QCOMPARE(TestData::readFile(crontab), own);
        } else {
            QCOMPARE(TestData::readFile(crontab),
                     own + (u"# orvanta: begin\n# orvanta slot 2: Mon 06:00\n0 6 * * 1 "_s + program + u' ' +
                            arguments + u"\n# orvanta: end\n"_s)
                               .toUtf8());
            QVERIFY(!QFile::exists(units));
        }

        const Outcome ran = orvanta({u"schedule"_s, u"run"_s, u"--profile"_s, u"Shop"_s});
        QVERIFY2(ran.status == 0, qPrintable(ran.out + ran.err));
        const QString log = QString::fromUtf8(TestData::readFile(m_app->homeFile(u"schedule.log"_s)));
        QVERIFY2(log.contains(u"Z Orvanta 2.001: orvanta "_s + arguments + u'\n') &&
                     log.contains(u"1 succeeded"_s),
                 qPrintable(log));

        const Outcome listed = orvanta({u"schedule"_s, u"list"_s, u"--json"_s});
        QCOMPARE(listed.status, 0);
        const QJsonObject only = QJsonDocument::fromJson(listed.out.toUtf8())[u"schedules"_s][0].toObject();
        QCOMPARE(only[u"profile"_s].toString(), u"Shop"_s);
        QCOMPARE(only[u"sites"_s].toArray(), QJsonArray{u"Delta"_s});
        QCOMPARE(only[u"last_run"_s][u"state"_s].toString(), u"completed"_s);
        QCOMPARE(only[u"kept_in"_s].toString(), scheduler);
        if (!nextRun.isEmpty())
            QCOMPARE(only[u"next_run"_s].toString(), nextRun);
        else // read here: the next Monday at 06:00 in the machine's time
            QCOMPARE(QDateTime::fromString(only[u"next_run"_s].toString(), Qt::ISODate).toLocalTime().time(),
                     QTime(6, 0));
        const Outcome text = orvanta({u"schedule"_s, u"list"_s});
        QVERIFY2(
            text.out.contains(u"Profile \"Shop\" (slot 2): Delta, changed pages, at \"Mon 06:00\"\n"_s) &&
                text.out.contains(u"  Last run: "_s) && text.out.contains(u", completed: 1 succeeded"_s),
            qPrintable(text.out));

        QCOMPARE(orvanta({u"schedule"_s, u"remove"_s, u"--profile-slot"_s, u"2"_s}).status, 0);
        QCOMPARE(TestData::readFile(crontab), own);
        QVERIFY(!QFile::exists(units + u"orvanta-2.timer"_s) &&
                !QFile::exists(units + u"orvanta-2.service"_s));
        QCOMPARE(orvanta({u"schedule"_s, u"remove"_s, u"--profile"_s, u"Shop"_s}).status, 2);
        const QString called = standIns.calls();
        if (scheduler == u"systemd"_s)
            QVERIFY2(
                called.contains(
                    u"systemctl --user daemon-reload\nsystemctl --user enable --now orvanta-2.timer\n"_s) &&
                    called.contains(
                        u"systemctl --user disable --now orvanta-2.timer\nsystemctl --user daemon-reload\n"_s),
                qPrintable(called));
        else
            QVERIFY2(called.contains(u"crontab -\n"_s) && !called.contains(u"systemctl"_s),
                     qPrintable(called));
    }

    // What docs/json.md promises: the fields of each example, no more and no fewer, of the same types.
    static QString shapeDifference(const QJsonValue& documented, const QJsonValue& actual, const QString& at)
    {
        if (documented.isNull() || actual.isNull())
            return {}; // a value that may be none
        if (documented.type() != actual.type())
            return at + u": documented as another type"_s;
        if (documented.isArray()) {
            const QJsonArray entries = actual.toArray();
            for (qsizetype i = 0; i < entries.size() && !documented.toArray().isEmpty(); ++i) {
                if (const QString difference =
                        shapeDifference(documented.toArray().first(), entries.at(i), at + u"[]"_s);
                    !difference.isEmpty())
                    return difference;
            }
        } else if (documented.isObject() && !documented.toObject().isEmpty()) { // {}: counts by name
            const QJsonObject fields = actual.toObject();
            if (documented.toObject().keys() != fields.keys())
                return u"%1: fields %2, documented %3"_s.arg(at, fields.keys().join(u','),
                                                             documented.toObject().keys().join(u','));
            for (const QString& key : fields.keys()) {
                if (const QString difference = shapeDifference(documented[key], fields[key], at + u'.' + key);
                    !difference.isEmpty())
                    return difference;
            }
        }
        return {};
    }

    void jsonDocuments_matchTheirDocumentation()
    {
        // The examples: a command line ("$ orvanta ...") and the block under it.
        struct Example
        {
            QString command;
            QString text;
        };
        QList<Example> examples;
        bool inBlock = false;
        for (const QString& line :
             QString::fromUtf8(TestData::readFile(QStringLiteral(ORVANTA_SOURCE_DIR "/docs/json.md")))
                 .split(u'\n')) {
            if (line.startsWith(u"$ orvanta "_s))
                examples.append({line.mid(2), QString()});
            else if (line.startsWith(u"```json"_s))
                inBlock = true;
            else if (line.startsWith(u"```"_s))
                inBlock = false;
            else if (inBlock && !examples.isEmpty())
                examples.last().text += line + u'\n';
        }
        QVERIFY(examples.size() >= 9);

        // A website with a run behind it, its key served, signed in to Google's imitation, and a
        // schedule kept by a stand-in crontab.
        QTemporaryDir user;
        const QString home = user.filePath(u"orvanta"_s);
        QVERIFY(QDir().mkpath(home));
        GoogleImitation google(m_farm);
        google.setEnvironment();
        SitemapSite website(m_farm, 3, QDateTime::currentDateTimeUtc().addDays(-1));
        website.addPagesThatCannotBeIndexed();
        google.addProperty(website.address());
        farmCatalogue(home + u"/orvd.dll"_s);
        TestData::storeCompleteProfile(m_app->settings(), 7, u"My Shop"_s);
        ProfileStore store(m_app->settings());
        Profile shop = store.read(7);
        shop.value(ProfileField::Url) = website.address();
        shop.indexNowKey = u"0123456789abcdef"_s;
        shop.feed = website.address() + u"feed"_s;
        shop.googleProperty = website.address();
        shop.googleServiceAccount = user.filePath(u"service.json"_s);
        TestData::writeFile(shop.googleServiceAccount, google.serviceAccountFile());
        QVERIFY(store.save(7, shop));
        m_farm.route(u"/0123456789abcdef.txt"_s, SiteFarm::Route::answering(200, "0123456789abcdef"));
        const ScheduleStandIns standIns;
        QProcessEnvironment environment = this->environment();
        environment.insert(u"HOME"_s, user.path());
        environment.insert(u"PATH"_s, standIns.path() + u':' + environment.value(u"PATH"_s));
        environment.insert(u"ORVANTA_SCHEDULER"_s, u"crontab"_s);
        const auto orvanta = [&](const QStringList& arguments) {
            return runProgram(QStringLiteral(ORVANTA_EXECUTABLE), arguments, environment);
        };
        for (const QStringList& before :
             {QStringList{u"submit"_s, u"--profile"_s, u"My Shop"_s, u"--all"_s, u"--changed-pages"_s,
                          u"--home"_s, home},
              {u"key"_s, u"check"_s, u"--profile"_s, u"My Shop"_s, u"--home"_s, home},
              {u"schedule"_s, u"set"_s, u"--profile"_s, u"My Shop"_s, u"--all"_s, u"--changed-pages"_s,
               u"--at"_s, u"daily"_s, u"--home"_s, home}}) {
            const Outcome done = orvanta(before);
            QVERIFY2(done.status == 0 || done.status == 1, qPrintable(before.join(u' ') + done.err));
        }
        // Something for the documented run to send, and a page to announce as removed.
        website.change(1, QDateTime::currentDateTimeUtc());
        website.remove(u"/gone.html"_s, 410);

        for (const Example& example : std::as_const(examples)) {
            QStringList words;
            static const QRegularExpression word(u"\"([^\"]*)\"|(\\S+)"_s);
            for (auto it = word.globalMatch(example.command); it.hasNext();) {
                const QRegularExpressionMatch match = it.next();
                words << (match.captured(1).isNull() ? match.captured(2) : match.captured(1))
                             .replace(u"~/"_s, user.path() + u'/');
            }
            const Outcome run = orvanta(words.mid(1));
            QVERIFY2(run.status >= 0 && run.status <= 1, qPrintable(example.command + u'\n' + run.err));
            if (!example.command.contains(u"--jsonl"_s)) {
                QJsonParseError error;
                const QJsonDocument actual = QJsonDocument::fromJson(run.out.toUtf8(), &error);
                QVERIFY2(error.error == QJsonParseError::NoError,
                         qPrintable(example.command + u'\n' + run.out));
                const QString difference =
                    shapeDifference(QJsonDocument::fromJson(example.text.toUtf8()).object(), actual.object(),
                                    example.command);
                QVERIFY2(difference.isEmpty(), qPrintable(difference));
                continue;
            }
            // A line a run event; each that comes is documented, and the run's own come.
            QHash<QString, QJsonObject> documented;
            for (const QString& line : example.text.split(u'\n', Qt::SkipEmptyParts)) {
                const QJsonObject object = QJsonDocument::fromJson(line.toUtf8()).object();
                documented.insert(object[u"event"_s].toString(), object);
            }
            QSet<QString> seen;
            for (const QString& line : run.out.split(u'\n', Qt::SkipEmptyParts)) {
                QJsonParseError error;
                const QJsonObject object = QJsonDocument::fromJson(line.toUtf8(), &error).object();
                QVERIFY2(error.error == QJsonParseError::NoError, qPrintable(line));
                const QString event = object[u"event"_s].toString();
                QVERIFY2(documented.contains(event), qPrintable(event));
                const QString difference = shapeDifference(documented.value(event), object, event);
                QVERIFY2(difference.isEmpty(), qPrintable(difference));
                seen.insert(event);
            }
            QVERIFY(seen.contains(u"run"_s) && seen.contains(u"left-out"_s) && seen.contains(u"removed"_s) &&
                    seen.contains(u"request"_s));
            QVERIFY(run.out.trimmed().endsWith(u'}') &&
                    run.out.split(u'\n', Qt::SkipEmptyParts).last().contains(u"\"summary\""_s));
        }
    }

    void documentedExamples_runAsWritten()
    {
        // Every command line the README's code blocks and the manual pages' examples show, but for
        // the synopses (TITLE, NAME ...), what builds or installs Orvanta, and the window.
        QStringList examples;
        const auto take = [&examples](QString line) {
            line = line.section(u"  #"_s, 0, 0).trimmed().replace(u"\\-"_s, u"-"_s);
            static const QRegularExpression cron(u"^([0-9*/,-]+\\s+){5}"_s);
            line.remove(cron);
            const QString program = line.section(u' ', 0, 0);
            if ((program == u"orvanta"_s || program == u"orvanta-catalogue"_s ||
                 program.endsWith(u"/orvanta"_s)) &&
                !line.contains(u"TITLE"_s) && !line.contains(u"[--"_s) && line.contains(u' '))
                examples << line;
        };
        bool inBlock = false;
        for (const QString& line :
             QString::fromUtf8(TestData::readFile(QStringLiteral(ORVANTA_SOURCE_DIR "/README.md")))
                 .split(u'\n')) {
            if (line.startsWith(u"```"_s))
                inBlock = !inBlock;
            else if (inBlock)
                take(line);
        }
        for (const QString& manual : {u"orvanta-catalogue"_s, u"orvanta"_s}) {
            inBlock = false;
            for (const QString& line :
                 QString::fromUtf8(TestData::readFile(QStringLiteral(ORVANTA_SOURCE_DIR "/packaging/man/") +
                                                      manual + u".h2m"_s))
                     .split(u'\n')) {
                if (line == u".nf"_s || line == u".fi"_s)
                    inBlock = line == u".nf"_s;
                else if (inBlock)
                    take(line);
            }
        }
        QVERIFY(examples.size() >= 8);

        // A user's machine: a home directory, the catalogue's source at hand, a profile "My Shop"
        // for a website of the farm. Nothing leaves this machine: the home Orvanta's examples name
        // holds the bundled sites pointed at the farm's imitations of them.
        QTemporaryDir user;
        QVERIFY(QDir(user.path()).mkpath(u"orvanta"_s) && QDir(user.path()).mkpath(u"work/data"_s));
        const QString work = user.filePath(u"work"_s);
        for (const QString& copy : {u"work/sites.csv"_s, u"work/data/catalogue.csv"_s})
            QVERIFY(
                QFile::copy(QStringLiteral(ORVANTA_SOURCE_DIR "/data/catalogue.csv"), user.filePath(copy)));
        SitemapSite website(m_farm, 3, QDateTime::currentDateTimeUtc().addDays(-1));
        TestData::storeCompleteProfile(m_app->settings(), 7, u"My Shop"_s);
        QVERIFY(m_app->settings().setValue(u"7"_s, u"url"_s, website.address()));
        QVERIFY(m_app->settings().setValue(u"7"_s, SettingsKeys::profileIndexNowKey, u"0123456789abcdef"_s));
        QVERIFY(m_app->settings().setValue(u"7"_s, SettingsKeys::profileFeed, website.address() + u"feed"_s));
        m_farm.route(u"/0123456789abcdef.txt"_s, SiteFarm::Route::answering(200, "0123456789abcdef"));
        QProcessEnvironment environment = this->environment();
        environment.insert(u"HOME"_s, user.path());
        // The catalogue tool's examples first: they make the catalogue the others may name.
        std::stable_partition(examples.begin(), examples.end(),
                              [](const QString& line) { return line.startsWith(u"orvanta-catalogue"_s); });
        for (const QString& example : std::as_const(examples)) {
            QStringList words;
            static const QRegularExpression word(u"\"([^\"]*)\"|(\\S+)"_s);
            for (auto it = word.globalMatch(example); it.hasNext();) {
                const QRegularExpressionMatch match = it.next();
                QString text = match.captured(1).isNull() ? match.captured(2) : match.captured(1);
                if (text.startsWith(u'>') || text == u"2>&1"_s)
                    break; // where the output goes is the shell's business
                text.replace(u"$HOME"_s, user.path());
                if (text.startsWith(u"~/"_s))
                    text = user.filePath(text.mid(2));
                words << text;
            }
            const QString program = words.takeFirst();
            if (program != u"orvanta-catalogue"_s && !words.contains(u"submit"_s))
                continue; // the window needs a display
            // Once the catalogue tool's examples made theirs, the home's sites are the farm's.
            if (program != u"orvanta-catalogue"_s && !QFile::exists(user.filePath(u"orvanta/farm"_s))) {
                farmCatalogue(user.filePath(u"orvanta/orvd.dll"_s));
                TestData::writeFile(user.filePath(u"orvanta/farm"_s), "");
            }
            // Without a home, the program's own catalogue names the real services: only shown.
            if (words.contains(u"submit"_s) && !words.contains(u"--home"_s))
                words << u"--dry-run"_s;
            const Outcome run =
                runProgram(program == u"orvanta-catalogue"_s ? QStringLiteral(CATALOGUE_EXECUTABLE)
                                                             : QStringLiteral(ORVANTA_EXECUTABLE),
                           words, environment, work);
            QVERIFY2(run.status == 0, qPrintable(example + u"\n"_s + run.out.left(2000) + run.err));
        }
        // The morning after, in the examples' home: it worked.
        const Outcome status =
            runProgram(QStringLiteral(ORVANTA_EXECUTABLE),
                       {u"status"_s, u"--profile"_s, u"My Shop"_s, u"--home"_s, user.filePath(u"orvanta"_s)},
                       environment, work);
        QVERIFY2(status.status == 0 && status.out.contains(u"\n  Last failed run: none\n"_s),
                 qPrintable(status.out));
    }
};

QTEST_MAIN(TestCommandLine)
#include "tst_commandline.moc"
