#include "HistoryDatabase.h"
#include "HttpTransferSlot.h"
#include "PageLedger.h"
#include "PageList.h"
#include "RunJournal.h"
#include "RunRecorder.h"
#include "SiteDatabase.h"
#include "SiteFarm.h"
#include "SubmissionRun.h"
#include "TestSupport.h"

#include <QElapsedTimer>
#include <QNetworkAccessManager>
#include <QSignalSpy>
#include <QTest>
#include <QTimer>

using namespace Qt::StringLiterals;

namespace {
const QDateTime moment(QDate(2026, 3, 7), QTime(14, 5, 9));
}

class TestRun : public QObject
{
    Q_OBJECT

private:
    struct Site
    {
        QString name;
        QString path;
        QString method = u"GET"_s;
        QString data = u"u=[url]&n=[name]"_s;
        QString encoding = {};
        QString accept = {};
    };
    QByteArray log() const { return TestData::readFile(m_dir->filePath(u"sublog.htm"_s)); }

    SiteFarm m_farm;
    std::unique_ptr<QNetworkAccessManager> m_network; // each test's own: no connection lingers on
    Profile m_profile;
    std::unique_ptr<QTemporaryDir> m_dir;
    std::unique_ptr<SiteDatabase> m_catalogue;
    std::vector<std::unique_ptr<HttpTransferSlot>> m_transfers;
    std::unique_ptr<SubmissionRun> m_run;

    SubmissionRun& makeRun(const QList<Site>& sites,
                           std::chrono::milliseconds deadline = std::chrono::milliseconds(1500))
    {
        QList<PromoSite> rows;
        for (const Site& site : sites) {
            const QString action = site.path.contains(u"://"_s) ? site.path : m_farm.url(site.path);
            rows << PromoSite{site.name, u"engine"_s,   site.data,  site.method,
                              action,    site.encoding, site.accept};
        }
        TestData::writeCatalogue(m_dir->filePath(u"orvd.dll"_s), rows);
        QString error;
        m_catalogue = SiteDatabase::open(m_dir->filePath(u"orvd.dll"_s), error);
        std::array<TransferSlot*, SubmissionRun::laneCount> transfers{};
        for (TransferSlot*& transfer : transfers) {
            m_transfers.push_back(std::make_unique<HttpTransferSlot>(*m_network, deadline));
            transfer = m_transfers.back().get();
        }
        m_run = std::make_unique<SubmissionRun>(*m_catalogue, transfers, m_dir->filePath(u"sublog.htm"_s),
                                                [] { return moment; });
        m_run->setTickInterval(std::chrono::hours(24)); // ticked by hand
        return *m_run;
    }

    // The caption of the request a lane carries or carried last.
    QString carried(int lane) const
    {
        return m_run->lane(lane).request() < 0 ? QString()
                                               : m_run->item(m_run->lane(lane).request()).caption();
    }

    QStringList siteNames(const QList<Site>& sites) const
    {
        QStringList names;
        for (const Site& site : sites)
            names << site.name;
        return names;
    }

    bool settle()
    {
        QElapsedTimer waited;
        waited.start();
        const auto working = [this] {
            for (int k = 0; k < SubmissionRun::laneCount; ++k) {
                if (m_run->lane(k).isWorking())
                    return true;
            }
            return false;
        };
        while (working() && waited.elapsed() < 10000)
            QTest::qWait(10);
        return !working();
    }

    // One site's request through a real transfer slot: the verdict it ends with.
    int runToEnd(int maxTicks = 40)
    {
        for (int ticks = 1; ticks <= maxTicks; ++ticks) {
            m_run->onTick();
            if (!m_run->isBusy())
                return ticks;
            if (!settle())
                return -1;
        }
        return -1;
    }

private slots:

    void initTestCase()
    {
        QVERIFY(m_farm.listen());
        m_farm.route(u"/404"_s, SiteFarm::Behaviour::NotFound);
        m_farm.route(u"/hang"_s, SiteFarm::Behaviour::Hang);
        m_farm.route(u"/cut"_s, SiteFarm::Behaviour::CutShort);
        m_farm.route(u"/to-ftp"_s, SiteFarm::Route(SiteFarm::Behaviour::Redirect, "ftp://127.0.0.1/x"));
        m_farm.route(u"/pending/indexnow"_s, SiteFarm::Route::answering(202, {}));
        m_farm.route(u"/fine/indexnow"_s, SiteFarm::Route::answering(200, {}));
        m_farm.route(u"/hang/indexnow"_s, SiteFarm::Behaviour::Hang);
        m_farm.route(u"/indexnow"_s, SiteFarm::Behaviour::IndexNow);
        m_farm.route(u"/rpc"_s, SiteFarm::Behaviour::XmlRpcPing);
        m_farm.route(u"/hub"_s, SiteFarm::Behaviour::WebSubHub);
        m_farm.route(u"/slow-down"_s, SiteFarm::Route::answering(429, "{\"message\":\"Too Many Requests\"}"));
        m_farm.route(u"/busy"_s, SiteFarm::Route::answering(200, "FAIL: busy"));
        m_farm.route(u"/late"_s, SiteFarm::Route::answering(200, QByteArray(64 * 1024, ' ') + "FAIL: late"));
        m_profile.title = u"R&D <Shop>"_s;
        for (int i = 0; i < profileFieldCount; ++i)
            m_profile.fields[size_t(i)] = Profile::key(ProfileField(i)) + u" value"_s;
    }

    void init()
    {
        m_dir = std::make_unique<QTemporaryDir>();
        m_network = std::make_unique<QNetworkAccessManager>();
        QTRY_COMPARE_WITH_TIMEOUT(m_farm.openConnections(), 0, 10000); // earlier tests' connections gone
    }

    void cleanup()
    {
        m_run.reset();
        m_transfers.clear();
        m_catalogue.reset();
        m_network.reset();
    }

    void run_unsendableSitesFailAtOnce()
    {
        SubmissionRun& run =
            makeRun({{u"IndexNow"_s, u"/indexnow"_s, u"POST"_s, u"{\"key\":\"[key]\"}"_s, u"json"_s},
                     {u"Hub"_s, u"/hub"_s, u"POST"_s, u"hub.url=[feed]"_s},
                     {u"Odd rule"_s, u"/ok"_s, u"GET"_s, u"x"_s, {}, u"2xx"_s},
                     {u"Odd encoding"_s, u"/ok"_s, u"POST"_s, u"x"_s, u"yaml"_s}});
        const qsizetype before = m_farm.requests().size();
        QSignalSpy ended(&run, &SubmissionRun::requestEnded);
        QVERIFY(run.start({u"IndexNow"_s, u"Hub"_s, u"Odd rule"_s, u"Odd encoding"_s}, m_profile));
        QVERIFY(runToEnd() > 0);
        QCOMPARE(m_farm.requests().size(), before); // nothing was sent
        QStringList details;
        for (const QList<QVariant>& end : std::as_const(ended))
            details << end.at(3).toString();
        QCOMPARE(details,
                 QStringList({u"needs an IndexNow key, and the profile has none yet"_s,
                              u"needs a feed address, and the profile has none"_s,
                              u"the catalogue's accept column \"2xx\" is not a list of HTTP statuses"_s,
                              u"the catalogue's encoding \"yaml\" is none of form, json, xml or text"_s}));
        QVERIFY(log().contains("<tr><td>IndexNow</td><td>Connection Error: needs an IndexNow key, and the "
                               "profile has none yet</td></tr>"));
    }

    void run_dispatchesFiveATimeAndCompletes()
    {
        QList<Site> sites;
        for (int i = 0; i < 7; ++i)
            sites.append({u"Site %1"_s.arg(i), u"/ok"_s});
        SubmissionRun& run = makeRun(sites);
        QSignalSpy left(&run, &SubmissionRun::leftChanged);
        QSignalSpy progress(&run, &SubmissionRun::progressChanged);
        QSignalSpy completed(&run, &SubmissionRun::completed);
        QVERIFY(!run.start(QStringList(), m_profile)); // nothing selected: nothing starts
        QVERIFY(run.start(siteNames(sites), m_profile));
        QVERIFY(run.isBusy());
        run.onTick();
        QCOMPARE(left.takeFirst().first().toInt(), 7);
        QCOMPARE(carried(0), u"Site 0"_s);
        QCOMPARE(run.lane(4).state(), TransferLane::State::Working);
        QVERIFY(settle());
        QCOMPARE(run.lane(0).state(), TransferLane::State::Succeeded);
        QCOMPARE(progress.last().first().toInt(), 5 * SubmissionRun::barUnits / 7);
        run.onTick();
        QCOMPARE(left.takeFirst().first().toInt(), 2);
        QCOMPARE(carried(1), u"Site 6"_s); // the freed lanes, in lane order
        QCOMPARE(carried(2), u"Site 2"_s);
        QVERIFY(runToEnd() > 0);
        QCOMPARE(completed.size(), 1);
        QCOMPARE(completed.first(), QVariantList({7, 0}));
        QCOMPARE(run.progressUnits(), SubmissionRun::barUnits); // full when the run ends
        QCOMPARE(run.lane(1).request(), -1);
        QCOMPARE(run.lane(1).state(), TransferLane::State::Idle);
        QCOMPARE(log().count("Submission Successful"), 7);
        QVERIFY(log().endsWith("</body></html>"));
    }

    void run_everyEndingIsOneRowAndOneCount()
    {
        const QList<Site> sites = {{u"a ok"_s, u"/ok"_s},           {u"b 404"_s, u"/404"_s},
                                   {u"c cut short"_s, u"/cut"_s},   {u"d to ftp"_s, u"/to-ftp"_s},
                                   {u"e hang"_s, u"/hang"_s},       {u"f refused"_s, SiteFarm::refusedUrl()},
                                   {u"g no host"_s, u"http:///x"_s}};
        SubmissionRun& run = makeRun(sites);
        QSignalSpy ended(&run, &SubmissionRun::requestEnded);
        QVERIFY(run.start(siteNames(sites), m_profile));
        QVERIFY(runToEnd() > 0);
        QCOMPARE(ended.size(), sites.size());
        const QByteArray written = log();
        for (const Site& site : sites)
            QCOMPARE(written.count(QByteArray("<tr><td>" + site.name.toUtf8() + "</td>")), 1);
        QCOMPARE(written.count("Submission Successful"), 1);
        QVERIFY(written.contains("<tr><td>b 404</td><td>Connection Error: HTTP 404 Not Found</td></tr>"));
        QVERIFY(written.contains("<tr><td>c cut short</td><td>Connection Error: Connection closed"));
        QVERIFY(written.contains(
            "<tr><td>d to ftp</td><td>Connection Error: Redirected to &quot;ftp://127.0.0.1/x&quot;"));
        QVERIFY(written.contains(
            "<tr><td>e hang</td><td>Connection Error: No complete response within 1.5 seconds"));
        QCOMPARE(run.lastFailures(), siteNames(sites).mid(1));
    }

    void run_stopAnsweredYesCancelsAndNoGoesOn()
    {
        const QList<Site> sites = {{u"Fails"_s, u"/404"_s},   {u"Hang 1"_s, u"/hang"_s},
                                   {u"Hang 2"_s, u"/hang"_s}, {u"Hang 3"_s, u"/hang"_s},
                                   {u"Hang 4"_s, u"/hang"_s}, {u"Never"_s, u"/ok"_s}};
        // Long enough for four hanging transfers to stand open together on a slow machine.
        SubmissionRun& run = makeRun(sites, std::chrono::seconds(6));
        int questions = 0;
        bool answer = false;
        connect(&run, &SubmissionRun::stopQuestionDue, this, [&] {
            ++questions;
            run.answerStopQuestion(answer);
        });
        QSignalSpy cancelled(&run, &SubmissionRun::cancelled);
        QVERIFY(run.start(siteNames(sites), m_profile));
        run.onTick();
        QTRY_COMPARE(m_farm.openRequests(), 4);
        QTRY_COMPARE(run.lane(0).state(), TransferLane::State::Failed);
        run.requestStop();
        run.onTick(); // No: the tick goes on and gives the failed slot the next site
        QCOMPARE(questions, 1);
        QCOMPARE(carried(0), u"Never"_s);
        QTRY_COMPARE(run.lane(0).state(), TransferLane::State::Succeeded);
        const qsizetype rowsBefore = log().count("<tr><td>");
        run.requestStop();
        run.requestStop();
        answer = true;
        run.onTick();
        QCOMPARE(questions, 2); // asked once per request, however often Stop was pressed
        QCOMPARE(cancelled.size(), 1);
        QVERIFY(!run.isBusy());
        QCOMPARE(run.lane(2).request(), -1);
        QTRY_COMPARE(m_farm.openRequests(), 0);
        // The cancelled transfers keep no deadline running: nothing of them can report later.
        for (const auto& transfer : m_transfers) {
            for (const QTimer* timer : transfer->findChildren<QTimer*>())
                QVERIFY(!timer->isActive());
        }
        QCOMPARE(log().count("<tr><td>"), rowsBefore);
        QVERIFY(!log().contains("</body></html>"));
        QCOMPARE(run.lastFailures(), QStringList{u"Fails"_s}); // the failures of a cancelled run count too
    }

    void record_keepsExactlyTheAcceptedBatchesAndSaysWhyWhenItCannot()
    {
        SubmissionRun& run =
            makeRun({{u"Fine"_s, u"/fine/indexnow"_s, u"POST"_s, u"x"_s, u"json"_s, u"200,202"_s},
                     {u"Stuck"_s, u"/hang/indexnow"_s, u"POST"_s, u"x"_s, u"json"_s}},
                    std::chrono::seconds(4));
        const QString historyFile = m_dir->filePath(u"history.db"_s);
        QString error;
        auto holder = HistoryDatabase::open(historyFile, HistoryDatabase::Mode::OpenOrCreate, error);
        QVERIFY2(holder, qPrintable(error));
        // Another process holds the file for a moment as the run begins: nothing is lost.
        QVERIFY(holder->begin());
        QTimer::singleShot(1500, this, [&holder] { holder->commit(); });
        RunRecorder recorder(run, historyFile, u"window"_s, [] { return moment; });
        QSignalSpy written(&recorder, &RunRecorder::written);
        auto pages = std::make_shared<PageList>();
        pages->add("http://h/a", 1);
        pages->add("http://h/b", 2);
        auto ids = std::make_shared<std::vector<qint64>>(2, 0);
        const auto batch = [&](qsizetype page, const QString& path) {
            return std::make_shared<PageBatch>(PageBatch{pages, ids, {page}, 1, 1, m_farm.url(path)});
        };
        const QList<WorkItem> items = {{u"Fine"_s, batch(0, u"/fine/indexnow"_s)},
                                       {u"Stuck"_s, batch(1, u"/hang/indexnow"_s)}};
        connect(&run, &SubmissionRun::stopQuestionDue, this, [&run] { run.answerStopQuestion(true); });
        Profile profile = m_profile;
        profile.value(ProfileField::Url) = u"http://h/"_s;
        profile.indexNowKey = u"abcd-1234"_s;
        QVERIFY(run.start(items, profile));
        run.onTick();
        QTRY_COMPARE(run.lane(0).state(), TransferLane::State::Succeeded);
        run.requestStop();
        run.onTick(); // cancelled while the second batch hangs
        QVERIFY(written.wait(20000));
        QCOMPARE(written.takeFirst().first().toString(), QString());
        PageLedger ledger(*holder);
        const auto sentTo = [&](const QString& path) {
            QStringList sent;
            ledger.forEachPage("http://h", m_farm.url(path),
                               [&](QByteArrayView url, qint64, const auto& accepted) {
                                   if (accepted)
                                       sent << QString::fromUtf8(url);
                               });
            return sent;
        };
        QCOMPARE(sentTo(u"/fine/indexnow"_s), QStringList{u"http://h/a"_s});
        QCOMPARE(sentTo(u"/hang/indexnow"_s), QStringList());
        RunJournal journal(*holder);
        const RunJournal::RunSummary recorded = journal.runs().first();
        QCOMPARE(recorded.state, u"cancelled"_s);
        QCOMPARE(recorded.mode, u"changed pages"_s);
        QCOMPARE(journal.results(recorded.id).size(), 1);
        QCOMPARE(journal.resultPages(recorded.id, 1), QStringList{u"http://h/a"_s});

        // A write that fails (here, as a full disk would) is reported with its reason.
        QVERIFY(holder->exec(
            u"CREATE TRIGGER full BEFORE INSERT ON announcements BEGIN SELECT RAISE(ABORT, 'database or disk "
            u"is full'); END"_s));
        QVERIFY(run.start(QList<WorkItem>{items.first()}, profile));
        QVERIFY(runToEnd() > 0);
        QVERIFY(written.wait(20000));
        QVERIFY2(
            written.first().first().toString().endsWith(u"could not be written: database or disk is full"_s),
            qPrintable(written.first().first().toString()));
        QCOMPARE(journal.results(journal.runs().first().id).size(), 0); // the batch and its row go together
    }

    void run_tickDueWhileAskingIsHeldBack()
    {
        SubmissionRun& run = makeRun({{u"One"_s, u"/ok"_s}, {u"Two"_s, u"/ok"_s}});
        QSignalSpy started(&run, &SubmissionRun::requestStarted);
        connect(&run, &SubmissionRun::stopQuestionDue, this, [&] {
            run.onTick(); // falls due while the question is open
            QCOMPARE(started.size(), 0);
            run.answerStopQuestion(false);
        });
        QVERIFY(run.start({u"One"_s, u"Two"_s}, m_profile));
        run.requestStop();
        run.onTick();
        QCOMPARE(started.size(), 2);
    }

    void run_requestsGoOutAsComposed()
    {
        SubmissionRun& run = makeRun({{u"Poster"_s, u"/post-here"_s, u"PoSt"_s, u"c=[company]&fixed=a b"_s},
                                      {u"Getter"_s, u"/get-here?x=1"_s, u"get"_s, u"k=[keywords]"_s}});
        const qsizetype before = m_farm.requests().size();
        QVERIFY(run.start({u"Poster"_s, u"Getter"_s}, m_profile));
        run.onTick();
        QVERIFY(settle());
        QByteArray post;
        QByteArray get;
        int ours = 0; // a late request of an earlier test may arrive meanwhile
        for (qsizetype i = before; i < m_farm.requests().size(); ++i) {
            const QByteArray& request = m_farm.requests().at(i);
            if (!request.contains("-here"))
                continue;
            (request.startsWith("POST") ? post : get) = request;
            ++ours;
        }
        QCOMPARE(ours, 2);
        QVERIFY2(post.startsWith("POST /post-here HTTP/1.1\r\n"), post.constData());
        QVERIFY2(post.endsWith("\r\n\r\nc=company+value&fixed=a b"), post.constData());
        QVERIFY2(get.startsWith("GET /get-here?x=1?k=keywords+value HTTP/1.1\r\n"), get.constData());
        for (const QByteArray& request : {post, get})
            QVERIFY(request.contains("\r\nContent-Type: application/x-www-form-urlencoded\r\n"));
    }
};

QTEST_GUILESS_MAIN(TestRun)
#include "tst_run.moc"
