#include "CatalogueCsv.h"
#include "CatalogueTool.h"
#include "EngineSelection.h"
#include "SiteDatabase.h"
#include "SqliteConnection.h"
#include "TestSupport.h"

#include <QAbstractItemModelTester>
#include <QBuffer>
#include <QDir>
#include <QFileInfo>
#include <QSqlQuery>
#include <QTest>
#include <QTextStream>

#include <sys/stat.h>

using namespace Qt::StringLiterals;
using Fields = QList<CatalogueCsv::Field>;

namespace {

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

QStringList names(const SiteDatabase& database)
{
    QStringList names;
    for (qsizetype row = 0; row < database.count(); ++row)
        names << database.name(row);
    return names;
}

const QByteArray header = "sitename,sitetype,data,method,action,referer\r\n";

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
        const ToolRun check = runTool({u"check"_s, file});
        QCOMPARE(check.status, 1);
        QCOMPARE(check.err, error + u'\n');
    }

    void csv_readsRecords_data()
    {
        QTest::addColumn<QString>("text");
        QTest::addColumn<Fields>("fields");
        QTest::addColumn<int>("line");
        QTest::newRow("plain, CRLF") << u"a,b\r\nx,y\r\n"_s << Fields{u"x"_s, u"y"_s} << 2;
        QTest::newRow("LF, no final line end") << u"a,b\nx,y"_s << Fields{u"x"_s, u"y"_s} << 2;
        QTest::newRow("quoted comma and quote")
            << u"a,b\n\"1,2\",\"say \"\"hi\"\"\"\n"_s << Fields{u"1,2"_s, u"say \"hi\""_s} << 2;
        QTest::newRow("line break inside quotes kept")
            << u"a,b\n\"one\r\ntwo\",z\n"_s << Fields{u"one\r\ntwo"_s, u"z"_s} << 2;
        QTest::newRow("unquoted empty is null, quoted empty is text")
            << u"a,b\n,\"\"\n"_s << Fields{std::nullopt, QString(u""_s)} << 2;
        QTest::newRow("blanks kept, byte order mark skipped")
            << u"\uFEFFa,b\n x ,\"y \"\n"_s << Fields{u" x "_s, u"y "_s} << 2;
        QTest::newRow("blank lines skipped, lines counted after a multi-line header")
            << u"\"a\nA\",b\n\n\nx,y\n\n"_s << Fields{u"x"_s, u"y"_s} << 5;
    }

    void csv_readsRecords()
    {
        QFETCH(QString, text);
        QFETCH(Fields, fields);
        QFETCH(int, line);
        CatalogueCsv::Table table;
        QString error;
        QVERIFY2(CatalogueCsv::parse(text, table, error), qPrintable(error));
        QCOMPARE(table.header.size(), 2);
        QCOMPARE(table.records.size(), 1);
        QCOMPARE(table.records.first().fields, fields);
        QCOMPARE(table.records.first().line, line);
    }

    void csv_malformedInputNamesTheLine_data()
    {
        QTest::addColumn<QString>("text");
        QTest::addColumn<QString>("error");
        QTest::newRow("unclosed quote")
            << u"a,b\nx,y\n\"open,z\nmore\n"_s << u"line 3: a quoted field is never closed"_s;
        QTest::newRow("quote inside plain field")
            << u"a,b\nx,y\nab\"c,d\n"_s
            << u"line 3: a quote inside a field that does not begin with a quote"_s;
        QTest::newRow("text after closing quote")
            << u"a,b\n\"x\"y,z\n"_s << u"line 2: text after the closing quote of a field"_s;
        QTest::newRow("too few fields")
            << u"a,b,c\nx,y,z\nx,y\n"_s << u"line 3: 2 fields where the header has 3"_s;
        QTest::newRow("empty file") << QString() << u"line 1: the file has no header row"_s;
        QTest::newRow("empty column name") << u"a,,c\n"_s << u"line 1: the header has an empty column name"_s;
        QTest::newRow("column named twice")
            << u"a,b,A\n"_s << u"line 1: the header names the column \"A\" twice"_s;
    }

    void csv_malformedInputNamesTheLine()
    {
        QFETCH(QString, text);
        QFETCH(QString, error);
        CatalogueCsv::Table table;
        QString actual;
        QVERIFY(!CatalogueCsv::parse(text, table, actual));
        QCOMPARE(actual, error);
    }

    void csv_recordsAcrossReadChunks()
    {
        // Long fields put record ends, quotes and a multi-byte character on every side of the
        // reader's chunk boundaries.
        QByteArray text = "name,value\r\n";
        QList<QString> values;
        for (int i = 0; i < 40; ++i) {
            values << QString(5000 + i * 37, QChar(u'a' + i % 26)) + u"ü\"€\r\n"_s;
            text +=
                "n" + QByteArray::number(i) + ",\"" + values.last().toUtf8().replace("\"", "\"\"") + "\"\r\n";
        }
        text += "bad,caf\xe9\r\n";
        QBuffer buffer(&text);
        buffer.open(QIODevice::ReadOnly);
        CatalogueCsv::Reader reader(buffer);
        QStringList columns;
        QString error;
        QVERIFY(reader.readHeader(columns, error));
        CatalogueCsv::Record record;
        for (int i = 0; i < 40; ++i) {
            QVERIFY2(reader.next(record, error), qPrintable(error));
            QCOMPARE(record.fields, Fields({u"n%1"_s.arg(i), values.at(i)}));
        }
        QVERIFY(!reader.next(record, error));
        QCOMPARE(error, u"line 82: the text is not UTF-8"_s);
    }

    void tool_exportThenBuildGivesAnIdenticalTable()
    {
        TestData::writeFile(
            path(u"in.csv"_s),
            "sitename,sitetype,data,method,action,referer,source\r\n"
            "O'Reilly's Links,list,\"a=[url]&b=[name]\r\nsecond line\",POST,http://127.0.0.1/add,,"
            "http://127.0.0.1/doc\r\n"
            "\"Comma, Inc\",engine,\"q=\"\"[keywords]\"\"\",get,https://127.0.0.1/q,\"\",\r\n");
        const ToolRun first = runTool({u"build"_s, path(u"in.csv"_s), path(u"first.dll"_s)});
        QCOMPARE(first.out, u"Built %1 with 2 sites.\n"_s.arg(path(u"first.dll"_s)));
        const ToolRun exported = runTool({u"export"_s, path(u"first.dll"_s)});
        QCOMPARE(exported.status, 0);
        QVERIFY(exported.out.contains(
            u"Links,list,\"a=[url]&b=[name]\r\nsecond line\",POST,http://127.0.0.1/add,,"_s));
        QVERIFY(exported.out.contains(
            u"Inc\",engine,\"q=\"\"[keywords]\"\"\",get,https://127.0.0.1/q,\"\",\r\n"_s));
        TestData::writeFile(path(u"exported.csv"_s), exported.out.toUtf8());
        QCOMPARE(runTool({u"build"_s, path(u"exported.csv"_s), path(u"second.dll"_s)}).status, 0);
        QCOMPARE(runTool({u"export"_s, path(u"second.dll"_s)}).out, exported.out);
        const ToolRun listed = runTool({u"list"_s, path(u"second.dll"_s)});
        QCOMPARE(listed.out, u"Comma, Inc\tengine\nO'Reilly's Links\tlist\n"_s);
        QCOMPARE(listed.status, 0);
    }

    void tool_failedBuildLeavesTheOldCatalogue_data()
    {
        QTest::addColumn<QByteArray>("csv");
        QTest::addColumn<QString>("message");
        QTest::newRow("duplicate name")
            << header + "a,list,x,GET,http://h/,\r\nb,list,x,GET,http://h/,\r\na,list,y,GET,http://h/,\r\n"
            << u"line 4: UNIQUE constraint failed"_s;
        QTest::newRow("null action") << header + "a,list,x,GET,,\r\n"
                                     << u"line 2: NOT NULL constraint failed: promosites.action"_s;
        QTest::newRow("malformed CSV") << header + "a,list,\"x,GET,http://h/,\r\n"
                                       << u"line 2: a quoted field is never closed"_s;
        QTest::newRow("required columns missing")
            << QByteArray("sitename,data,method\r\na,b,c\r\n")
            << u"lacks the required columns sitetype, action, referer"_s;
        QTest::newRow("not UTF-8") << header + "caf\xe9,list,x,GET,http://h/,\r\n"
                                   << u"line 2: the text is not UTF-8"_s;
    }

    void tool_failedBuildLeavesTheOldCatalogue()
    {
        QFETCH(QByteArray, csv);
        QFETCH(QString, message);
        QTemporaryDir dir;
        const QString target = dir.filePath(u"orvd.dll"_s);
        TestData::writeCatalogue(target, {TestData::site(u"Old"_s)});
        const QByteArray before = TestData::readFile(target);
        TestData::writeFile(dir.filePath(u"bad.csv"_s), csv);
        const ToolRun run = runTool({u"build"_s, dir.filePath(u"bad.csv"_s), target});
        QCOMPARE(run.status, 1);
        QVERIFY2(run.err.contains(message), qPrintable(run.err));
        QCOMPARE(TestData::readFile(target), before);
        QCOMPARE(QDir(dir.path()).entryList(QDir::Files | QDir::Hidden),
                 QStringList({u"bad.csv"_s, u"orvd.dll"_s}));
    }

    void tool_builtFileGetsTheUmaskOrKeepsItsMode()
    {
        TestData::writeFile(path(u"mode.csv"_s), header + "a,list,x,GET,http://h/,\r\n");
        const auto modeAfterBuild = [this](const QString& target) {
            runTool({u"build"_s, path(u"mode.csv"_s), target});
            struct stat built
            {};
            return ::stat(QFile::encodeName(target).constData(), &built) == 0 ? int(built.st_mode & 0777)
                                                                              : -1;
        };
        const mode_t saved = ::umask(022);
        QCOMPARE(modeAfterBuild(path(u"new-022.dll"_s)), 0644);
        ::umask(027);
        QCOMPARE(modeAfterBuild(path(u"new-027.dll"_s)), 0640);
        ::chmod(QFile::encodeName(path(u"new-022.dll"_s)).constData(), 0664);
        QCOMPARE(modeAfterBuild(path(u"new-022.dll"_s)), 0664); // replaced: keeps its mode
        ::umask(saved);
    }

    void tool_checkReportsEveryBrokenRule_data()
    {
        QTest::addColumn<QString>("row"); // the five required columns, then encoding, accept, reject
        QTest::addColumn<QString>("finding");
        QTest::newRow("empty name") << u"'', 'list', 'a', 'GET', 'http://h/'"_s
                                    << u"row 2 \"\": sitename is empty"_s;
        QTest::newRow("null name") << u"NULL, 'list', 'a', 'GET', 'http://h/'"_s
                                   << u"row 2 \"\": sitename is null"_s;
        QTest::newRow("duplicate name") << u"'Good', 'list', 'a', 'GET', 'http://h/'"_s
                                        << u"row 2 \"Good\": sitename is also the name of row 1"_s;
        QTest::newRow("unknown type")
            << u"'T', 'Engine', 'a', 'GET', 'http://h/'"_s
            << u"row 2 \"T\": sitetype \"Engine\" is neither \"engine\" nor \"list\""_s;
        QTest::newRow("null data") << u"'D', 'list', NULL, 'GET', 'http://h/'"_s
                                   << u"row 2 \"D\": data is null"_s;
        QTest::newRow("other method") << u"'M', 'list', 'a', 'PUT', 'http://h/'"_s
                                      << u"row 2 \"M\": method \"PUT\" is neither GET nor POST"_s;
        QTest::newRow("action without host")
            << u"'A', 'list', 'a', 'post', 'http:///add'"_s
            << u"row 2 \"A\": action \"http:///add\" is not an http or https URL"_s;
        QTest::newRow("unknown placeholder")
            << u"'P', 'list', 'a=[url]&b=[Name]&k=[key]&f=[feed]', 'Post', 'https://h/'"_s
            << u"row 2 \"P\": data holds [Name], which is not a placeholder"_s;
        QTest::newRow("unknown encoding")
            << u"'E', 'list', 'a', 'POST', 'http://h/', 'yaml', NULL, NULL"_s
            << u"row 2 \"E\": encoding \"yaml\" is none of form, json, xml or text"_s;
        QTest::newRow("a body in a GET")
            << u"'G', 'list', '{}', 'GET', 'http://h/', 'JSON', '', ''"_s
            << u"row 2 \"G\": encoding \"JSON\" needs the method POST: its body has no place in a URL"_s;
        QTest::newRow("accept is no list of statuses")
            << u"'S', 'list', 'a', 'GET', 'http://h/', 'form', '200, 2xx', NULL"_s
            << u"row 2 \"S\": accept \"200, 2xx\" is not a comma-separated list of HTTP statuses"_s;
        QTest::newRow("status out of range")
            << u"'S', 'list', 'a', 'GET', 'http://h/', '', '99', NULL"_s
            << u"row 2 \"S\": accept \"99\" is not a comma-separated list of HTTP statuses"_s;
        QTest::newRow("reject is no pattern")
            << u"'R', 'list', 'a', 'GET', 'http://h/', NULL, '200,202', 'fail('"_s
            << u"row 2 \"R\": reject \"fail(\" is not a valid regular expression: missing closing parenthesis"_s;
    }

    void tool_checkReportsEveryBrokenRule()
    {
        QFETCH(QString, row);
        QFETCH(QString, finding);
        const QString file =
            path(QString::fromLatin1(QTest::currentDataTag()).replace(u' ', u'-') + u".dll"_s);
        if (row.count(u',') < 7)
            row += u", NULL, NULL, NULL"_s;
        TestData::writeSql(
            file,
            {u"CREATE TABLE promosites(sitename TEXT, sitetype TEXT, data TEXT, method TEXT, "
             u"action TEXT, referer TEXT, encoding TEXT, accept TEXT, reject TEXT)"_s,
             u"INSERT INTO promosites VALUES ('Good', 'engine', 'u=[url]', 'post', 'http://h/', NULL, "
             u"'json', '200,202', 'x(y)')"_s,
             u"INSERT INTO promosites(sitename, sitetype, data, method, action, encoding, accept, reject) "
             u"VALUES (%1)"_s.arg(row)});
        const ToolRun run = runTool({u"check"_s, file});
        QCOMPARE(run.status, 1);
        QCOMPARE(run.out, finding + u"\n2 sites, 1 problems.\n"_s);
    }

    void tool_commandLine_data()
    {
        QTest::addColumn<QStringList>("arguments");
        QTest::addColumn<int>("status");
        QTest::addColumn<QString>("out");
        QTest::addColumn<QString>("err");
        const QString usage = u"Usage: orvanta-catalogue build CSV DB\n"_s;
        QTest::newRow("help") << QStringList{u"--help"_s} << 0 << usage << QString();
        QTest::newRow("version") << QStringList{u"--version"_s} << 0 << u"orvanta-catalogue 2.001\n"_s
                                 << QString();
        QTest::newRow("nothing") << QStringList() << 2 << QString() << usage;
        QTest::newRow("unknown command") << QStringList{u"compile"_s, u"a"_s} << 2 << QString() << usage;
        QTest::newRow("list without its file") << QStringList{u"list"_s} << 2 << QString() << usage;
        QTest::newRow("build without target")
            << QStringList{u"build"_s, u"a.csv"_s} << 2 << QString() << usage;
    }

    void tool_commandLine()
    {
        QFETCH(QStringList, arguments);
        QFETCH(int, status);
        QFETCH(QString, out);
        QFETCH(QString, err);
        const ToolRun run = runTool(arguments);
        QCOMPARE(run.status, status);
        QVERIFY2(out.isEmpty() ? run.out.isEmpty() : run.out.contains(out), qPrintable(run.out));
        QVERIFY2(err.isEmpty() ? run.err.isEmpty() : run.err.startsWith(err), qPrintable(run.err));
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
