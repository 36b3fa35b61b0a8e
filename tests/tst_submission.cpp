#include "HistoryStore.h"
#include "HttpTransferSlot.h"
#include "PageList.h"
#include "RequestComposer.h"
#include "RequestPreview.h"
#include "RunRecorder.h"
#include "SiteDatabase.h"
#include "SiteFarm.h"
#include "SubmissionLog.h"
#include "SubmissionRun.h"
#include "TestSupport.h"

#include <QBuffer>
#include <QElapsedTimer>
#include <QEventLoop>
#include <QFile>
#include <QJsonDocument>
#include <QJsonObject>
#include <QNetworkAccessManager>
#include <QSignalSpy>
#include <QTest>
#include <QTimer>
#include <QUrlQuery>
#include <QXmlStreamReader>

using namespace Qt::StringLiterals;
using FieldValues = QList<std::pair<ProfileField, QString>>;
Q_DECLARE_METATYPE(PromoSite)

namespace {
const QDateTime moment(QDate(2026, 3, 7), QTime(14, 5, 9));
}

class TestSubmission : public QObject
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
        std::array<TransferSlot*, SubmissionRun::slotCount> transfers{};
        for (TransferSlot*& transfer : transfers) {
            m_transfers.push_back(std::make_unique<HttpTransferSlot>(*m_network, deadline));
            transfer = m_transfers.back().get();
        }
        m_run = std::make_unique<SubmissionRun>(*m_catalogue, transfers, m_dir->filePath(u"sublog.htm"_s),
                                                [] { return moment; });
        m_run->setTickInterval(std::chrono::hours(24)); // ticked by hand
        return *m_run;
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
            for (int k = 0; k < SubmissionRun::slotCount; ++k) {
                if (!m_run->socketSlot(k).isIdle())
                    return true;
            }
            return false;
        };
        while (working() && waited.elapsed() < 10000)
            QTest::qWait(10);
        return !working();
    }

    // One site's request through a real transfer slot: the verdict it ends with.
    Verdict transfer(const PromoSite& site, const Profile& profile)
    {
        HttpTransferSlot slot(*m_network, std::chrono::milliseconds(3000));
        Verdict verdict{Outcome::Failed, u"never ended"_s};
        QEventLoop loop;
        connect(&slot, &TransferSlot::finished, &loop, [&](const Verdict& ended) {
            verdict = ended;
            loop.quit();
        });
        slot.execute(TransferRequest::from(RequestComposer(profile).compose(site)));
        QTimer::singleShot(5000, &loop, &QEventLoop::quit);
        loop.exec();
        return verdict;
    }

    int runToEnd(int maxTicks = 40)
    {
        for (int ticks = 1; ticks <= maxTicks; ++ticks) {
            m_run->onTick();
            if (!m_run->isRunning())
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

    void fillTemplate_data()
    {
        QTest::addColumn<QString>("requestTemplate");
        QTest::addColumn<FieldValues>("values");
        QTest::addColumn<QString>("expected");
        const FieldValues ann = {{ProfileField::Name, u"Ann"_s}};
        QTest::newRow("no placeholders") << u"a=1&b=two words"_s << ann << u"a=1&b=two words"_s;
        QTest::newRow("second occurrence stays literal")
            << u"n=[name]&again=[name]"_s << ann << u"n=Ann&again=[name]"_s;
        QTest::newRow("capitals are not placeholders")
            << u"n=[Name]&u=[URL]&m=[name]"_s << ann << u"n=[Name]&u=[URL]&m=Ann"_s;
        QTest::newRow("empty field leaves an empty value")
            << u"n=[name]&c=[company]"_s << ann << u"n=Ann&c="_s;
        QTest::newRow("ampersand, space, equals, plus, percent")
            << u"c=[company]"_s << FieldValues{{ProfileField::Company, u"R&D Ltd=a+b 100%"_s}}
            << u"c=R%26D+Ltd%3Da%2Bb+100%25"_s;
        QTest::newRow("unreserved kept, others escaped")
            << u"e=[email]"_s << FieldValues{{ProfileField::Email, u"a.b-c_d*e~f@h"_s}}
            << u"e=a.b-c_d*e%7Ef%40h"_s;
        QTest::newRow("non-ASCII as UTF-8, line breaks")
            << u"t=[title]"_s << FieldValues{{ProfileField::WebsiteTitle, u"Zürich €\r\n"_s}}
            << u"t=Z%C3%BCrich+%E2%82%AC%0D%0A"_s;
        QTest::newRow("inserted value is not taken for a later placeholder")
            << u"s=[state]&n=[name]"_s
            << FieldValues{{ProfileField::State, u"[name]"_s}, {ProfileField::Name, u"Ann"_s}}
            << u"s=%5Bname%5D&n=Ann"_s;
    }

    void fillTemplate()
    {
        QFETCH(QString, requestTemplate);
        QFETCH(FieldValues, values);
        QFETCH(QString, expected);
        Profile profile;
        for (const auto& [field, value] : values)
            profile.value(field) = value;
        QCOMPARE(RequestComposer(profile).fill(requestTemplate), expected);
    }

    void fillTemplate_replacesTheSeventeenInTheirOrder()
    {
        Profile profile;
        for (int i = 0; i < profileFieldCount; ++i)
            profile.fields[size_t(i)] = u"v%1."_s.arg(i);
        profile.value(ProfileField::Url) = u"https://www.shop.example:8443/a/"_s;
        profile.indexNowKey = u"k3y-0123"_s;
        profile.feed = u"f"_s;
        // The placeholders [title] and [section] stand for the keys wtitle and ffa.
        QCOMPARE(RequestComposer(profile).fill(
                     u"[state][name][major][description][city][section][email][url][company]"
                     u"[phone][country][address][title][zip][fax][keywords][type] [key] [host] [feed] "
                     u"[keylocation]"_s,
                     RequestComposer::Encoding::Text),
                 u"v4.v0.v16.v13.v3.v14.v9.https://www.shop.example:8443/a/v1.v7.v6.v2.v10.v5.v8.v12.v15. "
                 u"k3y-0123 www.shop.example f https://www.shop.example:8443/k3y-0123.txt"_s);
    }

    void encodings_valuesSurviveTheReceiversParser_data()
    {
        QTest::addColumn<QString>("encoding");
        QTest::addColumn<QString>("data");
        QTest::addColumn<QByteArray>("contentType");
        QTest::newRow("form fills the first occurrence")
            << QString() << u"n=[name]&again=[name]"_s << QByteArray("application/x-www-form-urlencoded");
        QTest::newRow("json fills every occurrence")
            << u"json"_s << u"{\"n\":\"[name]\",\"again\":\"[name]\"}"_s
            << QByteArray("application/json; charset=utf-8");
        QTest::newRow("xml") << u"XML"_s << u"<r><n>[name]</n><again>[name]</again></r>"_s
                             << QByteArray("text/xml");
        QTest::newRow("text") << u"text"_s << u"[name]|[name]"_s << QByteArray("text/plain; charset=utf-8");
    }

    void encodings_valuesSurviveTheReceiversParser()
    {
        QFETCH(QString, encoding);
        QFETCH(QString, data);
        QFETCH(QByteArray, contentType);
        const QString awkward = u"\"Quote\" <b>R&D</b> 'x' Zürich €\r\nline 2\t\\end"_s;
        Profile profile;
        profile.value(ProfileField::Name) = awkward;
        const PromoSite site{u"s"_s, u"list"_s, data, u"POST"_s, m_farm.url(u"/ok"_s), encoding};
        QCOMPARE(transfer(site, profile).outcome, Outcome::Succeeded);
        const QByteArray request = m_farm.requests().last();
        QVERIFY2(request.contains(QByteArray("\r\nContent-Type: " + contentType + "\r\n")),
                 request.constData());
        const QByteArray body = request.mid(request.indexOf("\r\n\r\n") + 4);
        QStringList received; // as the receiving side's own parser reads the two values
        if (encoding.isEmpty()) {
            const QUrlQuery form(QString::fromLatin1(body).replace(u'+', u"%20"_s));
            received << form.queryItemValue(u"n"_s, QUrl::FullyDecoded)
                     << form.queryItemValue(u"again"_s, QUrl::FullyDecoded);
        } else if (encoding == u"json"_s) {
            const QJsonObject object = QJsonDocument::fromJson(body).object();
            received << object.value(u"n"_s).toString() << object.value(u"again"_s).toString();
        } else if (encoding == u"XML"_s) {
            QXmlStreamReader xml(body);
            while (xml.readNextStartElement()) {
                if (xml.name() != u"r"_s)
                    received << xml.readElementText();
            }
        } else {
            received = QString::fromUtf8(body).split(u'|');
        }
        QCOMPARE(received, QStringList({awkward, encoding.isEmpty() ? u"[name]"_s : awkward}));
    }

    void answers_areReadByTheSitesRule_data()
    {
        QTest::addColumn<PromoSite>("site");
        QTest::addColumn<int>("outcome");
        QTest::addColumn<QString>("detail");
        const auto site = [this](const QString& path, const QString& data, const QString& encoding,
                                 const QString& accept, const QString& reject = QString()) {
            return PromoSite{u"s"_s, u"list"_s, data, u"POST"_s, m_farm.url(path), encoding, accept, reject};
        };
        const int failed = int(Outcome::Failed);
        const int succeeded = int(Outcome::Succeeded);
        const QString indexNow = u"{\"host\":\"[host]\",\"key\":\"[key]\",\"keyLocation\":\"[keylocation]\","
                                 u"\"urlList\":[\"[url]\"]}"_s;
        const PromoSite pingOMatic = TestData::bundledSites().at(3);
        QTest::newRow("a classic row reads only the status")
            << site(u"/404"_s, u"u=[url]"_s, {}, {}) << failed << u"HTTP 404 Not Found"_s;
        QTest::newRow("a row with a rule quotes the site")
            << site(u"/404"_s, u"u=[url]"_s, {}, u"200"_s) << failed
            << u"HTTP 404 Not Found (the site said: No such page.)"_s;
        QTest::newRow("IndexNow 202") << site(u"/pending/indexnow"_s, indexNow, u"json"_s, u"200,202"_s)
                                      << succeeded << u"Accepted; the key is still being checked (202)"_s;
        QTest::newRow("IndexNow 200")
            << site(u"/fine/indexnow"_s, indexNow, u"json"_s, u"200,202"_s) << succeeded << QString();
        QTest::newRow("IndexNow 403")
            << site(u"/indexnow"_s, indexNow, u"json"_s, u"200,202"_s) << failed
            << u"HTTP 403 Forbidden: the site does not serve the IndexNow key file "
               u"127.0.0.1:%1/abcd-1234.txt (the site said: {\"code\":"
               u"\"UserForbiddedToAccessSite\",\"message\":\"The key file is missing "
               u"or does not hold the key\"})"_s.arg(m_farm.port());
        QTest::newRow("429") << site(u"/slow-down"_s, u"x"_s, u"text"_s, {}) << failed
                             << u"HTTP 429 Too Many Requests: notify less often (the site said: "
                                u"{\"message\":\"Too Many Requests\"})"_s;
        QTest::newRow("WebSub 204") << site(u"/hub"_s, u"hub.mode=publish&hub.url=[feed]"_s, {}, u"204"_s)
                                    << succeeded << QString();
        QTest::newRow("200 where only 204 is accepted")
            << site(u"/ok"_s, u"x"_s, {}, u"204"_s) << failed
            << u"HTTP 200 OK (the site said: Thank you for your submission.)"_s;
        QTest::newRow("XML-RPC flerror false")
            << site(u"/rpc"_s, pingOMatic.data, pingOMatic.encoding, pingOMatic.accept, pingOMatic.reject)
            << succeeded << QString();
        QTest::newRow("XML-RPC flerror true")
            << site(u"/rpc"_s, QString(pingOMatic.data).replace(u"[url]"_s, u"[name]"_s), pingOMatic.encoding,
                    pingOMatic.accept, pingOMatic.reject)
            << failed << u"Rejected: The weblog address \"Ann & Bo\" is not a URL"_s;
        QTest::newRow("the pattern's group is the detail")
            << site(u"/busy"_s, u"x"_s, {}, {}, u"FAIL: (\\w+)"_s) << failed << u"Rejected: busy"_s;
        QTest::newRow("the pattern reads the first 64 KiB only")
            << site(u"/late"_s, u"x"_s, {}, {}, u"FAIL: (\\w+)"_s) << succeeded << QString();
    }

    void answers_areReadByTheSitesRule()
    {
        QFETCH(PromoSite, site);
        QFETCH(int, outcome);
        QFETCH(QString, detail);
        Profile profile;
        profile.value(ProfileField::Name) = u"Ann & Bo"_s;
        profile.value(ProfileField::Url) = m_farm.url(u"/site/"_s);
        profile.indexNowKey = u"abcd-1234"_s;
        profile.feed = m_farm.url(u"/feed.xml"_s);
        const Verdict verdict = transfer(site, profile);
        QCOMPARE(verdict.detail, detail);
        QCOMPARE(int(verdict.outcome), outcome);
    }

    void run_unsendableSitesFailAtOnce()
    {
        SubmissionRun& run =
            makeRun({{u"IndexNow"_s, u"/indexnow"_s, u"POST"_s, u"{\"key\":\"[key]\"}"_s, u"json"_s},
                     {u"Hub"_s, u"/hub"_s, u"POST"_s, u"hub.url=[feed]"_s},
                     {u"Odd rule"_s, u"/ok"_s, u"GET"_s, u"x"_s, {}, u"2xx"_s},
                     {u"Odd encoding"_s, u"/ok"_s, u"POST"_s, u"x"_s, u"yaml"_s}});
        const qsizetype before = m_farm.requests().size();
        QSignalSpy ended(&run, &SubmissionRun::siteEnded);
        QVERIFY(run.start({u"IndexNow"_s, u"Hub"_s, u"Odd rule"_s, u"Odd encoding"_s}, m_profile));
        QVERIFY(runToEnd() > 0);
        QCOMPARE(m_farm.requests().size(), before); // nothing was sent
        QStringList details;
        for (const QList<QVariant>& end : std::as_const(ended))
            details << end.at(3).toString();
        QCOMPARE(details,
                 QStringList({u"needs an IndexNow key: set it on the profile page"_s,
                              u"needs a feed address: set it on the profile page"_s,
                              u"the catalogue's accept column \"2xx\" is not a list of HTTP statuses"_s,
                              u"the catalogue's encoding \"yaml\" is none of form, json, xml or text"_s}));
        QVERIFY(log().contains("<tr><td>IndexNow</td><td>Connection Error: needs an IndexNow key: set it on "
                               "the profile page</td></tr>"));
    }

    void transfer_buildsTheBytesThatGoOut_data()
    {
        QTest::addColumn<QString>("method");
        QTest::addColumn<QString>("url");
        QTest::addColumn<QString>("data");
        QTest::addColumn<QByteArray>("target");
        QTest::addColumn<QByteArray>("body");
        QTest::newRow("GET") << u"get"_s << u"http://h/add"_s << u"a=1&b=2"_s
                             << QByteArray("http://h/add?a=1&b=2") << QByteArray();
        QTest::newRow("GET with empty data, method in capitals")
            << u"GET"_s << u"http://h/add"_s << QString() << QByteArray("http://h/add?") << QByteArray();
        QTest::newRow("GET to an address with a query") << u"PUT"_s << u"http://h/a?x=1"_s << u"n=2"_s
                                                        << QByteArray("http://h/a?x=1?n=2") << QByteArray();
        // An escaped unreserved character goes out as the character itself, as the URL layer sends it.
        QTest::newRow("GET escapes what a target cannot carry")
            << u"get"_s << u"http://h/a"_s << u"q=two words#frag&p=100%&ok=%41ü"_s
            << QByteArray("http://h/a?q=two%20words%23frag&p=100%25&ok=A%C3%BC") << QByteArray();
        QTest::newRow("GET with an escape in small letters")
            << u"get"_s << u"http://h/a"_s << u"q=%a0"_s << QByteArray("http://h/a?q=%A0") << QByteArray();
        QTest::newRow("GET with an escaped z alone")
            << u"get"_s << u"http://h/a"_s << u"q=%7A"_s << QByteArray("http://h/a?q=z") << QByteArray();
        QTest::newRow("POST sends the data as it stands")
            << u"PoSt"_s << u"http://h/add"_s << u"a=1 & b=ü#"_s << QByteArray("http://h/add")
            << QByteArray("a=1 & b=\xc3\xbc#");
    }

    void transfer_buildsTheBytesThatGoOut()
    {
        QFETCH(QString, method);
        QFETCH(QString, url);
        QFETCH(QString, data);
        QFETCH(QByteArray, target);
        QFETCH(QByteArray, body);
        const SubmissionRequest request =
            RequestComposer(Profile()).compose({u"s"_s, u"list"_s, data, method, url});
        QCOMPARE(request.method, method.toLower());
        const TransferRequest transfer = TransferRequest::from(request);
        QCOMPARE(transfer.post, method.toLower() == u"post"_s);
        QCOMPARE(transfer.url, target);
        QCOMPARE(transfer.body, body);
    }

    void log_writesTheExactBytes()
    {
        SubmissionLog log(m_dir->filePath(u"sublog.htm"_s), [] { return moment; });
        log.appendSuccess(u"never open"_s); // nothing: no log is open
        QVERIFY(!QFile::exists(log.path()));
        QVERIFY(log.create({2, u"R&D <Shop>"_s, u"Ann's \"Best\" Site"_s, u"http://127.0.0.1/?a=1&b=2"_s}));
        log.appendFailure(u"x<y & z"_s, u"HTTP 400 <b>Bad</b> & \"worse\""_s);
        log.appendSuccess(u"blo.gs"_s);
        log.writeFooter();
        log.close();
        log.appendSuccess(u"late"_s); // a transfer that ended after the run: nothing
        const QLocale locale = QLocale::system();
        const QByteArray expected =
            "<html>\r\n<head>\r\n<title>New Page 1</title>\r\n</head>\r\n<body bgcolor=\"#FFFFFF\">\r\n"
            "<p><strong><big><big>Site Submission Statistics</big></big></strong><br>\r\n"
            "<small>Orvanta</small><br>\r\n"
            "<a href=\"https://belvedyne.example/orvanta\"><small>belvedyne.example</small></a><br>\r\n"
            "<small>Total Engines: 2</small><br>\r\n"
            "<small>Date of Submission: " +
            locale.toString(moment.date(), QLocale::ShortFormat).toUtf8() +
            "</small><br>\r\n<small>Time of Submission: " +
            SubmissionLog::timeOfDay(locale, moment.time()).toUtf8() +
            "</small></p>\r\n"
            "<small>Profile: R&amp;D &lt;Shop&gt;</small><br><br><small>Website Title: Ann's "
            "&quot;Best&quot; "
            "Site"
            "</small><br><small>Website Address: http://127.0.0.1/?a=1&amp;b=2</small><br>"
            "<table border=\"1\"cellspacing=\"0\" cellpadding=\"5\"> <tr>\r\n"
            "<tr><td width=\"75%\"><b>Promotional Website Title</b></td><td "
            "width=\"25%\"><b>Status<b></td></tr>"
            "<tr><td>x&lt;y &amp; z</td><td>Connection Error: HTTP 400 &lt;b&gt;Bad&lt;/b&gt; &amp; "
            "&quot;worse&quot;"
            "</td></tr>\r\n"
            "<tr><td>blo.gs</td><td>Submission Successful</td></tr>\r\n"
            "</body></html>";
        QCOMPARE(TestData::readFile(log.path()), expected);
        QVERIFY(log.remove());
        QVERIFY(!QFile::exists(log.path()));
        QVERIFY(log.remove()); // nothing there: no error
    }

    void log_timeOfDayIsCleanInEveryLocale_data()
    {
        QTest::addColumn<QString>("locale");
        QTest::addColumn<QString>("time");
        QTest::newRow("en_US") << u"en_US"_s << u"2:05:09 PM"_s;
        QTest::newRow("de_DE") << u"de_DE"_s << u"14:05:09"_s;
        QTest::newRow("es_ES") << u"es_ES"_s << u"14:05:09"_s;
        QTest::newRow("fa_IR") << u"fa_IR"_s << u"۱۴:۰۵:۰۹"_s;
        QTest::newRow("fi_FI") << u"fi_FI"_s << u"14.05.09"_s;
        QTest::newRow("fr_CA") << u"fr_CA"_s << u"14:05:09"_s;
        QTest::newRow("ko_KR") << u"ko_KR"_s << u"오후 2:05:09"_s;
        QTest::newRow("C") << u"C"_s << u"14:05:09"_s;
    }

    void log_timeOfDayIsCleanInEveryLocale()
    {
        QFETCH(QString, locale);
        QFETCH(QString, time);
        QCOMPARE(SubmissionLog::timeOfDay(QLocale(locale), QTime(14, 5, 9)), time);
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
        QVERIFY(run.isRunning());
        run.onTick();
        QCOMPARE(left.takeFirst().first().toInt(), 7);
        QCOMPARE(run.socketSlot(0).caption(), u"Site 0"_s);
        QCOMPARE(run.socketSlot(4).status(), SocketSlot::working);
        QVERIFY(run.socketSlot(4).lampGreen());
        QVERIFY(settle());
        QCOMPARE(run.socketSlot(0).status(), SocketSlot::successful);
        QVERIFY(!run.socketSlot(0).lampGreen());
        QCOMPARE(progress.last().first().toInt(), 5 * SubmissionRun::barUnits / 7);
        run.onTick();
        QCOMPARE(left.takeFirst().first().toInt(), 2);
        QCOMPARE(run.socketSlot(1).caption(), u"Site 6"_s); // the freed slots, in slot order
        QCOMPARE(run.socketSlot(2).caption(), u"Site 2"_s);
        QVERIFY(runToEnd() > 0);
        QCOMPARE(completed.size(), 1);
        QCOMPARE(completed.first(), QVariantList({7, 0}));
        QCOMPARE(run.progressUnits(), SubmissionRun::barUnits); // full when the run ends
        QCOMPARE(run.socketSlot(1).caption(), u"Socket 2"_s);
        QCOMPARE(run.socketSlot(1).status(), SocketSlot::listening);
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
        QSignalSpy ended(&run, &SubmissionRun::siteEnded);
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
        QTRY_COMPARE(run.socketSlot(0).status(), SocketSlot::connectionError);
        run.requestStop();
        run.onTick(); // No: the tick goes on and gives the failed slot the next site
        QCOMPARE(questions, 1);
        QCOMPARE(run.socketSlot(0).caption(), u"Never"_s);
        QTRY_COMPARE(run.socketSlot(0).status(), SocketSlot::successful);
        const qsizetype rowsBefore = log().count("<tr><td>");
        run.requestStop();
        run.requestStop();
        answer = true;
        run.onTick();
        QCOMPARE(questions, 2); // asked once per request, however often Stop was pressed
        QCOMPARE(cancelled.size(), 1);
        QVERIFY(!run.isRunning());
        QCOMPARE(run.socketSlot(2).caption(), u"Socket 3"_s);
        QTRY_COMPARE(m_farm.openRequests(), 0);
        QTest::qWait(6200); // past the deadline the cancelled transfers had: they report nothing
        QCOMPARE(log().count("<tr><td>"), rowsBefore);
        QVERIFY(!log().contains("</body></html>"));
        QCOMPARE(run.lastFailures(), QStringList{u"Fails"_s}); // the failures of a cancelled run count too
    }

    void record_aRunCutShortKeepsExactlyTheAcceptedBatches()
    {
        SubmissionRun& run =
            makeRun({{u"Fine"_s, u"/fine/indexnow"_s, u"POST"_s, u"x"_s, u"json"_s, u"200,202"_s},
                     {u"Stuck"_s, u"/hang/indexnow"_s, u"POST"_s, u"x"_s, u"json"_s}},
                    std::chrono::seconds(4));
        QString error;
        const auto store = HistoryStore::open(m_dir->filePath(u"history.db"_s), error);
        QVERIFY2(store, qPrintable(error));
        RunRecorder recorder(run, *store, u"window"_s, [] { return moment; });
        auto pages = std::make_shared<PageList>();
        pages->add("http://h/a", 1);
        pages->add("http://h/b", 2);
        const QList<WorkItem> items = {{u"Fine"_s, std::make_shared<PageBatch>(PageBatch{pages, {0}})},
                                       {u"Stuck"_s, std::make_shared<PageBatch>(PageBatch{pages, {1}})}};
        connect(&run, &SubmissionRun::stopQuestionDue, this, [&run] { run.answerStopQuestion(true); });
        Profile profile = m_profile;
        profile.value(ProfileField::Url) = u"http://h/"_s;
        profile.indexNowKey = u"abcd-1234"_s;
        QVERIFY(run.start(items, profile));
        run.onTick();
        QTRY_COMPARE(run.socketSlot(0).status(), SocketSlot::successful);
        run.requestStop();
        run.onTick(); // cancelled while the second batch hangs
        const auto sentTo = [&](const QString& site) {
            QStringList sent;
            store->forEachSent(profile.title, site, [&](QByteArrayView url, const HistoryStore::SentPage&) {
                sent << QString::fromUtf8(url);
            });
            return sent;
        };
        QCOMPARE(sentTo(u"Fine"_s), QStringList{u"http://h/a"_s});
        QCOMPARE(sentTo(u"Stuck"_s), QStringList());
        const HistoryStore::RunSummary recorded = store->runs().first();
        QCOMPARE(recorded.state, u"cancelled"_s);
        QCOMPARE(recorded.mode, u"changed pages"_s);
        QCOMPARE(store->results(recorded.id).size(), 1);
        QCOMPARE(store->resultUrls(recorded.id, 1), QStringList{u"http://h/a"_s});
        QVERIFY(recorder.failure().isEmpty());
    }

    void run_tickDueWhileAskingIsHeldBack()
    {
        SubmissionRun& run = makeRun({{u"One"_s, u"/ok"_s}, {u"Two"_s, u"/ok"_s}});
        QSignalSpy started(&run, &SubmissionRun::siteStarted);
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

    void preview_showsWhatWouldBeSent()
    {
        makeRun({{u"Odd"_s, u"/add"_s, u"get"_s, u"n=[name]&f=[fax]&h=[homepage]&N=[Name]"_s},
                 {u"Poster"_s, u"/p"_s, u"post"_s, u"n=[name]"_s},
                 {u"Notify"_s, u"/n"_s, u"post"_s, u"{\"k\":\"[key]\",\"n\":\"[name]\"}"_s, u"json"_s,
                  u"200,202"_s}});
        Profile profile;
        profile.value(ProfileField::Name) = u"Ann Lee"_s;
        QBuffer out;
        out.open(QIODevice::WriteOnly);
        RequestPreview::write(*m_catalogue, {1, 0, 2}, profile, out);
        RequestPreview::write(*m_catalogue, {}, profile, out);
        QCOMPARE(
            QString::fromUtf8(out.data()),
            u"1. Odd\n   Method: GET\n   URL: %1?n=Ann+Lee&f=&h=[homepage]&N=[Name]\n"
            u"   Empty profile fields: [fax]\n   Not placeholders, sent as they stand: [homepage], [Name]\n\n"
            u"2. Notify\n   Method: POST\n   URL: %3\n   Content-Type: application/json; charset=utf-8\n"
            u"   Body: {\"k\":\"\",\"n\":\"Ann Lee\"}\n   Accepted statuses: 200,202\n"
            u"   Cannot be sent: needs an IndexNow key: set it on the profile page\n\n"
            u"3. Poster\n   Method: POST\n   URL: %2\n   Body: n=Ann+Lee\n\nNo sites are selected.\n"_s.arg(
                m_farm.url(u"/add"_s), m_farm.url(u"/p"_s), m_farm.url(u"/n"_s)));
    }
};

QTEST_GUILESS_MAIN(TestSubmission)
#include "tst_submission.moc"
