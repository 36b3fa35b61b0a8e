#include "AppFixture.h"
#include "CatalogueFixture.h"
#include "Dispatcher.h"
#include "HeadlessSubmission.h"
#include "MainWindow.h"
#include "ProfileFixture.h"
#include "ProfileStore.h"
#include "RecordingDesktopOpener.h"
#include "RequestPreview.h"
#include "ScriptedDialogs.h"
#include "SettingsStore.h"
#include "SiteDatabase.h"
#include "SiteFarm.h"
#include "SocketSlot.h"
#include "SubmissionRun.h"
#include "TempSettings.h"

#include <QCheckBox>
#include <QComboBox>
#include <QFile>
#include <QListView>
#include <QProcess>
#include <QPushButton>
#include <QTemporaryDir>
#include <QTest>
#include <QTextStream>
#include <QTimer>
#include <QToolButton>

#include <memory>

using namespace Qt::StringLiterals;

namespace {
const QDateTime fixedMoment(QDate(2026, 12, 6), QTime(9, 30, 0));
}

class TestHeadless : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void init();
    void cleanup();

    void headlessLog_isTheWindowedLog();
    void allSucceeded_exitsZero();
    void dryRun_printsThePreviewAndSendsNothing();
    void usageErrors_exitTwoWithTheirMessage_data();
    void usageErrors_exitTwoWithTheirMessage();
    void helpAndVersion_workWithoutADisplay();

private:
    struct Outcome
    {
        int status = -1;
        QString out;
        QString err;
    };
    Outcome runHeadless(HeadlessSubmission::Options options);
    QByteArray windowedLog(const QStringList& siteOrder);
    QProcessEnvironment environment() const;
    QList<PromoSite> sites() const;

    SiteFarm m_farm;
    std::unique_ptr<AppFixture> m_app;
};

void TestHeadless::initTestCase()
{
    QVERIFY(m_farm.listen());
    m_farm.route(u"/404"_s, SiteFarm::Behaviour::NotFound);
    // Answers that end in a known order: at once, after 0.4 s, after 0.8 s.
    m_farm.route(u"/slow"_s, SiteFarm::Route(SiteFarm::Behaviour::Trickle, {}, 4, 100));
    m_farm.route(u"/slower"_s, SiteFarm::Route(SiteFarm::Behaviour::Trickle, {}, 8, 100));
}

QList<PromoSite> TestHeadless::sites() const
{
    return {PromoSite{u"Alpha"_s, u"engine"_s, u"u=[url]&c=[company]"_s, u"get"_s, m_farm.url(u"/404"_s),
                      QString()},
            PromoSite{u"Beta"_s, u"engine"_s, u"u=[url]"_s, u"post"_s, m_farm.url(u"/slow"_s), QString()},
            PromoSite{u"Gamma"_s, u"list"_s, u"t=[title]"_s, u"get"_s, m_farm.url(u"/slower"_s), QString()},
            PromoSite{u"Delta"_s, u"list"_s, u"t=[title]"_s, u"get"_s, m_farm.url(u"/ok"_s), QString()}};
}

void TestHeadless::init()
{
    m_app = std::make_unique<AppFixture>();
    ProfileFixture::storeComplete(m_app->settings(), 2, u"Shop"_s);
    ProfileFixture::storeComplete(m_app->settings(), 3, u"Blog"_s);
    CatalogueFixture::write(m_app->homeFile(u"orvd.dll"_s), sites());
}

void TestHeadless::cleanup()
{
    m_app.reset();
}

TestHeadless::Outcome TestHeadless::runHeadless(HeadlessSubmission::Options options)
{
    options.catalogueFile = m_app->homeFile(u"orvd.dll"_s);
    options.logFile = m_app->homeFile(u"sublog.htm"_s);
    options.transferDeadline = std::chrono::milliseconds(1500);
    options.clock = [] { return fixedMoment; };
    Outcome outcome;
    QTextStream out(&outcome.out);
    QTextStream err(&outcome.err);
    outcome.status = HeadlessSubmission::run(options, m_app->settings(), out, err);
    out.flush();
    err.flush();
    return outcome;
}

QByteArray TestHeadless::windowedLog(const QStringList& siteOrder)
{
    MainWindow& window =
        m_app->openWindow(sites(), std::chrono::milliseconds(1500), [] { return fixedMoment; });
    auto* chooser = window.findChild<QComboBox*>(u"Combo4"_s);
    chooser->setCurrentIndex(0); // "Shop", picked as the user would
    emit chooser->activated(0);
    window.findChild<QToolButton*>(u"Bsubmission"_s)->click();
    auto* list1 = window.findChild<QListView*>(u"List1"_s);
    for (const QString& site : siteOrder) {
        list1->selectionModel()->clearSelection();
        for (int row = 0; row < list1->model()->rowCount(); ++row) {
            if (list1->model()->index(row, 0).data().toString() == site)
                list1->selectionModel()->select(list1->model()->index(row, 0), QItemSelectionModel::Select);
        }
        window.findChild<QPushButton*>(u"Command11"_s)->click();
    }
    m_app->dialogs().queueYesNo(true);
    window.findChild<QPushButton*>(u"Command15"_s)->click();
    if (m_app->runToEnd() < 0)
        return QByteArray("<the windowed run did not end>");
    return m_app->readHomeFile(u"sublog.htm"_s);
}

void TestHeadless::headlessLog_isTheWindowedLog()
{
    HeadlessSubmission::Options options;
    options.profileTitle = u"Shop"_s;
    options.selection = HeadlessSubmission::Selection::Sites;
    options.sites = {u"Gamma"_s, u"Alpha"_s, u"Beta"_s};
    const Outcome headless = runHeadless(options);
    QCOMPARE(headless.status, HeadlessSubmission::someFailed);
    QCOMPARE(headless.out, u"FAILED  Alpha: HTTP 404 Not Found\nOK      Beta\nOK      Gamma\nRun log: "_s +
                               m_app->homeFile(u"sublog.htm"_s) + u'\n');
    const QByteArray headlessLog = m_app->readHomeFile(u"sublog.htm"_s);
    QVERIFY(headlessLog.endsWith("</body></html>"));

    QCOMPARE(windowedLog(options.sites), headlessLog);
}

void TestHeadless::allSucceeded_exitsZero()
{
    HeadlessSubmission::Options options;
    options.profileTitle = u"Blog"_s;
    options.selection = HeadlessSubmission::Selection::Type;
    options.type = u"list"_s;
    const Outcome outcome = runHeadless(options);
    QCOMPARE(outcome.status, HeadlessSubmission::allSucceeded);
    QVERIFY(outcome.out.startsWith(u"OK      Delta\nOK      Gamma\n"_s));
    QVERIFY(outcome.err.isEmpty());
}

void TestHeadless::dryRun_printsThePreviewAndSendsNothing()
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

QProcessEnvironment TestHeadless::environment() const
{
    QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
    environment.insert(u"XDG_CONFIG_HOME"_s, m_app->configDirectory());
    environment.remove(u"DISPLAY"_s);
    environment.remove(u"QT_QPA_PLATFORM"_s);
    return environment;
}

void TestHeadless::usageErrors_exitTwoWithTheirMessage_data()
{
    QTest::addColumn<QStringList>("arguments");
    QTest::addColumn<QString>("message");
    QTest::newRow("unknown profile")
        << QStringList{u"--profile"_s, u"Nope"_s, u"--all"_s}
        << u"Unknown profile \"Nope\". Known profiles: \"Shop\", \"Blog\", \"Bare\"."_s;
    QTest::newRow("unknown site") << QStringList{u"--profile"_s, u"Shop"_s,   u"--site"_s,
                                                 u"Beta"_s,      u"--site"_s, u"Omega"_s}
                                  << u"Unknown site \"Omega\""_s;
    QTest::newRow("unknown type") << QStringList{u"--profile"_s, u"Shop"_s, u"--type"_s, u"blog"_s}
                                  << u"Unknown site type \"blog\""_s;
    QTest::newRow("incomplete profile") << QStringList{u"--profile"_s, u"Bare"_s, u"--all"_s}
                                        << u"The profile \"Bare\" is incomplete; these fields are empty: "_s;
    QTest::newRow("no profile") << QStringList{u"--all"_s}
                                << u"Name the profile to submit with --profile TITLE."_s;
    QTest::newRow("two selections") << QStringList{u"--profile"_s, u"Shop"_s, u"--all"_s, u"--type"_s,
                                                   u"list"_s}
                                    << u"Choose the sites with exactly one of"_s;
    QTest::newRow("no selection") << QStringList{u"--profile"_s, u"Shop"_s}
                                  << u"Choose the sites with exactly one of"_s;
}

void TestHeadless::usageErrors_exitTwoWithTheirMessage()
{
    QFETCH(QStringList, arguments);
    QFETCH(QString, message);
    ProfileStore(m_app->settings()).create(5, u"Bare"_s);
    const qsizetype requestsBefore = m_farm.requests().size();
    QProcess orvanta;
    orvanta.setProcessEnvironment(environment());
    orvanta.start(QStringLiteral(ORVANTA_EXECUTABLE),
                  QStringList{u"submit"_s, u"--home"_s, m_app->home()} + arguments);
    QVERIFY(orvanta.waitForFinished(20000));
    const QString err = QString::fromUtf8(orvanta.readAllStandardError());
    QCOMPARE(orvanta.exitCode(), HeadlessSubmission::badUsage);
    QVERIFY2(err.contains(message), qPrintable(err));
    QCOMPARE(m_farm.requests().size(), requestsBefore); // refused before anything was sent
}

void TestHeadless::helpAndVersion_workWithoutADisplay()
{
    for (const QString& option : {u"--version"_s, u"--help"_s}) {
        QProcess orvanta;
        orvanta.setProcessEnvironment(environment());
        orvanta.start(QStringLiteral(ORVANTA_EXECUTABLE), {option});
        QVERIFY(orvanta.waitForFinished(20000));
        QCOMPARE(orvanta.exitCode(), 0);
        const QString out = QString::fromUtf8(orvanta.readAllStandardOutput());
        QVERIFY2(
            out.contains(option == u"--version"_s ? u"Orvanta 2.001"_s : u"orvanta submit --profile TITLE"_s),
            qPrintable(out));
    }
}

QTEST_MAIN(TestHeadless)
#include "tst_headless.moc"
