#include "CatalogueFixture.h"
#include "CatalogueTool.h"
#include "SqliteConnection.h"

#include <QCryptographicHash>
#include <QDir>
#include <QFile>
#include <QSqlQuery>
#include <QSqlRecord>
#include <QTemporaryDir>
#include <QTest>
#include <QTextStream>

using namespace Qt::StringLiterals;

namespace {

void writeFile(const QString& path, const QByteArray& bytes)
{
    QFile file(path);
    QVERIFY(file.open(QIODevice::WriteOnly));
    file.write(bytes);
}

QByteArray readFile(const QString& path)
{
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

// Every column name and every value of every row, nulls told apart from empty texts.
QStringList dumpTable(const QString& dbPath)
{
    SqliteConnection connection(dbPath, SqliteConnection::Mode::ReadOnly);
    QString error;
    if (!connection.open(error))
        return {u"cannot open: "_s + error};
    QSqlQuery query(connection.database());
    if (!query.exec(u"SELECT * FROM promosites ORDER BY rowid"_s))
        return {u"cannot read"_s};
    QStringList dump;
    const QSqlRecord columns = query.record();
    for (int i = 0; i < columns.count(); ++i)
        dump << u"column "_s + columns.fieldName(i);
    while (query.next()) {
        for (int i = 0; i < columns.count(); ++i)
            dump << (query.isNull(i) ? u"<null>"_s : u"'"_s + query.value(i).toString() + u"'"_s);
    }
    return dump;
}

struct ToolRun
{
    int status = -1;
    QString out;
    QString err;
};

ToolRun runTool(const QStringList& arguments)
{
    ToolRun run;
    QTextStream out(&run.out);
    QTextStream err(&run.err);
    run.status = CatalogueTool::run(arguments, out, err);
    out.flush();
    err.flush();
    return run;
}

const QByteArray header = "sitename,sitetype,data,method,action,referer\r\n";

} // namespace

class TestCatalogueTool : public QObject
{
    Q_OBJECT

private slots:
    void exportThenBuild_givesAnIdenticalTable();
    void failedBuild_leavesTheOldCatalogueAndNoTemporaryFile_data();
    void failedBuild_leavesTheOldCatalogueAndNoTemporaryFile();
    void check_reportsEveryBrokenInvariant_data();
    void check_reportsEveryBrokenInvariant();
    void check_cleanCatalogue_exitsZero();
    void check_unusableFile_exitsNonZeroWithMessage();
    void list_printsSitesInProgramOrder();
    void badUsage_exitsTwo_data();
    void badUsage_exitsTwo();

private:
    QString path(const QString& name) const { return m_dir.filePath(name); }
    QTemporaryDir m_dir;
};

void TestCatalogueTool::exportThenBuild_givesAnIdenticalTable()
{
    const QByteArray csv =
        "sitename,sitetype,data,method,action,referer,source\r\n"
        "O'Reilly's Links,list,\"a=[url]&b=[name]\r\nsecond line\",POST,http://127.0.0.1/add,,"
        "http://127.0.0.1/doc\r\n"
        "\"Comma, Inc\",engine,\"q=\"\"[keywords]\"\"\",get,https://127.0.0.1/q,\"\",\r\n"
        "Süd – Verzeichnis,list, x=[title] ,Get,http://127.0.0.1/s, http://r/ ,doc\r\n";
    writeFile(path(u"in.csv"_s), csv);

    ToolRun first = runTool({u"build"_s, path(u"in.csv"_s), path(u"first.dll"_s)});
    QCOMPARE(first.status, 0);
    QVERIFY(first.out.contains(u"3 sites"_s));

    const ToolRun exported = runTool({u"export"_s, path(u"first.dll"_s)});
    QCOMPARE(exported.status, 0);
    writeFile(path(u"exported.csv"_s), exported.out.toUtf8());
    QCOMPARE(runTool({u"build"_s, path(u"exported.csv"_s), path(u"second.dll"_s)}).status, 0);

    const QStringList table = dumpTable(path(u"first.dll"_s));
    QCOMPARE(table.count(u"<null>"_s), 2); // the unquoted empty referer and source
    QVERIFY(table.contains(u"column source"_s));
    QVERIFY(table.contains(u"'a=[url]&b=[name]\r\nsecond line'"_s));
    QVERIFY(table.contains(u"''"_s));
    QCOMPARE(dumpTable(path(u"second.dll"_s)), table);
    QCOMPARE(runTool({u"export"_s, path(u"second.dll"_s)}).out, exported.out);
}

void TestCatalogueTool::failedBuild_leavesTheOldCatalogueAndNoTemporaryFile_data()
{
    QTest::addColumn<QByteArray>("csv");
    QTest::addColumn<QString>("message");
    QTest::newRow("duplicate name on line 4")
        << header +
               "a,list,x=[url],GET,http://h/,\r\nb,list,x=[url],GET,http://h/,\r\na,list,y,GET,http://h/,\r\n"
        << u"line 4: UNIQUE constraint failed"_s;
    QTest::newRow("null site name") << header + "a,list,x,GET,http://h/,\r\n,list,x,GET,http://h/,\r\n"
                                    << u"line 3: NOT NULL constraint failed: promosites.sitename"_s;
    QTest::newRow("null action") << header + "a,list,x,GET,,\r\n"
                                 << u"line 2: NOT NULL constraint failed: promosites.action"_s;
    QTest::newRow("malformed CSV") << header + "a,list,\"x,GET,http://h/,\r\n"
                                   << u"line 2: a quoted field is never closed"_s;
    QTest::newRow("required columns missing") << QByteArray("sitename,data,method\r\na,b,c\r\n")
                                              << u"lacks the required columns sitetype, action, referer"_s;
    QTest::newRow("not UTF-8") << header + "caf\xe9,list,x,GET,http://h/,\r\n" << u"is not UTF-8 text"_s;
}

void TestCatalogueTool::failedBuild_leavesTheOldCatalogueAndNoTemporaryFile()
{
    QFETCH(QByteArray, csv);
    QFETCH(QString, message);
    QTemporaryDir dir;
    const QString target = dir.filePath(u"orvd.dll"_s);
    CatalogueFixture::write(target, {CatalogueFixture::site(u"Old"_s)});
    const QByteArray before = readFile(target);
    writeFile(dir.filePath(u"bad.csv"_s), csv);

    const ToolRun run = runTool({u"build"_s, dir.filePath(u"bad.csv"_s), target});
    QCOMPARE(run.status, 1);
    QVERIFY2(run.err.contains(message), qPrintable(run.err));
    QCOMPARE(readFile(target), before);
    QCOMPARE(QDir(dir.path()).entryList(QDir::Files | QDir::Hidden),
             QStringList({u"bad.csv"_s, u"orvd.dll"_s}));
}

void TestCatalogueTool::check_reportsEveryBrokenInvariant_data()
{
    QTest::addColumn<QString>("row");
    QTest::addColumn<QString>("finding");
    QTest::newRow("empty name") << u"'', 'list', 'a=[url]', 'GET', 'http://h/'"_s
                                << u"row 2 \"\": sitename is empty"_s;
    QTest::newRow("null name") << u"NULL, 'list', 'a=[url]', 'GET', 'http://h/'"_s
                               << u"row 2 \"\": sitename is null"_s;
    QTest::newRow("duplicate name") << u"'Good', 'list', 'a=[url]', 'GET', 'http://h/'"_s
                                    << u"row 2 \"Good\": sitename is also the name of row 1"_s;
    QTest::newRow("unknown type") << u"'T', 'Engine', 'a=[url]', 'GET', 'http://h/'"_s
                                  << u"row 2 \"T\": sitetype \"Engine\" is neither \"engine\" nor \"list\""_s;
    QTest::newRow("null type") << u"'T', NULL, 'a=[url]', 'GET', 'http://h/'"_s
                               << u"row 2 \"T\": sitetype is null"_s;
    QTest::newRow("null data") << u"'D', 'list', NULL, 'GET', 'http://h/'"_s
                               << u"row 2 \"D\": data is null"_s;
    QTest::newRow("null method") << u"'M', 'list', 'a', NULL, 'http://h/'"_s
                                 << u"row 2 \"M\": method is null"_s;
    QTest::newRow("null action") << u"'A', 'list', 'a', 'GET', NULL"_s << u"row 2 \"A\": action is null"_s;
    QTest::newRow("other method") << u"'M', 'list', 'a', 'PUT', 'http://h/'"_s
                                  << u"row 2 \"M\": method \"PUT\" is neither GET nor POST"_s;
    QTest::newRow("ftp action") << u"'A', 'list', 'a', 'post', 'ftp://h/'"_s
                                << u"row 2 \"A\": action \"ftp://h/\" is not an http or https URL"_s;
    QTest::newRow("action without host")
        << u"'A', 'list', 'a', 'post', 'http:///add'"_s
        << u"row 2 \"A\": action \"http:///add\" is not an http or https URL"_s;
    QTest::newRow("unknown placeholder")
        << u"'P', 'list', 'a=[url]&b=[Name]&c=[homepage]', 'Post', 'https://h/'"_s
        << u"row 2 \"P\": data holds [Name], which is not one of the seventeen placeholders"_s;
}

void TestCatalogueTool::check_reportsEveryBrokenInvariant()
{
    QFETCH(QString, row);
    QFETCH(QString, finding);
    const QString file = path(QString::fromLatin1(QTest::currentDataTag()).replace(u' ', u'-') + u".dll"_s);
    CatalogueFixture::writeSql(
        file, {u"CREATE TABLE promosites(sitename TEXT, sitetype TEXT, data TEXT, method TEXT, "
               u"action TEXT, referer TEXT)"_s,
               u"INSERT INTO promosites VALUES ('Good', 'engine', 'u=[url]', 'get', "
               u"'http://127.0.0.1/', NULL)"_s,
               u"INSERT INTO promosites VALUES (%1, NULL)"_s.arg(row)});
    const ToolRun run = runTool({u"check"_s, file});
    QCOMPARE(run.status, 1);
    QVERIFY2(run.out.contains(finding + u'\n'), qPrintable(run.out));
    QVERIFY2(!run.out.contains(u"row 1 "_s), qPrintable(run.out));
}

void TestCatalogueTool::check_cleanCatalogue_exitsZero()
{
    // An unquoted empty data is null and refused by build; a quoted empty template is fine.
    writeFile(path(u"clean.csv"_s), header + "a,engine,\"u=[url]&t=[title]\",GET,http://127.0.0.1/,\r\n"
                                             "b,list,\"\",post,https://127.0.0.1/x?y=1,\r\n");
    QCOMPARE(runTool({u"build"_s, path(u"clean.csv"_s), path(u"clean.dll"_s)}).status, 0);
    const ToolRun run = runTool({u"check"_s, path(u"clean.dll"_s)});
    QCOMPARE(run.out, u"2 sites, 0 problems.\n"_s);
    QCOMPARE(run.status, 0);
}

void TestCatalogueTool::check_unusableFile_exitsNonZeroWithMessage()
{
    writeFile(path(u"garbage.dll"_s), QByteArray(4096, '\x5a'));
    const ToolRun garbage = runTool({u"check"_s, path(u"garbage.dll"_s)});
    QCOMPARE(garbage.status, 1);
    QVERIFY2(garbage.err.contains(u"is not a site catalogue"_s), qPrintable(garbage.err));

    const ToolRun missing = runTool({u"check"_s, path(u"missing.dll"_s)});
    QCOMPARE(missing.status, 1);
    QVERIFY2(missing.err.contains(u"does not exist"_s), qPrintable(missing.err));
    QVERIFY(!QFile::exists(path(u"missing.dll"_s)));
}

void TestCatalogueTool::list_printsSitesInProgramOrder()
{
    CatalogueFixture::write(path(u"list.dll"_s),
                            {CatalogueFixture::site(u"beta"_s, u"list"_s), CatalogueFixture::site(u"Alpha"_s),
                             CatalogueFixture::site(u"gamma"_s)});
    const ToolRun run = runTool({u"list"_s, path(u"list.dll"_s)});
    QCOMPARE(run.status, 0);
    QCOMPARE(run.out, u"Alpha\tengine\nbeta\tlist\ngamma\tengine\n"_s);
}

void TestCatalogueTool::badUsage_exitsTwo_data()
{
    QTest::addColumn<QStringList>("arguments");
    QTest::newRow("nothing") << QStringList();
    QTest::newRow("unknown command") << QStringList{u"compile"_s, u"a"_s};
    QTest::newRow("build without target") << QStringList{u"build"_s, u"a.csv"_s};
    QTest::newRow("check with two files") << QStringList{u"check"_s, u"a"_s, u"b"_s};
}

void TestCatalogueTool::badUsage_exitsTwo()
{
    QFETCH(QStringList, arguments);
    const ToolRun run = runTool(arguments);
    QCOMPARE(run.status, 2);
    QVERIFY(run.err.startsWith(u"Usage: orvanta-catalogue build CSV DB"_s));
}

QTEST_GUILESS_MAIN(TestCatalogueTool)
#include "tst_cataloguetool.moc"
