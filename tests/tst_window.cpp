#include "AppFixture.h"
#include "EngineSelectionPage.h"
#include "GoogleImitation.h"
#include "InstalledVersion.h"
#include "ProfileStore.h"
#include "SiteFarm.h"
#include "SitemapSite.h"
#include "SplashScreen.h"
#include "Startup.h"
#include "StatusLamp.h"
#include "SubmissionRun.h"
#include "TimeText.h"

#include <QAccessible>
#include <QAction>
#include <QApplication>
#include <QBarSeries>
#include <QBarSet>
#include <QChart>
#include <QChartView>
#include <QCheckBox>
#include <QComboBox>
#include <QDialog>
#include <QLabel>
#include <QLineEdit>
#include <QLineSeries>
#include <QListView>
#include <QMenu>
#include <QMenuBar>
#include <QNetworkAccessManager>
#include <QNetworkReply>
#include <QPlainTextEdit>
#include <QProgressBar>
#include <QPushButton>
#include <QRadioButton>
#include <QRegularExpression>
#include <QScopeGuard>
#include <QScreen>
#include <QSignalSpy>
#include <QTabBar>
#include <QTabWidget>
#include <QTableView>
#include <QTest>
#include <QTimeEdit>
#include <QTimeZone>
#include <QTimer>
#include <QToolButton>

using namespace Qt::StringLiterals;

namespace {
const QStringList pageNames = {u"proform"_s,  u"subform"_s,    u"statsform"_s,
                               u"metaform"_s, u"searchform"_s, u"aboutform"_s};
const QString summaryTitle = u"Submission Completed"_s;
} // namespace

class TestWindow : public QObject
{
    Q_OBJECT

private:
    QString slotStatus(int k) const { return m_app->get<QLineEdit>(u"sockdata%1"_s.arg(k))->text(); }

    SiteFarm m_farm;
    std::unique_ptr<AppFixture> m_app;

    MainWindow& openWindow(const QList<PromoSite>& sites)
    {
        MainWindow& window = m_app->openWindow(sites);
        m_app->click(u"Bsubmission"_s);
        return window;
    }

    QStringList visiblePages() const
    {
        QStringList visible;
        for (const QString& name : pageNames) {
            if (m_app->get<QWidget>(name)->isVisible())
                visible << name;
        }
        return visible;
    }

    bool navigationLocked() const
    {
        bool anyEnabled = false;
        for (const QString& name :
             {u"Bprofile"_s, u"Bsubmission"_s, u"Bmeta"_s, u"Bsearch"_s, u"Babout"_s, u"Bhistory"_s})
            anyEnabled = anyEnabled || m_app->get<QToolButton>(name)->isEnabled();
        for (const QMenu* menu : m_app->window().findChildren<QMenu*>(u"about"_s))
            anyEnabled = anyEnabled || menu->menuAction()->isEnabled();
        return !anyEnabled;
    }

private slots:
    void cleanup() { m_app.reset(); }

    void initTestCase()
    {
        qputenv("ORVANTA_SECRET_STORE", "file"); // never the desktop's keyring
        QVERIFY(m_farm.listen());
        m_farm.route(u"/404"_s, SiteFarm::Behaviour::NotFound);
        m_farm.route(u"/hang"_s, SiteFarm::Behaviour::Hang);
    }

    void init()
    {
        m_app = std::make_unique<AppFixture>();
        TestData::storeCompleteProfile(m_app->settings(), 1, u"R&D <Shop>"_s);
    }

    void firstStart_opensOnTheProfilePageAndRecordsTheVersion()
    {
        AppFixture fresh;
        MainWindow& window = fresh.openWindow({});
        QCOMPARE(window.objectName(), u"frmain"_s);
        QCOMPARE(window.windowTitle(), u"Orvanta"_s);
        QCOMPARE(fresh.text(u"Label47"_s), u" Website and User Profile"_s);
        QVERIFY(fresh.get<QWidget>(u"proform"_s)->isVisible() &&
                !fresh.get<QWidget>(u"aboutform"_s)->isVisible());
        QCOMPARE(fresh.text(u"Label27"_s), u"Orvanta Version 2.001"_s);
        QCOMPARE(InstalledVersion(fresh.settings()).read(), u"2.001"_s);
        QCOMPARE(fresh.get<QLabel>(u"Label27"_s)->textFormat(), Qt::PlainText);
        // Larger than the least it can be, so the History page shows whole, within the screen.
        QCOMPARE(window.size(), QSize(960, 640).boundedTo(window.screen()->availableSize()));
        QVERIFY(window.width() > window.minimumSizeHint().width());
        window.resize(window.minimumSizeHint() + QSize(33, 22)); // later starts open as it was left
        const QSize left = window.size();
        QVERIFY(window.close());
        QCOMPARE(fresh.openWindow({}).size(), left);

        // A stored number, under another spelling of the key, is shown and kept.
        QVERIFY(m_app->settings().setValue(u"version"_s, u"Information"_s, u"2.105"_s));
        m_app->openWindow({});
        QCOMPARE(m_app->text(u"Label27"_s), u"Orvanta Version 2.105"_s);
        QCOMPARE(InstalledVersion(m_app->settings()).read(), u"2.105"_s);
    }

    void pageSwitch_showsOnlyThatPageWithItsTitle_data()
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

    void pageSwitch_showsOnlyThatPageWithItsTitle()
    {
        QFETCH(QString, trigger);
        QFETCH(QString, page);
        QFETCH(QString, title);
        m_app->openWindow({});
        m_app->get<QLineEdit>(u"txtname"_s)->setText(u"Edited, not saved"_s);
        const auto activate = [this](const QString& name) {
            if (auto* button = m_app->get<QToolButton>(name))
                button->click();
            else
                m_app->get<QAction>(name)->trigger();
        };
        activate(page == u"metaform"_s ? u"Bsearch"_s : u"Bmeta"_s);
        for (int round = 0; round < 2; ++round) { // from another page, then from the page itself
            activate(trigger);
            QCOMPARE(visiblePages(), QStringList{page});
            QCOMPARE(m_app->text(u"Label47"_s), title);
        }
        QCOMPARE(m_app->window().profile().value(ProfileField::Name), u"Edited, not saved"_s);
    }

    void selection_incompleteProfileStopsBothWaysOfOpening_data()
    {
        QTest::addColumn<QString>("field");
        QTest::addColumn<QString>("text");
        QTest::addColumn<bool>("opens");
        QTest::newRow("chooser empty") << u"Combo4"_s << QString() << false;
        QTest::newRow("name empty") << u"txtname"_s << QString() << false;
        QTest::newRow("description empty") << u"txtdescription"_s << QString() << false;
        QTest::newRow("major category empty") << u"txtmajor"_s << QString() << false;
        QTest::newRow("a single blank") << u"txtname"_s << u" "_s << true;
        QTest::newRow("chooser typed text") << u"Combo4"_s << u"typed"_s << true;
    }

    void selection_incompleteProfileStopsBothWaysOfOpening()
    {
        QFETCH(QString, field);
        QFETCH(QString, text);
        QFETCH(bool, opens);
        m_app->openWindow({});
        QWidget* widget = m_app->get<QWidget>(field);
        if (auto* combo = qobject_cast<QComboBox*>(widget))
            combo->setEditText(text);
        else if (auto* description = qobject_cast<QPlainTextEdit*>(widget))
            description->setPlainText(text);
        else
            static_cast<QLineEdit*>(widget)->setText(text);
        for (const bool fromToolbar : {true, false}) {
            m_app->click(u"Bprofile"_s);
            if (fromToolbar)
                m_app->click(u"Bsubmission"_s);
            else
                m_app->get<QAction>(u"sub"_s)->trigger();
            QCOMPARE(visiblePages(), QStringList{opens ? u"subform"_s : u"proform"_s});
        }
        QCOMPARE(m_app->dialogs.shown.size(), opens ? 0 : 2);
        if (!opens) {
            QCOMPARE(m_app->dialogs.shown.last().text,
                     u"Please fill in all the fields requested to properly submit your website."_s);
            QCOMPARE(m_app->dialogs.shown.last().title, u"Missing Information"_s);
        }
    }

    void selection_toolbarRefillsAndReenablesTheMenuDoesNot()
    {
        m_app->openWindow({TestData::site(u"lycos"_s), TestData::site(u"Links A"_s, u"list"_s),
                           TestData::site(u"AltaVista"_s)});
        m_app->get<QAction>(u"sub"_s)
            ->trigger(); // before the toolbar ever opened it: an empty catalogue list
        QVERIFY(m_app->entries(u"List1"_s).isEmpty());
        QCOMPARE(m_app->text(u"Label16"_s), u" Total Engines"_s);
        m_app->get<QCheckBox>(u"Check2"_s)->click(); // the filters work from the catalogue itself
        QCOMPARE(m_app->entries(u"List2"_s), QStringList({u"AltaVista"_s, u"lycos"_s}));
        m_app->get<QCheckBox>(u"Check4"_s)->click();
        QVERIFY(!m_app->get<QCheckBox>(u"Check2"_s)->isEnabled() &&
                !m_app->get<QCheckBox>(u"Check2"_s)->isChecked());
        QCOMPARE(m_app->text(u"Label20"_s), u" Selected Engines :3"_s);
        m_app->click(u"Bsubmission"_s);
        QCOMPARE(m_app->entries(u"List1"_s), QStringList({u"AltaVista"_s, u"Links A"_s, u"lycos"_s}));
        QCOMPARE(m_app->text(u"Label16"_s), u" Total Search Engines :3"_s);
        QCOMPARE(m_app->text(u"Label20"_s), u" Total Selected Engines :3"_s);
        QVERIFY(m_app->get<QCheckBox>(u"Check2"_s)->isEnabled()); // even while "Select All" stays checked
        QListView* selected = m_app->get<QListView>(u"List2"_s);
        selected->selectionModel()->select(selected->model()->index(0, 0), QItemSelectionModel::Select);
        m_app->click(u"Command10"_s);
        QCOMPARE(m_app->text(u"Label16"_s), u" Search Engines :3"_s);
        QCOMPARE(m_app->text(u"Label20"_s), u" Selected Engines :2"_s);
        m_app->get<QCheckBox>(u"Check4"_s)->click();
        QVERIFY(m_app->entries(u"List2"_s).isEmpty());
        QCOMPARE(m_app->text(u"Label20"_s), u" Selected Engines :0"_s);
    }

    void run_locksShowsTheRunAndEndsWithTheSummary()
    {
        openWindow({PromoSite{u"<b>A&B</b>"_s, u"engine"_s, u"u=[url]"_s, u"get"_s, m_farm.url(u"/ok"_s)},
                    PromoSite{u"Beta"_s, u"engine"_s, u"u=[url]"_s, u"post"_s, m_farm.url(u"/404"_s)},
                    PromoSite{u"Gamma"_s, u"list"_s, u"u=[url]"_s, u"get"_s, m_farm.url(u"/ok"_s)}});
        m_app->get<QCheckBox>(u"Check2"_s)->click();
        m_app->click(u"Command15"_s);
        QCOMPARE(visiblePages(), QStringList{u"statsform"_s});
        QCOMPARE(m_app->text(u"Label47"_s), u" Submission"_s); // the title strip stays as it was
        QVERIFY(navigationLocked());
        QCOMPARE(m_app->text(u"Label49"_s), u"Total Engines Selected: 2"_s);
        QCOMPARE(m_app->get<QLineEdit>(u"profileinfo"_s)->text(), u"R&D <Shop>"_s);
        QCOMPARE(m_app->get<QLineEdit>(u"addy"_s)->text(), u"url value"_s);
        m_app->tick();
        QCOMPARE(m_app->text(u"Label50"_s), u"Total Engines Left: 2"_s);
        QCOMPARE(m_app->text(u"Label21"_s), u"<b>A&B</b>"_s);
        for (const QLabel* caption :
             m_app->window().findChildren<QLabel*>(QRegularExpression(u"^Label2[1-5]$"_s)))
            QCOMPARE(caption->textFormat(), Qt::PlainText); // a site's name is never markup
        QCOMPARE(m_app->get<StatusLamp>(u"sockstat2"_s)->color(), QColor(0, 255, 0));
        QCOMPARE(m_app->text(u"Label23"_s), u"Socket 3"_s);
        QVERIFY(m_app->settle());
        QCOMPARE(slotStatus(1), u"Submission Successful"_s);
        QCOMPARE(slotStatus(2), u"Connection Error"_s);
        QCOMPARE(m_app->get<QWidget>(u"Shape5"_s)->width(), m_app->get<QWidget>(u"Picture2"_s)->width());
        QAccessibleInterface* bar = QAccessible::queryAccessibleInterface(m_app->get<QWidget>(u"Picture2"_s));
        QCOMPARE(bar->role(), QAccessible::ProgressBar); // a screen reader hears how far the run is
        QCOMPARE(bar->text(QAccessible::Name), u"Run progress"_s);
        QCOMPARE(bar->valueInterface()->currentValue(), QVariant(100));

        m_app->dialogs.queueYesNo(true);
        m_app->tick();
        QCOMPARE(m_app->dialogs.shown.last().title, summaryTitle);
        QCOMPARE(m_app->dialogs.shown.last().text,
                 u"The submission is completed.\r\nFailed Submissions: 1\r\nSuccessful submissions: 1\r\n"
                 u"Would you like to view the log information? "_s);
        QVERIFY(!navigationLocked());
        QCOMPARE(visiblePages(), QStringList{u"subform"_s});
        QCOMPARE(m_app->text(u"Label20"_s), u" Total Selected Engines :0"_s);
        QVERIFY(!m_app->get<QCheckBox>(u"Check2"_s)->isChecked());
        QCOMPARE(slotStatus(1), u"Listening"_s);
        QCOMPARE(m_app->desktop.opened, QList<QUrl>{QUrl::fromLocalFile(m_app->homeFile(u"sublog.htm"_s))});
        QVERIFY(TestData::readFile(m_app->homeFile(u"sublog.htm"_s)).endsWith("</body></html>"));

        m_app->click(u"resubmitFailed"_s);
        QCOMPARE(m_app->entries(u"List2"_s), QStringList{u"Beta"_s});
        m_app->click(u"Command15"_s);
        QVERIFY(m_app->runToEnd() > 0); // declined this time: the log goes
        QVERIFY(!QFile::exists(m_app->homeFile(u"sublog.htm"_s)));
    }

    void run_notifiesTodaysServicesWithTheProfilesKeyAndFeed()
    {
        m_farm.route(u"/indexnow"_s, SiteFarm::Route(SiteFarm::Behaviour::IndexNow, {}, 0, 0, {}, 202));
        m_farm.route(u"/rpc"_s, SiteFarm::Behaviour::XmlRpcPing);
        m_farm.route(u"/hub"_s, SiteFarm::Behaviour::WebSubHub);
        m_farm.route(u"/window-key-1.txt"_s, SiteFarm::Route::answering(200, "window-key-1"));
        QList<PromoSite> sites = TestData::bundledSites();
        // Search Console is reached with a sign-in: the command line's test covers it.
        sites.removeIf(
            [](const PromoSite& site) { return site.method == u"GET"_s || site.method == u"PUT"_s; });
        for (PromoSite& site : sites) // IndexNow, two XML-RPC pings and a WebSub hub
            site.action = m_farm.url(site.encoding == u"xml"_s    ? u"/rpc"_s
                                     : site.encoding == u"json"_s ? u"/indexnow"_s
                                                                  : u"/hub"_s);
        openWindow(sites);
        m_app->click(u"Bprofile"_s);
        m_app->get<QLineEdit>(u"txturl"_s)->setText(m_farm.url(u"/"_s));
        m_app->get<QLineEdit>(u"txtindexnowkey"_s)->setText(u"window-key-1"_s);
        m_app->get<QLineEdit>(u"txtfeed"_s)->setText(m_farm.url(u"/feed.xml"_s));
        m_app->click(u"Bsubmission"_s);
        m_app->get<QCheckBox>(u"Check4"_s)->click();
        m_app->click(u"preview"_s);
        const auto* preview = m_app->get<QPlainTextEdit>(u"previewText"_s);
        QVERIFY(preview->isReadOnly());
        QVERIFY2(
            preview->toPlainText().contains(
                u"   Content-Type: application/json; charset=utf-8\n   Body: {\"host\":\"127.0.0.1\",\"key\":"
                u"\"window-key-1\""_s),
            qPrintable(preview->toPlainText()));
        m_app->dialogs.queueYesNo(true); // to keep the log
        m_app->click(u"Command15"_s);
        QVERIFY(m_app->runToEnd() > 0);
        QCOMPARE(m_app->dialogs.shown.last().text,
                 u"The submission is completed.\r\nFailed Submissions: 0\r\nSuccessful submissions: 4\r\n"
                 u"Would you like to view the log information? "_s);
        const QByteArray log = TestData::readFile(m_app->homeFile(u"sublog.htm"_s));
        QVERIFY2(
            log.contains("<tr><td>IndexNow (Bing, Yandex, Seznam, Naver, Yep)</td><td>Submission Successful: "
                         "Accepted; the key is still being checked (202)</td></tr>"),
            log.constData());
        QCOMPARE(log.count("<td>Submission Successful</td>"), 3);
    }

    void googleGroup_signsTheProfileInAndOut()
    {
        GoogleImitation google(m_farm);
        google.setEnvironment();
        google.addProperty(u"sc-domain:example.org"_s);
        google.addProperty(m_farm.url(u"/"_s));
        ProfileStore store(m_app->settings());
        Profile shop = store.read(1);
        shop.value(ProfileField::Url) = m_farm.url(u"/"_s);
        QVERIFY(store.save(1, shop));
        const QString key = m_app->homeFile(u"service.json"_s);
        const QString client = m_app->homeFile(u"client.json"_s);
        TestData::writeFile(key, google.serviceAccountFile());
        TestData::writeFile(client, google.clientFile());
        openWindow({});
        m_app->click(u"Bprofile"_s);
        QCOMPARE(m_app->text(u"googleStatus"_s), u"Not signed in to Google."_s);
        // Nothing to sign out of, and no property to pick.
        QVERIFY(!m_app->get<QWidget>(u"googleSignOut"_s)->isEnabled());
        QVERIFY(!m_app->get<QWidget>(u"googleProperty"_s)->isEnabled());

        // A service account: only its key's path is kept, with the property that covers the website.
        m_app->dialogs.queueInput(key);
        m_app->click(u"googleServiceAccount"_s);
        QTRY_VERIFY2(m_app->text(u"googleStatus"_s).contains(u"property %1"_s.arg(m_farm.url(u"/"_s))),
                     qPrintable(m_app->text(u"googleStatus"_s)));
        QCOMPARE(store.read(1).googleServiceAccount, key);
        QCOMPARE(m_app->get<QComboBox>(u"googleProperty"_s)->count(), 2);

        // A person, in the browser: the page's own Save keeps what the sign-in stored.
        m_app->dialogs.queueInput(client);
        m_app->click(u"googleSignIn"_s);
        QTRY_COMPARE(m_app->desktop.opened.size(), 1);
        QNetworkAccessManager browser;
        QNetworkRequest visit(m_app->desktop.opened.first());
        visit.setAttribute(QNetworkRequest::RedirectPolicyAttribute,
                           QNetworkRequest::NoLessSafeRedirectPolicy);
        std::unique_ptr<QNetworkReply> page(browser.get(visit));
        QTRY_VERIFY2(m_app->text(u"googleStatus"_s).contains(u"own OAuth client; property"_s),
                     qPrintable(m_app->text(u"googleStatus"_s)));
        QVERIFY(store.read(1).googleServiceAccount.isEmpty());
        m_app->get<QComboBox>(u"googleProperty"_s)->setCurrentIndex(0);
        m_app->click(u"Command9"_s); // Save
        QCOMPARE(store.read(1).googleProperty, m_farm.url(u"/"_s));

        // The history's Google tab reads the sitemaps' status back.
        google.addSitemap(m_farm.url(u"/"_s), m_farm.url(u"/sitemap.xml"_s), 42);
        m_app->click(u"Bhistory"_s);
        QCOMPARE(m_app->get<QPlainTextEdit>(u"googleSitemaps"_s)->toPlainText(),
                 u"No sitemap status recorded yet."_s);
        auto* refresh = m_app->get<QPushButton>(u"refreshFromGoogle"_s);
        refresh->setFocus();
        refresh->click();
        QTRY_VERIFY2(m_app->get<QPlainTextEdit>(u"googleSitemaps"_s)
                         ->toPlainText()
                         .startsWith(m_farm.url(u"/sitemap.xml"_s) + u": downloaded "_s),
                     qPrintable(m_app->get<QPlainTextEdit>(u"googleSitemaps"_s)->toPlainText()));
        QVERIFY(m_app->get<QPlainTextEdit>(u"googleSitemaps"_s)
                    ->toPlainText()
                    .contains(u", 42 pages, 0 errors"_s));
        QCOMPARE(QApplication::focusWidget(), refresh); // where the user left it

        m_app->click(u"Bprofile"_s);
        m_app->click(u"googleSignOut"_s);
        QTRY_COMPARE(m_app->text(u"googleStatus"_s), u"Signed out of Google."_s);
        QCOMPARE(google.revocations(), 1);
        QVERIFY(store.read(1).googleProperty.isEmpty());
    }

    // Google answers a profile that is no longer shown: nothing of it lands in the one shown now.
    void google_answersForAProfileNoLongerShownAreDropped()
    {
        GoogleImitation google(m_farm);
        google.setEnvironment();
        const QString key = m_app->homeFile(u"service.json"_s);
        TestData::writeFile(key, google.serviceAccountFile());
        ProfileStore store(m_app->settings());
        for (const auto& [slot, title] : {std::pair(1, u"Shop"_s), std::pair(2, u"Blog"_s)}) {
            TestData::storeCompleteProfile(m_app->settings(), slot, title);
            Profile profile = store.read(slot);
            profile.value(ProfileField::Url) = m_farm.url(u"/%1/"_s.arg(title.toLower()));
            profile.googleServiceAccount = key;
            profile.googleProperty = slot == 1 ? profile.value(ProfileField::Url) : QString();
            QVERIFY(store.save(slot, profile));
        }
        // Search Console's answers, each given once the window shows the other profile.
        std::function<void()> meanwhile;
        bool damaged = false; // the next list of sitemaps holds a count that cannot be right
        m_farm.handle(u"/google/webmasters/v3/sites"_s, [&](const SiteFarm::Request& request) {
            if (meanwhile)
                std::exchange(meanwhile, nullptr)();
            if (std::exchange(damaged, false))
                return SiteFarm::Answer(200, "{\"sitemap\": [{\"path\": \"x\", \"errors\": \"-1\"}]}");
            const QString website = request.path.contains("shop") ? u"shop"_s : u"blog"_s;
            if (request.path.endsWith("/sitemaps"))
                return SiteFarm::Answer(200, u"{\"sitemap\": [{\"path\": \"%1\", \"isPending\": false}]}"_s
                                                 .arg(m_farm.url(u"/%1/map.xml"_s.arg(website)))
                                                 .toUtf8());
            return SiteFarm::Answer(
                200, u"{\"siteEntry\": [{\"siteUrl\": \"%1\", \"permissionLevel\": \"siteOwner\"}]}"_s
                         .arg(m_farm.url(u"/blog/"_s))
                         .toUtf8());
        });
        openWindow({});
        auto* chooser = m_app->get<QComboBox>(u"Combo4"_s);
        const auto show = [&](const QString& title) {
            m_app->click(u"Bprofile"_s);
            chooser->setCurrentIndex(chooser->findText(title));
            emit chooser->activated(chooser->currentIndex());
        };

        // The panel: the Shop's properties never become the Blog's.
        show(u"Shop"_s);
        meanwhile = [&] { show(u"Blog"_s); };
        m_app->dialogs.queueInput(key);
        m_app->click(u"googleServiceAccount"_s);
        QTRY_VERIFY(!meanwhile);
        QTRY_COMPARE(m_farm.openConnections(), 0);
        QTest::qWait(100); // what the old answer would have done is done by now
        QVERIFY(store.read(2).googleProperty.isEmpty());
        QVERIFY(m_app->text(u"googleStatus"_s).startsWith(u"Uses the service account key"_s));

        // The history's Google tab: the Shop's sitemaps are never kept as the Blog's.
        Profile blog = store.read(2);
        blog.googleProperty = blog.value(ProfileField::Url);
        QVERIFY(store.save(2, blog));
        show(u"Shop"_s);
        m_app->click(u"Bhistory"_s);
        meanwhile = [&] {
            show(u"Blog"_s);
            m_app->click(u"Bhistory"_s);
        };
        m_app->click(u"refreshFromGoogle"_s);
        QTRY_VERIFY(!meanwhile);
        m_app->click(u"refreshFromGoogle"_s);
        const auto stored = [this] { return m_app->get<QPlainTextEdit>(u"googleSitemaps"_s)->toPlainText(); };
        QTRY_VERIFY2(stored().startsWith(m_farm.url(u"/blog/map.xml"_s)), qPrintable(stored()));
        QVERIFY2(!stored().contains(u"/shop/"_s), qPrintable(stored()));
        // An answer that cannot be right is said, and the next Refresh asks again.
        damaged = true;
        m_app->click(u"refreshFromGoogle"_s);
        QTRY_VERIFY(m_app->text(u"googlePageStatus"_s).contains(u"cannot be right"_s));
        m_app->click(u"refreshFromGoogle"_s);
        QTRY_VERIFY2(m_app->text(u"googlePageStatus"_s).startsWith(u"Read from Google"_s),
                     qPrintable(m_app->text(u"googlePageStatus"_s)));
    }

    void changedPages_areCountedBeforeTheRunAndKeptInTheHistory()
    {
        SitemapSite website(m_farm, 12, QDateTime(QDate(2026, 1, 1), QTime(0, 0), QTimeZone::utc()));
        m_farm.route(u"/indexnow"_s, SiteFarm::Behaviour::IndexNow);
        m_farm.route(u"/window-key-2.txt"_s, SiteFarm::Route::answering(200, "window-key-2"));
        PromoSite indexNow = TestData::bundledSites().at(0);
        indexNow.action = m_farm.url(u"/indexnow"_s);
        openWindow({indexNow, TestData::site(u"Other"_s, u"list"_s)});
        m_app->click(u"Bprofile"_s);
        m_app->get<QLineEdit>(u"txturl"_s)->setText(website.address());
        m_app->get<QLineEdit>(u"txtindexnowkey"_s)->setText(u"window-key-2"_s);
        m_app->click(u"Bsubmission"_s);
        m_app->get<QRadioButton>(u"changedPages"_s)->click();
        const auto summary = [this] { return m_app->text(u"pagesSummary"_s); };
        QTRY_COMPARE(summary(), u"12 pages found in 3 sitemaps; left out: 5 on other hosts, 3 listed twice.\n"
                                u"Select an IndexNow site: only IndexNow sites take the pages."_s);
        m_app->get<QCheckBox>(u"Check4"_s)->click();
        QTRY_VERIFY2(
            summary().endsWith(u"\n%1: 12 new or changed pages to send in 1 request (0 unchanged)."_s.arg(
                indexNow.sitename)),
            qPrintable(summary()));
        m_app->click(u"preview"_s); // what Submit would send: the batch of pages, not the address
        QTRY_VERIFY(m_app->window().findChild<QPlainTextEdit*>(u"previewText"_s));
        const QString preview = m_app->get<QPlainTextEdit>(u"previewText"_s)->toPlainText();
        QVERIFY2(preview.contains(u"\"urlList\":[\"%1\""_s.arg(website.pageAddress(0))), qPrintable(preview));
        m_app->window().findChild<QDialog*>(u"requestPreview"_s)->close();
        m_app->dialogs.queueYesNo(true);
        m_app->click(u"Command15"_s);
        QVERIFY(m_app->runToEnd() > 0);
        QVERIFY(TestData::readFile(m_app->homeFile(u"sublog.htm"_s))
                    .contains("<td>Submission Successful: 12 pages</td>"));
        m_app->get<QCheckBox>(u"Check2"_s)->click(); // the IndexNow site alone
        QTRY_VERIFY(
            summary().endsWith(u"no page changed since the last run, nothing to send (12 unchanged)."_s));
        m_app->click(u"Command15"_s);
        QTRY_COMPARE(m_app->dialogs.shown.last().text,
                     u"No page changed since the last run: there is nothing to send."_s);

        m_app->click(u"Bhistory"_s);
        QCOMPARE(m_app->text(u"Label47"_s), u" Run History"_s);
        // The run with nothing to send is on record too, above the one that sent.
        QTRY_COMPARE(m_app->get<QTableView>(u"historyRuns"_s)->model()->rowCount(), 2);
        QCOMPARE(m_app->get<QTableView>(u"historyRuns"_s)->model()->index(0, 4).data().toString(),
                 u"nothing to send"_s);
        m_app->get<QTableView>(u"historyRuns"_s)->selectRow(1);
        const QAbstractItemModel* results = m_app->get<QTableView>(u"historyResults"_s)->model();
        QCOMPARE(results->rowCount(), 2);
        // The picked request's whole answer is readable below the table, and in its cell's tip.
        QCOMPARE(m_app->text(u"historyDetail"_s), u"12 pages"_s);
        QCOMPARE(results->index(0, 4).data(Qt::ToolTipRole).toString(), u"12 pages"_s);
        m_app->get<QCheckBox>(u"historyFailuresOnly"_s)->click();
        QCOMPARE(m_app->get<QTableView>(u"historyResults"_s)->model()->rowCount(), 1); // "Other" is not there
        m_app->dialogs.queueInput(m_app->homeFile(u"run.csv"_s));
        m_app->click(u"historyExport"_s);
        // The export shows what the page shows: a header and the failed request, and says where it went.
        const QByteArray exported = TestData::readFile(m_app->homeFile(u"run.csv"_s));
        QCOMPARE(exported.count("\r\n"), 2);
        QVERIFY(exported.contains(",Other,failed,"));
        // One moment, two ways: ISO 8601 in UTC in the file, the locale's own form of local time and
        // its zone on screen.
        const QDateTime started = QDateTime::fromString(
            QString::fromUtf8(exported.split('\n').at(1).split(',').at(1)), Qt::ISODate);
        QCOMPARE(started.timeSpec(), Qt::UTC);
        QCOMPARE(m_app->get<QTableView>(u"historyRuns"_s)->model()->index(1, 0).data().toString(),
                 QLocale().toString(started.toLocalTime(), QLocale::ShortFormat) + u' ' +
                     started.toLocalTime().timeZoneAbbreviation());
        QCOMPARE(
            m_app->dialogs.shown.last().text,
            u"Exported the run to \"%1\"."_s.arg(QDir::toNativeSeparators(m_app->homeFile(u"run.csv"_s))));
        QCOMPARE(m_app->dialogs.shown.at(m_app->dialogs.shown.size() - 2).filter, u"CSV files (*.csv)"_s);
    }

    void changedPages_leftOutAreNamedAndTheReadingCanBeCancelled()
    {
        m_farm.route(u"/robots.txt"_s, SiteFarm::Behaviour::Hang);
        m_farm.route(u"/indexnow"_s, SiteFarm::Behaviour::IndexNow);
        m_farm.route(u"/window-key-2.txt"_s, SiteFarm::Route::answering(200, "window-key-2"));
        PromoSite indexNow = TestData::bundledSites().at(0);
        indexNow.action = m_farm.url(u"/indexnow"_s);
        openWindow({indexNow});
        m_app->click(u"Bprofile"_s);
        m_app->get<QLineEdit>(u"txturl"_s)->setText(m_farm.url(u"/"_s));
        m_app->get<QLineEdit>(u"txtindexnowkey"_s)->setText(u"window-key-2"_s);
        m_app->click(u"Bsubmission"_s);
        const auto summary = [this] { return m_app->text(u"pagesSummary"_s); };
        QVERIFY(!m_app->get<QCheckBox>(u"checkPages"_s)->isEnabled());
        m_app->get<QRadioButton>(u"changedPages"_s)->click();
        QVERIFY(m_app->get<QCheckBox>(u"checkPages"_s)->isEnabled());
        QVERIFY(!m_app->get<QWidget>(u"preparationProgress"_s)->isHidden());
        m_app->click(u"cancelPreparation"_s); // robots.txt never answers
        QCOMPARE(summary(), u"Cancelled before the plan was made; nothing was sent."_s);
        QVERIFY(m_app->get<QWidget>(u"preparationProgress"_s)->isHidden());

        SitemapSite website(m_farm, 2, QDateTime(QDate(2026, 1, 1), QTime(0, 0), QTimeZone::utc()));
        website.addPagesThatCannotBeIndexed();
        m_app->get<QCheckBox>(u"Check4"_s)->click();
        QTRY_VERIFY2(
            summary().endsWith(
                u"\n%1: 3 new or changed pages and 1 removed page to send in 2 requests (0 "
                u"unchanged); left out: 1 blocked by robots.txt, 1 canonical elsewhere, 2 "
                u"noindex, 1 redirect; 1 listed but gone, announced as removed."_s.arg(indexNow.sitename)),
            qPrintable(summary()));
        QVERIFY(m_app->get<QWidget>(u"preparationProgress"_s)->isHidden());
        m_app->click(u"preview"_s); // a line per request, and page by page what is left out and why
        QTRY_VERIFY(m_app->window().findChild<QTableView*>(u"previewPages"_s));
        const QAbstractItemModel* requests = m_app->get<QListView>(u"previewRequests"_s)->model();
        QCOMPARE(requests->rowCount(), 2);
        QCOMPARE(requests->index(1, 0).data().toString(),
                 u"2. %1 (batch 2 of 2): 1 removed page, from %2 to %2"_s.arg(indexNow.sitename,
                                                                              m_farm.url(u"/broken.html"_s)));
        m_app->get<QListView>(u"previewRequests"_s)->setCurrentIndex(requests->index(1, 0));
        QVERIFY(m_app->get<QPlainTextEdit>(u"previewText"_s)->toPlainText().startsWith(u"2. "_s));
        const QAbstractItemModel* pages = m_app->get<QTableView>(u"previewPages"_s)->model();
        QStringList rows;
        for (int row = 0; row < pages->rowCount(); ++row)
            rows << QUrl(pages->index(row, 0).data().toString()).path() + u' ' +
                        pages->index(row, 1).data().toString() + u": "_s +
                        pages->index(row, 2).data().toString();
        QVERIFY2(rows.size() == 6 && rows.contains(u"/x-robots.html not announced: noindex"_s) &&
                     rows.last() == u"/broken.html announced as removed: listed but gone"_s,
                 qPrintable(rows.join(u'\n')));
        m_app->window().findChild<QDialog*>(u"requestPreview"_s)->close();
        m_app->dialogs.queueYesNo(false);
        m_app->click(u"Command15"_s);
        QVERIFY(m_app->runToEnd() > 0);

        // The coverage view: counts, a bar per state, the run's pages, and the pages of a state.
        m_app->click(u"Bhistory"_s);
        // Read on a thread of its own, the window answering meanwhile.
        QVERIFY(m_app->text(u"coverageSummary"_s).startsWith(u"Reading the coverage of http://127.0.0.1:"_s));
        m_app->get<QTabWidget>(u"historyTabs"_s)->setCurrentIndex(1);
        // The page reads the history again once the run's last records are written.
        QTRY_VERIFY2(
            m_app->text(u"coverageSummary"_s)
                .endsWith(u"\n%1: 3 accepted, 0 refused, 5 left out, 1 removed, 0 never announced."_s.arg(
                    indexNow.sitename)),
            qPrintable(m_app->text(u"coverageSummary"_s)));
        const auto seriesOf = [this](const QString& chart) {
            return m_app->get<QChartView>(chart)->chart()->series().value(0);
        };
        const QBarSet* bars = qobject_cast<QBarSeries*>(seriesOf(u"coverageStates"_s))->barSets().value(0);
        QCOMPARE(QList<qreal>({bars->at(0), bars->at(1), bars->at(2), bars->at(3), bars->at(4), bars->at(5)}),
                 QList<qreal>({3, 0, 0, 5, 1, 0}));
        const QList<QPointF> perRun = qobject_cast<QLineSeries*>(seriesOf(u"coverageRuns"_s))->points();
        QCOMPARE(perRun.size(), 1);
        QCOMPARE(perRun.first().y(), 4.0);
        // The charts in words too, for those who do not see them.
        QCOMPARE(
            m_app->get<QChartView>(u"coverageStates"_s)->accessibleDescription(),
            u"Accepted: 3, Recorded as announced: 0, Refused: 0, Left out: 5, Removed: 1, Never announced: 0."_s);
        QVERIFY(m_app->get<QChartView>(u"coverageRuns"_s)->accessibleDescription().endsWith(u": 4."_s));
        m_app->get<QComboBox>(u"coverageState"_s)->setCurrentIndex(4); // left out
        const QAbstractItemModel* leftOut = m_app->get<QTableView>(u"coveragePages"_s)->model();
        QCOMPARE(leftOut->rowCount(), 5);
        QVERIFY2(leftOut->index(0, 0).data().toString().startsWith(m_farm.url(u"/"_s)),
                 qPrintable(leftOut->index(0, 0).data().toString()));
        m_app->get<QComboBox>(u"coverageState"_s)->setCurrentIndex(0); // every state
        QCOMPARE(leftOut->rowCount(), 9);
        m_app->get<QComboBox>(u"coverageState"_s)->setCurrentIndex(4);
        m_app->dialogs.queueInput(m_app->homeFile(u"pages.csv"_s));
        m_app->click(u"coverageExport"_s); // written on a thread of its own, with a bar and Cancel
        QTRY_VERIFY(m_app->dialogs.shown.last().text.startsWith(u"Exported the pages to"_s));
        const QByteArray exported = TestData::readFile(m_app->homeFile(u"pages.csv"_s));
        QCOMPARE(exported.count("\r\n"), 6);
        QVERIFY(exported.contains(",left-out,noindex: X-Robots-Tag: noindex,"));

        m_app->click(u"Bsubmission"_s);
        m_app->get<QCheckBox>(u"Check2"_s)->click();
        m_app->get<QCheckBox>(u"checkPages"_s)->click(); // unchecked, every page not yet accepted goes
        QTRY_VERIFY2(summary().endsWith(u"\n%1: 5 new or changed pages to send in 1 request (3 unchanged, 1 "
                                        u"changed but sent within the "
                                        u"cool-down)."_s.arg(indexNow.sitename)),
                     qPrintable(summary()));

        const qsizetype before = m_farm.requests().size();
        m_app->click(u"baseline"_s); // what it does, in numbers, with Cancel as the default
        QCOMPARE(m_app->dialogs.shown.last().text,
                 u"Mark 9 pages as announced to 1 IndexNow site?\n\nNothing is sent. From then on, only the "
                 u"pages that change are sent to them."_s);
        QCOMPARE(m_app->dialogs.shown.last().action, u"Mark as Announced"_s);
        QVERIFY(!m_app->window().session().isPreparing()); // cancelled: nothing was recorded
        m_app->dialogs.queueYesNo(true);
        m_app->click(u"baseline"_s);
        QTRY_VERIFY(m_app->dialogs.shown.last().text.endsWith(
            u"%1: 9 pages recorded as announced; nothing was sent."_s.arg(indexNow.sitename)));
        QTRY_VERIFY2(
            summary().endsWith(u"no page changed since the last run, nothing to send (9 unchanged)."_s),
            qPrintable(summary()));
        QVERIFY(std::none_of(m_farm.requests().cbegin() + before, m_farm.requests().cend(),
                             [](const QByteArray& request) { return request.startsWith("POST /indexnow"); }));
    }

    void run_stopCancelsAndFailuresCanBeSelectedAgain()
    {
        openWindow({PromoSite{u"Fails"_s, u"engine"_s, u"u=[url]"_s, u"get"_s, m_farm.url(u"/404"_s)},
                    PromoSite{u"Hangs"_s, u"engine"_s, u"u=[url]"_s, u"get"_s, m_farm.url(u"/hang"_s)}});
        QVERIFY(!m_app->get<QWidget>(u"resubmitFailed"_s)->isEnabled());
        m_app->get<QCheckBox>(u"Check4"_s)->click();
        m_app->click(u"Command15"_s);
        m_app->tick();
        QTRY_COMPARE(slotStatus(1), u"Connection Error"_s);
        m_app->click(u"Command12"_s);
        m_app->dialogs.queueYesNo(true);
        m_app->tick();
        QCOMPARE(m_app->dialogs.shown.last().text, u"Are you sure you want to cancel?"_s);
        QCOMPARE(m_app->dialogs.shown.last().title, u"Cancel Submission"_s);
        QVERIFY(!navigationLocked());
        QCOMPARE(visiblePages(), QStringList{u"subform"_s});
        QCOMPARE(m_app->text(u"Label20"_s), u" Total Selected Engines :0"_s);
        QCOMPARE(slotStatus(2), u"Listening"_s);
        QCOMPARE(m_app->get<StatusLamp>(u"sockstat2"_s)->color(),
                 QColor(0, 255, 0)); // lamps stay as they were
        QVERIFY(!TestData::readFile(m_app->homeFile(u"sublog.htm"_s)).contains("</body></html>"));
        m_app->click(u"resubmitFailed"_s); // the cancelled run is the last one
        QCOMPARE(m_app->entries(u"List2"_s), QStringList{u"Fails"_s});
    }

    void run_closingTheWindowAsksTheCancelQuestion()
    {
        MainWindow& window =
            openWindow({PromoSite{u"Hangs"_s, u"engine"_s, u"u=[url]"_s, u"get"_s, m_farm.url(u"/hang"_s)}});
        m_app->get<QCheckBox>(u"Check4"_s)->click();
        m_app->click(u"Command15"_s);
        m_app->tick();
        QVERIFY(!window.close()); // refused: the run's question comes first
        QVERIFY(window.isVisible());
        m_app->dialogs.queueYesNo(false);
        m_app->tick();
        QCOMPARE(m_app->dialogs.shown.last().title, u"Cancel Submission"_s);
        QVERIFY(window.isVisible() && window.run().isBusy()); // No: the run and the window go on
        window.close();
        m_app->dialogs.queueYesNo(true);
        m_app->tick();
        QVERIFY(!window.run().isBusy());
        QVERIFY(!window.isVisible());
        QCOMPARE(m_app->dialogs.shown.size(), 2);
    }

    void run_emptySelectionIsRefused()
    {
        openWindow({TestData::site(u"One"_s)});
        TestData::writeFile(m_app->homeFile(u"sublog.htm"_s), "a cancelled run's log");
        m_app->click(u"Command15"_s);
        QVERIFY(!QFile::exists(m_app->homeFile(u"sublog.htm"_s)));
        QCOMPARE(m_app->dialogs.shown.size(), 1);
        QCOMPARE(m_app->dialogs.shown.first().text, u"Please select some engines to submit first."_s);
        QCOMPARE(m_app->dialogs.shown.first().title, u"No engines selected"_s);
        QVERIFY(!m_app->window().run().isBusy());
        QVERIFY(!navigationLocked());
        QCOMPARE(visiblePages(), QStringList{u"subform"_s});
    }

    void startup_unusableCatalogueGivesOneMessage()
    {
        QTemporaryDir home;
        ScriptedDialogs dialogs;
        // Every paint the splash receives, counted from outside.
        int splashPaints = 0;
        struct PaintCounter : QObject
        {
            int& paints;
            explicit PaintCounter(int& counter) : paints(counter) {}
            bool eventFilter(QObject* watched, QEvent* event) override
            {
                if (event->type() == QEvent::Paint && watched->objectName() == u"frmSplash"_s)
                    ++paints;
                return false;
            }
        } counter(splashPaints);
        qApp->installEventFilter(&counter);
        Startup startup(AppContext{AppPaths(home.path()), dialogs, m_app->settings(), m_app->desktop});
        QVERIFY(!startup.run());
        qApp->removeEventFilter(&counter);
        QVERIFY(splashPaints > 0); // painted before the catalogue was looked at, then withdrawn
        QCOMPARE(dialogs.shown.size(), 1);
        QCOMPARE(dialogs.shown.first().icon, Dialogs::Icon::Critical);
        QVERIFY(dialogs.shown.first().text.contains(home.filePath(u"orvd.dll"_s) + u"\" does not exist"_s));
        // Nothing but the message: the splash's hand-over cannot come any more.
        QVERIFY(!startup.mainWindow());
        QVERIFY(!startup.splash() ||
                (!startup.splash()->isVisible() && !startup.splash()->findChild<QTimer*>()->isActive()));
        QVERIFY(!QFile::exists(home.filePath(u"orvd.dll"_s)));
    }

    void startup_splashPaintsThenHandsOverOnce()
    {
        QTemporaryDir home;
        TestData::writeCatalogue(home.filePath(u"orvd.dll"_s), {TestData::site(u"One"_s)});
        Startup startup(AppContext{AppPaths(home.path()), m_app->dialogs, m_app->settings(), m_app->desktop});
        QSignalSpy shown(&startup, &Startup::mainWindowShown);
        QVERIFY(startup.run());
        QVERIFY(startup.splash()->isVisible()); // start-up has returned; the hand-over waits for its second
        // Its picture is drawn for the screen's scale, not stretched.
        QCOMPARE(startup.splash()->findChild<QLabel*>(u"Image1"_s)->pixmap().devicePixelRatio(),
                 startup.splash()->devicePixelRatioF());
        QVERIFY(!startup.mainWindow());
        QTRY_COMPARE_WITH_TIMEOUT(shown.size(), 1, 5000);
        QVERIFY(startup.mainWindow()->isVisible());
        QTRY_VERIFY(!startup.splash()); // unloaded, and its timer with it: handed over once
        QCOMPARE(shown.size(), 1);
    }

    // The Schedule dialog as a user fills it in, with systemctl, crontab and systemd-analyze as
    // stand-ins first on PATH.
    void schedule_setFromTheSubmissionPageShownAgainAndRemoved_data()
    {
        QTest::addColumn<QString>("scheduler");
        QTest::addColumn<QString>("sites"); // the choice's button
        QTest::addColumn<QString>("words"); // of the submit command
        QTest::addColumn<QString>("said");
        QTest::newRow("systemd user timer, the selection")
            << u"systemd"_s << u"scheduleSelected"_s << u"--site \"Two Words\""_s << u"Two Words"_s;
        QTest::newRow("crontab, a type")
            << u"crontab"_s << u"scheduleType"_s << u"--type list"_s << u"the lists"_s;
        QTest::newRow("systemd user timer, every site")
            << u"systemd"_s << u"scheduleAll"_s << u"--all"_s << u"every site"_s;
    }

    void schedule_setFromTheSubmissionPageShownAgainAndRemoved()
    {
        QFETCH(QString, scheduler);
        QFETCH(QString, sites);
        QFETCH(QString, words);
        QFETCH(QString, said);
        const ScheduleStandIns standIns;
        const QByteArray path = qgetenv("PATH");
        QList<std::pair<const char*, std::optional<QByteArray>>> before;
        for (const char* name : {"PATH", "ORVANTA_SCHEDULER", "XDG_CONFIG_HOME"})
            before.append(
                {name, qEnvironmentVariableIsSet(name) ? std::optional(qgetenv(name)) : std::nullopt});
        const auto restore = qScopeGuard([before] {
            for (const auto& [name, value] : before)
                value ? qputenv(name, *value) : qunsetenv(name);
        });
        qputenv("PATH", QFile::encodeName(standIns.path()) + ':' + path);
        qputenv("ORVANTA_SCHEDULER", scheduler.toUtf8());
        qputenv("XDG_CONFIG_HOME", QFile::encodeName(m_app->configDirectory())); // the units' place
        openWindow({TestData::site(u"One"_s), TestData::site(u"Two Words"_s, u"list"_s)});
        m_app->get<QCheckBox>(u"Check3"_s)->click();
        const auto open = [this] {
            m_app->click(u"schedule"_s);
            return m_app->window().findChild<QDialog*>(u"scheduleDialog"_s);
        };
        QPointer<QDialog> dialog = open();
        QVERIFY(dialog);
        const auto text = [&](const QString& name) { return dialog->findChild<QLabel*>(name)->text(); };
        const auto button = [&](const QString& name) { return dialog->findChild<QAbstractButton*>(name); };
        QCOMPARE(text(u"scheduleProfile"_s), u"Profile \"R&D <Shop>\" (slot 1)"_s);
        QVERIFY(button(u"scheduleSelected"_s)->isChecked());
        QVERIFY(button(u"scheduleAddress"_s)->isChecked());
        QCOMPARE(text(u"scheduleKept"_s), u"No schedule yet."_s);
        QVERIFY(!button(u"removeSchedule"_s)->isEnabled());
        // crontab runs whether the user is logged in or not
        QCOMPARE(dialog->findChild<QLabel*>(u"scheduleLinger"_s)->isVisible(), scheduler == u"systemd"_s);
        const QString mondays =
            TimeText::shown(QDateTime(QDate(2030, 1, 7), QTime(6, 0), QTimeZone::utc()).toMSecsSinceEpoch()) +
            u'\n' +
            TimeText::shown(QDateTime(QDate(2030, 1, 14), QTime(6, 0), QTimeZone::utc()).toMSecsSinceEpoch());
        QTRY_COMPARE(text(u"scheduleNextRuns"_s), mondays);
        QVERIFY(button(u"setSchedule"_s)->isEnabled());
        const QLabel* nextRuns = dialog->findChild<QLabel*>(u"scheduleNextRuns"_s);
        QVERIFY(nextRuns->height() >= nextRuns->fontMetrics().lineSpacing() * 5); // five runs fit

        // A calendar systemd cannot read: said as it says it, and nothing to set.
        button(u"scheduleOwn"_s)->click();
        dialog->findChild<QLineEdit*>(u"scheduleCalendar"_s)->setText(u"never"_s);
        QTRY_COMPARE(text(u"scheduleNextRuns"_s),
                     u"This calendar cannot be used: Failed to parse calendar 'never': Invalid argument"_s);
        QVERIFY(!button(u"setSchedule"_s)->isEnabled());
        // Tuesdays at 07:30, chosen in three steps and read once they pause.
        button(u"scheduleWeekly"_s)->click();
        dialog->findChild<QComboBox*>(u"scheduleWeekday"_s)->setCurrentIndex(1);
        dialog->findChild<QTimeEdit*>(u"scheduleWeeklyTime"_s)->setTime(QTime(7, 30));
        QTRY_VERIFY(button(u"setSchedule"_s)->isEnabled());
        QCOMPARE(text(u"scheduleNextRuns"_s), mondays);
        QVERIFY2(
            standIns.calls().contains(u"systemd-analyze calendar --iterations=5 -- Tue *-*-* 07:30\n"_s) &&
                !standIns.calls().contains(u"-- Mon *-*-* 06:00\n"_s),
            qPrintable(standIns.calls()));
        button(u"scheduleChangedPages"_s)->click();
        button(sites)->click();
        dialog->findChild<QComboBox*>(u"scheduleTypeChoice"_s)->setCurrentIndex(1); // used by a type alone
        button(u"setSchedule"_s)->click();
        QCOMPARE(m_app->dialogs.shown.size(), 0);
        const QString command = QCoreApplication::applicationFilePath() + u" submit --profile-slot 1 "_s +
                                words + u" --changed-pages --quiet --schedule-log --home "_s + m_app->home();
        const QString units = m_app->configDirectory() + u"/systemd/user/"_s;
        if (scheduler == u"systemd"_s) {
            QVERIFY(TestData::readFile(units + u"orvanta-1.service"_s)
                        .contains((u"\nExecStart="_s + command + u'\n').toUtf8()));
            QVERIFY(
                TestData::readFile(units + u"orvanta-1.timer"_s).contains("\nOnCalendar=Tue *-*-* 07:30\n"));
        } else {
            QCOMPARE(TestData::readFile(standIns.crontabFile()),
                     (u"# orvanta: begin\n# orvanta slot 1: Tue *-*-* 07:30\n0 6 * * 1 "_s + command +
                      u"\n# orvanta: end\n"_s)
                         .toUtf8());
        }
        QVERIFY2(
            text(u"scheduleKept"_s)
                .startsWith(
                    u"Now: %3, changed pages, at \"Tue *-*-* 07:30\", kept as %1.\nNext run: %2\nLast run: none yet\n"_s
                        .arg(scheduler == u"crontab"_s ? u"crontab"_s
                                                       : u"systemd user timer orvanta-1.timer"_s,
                             mondays.section(u'\n', 0, 0), said)),
            qPrintable(text(u"scheduleKept"_s)));
        QVERIFY(button(u"removeSchedule"_s)->isEnabled());

        // Opened again, the dialog shows the schedule as it is kept: with nothing selected on the
        // page, the sites it names.
        dialog->close();
        QTRY_VERIFY(!dialog);
        m_app->get<QCheckBox>(u"Check3"_s)->click();
        dialog = open();
        QCOMPARE(button(u"scheduleSelected"_s)->text(), sites == u"scheduleSelected"_s
                                                            ? u"The schedule's &named sites (1)"_s
                                                            : u"The sites selected &now (0)"_s);
        QVERIFY(dialog);
        QVERIFY(button(u"scheduleWeekly"_s)->isChecked() && button(u"scheduleChangedPages"_s)->isChecked());
        QVERIFY(button(sites)->isChecked());
        QCOMPARE(dialog->findChild<QComboBox*>(u"scheduleTypeChoice"_s)->currentIndex(),
                 sites == u"scheduleType"_s ? 1 : 0);
        QCOMPARE(dialog->findChild<QComboBox*>(u"scheduleWeekday"_s)->itemText(6),
                 QLocale().dayName(Qt::Sunday));
        QCOMPARE(dialog->findChild<QComboBox*>(u"scheduleWeekday"_s)->currentIndex(), 1);
        QCOMPARE(dialog->findChild<QTimeEdit*>(u"scheduleWeeklyTime"_s)->time(), QTime(7, 30));
        button(u"removeSchedule"_s)->click();
        QCOMPARE(text(u"scheduleKept"_s), u"No schedule yet."_s);
        QVERIFY(!button(u"removeSchedule"_s)->isEnabled());
        QVERIFY(!QFile::exists(units + u"orvanta-1.timer"_s));
        QCOMPARE(TestData::readFile(standIns.crontabFile()), scheduler == u"crontab"_s ? "" : "<missing>");
    }

    void everyControl_hasANameAndTheWindowAnIcon()
    {
        m_app->openWindow({});
        QVERIFY(!m_app->window().windowIcon().isNull());
        QStringList unnamed;
        for (QWidget* widget : m_app->window().findChildren<QWidget*>()) {
            const bool control = qobject_cast<QAbstractButton*>(widget) || qobject_cast<QLineEdit*>(widget) ||
                                 qobject_cast<QComboBox*>(widget) ||
                                 qobject_cast<QAbstractItemView*>(widget) ||
                                 qobject_cast<QPlainTextEdit*>(widget);
            // An editable combo box's own line edit is announced through the combo box.
            if (!control || qobject_cast<QComboBox*>(widget->parentWidget()) ||
                widget->objectName().isEmpty() || widget->objectName().startsWith(u"qt_"_s))
                continue;
            // A name says what the control does: "<" says nothing to someone who cannot see it.
            QAccessibleInterface* accessible = QAccessible::queryAccessibleInterface(widget);
            const QString name = accessible ? accessible->text(QAccessible::Name) : QString();
            if (std::none_of(name.cbegin(), name.cend(), [](QChar c) { return c.isLetterOrNumber(); }))
                unnamed << widget->objectName();
        }
        QVERIFY2(unnamed.isEmpty(), qPrintable(unnamed.join(u", "_s)));
    }

    void keyboard_reachesEveryControlInReadingOrder_data()
    {
        QTest::addColumn<QString>("page");
        QTest::addColumn<QStringList>("order");
        QTest::newRow("submission")
            << u"Bsubmission"_s
            << QStringList{u"List1"_s,        u"Command11"_s,      u"Command10"_s, u"List2"_s,
                           u"Check2"_s,       u"Check3"_s,         u"Check4"_s,    u"addressOnly"_s,
                           u"changedPages"_s, u"checkPages"_s,     u"baseline"_s,  u"cancelPreparation"_s,
                           u"preview"_s,      u"resubmitFailed"_s, u"schedule"_s,  u"Command15"_s};
        QTest::newRow("history") << u"Bhistory"_s
                                 << QStringList{u"historyRuns"_s, u"historyResults"_s, u"historyDetail"_s,
                                                u"historyFailuresOnly"_s, u"historyExport"_s};
        QTest::newRow("profile's key") << u"Bprofile"_s
                                       << QStringList{u"txtindexnowkey"_s, u"generateKey"_s, u"saveKeyFile"_s,
                                                      u"checkKey"_s, u"txtfeed"_s};
    }

    void keyboard_reachesEveryControlInReadingOrder()
    {
        QFETCH(QString, page);
        QFETCH(QStringList, order);
        m_app->openWindow({TestData::site(u"One"_s)});
        m_app->click(page);
        // Tab leaves a table instead of walking its cells.
        for (const QTableView* table : m_app->window().findChildren<QTableView*>())
            QVERIFY2(!table->tabKeyNavigation(), qPrintable(table->objectName()));
        QStringList reached;
        QWidget* widget = m_app->get<QWidget>(order.first());
        for (int step = 0; step < 200 && reached.size() < order.size();
             ++step, widget = widget->nextInFocusChain()) {
            if (order.contains(widget->objectName()) && !reached.contains(widget->objectName()))
                reached << widget->objectName();
        }
        QCOMPARE(reached, order);
        for (const QString& mnemonic : {u"historyFailuresOnly"_s, u"historyExport"_s})
            QVERIFY(m_app->get<QAbstractButton>(mnemonic)->text().contains(u'&'));
    }

    void everyCaption_fitsOnEveryPage()
    {
        MainWindow& window = m_app->openWindow({TestData::site(u"One"_s)});
        window.resize(window.minimumSizeHint()); // everything fits at the least size too
        QVERIFY(QTest::qWaitForWindowExposed(&window));
        // The description box shows two lines, not more.
        const auto* description = m_app->get<QPlainTextEdit>(u"txtdescription"_s);
        const double lines =
            double(description->viewport()->height() - 2 * description->document()->documentMargin()) /
            description->fontMetrics().lineSpacing();
        QVERIFY2(lines >= 2 && lines < 2.5, qPrintable(QString::number(lines)));
        QStringList clipped;
        for (const QString& page :
             {u"Bprofile"_s, u"Bsubmission"_s, u"Bmeta"_s, u"Bsearch"_s, u"Babout"_s, u"Bhistory"_s}) {
            m_app->click(page);
            for (QWidget* widget : m_app->window().findChildren<QWidget*>()) {
                const auto* label = qobject_cast<QLabel*>(widget);
                const auto* button = qobject_cast<QAbstractButton*>(widget);
                if (!widget->isVisible() ||
                    (!button && (!label || label->wordWrap() || label->text().isEmpty())))
                    continue;
                const QString text = QString(label ? label->text() : button->text()).remove(u'&');
                const int frame = !button ? 0 : qobject_cast<const QCheckBox*>(button) ? 20 : 6;
                if (widget->fontMetrics().horizontalAdvance(text) > widget->contentsRect().width() - frame)
                    clipped << widget->objectName();
            }
        }
        QVERIFY2(clipped.isEmpty(), qPrintable(clipped.join(u", "_s)));
    }

    void window_growsWhereTheContentIs()
    {
        QMainWindow& window = m_app->openWindow({TestData::site(u"One"_s)});
        QVERIFY(QTest::qWaitForWindowExposed(&window));
        // Each page's growing parts, measured while the page is on show.
        const QList<std::pair<QString, QStringList>> pages{
            {u"proform"_s, {u"txtdescription"_s}},
            {u"subform"_s, {u"List1"_s, u"List2"_s}},
            {u"statsform"_s, {u"Label21"_s, u"sockdata1"_s}},
        };
        const auto sizes = [&] {
            QMap<QString, QSize> found;
            for (const auto& [page, parts] : pages) {
                for (const auto& other : pages)
                    m_app->get<QWidget>(other.first)->setVisible(other.first == page);
                QCoreApplication::sendPostedEvents(nullptr, QEvent::LayoutRequest);
                for (const QString& part : parts)
                    found[part] = m_app->get<QWidget>(part)->size();
            }
            found[u"Picture1"_s] = m_app->get<QWidget>(u"Picture1"_s)->size();
            return found;
        };
        const QMap<QString, QSize> before = sizes();
        const QSize larger = window.size() + QSize(300, 200);
        window.resize(larger);
        QTRY_COMPARE(window.size(), larger);
        const QMap<QString, QSize> after = sizes();
        for (const QString& part :
             {u"txtdescription"_s, u"List1"_s, u"List2"_s, u"Label21"_s, u"sockdata1"_s})
            QVERIFY2(after[part].width() > before[part].width() + 100, qPrintable(part));
        for (const QString& part : {u"txtdescription"_s, u"List1"_s, u"List2"_s})
            QVERIFY2(after[part].height() > before[part].height() + 150, qPrintable(part));
        // The toolbar keeps its width.
        QCOMPARE(after[u"Picture1"_s].width(), before[u"Picture1"_s].width());
    }

    void display_theBarSaysItAllWithoutMovingTheLists()
    {
        QMainWindow& window = openWindow({TestData::site(u"One"_s)});
        window.resize(960, 640);
        QVERIFY(QTest::qWaitForWindowExposed(&window));
        auto* page = window.findChild<EngineSelectionPage*>();
        auto* bar = m_app->get<QProgressBar>(u"preparationProgress"_s);
        const QRect lists = m_app->get<QWidget>(u"List1"_s)->geometry();
        page->showPreparation(u"Checking the pages"_s, 3068, 1000000, u"about 2 min left"_s);
        QCoreApplication::sendPostedEvents(nullptr, QEvent::LayoutRequest);
        const QString said = u"Checking the pages: 3,068 of 1,000,000, about 2 min left"_s;
        QCOMPARE(bar->accessibleDescription(), said);
        QCOMPARE(bar->text(), said);
        QVERIFY2(bar->width() >= bar->fontMetrics().horizontalAdvance(said),
                 qPrintable(QString::number(bar->width())));
        QCOMPARE(m_app->get<QWidget>(u"List1"_s)->geometry(), lists); // the row was there all along
        page->hidePreparation();
        QCoreApplication::sendPostedEvents(nullptr, QEvent::LayoutRequest);
        QCOMPARE(m_app->get<QWidget>(u"List1"_s)->geometry(), lists);
    }

    void changedPages_theSummaryIsOfTheProfileShown()
    {
        SiteFarm other;
        QVERIFY(other.listen());
        SitemapSite shop(m_farm, 3, QDateTime::currentDateTimeUtc().addDays(-1));
        SitemapSite blog(other, 7, QDateTime::currentDateTimeUtc().addDays(-1));
        ProfileStore store(m_app->settings());
        for (const auto& [slot, address] : {std::pair(1, shop.address()), std::pair(2, blog.address())}) {
            TestData::storeCompleteProfile(m_app->settings(), slot, slot == 1 ? u"Shop"_s : u"Blog"_s);
            Profile profile = store.read(slot);
            profile.value(ProfileField::Url) = address;
            QVERIFY(store.save(slot, profile));
        }
        PromoSite indexNow = TestData::bundledSites().at(0);
        openWindow({indexNow});
        auto* chooser = m_app->get<QComboBox>(u"Combo4"_s);
        chooser->setCurrentIndex(chooser->findText(u"Shop"_s));
        emit chooser->activated(chooser->currentIndex());
        m_app->click(u"Bsubmission"_s);
        m_app->get<QRadioButton>(u"changedPages"_s)->click();
        m_app->get<QCheckBox>(u"Check4"_s)->click();
        const auto summary = [this] { return m_app->text(u"pagesSummary"_s); };
        QTRY_VERIFY2(summary().startsWith(u"3 pages found"_s), qPrintable(summary()));
        m_app->click(u"Bprofile"_s);
        chooser->setCurrentIndex(chooser->findText(u"Blog"_s));
        emit chooser->activated(chooser->currentIndex());
        m_app->click(u"Bsubmission"_s); // the Shop's numbers are not the Blog's
        QVERIFY2(!summary().startsWith(u"3 pages found"_s), qPrintable(summary()));
        QTRY_VERIFY2(summary().startsWith(u"7 pages found"_s), qPrintable(summary()));
    }

    void mnemonics_everyControlHasOneOfItsOwn()
    {
        m_app->openWindow({TestData::site(u"One"_s)});
        // The controls that are the program's own; the classic captions keep the keys they had.
        const QMap<QString, QStringList> ours{
            {u"Bprofile"_s, {u"googleSignIn"_s, u"googleServiceAccount"_s, u"googleSignOut"_s}},
            {u"Bsubmission"_s,
             {u"addressOnly"_s, u"changedPages"_s, u"checkPages"_s, u"baseline"_s, u"cancelPreparation"_s,
              u"preview"_s, u"resubmitFailed"_s, u"schedule"_s}},
            {u"Bhistory"_s, {u"historyFailuresOnly"_s, u"historyExport"_s}},
        };
        const auto keyOf = [](const QString& text) {
            const qsizetype at = QString(text).replace(u"&&"_s, u"__"_s).indexOf(u'&');
            return at < 0 ? QChar() : text.at(at + 1).toLower();
        };
        for (auto page = ours.cbegin(); page != ours.cend(); ++page) {
            m_app->click(page.key());
            QMultiMap<QChar, QString> keys; // of everything the user can reach on the page
            for (const QAbstractButton* button : m_app->window().findChildren<QAbstractButton*>()) {
                if (button->isVisibleTo(&m_app->window()) || page.value().contains(button->objectName()))
                    keys.insert(keyOf(button->text()), button->objectName());
            }
            for (const QLabel* label : m_app->window().findChildren<QLabel*>()) {
                if (label->buddy() && label->isVisibleTo(&m_app->window()))
                    keys.insert(keyOf(label->text()), label->objectName());
            }
            for (const QAction* menu : m_app->window().menuBar()->actions())
                keys.insert(keyOf(menu->text()), menu->text());
            for (const QTabBar* tabs : m_app->window().findChildren<QTabBar*>()) {
                for (int tab = 0; tabs->isVisibleTo(&m_app->window()) && tab < tabs->count(); ++tab)
                    keys.insert(keyOf(tabs->tabText(tab)), tabs->tabText(tab));
            }
            for (const QString& control : page.value()) {
                const QChar key = keyOf(m_app->get<QAbstractButton>(control)->text());
                QVERIFY2(!key.isNull(), qPrintable(control));
                QVERIFY2(keys.values(key).size() == 1,
                         qPrintable(control + u": "_s + keys.values(key).join(u", "_s)));
            }
        }
    }

    void coverage_withoutRunsSaysSo()
    {
        openWindow({});
        m_app->click(u"Bhistory"_s);
        QChart* runs = m_app->get<QChartView>(u"coverageRuns"_s)->chart();
        QTRY_COMPARE(runs->title(), u"Pages announced per run: no runs yet"_s);
        QVERIFY(runs->series().isEmpty() && runs->axes().isEmpty());
    }
};

QTEST_MAIN(TestWindow)
#include "tst_window.moc"
