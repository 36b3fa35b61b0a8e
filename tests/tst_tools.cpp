#include "MetaBuilder.h"
#include "MetaBuilderPage.h"
#include "QuickSearch.h"
#include "QuickSearchPage.h"
#include "TestSupport.h"

#include <QComboBox>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QTest>

using namespace Qt::StringLiterals;

class TestTools : public QObject
{
    Q_OBJECT

private slots:

    void metaLines_data()
    {
        QTest::addColumn<QString>("keywords");
        QTest::addColumn<QString>("description");
        QTest::addColumn<QString>("expected");
        QTest::newRow("plain") << u"bread, cakes"_s << u"A bakery."_s
                               << u"<meta http-equiv=\"keywords\" content=\"bread, cakes\">\r\n"
                                  u"<meta http-equiv=\"description\" content=\"A bakery.\">"_s;
        QTest::newRow("a single blank passes") << u" "_s << u"d"_s
                                               << u"<meta http-equiv=\"keywords\" content=\" \">\r\n"
                                                  u"<meta http-equiv=\"description\" content=\"d\">"_s;
        QTest::newRow("line break stays") << u"k"_s << u"one\ntwo"_s
                                          << u"<meta http-equiv=\"keywords\" content=\"k\">\r\n"
                                             u"<meta http-equiv=\"description\" content=\"one\ntwo\">"_s;
        QTest::newRow("escaped for the attribute")
            << u"\"quoted\" & <b>"_s << u"5 > 3"_s
            << u"<meta http-equiv=\"keywords\" content=\"&quot;quoted&quot; &amp; "
               u"&lt;b&gt;\">\r\n<meta http-equiv=\"description\" content=\"5 &gt; 3\">"_s;
        QTest::newRow("no keywords") << QString() << u"d"_s << QString();
        QTest::newRow("no description") << u"k"_s << QString() << QString();
    }

    void metaLines()
    {
        QFETCH(QString, keywords);
        QFETCH(QString, description);
        QFETCH(QString, expected);
        const std::optional<QString> lines = MetaBuilder::metaLines(keywords, description);
        QCOMPARE(lines.has_value(), !expected.isEmpty());
        if (lines)
            QCOMPARE(*lines, expected);
    }

    void metaPage_missingInputKeepsTheOutput()
    {
        ScriptedDialogs dialogs;
        MetaBuilderPage page(dialogs);
        auto* keywords = page.findChild<QPlainTextEdit*>(u"Text6"_s);
        auto* output = page.findChild<QPlainTextEdit*>(u"Text9"_s);
        keywords->setPlainText(u"k"_s);
        page.findChild<QPlainTextEdit*>(u"Text8"_s)->setPlainText(u"d"_s);
        page.findChild<QPushButton*>(u"Command20"_s)->click();
        const QString generated = output->toPlainText();
        QVERIFY(generated.startsWith(u"<meta http-equiv=\"keywords\""_s));

        keywords->clear();
        page.findChild<QPushButton*>(u"Command20"_s)->click();
        QCOMPARE(dialogs.shown.size(), 1);
        QCOMPARE(dialogs.shown.first().text, u"Please fill in all the fields below."_s);
        QCOMPARE(dialogs.shown.first().title, u"Missing Information"_s);
        QCOMPARE(dialogs.shown.first().icon, Dialogs::Icon::Information);
        QCOMPARE(output->toPlainText(), generated);

        page.findChild<QPushButton*>(u"cleargen"_s)->click();
        QVERIFY(output->toPlainText().isEmpty());
        QVERIFY(page.findChild<QPlainTextEdit*>(u"Text8"_s)->toPlainText().isEmpty());
        page.findChild<QPushButton*>(u"Command20"_s)->click();
        QCOMPARE(dialogs.shown.size(), 2);
    }

    void searchUrl_data()
    {
        QTest::addColumn<QString>("engine");
        QTest::addColumn<QString>("text");
        QTest::addColumn<QByteArray>("url");
        QTest::newRow("Yahoo, blank encoded")
            << u"Yahoo"_s << u"blue widgets"_s
            << QByteArray("http://search.yahoo.com/bin/search?p=blue%20widgets");
        QTest::newRow("Lycos, ampersand encoded")
            << u"Lycos"_s << u"C&A"_s
            << QByteArray(
                   "http://www.lycos.com/cgi-bin/pursuit?matchmode=and&cat=lycos&query=C%26A&x=15&y=7");
        QTest::newRow("Excite, non-ASCII")
            << u"Excite"_s << u"Zürich"_s << QByteArray("http://www.excite.com/search.gw?search=Z%C3%BCrich");
        QTest::newRow("Aol Netfind, empty text")
            << u"Aol Netfind"_s << QString()
            << QByteArray("http://netfind.aol.com/search.gw?lk=excite_netfind2_us&nrm=aol&pri=on&xls=b&xll=65"
                          "&test=Search%21&search=");
        QTest::newRow("lower case name") << u"yahoo"_s << u"x"_s << QByteArray();
        QTest::newRow("unknown name") << u"Google"_s << u"x"_s << QByteArray();
    }

    void searchUrl()
    {
        QFETCH(QString, engine);
        QFETCH(QString, text);
        QFETCH(QByteArray, url);
        const std::optional<QUrl> built = QuickSearch::searchUrl(engine, text);
        QCOMPARE(built.has_value(), !url.isEmpty());
        if (built)
            QCOMPARE(built->toEncoded(), url);
    }

    void searchPage_opensOnlyAnExactName()
    {
        RecordingDesktopOpener desktop;
        QuickSearchPage page(desktop);
        page.show();
        auto* engine = page.findChild<QComboBox*>(u"engine"_s);
        QCOMPARE(engine->currentText(), u"Altavista"_s);
        QCOMPARE(engine->itemText(1), u"Webcrawler"_s);
        page.findChild<QLineEdit*>(u"criteria"_s)->setText(u"orvanta"_s);
        page.findChild<QPushButton*>(u"Command8"_s)->click();
        QCOMPARE(desktop.opened, QList<QUrl>{*QuickSearch::searchUrl(u"Altavista"_s, u"orvanta"_s)});
        // Typed text is neither completed nor corrected, and adds no entry.
        for (const QString& typed : {u"yah"_s, u"yahoo"_s}) {
            engine->lineEdit()->selectAll();
            QTest::keyClicks(engine->lineEdit(), typed);
            QTest::keyClick(engine->lineEdit(), Qt::Key_Return);
            QCOMPARE(engine->currentText(), typed);
            page.findChild<QPushButton*>(u"Command8"_s)->click();
        }
        QCOMPARE(desktop.opened.size(), 1);
        QCOMPARE(engine->count(), 6);
    }
};

QTEST_MAIN(TestTools)
#include "tst_tools.moc"
