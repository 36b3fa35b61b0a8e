#include "HttpTransferSlot.h"
#include "Profile.h"
#include "RequestComposer.h"
#include "RequestPreview.h"
#include "SiteDatabase.h"
#include "SiteFarm.h"
#include "SubmissionLog.h"
#include "TestSupport.h"

#include <QBuffer>
#include <QEventLoop>
#include <QFile>
#include <QJsonDocument>
#include <QJsonObject>
#include <QNetworkAccessManager>
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

class TestRequests : public QObject
{
    Q_OBJECT

private:
    SiteFarm m_farm;
    std::unique_ptr<QNetworkAccessManager> m_network; // each test's own: no connection lingers on
    std::unique_ptr<QTemporaryDir> m_dir;

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

private slots:

    void initTestCase()
    {
        QVERIFY(m_farm.listen());
        m_farm.route(u"/404"_s, SiteFarm::Behaviour::NotFound);
        m_farm.route(u"/pending/indexnow"_s, SiteFarm::Route::answering(202, {}));
        m_farm.route(u"/fine/indexnow"_s, SiteFarm::Route::answering(200, {}));
        m_farm.route(u"/indexnow"_s, SiteFarm::Behaviour::IndexNow);
        m_farm.route(u"/rpc"_s, SiteFarm::Behaviour::XmlRpcPing);
        m_farm.route(u"/bad/indexnow"_s, SiteFarm::Route::answering(400, "{\"message\":\"Bad request\"}"));
        m_farm.route(u"/hub"_s, SiteFarm::Behaviour::WebSubHub);
        m_farm.route(u"/slow-down"_s, SiteFarm::Route::answering(429, "{\"message\":\"Too Many Requests\"}"));
        m_farm.route(u"/busy"_s, SiteFarm::Route::answering(200, "FAIL: busy"));
        m_farm.route(u"/late"_s, SiteFarm::Route::answering(200, QByteArray(64 * 1024, ' ') + "FAIL: late"));
    }

    void init()
    {
        m_dir = std::make_unique<QTemporaryDir>();
        m_network = std::make_unique<QNetworkAccessManager>();
        QTRY_COMPARE_WITH_TIMEOUT(m_farm.openConnections(), 0, 10000); // earlier tests' connections gone
    }

    void cleanup() { m_network.reset(); }

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
        // An international host goes out in one form, the same in the host and the key's location.
        profile.value(ProfileField::Url) = u"http://B\u00fccher.example/"_s;
        QCOMPARE(RequestComposer(profile).fill(u"[host] [keylocation]"_s, RequestComposer::Encoding::Text),
                 u"xn--bcher-kva.example http://xn--bcher-kva.example/k3y-0123.txt"_s);
        QCOMPARE(RequestComposer(profile).fill(u"[url]"_s, RequestComposer::Encoding::Text),
                 u"http://B\u00fccher.example/"_s); // the address itself, as typed
        // The IndexNow row's body carries the address in that form as well; other rows keep it as typed.
        const QList<PromoSite> bundled = TestData::bundledSites();
        QCOMPARE(RequestComposer(profile).compose(bundled.at(0)).data,
                 u"{\"host\":\"xn--bcher-kva.example\",\"key\":\"k3y-0123\",\"keyLocation\":\"http://"
                 u"xn--bcher-kva.example/k3y-0123.txt\",\"urlList\":[\"http://xn--bcher-kva.example/\"]}"_s);
        QVERIFY(
            RequestComposer(profile).compose(bundled.at(1)).data.contains(u"url=http%3A%2F%2FB%C3%BCcher"_s));
    }

    void compose_isTheSameWhateverCameBefore()
    {
        Profile profile;
        profile.value(ProfileField::Name) = u"Ann & Co"_s;
        profile.value(ProfileField::Url) = u"HTTP://Example.COM:80/a"_s; // its normal form differs
        // One text in every encoding, to an ordinary site and to IndexNow, which takes the
        // address in its normal form; then more templates than a composer keeps.
        const QString shared = u"u=[url]&n=[name]&f=[fax]&k=[key]&x=[Odd]"_s;
        QList<PromoSite> sites;
        for (const QString& encoding : {u""_s, u"json"_s, u"xml"_s, u"text"_s, u"yaml"_s}) {
            for (const QString& action : {u"http://h/add"_s, u"http://h/indexnow"_s})
                sites << PromoSite{u"s"_s, u"engine"_s, shared, u"post"_s, action, encoding};
        }
        for (int i = 0; i < 300; ++i)
            sites << PromoSite{u"s"_s, u"engine"_s, u"v%1=[name]&[fax]"_s.arg(i), u"get"_s, u"http://h/"_s};
        const RequestComposer composer(profile);
        for (int round = 0; round < 2; ++round) {
            for (const PromoSite& site : std::as_const(sites)) {
                RequestComposer::Filled kept;
                RequestComposer::Filled anew;
                const SubmissionRequest request = composer.compose(site, &kept);
                const SubmissionRequest expected = RequestComposer(profile).compose(site, &anew);
                QCOMPARE(request.data, expected.data);
                QCOMPARE(request.unsendable, expected.unsendable);
                QCOMPARE(kept.emptyPlaceholders + kept.unknownPlaceholders + kept.lackingKeys,
                         anew.emptyPlaceholders + anew.unknownPlaceholders + anew.lackingKeys);
                QCOMPARE(composer.lackingKeys(site), anew.lackingKeys);
            }
        }
        // The same text to IndexNow is filled otherwise: the address in its normal form.
        QVERIFY(composer.compose(sites.at(0)).data != composer.compose(sites.at(1)).data);
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
        const QList<PromoSite> bundled = TestData::bundledSites();
        const PromoSite pingOMatic =
            *std::find_if(bundled.cbegin(), bundled.cend(),
                          [](const PromoSite& site) { return site.sitename == u"Ping-O-Matic"_s; });
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
        QTest::newRow("IndexNow 400")
            << site(u"/bad/indexnow"_s, indexNow, u"json"_s, u"200,202"_s) << failed
            << u"HTTP 400 Bad Request: the request is not in the IndexNow format (the site "
               u"said: {\"message\":\"Bad request\"})"_s;
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

    void answers_retryAfterIsATimeOrNothing_data()
    {
        QTest::addColumn<QByteArray>("header");
        QTest::addColumn<QString>("kept");
        QTest::newRow("seconds") << QByteArray(" 120 ") << u"120"_s;
        QTest::newRow("an HTTP date")
            << QByteArray("Wed, 21 Oct 2026 07:28:00 GMT") << u"Wed, 21 Oct 2026 07:28:00 GMT"_s;
        QTest::newRow("the old date form")
            << QByteArray("Wednesday, 21-Oct-26 07:28:00 GMT") << u"Wed, 21 Oct 2026 07:28:00 GMT"_s;
        QTest::newRow("asctime") << QByteArray("Wed Oct 21 07:28:00 2026")
                                 << u"Wed, 21 Oct 2026 07:28:00 GMT"_s;
        QTest::newRow("words") << QByteArray("soon") << QString();
        QTest::newRow("negative") << QByteArray("-5") << QString();
        QTest::newRow("60 KB of digits") << QByteArray(60000, '9') << QString();
        QTest::newRow("an escape sequence") << QByteArray("\x1b[2J") << QString();
    }

    void answers_retryAfterIsATimeOrNothing()
    {
        QFETCH(QByteArray, header);
        QFETCH(QString, kept);
        QCOMPARE(AnswerRule::retryAfter(header), kept);
        const Verdict verdict = AnswerRule().judge(429, u"Too Many Requests"_s, QByteArray(), header);
        QCOMPARE(verdict.retryAfter, kept);
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
            << u"get"_s << u"http://h/a"_s << u"q=two words#frag&p=100%&ok=%41ü&del=\x7f~"_s
            << QByteArray("http://h/a?q=two%20words%23frag&p=100%25&ok=A%C3%BC&del=%7F~") << QByteArray();
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

    void preview_showsWhatWouldBeSent()
    {
        TestData::writeCatalogue(
            m_dir->filePath(u"orvd.dll"_s),
            {PromoSite{u"Odd"_s, u"engine"_s, u"n=[name]&f=[fax]&h=[homepage]&N=[Name]"_s, u"get"_s,
                       m_farm.url(u"/add"_s)},
             PromoSite{u"Poster"_s, u"engine"_s, u"n=[name]"_s, u"post"_s, m_farm.url(u"/p"_s)},
             PromoSite{u"Notify"_s, u"engine"_s, u"{\"k\":\"[key]\",\"n\":\"[name]\"}"_s, u"post"_s,
                       m_farm.url(u"/n"_s), u"json"_s, u"200,202"_s}});
        QString error;
        const auto catalogue = SiteDatabase::open(m_dir->filePath(u"orvd.dll"_s), error);
        QVERIFY2(catalogue, qPrintable(error));
        Profile profile;
        profile.value(ProfileField::Name) = u"Ann Lee"_s;
        QBuffer out;
        out.open(QIODevice::WriteOnly);
        RequestPreview::write(*catalogue, {1, 0, 2}, profile, out);
        RequestPreview::write(*catalogue, {}, profile, out);
        profile.indexNowKey = u"bad key/../x"_s; // edited by hand: never sent
        RequestPreview::write(*catalogue, {0}, profile, out);
        QCOMPARE(
            QString::fromUtf8(out.data()),
            u"1. Odd\n   Method: GET\n   URL: %1?n=Ann+Lee&f=&h=[homepage]&N=[Name]\n"
            u"   Empty profile fields: [fax]\n   Not placeholders, sent as they stand: [homepage], [Name]\n\n"
            u"2. Notify\n   Method: POST\n   URL: %3\n   Content-Type: application/json; charset=utf-8\n"
            u"   Body: {\"k\":\"\",\"n\":\"Ann Lee\"}\n   Accepted statuses: 200,202\n"
            u"   Cannot be sent: needs an IndexNow key, and the profile has none yet\n\n"
            u"3. Poster\n   Method: POST\n   URL: %2\n   Body: n=Ann+Lee\n\nNo sites are selected.\n"
            u"1. Notify\n   Method: POST\n   URL: %3\n   Content-Type: application/json; charset=utf-8\n"
            u"   Body: {\"k\":\"bad key/../x\",\"n\":\"Ann Lee\"}\n   Accepted statuses: 200,202\n"
            u"   Cannot be sent: needs a valid IndexNow key (8 to 128 letters, digits or hyphens), and the "
            u"profile's is not\n\n"_s.arg(m_farm.url(u"/add"_s), m_farm.url(u"/p"_s), m_farm.url(u"/n"_s)));
    }
};

QTEST_GUILESS_MAIN(TestRequests)
#include "tst_requests.moc"
