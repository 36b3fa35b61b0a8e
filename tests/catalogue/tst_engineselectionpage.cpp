#include "AppFixture.h"
#include "CatalogueFixture.h"
#include "MainWindow.h"
#include "ProfileFixture.h"
#include "RecordingDesktopOpener.h"
#include "ScriptedDialogs.h"
#include "SettingsStore.h"
#include "SiteDatabase.h"
#include "TempSettings.h"

#include <QAction>
#include <QApplication>
#include <QCheckBox>
#include <QComboBox>
#include <QLabel>
#include <QLineEdit>
#include <QListView>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QTest>
#include <QToolButton>

#include <memory>

using namespace Qt::StringLiterals;

namespace {
// In list order: names sort without regard to case.
const QList<PromoSite> sampleSites = {
    CatalogueFixture::site(u"lycos"_s, u"engine"_s),     CatalogueFixture::site(u"Links A"_s, u"list"_s),
    CatalogueFixture::site(u"AltaVista"_s, u"engine"_s), CatalogueFixture::site(u"Weblog Z"_s, u"blog"_s),
    CatalogueFixture::site(u"Directory B"_s, u"list"_s), CatalogueFixture::site(u"Excite"_s, u"engine"_s),
};
const QStringList listOrder = {u"AltaVista"_s, u"Directory B"_s, u"Excite"_s,
                               u"Links A"_s,   u"lycos"_s,       u"Weblog Z"_s};
const QStringList engines = {u"AltaVista"_s, u"Excite"_s, u"lycos"_s};
} // namespace

class TestEngineSelectionPage : public QObject
{
    Q_OBJECT

private slots:
    void init();
    void cleanup();

    void incompleteProfile_stopsBothWaysOfOpening_data();
    void incompleteProfile_stopsBothWaysOfOpening();
    void toolbarOpening_fillsCatalogueAndShowsTotals();
    void typeFilter_appendsAndRemovesEveryOccurrence();
    void otherType_onlySelectAllAndHandPickAddIt();
    void addTwice_appendsTwice();
    void remove_firstAndLastHighlighted();
    void selectAll_disablesTypeFiltersUntilUncheckedOrReopened();
    void menuBeforeToolbar_leavesCatalogueListEmpty();
    void emptyCatalogue_showsZeroCounts();
    void keyboardAlone_selectsAndSubmits();

private:
    MainWindow& openWindow(const QList<PromoSite>& sites = sampleSites) { return m_app->openWindow(sites); }
    template <typename T> T* get(const QString& name) const { return m_app->get<T>(name); }
    QStringList entries(const QString& list) const { return m_app->listEntries(list); }
    void highlight(const QString& list, const QList<int>& rows);
    void clickToolbar() { QTest::mouseClick(get<QToolButton>(u"Bsubmission"_s), Qt::LeftButton); }
    void click(const QString& button) { QTest::mouseClick(get<QPushButton>(button), Qt::LeftButton); }
    void toggle(const QString& box) { QTest::mouseClick(get<QCheckBox>(box), Qt::LeftButton); }
    QString caption(const QString& label) const { return m_app->labelText(label); }

    std::unique_ptr<AppFixture> m_app;
};

void TestEngineSelectionPage::init()
{
    m_app = std::make_unique<AppFixture>();
    ProfileFixture::storeComplete(m_app->settings(), 1, u"Complete"_s);
}

void TestEngineSelectionPage::cleanup()
{
    m_app.reset();
}

void TestEngineSelectionPage::highlight(const QString& list, const QList<int>& rows)
{
    QListView* view = get<QListView>(list);
    view->selectionModel()->clearSelection();
    for (int row : rows)
        view->selectionModel()->select(view->model()->index(row, 0), QItemSelectionModel::Select);
}

void TestEngineSelectionPage::incompleteProfile_stopsBothWaysOfOpening_data()
{
    QTest::addColumn<QString>("field");
    QTest::addColumn<QString>("text");
    QTest::addColumn<bool>("opens");
    QTest::newRow("chooser empty") << u"Combo4"_s << QString() << false;
    QTest::newRow("name empty") << u"txtname"_s << QString() << false;
    QTest::newRow("description empty") << u"txtdescription"_s << QString() << false;
    QTest::newRow("major category empty") << u"txtmajor"_s << QString() << false;
    QTest::newRow("name a single blank") << u"txtname"_s << u" "_s << true;
    QTest::newRow("chooser typed text") << u"Combo4"_s << u"typed"_s << true;
}

void TestEngineSelectionPage::incompleteProfile_stopsBothWaysOfOpening()
{
    QFETCH(QString, field);
    QFETCH(QString, text);
    QFETCH(bool, opens);
    openWindow();
    QWidget* widget = get<QWidget>(field);
    if (auto* combo = qobject_cast<QComboBox*>(widget))
        combo->setEditText(text);
    else if (auto* description = qobject_cast<QPlainTextEdit*>(widget))
        description->setPlainText(text);
    else
        static_cast<QLineEdit*>(widget)->setText(text);

    for (const bool fromToolbar : {true, false}) {
        get<QToolButton>(u"Bprofile"_s)->click();
        if (fromToolbar)
            clickToolbar();
        else
            get<QAction>(u"sub"_s)->trigger();
        QCOMPARE(get<QWidget>(u"subform"_s)->isVisible(), opens);
        QCOMPARE(get<QWidget>(u"proform"_s)->isVisible(), !opens);
        if (!opens) {
            QCOMPARE(m_app->dialogs().shown().size(), fromToolbar ? 1 : 2);
            const ScriptedDialogs::Shown& message = m_app->dialogs().shown().last();
            QCOMPARE(message.text,
                     u"Please fill in all the fields requested to properly submit your website."_s);
            QCOMPARE(message.title, u"Missing Information"_s);
            QCOMPARE(message.icon, Dialogs::Icon::Warning);
            QCOMPARE(caption(u"Label47"_s), u" Website and User Profile"_s);
        }
    }
    if (opens)
        QVERIFY(m_app->dialogs().shown().isEmpty());
}

void TestEngineSelectionPage::toolbarOpening_fillsCatalogueAndShowsTotals()
{
    openWindow();
    QCOMPARE(caption(u"Label16"_s), u" Total Engines"_s);
    clickToolbar();
    QCOMPARE(entries(u"List1"_s), listOrder);
    QCOMPARE(caption(u"Label16"_s), u" Total Search Engines :6"_s);
    QCOMPARE(caption(u"Label20"_s), u" Total Selected Engines :0"_s);

    highlight(u"List1"_s, {0, 2});
    click(u"Command11"_s);
    QCOMPARE(caption(u"Label20"_s), u" Selected Engines :2"_s);
    // Opening again refills the catalogue list and keeps the selection.
    clickToolbar();
    QCOMPARE(entries(u"List2"_s), QStringList({u"AltaVista"_s, u"Excite"_s}));
    QCOMPARE(caption(u"Label20"_s), u" Total Selected Engines :2"_s);
}

void TestEngineSelectionPage::typeFilter_appendsAndRemovesEveryOccurrence()
{
    openWindow();
    clickToolbar();
    toggle(u"Check2"_s);
    toggle(u"Check2"_s);
    toggle(u"Check2"_s);
    QCOMPARE(entries(u"List2"_s), engines); // each engine once
    QCOMPARE(caption(u"Label20"_s), u" Selected Engines :3"_s);
    toggle(u"Check2"_s);
    QVERIFY(entries(u"List2"_s).isEmpty());

    // Engines and a list picked by hand, then the filter: engines twice, in their order.
    highlight(u"List1"_s, {0, 3, 4});
    click(u"Command11"_s);
    toggle(u"Check2"_s);
    QCOMPARE(entries(u"List2"_s), QStringList({u"AltaVista"_s, u"Links A"_s, u"lycos"_s}) + engines);
    toggle(u"Check2"_s);
    QCOMPARE(entries(u"List2"_s), QStringList{u"Links A"_s});
    QCOMPARE(caption(u"Label20"_s), u" Selected Engines :1"_s);

    toggle(u"Check3"_s);
    QCOMPARE(entries(u"List2"_s), QStringList({u"Links A"_s, u"Directory B"_s, u"Links A"_s}));
    toggle(u"Check3"_s);
    QVERIFY(entries(u"List2"_s).isEmpty());
}

void TestEngineSelectionPage::otherType_onlySelectAllAndHandPickAddIt()
{
    openWindow();
    clickToolbar();
    QVERIFY(entries(u"List1"_s).contains(u"Weblog Z"_s));
    toggle(u"Check2"_s);
    toggle(u"Check3"_s);
    QVERIFY(!entries(u"List2"_s).contains(u"Weblog Z"_s));
    highlight(u"List1"_s, {5});
    click(u"Command11"_s);
    toggle(u"Check2"_s);
    toggle(u"Check3"_s);
    QCOMPARE(entries(u"List2"_s), QStringList{u"Weblog Z"_s});
    toggle(u"Check4"_s);
    QCOMPARE(entries(u"List2"_s), listOrder);
}

void TestEngineSelectionPage::addTwice_appendsTwice()
{
    openWindow();
    clickToolbar();
    highlight(u"List1"_s, {1, 4});
    click(u"Command11"_s);
    click(u"Command11"_s);
    QCOMPARE(entries(u"List2"_s), QStringList({u"Directory B"_s, u"lycos"_s, u"Directory B"_s, u"lycos"_s}));
    QCOMPARE(get<QListView>(u"List1"_s)->selectionModel()->selectedRows().size(), 2); // highlighting stays
    QCOMPARE(entries(u"List1"_s), listOrder);
}

void TestEngineSelectionPage::remove_firstAndLastHighlighted()
{
    openWindow();
    clickToolbar();
    toggle(u"Check4"_s);
    highlight(u"List2"_s, {0, 5});
    click(u"Command10"_s);
    QCOMPARE(entries(u"List2"_s), listOrder.mid(1, 4));
    QCOMPARE(caption(u"Label16"_s), u" Search Engines :6"_s);
    QCOMPARE(caption(u"Label20"_s), u" Selected Engines :4"_s);

    get<QListView>(u"List2"_s)->selectionModel()->clearSelection();
    click(u"Command10"_s); // nothing highlighted: only the captions
    QCOMPARE(entries(u"List2"_s).size(), 4);
}

void TestEngineSelectionPage::selectAll_disablesTypeFiltersUntilUncheckedOrReopened()
{
    openWindow();
    clickToolbar();
    toggle(u"Check2"_s);
    toggle(u"Check4"_s);
    QCOMPARE(entries(u"List2"_s), listOrder);
    QVERIFY(!get<QCheckBox>(u"Check2"_s)->isChecked());
    QVERIFY(!get<QCheckBox>(u"Check2"_s)->isEnabled());
    QVERIFY(!get<QCheckBox>(u"Check3"_s)->isEnabled());
    QCOMPARE(caption(u"Label20"_s), u" Selected Engines :6"_s);

    clickToolbar(); // re-enables the type filters even while "Select All" stays checked
    QVERIFY(get<QCheckBox>(u"Check4"_s)->isChecked());
    QVERIFY(get<QCheckBox>(u"Check2"_s)->isEnabled());
    toggle(u"Check2"_s);
    QCOMPARE(entries(u"List2"_s).size(), 9);

    toggle(u"Check4"_s);
    QVERIFY(entries(u"List2"_s).isEmpty());
    QVERIFY(!get<QCheckBox>(u"Check2"_s)->isChecked());
    QCOMPARE(caption(u"Label20"_s), u" Selected Engines :0"_s);
}

void TestEngineSelectionPage::menuBeforeToolbar_leavesCatalogueListEmpty()
{
    openWindow();
    get<QAction>(u"sub"_s)->trigger();
    QVERIFY(get<QWidget>(u"subform"_s)->isVisible());
    QCOMPARE(caption(u"Label47"_s), u"Submission"_s);
    QVERIFY(entries(u"List1"_s).isEmpty());
    QCOMPARE(caption(u"Label16"_s), u" Total Engines"_s);
    toggle(u"Check2"_s);
    QCOMPARE(entries(u"List2"_s), engines);
}

void TestEngineSelectionPage::emptyCatalogue_showsZeroCounts()
{
    openWindow({});
    clickToolbar();
    QCOMPARE(caption(u"Label16"_s), u" Total Search Engines :0"_s);
    QCOMPARE(caption(u"Label20"_s), u" Total Selected Engines :0"_s);
    toggle(u"Check4"_s);
    QCOMPARE(caption(u"Label20"_s), u" Selected Engines :0"_s);
    QVERIFY(m_app->dialogs().shown().isEmpty());
}

void TestEngineSelectionPage::keyboardAlone_selectsAndSubmits()
{
    openWindow();
    QApplication::setActiveWindow(&m_app->window());
    get<QToolButton>(u"Bsubmission"_s)->setFocus();
    QTest::keyClick(QApplication::focusWidget(), Qt::Key_Space);
    QVERIFY(get<QWidget>(u"subform"_s)->isVisible());

    get<QListView>(u"List1"_s)->setFocus();
    const QStringList order = {u"Command11"_s, u"Command10"_s, u"List2"_s,
                               u"Check2"_s,    u"Check3"_s,    u"Check4"_s};
    for (const QString& next : order) {
        QTest::keyClick(QApplication::focusWidget(), Qt::Key_Tab);
        QCOMPARE(QApplication::focusWidget()->objectName(), next);
    }
    QTest::keyClick(QApplication::focusWidget(), Qt::Key_Space);
    QCOMPARE(entries(u"List2"_s), listOrder);
    QTest::keyClick(QApplication::focusWidget(), Qt::Key_Tab);
    QCOMPARE(QApplication::focusWidget()->objectName(), u"preview"_s);
    QTest::keyClick(QApplication::focusWidget(), Qt::Key_Tab); // "Resubmit failed" is off: skipped
    QCOMPARE(QApplication::focusWidget()->objectName(), u"Command15"_s);
    get<QPushButton>(u"Command15"_s)->disconnect(); // what Submit does is the run's business
    QSignalSpy submitted(get<QPushButton>(u"Command15"_s), &QPushButton::clicked);
    QTest::keyClick(QApplication::focusWidget(), Qt::Key_Space);
    QCOMPARE(submitted.count(), 1);
}

QTEST_MAIN(TestEngineSelectionPage)
#include "tst_engineselectionpage.moc"
