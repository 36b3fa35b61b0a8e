#include "CatalogueCsv.h"

#include <QTest>

using namespace Qt::StringLiterals;

using Fields = QList<CatalogueCsv::Field>;

class TestCatalogueCsv : public QObject
{
    Q_OBJECT

private slots:
    void parse_readsRecords_data();
    void parse_readsRecords();
    void parse_malformedInput_namesTheLine_data();
    void parse_malformedInput_namesTheLine();
    void formatThenParse_givesTheFieldsBack();
};

void TestCatalogueCsv::parse_readsRecords_data()
{
    QTest::addColumn<QString>("text");
    QTest::addColumn<Fields>("fields");
    QTest::addColumn<int>("line");
    QTest::newRow("plain, CRLF") << u"a,b\r\nx,y\r\n"_s << Fields{u"x"_s, u"y"_s} << 2;
    QTest::newRow("plain, LF, no final line end") << u"a,b\nx,y"_s << Fields{u"x"_s, u"y"_s} << 2;
    QTest::newRow("quoted comma and quote")
        << u"a,b\n\"1,2\",\"say \"\"hi\"\"\"\n"_s << Fields{u"1,2"_s, u"say \"hi\""_s} << 2;
    QTest::newRow("line break inside quotes kept exactly")
        << u"a,b\n\"one\r\ntwo\",z\n"_s << Fields{u"one\r\ntwo"_s, u"z"_s} << 2;
    QTest::newRow("unquoted empty is null, quoted empty is text")
        << u"a,b\n,\"\"\n"_s << Fields{std::nullopt, QString(u""_s)} << 2;
    QTest::newRow("blanks kept") << u"a,b\n x ,\"y \"\n"_s << Fields{u" x "_s, u"y "_s} << 2;
    QTest::newRow("byte order mark skipped") << u"\uFEFFa,b\nx,y\n"_s << Fields{u"x"_s, u"y"_s} << 2;
    QTest::newRow("blank lines skipped") << u"a,b\n\n\nx,y\n\n"_s << Fields{u"x"_s, u"y"_s} << 4;
    QTest::newRow("line counted after multi-line header")
        << u"\"a\nA\",b\nx,y\n"_s << Fields{u"x"_s, u"y"_s} << 3;
}

void TestCatalogueCsv::parse_readsRecords()
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

void TestCatalogueCsv::parse_malformedInput_namesTheLine_data()
{
    QTest::addColumn<QString>("text");
    QTest::addColumn<QString>("error");
    QTest::newRow("unclosed quote") << u"a,b\nx,y\n\"open,z\nmore\n"_s
                                    << u"line 3: a quoted field is never closed"_s;
    QTest::newRow("quote inside plain field")
        << u"a,b\nx,y\nab\"c,d\n"_s << u"line 3: a quote inside a field that does not begin with a quote"_s;
    QTest::newRow("text after closing quote")
        << u"a,b\n\"x\"y,z\n"_s << u"line 2: text after the closing quote of a field"_s;
    QTest::newRow("too few fields") << u"a,b,c\nx,y,z\nx,y\n"_s
                                    << u"line 3: 2 fields where the header has 3"_s;
    QTest::newRow("too many fields") << u"a,b\nx,y,\n"_s << u"line 2: 3 fields where the header has 2"_s;
    QTest::newRow("empty file") << QString() << u"line 1: the file has no header row"_s;
    QTest::newRow("empty column name") << u"a,,c\n"_s << u"line 1: the header has an empty column name"_s;
    QTest::newRow("column named twice")
        << u"a,b,A\n"_s << u"line 1: the header names the column \"A\" twice"_s;
}

void TestCatalogueCsv::parse_malformedInput_namesTheLine()
{
    QFETCH(QString, text);
    QFETCH(QString, error);
    CatalogueCsv::Table table;
    QString actual;
    QVERIFY(!CatalogueCsv::parse(text, table, actual));
    QCOMPARE(actual, error);
}

void TestCatalogueCsv::formatThenParse_givesTheFieldsBack()
{
    const QList<Fields> records = {
        {u"sitename"_s, u"data"_s, u"referer"_s},
        {u"O'Reilly, \"Links\""_s, u"a=[url]&b=[name]\r\nsecond line"_s, std::nullopt},
        {u" spaced "_s, QString(u""_s), u"tab\there"_s},
    };
    QString text;
    for (const Fields& record : records)
        text += CatalogueCsv::formatRecord(record);
    QVERIFY(text.endsWith(u"\r\n"_s));

    CatalogueCsv::Table table;
    QString error;
    QVERIFY2(CatalogueCsv::parse(text, table, error), qPrintable(error));
    QCOMPARE(table.header, QStringList({u"sitename"_s, u"data"_s, u"referer"_s}));
    QCOMPARE(table.records.size(), 2);
    QCOMPARE(table.records.at(0).fields, records.at(1));
    QCOMPARE(table.records.at(1).fields, records.at(2));
    QCOMPARE(table.records.at(1).line, 4);
}

QTEST_GUILESS_MAIN(TestCatalogueCsv)
#include "tst_cataloguecsv.moc"
