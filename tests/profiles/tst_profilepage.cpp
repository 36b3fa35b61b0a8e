#include "ProfilePage.h"
#include "ProfileStore.h"
#include "ScriptedDialogs.h"
#include "SettingsStore.h"
#include "TempSettings.h"

#include <QComboBox>
#include <QDir>
#include <QFile>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QTest>

#include <memory>

using namespace Qt::StringLiterals;

namespace {

const QStringList textFieldNames = {u"txtname"_s,    u"txtcompany"_s, u"txtaddress"_s, u"txtcity"_s,
                                    u"txtstate"_s,   u"txtzip"_s,     u"txtcountry"_s, u"txtphone"_s,
                                    u"txtfax"_s,     u"txtemail"_s,   u"txttitle"_s,   u"txturl"_s,
                                    u"txtkeywords"_s};
const QStringList categoryFieldNames = {u"txtffa"_s, u"txttype"_s, u"txtmajor"_s};

} // namespace

class TestProfilePage : public QObject
{
    Q_OBJECT

private slots:
    void init();
    void cleanup();

    void emptyStore_locksFieldsAndRefusesSaveAndDelete();
    void start_showsHighestSlotWithChooserInSlotOrder();
    void newProfile_takesLowestFreeSlotAndGoesToTheEndOfTheChooser();
    void newProfile_refusedTitlesChangeNothing_data();
    void newProfile_refusedTitlesChangeNothing();
    void newProfile_blankTitleIsAccepted();
    void newProfile_fullStoreAsksThenDoesNothing();
    void pickingUnsavedProfile_showsEmptyFields();
    void typedChooserText_isNeverStored();
    void sharedTitles_actOnTheLowerSlot();
    void deletingLastProfile_emptiesAndLocks();
    void saveOrDeleteWithoutStoredProfile_touchesNoSection();
    void awkwardValues_roundTripThroughThePage();
    void untouchedDescription_keepsItsLineEnds();
    void unwritableStore_saveSaysSo();
    void unwritableStore_newProfileSaysSo();
    void corruptSettingsFile_loadsWhatItCanAndKeepsACopy();
    void focusOrder_visitsOwnerRowsLeftThenRight();

private:
    ProfilePage& makePage();
    void writeSettingsFile(const QByteArray& bytes);
    QComboBox* chooser() const { return m_page->findChild<QComboBox*>(u"Combo4"_s); }
    QLineEdit* edit(const QString& name) const { return m_page->findChild<QLineEdit*>(name); }
    QWidget* field(const QString& name) const { return m_page->findChild<QWidget*>(name); }
    void click(const QString& button)
    {
        QTest::mouseClick(m_page->findChild<QPushButton*>(button), Qt::LeftButton);
    }
    void pick(int index)
    {
        chooser()->setCurrentIndex(index);
        emit chooser()->activated(index);
    }
    QStringList chooserItems() const
    {
        QStringList items;
        for (int i = 0; i < chooser()->count(); ++i)
            items << chooser()->itemText(i);
        return items;
    }
    bool fieldsLocked() const;
    QByteArray settingsFile() const;

    std::unique_ptr<TempSettings> m_temp;
    std::unique_ptr<SettingsStore> m_settings;
    std::unique_ptr<ProfileStore> m_store;
    std::unique_ptr<ScriptedDialogs> m_dialogs;
    std::unique_ptr<ProfilePage> m_page;
};

void TestProfilePage::init()
{
    m_temp = std::make_unique<TempSettings>();
    m_settings = std::make_unique<SettingsStore>();
    m_store = std::make_unique<ProfileStore>(*m_settings);
    m_dialogs = std::make_unique<ScriptedDialogs>();
}

void TestProfilePage::cleanup()
{
    m_page.reset();
    m_store.reset();
    m_settings.reset();
    m_temp.reset();
}

ProfilePage& TestProfilePage::makePage()
{
    m_page = std::make_unique<ProfilePage>(*m_store, *m_dialogs);
    m_page->loadprofiles();
    m_page->show();
    return *m_page;
}

void TestProfilePage::writeSettingsFile(const QByteArray& bytes)
{
    const QString file = m_temp->fileOf(u"orv"_s);
    QDir().mkpath(QFileInfo(file).path());
    QFile out(file);
    QVERIFY(out.open(QIODevice::WriteOnly));
    out.write(bytes);
}

QByteArray TestProfilePage::settingsFile() const
{
    QFile file(m_temp->fileOf(u"orv"_s));
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

bool TestProfilePage::fieldsLocked() const
{
    bool allLocked = true;
    bool allUnlocked = true;
    for (const QString& name : textFieldNames + categoryFieldNames + QStringList{u"txtdescription"_s}) {
        const QWidget* widget = field(name);
        allLocked = allLocked && !widget->isEnabled();
        allUnlocked =
            allUnlocked && widget->isEnabled() && widget->palette().color(QPalette::Base) == Qt::white;
    }
    if (!allLocked && !allUnlocked)
        qWarning("fields are partly locked");
    return allLocked;
}

void TestProfilePage::emptyStore_locksFieldsAndRefusesSaveAndDelete()
{
    makePage();
    QVERIFY(chooserItems().isEmpty());
    QCOMPARE(chooser()->currentText(), QString());
    QVERIFY(fieldsLocked());
    QVERIFY(chooser()->isEnabled());
    QCOMPARE(field(u"txtmajor"_s)->property("currentText").toString(), u"Computers & Internet\\WWW"_s);

    click(u"Command9"_s);
    click(u"Command21"_s);
    QVERIFY(m_dialogs->shown().isEmpty());
    QVERIFY(!QFile::exists(m_temp->fileOf(u"orv"_s)));

    m_dialogs->queueInput(u"First site"_s);
    click(u"Command7"_s);
    QCOMPARE(m_dialogs->shown().first().text, u"Please specify a title for your new profile below."_s);
    QCOMPARE(m_dialogs->shown().first().title, u"New Profile"_s);
    QVERIFY(!fieldsLocked());
    QCOMPARE(chooser()->currentText(), u"First site"_s);
    QCOMPARE(m_page->currentProfileNumber(), 1);
    QCOMPARE(m_store->findByTitle(u"First site"_s), std::optional<int>(1));
}

void TestProfilePage::start_showsHighestSlotWithChooserInSlotOrder()
{
    QVERIFY(m_store->create(7, u"Seventh"_s));
    QVERIFY(m_store->create(2, u"Second"_s));
    Profile seventh;
    seventh.value(ProfileField::Name) = u"Seven's owner"_s;
    seventh.value(ProfileField::MajorCategory) = u"Not a suggestion"_s;
    QVERIFY(m_store->save(7, seventh));

    makePage();
    QCOMPARE(chooserItems(), QStringList({u"Second"_s, u"Seventh"_s}));
    QCOMPARE(chooser()->currentText(), u"Seventh"_s);
    QCOMPARE(m_page->currentProfileNumber(), 7);
    QCOMPARE(edit(u"txtname"_s)->text(), u"Seven's owner"_s);
    QCOMPARE(m_page->fieldText(ProfileField::MajorCategory), u"Not a suggestion"_s);
    QVERIFY(!fieldsLocked());

    pick(0);
    QCOMPARE(m_page->currentProfileNumber(), 2);
    QCOMPARE(edit(u"txtname"_s)->text(), QString());
    QCOMPARE(m_page->profileName(), u"Second"_s);
}

void TestProfilePage::newProfile_takesLowestFreeSlotAndGoesToTheEndOfTheChooser()
{
    for (int slot : {1, 2, 4})
        QVERIFY(m_store->create(slot, u"P%1"_s.arg(slot)));
    makePage();
    edit(u"txtname"_s)->setText(u"typed before"_s);
    field(u"txtffa"_s)->setProperty("currentText", u"Health"_s);

    m_dialogs->queueInput(u"Third"_s);
    click(u"Command7"_s);
    QCOMPARE(m_page->currentProfileNumber(), 3);
    QCOMPARE(chooserItems(), QStringList({u"P1"_s, u"P2"_s, u"P4"_s, u"Third"_s}));
    QCOMPARE(edit(u"txtname"_s)->text(), QString());
    QCOMPARE(m_page->fieldText(ProfileField::FfaCategory), u"Health"_s); // categories keep their text
    QCOMPARE(m_store->read(3).title, u"Third"_s);

    m_dialogs->queueInput(u"Fifth"_s);
    click(u"Command7"_s);
    QCOMPARE(m_page->currentProfileNumber(), 5);
}

void TestProfilePage::newProfile_refusedTitlesChangeNothing_data()
{
    QTest::addColumn<QString>("answer");
    QTest::newRow("cancel or empty") << QString();
    QTest::newRow("the free marker") << u"none"_s;
    QTest::newRow("a title already stored") << u"Existing"_s;
}

void TestProfilePage::newProfile_refusedTitlesChangeNothing()
{
    QFETCH(QString, answer);
    QVERIFY(m_store->create(3, u"Existing"_s));
    makePage();
    edit(u"txtcity"_s)->setText(u"unsaved edit"_s);
    const QByteArray before = settingsFile();

    m_dialogs->queueInput(answer);
    click(u"Command7"_s);
    QCOMPARE(m_dialogs->shown().size(), 1); // the question, and nothing after it
    QCOMPARE(settingsFile(), before);
    QCOMPARE(chooserItems(), QStringList{u"Existing"_s});
    QCOMPARE(m_page->currentProfileNumber(), 3);
    QCOMPARE(edit(u"txtcity"_s)->text(), u"unsaved edit"_s);
}

void TestProfilePage::newProfile_blankTitleIsAccepted()
{
    makePage();
    m_dialogs->queueInput(u"   "_s);
    click(u"Command7"_s);
    QCOMPARE(m_store->findByTitle(u"   "_s), std::optional<int>(1));
    QCOMPARE(chooser()->currentText(), u"   "_s);
}

void TestProfilePage::newProfile_fullStoreAsksThenDoesNothing()
{
    for (int slot = 1; slot <= 20; ++slot)
        QVERIFY(m_store->create(slot, u"P%1"_s.arg(slot)));
    makePage();
    const QByteArray before = settingsFile();
    m_dialogs->queueInput(u"Twenty-first"_s);
    click(u"Command7"_s);
    QCOMPARE(m_dialogs->shown().size(), 1);
    QCOMPARE(settingsFile(), before);
    QCOMPARE(chooser()->count(), 20);
    QCOMPARE(m_page->currentProfileNumber(), 20);
}

void TestProfilePage::pickingUnsavedProfile_showsEmptyFields()
{
    makePage();
    m_dialogs->queueInput(u"Saved"_s);
    click(u"Command7"_s);
    edit(u"txtname"_s)->setText(u"Ann"_s);
    field(u"txttype"_s)->setProperty("currentText", u"Adult"_s);
    click(u"Command9"_s);
    QCOMPARE(m_dialogs->shown().last().text, u"your profile has been saved successfully"_s);
    QCOMPARE(m_dialogs->shown().last().title, u"Site Profile"_s);
    QCOMPARE(m_dialogs->shown().last().icon, Dialogs::Icon::Information);

    m_dialogs->queueInput(u"Never saved"_s);
    click(u"Command7"_s);
    pick(0);
    QCOMPARE(edit(u"txtname"_s)->text(), u"Ann"_s);
    pick(1);
    QCOMPARE(m_page->currentProfileNumber(), 2);
    for (const QString& name : textFieldNames)
        QCOMPARE(edit(name)->text(), QString());
    QCOMPARE(m_page->fieldText(ProfileField::SiteType), QString());
    QCOMPARE(m_page->fieldText(ProfileField::MajorCategory), QString());
}

void TestProfilePage::typedChooserText_isNeverStored()
{
    QVERIFY(m_store->create(7, u"Seventh"_s));
    QVERIFY(m_store->create(9, u"Ninth"_s));
    makePage();
    pick(0);
    chooser()->setEditText(u"Something typed"_s);
    edit(u"txturl"_s)->setText(u"http://127.0.0.1/typed"_s);
    click(u"Command9"_s);
    QCOMPARE(m_store->read(7).value(ProfileField::Url), u"http://127.0.0.1/typed"_s);
    QCOMPARE(m_store->read(7).title, u"Seventh"_s);
    QCOMPARE(m_store->findByTitle(u"Something typed"_s), std::nullopt);

    click(u"Command21"_s);
    QCOMPARE(m_dialogs->shown().last().text, u"Your profile has been deleted successfully"_s);
    QCOMPARE(m_dialogs->shown().last().title, u"Delete Profile"_s);
    QVERIFY(!m_store->isOccupied(7));
    QVERIFY(m_store->isOccupied(9));
    QCOMPARE(chooserItems(), QStringList{u"Ninth"_s});
    QCOMPARE(m_page->currentProfileNumber(), 9);
}

void TestProfilePage::sharedTitles_actOnTheLowerSlot()
{
    QVERIFY(m_store->create(3, u"Twin"_s));
    QVERIFY(m_store->create(8, u"Twin"_s));
    Profile lower;
    lower.value(ProfileField::Email) = u"lower@127.0.0.1"_s;
    QVERIFY(m_store->save(3, lower));
    makePage();
    QCOMPARE(m_page->currentProfileNumber(), 3);
    pick(1);
    QCOMPARE(m_page->currentProfileNumber(), 3);
    QCOMPARE(edit(u"txtemail"_s)->text(), u"lower@127.0.0.1"_s);
    click(u"Command21"_s);
    QVERIFY(!m_store->isOccupied(3));
    QVERIFY(m_store->isOccupied(8));
}

void TestProfilePage::deletingLastProfile_emptiesAndLocks()
{
    QVERIFY(m_store->create(20, u"Last"_s));
    Profile profile;
    profile.value(ProfileField::Name) = u"Owner"_s;
    profile.value(ProfileField::Description) = u"About"_s;
    profile.value(ProfileField::FfaCategory) = u"Personal"_s;
    QVERIFY(m_store->save(20, profile));
    makePage();

    click(u"Command21"_s);
    QVERIFY(chooserItems().isEmpty());
    QCOMPARE(chooser()->currentText(), QString());
    QCOMPARE(edit(u"txtname"_s)->text(), QString());
    QCOMPARE(m_page->fieldText(ProfileField::Description), QString());
    QCOMPARE(m_page->fieldText(ProfileField::FfaCategory), u"Personal"_s);
    QVERIFY(fieldsLocked());
    QVERIFY(m_store->scanTitles().isEmpty());
}

void TestProfilePage::saveOrDeleteWithoutStoredProfile_touchesNoSection()
{
    QVERIFY(m_settings->setValue(u"orv"_s, u"version"_s, u"information"_s, u"2.001"_s));
    makePage();
    QCOMPARE(m_page->currentProfileNumber(), 0);
    chooser()->setEditText(u"typed, never created"_s);
    const QByteArray before = settingsFile();

    click(u"Command9"_s);
    QCOMPARE(m_dialogs->shown().size(), 1);
    QCOMPARE(m_dialogs->shown().last().icon, Dialogs::Icon::Warning);
    QVERIFY(!m_dialogs->shown().last().text.contains(u"successfully"_s));
    click(u"Command21"_s);
    QCOMPARE(m_dialogs->shown().size(), 2);
    QVERIFY(!m_dialogs->shown().last().text.contains(u"successfully"_s));
    QCOMPARE(settingsFile(), before);
    QVERIFY(!settingsFile().contains("[0]"));
}

void TestProfilePage::awkwardValues_roundTripThroughThePage()
{
    const QString awkward = u"  R&D = \"Ltd\"; C:\\dir\\ – Zürich  "_s;
    makePage();
    m_dialogs->queueInput(awkward);
    click(u"Command7"_s);
    for (const QString& name : textFieldNames) {
        edit(name)->clear();
        edit(name)->insert(awkward + name);
    }
    m_page->findChild<QPlainTextEdit*>(u"txtdescription"_s)->setPlainText(u"line one\n  line two  \n"_s);
    field(u"txtmajor"_s)->setProperty("currentText", u"Business & Economy\\Companies\\"_s);
    click(u"Command9"_s);

    std::array<QString, profileFieldCount> shown;
    for (int i = 0; i < profileFieldCount; ++i)
        shown[size_t(i)] = m_page->fieldText(ProfileField(i));

    // A fresh start of the program reads everything back exactly.
    SettingsStore freshSettings;
    ProfileStore freshStore(freshSettings);
    ProfilePage reloaded(freshStore, *m_dialogs);
    reloaded.loadprofiles();
    QCOMPARE(reloaded.profileName(), awkward);
    for (int i = 0; i < profileFieldCount; ++i)
        QCOMPARE(reloaded.fieldText(ProfileField(i)), shown[size_t(i)]);
    QCOMPARE(reloaded.fieldText(ProfileField::Description), u"line one\n  line two  \n"_s);
}

void TestProfilePage::untouchedDescription_keepsItsLineEnds()
{
    QVERIFY(m_store->create(1, u"Windows"_s));
    Profile profile;
    profile.value(ProfileField::Description) = u"first\r\nsecond\r\n"_s;
    QVERIFY(m_store->save(1, profile));
    makePage();
    QCOMPARE(m_page->fieldText(ProfileField::Description), u"first\r\nsecond\r\n"_s);
    click(u"Command9"_s);
    QCOMPARE(m_store->read(1).value(ProfileField::Description), u"first\r\nsecond\r\n"_s);

    m_page->findChild<QPlainTextEdit*>(u"txtdescription"_s)->appendPlainText(u"third"_s);
    QVERIFY(m_page->fieldText(ProfileField::Description).endsWith(u"third"_s));
}

void TestProfilePage::unwritableStore_saveSaysSo()
{
    QVERIFY(m_store->create(1, u"Site"_s));
    makePage();
    // The store becomes unwritable behind the program's back: a directory takes the file's place.
    const QString file = m_temp->fileOf(u"orv"_s);
    QVERIFY(QFile::remove(file));
    QVERIFY(QDir().mkpath(file));

    click(u"Command9"_s);
    QCOMPARE(m_dialogs->shown().size(), 1);
    QCOMPARE(m_dialogs->shown().last().title, u"Site Profile"_s);
    QCOMPARE(m_dialogs->shown().last().icon, Dialogs::Icon::Critical);
    QVERIFY2(m_dialogs->shown().last().text.contains(file), qPrintable(m_dialogs->shown().last().text));
}

void TestProfilePage::unwritableStore_newProfileSaysSo()
{
    const QString file = m_temp->fileOf(u"orv"_s);
    QVERIFY(QDir().mkpath(file));
    makePage();
    m_dialogs->queueInput(u"Cannot be kept"_s);
    click(u"Command7"_s);
    QCOMPARE(m_dialogs->shown().size(), 2);
    QCOMPARE(m_dialogs->shown().last().icon, Dialogs::Icon::Critical);
    QVERIFY2(m_dialogs->shown().last().text.contains(file), qPrintable(m_dialogs->shown().last().text));
    QVERIFY(chooserItems().isEmpty());
    QVERIFY(fieldsLocked());
    QCOMPARE(m_page->currentProfileNumber(), 0);
}

void TestProfilePage::corruptSettingsFile_loadsWhatItCanAndKeepsACopy()
{
    const QByteArray corrupt =
        "[4]\ntitle=Survivor\nname=Kept Name\n\xff\xfe\x00garbage without equals\n[5\ntitle";
    writeSettingsFile(corrupt);
    makePage();
    QCOMPARE(chooser()->currentText(), u"Survivor"_s);
    QCOMPARE(edit(u"txtname"_s)->text(), u"Kept Name"_s);

    edit(u"txtzip"_s)->setText(u"12345"_s);
    click(u"Command9"_s);
    QCOMPARE(m_dialogs->shown().last().text, u"your profile has been saved successfully"_s);
    QFile backup(m_temp->fileOf(u"orv"_s) + u".bak"_s);
    QVERIFY(backup.open(QIODevice::ReadOnly));
    QCOMPARE(backup.readAll(), corrupt);
    QCOMPARE(m_store->read(4).value(ProfileField::Zip), u"12345"_s);
}

void TestProfilePage::focusOrder_visitsOwnerRowsLeftThenRight()
{
    makePage();
    m_dialogs->queueInput(u"Focus"_s);
    click(u"Command7"_s);
    const QStringList expected = {
        u"Combo4"_s,   u"txtname"_s,     u"txtemail"_s,       u"txtcompany"_s, u"txtaddress"_s, u"txtstate"_s,
        u"txtcity"_s,  u"txtphone"_s,    u"txtfax"_s,         u"txtcountry"_s, u"txtzip"_s,     u"txttitle"_s,
        u"txturl"_s,   u"txtkeywords"_s, u"txtdescription"_s, u"txtffa"_s,     u"txttype"_s,    u"txtmajor"_s,
        u"Command7"_s, u"Command9"_s,    u"Command21"_s};
    QStringList visited;
    QWidget* widget = chooser();
    for (int i = 0; i < expected.size(); ++i) {
        // An editable combo box hands focus to its line edit; name the combo box instead.
        QWidget* named = qobject_cast<QComboBox*>(widget->parentWidget()) ? widget->parentWidget() : widget;
        visited << named->objectName();
        do
            widget = widget->nextInFocusChain();
        while (!(widget->focusPolicy() & Qt::TabFocus) || widget->focusProxy() ||
               qobject_cast<QComboBox*>(widget->parentWidget()));
    }
    QCOMPARE(visited, expected);
}

QTEST_MAIN(TestProfilePage)
#include "tst_profilepage.moc"
