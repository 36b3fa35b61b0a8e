#include "TestSupport.h"

#include <QDir>
#include <QTest>

#include <sys/stat.h>

using namespace Qt::StringLiterals;

namespace {
const QByteArray header = "sitename,sitetype,data,method,action,referer\r\n";
}

// orvanta-catalogue: the catalogue's text form built, exported, listed and checked.
class TestCatalogueTool : public QObject
{
    Q_OBJECT

private:
    QString path(const QString& name) const { return m_dir.filePath(name); }
    QTemporaryDir m_dir;

private slots:
    void tool_exportThenBuildGivesAnIdenticalTable()
    {
        TestData::writeFile(
            path(u"in.csv"_s),
            "sitename,sitetype,data,method,action,referer,source\r\n"
            "O'Reilly's Links,list,\"a=[url]&b=[name]\r\nsecond line\",POST,http://127.0.0.1/add,,"
            "http://127.0.0.1/doc\r\n"
            "\"Comma, Inc\",engine,\"q=\"\"[keywords]\"\"\",get,https://127.0.0.1/q,\"\",\r\n");
        const TestData::ToolRun first =
            TestData::runCatalogueTool({u"build"_s, path(u"in.csv"_s), path(u"first.dll"_s)});
        QCOMPARE(first.out, u"Built %1 with 2 sites.\n"_s.arg(path(u"first.dll"_s)));
        const TestData::ToolRun exported = TestData::runCatalogueTool({u"export"_s, path(u"first.dll"_s)});
        QCOMPARE(exported.status, 0);
        QVERIFY(exported.out.contains(
            u"Links,list,\"a=[url]&b=[name]\r\nsecond line\",POST,http://127.0.0.1/add,,"_s));
        QVERIFY(exported.out.contains(
            u"Inc\",engine,\"q=\"\"[keywords]\"\"\",get,https://127.0.0.1/q,\"\",\r\n"_s));
        TestData::writeFile(path(u"exported.csv"_s), exported.out.toUtf8());
        QCOMPARE(
            TestData::runCatalogueTool({u"build"_s, path(u"exported.csv"_s), path(u"second.dll"_s)}).status,
            0);
        QCOMPARE(TestData::runCatalogueTool({u"export"_s, path(u"second.dll"_s)}).out, exported.out);
        const TestData::ToolRun listed = TestData::runCatalogueTool({u"list"_s, path(u"second.dll"_s)});
        QCOMPARE(listed.out, u"Comma, Inc\tengine\nO'Reilly's Links\tlist\n"_s);
        QCOMPARE(listed.status, 0);
    }

    void tool_failedBuildLeavesTheOldCatalogue_data()
    {
        QTest::addColumn<QByteArray>("csv");
        QTest::addColumn<QString>("message");
        QTest::newRow("duplicate name")
            << header + "a,list,x,GET,http://h/,\r\nb,list,x,GET,http://h/,\r\na,list,y,GET,http://h/,\r\n"
            << u"line 4: the sitename \"a\" is on an earlier line too"_s;
        QTest::newRow("no action")
            << header + "a,list,x,GET,,\r\n"
            << u"line 2, column 5 (action): no value; an empty text is written \"\"."_s;
        QTest::newRow("unquoted empty data") << header + "a,list,,GET,http://h/,\r\n"
                                             << u"line 2, column 3 (data): no value"_s;
        QTest::newRow("malformed CSV") << header + "a,list,\"x,GET,http://h/,\r\n"
                                       << u"line 2: a quoted field is never closed"_s;
        QTest::newRow("required columns missing")
            << QByteArray("sitename,data,method\r\na,b,c\r\n")
            << u"lacks the required columns sitetype, action, referer"_s;
        QTest::newRow("a column named twice")
            << QByteArray(
                   "sitename,sitetype,data,method,action,referer,Data\r\na,list,x,GET,http://h/,,y\r\n")
            << u"line 1: the header names the column \"Data\" twice"_s;
        QTest::newRow("a line short of a field") << header + "a,list,x,GET,http://h/\r\n"
                                                 << u"line 2: 5 fields where the header has 6"_s;
        QTest::newRow("not UTF-8") << header + "caf\xe9,list,x,GET,http://h/,\r\n"
                                   << u"line 2: the text is not UTF-8"_s;
        QTest::newRow("a NUL") << header + "a,list,x" + QByteArray(1, '\0') + "y,GET,http://h/,\r\n"
                               << u"line 2: the text holds a NUL character"_s;
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
        const TestData::ToolRun run =
            TestData::runCatalogueTool({u"build"_s, dir.filePath(u"bad.csv"_s), target});
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
            TestData::runCatalogueTool({u"build"_s, path(u"mode.csv"_s), target});
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
        QTest::newRow("Search Console by POST")
            << u"'S', 'engine', '', 'POST', 'https://searchconsole.googleapis.com/'"_s
            << u"row 2 \"S\": method \"POST\" is not PUT, which Search Console takes sitemaps by"_s;
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
        QTest::newRow("a NUL")
            << u"'N', 'list', 'a' || char(0) || 'b', 'GET', 'http://h/'"_s
            << u"row 2 \"N\": data holds a NUL character, which the catalogue's text form cannot carry"_s;
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
        const TestData::ToolRun run = TestData::runCatalogueTool({u"check"_s, file});
        QCOMPARE(run.status, 1);
        QCOMPARE(run.out, finding + u"\n2 sites, 1 problems.\n"_s);
        if (QTest::currentDataTag() == QByteArray("a NUL")) { // nothing build could not read back
            const TestData::ToolRun exported = TestData::runCatalogueTool({u"export"_s, file});
            QCOMPARE(exported.status, 1);
            QCOMPARE(exported.out, QString());
            QCOMPARE(exported.err, finding + u".\n"_s);
        }
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
        // Said in the user's words, not SQLite's "unable to open database file".
        QTest::newRow("build into a folder that is not there")
            << QStringList{u"build"_s, u"/dev/null"_s, u"/nonexistent-orvanta/orvd.dll"_s} << 1 << QString()
            << u"Cannot write in \"/nonexistent-orvanta\": No such file or directory.\n"_s;
        QTest::newRow("list of a catalogue that is not there")
            << QStringList{u"list"_s, u"/nonexistent-orvanta.dll"_s} << 1 << QString()
            << u"The site catalogue \"/nonexistent-orvanta.dll\" does not exist.\n"_s;
    }

    void tool_commandLine()
    {
        QFETCH(QStringList, arguments);
        QFETCH(int, status);
        QFETCH(QString, out);
        QFETCH(QString, err);
        const TestData::ToolRun run = TestData::runCatalogueTool(arguments);
        QCOMPARE(run.status, status);
        QVERIFY2(out.isEmpty() ? run.out.isEmpty() : run.out.contains(out), qPrintable(run.out));
        QVERIFY2(err.isEmpty() ? run.err.isEmpty() : run.err.startsWith(err), qPrintable(run.err));
    }
};

QTEST_GUILESS_MAIN(TestCatalogueTool)
#include "tst_catalogue_tool.moc"
