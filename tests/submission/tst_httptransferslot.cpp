#include "HttpTransferSlot.h"
#include "SiteFarm.h"
#include "SubmissionRequest.h"

#include <QNetworkAccessManager>
#include <QSignalSpy>
#include <QTest>

using namespace Qt::StringLiterals;
using namespace std::chrono_literals;

namespace {
constexpr auto shortDeadline = 1500ms;

TransferRequest get(const QString& url)
{
    return TransferRequest::from({u"site"_s, u"get"_s, url, u"a=1"_s, QString()});
}
} // namespace

class TestHttpTransferSlot : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();

    void everyEnding_isOneEventWithItsDetail_data();
    void everyEnding_isOneEventWithItsDetail();
    void requestBytes_areExactlyWhatWasComposed();
    void cancel_reportsNothingAndStopsAtOnce();
    void failedSlot_isFreeOnlyOnceItsTransferHasStopped();

private:
    SiteFarm m_farm;
    QNetworkAccessManager m_network;
};

void TestHttpTransferSlot::initTestCase()
{
    QVERIFY(m_farm.listen());
    m_farm.route(u"/404"_s, SiteFarm::Behaviour::NotFound);
    m_farm.route(u"/500"_s, SiteFarm::Behaviour::ServerError);
    m_farm.route(u"/redirect"_s, SiteFarm::Route{SiteFarm::Behaviour::Redirect, "/ok", 0, 0});
    m_farm.route(u"/loop"_s, SiteFarm::Behaviour::RedirectLoop);
    m_farm.route(u"/hang"_s, SiteFarm::Behaviour::Hang);
    m_farm.route(u"/trickle"_s, SiteFarm::Route{SiteFarm::Behaviour::Trickle, {}, 100, 200});
    m_farm.route(u"/reset"_s, SiteFarm::Behaviour::ResetMidBody);
    m_farm.route(u"/malformed"_s, SiteFarm::Behaviour::MalformedStatus);
    m_farm.route(u"/huge"_s, SiteFarm::Route{SiteFarm::Behaviour::HugeBody, {}, 50 * 1024 * 1024, 0});
}

void TestHttpTransferSlot::everyEnding_isOneEventWithItsDetail_data()
{
    QTest::addColumn<QString>("url");
    QTest::addColumn<int>("state");
    QTest::addColumn<QString>("detail");
    QTest::newRow("200") << m_farm.url(u"/ok"_s) << 12 << QString();
    QTest::newRow("redirect to 200") << m_farm.url(u"/redirect"_s) << 12 << QString();
    QTest::newRow("50 MB body") << m_farm.url(u"/huge"_s) << 12 << QString();
    QTest::newRow("404") << m_farm.url(u"/404"_s) << 11 << u"HTTP 404 Not Found"_s;
    QTest::newRow("500") << m_farm.url(u"/500"_s) << 11 << u"HTTP 500 Internal Server Error"_s;
    QTest::newRow("redirect loop") << m_farm.url(u"/loop"_s) << 11 << u"Too many redirects"_s;
    QTest::newRow("never answers") << m_farm.url(u"/hang"_s) << 11
                                   << u"No complete response within 1.5 seconds"_s;
    QTest::newRow("trickles past the deadline")
        << m_farm.url(u"/trickle"_s) << 11 << u"No complete response within 1.5 seconds"_s;
    QTest::newRow("reset mid-body") << m_farm.url(u"/reset"_s) << 11 << u"closed"_s;
    QTest::newRow("malformed status line") << m_farm.url(u"/malformed"_s) << 11 << QString();
    QTest::newRow("refused") << SiteFarm::refusedUrl() << 11 << u"Connection refused"_s;
    QTest::newRow("unsupported scheme")
        << u"ftp://127.0.0.1/add"_s << 11 << u"Unsupported protocol \"ftp\""_s;
    QTest::newRow("no host") << u"http:///add"_s << 11 << u"Invalid URL"_s;
}

void TestHttpTransferSlot::everyEnding_isOneEventWithItsDetail()
{
    QFETCH(QString, url);
    QFETCH(int, state);
    QFETCH(QString, detail);
    HttpTransferSlot slot(m_network, shortDeadline);
    QSignalSpy ended(&slot, &TransferSlot::stateChanged);
    slot.execute(get(url));
    QVERIFY(slot.stillExecuting());
    QCOMPARE(ended.count(), 0); // never from inside execute()

    QVERIFY(ended.wait(10000));
    QCOMPARE(ended.first().first().toInt(), state);
    QVERIFY(!slot.stillExecuting());
    if (state == TransferSlot::icError) {
        QVERIFY2(!slot.errorDetail().isEmpty(), "a failure always says why");
        QVERIFY2(slot.errorDetail().contains(detail, Qt::CaseInsensitive), qPrintable(slot.errorDetail()));
    }
    QTest::qWait(50);
    QCOMPARE(ended.count(), 1);
}

void TestHttpTransferSlot::requestBytes_areExactlyWhatWasComposed()
{
    HttpTransferSlot slot(m_network, shortDeadline);
    QSignalSpy ended(&slot, &TransferSlot::stateChanged);
    const qsizetype before = m_farm.requests().size();

    slot.execute(TransferRequest::from(
        {u"p"_s, u"post"_s, m_farm.url(u"/post"_s), u"c=R%26D+Ltd&t=Z%C3%BCrich ~"_s, QString()}));
    QVERIFY(ended.wait(5000));
    slot.execute(
        TransferRequest::from({u"g"_s, u"get"_s, m_farm.url(u"/get"_s), u"e=a%7Eb&n=%41+c"_s, QString()}));
    QVERIFY(ended.wait(5000));

    QCOMPARE(m_farm.requests().size(), before + 2);
    const QByteArray post = m_farm.requests().at(before);
    QVERIFY2(post.startsWith("POST /post HTTP/1.1\r\n"), post.constData());
    QVERIFY(post.contains("\r\nContent-Type: application/x-www-form-urlencoded\r\n"));
    QVERIFY(post.endsWith("\r\n\r\nc=R%26D+Ltd&t=Z%C3%BCrich ~"));
    const QByteArray getRequest = m_farm.requests().at(before + 1);
    const TransferRequest composedGet =
        TransferRequest::from({u"g"_s, u"get"_s, m_farm.url(u"/get"_s), u"e=a%7Eb&n=%41+c"_s, QString()});
    QVERIFY(composedGet.url.endsWith("/get?e=a~b&n=A+c"));
    QVERIFY2(getRequest.startsWith("GET /get?e=a~b&n=A+c HTTP/1.1\r\n"), getRequest.constData());
    QVERIFY(getRequest.contains("\r\nContent-Type: application/x-www-form-urlencoded\r\n"));
}

void TestHttpTransferSlot::cancel_reportsNothingAndStopsAtOnce()
{
    HttpTransferSlot slot(m_network, shortDeadline);
    QSignalSpy ended(&slot, &TransferSlot::stateChanged);
    slot.execute(get(m_farm.url(u"/hang"_s)));
    QTRY_VERIFY(m_farm.openConnections() > 0);
    slot.cancel();
    QVERIFY(!slot.stillExecuting());
    slot.execute(get(u"ftp://127.0.0.1/"_s)); // a failure queued, then cancelled too
    slot.cancel();
    QTest::qWait(2000); // past the deadline of the first transfer
    QCOMPARE(ended.count(), 0);
}

void TestHttpTransferSlot::failedSlot_isFreeOnlyOnceItsTransferHasStopped()
{
    HttpTransferSlot slot(m_network, shortDeadline);
    QSignalSpy ended(&slot, &TransferSlot::stateChanged);
    bool executingWhenReported = true;
    connect(&slot, &TransferSlot::stateChanged, this, [&] { executingWhenReported = slot.stillExecuting(); });
    slot.execute(get(SiteFarm::refusedUrl()));
    QVERIFY(ended.wait(5000));
    QVERIFY(!executingWhenReported);
}

QTEST_GUILESS_MAIN(TestHttpTransferSlot)
#include "tst_httptransferslot.moc"
