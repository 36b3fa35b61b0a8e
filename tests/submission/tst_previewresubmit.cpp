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
    void openWindow(const QList<PromoSite>& sites);
    void runToEnd();
    template <typename T> T* get(const QString& name) const { return m_window->findChild<T*>(name); }
    QStringList selected() const;

    SiteFarm m_farm;
    std::unique_ptr<QTemporaryDir> m_home;
    std::unique_ptr<TempSettings> m_temp;
    std::unique_ptr<SettingsStore> m_settings;
    std::unique_ptr<SiteDatabase> m_catalogue;
    std::unique_ptr<ScriptedDialogs> m_dialogs;
    RecordingDesktopOpener m_desktop;
    std::unique_ptr<MainWindow> m_window;
};

void TestPreviewResubmit::initTestCase()
{
    QVERIFY(m_farm.listen());
    m_farm.route(u"/404"_s, SiteFarm::Behaviour::NotFound);
}

void TestPreviewResubmit::init()
{
    m_home = std::make_unique<QTemporaryDir>();
    m_temp = std::make_unique<TempSettings>();
    m_settings = std::make_unique<SettingsStore>();
    m_dialogs = std::make_unique<ScriptedDialogs>();
    ProfileFixture::storeComplete(*m_settings, 1, u"Shop"_s);
}

void TestPreviewResubmit::cleanup()
{
    m_window.reset();
    m_catalogue.reset();
    m_settings.reset();
    m_temp.reset();
    m_home.reset();
}

void TestPreviewResubmit::openWindow(const QList<PromoSite>& sites)
{
    CatalogueFixture::write(m_home->filePath(u"orvd.dll"_s), sites);
    QString error;
    m_catalogue = SiteDatabase::open(m_home->filePath(u"orvd.dll"_s), error);
    QVERIFY2(m_catalogue, qPrintable(error));
    AppContext context{AppPaths(m_home->path()), *m_dialogs, *m_settings, m_desktop};
    context.transferDeadline = std::chrono::milliseconds(1500);
    m_window = std::make_unique<MainWindow>(context, *m_catalogue);
    m_window->run().timer()->setInterval(24 * 3600 * 1000); // ticked by hand
    m_window->show();
    get<QToolButton>(u"Bsubmission"_s)->click();
}

void TestPreviewResubmit::runToEnd()
{
    get<QPushButton>(u"Command15"_s)->click();
    for (int tick = 0; tick < 20 && m_window->run().timer()->isActive(); ++tick) {
        m_window->dispatcher().Timer1_Timer();
        QTRY_VERIFY_WITH_TIMEOUT(
            std::none_of(m_window->run().socketSlots().cbegin(), m_window->run().socketSlots().cend(),
                         [](const SocketSlot* slot) { return slot->status() == SocketSlot::working; }),
            5000);
    }
    QVERIFY(!m_window->run().timer()->isActive());
}

QStringList TestPreviewResubmit::selected() const
{
    const QAbstractItemModel* model = get<QListView>(u"List2"_s)->model();
    QStringList names;
    for (int row = 0; row < model->rowCount(); ++row)
        names << model->index(row, 0).data().toString();
    return names;
}

void TestPreviewResubmit::preview_isWhatTheFarmReceives()
{
    openWindow({PromoSite{u"Poster"_s, u"engine"_s, u"c=[company]&d=[description]&fixed=a b"_s, u"POST"_s,
                          m_farm.url(u"/post"_s), QString()},
                PromoSite{u"Getter"_s, u"list"_s, u"k=[keywords]&t=[title]&x=%41~"_s, u"get"_s,
                          m_farm.url(u"/get?from=catalogue"_s), QString()}});
    get<QCheckBox>(u"Check4"_s)->setChecked(true);
    get<QPushButton>(u"preview"_s)->click();
    auto* dialog = m_window->findChild<QDialog*>(u"requestPreview"_s);
    QVERIFY(dialog && dialog->isVisible());
    auto* text = dialog->findChild<QPlainTextEdit*>(u"previewText"_s);
    QVERIFY(text->isReadOnly());
    const QList<RequestPreview::Entry> entries =
        RequestPreview::build(*m_catalogue, {u"Getter"_s, u"Poster"_s}, m_window->profile());
    QCOMPARE(text->toPlainText(), RequestPreview::format(entries));
    QTest::keyClick(dialog, Qt::Key_Escape);
    QVERIFY(!dialog->isVisible());

    const qsizetype before = m_farm.requests().size();
    m_dialogs->queueYesNo(true);
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
    m_dialogs->queueYesNo(false);
    runToEnd();
    QVERIFY(get<QPushButton>(u"resubmitFailed"_s)->isEnabled());
    get<QPushButton>(u"resubmitFailed"_s)->click();
    QCOMPARE(selected(), QStringList({u"b 404"_s, u"d refused"_s}));
    QCOMPARE(get<QLabel>(u"Label20"_s)->text(), u" Selected Engines :2"_s);

    // The same two again: one still fails, and only it is offered next time.
    m_farm.route(u"/404"_s, SiteFarm::Behaviour::Ok);
    m_dialogs->queueYesNo(false);
    runToEnd();
    m_farm.route(u"/404"_s, SiteFarm::Behaviour::NotFound);
    get<QPushButton>(u"resubmitFailed"_s)->click();
    QCOMPARE(selected(), QStringList{u"d refused"_s});
}

QTEST_MAIN(TestPreviewResubmit)
#include "tst_previewresubmit.moc"
