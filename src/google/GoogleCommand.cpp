#include "GoogleCommand.h"

#include "BlockingWait.h"
#include "ExitStatus.h"
#include "GoogleAccount.h"
#include "GoogleConnection.h"
#include "GoogleRecords.h"
#include "GoogleSignIn.h"
#include "HistoryDatabase.h"
#include "JsonOutput.h"
#include "ProfileStore.h"
#include "RunLock.h"
#include "SearchConsole.h"
#include "ServiceAccount.h"
#include "WebAddress.h"
#include "Wording.h"

#include <QDateTime>
#include <QElapsedTimer>
#include <QFileInfo>
#include <QIODevice>
#include <QJsonArray>
#include <QJsonObject>
#include <QThread>

using namespace Qt::StringLiterals;

namespace {

constexpr std::chrono::milliseconds inspectionInterval{100};
// Google asking to slow down within a minute's limit is waited out this often for one page,
// each wait at most this long, before the rest wait for the next run.
constexpr int slowDownsPerPage = 5;
constexpr int longestSlowDownSeconds = 120;

void say(QIODevice& device, const QString& line)
{
    device.write((line + u'\n').toUtf8());
}

// Asynchronous work that answers through a callback, waited for: the command line has nothing
// else to do meanwhile.
template <typename Answer, typename Call> Answer awaited(const Call& call)
{
    Answer answer;
    waitFor([&](const std::function<void()>& done) {
        call([&answer, done](const Answer& given) {
            answer = given;
            done();
        });
    });
    return answer;
}

// One request to Search Console.
GoogleAnswer ask(const std::function<void(const SearchConsole::Callback&)>& call)
{
    return awaited<GoogleAnswer>(call);
}

// Something the account does; its error, if any.
QString awaited(const std::function<void(const GoogleAccount::Done&)>& call)
{
    return awaited<QString>(call);
}

class Command
{
public:
    Command(const GoogleCommand::Options& options, SettingsStore& settings, QIODevice& out, QIODevice& err)
        : m_options(options), m_store(settings), m_out(out), m_err(err)
    {}

    int run()
    {
        QString error;
        m_endpoints = GoogleEndpoints::fromEnvironment(error);
        const std::optional<int> slot =
            error.isEmpty() ? m_store.findNamed(m_options.profileTitle, error) : std::nullopt;
        if (!slot)
            return refuse(error);
        m_slot = *slot;
        m_profile = m_store.read(m_slot);
        m_connection = m_google.connect(m_profile, m_slot);
        m_account = &m_connection->account();
        m_console = &m_connection->console();
        if (error = awaited([this](const auto& done) { m_account->load(done); }); !error.isEmpty()) {
            // A store that cannot be read is said; a new sign-in may still replace it (and keeps it aside).
            if (m_options.action != GoogleCommand::Action::Login)
                return refuse(error);
            say(m_err, error);
        }
        tellNotice();
        switch (m_options.action) {
        case GoogleCommand::Action::Login:
            return login();
        case GoogleCommand::Action::Logout:
            return logout();
        case GoogleCommand::Action::Status:
            return status();
        case GoogleCommand::Action::Inspect:
            return inspect();
        }
        return ExitStatus::badUsage;
    }

private:
    int refuse(const QString& error)
    {
        say(m_err, error);
        return ExitStatus::badUsage;
    }

    int fail(const GoogleAnswer& answer)
    {
        say(m_err, answer.message);
        // A sign-in Google no longer takes, or a key that cannot sign, is as good as none.
        return answer.outcome == GoogleAnswer::Outcome::SignInAgain ? ExitStatus::badUsage
                                                                    : ExitStatus::failure;
    }

    void tellNotice()
    {
        if (const QString notice = m_google.secrets().takeNotice(); !notice.isEmpty())
            say(m_err, notice);
    }

    bool saveProfile()
    {
        if (m_store.save(m_slot, m_profile))
            return true;
        say(m_err, u"The settings file \"%1\" cannot be written."_s.arg(m_store.fileName()));
        return false;
    }

    // Commands that write the home's history hold its lock, as runs do.
    bool lockHome(int& status)
    {
        QString whyNot;
        if (m_lock.tryLock(whyNot))
            return true;
        status = refuse(whyNot);
        return false;
    }

    // A new way in replaces the old one only once it is known to work with a property that
    // covers the website: on any failure the old sign-in, its property and its key stay whole.
    int login()
    {
        QString error;
        GoogleCredentials person;
        QString serviceAccount;
        if (!m_options.serviceAccountFile.isEmpty()) {
            serviceAccount = QFileInfo(m_options.serviceAccountFile).absoluteFilePath();
            if (!ServiceAccount::read(serviceAccount, error).isValid())
                return refuse(error);
        } else {
            const OAuthClientFile client = OAuthClientFile::read(m_options.clientFile, error);
            if (!error.isEmpty())
                return refuse(error);
            if (!signIn(client, person, error)) {
                say(m_err, error);
                return ExitStatus::failure;
            }
        }
        // Tried as it is, never with the sign-in the store holds.
        GoogleCredentials tried = person;
        if (!person.isSignedIn()) {
            tried.kind = GoogleCredentials::Kind::ServiceAccount;
            tried.serviceAccountFile = serviceAccount;
        }
        const std::unique_ptr<GoogleConnection> trial = m_google.connect(m_profile, m_slot);
        trial->account().use(tried);
        QString property;
        if (const int status = findProperty(trial->console(), property); status != ExitStatus::success) {
            if (person.isSignedIn()) // a token nobody will use is given back
                awaited([&trial](const auto& done) { trial->account().revoke(done); });
            return status;
        }

        if (person.isSignedIn()) {
            if (error = awaited([&](const auto& done) { m_account->keep(person, done); }); !error.isEmpty()) {
                say(m_err, error);
                return ExitStatus::failure;
            }
            tellNotice();
            say(m_out, u"\"%1\" is signed in to Google; the tokens are kept in %2."_s.arg(
                           m_profile.title, m_google.secrets().description()));
        } else {
            // One way in at a time: a person's earlier sign-in is revoked and forgotten.
            if (m_account->credentials().kind == GoogleCredentials::Kind::User) {
                const QString revocation = awaited([this](const auto& done) { m_account->signOut(done); });
                if (!revocation.isEmpty())
                    say(m_err, u"The earlier sign-in is forgotten, but %1"_s.arg(revocation));
            }
            m_profile.googleServiceAccount = serviceAccount;
            say(m_out, u"\"%1\" uses the service account %2; only the key file's path is stored."_s.arg(
                           m_profile.title, ServiceAccount::read(serviceAccount, error).email()));
        }
        m_profile.googleProperty = property;
        if (!saveProfile())
            return ExitStatus::failure;
        say(m_out, u"Search Console property: %1"_s.arg(property));
        return ExitStatus::success;
    }

    bool signIn(const OAuthClientFile& client, GoogleCredentials& credentials, QString& error)
    {
        GoogleSignIn signIn(m_google.network(), m_endpoints, client, nullptr, m_options.port);
        signIn.setPatience(m_options.patience);
        // On a server the browser is on another machine: Google sends it back to this port of
        // 127.0.0.1, which a tunnel brings there.
        quint16 port = 0; // the listener's, kept: it closes when the sign-in ends
        const auto fromElsewhere = [&port] {
            return u"To sign in from another machine, open a tunnel there first (ssh -L %1:127.0.0.1:%1 "
                   u"this server) and open the address in its browser."_s.arg(port);
        };
        const qint64 seconds = std::chrono::duration_cast<std::chrono::seconds>(m_options.patience).count();
        QObject::connect(&signIn, &GoogleSignIn::openBrowser, [&](const QUrl& address) {
            port = signIn.port();
            // Joined, not arg()-ed: the address holds percent signs of its own.
            say(m_out, u"Open this address in a browser to sign in to Google:\n"_s + address.toString() +
                           u'\n' + fromElsewhere() +
                           u"\nWaiting %1 for Google's answer on 127.0.0.1:%2."_s.arg(
                               counted(seconds, u"%1 second"_s, u"%1 seconds"_s), QString::number(port)));
            if (m_options.openBrowser)
                m_options.openBrowser(address);
        });
        waitFor([&](const std::function<void()>& done) {
            QObject::connect(
                &signIn, &GoogleSignIn::finished,
                [&credentials, &error, done](const GoogleCredentials& given, const QString& why) {
                    credentials = given;
                    error = why;
                    done();
                });
            if (!signIn.start(error))
                done();
        });
        if (error == GoogleSignIn::nobodyInTime)
            error += u' ' + fromElsewhere();
        return error.isEmpty();
    }

    // The account's property that covers the profile's website.
    int findProperty(SearchConsole& console, QString& property)
    {
        const GoogleAnswer answer = ask([&console](const auto& done) { console.listProperties(done); });
        if (!answer.ok())
            return fail(answer);
        const QList<GoogleProperty> properties = GoogleProperty::listFrom(answer.body);
        const QString website = m_profile.value(ProfileField::Url);
        property = GoogleProperty::match(website, properties);
        if (!property.isEmpty())
            return ExitStatus::success;
        QStringList names;
        for (const GoogleProperty& entry : properties)
            names << entry.siteUrl;
        say(m_err,
            u"None of the account's Search Console properties covers %1 (it has: %2). Add the website in "
            u"Search Console, or give this account access to its property."_s.arg(
                website, names.isEmpty() ? u"none"_s : names.join(u", "_s)));
        return ExitStatus::failure;
    }

    int logout()
    {
        if (!m_account->isSignedIn())
            return refuse(u"Nobody is signed in to Google for the profile \"%1\"."_s.arg(m_profile.title));
        const bool person = m_account->credentials().kind == GoogleCredentials::Kind::User;
        const QString revocationError = awaited([this](const auto& done) { m_account->signOut(done); });
        m_profile.googleServiceAccount.clear();
        m_profile.googleProperty.clear();
        if (!saveProfile())
            return ExitStatus::failure;
        if (!revocationError.isEmpty()) {
            say(m_err, u"The sign-in is forgotten, but %1"_s.arg(revocationError));
            return ExitStatus::failure;
        }
        say(m_out, person ? u"\"%1\" is signed out of Google; the token was revoked."_s.arg(m_profile.title)
                          : u"\"%1\" no longer uses a service account."_s.arg(m_profile.title));
        return ExitStatus::success;
    }

    // The property to ask about: the one kept, else found now.
    bool haveProperty(int& status)
    {
        if (!m_account->isSignedIn()) {
            status = refuse(u"Nobody is signed in to Google for the profile \"%1\": run orvanta google login "
                            u"--profile \"%1\" first."_s.arg(m_profile.title));
            return false;
        }
        if (!m_profile.googleProperty.isEmpty())
            return true;
        status = findProperty(*m_console, m_profile.googleProperty);
        if (status == ExitStatus::success && !saveProfile())
            status = ExitStatus::failure;
        return status == ExitStatus::success;
    }

    std::unique_ptr<HistoryDatabase> openHistory(HistoryDatabase::Mode mode, int& status)
    {
        QString error;
        std::unique_ptr<HistoryDatabase> database = HistoryDatabase::open(m_options.historyFile, mode, error);
        if (!error.isEmpty())
            status = refuse(error);
        return database;
    }

    int status()
    {
        int status = ExitStatus::success;
        if (!haveProperty(status) || !lockHome(status))
            return status;
        const QString property = m_profile.googleProperty;
        const GoogleAnswer answer = ask([&](const auto& done) { m_console->listSitemaps(property, done); });
        if (!answer.ok())
            return fail(answer);
        QString problem;
        const QList<GoogleSitemapStatus> sitemaps = GoogleSitemapStatus::listFrom(answer.body, problem);
        if (!problem.isEmpty()) {
            say(m_err, problem + u'.');
            return ExitStatus::failure;
        }
        const std::unique_ptr<HistoryDatabase> database =
            openHistory(HistoryDatabase::Mode::OpenOrCreate, status);
        if (!database)
            return status;
        if (m_options.json) {
            QJsonArray listed;
            for (const GoogleSitemapStatus& sitemap : sitemaps)
                listed << QJsonObject{
                    {u"path"_s, sitemap.path},
                    {u"last_submitted"_s, JsonOutput::moment(sitemap.lastSubmitted.isValid()
                                                                 ? sitemap.lastSubmitted.toMSecsSinceEpoch()
                                                                 : 0)},
                    {u"last_downloaded"_s, JsonOutput::moment(sitemap.lastDownloaded.isValid()
                                                                  ? sitemap.lastDownloaded.toMSecsSinceEpoch()
                                                                  : 0)},
                    {u"pending"_s, sitemap.pending},
                    {u"is_index"_s, sitemap.isIndex},
                    {u"pages"_s, double(sitemap.submittedPages)},
                    {u"warnings"_s, double(sitemap.warnings)},
                    {u"errors"_s, double(sitemap.errors)},
                    {u"status"_s, sitemap.describe()}};
            JsonOutput::printDocument(
                m_out, {{u"profile"_s, m_profile.title}, {u"property"_s, property}, {u"sitemaps"_s, listed}});
        } else {
            say(m_out, u"Sitemaps of %1 in Search Console:"_s.arg(property));
            if (sitemaps.isEmpty())
                say(m_out, u"  none submitted yet"_s);
            for (const GoogleSitemapStatus& sitemap : sitemaps)
                say(m_out, u"  %1: %2"_s.arg(sitemap.path, sitemap.describe()));
        }
        GoogleRecords records(*database);
        if (!records.recordSitemaps(m_profile.title, sitemaps, QDateTime::currentMSecsSinceEpoch())) {
            say(m_err, u"The history could not be written: %1"_s.arg(records.lastError()));
            return ExitStatus::failure;
        }
        return ExitStatus::success;
    }

    // One page's inspection, waiting out the minute's limit when Google asks to slow down.
    GoogleAnswer inspectPage(const QString& property, const QString& page)
    {
        for (int attempt = 0;; ++attempt) {
            if (m_sinceLast.isValid() && m_sinceLast.elapsed() < inspectionInterval.count())
                QThread::msleep(qulonglong(inspectionInterval.count() - m_sinceLast.elapsed()));
            m_sinceLast.start();
            const GoogleAnswer answer =
                ask([&](const auto& done) { m_console->inspect(property, page, done); });
            if (answer.outcome != GoogleAnswer::Outcome::SlowDown || attempt == slowDownsPerPage)
                return answer;
            QThread::sleep(qulonglong(std::min(answer.retryAfterSeconds, longestSlowDownSeconds)));
        }
    }

    int inspect()
    {
        int status = ExitStatus::success;
        if (!haveProperty(status) || !lockHome(status))
            return status;
        const QString property = m_profile.googleProperty;
        const std::unique_ptr<HistoryDatabase> database =
            openHistory(HistoryDatabase::Mode::OpenExisting, status);
        if (status != ExitStatus::success)
            return status;
        const QByteArray website = WebAddress::siteOrigin(m_profile.value(ProfileField::Url));
        if (!database) {
            say(m_out, u"No page of \"%1\" has been announced yet."_s.arg(m_profile.title));
            return ExitStatus::success;
        }
        GoogleRecords records(*database);
        const QString day = GoogleRecords::quotaDay(QDateTime::currentDateTimeUtc());
        const int left = records.inspectionsLeft(property, day);
        const int wanted = m_options.limit < 0 ? left : qMin(left, m_options.limit);
        const QList<GoogleRecords::QueuedPage> queue = records.inspectionQueue(website, wanted);
        if (left == 0) {
            say(m_out,
                u"Today's inspections for %1 are used up; the pages wait for tomorrow."_s.arg(property));
            return records.inspectionQueue(website, 1).isEmpty() ? ExitStatus::success : ExitStatus::deferred;
        }
        const auto unrecorded = [&] {
            say(m_err, u"The history could not be written: %1"_s.arg(records.lastError()));
            return ExitStatus::failure;
        };
        // Google allows 600 inspections a minute per property: one each 100 ms at most, so that a
        // day's 2,000 seldom meet the minute's limit; when they do, it is waited out.
        int asked = 0;
        for (const GoogleRecords::QueuedPage& page : queue) {
            const GoogleAnswer answer = inspectPage(property, page.url);
            if (answer.outcome == GoogleAnswer::Outcome::QuotaExceeded) {
                if (!records.countInspections(property, day, 0, true))
                    return unrecorded();
                say(m_err, u"Google's inspection quota for %1 is spent for today (%2); the remaining pages "
                           u"wait for tomorrow."_s.arg(property, answer.message));
                return ExitStatus::deferred; // nothing failed: the rest is put off to tomorrow
            }
            if (!answer.ok()) {
                if (answer.outcome == GoogleAnswer::Outcome::SlowDown)
                    say(m_err,
                        u"Google keeps asking to slow down (%1); the remaining pages wait for the next "
                        u"run."_s.arg(answer.message));
                return fail(answer);
            }
            // Counted as it is recorded: a command that is killed loses no count of what Google took.
            const GoogleIndexStatus index = GoogleIndexStatus::fromJson(answer.body);
            if (!records.recordCountedInspection(page.page, index, QDateTime::currentMSecsSinceEpoch(),
                                                 property, day))
                return unrecorded();
            ++asked;
            say(m_out, u"%1: %2"_s.arg(page.url, index.describe(page.announcedAt)));
        }
        say(m_out, counted(asked, u"%1 page inspected."_s, u"%1 pages inspected."_s));
        return ExitStatus::success;
    }

    const GoogleCommand::Options& m_options;
    ProfileStore m_store;
    QIODevice& m_out;
    QIODevice& m_err;
    GoogleConnections m_google{m_options.secretsDirectory, SecretStore::Answers::AtOnce};
    GoogleEndpoints m_endpoints;
    int m_slot = 0;
    Profile m_profile;
    std::unique_ptr<GoogleConnection> m_connection;
    GoogleAccount* m_account = nullptr;
    SearchConsole* m_console = nullptr;
    RunLock m_lock{m_options.runLockFile};
    QElapsedTimer m_sinceLast;
};

} // namespace

int GoogleCommand::run(const Options& options, SettingsStore& settings, QIODevice& out, QIODevice& err)
{
    return Command(options, settings, out, err).run();
}
