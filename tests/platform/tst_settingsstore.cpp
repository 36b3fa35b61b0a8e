#include "SettingsStore.h"
#include "TempSettings.h"

#include <QDir>
#include <QFile>
#include <QSettings>
#include <QTest>

#include <memory>

using namespace Qt::StringLiterals;

class TestSettingsStore : public QObject
{
    Q_OBJECT

private slots:
    void init() { m_settings = std::make_unique<TempSettings>(); }
    void cleanup() { m_settings.reset(); }

    void valueRoundTripsThroughNewProcessState_data();
    void valueRoundTripsThroughNewProcessState();
    void missingValue_givesDefault();
    void keyNames_matchWithoutRegardToCase();
    void removeSection_removesOnlyThatSection();
    void unwritableLocation_reportsFailure();
    void unparsableFile_isKeptBeforeFirstWrite();
    void handEditedCommaValue_readsAsText();

private:
    std::unique_ptr<TempSettings> m_settings;
};

void TestSettingsStore::valueRoundTripsThroughNewProcessState_data()
{
    QTest::addColumn<QString>("value");
    QTest::newRow("empty") << QString();
    QTest::newRow("blanks kept") << u"  padded  "_s;
    QTest::newRow("line breaks") << u"first line\r\nsecond\nthird"_s;
    QTest::newRow("backslashes") << u"Business & Economy\\Companies\\"_s;
    QTest::newRow("equals and semicolon") << u"a=b; c=d"_s;
    QTest::newRow("comma and quotes") << u"\"quoted\", with comma"_s;
    QTest::newRow("non-ASCII") << u"Müller & Söhne – 東京"_s;
    QTest::newRow("the free marker") << u"none"_s;
    QTest::newRow("hash and brackets") << u"#[title] ; [x]"_s;
}

void TestSettingsStore::valueRoundTripsThroughNewProcessState()
{
    QFETCH(QString, value);
    {
        SettingsStore writer;
        QVERIFY(writer.setValue(u"orv"_s, u"3"_s, u"description"_s, value));
    }
    // A second store reads the file afresh, as the next start of the program would.
    SettingsStore reader;
    QCOMPARE(reader.value(u"orv"_s, u"3"_s, u"description"_s, u"default"_s), value);
}

void TestSettingsStore::missingValue_givesDefault()
{
    SettingsStore store;
    QCOMPARE(store.value(u"orv"_s, u"7"_s, u"title"_s, u"none"_s), u"none"_s);
    QVERIFY(store.setValue(u"orv"_s, u"7"_s, u"name"_s, u"x"_s));
    QCOMPARE(store.value(u"orv"_s, u"7"_s, u"title"_s, u"none"_s), u"none"_s);
    QCOMPARE(store.value(u"orv"_s, u"8"_s, u"name"_s), QString());
}

void TestSettingsStore::keyNames_matchWithoutRegardToCase()
{
    SettingsStore store;
    QVERIFY(store.setValue(u"orv"_s, u"1"_s, u"Title"_s, u"My site"_s));
    QCOMPARE(store.value(u"orv"_s, u"1"_s, u"title"_s), u"My site"_s);
    QCOMPARE(store.value(u"orv"_s, u"1"_s, u"TITLE"_s), u"My site"_s);

    // Writing under another spelling updates the stored key instead of adding a second one.
    QVERIFY(store.setValue(u"orv"_s, u"1"_s, u"title"_s, u"Renamed"_s));
    QSettings raw(m_settings->fileOf(u"orv"_s), QSettings::IniFormat);
    raw.beginGroup(u"1"_s);
    QCOMPARE(raw.childKeys(), QStringList{u"Title"_s});
    QCOMPARE(raw.value(u"Title"_s).toString(), u"Renamed"_s);
}

void TestSettingsStore::removeSection_removesOnlyThatSection()
{
    SettingsStore store;
    QVERIFY(store.setValue(u"orv"_s, u"2"_s, u"title"_s, u"two"_s));
    QVERIFY(store.setValue(u"orv"_s, u"20"_s, u"title"_s, u"twenty"_s));
    QVERIFY(store.setValue(u"orv"_s, u"20"_s, u"url"_s, u"http://example.org/"_s));
    QVERIFY(store.removeSection(u"orv"_s, u"20"_s));
    QVERIFY(store.removeSection(u"orv"_s, u"13"_s)); // a section that never existed

    SettingsStore reader;
    QCOMPARE(reader.value(u"orv"_s, u"20"_s, u"title"_s, u"none"_s), u"none"_s);
    QCOMPARE(reader.value(u"orv"_s, u"20"_s, u"url"_s), QString());
    QCOMPARE(reader.value(u"orv"_s, u"2"_s, u"title"_s, u"none"_s), u"two"_s);
}

void TestSettingsStore::unwritableLocation_reportsFailure()
{
    // A directory where the file should be: nothing can be written there.
    QVERIFY(QDir().mkpath(m_settings->fileOf(u"orv"_s)));
    SettingsStore store;
    QVERIFY(!store.setValue(u"orv"_s, u"1"_s, u"title"_s, u"lost"_s));
    QVERIFY(!store.removeSection(u"orv"_s, u"1"_s));
}

void TestSettingsStore::unparsableFile_isKeptBeforeFirstWrite()
{
    const QString file = m_settings->fileOf(u"orv"_s);
    QVERIFY(QDir().mkpath(QFileInfo(file).path()));
    const QByteArray original =
        "[1]\ntitle=Kept\nthis line has no equals sign\n\x01\x02 garbage\n[version]\ninformation=2.001\n";
    {
        QFile out(file);
        QVERIFY(out.open(QIODevice::WriteOnly));
        out.write(original);
    }
    SettingsStore store;
    QCOMPARE(store.value(u"orv"_s, u"1"_s, u"title"_s, u"none"_s), u"Kept"_s);
    QCOMPARE(store.value(u"orv"_s, u"version"_s, u"information"_s), u"2.001"_s);
    QVERIFY(!QFile::exists(file + u".bak"_s)); // reading alone changes nothing

    QVERIFY(store.setValue(u"orv"_s, u"1"_s, u"name"_s, u"Ann"_s));
    QFile backup(file + u".bak"_s);
    QVERIFY(backup.open(QIODevice::ReadOnly));
    QCOMPARE(backup.readAll(), original);

    SettingsStore reader;
    QCOMPARE(reader.value(u"orv"_s, u"1"_s, u"name"_s), u"Ann"_s);
    QCOMPARE(reader.value(u"orv"_s, u"1"_s, u"title"_s), u"Kept"_s);
}

void TestSettingsStore::handEditedCommaValue_readsAsText()
{
    const QString file = m_settings->fileOf(u"orv"_s);
    QVERIFY(QDir().mkpath(QFileInfo(file).path()));
    QFile out(file);
    QVERIFY(out.open(QIODevice::WriteOnly));
    out.write("[4]\nkeywords=seo,web,promotion\n");
    out.close();
    SettingsStore store;
    QCOMPARE(store.value(u"orv"_s, u"4"_s, u"keywords"_s), u"seo,web,promotion"_s);
}

QTEST_GUILESS_MAIN(TestSettingsStore)
#include "tst_settingsstore.moc"
