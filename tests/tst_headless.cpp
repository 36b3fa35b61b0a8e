#include "AppFixture.h"
#include "HeadlessSubmission.h"
#include "ProfileStore.h"
#include "SiteFarm.h"

#include <QBuffer>
#include <QCheckBox>
#include <QComboBox>
#include <QDir>
#include <QListView>
#include <QProcess>
#include <QTest>

using namespace Qt::StringLiterals;

class TestHeadless : public QObject
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

    Outcome runHeadless(HeadlessSubmission::Options options)
    {
        options.catalogueFile = m_app->homeFile(u"orvd.dll"_s);
        options.logFile = m_app->homeFile(u"sublog.htm"_s);
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
        QCOMPARE(headless.status, HeadlessSubmission::someFailed);
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
        QCOMPARE(lists.status, HeadlessSubmission::allSucceeded);
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
        QTest::newRow("help") << QStringList{u"--help"_s} << 0 << u"orvanta submit --profile TITLE"_s;
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
            << u"The profile \"Bare\" is incomplete; these fields are empty: name,"_s;
        QTest::newRow("unknown site")
            << QStringList{u"submit"_s, u"--profile"_s, u"Shop"_s, u"--site"_s, u"Omega"_s} << 2
            << u"Unknown site \"Omega\""_s;
        QTest::newRow("unknown type")
            << QStringList{u"submit"_s, u"--profile"_s, u"Shop"_s, u"--type"_s, u"blog"_s} << 2
            << u"Unknown site type \"blog\""_s;
        QTest::newRow("settings file is a directory")
            << QStringList{u"submit"_s, u"--profile"_s, u"Shop"_s, u"--all"_s, u"BROKEN-SETTINGS"_s} << 2
            << u"/orv/orv.conf\" is a directory."_s;
    }

    void commandLine_exitStatusesWithoutADisplay()
    {
        QFETCH(QStringList, arguments);
        QFETCH(int, status);
        QFETCH(QString, output);
        QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
        environment.insert(u"XDG_CONFIG_HOME"_s, m_app->configDirectory());
        environment.remove(u"DISPLAY"_s);
        environment.remove(u"WAYLAND_DISPLAY"_s);
        environment.remove(u"QT_QPA_PLATFORM"_s);
        QTemporaryDir broken;
        if (arguments.removeAll(u"BROKEN-SETTINGS"_s) > 0) {
            QVERIFY(QDir().mkpath(broken.filePath(u"orv/orv.conf"_s)));
            environment.insert(u"XDG_CONFIG_HOME"_s, broken.path());
        }
        if (!arguments.contains(u"--home"_s))
            arguments << u"--home"_s << u"HOME"_s;
        arguments.replaceInStrings(u"HOME"_s, m_app->home());
        QProcess orvanta;
        orvanta.setProcessEnvironment(environment);
        orvanta.start(QStringLiteral(ORVANTA_EXECUTABLE), arguments);
        QTRY_VERIFY_WITH_TIMEOUT(orvanta.state() == QProcess::NotRunning,
                                 30000); // the farm answers meanwhile
        QCOMPARE(orvanta.exitStatus(), QProcess::NormalExit);
        const QString printed =
            QString::fromUtf8(orvanta.readAllStandardOutput() + orvanta.readAllStandardError());
        QVERIFY2(orvanta.exitCode() == status, qPrintable(printed));
        QVERIFY2(printed.contains(output), qPrintable(printed));
    }
};

QTEST_MAIN(TestHeadless)
#include "tst_headless.moc"
