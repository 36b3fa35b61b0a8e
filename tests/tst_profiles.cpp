#include "IndexNowKey.h"
#include "ProfileEditor.h"
#include "ProfilePage.h"
#include "ProfileStore.h"
#include "SettingsStore.h"
#include "SiteFarm.h"
#include "TestSupport.h"

#include <QComboBox>
#include <QDir>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QSettings>
#include <QTest>

#include <memory>

using namespace Qt::StringLiterals;
using Result = ProfileEditor::Result;

class TestProfiles : public QObject
{
    Q_OBJECT

private:
    QComboBox* chooser() const { return m_page->findChild<QComboBox*>(u"Combo4"_s); }
    QLineEdit* edit(const QString& name) const { return m_page->findChild<QLineEdit*>(name); }
    void click(const QString& button) { m_page->findChild<QPushButton*>(button)->click(); }

    std::unique_ptr<TempSettings> m_temp;
    std::unique_ptr<SettingsStore> m_settings;
    std::unique_ptr<ProfileStore> m_store;
    ScriptedDialogs m_dialogs;
    std::unique_ptr<ProfilePage> m_page;

    ProfilePage& makePage()
    {
        m_page = std::make_unique<ProfilePage>(*m_store, m_dialogs);
        m_page->loadProfiles();
        m_page->show();
        return *m_page;
    }

    QStringList chooserItems() const
    {
        QStringList items;
        for (int i = 0; i < chooser()->count(); ++i)
            items << chooser()->itemText(i);
        return items;
    }

private slots:

    void init()
    {
        m_temp = std::make_unique<TempSettings>();
        m_settings = std::make_unique<SettingsStore>();
        m_store = std::make_unique<ProfileStore>(*m_settings);
        m_dialogs = ScriptedDialogs();
    }

    void cleanup()
    {
        m_page.reset();
        m_store.reset();
        m_settings.reset();
        m_temp.reset();
    }

    void store_slotsAreTakenLowestFirstAndTitlesCompareExactly()
    {
        QCOMPARE(m_store->findFreeSlot(), std::optional<int>(1));
        for (int slot : {1, 2, 4})
            QVERIFY(m_store->create(slot, u"Shop"_s));
        QVERIFY(m_store->create(9, u"shop"_s));
        QVERIFY(m_store->create(12, u"Shop "_s));
        QVERIFY(m_settings->setValue(u"3"_s, u"Title"_s, u"none"_s)); // stored "none" counts as free
        QCOMPARE(m_store->findFreeSlot(), std::optional<int>(3));
        QCOMPARE(m_store->findByTitle(u"Shop"_s), std::optional<int>(1));
        QCOMPARE(m_store->findByTitle(u"shop"_s), std::optional<int>(9));
        QCOMPARE(m_store->findByTitle(u"Shop "_s), std::optional<int>(12));
        QCOMPARE(m_store->scanTitles().size(), 5);
        QCOMPARE(m_store->scanTitles().last().slot, 12); // walked by number, not "1, 10, 11, ..."
        QVERIFY(m_store->remove(4));
        QVERIFY(!m_store->isOccupied(4) && m_store->isOccupied(9));
        for (int slot = 1; slot <= 20; ++slot)
            m_store->create(slot, u"P"_s);
        QCOMPARE(m_store->findFreeSlot(), std::nullopt);
        for (int slot : {0, -1, 21})
            QVERIFY(!m_store->create(slot, u"x"_s) && !m_store->save(slot, {}) && !m_store->remove(slot));
        QVERIFY(!TestData::readFile(m_temp->file()).contains("[21]"));
    }

    void store_createStartsEmptyAndSaveKeepsTheTitle()
    {
        QVERIFY(m_settings->setValue(u"5"_s, u"name"_s, u"left behind"_s)); // a title-less leftover
        QVERIFY(m_store->create(5, u"New"_s));
        QCOMPARE(m_store->read(5).changeSignal, u"auto"_s); // a new profile reads pages without lastmod
        Profile profile;
        profile.title = u"ignored"_s;
        profile.value(ProfileField::Name) = u"Ann"_s;
        QVERIFY(m_store->save(5, profile));
        const Profile read = m_store->read(5);
        QCOMPARE(read.title, u"New"_s);
        QCOMPARE(read.value(ProfileField::Name), u"Ann"_s);
        QCOMPARE(read.emptyFields().size(), profileFieldCount - 1); // stored as empty texts
        QCOMPARE(QSettings(m_temp->file(), QSettings::IniFormat).allKeys().size(), 19);
    }

    void editor_refusesTitlesThatWouldHideAProfile_data()
    {
        QTest::addColumn<QString>("title");
        QTest::addColumn<int>("occupied");
        QTest::addColumn<int>("result");
        QTest::newRow("cancel or empty") << QString() << 1 << int(Result::Refused);
        QTest::newRow("the free marker") << u"none"_s << 1 << int(Result::Refused);
        QTest::newRow("a title already stored") << u"Existing"_s << 1 << int(Result::Refused);
        QTest::newRow("no free slot") << u"Twenty-first"_s << 20 << int(Result::Refused);
        QTest::newRow("blanks are a title") << u"   "_s << 1 << int(Result::Done);
    }

    void editor_refusesTitlesThatWouldHideAProfile()
    {
        QFETCH(QString, title);
        QFETCH(int, occupied);
        QFETCH(int, result);
        for (int slot = 1; slot <= occupied; ++slot)
            QVERIFY(m_store->create(slot, slot == 1 ? u"Existing"_s : u"P%1"_s.arg(slot)));
        const QByteArray before = TestData::readFile(m_temp->file());
        ProfileEditor editor(*m_store);
        QCOMPARE(int(editor.create(title)), result);
        QCOMPARE(editor.currentSlot(), result == int(Result::Done) ? 2 : 0);
        if (result != int(Result::Done))
            QCOMPARE(TestData::readFile(m_temp->file()), before);
    }

    void editor_saveAndDeleteNeedAStoredProfile()
    {
        QVERIFY(m_settings->setValue(u"version"_s, u"information"_s, u"2.001"_s));
        ProfileEditor editor(*m_store);
        const QByteArray before = TestData::readFile(m_temp->file());
        QCOMPARE(editor.save(u"typed"_s, {}), Result::NothingStored); // slot 0: nothing chosen yet
        QCOMPARE(editor.remove(u"typed"_s), Result::NothingStored);
        QCOMPARE(editor.save(QString(), {}), Result::Refused);
        QCOMPARE(TestData::readFile(m_temp->file()), before);
        QCOMPARE(editor.create(u"Site"_s), Result::Done);
        QCOMPARE(editor.remove(u"Site"_s), Result::Done);
        QCOMPARE(editor.remove(u"Site"_s), Result::NothingStored); // just deleted
        QCOMPARE(editor.create(u"Again"_s), Result::Done);
        QVERIFY(QFile::remove(m_temp->file()) && QDir().mkpath(m_temp->file()));
        QCOMPARE(editor.save(u"Again"_s, {}), Result::StoreUnwritable);
    }

    void page_eachWidgetIsItsOwnKey_data()
    {
        QTest::addColumn<QString>("widget");
        QTest::addColumn<QString>("key");
        const QStringList widgets = {
            u"txtname"_s,     u"txtcompany"_s,     u"txtaddress"_s, u"txtcity"_s,  u"txtstate"_s, u"txtzip"_s,
            u"txtcountry"_s,  u"txtphone"_s,       u"txtfax"_s,     u"txtemail"_s, u"txttitle"_s, u"txturl"_s,
            u"txtkeywords"_s, u"txtdescription"_s, u"txtffa"_s,     u"txttype"_s,  u"txtmajor"_s};
        const QStringList keys = {u"name"_s,   u"company"_s, u"address"_s,  u"city"_s,        u"state"_s,
                                  u"zip"_s,    u"country"_s, u"phone"_s,    u"fax"_s,         u"email"_s,
                                  u"wtitle"_s, u"url"_s,     u"keywords"_s, u"description"_s, u"ffa"_s,
                                  u"type"_s,   u"major"_s};
        for (qsizetype i = 0; i < widgets.size(); ++i)
            QTest::newRow(qPrintable(widgets.at(i))) << widgets.at(i) << keys.at(i);
    }

    void page_eachWidgetIsItsOwnKey()
    {
        QFETCH(QString, widget);
        QFETCH(QString, key);
        TestData::storeCompleteProfile(*m_settings, 1, u"Site"_s); // every key holds "<key> value"
        makePage();
        QWidget* field = m_page->findChild<QWidget*>(widget);
        auto* description = qobject_cast<QPlainTextEdit*>(field);
        auto* combo = qobject_cast<QComboBox*>(field);
        const QString shown = description ? description->toPlainText()
                              : combo     ? combo->currentText()
                                          : static_cast<QLineEdit*>(field)->text();
        QCOMPARE(shown, key + u" value"_s);
        if (description)
            description->setPlainText(u"typed"_s);
        else if (combo)
            combo->setEditText(u"typed"_s);
        else
            static_cast<QLineEdit*>(field)->setText(u"typed"_s);
        click(u"Command9"_s);
        const Profile stored = m_store->read(1);
        for (int i = 0; i < profileFieldCount; ++i) {
            const QString other = Profile::key(ProfileField(i));
            QCOMPARE(stored.fields[size_t(i)], other == key ? u"typed"_s : other + u" value"_s);
        }
    }

    void page_startsOnTheHighestSlotAndLocksWhenEmpty()
    {
        makePage();
        QVERIFY(chooserItems().isEmpty());
        QVERIFY(!edit(u"txtname"_s)->isEnabled());
        QCOMPARE(m_page->findChild<QComboBox*>(u"txtmajor"_s)->currentText(), u"Computers & Internet\\WWW"_s);
        click(u"Command9"_s);
        click(u"Command21"_s);
        QVERIFY(m_dialogs.shown.isEmpty()); // an empty chooser: silently nothing

        QVERIFY(m_store->create(7, u"Seventh"_s));
        QVERIFY(m_store->create(2, u"Second"_s));
        Profile seventh;
        seventh.value(ProfileField::Name) = u"Seven's owner"_s;
        QVERIFY(m_store->save(7, seventh));
        makePage();
        QCOMPARE(chooserItems(), QStringList({u"Second"_s, u"Seventh"_s}));
        QCOMPARE(chooser()->currentText(), u"Seventh"_s);
        QCOMPARE(m_page->currentSlot(), 7);
        QCOMPARE(edit(u"txtname"_s)->text(), u"Seven's owner"_s);
        QVERIFY(edit(u"txtname"_s)->isEnabled());
        QCOMPARE(edit(u"txtname"_s)->palette().color(QPalette::Base), QColor(Qt::white));

        click(u"Command21"_s);
        QCOMPARE(m_dialogs.shown.last().text, u"Your profile has been deleted successfully"_s);
        QCOMPARE(chooserItems(), QStringList{u"Second"_s});
        QCOMPARE(m_page->currentSlot(), 2);
        click(u"Command21"_s);
        QVERIFY(chooserItems().isEmpty() && chooser()->currentText().isEmpty());
        QVERIFY(!edit(u"txtname"_s)->isEnabled());
    }

    void page_newProfileGoesToTheEndAndKeepsCategories()
    {
        for (int slot : {1, 2, 4})
            QVERIFY(m_store->create(slot, u"P%1"_s.arg(slot)));
        makePage();
        edit(u"txtname"_s)->setText(u"typed before"_s);
        m_page->findChild<QComboBox*>(u"txtffa"_s)->setEditText(u"Health"_s);
        m_dialogs.queueInput(u"Third"_s);
        click(u"Command7"_s);
        QCOMPARE(m_dialogs.shown.first().text, u"Please specify a title for your new profile below."_s);
        QCOMPARE(m_page->currentSlot(), 3);
        QCOMPARE(chooserItems(), QStringList({u"P1"_s, u"P2"_s, u"P4"_s, u"Third"_s}));
        QCOMPARE(chooser()->currentText(), u"Third"_s);
        QCOMPARE(edit(u"txtname"_s)->text(), QString());
        QCOMPARE(m_page->workingCopy().value(ProfileField::FfaCategory), u"Health"_s);
        click(u"Command9"_s);
        QCOMPARE(m_dialogs.shown.last().text, u"your profile has been saved successfully"_s);
        QCOMPARE(m_store->read(3).title, u"Third"_s);
    }

    void page_onlyAPickFromTheListSwitchesProfile()
    {
        QVERIFY(m_store->create(2, u"Alpha"_s));
        QVERIFY(m_store->create(3, u"alpha"_s));
        makePage();
        QCOMPARE(m_page->currentSlot(), 3);
        edit(u"txtcity"_s)->setText(u"unsaved edit"_s);
        m_page->setFocus();
        // Typing a title, with Return or by leaving the box, selects nothing.
        for (const QString& typed : {u"Alpha"_s, u"alpha"_s, u"alp"_s}) {
            chooser()->lineEdit()->selectAll();
            chooser()->lineEdit()->insert(typed);
            QTest::keyClick(chooser()->lineEdit(), Qt::Key_Return);
            edit(u"txtcity"_s)->setFocus();
            QCOMPARE(m_page->currentSlot(), 3);
            QCOMPARE(edit(u"txtcity"_s)->text(), u"unsaved edit"_s);
        }
        click(u"Command9"_s);
        QCOMPARE(m_store->read(3).value(ProfileField::City), u"unsaved edit"_s);
        chooser()->setCurrentIndex(0);
        emit chooser()->activated(0); // a pick from the list
        QCOMPARE(m_page->currentSlot(), 2);
        QCOMPARE(edit(u"txtcity"_s)->text(), QString());
    }

    void page_untouchedValuesComeBackExactly()
    {
        const QString awkward =
            u"  R&D = \"Ltd\"; C:\\dir\\ – Zürich, and a value long enough to need scrolling  "_s;
        QVERIFY(m_store->create(1, awkward));
        Profile profile;
        for (int i = 0; i < profileFieldCount; ++i)
            profile.fields[size_t(i)] = awkward + QString::number(i);
        profile.value(ProfileField::Description) = u"first\r\n  second  \r\n"_s;
        QVERIFY(m_store->save(1, profile));
        makePage();
        QCOMPARE(edit(u"txturl"_s)->cursorPosition(), 0); // opens at its beginning
        QCOMPARE(m_page->findChild<QComboBox*>(u"txtmajor"_s)->lineEdit()->cursorPosition(), 0);
        click(u"Command9"_s);
        profile.title = awkward;
        QCOMPARE(m_store->read(1).fields, profile.fields);
        QCOMPARE(m_page->workingCopy().title, awkward);
    }

    void key_validity_data()
    {
        QTest::addColumn<QString>("key");
        QTest::addColumn<bool>("valid");
        QTest::newRow("seven") << u"abc-123"_s << false;
        QTest::newRow("eight") << u"abc-1234"_s << true;
        QTest::newRow("every allowed kind") << u"azAZ09-x"_s << true;
        QTest::newRow("128") << QString(128, u'k') << true;
        QTest::newRow("129") << QString(129, u'k') << false;
        QTest::newRow("underscore") << u"abcd_1234"_s << false;
        QTest::newRow("blank") << u"abcd 1234"_s << false;
        QTest::newRow("non-ASCII letter") << u"abcdé1234"_s << false;
        QTest::newRow("generated") << IndexNowKey::generate() << true;
    }

    void key_validity()
    {
        QFETCH(QString, key);
        QFETCH(bool, valid);
        QCOMPARE(IndexNowKey::isValid(key), valid);
    }

    void page_notificationValuesAreKeptOnlyWhenUsable()
    {
        TestData::storeCompleteProfile(*m_settings, 1, u"Site"_s);
        const QByteArray saved = TestData::readFile(m_temp->file());
        makePage();
        click(u"Command9"_s); // a profile that never used them is saved as it was
        QCOMPARE(TestData::readFile(m_temp->file()), saved);

        QLineEdit* key = edit(u"txtindexnowkey"_s);
        key->setText(u"not a key"_s);
        edit(u"txtfeed"_s)->setText(u"ftp://example.com/feed"_s);
        click(u"Command9"_s);
        QVERIFY(m_dialogs.shown.last().text.startsWith(u"The IndexNow key must be 8 to 128"_s));
        click(u"generateKey"_s); // asks before it replaces a key, and Enter keeps it
        QCOMPARE(m_dialogs.shown.last().title, u"IndexNow Key"_s);
        QCOMPARE(m_dialogs.shown.last().byDefault, Dialogs::Answer::No);
        QCOMPARE(key->text(), u"not a key"_s);
        m_dialogs.queueYesNo(true);
        click(u"generateKey"_s);
        const QString generated = key->text();
        QVERIFY(IndexNowKey::isValid(generated) && generated.size() == 32);
        click(u"Command9"_s);
        QCOMPARE(m_dialogs.shown.last().text,
                 u"The feed address must be a web address beginning with http:// or https://."_s);
        QCOMPARE(TestData::readFile(m_temp->file()), saved);
        edit(u"txtfeed"_s)->setText(u" https://example.com/feed.xml "_s);
        click(u"Command9"_s);
        QCOMPARE(m_store->read(1).indexNowKey, generated);
        QCOMPARE(m_store->read(1).feed, u"https://example.com/feed.xml"_s);

        QTemporaryDir folder;
        m_dialogs.queueInput(folder.filePath(u"key.txt"_s));
        click(u"saveKeyFile"_s);
        QCOMPARE(TestData::readFile(folder.filePath(u"key.txt"_s)), generated.toUtf8()); // the key alone
        QCOMPARE(m_dialogs.shown.at(m_dialogs.shown.size() - 2).text,
                 QDir::home().filePath(generated + u".txt"_s));

        SiteFarm farm;
        QVERIFY(farm.listen());
        farm.route(u"/%1.txt"_s.arg(generated), SiteFarm::Route::answering(200, generated.toUtf8()));
        edit(u"txturl"_s)->setText(farm.url(u"/shop/"_s));
        click(u"checkKey"_s);
        QVERIFY(!m_page->findChild<QPushButton*>(u"checkKey"_s)->isEnabled()); // one check at a time
        QTRY_VERIFY(m_page->findChild<QPushButton*>(u"checkKey"_s)->isEnabled());
        QCOMPARE(m_dialogs.shown.last().text, u"The site serves the key: %1 holds exactly the key."_s.arg(
                                                  farm.url(u"/%1.txt"_s.arg(generated))));
        QCOMPARE(m_dialogs.shown.last().icon, Dialogs::Icon::Information);

        click(u"Command21"_s); // with no profile left the new controls lock as well
        QVERIFY(!key->isEnabled() && !m_page->findChild<QPushButton*>(u"checkKey"_s)->isEnabled());
        QVERIFY(key->text().isEmpty());
    }

    void page_changedPagesChoicesAreKept()
    {
        TestData::storeCompleteProfile(*m_settings, 1, u"Site"_s); // kept before there was a choice
        makePage();
        auto* signal = m_page->findChild<QComboBox*>(u"changeSignal"_s);
        QCOMPARE(signal->currentText(), u"by the sitemap's lastmod"_s);
        signal->setCurrentIndex(1);
        edit(u"txtinclude"_s)->setText(u" /blog/  /shop/*.html$ "_s);
        edit(u"txtexclude"_s)->setText(u"/tag/ search"_s);
        const QByteArray before = TestData::readFile(m_temp->file());
        click(u"Command9"_s);
        QCOMPARE(m_dialogs.shown.last().text,
                 u"The pattern \"search\" is not a path: a pattern begins with / or *, as in robots.txt "
                 u"(\"/blog/\", \"/*.pdf$\")."_s);
        QCOMPARE(TestData::readFile(m_temp->file()), before);
        edit(u"txtexclude"_s)->setText(u"/tag/ /search"_s);
        click(u"Command9"_s);
        const Profile stored = m_store->read(1);
        QCOMPARE((QStringList{stored.changeSignal, stored.include, stored.exclude}),
                 (QStringList{u"content"_s, u"/blog/ /shop/*.html$"_s, u"/tag/ /search"_s}));
        signal->setCurrentIndex(0); // chosen now, lastmod is kept as a choice
        click(u"Command9"_s);
        QCOMPARE(m_store->read(1).changeSignal, u"lastmod"_s);

        m_dialogs.queueInput(u"Fresh"_s);
        click(u"Command7"_s); // a new profile reads the pages that have no lastmod
        QCOMPARE(signal->currentIndex(), 2);
        QVERIFY(edit(u"txtinclude"_s)->text().isEmpty());
        click(u"Command9"_s);
        QCOMPARE(m_store->read(m_page->currentSlot()).changeSignal, u"auto"_s);
    }

    void page_unwritableStoreIsReported()
    {
        QVERIFY(QDir().mkpath(m_temp->file()));
        makePage();
        m_dialogs.queueInput(u"Cannot be kept"_s);
        click(u"Command7"_s);
        QCOMPARE(m_dialogs.shown.size(), 2);
        QCOMPARE(m_dialogs.shown.last().icon, Dialogs::Icon::Critical);
        QVERIFY(m_dialogs.shown.last().text.contains(m_temp->file()));
        QVERIFY(chooserItems().isEmpty());
        QVERIFY(!edit(u"txtname"_s)->isEnabled());
    }
};

QTEST_MAIN(TestProfiles)
#include "tst_profiles.moc"
