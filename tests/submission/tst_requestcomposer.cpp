#include "CatalogueFixture.h"
#include "FixedProfile.h"
#include "RequestComposer.h"
#include "SiteDatabase.h"

#include <QTemporaryDir>
#include <QTest>

using namespace Qt::StringLiterals;

using FieldValues = QList<std::pair<ProfileField, QString>>;

class TestRequestComposer : public QObject
{
    Q_OBJECT

private slots:
    void fillTemplate_data();
    void fillTemplate();
    void fillTemplate_replacesTheSeventeenInTheirOrder();
    void compose_readsTheRowAndLowersTheMethod_data();
    void compose_readsTheRowAndLowersTheMethod();
    void transfer_buildsTheBytesThatGoOut_data();
    void transfer_buildsTheBytesThatGoOut();
};

void TestRequestComposer::fillTemplate_data()
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
    QTest::newRow("empty field leaves an empty value") << u"n=[name]&c=[company]"_s << ann << u"n=Ann&c="_s;
    QTest::newRow("ampersand and space")
        << u"c=[company]"_s << FieldValues{{ProfileField::Company, u"R&D Ltd"_s}} << u"c=R%26D+Ltd"_s;
    QTest::newRow("equals, plus, percent")
        << u"k=[keywords]"_s << FieldValues{{ProfileField::Keywords, u"a=b+c 100%"_s}}
        << u"k=a%3Db%2Bc+100%25"_s;
    QTest::newRow("unreserved kept, others escaped")
        << u"e=[email]"_s << FieldValues{{ProfileField::Email, u"a.b-c_d*e~f@127.0.0.1"_s}}
        << u"e=a.b-c_d*e%7Ef%40127.0.0.1"_s;
    QTest::newRow("non-ASCII as UTF-8")
        << u"t=[title]"_s << FieldValues{{ProfileField::WebsiteTitle, u"Zürich €"_s}}
        << u"t=Z%C3%BCrich+%E2%82%AC"_s;
    QTest::newRow("line breaks") << u"d=[description]"_s
                                 << FieldValues{{ProfileField::Description, u"a\r\nb"_s}} << u"d=a%0D%0Ab"_s;
    QTest::newRow("inserted value is not taken for a later placeholder")
        << u"s=[state]&n=[name]"_s
        << FieldValues{{ProfileField::State, u"[name]"_s}, {ProfileField::Name, u"Ann"_s}}
        << u"s=%5Bname%5D&n=Ann"_s;
}

void TestRequestComposer::fillTemplate()
{
    QFETCH(QString, requestTemplate);
    QFETCH(FieldValues, values);
    QFETCH(QString, expected);
    FixedProfile profile;
    for (const auto& [field, value] : values)
        profile.set(field, value);
    QCOMPARE(RequestComposer::fillTemplate(requestTemplate, profile), expected);
}

void TestRequestComposer::fillTemplate_replacesTheSeventeenInTheirOrder()
{
    FixedProfile profile;
    for (int i = 0; i < profileFieldCount; ++i)
        profile.set(ProfileField(i), u"v%1"_s.arg(i));
    const QString filled = RequestComposer::fillTemplate(
        u"[state][name][major][description][city][section][email][url][company][phone][country][address]"
        u"[title][zip][fax][keywords][type]"_s,
        profile);
    const auto v = [&](ProfileField field) { return profile.fieldText(field); };
    QCOMPARE(filled, v(ProfileField::State) + v(ProfileField::Name) + v(ProfileField::MajorCategory) +
                         v(ProfileField::Description) + v(ProfileField::City) + v(ProfileField::FfaCategory) +
                         v(ProfileField::Email) + v(ProfileField::Url) + v(ProfileField::Company) +
                         v(ProfileField::Phone) + v(ProfileField::Country) + v(ProfileField::Address) +
                         v(ProfileField::WebsiteTitle) + v(ProfileField::Zip) + v(ProfileField::Fax) +
                         v(ProfileField::Keywords) + v(ProfileField::SiteType));
}

void TestRequestComposer::compose_readsTheRowAndLowersTheMethod_data()
{
    QTest::addColumn<QString>("method");
    QTest::addColumn<bool>("post");
    QTest::newRow("POST") << u"POST"_s << true;
    QTest::newRow("PoSt") << u"PoSt"_s << true;
    QTest::newRow("post") << u"post"_s << true;
    QTest::newRow("GET") << u"GET"_s << false;
    QTest::newRow("empty") << QString(u""_s) << false;
    QTest::newRow("PUT") << u"PUT"_s << false;
}

void TestRequestComposer::compose_readsTheRowAndLowersTheMethod()
{
    QFETCH(QString, method);
    QFETCH(bool, post);
    QTemporaryDir dir;
    const QString file = dir.filePath(u"orvd.dll"_s);
    CatalogueFixture::write(file, {PromoSite{u"O'Site"_s, u"list"_s, u"u=[url]&n=[name]"_s, method,
                                             u"http://127.0.0.1:9/Add?x=1"_s, u"http://127.0.0.1/referer"_s},
                                   CatalogueFixture::site(u"Other"_s)});
    QString error;
    auto catalogue = SiteDatabase::open(file, error);
    QVERIFY(catalogue);
    catalogue->findFirst(u"Other"_s);

    FixedProfile profile;
    profile.set(ProfileField::Url, u"http://127.0.0.1/me"_s).set(ProfileField::Name, u"Ann"_s);
    const SubmissionRequest request = RequestComposer::compose(*catalogue, u"O'Site"_s, profile);
    QCOMPARE(request.siteName, u"O'Site"_s);
    QCOMPARE(request.method, method.toLower());
    QCOMPARE(request.isPost(), post);
    QCOMPARE(request.url, u"http://127.0.0.1:9/Add?x=1"_s);
    QCOMPARE(request.data, u"u=http%3A%2F%2F127.0.0.1%2Fme&n=Ann"_s); // the referer plays no part
}

void TestRequestComposer::transfer_buildsTheBytesThatGoOut_data()
{
    QTest::addColumn<QString>("method");
    QTest::addColumn<QString>("url");
    QTest::addColumn<QString>("data");
    QTest::addColumn<QByteArray>("target");
    QTest::addColumn<QByteArray>("body");
    QTest::newRow("GET") << u"get"_s << u"http://h/add"_s << u"a=1&b=2"_s
                         << QByteArray("http://h/add?a=1&b=2") << QByteArray();
    QTest::newRow("GET with empty data")
        << u"get"_s << u"http://h/add"_s << QString() << QByteArray("http://h/add?") << QByteArray();
    QTest::newRow("GET to an address with a query")
        << u"get"_s << u"http://h/a?x=1"_s << u"n=2"_s << QByteArray("http://h/a?x=1?n=2") << QByteArray();
    // An escaped unreserved character goes out as the character itself, as the URL layer sends it.
    QTest::newRow("GET escapes what a target cannot carry")
        << u"get"_s << u"http://h/a"_s << u"q=two words#frag&p=100%&ok=%41ü"_s
        << QByteArray("http://h/a?q=two%20words%23frag&p=100%25&ok=A%C3%BC") << QByteArray();
    QTest::newRow("POST sends the data as it stands")
        << u"post"_s << u"http://h/add"_s << u"a=1 & b=ü#"_s << QByteArray("http://h/add")
        << QByteArray("a=1 & b=\xc3\xbc#");
}

void TestRequestComposer::transfer_buildsTheBytesThatGoOut()
{
    QFETCH(QString, method);
    QFETCH(QString, url);
    QFETCH(QString, data);
    QFETCH(QByteArray, target);
    QFETCH(QByteArray, body);
    const TransferRequest transfer = TransferRequest::from({u"site"_s, method, url, data, QString()});
    QCOMPARE(transfer.post, method == u"post"_s);
    QCOMPARE(transfer.url, target);
    QCOMPARE(transfer.body, body);
}

QTEST_GUILESS_MAIN(TestRequestComposer)
#include "tst_requestcomposer.moc"
