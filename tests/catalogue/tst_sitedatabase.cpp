#include "CatalogueFixture.h"
#include "SiteDatabase.h"

#include <QCryptographicHash>
#include <QFile>
#include <QTemporaryDir>
#include <QTest>

using namespace Qt::StringLiterals;

namespace {

QStringList scanNames(SiteDatabase& database)
{
    QStringList names;
    for (database.moveFirst(); !database.atEnd(); database.moveNext())
        names << database.field(u"sitename"_s);
    return names;
}

QByteArray checksum(const QString& path)
{
    QFile file(path);
    return file.open(QIODevice::ReadOnly)
               ? QCryptographicHash::hash(file.readAll(), QCryptographicHash::Sha256)
               : QByteArray();
}

} // namespace

class TestSiteDatabase : public QObject
{
    Q_OBJECT

private slots:
    void init() { QVERIFY(m_dir.isValid()); }

    void scan_listsEveryRowInNameOrderWithoutRegardToCase();
    void fields_readByColumnNameWithNullAsEmpty();
    void findFirst_positionsOnTheNamedRowFromAnyPosition_data();
    void findFirst_positionsOnTheNamedRowFromAnyPosition();
    void findFirst_unknownName_standsAtEnd();
    void emptyTable_scansNothing();
    void unusableFile_isReportedWithItsPath_data();
    void unusableFile_isReportedWithItsPath();
    void missingFile_isNeverCreated();
    void opening_leavesTheFileUnchanged();
    void viewWithoutRowids_isReadLikeATable();

private:
    QString path(const QString& name = u"orvd.dll"_s) const { return m_dir.filePath(name); }
    std::unique_ptr<SiteDatabase> openOrFail(const QString& file)
    {
        QString error;
        auto database = SiteDatabase::open(file, error);
        if (!database)
            qWarning("%s", qPrintable(error));
        return database;
    }

    QTemporaryDir m_dir;
};

void TestSiteDatabase::scan_listsEveryRowInNameOrderWithoutRegardToCase()
{
    const QString file = path(u"order.dll"_s);
    CatalogueFixture::write(file, {CatalogueFixture::site(u"zeta"_s), CatalogueFixture::site(u"Delta"_s),
                                   CatalogueFixture::site(u"alpha"_s), CatalogueFixture::site(u"DELTA"_s),
                                   CatalogueFixture::site(u"Bravo"_s, u"list"_s)});
    auto database = openOrFail(file);
    QVERIFY(database);

    const QStringList names = scanNames(*database);
    QCOMPARE(names.size(), 5);
    QCOMPARE(names.at(0), u"alpha"_s);
    QCOMPARE(names.at(1), u"Bravo"_s);
    // Names that differ only in case stand next to each other, in either order.
    QCOMPARE(QSet<QString>({names.at(2), names.at(3)}), QSet<QString>({u"Delta"_s, u"DELTA"_s}));
    QCOMPARE(names.at(4), u"zeta"_s);

    // A second scan starts from the first row again, whatever the cursor's position.
    database->findFirst(u"Delta"_s);
    QCOMPARE(scanNames(*database), names);
}

void TestSiteDatabase::fields_readByColumnNameWithNullAsEmpty()
{
    const QString file = path(u"fields.dll"_s);
    CatalogueFixture::write(file, {PromoSite{u"With referer"_s, u"list"_s, u"a=[url]"_s, u"POST"_s,
                                             u"http://127.0.0.1/post"_s, u"http://127.0.0.1/from"_s},
                                   PromoSite{u"Without referer"_s, u"engine"_s, u"b=[email]"_s, u"get"_s,
                                             u"http://127.0.0.1/get"_s, QString()}});
    auto database = openOrFail(file);
    QVERIFY(database);

    database->moveFirst();
    QCOMPARE(database->field(u"sitename"_s), u"With referer"_s);
    QCOMPARE(database->field(u"referer"_s), u"http://127.0.0.1/from"_s);
    database->moveNext();
    QCOMPARE(database->field(u"SiteName"_s), u"Without referer"_s);
    QCOMPARE(database->field(u"SITETYPE"_s), u"engine"_s);
    QCOMPARE(database->field(u"data"_s), u"b=[email]"_s);
    QCOMPARE(database->field(u"Method"_s), u"get"_s);
    QCOMPARE(database->field(u"action"_s), u"http://127.0.0.1/get"_s);
    QVERIFY(database->field(u"referer"_s).isEmpty());
    database->moveNext();
    QVERIFY(database->atEnd());
    QVERIFY(database->field(u"data"_s).isEmpty());
    database->moveNext(); // past the end stays at the end
    QVERIFY(database->atEnd());
}

void TestSiteDatabase::findFirst_positionsOnTheNamedRowFromAnyPosition_data()
{
    QTest::addColumn<QString>("name");
    QTest::addColumn<int>("stepsBefore");
    QTest::newRow("apostrophes, cursor at start") << u"O'Reilly's Links"_s << 0;
    QTest::newRow("apostrophes, cursor at end") << u"O'Reilly's Links"_s << 99;
    QTest::newRow("quoting attack, cursor mid-way") << u"x' OR '1'='1"_s << 2;
    QTest::newRow("trailing blank") << u"Plain "_s << 1;
    QTest::newRow("non-ASCII") << u"Suchmaschine Süd"_s << 3;
}

void TestSiteDatabase::findFirst_positionsOnTheNamedRowFromAnyPosition()
{
    QFETCH(QString, name);
    QFETCH(int, stepsBefore);
    const QString file = path(u"find.dll"_s);
    QList<PromoSite> rows;
    for (const QString& siteName : {u"O'Reilly's Links"_s, u"x' OR '1'='1"_s, u"Plain"_s, u"Plain "_s,
                                    u"Suchmaschine Süd"_s, u"another"_s}) {
        PromoSite site = CatalogueFixture::site(siteName);
        site.data = u"template of "_s + siteName;
        rows << site;
    }
    QFile::remove(file);
    CatalogueFixture::write(file, rows);
    auto database = openOrFail(file);
    QVERIFY(database);

    database->moveFirst();
    for (int i = 0; i < stepsBefore; ++i)
        database->moveNext();
    QVERIFY(database->findFirst(name));
    QCOMPARE(database->field(u"sitename"_s), name);
    QCOMPARE(database->field(u"data"_s), u"template of "_s + name);
}

void TestSiteDatabase::findFirst_unknownName_standsAtEnd()
{
    const QString file = path(u"unknown.dll"_s);
    CatalogueFixture::write(file, {CatalogueFixture::site(u"Only"_s)});
    auto database = openOrFail(file);
    QVERIFY(database);
    database->moveFirst();
    QVERIFY(!database->findFirst(u"only"_s)); // exact: case matters
    QVERIFY(database->atEnd());
    QVERIFY(database->field(u"sitename"_s).isEmpty());
}

void TestSiteDatabase::emptyTable_scansNothing()
{
    const QString file = path(u"empty.dll"_s);
    CatalogueFixture::write(file, {});
    auto database = openOrFail(file);
    QVERIFY(database);
    database->moveFirst();
    QVERIFY(database->atEnd());
    QVERIFY(scanNames(*database).isEmpty());
    QVERIFY(!database->findFirst(u"anything"_s));
}

void TestSiteDatabase::unusableFile_isReportedWithItsPath_data()
{
    QTest::addColumn<QByteArray>("bytes");
    QTest::addColumn<QStringList>("statements");
    QTest::addColumn<QString>("expected");
    QTest::newRow("not SQLite") << QByteArray("sitename,data\nnot a database at all, really\n")
                                << QStringList() << u"is not a site catalogue"_s;
    QTest::newRow("zero bytes") << QByteArray("") << QStringList() << u"has no table promosites"_s;
    QTest::newRow("no table") << QByteArray() << QStringList{u"CREATE TABLE sites(sitename TEXT)"_s}
                              << u"has no table promosites"_s;
    QTest::newRow("missing column")
        << QByteArray()
        << QStringList{u"CREATE TABLE promosites(sitename TEXT, sitetype TEXT, data TEXT, method TEXT, action TEXT)"_s}
        << u"lacks the column referer"_s;
    QTest::newRow("missing columns")
        << QByteArray() << QStringList{u"CREATE TABLE promosites(sitename TEXT, sitetype TEXT, data TEXT)"_s}
        << u"lacks the columns method, action, referer"_s;
}

void TestSiteDatabase::unusableFile_isReportedWithItsPath()
{
    QFETCH(QByteArray, bytes);
    QFETCH(QStringList, statements);
    QFETCH(QString, expected);
    const QString file = path(QString::fromLatin1(QTest::currentDataTag()).replace(u' ', u'-') + u".dll"_s);
    if (statements.isEmpty()) {
        QFile out(file);
        QVERIFY(out.open(QIODevice::WriteOnly));
        out.write(bytes);
    } else {
        CatalogueFixture::writeSql(file, statements);
    }

    QString error;
    QVERIFY(!SiteDatabase::open(file, error));
    QVERIFY2(error.contains(expected), qPrintable(error));
    QVERIFY2(error.contains(file), qPrintable(error));
}

void TestSiteDatabase::missingFile_isNeverCreated()
{
    const QString file = path(u"absent.dll"_s);
    QString error;
    QVERIFY(!SiteDatabase::open(file, error));
    QVERIFY2(error.contains(file) && error.contains(u"does not exist"_s), qPrintable(error));
    QVERIFY(!QFile::exists(file));
}

void TestSiteDatabase::opening_leavesTheFileUnchanged()
{
    const QString file = path(u"unchanged.dll"_s);
    CatalogueFixture::write(file, {CatalogueFixture::site(u"One"_s), CatalogueFixture::site(u"Two"_s)});
    const QByteArray before = checksum(file);
    {
        auto database = openOrFail(file);
        QVERIFY(database);
        QVERIFY(database->findFirst(u"Two"_s));
        QCOMPARE(database->field(u"action"_s), u"http://127.0.0.1:1/add"_s);
    }
    QCOMPARE(checksum(file), before);
    QVERIFY(!QFile::exists(file + u"-journal"_s));
}

void TestSiteDatabase::viewWithoutRowids_isReadLikeATable()
{
    const QString file = path(u"view.dll"_s);
    CatalogueFixture::writeSql(
        file, {u"CREATE TABLE raw(sitename TEXT, sitetype TEXT, data TEXT, method TEXT, "
               u"action TEXT, referer TEXT)"_s,
               u"INSERT INTO raw VALUES ('b', 'list', 'x=[url]', 'get', 'http://h/', NULL)"_s,
               u"INSERT INTO raw VALUES ('A', 'engine', 'y=[name]', 'post', 'http://g/', 'r')"_s,
               u"CREATE VIEW promosites AS SELECT * FROM raw"_s});
    auto database = openOrFail(file);
    QVERIFY(database);
    QCOMPARE(scanNames(*database), QStringList({u"A"_s, u"b"_s}));
    QVERIFY(database->findFirst(u"b"_s));
    QCOMPARE(database->field(u"data"_s), u"x=[url]"_s);
    QVERIFY(database->findFirst(u"A"_s));
    QCOMPARE(database->field(u"referer"_s), u"r"_s);
}

QTEST_GUILESS_MAIN(TestSiteDatabase)
#include "tst_sitedatabase.moc"
