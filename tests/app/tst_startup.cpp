#include "CatalogueFixture.h"
#include "MainWindow.h"
#include "Module1.h"
#include "RecordingDesktopOpener.h"
#include "ScriptedDialogs.h"
#include "SettingsStore.h"
#include "SiteDatabase.h"
#include "SplashScreen.h"
#include "TempSettings.h"

#include <QApplication>
#include <QFile>
#include <QPointer>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QTest>
#include <QThread>

#include <memory>

using namespace Qt::StringLiterals;

class TestStartup : public QObject
{
    Q_OBJECT

private slots:
    void init();
    void cleanup();

    void unusableCatalogue_oneMessageAndNoMainWindow_data();
    void unusableCatalogue_oneMessageAndNoMainWindow();
    void emptyCatalogue_startsNormally();
    void handOver_happensOnceAfterStartupHasReturned();
    void handOver_waitsForASlowStartup();

private:
    Module1& startModule();
    static bool anyVisibleMainWindow();

    std::unique_ptr<TempSettings> m_tempSettings;
    std::unique_ptr<QTemporaryDir> m_home;
    std::unique_ptr<SettingsStore> m_settings;
    std::unique_ptr<ScriptedDialogs> m_dialogs;
    RecordingDesktopOpener m_desktop;
    std::unique_ptr<Module1> m_module;
};

void TestStartup::init()
{
    m_tempSettings = std::make_unique<TempSettings>();
    m_home = std::make_unique<QTemporaryDir>();
    m_settings = std::make_unique<SettingsStore>();
    m_dialogs = std::make_unique<ScriptedDialogs>();
}

void TestStartup::cleanup()
{
    m_module.reset();
    m_settings.reset();
    m_home.reset();
    m_tempSettings.reset();
}

Module1& TestStartup::startModule()
{
    m_module =
        std::make_unique<Module1>(AppContext{AppPaths(m_home->path()), *m_dialogs, *m_settings, m_desktop});
    return *m_module;
}

bool TestStartup::anyVisibleMainWindow()
{
    const QWidgetList windows = QApplication::topLevelWidgets();
    return std::any_of(windows.cbegin(), windows.cend(), [](const QWidget* window) {
        return window->objectName() == u"frmain"_s && window->isVisible();
    });
}

void TestStartup::unusableCatalogue_oneMessageAndNoMainWindow_data()
{
    QTest::addColumn<QStringList>("statements");
    QTest::addColumn<QByteArray>("bytes");
    QTest::addColumn<QString>("reason");
    QTest::newRow("missing file") << QStringList() << QByteArray() << u"does not exist"_s;
    QTest::newRow("not SQLite") << QStringList() << QByteArray(2048, 'x') << u"is not a site catalogue"_s;
    QTest::newRow("no table") << QStringList{u"CREATE TABLE other(a TEXT)"_s} << QByteArray()
                              << u"has no table promosites"_s;
    QTest::newRow("missing column")
        << QStringList{u"CREATE TABLE promosites(sitename TEXT, sitetype TEXT, data TEXT, action TEXT, referer TEXT)"_s}
        << QByteArray() << u"lacks the column method"_s;
}

void TestStartup::unusableCatalogue_oneMessageAndNoMainWindow()
{
    QFETCH(QStringList, statements);
    QFETCH(QByteArray, bytes);
    QFETCH(QString, reason);
    const QString catalogue = m_home->filePath(u"orvd.dll"_s);
    if (!statements.isEmpty()) {
        CatalogueFixture::writeSql(catalogue, statements);
    } else if (!bytes.isEmpty()) {
        QFile file(catalogue);
        QVERIFY(file.open(QIODevice::WriteOnly));
        file.write(bytes);
    }

    Module1& module = startModule();
    QVERIFY(!module.Main());
    QCOMPARE(m_dialogs->shown().size(), 1);
    const ScriptedDialogs::Shown& message = m_dialogs->shown().first();
    QCOMPARE(message.kind, ScriptedDialogs::Kind::Inform);
    QCOMPARE(message.icon, Dialogs::Icon::Critical);
    QVERIFY2(message.text.contains(reason), qPrintable(message.text));
    QVERIFY2(message.text.contains(catalogue), qPrintable(message.text));
    QVERIFY(!module.siteDatabase());

    // Well past the splash's one-second hand-over: still nothing but the message.
    QTest::qWait(1300);
    QVERIFY(!module.mainWindow());
    QVERIFY(!anyVisibleMainWindow());
    QVERIFY(!module.splash() || !module.splash()->isVisible());
    QCOMPARE(m_dialogs->shown().size(), 1);
    QCOMPARE(QFile::exists(catalogue), !statements.isEmpty() || !bytes.isEmpty());
}

void TestStartup::emptyCatalogue_startsNormally()
{
    CatalogueFixture::write(m_home->filePath(u"orvd.dll"_s), {});
    Module1& module = startModule();
    QVERIFY(module.Main());
    QVERIFY(m_dialogs->shown().isEmpty());
    QVERIFY(module.siteDatabase());
    module.siteDatabase()->moveFirst();
    QVERIFY(module.siteDatabase()->atEnd());
    QTRY_VERIFY_WITH_TIMEOUT(module.mainWindow() && module.mainWindow()->isVisible(), 5000);
}

void TestStartup::handOver_happensOnceAfterStartupHasReturned()
{
    CatalogueFixture::write(m_home->filePath(u"orvd.dll"_s), {CatalogueFixture::site(u"One"_s)});
    Module1& module = startModule();
    QSignalSpy shown(&module, &Module1::mainWindowShown);
    QVERIFY(module.Main());

    // Start-up has returned, but the event loop has not run: only the splash is up.
    QVERIFY(module.splash() && module.splash()->isVisible());
    QVERIFY(!module.mainWindow());

    QTRY_COMPARE_WITH_TIMEOUT(shown.count(), 1, 5000);
    QVERIFY(module.mainWindow()->isVisible());
    QTRY_VERIFY(!module.splash()); // unloaded
    QTest::qWait(1300);
    QCOMPARE(shown.count(), 1);
    const QWidgetList windows = QApplication::topLevelWidgets();
    QCOMPARE(std::count_if(windows.cbegin(), windows.cend(),
                           [](const QWidget* window) { return window->objectName() == u"frmain"_s; }),
             1);
}

void TestStartup::handOver_waitsForASlowStartup()
{
    QPointer<SplashScreen> splash = new SplashScreen;
    QSignalSpy due(splash.data(), &SplashScreen::mainWindowDue);
    splash->show();
    // A start-up that keeps the event thread busy for longer than the splash's second.
    QThread::msleep(1500);
    QCOMPARE(due.count(), 0);
    QVERIFY(splash->isVisible());

    // As soon as the event loop runs again, the overdue tick hands over, without another second.
    QVERIFY(due.wait(900));
    QVERIFY(!splash || !splash->isVisible());
    QTRY_VERIFY(splash.isNull()); // unloaded after the hand-over
    QCOMPARE(due.count(), 1);
}

QTEST_MAIN(TestStartup)
#include "tst_startup.moc"
