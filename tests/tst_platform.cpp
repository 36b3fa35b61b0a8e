#include "AppPaths.h"
#include "HttpFetch.h"
#include "SettingsStore.h"
#include "SiteFarm.h"
#include "TestSupport.h"

#include <QDir>
#include <QNetworkAccessManager>
#include <QSettings>
#include <QSignalSpy>
#include <QStandardPaths>
#include <QTest>

#include <memory>

using namespace Qt::StringLiterals;
using Headers = QList<QPair<QByteArray, QByteArray>>;

class TestPlatform : public QObject
{
    Q_OBJECT

private:
    std::unique_ptr<TempSettings> m_temp;
    SiteFarm m_farm;
    QNetworkAccessManager m_network;

    FetchResult fetch(const FetchRequest& request)
    {
        HttpFetch fetch(m_network);
        QSignalSpy finished(&fetch, &HttpFetch::finished);
        fetch.start(request);
        if (!finished.isEmpty() || !fetch.isRunning())
            return FetchResult{false, -1, {}, {}, 0, u"ended inside start()"_s, {}, {}};
        if (!finished.wait(10000))
            return FetchResult{false, -1, {}, {}, 0, u"never ended"_s, {}, {}};
        QTest::qWait(20);
        if (finished.size() != 1 || fetch.isRunning())
            return FetchResult{false, -1, {}, {}, 0, u"ended twice"_s, {}, {}};
        return finished.first().first().value<FetchResult>();
    }

private slots:
    void init() { m_temp = std::make_unique<TempSettings>(); }
    void cleanup() { m_temp.reset(); }

    void initTestCase()
    {
        QVERIFY(m_farm.listen());
        m_farm.route(u"/404"_s, SiteFarm::Behaviour::NotFound);
        m_farm.route(u"/redirect"_s, SiteFarm::Route(SiteFarm::Behaviour::Redirect, "/ok"));
        m_farm.route(u"/loop"_s, SiteFarm::Behaviour::RedirectLoop);
        m_farm.route(u"/hang"_s, SiteFarm::Behaviour::Hang);
        m_farm.route(u"/trickle"_s, SiteFarm::Route(SiteFarm::Behaviour::Trickle, {}, 100, 200));
        m_farm.route(u"/reset"_s, SiteFarm::Behaviour::ResetMidBody);
        m_farm.route(u"/cut"_s, SiteFarm::Behaviour::CutShort);
        m_farm.route(u"/malformed"_s, SiteFarm::Behaviour::MalformedStatus);
        m_farm.route(u"/huge"_s, SiteFarm::Route(SiteFarm::Behaviour::HugeBody, {}, 20 * 1024 * 1024));
        for (const char* scheme :
             {"file:///etc/passwd", "ftp://127.0.0.1/x", "data:text/plain,hi", "javascript:alert(1)"})
            m_farm.route(u"/to-"_s + QString::fromLatin1(scheme).section(u':', 0, 0),
                         SiteFarm::Route(SiteFarm::Behaviour::Redirect, scheme));
    }

    void settings_roundTripThroughANewStore_data()
    {
        QTest::addColumn<QString>("value");
        QTest::newRow("empty") << QString();
        QTest::newRow("blanks kept") << u"  padded  "_s;
        QTest::newRow("line breaks") << u"first line\r\nsecond\nthird"_s;
        QTest::newRow("backslashes") << u"Business & Economy\\Companies\\"_s;
        QTest::newRow("separators and quotes") << u"a=b; c=d, \"quoted\" #[title]"_s;
        QTest::newRow("non-ASCII") << u"Müller & Söhne – 東京"_s;
        QTest::newRow("the free marker") << u"none"_s;
    }

    void settings_roundTripThroughANewStore()
    {
        QFETCH(QString, value);
        QVERIFY(SettingsStore().setValue(u"3"_s, u"description"_s, value));
        QCOMPARE(SettingsStore().value(u"3"_s, u"description"_s, u"default"_s), value);
    }

    void settings_keyNamesMatchWithoutRegardToCase()
    {
        SettingsStore store;
        QVERIFY(store.setValue(u"1"_s, u"Title"_s, u"My site"_s));
        QCOMPARE(store.value(u"1"_s, u"TITLE"_s), u"My site"_s);
        QCOMPARE(store.value(u"1"_s, u"name"_s, u"none"_s), u"none"_s);
        // Writing under another spelling updates the stored key instead of adding a second one.
        QVERIFY(store.setValue(u"1"_s, u"title"_s, u"Renamed"_s));
        QSettings raw(m_temp->file(), QSettings::IniFormat);
        QCOMPARE(raw.allKeys(), QStringList{u"1/Title"_s});
        QVERIFY(store.removeSection(u"1"_s));
        QCOMPARE(store.value(u"1"_s, u"title"_s, u"none"_s), u"none"_s);
    }

    void settings_unparsableFileIsKeptBeforeFirstWrite()
    {
        const QByteArray original =
            "[1]\ntitle=Kept\nkeywords=seo,web,promotion\nno equals sign\n\x01\x02 garbage\n";
        TestData::writeFile(m_temp->file(), original);
        SettingsStore store;
        QCOMPARE(store.value(u"1"_s, u"title"_s), u"Kept"_s);
        QCOMPARE(store.value(u"1"_s, u"keywords"_s),
                 u"seo,web,promotion"_s);                    // hand-edited commas read as text
        QVERIFY(!QFile::exists(m_temp->file() + u".bak"_s)); // reading alone changes nothing
        QVERIFY(store.setValue(u"1"_s, u"name"_s, u"Ann"_s));
        QCOMPARE(TestData::readFile(m_temp->file() + u".bak"_s), original);
        QCOMPARE(SettingsStore().value(u"1"_s, u"title"_s), u"Kept"_s);
    }

    void settings_unusableFileIsReported()
    {
        QVERIFY(SettingsStore().readProblem().isEmpty()); // no file yet: nothing wrong
        QVERIFY(QDir().mkpath(m_temp->file()));           // a directory where the file should be
        SettingsStore store;
        QVERIFY(!store.setValue(u"1"_s, u"title"_s, u"lost"_s));
        QVERIFY(!store.removeSection(u"1"_s));
        QCOMPARE(store.readProblem(), u"The settings file \"%1\" is a directory."_s.arg(m_temp->file()));
    }

    void paths_joinWithOneSeparator_data()
    {
        QTest::addColumn<QString>("home");
        QTest::addColumn<QString>("catalogue");
        QTest::newRow("file-system root") << u"/"_s << u"/orvd.dll"_s;
        QTest::newRow("plain directory") << u"/opt/orvanta"_s << u"/opt/orvanta/orvd.dll"_s;
        QTest::newRow("trailing separator") << u"/opt/orvanta/"_s << u"/opt/orvanta/orvd.dll"_s;
        QTest::newRow("drive root") << u"C:/"_s << u"C:/orvd.dll"_s;
    }

    void paths_joinWithOneSeparator()
    {
        QFETCH(QString, home);
        QFETCH(QString, catalogue);
        const AppPaths paths(home);
        QCOMPARE(paths.catalogueFile(), catalogue);
        QCOMPARE(paths.runLogFile(), QString(catalogue).replace(u"orvd.dll"_s, u"sublog.htm"_s));
        QCOMPARE(paths.upgradeFile(), QString(catalogue).replace(u"orvd.dll"_s, u"orvd.upg"_s));
    }

    void paths_onlyAPortableCopyWritesBesideItself()
    {
        QStandardPaths::setTestModeEnabled(true);
        QTemporaryDir program;
        // Installed, even where it could write (as root): its files go to the user's directory.
        const AppPaths installed = AppPaths::forProgramIn(program.path());
        QCOMPARE(installed.catalogueFile(), program.filePath(u"orvd.dll"_s));
        QVERIFY2(!installed.runLogFile().startsWith(program.path()), qPrintable(installed.runLogFile()));
        QVERIFY(!installed.upgradeFile().startsWith(program.path()));
        TestData::writeFile(program.filePath(AppPaths::portableMarker), {});
        QCOMPARE(AppPaths::forProgramIn(program.path()).runLogFile(), program.filePath(u"sublog.htm"_s));
    }

    void fetch_endings_data()
    {
        QTest::addColumn<QString>("url");
        QTest::addColumn<bool>("post");
        QTest::addColumn<int>("status"); // 0: no complete response
        QTest::addColumn<QString>("error");
        QTest::newRow("200") << m_farm.url(u"/ok"_s) << false << 200 << QString();
        QTest::newRow("redirect to 200") << m_farm.url(u"/redirect"_s) << true << 200 << QString();
        QTest::newRow("20 MB body to a POST") << m_farm.url(u"/huge"_s) << true << 200 << QString();
        QTest::newRow("404 is a complete response") << m_farm.url(u"/404"_s) << false << 404 << QString();
        QTest::newRow("redirect loop") << m_farm.url(u"/loop"_s) << false << 0 << u"Too many redirects"_s;
        QTest::newRow("never answers")
            << m_farm.url(u"/hang"_s) << false << 0 << u"No complete response within 1.5 seconds"_s;
        QTest::newRow("trickles past the deadline")
            << m_farm.url(u"/trickle"_s) << true << 0 << u"No complete response within 1.5 seconds"_s;
        QTest::newRow("reset mid-body") << m_farm.url(u"/reset"_s) << false << 0 << u"closed"_s;
        QTest::newRow("closed mid-body") << m_farm.url(u"/cut"_s) << true << 0 << u"Connection closed"_s;
        QTest::newRow("malformed status line") << m_farm.url(u"/malformed"_s) << false << 0 << QString();
        QTest::newRow("refused") << SiteFarm::refusedUrl() << false << 0 << u"Connection refused"_s;
        QTest::newRow("unsupported scheme")
            << u"ftp://127.0.0.1/add"_s << false << 0 << u"Unsupported protocol \"ftp\""_s;
        QTest::newRow("no host") << u"http:///add"_s << false << 0 << u"Invalid URL: http:///add"_s;
        for (const QString& scheme : {u"file"_s, u"ftp"_s, u"data"_s, u"javascript"_s})
            QTest::newRow(qPrintable(u"redirect to "_s + scheme))
                << m_farm.url(u"/to-"_s + scheme) << false << 0 << u"Redirected to \"%1:"_s.arg(scheme);
    }

    void fetch_endings()
    {
        QFETCH(QString, url);
        QFETCH(bool, post);
        QFETCH(int, status);
        QFETCH(QString, error);
        FetchRequest request;
        request.url = QUrl::fromEncoded(url.toUtf8(), QUrl::StrictMode);
        request.post = post;
        request.deadline = std::chrono::milliseconds(1500);
        const FetchResult result = fetch(request);
        QVERIFY2(result.status != -1, qPrintable(result.error));
        QCOMPARE(result.complete, status != 0);
        QVERIFY2(result.complete == result.error.isEmpty(), qPrintable(result.error));
        if (status != 0)
            QCOMPARE(result.status, status);
        QVERIFY2(result.error.contains(error, Qt::CaseInsensitive), qPrintable(result.error));
    }

    void fetch_completenessRules_data()
    {
        QTest::addColumn<Headers>("headers");
        QTest::addColumn<qint64>("received");
        QTest::addColumn<bool>("statusReceived");
        QTest::addColumn<int>("error");
        QTest::addColumn<QString>("why");
        const Headers declared{{"Content-Length", "1000"}};
        QTest::newRow("all bytes") << declared << qint64(1000) << true << 0 << QString();
        QTest::newRow("Qt says done, bytes short")
            << declared << qint64(100) << true << 0 << u"Connection closed after 100 of 1000 bytes"_s;
        QTest::newRow("coded body arrives decoded")
            << Headers{{"content-length", "10"}, {"Content-Encoding", "gzip"}} << qint64(4000) << true << 0
            << QString();
        QTest::newRow("identity coding is counted")
            << Headers{{"content-length", "10"}, {"Content-Encoding", "identity"}} << qint64(5) << true << 0
            << u"Connection closed after 5 of 10 bytes"_s;
        QTest::newRow("no declared length") << Headers{} << qint64(3) << true << 0 << QString();
        QTest::newRow("an HTTP error status is complete")
            << declared << qint64(1000) << true << int(QNetworkReply::ContentNotFoundError) << QString();
        QTest::newRow("a server error status is complete")
            << declared << qint64(1000) << true << int(QNetworkReply::ServiceUnavailableError) << QString();
        QTest::newRow("transport error after the status")
            << declared << qint64(1000) << true << int(QNetworkReply::RemoteHostClosedError)
            << u"Qt's text"_s;
        QTest::newRow("no status") << Headers{} << qint64(0) << false << 0 << u"Qt's text"_s;
        QTest::newRow("redirect not followed")
            << Headers{{"Location", "ftp://h/x"}} << qint64(0) << true
            << int(QNetworkReply::ProtocolUnknownError)
            << u"Redirected to \"ftp://h/x\", which is not a web address"_s;
    }

    void fetch_completenessRules()
    {
        QFETCH(Headers, headers);
        QFETCH(qint64, received);
        QFETCH(bool, statusReceived);
        QFETCH(int, error);
        QFETCH(QString, why);
        FetchResult ended;
        ended.headers = headers;
        ended.bodySize = received;
        QCOMPARE(HttpFetch::whyIncomplete(ended, statusReceived, QNetworkReply::NetworkError(error),
                                          u"Qt's text"_s),
                 why);
    }

    void fetch_bodyIsCappedAndKept()
    {
        FetchRequest request;
        request.url = QUrl(m_farm.url(u"/huge"_s));
        request.keepBytes = 10;
        FetchResult result = fetch(request);
        QVERIFY2(result.complete, qPrintable(result.error));
        QCOMPARE(result.body, QByteArray(10, 'z'));
        QCOMPARE(result.bodySize, 20 * 1024 * 1024);
        request.maxBytes = 1024 * 1024;
        result = fetch(request);
        QVERIFY(!result.complete);
        QCOMPARE(result.error, u"The answer is longer than 1048576 bytes"_s);
    }

    void fetch_cancelReportsNothing()
    {
        HttpFetch fetch(m_network);
        QSignalSpy finished(&fetch, &HttpFetch::finished);
        FetchRequest request;
        request.url = QUrl(m_farm.url(u"/hang"_s));
        request.deadline = std::chrono::milliseconds(1000);
        QTRY_COMPARE_WITH_TIMEOUT(m_farm.openConnections(), 0, 10000); // earlier tests' connections gone
        const qsizetype before = m_farm.requests().size();
        fetch.start(request);
        QTRY_VERIFY(m_farm.requests().size() > before); // the request is on its connection
        fetch.cancel();
        QVERIFY(!fetch.isRunning());
        request.url = QUrl(u"ftp://127.0.0.1/"_s); // a failure reported later, then cancelled too
        fetch.start(request);
        fetch.cancel();
        QTest::qWait(1200); // past the deadline of the first
        QCOMPARE(finished.size(), 0);
        QTRY_COMPARE_WITH_TIMEOUT(m_farm.openConnections(), 0, 10000);
    }
};

QTEST_GUILESS_MAIN(TestPlatform)
#include "tst_platform.moc"
