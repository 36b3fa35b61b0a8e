#include "CatalogueFixture.h"
#include "MainWindow.h"
#include "ProfileFixture.h"
#include "ProfileSource.h"
#include "RecordingDesktopOpener.h"
#include "ScriptedDialogs.h"
#include "SettingsStore.h"
#include "SiteDatabase.h"
#include "TempSettings.h"

#include <QAbstractItemView>
#include <QAccessible>
#include <QAction>
#include <QApplication>
#include <QComboBox>
#include <QLabel>
#include <QLineEdit>
#include <QMenu>
#include <QMenuBar>
#include <QPlainTextEdit>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>
#include <QToolButton>

#include <memory>

using namespace Qt::StringLiterals;

namespace {
const QStringList pageNames = {u"proform"_s,  u"subform"_s,    u"statsform"_s,
                               u"metaform"_s, u"searchform"_s, u"aboutform"_s};
}

class TestMainWindow : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void init();
    void cleanup();

    void firstStart_opensOnProfilePageAndRecordsVersion();
    void storedVersion_isShownAndKept();
    void pageSwitch_showsOnlyThatPageWithItsTitle_data();
    void pageSwitch_showsOnlyThatPageWithItsTitle();
    void switchingPages_keepsUnsavedProfileEdits();
    void menus_shareOneNameAndKeepTheirOrder();
    void exit_endsTheProgram();
    void everyControl_hasANameAndTheWindowAnIcon();

private:
    std::unique_ptr<MainWindow> makeWindow();
    QStringList visiblePages(const MainWindow& window) const;

    QTemporaryDir m_catalogueDir;
    std::unique_ptr<SiteDatabase> m_catalogue;
    std::unique_ptr<TempSettings> m_tempSettings;
    std::unique_ptr<SettingsStore> m_settings;
    ScriptedDialogs m_dialogs;
    RecordingDesktopOpener m_desktop;
};

void TestMainWindow::initTestCase()
{
    const QString file = m_catalogueDir.filePath(u"orvd.dll"_s);
    CatalogueFixture::write(file, {CatalogueFixture::site(u"One"_s)});
    QString error;
    m_catalogue = SiteDatabase::open(file, error);
    QVERIFY2(m_catalogue, qPrintable(error));
}

void TestMainWindow::init()
{
    m_tempSettings = std::make_unique<TempSettings>();
    m_settings = std::make_unique<SettingsStore>();
}

void TestMainWindow::cleanup()
{
    m_settings.reset();
    m_tempSettings.reset();
}

std::unique_ptr<MainWindow> TestMainWindow::makeWindow()
{
    auto window = std::make_unique<MainWindow>(
        AppContext{AppPaths(m_catalogueDir.path()), m_dialogs, *m_settings, m_desktop}, *m_catalogue);
    window->show();
    return window;
}

QStringList TestMainWindow::visiblePages(const MainWindow& window) const
{
    QStringList visible;
    for (const QString& name : pageNames) {
        const auto* page = window.findChild<QWidget*>(name);
        if (page && page->isVisible())
            visible << name;
    }
    return visible;
}

void TestMainWindow::firstStart_opensOnProfilePageAndRecordsVersion()
{
    auto window = makeWindow();
    QCOMPARE(window->objectName(), u"frmain"_s);
    QCOMPARE(window->windowTitle(), u"Orvanta"_s);
    QCOMPARE(window->findChild<QLabel*>(u"Label47"_s)->text(), u" Website and User Profile"_s);
    QCOMPARE(visiblePages(*window), QStringList{u"proform"_s});
    QCOMPARE(window->findChild<QLabel*>(u"Label27"_s)->text(), u"Orvanta Version 2.001"_s);
    QCOMPARE(window->findChild<QComboBox*>(u"Combo4"_s)->count(), 0);
    QVERIFY(!window->findChild<QLineEdit*>(u"txtname"_s)->isEnabled());

    SettingsStore reread;
    QCOMPARE(reread.value(u"orv"_s, u"version"_s, u"information"_s), u"2.001"_s);
}

void TestMainWindow::storedVersion_isShownAndKept()
{
    // Stored by hand under another spelling of the key: key names match without regard to case.
    QVERIFY(m_settings->setValue(u"orv"_s, u"version"_s, u"Information"_s, u"2.105"_s));
    auto window = makeWindow();
    QCOMPARE(window->findChild<QLabel*>(u"Label27"_s)->text(), u"Orvanta Version 2.105"_s);
    SettingsStore reread;
    QCOMPARE(reread.value(u"orv"_s, u"version"_s, u"information"_s), u"2.105"_s);
}

void TestMainWindow::pageSwitch_showsOnlyThatPageWithItsTitle_data()
{
    QTest::addColumn<QString>("trigger");
    QTest::addColumn<QString>("page");
    QTest::addColumn<QString>("title");
    QTest::newRow("Bsubmission") << u"Bsubmission"_s << u"subform"_s << u" Submission"_s;
    QTest::newRow("sub") << u"sub"_s << u"subform"_s << u"Submission"_s;
    QTest::newRow("Bprofile") << u"Bprofile"_s << u"proform"_s << u" Website and User Profile"_s;
    QTest::newRow("Bmeta") << u"Bmeta"_s << u"metaform"_s << u" Meta Builder"_s;
    QTest::newRow("Bsearch") << u"Bsearch"_s << u"searchform"_s << u" Quick Search"_s;
    QTest::newRow("Babout") << u"Babout"_s << u"aboutform"_s << u" About Orvanta"_s;
    QTest::newRow("pro") << u"pro"_s << u"proform"_s << u" Profile"_s;
    QTest::newRow("mb") << u"mb"_s << u"metaform"_s << u"Meta Builder"_s;
    QTest::newRow("search") << u"search"_s << u"searchform"_s << u"Quick Search"_s;
    QTest::newRow("aboutorv") << u"aboutorv"_s << u"aboutform"_s << u"About Orvanta"_s;
}

void TestMainWindow::pageSwitch_showsOnlyThatPageWithItsTitle()
{
    QFETCH(QString, trigger);
    QFETCH(QString, page);
    QFETCH(QString, title);
    ProfileFixture::storeComplete(*m_settings, 1, u"Complete"_s); // the submission page asks for one
    auto window = makeWindow();
    const auto activate = [&window](const QString& name) {
        if (auto* button = window->findChild<QToolButton*>(name))
            QTest::mouseClick(button, Qt::LeftButton);
        else
            window->findChild<QAction*>(name)->trigger();
    };

    // From another page, and again from the page itself.
    activate(page == u"metaform"_s ? u"Bsearch"_s : u"Bmeta"_s);
    for (int round = 0; round < 2; ++round) {
        activate(trigger);
        QCOMPARE(visiblePages(*window), QStringList{page});
        QCOMPARE(window->findChild<QLabel*>(u"Label47"_s)->text(), title);
    }
}

void TestMainWindow::switchingPages_keepsUnsavedProfileEdits()
{
    QVERIFY(m_settings->setValue(u"orv"_s, u"3"_s, u"title"_s, u"Stored"_s));
    QVERIFY(m_settings->setValue(u"orv"_s, u"3"_s, u"name"_s, u"Stored name"_s));
    auto window = makeWindow();
    auto* name = window->findChild<QLineEdit*>(u"txtname"_s);
    QCOMPARE(name->text(), u"Stored name"_s);
    QCOMPARE(window->profile().profileName(), u"Stored"_s);

    name->setText(u"Edited, not saved"_s);
    QTest::mouseClick(window->findChild<QToolButton*>(u"Bmeta"_s), Qt::LeftButton);
    window->findChild<QAction*>(u"pro"_s)->trigger();
    QCOMPARE(name->text(), u"Edited, not saved"_s);
    QCOMPARE(window->profile().fieldText(ProfileField::Name), u"Edited, not saved"_s);
    QCOMPARE(m_settings->value(u"orv"_s, u"3"_s, u"name"_s), u"Stored name"_s);
}

void TestMainWindow::menus_shareOneNameAndKeepTheirOrder()
{
    auto window = makeWindow();
    const QList<QAction*> topLevel = window->menuBar()->actions();
    QCOMPARE(topLevel.size(), 2);
    QCOMPARE(topLevel.at(0)->menu()->objectName(), u"about"_s);
    QCOMPARE(topLevel.at(1)->menu()->objectName(), u"about"_s);
    QCOMPARE(topLevel.at(0)->text(), u"&File"_s);
    QCOMPARE(topLevel.at(1)->text(), u"&About"_s);

    QStringList fileItems;
    for (const QAction* item : topLevel.at(0)->menu()->actions()) {
        if (!item->isSeparator())
            fileItems << item->objectName() + u'=' + item->text();
    }
    QCOMPARE(fileItems, QStringList({u"pro=&Profile"_s, u"sub=&Submission"_s, u"mb=&Meta Builder"_s,
                                     u"search=&Search"_s, u"exit=&Exit"_s}));
    QStringList aboutItems;
    for (const QAction* item : topLevel.at(1)->menu()->actions())
        aboutItems << item->objectName() + u'=' + item->text();
    QCOMPARE(aboutItems, QStringList({u"upgrade=&Upgrade"_s, u"aboutorv=&About ORV"_s}));
}

void TestMainWindow::exit_endsTheProgram()
{
    auto window = makeWindow();
    QAction* exit = window->findChild<QAction*>(u"exit"_s);
    QTimer::singleShot(0, exit, &QAction::trigger);
    // If Exit did not end the event loop, this guard would, with another status.
    QTimer guard;
    guard.setSingleShot(true);
    connect(&guard, &QTimer::timeout, qApp, [] { QCoreApplication::exit(7); });
    guard.start(5000);
    QCOMPARE(QApplication::exec(), 0);
    QVERIFY(!window->isVisible());
}

void TestMainWindow::everyControl_hasANameAndTheWindowAnIcon()
{
    auto window = makeWindow();
    QVERIFY(!window->windowIcon().isNull());
    QStringList unnamed;
    for (QWidget* widget : window->findChildren<QWidget*>()) {
        const bool control = qobject_cast<QAbstractButton*>(widget) || qobject_cast<QLineEdit*>(widget) ||
                             qobject_cast<QComboBox*>(widget) || qobject_cast<QAbstractItemView*>(widget) ||
                             qobject_cast<QPlainTextEdit*>(widget);
        // An editable combo box's own line edit is announced through the combo box.
        if (!control || qobject_cast<QComboBox*>(widget->parentWidget()) || widget->objectName().isEmpty() ||
            widget->objectName().startsWith(u"qt_"_s))
            continue;
        QAccessibleInterface* accessible = QAccessible::queryAccessibleInterface(widget);
        if (!accessible || accessible->text(QAccessible::Name).trimmed().isEmpty())
            unnamed << widget->objectName();
    }
    QVERIFY2(unnamed.isEmpty(), qPrintable(unnamed.join(u", "_s)));
}

QTEST_MAIN(TestMainWindow)
#include "tst_mainwindow.moc"
