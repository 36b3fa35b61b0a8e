#include "EngineSelection.h"
#include "SiteDatabase.h"
#include "SqliteConnection.h"
#include "TestSupport.h"

#include <QAbstractItemModelTester>
#include <QDir>
#include <QSqlQuery>
#include <QTest>
#include <QTextStream>

#include <sys/stat.h>

using namespace Qt::StringLiterals;

namespace {

QStringList names(const SiteDatabase& database)
{
    QStringList names;
    for (qsizetype row = 0; row < database.count(); ++row)
        names << database.name(row);
    return names;
}

} // namespace

class TestCatalogue : public QObject
{
    Q_OBJECT

private:
    QString path(const QString& name) const { return m_dir.filePath(name); }
    QTemporaryDir m_dir;

    std::unique_ptr<SiteDatabase> open(const QList<PromoSite>& rows)
    {
        TestData::writeCatalogue(path(u"orvd.dll"_s), rows);
        QString error;
        auto database = SiteDatabase::open(path(u"orvd.dll"_s), error);
        if (!database)
            qWarning("%s", qPrintable(error));
        return database;
    }

private slots:

    void order_ignoresCaseAndAccentsAndKeepsTwinsTogether()
    {
        QList<PromoSite> rows;
        for (const QString& name :
             {u"zeta"_s, u"Émile"_s, u"Delta"_s, u"Frank"_s, u"émile"_s, u"alpha"_s, u"DELTA"_s, u"Eddy"_s,
              u"Ölberg"_s, u"Bravo"_s, u"International Links B"_s, u"International Links A"_s})
            rows << TestData::site(name);
        const auto database = open(rows);
        QVERIFY(database);
        const QStringList order = names(*database);
        // Twins keep the table's order between them.
        QCOMPARE(order, QStringList({u"alpha"_s, u"Bravo"_s, u"Delta"_s, u"DELTA"_s, u"Eddy"_s, u"Émile"_s,
                                     u"émile"_s, u"Frank"_s, u"International Links A"_s,
                                     u"International Links B"_s, u"Ölberg"_s, u"zeta"_s}));
        QCOMPARE(database->type(0), u"engine"_s);
    }

    void rows_areFoundAgainWhateverTheTableLooksLike_data()
    {
        QTest::addColumn<QStringList>("schema");
        const QString columns =
            u"sitename TEXT, sitetype TEXT, data TEXT, method TEXT, action TEXT, referer TEXT"_s;
        QTest::newRow("plain table") << QStringList{u"CREATE TABLE promosites(%1)"_s.arg(columns)};
        QTest::newRow("a column named rowid")
            << QStringList{u"CREATE TABLE promosites(rowid INTEGER, %1)"_s.arg(columns)};
        QTest::newRow("negative rowids") << QStringList{u"CREATE TABLE promosites(%1)"_s.arg(columns)};
        QTest::newRow("every rowid alias shadowed")
            << QStringList{u"CREATE TABLE promosites(rowid TEXT, oid TEXT, _rowid_ TEXT, %1)"_s.arg(columns)};
        QTest::newRow("without rowid") << QStringList{
            u"CREATE TABLE promosites(%1, PRIMARY KEY(sitename)) WITHOUT ROWID"_s.arg(columns)};
        QTest::newRow("view") << QStringList{u"CREATE TABLE raw(%1)"_s.arg(columns),
                                             u"CREATE VIEW promosites AS SELECT * FROM raw"_s};
    }

    void rows_areFoundAgainWhateverTheTableLooksLike()
    {
        QFETCH(QStringList, schema);
        const QString table = schema.size() > 1 ? u"raw"_s : u"promosites"_s;
        const bool shadowed =
            schema.first().contains(u"rowid INTEGER"_s) || schema.first().contains(u"oid TEXT"_s);
        for (const QString& name : {u"c"_s, u"a"_s, u"b"_s}) {
            schema << u"INSERT INTO %1(sitename, sitetype, data, method, action, referer) VALUES "
                      u"('%2', 'list', 'data of %2', 'post', 'http://h/%2', NULL)"_s.arg(table, name);
            if (shadowed)
                schema << u"UPDATE %1 SET rowid = 1"_s.arg(table); // every row claims to be the first
        }
        if (QByteArrayView(QTest::currentDataTag()) == "negative rowids")
            schema << u"UPDATE promosites SET rowid = -rowid"_s;
        QFile::remove(path(u"shape.dll"_s));
        TestData::writeSql(path(u"shape.dll"_s), schema);
        QString error;
        const auto database = SiteDatabase::open(path(u"shape.dll"_s), error);
        QVERIFY2(database, qPrintable(error));
        QCOMPARE(names(*database), QStringList({u"a"_s, u"b"_s, u"c"_s}));
        QStringList read;
        database->readSites(QList<qsizetype>{1, 2, 0, 1}, [&read](const PromoSite& site) {
            read << site.sitename + u'=' + site.sitetype + u'|' + site.data + u'|' + site.method + u'|' +
                        site.action;
        });
        QCOMPARE(read,
                 QStringList({u"b=list|data of b|post|http://h/b"_s, u"c=list|data of c|post|http://h/c"_s,
                              u"a=list|data of a|post|http://h/a"_s, u"b=list|data of b|post|http://h/b"_s}));
        QCOMPARE(database->site(u"unknown"_s).sitename, u"unknown"_s);
        QVERIFY(database->site(u"unknown"_s).action.isEmpty());
    }

    void readSites_manyAtOnceAsEachAlone()
    {
        // Enough sites for the reading of many, whose neighbours share templates in runs, with
        // optional columns null, empty or set.
        QList<PromoSite> rows;
        constexpr int count = 1100;
        for (int i = 0; i < count; ++i) {
            const QStringList encodings = {QString(), u""_s, u"json"_s};
            rows << PromoSite{u"s%1"_s.arg((i * 7919) % count, 4, 10, QChar(u'0')),
                              u"list"_s,
                              i % 5 < 3 ? u"t=[name]"_s : u"t=%1"_s.arg(i / 5),
                              i % 2 ? u"post"_s : u"get"_s,
                              u"http://h/%1"_s.arg(i),
                              encodings.at((i / 2) % 3),
                              i % 7 ? QString() : u"200"_s};
        }
        const auto database = open(rows);
        QVERIFY(database);
        QList<qsizetype> wanted;
        for (qsizetype row = count - 1; row >= 0; --row)
            wanted << row;
        QList<PromoSite> read;
        database->readSites(wanted, [&read](const PromoSite& site) { read << site; });
        QCOMPARE(read.size(), count);
        for (qsizetype at = 0; at < count; ++at) {
            const PromoSite alone = database->site(database->name(wanted.at(at)));
            const PromoSite& many = read.at(at);
            QCOMPARE(many.sitename, alone.sitename);
            QCOMPARE(QStringList({many.data, many.method, many.action, many.encoding, many.accept}),
                     QStringList({alone.data, alone.method, alone.action, alone.encoding, alone.accept}));
            QCOMPARE(many.encoding.isNull(), alone.encoding.isNull());
        }
        // Visited in the file's order instead, each with its place: a row twice, and one the
        // catalogue does not hold, an empty site.
        wanted << 5 << count;
        QList<PromoSite> visited(wanted.size());
        QList<int> visits(wanted.size());
        database->visitSites(wanted, [&](const PromoSite& site, qsizetype at) {
            visited[at] = site;
            ++visits[at];
        });
        QCOMPARE(visits, QList<int>(wanted.size(), 1));
        QVERIFY(visited.last().sitename.isEmpty() && visited.last().action.isEmpty());
        visited.removeLast();
        read << database->site(database->name(5));
        for (qsizetype at = 0; at < read.size(); ++at) {
            QCOMPARE(visited.at(at).sitename, read.at(at).sitename);
            QCOMPARE(QStringList({visited.at(at).data, visited.at(at).action, visited.at(at).encoding}),
                     QStringList({read.at(at).data, read.at(at).action, read.at(at).encoding}));
        }
    }

    void find_isExactAndSafeForAnyName()
    {
        QList<PromoSite> rows;
        const QStringList odd = {u"O'Reilly's Links"_s, u"x' OR '1'='1"_s, u"Plain"_s, u"Plain "_s, u"Süd"_s};
        for (const QString& name : odd)
            rows << PromoSite{name, u"list"_s, u"template of "_s + name, u"get"_s, u"http://h/"_s};
        const auto database = open(rows);
        QVERIFY(database);
        for (const QString& name : odd) {
            QVERIFY(database->find(name));
            QCOMPARE(database->name(*database->find(name)), name);
            QCOMPARE(database->site(name).data, u"template of "_s + name);
        }
        QVERIFY(!database->find(u"plain"_s)); // case matters
    }

    void unusableFile_isReportedWithWhatIsWrong_data()
    {
        QTest::addColumn<QByteArray>("bytes");
        QTest::addColumn<QStringList>("statements");
        QTest::addColumn<QString>("expected");
        QTest::newRow("missing file") << QByteArray() << QStringList() << u"does not exist"_s;
        QTest::newRow("directory") << QByteArray("dir") << QStringList() << u"is a directory, not a file"_s;
        QTest::newRow("not SQLite") << QByteArray(2048, 'x') << QStringList() << u"is not a site catalogue"_s;
        QTest::newRow("zero bytes") << QByteArray("") << QStringList() << u"has no table promosites"_s;
        QTest::newRow("no table") << QByteArray() << QStringList{u"CREATE TABLE sites(sitename TEXT)"_s}
                                  << u"has no table promosites"_s;
        QTest::newRow("missing columns")
            << QByteArray()
            << QStringList{u"CREATE TABLE promosites(sitename TEXT, sitetype TEXT, data TEXT)"_s}
            << u"lacks the required columns method, action, referer."_s;
        QTest::newRow("locked") << QByteArray("locked") << QStringList() << u"is locked by another program"_s;
    }

    void unusableFile_isReportedWithWhatIsWrong()
    {
        QFETCH(QByteArray, bytes);
        QFETCH(QStringList, statements);
        QFETCH(QString, expected);
        const QString file =
            path(QString::fromLatin1(QTest::currentDataTag()).replace(u' ', u'-') + u".dll"_s);
        std::unique_ptr<SqliteConnection> locker;
        if (bytes == "dir") {
            QVERIFY(QDir().mkpath(file));
        } else if (bytes == "locked") {
            TestData::writeCatalogue(file, {TestData::site(u"One"_s)});
            locker = std::make_unique<SqliteConnection>(file, SqliteConnection::Mode::ReadWrite);
            QString error;
            QVERIFY(locker->open(error));
            QVERIFY(QSqlQuery(locker->database()).exec(u"BEGIN EXCLUSIVE"_s));
        } else if (!statements.isEmpty()) {
            TestData::writeSql(file, statements);
        } else if (!bytes.isNull()) {
            TestData::writeFile(file, bytes);
        }
        QString error;
        QVERIFY(!SiteDatabase::open(file, error));
        QVERIFY2(error.contains(expected) && error.contains(file), qPrintable(error));
        QCOMPARE(QFileInfo::exists(file),
                 QTest::currentDataTag() != QByteArray("missing file")); // never created
        const TestData::ToolRun check = TestData::runCatalogueTool({u"check"_s, file});
        QCOMPARE(check.status, 1);
        QCOMPARE(check.err, error + u'\n');
    }

    void selection_typesHandPicksAndRemoval()
    {
        const auto database =
            open({TestData::site(u"lycos"_s), TestData::site(u"Links A"_s, u"list"_s),
                  TestData::site(u"AltaVista"_s), TestData::site(u"Weblog Z"_s, u"blog"_s),
                  TestData::site(u"Directory B"_s, u"list"_s), TestData::site(u"Excite"_s)});
        QVERIFY(database);
        EngineSelection selection(*database);
        QAbstractItemModelTester catalogueTester(&selection.catalogueModel());
        QAbstractItemModelTester selectedTester(&selection.selectedModel());
        selection.refillCatalogue();
        const QStringList engines = {u"AltaVista"_s, u"Excite"_s, u"lycos"_s};
        QCOMPARE(selection.catalogue(), QStringList({u"AltaVista"_s, u"Directory B"_s, u"Excite"_s,
                                                     u"Links A"_s, u"lycos"_s, u"Weblog Z"_s}));
        selection.addFromCatalogue({0, 3, 5});
        selection.addFromCatalogue({0});
        selection.addType(u"engine"_s);
        QCOMPARE(selection.selected(),
                 QStringList({u"AltaVista"_s, u"Links A"_s, u"Weblog Z"_s, u"AltaVista"_s}) + engines);
        selection.removeType(u"engine"_s); // every occurrence, whoever added it
        QCOMPARE(selection.selected(), QStringList({u"Links A"_s, u"Weblog Z"_s}));
        selection.addType(u"list"_s);
        selection.removeType(u"list"_s);
        QCOMPARE(selection.selected(), QStringList{u"Weblog Z"_s}); // neither type: only by hand or all
        selection.addAll();
        selection.removeSelected({0, 6});
        QCOMPARE(selection.selected(), selection.catalogue().mid(0, 5));
    }
};

QTEST_GUILESS_MAIN(TestCatalogue)
#include "tst_catalogue.moc"
