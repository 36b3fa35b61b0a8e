#include "AppFixture.h"
#include "Dispatcher.h"
#include "MainWindow.h"
#include "ProfileFixture.h"
#include "RecordingDesktopOpener.h"
#include "ScriptedDialogs.h"
#include "SettingsStore.h"
#include "SiteDatabase.h"
#include "SiteFarm.h"
#include "SocketSlot.h"
#include "StatusLamp.h"
#include "SubmissionRun.h"
#include "TempSettings.h"

#include <QAction>
#include <QCheckBox>
#include <QElapsedTimer>
#include <QFile>
#include <QLabel>
#include <QLineEdit>
#include <QListView>
#include <QMenu>
#include <QPushButton>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>
#include <QToolButton>

#include <memory>

using namespace Qt::StringLiterals;
using namespace std::chrono_literals;

namespace {
const QDateTime fixedMoment(QDate(2026, 3, 7), QTime(14, 5, 9));
}

class TestSubmissionRun : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void init();
    void cleanup();

    void runOfThree_usesThreeSlotsAndCompletes();
    void runOfTwelve_showsTheLeftCountEachTick();
    void everyMisbehaviour_endsInOneRowAndOneCount();
    void wholeLog_isWrittenInTheOrderTransfersEnd();
    void requests_carryTheComposedBytes();
    void stopAnsweredYes_cancelsEverything();
    void stopAnsweredNo_goesOn();
    void tickDueWhileAsking_isHeldBack();
    void emptySelection_isRefused();
    void progress_isFullWhenTheRunEnds();

private:
    struct Site
    {
        QString name;
        QString path;
        QString method = u"GET"_s;
        QString data = u"u=[url]&n=[name]"_s;
    };

    void openWindow(const QList<Site>& sites);
    void selectAll();
    void submit() { get<QPushButton>(u"Command15"_s)->click(); }
    void tick() { m_app->window().dispatcher().Timer1_Timer(); }
    bool settle() { return m_app->settle(); }
    int runToEnd() { return m_app->runToEnd(); }

    SubmissionRun& run() { return m_app->window().run(); }
    SocketSlot& slot(int k) { return *run().socketSlots()[size_t(k - 1)]; }
    template <typename T> T* get(const QString& name) const { return m_app->get<T>(name); }
    QString text(const QString& label) const { return m_app->labelText(label); }
    int listCount(const QString& list) const { return int(m_app->listEntries(list).size()); }
    QString logPath() const { return m_app->homeFile(u"sublog.htm"_s); }
    QByteArray logBytes() const { return m_app->readHomeFile(u"sublog.htm"_s); }
    bool navigationLocked() const;

    SiteFarm m_farm;
    std::unique_ptr<AppFixture> m_app;
};

void TestSubmissionRun::initTestCase()
{
    QVERIFY(m_farm.listen());
    m_farm.route(u"/404"_s, SiteFarm::Behaviour::NotFound);
    m_farm.route(u"/500"_s, SiteFarm::Behaviour::ServerError);
    m_farm.route(u"/redirect"_s, SiteFarm::Route(SiteFarm::Behaviour::Redirect, "/ok"));
    m_farm.route(u"/loop"_s, SiteFarm::Behaviour::RedirectLoop);
    m_farm.route(u"/hang"_s, SiteFarm::Behaviour::Hang);
    m_farm.route(u"/trickle"_s, SiteFarm::Route(SiteFarm::Behaviour::Trickle, {}, 100, 200));
    m_farm.route(u"/slow-ok"_s, SiteFarm::Route(SiteFarm::Behaviour::Trickle, {}, 4, 100));
    m_farm.route(u"/reset"_s, SiteFarm::Behaviour::ResetMidBody);
    m_farm.route(u"/malformed"_s, SiteFarm::Behaviour::MalformedStatus);
}

void TestSubmissionRun::init()
{
    m_app = std::make_unique<AppFixture>();
    ProfileFixture::storeComplete(m_app->settings(), 1, u"R&D <Shop>"_s);
}

void TestSubmissionRun::cleanup()
{
    m_app.reset();
}

void TestSubmissionRun::openWindow(const QList<Site>& sites)
{
    QList<PromoSite> rows;
    for (const Site& site : sites) {
        const QString action = site.path.contains(u"://"_s) ? site.path : m_farm.url(site.path);
        rows << PromoSite{site.name, u"engine"_s, site.data, site.method, action, QString()};
    }
    m_app->openWindow(rows, 1500ms, [] { return fixedMoment; });
}

void TestSubmissionRun::selectAll()
{
    get<QToolButton>(u"Bsubmission"_s)->click();
    get<QCheckBox>(u"Check4"_s)->setChecked(true);
}

bool TestSubmissionRun::navigationLocked() const
{
    bool anyEnabled = false;
    for (const QString& name : {u"Bprofile"_s, u"Bsubmission"_s, u"Bmeta"_s, u"Bsearch"_s, u"Babout"_s})
        anyEnabled = anyEnabled || get<QToolButton>(name)->isEnabled();
    for (const QMenu* menu : m_app->window().findChildren<QMenu*>(u"about"_s))
        anyEnabled = anyEnabled || menu->menuAction()->isEnabled();
    return !anyEnabled;
}

void TestSubmissionRun::runOfThree_usesThreeSlotsAndCompletes()
{
    openWindow({{u"Alpha"_s, u"/ok"_s}, {u"Beta"_s, u"/ok"_s}, {u"Gamma"_s, u"/ok"_s}});
    selectAll();
    submit();
    QVERIFY(get<QWidget>(u"statsform"_s)->isVisible());
    QVERIFY(!get<QWidget>(u"subform"_s)->isVisible());
    QVERIFY(navigationLocked());
    QVERIFY(run().timer()->isActive());
    QCOMPARE(text(u"Label49"_s), u"Total Engines Selected: 3"_s);
    QCOMPARE(text(u"Label50"_s), u"Total Engines Left: 3"_s);
    QCOMPARE(get<QLineEdit>(u"profileinfo"_s)->text(), u"R&D <Shop>"_s);
    QCOMPARE(get<QLineEdit>(u"addy"_s)->text(), u"url value"_s);
    QVERIFY(QFile::exists(logPath()));

    tick();
    QCOMPARE(text(u"Label21"_s), u"Alpha"_s);
    QCOMPARE(text(u"Label23"_s), u"Gamma"_s);
    QCOMPARE(get<QLineEdit>(u"sockdata2"_s)->text(), u"Working"_s);
    QCOMPARE(get<StatusLamp>(u"sockstat3"_s)->color(), QColor(0, 255, 0));
    QCOMPARE(text(u"Label24"_s), u"Socket 4"_s);
    QCOMPARE(get<QLineEdit>(u"sockdata5"_s)->text(), u"Listening"_s);
    QCOMPARE(listCount(u"List2"_s), 0);

    QVERIFY(settle());
    QCOMPARE(get<QLineEdit>(u"sockdata1"_s)->text(), u"Submission Successful"_s);
    QCOMPARE(get<StatusLamp>(u"sockstat1"_s)->color(), QColor(255, 0, 0));
    QCOMPARE(run().goodCount(), 3);

    m_app->dialogs().queueYesNo(false);
    tick();
    QVERIFY(!run().timer()->isActive());
    const ScriptedDialogs::Shown& summary = m_app->dialogs().shown().last();
    QCOMPARE(summary.title, u"Submission Completed"_s);
    QCOMPARE(summary.text,
             u"The submission is completed.\r\nFailed Submissions: 0\r\nSuccessful submissions: 3\r\n"
             u"Would you like to view the log information? "_s);
    QCOMPARE(run().goodCount(), 0);
    QVERIFY(!navigationLocked());
    QVERIFY(get<QWidget>(u"subform"_s)->isVisible());
    QCOMPARE(text(u"Label21"_s), u"Socket 1"_s);
    QCOMPARE(get<QLineEdit>(u"sockdata1"_s)->text(), u"Listening"_s);
    QVERIFY(!QFile::exists(logPath())); // declined: deleted
    QVERIFY(m_app->desktop().opened.isEmpty());
    QVERIFY(!get<QCheckBox>(u"Check2"_s)->isChecked());
}

void TestSubmissionRun::runOfTwelve_showsTheLeftCountEachTick()
{
    QList<Site> sites;
    for (int i = 0; i < 12; ++i)
        sites.append({u"Site %1"_s.arg(i, 2, 10, QChar(u'0')), u"/ok"_s});
    openWindow(sites);
    selectAll();
    submit();
    tick();
    QCOMPARE(text(u"Label50"_s), u"Total Engines Left: 12"_s);
    QCOMPARE(listCount(u"List2"_s), 7);
    QVERIFY(settle());
    tick();
    QCOMPARE(text(u"Label50"_s), u"Total Engines Left: 7"_s);
    QCOMPARE(text(u"Label21"_s), u"Site 05"_s);
    m_app->dialogs().queueYesNo(true);
    QVERIFY(runToEnd() > 0);
    QCOMPARE(m_app->desktop().opened, QList<QUrl>{QUrl::fromLocalFile(logPath())});
    QCOMPARE(logBytes().count("Submission Successful"), 12);
}

void TestSubmissionRun::everyMisbehaviour_endsInOneRowAndOneCount()
{
    const QList<Site> sites = {
        {u"a ok"_s, u"/ok"_s},
        {u"b redirect"_s, u"/redirect"_s},
        {u"c 404"_s, u"/404"_s},
        {u"d 500"_s, u"/500"_s},
        {u"e loop"_s, u"/loop"_s},
        {u"f hang"_s, u"/hang"_s},
        {u"g trickle"_s, u"/trickle"_s},
        {u"h reset"_s, u"/reset"_s},
        {u"i malformed"_s, u"/malformed"_s},
        {u"j refused"_s, SiteFarm::refusedUrl()},
        {u"k ftp"_s, u"ftp://127.0.0.1/add"_s},
        {u"l no host"_s, u"http:///add"_s},
    };
    openWindow(sites);
    selectAll();
    submit();
    m_app->dialogs().queueYesNo(true);
    QVERIFY(runToEnd() > 0);

    const QByteArray log = logBytes();
    QVERIFY(log.endsWith("</body></html>"));
    for (const Site& site : sites)
        QCOMPARE(log.count(QByteArray("<tr><td>" + site.name.toUtf8() + "</td>")), 1);
    QCOMPARE(log.count("Submission Successful"), 2);
    QCOMPARE(log.count("Connection Error: "), 10);
    QVERIFY(log.contains("<tr><td>c 404</td><td>Connection Error: HTTP 404 Not Found</td></tr>"));
    QVERIFY(log.contains(
        "<tr><td>f hang</td><td>Connection Error: No complete response within 1.5 seconds</td></tr>"));
    const QString summary = m_app->dialogs().shown().last().text;
    QVERIFY2(summary.contains(u"Failed Submissions: 10\r\nSuccessful submissions: 2\r\n"_s),
             qPrintable(summary));
}

void TestSubmissionRun::wholeLog_isWrittenInTheOrderTransfersEnd()
{
    // The second site answers later, so its row comes second.
    openWindow({{u"Alpha & Co"_s, u"/404"_s}, {u"Beta"_s, u"/slow-ok"_s}});
    selectAll();
    submit();
    m_app->dialogs().queueYesNo(true);
    QVERIFY(runToEnd() > 0);

    const QByteArray expected =
        SubmissionLog::headerText({2, u"R&D <Shop>"_s, u"wtitle value"_s, u"url value"_s}, fixedMoment) +
        SubmissionLog::failureRow(u"Alpha & Co"_s, u"HTTP 404 Not Found"_s) +
        SubmissionLog::successRow(u"Beta"_s) + SubmissionLog::footerText();
    QCOMPARE(logBytes(), expected);
}

void TestSubmissionRun::requests_carryTheComposedBytes()
{
    openWindow({{u"Poster"_s, u"/post-here"_s, u"PoSt"_s, u"company=[company]&name=[name]&fixed=a b"_s},
                {u"Getter"_s, u"/get-here?x=1"_s, u"get"_s, u"keywords=[keywords]"_s}});
    get<QLineEdit>(u"txtcompany"_s)->setText(u"R&D Ltd"_s); // the page's text, saved or not
    const qsizetype before = m_farm.requests().size();
    selectAll();
    submit();
    tick();
    QVERIFY(settle());
    QCOMPARE(m_farm.requests().size(), before + 2);
    QByteArray post;
    QByteArray get;
    for (qsizetype i = before; i < m_farm.requests().size(); ++i)
        (m_farm.requests().at(i).startsWith("POST") ? post : get) = m_farm.requests().at(i);
    QVERIFY2(post.startsWith("POST /post-here HTTP/1.1\r\n"), post.constData());
    QVERIFY(post.contains("\r\nContent-Type: application/x-www-form-urlencoded\r\n"));
    QVERIFY2(post.endsWith("\r\n\r\ncompany=R%26D+Ltd&name=name+value&fixed=a b"), post.constData());
    QVERIFY2(get.startsWith("GET /get-here?x=1?keywords=keywords+value HTTP/1.1\r\n"), get.constData());
    QVERIFY(get.contains("\r\nContent-Type: application/x-www-form-urlencoded\r\n"));
}

void TestSubmissionRun::stopAnsweredYes_cancelsEverything()
{
    QList<Site> sites;
    for (int i = 0; i < 8; ++i)
        sites.append({u"Hang %1"_s.arg(i), u"/hang"_s});
    openWindow(sites);
    selectAll();
    submit();
    tick();
    QTRY_COMPARE(m_farm.openConnections(), 5);
    const QByteArray logBefore = logBytes();

    get<QPushButton>(u"Command12"_s)->click();
    get<QPushButton>(u"Command12"_s)->click();
    m_app->dialogs().queueYesNo(true);
    tick();
    QCOMPARE(m_app->dialogs().shown().size(), 1);
    QCOMPARE(m_app->dialogs().shown().first().text, u"Are you sure you want to cancel?"_s);
    QCOMPARE(m_app->dialogs().shown().first().title, u"Cancel Submission"_s);
    QVERIFY(!run().timer()->isActive());
    QVERIFY(!navigationLocked());
    QCOMPARE(listCount(u"List2"_s), 0);
    QCOMPARE(text(u"Label20"_s), u" Total Selected Engines :0"_s);
    QVERIFY(get<QWidget>(u"subform"_s)->isVisible());
    QCOMPARE(text(u"Label22"_s), u"Socket 2"_s);
    QCOMPARE(get<QLineEdit>(u"sockdata2"_s)->text(), u"Listening"_s);
    QCOMPARE(get<StatusLamp>(u"sockstat2"_s)->color(), QColor(0, 255, 0)); // lamps stay as they were
    QTRY_COMPARE(m_farm.openConnections(), 0);

    QTest::qWait(1700); // past the deadline the cancelled transfers had
    QCOMPARE(run().goodCount() + run().badCount(), 0);
    QCOMPARE(logBytes(), logBefore); // no rows, no footer
    QVERIFY(!logBytes().contains("</body></html>"));
}

void TestSubmissionRun::stopAnsweredNo_goesOn()
{
    openWindow({{u"One"_s, u"/ok"_s}, {u"Two"_s, u"/ok"_s}});
    selectAll();
    submit();
    run().Stop();
    m_app->dialogs().queueYesNo(false);
    tick();
    QCOMPARE(m_app->dialogs().shown().size(), 1);
    QCOMPARE(slot(1).caption(), u"One"_s);
    QCOMPARE(slot(2).caption(), u"Two"_s);
    QVERIFY(settle());
    m_app->dialogs().queueYesNo(false);
    tick(); // completes; no second cancel question
    QCOMPARE(m_app->dialogs().shown().size(), 2);
    QCOMPARE(m_app->dialogs().shown().last().title, u"Submission Completed"_s);
}

void TestSubmissionRun::tickDueWhileAsking_isHeldBack()
{
    openWindow({{u"One"_s, u"/ok"_s}, {u"Two"_s, u"/ok"_s}});
    selectAll();
    submit();
    run().Stop();
    int listWhileAsking = -1;
    m_app->dialogs().whileAsking = [this, &listWhileAsking] {
        tick(); // falls due while the question is open
        listWhileAsking = listCount(u"List2"_s);
    };
    m_app->dialogs().queueYesNo(false);
    tick();
    QCOMPARE(listWhileAsking, 2); // the inner tick dispatched nothing
    QCOMPARE(m_app->dialogs().shown().size(), 1);
    QCOMPARE(listCount(u"List2"_s), 0);
}

void TestSubmissionRun::emptySelection_isRefused()
{
    openWindow({{u"One"_s, u"/ok"_s}});
    {
        QFile old(logPath());
        QVERIFY(old.open(QIODevice::WriteOnly));
        old.write("a cancelled run's log");
    }
    get<QToolButton>(u"Bsubmission"_s)->click();
    submit();
    QVERIFY(!QFile::exists(logPath()));
    QCOMPARE(text(u"Label49"_s), u"Total Engines Selected: 0"_s);
    QCOMPARE(text(u"Label50"_s), u"Total Engines Left: 0"_s);
    QCOMPARE(m_app->dialogs().shown().size(), 1);
    QCOMPARE(m_app->dialogs().shown().first().text, u"Please select some engines to submit first."_s);
    QCOMPARE(m_app->dialogs().shown().first().title, u"No engines selected"_s);
    QCOMPARE(m_app->dialogs().shown().first().icon, Dialogs::Icon::Warning);
    QVERIFY(!run().timer()->isActive());
    QVERIFY(!navigationLocked());
    QVERIFY(get<QWidget>(u"subform"_s)->isVisible());
}

void TestSubmissionRun::progress_isFullWhenTheRunEnds()
{
    QList<Site> sites;
    for (int i = 0; i < 7; ++i)
        sites.append({u"S%1"_s.arg(i), u"/ok"_s});
    sites.append({u"Twice"_s, u"/ok"_s});
    openWindow(sites);
    get<QToolButton>(u"Bsubmission"_s)->click();
    get<QCheckBox>(u"Check4"_s)->setChecked(true);
    get<QListView>(u"List1"_s)
        ->selectionModel()
        ->select(get<QListView>(u"List1"_s)->model()->index(7, 0), QItemSelectionModel::Select);
    get<QPushButton>(u"Command11"_s)->click(); // "Twice" now stands twice: nine entries
    submit();
    tick();
    QVERIFY(settle());
    QCOMPARE(run().progressWidth(), 5 * 6495 / 9);
    tick();
    QVERIFY(settle());
    QCOMPARE(run().progressWidth(), 6495);
    QCOMPARE(get<QWidget>(u"Shape5"_s)->width(), get<QWidget>(u"Picture2"_s)->width());
    m_app->dialogs().queueYesNo(true);
    tick();
    QCOMPARE(logBytes().count("<tr><td>Twice</td>"), 2);
}

QTEST_MAIN(TestSubmissionRun)
#include "tst_submissionrun.moc"
