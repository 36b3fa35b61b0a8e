#include "CatalogueFixture.h"
#include "InstalledVersion.h"
#include "MainWindow.h"
#include "RecordingDesktopOpener.h"
#include "ScriptedDialogs.h"
#include "SettingsStore.h"
#include "SiteDatabase.h"
#include "SiteFarm.h"
#include "TempSettings.h"
#include "UpgradeWindow.h"

#include <QAction>
#include <QApplication>
#include <QFile>
#include <QLabel>
#include <QPointer>
#include <QPushButton>
#include <QTemporaryDir>
#include <QTest>

#include <memory>

using namespace Qt::StringLiterals;

namespace {
const QByteArray newBytes = "NEW UPGRADE BYTES";
const QByteArray oldBytes = "an older, longer orvd.upg from an earlier upgrade, kept until replaced";
} // namespace

class TestUpgradeWindow : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void init();
    void cleanup();

    void upgrade_data();
    void upgrade();
    void request_carriesTheEncodedVersion_data();
    void request_carriesTheEncodedVersion();
    void cancelAndCloseControl_bringTheMainWindowBack();

private:
    QPointer<UpgradeWindow> openWindow(const QString& server);
    QByteArray upgradeFile() const;

    SiteFarm m_farm;
    std::unique_ptr<QTemporaryDir> m_home;
    std::unique_ptr<TempSettings> m_temp;
    std::unique_ptr<SettingsStore> m_settings;
    std::unique_ptr<ScriptedDialogs> m_dialogs;
    std::unique_ptr<QWidget> m_mainWindow;
};

void TestUpgradeWindow::initTestCase()
{
    QVERIFY(m_farm.listen());
    m_farm.route(u"/files/new.upg"_s, SiteFarm::Route{SiteFarm::Behaviour::Ok, {}, 0, 0, newBytes});
    m_farm.route(u"/files/broken.upg"_s, SiteFarm::Behaviour::ResetMidBody);
    m_farm.route(u"/files/missing.upg"_s, SiteFarm::Behaviour::NotFound);
    m_farm.route(u"/hang/registration/orv.asp"_s, SiteFarm::Behaviour::Hang);
}

void TestUpgradeWindow::init()
{
    m_home = std::make_unique<QTemporaryDir>();
    m_temp = std::make_unique<TempSettings>();
    m_settings = std::make_unique<SettingsStore>();
    m_dialogs = std::make_unique<ScriptedDialogs>();
    m_mainWindow = std::make_unique<QWidget>();
    QVERIFY(InstalledVersion(*m_settings).store(u"2.001"_s));
}

void TestUpgradeWindow::cleanup()
{
    m_mainWindow.reset();
    m_settings.reset();
    m_temp.reset();
    m_home.reset();
}

QPointer<UpgradeWindow> TestUpgradeWindow::openWindow(const QString& server)
{
    auto* window =
        new UpgradeWindow(*m_settings, *m_dialogs,
                          {QUrl(server), m_home->filePath(u"orvd.upg"_s), std::chrono::milliseconds(1500)});
    connect(window, &UpgradeWindow::finished, m_mainWindow.get(), &QWidget::show);
    window->show();
    return window;
}

QByteArray TestUpgradeWindow::upgradeFile() const
{
    QFile file(m_home->filePath(u"orvd.upg"_s));
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray("<none>");
}

void TestUpgradeWindow::upgrade_data()
{
    QTest::addColumn<QString>("reply"); // "%1" stands for the farm's address
    QTest::addColumn<QString>("server");
    QTest::addColumn<QString>("message");
    QTest::addColumn<QByteArray>("file");
    QTest::addColumn<QString>("version");
    const QString success = u"The upgrade process has completed successfully!"_s;
    const QString current = u"You have the most current version."_s;
    const QString failed = u"Could not register at this time, Please try again at another time."_s;
    const QString farm = u"farm"_s;
    QTest::newRow("current") << u"code 0001"_s << farm << current << oldBytes << u"2.001"_s;
    QTest::newRow("newer") << u"0011 path[%1/files/new.upg] version[2.100]"_s << farm << success << newBytes
                           << u"2.100"_s;
    QTest::newRow("neither code") << u"maintenance"_s << farm << failed << oldBytes << u"2.001"_s;
    QTest::newRow("both codes") << u"0011 0001 path[%1/files/new.upg] version[9]"_s << farm << current
                                << oldBytes << u"2.001"_s;
    QTest::newRow("0001 only inside the path")
        << u"0011 path[%1/files/0001.upg] version[9]"_s << farm << current << oldBytes << u"2.001"_s;
    QTest::newRow("version before path")
        << u"0011 version[2.5] path[%1/files/new.upg]"_s << farm << success << newBytes << u"2.5"_s;
    QTest::newRow("version[ inside the path")
        << u"0011 path[%1/files/new.upg?version[9] version[2.7]"_s << farm << success << newBytes << u"2.7"_s;
    QTest::newRow("marker missing: quiet end")
        << u"0011 path[%1/files/new.upg]"_s << farm << QString() << oldBytes << u"2.001"_s;
    QTest::newRow("empty address") << u"0011 path[] version[3]"_s << farm << failed << oldBytes << u"2.001"_s;
    QTest::newRow("server down") << QString() << SiteFarm::refusedUrl(QString()) << failed << oldBytes
                                 << u"2.001"_s;
    QTest::newRow("no answer in time") << QString() << u"hang"_s << failed << oldBytes << u"2.001"_s;
    QTest::newRow("download breaks midway")
        << u"0011 path[%1/files/broken.upg] version[4]"_s << farm << failed << oldBytes << u"2.001"_s;
    QTest::newRow("download not found")
        << u"0011 path[%1/files/missing.upg] version[4]"_s << farm << failed << oldBytes << u"2.001"_s;
}

void TestUpgradeWindow::upgrade()
{
    QFETCH(QString, reply);
    QFETCH(QString, server);
    QFETCH(QString, message);
    QFETCH(QByteArray, file);
    QFETCH(QString, version);
    {
        QFile existing(m_home->filePath(u"orvd.upg"_s));
        QVERIFY(existing.open(QIODevice::WriteOnly));
        existing.write(oldBytes);
    }
    m_farm.route(
        u"/registration/orv.asp"_s,
        SiteFarm::Route{SiteFarm::Behaviour::Ok, {}, 0, 0, reply.arg(m_farm.url(QString())).toUtf8()});
    const QString base = server == u"farm"_s   ? m_farm.url(QString())
                         : server == u"hang"_s ? m_farm.url(u"/hang"_s)
                                               : server;

    QPointer<UpgradeWindow> window = openWindow(base);
    QCOMPARE(window->windowTitle(), u"Orvanta Upgrade "_s);
    window->findChild<QPushButton*>(u"Command1"_s)->click();

    QTRY_VERIFY(window.isNull()); // closed, whatever the ending
    QVERIFY(m_mainWindow->isVisible());
    QCOMPARE(m_dialogs->shown().size(), message.isEmpty() ? 0 : 1);
    if (!message.isEmpty()) {
        const ScriptedDialogs::Shown& shown = m_dialogs->shown().first();
        QCOMPARE(shown.text, message);
        QCOMPARE(shown.title,
                 message == u"You have the most current version."_s ? u"Orvanta"_s : u"Orvanta Upgrade"_s);
        QCOMPARE(shown.icon,
                 message.startsWith(u"Could not"_s) ? Dialogs::Icon::None : Dialogs::Icon::Information);
    }
    QCOMPARE(upgradeFile(), file);
    QCOMPARE(InstalledVersion(*m_settings).read(), version);
}

void TestUpgradeWindow::request_carriesTheEncodedVersion_data()
{
    QTest::addColumn<QString>("stored");
    QTest::addColumn<QByteArray>("requestLine");
    QTest::newRow("first version") << u"2.001"_s
                                   << QByteArray("GET /registration/orv.asp?version=2.001 HTTP/1.1");
    QTest::newRow("none stored") << QString() << QByteArray("GET /registration/orv.asp?version= HTTP/1.1");
    QTest::newRow("awkward") << u"2 & b=c"_s
                             << QByteArray("GET /registration/orv.asp?version=2%20%26%20b%3Dc HTTP/1.1");
}

void TestUpgradeWindow::request_carriesTheEncodedVersion()
{
    QFETCH(QString, stored);
    QFETCH(QByteArray, requestLine);
    QVERIFY(InstalledVersion(*m_settings).store(stored));
    m_farm.route(u"/registration/orv.asp"_s, SiteFarm::Route{SiteFarm::Behaviour::Ok, {}, 0, 0, "0001"});
    const qsizetype before = m_farm.requests().size();
    QPointer<UpgradeWindow> window = openWindow(m_farm.url(QString()));
    window->findChild<QPushButton*>(u"Command1"_s)->click();
    QTRY_VERIFY(window.isNull());
    QCOMPARE(m_farm.requests().size(), before + 1);
    QVERIFY2(m_farm.requests().last().startsWith(QByteArray(requestLine + "\r\n")),
             m_farm.requests().last().constData());
}

void TestUpgradeWindow::cancelAndCloseControl_bringTheMainWindowBack()
{
    QTemporaryDir catalogueDir;
    CatalogueFixture::write(catalogueDir.filePath(u"orvd.dll"_s), {});
    QString error;
    auto catalogue = SiteDatabase::open(catalogueDir.filePath(u"orvd.dll"_s), error);
    RecordingDesktopOpener desktop;
    MainWindow main(AppContext{AppPaths(m_home->path()), *m_dialogs, *m_settings, desktop}, *catalogue);
    main.show();
    const qsizetype before = m_farm.requests().size();

    for (const bool useCloseControl : {false, true}) {
        main.findChild<QAction*>(u"upgrade"_s)->trigger();
        QVERIFY(!main.isVisible());
        QPointer<QWidget> window = QApplication::activeWindow() ? QApplication::activeWindow() : nullptr;
        const QWidgetList windows = QApplication::topLevelWidgets();
        for (QWidget* candidate : windows) {
            if (candidate->objectName() == u"frmupg"_s && candidate->isVisible())
                window = candidate;
        }
        QVERIFY(window && window->objectName() == u"frmupg"_s);
        QCOMPARE(window->findChild<QLabel*>(u"Status"_s)->text(),
                 u"Upgrade Status: Waiting for user input"_s);
        if (useCloseControl)
            window->close();
        else
            window->findChild<QPushButton*>(u"Command2"_s)->click();
        QVERIFY(main.isVisible());
        QTRY_VERIFY(window.isNull());
    }
    QCOMPARE(m_farm.requests().size(), before); // nothing was sent
    QVERIFY(m_dialogs->shown().isEmpty());
}

QTEST_MAIN(TestUpgradeWindow)
#include "tst_upgradewindow.moc"
