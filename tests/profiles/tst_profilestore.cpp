#include "ProfileStore.h"
#include "SettingsStore.h"
#include "TempSettings.h"

#include <QDir>
#include <QFile>
#include <QSettings>
#include <QTest>

#include <memory>

using namespace Qt::StringLiterals;

class TestProfileStore : public QObject
{
    Q_OBJECT

private slots:
    void init();
    void cleanup();

    void emptyStore_everySlotFree();
    void freeSlots_areReusedLowestFirst();
    void fullStore_hasNoFreeSlot();
    void titles_compareExactlyAndLowestSlotWins();
    void storedNoneTitle_countsAsFree();
    void create_startsFromAnEmptySection();
    void save_writesTheSeventeenFieldsAndKeepsTheTitle();
    void remove_freesOnlyThatSlot();
    void slotsOutsideOneToTwenty_areNeverWritten();

private:
    void occupy(const QList<int>& slotNumbers);
    std::unique_ptr<TempSettings> m_temp;
    std::unique_ptr<SettingsStore> m_settings;
    std::unique_ptr<ProfileStore> m_store;
};

void TestProfileStore::init()
{
    m_temp = std::make_unique<TempSettings>();
    m_settings = std::make_unique<SettingsStore>();
    m_store = std::make_unique<ProfileStore>(*m_settings);
}

void TestProfileStore::cleanup()
{
    m_store.reset();
    m_settings.reset();
    m_temp.reset();
}

void TestProfileStore::occupy(const QList<int>& slotNumbers)
{
    for (int slot : slotNumbers)
        QVERIFY(m_store->create(slot, u"Profile %1"_s.arg(slot)));
}

void TestProfileStore::emptyStore_everySlotFree()
{
    QVERIFY(m_store->scanTitles().isEmpty());
    QCOMPARE(m_store->findFreeSlot(), std::optional<int>(1));
    QCOMPARE(m_store->findByTitle(u"anything"_s), std::nullopt);
    QVERIFY(!m_store->isOccupied(1));
}

void TestProfileStore::freeSlots_areReusedLowestFirst()
{
    occupy({1, 2, 4});
    QCOMPARE(m_store->findFreeSlot(), std::optional<int>(3));
    QVERIFY(m_store->create(3, u"third"_s));
    QCOMPARE(m_store->findFreeSlot(), std::optional<int>(5));

    const QList<ProfileStore::TitledSlot> titles = m_store->scanTitles();
    QCOMPARE(titles.size(), 4);
    QCOMPARE(titles.at(2).slot, 3);
    QCOMPARE(titles.at(2).title, u"third"_s);
}

void TestProfileStore::fullStore_hasNoFreeSlot()
{
    QList<int> all;
    for (int slot = 1; slot <= 20; ++slot)
        all << slot;
    occupy(all);
    QCOMPARE(m_store->findFreeSlot(), std::nullopt);
    QCOMPARE(m_store->scanTitles().size(), 20);
    QCOMPARE(m_store->scanTitles().last().slot, 20); // walked by number, not "1, 10, 11, ..."
}

void TestProfileStore::titles_compareExactlyAndLowestSlotWins()
{
    QVERIFY(m_store->create(4, u"Shop"_s));
    QVERIFY(m_store->create(9, u"Shop"_s));
    QVERIFY(m_store->create(6, u"shop"_s));
    QVERIFY(m_store->create(7, u"Shop "_s));
    QCOMPARE(m_store->findByTitle(u"Shop"_s), std::optional<int>(4));
    QCOMPARE(m_store->findByTitle(u"shop"_s), std::optional<int>(6));
    QCOMPARE(m_store->findByTitle(u"Shop "_s), std::optional<int>(7));
    QCOMPARE(m_store->scanTitles().size(), 4);
}

void TestProfileStore::storedNoneTitle_countsAsFree()
{
    QVERIFY(m_settings->setValue(u"orv"_s, u"1"_s, u"Title"_s, u"none"_s));
    QVERIFY(m_settings->setValue(u"orv"_s, u"2"_s, u"name"_s, u"no title key"_s));
    QVERIFY(m_store->scanTitles().isEmpty());
    QCOMPARE(m_store->findFreeSlot(), std::optional<int>(1));
    QVERIFY(!m_store->isOccupied(2));
}

void TestProfileStore::create_startsFromAnEmptySection()
{
    Profile old;
    old.value(ProfileField::Name) = u"Previous owner"_s;
    old.value(ProfileField::MajorCategory) = u"Health\\Drugs"_s;
    QVERIFY(m_store->create(5, u"Old"_s));
    QVERIFY(m_store->save(5, old));
    QVERIFY(m_store->remove(5));
    QVERIFY(m_settings->setValue(u"orv"_s, u"5"_s, u"name"_s, u"left behind"_s)); // a title-less leftover

    QVERIFY(m_store->create(5, u"New"_s));
    const Profile fresh = m_store->read(5);
    QCOMPARE(fresh.title, u"New"_s);
    for (const QString& value : fresh.fields)
        QVERIFY(value.isEmpty());
}

void TestProfileStore::save_writesTheSeventeenFieldsAndKeepsTheTitle()
{
    QVERIFY(m_store->create(2, u"Site"_s));
    Profile profile;
    profile.title = u"ignored"_s;
    for (const ProfileFieldKey& field : profileFieldKeys)
        profile.value(field.field) = QString::fromUtf16(field.key) + u" value"_s;
    profile.value(ProfileField::Fax) = QString(); // an emptied field is stored as empty
    QVERIFY(m_store->save(2, profile));

    QSettings raw(m_temp->fileOf(u"orv"_s), QSettings::IniFormat);
    raw.beginGroup(u"2"_s);
    QCOMPARE(raw.childKeys().size(), 18);
    QCOMPARE(raw.value(u"title"_s).toString(), u"Site"_s);
    QCOMPARE(raw.value(u"wtitle"_s).toString(), u"wtitle value"_s);
    QVERIFY(raw.contains(u"fax"_s));
    QCOMPARE(raw.value(u"fax"_s).toString(), QString());
}

void TestProfileStore::remove_freesOnlyThatSlot()
{
    occupy({19, 20});
    QVERIFY(m_store->remove(20));
    QCOMPARE(m_store->scanTitles().size(), 1);
    QCOMPARE(m_store->scanTitles().first().slot, 19);
    QCOMPARE(m_store->findFreeSlot(), std::optional<int>(1));
}

void TestProfileStore::slotsOutsideOneToTwenty_areNeverWritten()
{
    Profile profile;
    profile.value(ProfileField::Name) = u"stray"_s;
    for (int slot : {0, -1, 21}) {
        QVERIFY(!m_store->create(slot, u"x"_s));
        QVERIFY(!m_store->save(slot, profile));
        QVERIFY(!m_store->remove(slot));
        QVERIFY(!m_store->isOccupied(slot));
    }
    QVERIFY(!QFile::exists(m_temp->fileOf(u"orv"_s)));
}

QTEST_GUILESS_MAIN(TestProfileStore)
#include "tst_profilestore.moc"
