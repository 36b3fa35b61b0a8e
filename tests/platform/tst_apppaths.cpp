#include "AppPaths.h"

#include <QTest>

using namespace Qt::StringLiterals;

class TestAppPaths : public QObject
{
    Q_OBJECT

private slots:
    void programFiles_joinWithOneSeparator_data();
    void programFiles_joinWithOneSeparator();
};

void TestAppPaths::programFiles_joinWithOneSeparator_data()
{
    QTest::addColumn<QString>("home");
    QTest::addColumn<QString>("catalogue");
    QTest::addColumn<QString>("runLog");
    QTest::newRow("file-system root") << u"/"_s << u"/orvd.dll"_s << u"/sublog.htm"_s;
    QTest::newRow("plain directory") << u"/opt/orvanta"_s << u"/opt/orvanta/orvd.dll"_s
                                     << u"/opt/orvanta/sublog.htm"_s;
    QTest::newRow("trailing separator")
        << u"/opt/orvanta/"_s << u"/opt/orvanta/orvd.dll"_s << u"/opt/orvanta/sublog.htm"_s;
    QTest::newRow("drive root") << u"C:/"_s << u"C:/orvd.dll"_s << u"C:/sublog.htm"_s;
    QTest::newRow("blank in name") << u"/home/a b"_s << u"/home/a b/orvd.dll"_s << u"/home/a b/sublog.htm"_s;
}

void TestAppPaths::programFiles_joinWithOneSeparator()
{
    QFETCH(QString, home);
    QFETCH(QString, catalogue);
    QFETCH(QString, runLog);
    const AppPaths paths(home);
    QCOMPARE(paths.catalogueFile(), catalogue);
    QCOMPARE(paths.runLogFile(), runLog);
    QCOMPARE(paths.upgradeFile(), AppPaths::joinPath(home, u"orvd.upg"_s));
}

QTEST_GUILESS_MAIN(TestAppPaths)
#include "tst_apppaths.moc"
