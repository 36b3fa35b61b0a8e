#include "InstalledVersion.h"
#include "SettingsStore.h"
#include "SiteFarm.h"
#include "TestSupport.h"
#include "UpdateReply.h"
#include "UpgradeWindow.h"

#include <QAccessible>
#include <QAccessibleActionInterface>
#include <QLabel>
#include <QPointer>
#include <QPushButton>
#include <QTest>

#include <memory>

using namespace Qt::StringLiterals;
using Kind = UpdateReply::Kind;

namespace {
const QByteArray newBytes = "NEW UPGRADE BYTES";
const QByteArray oldBytes = "an older, longer orvd.upg from an earlier upgrade, kept until replaced";
const QString current = u"You have the most current version."_s;
const QString success = u"The upgrade process has completed successfully!"_s;
const QString failed = u"Could not register at this time, Please try again at another time."_s;
} // namespace

class TestUpgrade : public QObject
{
    Q_OBJECT

private:
    SiteFarm m_farm;
    std::unique_ptr<QTemporaryDir> m_home;
    std::unique_ptr<TempSettings> m_temp;
    std::unique_ptr<SettingsStore> m_settings;
    ScriptedDialogs m_dialogs;
    int m_ended = 0;

    QPointer<UpgradeWindow> openWindow(const QString& server)
    {
        auto* window = new UpgradeWindow(
            *m_settings, m_dialogs,
            {QUrl(server), m_home->filePath(u"orvd.upg"_s), std::chrono::milliseconds(1500)});
        connect(window, &UpgradeWindow::ended, this, [this] { ++m_ended; });
        window->show();
        return window;
    }

private slots:

    void initTestCase()
    {
        QVERIFY(m_farm.listen());
        m_farm.route(u"/files/new.upg"_s, SiteFarm::Route(SiteFarm::Behaviour::Ok, {}, 0, 0, newBytes));
        m_farm.route(u"/files/empty.upg"_s,
                     SiteFarm::Route(SiteFarm::Behaviour::Ok, {}, 0, 0, QByteArray("")));
        m_farm.route(u"/files/nothing.upg"_s, SiteFarm::Behaviour::NoContent);
        m_farm.route(u"/files/cut.upg"_s, SiteFarm::Behaviour::CutShort);
        m_farm.route(u"/files/missing.upg"_s, SiteFarm::Behaviour::NotFound);
        m_farm.route(u"/files/big.upg"_s,
                     SiteFarm::Route(SiteFarm::Behaviour::HugeBody, {}, 3 * 1024 * 1024));
        m_farm.route(u"/hang/registration/orv.asp"_s, SiteFarm::Behaviour::Hang);
    }

    void init()
    {
        m_home = std::make_unique<QTemporaryDir>();
        m_temp = std::make_unique<TempSettings>();
        m_settings = std::make_unique<SettingsStore>();
        m_dialogs = ScriptedDialogs();
        m_ended = 0;
        QVERIFY(InstalledVersion(*m_settings).store(u"2.001"_s));
        TestData::writeFile(m_home->filePath(u"orvd.upg"_s), oldBytes);
    }

    void cleanup()
    {
        m_settings.reset();
        m_temp.reset();
        m_home.reset();
    }

    void reply_data()
    {
        QTest::addColumn<QString>("text");
        QTest::addColumn<Kind>("kind");
        QTest::addColumn<bool>("complete");
        QTest::addColumn<QString>("path");
        QTest::addColumn<QString>("version");
        QTest::newRow("current") << u"status=0001"_s << Kind::Current << false << QString() << QString();
        QTest::newRow("newer") << u"0011 path[http://h/f.upg] version[2.100]"_s << Kind::NewerAvailable
                               << true << u"http://h/f.upg"_s << u"2.100"_s;
        QTest::newRow("neither code")
            << u"<html>error</html>"_s << Kind::Unrecognised << false << QString() << QString();
        QTest::newRow("0001 only inside the path wins") << u"0011 path[http://h/0001.upg] version[3]"_s
                                                        << Kind::Current << false << QString() << QString();
        QTest::newRow("version before path") << u"0011 version[2.5] path[http://h/a]"_s
                                             << Kind::NewerAvailable << true << u"http://h/a"_s << u"2.5"_s;
        QTest::newRow("version[ inside the path is cut out first")
            << u"0011 path[http://h/x?version[9] version[2.7]"_s << Kind::NewerAvailable << true
            << u"http://h/x?version[9"_s << u"2.7"_s;
        QTest::newRow("path never closed")
            << u"0011 version[2] path[http://h"_s << Kind::NewerAvailable << false << QString() << QString();
        QTest::newRow("no version") << u"0011 path[http://h/a]"_s << Kind::NewerAvailable << false
                                    << u"http://h/a"_s << QString();
        QTest::newRow("markers are case-sensitive")
            << u"0011 PATH[a] Version[b]"_s << Kind::NewerAvailable << false << QString() << QString();
        QTest::newRow("markers first, the code last")
            << u"path[http://h/a]version[2.2] 0011"_s << Kind::NewerAvailable << true << u"http://h/a"_s
            << u"2.2"_s;
        QTest::newRow("empty fields")
            << u"0011path[]version[]"_s << Kind::NewerAvailable << true << QString() << QString();
    }

    void reply()
    {
        QFETCH(QString, text);
        QFETCH(Kind, kind);
        QFETCH(bool, complete);
        QFETCH(QString, path);
        QFETCH(QString, version);
        const UpdateReply reply = UpdateReply::parse(text);
        QCOMPARE(reply.kind, kind);
        QCOMPARE(reply.complete, complete);
        QCOMPARE(reply.path, path);
        QCOMPARE(reply.version, version);
    }

    void upgrade_data()
    {
        QTest::addColumn<QByteArray>("reply"); // "%1" stands for the farm's address
        QTest::addColumn<QString>("server");
        QTest::addColumn<QString>("message");
        QTest::addColumn<QByteArray>("file");
        QTest::addColumn<QString>("version");
        const QString farm = u"farm"_s;
        QTest::newRow("current") << QByteArray("code 0001") << farm << current << oldBytes << u"2.001"_s;
        QTest::newRow("newer") << QByteArray("0011 path[%1/files/new.upg] version[2.100]") << farm << success
                               << newBytes << u"2.100"_s;
        QTest::newRow("codes past the first 32,767 characters")
            << QByteArray(40000, ' ') + "0011 path[%1/files/new.upg] version[2.2]" << farm << success
            << newBytes << u"2.2"_s;
        QTest::newRow("a download streamed to the file")
            << QByteArray("0011 path[%1/files/big.upg] version[2.3]") << farm << success
            << QByteArray(3 * 1024 * 1024, 'z') << u"2.3"_s;
        QTest::newRow("neither code")
            << QByteArray("maintenance") << farm << failed << oldBytes << u"2.001"_s;
        QTest::newRow("an answer over 1 MiB")
            << QByteArray("0001") + QByteArray(1100 * 1024, ' ') << farm << failed << oldBytes << u"2.001"_s;
        QTest::newRow("marker missing: quiet end")
            << QByteArray("0011 path[%1/files/new.upg]") << farm << QString() << oldBytes << u"2.001"_s;
        QTest::newRow("empty address")
            << QByteArray("0011 path[] version[3]") << farm << failed << oldBytes << u"2.001"_s;
        QTest::newRow("server down") << QByteArray() << SiteFarm::refusedUrl(QString()) << failed << oldBytes
                                     << u"2.001"_s;
        QTest::newRow("no answer in time") << QByteArray() << u"hang"_s << failed << oldBytes << u"2.001"_s;
        for (const char* download : {"cut", "missing", "empty", "nothing"})
            QTest::newRow(qPrintable(u"download "_s + QLatin1String(download)))
                << QByteArray("0011 path[%1/files/") + download + ".upg] version[4]" << farm << failed
                << oldBytes << u"2.001"_s;
    }

    void upgrade()
    {
        QFETCH(QByteArray, reply);
        QFETCH(QString, server);
        QFETCH(QString, message);
        QFETCH(QByteArray, file);
        QFETCH(QString, version);
        m_farm.route(
            u"/registration/orv.asp"_s,
            SiteFarm::Route(SiteFarm::Behaviour::Ok, {}, 0, 0, reply.replace("%1", m_farm.url({}).toUtf8())));
        QPointer<UpgradeWindow> window = openWindow(server == u"farm"_s   ? m_farm.url(QString())
                                                    : server == u"hang"_s ? m_farm.url(u"/hang"_s)
                                                                          : server);
        window->findChild<QPushButton*>(u"Command1"_s)->click();
        QVERIFY(!window->findChild<QPushButton*>(u"Command1"_s)->isEnabled());
        QTRY_VERIFY_WITH_TIMEOUT(window.isNull(), 10000); // closed, whatever the ending
        QCOMPARE(m_ended, 1);
        QCOMPARE(m_dialogs.shown.size(), message.isEmpty() ? 0 : 1);
        if (!message.isEmpty()) {
            QCOMPARE(m_dialogs.shown.first().text, message);
            QCOMPARE(m_dialogs.shown.first().title, message == current ? u"Orvanta"_s : u"Orvanta Upgrade"_s);
            QCOMPARE(m_dialogs.shown.first().icon,
                     message == failed ? Dialogs::Icon::None : Dialogs::Icon::Information);
        }
        QCOMPARE(TestData::readFile(m_home->filePath(u"orvd.upg"_s)), file);
        QCOMPARE(InstalledVersion(*m_settings).read(), version);
    }

    void request_carriesTheEncodedVersion_data()
    {
        QTest::addColumn<QString>("stored");
        QTest::addColumn<QByteArray>("requestLine");
        QTest::newRow("first version")
            << u"2.001"_s << QByteArray("GET /registration/orv.asp?version=2.001 HTTP/1.1");
        QTest::newRow("none stored") << QString()
                                     << QByteArray("GET /registration/orv.asp?version= HTTP/1.1");
        QTest::newRow("awkward") << u"2 & b=c"_s
                                 << QByteArray("GET /registration/orv.asp?version=2%20%26%20b%3Dc HTTP/1.1");
    }

    void request_carriesTheEncodedVersion()
    {
        QFETCH(QString, stored);
        QFETCH(QByteArray, requestLine);
        QVERIFY(InstalledVersion(*m_settings).store(stored));
        m_farm.route(u"/registration/orv.asp"_s, SiteFarm::Route(SiteFarm::Behaviour::Ok, {}, 0, 0, "0001"));
        QPointer<UpgradeWindow> window = openWindow(m_farm.url(QString()));
        QCOMPARE(window->windowTitle(), u"Orvanta Upgrade "_s);
        window->findChild<QPushButton*>(u"Command1"_s)->click();
        QTRY_VERIFY(window.isNull());
        QVERIFY2(m_farm.requests().last().startsWith(QByteArray(requestLine + "\r\n")),
                 m_farm.requests().last().constData());
    }

    void cancel_endsTheWindowAtAnyTimeAndStoresNothing()
    {
        const qsizetype before = m_farm.requests().size();
        for (const bool useCloseControl : {false, true}) {
            QPointer<UpgradeWindow> window = openWindow(m_farm.url(QString()));
            // Announced to screen readers as a dialog with its title.
            QAccessibleInterface* accessible = QAccessible::queryAccessibleInterface(window.data());
            QCOMPARE(accessible->role(), QAccessible::Dialog);
            QCOMPARE(accessible->text(QAccessible::Name), u"Orvanta Upgrade "_s);
            QCOMPARE(window->findChild<QLabel*>(u"Status"_s)->text(),
                     u"Upgrade Status: Waiting for user input"_s);
            if (useCloseControl)
                window->close();
            else
                window->findChild<QPushButton*>(u"Command2"_s)->click();
            QTRY_VERIFY(window.isNull());
        }
        QCOMPARE(m_ended, 2);
        QCOMPARE(m_farm.requests().size(), before); // nothing was sent

        // Cancel pressed as a screen reader presses it, while the request is in flight.
        QPointer<UpgradeWindow> window = openWindow(m_farm.url(u"/hang"_s));
        window->findChild<QPushButton*>(u"Command1"_s)->click();
        QTRY_VERIFY(m_farm.openRequests() > 0);
        QAccessibleInterface* cancel =
            QAccessible::queryAccessibleInterface(window->findChild<QPushButton*>(u"Command2"_s));
        cancel->actionInterface()->doAction(QAccessibleActionInterface::pressAction());
        QTRY_VERIFY(window.isNull()); // and its request with it: nothing more can come of it
        QTRY_COMPARE(m_farm.openRequests(), 0);
        QCOMPARE(m_ended, 3);
        QVERIFY(m_dialogs.shown.isEmpty());
        QCOMPARE(TestData::readFile(m_home->filePath(u"orvd.upg"_s)), oldBytes);
        QCOMPARE(InstalledVersion(*m_settings).read(), u"2.001"_s);
    }
};

QTEST_MAIN(TestUpgrade)
#include "tst_upgrade.moc"
