#include "AppFixture.h"
#include "CatalogueFixture.h"
#include "Dispatcher.h"
#include "FixedProfile.h"
#include "MainWindow.h"
#include "ProfileFixture.h"
#include "RecordingDesktopOpener.h"
#include "RequestPreview.h"
#include "ScriptedDialogs.h"
#include "SettingsStore.h"
#include "SiteDatabase.h"
#include "SiteFarm.h"
#include "SocketSlot.h"
#include "SubmissionRun.h"
#include "TempSettings.h"

#include <QApplication>
#include <QCheckBox>
#include <QDialog>
#include <QLabel>
#include <QListView>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>
#include <QToolButton>

#include <memory>

using namespace Qt::StringLiterals;

class TestPreviewResubmit : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void init();
    void cleanup();

    void preview_isWhatTheFarmReceives();
    void preview_marksEmptyFieldsAndUnknownPlaceholders();
    void resubmit_selectsExactlyTheFailedSites();

private:
    void openWindow(const QList<PromoSite>& sites)
    {
        m_app->openWindow(sites);
        get<QToolButton>(u"Bsubmission"_s)->click();
    }
    void runToEnd()
    {
        get<QPushButton>(u"Command15"_s)->click();
        QVERIFY(m_app->runToEnd() > 0);
    }
    template <typename T> T* get(const QString& name) const { return m_app->get<T>(name); }
    QStringList selected() const { return m_app->listEntries(u"List2"_s); }

    SiteFarm m_farm;
    std::unique_ptr<AppFixture> m_app;
};

void TestPreviewResubmit::initTestCase()
{
    QVERIFY(m_farm.listen());
    m_farm.route(u"/404"_s, SiteFarm::Behaviour::NotFound);
}

void TestPreviewResubmit::init()
{
    m_app = std::make_unique<AppFixture>();
    ProfileFixture::storeComplete(m_app->settings(), 1, u"Shop"_s);
}

void TestPreviewResubmit::cleanup()
{
    m_app.reset();
}

void TestPreviewResubmit::preview_isWhatTheFarmReceives()
{
    openWindow({PromoSite{u"Poster"_s, u"engine"_s, u"c=[company]&d=[description]&fixed=a b"_s, u"POST"_s,
                          m_farm.url(u"/post"_s), QString()},
                PromoSite{u"Getter"_s, u"list"_s, u"k=[keywords]&t=[title]&x=%41~"_s, u"get"_s,
                          m_farm.url(u"/get?from=catalogue"_s), QString()}});
    get<QCheckBox>(u"Check4"_s)->setChecked(true);
    get<QPushButton>(u"preview"_s)->click();
    auto* dialog = m_app->window().findChild<QDialog*>(u"requestPreview"_s);
    QVERIFY(dialog && dialog->isVisible());
    auto* text = dialog->findChild<QPlainTextEdit*>(u"previewText"_s);
    QVERIFY(text->isReadOnly());
    const QList<RequestPreview::Entry> entries =
        RequestPreview::build(m_app->catalogue(), {u"Getter"_s, u"Poster"_s}, m_app->window().profile());
    QCOMPARE(text->toPlainText(), RequestPreview::format(entries));
    QTest::keyClick(dialog, Qt::Key_Escape);
    QVERIFY(!dialog->isVisible());

    const qsizetype before = m_farm.requests().size();
    m_app->dialogs().queueYesNo(true);
    runToEnd();
    QCOMPARE(m_farm.requests().size(), before + 2);
    for (const RequestPreview::Entry& entry : entries) {
        const QUrl url = QUrl::fromEncoded(entry.transfer.url);
        const QByteArray requestLine = (entry.transfer.post ? "POST " : "GET ") +
                                       url.toEncoded(QUrl::RemoveScheme | QUrl::RemoveAuthority) +
                                       " HTTP/1.1\r\n";
        const auto received =
            std::find_if(m_farm.requests().cbegin() + before, m_farm.requests().cend(),
                         [&](const QByteArray& request) { return request.startsWith(requestLine); });
        QVERIFY2(received != m_farm.requests().cend(), requestLine.constData());
        QVERIFY(received->endsWith(QByteArray("\r\n\r\n" + entry.transfer.body)));
    }
}

void TestPreviewResubmit::preview_marksEmptyFieldsAndUnknownPlaceholders()
{
    QTemporaryDir dir;
    CatalogueFixture::write(dir.filePath(u"c.dll"_s),
                            {PromoSite{u"Odd"_s, u"list"_s, u"n=[name]&f=[fax]&h=[homepage]&N=[Name]"_s,
                                       u"get"_s, u"http://127.0.0.1:9/add"_s, QString()}});
    QString error;
    auto catalogue = SiteDatabase::open(dir.filePath(u"c.dll"_s), error);
    FixedProfile profile;
    profile.set(ProfileField::Name, u"Ann"_s);
    const QList<RequestPreview::Entry> entries = RequestPreview::build(*catalogue, {u"Odd"_s}, profile);
    QCOMPARE(entries.size(), 1);
    QCOMPARE(entries.first().emptyPlaceholders, QStringList{u"[fax]"_s});
    QCOMPARE(entries.first().unknownPlaceholders, QStringList({u"[homepage]"_s, u"[Name]"_s}));
    QCOMPARE(
        RequestPreview::format(entries),
        u"1. Odd\n   Method: GET\n   URL: http://127.0.0.1:9/add?n=Ann&f=&h=[homepage]&N=[Name]\n"
        u"   Empty profile fields: [fax]\n   Not placeholders, sent as they stand: [homepage], [Name]\n\n"_s);
}

void TestPreviewResubmit::resubmit_selectsExactlyTheFailedSites()
{
    QList<PromoSite> sites;
    for (const auto& [name, action] :
         QList<std::pair<QString, QString>>{{u"a ok"_s, m_farm.url(u"/ok"_s)},
                                            {u"b 404"_s, m_farm.url(u"/404"_s)},
                                            {u"c ok"_s, m_farm.url(u"/ok"_s)},
                                            {u"d refused"_s, SiteFarm::refusedUrl()},
                                            {u"e ok"_s, m_farm.url(u"/ok"_s)}})
        sites << PromoSite{name, u"engine"_s, u"u=[url]"_s, u"get"_s, action, QString()};
    openWindow(sites);

    QVERIFY(!get<QPushButton>(u"resubmitFailed"_s)->isEnabled());
    get<QCheckBox>(u"Check4"_s)->setChecked(true);
    m_app->dialogs().queueYesNo(false);
    runToEnd();
    QVERIFY(get<QPushButton>(u"resubmitFailed"_s)->isEnabled());
    get<QPushButton>(u"resubmitFailed"_s)->click();
    QCOMPARE(selected(), QStringList({u"b 404"_s, u"d refused"_s}));
    QCOMPARE(get<QLabel>(u"Label20"_s)->text(), u" Selected Engines :2"_s);

    // The same two again: one still fails, and only it is offered next time.
    m_farm.route(u"/404"_s, SiteFarm::Behaviour::Ok);
    m_app->dialogs().queueYesNo(false);
    runToEnd();
    m_farm.route(u"/404"_s, SiteFarm::Behaviour::NotFound);
    get<QPushButton>(u"resubmitFailed"_s)->click();
    QCOMPARE(selected(), QStringList{u"d refused"_s});
}

QTEST_MAIN(TestPreviewResubmit)
#include "tst_previewresubmit.moc"
