#include "AppPaths.h"
#include "Csv.h"
#include "HttpFetch.h"
#include "SettingsStore.h"
#include "SiteFarm.h"
#include "TerminalOutput.h"
#include "TestSupport.h"
#include "TimeText.h"
#include "WebAddress.h"

#include <QBuffer>
#include <QDateTime>
#include <QDir>
#include <QNetworkAccessManager>
#include <QSettings>
#include <QSignalSpy>
#include <QStandardPaths>
#include <QTest>
#include <QTimeZone>
#include <QTimer>

#include <memory>

using namespace Qt::StringLiterals;
using Headers = QList<QPair<QByteArray, QByteArray>>;
using Fields = QList<Csv::Field>;

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
        if (!finished.isEmpty() || !fetch.isBusy())
            return FetchResult{false, false, -1, {}, {}, 0, u"ended inside start()"_s, {}, {}, false};
        if (!finished.wait(10000))
            return FetchResult{false, false, -1, {}, {}, 0, u"never ended"_s, {}, {}, false};
        QTest::qWait(20);
        if (finished.size() != 1 || fetch.isBusy())
            return FetchResult{false, false, -1, {}, {}, 0, u"ended twice"_s, {}, {}, false};
        return finished.first().first().value<FetchResult>();
    }

private slots:
    void init() { m_temp = std::make_unique<TempSettings>(); }
    void cleanup() { m_temp.reset(); }

    void initTestCase()
    {
        QVERIFY(m_farm.listen());
        m_farm.route(u"/404"_s, SiteFarm::Behaviour::NotFound);
        m_farm.route(u"/400"_s, SiteFarm::Route::answering(400, "{\"message\":\"Bad request\"}"));
        m_farm.route(u"/204"_s, SiteFarm::Route::answering(204, {}, "Content-Length: 11\r\n"));
        m_farm.route(u"/redirect"_s, SiteFarm::Route(SiteFarm::Behaviour::Redirect, "/ok"));
        m_farm.route(u"/loop"_s, SiteFarm::Behaviour::RedirectLoop);
        m_farm.route(u"/hang"_s, SiteFarm::Behaviour::Hang);
        m_farm.route(u"/trickle"_s, SiteFarm::Route(SiteFarm::Behaviour::Trickle, {}, 100, 200));
        m_farm.route(u"/reset"_s, SiteFarm::Behaviour::ResetMidBody);
        m_farm.route(u"/cut"_s, SiteFarm::Behaviour::CutShort);
        m_farm.route(u"/malformed"_s, SiteFarm::Behaviour::MalformedStatus);
        m_farm.route(u"/huge"_s, SiteFarm::Route(SiteFarm::Behaviour::HugeBody, {}, 20 * 1024 * 1024));
        const QByteArray hints = "HTTP/1.1 103 Early Hints\r\nLink: </a.css>; rel=preload\r\n\r\n";
        m_farm.route(u"/hints"_s, SiteFarm::Route::raw(hints + "HTTP/1.1 102 Processing\r\n\r\n" + hints +
                                                       "HTTP/1.1 200 OK\r\nContent-Length: 5\r\n\r\nhello"));
        m_farm.route(u"/hints-chunked"_s,
                     SiteFarm::Route::raw(hints + "HTTP/1.1 200 OK\r\nTransfer-Encoding: chunked\r\n\r\n"
                                                  "2\r\nhe\r\n3;x=y\r\nllo\r\n0\r\n\r\n"));
        m_farm.route(u"/hints-short"_s,
                     SiteFarm::Route::raw(hints + "HTTP/1.1 200 OK\r\nContent-Length: 50\r\n\r\nhello"));
        m_farm.route(u"/hints-redirect"_s,
                     SiteFarm::Route::raw(hints + "HTTP/1.1 302 Found\r\nLocation: /hints\r\n\r\n"));
        m_farm.route(u"/elsewhere"_s,
                     SiteFarm::Route(SiteFarm::Behaviour::Redirect,
                                     u"http://localhost:%1/ok"_s.arg(m_farm.port()).toUtf8()));
        m_farm.route(u"/hints-elsewhere"_s,
                     SiteFarm::Route::raw(hints + "HTTP/1.1 307 Moved\r\nLocation: http://localhost:" +
                                          QByteArray::number(m_farm.port()) + "/ok\r\n\r\n"));
        m_farm.route(u"/hints-404"_s,
                     SiteFarm::Route::raw(hints + "HTTP/1.1 404 Not Found\r\n\r\nno such page"));
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

    void address_normalForm_data()
    {
        QTest::addColumn<QByteArray>("address");
        QTest::addColumn<QByteArray>("normal"); // empty: refused
        QTest::addColumn<QString>("problem");
        const QByteArray page = "http://www.example.com/a/b?x=1";
        QTest::newRow("already normal") << page << page << QString();
        QTest::newRow("a fragment is not sent") << page + "#top" << page << QString();
        QTest::newRow("scheme and host in capitals")
            << QByteArray("HTTP://WWW.Example.COM/a/b?x=1") << page << QString();
        QTest::newRow("default ports")
            << QByteArray("http://www.example.com:80/a/b?x=1") << page << QString();
        QTest::newRow("https default port")
            << QByteArray("https://h:443/") << QByteArray("https://h/") << QString();
        QTest::newRow("another port stays")
            << QByteArray("https://h:0080") << QByteArray("https://h:80/") << QString();
        QTest::newRow("unreserved escapes decoded, others in capitals")
            << QByteArray("http://h/%7Euser/%61%2f%3a%0a") << QByteArray("http://h/~user/a%2F%3A%0A")
            << QString();
        QTest::newRow("bytes a URL cannot carry") << QByteArray("http://h/b\xC3\xBC"
                                                                "cher|x%zz")
                                                  << QByteArray("http://h/b%C3%BCcher%7Cx%25zz") << QString();
        QTest::newRow("international host in ASCII")
            << QByteArray("http://b\xC3\xBC"
                          "cher.example/")
            << QByteArray("http://xn--bcher-kva.example/") << QString();
        QTest::newRow("hyphen and underscore in a host")
            << QByteArray("http://my-shop_1.example/") << QByteArray("http://my-shop_1.example/")
            << QString();
        QTest::newRow("an escaped host")
            << QByteArray("http://ex%41mple.com/") << QByteArray("http://example.com/") << QString();
        QTest::newRow("a character no host has")
            << QByteArray("http://shop!.example/") << QByteArray() << u"has no valid host name"_s;
        QTest::newRow("IPv6 host with a port")
            << QByteArray("http://[::1]:8080") << QByteArray("http://[::1]:8080/") << QString();
        QTest::newRow("space") << QByteArray("http://h/a b") << QByteArray() << u"holds a space"_s;
        QTest::newRow("user-info") << QByteArray("http://me:pw@h/") << QByteArray()
                                   << u"holds a user name or password"_s;
        QTest::newRow("control character")
            << QByteArray("http://h/\x1b[2J") << QByteArray() << u"holds a control character"_s;
        QTest::newRow("other scheme")
            << QByteArray("ftp://h/") << QByteArray() << u"is not an http or https address"_s;
        QTest::newRow("no host") << QByteArray("http:///x") << QByteArray() << u"has no valid host name"_s;
        QTest::newRow("port") << QByteArray("http://h:99999/") << QByteArray()
                              << u"has a port that is not valid"_s;
        QTest::newRow("too long") << "http://h/" + QByteArray(2040, 'a') << QByteArray()
                                  << u"is longer than 2,048 characters"_s;
        // Rows that begin as the warm-up's origin does, without being of it.
        QTest::newRow("a longer host than the last one's")
            << QByteArray("http://www.example.com.au/x") << QByteArray("http://www.example.com.au/x")
            << QString();
        QTest::newRow("the last one's host with a port")
            << QByteArray("http://www.example.com:8080?q") << QByteArray("http://www.example.com:8080/?q")
            << QString();
    }

    void address_normalForm()
    {
        QFETCH(QByteArray, address);
        QFETCH(QByteArray, normal);
        QFETCH(QString, problem);
        const WebAddress::Normalised normalised = WebAddress::normalise(address);
        QCOMPARE(normalised.address, normal);
        QCOMPARE(normalised.problem, problem);
        // Many addresses in turn come out the same, after one of the origin written alike, after
        // another website's, and after one that cannot be used.
        const qsizetype hostStart = address.indexOf("://") + 3;
        qsizetype written = hostStart;
        while (hostStart > 2 && written < address.size() && !QByteArrayView("/?#").contains(address[written]))
            ++written;
        WebAddress::Normaliser normaliser;
        for (const QByteArray& before :
             {QByteArray(address.first(written) + "/other"), QByteArray("http://www.example.com/"),
              QByteArray("http://h/a b"), address}) {
            QString beforeProblem;
            normaliser.normalise(before, beforeProblem);
            QString inTurnProblem;
            QCOMPARE(normaliser.normalise(address, inTurnProblem).toByteArray(), normal);
            QCOMPARE(inTurnProblem, problem);
            if (!normal.isEmpty())
                QCOMPARE(normaliser.host(), WebAddress::hostOf(normal));
        }
        if (!normal.isEmpty()) { // one site host for a page and for a profile's address alike
            QCOMPARE(WebAddress::siteHost(QString::fromUtf8(address)),
                     WebAddress::hostOf(normal).toByteArray());
            QVERIFY(normal.startsWith(WebAddress::originOf(normal)));
        }
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
        Csv::Table table;
        QString error;
        QVERIFY2(Csv::parse(text, table, error), qPrintable(error));
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
        Csv::Table table;
        QString actual;
        QVERIFY(!Csv::parse(text, table, actual));
        QCOMPARE(actual, error);
    }

    void csv_recordsAcrossReadChunks()
    {
        // Long fields put record ends, quotes and a multi-byte character on every side of the
        // reader's chunk boundaries.
        QByteArray text = "name,value\r\n";
        QList<QString> values;
        for (int i = 0; i < 40; ++i) {
            if (i % 2 == 1) { // and plain ones, unquoted
                values << QString(5000 + i * 37, QChar(u'a' + i % 26)) + u"ü€"_s;
                text += "n" + QByteArray::number(i) + "," + values.last().toUtf8() + "\r\n";
                continue;
            }
            values << QString(5000 + i * 37, QChar(u'a' + i % 26)) + u"ü\"€\r\n"_s;
            text +=
                "n" + QByteArray::number(i) + ",\"" + values.last().toUtf8().replace("\"", "\"\"") + "\"\r\n";
        }
        text += "bad,caf\xe9\r\n";
        QBuffer buffer(&text);
        buffer.open(QIODevice::ReadOnly);
        Csv::Reader reader(buffer);
        QStringList columns;
        QString error;
        QVERIFY(reader.readHeader(columns, error));
        Csv::Record record;
        for (int i = 0; i < 40; ++i) {
            QVERIFY2(reader.next(record, error), qPrintable(error));
            QCOMPARE(record.fields, Fields({u"n%1"_s.arg(i), values.at(i)}));
        }
        QVERIFY(!reader.next(record, error));
        QCOMPARE(error, u"line 62: the text is not UTF-8"_s);
    }

    void time_writtenAsQDateTimeWritesIt_data()
    {
        QTest::addColumn<QDateTime>("moment");
        QTest::addColumn<QString>("written");
        const auto at = [](int year, int month, int day, int hour, int minute, int second, int msec = 0) {
            return QDateTime(QDate(year, month, day), QTime(hour, minute, second, msec), QTimeZone::utc());
        };
        QTest::newRow("the epoch's first millisecond")
            << at(1970, 1, 1, 0, 0, 0, 1) << u"1970-01-01T00:00:00Z"_s;
        QTest::newRow("a leap day's last moment")
            << at(2024, 2, 29, 23, 59, 59, 999) << u"2024-02-29T23:59:59Z"_s;
        QTest::newRow("the day after a century's leap day")
            << at(2000, 3, 1, 0, 0, 0) << u"2000-03-01T00:00:00Z"_s;
        QTest::newRow("a century without one") << at(2100, 3, 1, 12, 30, 5) << u"2100-03-01T12:30:05Z"_s;
        QTest::newRow("before the epoch") << at(1969, 12, 31, 23, 59, 59, 500) << u"1969-12-31T23:59:59Z"_s;
        QTest::newRow("long before") << at(1601, 1, 1, 0, 0, 0) << u"1601-01-01T00:00:00Z"_s;
        QTest::newRow("the last four-digit year")
            << at(9999, 12, 31, 23, 59, 59) << u"9999-12-31T23:59:59Z"_s;
        QTest::newRow("a five-digit year, as Qt writes it") << at(10000, 1, 1, 0, 0, 0) << QString();
    }

    void time_writtenAsQDateTimeWritesIt()
    {
        QFETCH(QDateTime, moment);
        QFETCH(QString, written);
        // Written by hand for speed, so held to what QDateTime itself writes.
        const QString byQt = moment.toUTC().toString(Qt::ISODate);
        QCOMPARE(TimeText::written(moment.toMSecsSinceEpoch()), byQt);
        if (!written.isEmpty())
            QCOMPARE(byQt, written);
        QByteArray appended = "x";
        TimeText::appendWritten(appended, moment.toMSecsSinceEpoch());
        QCOMPARE(appended, "x" + byQt.toLatin1());
        QVERIFY(TimeText::written(0).isEmpty()); // no moment
    }

    void time_durationsAsPeopleSayThem()
    {
        QCOMPARE(TimeText::duration(40400), u"40 s"_s);
        QCOMPARE(TimeText::duration(59500), u"1 min"_s);
        QCOMPARE(TimeText::duration(59 * 60000 + 29000), u"59 min"_s);
        QCOMPARE(TimeText::duration(3600000), u"1 h"_s);
        QCOMPARE(TimeText::duration(80 * 60000), u"1 h 20 min"_s);
    }

    void text_fromOutsideIsSafeToShow()
    {
        QBuffer shown;
        shown.open(QIODevice::WriteOnly);
        {
            TerminalOutput terminal(shown);
            // Pieces as they may come: CRLF and a C1 control split across two writes.
            for (const char* piece : {"HTTP 403 \x1b[2J\x1b]0;owned\x07\tok\r", "\na,b\r\n\xC2",
                                      "\x85\xC3\xA9 \x7F\rx\r", "\xC2\xA0\x07", "-"})
                QCOMPARE(terminal.write(piece), qint64(qstrlen(piece)));
        }
        QCOMPARE(shown.data(), QByteArray("HTTP 403 \\x1B[2J\\x1B]0;owned\\x07\tok\r\na,b\r\n\\x85\xC3\xA9 "
                                          "\\x7F\\x0Dx\\x0D\xC2\xA0\\x07-"));
        for (const QString& formula : {u"=1+2"_s, u"+1"_s, u"-1"_s, u"@SUM(A1)"_s, u"\tx"_s, u"\rx"_s})
            QCOMPARE(Csv::spreadsheetText(formula), u'\'' + formula);
        QCOMPARE(Csv::spreadsheetText(u"plain - text"_s), u"plain - text"_s);
        // The same fields written as bytes, as a large export writes them.
        QByteArray row;
        for (const char* field : {"plain", "", "a,b", "say \"hi\"", "=1+2", "=\"x\"", "line\nend", "Köln"}) {
            Csv::appendSpreadsheetField(row, field);
            row += '|';
        }
        QCOMPARE(row,
                 QByteArray("plain||\"a,b\"|\"say \"\"hi\"\"\"|'=1+2|\"'=\"\"x\"\"\"|\"line\nend\"|Köln|"));
    }

    void fetch_endings_data()
    {
        QTest::addColumn<QString>("url");
        QTest::addColumn<bool>("post");
        QTest::addColumn<int>("status"); // 0: no complete response
        QTest::addColumn<QString>("error");
        QTest::newRow("200") << m_farm.url(u"/ok"_s) << false << 200 << QString();
        // Interim answers before the final one are read past, however the final one is sent.
        QTest::newRow("103 and 102 before 200") << m_farm.url(u"/hints"_s) << false << 200 << QString();
        QTest::newRow("103 before a chunked 200")
            << m_farm.url(u"/hints-chunked"_s) << true << 200 << QString();
        QTest::newRow("103 before a redirect")
            << m_farm.url(u"/hints-redirect"_s) << false << 200 << QString();
        QTest::newRow("103 before a 404") << m_farm.url(u"/hints-404"_s) << false << 404 << QString();
        QTest::newRow("103 before a body cut short")
            << m_farm.url(u"/hints-short"_s) << false << 0 << u"Connection closed 45 bytes before the end"_s;
        QTest::newRow("redirect to 200") << m_farm.url(u"/redirect"_s) << true << 200 << QString();
        QTest::newRow("redirect to another host") << m_farm.url(u"/elsewhere"_s) << false << 200 << QString();
        // A token or a secret goes where it was meant for, and nowhere else.
        QTest::newRow("with credentials: redirect on the same host")
            << m_farm.url(u"/redirect"_s) << true << 200 << QString();
        QTest::newRow("with credentials: redirect to another host")
            << m_farm.url(u"/elsewhere"_s) << true << 0
            << u"Redirected to another host (localhost); the credentials"_s;
        QTest::newRow("with credentials: redirect to another host after 103")
            << m_farm.url(u"/hints-elsewhere"_s) << true << 0 << u"Redirected to another host (localhost)"_s;
        QTest::newRow("20 MB body to a POST") << m_farm.url(u"/huge"_s) << true << 200 << QString();
        QTest::newRow("404 is a complete response") << m_farm.url(u"/404"_s) << false << 404 << QString();
        QTest::newRow("400 is the site's answer") << m_farm.url(u"/400"_s) << true << 400 << QString();
        QTest::newRow("204 declaring a length") << m_farm.url(u"/204"_s) << true << 204 << QString();
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
        request.keepBytes = 100;
        request.carriesCredentials = QByteArrayView(QTest::currentDataTag()).startsWith("with credentials");
        const qsizetype before = m_farm.requests().size();
        const FetchResult result = fetch(request);
        QVERIFY2(result.status != -1, qPrintable(result.error));
        QCOMPARE(result.complete, status != 0);
        QVERIFY2(result.complete == result.error.isEmpty(), qPrintable(result.error));
        if (status != 0)
            QCOMPARE(result.status, status);
        QVERIFY2(result.error.contains(error, Qt::CaseInsensitive), qPrintable(result.error));
        if (url.contains(u"/hints"_s) && status == 200)
            QCOMPARE(result.body, QByteArray("hello"));
        if (request.carriesCredentials && status == 0) // nothing went to the other host
            QVERIFY(std::none_of(m_farm.requests().cbegin() + before, m_farm.requests().cend(),
                                 [](const QByteArray& sent) { return sent.contains(" /ok HTTP/1.1\r\n"); }));
    }

    void fetch_completenessRules_data()
    {
        QTest::addColumn<Headers>("headers");
        QTest::addColumn<qint64>("received");
        QTest::addColumn<int>("status"); // 0: no status line arrived
        QTest::addColumn<int>("error");
        QTest::addColumn<QString>("why");
        const Headers declared{{"Content-Length", "1000"}};
        QTest::newRow("all bytes") << declared << qint64(1000) << 200 << 0 << QString();
        QTest::newRow("Qt says done, bytes short")
            << declared << qint64(100) << 200 << 0 << u"Connection closed after 100 of 1000 bytes"_s;
        QTest::newRow("coded body arrives decoded")
            << Headers{{"content-length", "10"}, {"Content-Encoding", "gzip"}} << qint64(4000) << 200 << 0
            << QString();
        QTest::newRow("identity coding is counted")
            << Headers{{"content-length", "10"}, {"Content-Encoding", "identity"}} << qint64(5) << 200 << 0
            << u"Connection closed after 5 of 10 bytes"_s;
        QTest::newRow("no declared length") << Headers{} << qint64(3) << 200 << 0 << QString();
        for (const int bodiless : {100, 204, 304})
            QTest::newRow(qPrintable(u"%1 has no body whatever its length says"_s.arg(bodiless)))
                << Headers{{"Content-Length", "11"}} << qint64(0) << bodiless << 0 << QString();
        QTest::newRow("an HTTP error status is complete")
            << declared << qint64(1000) << 404 << int(QNetworkReply::ContentNotFoundError) << QString();
        QTest::newRow("400, which Qt calls a protocol error, is complete")
            << declared << qint64(1000) << 400 << int(QNetworkReply::ProtocolInvalidOperationError)
            << QString();
        QTest::newRow("422, which Qt calls unknown content, is complete")
            << Headers{} << qint64(5) << 422 << int(QNetworkReply::UnknownContentError) << QString();
        QTest::newRow("a server error status is complete")
            << declared << qint64(1000) << 503 << int(QNetworkReply::ServiceUnavailableError) << QString();
        QTest::newRow("an error status cut short")
            << declared << qint64(10) << 500 << int(QNetworkReply::InternalServerError)
            << u"Connection closed after 10 of 1000 bytes"_s;
        QTest::newRow("a success whose body could not be decoded")
            << Headers{} << qint64(10) << 200 << int(QNetworkReply::UnknownContentError) << u"Qt's text"_s;
        QTest::newRow("transport error after the status")
            << declared << qint64(1000) << 200 << int(QNetworkReply::RemoteHostClosedError) << u"Qt's text"_s;
        QTest::newRow("transport error after an error status")
            << Headers{} << qint64(0) << 404 << int(QNetworkReply::RemoteHostClosedError) << u"Qt's text"_s;
        QTest::newRow("no status") << Headers{} << qint64(0) << 0 << 0 << u"Qt's text"_s;
        QTest::newRow("redirect not followed")
            << Headers{{"Location", "ftp://h/x"}} << qint64(0) << 302
            << int(QNetworkReply::ProtocolUnknownError)
            << u"Redirected to \"ftp://h/x\", which is not a web address"_s;
        QTest::newRow("redirect from https to http")
            << Headers{{"Location", "http://h/x"}} << qint64(0) << 302
            << int(QNetworkReply::InsecureRedirectError) << u"Redirected from https to http: http://h/x"_s;
    }

    void fetch_completenessRules()
    {
        QFETCH(Headers, headers);
        QFETCH(qint64, received);
        QFETCH(int, status);
        QFETCH(int, error);
        QFETCH(QString, why);
        FetchResult ended;
        ended.url = QUrl(u"https://h/a"_s);
        ended.headers = headers;
        ended.bodySize = received;
        ended.status = status;
        QCOMPARE(
            HttpFetch::whyIncomplete(ended, status != 0, QNetworkReply::NetworkError(error), u"Qt's text"_s),
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
        request.stopWhenKept = true; // the first bytes are all that is wanted: 20 MB are not read
        result = fetch(request);
        QVERIFY(result.complete && result.truncated);
        QCOMPARE(result.status, 200);
        QVERIFY(result.bodySize < 1024 * 1024);
        request.stopWhenKept = false;
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
        QVERIFY(!fetch.isBusy());
        request.url = QUrl(u"ftp://127.0.0.1/"_s); // a failure reported later, then cancelled too
        fetch.start(request);
        fetch.cancel();
        QVERIFY(!fetch.findChild<QTimer*>()->isActive()); // no deadline left to end the first
        QCoreApplication::processEvents();                // nor the failure the second had queued
        QCOMPARE(finished.size(), 0);
        QTRY_COMPARE_WITH_TIMEOUT(m_farm.openConnections(), 0, 10000);
    }
};

QTEST_GUILESS_MAIN(TestPlatform)
#include "tst_platform.moc"
