#include "StatusCommand.h"

#include "AnswerRule.h"
#include "Coverage.h"
#include "CoverageReport.h"
#include "ExitStatus.h"
#include "GoogleAccount.h"
#include "GoogleConnection.h"
#include "GoogleRecords.h"
#include "HistoryDatabase.h"
#include "HistoryReport.h"
#include "JsonOutput.h"
#include "KeyChecks.h"
#include "ProfileStore.h"
#include "RunJournal.h"
#include "SettingsStore.h"
#include "SiteDatabase.h"
#include "TimeText.h"
#include "WebAddress.h"
#include "Wording.h"

#include <QIODevice>
#include <QJsonArray>
#include <QJsonObject>
#include <QTextStream>

using namespace Qt::StringLiterals;

namespace {

bool failed(const RunJournal::RunSummary& run)
{
    return run.state == u"failed"_s || run.state == u"interrupted"_s || run.failed > 0;
}

QString runLine(const RunJournal::RunSummary& run)
{
    return u"%1, %2, %3: %4"_s.arg(TimeText::written(run.startedAt), run.mode, run.state,
                                   HistoryReport::outcomeText(run));
}

// Why a run failed: its own reason, or the first request that failed.
QString whyFailed(RunJournal& journal, const RunJournal::RunSummary& run)
{
    if (run.state == u"interrupted"_s)
        return u"cut short before it ended"_s;
    if (!run.note.isEmpty() && run.requests == 0)
        return run.note;
    const QList<RunJournal::ResultRow> failures = journal.results(run.id, true);
    if (failures.isEmpty())
        return run.note;
    const RunJournal::ResultRow& first = failures.first();
    return first.site + u": "_s + (first.status ? u"HTTP %1; "_s.arg(first.status) : QString()) +
           first.detail;
}

class Status
{
public:
    Status(const StatusCommand::Options& options, SettingsStore& settings, QIODevice& out, QIODevice& err)
        : m_options(options), m_settings(settings), m_device(out), m_out(&out), m_err(&err),
          m_google(options.secretsDirectory, SecretStore::Answers::AtOnce)
    {
        // The same facts, gathered as JSON; the sentences go nowhere.
        if (options.json)
            m_out.setString(&m_unsaid);
    }

    int run(const QList<ProfileStore::TitledSlot>& profiles)
    {
        QString error;
        m_catalogue = SiteDatabase::open(m_options.catalogueFile, error);
        error.clear();
        const HistoryDatabase::Upgrade upgrade{
            [this](const QString& site) { return m_catalogue ? m_catalogue->site(site).action : QString(); }};
        m_database =
            HistoryDatabase::open(m_options.historyFile, HistoryDatabase::Mode::OpenExisting, error, upgrade);
        if (!error.isEmpty()) {
            m_err << error << u'\n';
            return ExitStatus::badUsage;
        }
        if (m_options.bundledCatalogue)
            m_out << u"Catalogue: %1, the program's own (the home holds none)\n"_s.arg(
                m_options.catalogueFile);
        if (m_database) {
            m_journal.emplace(*m_database);
            m_journal->markInterrupted(m_options.runLockFile);
        }
        QList<int> statuses;
        QJsonArray described;
        for (const ProfileStore::TitledSlot& titled : profiles) {
            m_json = QJsonObject{{u"slot"_s, titled.slot}};
            statuses << describe(ProfileStore(m_settings).read(titled.slot));
            described << m_json;
        }
        // A failure anywhere is what a monitor must hear of, before a profile that has no run yet.
        const int status = statuses.contains(ExitStatus::failure)    ? ExitStatus::failure
                           : statuses.contains(ExitStatus::badUsage) ? ExitStatus::badUsage
                                                                     : ExitStatus::success;
        if (m_options.json)
            JsonOutput::printDocument(m_device, {{u"catalogue"_s, m_options.catalogueFile},
                                                 {u"bundled_catalogue"_s, m_options.bundledCatalogue},
                                                 {u"profiles"_s, described},
                                                 {u"exit_status"_s, status}});
        return status;
    }

private:
    int describe(const Profile& profile)
    {
        m_out << u"Profile \"%1\"\n"_s.arg(profile.title);
        const QString address = profile.value(ProfileField::Url);
        m_out << u"  Website: "_s << (address.isEmpty() ? u"none yet (orvanta profile set url=…)"_s : address)
              << u'\n';
        m_json.insert(u"title"_s, profile.title);
        m_json.insert(u"website"_s, address.isEmpty() ? QJsonValue() : QJsonValue(address));
        m_json.insert(u"last_run"_s, QJsonValue());
        m_json.insert(u"last_failed_run"_s, QJsonValue());
        m_json.insert(u"coverage"_s, QJsonValue());
        int status = ExitStatus::badUsage;
        const QList<RunJournal::RunSummary> runs =
            m_journal ? m_journal->runs(profile.title) : QList<RunJournal::RunSummary>();
        if (runs.isEmpty()) {
            m_out << u"  Last run: none recorded yet\n"_s;
        } else {
            const RunJournal::RunSummary& last = runs.first();
            qsizetype pagesSent = 0;
            for (const RunJournal::ResultRow& row : m_journal->results(last.id))
                pagesSent += row.outcome == u"succeeded"_s ? row.pageCount : 0;
            m_out << u"  Last run: "_s << runLine(last)
                  << (pagesSent > 0 ? u", "_s + counted(pagesSent, u"%L1 page sent"_s, u"%L1 pages sent"_s)
                                    : QString())
                  << u'\n';
            if (!last.note.isEmpty() && !failed(last))
                m_out << u"    "_s << last.note << u'\n';
            QJsonObject lastJson = HistoryReport::runJson(last);
            lastJson.insert(u"pages_sent"_s, double(pagesSent));
            m_json.insert(u"last_run"_s, lastJson);
            status = last.state == u"running"_s ? ExitStatus::success
                     : failed(last)             ? ExitStatus::failure
                                                : ExitStatus::success;
            const auto lastFailed = std::find_if(runs.cbegin(), runs.cend(), failed);
            if (lastFailed != runs.cend()) {
                const QString why = whyFailed(*m_journal, *lastFailed);
                m_out << u"  Last failed run: "_s << runLine(*lastFailed) << u"\n    "_s << why << u'\n';
                QJsonObject failedJson = HistoryReport::runJson(*lastFailed);
                failedJson.insert(u"reason"_s, why);
                m_json.insert(u"last_failed_run"_s, failedJson);
            } else
                m_out << u"  Last failed run: none\n"_s;
        }
        describeCoverage(address, profile);
        describeKey(profile);
        describeGoogle(profile);
        return status;
    }

    void describeCoverage(const QString& address, const Profile& profile)
    {
        const QByteArray website = WebAddress::siteOrigin(address);
        if (!m_database || website.isEmpty())
            return;
        QString error;
        Coverage coverage = Coverage::read(*m_database, website, {}, error, profile.patterns());
        coverage.setChangeSignal(ChangeSignals::nameOf(profile.signal()));
        if (!error.isEmpty()) {
            m_out << u"  Pages: the history cannot be read: "_s << error << u'\n';
            return;
        }
        m_out << u"  Pages: "_s << CoverageReport::pagesText(coverage) << u'\n';
        QStringList names;
        for (int endpoint = 0; endpoint < coverage.endpoints().size(); ++endpoint) {
            const QString& action = coverage.endpoints().at(endpoint);
            names << (m_catalogue ? m_catalogue->nameOf(action) : action);
            m_out << u"    "_s << names.last() << u": "_s
                  << CoverageReport::countsText(coverage.counts(endpoint)) << u'\n';
        }
        // The counts alone: coverage --json lists the pages.
        m_json.insert(u"coverage"_s,
                      CoverageReport::json(coverage, names, CoverageReport::JsonPages::Counts));
    }

    void describeKey(const Profile& profile)
    {
        if (profile.indexNowKey.isEmpty()) {
            m_out << u"  IndexNow key: none yet (orvanta key generate)\n"_s;
            m_json.insert(u"indexnow_key"_s, QJsonObject{{u"state"_s, u"none"_s}});
            return;
        }
        const std::optional<KeyChecks::Check> check =
            m_database ? KeyChecks(*m_database).last(profile.title) : std::nullopt;
        if (!check) {
            m_out << u"  IndexNow key: not checked yet (orvanta key check)\n"_s;
            m_json.insert(u"indexnow_key"_s, QJsonObject{{u"state"_s, u"not-checked"_s}});
            return;
        }
        m_json.insert(u"indexnow_key"_s,
                      QJsonObject{{u"state"_s, check->served ? u"served"_s : u"not-served"_s},
                                  {u"checked_at"_s, JsonOutput::moment(check->checkedAt)},
                                  {u"message"_s, check->message}});
        m_out << u"  IndexNow key: "_s << (check->served ? u"served"_s : u"not served"_s) << u", checked "_s
              << TimeText::written(check->checkedAt) << u": "_s << check->message << u'\n';
    }

    void describeGoogle(const Profile& profile)
    {
        const std::unique_ptr<GoogleConnection> connection = m_google.connect(profile);
        QString problem = connection->problem();
        if (problem.isEmpty())
            connection->account().load([&problem](const QString& error) { problem = error; });
        GoogleAccount& account = connection->account();
        QJsonObject google{{u"signed_in"_s, problem.isEmpty() && account.isSignedIn()},
                           {u"problem"_s, problem.isEmpty() ? QJsonValue() : QJsonValue(problem)}};
        if (!problem.isEmpty() || !account.isSignedIn()) {
            m_json.insert(u"google"_s, google);
            m_out << u"  Google: not signed in"_s
                  << (problem.isEmpty() ? QString() : u" ("_s + problem + u')') << u'\n';
            return;
        }
        m_out << u"  Google: "_s << account.describe() << u", property "_s
              << (profile.googleProperty.isEmpty() ? u"none found yet"_s : profile.googleProperty) << u'\n';
        google.insert(u"account"_s, account.describe());
        google.insert(u"property"_s,
                      profile.googleProperty.isEmpty() ? QJsonValue() : QJsonValue(profile.googleProperty));
        QJsonArray sitemaps;
        for (const GoogleRecords::StoredSitemap& stored :
             m_database ? GoogleRecords(*m_database).sitemaps(profile.title)
                        : QList<GoogleRecords::StoredSitemap>()) {
            m_out << u"    "_s << stored.status.path << u": "_s << stored.status.describe() << u'\n';
            sitemaps << QJsonObject{{u"path"_s, stored.status.path}, {u"status"_s, stored.status.describe()}};
        }
        google.insert(u"sitemaps"_s, sitemaps);
        m_json.insert(u"google"_s, google);
    }

    const StatusCommand::Options& m_options;
    SettingsStore& m_settings;
    QIODevice& m_device;
    QString m_unsaid;
    QJsonObject m_json; // the profile being described
    QTextStream m_out;
    QTextStream m_err;
    GoogleConnections m_google;
    std::unique_ptr<SiteDatabase> m_catalogue;
    std::unique_ptr<HistoryDatabase> m_database;
    std::optional<RunJournal> m_journal;
};

} // namespace

int StatusCommand::run(const Options& options, SettingsStore& settings, QIODevice& out, QIODevice& err)
{
    const ProfileStore store(settings);
    QList<ProfileStore::TitledSlot> profiles;
    QString error;
    if (!options.profileTitle.isEmpty()) {
        const std::optional<int> slot = store.findNamed(options.profileTitle, error);
        if (slot)
            profiles.append({*slot, options.profileTitle});
    } else {
        error = settings.readProblem();
        profiles = store.scanTitles();
        if (error.isEmpty() && profiles.isEmpty())
            error = u"No profiles yet: make one with orvanta profile new --profile TITLE."_s;
    }
    if (!error.isEmpty()) {
        err.write((error + u'\n').toUtf8());
        return ExitStatus::badUsage;
    }
    return Status(options, settings, out, err).run(profiles);
}
